#include "picture/qt/export.h"

#include <QBuffer>
#include <QImageWriter>
#include <QPainter>

#include "base/error.h"
#include "picture/picture_file.h"
#include "picture/qt/playback.h"
#include "picture/vector_export.h"

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

}  // namespace

std::vector<uint8_t> EncodeForName(const std::string& name, const PictureSnapshot& picture) {
  const std::string ext = PictureExtension(name);
  if (ext == ".bmp") return RasterFile(picture, QSize(picture.width, picture.height), "bmp");
  if (ext == ".ico") return RasterFile(picture, QSize(256, 256), "ico");
  if (ext == ".png") return RasterFile(picture, QSize(picture.width, picture.height), "png");
  return EncodeVectorForName(name, picture);
}

void SavePictureFile(const std::string& path, const PictureSnapshot& picture, PipeTargets pipes) {
  if (!NamesRasterFormat(path)) return SaveVectorPictureFile(path, picture, pipes);
  WriteFileReplacing(path, [&] { return EncodeForName(path, picture); }, pipes);
}

}  // namespace ternova
