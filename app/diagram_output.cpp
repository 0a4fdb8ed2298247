#include "app/diagram_output.h"

#include <QBuffer>
#include <QFile>
#include <QMimeData>
#include <QPainter>
#include <QPdfWriter>
#include <QPrinter>

#include "base/error.h"
#include "base/messages.h"
#include "picture/picture_file.h"
#include "picture/qt/export.h"
#include "picture/qt/playback.h"

namespace ternova::app {

namespace {

QByteArray Bytes(const std::vector<uint8_t>& bytes) {
  return QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()));
}

}  // namespace

std::unique_ptr<QMimeData> DiagramMimeData(const PictureSnapshot& picture) {
  auto mime = std::make_unique<QMimeData>();
  // Vector forms first: a program that takes several keeps the first it knows.
  const QByteArray svg = Bytes(EncodeForName("diagram.svg", picture));
  const QByteArray emf = Bytes(EncodeForName("diagram.emf", picture));
  mime->setData(QStringLiteral("image/svg+xml"), svg);
  mime->setData(QStringLiteral("image/x-emf"), emf);
  // The names LibreOffice asks for on X11 and Wayland: without them it takes only the bitmap.
  mime->setData(QStringLiteral("application/x-openoffice-emf;windows_formatname=\"Image EMF\""), emf);
  mime->setData(QStringLiteral("image/png"), Bytes(EncodeForName("diagram.png", picture)));
  return mime;
}

namespace {

void PaintPage(QPagedPaintDevice& device, const QPageLayout& layout, int resolution, const PictureSnapshot& picture) {
  QPainter painter;
  if (!painter.begin(&device)) throw Error(Tr(kCannotPrint));
  // The painter's origin is the printable area's top-left corner.
  const QRectF area = layout.paintRectPixels(resolution);
  const double scale = std::min(area.width() / picture.width, area.height() / picture.height);
  const double w = picture.width * scale, h = picture.height * scale;
  painter.translate((area.width() - w) / 2, (area.height() - h) / 2);
  if (picture.content) PlayPicture(painter, *picture.content, picture.width, picture.height, w, h);
  if (!painter.end()) throw Error(Tr(kCannotPrint));
}

}  // namespace

void PrintDiagram(QPrinter& printer, const PictureSnapshot& picture) {
  if (printer.outputFormat() != QPrinter::PdfFormat || printer.outputFileName().isEmpty()) {
    PaintPage(printer, printer.pageLayout(), printer.resolution(), picture);
    return;
  }
  // Qt's PDF engine does not report failed writes to its file: a full disk would leave half a
  // PDF and no message. The page is made in memory and written as a save writes a picture.
  const std::string path = QFile::encodeName(printer.outputFileName()).toStdString();
  WriteFileReplacing(path, [&] {
    QByteArray bytes;
    {
      QBuffer buffer(&bytes);
      buffer.open(QIODevice::WriteOnly);
      QPdfWriter pdf(&buffer);
      pdf.setTitle(printer.docName());
      pdf.setCreator(printer.creator());
      pdf.setResolution(printer.resolution());
      pdf.setPageLayout(printer.pageLayout());
      PaintPage(pdf, pdf.pageLayout(), pdf.resolution(), picture);
    }
    return std::vector<uint8_t>(bytes.begin(), bytes.end());
  });
}

}  // namespace ternova::app
