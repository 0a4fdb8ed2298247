#pragma once
#include <memory>
#include <string>
#include <vector>

#include "picture/surface.h"

namespace ternova {

// Advances from the installed faces through FreeType, found with fontconfig, without a GUI
// toolkit. They are the window's: the face SubstituteFamily names (or, for a character it
// lacks, the fallback fontconfig sorts first for the character's script), at the font's height
// in whole pixels, unhinted and unkerned, each advance rounded to a whole logical unit. That
// holds for ASCII, the European alphabets and all of Japanese; scripts that the window shapes
// with OpenType (Syriac, the Indic scripts, Khmer) and the combining marks of other scripts may
// measure otherwise. Safe to share between threads.
class FreeTypeTextMetrics : public TextMetrics {
 public:
  FreeTypeTextMetrics();
  ~FreeTypeTextMetrics() override;
  FreeTypeTextMetrics(const FreeTypeTextMetrics&) = delete;
  FreeTypeTextMetrics& operator=(const FreeTypeTextMetrics&) = delete;

  std::vector<int32_t> Advances(const FontSpec& font, std::u16string_view text) const override;

  // A face file and a glyph in it.
  struct FaceGlyph {
    std::string file;  // empty: nothing drawn
    int index = 0;     // the face's number in a collection
    uint32_t glyph = 0;
  };
  struct TextGlyphs {
    FaceGlyph primary;           // the face the text is set in (its glyph unused)
    double ascent = 0;           // the primary face's, per em
    std::vector<FaceGlyph> at;   // one per UTF-16 unit: a character's glyph on its first unit
  };
  // The glyphs that show `text` as the window draws it, for a writer that embeds TrueType
  // outlines: each character's face and glyph as Advances measures it, except that only faces
  // with TrueType outlines count, so a character whose face has others comes from the next
  // fallback with TrueType outlines that has it; with none, the primary face's missing-glyph
  // box. Line ends and controls get nothing.
  TextGlyphs TrueTypeGlyphs(const FontSpec& font, std::u16string_view text) const;

 private:
  struct Fonts;
  std::unique_ptr<Fonts> fonts_;
};

// What a surface measures with when its environment names no metrics: one FreeTypeTextMetrics
// for the process, made on first use.
const TextMetrics& InstalledFaceMetrics();
// The same object, for the writers that embed the faces.
const FreeTypeTextMetrics& InstalledFaces();

}  // namespace ternova
