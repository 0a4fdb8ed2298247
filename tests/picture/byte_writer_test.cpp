#include "picture/byte_writer.h"

#include <gtest/gtest.h>

namespace ternova {
namespace {

std::vector<uint8_t> B(std::initializer_list<int> v) { return std::vector<uint8_t>(v.begin(), v.end()); }

// Field layout the formats depend on: little-endian whatever the host, two's complement for
// signed fields, IEEE floats, zero padding and fixed-width text fields.
TEST(ByteWriter, StoresFieldsLittleEndian) {
  struct Case {
    const char* what;
    void (*write)(ByteWriter&);
    std::vector<uint8_t> want;
  };
  const Case cases[] = {
      {"u8", [](ByteWriter& w) { w.U8(0xAB); }, B({0xAB})},
      {"u16", [](ByteWriter& w) { w.U16(0x1234); }, B({0x34, 0x12})},
      {"i16 -2", [](ByteWriter& w) { w.I16(-2); }, B({0xFE, 0xFF})},
      {"u32", [](ByteWriter& w) { w.U32(0x9AC6CDD7); }, B({0xD7, 0xCD, 0xC6, 0x9A})},
      {"i32 min", [](ByteWriter& w) { w.I32(INT32_MIN); }, B({0, 0, 0, 0x80})},
      {"f32 25.0", [](ByteWriter& w) { w.F32(25.0f); }, B({0, 0, 0xC8, 0x41})},
      {"pad 5 to 4", [](ByteWriter& w) { w.Zeros(1); w.U32(0xFFFFFFFF); w.PadTo(4); },
       B({0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0})},
      {"pad aligned", [](ByteWriter& w) { w.U16(1); w.PadTo(2); }, B({1, 0})},
      {"fixed bytes", [](ByteWriter& w) { w.FixedBytes("abc", 5); }, B({'a', 'b', 'c', 0, 0})},
      {"fixed bytes cut", [](ByteWriter& w) { w.FixedBytes("abcdef", 3); }, B({'a', 'b', 'c'})},
      {"utf16", [](ByteWriter& w) { w.Utf16(u"Aゴ"); }, B({'A', 0, 0xB4, 0x30})},
      {"fixed utf16", [](ByteWriter& w) { w.FixedUtf16(u"AB", 3); }, B({'A', 0, 'B', 0, 0, 0})},
      {"patch", [](ByteWriter& w) { w.U32(0); w.U16(0); w.PatchU32(0, 0x01020304); w.PatchU16(4, 0x0506); },
       B({4, 3, 2, 1, 6, 5})},
  };
  for (const Case& c : cases) {
    ByteWriter w;  // unreserved: exercises growth as well
    c.write(w);
    EXPECT_EQ(w.Take(), c.want) << c.what;
  }
}

TEST(ByteWriter, GrowsPastItsReservationAndStartsOverAfterTake) {
  ByteWriter w(3);
  for (uint32_t i = 0; i < 1000; ++i) w.U32(i);
  std::vector<uint8_t> got = w.Take();
  ASSERT_EQ(got.size(), 4000u);
  EXPECT_EQ(got[4 * 999], 999 & 0xFF);
  EXPECT_EQ(got[4 * 999 + 1], 999 >> 8);
  EXPECT_EQ(w.Size(), 0u);
  w.U8(7);
  EXPECT_EQ(w.Take(), B({7}));
}

}  // namespace
}  // namespace ternova
