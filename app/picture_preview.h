#pragma once
// The preview pane of the save dialog: what picture file is selected, how large it is, and a
// button that opens it in a window of its own.
#include <QFrame>
#include <QImage>
#include <QWidget>
#include <optional>

#include "picture/picture.h"

class QLabel;
class QPushButton;

namespace ternova {
class WorkBudget;
}

namespace ternova::app {

// What a picture file holds as far as the preview is concerned.
struct PreviewInfo {
  bool valid = false;  // a picture whose size is known: the caption shows it
  int width = 0, height = 0;
  QImage image;                            // a bitmap or icon
  std::optional<PictureSnapshot> picture;  // a metafile's drawing
  // Why a picture file shows no picture: it cannot be read as the picture it names itself
  // (then not valid either), or it is sound but would take more time or memory than a preview
  // may spend on it.
  enum class Problem { None, Invalid, TooLarge };
  Problem problem = Problem::None;
};

// Reads a bmp, ico, emf or wmf file for the preview; anything else is not valid. Reading stops
// once `budget` is spent (without one, the preview's own limit applies).
PreviewInfo ReadPreview(const QString& path, WorkBudget* budget = nullptr);

// Where the preview shows a picture: a metafile played at the size it is shown at, by the
// same playback as the main window; "(なし)" when there is none; "画像が不正です" when it cannot
// be painted; that it is too large when it cannot be painted within the time a preview may take.
class PreviewArea : public QFrame {
 public:
  // Framed in the dialog; the preview window is all picture.
  explicit PreviewArea(QWidget* parent = nullptr, bool framed = true);
  // Shows `info`; a metafile is played at once, within `budget` when given.
  void Show(const PreviewInfo& info, WorkBudget* budget = nullptr);
  const PreviewInfo& Shown() const { return info_; }
  QString Caption() const;  // the text painted in place of a picture, empty when there is one

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QRect Inner() const;
  // Plays the metafile at the size it is shown at now, unless that is done already.
  void Play(WorkBudget* budget);

  bool framed_;
  PreviewInfo info_;
  PreviewInfo::Problem problem_ = PreviewInfo::Problem::None;
  QImage played_;
  QSize playedFor_;
};

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
