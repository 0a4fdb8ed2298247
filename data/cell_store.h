#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/big_allocator.h"

namespace ternova {

// A data file's bytes as read: raw, in the system's 8-bit code page or UTF-8.
using FileBytes = std::vector<char, BigUninitAllocator<char>>;

// The texts of the sample grid by (column, row), kept apart from the grid's size so the grid can
// be a view over them. Cells are spans into the loaded file's bytes, kept raw (the system's
// 8-bit text). Columns 1..5 of every row are held in place; fields 6 and beyond, which the
// program never shows, are kept as one span of their line and split when asked for, so a line
// of millions of fields costs no more than its bytes. Column 0 and the header row are not stored: they follow
// from the row number.
class CellStore {
 public:
  static constexpr int32_t kColumns = 5;

  // A new, empty set of cells over `bytes` for rows 1..rows: no text of an earlier file remains.
  void Reset(std::shared_ptr<const FileBytes> bytes, int32_t rows);
  // Cell (col, row) := bytes[offset, offset + length), for columns 1..kColumns.
  void Set(int32_t col, int32_t row, size_t offset, size_t length);
  // The rest of row `row` from its sixth field on (rows in increasing order): bytes[offset,
  // offset + length), split into fields as the line is.
  void SetRest(int32_t row, size_t offset, size_t length);

  std::string_view Get(int32_t col, int32_t row) const;  // empty when never written
  // The cell as the grid shows it (UTF-8).
  std::string Text(int32_t col, int32_t row) const;
  int32_t Rows() const { return rows_; }
  // Whether the file's text is shown as UTF-8 (else Shift-JIS); worked out on first use.
  bool Utf8() const;

 private:
#pragma pack(push, 4)
  struct Span {  // no initialisers: a fresh, zeroed block is an array of empty cells
    uint64_t offset;
    uint32_t length;
  };
#pragma pack(pop)
  struct Rest {
    int32_t row;
    Span span;
  };
  std::string_view View(const Span& s) const { return {bytes_->data() + s.offset, s.length}; }

  std::shared_ptr<const FileBytes> bytes_;
  int32_t rows_ = 0;
  std::vector<Span, BigUninitAllocator<Span>> cells_;  // only ever created at full size    // row-major, rows 1..rows_, columns 1..kColumns
  std::vector<Rest> rest_;     // fields 6+, by row
  mutable int8_t utf8_ = -1;   // -1 not yet known
};

}  // namespace ternova
