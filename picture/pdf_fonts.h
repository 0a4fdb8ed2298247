#pragma once
// The fonts a PDF embeds for texts the standard face cannot show: subsets of the faces the
// window draws them with, as composite fonts addressed by glyph number (Identity-H) with a
// map back to the characters, so readers extract the text.
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "picture/byte_writer.h"
#include "picture/picture.h"

namespace ternova {

class PdfFonts {
 public:
  // Objects each embedded font takes: the font, its descendant, its descriptor, the face and
  // the character map.
  static constexpr int kObjectsPerFont = 5;

  // Whether the standard face (WinAnsi Helvetica) shows every character of `text` that is
  // drawn at all, so the text needs no embedded font.
  static bool StandardFaceShows(std::u16string_view text);

  struct Glyph {
    int font = -1;  // none: nothing drawn for this UTF-16 unit
    uint16_t glyph = 0;
  };
  struct Setting {
    std::vector<Glyph> at;  // one per UTF-16 unit
    double ascent = 0;      // of the text's own face, per em
    bool any = false;       // false: no face found, nothing embedded
  };

  PdfFonts();
  ~PdfFonts();
  PdfFonts(const PdfFonts&) = delete;
  PdfFonts& operator=(const PdfFonts&) = delete;

  // The glyphs that set `text` in `font` (as the picture numbers both), noted for the subsets.
  const Setting& Set(const FontSpec& font, uint32_t fontNumber, uint32_t textNumber, std::u16string_view text);
  // The setting made earlier for the same numbers.
  const Setting* Find(uint32_t fontNumber, uint32_t textNumber) const;

  int Count() const { return static_cast<int>(faces_.size()); }
  // Writes font `k` as objects `first` to `first` + kObjectsPerFont - 1; `object` starts each.
  void Write(int k, int first, ByteWriter& out, const std::function<void(int)>& object) const;

 private:
  struct Face;
  int FaceNumber(const std::string& file, int index);

  std::vector<std::unique_ptr<Face>> faces_;
  std::map<std::pair<std::string, int>, int> numbers_;  // -1: the file is no usable face
  std::map<std::pair<uint32_t, uint32_t>, Setting> settings_;
};

}  // namespace ternova
