#include "app/image_control.h"

#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QResizeEvent>
#include <QWheelEvent>
#include <QPainter>
#include <QRegion>
#include <QTextDocument>
#include <QToolTip>
#include <cmath>
#include <utility>

#include "picture/display.h"
#include "picture/qt/playback.h"

namespace ternova::app {

namespace {

// A replay of this many operations takes longer than a frame; below it, every size is exact.
constexpr size_t kLargePictureOps = 40'000;
// How long the size must stay unchanged before the picture is played at it.
constexpr int kSettleMs = 150;
// Wheel notches per doubling: 18 notches go from the whole view to the closest.
constexpr double kNotchesPerDoubling = 3;
// How long a moved raster waits, the view at rest, before it is played whole again.
constexpr int kRestMs = 120;
// A press that moves less than this (pixels, either way) is a click, not a drag.
constexpr int kDragDistance = 4;

}  // namespace

ImageControl::ImageControl(QWidget* parent) : QWidget(parent) {
  // Home needs the keys: a click on the diagram gives them to it.
  setFocusPolicy(Qt::ClickFocus);
  // Transparent where the picture does not reach: the window's background shows there.
  setAttribute(Qt::WA_TranslucentBackground);
  // Lets a tip that belongs to one symbol go as soon as the mouse leaves that symbol.
  setMouseTracking(true);
  settle_ = new QTimer(this);
  settle_->setSingleShot(true);
  settle_->setInterval(kSettleMs);
  connect(settle_, &QTimer::timeout, this, [this] {
    resizing_ = false;
    update();
  });
  rest_ = new QTimer(this);
  rest_->setSingleShot(true);
  rest_->setInterval(kRestMs);
  connect(rest_, &QTimer::timeout, this, [this] {
    if (!std::exchange(moved_, false)) return;
    cacheValid_ = false;
    update();
  });
}

void ImageControl::SetRegionPainter(std::shared_ptr<const PictureContent> content,
                                    std::function<void(QImage&, QRect, const DisplayZoom&)> paint) {
  painterFor_ = std::move(content);
  regionPainter_ = std::move(paint);
}

bool ImageControl::MoveRaster(const DisplayZoom& to) {
  if (!regionPainter_ || painterFor_ != picture_.content || !picture_.content || shown_.content || !cacheValid_ ||
      cacheSize_ != size() || cacheZoom_ != zoom_ || cache_.isNull() || to.scale != zoom_.scale)
    return false;
  // The picture follows the pointer: what showed at pixel p shows at p + (dx, dy).
  const int64_t dx = zoom_.x - to.x, dy = zoom_.y - to.y;
  const QRect all = cache_.rect();
  if (std::abs(dx) >= all.width() || std::abs(dy) >= all.height()) return false;
  QImage moved(cache_.size(), cache_.format());
  moved.fill(Qt::transparent);
  {
    QPainter painter(&moved);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage(static_cast<int>(dx), static_cast<int>(dy), cache_);
  }
  cache_ = std::move(moved);
  const QRegion exposed = QRegion(all) - QRegion(all.translated(static_cast<int>(dx), static_cast<int>(dy)));
  for (const QRect& strip : exposed) regionPainter_(cache_, strip, to);
  cacheZoom_ = to;
  moved_ = true;
  rest_->start();
  return true;
}

void ImageControl::resizeEvent(QResizeEvent* event) {
  // The same point stays at the top-left corner, at the same magnification.
  if (!zoom_.Whole() && picture_.content)
    zoom_ = DisplayMapping::ForControl(picture_.width, picture_.height, event->oldSize().width(),
                                       event->oldSize().height(), zoom_)
                .ZoomFor(picture_.width, picture_.height, width(), height());
  resizing_ = true;
  settle_->start();
  QWidget::resizeEvent(event);
  if (!zoom_.Whole() && viewChanged_) viewChanged_(ShownRegion());
}

void ImageControl::SetPicture(const PictureSnapshot& picture) {
  // Another frame is another diagram: shown whole.
  if (picture.width != picture_.width || picture.height != picture_.height) zoom_ = {};
  // The raster of a picture that comes back is shown again as it was; the one shown now is kept.
  // A raster moved by a drag is not kept: it is not quite the replay.
  KeptRaster now{cacheValid_ && !shown_.content && !moved_ ? picture_.content : nullptr, cacheSize_, cacheZoom_, cache_};
  moved_ = false;
  rest_->stop();
  const bool back = previous_.content && previous_.content == picture.content && previous_.size == size() &&
                    previous_.zoom == zoom_ && picture.width == picture_.width && picture.height == picture_.height;
  if (back) {
    cache_ = std::move(previous_.image);
    cacheSize_ = previous_.size;
    cacheZoom_ = previous_.zoom;
  }
  cacheValid_ = back;
  if (now.content != picture.content) previous_ = std::move(now);
  // No picture: nothing comes back (a load is under way, and the old table's drawing may go).
  if (!picture.content) previous_ = {};
  picture_ = picture;
  shown_ = {};
  assigned_ = true;
  update();
}

void ImageControl::SetShownPicture(const PictureSnapshot& shown) {
  if (!shown.content && !shown_.content) return;
  shown_ = shown.width == picture_.width && shown.height == picture_.height ? shown : PictureSnapshot{};
  cacheValid_ = false;
  update();
}

void ImageControl::SetPictureChangedIn(const PictureSnapshot& picture, const std::vector<QRectF>& areas,
                                       const std::function<void(QImage&, QRect, const DisplayZoom&)>& repaint) {
  const DisplayMapping mapping = Mapping(picture);
  const DisplayRect fit = mapping.Image();
  if (!cacheValid_ || cacheSize_ != size() || cacheZoom_ != zoom_ || cache_.isNull() || shown_.content ||
      cache_.size() != QSize(fit.width, fit.height) ||
      picture.width != picture_.width || picture.height != picture_.height) {
    SetPicture(picture);
    return;
  }
  picture_ = picture;
  assigned_ = true;
  for (const QRectF& area : areas) {
    // A pixel shows what lies at its centre: the pixels around the area's edges, and a margin.
    const DisplayBox box = mapping.PixelsOf(area.left(), area.top(), area.right(), area.bottom());
    const QRect pixels = QRect(QPoint(static_cast<int>(box.x0) - 2, static_cast<int>(box.y0) - 2),
                               QPoint(static_cast<int>(box.x1) + 2, static_cast<int>(box.y1) + 2)) &
                         cache_.rect();
    if (pixels.isEmpty()) continue;
    repaint(cache_, pixels, zoom_);
    update(pixels);
  }
}

const QImage& ImageControl::Displayed() {
  if (!cacheValid_ || cacheSize_ != size() || cacheZoom_ != zoom_) {
    cache_ = RenderForDisplay(shown_.content ? shown_ : picture_, size(), zoom_);
    cacheSize_ = size();
    cacheZoom_ = zoom_;
    cacheValid_ = true;
  }
  return cache_;
}

void ImageControl::SetProbes(std::function<ImageHint(QPointF)> hint, std::function<void(QPointF)> press) {
  hint_ = std::move(hint);
  press_ = std::move(press);
}

std::optional<QPointF> ImageControl::LogicalAt(QPoint pixel) const {
  if (!picture_.content) return std::nullopt;
  const DisplayMapping mapping = Mapping(picture_);
  if (!mapping.Shows() || !mapping.InImage(pixel.x(), pixel.y())) return std::nullopt;
  return QPointF(mapping.LogicalAtPixelX(pixel.x()), mapping.LogicalAtPixelY(pixel.y()));
}

bool ImageControl::event(QEvent* event) {
  if (event->type() != QEvent::ToolTip) return QWidget::event(event);
  auto* help = static_cast<QHelpEvent*>(event);
  const std::optional<QPointF> at = LogicalAt(help->pos());
  const ImageHint hint = at && hint_ ? hint_(*at) : ImageHint{};
  if (hint.text.isEmpty()) {
    QToolTip::hideText();
    event->ignore();
    return true;
  }
  const DisplayMapping mapping = Mapping(picture_);
  const double sx = mapping.ScaleX(), sy = mapping.ScaleY();
  const QRect area = QRectF(mapping.PixelX(hint.area.left()), mapping.PixelY(hint.area.top()), hint.area.width() * sx,
                            hint.area.height() * sy)
                         .toAlignedRect()
                         .adjusted(-1, -1, 1, 1);
  // Notes come from data files: shown as the text they are, never as markup.
  QToolTip::showText(help->globalPos(), Qt::convertFromPlainText(hint.text, Qt::WhiteSpaceNoWrap), this,
                     area.contains(help->pos()) ? area : QRect());
  return true;
}

void ImageControl::SetZoom(const DisplayZoom& zoom) {
  if (zoom == zoom_) return;
  zoom_ = zoom;
  update();
  if (viewChanged_) viewChanged_(ShownRegion());
}

void ImageControl::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) {
    pressed_ = true;
    dragging_ = false;
    pressAt_ = dragFrom_ = event->position().toPoint();
    // At the whole view there is nothing to pan: the press selects at once, as it always did.
    if (zoom_.Whole()) {
      pressed_ = false;
      if (press_)
        if (const std::optional<QPointF> at = LogicalAt(pressAt_)) press_(*at);
    }
  }
  event->accept();
}

void ImageControl::mouseMoveEvent(QMouseEvent* event) {
  if (!pressed_ || !(event->buttons() & Qt::LeftButton)) return QWidget::mouseMoveEvent(event);
  const QPoint at = event->position().toPoint();
  if (!dragging_ && (std::abs(at.x() - pressAt_.x()) >= kDragDistance || std::abs(at.y() - pressAt_.y()) >= kDragDistance))
    dragging_ = true;
  if (dragging_) {
    const DisplayZoom next = Mapping(picture_).Panned(at.x() - dragFrom_.x(), at.y() - dragFrom_.y());
    if (next != zoom_ && MoveRaster(next)) {
      zoom_ = next;
      update();
      if (viewChanged_) viewChanged_(ShownRegion());
    } else {
      SetZoom(next);
    }
    dragFrom_ = at;
  }
  event->accept();
}

void ImageControl::mouseReleaseEvent(QMouseEvent* event) {
  // The drag's end: the view as a full replay shows it.
  if (event->button() == Qt::LeftButton && std::exchange(moved_, false)) {
    rest_->stop();
    cacheValid_ = false;
    update();
  }
  if (event->button() == Qt::LeftButton && std::exchange(pressed_, false) && !std::exchange(dragging_, false) && press_)
    if (const std::optional<QPointF> at = LogicalAt(pressAt_)) press_(*at);
  event->accept();
}

void ImageControl::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return QWidget::mouseDoubleClickEvent(event);
  pressed_ = dragging_ = false;
  ResetZoom();
  event->accept();
}

void ImageControl::wheelEvent(QWheelEvent* event) {
  if (!picture_.content) return QWidget::wheelEvent(event);
  wheelNotches_ += event->angleDelta().y() / 120.0;
  const double notches = std::trunc(wheelNotches_);
  if (notches != 0) {
    wheelNotches_ -= notches;
    const QPointF at = event->position();
    const DisplayMapping mapping = Mapping(picture_);
    // Snapped to whole notches, so that going in and out again comes back to the same scale.
    const double steps = std::round(std::log2(zoom_.scale) * kNotchesPerDoubling) + notches;
    const double scale = steps <= 0 ? 1 : std::min(DisplayZoom::kMax, std::exp2(steps / kNotchesPerDoubling));
    SetZoom(mapping.ZoomedAbout(scale, at.x(), at.y()));
  }
  event->accept();
}

void ImageControl::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Home && event->modifiers() == Qt::NoModifier) {
    ResetZoom();
    event->accept();
    return;
  }
  QWidget::keyPressEvent(event);
}

void ImageControl::paintEvent(QPaintEvent*) {
  const bool large = picture_.content && OperationCount(*picture_.content) > kLargePictureOps;
  if (resizing_ && large && cacheValid_ && cacheSize_ != size() && cacheZoom_ == zoom_ && !cache_.isNull()) {
    const DisplayRect fit = Mapping(picture_).Image();
    QPainter painter(this);
    painter.drawImage(QRect(0, 0, fit.width, fit.height), cache_);
    return;
  }
  const QImage& image = Displayed();
  if (image.isNull()) return;
  QPainter painter(this);
  painter.drawImage(0, 0, image);
  // Started from the event loop, after this paint is on screen.
  if (afterPaint_) QTimer::singleShot(0, this, std::exchange(afterPaint_, {}));
}

}  // namespace ternova::app
