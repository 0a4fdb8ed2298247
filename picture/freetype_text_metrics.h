#pragma once
#include <memory>

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

 private:
  struct Fonts;
  std::unique_ptr<Fonts> fonts_;
};

// What a surface measures with when its environment names no metrics: one FreeTypeTextMetrics
// for the process, made on first use.
const TextMetrics& InstalledFaceMetrics();

}  // namespace ternova
