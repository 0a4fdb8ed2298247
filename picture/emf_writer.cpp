#include "picture/emf_writer.h"

#include <algorithm>
#include <cstdint>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <optional>

#include "base/encoding.h"
#include "base/error.h"
#include "picture/byte_writer.h"
#include "picture/metafile_objects.h"

namespace ternova {

namespace {

using namespace emf;

constexpr uint32_t kStockNullBrush = kStockObject | NULL_BRUSH;
constexpr uint32_t kStockNullPen = kStockObject | NULL_PEN;

// Fixed record sizes, for sizing the output before writing it.
constexpr size_t kHeaderSize = 108;
constexpr size_t kEofSize = 20;
constexpr size_t kSmallRecord = 12;  // select, delete, text colour, background
constexpr size_t kFontRecord = 332;  // ihFont + the 320-byte LOGFONT/PANOSE form
constexpr size_t kTextFixed = 76;    // EMR_EXTTEXTOUTW up to its string

uint32_t ColorRef(Rgb c) { return c.r | (uint32_t{c.g} << 8) | (uint32_t{c.b} << 16); }

// Room for the string of EMR_EXTTEXTOUTW. The format needs only 4-byte alignment (offDx says
// where the advances start), but libEMF ignores offDx and skips the character count rounded
// up to a multiple of four; padding that far costs at most 6 bytes and suits both.
size_t StringBytes(size_t chars) { return ((chars + 3) & ~size_t{3}) * 2; }

int32_t Saturate(int64_t v) {
  return static_cast<int32_t>(std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(),
                                                  std::numeric_limits<int32_t>::max()));
}

float Scale(int32_t mm, int32_t px) {
  return px > 0 ? static_cast<float>(mm) * 100.0f / static_cast<float>(px) : 0.0f;
}

class EmfEncoder {
 public:
  explicit EmfEncoder(const PictureSnapshot& p) : p_(p), c_(*p.content) {}

  std::vector<uint8_t> Encode() {
    // The format's sizes are 32-bit: no point reserving more than it can describe.
    out_.Reserve(std::min<size_t>(ExpectedSize(), std::numeric_limits<uint32_t>::max()));
    Header();
    ForEachOperation<true>(c_, [this](const auto& v) { Op(v); });
    Eof();
    if (out_.Size() > std::numeric_limits<uint32_t>::max()) throw Error(kNoResources);
    out_.PatchU32(48, static_cast<uint32_t>(out_.Size()));  // nBytes
    out_.PatchU32(52, records_);                            // nRecords
    out_.PatchU16(56, static_cast<uint16_t>(slots_.TableSize() + 1));  // nHandles, slot 0 reserved
    return out_.Take();
  }

 private:
  // Each operation's records, state changes with the select and delete they bring; a text's
  // string and advances come on top.
  static constexpr auto kBytes = BytesPerOperation(Overloaded{
      [](std::type_identity<op::Brush>) { return 24 + 2 * kSmallRecord; },
      [](std::type_identity<op::Pen>) { return 28 + 2 * kSmallRecord; },
      [](std::type_identity<op::Font>) { return kFontRecord + 2 * kSmallRecord; },
      [](std::type_identity<op::Rectangle>) { return size_t{24}; },
      [](std::type_identity<op::Ellipse>) { return size_t{24}; },
      [](std::type_identity<op::MoveTo>) { return size_t{16}; },
      [](std::type_identity<op::LineTo>) { return size_t{16}; },
      [](std::type_identity<op::TextOut>) { return 3 * kSmallRecord + kTextFixed; },
      [](std::type_identity<op::Discs>) { return size_t{24}; },  // per disc: an ellipse
      [](std::type_identity<op::Polygons>) { return size_t{28} + kSmallRecord; },  // the corners on top
  });

  // Upper bound of the output, so the buffer is allocated once.
  size_t ExpectedSize() const {
    size_t n = kHeaderSize + kEofSize;
    for (const PictureOp& o : c_.ops) {
      n += kBytes[o.index()] * OperationsIn(c_, o);
      if (const auto* t = std::get_if<op::TextOut>(&o)) {
        const size_t chars = t->text < c_.texts.size() ? c_.texts[t->text].chars.size() : 0;
        n += StringBytes(chars) + chars * 4;
      }
      if (const auto* g = std::get_if<op::Polygons>(&o))
        if (const PolygonSet* set = PolygonsOf(c_, *g)) n += 4 * set->counts.size() + 8 * set->points.size();
    }
    return n;
  }

  size_t Begin(uint32_t type) {
    const size_t start = out_.Size();
    out_.U32(type);  // iType
    out_.U32(0);     // nSize, filled in by End
    return start;
  }
  void End(size_t start) {
    out_.PadTo(4);  // every record starts on a 4-byte boundary
    out_.PatchU32(start + 4, static_cast<uint32_t>(out_.Size() - start));
    ++records_;
  }

  void Rect(int32_t l, int32_t t, int32_t r, int32_t b) {
    out_.I32(l);
    out_.I32(t);
    out_.I32(r);
    out_.I32(b);
  }

  // --- records, fields in file order ---

  void Header() {
    const ScreenInfo& s = p_.reference;
    const int32_t mmX = ReferenceWidthMm(s), mmY = ReferenceHeightMm(s);
    const Frame frame = MetafileFrame(p_);
    const size_t r = Begin(EMR_HEADER);
    Rect(0, 0, p_.width - 1, p_.height - 1);                 // rclBounds, device pixels, inclusive
    Rect(0, 0, frame.width - 1, frame.height - 1);           // rclFrame, 0.01 mm, inclusive
    out_.U32(kSignature);                                    // dSignature
    out_.U32(0x00010000);                                    // nVersion
    out_.U32(0);                                             // nBytes, patched at the end
    out_.U32(0);                                             // nRecords, patched
    out_.U16(0);                                             // nHandles, patched
    out_.U16(0);                                             // sReserved
    out_.U32(0);                                             // nDescription: none
    out_.U32(0);                                             // offDescription
    out_.U32(0);                                             // nPalEntries
    out_.I32(s.widthPx);                                     // szlDevice.cx
    out_.I32(s.heightPx);                                    // szlDevice.cy
    out_.I32(mmX);                                           // szlMillimeters.cx
    out_.I32(mmY);                                           // szlMillimeters.cy
    out_.U32(0);                                             // cbPixelFormat
    out_.U32(0);                                             // offPixelFormat
    out_.U32(0);                                             // bOpenGL
    out_.I32(Saturate(int64_t{mmX} * 1000));                 // szlMicrometers.cx
    out_.I32(Saturate(int64_t{mmY} * 1000));                 // szlMicrometers.cy
    End(r);
  }

  void Eof() {
    const size_t r = Begin(EMR_EOF);
    out_.U32(0);   // nPalEntries
    out_.U32(16);  // offPalEntries: where the (empty) palette would start
    out_.U32(20);  // nSizeLast: this record's size, for readers walking backwards
    End(r);
  }

  void MoveToEx(int32_t x, int32_t y) {
    const size_t r = Begin(EMR_MOVETOEX);
    out_.I32(x);  // ptl.x
    out_.I32(y);  // ptl.y
    End(r);
  }

  void LineTo(int32_t x, int32_t y) {
    const size_t r = Begin(EMR_LINETO);
    out_.I32(x);  // ptl.x
    out_.I32(y);  // ptl.y
    End(r);
  }

  void Box(uint32_t type, int32_t l, int32_t t, int32_t rr, int32_t b) {
    const size_t r = Begin(type);
    Rect(l, t, rr, b);  // rclBox, passed unchanged
    End(r);
  }

  void CreatePen(uint32_t slot, const op::Pen& pen) {
    const size_t r = Begin(EMR_CREATEPEN);
    out_.U32(slot);                                  // ihPen
    // A plain pen wider than one pixel is cosmetic to some readers, which draw it one pixel
    // wide; a geometric one carries its width in logical units everywhere. A LOGPEN rather
    // than EMR_EXTCREATEPEN: some players reject an extended pen with an empty style array.
    out_.U32(pen.width > 1 ? PS_GEOMETRIC | PS_SOLID : PS_SOLID);  // lopn.lopnStyle
    out_.I32(std::max(pen.width, 0));                // lopn.lopnWidth.x
    out_.I32(0);                                     // lopn.lopnWidth.y, unused
    out_.U32(ColorRef(pen.colour));                  // lopn.lopnColor
    End(r);
  }

  void CreateBrushIndirect(uint32_t slot, Rgb colour) {
    const size_t r = Begin(EMR_CREATEBRUSHINDIRECT);
    out_.U32(slot);              // ihBrush
    out_.U32(BS_SOLID);          // lb.lbStyle
    out_.U32(ColorRef(colour));  // lb.lbColor
    out_.U32(0);                 // lb.lbHatch
    End(r);
  }

  void ExtCreateFontIndirectW(uint32_t slot, const FontSpec& f) {
    const size_t r = Begin(EMR_EXTCREATEFONTINDIRECTW);
    out_.U32(slot);                 // ihFont
    out_.I32(f.height);             // lfHeight
    out_.I32(0);                    // lfWidth: from the height
    out_.I32(0);                    // lfEscapement
    out_.I32(0);                    // lfOrientation
    out_.I32(f.weight);             // lfWeight
    out_.U8(0);                     // lfItalic
    out_.U8(0);                     // lfUnderline
    out_.U8(0);                     // lfStrikeOut
    out_.U8(f.japanese ? SHIFTJIS_CHARSET : DEFAULT_CHARSET);  // lfCharSet
    out_.U8(0);                     // lfOutPrecision: default
    out_.U8(0);                     // lfClipPrecision: default
    out_.U8(0);                     // lfQuality: default
    out_.U8(0);                     // lfPitchAndFamily: default
    out_.FixedUtf16(Face(f), 32);   // lfFaceName, NUL-terminated within 32 units
    out_.Zeros(64 * 2);             // elfFullName
    out_.Zeros(32 * 2);             // elfStyle
    out_.U32(0);                    // elfVersion
    out_.U32(0);                    // elfStyleSize
    out_.U32(0);                    // elfMatch
    out_.U32(0);                    // elfReserved
    out_.U32(0);                    // elfVendorId
    out_.U32(0);                    // elfCulture
    out_.Zeros(10);                 // elfPanose: any
    out_.Zeros(2);                  // padding to 4 bytes
    End(r);
  }

  static std::u16string Face(const FontSpec& f) {
    std::u16string face = Utf16FromUtf8(f.face);
    if (face.size() > 31) face.resize(31);  // room for the terminating NUL
    return face;
  }

  void Small(uint32_t type, uint32_t value) {
    const size_t r = Begin(type);
    out_.U32(value);  // ihObject, crColor or iMode
    End(r);
  }

  void ExtTextOutW(const op::TextOut& t, const PictureText& text, int32_t height) {
    const uint32_t chars = static_cast<uint32_t>(text.chars.size());
    const int32_t right = Saturate(int64_t{t.x} + text.width);
    const int32_t bottom = Saturate(int64_t{t.y} + std::abs(int64_t{height}));
    const size_t r = Begin(EMR_EXTTEXTOUTW);
    Rect(t.x, t.y, right, bottom);          // rclBounds
    out_.U32(GM_COMPATIBLE);                // iGraphicsMode
    out_.F32(scaleX_);                      // exScale: 0.01 mm per device pixel
    out_.F32(scaleY_);                      // eyScale
    out_.I32(t.x);                          // emrtext.ptlReference.x (TA_TOP | TA_LEFT)
    out_.I32(t.y);                          // emrtext.ptlReference.y
    out_.U32(chars);                        // emrtext.nChars
    out_.U32(static_cast<uint32_t>(kTextFixed));  // emrtext.offString
    out_.U32(0);                            // emrtext.fOptions: the background mode does the box
    Rect(t.x, t.y, right, bottom);          // emrtext.rcl
    out_.U32(static_cast<uint32_t>(kTextFixed + StringBytes(chars)));  // emrtext.offDx
    out_.Utf16(text.chars);                 // the string
    out_.Zeros(StringBytes(chars) - size_t{chars} * 2);
    for (size_t i = 0; i < chars; ++i)      // Dx: each unit's advance
      out_.I32(i < text.advances.size() ? text.advances[i] : 0);
    End(r);
  }

  // Every polygon in one record, with 16-bit corners where they fit (they do in the diagram).
  void PolyPolygon(const PolygonSet& set) {
    const bool small = std::all_of(set.points.begin(), set.points.end(), [](const PicturePoint& p) {
      return p.x >= INT16_MIN && p.x <= INT16_MAX && p.y >= INT16_MIN && p.y <= INT16_MAX;
    });
    uint64_t used = 0;
    for (uint32_t n : set.counts) used += n;
    if (used > set.points.size()) return;  // a set left unclosed promises corners it lacks
    const size_t r = Begin(small ? EMR_POLYPOLYGON16 : EMR_POLYPOLYGON);
    Rect(Saturate(set.box.x0), Saturate(set.box.y0), Saturate(set.box.x1), Saturate(set.box.y1));  // rclBounds
    out_.U32(static_cast<uint32_t>(set.counts.size()));  // nPolys
    out_.U32(static_cast<uint32_t>(used));               // cptl: corners in all
    for (uint32_t n : set.counts) out_.U32(n);           // aPolyCounts
    for (size_t i = 0; i < used; ++i) {                  // apts
      if (small) {
        out_.I16(static_cast<int16_t>(set.points[i].x));
        out_.I16(static_cast<int16_t>(set.points[i].y));
      } else {
        out_.I32(set.points[i].x);
        out_.I32(set.points[i].y);
      }
    }
    End(r);
  }

  // Slot 0 of the player's handle table stands for the metafile itself.
  uint32_t NewSlot() { return slots_.New() + 1; }

  // Selects `selected` (a new slot or a stock object) and deletes what it replaces.
  void Replace(uint32_t& current, uint32_t selected) {
    Small(EMR_SELECTOBJECT, selected);
    if (current != 0 && (current & kStockObject) == 0 && !kept_.Holds(current)) {
      Small(EMR_DELETEOBJECT, current);
      slots_.Free(current - 1);
    }
    current = selected;
  }

  // --- operations ---

  void Op(const op::Brush& b) {
    brush_ = b;
    if (b.style == FillStyle::None) {
      Replace(brushSlot_, kStockNullBrush);
      return;
    }
    const uint32_t slot = NewSlot();
    CreateBrushIndirect(slot, b.colour);
    Replace(brushSlot_, slot);
  }

  // Discs of several colours change the brush at nearly every disc: each colour's brush is
  // made once and selected again whenever it comes back.
  void Op(const op::RunBrush& b) {
    brush_ = b;
    const uint32_t slot = kept_.Of(b.colour, [&] {
      const uint32_t made = NewSlot();
      CreateBrushIndirect(made, b.colour);
      return made;
    });
    Replace(brushSlot_, slot);
  }

  void Op(const op::Pen& pen) {
    if (pen.style == FillStyle::None) {
      Replace(penSlot_, kStockNullPen);
      return;
    }
    const uint32_t slot = NewSlot();
    CreatePen(slot, pen);
    Replace(penSlot_, slot);
  }

  void Op(const op::Font& f) {
    if (f.font >= c_.fonts.size()) return;  // no such font: the selection stays as it was
    font_ = &c_.fonts[f.font];
    const uint32_t slot = NewSlot();
    ExtCreateFontIndirectW(slot, *font_);
    Replace(fontSlot_, slot);
  }

  void Op(const op::Rectangle& r) { Box(EMR_RECTANGLE, r.x1, r.y1, r.x2, r.y2); }
  void Op(const op::Ellipse& e) { Box(EMR_ELLIPSE, e.x1, e.y1, e.x2, e.y2); }
  void Op(const op::MoveTo& m) { MoveToEx(m.x, m.y); }
  void Op(const op::LineTo& l) { LineTo(l.x, l.y); }

  void Op(const op::Polygons& g) {
    const PolygonSet* set = PolygonsOf(c_, g);
    if (!set || set->counts.empty()) return;
    // Players start in ALTERNATE; the mode is written only where a set needs the other.
    if (set->winding != winding_) {
      Small(EMR_SETPOLYFILLMODE, set->winding ? WINDING : ALTERNATE);
      winding_ = set->winding;
    }
    PolyPolygon(*set);
  }

  void Op(const op::TextOut& t) {
    if (t.text >= c_.texts.size()) return;
    textColours_.Prepare(
        font_ ? font_->colour : kBlack, brush_, [this](Rgb c) { Small(EMR_SETTEXTCOLOR, ColorRef(c)); },
        [this](uint32_t mode) { Small(EMR_SETBKMODE, mode); }, [this](Rgb c) { Small(EMR_SETBKCOLOR, ColorRef(c)); });
    ExtTextOutW(t, c_.texts[t.text], font_ ? font_->height : 0);
  }

  const PictureSnapshot& p_;
  const PictureContent& c_;
  ByteWriter out_;
  uint32_t records_ = 0;
  ObjectSlots slots_;
  uint32_t brushSlot_ = 0, penSlot_ = 0, fontSlot_ = 0;  // 0: the player's default
  KeptBrushes<uint32_t> kept_;  // the runs' brushes
  op::Brush brush_{FillStyle::Solid, kWhite};  // the surface's starting brush
  const FontSpec* font_ = nullptr;
  TextColours textColours_;
  bool winding_ = false;
  const float scaleX_ = Scale(ReferenceWidthMm(p_.reference), p_.reference.widthPx);
  const float scaleY_ = Scale(ReferenceHeightMm(p_.reference), p_.reference.heightPx);
};

}  // namespace

std::vector<uint8_t> EncodeEmf(const PictureSnapshot& picture) {
  if (!picture.content) return {};
  return EmfEncoder(picture).Encode();
}

}  // namespace ternova
