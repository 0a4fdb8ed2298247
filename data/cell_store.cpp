#include "data/cell_store.h"

#include <algorithm>
#include <limits>

#include "data/data_file.h"
#include "data/text_decode.h"

namespace ternova {

void CellStore::Reset(std::shared_ptr<const FileBytes> bytes, int32_t rows) {
  // Give the previous file's memory back before taking the new one's.
  cells_ = {};
  rest_ = {};
  rows_ = 0;
  utf8_ = -1;
  bytes_ = std::move(bytes);
  cells_ = decltype(cells_)(static_cast<size_t>(rows) * kColumns);
  rows_ = rows;
}

namespace {

// A cell can never be longer than its line, and a line is below 4 GiB only when the file is:
// longer cells are cut at the limit rather than wrapped.
uint32_t SpanLength(size_t length) {
  return static_cast<uint32_t>(std::min<size_t>(length, std::numeric_limits<uint32_t>::max()));
}

}  // namespace

void CellStore::Set(int32_t col, int32_t row, size_t offset, size_t length) {
  if (col >= 1 && col <= kColumns && row >= 1 && row <= rows_)
    cells_[static_cast<size_t>(row - 1) * kColumns + (col - 1)] = {static_cast<uint64_t>(offset), SpanLength(length)};
}

void CellStore::SetRest(int32_t row, size_t offset, size_t length) {
  if (row < 1 || row > rows_) return;
  const Span span{static_cast<uint64_t>(offset), SpanLength(length)};
  if (!rest_.empty() && rest_.back().row == row) rest_.back().span = span;
  else rest_.push_back({row, span});
}

std::string_view CellStore::Get(int32_t col, int32_t row) const {
  if (col >= 1 && col <= kColumns) {
    if (row < 1 || row > rows_) return {};
    return View(cells_[static_cast<size_t>(row - 1) * kColumns + (col - 1)]);
  }
  if (col <= kColumns) return {};
  const auto it = std::lower_bound(rest_.begin(), rest_.end(), row, [](const Rest& r, int32_t n) { return r.row < n; });
  if (it == rest_.end() || it->row != row) return {};
  const std::string_view rest = View(it->span);
  std::string_view found;
  SplitFields(rest, 0, rest.size(), [&](int32_t k, size_t offset, size_t length) {
    if (k + kColumns < col) return true;
    found = rest.substr(offset, length);
    return false;
  });
  return found;
}

std::string CellStore::Text(int32_t col, int32_t row) const {
  return DecodeCellText(Get(col, row), Utf8());
}

bool CellStore::Utf8() const {
  if (utf8_ < 0) utf8_ = (!bytes_ || IsValidUtf8(std::string_view(bytes_->data(), bytes_->size()))) ? 1 : 0;
  return utf8_ == 1;
}

}  // namespace ternova
