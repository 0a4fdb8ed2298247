#include "data/byte_order_mark.h"

#include <cstdio>
#include <string_view>

#include "base/encoding.h"
#include "data/data_file.h"

namespace ternova {

namespace {

bool StartsWith(const FileBytes& bytes, std::string_view mark) {
  return bytes.size() >= mark.size() && std::string_view(bytes.data(), mark.size()) == mark;
}

std::shared_ptr<FileBytes> FromUtf8(std::shared_ptr<FileBytes> bytes) {
  const std::string_view text(bytes->data() + 3, bytes->size() - 3);
  if (IsValidUtf8(text)) {
    bytes->erase(bytes->begin(), bytes->begin() + 3);
    return bytes;
  }
  auto repaired = std::make_shared<FileBytes>(ReplacedUtf8Size(text));
  ReplaceInvalidUtf8(text, repaired->data());
  return repaired;
}

std::shared_ptr<FileBytes> FromUtf16(const FileBytes& bytes, ByteOrder order) {
  std::string_view units(bytes.data() + 2, bytes.size() - 2);
  // The text ends at the first U+0000 unit: whatever follows is never read, not even checked.
  for (size_t i = 0; i + 1 < units.size(); i += 2)
    if (units[i] == 0 && units[i + 1] == 0) {
      units = units.substr(0, i);
      break;
    }
  auto utf8 = std::make_shared<FileBytes>(units.size() / 2 * 3);
  const Utf16Conversion done = Utf8FromUtf16Bytes(units, order, utf8->data());
  switch (done.stop) {
    case Utf16Conversion::Stop::End: break;
    case Utf16Conversion::Stop::OddByte: throw LoadError(kOddUtf16Length, 0);
    case Utf16Conversion::Stop::UnpairedSurrogate: {
      // The line the surrogate stands on, counted as the load would count it.
      const std::string_view before(utf8->data(), done.written);
      const bool lineStart = before.empty() || before.back() == '\n' || before.back() == '\r';
      const int64_t line = CountLines(before) + (lineStart ? 1 : 0);
      char unit[8];
      std::snprintf(unit, sizeof unit, "U+%04X", static_cast<unsigned>(done.surrogate));
      throw LoadError(Format(kUnpairedSurrogate, {std::to_string(line), unit}), 0);
    }
  }
  utf8->resize(done.written);
  return utf8;
}

}  // namespace

std::shared_ptr<FileBytes> WithoutByteOrderMark(std::shared_ptr<FileBytes> bytes) {
  try {
    if (StartsWith(*bytes, "\xEF\xBB\xBF")) return FromUtf8(std::move(bytes));
    if (StartsWith(*bytes, "\xFF\xFE")) return FromUtf16(*bytes, ByteOrder::LittleEndian);
    if (StartsWith(*bytes, "\xFE\xFF")) return FromUtf16(*bytes, ByteOrder::BigEndian);
  } catch (const std::bad_alloc&) {
    throw LoadError(kNoResources, 0);
  }
  return bytes;
}

}  // namespace ternova
