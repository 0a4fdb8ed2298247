#include "app/image_control.h"

#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
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

}  // namespace

ImageControl::ImageControl(QWidget* parent) : QWidget(parent) {
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
}

void ImageControl::resizeEvent(QResizeEvent* event) {
  resizing_ = true;
  settle_->start();
  QWidget::resizeEvent(event);
}

void ImageControl::SetPicture(const PictureSnapshot& picture) {
  picture_ = picture;
  assigned_ = true;
  cacheValid_ = false;
  update();
}

void ImageControl::SetPictureChangedIn(const PictureSnapshot& picture, const std::vector<QRectF>& areas,
                                       const std::function<void(QImage&, QRect)>& repaint) {
  const DisplayMapping mapping = Mapping(picture);
  const DisplayRect fit = mapping.Image();
  if (!cacheValid_ || cacheSize_ != size() || cache_.isNull() || cache_.size() != QSize(fit.width, fit.height) ||
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
    repaint(cache_, pixels);
    update(pixels);
  }
}

const QImage& ImageControl::Displayed() {
  if (!cacheValid_ || cacheSize_ != size()) {
    cache_ = RenderForDisplay(picture_, size());
    cacheSize_ = size();
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

void ImageControl::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && press_) {
    if (const std::optional<QPointF> at = LogicalAt(event->position().toPoint())) press_(*at);
  }
  event->accept();
}

void ImageControl::paintEvent(QPaintEvent*) {
  const bool large = picture_.content && OperationCount(*picture_.content) > kLargePictureOps;
  if (resizing_ && large && cacheValid_ && cacheSize_ != size() && !cache_.isNull()) {
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
