#pragma once
// imgTernova: holds its own snapshot of the last picture assigned to it and shows it by the
// display rule, rendered once per picture and size.
#include <QImage>
#include <QRectF>
#include <QString>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <optional>
#include <vector>

#include "picture/display.h"
#include "picture/picture.h"

namespace ternova::app {

// What the control shows as a tooltip at a point: plain text (never read as markup), and the
// area, in the picture's logical units, the tip belongs to.
struct ImageHint {
  QString text;  // empty: no tip
  QRectF area;
};

class ImageControl : public QWidget {
 public:
  explicit ImageControl(QWidget* parent = nullptr);

  void SetPicture(const PictureSnapshot& picture);
  // Shows `picture`, which differs from the one shown only inside `areas` (logical units): only
  // those parts of the kept raster are drawn again, by `repaint` (given the raster and a clip in
  // its pixels). Without a raster of the current size it is shown as SetPicture shows it.
  // `repaint` is also given the zoom the raster was drawn at.
  void SetPictureChangedIn(const PictureSnapshot& picture, const std::vector<QRectF>& areas,
                           const std::function<void(QImage&, QRect, const DisplayZoom&)>& repaint);
  const PictureSnapshot& Picture() const { return picture_; }
  // Paints any part of `content` as a full replay at a zoom would (given the raster and a clip
  // in its pixels): a drag then moves the raster and paints only what comes into view, and the
  // whole is played again once the view rests.
  void SetRegionPainter(std::shared_ptr<const PictureContent> content,
                        std::function<void(QImage&, QRect, const DisplayZoom&)> paint);
  // What a magnified view shows in place of the picture: one of the same frame drawn for that
  // view (the density view's finer cells). Saving and printing go on taking Picture(); the next
  // SetPicture drops it. An empty snapshot shows the picture again.
  void SetShownPicture(const PictureSnapshot& shown);
  const PictureSnapshot& ShownPicture() const { return shown_; }
  // What the control paints at its top-left corner (null when nothing was drawn yet).
  const QImage& Displayed();

  // Hovering and left presses over the picture, handed on in its logical units.
  void SetProbes(std::function<ImageHint(QPointF)> hint, std::function<void(QPointF)> press);
  // The logical point of the picture shown at the centre of widget pixel `pixel`; none where the
  // picture is not shown.
  std::optional<QPointF> LogicalAt(QPoint pixel) const;
  // Logical units and pixels of `picture` as the control shows it at its size.
  DisplayMapping Mapping(const PictureSnapshot& picture) const {
    return DisplayMapping::ForControl(picture.width, picture.height, width(), height(), zoom_);
  }

  // The magnified view: the wheel zooms about the pointer, a drag pans, a double click or Home
  // shows the whole picture again. Saving and printing take the picture, never this view.
  const DisplayZoom& Zoom() const { return zoom_; }
  void SetZoom(const DisplayZoom& zoom);
  void ResetZoom() { SetZoom({}); }
  // The logical units of the picture now shown (all of it at the whole view).
  DisplayBox ShownRegion() const { return Mapping(picture_).Shown(); }
  // `changed` runs whenever the view's zoom or place changes, with the region then shown: for
  // what is worked out per shown region.
  void SetViewChanged(std::function<void(const DisplayBox&)> changed) { viewChanged_ = std::move(changed); }
  // `work` runs once the picture has been painted and shown, from the event loop: work that the
  // first sight of a picture need not wait for.
  void AfterNextPaint(std::function<void()> work) { afterPaint_ = std::move(work); }

 protected:
  bool event(QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  PictureSnapshot picture_, shown_;
  bool assigned_ = false;
  QImage cache_;
  bool cacheValid_ = false;
  QSize cacheSize_;
  // The raster of the picture shown before, kept for a picture that comes back (the discs
  // after the density view): its content, the size and zoom it was played at.
  struct KeptRaster {
    std::shared_ptr<const PictureContent> content;
    QSize size;
    DisplayZoom zoom;
    QImage image;
  } previous_;
  // While the size keeps changing, a large picture is shown as its last raster scaled; it is
  // played again once the size has settled.
  QTimer* settle_ = nullptr;
  bool resizing_ = false;
  std::function<ImageHint(QPointF)> hint_;
  std::function<void(QPointF)> press_;
  std::function<void()> afterPaint_;
  DisplayZoom zoom_;
  DisplayZoom cacheZoom_;
  std::function<void(const DisplayBox&)> viewChanged_;
  std::shared_ptr<const PictureContent> painterFor_;
  std::function<void(QImage&, QRect, const DisplayZoom&)> regionPainter_;
  // The raster was moved by a drag: lines cut at its old edges may lie a pixel off, until the
  // whole is played again when the view rests.
  bool moved_ = false;
  QTimer* rest_ = nullptr;
  bool MoveRaster(const DisplayZoom& to);
  // A left press: where it went down, and whether it has become a drag.
  bool pressed_ = false;
  bool dragging_ = false;
  QPoint pressAt_, dragFrom_;
  double wheelNotches_ = 0;  // a touchpad's part notches, until they make a whole one
};

}  // namespace ternova::app
