// A run of discs over shared centres must give every consumer exactly what the same discs
// drawn one by one give: the window records runs, the writers' files must not change.
#include <gtest/gtest.h>

#include <random>

#include "picture/emf_writer.h"
#include "picture/pdf_writer.h"
#include "picture/qt/playback.h"
#include "picture/surface.h"
#include "picture/svg_writer.h"
#include "picture/wmf_writer.h"

namespace ternova {
namespace {

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
