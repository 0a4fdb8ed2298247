#pragma once
// TrueType faces cut down to the glyphs a document draws, for embedding in a PDF.
#include <cstdint>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <vector>

namespace ternova {

// One face of a TrueType file or collection, with TrueType (glyf) outlines.
class TrueTypeFace {
 public:
  // Face `index` of `file`; none when the bytes are not a TrueType face with glyf outlines or
  // are cut short. The face refers to `file`, which must outlive it.
  static std::optional<TrueTypeFace> Parse(std::span<const uint8_t> file, int index);

  uint16_t UnitsPerEm() const { return unitsPerEm_; }
  uint16_t GlyphCount() const { return glyphCount_; }
  int16_t Ascender() const { return ascender_; }
  int16_t Descender() const { return descender_; }
  // xMin, yMin, xMax, yMax over all glyphs, in font units.
  const int16_t* Box() const { return box_; }
  // The advance of `glyph` in font units.
  uint16_t Advance(uint16_t glyph) const;
  // The PostScript name, restricted to what a PDF name may hold unescaped; "Font" when absent.
  std::string PostScriptName() const;

  // The face with only `glyphs` (and the glyphs their composites are built of, and the
  // missing-glyph box) keeping their outlines and metrics; every other glyph is left empty
  // (those after the last kept one left out), so glyph numbers stay as they are. Hinting tables are kept; character maps and names are not,
  // since a PDF addresses glyphs by number.
  std::vector<uint8_t> Subset(const std::set<uint16_t>& glyphs) const;

 private:
  struct Table {
    uint32_t tag = 0;
    std::span<const uint8_t> bytes;
  };
  std::optional<std::span<const uint8_t>> Find(const char* tag) const;
  // The outline bytes of `glyph`; empty for a glyph with no outline or a bad offset.
  std::span<const uint8_t> Outline(uint16_t glyph) const;

  std::span<const uint8_t> file_;
  std::vector<Table> tables_;
  uint16_t unitsPerEm_ = 1000, glyphCount_ = 0, metricCount_ = 0;
  int16_t ascender_ = 0, descender_ = 0;
  int16_t box_[4] = {0, 0, 0, 0};
  bool longOffsets_ = false;
  std::span<const uint8_t> head_, loca_, glyf_, hmtx_, name_;
};

}  // namespace ternova
