#include "picture/pdf_fonts.h"

#include <zlib.h>

#include <cmath>
#include <fstream>
#include <iterator>

#include "base/encoding.h"
#include "base/error.h"
#include "picture/freetype_text_metrics.h"
#include "picture/truetype_subset.h"
#include "picture/vector_common.h"

namespace ternova {

namespace {

bool IsLineEndOrControl(char16_t c) { return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x2028 || c == 0x2029; }

void Hex16(ByteWriter& out, uint16_t v) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  const char text[4] = {kHex[v >> 12], kHex[(v >> 8) & 15], kHex[(v >> 4) & 15], kHex[v & 15]};
  out.Bytes(std::string_view(text, 4));
}

std::vector<uint8_t> Deflated(const std::vector<uint8_t>& raw) {
  uLongf size = compressBound(static_cast<uLong>(raw.size()));
  std::vector<uint8_t> out(size);
  if (compress2(out.data(), &size, raw.data(), static_cast<uLong>(raw.size()), Z_BEST_COMPRESSION) != Z_OK)
    throw Error(kNoResources);
  out.resize(size);
  return out;
}

}  // namespace

struct PdfFonts::Face {
  std::string file;
  int index = 0;
  std::vector<uint8_t> bytes;
  std::optional<TrueTypeFace> face;
  std::set<uint16_t> glyphs;
  std::map<uint16_t, std::u16string> characters;  // what each glyph shows, the first one met
};

PdfFonts::PdfFonts() = default;
PdfFonts::~PdfFonts() = default;

bool PdfFonts::StandardFaceShows(std::u16string_view text) {
  for (char16_t c : text)
    if (!((c >= 0x20 && c <= 0x7E) || (c >= 0xA0 && c <= 0xFF) || IsLineEndOrControl(c))) return false;
  return true;
}

int PdfFonts::FaceNumber(const std::string& file, int index) {
  const auto key = std::make_pair(file, index);
  if (auto it = numbers_.find(key); it != numbers_.end()) return it->second;
  auto face = std::make_unique<Face>();
  face->file = file;
  face->index = index;
  std::ifstream in(file, std::ios::binary);
  face->bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  face->face = TrueTypeFace::Parse(face->bytes, index);
  if (!face->face) return numbers_[key] = -1;
  faces_.push_back(std::move(face));
  return numbers_[key] = static_cast<int>(faces_.size() - 1);
}

const PdfFonts::Setting& PdfFonts::Set(const FontSpec& font, uint32_t fontNumber, uint32_t textNumber,
                                       std::u16string_view text) {
  const auto key = std::make_pair(fontNumber, textNumber);
  if (auto it = settings_.find(key); it != settings_.end()) return it->second;
  Setting s;
  s.at.resize(text.size());
  const FreeTypeTextMetrics::TextGlyphs glyphs = InstalledFaces().TrueTypeGlyphs(font, text);
  s.ascent = glyphs.ascent;
  for (size_t i = 0; i < text.size(); ++i) {
    const FreeTypeTextMetrics::FaceGlyph& g = glyphs.at[i];
    if (g.file.empty() || g.glyph > 0xFFFF) continue;
    const int number = FaceNumber(g.file, g.index);
    if (number < 0 || g.glyph >= faces_[static_cast<size_t>(number)]->face->GlyphCount()) continue;
    Face& face = *faces_[static_cast<size_t>(number)];
    const auto glyph = static_cast<uint16_t>(g.glyph);
    s.at[i] = {number, glyph};
    s.any = true;
    face.glyphs.insert(glyph);
    const size_t units = CharacterUnits(text, i);
    // A lone surrogate is no character: it reads back as the replacement character.
    const bool lone = units == 1 && text[i] >= 0xD800 && text[i] <= 0xDFFF;
    face.characters.emplace(glyph, lone ? std::u16string(1, u'\uFFFD') : std::u16string(text.substr(i, units)));
  }
  return settings_[key] = std::move(s);
}

const PdfFonts::Setting* PdfFonts::Find(uint32_t fontNumber, uint32_t textNumber) const {
  const auto it = settings_.find(std::make_pair(fontNumber, textNumber));
  return it == settings_.end() ? nullptr : &it->second;
}

void PdfFonts::Write(int k, int first, ByteWriter& out, const std::function<void(int)>& object) const {
  const Face& f = *faces_[static_cast<size_t>(k)];
  const TrueTypeFace& face = *f.face;
  auto thousandths = [&](int64_t v) { return static_cast<int64_t>(std::lround(static_cast<double>(v) * 1000.0 / face.UnitsPerEm())); };
  auto reference = [&](int number) {
    Decimal(out, number);
    out.Bytes(" 0 R");
  };

  // Subsets of different glyphs are different fonts to a reader: the tag says which.
  uint32_t hash = 2166136261u;
  auto mix = [&](uint32_t v) { hash = (hash ^ v) * 16777619u; };
  for (char c : f.file) mix(static_cast<uint8_t>(c));
  mix(static_cast<uint32_t>(f.index));
  for (uint16_t g : f.glyphs) mix(g);
  std::string name;
  for (int i = 0; i < 6; ++i, hash /= 26) name += static_cast<char>('A' + hash % 26);
  name += "+" + face.PostScriptName();

  object(first);
  out.Bytes("<< /Type /Font /Subtype /Type0 /BaseFont /");
  out.Bytes(name);
  out.Bytes(" /Encoding /Identity-H /DescendantFonts [");
  reference(first + 1);
  out.Bytes("] /ToUnicode ");
  reference(first + 4);
  out.Bytes(" >>\nendobj\n");

  object(first + 1);
  out.Bytes("<< /Type /Font /Subtype /CIDFontType2 /BaseFont /");
  out.Bytes(name);
  out.Bytes(" /CIDSystemInfo << /Registry (Adobe) /Ordering (Identity) /Supplement 0 >> /FontDescriptor ");
  reference(first + 2);
  out.Bytes(" /CIDToGIDMap /Identity /W [");
  for (uint16_t g : f.glyphs) {
    out.Bytes(" ");
    Decimal(out, g);
    out.Bytes(" [");
    Decimal(out, thousandths(face.Advance(g)));
    out.Bytes("]");
  }
  out.Bytes(" ] >>\nendobj\n");

  object(first + 2);
  out.Bytes("<< /Type /FontDescriptor /FontName /");
  out.Bytes(name);
  // Symbolic: the glyphs are outside the standard Latin set.
  out.Bytes(" /Flags 4 /FontBBox [");
  for (int i = 0; i < 4; ++i) {
    out.Bytes(i ? " " : "");
    Decimal(out, thousandths(face.Box()[i]));
  }
  out.Bytes("] /ItalicAngle 0 /Ascent ");
  Decimal(out, thousandths(face.Ascender()));
  out.Bytes(" /Descent ");
  Decimal(out, thousandths(face.Descender()));
  out.Bytes(" /CapHeight ");
  Decimal(out, thousandths(face.Ascender()));
  out.Bytes(" /StemV 80 /FontFile2 ");
  reference(first + 3);
  out.Bytes(" >>\nendobj\n");

  const std::vector<uint8_t> subset = face.Subset(f.glyphs);
  const std::vector<uint8_t> packed = Deflated(subset);
  object(first + 3);
  out.Bytes("<< /Length ");
  Decimal(out, static_cast<int64_t>(packed.size()));
  out.Bytes(" /Length1 ");
  Decimal(out, static_cast<int64_t>(subset.size()));
  out.Bytes(" /Filter /FlateDecode >>\nstream\n");
  out.Bytes(std::string_view(reinterpret_cast<const char*>(packed.data()), packed.size()));
  out.Bytes("\nendstream\nendobj\n");

  ByteWriter map;
  map.Bytes("/CIDInit /ProcSet findresource begin\n12 dict begin\nbegincmap\n"
            "/CIDSystemInfo << /Registry (Adobe) /Ordering (UCS) /Supplement 0 >> def\n"
            "/CMapName /Adobe-Identity-UCS def\n/CMapType 2 def\n"
            "1 begincodespacerange\n<0000> <FFFF>\nendcodespacerange\n");
  // A block holds at most a hundred mappings.
  size_t left = f.characters.size();
  for (auto it = f.characters.begin(); it != f.characters.end();) {
    const size_t block = std::min<size_t>(left, 100);
    Decimal(map, static_cast<int64_t>(block));
    map.Bytes(" beginbfchar\n");
    for (size_t i = 0; i < block; ++i, ++it) {
      map.Bytes("<");
      Hex16(map, it->first);
      map.Bytes("> <");
      for (char16_t u : it->second) Hex16(map, u);
      map.Bytes(">\n");
    }
    map.Bytes("endbfchar\n");
    left -= block;
  }
  map.Bytes("endcmap\nCMapName currentdict /CMap defineresource pop\nend\nend\n");
  object(first + 4);
  out.Bytes("<< /Length ");
  Decimal(out, static_cast<int64_t>(map.Size()));
  out.Bytes(" >>\nstream\n");
  out.Bytes(std::string_view(reinterpret_cast<const char*>(map.Data()), map.Size()));
  out.Bytes("endstream\nendobj\n");
}

}  // namespace ternova
