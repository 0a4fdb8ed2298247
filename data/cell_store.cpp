#include "data/cell_store.h"

#include <algorithm>
#include <limits>

#include "data/text_decode.h"

namespace ternova {

void CellStore::Reset(std::shared_ptr<const FileBytes> bytes, int32_t rows) {
  // Give the previous file's memory back before taking the new one's.
  cells_ = {};
  extra_ = {};
  rows_ = 0;
  utf8_ = -1;
  bytes_ = std::move(bytes);
  cells_ = decltype(cells_)(static_cast<size_t>(rows) * kColumns);
  rows_ = rows;
}

void CellStore::Set(int32_t col, int32_t row, size_t offset, size_t length) {
  // A cell can never be longer than its line, and a line is below 4 GiB only when the
  // file is: longer cells are cut at the limit rather than wrapped.
  const Span span{static_cast<uint64_t>(offset), static_cast<uint32_t>(std::min<size_t>(length, std::numeric_limits<uint32_t>::max()))};
  if (col >= 1 && col <= kColumns && row >= 1 && row <= rows_) {
    cells_[static_cast<size_t>(row - 1) * kColumns + (col - 1)] = span;
  } else {
    extra_.push_back({col, row, span});
  }
}

std::string_view CellStore::Get(int32_t col, int32_t row) const {
  if (col >= 1 && col <= kColumns) {
    if (row < 1 || row > rows_) return {};
    return View(cells_[static_cast<size_t>(row - 1) * kColumns + (col - 1)]);
  }
  for (auto it = extra_.rbegin(); it != extra_.rend(); ++it)
    if (it->col == col && it->row == row) return View(it->span);
  return {};
}

std::string CellStore::Text(int32_t col, int32_t row) const {
  return DecodeCellText(Get(col, row), Utf8());
}

bool CellStore::Utf8() const {
  if (utf8_ < 0) utf8_ = (!bytes_ || IsValidUtf8(std::string_view(bytes_->data(), bytes_->size()))) ? 1 : 0;
  return utf8_ == 1;
}

}  // namespace ternova
