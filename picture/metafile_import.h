#pragma once
#include <cstdint>
#include <optional>
#include <string_view>

#include "picture/picture.h"

namespace ternova {

// Reads an enhanced metafile, or a placeable Windows metafile, back into drawing operations,
// so the save dialog can preview picture files: the records this program writes and the plain
// drawing records other programs write too (lines, rectangles, ellipses, text, pens, brushes,
// fonts). Unknown records are skipped. Returns nothing when the framing is broken.
// The snapshot's width and height are the logical size the records are drawn in.
std::optional<PictureSnapshot> ImportMetafile(std::string_view bytes);

}  // namespace ternova
