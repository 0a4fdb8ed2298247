#include "cli/plot_command.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <istream>
#include <new>
#include <optional>
#include <ostream>
#include <set>
#include <stdexcept>
#include <streambuf>

#include "base/error.h"
#include "base/system_error.h"
#include "base/visible_text.h"
#include "data/data_file.h"
#include "data/number.h"
#include "picture/freetype_text_metrics.h"
#include "plot/plot.h"
#include "picture/qt/export.h"
#include "picture/system_locale.h"
#include "picture/vector_export.h"

namespace ternova {

namespace {

constexpr const char* kUsage =
    "Usage: ternova-plot --points DATAFILE\n"
    "       ternova-plot DATAFILE -o OUT [--symbol large|medium|small] [--grid10 on|off]\n"
    "                    [--grid50 on|off] [--select N] [--colour-by note|N]\n"
    "                    [--density [25|50|100]]\n"
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
    "  --colour-by note|N       colour the samples by their note (field 5) or by field N (5 or\n"
    "                           more), with a legend (default: all the same blue)\n"
    "  --density [25|50|100]    the density view: each face in N x N cells coloured by how many\n"
    "                           samples fall in each (default 50), instead of the symbols\n"
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

// How messages name the data read from standard input.
constexpr const char* kStandardInput = "(standard input)";

// Whether both names lead to one file (links followed): saving over the data file would
// destroy it.
bool SameFile(const std::string& a, const std::string& b) {
  struct stat sa {}, sb {};
  return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

// Whether writing `output` would write into what standard input (`fd`) reads: an ordinary file
// would lose the data, and a pipe would wait for a reader that is this very program. A terminal
// or /dev/null keeps what is read apart from what is written.
bool IsInputsFile(int fd, const std::string& output) {
  struct stat in {}, out {};
  return ::fstat(fd, &in) == 0 && ::stat(output.c_str(), &out) == 0 && in.st_dev == out.st_dev &&
         in.st_ino == out.st_ino && !S_ISCHR(in.st_mode);
}

// Standard input as a stream that fails on a read error (a directory, a broken device) where
// std::cin would report a plain end of input.
class StandardInputBuffer : public std::streambuf {
 public:
  explicit StandardInputBuffer(int fd) : fd_(fd) {}
  int error = 0;

 protected:
  int_type underflow() override {
    for (;;) {
      const ssize_t got = ::read(fd_, buffer_, sizeof buffer_);
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
  int fd_;
  char buffer_[1 << 16];
};

// Where the text in bytes[0, used) ends, looking from `from` on: at its first NUL, or in UTF-16
// text (after its mark) at its first U+0000; npos when it goes on.
size_t TextEnd(const char* bytes, size_t from, size_t used, bool utf16) {
  if (!utf16) {
    const void* nul = used > from ? std::memchr(bytes + from, '\0', used - from) : nullptr;
    return nul ? static_cast<size_t>(static_cast<const char*>(nul) - bytes) : std::string::npos;
  }
  for (size_t i = std::max<size_t>(2, from & ~size_t{1}); i + 1 < used; i += 2)
    if (bytes[i] == 0 && bytes[i + 1] == 0) return i;
  return std::string::npos;
}

// Standard input, whole: a pipe from a spreadsheet's clipboard or another program. Reading
// stops where the text ends, as the load ignores what follows (so /dev/zero is an empty table,
// not a flood), and fails past `limit` bytes.
std::shared_ptr<FileBytes> ReadAll(std::istream& in, size_t limit) {
  auto bytes = std::make_shared<FileBytes>();
  size_t used = 0;
  bool marked = false, utf16 = false;
  // Each read takes what one read of the input brings, so the end of the text is seen as soon
  // as it arrives, even from a producer that then goes quiet.
  while (in.peek() != std::istream::traits_type::eof()) {
    if (used == bytes->size()) bytes->resize(std::min(std::max<size_t>(used * 2, size_t{1} << 16), limit + 1));
    const size_t from = used;
    used += static_cast<size_t>(in.readsome(bytes->data() + used, static_cast<std::streamsize>(bytes->size() - used)));
    // UTF-16 text is full of zero bytes: its mark, once two bytes are in, says what ends it.
    if (!marked && used >= 2) {
      marked = true;
      const char* b = bytes->data();
      utf16 = (b[0] == '\xFF' && b[1] == '\xFE') || (b[0] == '\xFE' && b[1] == '\xFF');
    }
    if (const size_t end = TextEnd(bytes->data(), from, used, utf16); end != std::string::npos) {
      used = end;
      break;
    }
    if (used > limit) throw LoadError(kNoResources, 0);
  }
  bytes->resize(used);
  if (in.bad()) {
    const auto* input = dynamic_cast<const StandardInputBuffer*>(in.rdbuf());
    throw LoadError(Format(kCannotOpenFile, {kStandardInput, SystemErrorText(input && input->error ? input->error : EIO)}), 0);
  }
  return bytes;
}

// `input` is null when `in` is no file of the process's own (a test's text).
int Run(const std::vector<std::string>& args, std::istream& in, const StandardInput* input, std::ostream& out,
        std::ostream& err, const std::function<void()>& startPainter);

int Guarded(const std::function<int()>& run, std::ostream& err) {
  try {
    return run();
  } catch (const std::bad_alloc&) {
    err << "ternova-plot: " << WithFullStop(Tr(kOutOfMemory)) << "\n";
    return 1;
  }
}

}  // namespace

int RunPlotCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                   const StandardInput& input, const std::function<void()>& startPainter) {
  StandardInputBuffer buffer(input.descriptor);
  std::istream in(&buffer);
  return Guarded([&] { return Run(args, in, &input, out, err, startPainter); }, err);
}

int RunPlotCommand(const std::vector<std::string>& args, std::istream& in, std::ostream& out, std::ostream& err,
                   const std::function<void()>& startPainter) {
  return Guarded([&] { return Run(args, in, nullptr, out, err, startPainter); }, err);
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

int Run(const std::vector<std::string>& args, std::istream& in, const StandardInput* input, std::ostream& out,
        std::ostream& err, const std::function<void()>& startPainter) {
  Options o;
  auto usage = [&](const std::string& why) {
    err << "ternova-plot: " << why << "\n" << kUsage;
    return 2;
  };
  std::set<std::string> given;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    // An option given twice would silently lose one of its values.
    if (a.size() > 1 && a[0] == '-' && !given.insert(a == "--output" ? "-o" : a == "--color-by" ? "--colour-by" : a).second)
      return usage(VisibleName(a) + " given twice");
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
      // One of the number's own characters would change what the amounts say (with "e", 1e5
      // would read as 1.5).
      if (!IsUsableDecimalSeparator(v[0]))
        return usage("--decimal-separator cannot be a digit, +, -, e, E, a blank or a control character");
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
    } else if (a == "--density") {
      // The cell size may be left out: the window's default.
      o.view.Density = kDefaultDensityDivisions;
      if (i + 1 < args.size())
        for (const int32_t n : kDensityDivisions)
          if (args[i + 1] == std::to_string(n)) o.view.Density = n, ++i;
    } else if (a == "--select") {
      if (!value(v)) return usage("--select needs a row number");
      char* end = nullptr;
      const long n = std::strtol(v.c_str(), &end, 10);
      if (v.empty() || *end || n < INT32_MIN || n > INT32_MAX) return usage("--select takes a row number");
      o.view.SelectedSample = static_cast<int32_t>(n);
    } else if (a == "--colour-by" || a == "--color-by") {
      if (!value(v)) return usage("--colour-by needs note or a field number");
      char* end = nullptr;
      const long n = v == "note" ? 5 : std::strtol(v.c_str(), &end, 10);
      if (v != "note" && (v.empty() || *end || n < 5 || n > INT32_MAX))
        return usage("--colour-by takes note or a field number of 5 or more");
      o.view.ColourBy = static_cast<int32_t>(n);
    } else if (a.size() > 1 && a[0] == '-') {
      return usage("unknown option " + VisibleName(a));
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
    return usage("the output " + VisibleName(o.output) + " is the data file itself");
  if (!o.output.empty() && standardInput && input && IsInputsFile(input->descriptor, o.output))
    return usage("the output " + VisibleName(o.output) + " is the data file itself (standard input)");

  Plot plot;
  try {
    const char separator = o.separator ? *o.separator : UserDecimalSeparator();
    // Closed, it would read as an empty table: a diagram of nothing, reported as done.
    if (standardInput && input && input->closed) throw LoadError(kStandardInputClosed, 0);
    if (standardInput)
      plot.LoadBytes(ReadAll(in, input ? input->limit : kStandardInputLimit), separator).ThrowIfFailed();
    else plot.LoadFile(o.dataFile, separator).ThrowIfFailed();
  } catch (const LoadError& e) {
    const std::string name = standardInput ? kStandardInput : VisibleName(o.dataFile);
    if (e.Row() > 0) err << name << ":" << e.Row() << ": " << WithFullStop(e.what()) << "\n";
    else err << "ternova-plot: " << WithFullStop(e.what()) << "\n";
    return 1;
  }

  if (o.points) {
    std::string buffer;
    buffer.reserve(1 << 16);
    for (int32_t r = 1; r <= plot.Table.SampleCount; ++r)
      for (int f = 1; f <= 4; ++f) {
        const Point& p = plot.Table.SamplePoints[r][f];
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
    plot.Draw(o.view, env);
    if (!NamesRasterFormat(o.output)) {
      SaveVectorPictureFile(o.output, Snapshot(plot.Picture));
    } else {
      if (startPainter) startPainter();
      SavePictureFile(o.output, Snapshot(plot.Picture));
    }
  } catch (const Error& e) {
    err << "ternova-plot: " << WithFullStop(e.what()) << "\n";
    return 1;
  }
  return 0;
}

}  // namespace

}  // namespace ternova
