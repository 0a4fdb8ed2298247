#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "picture/picture.h"
#include "picture/picture_file.h"

namespace ternova {

// The bytes of `picture` in the format its file name asks for: ".wmf" a placeable Windows
// metafile; ".bmp" a 2000 x 2000 bitmap, ".ico" a 256 x 256 icon, ".png", ".svg" and ".pdf"
// those formats; anything else, or no extension, the enhanced metafile.
std::vector<uint8_t> EncodeForName(const std::string& name, const PictureSnapshot& picture);

// Saves `picture` under `path` in the format its name asks for, never destroying an earlier
// file on failure (see WriteFileReplacing).
void SavePictureFile(const std::string& path, const PictureSnapshot& picture,
                     PipeTargets pipes = PipeTargets::Write);

}  // namespace ternova
