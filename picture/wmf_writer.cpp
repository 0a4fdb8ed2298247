#include "picture/wmf_writer.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>

#include "base/encoding.h"
#include "base/error.h"
#include "picture/byte_writer.h"
#include "picture/metafile_objects.h"

namespace ternova {

namespace {

using namespace wmf;

constexpr size_t kPlaceableSize = 22;
constexpr size_t kFaceBytes = 32;
// META_EXTTEXTOUT's string length is a signed 16-bit count.
constexpr size_t kMaxTextBytes = 32767;
// META_POLYPOLYGON's polygon count is 16 bits.
constexpr size_t kMaxPolygons = 65535;

int16_t Clamp16(int64_t v) {
  return static_cast<int16_t>(std::clamp<int64_t>(v, std::numeric_limits<int16_t>::min(),
                                                  std::numeric_limits<int16_t>::max()));
}

// A font's text in its character set's code page, whole characters only and at most `limit`
// bytes, so a double-byte character is never split. A character the page lacks is "?", as the
// platform substitutes the default character.
std::string CodePageChar(std::u16string_view character, bool japanese) {
  std::string bytes = CodePageChar(character, japanese ? CodePage::ShiftJis : CodePage::Windows1252);
  return bytes.empty() ? "?" : bytes;
}

std::string CodePageText(std::u16string_view text, bool japanese, size_t limit) {
  std::string bytes;
  for (size_t i = 0; i < text.size(); i += CharacterUnits(text, i)) {
    const std::string ch = CodePageChar(text.substr(i, CharacterUnits(text, i)), japanese);
    if (bytes.size() + ch.size() > limit) break;
    bytes += ch;
  }
  return bytes;
}

class WmfEncoder {
 public:
  explicit WmfEncoder(const PictureSnapshot& p) : p_(p) {}

  std::vector<uint8_t> Encode() {
    if (!p_.content) {
      Placeable(0, 0);
      return out_.Take();
    }
    const PictureContent& c = *p_.content;
    out_.Reserve(ExpectedSize(c));
    const Frame frame = MetafileFrame(p_);
    Placeable(Clamp16(MulDiv(frame.width, 96, 2540)), Clamp16(MulDiv(frame.height, 96, 2540)));
    MetaHeader();
    Small(META_SETMAPMODE, MM_ANISOTROPIC);
    Pair(META_SETWINDOWORG, 0, 0);
    Pair(META_SETWINDOWEXT, p_.width, p_.height);
    ForEachOperation<true>(c, [this](const auto& v) { Op(v); });
    Record(META_EOF);
    End(lastStart_);
    const size_t words = (out_.Size() - kPlaceableSize) / 2;
    if (words > std::numeric_limits<uint32_t>::max()) throw Error(kNoResources);
    out_.PatchU32(kPlaceableSize + 6, static_cast<uint32_t>(words));     // mtSize
    out_.PatchU16(kPlaceableSize + 10, static_cast<uint16_t>(slots_.TableSize()));  // mtNoObjects
    out_.PatchU32(kPlaceableSize + 12, maxRecord_);                     // mtMaxRecord
    return out_.Take();
  }

 private:
  // Each operation's records, state changes with the select and delete they bring; a text's
  // bytes and advances come on top.
  static constexpr auto kBytes = BytesPerOperation(Overloaded{
      [](std::type_identity<op::Brush>) { return size_t{14 + 8 + 8}; },
      [](std::type_identity<op::Pen>) { return size_t{16 + 8 + 8}; },
      [](std::type_identity<op::Font>) { return 6 + 18 + kFaceBytes + 8 + 8; },
      [](std::type_identity<op::Rectangle>) { return size_t{14}; },
      [](std::type_identity<op::Ellipse>) { return size_t{14}; },
      [](std::type_identity<op::MoveTo>) { return size_t{10}; },
      [](std::type_identity<op::LineTo>) { return size_t{10}; },
      [](std::type_identity<op::TextOut>) { return size_t{10 + 8 + 10 + 14 + 2}; },
      [](std::type_identity<op::Discs>) { return size_t{14}; },  // per disc: an ellipse
      [](std::type_identity<op::Polygons>) { return size_t{8 + 8}; },  // the corners on top
  });

  static size_t ExpectedSize(const PictureContent& c) {
    size_t n = kPlaceableSize + 18 + 8 + 10 + 10 + 6;
    for (const PictureOp& o : c.ops) {
      n += kBytes[o.index()] * OperationsIn(c, o);
      if (const auto* t = std::get_if<op::TextOut>(&o)) {
        // Up to two bytes per unit in Shift-JIS, a 16-bit advance per byte.
        const size_t units = t->text < c.texts.size() ? c.texts[t->text].chars.size() : 0;
        n += 6 * std::min(units, kMaxTextBytes);
      }
      if (const auto* g = std::get_if<op::Polygons>(&o))
        if (const PolygonSet* set = PolygonsOf(c, *g))
          n += 2 * set->counts.size() + 4 * set->points.size() + 8 * (set->counts.size() / kMaxPolygons + 1);
    }
    return n;
  }

  // --- records ---

  void Placeable(int16_t right, int16_t bottom) {
    const uint16_t words[10] = {static_cast<uint16_t>(kPlaceableKey), static_cast<uint16_t>(kPlaceableKey >> 16), 0, 0, 0, static_cast<uint16_t>(right), static_cast<uint16_t>(bottom),
                                96, 0, 0};
    uint16_t checksum = 0;
    for (uint16_t w : words) checksum ^= w;
    out_.U32(kPlaceableKey);  // key
    out_.U16(0);           // hmf: no handle on disk
    out_.I16(0);           // bbox left
    out_.I16(0);           // bbox top
    out_.I16(right);       // bbox right, 1/96 inch
    out_.I16(bottom);      // bbox bottom
    out_.U16(96);          // inch: units per inch of the box
    out_.U32(0);           // reserved
    out_.U16(checksum);    // checksum: XOR of the ten words before it
  }

  void MetaHeader() {
    out_.U16(1);       // mtType: in memory (no disk file name)
    out_.U16(9);       // mtHeaderSize in words
    out_.U16(0x0300);  // mtVersion: with device-independent bitmaps
    out_.U32(0);       // mtSize in words, patched at the end
    out_.U16(0);       // mtNoObjects, patched
    out_.U32(0);       // mtMaxRecord in words, patched
    out_.U16(0);       // mtNoParameters: unused
  }

  // Starts a record; the previous one is closed first, its size filled in.
  void Record(uint16_t function) {
    if (open_) End(lastStart_);
    lastStart_ = out_.Size();
    open_ = true;
    out_.U32(0);         // rdSize in words, filled in by End
    out_.U16(function);  // rdFunction
  }
  void End(size_t start) {
    out_.PadTo(2);
    const uint32_t words = static_cast<uint32_t>((out_.Size() - start) / 2);
    out_.PatchU32(start, words);
    maxRecord_ = std::max(maxRecord_, words);
    open_ = false;
  }

  void Small(uint16_t function, uint16_t value) {
    Record(function);
    out_.U16(value);  // the one parameter: mode or object index
  }

  void ColourRecord(uint16_t function, Rgb c) {
    Record(function);
    ColorRef(c);
  }

  void ColorRef(Rgb c) {
    out_.U8(c.r);  // red
    out_.U8(c.g);  // green
    out_.U8(c.b);  // blue
    out_.U8(0);    // reserved
  }

  // Parameters are stored last to first: y before x.
  void Pair(uint16_t function, int32_t x, int32_t y) {
    Record(function);
    out_.I16(Clamp16(y));
    out_.I16(Clamp16(x));
  }

  void Box(uint16_t function, int32_t l, int32_t t, int32_t r, int32_t b) {
    Record(function);
    out_.I16(Clamp16(b));  // bottom
    out_.I16(Clamp16(r));  // right
    out_.I16(Clamp16(t));  // top
    out_.I16(Clamp16(l));  // left
  }

  void CreatePenIndirect(uint16_t style, int32_t width, Rgb colour) {
    Record(META_CREATEPENINDIRECT);
    out_.U16(style);                          // lopnStyle
    out_.I16(Clamp16(std::max(width, 0)));    // lopnWidth.x
    out_.I16(0);                              // lopnWidth.y, unused
    ColorRef(colour);                         // lopnColor
  }

  void CreateBrushIndirect(uint16_t style, Rgb colour) {
    Record(META_CREATEBRUSHINDIRECT);
    out_.U16(style);   // lbStyle
    ColorRef(colour);  // lbColor
    out_.U16(0);       // lbHatch
  }

  void CreateFontIndirect(const FontSpec& f) {
    const std::string face = CodePageText(Utf16FromUtf8(f.face), f.japanese, kFaceBytes - 1);  // room for the NUL
    Record(META_CREATEFONTINDIRECT);
    out_.I16(Clamp16(f.height));  // lfHeight
    out_.I16(0);                  // lfWidth
    out_.I16(0);                  // lfEscapement
    out_.I16(0);                  // lfOrientation
    out_.I16(Clamp16(f.weight));  // lfWeight
    out_.U8(0);                   // lfItalic
    out_.U8(0);                   // lfUnderline
    out_.U8(0);                   // lfStrikeOut
    out_.U8(f.japanese ? SHIFTJIS_CHARSET : DEFAULT_CHARSET);  // lfCharSet
    out_.U8(0);                   // lfOutPrecision
    out_.U8(0);                   // lfClipPrecision
    out_.U8(0);                   // lfQuality
    out_.U8(0);                   // lfPitchAndFamily
    out_.FixedBytes(face, kFaceBytes);  // lfFaceName in the font's code page
  }

  void ExtTextOut(int32_t x, int32_t y, const PictureText& text, bool japanese) {
    // Each character in the font's code page; its advance goes on its first byte.
    std::string bytes;
    std::vector<int16_t> dx;
    for (size_t i = 0; i < text.chars.size();) {
      const size_t n = CharacterUnits(text.chars, i);
      const std::string ch = CodePageChar(std::u16string_view(text.chars).substr(i, n), japanese);
      if (bytes.size() + ch.size() > kMaxTextBytes) break;
      // A surrogate pair's two advances may add up beyond 32 bits.
      int64_t advance = 0;
      for (size_t k = i; k < i + n && k < text.advances.size(); ++k) advance += text.advances[k];
      bytes += ch;
      dx.push_back(Clamp16(advance));
      dx.resize(bytes.size(), 0);
      i += n;
    }
    Record(META_EXTTEXTOUT);
    out_.I16(Clamp16(y));                            // y
    out_.I16(Clamp16(x));                            // x
    out_.I16(static_cast<int16_t>(bytes.size()));    // StringLength in bytes
    out_.U16(0);                                     // fwOpts: none, so no rectangle follows
    out_.Bytes(bytes);                               // String
    out_.PadTo(2);                                   //   padded to a whole word
    for (int16_t d : dx) out_.I16(d);                // Dx: one per byte
  }

  // The polygons in records of at most kMaxPolygons each, as the count is 16 bits wide; a
  // polygon of more corners than 16 bits can count is left out.
  void PolyPolygon(const PolygonSet& set) {
    size_t first = 0, at = 0;  // polygon and corner the next record starts with
    while (first < set.counts.size()) {
      size_t last = first, corners = 0;
      while (last < set.counts.size() && last - first < kMaxPolygons) corners += set.counts[last++];
      if (at + corners > set.points.size()) return;  // a set left unclosed promises corners it lacks
      std::vector<uint16_t> counts;
      for (size_t k = first; k < last; ++k)
        if (set.counts[k] <= UINT16_MAX) counts.push_back(static_cast<uint16_t>(set.counts[k]));
      if (!counts.empty()) {
        Record(META_POLYPOLYGON);
        out_.U16(static_cast<uint16_t>(counts.size()));  // NumberOfPolygons
        for (uint16_t n : counts) out_.U16(n);            // aPolygonPointCount
        for (size_t k = first, p = at; k < last; p += set.counts[k++]) {
          if (set.counts[k] > UINT16_MAX) continue;
          for (size_t i = p; i < p + set.counts[k]; ++i) {  // aPoints
            out_.I16(Clamp16(set.points[i].x));
            out_.I16(Clamp16(set.points[i].y));
          }
        }
      }
      first = last;
      at += corners;
    }
  }

  // Call right after the object's create record: selects it and deletes what it replaces.
  void SelectNew(std::optional<uint16_t>& current) {
    const auto slot = static_cast<uint16_t>(slots_.New());
    Small(META_SELECTOBJECT, slot);
    if (current) {
      Small(META_DELETEOBJECT, *current);
      slots_.Free(*current);
    }
    current = slot;
  }

  // --- operations ---

  void Op(const op::Brush& b) {
    brush_ = b;
    CreateBrushIndirect(b.style == FillStyle::Solid ? BS_SOLID : BS_NULL, b.colour);
    // A brush kept for runs stays for the next one.
    if (brushSlot_ && kept_.Holds(*brushSlot_)) brushSlot_.reset();
    SelectNew(brushSlot_);
  }

  // Discs of several colours change the brush at nearly every disc: each colour's brush is
  // made once and selected again whenever it comes back.
  void Op(const op::RunBrush& b) {
    brush_ = b;
    const uint16_t slot = kept_.Of(b.colour, [&] {
      CreateBrushIndirect(BS_SOLID, b.colour);
      return static_cast<uint16_t>(slots_.New());
    });
    Small(META_SELECTOBJECT, slot);
    if (brushSlot_ && !kept_.Holds(*brushSlot_)) {
      Small(META_DELETEOBJECT, *brushSlot_);
      slots_.Free(*brushSlot_);
    }
    brushSlot_ = slot;
  }

  void Op(const op::Pen& pen) {
    // No stock objects in this format: the null pen is an object of its own.
    if (pen.style == FillStyle::None)
      CreatePenIndirect(PS_NULL, 0, pen.colour);
    else
      CreatePenIndirect(PS_SOLID, pen.width, pen.colour);
    SelectNew(penSlot_);
  }

  void Op(const op::Font& f) {
    if (f.font >= p_.content->fonts.size()) return;  // no such font: the selection stays
    font_ = &p_.content->fonts[f.font];
    CreateFontIndirect(*font_);
    SelectNew(fontSlot_);
  }

  void Op(const op::Rectangle& r) { Box(META_RECTANGLE, r.x1, r.y1, r.x2, r.y2); }
  void Op(const op::Ellipse& e) { Box(META_ELLIPSE, e.x1, e.y1, e.x2, e.y2); }
  void Op(const op::MoveTo& m) { Pair(META_MOVETO, m.x, m.y); }
  void Op(const op::LineTo& l) { Pair(META_LINETO, l.x, l.y); }

  void Op(const op::Polygons& g) {
    const PolygonSet* set = PolygonsOf(*p_.content, g);
    if (!set || set->counts.empty()) return;
    // Players start in ALTERNATE; the mode is written only where a set needs the other.
    if (set->winding != winding_) {
      Small(META_SETPOLYFILLMODE, static_cast<uint16_t>(set->winding ? WINDING : ALTERNATE));
      winding_ = set->winding;
    }
    PolyPolygon(*set);
  }

  void Op(const op::TextOut& t) {
    if (t.text >= p_.content->texts.size()) return;
    textColours_.Prepare(
        font_ ? font_->colour : kBlack, brush_, [this](Rgb c) { ColourRecord(META_SETTEXTCOLOR, c); },
        [this](uint32_t mode) { Small(META_SETBKMODE, static_cast<uint16_t>(mode)); },
        [this](Rgb c) { ColourRecord(META_SETBKCOLOR, c); });
    ExtTextOut(t.x, t.y, p_.content->texts[t.text], font_ && font_->japanese);
  }

  const PictureSnapshot& p_;
  ByteWriter out_;
  size_t lastStart_ = 0;
  bool open_ = false;
  uint32_t maxRecord_ = 0;
  ObjectSlots slots_;
  std::optional<uint16_t> brushSlot_, penSlot_, fontSlot_;
  KeptBrushes<uint16_t> kept_;  // the runs' brushes
  op::Brush brush_{FillStyle::Solid, kWhite};  // the surface's starting brush
  const FontSpec* font_ = nullptr;
  TextColours textColours_;
  bool winding_ = false;
};

}  // namespace

std::vector<uint8_t> EncodeWmf(const PictureSnapshot& picture) { return WmfEncoder(picture).Encode(); }

}  // namespace ternova
