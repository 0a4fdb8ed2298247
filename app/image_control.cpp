#include "app/image_control.h"

#include <QPainter>

#include "picture/qt/playback.h"

namespace ternova::app {

ImageControl::ImageControl(QWidget* parent) : QWidget(parent) {
  // Transparent where the picture does not reach: the window's background shows there.
  setAttribute(Qt::WA_TranslucentBackground);
}

void ImageControl::SetPicture(const PictureSnapshot& picture) {
  picture_ = picture;
  assigned_ = true;
  cacheValid_ = false;
  update();
}

const QImage& ImageControl::Displayed() {
  if (!cacheValid_ || cacheSize_ != size()) {
    cache_ = RenderForDisplay(picture_, size());
    cacheSize_ = size();
    cacheValid_ = true;
  }
  return cache_;
}

void ImageControl::paintEvent(QPaintEvent*) {
  const QImage& image = Displayed();
  if (image.isNull()) return;
  QPainter painter(this);
  painter.drawImage(0, 0, image);
}

}  // namespace ternova::app
