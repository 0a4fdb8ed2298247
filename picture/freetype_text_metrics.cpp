#include "picture/freetype_text_metrics.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H
#include FT_TRUETYPE_TAGS_H

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>
#include <mutex>
#include <string>
#include <tuple>
#include <utility>

#include "base/encoding.h"
#include "base/error.h"
#include "base/messages.h"
#include "picture/font_substitute.h"

namespace ternova {

namespace {

// FreeType takes no larger size.
constexpr int32_t kLargestPixelSize = 0xFFFF;

bool InRange(char32_t c, char32_t first, char32_t last) { return c >= first && c <= last; }

// Characters the window draws with no advance at all: the non-spacing marks of the scripts a
// diagram's texts are likely to use (the combining accents, the kana voicing marks, the
// Hebrew and Arabic vowel points, variation selectors).
bool IsNonSpacingMark(char32_t c) {
  static constexpr std::pair<char32_t, char32_t> kMarks[] = {
      {0x0300, 0x036F}, {0x0483, 0x0487}, {0x0591, 0x05BD}, {0x05BF, 0x05BF}, {0x05C1, 0x05C2},
      {0x05C4, 0x05C5}, {0x05C7, 0x05C7}, {0x0610, 0x061A}, {0x064B, 0x065F}, {0x0670, 0x0670},
      {0x06D6, 0x06DC}, {0x06DF, 0x06E4}, {0x06E7, 0x06E8}, {0x06EA, 0x06ED}, {0x1AB0, 0x1ABD},
      {0x1DC0, 0x1DFF}, {0x20D0, 0x20DC}, {0x20E1, 0x20E1}, {0x20E5, 0x20F0}, {0x302A, 0x302D},
      {0x3099, 0x309A}, {0xFE00, 0xFE0F}, {0xFE20, 0xFE2F}, {0xE0100, 0xE01EF},
  };
  for (const auto& [first, last] : kMarks)
    if (InRange(c, first, last)) return true;
  return false;
}

// Characters never looked up in a fallback face: line and paragraph ends and the controls.
bool IsIgnorable(char32_t c) {
  return c == 0x2028 || c == 0x2029 || c == '\n' || c == '\r' || c < 0x20 || InRange(c, 0x7F, 0x9F);
}

// The language a fallback face must support for `c`, as the window asks fontconfig: its
// script's language for the kana and the European alphabets; empty (the system's language)
// for the common signs, the ideographs and the rest, which several languages share.
const char* ScriptLanguage(char32_t c) {
  // Kana signs every kana text shares belong to no one script.
  if (c == 0x30A0 || c == 0x30FB || c == 0x30FC || c == 0x309B || c == 0x309C || c == 0xFF70 || c == 0xFF9E ||
      c == 0xFF9F)
    return "";
  if (InRange(c, 0x3041, 0x309F)) return "ja";  // Hiragana
  if (InRange(c, 0x30A1, 0x30FF) || InRange(c, 0x31F0, 0x31FF) || InRange(c, 0x32D0, 0x32FE) ||
      InRange(c, 0x3300, 0x3357) || InRange(c, 0xFF66, 0xFF9D))
    return "ja";  // Katakana
  if (InRange(c, 'A', 'Z') || InRange(c, 'a', 'z') || c == 0xAA || c == 0xBA || (InRange(c, 0xC0, 0x24F) && c != 0xD7 && c != 0xF7) ||
      InRange(c, 0x1E00, 0x1EFF) || InRange(c, 0x2160, 0x2188) || c == 0x212A || c == 0x212B ||
      InRange(c, 0xFF21, 0xFF3A) || InRange(c, 0xFF41, 0xFF5A))
    return "en";  // Latin
  if ((InRange(c, 0x0370, 0x03FF) && c != 0x037E && c != 0x0385 && c != 0x0387) || InRange(c, 0x1F00, 0x1FFF))
    return "el";  // Greek
  if (InRange(c, 0x0400, 0x052F)) return "ru";  // Cyrillic
  return "";
}

// The weight on the 100 to 900 scale, as a font request gives it.
double OpenTypeWeight(int fcWeight) { return FcWeightToOpenTypeDouble(fcWeight); }

struct FaceKey {
  std::string file;
  int index = 0;
  friend bool operator<(const FaceKey& a, const FaceKey& b) { return std::tie(a.file, a.index) < std::tie(b.file, b.index); }
};

}  // namespace

struct FreeTypeTextMetrics::Fonts {
  std::mutex lock;
  FT_Library library = nullptr;
  std::map<FaceKey, FT_Face> faces;                                      // null: could not be opened
  std::map<FT_Face, FaceKey> keys;
  std::map<std::pair<std::string, int>, FT_Face> bestOfFamily;           // (family, weight)
  std::map<std::tuple<std::string, int, std::string>, std::vector<FT_Face>> fallbacks;  // (family, weight, language)
  std::string systemLanguage;

  ~Fonts() {
    for (auto& [key, face] : faces)
      if (face) FT_Done_Face(face);
    if (library) FT_Done_FreeType(library);
  }

  FT_Face Open(const FaceKey& key) {
    auto [it, added] = faces.emplace(key, nullptr);
    if (added && FT_New_Face(library, key.file.c_str(), key.index, &it->second) != 0) it->second = nullptr;
    if (added && it->second) keys[it->second] = key;
    return it->second;
  }

  // The face of `family` closest to `weight`: upright before all, then the nearest weight in
  // steps of ten plus the distance from normal width, the first listed on a tie. Null when the
  // family is not installed.
  FT_Face BestOfFamily(const std::string& family, int weight) {
    const auto key = std::make_pair(family, weight);
    if (auto it = bestOfFamily.find(key); it != bestOfFamily.end()) return it->second;
    FT_Face best = nullptr;
    FcPattern* pattern = FcPatternCreate();
    FcObjectSet* objects = FcObjectSetBuild(FC_FILE, FC_INDEX, FC_WEIGHT, FC_WIDTH, FC_SLANT, nullptr);
    FcFontSet* list = nullptr;
    if (pattern && objects && FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str())))
      list = FcFontList(nullptr, pattern, objects);
    if (list) {
      long bestDistance = 0;
      for (int i = 0; i < list->nfont; ++i) {
        FcPattern* font = list->fonts[i];
        FcChar8* file = nullptr;
        int index = 0, fcWeight = FC_WEIGHT_REGULAR, width = FC_WIDTH_NORMAL, slant = FC_SLANT_ROMAN;
        if (FcPatternGetString(font, FC_FILE, 0, &file) != FcResultMatch) continue;
        FcPatternGetInteger(font, FC_INDEX, 0, &index);
        FcPatternGetInteger(font, FC_WEIGHT, 0, &fcWeight);
        FcPatternGetInteger(font, FC_WIDTH, 0, &width);
        FcPatternGetInteger(font, FC_SLANT, 0, &slant);
        const long distance = std::labs(std::lround(weight - OpenTypeWeight(fcWeight)) / 10) + std::labs(width - 100) +
                              (slant == FC_SLANT_ROMAN ? 0 : 0x1000);
        if (best && distance >= bestDistance) continue;
        if (FT_Face face = Open({reinterpret_cast<const char*>(file), index})) {
          best = face;
          bestDistance = distance;
        }
      }
      FcFontSetDestroy(list);
    }
    if (objects) FcObjectSetDestroy(objects);
    if (pattern) FcPatternDestroy(pattern);
    return bestOfFamily[key] = best;
  }

  // The families fontconfig sorts after `family` for text of `language` (empty: the system's),
  // each as its face closest to `weight`.
  const std::vector<FT_Face>& Fallbacks(const std::string& family, int weight, const std::string& language) {
    const auto key = std::make_tuple(family, weight, language);
    if (auto it = fallbacks.find(key); it != fallbacks.end()) return it->second;
    std::vector<std::string> families;
    if (FcPattern* pattern = FcPatternCreate()) {
      FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
      FcPatternAddInteger(pattern, FC_SLANT, FC_SLANT_ROMAN);
      const std::string& lang = language.empty() ? systemLanguage : language;
      if (!lang.empty()) FcPatternAddString(pattern, FC_LANG, reinterpret_cast<const FcChar8*>(lang.c_str()));
      FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
      FcDefaultSubstitute(pattern);
      FcResult result = FcResultMatch;
      if (FcFontSet* sorted = FcFontSort(nullptr, pattern, FcFalse, nullptr, &result)) {
        std::vector<std::string> seen{Folded(family)};
        for (int i = 0; i < sorted->nfont; ++i) {
          FcChar8* name = nullptr;
          if (FcPatternGetString(sorted->fonts[i], FC_FAMILY, 0, &name) != FcResultMatch) continue;
          const std::string n(reinterpret_cast<const char*>(name));
          if (std::find(seen.begin(), seen.end(), Folded(n)) != seen.end()) continue;
          seen.push_back(Folded(n));
          families.push_back(n);
        }
        FcFontSetDestroy(sorted);
      }
      FcPatternDestroy(pattern);
    }
    std::vector<FT_Face>& faces = fallbacks[key];
    for (const std::string& f : families)
      if (FT_Face face = BestOfFamily(f, weight)) faces.push_back(face);
    return faces;
  }

  static std::string Folded(std::string s) {
    for (char& c : s)
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
  }

  static FT_UInt GlyphOf(FT_Face face, char32_t c) {
    FT_UInt glyph = FT_Get_Char_Index(face, c);
    // Faces without a no-break space or a tab show them as a space.
    if (glyph == 0 && (c == 0xA0 || c == '\t')) glyph = FT_Get_Char_Index(face, ' ');
    return glyph;
  }

  // The face and glyph that show `c`: the family's own, else the first fallback that has it,
  // else the family's missing-glyph box. With `trueTypeOnly`, faces with other outlines are
  // passed over.
  std::pair<FT_Face, FT_UInt> Glyph(const std::string& family, int weight, FT_Face primary, char32_t c,
                                    bool trueTypeOnly = false) {
    if (const FT_UInt glyph = GlyphOf(primary, c); glyph != 0 || IsIgnorable(c)) return {primary, glyph};
    for (FT_Face face : Fallbacks(family, weight, ScriptLanguage(c)))
      if (!trueTypeOnly || HasTrueTypeOutlines(face))
        if (const FT_UInt glyph = GlyphOf(face, c); glyph != 0) return {face, glyph};
    return {primary, 0};
  }

  static bool HasTrueTypeOutlines(FT_Face face) {
    FT_ULong length = 0;
    return FT_IS_SFNT(face) && FT_Load_Sfnt_Table(face, TTAG_glyf, 0, nullptr, &length) == 0 && length > 0;
  }

  // The unhinted advance at `pixels` per em, in whole pixels rounded to nearest.
  static int32_t Advance(FT_Face face, FT_UInt glyph, int32_t pixels) {
    if (FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(pixels)) != 0) return 0;
    if (FT_Load_Glyph(face, glyph, FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP) != 0 &&
        FT_Load_Glyph(face, glyph, FT_LOAD_NO_HINTING) != 0)
      return 0;
    // 16.16 pixels, taken to 26.6 as the screen's text engine keeps advances.
    const FT_Fixed advance = face->glyph->linearHoriAdvance >> 10;
    return static_cast<int32_t>(std::lround(static_cast<double>(advance) / 64.0));
  }
};

FreeTypeTextMetrics::FreeTypeTextMetrics() : fonts_(std::make_unique<Fonts>()) {
  if (!FcInit() || FT_Init_FreeType(&fonts_->library) != 0) {
    fonts_->library = nullptr;
    throw Error(kNoResources);
  }
  // The language fontconfig assumes for the system, which decides the fallback for ideographs
  // and common signs.
  if (FcPattern* probe = FcPatternCreate()) {
    FcDefaultSubstitute(probe);
    FcChar8* lang = nullptr;
    if (FcPatternGetString(probe, FC_LANG, 0, &lang) == FcResultMatch) fonts_->systemLanguage = reinterpret_cast<const char*>(lang);
    FcPatternDestroy(probe);
  }
}

FreeTypeTextMetrics::~FreeTypeTextMetrics() = default;

std::vector<int32_t> FreeTypeTextMetrics::Advances(const FontSpec& font, std::u16string_view text) const {
  std::vector<int32_t> out(text.size(), 0);
  const int64_t height = font.height < 0 ? -int64_t{font.height} : int64_t{font.height};
  const int32_t pixels = static_cast<int32_t>(std::clamp<int64_t>(height, 1, kLargestPixelSize));
  const int weight = font.weight >= 600 ? 700 : 400;
  const std::string family = SubstituteFamily(font.face);

  const std::lock_guard<std::mutex> hold(fonts_->lock);
  FT_Face primary = fonts_->BestOfFamily(family, weight);
  std::string primaryFamily = family;
  if (!primary) {
    // The family is not installed: its first fallback stands in.
    const std::vector<FT_Face>& fallbacks = fonts_->Fallbacks(family, weight, "");
    if (fallbacks.empty()) return out;
    primary = fallbacks.front();
  }
  for (size_t i = 0; i < text.size();) {
    const size_t units = CharacterUnits(text, i);
    const char32_t c = units == 2 ? 0x10000 + ((char32_t{text[i]} - 0xD800) << 10) + (char32_t{text[i + 1]} - 0xDC00)
                                  : char32_t{text[i]};
    // A surrogate pair is one glyph: its advance goes on the first unit.
    if (!IsNonSpacingMark(c) || units == 2) {
      const auto [face, glyph] = fonts_->Glyph(primaryFamily, weight, primary, c);
      out[i] = Fonts::Advance(face, glyph, pixels);
    }
    i += units;
  }
  return out;
}

FreeTypeTextMetrics::TextGlyphs FreeTypeTextMetrics::TrueTypeGlyphs(const FontSpec& font, std::u16string_view text) const {
  TextGlyphs out;
  out.at.resize(text.size());
  const int weight = font.weight >= 600 ? 700 : 400;
  const std::string family = SubstituteFamily(font.face);

  const std::lock_guard<std::mutex> hold(fonts_->lock);
  FT_Face primary = fonts_->BestOfFamily(family, weight);
  if (!primary || !Fonts::HasTrueTypeOutlines(primary)) {
    primary = nullptr;
    for (FT_Face face : fonts_->Fallbacks(family, weight, ""))
      if (Fonts::HasTrueTypeOutlines(face)) {
        primary = face;
        break;
      }
    if (!primary) return out;
  }
  auto faceGlyph = [&](FT_Face face, FT_UInt glyph) {
    const FaceKey& key = fonts_->keys[face];
    return FaceGlyph{key.file, key.index, glyph};
  };
  out.primary = faceGlyph(primary, 0);
  out.ascent = primary->units_per_EM > 0 ? static_cast<double>(primary->ascender) / primary->units_per_EM : 0.9;
  for (size_t i = 0; i < text.size();) {
    const size_t units = CharacterUnits(text, i);
    const char32_t c = units == 2 ? 0x10000 + ((char32_t{text[i]} - 0xD800) << 10) + (char32_t{text[i + 1]} - 0xDC00)
                                  : char32_t{text[i]};
    if (!IsIgnorable(c)) {
      const auto [face, glyph] = fonts_->Glyph(family, weight, primary, c, true);
      out.at[i] = faceGlyph(face, glyph);
    }
    i += units;
  }
  return out;
}

const FreeTypeTextMetrics& InstalledFaces() {
  static const FreeTypeTextMetrics metrics;
  return metrics;
}

const TextMetrics& InstalledFaceMetrics() { return InstalledFaces(); }

}  // namespace ternova
