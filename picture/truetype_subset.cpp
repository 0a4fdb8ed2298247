#include "picture/truetype_subset.h"

#include <algorithm>
#include <array>

namespace ternova {

namespace {

// The sfnt formats are big-endian throughout.
uint16_t Be16(std::span<const uint8_t> b, size_t at) {
  return at + 2 <= b.size() ? static_cast<uint16_t>(b[at] << 8 | b[at + 1]) : 0;
}
uint32_t Be32(std::span<const uint8_t> b, size_t at) {
  return at + 4 <= b.size() ? uint32_t{Be16(b, at)} << 16 | Be16(b, at + 2) : 0;
}
uint32_t Tag(const char* t) {
  return uint32_t{static_cast<uint8_t>(t[0])} << 24 | uint32_t{static_cast<uint8_t>(t[1])} << 16 |
         uint32_t{static_cast<uint8_t>(t[2])} << 8 | static_cast<uint8_t>(t[3]);
}

void Put16(std::vector<uint8_t>& out, uint16_t v) {
  out.push_back(static_cast<uint8_t>(v >> 8));
  out.push_back(static_cast<uint8_t>(v));
}
void Put32(std::vector<uint8_t>& out, uint32_t v) {
  Put16(out, static_cast<uint16_t>(v >> 16));
  Put16(out, static_cast<uint16_t>(v));
}
void Patch32(std::vector<uint8_t>& out, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) out[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (24 - 8 * i));
}

// The sum of the big-endian words of `b`, zero-padded to a multiple of four.
uint32_t CheckSum(std::span<const uint8_t> b) {
  uint32_t sum = 0;
  for (size_t i = 0; i < b.size(); i += 4) {
    uint32_t word = 0;
    for (size_t k = 0; k < 4; ++k) word = word << 8 | (i + k < b.size() ? b[i + k] : 0);
    sum += word;
  }
  return sum;
}

// Composite-glyph flags.
constexpr uint16_t kWordArguments = 0x0001, kScale = 0x0008, kMoreComponents = 0x0020, kXYScale = 0x0040,
                   kTwoByTwo = 0x0080;

}  // namespace

std::optional<TrueTypeFace> TrueTypeFace::Parse(std::span<const uint8_t> file, int index) {
  TrueTypeFace f;
  f.file_ = file;
  size_t start = 0;
  if (Be32(file, 0) == Tag("ttcf")) {
    if (index < 0 || static_cast<uint32_t>(index) >= Be32(file, 8)) return std::nullopt;
    start = Be32(file, 12 + 4 * static_cast<size_t>(index));
  } else if (index != 0) {
    return std::nullopt;
  }
  const uint32_t version = Be32(file, start);
  if (version != 0x00010000 && version != Tag("true")) return std::nullopt;
  const uint16_t count = Be16(file, start + 4);
  if (start + 12 + size_t{count} * 16 > file.size()) return std::nullopt;
  for (uint16_t i = 0; i < count; ++i) {
    const size_t record = start + 12 + size_t{i} * 16;
    const uint32_t offset = Be32(file, record + 8), length = Be32(file, record + 12);
    if (offset > file.size() || length > file.size() - offset) return std::nullopt;
    f.tables_.push_back({Be32(file, record), file.subspan(offset, length)});
  }
  const auto head = f.Find("head"), hhea = f.Find("hhea"), maxp = f.Find("maxp"), hmtx = f.Find("hmtx"),
             loca = f.Find("loca"), glyf = f.Find("glyf");
  if (!head || !hhea || !maxp || !hmtx || !loca || !glyf || head->size() < 54 || hhea->size() < 36 ||
      maxp->size() < 6)
    return std::nullopt;
  f.head_ = *head, f.loca_ = *loca, f.glyf_ = *glyf, f.hmtx_ = *hmtx;
  f.name_ = f.Find("name").value_or(std::span<const uint8_t>{});
  f.unitsPerEm_ = Be16(*head, 18);
  if (f.unitsPerEm_ == 0) return std::nullopt;
  for (size_t i = 0; i < 4; ++i) f.box_[i] = static_cast<int16_t>(Be16(*head, 36 + 2 * i));
  f.longOffsets_ = Be16(*head, 50) != 0;
  f.ascender_ = static_cast<int16_t>(Be16(*hhea, 4));
  f.descender_ = static_cast<int16_t>(Be16(*hhea, 6));
  f.metricCount_ = Be16(*hhea, 34);
  f.glyphCount_ = Be16(*maxp, 4);
  if (f.metricCount_ == 0 || hmtx->size() < size_t{f.metricCount_} * 4 ||
      loca->size() < (size_t{f.glyphCount_} + 1) * (f.longOffsets_ ? 4 : 2))
    return std::nullopt;
  return f;
}

std::optional<std::span<const uint8_t>> TrueTypeFace::Find(const char* tag) const {
  const uint32_t t = Tag(tag);
  for (const Table& table : tables_)
    if (table.tag == t) return table.bytes;
  return std::nullopt;
}

uint16_t TrueTypeFace::Advance(uint16_t glyph) const {
  return Be16(hmtx_, 4 * size_t{std::min<uint16_t>(glyph, static_cast<uint16_t>(metricCount_ - 1))});
}

std::string TrueTypeFace::PostScriptName() const {
  std::string best;
  const uint16_t count = Be16(name_, 2), strings = Be16(name_, 4);
  for (uint16_t i = 0; i < count && best.empty(); ++i) {
    const size_t record = 6 + size_t{i} * 12;
    const uint16_t platform = Be16(name_, record), id = Be16(name_, record + 6);
    const uint16_t length = Be16(name_, record + 8), offset = Be16(name_, record + 10);
    if (id != 6 || (platform != 1 && platform != 3)) continue;
    const size_t at = size_t{strings} + offset;
    // Windows names are UTF-16; a PostScript name is ASCII in either.
    const size_t step = platform == 3 ? 2 : 1;
    for (size_t k = 0; k + step <= length; k += step) {
      const uint16_t c = step == 2 ? Be16(name_, at + k) : (at + k < name_.size() ? name_[at + k] : 0);
      if (c > 0x20 && c < 0x7F && std::string_view("()<>[]{}/%#").find(static_cast<char>(c)) == std::string_view::npos)
        best += static_cast<char>(c);
    }
  }
  return best.empty() ? "Font" : best;
}

std::span<const uint8_t> TrueTypeFace::Outline(uint16_t glyph) const {
  if (glyph >= glyphCount_) return {};
  const size_t from = longOffsets_ ? Be32(loca_, 4 * size_t{glyph}) : 2 * size_t{Be16(loca_, 2 * size_t{glyph})};
  const size_t to = longOffsets_ ? Be32(loca_, 4 * (size_t{glyph} + 1)) : 2 * size_t{Be16(loca_, 2 * (size_t{glyph} + 1))};
  if (to <= from || to > glyf_.size()) return {};
  return glyf_.subspan(from, to - from);
}

std::vector<uint8_t> TrueTypeFace::Subset(const std::set<uint16_t>& glyphs) const {
  // The glyphs kept, with every component of a composite, found breadth first.
  std::vector<bool> keep(glyphCount_, false);
  std::vector<uint16_t> queue{0};
  for (uint16_t g : glyphs)
    if (g < glyphCount_) queue.push_back(g);
  while (!queue.empty()) {
    const uint16_t g = queue.back();
    queue.pop_back();
    if (keep[g]) continue;
    keep[g] = true;
    const std::span<const uint8_t> o = Outline(g);
    if (o.size() < 10 || static_cast<int16_t>(Be16(o, 0)) >= 0) continue;
    for (size_t at = 10; at + 4 <= o.size();) {
      const uint16_t flags = Be16(o, at), component = Be16(o, at + 2);
      if (component < glyphCount_) queue.push_back(component);
      at += 4 + ((flags & kWordArguments) ? 4 : 2) + ((flags & kTwoByTwo) ? 8 : (flags & kXYScale) ? 4 : (flags & kScale) ? 2 : 0);
      if (!(flags & kMoreComponents)) break;
    }
  }

  // Glyphs after the last one kept are cut off; the metrics of the others emptied with their
  // outlines, since a PDF gives the widths itself (a CJK face's metrics alone are 50 kB).
  uint16_t count = glyphCount_;
  while (count > 1 && !keep[count - 1u]) --count;
  std::vector<uint8_t> glyf, loca, hmtx;
  for (uint16_t g = 0; g < count; ++g) {
    Put32(loca, static_cast<uint32_t>(glyf.size()));
    if (!keep[g]) {
      Put32(hmtx, 0);
      continue;
    }
    const std::span<const uint8_t> o = Outline(g);
    glyf.insert(glyf.end(), o.begin(), o.end());
    glyf.resize((glyf.size() + 3) & ~size_t{3});
    Put16(hmtx, Advance(g));
    Put16(hmtx, g < metricCount_ ? Be16(hmtx_, 4 * size_t{g} + 2) : Be16(hmtx_, 4 * size_t{metricCount_} + 2 * (g - size_t{metricCount_})));
  }
  Put32(loca, static_cast<uint32_t>(glyf.size()));
  std::vector<uint8_t> maxp(Find("maxp")->begin(), Find("maxp")->end()), hhea(Find("hhea")->begin(), Find("hhea")->end());
  maxp[4] = static_cast<uint8_t>(count >> 8), maxp[5] = static_cast<uint8_t>(count);  // numGlyphs
  hhea[34] = static_cast<uint8_t>(count >> 8), hhea[35] = static_cast<uint8_t>(count);  // numberOfHMetrics
  std::vector<uint8_t> head(head_.begin(), head_.end());
  Patch32(head, 8, 0);  // checkSumAdjustment, filled in at the end
  head[50] = 0, head[51] = 1;  // indexToLocFormat: long offsets

  struct Out {
    const char* tag;
    std::span<const uint8_t> bytes;
  };
  std::vector<Out> tables{{"glyf", glyf}, {"head", head}, {"hhea", hhea}, {"hmtx", hmtx}, {"loca", loca}, {"maxp", maxp}};
  for (const char* tag : {"cvt ", "fpgm", "prep"})
    if (auto t = Find(tag)) tables.push_back({tag, *t});
  std::sort(tables.begin(), tables.end(), [](const Out& a, const Out& b) { return Tag(a.tag) < Tag(b.tag); });

  const uint16_t n = static_cast<uint16_t>(tables.size());
  uint16_t power = 1, log = 0;
  while (power * 2 <= n) power *= 2, ++log;
  std::vector<uint8_t> out;
  Put32(out, 0x00010000);
  Put16(out, n);
  Put16(out, static_cast<uint16_t>(power * 16));  // searchRange
  Put16(out, log);                                // entrySelector
  Put16(out, static_cast<uint16_t>(n * 16 - power * 16));  // rangeShift
  size_t offset = 12 + size_t{n} * 16, headAt = 0;
  for (const Out& t : tables) {
    Put32(out, Tag(t.tag));
    Put32(out, CheckSum(t.bytes));
    Put32(out, static_cast<uint32_t>(offset));
    Put32(out, static_cast<uint32_t>(t.bytes.size()));
    if (Tag(t.tag) == Tag("head")) headAt = offset;
    offset += (t.bytes.size() + 3) & ~size_t{3};
  }
  for (const Out& t : tables) {
    out.insert(out.end(), t.bytes.begin(), t.bytes.end());
    out.resize((out.size() + 3) & ~size_t{3});
  }
  Patch32(out, headAt + 8, 0xB1B0AFBA - CheckSum(out));
  return out;
}

}  // namespace ternova
