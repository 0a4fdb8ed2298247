#include "picture/svg_writer.h"

#include <algorithm>
#include <cstdlib>
#include <new>
#include <string>
#include <variant>

#include "base/encoding.h"
#include "base/error.h"
#include "picture/vector_common.h"

namespace ternova {

namespace {

// The document goes to its sink in pieces of about this size.
constexpr size_t kPiece = size_t{1} << 20;

void Hundredths(ByteWriter& out, int64_t v) {
  Decimal(out, v / 100);
  const int64_t rest = std::llabs(v % 100);
  if (rest == 0) return;
  out.Bytes(".");
  out.U8(static_cast<uint8_t>('0' + rest / 10));
  if (rest % 10) out.U8(static_cast<uint8_t>('0' + rest % 10));
}

void Colour(ByteWriter& out, Rgb c) {
  static constexpr char kHex[] = "0123456789abcdef";
  const char text[7] = {'#', kHex[c.r >> 4], kHex[c.r & 15], kHex[c.g >> 4], kHex[c.g & 15], kHex[c.b >> 4], kHex[c.b & 15]};
  out.Bytes(std::string_view(text, 7));
}

// Text for XML character data and attribute values; characters XML 1.0 cannot carry become
// U+FFFD, as they would in any other text output.
void XmlText(ByteWriter& out, char32_t c) {
  switch (c) {
    case '&': out.Bytes("&amp;"); return;
    case '<': out.Bytes("&lt;"); return;
    case '>': out.Bytes("&gt;"); return;
    case '"': out.Bytes("&quot;"); return;
    default: break;
  }
  if ((c < 0x20 && c != '\t' && c != '\n' && c != '\r') || (c >= 0xD800 && c <= 0xDFFF) || c == 0xFFFE || c == 0xFFFF)
    c = 0xFFFD;
  if (c < 0x80) {
    out.U8(static_cast<uint8_t>(c));
  } else if (c < 0x800) {
    out.U8(static_cast<uint8_t>(0xC0 | (c >> 6)));
    out.U8(static_cast<uint8_t>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.U8(static_cast<uint8_t>(0xE0 | (c >> 12)));
    out.U8(static_cast<uint8_t>(0x80 | ((c >> 6) & 0x3F)));
    out.U8(static_cast<uint8_t>(0x80 | (c & 0x3F)));
  } else {
    out.U8(static_cast<uint8_t>(0xF0 | (c >> 18)));
    out.U8(static_cast<uint8_t>(0x80 | ((c >> 12) & 0x3F)));
    out.U8(static_cast<uint8_t>(0x80 | ((c >> 6) & 0x3F)));
    out.U8(static_cast<uint8_t>(0x80 | (c & 0x3F)));
  }
}

class SvgWriter : VectorWalk<SvgWriter> {
 public:
  SvgWriter(const PictureSnapshot& p, const ByteSink& sink) : p_(p), sink_(sink) {}

  void Write() {
    const PictureContent* c = p_.content.get();
    out_.Reserve(kPiece + 4096);
    Header();
    if (c) {
      EllipseKinds kinds(*c);
      Definitions(kinds);
      Body(*c, kinds);
    }
    out_.Bytes("</svg>\n");
    Flush();
  }

 private:
  void Header() {
    const Frame frame = MetafileFrame(p_);
    out_.Bytes("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
               "<svg xmlns=\"http://www.w3.org/2000/svg\" xmlns:xlink=\"http://www.w3.org/1999/xlink\" "
               "version=\"1.1\" width=\"");
    Hundredths(out_, frame.width);
    out_.Bytes("mm\" height=\"");
    Hundredths(out_, frame.height);
    out_.Bytes("mm\" viewBox=\"0 0 ");
    Decimal(out_, p_.width);
    out_.Bytes(" ");
    Decimal(out_, p_.height);
    out_.Bytes("\">\n<title>Ternova</title>\n");
  }

  void Paint(const op::Brush& brush, const op::Pen& pen) {
    out_.Bytes(" fill=\"");
    if (brush.style == FillStyle::Solid)
      Colour(out_, brush.colour);
    else
      out_.Bytes("none");
    out_.Bytes("\"");
    if (pen.style == FillStyle::Solid) {
      out_.Bytes(" stroke=\"");
      Colour(out_, pen.colour);
      out_.Bytes("\" stroke-width=\"");
      Decimal(out_, std::max(1, pen.width));
      out_.Bytes("\"");
    }
  }

  void Definitions(const EllipseKinds& kinds) {
    if (kinds.All().empty()) return;
    out_.Bytes("<defs>\n");
    for (size_t i = 0; i < kinds.All().size(); ++i) {
      const EllipseKind& k = kinds.All()[i];
      out_.Bytes("<ellipse id=\"e");
      Decimal(out_, static_cast<int64_t>(i));
      out_.Bytes("\" rx=\"");
      HalfDecimal(out_, k.width);
      out_.Bytes("\" ry=\"");
      HalfDecimal(out_, k.height);
      out_.Bytes("\"");
      Paint(k.brush, k.pen);
      out_.Bytes("/>\n");
    }
    out_.Bytes("</defs>\n");
  }

  void Flush() {
    if (out_.Size() > 0) sink_(out_.Data(), out_.Size());
    out_.Clear();
  }

  void Body(const PictureContent& c, EllipseKinds& kinds) {
    ForEachOperation(c, [&](const auto& o) {
      if (out_.Size() >= kPiece) Flush();
      Walk(c, kinds, o);
    });
    EndPath();
  }

  friend class VectorWalk<SvgWriter>;

  void PlaceEllipse(const op::Ellipse& e, size_t kind) {
    out_.Bytes("<use xlink:href=\"#e");
    Decimal(out_, static_cast<int64_t>(kind));
    out_.Bytes("\" x=\"");
    HalfDecimal(out_, int64_t{e.x1} + e.x2);
    out_.Bytes("\" y=\"");
    HalfDecimal(out_, int64_t{e.y1} + e.y2);
    out_.Bytes("\"/>\n");
  }

  void DrawRectangle(const op::Rectangle& r) { Rectangle(r.x1, r.y1, r.x2, r.y2, brush_, pen_); }

  // One path for the whole set: the density view's cells of one colour are one element.
  void DrawPolygons(const PolygonSet& set) {
    out_.Bytes("<path");
    Paint(brush_, pen_);
    out_.Bytes(set.winding ? " fill-rule=\"nonzero\"" : " fill-rule=\"evenodd\"");
    if (pen_.style == FillStyle::Solid) out_.Bytes(" stroke-linejoin=\"round\"");
    out_.Bytes(" d=\"");
    ForEachPolygon(set, [&](size_t first, size_t count) {
      if (out_.Size() >= kPiece) Flush();
      for (size_t i = first; i < first + count; ++i) {
        out_.Bytes(i == first ? "M" : " ");
        Decimal(out_, set.points[i].x);
        out_.Bytes(" ");
        Decimal(out_, set.points[i].y);
      }
      out_.Bytes("Z");
    });
    out_.Bytes("\"/>\n");
  }

  void LineTo(int32_t x, int32_t y) {
    if (!pathOpen_) {
      out_.Bytes("<path fill=\"none\" stroke=\"");
      Colour(out_, pen_.colour);
      out_.Bytes("\" stroke-width=\"");
      Decimal(out_, std::max(1, pen_.width));
      out_.Bytes("\" stroke-linecap=\"round\" stroke-linejoin=\"round\" d=\"");
      pathOpen_ = true;
    } else if (pathX_ == x_ && pathY_ == y_) {
      out_.Bytes(" ");
      Decimal(out_, x);
      out_.Bytes(" ");
      Decimal(out_, y);
      pathX_ = x;
      pathY_ = y;
      return;
    }
    out_.Bytes("M");
    Decimal(out_, x_);
    out_.Bytes(" ");
    Decimal(out_, y_);
    out_.Bytes("L");
    Decimal(out_, x);
    out_.Bytes(" ");
    Decimal(out_, y);
    pathX_ = x;
    pathY_ = y;
  }

  void EndPath() {
    if (!pathOpen_) return;
    out_.Bytes("\"/>\n");
    pathOpen_ = false;
  }

  void Rectangle(int64_t x1, int64_t y1, int64_t x2, int64_t y2, const op::Brush& brush, const op::Pen& pen) {
    out_.Bytes("<rect x=\"");
    Decimal(out_, std::min(x1, x2));
    out_.Bytes("\" y=\"");
    Decimal(out_, std::min(y1, y2));
    out_.Bytes("\" width=\"");
    Decimal(out_, std::llabs(x2 - x1));
    out_.Bytes("\" height=\"");
    Decimal(out_, std::llabs(y2 - y1));
    out_.Bytes("\"");
    Paint(brush, pen);
    out_.Bytes("/>\n");
  }

  void Text(const op::TextOut& t, const PictureText& text) {
    const FontSpec face = font_ ? *font_ : FontSpec{};
    const int64_t em = std::llabs(int64_t{face.height});
    if (brush_.style == FillStyle::Solid)
      Rectangle(t.x, t.y, int64_t{t.x} + text.width, int64_t{t.y} + em, brush_, {FillStyle::None, kBlack, 0});
    if (text.chars.empty()) return;
    out_.Bytes("<text xml:space=\"preserve\" font-family=\"");
    // What would end the attribute or the CSS name is left out; an imported face may hold any
    // text, even broken UTF-8, which XmlText turns into what XML can carry.
    const std::u16string name = Utf16FromUtf8(face.face);
    for (size_t i = 0; i < name.size(); i += CharacterUnits(name, i)) {
      char32_t c = name[i];
      if (CharacterUnits(name, i) == 2) c = 0x10000 + ((c - 0xD800) << 10) + (name[i + 1] - 0xDC00);
      if (c < 0x20 || c == ',' || c == '\'' || c == '"' || c == ';') continue;
      XmlText(out_, c);
    }
    out_.Bytes(", sans-serif\" font-size=\"");
    Decimal(out_, em);
    if (face.weight >= 600) out_.Bytes("\" font-weight=\"bold");
    out_.Bytes("\" fill=\"");
    Colour(out_, face.colour);
    out_.Bytes("\" y=\"");
    // The top of the text is the top of the character cell; the baseline lies the ascent of a
    // Helvetica-like face below it.
    Decimal(out_, int64_t{t.y} + (em * 905 + 500) / 1000);
    out_.Bytes("\" x=\"");
    int64_t x = t.x;
    for (size_t i = 0; i < text.chars.size(); ++i) {
      if (IsLow(text.chars[i]) && i > 0 && IsHigh(text.chars[i - 1])) {
        x += text.advances[i];
        continue;
      }
      if (i > 0) out_.Bytes(" ");
      Decimal(out_, x);
      x += text.advances[i];
    }
    out_.Bytes("\">");
    for (size_t i = 0; i < text.chars.size(); ++i) {
      char32_t c = text.chars[i];
      if (IsHigh(c) && i + 1 < text.chars.size() && IsLow(text.chars[i + 1])) {
        c = 0x10000 + ((c - 0xD800) << 10) + (text.chars[i + 1] - 0xDC00);
        ++i;
      }
      XmlText(out_, c);
    }
    out_.Bytes("</text>\n");
  }

  static bool IsHigh(char32_t c) { return c >= 0xD800 && c <= 0xDBFF; }
  static bool IsLow(char32_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

  const PictureSnapshot& p_;
  const ByteSink& sink_;
  ByteWriter out_;
  bool pathOpen_ = false;
  int32_t pathX_ = 0, pathY_ = 0;
};

}  // namespace

void WriteSvg(const PictureSnapshot& picture, const ByteSink& sink) {
  try {
    SvgWriter(picture, sink).Write();
  } catch (const std::bad_alloc&) {
    throw Error(kNoResources);
  }
}

std::vector<uint8_t> EncodeSvg(const PictureSnapshot& picture) { return EncodeWhole(picture, WriteSvg); }

}  // namespace ternova
