#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/big_allocator.h"

namespace ternova {

// A data file's bytes as read: raw, in the system's 8-bit code page or UTF-8.
using FileBytes = std::vector<char, BigScratchAllocator<char>>;

// The texts of the sample grid by (column, row), kept apart from the grid's size so the grid can
// be a view over them. A row is the span of its line in the loaded file's bytes, kept raw (the
// system's 8-bit text) and split into fields when a cell is asked for: the grid asks only for
// what it shows, and a million rows cost 12 bytes each. Column 0 and the header row are not
// stored: they follow from the row number.
class CellStore {
 public:
  static constexpr int32_t kColumns = 5;

  // A new, empty set of cells over `bytes` for rows 1..rows: no text of an earlier file remains.
  void Reset(std::shared_ptr<const FileBytes> bytes, int32_t rows);
  // Row `row`'s cells are the fields of line bytes[begin, end) (see SplitFields).
  void SetLine(int32_t row, size_t begin, size_t end);
  // Row `row` has no cells again.
  void ClearLine(int32_t row) { SetLine(row, 0, 0); }

  std::string_view Get(int32_t col, int32_t row) const;  // empty when never written
  // How many fields row `row` has: its last cell's column.
  int32_t Fields(int32_t row) const;
  // The cell as the grid shows it (UTF-8).
  std::string Text(int32_t col, int32_t row) const;
  int32_t Rows() const { return rows_; }
  // Whether the file's text is shown as UTF-8 (else in the system's code page); worked out on first use.
  bool Utf8() const;

 private:
#pragma pack(push, 4)
  struct Span {  // no initialisers: a fresh, zeroed block is an array of empty rows
    uint64_t offset;
    uint32_t length;
  };
#pragma pack(pop)

  std::shared_ptr<const FileBytes> bytes_;
  int32_t rows_ = 0;
  std::vector<Span, BigUninitAllocator<Span>> lines_;  // rows 1..rows_, only ever created at full size
  mutable int8_t utf8_ = -1;  // -1 not yet known
};

}  // namespace ternova
