#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "picture/picture.h"
#include "picture/picture_file.h"

namespace ternova {

// Whether the name's extension (PictureExtension) asks for ".png", ".bmp" or ".ico": raster
// formats, which only a painter draws.
bool NamesRasterFormat(std::string_view name);

// The bytes of `picture` in the vector format its file name asks for: ".wmf" a placeable
// Windows metafile, ".svg" and ".pdf" those formats, anything else (or no extension) the
// enhanced metafile.
std::vector<uint8_t> EncodeVectorForName(std::string_view name, const PictureSnapshot& picture);

// Saves `picture` under `path` in that format, never destroying an earlier file on failure
// (see WriteFileReplacing). SVG and PDF, hundreds of megabytes for a large diagram, go out as
// they are written.
void SaveVectorPictureFile(const std::string& path, const PictureSnapshot& picture,
                           PipeTargets pipes = PipeTargets::Write);

}  // namespace ternova
