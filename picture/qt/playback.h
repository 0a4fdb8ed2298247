#pragma once
#include <QImage>
#include <QPainter>
#include <functional>
#include <vector>

#include "picture/display.h"
#include "picture/picture.h"

namespace ternova {

class WorkBudget;

// Plays the recorded operations with `painter`, mapping logical (0, 0)-(logicalW, logicalH)
// onto device (0, 0)-(destW, destH) as the platform maps a picture's frame onto a rectangle.
// Lines, shapes and text are aliased like the platform's own drawing. With a `budget`, playing
// stops once it is spent, and the result is false. With a `clip` in logical units, operations
// whose bounds miss it are passed over (the painter's own clip still cuts what is played).
bool PlayPicture(QPainter& painter, const PictureContent& content, int32_t logicalW, int32_t logicalH,
                 double destW, double destH, WorkBudget* budget = nullptr, const LogicalBounds* clip = nullptr);
// The same, placed as `mapping` shows the picture, magnified or not: positions at its pixels,
// symbol radii, pens and text at the sizes the whole view gives them.
bool PlayPicture(QPainter& painter, const PictureContent& content, const DisplayMapping& mapping,
                 WorkBudget* budget = nullptr, const LogicalBounds* clip = nullptr);

// A disc drawn again by a partial repaint: its box in logical units, its colour, and its place
// in the drawing order (higher: drawn later; 0 is before every disc).
struct PlacedDisc {
  op::Ellipse box;
  Rgb colour;
  uint32_t order = 0;
};
using DiscSink = std::function<void(const PlacedDisc&)>;

// Redraws the pixels of `clip` in `image`, which RenderForDisplay drew from a picture that
// differs from `picture` only there: the operations before `firstDisc` (all that lies under
// the discs), then the discs `nextTopmost` gives, one per call, until it returns false. They
// must be every disc of `picture` reaching into `clip`, filled without an outline, the last
// drawn first. Where an edge of a crowd leaves part of the clip empty, taking them one by one
// would go down to the crowd's bottom: after a while `rest` is asked for all that are left at
// once, in any order. The pixels come out as a full replay's.
void RepaintDisplayed(QImage& image, QRect clip, const PictureSnapshot& picture, size_t firstDisc,
                      const std::function<bool(PlacedDisc&)>& nextTopmost,
                      const std::function<void(const DiscSink&)>& rest);
// The same for an image RenderForDisplay drew at `zoom`.
void RepaintDisplayed(QImage& image, QRect clip, const PictureSnapshot& picture, const DisplayZoom& zoom,
                      size_t firstDisc, const std::function<bool(PlacedDisc&)>& nextTopmost,
                      const std::function<void(const DiscSink&)>& rest);

// The picture as the image control shows it in a control of `controlSize`: fitted by the
// display rule, played into (0, 0, w - 1, h - 1), transparent elsewhere. Null when empty, or
// when `budget` ran out before the last operation.
QImage RenderForDisplay(const PictureSnapshot& picture, QSize controlSize, WorkBudget* budget = nullptr);
// The same magnified by `zoom`: only what reaches into the image is played.
QImage RenderForDisplay(const PictureSnapshot& picture, QSize controlSize, const DisplayZoom& zoom,
                        WorkBudget* budget = nullptr);

// The picture rendered at `size` pixels on white (for raster files and previews).
QImage RenderToImage(const PictureSnapshot& picture, QSize size);

}  // namespace ternova
