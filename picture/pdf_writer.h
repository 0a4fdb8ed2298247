#pragma once
#include <cstdint>
#include <vector>

#include "picture/picture.h"
#include "picture/picture_file.h"

namespace ternova {

// The picture as a one-page PDF whose page is the physical frame. Each kind of ellipse is a
// form XObject placed with cm/Do; the page's content is compressed; texts use the standard
// Helvetica (never embedded) with each character placed at its recorded advance, and
// characters outside Latin-1 left out (their advance kept).
std::vector<uint8_t> EncodePdf(const PictureSnapshot& picture);
// The same, handed to `sink` a megabyte or so at a time.
void WritePdf(const PictureSnapshot& picture, const ByteSink& sink);

}  // namespace ternova
