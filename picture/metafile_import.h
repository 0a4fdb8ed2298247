#pragma once
#include <cstdint>
#include <optional>
#include <string_view>

#include "picture/picture.h"

namespace ternova {

class WorkBudget;

// What the first bytes of a metafile say about it: which format, and the size it declares.
struct MetafileHeader {
  enum class Kind { Enhanced, Placeable };
  Kind kind = Kind::Enhanced;
  // Enhanced: the frame in 0.01 mm. Placeable: the box, `unitsPerInch` units to the inch.
  int32_t width = 0, height = 0;
  int32_t unitsPerInch = 0;

  // The declared size in pixels of `screen`.
  int32_t PixelWidth(const ScreenInfo& screen) const;
  int32_t PixelHeight(const ScreenInfo& screen) const;
};

// How many bytes from the start ReadMetafileHeader needs at most.
inline constexpr size_t kMetafileHeaderBytes = 88;

// The header of an enhanced or placeable metafile from the file's first bytes; nothing when they
// are neither, or declare a frame whose size 32 bits cannot hold.
std::optional<MetafileHeader> ReadMetafileHeader(std::string_view head);

// What reading a metafile came to. Running out of budget says nothing about the file: a valid
// picture may simply be too large to read in the time given.
enum class ImportOutcome {
  Read,        // to its end record
  Damaged,     // not a metafile, framing that is broken, or no size to draw in
  OverBudget,  // sound as far as it was read when the budget was spent
};

struct ImportedMetafile {
  ImportOutcome outcome = ImportOutcome::Damaged;
  PictureSnapshot picture;  // the drawing, when read
};

// Reads an enhanced metafile, or a placeable Windows metafile, back into drawing operations,
// so the save dialog can preview picture files: the records this program writes and the plain
// drawing records other programs write too (lines, rectangles, ellipses, text, pens, brushes,
// fonts). Unknown records are skipped. The picture's width and height are the logical size the
// records are drawn in. With a `budget`, reading stops once it is spent.
ImportedMetafile ImportMetafile(std::string_view bytes, WorkBudget* budget = nullptr);

}  // namespace ternova
