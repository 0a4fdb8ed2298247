#include "picture/qt/export.h"

#include <QBuffer>
#include <QImageWriter>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QSvgGenerator>

#include "base/error.h"
#include "picture/emf_writer.h"
#include "picture/picture_file.h"
#include "picture/qt/playback.h"
#include "picture/wmf_writer.h"

namespace ternova {

namespace {


std::vector<uint8_t> Bytes(const QByteArray& data) {
  return std::vector<uint8_t>(data.begin(), data.end());
}

std::vector<uint8_t> RasterFile(const PictureSnapshot& picture, QSize size, const char* format) {
  QImage image = RenderToImage(picture, size).convertToFormat(QImage::Format_RGB32);
  if (QByteArray(format) == "ico") image = image.convertToFormat(QImage::Format_ARGB32);
  QByteArray data;
  QBuffer buffer(&data);
  buffer.open(QIODevice::WriteOnly);
  QImageWriter writer(&buffer, format);
  if (!writer.write(image)) throw Error(kNoResources);
  return Bytes(data);
}

std::vector<uint8_t> SvgFile(const PictureSnapshot& picture) {
  QByteArray data;
  QBuffer buffer(&data);
  QSvgGenerator svg;
  svg.setOutputDevice(&buffer);
  svg.setSize(QSize(picture.width, picture.height));
  svg.setViewBox(QRect(0, 0, picture.width, picture.height));
  svg.setTitle(QStringLiteral("Ternova"));
  {
    QPainter painter(&svg);
    if (picture.content) PlayPicture(painter, *picture.content, picture.width, picture.height, picture.width, picture.height);
  }
  return Bytes(data);
}

std::vector<uint8_t> PdfFile(const PictureSnapshot& picture) {
  QByteArray data;
  QBuffer buffer(&data);
  buffer.open(QIODevice::WriteOnly);
  {
    QPdfWriter pdf(&buffer);
    // The page is the picture's physical frame (0.01 mm), or 500 mm square before any drawing.
    const double wmm = picture.frame.width > 0 ? picture.frame.width / 100.0 : 500.0;
    const double hmm = picture.frame.height > 0 ? picture.frame.height / 100.0 : 500.0;
    pdf.setPageSize(QPageSize(QSizeF(wmm, hmm), QPageSize::Millimeter));
    pdf.setPageMargins(QMarginsF(0, 0, 0, 0));
    pdf.setResolution(1200);
    pdf.setTitle(QStringLiteral("Ternova"));
    QPainter painter(&pdf);
    const QRect page = painter.viewport();
    if (picture.content) PlayPicture(painter, *picture.content, picture.width, picture.height, page.width(), page.height());
  }
  return Bytes(data);
}

}  // namespace

std::vector<uint8_t> EncodeForName(const std::string& name, const PictureSnapshot& picture) {
  const std::string ext = PictureExtension(name);
  if (ext == ".wmf") return EncodeWmf(picture);
  if (ext == ".bmp") return RasterFile(picture, QSize(picture.width, picture.height), "bmp");
  if (ext == ".ico") return RasterFile(picture, QSize(256, 256), "ico");
  if (ext == ".png") return RasterFile(picture, QSize(picture.width, picture.height), "png");
  if (ext == ".svg") return SvgFile(picture);
  if (ext == ".pdf") return PdfFile(picture);
  return EncodeEmf(picture);
}

void SavePictureFile(const std::string& path, const PictureSnapshot& picture, PipeTargets pipes) {
  WriteFileReplacing(path, [&] { return EncodeForName(path, picture); }, pipes);
}

}  // namespace ternova
