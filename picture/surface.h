#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "picture/picture.h"

namespace ternova {

// Font metrics behind a small seam, so the recording core needs no GUI toolkit.
class TextMetrics {
 public:
  virtual ~TextMetrics() = default;
  // Advance of each UTF-16 unit of `text` in logical units for `font`.
  virtual std::vector<int32_t> Advances(const FontSpec& font, std::u16string_view text) const = 0;
};

// What the platform gives a new surface: the screen it records against and its default font.
struct SurfaceEnvironment {
  ScreenInfo screen;
  bool japanese = false;  // the system's default character set is Shift-JIS
  // Null: the installed faces, as the window measures them (InstalledFaceMetrics), so a drawing
  // without a GUI toolkit still places every glyph where it belongs.
  const TextMetrics* metrics = nullptr;
};

// The default UI font: "ＭＳ Ｐゴシック" 9 pt on a Japanese system, "MS Sans Serif" 8 pt elsewhere.
FontSpec DefaultFont(const SurfaceEnvironment& env);

// Logical height of a font of `points` at `dpi`: -round(points * dpi / 72).
int32_t FontHeightForPoints(int32_t points, int32_t dpi);

// Records drawing operations into a new content for a DiagramPicture. The constructor begins
// the recording (fixing the picture's frame the first time); End() replaces the picture's
// content in one step. A surface destroyed without End() still ends its recording, so a
// drawing cut short by an error becomes the picture all the same.
class DrawingSurface {
 public:
  DrawingSurface(DiagramPicture& picture, const SurfaceEnvironment& env);
  ~DrawingSurface();
  DrawingSurface(const DrawingSurface&) = delete;
  DrawingSurface& operator=(const DrawingSurface&) = delete;

  void SetBrushStyle(FillStyle style) { brush_.style = style; }
  void SetBrushColour(Rgb colour) { brush_.colour = colour; }
  void SetPenStyle(FillStyle style) { pen_.style = style; }
  void SetPenColour(Rgb colour) { pen_.colour = colour; }
  void SetPenWidth(int32_t width) { pen_.width = width; }
  void SetFontSize(int32_t points);
  // A size in logical units as FontSpec::height, whatever the screen's resolution.
  void SetFontHeight(int32_t logical) { font_.height = logical; }
  // The Japanese UI face and character set (else the environment's own), at the same size: for
  // text that the default character set cannot hold.
  void SetFontJapanese(bool japanese);
  void SetFontColour(Rgb colour) { font_.colour = colour; }

  void Rectangle(int32_t x1, int32_t y1, int32_t x2, int32_t y2);
  // Inline: a large diagram records millions of these.
  void Ellipse(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
    SyncBrush();
    SyncPen();
    content_->ops.emplace_back(op::Ellipse{x1, y1, x2, y2});
  }
  // Ellipse for each disc of radius `r` around centres [begin, end), in order, recorded as one
  // run over the shared list.
  // `within`, when given, holds every centre of the list.
  void Discs(std::shared_ptr<const DiscCentres> centres, uint32_t begin, uint32_t end, int32_t r,
             const LogicalBounds* within = nullptr);
  // The same with each disc in its colour of `colours` (a solid brush whatever the surface's),
  // those without one left out. The brush after it is unknown: the next drawing records its own.
  void Discs(std::shared_ptr<const DiscCentres> centres, uint32_t begin, uint32_t end, int32_t r,
             std::shared_ptr<const DiscColours> colours, const LogicalBounds* within = nullptr);
  // Polygons filled with the brush and outlined with the pen; the set is shared, not copied.
  void Polygons(std::shared_ptr<const PolygonSet> set);
  void MoveTo(int32_t x, int32_t y);
  void LineTo(int32_t x, int32_t y);
  void TextOut(int32_t x, int32_t y, std::string_view utf8);
  // The width TextOut would give `utf8` in the current font, for placing it first.
  int32_t TextWidth(std::string_view utf8) const;

  void End();
  const SurfaceEnvironment& Environment() const { return env_; }
  // Operations recorded so far: where the next one will stand.
  size_t OperationCount() const { return content_ ? content_->ops.size() : 0; }

 private:
  void SyncBrush() {
    if (!brushRecorded_ || recordedBrush_.style != brush_.style || !(recordedBrush_.colour == brush_.colour)) RecordBrush();
  }
  void SyncPen() {
    if (!penRecorded_ || recordedPen_.style != pen_.style || !(recordedPen_.colour == pen_.colour) ||
        recordedPen_.width != pen_.width)
      RecordPen();
  }
  void RecordBrush();
  void RecordPen();
  void SyncFont();

  DiagramPicture& picture_;
  const SurfaceEnvironment& env_;
  std::shared_ptr<PictureContent> content_;
  op::Brush brush_{FillStyle::Solid, kWhite};
  op::Pen pen_{FillStyle::Solid, kBlack, 1};
  FontSpec font_;
  bool brushRecorded_ = false, penRecorded_ = false, fontRecorded_ = false;
  bool runLeftSolid_ = false;  // a run of several colours left the brush solid, its colour unknown
  op::Brush recordedBrush_{};
  op::Pen recordedPen_{};
};

}  // namespace ternova
