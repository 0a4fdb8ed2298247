// Any picture through both metafile writers: every file must pass the test walker's framing and
// object-table checks, the EMF must carry each drawing operation as one record with its
// coordinates unchanged, and the WMF must clamp what its 16 bits cannot hold, never wrap it.
//
// Input: the picture is read from the bytes as it goes (fonts, texts, then operations), so the
// fuzzer's coverage feedback steers every choice.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "picture/emf_writer.h"
#include "picture/picture.h"
#include "picture/wmf_writer.h"
#include "tests/picture/metafile_reader.h"
#include "tests/flat_operations.h"

namespace {

using namespace ternova;
namespace t = ternova::testing;

[[noreturn]] void Fail(const char* what, const std::string& detail = {}) {
  std::fprintf(stderr, "metafile_fuzz: %s %s\n", what, detail.c_str());
  __builtin_trap();
}
#define CHECK(cond) \
  do {              \
    if (!(cond)) Fail(#cond); \
  } while (0)

// Coordinates: the edges of both formats' ranges are where writers go wrong.
int32_t Coord(FuzzedDataProvider& in) {
  static constexpr int32_t kEdges[] = {INT32_MIN, INT32_MIN + 1, -65536, -32769, -32768, -32767, -1, 0,
                                       1,         2000,          32767,  32768,  65535,  INT32_MAX - 1, INT32_MAX};
  switch (in.ConsumeIntegralInRange(0, 3)) {
    case 0: return in.PickValueInArray(kEdges);
    case 1: return in.ConsumeIntegralInRange(-10, 2010);
    default: return in.ConsumeIntegral<int32_t>();
  }
}

Rgb Colour(FuzzedDataProvider& in) {
  return {in.ConsumeIntegral<uint8_t>(), in.ConsumeIntegral<uint8_t>(), in.ConsumeIntegral<uint8_t>()};
}

FillStyle Style(FuzzedDataProvider& in) { return in.ConsumeBool() ? FillStyle::Solid : FillStyle::None; }

PictureText Text(FuzzedDataProvider& in) {
  PictureText text;
  // Any UTF-16 units, lone surrogates included; sometimes long enough to pass the WMF's
  // 32767-byte string limit (a pattern repeated, so a short input can ask for it).
  const size_t units = in.ConsumeIntegralInRange<size_t>(0, 24);
  for (size_t i = 0; i < units; ++i) text.chars.push_back(in.ConsumeIntegral<uint16_t>());
  // Rarely, as each such text costs tens of thousands of conversions.
  if (!text.chars.empty() && in.ConsumeIntegralInRange(0, 31) == 0) {
    const size_t total = in.ConsumeIntegralInRange<size_t>(16000, 34000);
    for (size_t i = text.chars.size(); i < total; ++i) text.chars.push_back(text.chars[i % units]);
  }
  // Advances need not match the units: too few, too many, any values.
  const int64_t advances = std::max<int64_t>(0, int64_t(text.chars.size()) + in.ConsumeIntegralInRange(-2, 2));
  uint32_t width = 0;
  for (int64_t i = 0; i < advances; ++i) {
    text.advances.push_back(i < 24 ? Coord(in) : 30);
    width += static_cast<uint32_t>(text.advances.back());
  }
  text.width = static_cast<int32_t>(width);
  return text;
}

int32_t Clamp16(int32_t v) { return std::clamp<int32_t>(v, INT16_MIN, INT16_MAX); }

bool Drawing(const PictureOp& o, const PictureContent& c) {
  if (const auto* t = std::get_if<op::TextOut>(&o)) return t->text < c.texts.size();  // no text: nothing drawn
  return std::holds_alternative<op::Rectangle>(o) || std::holds_alternative<op::Ellipse>(o) ||
         std::holds_alternative<op::MoveTo>(o) || std::holds_alternative<op::LineTo>(o);
}

// The coordinates an op gives its record: left, top, right, bottom or x, y.
std::vector<int32_t> Coords(const PictureOp& o) {
  if (const auto* r = std::get_if<op::Rectangle>(&o)) return {r->x1, r->y1, r->x2, r->y2};
  if (const auto* e = std::get_if<op::Ellipse>(&o)) return {e->x1, e->y1, e->x2, e->y2};
  if (const auto* m = std::get_if<op::MoveTo>(&o)) return {m->x, m->y};
  if (const auto* l = std::get_if<op::LineTo>(&o)) return {l->x, l->y};
  const auto& t = std::get<op::TextOut>(o);
  return {t.x, t.y};
}

void CheckEmf(const PictureContent& c, const std::vector<uint8_t>& emf) {
  const t::EmfWalk walk = t::WalkEmf(emf);
  if (!walk.error.empty()) Fail("EMF:", walk.error);
  std::vector<const t::EmfRecord*> drawn;
  for (const t::EmfRecord& r : walk.records)
    if (r.type == t::emr::kRectangle || r.type == t::emr::kEllipse || r.type == t::emr::kMoveToEx ||
        r.type == t::emr::kLineTo || r.type == t::emr::kExtTextOutW)
      drawn.push_back(&r);
  size_t k = 0;
  for (const PictureOp& o : ::ternova::testing::FlatOperations(c)) {
    if (!Drawing(o, c)) continue;
    if (k == drawn.size()) Fail("EMF: fewer drawing records than drawing operations");
    const t::EmfRecord& r = *drawn[k++];
    const std::vector<int32_t> want = Coords(o);
    // Boxes and points follow the 8-byte record header; a text's reference point comes later.
    const size_t at = r.offset + (r.type == t::emr::kExtTextOutW ? 36 : 8);
    for (size_t i = 0; i < want.size(); ++i)
      if (t::LeI32(emf, at + 4 * i) != want[i]) Fail("EMF: coordinate changed in record", std::to_string(r.offset));
    if (const auto* text = std::get_if<op::TextOut>(&o)) {
      CHECK(r.type == t::emr::kExtTextOutW);
      const std::u16string& chars = c.texts[text->text].chars;
      CHECK(t::Le32(emf, r.offset + 44) == chars.size());
      const size_t string = r.offset + t::Le32(emf, r.offset + 48);
      for (size_t i = 0; i < chars.size(); ++i) CHECK(t::Le16(emf, string + 2 * i) == chars[i]);
    }
  }
  if (k != drawn.size()) Fail("EMF: more drawing records than drawing operations");
}

void CheckWmf(const PictureContent& c, const std::vector<uint8_t>& wmf) {
  const t::WmfWalk walk = t::WalkWmf(wmf);
  if (!walk.error.empty()) Fail("WMF:", walk.error);
  std::vector<const t::WmfRecord*> drawn;
  for (const t::WmfRecord& r : walk.records)
    if (r.function == t::meta::kRectangle || r.function == t::meta::kEllipse || r.function == t::meta::kMoveTo ||
        r.function == t::meta::kLineTo || r.function == t::meta::kExtTextOut)
      drawn.push_back(&r);
  size_t k = 0;
  for (const PictureOp& o : ::ternova::testing::FlatOperations(c)) {
    if (!Drawing(o, c)) continue;
    if (k == drawn.size()) Fail("WMF: fewer drawing records than drawing operations");
    const t::WmfRecord& r = *drawn[k++];
    const std::vector<int32_t> want = Coords(o);
    // Parameters are stored last to first; a far-off coordinate must stay on its side.
    const size_t at = r.offset + 6;
    if (r.function == t::meta::kExtTextOut) {
      if (t::LeI16(wmf, at) != Clamp16(want[1]) || t::LeI16(wmf, at + 2) != Clamp16(want[0]))
        Fail("WMF: text position not clamped", std::to_string(r.offset));
      const int16_t bytes = t::LeI16(wmf, at + 4);
      CHECK(bytes >= 0 && size_t(bytes) <= 2 * c.texts[std::get<op::TextOut>(o).text].chars.size());
      // String padded to a word, then one advance per byte.
      CHECK(r.words * 2 == 6 + 8 + (size_t(bytes) + 1) / 2 * 2 + size_t(bytes) * 2);
      continue;
    }
    for (size_t i = 0; i < want.size(); ++i)
      if (t::LeI16(wmf, at + 2 * (want.size() - 1 - i)) != Clamp16(want[i]))
        Fail("WMF: coordinate wrapped in record", std::to_string(r.offset));
  }
  if (k != drawn.size()) Fail("WMF: more drawing records than drawing operations");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  auto content = std::make_shared<PictureContent>();
  PictureSnapshot picture;
  picture.content = content;
  // The frame and the reference screen decide the headers' derived sizes.
  if (in.ConsumeBool()) picture.frame = {Coord(in), Coord(in)};
  if (in.ConsumeBool()) {
    ScreenInfo& s = picture.reference;
    s = {Coord(in), Coord(in), Coord(in), Coord(in), Coord(in)};
  }

  for (int i = 0, n = in.ConsumeIntegralInRange(0, 4); i < n; ++i) {
    FontSpec f;
    f.face = in.ConsumeRandomLengthString(80);  // any bytes, broken UTF-8 included
    f.height = Coord(in);
    f.weight = Coord(in);
    f.japanese = in.ConsumeBool();
    f.colour = Colour(in);
    content->fonts.push_back(std::move(f));
  }
  for (int i = 0, n = in.ConsumeIntegralInRange(0, 4); i < n; ++i) content->texts.push_back(Text(in));

  // Indexes one past the end name no font or text: writers must skip them.
  const auto fonts = static_cast<uint32_t>(content->fonts.size()), texts = static_cast<uint32_t>(content->texts.size());
  while (in.remaining_bytes() > 0 && content->ops.size() < 4096) {
    switch (in.ConsumeIntegralInRange(0, 7)) {
      case 0: content->ops.emplace_back(op::Brush{Style(in), Colour(in)}); break;
      case 1: content->ops.emplace_back(op::Pen{Style(in), Colour(in), Coord(in)}); break;
      case 2: content->ops.emplace_back(op::Font{in.ConsumeIntegralInRange<uint32_t>(0, fonts)}); break;
      case 3: content->ops.emplace_back(op::Rectangle{Coord(in), Coord(in), Coord(in), Coord(in)}); break;
      case 4: content->ops.emplace_back(op::Ellipse{Coord(in), Coord(in), Coord(in), Coord(in)}); break;
      case 5: content->ops.emplace_back(op::MoveTo{Coord(in), Coord(in)}); break;
      case 6: content->ops.emplace_back(op::LineTo{Coord(in), Coord(in)}); break;
      default: content->ops.emplace_back(op::TextOut{Coord(in), Coord(in), in.ConsumeIntegralInRange<uint32_t>(0, texts)});
    }
  }

  CheckEmf(*content, EncodeEmf(picture));
  CheckWmf(*content, EncodeWmf(picture));
  return 0;
}
