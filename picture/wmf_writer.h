#pragma once
#include <cstdint>
#include <vector>

#include "picture/picture.h"

namespace ternova {

// The picture as a placeable Windows metafile: the 22-byte placeable header (bounding box in
// 1/96 inch from the physical frame), then the records for an anisotropic mapping whose window
// is the picture's logical size. A picture with no content is the header alone, box (0,0,0,0).
// Coordinates beyond the format's 16 bits are clamped, so far-off shapes stay out of view.
std::vector<uint8_t> EncodeWmf(const PictureSnapshot& picture);

}  // namespace ternova
