#include <QGuiApplication>
#include <iostream>

#include "cli/plot_command.h"

int main(int argc, char** argv) {
  // Standard error carries only our own messages, one per failure, for batch scripts to read.
  qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& msg) {
    if (type == QtFatalMsg) std::cerr << msg.toStdString() << std::endl;
  });
  // Fonts need a GUI application, but the command line never opens a window.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  std::vector<std::string> args(argv + 1, argv + argc);
  QGuiApplication app(argc, argv);
  return ternova::RunPlotCommand(args, std::cout, std::cerr);
}
