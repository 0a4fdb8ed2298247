#include "picture/surface.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <new>

#include "base/error.h"
#include "base/encoding.h"
#include "picture/freetype_text_metrics.h"

namespace ternova {

int32_t FontHeightForPoints(int32_t points, int32_t dpi) {
  return -MulDiv(points, dpi, 72);
}

FontSpec DefaultFont(const SurfaceEnvironment& env) {
  FontSpec f;
  f.japanese = env.japanese;
  f.face = env.japanese ? "ＭＳ Ｐゴシック" : "MS Sans Serif";
  const int32_t size = env.japanese ? 9 : 8;
  f.height = FontHeightForPoints(size, env.screen.dpi);
  f.weight = 400;
  f.colour = kBlack;  // the window-text colour
  return f;
}

DrawingSurface::DrawingSurface(DiagramPicture& picture, const SurfaceEnvironment& env)
    : picture_(picture), env_(env) {
  try {
    picture_.FixFrame(env.screen);
    content_ = std::make_shared<PictureContent>();
  } catch (const std::bad_alloc&) {
    throw Error(kNoResources);
  }
  font_ = DefaultFont(env);
}

DrawingSurface::~DrawingSurface() {
  if (!content_) return;
  try {
    End();
  } catch (...) {
    // Destroyed while another error unwinds: that error is the one the user sees.
  }
}

void DrawingSurface::End() {
  if (!content_) return;
  std::shared_ptr<PictureContent> finished = std::move(content_);
  content_.reset();
  picture_.SetContent(std::move(finished));
}

void DrawingSurface::SetFontSize(int32_t points) {
  font_.height = FontHeightForPoints(points, env_.screen.dpi);
}

void DrawingSurface::SetFontJapanese(bool japanese) {
  SurfaceEnvironment like = env_;
  like.japanese = japanese || env_.japanese;
  const FontSpec face = DefaultFont(like);
  font_.face = face.face;
  font_.japanese = face.japanese;
}

void DrawingSurface::RecordBrush() {
  content_->ops.emplace_back(brush_);
  recordedBrush_ = brush_;
  brushRecorded_ = true;
  runLeftSolid_ = false;
}

void DrawingSurface::RecordPen() {
  content_->ops.emplace_back(pen_);
  recordedPen_ = pen_;
  penRecorded_ = true;
}

void DrawingSurface::SyncFont() {
  auto& fonts = content_->fonts;
  if (fontRecorded_ && fonts.back() == font_) return;
  fonts.push_back(font_);
  content_->ops.emplace_back(op::Font{static_cast<uint32_t>(fonts.size() - 1)});
  fontRecorded_ = true;
}

void DrawingSurface::Rectangle(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  SyncBrush();
  SyncPen();
  content_->ops.emplace_back(op::Rectangle{x1, y1, x2, y2});
}

void DrawingSurface::Discs(std::shared_ptr<const DiscCentres> centres, uint32_t begin, uint32_t end,
                           int32_t r, const LogicalBounds* within) {
  end = std::min<uint32_t>(end, centres ? static_cast<uint32_t>(centres->size()) : 0);
  // No disc, no state change: as the same ellipses drawn one by one.
  if (begin >= end) return;
  SyncBrush();
  SyncPen();
  content_->runs.push_back({std::move(centres), begin, end, r, nullptr, within ? std::optional(*within) : std::nullopt});
  content_->ops.emplace_back(op::Discs{static_cast<uint32_t>(content_->runs.size() - 1)});
}

void DrawingSurface::Discs(std::shared_ptr<const DiscCentres> centres, uint32_t begin, uint32_t end, int32_t r,
                           std::shared_ptr<const DiscColours> colours, const LogicalBounds* within) {
  if (!colours) return Discs(std::move(centres), begin, end, r, within);
  end = std::min<uint32_t>(end, centres ? static_cast<uint32_t>(centres->size()) : 0);
  if (begin >= end) return;
  // The run brings its own colours; only a solid style is needed before it.
  if (!runLeftSolid_ && (!brushRecorded_ || recordedBrush_.style != FillStyle::Solid)) {
    const op::Brush asked = brush_;
    brush_.style = FillStyle::Solid;
    RecordBrush();
    brush_ = asked;
  }
  SyncPen();
  content_->runs.push_back(
      {std::move(centres), begin, end, r, std::move(colours), within ? std::optional(*within) : std::nullopt});
  content_->ops.emplace_back(op::Discs{static_cast<uint32_t>(content_->runs.size() - 1)});
  brushRecorded_ = false;
  runLeftSolid_ = true;
}

void DrawingSurface::Polygons(std::shared_ptr<const PolygonSet> set) {
  // No polygon, no state change: nothing is drawn.
  if (!set || set->counts.empty()) return;
  SyncBrush();
  SyncPen();
  content_->polygons.push_back(std::move(set));
  content_->ops.emplace_back(op::Polygons{static_cast<uint32_t>(content_->polygons.size() - 1)});
}

int32_t DrawingSurface::TextWidth(std::string_view utf8) const {
  const std::u16string chars = Utf16FromUtf8(utf8);
  const TextMetrics& metrics = env_.metrics ? *env_.metrics : InstalledFaceMetrics();
  std::vector<int32_t> advances = metrics.Advances(font_, chars);
  advances.resize(chars.size(), 0);
  int64_t width = 0;
  for (int32_t a : advances) width += a;
  return static_cast<int32_t>(std::clamp<int64_t>(width, INT32_MIN, INT32_MAX));
}

void DrawingSurface::MoveTo(int32_t x, int32_t y) {
  content_->ops.emplace_back(op::MoveTo{x, y});
}

void DrawingSurface::LineTo(int32_t x, int32_t y) {
  SyncPen();
  content_->ops.emplace_back(op::LineTo{x, y});
}

void DrawingSurface::TextOut(int32_t x, int32_t y, std::string_view utf8) {
  SyncBrush();
  SyncFont();
  PictureText text;
  text.chars = Utf16FromUtf8(utf8);
  const TextMetrics& metrics = env_.metrics ? *env_.metrics : InstalledFaceMetrics();
  text.advances = metrics.Advances(font_, text.chars);
  text.advances.resize(text.chars.size(), 0);
  for (int32_t a : text.advances) text.width += a;
  content_->texts.push_back(std::move(text));
  content_->ops.emplace_back(op::TextOut{x, y, static_cast<uint32_t>(content_->texts.size() - 1)});
  // The platform moves the current position past the text, and records that move.
  MoveTo(x + content_->texts.back().width, y);
}

}  // namespace ternova
