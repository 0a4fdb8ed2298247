#pragma once
#include <cstdint>
#include <vector>

#include "picture/picture.h"

namespace ternova {

// The picture as an enhanced metafile, the bytes the platform would hand out for it: logical
// units are reference-device pixels (MM_TEXT), the header carries the physical frame, and each
// drawing operation becomes one record. A picture with no content encodes as no bytes at all.
// Throws Error when the file would be too large for the format's 32-bit sizes.
std::vector<uint8_t> EncodeEmf(const PictureSnapshot& picture);

}  // namespace ternova
