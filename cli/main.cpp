#include <fcntl.h>
#include <unistd.h>

#include <QGuiApplication>
#include <clocale>
#include <cstdlib>
#include <exception>
#include <iostream>
#include <new>
#include <optional>
#include <string>

#include "base/error.h"
#include "cli/plot_command.h"

namespace {

void ReportOutOfMemory() {
  const std::string text = "ternova-plot: " + ternova::WithFullStop(ternova::Tr(ternova::kOutOfMemory)) + "\n";
  if (::write(2, text.data(), text.size()) < 0) {
  }
}

}  // namespace

int main(int argc, char** argv) {
  // Qt's painters finish their output in destructors, where running out of memory ends the
  // process instead of reaching our handler: it still ends with the message and exit 1.
  std::set_terminate([] {
    if (const std::exception_ptr e = std::current_exception()) {
      try {
        std::rethrow_exception(e);
      } catch (const std::bad_alloc&) {
        ReportOutOfMemory();
        std::_Exit(1);
      } catch (...) {
      }
    }
    std::abort();
  });
  // A closed standard stream keeps its number taken, so no file we open lands on it; what is
  // written to a closed standard output is a write error all the same.
  bool closed[3] = {};
  for (int fd = 0; fd <= 2; ++fd) {
    if (::fcntl(fd, F_GETFD) >= 0) continue;
    closed[fd] = true;
    const int null = ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
    if (null >= 0 && null != fd) {
      ::dup2(null, fd);
      ::close(null);
    }
  }
  if (closed[1]) std::cout.setstate(std::ios::badbit);
  try {
    // Standard error carries only our own messages, one per failure, for batch scripts to read.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& msg) {
      if (type == QtFatalMsg) std::cerr << msg.toStdString() << std::endl;
    });
    // The system's error texts in the user's language, as in every program of the desktop.
    std::setlocale(LC_ALL, "");
    std::vector<std::string> args(argv + 1, argv + argc);
    int qtArgc = 1;
    std::optional<QGuiApplication> app;
    const auto startPainter = [&] {
      if (app) return;
      // Painting text needs a GUI application, but the command line never opens a window,
      // whatever platform the environment or a -platform argument would pick.
      qputenv("QT_QPA_PLATFORM", "offscreen");
      app.emplace(qtArgc, argv);
      // The application takes the user's locale for everything; numbers stay as C writes them.
      std::setlocale(LC_NUMERIC, "C");
    };
    return ternova::RunPlotCommand(args, std::cout, std::cerr, {.descriptor = 0, .closed = closed[0]}, startPainter);
  } catch (const std::bad_alloc&) {
    ReportOutOfMemory();
    return 1;
  }
}
