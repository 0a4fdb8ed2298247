#pragma once
#include <cstdint>
#include <vector>

#include "picture/picture.h"
#include "picture/picture_file.h"

namespace ternova {

// The picture as an SVG document: the viewBox is the logical size, the width and height the
// physical frame in mm. Each kind of ellipse is defined once and placed with <use>; runs of
// lines with one pen are one path; each text's characters stand at their recorded advances.
std::vector<uint8_t> EncodeSvg(const PictureSnapshot& picture);
// The same, handed to `sink` a megabyte or so at a time.
void WriteSvg(const PictureSnapshot& picture, const ByteSink& sink);

}  // namespace ternova
