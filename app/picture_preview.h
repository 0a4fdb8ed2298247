#pragma once
// The preview pane of the save dialog: what picture file is selected, how large it is, and a
// button that opens it in a window of its own.
#include <QFrame>
#include <QImage>
#include <QWidget>

class QLabel;
class QPushButton;

namespace ternova::app {

// The framed area: the picture scaled to fit, "(なし)" when there is none, "画像が不正です" when
// the picture cannot be painted.
class PreviewArea : public QFrame {
 public:
  explicit PreviewArea(QWidget* parent = nullptr);
  void SetImage(const QImage& image) { image_ = image; update(); }
  void SetInvalid(bool invalid) { invalid_ = invalid; update(); }
  // A picture whose records are not played here: a blank page of its shape, marked with `kind`.
  void SetPage(QSize size, const QString& kind) { page_ = size; kind_ = kind; update(); }
  const QImage& Image() const { return image_; }
  QString Caption() const;  // the text painted in place of a picture, empty when there is one

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QImage image_;
  bool invalid_ = false;
  QSize page_;
  QString kind_;
};

// What a picture file holds as far as the preview is concerned.
struct PreviewInfo {
  bool valid = false;
  int width = 0, height = 0;
  QImage image;  // null for metafiles, whose records are not played here
  QString kind;  // "EMF" or "WMF" for metafiles
  bool damaged = false;  // a picture file whose content cannot be read
};

// Reads a bmp, ico, emf or wmf file for the preview; anything else is not valid.
PreviewInfo ReadPreview(const QString& path);

class PicturePreviewPane : public QWidget {
 public:
  explicit PicturePreviewPane(QWidget* parent = nullptr);
  void ShowFile(const QString& path);

  QLabel* CaptionLabel() const { return caption_; }
  QPushButton* PreviewButton() const { return button_; }
  PreviewArea* Area() const { return area_; }

 private:
  void OpenPreviewWindow();

  QLabel* caption_;
  QPushButton* button_;
  PreviewArea* area_;
};

}  // namespace ternova::app
