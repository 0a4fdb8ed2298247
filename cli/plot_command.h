#pragma once
#include <cstddef>
#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

namespace ternova {

// Standard input is read whole before the load, like a file, but unlike a file it may never
// end (`yes`, a stuck producer): past this many bytes before its first NUL the load fails as
// out of resources. Two gibibytes are some fifty million samples, far beyond any real table.
inline constexpr size_t kStandardInputLimit = size_t{2} << 30;

// Where the data file "-" comes from.
struct StandardInput {
  int descriptor = 0;
  // It was closed when the program started (and /dev/null took its number).
  bool closed = false;
  size_t limit = kStandardInputLimit;
};

// ternova-plot: loads a data file as the window's Open does and prints its projected points
// or writes its diagram. Returns the exit status: 0 done, 1 the load or the save failed,
// 2 the command line was wrong.
// The data file "-" is read from standard input (`input` says which descriptor and whether it
// was closed) or, in the second form, from `in`. `startPainter` runs before a raster format
// (.png, .bmp, .ico) is drawn, the only work that needs the GUI toolkit: the command line
// starts its application there, and nowhere else.
int RunPlotCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                   const StandardInput& input = {}, const std::function<void()>& startPainter = {});
int RunPlotCommand(const std::vector<std::string>& args, std::istream& in, std::ostream& out, std::ostream& err,
                   const std::function<void()>& startPainter = {});

}  // namespace ternova
