#pragma once
#include <memory>

#include "data/cell_store.h"

namespace ternova {

// The bytes of a data file as the load splits them. A file that starts with a byte-order mark
// is read in the encoding the mark names and handed on as UTF-8 without it: EF BB BF is UTF-8
// (bytes that are not become U+FFFD), FF FE and FE FF are UTF-16 little- and big-endian, as
// spreadsheets export "Unicode text". So a marked file's text is always valid UTF-8, and its
// cells are shown as such. A file without a mark is handed on untouched.
//
// UTF-16 text ends at its first U+0000, as 8-bit text ends at its first NUL. Throws a LoadError
// (row 0, nothing loaded) for UTF-16 that is no text: an odd number of bytes, or a surrogate
// without its partner.
std::shared_ptr<FileBytes> WithoutByteOrderMark(std::shared_ptr<FileBytes> bytes);

}  // namespace ternova
