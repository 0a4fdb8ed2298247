#include "app/diagram_output.h"

#include <QMimeData>
#include <QPainter>
#include <QPrinter>

#include "base/error.h"
#include "base/messages.h"
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
  mime->setData(QStringLiteral("image/svg+xml"), Bytes(EncodeForName("diagram.svg", picture)));
  mime->setData(QStringLiteral("image/x-emf"), Bytes(EncodeForName("diagram.emf", picture)));
  mime->setData(QStringLiteral("image/png"), Bytes(EncodeForName("diagram.png", picture)));
  return mime;
}

void PrintDiagram(QPrinter& printer, const PictureSnapshot& picture) {
  QPainter painter;
  if (!painter.begin(&printer)) throw Error(Tr(kCannotPrint));
  // The painter's origin is the printable area's top-left corner.
  const QRectF area = printer.pageLayout().paintRectPixels(printer.resolution());
  const double scale = std::min(area.width() / picture.width, area.height() / picture.height);
  const double w = picture.width * scale, h = picture.height * scale;
  painter.translate((area.width() - w) / 2, (area.height() - h) / 2);
  if (picture.content) PlayPicture(painter, *picture.content, picture.width, picture.height, w, h);
  if (!painter.end()) throw Error(Tr(kCannotPrint));
}

}  // namespace ternova::app
