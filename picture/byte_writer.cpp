#include "picture/byte_writer.h"

#include <algorithm>
#include <bit>
#include <cstring>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace ternova {

namespace {

// A picture of a million samples is a hundred megabytes; touching that in 4 KiB pages costs
// more than encoding it. Fresh, still untouched buffers of some size ask for huge pages
// (a hint only: where the system declines, nothing changes).
void AdviseHugePages([[maybe_unused]] uint8_t* data, [[maybe_unused]] size_t bytes) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  constexpr size_t kBig = size_t{4} << 20;
  if (bytes < kBig) return;
  const auto page = static_cast<uintptr_t>(4096);
  const uintptr_t begin = (reinterpret_cast<uintptr_t>(data) + page - 1) & ~(page - 1);
  const uintptr_t end = (reinterpret_cast<uintptr_t>(data) + bytes) & ~(page - 1);
  if (end > begin) ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#endif
}

}  // namespace

void ByteWriter::SetCapacity(size_t bytes) {
  if (bytes > buffer_.capacity()) {
    buffer_.reserve(bytes);
    AdviseHugePages(buffer_.data(), bytes);
  }
  buffer_.resize(bytes);
}

void ByteWriter::Reserve(size_t bytes) {
  if (buffer_.size() - size_ < bytes) SetCapacity(size_ + bytes);
}

void ByteWriter::Grow(size_t n) {
  // Doubling keeps a writer that was not reserved linear overall.
  SetCapacity(std::max(size_ + n, buffer_.size() * 2 + 64));
}

void ByteWriter::F32(float v) { U32(std::bit_cast<uint32_t>(v)); }

void ByteWriter::Zeros(size_t n) {
  if (n == 0) return;
  uint8_t* p = Room(n);
  std::memset(p, 0, n);
}

void ByteWriter::Bytes(std::string_view bytes) {
  if (bytes.empty()) return;
  uint8_t* p = Room(bytes.size());
  std::memcpy(p, bytes.data(), bytes.size());
}

void ByteWriter::FixedBytes(std::string_view bytes, size_t field) {
  const size_t n = std::min(bytes.size(), field);
  Bytes(bytes.substr(0, n));
  Zeros(field - n);
}

void ByteWriter::Utf16(std::u16string_view text) {
  uint8_t* p = Room(text.size() * 2);
  for (char16_t c : text) {
    *p++ = static_cast<uint8_t>(c);
    *p++ = static_cast<uint8_t>(c >> 8);
  }
}

void ByteWriter::FixedUtf16(std::u16string_view text, size_t units) {
  const size_t n = std::min(text.size(), units);
  Utf16(text.substr(0, n));
  Zeros((units - n) * 2);
}

void ByteWriter::PatchU16(size_t offset, uint16_t v) {
  buffer_[offset] = static_cast<uint8_t>(v);
  buffer_[offset + 1] = static_cast<uint8_t>(v >> 8);
}

void ByteWriter::PatchU32(size_t offset, uint32_t v) { Store32(buffer_.data() + offset, v); }

std::vector<uint8_t> ByteWriter::Take() {
  buffer_.resize(size_);
  std::vector<uint8_t> out = std::move(buffer_);
  buffer_.clear();
  size_ = 0;
  return out;
}

}  // namespace ternova
