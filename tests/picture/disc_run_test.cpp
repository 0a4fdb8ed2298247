// A run of discs over shared centres must give every consumer exactly what the same discs
// drawn one by one give: the window records runs, the writers' files must not change.
#include <gtest/gtest.h>

#include <random>

#include "picture/emf_writer.h"
#include "picture/metafile_import.h"
#include "picture/pdf_writer.h"
#include "picture/qt/playback.h"
#include "picture/surface.h"
#include "picture/svg_writer.h"
#include "picture/wmf_writer.h"

namespace ternova {
namespace {

constexpr Rgb kGroupColourA{51, 34, 136}, kGroupColourB{136, 204, 238}, kGroupColourC{68, 170, 153};

struct Recorded {
  DiagramPicture runs, oneByOne;
};

// A background, then discs in three runs (small blue, one large red, small blue again) over
// centres that include the picture's corners and points far outside it.
Recorded RecordBothWays(uint32_t seed) {
  std::mt19937 rng(seed);
  auto centres = std::make_shared<DiscCentres>();
  for (int i = 0; i < 300; ++i)
    centres->push_back({std::uniform_int_distribution<int32_t>(-20, 2020)(rng), std::uniform_int_distribution<int32_t>(-20, 2020)(rng)});
  centres->push_back({0, 0});
  centres->push_back({2000, 2000});
  centres->push_back({INT32_MAX - 3, INT32_MIN + 2});
  const auto n = static_cast<uint32_t>(centres->size());
  const uint32_t selected = std::uniform_int_distribution<uint32_t>(0, n - 1)(rng);
  struct Part {
    uint32_t begin, end;
    Rgb colour;
    int32_t r;
  };
  const Part parts[] = {{0, selected, kBlue, 6}, {selected, selected + 1, kRed, 12}, {selected + 1, n, kBlue, 6}, {n, n, kRed, 3}};

  Recorded out;
  const SurfaceEnvironment env;
  for (DiagramPicture* picture : {&out.runs, &out.oneByOne}) {
    picture->SetWidth(2000);
    picture->SetHeight(2000);
    DrawingSurface s(*picture, env);
    s.SetPenStyle(FillStyle::None);
    s.Rectangle(0, 0, 2000, 2000);
    s.SetPenStyle(FillStyle::Solid);
    s.SetPenWidth(2);
    s.MoveTo(0, 1000);
    s.LineTo(2000, 1000);
    s.SetPenStyle(FillStyle::None);
    for (const Part& part : parts) {
      s.SetBrushColour(part.colour);
      if (picture == &out.runs) {
        s.Discs(centres, part.begin, part.end, part.r);
      } else {
        for (uint32_t k = part.begin; k < part.end; ++k) {
          const op::Ellipse e = DiscBox((*centres)[k], part.r);
          s.Ellipse(e.x1, e.y1, e.x2, e.y2);
        }
      }
    }
    s.End();
  }
  return out;
}

TEST(DiscRuns, EveryWriterAndThePlaybackGiveWhatTheDiscsOneByOneGive) {
  for (uint32_t seed = 1; seed <= 5; ++seed) {
    const Recorded r = RecordBothWays(seed);
    ASSERT_LT(r.runs.Content()->ops.size(), 20u) << "the discs were not recorded as runs";
    EXPECT_EQ(OperationCount(*r.runs.Content()), r.oneByOne.Content()->ops.size());
    const PictureSnapshot a = Snapshot(r.runs), b = Snapshot(r.oneByOne);
    EXPECT_EQ(EncodeEmf(a), EncodeEmf(b)) << "seed " << seed;
    EXPECT_EQ(EncodeWmf(a), EncodeWmf(b)) << "seed " << seed;
    EXPECT_EQ(EncodeSvg(a), EncodeSvg(b)) << "seed " << seed;
    EXPECT_EQ(EncodePdf(a), EncodePdf(b)) << "seed " << seed;
    for (const QSize size : {QSize(2000, 2000), QSize(437, 391), QSize(97, 97)})
      EXPECT_EQ(RenderToImage(a, size), RenderToImage(b, size)) << "seed " << seed << " at " << size.width();
  }
}

// Discs of several colours, some not drawn, recorded as runs and one by one with a brush
// change before each new colour, between runs of plain discs.
Recorded RecordColouredBothWays(uint32_t seed) {
  std::mt19937 rng(seed);
  auto centres = std::make_shared<DiscCentres>();
  auto colours = std::make_shared<DiscColours>();
  colours->palette = {kGroupColourA, kGroupColourB, kGroupColourC};
  for (int i = 0; i < 400; ++i) {
    centres->push_back({std::uniform_int_distribution<int32_t>(-20, 2020)(rng), std::uniform_int_distribution<int32_t>(-20, 2020)(rng)});
    // Mostly runs of one colour, as files sorted by suite give, and some alone.
    const int pick = std::uniform_int_distribution<int>(0, 9)(rng);
    colours->ofCentre.push_back(pick < 6 && i > 0 ? colours->ofCentre.back() : pick == 9 ? kNoDisc : static_cast<uint8_t>(pick % 3));
  }
  const auto n = static_cast<uint32_t>(centres->size());
  const uint32_t selected = std::uniform_int_distribution<uint32_t>(0, n - 1)(rng);
  Recorded out;
  const SurfaceEnvironment env;
  for (DiagramPicture* picture : {&out.runs, &out.oneByOne}) {
    picture->SetWidth(2000);
    picture->SetHeight(2000);
    DrawingSurface s(*picture, env);
    s.SetPenStyle(FillStyle::None);
    s.Rectangle(0, 0, 2000, 2000);
    auto coloured = [&](uint32_t begin, uint32_t end) {
      if (picture == &out.runs) return s.Discs(centres, begin, end, 8, colours);
      for (uint32_t k = begin; k < end; ++k) {
        const Rgb* c = colours->Of(k);
        if (!c) continue;
        s.SetBrushColour(*c);
        const op::Ellipse e = DiscBox((*centres)[k], 8);
        s.Ellipse(e.x1, e.y1, e.x2, e.y2);
      }
    };
    coloured(0, selected);
    s.SetBrushColour(kRed);
    s.Discs(centres, selected, selected + 1, 16);
    coloured(selected + 1, n);
    s.SetBrushColour(kBlue);
    s.Discs(centres, 0, 3, 4);  // a plain run after them takes its own brush
    s.End();
  }
  return out;
}

TEST(DiscRuns, RunsOfSeveralColoursGiveWhatTheirDiscsOneByOneGive) {
  for (uint32_t seed = 1; seed <= 4; ++seed) {
    const Recorded r = RecordColouredBothWays(seed);
    ASSERT_LT(r.runs.Content()->ops.size(), 20u);
    const PictureSnapshot a = Snapshot(r.runs), b = Snapshot(r.oneByOne);
    EXPECT_EQ(EncodeSvg(a), EncodeSvg(b)) << "seed " << seed;
    EXPECT_EQ(EncodePdf(a), EncodePdf(b)) << "seed " << seed;
    for (const QSize size : {QSize(2000, 2000), QSize(437, 391), QSize(97, 97)})
      EXPECT_EQ(RenderToImage(a, size), RenderToImage(b, size)) << "seed " << seed << " at " << size.width();
    // The metafiles keep one brush per colour for the runs: other records, the same drawing.
    for (const auto& [name, bytes] : {std::pair{"emf", EncodeEmf(a)}, std::pair{"wmf", EncodeWmf(a)}}) {
      const ImportedMetafile back = ImportMetafile({reinterpret_cast<const char*>(bytes.data()), bytes.size()});
      ASSERT_EQ(back.outcome, ImportOutcome::Read) << name;
      EXPECT_EQ(RenderToImage(back.picture, QSize(500, 500)), RenderToImage(b, QSize(500, 500))) << name << " seed " << seed;
    }
  }
  // No more brushes are made than there are colours, however often they change.
  const std::vector<uint8_t> emf = EncodeEmf(Snapshot(RecordColouredBothWays(1).runs));
  const std::vector<uint8_t> oneByOne = EncodeEmf(Snapshot(RecordColouredBothWays(1).oneByOne));
  EXPECT_LT(emf.size(), oneByOne.size());
}

TEST(DiscRuns, AnEmptyRunRecordsNothingAndChangesNoState) {
  DiagramPicture picture;
  const SurfaceEnvironment env;
  {
    DrawingSurface s(picture, env);
    s.SetBrushColour(kRed);
    s.Discs(std::make_shared<DiscCentres>(3), 2, 2, 5);
    s.Discs(nullptr, 0, 4, 5);
    s.Discs(std::make_shared<DiscCentres>(3), 1, 9, 5);  // cut at the list's end
    s.End();
  }
  const PictureContent& c = *picture.Content();
  ASSERT_EQ(c.runs.size(), 1u);
  EXPECT_EQ(c.runs[0].Size(), 2u);
  EXPECT_EQ(OperationCount(c), 4u);  // brush, pen, two discs
}

}  // namespace
}  // namespace ternova
