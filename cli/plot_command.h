#pragma once
#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

namespace ternova {

// ternova-plot: loads a data file as the window's Open does and prints its projected points
// or writes its diagram. Returns the exit status: 0 done, 1 the load or the save failed,
// 2 the command line was wrong.
// The data file "-" is read from `in` (standard input for the first form).
// `startPainter` runs before a raster format (.png, .bmp, .ico) is drawn, the only work that
// needs the GUI toolkit: the command line starts its application there, and nowhere else.
int RunPlotCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                   const std::function<void()>& startPainter = {});
int RunPlotCommand(const std::vector<std::string>& args, std::istream& in, std::ostream& out, std::ostream& err,
                   const std::function<void()>& startPainter = {});

}  // namespace ternova
