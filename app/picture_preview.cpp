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
#include <optional>
#include <QtEndian>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "app/language.h"
#include "picture/display.h"
#include "picture/metafile_import.h"
#include "picture/picture.h"
#include "picture/qt/playback.h"
#include "picture/qt/qt_text_metrics.h"

namespace ternova::app {

namespace {

// The picture scaled to fit the rectangle, never enlarged, centred as the preview shows it.
QRect FitInto(const QSize& picture, const QRect& area) {
  const DisplayRect fit = FitPicture(picture.width(), picture.height(), area.width(), area.height());
  return QRect(area.x() + (area.width() - fit.width) / 2, area.y() + (area.height() - fit.height) / 2, fit.width,
               fit.height);
}

constexpr qint64 kLargestPreview = qint64{256} << 20;

// The bytes of an ordinary file of at most `limit` bytes; nothing for anything else. A pipe,
// device or kernel file may never answer or never end, so the type is checked on a descriptor
// opened without waiting, before a byte is read.
std::optional<QByteArray> ReadOrdinaryFile(const QString& path, qint64 limit) {
  const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  struct stat st {};
  std::optional<QByteArray> bytes;
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0 && st.st_size <= limit) {
    QByteArray data(static_cast<qsizetype>(st.st_size), Qt::Uninitialized);
    qsizetype used = 0;
    while (used < data.size()) {
      const ssize_t got = ::read(fd, data.data() + used, static_cast<size_t>(data.size() - used));
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) break;
      used += got;
    }
    data.truncate(used);
    bytes = std::move(data);
  }
  ::close(fd);
  return bytes;
}

uint32_t U32(const QByteArray& b, int at) { return qFromLittleEndian<quint32>(b.constData() + at); }
int32_t I32(const QByteArray& b, int at) { return qFromLittleEndian<qint32>(b.constData() + at); }
int16_t I16(const QByteArray& b, int at) { return qFromLittleEndian<qint16>(b.constData() + at); }

// The size a metafile declares: the frame of an enhanced metafile in screen pixels, the box of a
// placeable metafile at its own units per inch converted to the screen's.
PreviewInfo ReadMetafileHeader(const QString& path) {
  PreviewInfo info;
  const std::optional<QByteArray> file = ReadOrdinaryFile(path, kLargestPreview);
  if (!file) return info;
  const QByteArray head = file->left(88);
  const ScreenInfo screen = CurrentScreen();
  if (head.size() >= 88 && U32(head, 0) == 1 && U32(head, 40) == 0x464D4520) {
    const int32_t fw = I32(head, 32) - I32(head, 24), fh = I32(head, 36) - I32(head, 28);
    info.width = MulDiv(fw, screen.widthPx, screen.widthMm * 100);
    info.height = MulDiv(fh, screen.heightPx, screen.heightMm * 100);
    info.kind = QStringLiteral("EMF");
  } else if (head.size() >= 22 && U32(head, 0) == 0x9AC6CDD7) {
    const int inch = qFromLittleEndian<quint16>(head.constData() + 14);
    if (inch == 0) return info;
    info.width = MulDiv(I16(head, 10) - I16(head, 6), screen.dpi, inch);
    info.height = MulDiv(I16(head, 12) - I16(head, 8), screen.dpi, inch);
    info.kind = QStringLiteral("WMF");
  } else {
    return info;
  }
  info.valid = info.width > 0 && info.height > 0;
  if (info.valid) {
    const QByteArray& bytes = *file;
    const auto picture = ImportMetafile(std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())));
    // A metafile whose records cannot be read to their end is no picture, whatever its header says.
    if (!picture) {
      info.valid = false;
      info.damaged = true;
      return info;
    }
    if (picture->content) {
      const DisplayRect fit = FitPicture(picture->width, picture->height, 1024, 1024);
      if (fit.width > 0 && fit.height > 0) info.image = RenderToImage(*picture, QSize(fit.width, fit.height));
    }
  }
  return info;
}

class PreviewWindow : public QDialog {
 public:
  PreviewWindow(const QImage& image, QWidget* parent) : QDialog(parent, Qt::Tool), image_(image) {
    setWindowTitle(QTr(kPreview));
    setSizeGripEnabled(true);
    resize(400, 400);
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(FitInto(image_.size(), rect()), image_);
  }

 private:
  QImage image_;
};

}  // namespace

PreviewArea::PreviewArea(QWidget* parent) : QFrame(parent) {
  setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
  setMinimumSize(150, 150);
}

QString PreviewArea::Caption() const {
  if (invalid_) return QTr(kInvalidPicture);
  if (image_.isNull() && page_.isEmpty()) return QTr(kNoPicture);
  return {};
}

void PreviewArea::paintEvent(QPaintEvent* event) {
  QFrame::paintEvent(event);
  QPainter painter(this);
  const QRect inner = contentsRect().adjusted(2, 2, -2, -2);
  const QString caption = Caption();
  if (!caption.isEmpty()) {
    painter.drawText(inner, Qt::AlignCenter, caption);
    return;
  }
  if (image_.isNull()) {
    const QRect page = FitInto(page_, inner);
    painter.fillRect(page, Qt::white);
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawRect(page.adjusted(0, 0, -1, -1));
    painter.drawText(page, Qt::AlignCenter, kind_);
    return;
  }
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  painter.drawImage(FitInto(image_.size(), inner), image_);
}

PreviewInfo ReadPreview(const QString& path) {
  const QString suffix = QFileInfo(path).suffix().toLower();
  if (suffix == QLatin1String("emf") || suffix == QLatin1String("wmf")) return ReadMetafileHeader(path);
  PreviewInfo info;
  if (suffix != QLatin1String("bmp") && suffix != QLatin1String("ico")) return info;
  std::optional<QByteArray> bytes = ReadOrdinaryFile(path, kLargestPreview);
  if (!bytes) return info;
  QBuffer buffer(&*bytes);
  QImageReader reader(&buffer, suffix.toLatin1());
  info.image = reader.read();
  if (info.image.isNull()) return info;
  info.valid = true;
  info.width = info.image.width();
  info.height = info.image.height();
  return info;
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
  const PreviewInfo info = ReadPreview(path);
  area_->SetInvalid(info.damaged);
  area_->SetImage(info.image);
  area_->SetPage(info.valid && info.image.isNull() ? QSize(info.width, info.height) : QSize(), info.kind);
  if (!info.valid) {
    caption_->setText(QTr(kPictureCaption));
    button_->setEnabled(false);
    return;
  }
  caption_->setText(QString::asprintf(" (%dx%d)", info.width, info.height));
  // A metafile whose records could not be played shows only its page: nothing to enlarge.
  button_->setEnabled(!info.image.isNull());
}

void PicturePreviewPane::OpenPreviewWindow() {
  if (area_->Image().isNull()) return;
  PreviewWindow window(area_->Image(), this);
  window.exec();
}

}  // namespace ternova::app
