#pragma once
// Bookkeeping both metafile writers do the same way: object slots and the text's colours.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "picture/metafile_records.h"
#include "picture/picture.h"

namespace ternova {

// A table of `bytes(std::type_identity<Op>{})` for every kind of operation, indexed like
// PictureOp: a kind left out does not compile, and sizing a file is one load per operation.
template <typename Bytes>
constexpr auto BytesPerOperation(Bytes bytes) {
  return [&]<size_t... I>(std::index_sequence<I...>) {
    return std::array<size_t, sizeof...(I)>{bytes(std::type_identity<std::variant_alternative_t<I, PictureOp>>{})...};
  }(std::make_index_sequence<std::variant_size_v<PictureOp>>{});
}

// Object slots as a player's handle table fills them: a new object takes the lowest free one.
class ObjectSlots {
 public:
  uint32_t New() {
    for (size_t i = 0; i < used_.size(); ++i)
      if (!used_[i]) {
        used_[i] = true;
        return static_cast<uint32_t>(i);
      }
    used_.push_back(true);
    return static_cast<uint32_t>(used_.size() - 1);
  }
  void Free(uint32_t slot) { used_[slot] = false; }
  // Slots the player's table must hold: the most ever in use at once.
  size_t TableSize() const { return used_.size(); }

 private:
  std::vector<bool> used_;
};

// The brushes of runs of discs in several colours, one per colour, made once and selected again
// each time the colour comes back; never deleted while the picture plays.
template <typename Slot>
class KeptBrushes {
 public:
  // The slot of `colour`'s brush; with none yet, `make` creates it and gives its slot.
  template <typename Make>
  Slot Of(Rgb colour, Make&& make) {
    for (const auto& [c, slot] : kept_)
      if (c == colour) return slot;
    const Slot slot = make();
    kept_.emplace_back(colour, slot);
    return slot;
  }
  bool Holds(Slot slot) const {
    for (const auto& kept : kept_)
      if (kept.second == slot) return true;
    return false;
  }

 private:
  std::vector<std::pair<Rgb, Slot>> kept_;
};

// A text is drawn in its font's colour, on a box of the brush colour while the brush is solid
// (OPAQUE), else TRANSPARENT. Each is written only when it changes, and at its first use:
// readers do not agree on the defaults.
class TextColours {
 public:
  // Calls textColour(Rgb), bkMode(uint32_t) and bkColour(Rgb) for what must change.
  template <typename TextColour, typename BkMode, typename BkColour>
  void Prepare(Rgb text, const op::Brush& brush, TextColour&& textColour, BkMode&& bkMode, BkColour&& bkColour) {
    if (text_ != text) {
      textColour(text);
      text_ = text;
    }
    const uint32_t mode = brush.style == FillStyle::Solid ? OPAQUE : TRANSPARENT;
    if (mode_ != mode) {
      bkMode(mode);
      mode_ = mode;
    }
    if (mode == OPAQUE && bk_ != brush.colour) {
      bkColour(brush.colour);
      bk_ = brush.colour;
    }
  }

 private:
  std::optional<Rgb> text_, bk_;
  uint32_t mode_ = 0;
};

}  // namespace ternova
