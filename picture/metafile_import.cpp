#include "picture/metafile_import.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <map>
#include <variant>

#include "base/encoding.h"
#include "picture/metafile_records.h"
#include "picture/work_budget.h"

namespace ternova {

namespace {

// Bounds-checked little-endian reads: a field past the end reads as zero and marks the read bad.
class Reader {
 public:
  explicit Reader(std::string_view b) : b_(b) {}
  size_t Size() const { return b_.size(); }
  bool Ok() const { return ok_; }
  uint32_t U32(size_t at) { return static_cast<uint32_t>(Get(at, 4)); }
  int32_t I32(size_t at) { return static_cast<int32_t>(U32(at)); }
  uint16_t U16(size_t at) { return static_cast<uint16_t>(Get(at, 2)); }
  int16_t I16(size_t at) { return static_cast<int16_t>(U16(at)); }
  uint8_t U8(size_t at) { return static_cast<uint8_t>(Get(at, 1)); }
  std::string_view Bytes(size_t at, size_t n) {
    if (at > b_.size() || n > b_.size() - at) {
      ok_ = false;
      return {};
    }
    return b_.substr(at, n);
  }

 private:
  uint64_t Get(size_t at, size_t n) {
    if (at > b_.size() || n > b_.size() - at) {
      ok_ = false;
      return 0;
    }
    uint64_t v = 0;
    for (size_t i = 0; i < n; ++i) v |= uint64_t{static_cast<uint8_t>(b_[at + i])} << (8 * i);
    return v;
  }
  std::string_view b_;
  bool ok_ = true;
};

// Sums and differences of a file's 32-bit fields are worked out in 64 bits and held at the 32-bit
// limits, so a value from far off stays far off on its own side instead of wrapping round.
int32_t Saturate(int64_t v) { return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); }

// The number of units from `from` to `to`, both included, as the header's rectangles count them;
// nothing when 32 bits cannot hold it, counted with `to` or without.
std::optional<int32_t> Span(int32_t from, int32_t to) {
  const int64_t span = int64_t{to} - from + 1;
  if (span - 1 < INT32_MIN || span > INT32_MAX) return std::nullopt;
  return static_cast<int32_t>(span);
}

Rgb FromColorRef(uint32_t c) { return {static_cast<uint8_t>(c), static_cast<uint8_t>(c >> 8), static_cast<uint8_t>(c >> 16)}; }

// The graphic objects of a metafile by slot, and what is selected, turned into the picture's
// state operations when a drawing operation needs them.
class Builder {
 public:
  using Object = std::variant<op::Pen, op::Brush, FontSpec>;

  void Create(uint32_t slot, Object object) { objects_[slot] = std::move(object); }
  void Delete(uint32_t slot) { objects_.erase(slot); }
  void Select(uint32_t slot) {
    const auto it = objects_.find(slot);
    if (it == objects_.end()) return;
    std::visit(Overloaded{[this](const op::Pen& p) { pen_ = p; }, [this](const op::Brush& b) { brush_ = b; },
                          [this](const FontSpec& f) { font_ = f; }},
               it->second);
  }
  // Stock objects of enhanced metafiles.
  void SelectStock(uint32_t index) {
    static constexpr uint8_t kGreys[] = {255, 192, 128, 64, 0};  // white to black brushes
    if (index < std::size(kGreys)) brush_ = {FillStyle::Solid, {kGreys[index], kGreys[index], kGreys[index]}};
    else if (index == emf::NULL_BRUSH) brush_ = {FillStyle::None, kWhite};
    else if (index == emf::WHITE_PEN) pen_ = {FillStyle::Solid, kWhite, 1};
    else if (index == emf::BLACK_PEN) pen_ = {FillStyle::Solid, kBlack, 1};
    else if (index == emf::NULL_PEN) pen_ = {FillStyle::None, kBlack, 1};
  }
  void SetTextColour(Rgb c) { font_.colour = c; }
  void SetWinding(bool winding) { winding_ = winding; }
  void Polygons(PolygonSet set) {
    set.winding = winding_;
    set.Close();
    if (set.counts.empty()) return;
    content_->ops.emplace_back(brush_);
    content_->ops.emplace_back(pen_);
    content_->polygons.push_back(std::make_shared<const PolygonSet>(std::move(set)));
    content_->ops.emplace_back(op::Polygons{static_cast<uint32_t>(content_->polygons.size() - 1)});
  }
  bool JapaneseText() const { return font_.japanese; }

  void Add(PictureOp o) {
    if (std::holds_alternative<op::Rectangle>(o) || std::holds_alternative<op::Ellipse>(o)) {
      content_->ops.emplace_back(brush_);
      content_->ops.emplace_back(pen_);
    } else if (std::holds_alternative<op::LineTo>(o)) {
      content_->ops.emplace_back(pen_);
    }
    content_->ops.push_back(o);
  }
  void Text(int32_t x, int32_t y, std::u16string chars, std::vector<int32_t> advances) {
    content_->ops.emplace_back(brush_);
    content_->fonts.push_back(font_);
    content_->ops.emplace_back(op::Font{static_cast<uint32_t>(content_->fonts.size() - 1)});
    PictureText t;
    t.chars = std::move(chars);
    // Characters the file gives no spacing for get half the font's height, which keeps the
    // text roughly where it was. A given 0 stays: it is the low half of a surrogate pair.
    const size_t given = std::min(advances.size(), t.chars.size());
    advances.resize(t.chars.size());
    const auto half = static_cast<int32_t>(std::max<int64_t>(1, std::abs(int64_t{font_.height}) / 2));
    std::fill(advances.begin() + static_cast<ptrdiff_t>(given), advances.end(), half);
    t.advances = std::move(advances);
    int64_t width = 0;  // no file holds the 2^32 advances of 32 bits it takes to pass 64
    for (int32_t a : t.advances) width += a;
    t.width = Saturate(width);
    content_->texts.push_back(std::move(t));
    content_->ops.emplace_back(op::TextOut{x, y, static_cast<uint32_t>(content_->texts.size() - 1)});
  }
  std::shared_ptr<PictureContent> Take() { return std::move(content_); }

 private:
  std::shared_ptr<PictureContent> content_ = std::make_shared<PictureContent>();
  std::map<uint32_t, Object> objects_;
  op::Pen pen_{FillStyle::Solid, kBlack, 1};
  op::Brush brush_{FillStyle::Solid, kWhite};
  FontSpec font_{"MS Sans Serif", -11, 400, false, kBlack};
  bool winding_ = false;  // players start in ALTERNATE
};

std::u16string FromUtf16(Reader& r, size_t at, size_t count) {
  std::u16string s;
  for (size_t i = 0; i < count && r.Ok(); ++i) s.push_back(static_cast<char16_t>(r.U16(at + 2 * i)));
  return s;
}

// 8-bit text of a Windows metafile, in the code page of the font's character set.
std::u16string From8Bit(std::string_view bytes, bool japanese) {
  return Utf16FromCodePage(bytes, japanese ? CodePage::ShiftJis : CodePage::Windows1252);
}

// Face names are NUL-terminated within their field.
std::string FaceFromUtf16(std::u16string_view s) { return Utf8FromUtf16(s.substr(0, s.find(u'\0'))); }

ImportedMetafile Damaged() { return {ImportOutcome::Damaged, {}}; }
ImportedMetafile OverBudget() { return {ImportOutcome::OverBudget, {}}; }

// Whether to give up: the clock is read once every so many records.
bool OutOfTime(WorkBudget* budget, size_t& records) {
  return budget && ++records % 1024 == 0 && budget->Spent();
}

// The polygons of EMR_POLYGON(16) (`poly` false) or EMR_POLYPOLYGON(16) at `p`, the record's
// fields after its bounds; `wide` for 32-bit corners. Nothing when the counts do not fit the
// record of `size` bytes at `at`.
template <typename MapX, typename MapY>
std::optional<PolygonSet> EmfPolygons(Reader& r, size_t at, uint32_t size, bool poly, bool wide, MapX x, MapY y) {
  const size_t p = at + 8 + 16;
  PolygonSet set;
  const uint64_t polys = poly ? r.U32(p) : 1;
  const uint64_t corners = poly ? r.U32(p + 4) : r.U32(p);
  const size_t counts = poly ? p + 8 : p + 4;
  const size_t points = counts + (poly ? 4 * polys : 0);
  const uint64_t pointBytes = wide ? 8 : 4;
  if (points - at + pointBytes * corners > size || polys * 4 > size) return std::nullopt;
  set.counts.reserve(polys);
  for (uint64_t k = 0; k < polys; ++k) set.counts.push_back(poly ? r.U32(counts + 4 * k) : static_cast<uint32_t>(corners));
  set.points.reserve(corners);
  for (uint64_t i = 0; i < corners; ++i) {
    const size_t q = points + pointBytes * i;
    set.points.push_back(wide ? PicturePoint{x(r.I32(q)), y(r.I32(q + 4))} : PicturePoint{x(r.I16(q)), y(r.I16(q + 2))});
  }
  return set;
}

ImportedMetafile ImportEmf(Reader& r, WorkBudget* budget) {
  // rclBounds, the logical size the records draw in, and rclFrame.
  const int32_t left = r.I32(8), top = r.I32(12);
  const std::optional<int32_t> width = Span(left, r.I32(16)), height = Span(top, r.I32(20));
  const std::optional<int32_t> frameWidth = Span(r.I32(24), r.I32(32)), frameHeight = Span(r.I32(28), r.I32(36));
  if (!width || !height || !frameWidth || !frameHeight) return Damaged();
  PictureSnapshot snapshot;
  snapshot.width = *width;
  snapshot.height = *height;
  snapshot.frame = {*frameWidth, *frameHeight};
  if (snapshot.width <= 0 || snapshot.height <= 0 || snapshot.width > 1 << 20 || snapshot.height > 1 << 20)
    return Damaged();
  auto x = [&](int32_t v) { return Saturate(int64_t{v} - left); };
  auto y = [&](int32_t v) { return Saturate(int64_t{v} - top); };
  Builder b;
  size_t at = 0, records = 0;
  bool ended = false;
  while (at + 8 <= r.Size() && !ended) {
    if (OutOfTime(budget, records)) return OverBudget();
    const uint32_t type = r.U32(at), size = r.U32(at + 4);
    if (size < 8 || size % 4 != 0 || size > r.Size() - at) return Damaged();
    const size_t p = at + 8;
    switch (type) {
      case emf::EMR_EOF: ended = true; break;
      case emf::EMR_MOVETOEX: b.Add(op::MoveTo{x(r.I32(p)), y(r.I32(p + 4))}); break;
      case emf::EMR_LINETO: b.Add(op::LineTo{x(r.I32(p)), y(r.I32(p + 4))}); break;
      case emf::EMR_RECTANGLE: b.Add(op::Rectangle{x(r.I32(p)), y(r.I32(p + 4)), x(r.I32(p + 8)), y(r.I32(p + 12))}); break;
      case emf::EMR_ELLIPSE: b.Add(op::Ellipse{x(r.I32(p)), y(r.I32(p + 4)), x(r.I32(p + 8)), y(r.I32(p + 12))}); break;
      case emf::EMR_CREATEPEN:
        b.Create(r.U32(p), op::Pen{(r.U32(p + 4) & PS_STYLE_MASK) == PS_NULL ? FillStyle::None : FillStyle::Solid,
                                   FromColorRef(r.U32(p + 16)), r.I32(p + 8)});
        break;
      case emf::EMR_EXTCREATEPEN:
        b.Create(r.U32(p), op::Pen{(r.U32(p + 20) & PS_STYLE_MASK) == PS_NULL ? FillStyle::None : FillStyle::Solid,
                                   FromColorRef(r.U32(p + 32)), static_cast<int32_t>(r.U32(p + 24))});
        break;
      case emf::EMR_CREATEBRUSHINDIRECT:
        b.Create(r.U32(p), op::Brush{r.U32(p + 4) == BS_NULL ? FillStyle::None : FillStyle::Solid, FromColorRef(r.U32(p + 8))});
        break;
      case emf::EMR_EXTCREATEFONTINDIRECTW: {
        FontSpec f;
        f.height = r.I32(p + 4);
        f.weight = r.I32(p + 20);
        f.japanese = r.U8(p + 27) == SHIFTJIS_CHARSET;
        f.face = FaceFromUtf16(FromUtf16(r, p + 32, 32));
        b.Create(r.U32(p), f);
        break;
      }
      case emf::EMR_SELECTOBJECT: {
        const uint32_t ih = r.U32(p);
        if (ih & emf::kStockObject) b.SelectStock(ih & ~emf::kStockObject);
        else b.Select(ih);
        break;
      }
      case emf::EMR_DELETEOBJECT: b.Delete(r.U32(p)); break;
      case emf::EMR_SETTEXTCOLOR: b.SetTextColour(FromColorRef(r.U32(p))); break;
      case emf::EMR_SETPOLYFILLMODE: b.SetWinding(r.U32(p) == WINDING); break;
      case emf::EMR_POLYGON:
      case emf::EMR_POLYGON16:
      case emf::EMR_POLYPOLYGON:
      case emf::EMR_POLYPOLYGON16: {
        const bool poly = type == emf::EMR_POLYPOLYGON || type == emf::EMR_POLYPOLYGON16;
        const bool wide = type == emf::EMR_POLYGON || type == emf::EMR_POLYPOLYGON;
        std::optional<PolygonSet> set = EmfPolygons(r, at, size, poly, wide, x, y);
        if (!set) return Damaged();
        b.Polygons(std::move(*set));
        break;
      }
      case emf::EMR_EXTTEXTOUTW: {
        const size_t text = p + 28;  // after bounds, graphics mode and the two scales
        const int32_t tx = r.I32(text), ty = r.I32(text + 4);
        const uint32_t chars = std::min<uint32_t>(r.U32(text + 8), (size - 8) / 2);
        const uint32_t offString = r.U32(text + 12), offDx = r.U32(text + 36);
        std::u16string s = offString + 2ull * chars <= size ? FromUtf16(r, at + offString, chars) : std::u16string();
        std::vector<int32_t> dx;
        if (offDx != 0 && offDx + 4ull * chars <= size)
          for (uint32_t i = 0; i < chars; ++i) dx.push_back(r.I32(at + offDx + 4 * i));
        b.Text(x(tx), y(ty), std::move(s), std::move(dx));
        break;
      }
      default: break;
    }
    if (!r.Ok()) return Damaged();
    at += size;
  }
  if (!ended) return Damaged();
  snapshot.content = b.Take();
  return {ImportOutcome::Read, snapshot};
}

ImportedMetafile ImportWmf(Reader& r, WorkBudget* budget) {
  PictureSnapshot snapshot;
  snapshot.width = r.I16(10) - r.I16(6);
  snapshot.height = r.I16(12) - r.I16(8);
  const uint16_t inch = r.U16(14);
  if (inch == 0 || snapshot.width <= 0 || snapshot.height <= 0) return Damaged();
  snapshot.frame = {MulDiv(snapshot.width, 2540, inch), MulDiv(snapshot.height, 2540, inch)};
  if (r.Size() == 22) return {ImportOutcome::Read, snapshot};  // the header alone: an empty picture
  if (r.U16(22) != 1 || r.U16(24) != 9) return Damaged();
  int32_t orgX = 0, orgY = 0;
  Builder b;
  std::vector<bool> used;  // object slots: a new object takes the lowest free one
  auto create = [&](Builder::Object o) {
    size_t slot = std::find(used.begin(), used.end(), false) - used.begin();
    if (slot == used.size()) used.push_back(true);
    used[slot] = true;
    b.Create(static_cast<uint32_t>(slot), std::move(o));
  };
  size_t at = 22 + 18, records = 0;
  bool ended = false;
  while (at + 6 <= r.Size() && !ended) {
    if (OutOfTime(budget, records)) return OverBudget();
    const uint64_t size = 2ull * r.U32(at);
    const uint16_t function = r.U16(at + 4);
    if (size < 6 || size > r.Size() - at) return Damaged();
    const size_t p = at + 6;
    auto px = [&](size_t o) { return static_cast<int32_t>(r.I16(o)) - orgX; };
    auto py = [&](size_t o) { return static_cast<int32_t>(r.I16(o)) - orgY; };
    switch (function) {
      case wmf::META_EOF: ended = true; break;
      case wmf::META_SETWINDOWORG: orgY = r.I16(p); orgX = r.I16(p + 2); break;
      case wmf::META_SETWINDOWEXT: snapshot.height = r.I16(p); snapshot.width = r.I16(p + 2); break;
      case wmf::META_MOVETO: b.Add(op::MoveTo{px(p + 2), py(p)}); break;
      case wmf::META_LINETO: b.Add(op::LineTo{px(p + 2), py(p)}); break;
      case wmf::META_RECTANGLE: b.Add(op::Rectangle{px(p + 6), py(p + 4), px(p + 2), py(p)}); break;
      case wmf::META_ELLIPSE: b.Add(op::Ellipse{px(p + 6), py(p + 4), px(p + 2), py(p)}); break;
      case wmf::META_CREATEPENINDIRECT:
        create(op::Pen{(r.U16(p) & PS_STYLE_MASK) == PS_NULL ? FillStyle::None : FillStyle::Solid, FromColorRef(r.U32(p + 6)), r.I16(p + 2)});
        break;
      case wmf::META_CREATEBRUSHINDIRECT:
        create(op::Brush{r.U16(p) == BS_NULL ? FillStyle::None : FillStyle::Solid, FromColorRef(r.U32(p + 2))});
        break;
      case wmf::META_CREATEFONTINDIRECT: {
        FontSpec f;
        f.height = r.I16(p);
        f.weight = r.I16(p + 8);
        f.japanese = r.U8(p + 13) == SHIFTJIS_CHARSET;
        const std::string_view face = r.Bytes(p + 18, std::min<size_t>(32, size > 24 ? size - 24 : 0));
        f.face = FaceFromUtf16(From8Bit(face.substr(0, face.find('\0')), f.japanese));
        create(f);
        break;
      }
      case wmf::META_SELECTOBJECT: {
        const uint16_t slot = r.U16(p);
        b.Select(slot);
        break;
      }
      case wmf::META_DELETEOBJECT: {
        const uint16_t slot = r.U16(p);
        if (slot < used.size()) used[slot] = false;
        b.Delete(slot);
        break;
      }
      case wmf::META_SETTEXTCOLOR: b.SetTextColour(FromColorRef(r.U32(p))); break;
      case wmf::META_SETPOLYFILLMODE: b.SetWinding(r.U16(p) == WINDING); break;
      case wmf::META_POLYGON:
      case wmf::META_POLYPOLYGON: {
        // A polygon's corner count, or a count per polygon, then the corners, y after x.
        PolygonSet set;
        size_t q = p;
        if (function == wmf::META_POLYGON) {
          set.counts.push_back(static_cast<uint32_t>(std::max<int16_t>(r.I16(q), 0)));
          q += 2;
        } else {
          const uint16_t polys = r.U16(q);
          q += 2;
          if (q + 2ull * polys > at + size) return Damaged();
          for (uint16_t k = 0; k < polys; ++k) set.counts.push_back(r.U16(q + 2 * k));
          q += 2ull * polys;
        }
        uint64_t corners = 0;
        for (uint32_t n : set.counts) corners += n;
        if (q + 4 * corners > at + size) return Damaged();
        set.points.reserve(corners);
        for (uint64_t i = 0; i < corners; ++i) set.points.push_back({px(q + 4 * i), py(q + 4 * i + 2)});
        b.Polygons(std::move(set));
        break;
      }
      case wmf::META_EXTTEXTOUT: {
        const int32_t ty = py(p), tx = px(p + 2);
        const uint16_t count = r.U16(p + 4), options = r.U16(p + 6);
        size_t s = p + 8 + ((options & wmf::ETO_OPAQUE_OR_CLIPPED) ? 8 : 0);
        const std::string_view text = r.Bytes(s, count);
        s += count + (count & 1);
        std::vector<int32_t> dx;
        for (uint16_t i = 0; i < count && s + 2 * i + 2 <= at + size; ++i) dx.push_back(r.I16(s + 2 * i));
        // Advances come one per byte; with double-byte characters they do not match the
        // characters, and the widths are estimated instead.
        std::u16string chars = From8Bit(text, b.JapaneseText());
        std::vector<int32_t> advances;
        if (dx.size() == count && chars.size() == count) advances = dx;
        b.Text(tx, ty, std::move(chars), std::move(advances));
        break;
      }
      default: break;
    }
    if (!r.Ok()) return Damaged();
    at += size;
  }
  if (!ended) return Damaged();
  snapshot.content = b.Take();
  return {ImportOutcome::Read, snapshot};
}

}  // namespace

int32_t MetafileHeader::PixelWidth(const ScreenInfo& screen) const {
  return kind == Kind::Enhanced ? MulDiv(width, screen.widthPx, screen.widthMm * 100) : MulDiv(width, screen.dpi, unitsPerInch);
}

int32_t MetafileHeader::PixelHeight(const ScreenInfo& screen) const {
  return kind == Kind::Enhanced ? MulDiv(height, screen.heightPx, screen.heightMm * 100)
                                : MulDiv(height, screen.dpi, unitsPerInch);
}

std::optional<MetafileHeader> ReadMetafileHeader(std::string_view head) {
  Reader r(head);
  MetafileHeader header;
  if (head.size() >= 88 && r.U32(0) == emf::EMR_HEADER && r.U32(40) == emf::kSignature) {
    // rclFrame. A crafted one may span more than 32 bits: that is no size, and any number
    // shown for it would be made up.
    const int32_t left = r.I32(24), top = r.I32(28), right = r.I32(32), bottom = r.I32(36);
    if (!Span(left, right) || !Span(top, bottom)) return std::nullopt;
    header.width = static_cast<int32_t>(int64_t{right} - left);
    header.height = static_cast<int32_t>(int64_t{bottom} - top);
    return header;
  }
  if (head.size() >= 22 && r.U32(0) == wmf::kPlaceableKey) {
    header.kind = MetafileHeader::Kind::Placeable;
    // The bounding box and the units per inch.
    header.width = r.I16(10) - r.I16(6);
    header.height = r.I16(12) - r.I16(8);
    header.unitsPerInch = r.U16(14);
    if (header.unitsPerInch == 0) return std::nullopt;
    return header;
  }
  return std::nullopt;
}

ImportedMetafile ImportMetafile(std::string_view bytes, WorkBudget* budget) {
  const std::optional<MetafileHeader> header = ReadMetafileHeader(bytes);
  if (!header) return Damaged();
  Reader r(bytes);
  return header->kind == MetafileHeader::Kind::Enhanced ? ImportEmf(r, budget) : ImportWmf(r, budget);
}

}  // namespace ternova
