#pragma once
// Text from outside (cells of a data file, file names) as messages and labels show it: what one
// cannot see, and what a terminal would take as a command, is spelt out.
#include <string>
#include <string_view>

namespace ternova {

// `utf8` with every character one cannot see written as its code, e.g. <U+FEFF>: byte-order
// marks, control characters, spaces other than the plain one, zero-width and direction marks.
// For messages that quote a field, so a field that looks right shows why it is not; the
// brackets keep "<U+3000>1" apart from U+30001.
std::string WithInvisiblesShown(std::string_view utf8);

// A file name as every message and label shows it: bytes that are no UTF-8 become U+FFFD and
// invisible characters are spelt out as in cells, so a name can neither hide a character nor
// send an escape sequence to a terminal, and a message naming it stays on one line.
std::string VisibleName(std::string_view name);

}  // namespace ternova
