#include "picture/vector_export.h"

#include "picture/emf_writer.h"
#include "picture/pdf_writer.h"
#include "picture/svg_writer.h"
#include "picture/wmf_writer.h"

namespace ternova {

bool NamesRasterFormat(std::string_view name) {
  const std::string ext = PictureExtension(name);
  return ext == ".png" || ext == ".bmp" || ext == ".ico";
}

std::vector<uint8_t> EncodeVectorForName(std::string_view name, const PictureSnapshot& picture) {
  const std::string ext = PictureExtension(name);
  if (ext == ".wmf") return EncodeWmf(picture);
  if (ext == ".svg") return EncodeSvg(picture);
  if (ext == ".pdf") return EncodePdf(picture);
  return EncodeEmf(picture);
}

void SaveVectorPictureFile(const std::string& path, const PictureSnapshot& picture, PipeTargets pipes) {
  const std::string ext = PictureExtension(path);
  if (ext == ".svg") return WriteFileReplacingStreamed(path, [&](const ByteSink& sink) { WriteSvg(picture, sink); }, pipes);
  if (ext == ".pdf") return WriteFileReplacingStreamed(path, [&](const ByteSink& sink) { WritePdf(picture, sink); }, pipes);
  WriteFileReplacing(path, [&] { return EncodeVectorForName(path, picture); }, pipes);
}

}  // namespace ternova
