#pragma once
// imgTernova: holds its own snapshot of the last picture assigned to it and shows it by the
// display rule, rendered once per picture and size.
#include <QImage>
#include <QWidget>

#include "picture/picture.h"

namespace ternova::app {

class ImageControl : public QWidget {
 public:
  explicit ImageControl(QWidget* parent = nullptr);

  void SetPicture(const PictureSnapshot& picture);
  const PictureSnapshot& Picture() const { return picture_; }
  bool HasPicture() const { return assigned_; }
  // What the control paints at its top-left corner (null when nothing was drawn yet).
  const QImage& Displayed();

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  PictureSnapshot picture_;
  bool assigned_ = false;
  QImage cache_;
  bool cacheValid_ = false;
  QSize cacheSize_;
};

}  // namespace ternova::app
