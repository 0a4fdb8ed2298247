#include "picture/vector_common.h"

#include <cstdlib>
#include <string_view>
#include <variant>

namespace ternova {

std::vector<uint8_t> EncodeWhole(const PictureSnapshot& picture,
                                 void (*write)(const PictureSnapshot&, const ByteSink&)) {
  ByteWriter all;
  write(picture, [&](const uint8_t* data, size_t size) {
    all.Bytes(std::string_view(reinterpret_cast<const char*>(data), size));
  });
  return all.Take();
}

void Decimal(ByteWriter& out, int64_t v) {
  char text[24];
  char* end = text + sizeof text;
  char* p = end;
  uint64_t magnitude = v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
  do {
    *--p = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  if (v < 0) *--p = '-';
  out.Bytes(std::string_view(p, static_cast<size_t>(end - p)));
}

void HalfDecimal(ByteWriter& out, int64_t halves) {
  // Truncating division keeps the sign on the integer part: -3 halves is "-1.5".
  const int64_t whole = halves / 2;
  if (whole == 0 && halves < 0) out.Bytes("-");
  Decimal(out, whole);
  if (halves % 2 != 0) out.Bytes(".5");
}

void Channel(ByteWriter& out, uint8_t v) {
  if (v == 0 || v == 255) {
    out.Bytes(v == 0 ? "0" : "1");
    return;
  }
  const int scaled = (v * 10000 + 127) / 255;  // 1..9999
  char text[6] = {'0', '.', 0, 0, 0, 0};
  int digits = 4, value = scaled;
  while (value % 10 == 0) {
    value /= 10;
    --digits;
  }
  for (int i = digits - 1; i >= 0; --i) {
    text[2 + i] = static_cast<char>('0' + value % 10);
    value /= 10;
  }
  out.Bytes(std::string_view(text, static_cast<size_t>(2 + digits)));
}

EllipseKind EllipseKinds::Of(const op::Ellipse& e, const op::Brush& brush, const op::Pen& pen) {
  EllipseKind k;
  k.width = std::llabs(int64_t{e.x2} - e.x1);
  k.height = std::llabs(int64_t{e.y2} - e.y1);
  k.brush = brush;
  k.pen = pen;
  return k;
}

EllipseKinds::EllipseKinds(const PictureContent& content) {
  op::Brush brush = kInitialBrush;
  op::Pen pen = kInitialPen;
  ForEachOperation(content, Overloaded{
                                [&](const op::Ellipse& e) { Find(Of(e, brush, pen)); },
                                [&](const op::Brush& b) { brush = b; },
                                [&](const op::Pen& p) { pen = p; },
                                [](const auto&) {},
                            });
  last_ = 0;
}

size_t EllipseKinds::Hash::operator()(const EllipseKind& k) const {
  uint64_t h = static_cast<uint64_t>(k.width) * 0x9E3779B97F4A7C15ull ^ static_cast<uint64_t>(k.height);
  auto mix = [&](uint64_t v) { h = (h ^ v) * 0x100000001B3ull; };
  mix(static_cast<uint64_t>(k.brush.style) << 24 | uint64_t{k.brush.colour.r} << 16 | uint64_t{k.brush.colour.g} << 8 |
      k.brush.colour.b);
  mix(static_cast<uint64_t>(k.pen.style) << 24 | uint64_t{k.pen.colour.r} << 16 | uint64_t{k.pen.colour.g} << 8 |
      k.pen.colour.b);
  mix(static_cast<uint32_t>(k.pen.width));
  return static_cast<size_t>(h);
}

size_t EllipseKinds::Find(const EllipseKind& kind) {
  if (last_ < kinds_.size() && kinds_[last_] == kind) return last_;
  const auto [it, added] = index_.try_emplace(kind, kinds_.size());
  if (added) kinds_.push_back(kind);
  return last_ = it->second;
}

}  // namespace ternova
