#include "app/picture_preview.h"

#include <QBuffer>
#include <QDialog>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>
#include <algorithm>
#include <chrono>
#include <optional>

#include "app/language.h"
#include "base/regular_file.h"
#include "picture/display.h"
#include "picture/metafile_import.h"
#include "picture/qt/playback.h"
#include "picture/qt/platform.h"
#include "picture/work_budget.h"

namespace ternova::app {

namespace {

// What one selection may cost: reading, reading the records and playing them. Past it the
// picture counts as too large to preview, and the window answers again.
constexpr std::chrono::milliseconds kPreviewTime{500};

constexpr qint64 kLargestPreview = qint64{256} << 20;

// The picture scaled to fit the rectangle, never enlarged, centred as the preview shows it.
QRect FitInto(const QSize& picture, const QRect& area) {
  const DisplayRect fit = FitPicture(picture.width(), picture.height(), area.width(), area.height());
  return QRect(area.x() + (area.width() - fit.width) / 2, area.y() + (area.height() - fit.height) / 2, fit.width,
               fit.height);
}

using Problem = PreviewInfo::Problem;

// Appends the rest of `file` to `bytes`, up to `size` bytes in all, a piece at a time so a slow
// disk cannot outlast the budget. Invalid when reading fails, TooLarge when the budget is spent.
Problem ReadRest(RegularFile& file, QByteArray& bytes, qint64 size, WorkBudget& budget) {
  constexpr qint64 kPiece = qint64{4} << 20;
  qsizetype used = bytes.size();
  bytes.resize(static_cast<qsizetype>(size));
  while (used < bytes.size()) {
    if (budget.Spent()) return Problem::TooLarge;
    const qint64 want = std::min<qint64>(kPiece, bytes.size() - used);
    const int64_t got = file.Read(bytes.data() + used, static_cast<size_t>(want));
    if (got < 0) return Problem::Invalid;
    used += static_cast<qsizetype>(got);
    if (got < want) break;  // shorter than it was
  }
  bytes.truncate(used);
  return Problem::None;
}

// Whether Qt's image readers refuse a picture of `size` for the memory it takes, at four bytes a
// pixel, the most a decoded image takes.
bool BeyondAllocationLimit(QSize size) {
  const qint64 limit = qint64{QImageReader::allocationLimit()} << 20;
  return limit > 0 && size.isValid() && qint64{size.width()} * size.height() * 4 > limit;
}

// A metafile: its header first, the size it declares, then its records.
PreviewInfo ReadMetafile(RegularFile& file, WorkBudget& budget) {
  PreviewInfo info;
  QByteArray bytes(static_cast<qsizetype>(std::min<int64_t>(file.Size(), kMetafileHeaderBytes)), Qt::Uninitialized);
  if (file.Read(bytes.data(), static_cast<size_t>(bytes.size())) != bytes.size()) {
    info.problem = Problem::Invalid;
    return info;
  }
  const std::optional<MetafileHeader> header =
      ReadMetafileHeader(std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())));
  if (!header) {
    info.problem = Problem::Invalid;
    return info;
  }
  const ScreenInfo screen = CurrentScreen();
  info.width = header->PixelWidth(screen);
  info.height = header->PixelHeight(screen);
  info.valid = info.width > 0 && info.height > 0;
  if (!info.valid) return info;  // an empty picture: nothing to show
  info.problem = ReadRest(file, bytes, file.Size(), budget);
  if (info.problem != Problem::None) {
    info.valid = info.problem == Problem::TooLarge;
    return info;
  }
  ImportedMetafile read = ImportMetafile(std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())), &budget);
  switch (read.outcome) {
    case ImportOutcome::Read: info.picture = std::move(read.picture); break;
    // Records that cannot be read to their end make no picture, whatever the header says.
    case ImportOutcome::Damaged:
      info.problem = Problem::Invalid;
      info.valid = false;
      break;
    // Records too many to read in time: a picture of the size the header says, too large to show.
    case ImportOutcome::OverBudget: info.problem = Problem::TooLarge; break;
  }
  return info;
}

PreviewInfo ReadBitmap(RegularFile& file, const QString& suffix, WorkBudget& budget) {
  PreviewInfo info;
  QByteArray bytes;
  info.problem = ReadRest(file, bytes, file.Size(), budget);
  if (info.problem != Problem::None) return info;
  QBuffer buffer(&bytes);
  QImageReader reader(&buffer, suffix.toLatin1());
  const QSize declared = reader.size();
  info.image = reader.read();
  if (info.image.isNull()) {
    // A sound bitmap larger than the reader will decode is known by the size it declares.
    info.valid = BeyondAllocationLimit(declared);
    info.problem = info.valid ? Problem::TooLarge : Problem::Invalid;
    info.width = info.valid ? declared.width() : 0;
    info.height = info.valid ? declared.height() : 0;
    return info;
  }
  info.valid = true;
  info.width = info.image.width();
  info.height = info.image.height();
  return info;
}

class PreviewWindow : public QDialog {
 public:
  PreviewWindow(const PreviewInfo& info, QWidget* parent) : QDialog(parent, Qt::Tool) {
    setWindowTitle(QTr(kPreview));
    setSizeGripEnabled(true);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* area = new PreviewArea(this, false);
    area->setObjectName(QStringLiteral("previewWindowArea"));
    layout->addWidget(area);
    resize(400, 400);
    area->Show(info);
  }
};

}  // namespace

PreviewInfo ReadPreview(const QString& path, WorkBudget* budget) {
  WorkBudget own(kPreviewTime);
  if (!budget) budget = &own;
  const QString suffix = QFileInfo(path).suffix().toLower();
  const bool metafile = suffix == QLatin1String("emf") || suffix == QLatin1String("wmf");
  if (!metafile && suffix != QLatin1String("bmp") && suffix != QLatin1String("ico")) return {};
  // Only ordinary files: a pipe or a kernel file may never answer, or never end.
  RegularFile file(QFile::encodeName(path).toStdString());
  if (file.Error() != 0 || file.Size() <= 0 || file.Size() > kLargestPreview) return {};
  return metafile ? ReadMetafile(file, *budget) : ReadBitmap(file, suffix, *budget);
}

PreviewArea::PreviewArea(QWidget* parent, bool framed) : QFrame(parent), framed_(framed) {
  if (framed_) setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
  setMinimumSize(150, 150);
}

QRect PreviewArea::Inner() const { return framed_ ? contentsRect().adjusted(2, 2, -2, -2) : rect(); }

void PreviewArea::Show(const PreviewInfo& info, WorkBudget* budget) {
  info_ = info;
  problem_ = info.problem;
  played_ = QImage();
  playedFor_ = QSize();
  Play(budget);
  update();
}

void PreviewArea::Play(WorkBudget* budget) {
  if (problem_ != Problem::None || !info_.picture || !info_.picture->content || playedFor_ == Inner().size()) return;
  const DisplayRect fit = FitPicture(info_.picture->width, info_.picture->height, Inner().width(), Inner().height());
  if (fit.width <= 0 || fit.height <= 0) return;
  WorkBudget own(kPreviewTime);
  played_ = RenderForDisplay(*info_.picture, Inner().size(), budget ? budget : &own);
  playedFor_ = Inner().size();
  // There is a picture to play and room to play it in: only the budget leaves it unplayed.
  if (played_.isNull()) problem_ = Problem::TooLarge;
}

QString PreviewArea::Caption() const {
  switch (problem_) {
    case Problem::Invalid: return QTr(kInvalidPicture);
    case Problem::TooLarge: return QTr(kPictureTooLarge);
    case Problem::None: break;
  }
  if (info_.image.isNull() && !info_.picture) return QTr(kNoPicture);
  return {};
}

void PreviewArea::paintEvent(QPaintEvent* event) {
  QFrame::paintEvent(event);
  Play(nullptr);
  QPainter painter(this);
  const QRect inner = Inner();
  const QString caption = Caption();
  if (!caption.isEmpty()) {
    painter.drawText(inner, Qt::AlignCenter, caption);
    return;
  }
  if (!info_.image.isNull()) {
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(FitInto(info_.image.size(), inner), info_.image);
    return;
  }
  // The picture on white paper, played for exactly the pixels it covers here.
  const QRect page = FitInto(QSize(info_.picture->width, info_.picture->height), inner);
  painter.fillRect(page, Qt::white);
  if (!played_.isNull()) painter.drawImage(page.topLeft(), played_);
}

PicturePreviewPane::PicturePreviewPane(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("picturePreviewPane"));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(8, 0, 0, 0);
  auto* top = new QHBoxLayout;
  caption_ = new QLabel(QTr(kPictureCaption), this);
  caption_->setTextFormat(Qt::PlainText);
  button_ = new QPushButton(this);
  button_->setIcon(style()->standardIcon(QStyle::SP_FileDialogContentsView));
  button_->setToolTip(QTr(kPreview));
  button_->setEnabled(false);
  button_->setAutoDefault(false);
  top->addWidget(caption_, 1);
  top->addWidget(button_);
  layout->addLayout(top);
  area_ = new PreviewArea(this);
  layout->addWidget(area_, 1);
  QObject::connect(button_, &QPushButton::clicked, this, [this] { OpenPreviewWindow(); });
}

void PicturePreviewPane::ShowFile(const QString& path) {
  WorkBudget budget(kPreviewTime);
  const PreviewInfo info = ReadPreview(path, &budget);
  area_->Show(info, &budget);
  caption_->setText(info.valid ? QString::asprintf(" (%dx%d)", info.width, info.height) : QTr(kPictureCaption));
  button_->setEnabled(info.valid && area_->Caption().isEmpty());
}

void PicturePreviewPane::OpenPreviewWindow() {
  if (!button_->isEnabled()) return;
  PreviewWindow window(area_->Shown(), this);
  window.exec();
}

}  // namespace ternova::app
