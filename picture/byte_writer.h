#pragma once
// Little-endian output for the metafile writers. Every field is stored byte by byte through
// shifts, so the files come out the same on any host; the buffer grows geometrically and is
// meant to be reserved up front, which keeps the hot path to a bounds check and a few stores.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ternova {

class ByteWriter {
 public:
  ByteWriter() = default;
  explicit ByteWriter(size_t expected) { Reserve(expected); }

  // Makes room for `bytes` more without reallocating later.
  void Reserve(size_t bytes);

  size_t Size() const { return size_; }

  void U8(uint8_t v) {
    uint8_t* p = Room(1);
    p[0] = v;
  }
  void U16(uint16_t v) {
    uint8_t* p = Room(2);
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
  }
  void I16(int16_t v) { U16(static_cast<uint16_t>(v)); }
  void U32(uint32_t v) {
    uint8_t* p = Room(4);
    Store32(p, v);
  }
  void I32(int32_t v) { U32(static_cast<uint32_t>(v)); }
  // IEEE single precision, as EMF stores its scale factors.
  void F32(float v);

  // `n` zero bytes.
  void Zeros(size_t n);
  // Zero bytes up to the next multiple of `alignment` (a power of two) from the start.
  void PadTo(size_t alignment) { Zeros((alignment - (size_ & (alignment - 1))) & (alignment - 1)); }

  // 8-bit text as given, then zeros up to `field` bytes (truncated if longer).
  void Bytes(std::string_view bytes);
  void FixedBytes(std::string_view bytes, size_t field);
  // UTF-16LE units; the fixed form truncates and zero-fills to `units`.
  void Utf16(std::u16string_view text);
  void FixedUtf16(std::u16string_view text, size_t units);

  // Overwrites fields already written, e.g. a record size known only at its end.
  void PatchU16(size_t offset, uint16_t v);
  void PatchU32(size_t offset, uint32_t v);

  const uint8_t* Data() const { return buffer_.data(); }
  // Forgets the bytes written but keeps the room, for a writer used as a staging buffer.
  void Clear() { size_ = 0; }
  // Hands over the bytes written so far and leaves the writer empty.
  std::vector<uint8_t> Take();

 private:
  static void Store32(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
  }
  uint8_t* Room(size_t n) {
    if (buffer_.size() - size_ < n) Grow(n);
    uint8_t* p = buffer_.data() + size_;
    size_ += n;
    return p;
  }
  void Grow(size_t n);
  void SetCapacity(size_t bytes);

  // buffer_.size() is the capacity; size_ the bytes written.
  std::vector<uint8_t> buffer_;
  size_t size_ = 0;
};

}  // namespace ternova
