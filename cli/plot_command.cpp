#include "cli/plot_command.h"

#include <langinfo.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <cstdlib>
#include <istream>
#include <new>
#include <optional>
#include <ostream>
#include <set>
#include <stdexcept>
#include <streambuf>

#include "base/error.h"
#include "base/system_error.h"
#include "data/data_file.h"
#include "data/number.h"
#include "diagram/render.h"
#include "picture/freetype_text_metrics.h"
#include "picture/qt/export.h"
#include "picture/system_locale.h"
#include "picture/vector_export.h"

namespace ternova {

namespace {

constexpr const char* kUsage =
    "Usage: ternova-plot --points DATAFILE\n"
    "       ternova-plot DATAFILE -o OUT [--symbol large|medium|small] [--grid10 on|off]\n"
    "                    [--grid50 on|off] [--select N]\n"
    "Common options: --decimal-separator C, --help, --version\n";

constexpr const char* kHelp =
    "ternova-plot: plots a tab-separated data file of SiO2, Al2O3+CaO, MgO and FeO amounts on the\n"
    "unfolded tetrahedron net, as the Ternova window does, without a window.\n\n"
    "  --points DATAFILE        print row, face, x, y for each sample and face (1..4)\n"
    "  DATAFILE -o OUT          draw the diagram and save it; the name's extension picks the\n"
    "                           format: .wmf, .svg, .pdf, .png, .bmp, .ico, else EMF\n"
    "  --symbol large|medium|small   symbol radius 10, 6 or 3 (default medium)\n"
    "  --grid10 on|off          10 % grid (default on)\n"
    "  --grid50 on|off          50 % grid (default on)\n"
    "  --select N               draw sample N red at double size\n"
    "  --decimal-separator C    decimal separator of the amounts (default: the locale's)\n"
    "  --help, --version\n"
    "DATAFILE - reads the data from standard input (xclip -o | ternova-plot - -o fig.svg).\n\n"
    "Exit status: 0 done; 1 the data file could not be loaded or the picture not saved\n"
    "(the message goes to standard error as DATAFILE:ROW: MESSAGE); 2 wrong command line.\n";

struct Options {
  std::string dataFile, output;
  bool points = false;
  std::optional<char> separator;
  ViewState view;
};

bool OnOff(const std::string& v, bool& out) {
  if (v == "on") return out = true, true;
  if (v == "off") return out = false, true;
  return false;
}

char LocaleSeparator() {
  std::setlocale(LC_NUMERIC, "");
  const char* radix = nl_langinfo(RADIXCHAR);
  const char sep = DecimalSeparatorFrom(radix ? radix : "");
  std::setlocale(LC_NUMERIC, "C");
  return sep;
}

// How messages name the data read from standard input.
constexpr const char* kStandardInput = "(standard input)";

// Whether both names lead to one file (links followed): saving over the data file would
// destroy it.
bool SameFile(const std::string& a, const std::string& b) {
  struct stat sa {}, sb {};
  return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

// Standard input as a stream that fails on a read error (a directory, a broken device) where
// std::cin would report a plain end of input.
class StandardInputBuffer : public std::streambuf {
 public:
  int error = 0;

 protected:
  int_type underflow() override {
    for (;;) {
      const ssize_t got = ::read(0, buffer_, sizeof buffer_);
      if (got > 0) {
        setg(buffer_, buffer_, buffer_ + got);
        return traits_type::to_int_type(buffer_[0]);
      }
      if (got == 0) return traits_type::eof();
      if (errno == EINTR) continue;
      error = errno;
      throw std::runtime_error("read");  // the stream turns this into its bad state
    }
  }

 private:
  char buffer_[1 << 16];
};

// Standard input, whole: a pipe from a spreadsheet's clipboard or another program.
std::shared_ptr<FileBytes> ReadAll(std::istream& in) {
  auto bytes = std::make_shared<FileBytes>();
  size_t used = 0;
  for (;;) {
    bytes->resize(std::max<size_t>(used * 2, size_t{1} << 16));
    in.read(bytes->data() + used, static_cast<std::streamsize>(bytes->size() - used));
    used += static_cast<size_t>(in.gcount());
    if (!in) break;
  }
  bytes->resize(used);
  if (in.bad()) {
    const auto* input = dynamic_cast<const StandardInputBuffer*>(in.rdbuf());
    throw LoadError(Format(kCannotOpenFile, {kStandardInput, SystemErrorText(input && input->error ? input->error : EIO)}), 0);
  }
  return bytes;
}

int Run(const std::vector<std::string>& args, std::istream& in, std::ostream& out, std::ostream& err,
        const std::function<void()>& startPainter);

}  // namespace

int RunPlotCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                   const std::function<void()>& startPainter) {
  StandardInputBuffer buffer;
  std::istream in(&buffer);
  return RunPlotCommand(args, in, out, err, startPainter);
}

int RunPlotCommand(const std::vector<std::string>& args, std::istream& in, std::ostream& out, std::ostream& err,
                   const std::function<void()>& startPainter) {
  try {
    return Run(args, in, out, err, startPainter);
  } catch (const std::bad_alloc&) {
    err << "ternova-plot: " << WithFullStop(Tr(kOutOfMemory)) << "\n";
    return 1;
  }
}

namespace {

// Standard output is the product of --points, --help and --version: losing any of it (a full
// disk, a closed stream) is a failure.
int Flushed(std::ostream& out, std::ostream& err) {
  out.flush();
  if (out) return 0;
  err << "ternova-plot: " << WithFullStop(Tr(kStreamWriteError)) << "\n";
  return 1;
}

int Run(const std::vector<std::string>& args, std::istream& in, std::ostream& out, std::ostream& err,
        const std::function<void()>& startPainter) {
  Options o;
  auto usage = [&](const std::string& why) {
    err << "ternova-plot: " << why << "\n" << kUsage;
    return 2;
  };
  std::set<std::string> given;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    // An option given twice would silently lose one of its values.
    if (a.size() > 1 && a[0] == '-' && !given.insert(a == "--output" ? "-o" : a).second)
      return usage(a + " given twice");
    auto value = [&](std::string& v) {
      if (i + 1 >= args.size()) return false;
      v = args[++i];
      return true;
    };
    std::string v;
    if (a == "--help" || a == "-h") {
      out << kHelp << kUsage;
      return Flushed(out, err);
    } else if (a == "--version") {
      out << "ternova-plot " TERNOVA_VERSION "\n";
      return Flushed(out, err);
    } else if (a == "--points") {
      if (!value(v)) return usage("--points needs a data file");
      if (!o.dataFile.empty()) return usage("more than one data file");
      o.dataFile = v;
      o.points = true;
    } else if (a == "-o" || a == "--output") {
      if (!value(o.output)) return usage("-o needs a file name");
    } else if (a == "--decimal-separator") {
      if (!value(v) || v.size() != 1) return usage("--decimal-separator takes one character");
      o.separator = v[0];
    } else if (a == "--symbol") {
      if (!value(v)) return usage("--symbol needs large, medium or small");
      if (v == "large") o.view.SymbolSize = 10;
      else if (v == "medium") o.view.SymbolSize = 6;
      else if (v == "small") o.view.SymbolSize = 3;
      else return usage("--symbol takes large, medium or small");
    } else if (a == "--grid10") {
      if (!value(v) || !OnOff(v, o.view.Grid10)) return usage("--grid10 takes on or off");
    } else if (a == "--grid50") {
      if (!value(v) || !OnOff(v, o.view.Grid50)) return usage("--grid50 takes on or off");
    } else if (a == "--select") {
      if (!value(v)) return usage("--select needs a row number");
      char* end = nullptr;
      const long n = std::strtol(v.c_str(), &end, 10);
      if (v.empty() || *end || n < INT32_MIN || n > INT32_MAX) return usage("--select takes a row number");
      o.view.SelectedSample = static_cast<int32_t>(n);
    } else if (a.size() > 1 && a[0] == '-') {
      return usage("unknown option " + a);
    } else if (o.dataFile.empty()) {
      o.dataFile = a;
    } else {
      return usage("more than one data file");
    }
  }
  if (o.dataFile.empty()) return usage("no data file");
  if (o.points == !o.output.empty()) return usage("give either --points or -o OUT");
  const bool standardInput = o.dataFile == "-";
  if (!o.output.empty() && !standardInput && SameFile(o.dataFile, o.output))
    return usage("the output " + o.output + " is the data file itself");

  const DiagramGeometry geometry = ComputeDiagramGeometry();
  SampleTable table;
  CellStore cells;
  try {
    const char separator = o.separator ? *o.separator : LocaleSeparator();
    if (standardInput) LoadDataBytes(ReadAll(in), {geometry, table, cells}, separator).ThrowIfFailed();
    else LoadDataFile(o.dataFile, {geometry, table, cells}, separator).ThrowIfFailed();
  } catch (const LoadError& e) {
    const std::string name = standardInput ? kStandardInput : o.dataFile;
    if (e.Row() > 0) err << name << ":" << e.Row() << ": " << WithFullStop(e.what()) << "\n";
    else err << "ternova-plot: " << WithFullStop(e.what()) << "\n";
    return 1;
  }

  if (o.points) {
    std::string buffer;
    buffer.reserve(1 << 16);
    for (int32_t r = 1; r <= table.SampleCount; ++r)
      for (int f = 1; f <= 4; ++f) {
        const Point& p = table.SamplePoints[r][f];
        buffer += std::to_string(r) + '\t' + std::to_string(f) + '\t' + std::to_string(p.x) + '\t' +
                  std::to_string(p.y) + '\n';
        if (buffer.size() > (1 << 16) - 64) {
          if (!(out << buffer)) return Flushed(out, err);
          buffer.clear();
        }
      }
    out << buffer;
    return Flushed(out, err);
  }

  try {
    // Without a screen the window records against the nominal one; so does the command line.
    const SurfaceEnvironment env{ScreenInfo{}, SystemIsJapanese(), &InstalledFaceMetrics()};
    DiagramPicture picture;
    picture.SetWidth(2000);
    picture.SetHeight(2000);
    int32_t divisions = 0;
    DrawDiagram(geometry, table, o.view, divisions, picture, env);
    if (!NamesRasterFormat(o.output)) {
      SaveVectorPictureFile(o.output, Snapshot(picture));
    } else {
      if (startPainter) startPainter();
      SavePictureFile(o.output, Snapshot(picture));
    }
  } catch (const Error& e) {
    err << "ternova-plot: " << WithFullStop(e.what()) << "\n";
    return 1;
  }
  return 0;
}

}  // namespace

}  // namespace ternova
