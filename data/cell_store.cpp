#include "data/cell_store.h"

#include <algorithm>
#include <limits>

#include "data/data_file.h"
#include "data/text_decode.h"

namespace ternova {

void CellStore::Reset(std::shared_ptr<const FileBytes> bytes, int32_t rows) {
  rows_ = 0;
  utf8_ = -1;
  bytes_ = std::move(bytes);
  if (lines_.size() == static_cast<size_t>(rows)) {
    // As many rows as before: the pages are there already, and clearing them costs less than
    // the system's fresh ones.
    std::fill(lines_.begin(), lines_.end(), Span{});
  } else {
    // Give the previous file's memory back before taking the new one's.
    lines_ = decltype(lines_)();  // not {}: that keeps the memory
    lines_ = decltype(lines_)(static_cast<size_t>(rows));
  }
  rows_ = rows;
}

void CellStore::SetLine(int32_t row, size_t begin, size_t end) {
  // A line is below 4 GiB only when the file is: a longer one is cut at the limit, not wrapped.
  if (row >= 1 && row <= rows_)
    lines_[static_cast<size_t>(row - 1)] = {static_cast<uint64_t>(begin),
                                            static_cast<uint32_t>(std::min<size_t>(end - begin, std::numeric_limits<uint32_t>::max()))};
}

std::string_view CellStore::Get(int32_t col, int32_t row) const {
  if (col < 1 || row < 1 || row > rows_) return {};
  const Span& line = lines_[static_cast<size_t>(row - 1)];
  const std::string_view text(bytes_->data(), line.offset + line.length);
  std::string_view found;
  SplitFields(text, line.offset, text.size(), [&](int32_t k, size_t offset, size_t length) {
    if (k < col) return true;
    found = text.substr(offset, length);
    return false;
  });
  return found;
}

int32_t CellStore::Fields(int32_t row) const {
  if (row < 1 || row > rows_) return 0;
  const Span& line = lines_[static_cast<size_t>(row - 1)];
  const std::string_view text(bytes_->data(), line.offset + line.length);
  int32_t last = 0;
  SplitFields(text, line.offset, text.size(), [&](int32_t k, size_t, size_t) {
    last = k;
    return true;
  });
  return last;
}

std::string CellStore::Text(int32_t col, int32_t row) const {
  return DecodeCellText(Get(col, row), Utf8());
}

bool CellStore::Utf8() const {
  if (utf8_ < 0) utf8_ = (!bytes_ || IsValidUtf8(std::string_view(bytes_->data(), bytes_->size()))) ? 1 : 0;
  return utf8_ == 1;
}

}  // namespace ternova
