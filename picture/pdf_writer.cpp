#include "picture/pdf_writer.h"

#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>
#include <variant>

#include "base/error.h"
#include "picture/pdf_fonts.h"
#include "picture/vector_common.h"

namespace ternova {

namespace {

// Object numbers of the fixed part of the file; the ellipse forms follow from kFirstForm.
enum : int { kCatalog = 1, kPages, kPage, kContent, kContentLength, kFont, kInfo, kFirstForm };

// Four Bézier arcs approximate an ellipse; this is the control-point distance per radius.
constexpr double kKappa = 0.5522847498;

// The content is compressed in pieces of this size, so it never lies in memory uncompressed.
constexpr size_t kStage = size_t{1} << 20;

// Level 1 compresses this repetitive text almost as well as the default and several times
// faster.
constexpr int kLevel = Z_BEST_SPEED;

void Real(ByteWriter& out, double v) {
  char text[32];
  const int n = std::snprintf(text, sizeof text, "%.6f", v);
  std::string_view s(text, static_cast<size_t>(n));
  // Trailing zeros and a bare point say nothing.
  while (s.size() > 1 && s.back() == '0') s.remove_suffix(1);
  if (s.back() == '.') s.remove_suffix(1);
  if (s == "-0") s = "0";
  out.Bytes(s);
}

void Colour(ByteWriter& out, Rgb c, std::string_view op) {
  Channel(out, c.r);
  out.Bytes(" ");
  Channel(out, c.g);
  out.Bytes(" ");
  Channel(out, c.b);
  out.Bytes(" ");
  out.Bytes(op);
  out.Bytes("\n");
}

// Deflates what it is given onto the end of the file.
class Deflater {
 public:
  explicit Deflater(ByteWriter& out) : out_(out) {
    if (deflateInit(&z_, kLevel) != Z_OK) throw Error(kNoResources);
  }
  ~Deflater() { deflateEnd(&z_); }
  Deflater(const Deflater&) = delete;
  Deflater& operator=(const Deflater&) = delete;

  void Write(const uint8_t* data, size_t size, bool finish) {
    z_.next_in = const_cast<Bytef*>(data);
    z_.avail_in = static_cast<uInt>(size);
    int status;
    do {
      uint8_t buffer[1 << 16];
      z_.next_out = buffer;
      z_.avail_out = sizeof buffer;
      status = deflate(&z_, finish ? Z_FINISH : Z_NO_FLUSH);
      if (status == Z_STREAM_ERROR) throw Error(kNoResources);
      out_.Bytes(std::string_view(reinterpret_cast<const char*>(buffer), sizeof buffer - z_.avail_out));
    } while (z_.avail_out == 0 || (finish && status != Z_STREAM_END));
  }

 private:
  ByteWriter& out_;
  z_stream z_{};
};

class PdfWriter : VectorWalk<PdfWriter> {
 public:
  PdfWriter(const PictureSnapshot& p, const ByteSink& sink) : p_(p), sink_(sink) {}

  void Write() {
    static const PictureContent kNothing;
    const PictureContent& c = p_.content ? *p_.content : kNothing;
    EllipseKinds kinds(c);
    content_ = &c;
    ChooseFonts(c);
    firstFont_ = static_cast<int>(kFirstForm + kinds.All().size());
    offsets_.assign(static_cast<size_t>(firstFont_ + fonts_.Count() * PdfFonts::kObjectsPerFont), 0);
    out_.Reserve(size_t{1} << 16);
    // The comment of high bytes tells transfer programs the file is binary.
    out_.Bytes("%PDF-1.4\n%\xE2\xE3\xCF\xD3\n");
    Object(kCatalog);
    out_.Bytes("<< /Type /Catalog /Pages 2 0 R >>\nendobj\n");
    Object(kPages);
    out_.Bytes("<< /Type /Pages /Kids [3 0 R] /Count 1 >>\nendobj\n");
    PageObject(kinds);
    Object(kFont);
    out_.Bytes("<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>\nendobj\n");
    Object(kInfo);
    out_.Bytes("<< /Title (Ternova) /Producer (Ternova) >>\nendobj\n");
    for (size_t i = 0; i < kinds.All().size(); ++i) Form(static_cast<int>(kFirstForm + i), kinds.All()[i]);
    Content(c, kinds);
    for (int k = 0; k < fonts_.Count(); ++k)
      fonts_.Write(k, firstFont_ + k * PdfFonts::kObjectsPerFont, out_, [&](int number) { Object(number); });
    Trailer();
    Flush();
  }

 private:
  // Texts the standard face shows use it, as they always have; the others are set in subsets
  // of the faces the window draws them with, found before the page names its fonts.
  void ChooseFonts(const PictureContent& c) {
    if (std::all_of(c.texts.begin(), c.texts.end(), [](const PictureText& t) { return PdfFonts::StandardFaceShows(t.chars); }))
      return;
    uint32_t font = kNoFont;
    for (const PictureOp& o : c.ops) {
      if (const auto* f = std::get_if<op::Font>(&o)) {
        font = f->font < c.fonts.size() ? f->font : kNoFont;
      } else if (const auto* t = std::get_if<op::TextOut>(&o)) {
        if (t->text >= c.texts.size() || PdfFonts::StandardFaceShows(c.texts[t->text].chars)) continue;
        fonts_.Set(font == kNoFont ? FontSpec{} : c.fonts[font], font, t->text, c.texts[t->text].chars);
      }
    }
  }

  // Where the next byte goes in the file.
  size_t Position() const { return flushed_ + out_.Size(); }

  void Flush() {
    if (out_.Size() > 0) sink_(out_.Data(), out_.Size());
    flushed_ += out_.Size();
    out_.Clear();
  }

  void Object(int number) {
    offsets_[static_cast<size_t>(number)] = Position();
    Decimal(out_, number);
    out_.Bytes(" 0 obj\n");
  }

  void PageObject(const EllipseKinds& kinds) {
    const Frame frame = MetafileFrame(p_);
    pageW_ = frame.width / 2540.0 * 72;
    pageH_ = frame.height / 2540.0 * 72;
    Object(kPage);
    out_.Bytes("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 ");
    Real(out_, pageW_);
    out_.Bytes(" ");
    Real(out_, pageH_);
    out_.Bytes("] /Resources << /Font << /F1 6 0 R");
    for (int k = 0; k < fonts_.Count(); ++k) {
      out_.Bytes(" /T");
      Decimal(out_, k);
      out_.Bytes(" ");
      Decimal(out_, firstFont_ + k * PdfFonts::kObjectsPerFont);
      out_.Bytes(" 0 R");
    }
    out_.Bytes(" >>");
    if (!kinds.All().empty()) {
      out_.Bytes(" /XObject <<");
      for (size_t i = 0; i < kinds.All().size(); ++i) {
        out_.Bytes(" /E");
        Decimal(out_, static_cast<int64_t>(i));
        out_.Bytes(" ");
        Decimal(out_, static_cast<int64_t>(kFirstForm + i));
        out_.Bytes(" 0 R");
      }
      out_.Bytes(" >>");
    }
    out_.Bytes(" >> /Contents 4 0 R >>\nendobj\n");
  }

  // One ellipse centred on the origin, filled and outlined as its kind says.
  void Form(int number, const EllipseKind& k) {
    ByteWriter body;
    const double rx = k.width / 2.0, ry = k.height / 2.0;
    const bool fill = k.brush.style == FillStyle::Solid, stroke = k.pen.style == FillStyle::Solid;
    const double margin = stroke ? std::max(1, k.pen.width) : 0;
    if (fill) Colour(body, k.brush.colour, "rg");
    if (stroke) {
      Real(body, std::max(1, k.pen.width));
      body.Bytes(" w\n");
      Colour(body, k.pen.colour, "RG");
    }
    auto point = [&](double x, double y) {
      Real(body, x);
      body.Bytes(" ");
      Real(body, y);
      body.Bytes(" ");
    };
    point(rx, 0);
    body.Bytes("m\n");
    point(rx, kKappa * ry), point(kKappa * rx, ry), point(0, ry), body.Bytes("c\n");
    point(-kKappa * rx, ry), point(-rx, kKappa * ry), point(-rx, 0), body.Bytes("c\n");
    point(-rx, -kKappa * ry), point(-kKappa * rx, -ry), point(0, -ry), body.Bytes("c\n");
    point(kKappa * rx, -ry), point(rx, -kKappa * ry), point(rx, 0), body.Bytes("c\n");
    body.Bytes(fill && stroke ? "b\n" : fill ? "f\n" : stroke ? "s\n" : "n\n");

    Object(number);
    out_.Bytes("<< /Type /XObject /Subtype /Form /BBox [");
    Real(out_, -rx - margin);
    out_.Bytes(" ");
    Real(out_, -ry - margin);
    out_.Bytes(" ");
    Real(out_, rx + margin);
    out_.Bytes(" ");
    Real(out_, ry + margin);
    out_.Bytes("] /Length ");
    Decimal(out_, static_cast<int64_t>(body.Size()));
    out_.Bytes(" >>\nstream\n");
    out_.Bytes(std::string_view(reinterpret_cast<const char*>(body.Data()), body.Size()));
    out_.Bytes("\nendstream\nendobj\n");
  }

  void Content(const PictureContent& c, EllipseKinds& kinds) {
    Object(kContent);
    out_.Bytes("<< /Length 5 0 R /Filter /FlateDecode >>\nstream\n");
    const size_t start = Position();
    {
      Deflater deflater(out_);
      ByteWriter& s = stage_;
      s.Reserve(kStage + 4096);
      // Logical units onto the page, y downward as the picture draws.
      Real(s, p_.width > 0 ? pageW_ / p_.width : 1);
      s.Bytes(" 0 0 ");
      Real(s, p_.height > 0 ? -pageH_ / p_.height : -1);
      s.Bytes(" 0 ");
      Real(s, pageH_);
      s.Bytes(" cm\n1 J 1 j\n");
      ForEachOperation(c, [&](const auto& o) {
        Walk(c, kinds, o);
        if (s.Size() >= kStage) {
          deflater.Write(s.Data(), s.Size(), false);
          s.Clear();
          if (out_.Size() >= kStage) Flush();
        }
      });
      EndPath();
      deflater.Write(s.Data(), s.Size(), true);
      s.Clear();
    }
    const size_t length = Position() - start;
    out_.Bytes("\nendstream\nendobj\n");
    Object(kContentLength);
    Decimal(out_, static_cast<int64_t>(length));
    out_.Bytes("\nendobj\n");
  }

  friend class VectorWalk<PdfWriter>;

  void PlaceEllipse(const op::Ellipse& e, size_t kind) {
    ByteWriter& s = stage_;
    s.Bytes("q 1 0 0 1 ");
    HalfDecimal(s, int64_t{e.x1} + e.x2);
    s.Bytes(" ");
    HalfDecimal(s, int64_t{e.y1} + e.y2);
    s.Bytes(" cm /E");
    Decimal(s, static_cast<int64_t>(kind));
    s.Bytes(" Do Q\n");
  }

  void DrawRectangle(const op::Rectangle& r) { Rectangle(r.x1, r.y1, r.x2, r.y2, pen_.style == FillStyle::Solid); }

  // One path for the whole set: the density view's cells of one colour are one fill.
  void DrawPolygons(const PolygonSet& set) {
    ByteWriter& s = stage_;
    const bool fill = brush_.style == FillStyle::Solid, stroke = pen_.style == FillStyle::Solid;
    if (!fill && !stroke) return;
    if (fill) FillColour(brush_.colour);
    if (stroke) StrokePen();
    ForEachPolygon(set, [&](size_t first, size_t count) {
      for (size_t i = first; i < first + count; ++i) {
        Decimal(s, set.points[i].x);
        s.Bytes(" ");
        Decimal(s, set.points[i].y);
        s.Bytes(i == first ? " m " : " l ");
      }
      s.Bytes("h\n");
    });
    const bool odd = !set.winding;
    s.Bytes(fill && stroke ? (odd ? "B*\n" : "B\n") : fill ? (odd ? "f*\n" : "f\n") : "S\n");
  }

  void FillColour(Rgb c) {
    if (fillSet_ && fill_ == c) return;
    Colour(stage_, c, "rg");
    fill_ = c;
    fillSet_ = true;
  }

  void StrokePen() {
    if (strokeSet_ && stroke_.colour == pen_.colour && stroke_.width == pen_.width) return;
    Decimal(stage_, std::max(1, pen_.width));
    stage_.Bytes(" w ");
    Colour(stage_, pen_.colour, "RG");
    stroke_ = pen_;
    strokeSet_ = true;
  }

  void LineTo(int32_t x, int32_t y) {
    ByteWriter& s = stage_;
    if (!pathOpen_) {
      StrokePen();
      pathOpen_ = true;
    }
    if (!(pathX_ == x_ && pathY_ == y_ && havePoint_)) {
      Decimal(s, x_);
      s.Bytes(" ");
      Decimal(s, y_);
      s.Bytes(" m ");
    }
    Decimal(s, x);
    s.Bytes(" ");
    Decimal(s, y);
    s.Bytes(" l\n");
    pathX_ = x;
    pathY_ = y;
    havePoint_ = true;
  }

  void EndPath() {
    if (!pathOpen_) return;
    stage_.Bytes("S\n");
    pathOpen_ = false;
    havePoint_ = false;
  }

  void Rectangle(int64_t x1, int64_t y1, int64_t x2, int64_t y2, bool stroke) {
    ByteWriter& s = stage_;
    const bool fill = brush_.style == FillStyle::Solid;
    if (!fill && !stroke) return;
    if (fill) FillColour(brush_.colour);
    if (stroke) StrokePen();
    Decimal(s, std::min(x1, x2));
    s.Bytes(" ");
    Decimal(s, std::min(y1, y2));
    s.Bytes(" ");
    Decimal(s, std::llabs(x2 - x1));
    s.Bytes(" ");
    Decimal(s, std::llabs(y2 - y1));
    s.Bytes(fill && stroke ? " re B\n" : fill ? " re f\n" : " re S\n");
  }

  void Text(const op::TextOut& t, const PictureText& text) {
    ByteWriter& s = stage_;
    const FontSpec face = font_ ? *font_ : FontSpec{};
    const int64_t em = std::llabs(int64_t{face.height});
    if (brush_.style == FillStyle::Solid) Rectangle(t.x, t.y, int64_t{t.x} + text.width, int64_t{t.y} + em, false);
    if (text.chars.empty()) return;
    FillColour(face.colour);
    const uint32_t fontNumber = font_ ? static_cast<uint32_t>(font_ - content_->fonts.data()) : kNoFont;
    if (const PdfFonts::Setting* set = fonts_.Find(fontNumber, t.text); set && set->any) {
      EmbeddedText(t, text, *set, em);
      return;
    }
    s.Bytes("BT /F1 ");
    Decimal(s, em);
    s.Bytes(" Tf 1 0 0 -1 ");
    Decimal(s, t.x);
    s.Bytes(" ");
    // The top of the text is the top of the character cell; the baseline lies the ascent of a
    // Helvetica-like face below it.
    Decimal(s, int64_t{t.y} + (em * 905 + 500) / 1000);
    s.Bytes(" Tm");
    int64_t pending = 0;  // advance since the last glyph placed
    for (size_t i = 0; i < text.chars.size(); ++i) {
      const char16_t c = text.chars[i];
      if ((c >= 0x20 && c <= 0x7E) || (c >= 0xA0 && c <= 0xFF)) {
        if (pending != 0) {
          s.Bytes(" ");
          Decimal(s, pending);
          s.Bytes(" 0 Td");
        }
        s.Bytes(" (");
        if (c == '(' || c == ')' || c == '\\') s.Bytes("\\");
        if (c < 0x80) {
          s.U8(static_cast<uint8_t>(c));
        } else {
          const char octal[4] = {'\\', static_cast<char>('0' + (c >> 6)), static_cast<char>('0' + ((c >> 3) & 7)),
                                 static_cast<char>('0' + (c & 7))};
          s.Bytes(std::string_view(octal, 4));
        }
        s.Bytes(") Tj");
        pending = 0;
      }
      pending += text.advances[i];
    }
    s.Bytes(" ET\n");
  }

  // Each glyph from its face's subset by number, placed at the recorded advances; the
  // baseline lies the face's own ascent below the top of the text.
  void EmbeddedText(const op::TextOut& t, const PictureText& text, const PdfFonts::Setting& set, int64_t em) {
    ByteWriter& s = stage_;
    s.Bytes("BT 1 0 0 -1 ");
    Decimal(s, t.x);
    s.Bytes(" ");
    Decimal(s, int64_t{t.y} + std::llround(static_cast<double>(em) * set.ascent));
    s.Bytes(" Tm");
    int font = -1;
    int64_t pending = 0;  // advance since the last glyph placed
    for (size_t i = 0; i < text.chars.size() && i < set.at.size(); ++i) {
      const PdfFonts::Glyph g = set.at[i];
      if (g.font >= 0) {
        if (g.font != font) {
          s.Bytes(" /T");
          Decimal(s, g.font);
          s.Bytes(" ");
          Decimal(s, em);
          s.Bytes(" Tf");
          font = g.font;
        }
        if (pending != 0) {
          s.Bytes(" ");
          Decimal(s, pending);
          s.Bytes(" 0 Td");
        }
        static constexpr char kHex[] = "0123456789ABCDEF";
        const char code[6] = {'<', kHex[g.glyph >> 12], kHex[(g.glyph >> 8) & 15], kHex[(g.glyph >> 4) & 15],
                              kHex[g.glyph & 15], '>'};
        s.Bytes(" ");
        s.Bytes(std::string_view(code, 6));
        s.Bytes(" Tj");
        pending = 0;
      }
      pending += text.advances[i];
    }
    s.Bytes(" ET\n");
  }

  void Trailer() {
    const size_t xref = Position();
    const size_t count = offsets_.size();
    out_.Bytes("xref\n0 ");
    Decimal(out_, static_cast<int64_t>(count));
    out_.Bytes("\n0000000000 65535 f \n");
    for (size_t i = 1; i < count; ++i) {
      char entry[21];
      std::snprintf(entry, sizeof entry, "%010zu 00000 n \n", offsets_[i]);
      out_.Bytes(std::string_view(entry, 20));
    }
    out_.Bytes("trailer\n<< /Size ");
    Decimal(out_, static_cast<int64_t>(count));
    out_.Bytes(" /Root 1 0 R /Info 7 0 R >>\nstartxref\n");
    Decimal(out_, static_cast<int64_t>(xref));
    out_.Bytes("\n%%EOF\n");
  }

  static constexpr uint32_t kNoFont = UINT32_MAX;

  const PictureSnapshot& p_;
  const ByteSink& sink_;
  const PictureContent* content_ = nullptr;
  PdfFonts fonts_;
  int firstFont_ = 0;
  ByteWriter out_, stage_;
  size_t flushed_ = 0;
  std::vector<size_t> offsets_;
  double pageW_ = 0, pageH_ = 0;
  bool pathOpen_ = false, havePoint_ = false;
  int32_t pathX_ = 0, pathY_ = 0;
  Rgb fill_;
  bool fillSet_ = false;
  op::Pen stroke_{};
  bool strokeSet_ = false;
};

}  // namespace

void WritePdf(const PictureSnapshot& picture, const ByteSink& sink) {
  try {
    PdfWriter(picture, sink).Write();
  } catch (const std::bad_alloc&) {
    throw Error(kNoResources);
  }
}

std::vector<uint8_t> EncodePdf(const PictureSnapshot& picture) { return EncodeWhole(picture, WritePdf); }

}  // namespace ternova
