#pragma once
#include <cstdint>
#include <vector>

#include "picture/picture.h"
#include "picture/picture_file.h"

namespace ternova {

// The picture as a one-page PDF whose page is the physical frame. Each kind of ellipse is a
// form XObject placed with cm/Do; the page's content is compressed; each character of a text
// is placed at its recorded advance. Texts of Latin-1 characters use the standard Helvetica
// (never embedded); any other text is set, whole, in subsets of the faces the window draws it
// with, embedded as TrueType with a map back to the characters.
std::vector<uint8_t> EncodePdf(const PictureSnapshot& picture);
// The same, handed to `sink` a megabyte or so at a time.
void WritePdf(const PictureSnapshot& picture, const ByteSink& sink);

}  // namespace ternova
