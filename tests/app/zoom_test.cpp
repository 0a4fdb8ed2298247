// Zooming the diagram: the wheel magnifies about the pointer, a drag pans, a double click or
// Home shows the whole diagram again. What the window shows magnified is exactly the picture
// replayed at that magnification; hover and click find the symbols where they are shown.
#include <QApplication>
#include <QPainter>
#include <QTest>
#include <QWheelEvent>
#include <random>

#include "app/image_control.h"
#include "app/sample_grid.h"
#include "app/state.h"
#include "app_test_support.h"
#include "picture/display.h"
#include "picture/qt/playback.h"

namespace ternova::app::testing {
namespace {

class ZoomTest : public WindowTest {
 protected:
  ImageControl* Image() const { return form_->imgTernova; }

  // Clusters of samples that cover each other, the grid lines and the labels.
  QString CrowdedFile(int rows) {
    std::mt19937 random(17);
    std::uniform_real_distribution<double> jitter(0, 4);
    const double centres[][4] = {{50, 20, 20, 10}, {2, 95, 2, 1}, {30, 30, 30, 10}, {1, 2, 3, 94}};
    std::string text;
    for (int i = 0; i < rows; ++i) {
      const double* c = centres[i % 4];
      for (int k = 0; k < 4; ++k) text += std::to_string(c[k] + jitter(random)) + (k < 3 ? "\t" : "\n");
    }
    return WriteFile("crowded.txt", text);
  }

  void Wheel(QPoint at, int notches) {
    QWheelEvent wheel(at, Image()->mapToGlobal(at), QPoint(), QPoint(0, 120 * notches), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(Image(), &wheel);
  }
  void Mouse(QEvent::Type type, QPoint at, Qt::MouseButtons buttons) {
    QMouseEvent event(type, at, Image()->mapToGlobal(at), type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton,
                      buttons, Qt::NoModifier);
    QApplication::sendEvent(Image(), &event);
  }
  void Drag(QPoint from, QPoint to) {
    Mouse(QEvent::MouseButtonPress, from, Qt::LeftButton);
    // In steps, as a hand moves.
    for (int i = 1; i <= 4; ++i) Mouse(QEvent::MouseMove, from + (to - from) * i / 4, Qt::LeftButton);
    Mouse(QEvent::MouseButtonRelease, to, Qt::NoButton);
  }
  QPoint PixelOf(const Point& p) const {
    const DisplayMapping m = Image()->Mapping(Image()->Picture());
    return QPoint(static_cast<int>(std::floor(m.PixelX(p.x))), static_cast<int>(std::floor(m.PixelY(p.y))));
  }

  // Every operation of the picture played at the shown magnification, nothing passed over.
  // (Into the shown size: Qt cuts a line at the image's edges, and where it cuts decides a
  // pixel or two along it, so a larger image is not the same pixels cropped.)
  QImage FullReplay() {
    const PictureSnapshot picture = Image()->ShownPicture().content ? Image()->ShownPicture() : Image()->Picture();
    const DisplayMapping shown = Image()->Mapping(picture);
    QImage full(shown.Image().width, shown.Image().height, QImage::Format_ARGB32_Premultiplied);
    full.fill(Qt::transparent);
    QPainter painter(&full);
    EXPECT_TRUE(PlayPicture(painter, *picture.content, shown));
    return full;
  }

  // Pixels of the shown raster that a full replay gives otherwise.
  int DifferingFromFullReplay() {
    const QImage shown = Image()->Displayed(), full = FullReplay();
    if (shown.size() != full.size()) return INT32_MAX;
    int differing = 0;
    for (int y = 0; y < full.height(); ++y)
      for (int x = 0; x < full.width(); ++x) differing += shown.pixel(x, y) != full.pixel(x, y);
    return differing;
  }

  void ExpectLikeFullReplay(const std::string& step) {
    const QImage shown = Image()->Displayed();
    const QImage full = FullReplay();
    ASSERT_EQ(shown.size(), full.size()) << step;
    int differing = 0;
    QRect where;
    for (int y = 0; y < full.height(); ++y)
      for (int x = 0; x < full.width(); ++x)
        if (shown.pixel(x, y) != full.pixel(x, y)) {
          ++differing;
          where |= QRect(x, y, 1, 1);
        }
    EXPECT_EQ(differing, 0) << step << ": within " << where.x() << "," << where.y() << " " << where.width() << "x"
                            << where.height() << ", the view from " << Image()->Zoom().x << "," << Image()->Zoom().y;
  }
};

TEST_F(ZoomTest, TheWheelMagnifiesAboutThePointerAndShowsTheFullReplayAtThatScale) {
  Open(CrowdedFile(4000));
  ASSERT_TRUE(dialogs_->errors.empty());
  const Point crowd = State().Engine.Table.SamplePoints[1][1];
  const QPoint at = PixelOf(crowd);
  const DisplayMapping before = Image()->Mapping(Image()->Picture());
  const double logicalX = before.LogicalAtPixelX(at.x()), logicalY = before.LogicalAtPixelY(at.y());
  Wheel(at, 3);
  EXPECT_DOUBLE_EQ(Image()->Zoom().scale, 2);
  // The point under the pointer stays there.
  const DisplayMapping after = Image()->Mapping(Image()->Picture());
  EXPECT_NEAR(after.PixelX(logicalX), at.x() + 0.5, 1);
  EXPECT_NEAR(after.PixelY(logicalY), at.y() + 0.5, 1);
  ExpectLikeFullReplay("2x");
  Wheel(at, 3);
  ExpectLikeFullReplay("4x");
  // Symbols keep their size on the screen: the disc's radius in pixels is the whole view's.
  Wheel(at, 100);
  EXPECT_EQ(Image()->Zoom().scale, DisplayZoom::kMax);
  ExpectLikeFullReplay("64x");
  Wheel(at, -2);
  ExpectLikeFullReplay("out again");
  Wheel(at, -100);
  EXPECT_TRUE(Image()->Zoom().Whole());
  // The whole view again is the picture as it was first shown.
  EXPECT_EQ(Image()->Displayed(), RenderForDisplay(Image()->Picture(), Image()->size()));
  // Saving and copying still take the whole picture: the snapshot is the engine's.
  EXPECT_EQ(Image()->Picture().content.get(), Snapshot(State().Engine.Picture).content.get());
}

TEST_F(ZoomTest, ADragPansWithoutSelectingAndAShortOneStillSelects) {
  Open(CrowdedFile(400));
  const QPoint centre(Image()->width() / 2, Image()->height() / 2);
  Wheel(centre, 6);
  const DisplayZoom zoomed = Image()->Zoom();
  ASSERT_DOUBLE_EQ(zoomed.scale, 4);
  const int32_t selected = State().SelectedSample;
  Drag(centre, centre + QPoint(-60, 25));
  EXPECT_EQ(Image()->Zoom(), (DisplayZoom{4, zoomed.x + 60, zoomed.y - 25}));
  EXPECT_EQ(State().SelectedSample, selected);
  ExpectLikeFullReplay("panned");
  // A press that moves a pixel or two is a click on the sample under it.
  const int32_t row = 7;
  const QPoint sample = PixelOf(State().Engine.Table.SamplePoints[row][1]);
  ASSERT_TRUE(Image()->rect().contains(sample));
  const DisplayZoom still = Image()->Zoom();
  Drag(sample, sample + QPoint(1, 1));
  EXPECT_EQ(Image()->Zoom(), still);
  const QPointF logical = *Image()->LogicalAt(sample);
  const int32_t hit = State().Engine.SymbolAt(logical.x(), logical.y(), 1 / still.scale).row;
  EXPECT_NE(hit, 0);
  EXPECT_EQ(State().SelectedSample, hit);
}

// Two samples far apart: at 8x a point a disc's radius away from one lies inside its symbol's
// logical circle but outside the disc the screen shows, so nothing is found there.
TEST_F(ZoomTest, ADragMovesTheRasterPaintingWhatComesIntoViewAndPlaysItWholeAtRest) {
  Open(CrowdedFile(4000));
  const QPoint centre(Image()->width() / 2, Image()->height() / 2);
  Wheel(centre, 3);
  ExpectLikeFullReplay("2x");
  Mouse(QEvent::MouseButtonPress, centre, Qt::LeftButton);
  for (int step = 1; step <= 4; ++step) {
    const DisplayZoom before = Image()->Zoom();
    Mouse(QEvent::MouseMove, centre + QPoint(9 * step, -5 * step), Qt::LeftButton);
    ASSERT_NE(Image()->Zoom(), before);
    // Moved, with what came into view painted: at most a line's pixels lie one off.
    EXPECT_LT(DifferingFromFullReplay(), 400) << "step " << step;
  }
  // At rest the whole is played again.
  QTest::qWait(300);
  ExpectLikeFullReplay("at rest");
  Mouse(QEvent::MouseMove, centre + QPoint(50, -30), Qt::LeftButton);
  EXPECT_LT(DifferingFromFullReplay(), 400);
  Mouse(QEvent::MouseButtonRelease, centre + QPoint(50, -30), Qt::NoButton);
  ExpectLikeFullReplay("released");
  EXPECT_EQ(State().SelectedSample, 0);
}

TEST_F(ZoomTest, HoverAndClickFindSymbolsWhereTheMagnifiedViewShowsThem) {
  Open(WriteFile("two.txt", "50\t20\t20\t10\n10\t10\t70\t10\n"));
  const Point p = State().Engine.Table.SamplePoints[1][1];
  Wheel(PixelOf(p), 9);
  ASSERT_DOUBLE_EQ(Image()->Zoom().scale, 8);
  const DisplayMapping m = Image()->Mapping(Image()->Picture());
  const double radius = std::abs(State().SymbolSize) * m.SizeScaleX();  // pixels
  const QPoint centre = PixelOf(p);
  const QPoint beside = centre + QPoint(static_cast<int>(std::ceil(radius)) + 2, 0);
  // At the whole view the same logical point would be on the symbol.
  const QPointF logical = *Image()->LogicalAt(beside);
  ASSERT_EQ(State().Engine.SymbolAt(logical.x(), logical.y()).row, 1);
  QTest::mouseClick(Image(), Qt::LeftButton, {}, beside);
  EXPECT_EQ(State().SelectedSample, 0);
  QTest::mouseClick(Image(), Qt::LeftButton, {}, centre);
  EXPECT_EQ(State().SelectedSample, 1);
  // The selection repaints in place, exactly as a full replay at this magnification.
  ExpectLikeFullReplay("selected at 8x");
}

TEST_F(ZoomTest, SelectionsRepaintInPlaceExactlyWhenMagnified) {
  Open(CrowdedFile(4000));
  Wheel(PixelOf(State().Engine.Table.SamplePoints[1][1]), 6);
  Image()->Displayed();
  const qint64 serial = Image()->Displayed().cacheKey() >> 32;
  for (int row : {1, 5, 9, 4000, 0, 13}) {
    form_->strgridDataSelectCell(row);
    EXPECT_EQ(Image()->Displayed().cacheKey() >> 32, serial) << "row " << row << " was not repainted in place";
    ExpectLikeFullReplay("row " + std::to_string(row));
  }
}

TEST_F(ZoomTest, ADoubleClickOrHomeShowsTheWholeDiagram) {
  Open(CrowdedFile(40));
  const QPoint centre(Image()->width() / 3, Image()->height() / 3);
  Wheel(centre, 5);
  ASSERT_FALSE(Image()->Zoom().Whole());
  QTest::mouseDClick(Image(), Qt::LeftButton, {}, centre);
  EXPECT_TRUE(Image()->Zoom().Whole());
  Wheel(centre, 5);
  ASSERT_FALSE(Image()->Zoom().Whole());
  // A click gives the diagram the keys.
  QTest::mouseClick(Image(), Qt::LeftButton, {}, centre);
  QTest::keyClick(Image(), Qt::Key_Home);
  EXPECT_TRUE(Image()->Zoom().Whole());
  EXPECT_EQ(Image()->Displayed(), RenderForDisplay(Image()->Picture(), Image()->size()));
}

// Of the counted cells the view shows, the share whose colour shows at the pixel of their centre
// (grid lines and labels cover a few).
double ShareOfCellsInTheirColour(ImageControl* image, const DensityCells& cells) {
  const DiagramGeometry geometry = ComputeDiagramGeometry();
  const QImage shown = image->Displayed();
  const DisplayMapping mapping = image->Mapping(image->Picture());
  const int32_t n = cells.field.divisions;
  int checked = 0, right = 0;
  for (int f = 1; f <= 4; ++f) {
    const CellCounts& counts = cells.field.faces[f - 1];
    const Point v1 = geometry.Vertex(f, 1), v2 = geometry.Vertex(f, 2), v3 = geometry.Vertex(f, 3);
    for (int32_t j = counts.window.j0; j < counts.window.j1; ++j)
      for (int32_t i = counts.window.i0; i < counts.window.i1; ++i)
        for (const bool up : {true, false}) {
          const uint32_t count = counts.Count({i, j, up});
          if (count == 0) continue;
          const double u = i + (up ? 1 / 3.0 : 2 / 3.0), v = j + (up ? 1 / 3.0 : 2 / 3.0), w = n - u - v;
          const double x = (u * v1.x + v * v2.x + w * v3.x) / n, y = (u * v1.y + v * v2.y + w * v3.y) / n;
          const int px = static_cast<int>(std::floor(mapping.PixelX(x))), py = static_cast<int>(std::floor(mapping.PixelY(y)));
          if (!shown.rect().contains(px, py)) continue;
          const Rgb c = DensityColour(cells.field, count);
          ++checked;
          right += shown.pixel(px, py) == qRgb(c.r, c.g, c.b);
        }
  }
  EXPECT_GT(checked, 20);
  return checked ? static_cast<double>(right) / checked : 0;
}

TEST_F(ZoomTest, TheDensityViewRecountsForTheMagnifiedRegionAndSavingTakesTheWholeDiagram) {
  Open(CrowdedFile(4000));
  form_->DensityD1->trigger();
  const PictureSnapshot whole = Image()->Picture();
  const QPoint at = PixelOf(State().Engine.Table.SamplePoints[1][1]);
  auto shownCells = [&] {
    return State().Engine.ShownDensity(*State().Engine.DrawnView(), Image()->Zoom().scale, Image()->ShownRegion());
  };
  // Below twice the size the drawing itself is shown magnified.
  Wheel(at, 2);
  EXPECT_FALSE(Image()->ShownPicture().content);
  ExpectLikeFullReplay("1.6x");
  EXPECT_GT(ShareOfCellsInTheirColour(Image(), State().Engine.Density(*State().Engine.DrawnView())), 0.9);
  struct Step {
    int notches;
    int32_t divisions;
  } steps[] = {{1, 100}, {6, 400}, {100, 3200}, {-3, 1600}};
  for (const Step& step : steps) {
    Wheel(at, step.notches);
    const std::string name = std::to_string(Image()->Zoom().scale) + "x";
    ASSERT_TRUE(Image()->ShownPicture().content) << name;
    EXPECT_EQ(shownCells()->field.divisions, step.divisions) << name;
    ExpectLikeFullReplay(name);
    if (step.divisions <= 400) {
      EXPECT_GT(ShareOfCellsInTheirColour(Image(), *shownCells()), 0.9) << name;
    }
    // Saving, copying and printing take the design's picture.
    EXPECT_EQ(Image()->Picture().content.get(), whole.content.get()) << name;
  }
  // A long drag and back counts other regions, by the same colours: the view comes back as it was.
  const QImage here = Image()->Displayed();
  const auto counted = shownCells();
  Drag(at, at + QPoint(220, -180));
  const auto moved = shownCells();
  EXPECT_NE(moved, counted);
  int both = 0;
  for (int f = 0; f < 4; ++f)
    for (int32_t j = 0; j < counted->field.divisions; ++j)
      for (int32_t i = 0; i < counted->field.divisions; ++i) {
        const Cell cell{i, j, true};
        if (!counted->field.faces[f].Holds(cell) || !moved->field.faces[f].Holds(cell)) continue;
        const uint32_t c = counted->field.faces[f].Count(cell);
        if (c == 0) continue;
        ++both;
        EXPECT_EQ(DensityColour(moved->field, c), DensityColour(counted->field, c)) << "a cell of " << c;
      }
  EXPECT_GT(both, 0);
  Drag(at + QPoint(220, -180), at);
  EXPECT_EQ(Image()->Displayed(), here);
  // A short drag stays within what was counted; the picture shown is the same one.
  const PictureContent* before = Image()->ShownPicture().content.get();
  Drag(at, at + QPoint(6, 6));
  EXPECT_EQ(Image()->ShownPicture().content.get(), before);
  ExpectLikeFullReplay("dragged");
  // A selection is drawn again with the magnified cells.
  QTest::mouseClick(form_->strgridData->viewport(), Qt::LeftButton, {}, form_->strgridData->CellRect(1, 2).center());
  EXPECT_TRUE(Image()->ShownPicture().content);
  ExpectLikeFullReplay("selected");
  QTest::keyClick(Image(), Qt::Key_Home);
  EXPECT_FALSE(Image()->ShownPicture().content);
  EXPECT_EQ(Image()->Displayed(), RenderForDisplay(Image()->Picture(), Image()->size()));
  // The discs again, magnified: nothing of the density view is left.
  Wheel(at, 9);
  form_->DensityD1->trigger();
  EXPECT_FALSE(Image()->ShownPicture().content);
  ExpectLikeFullReplay("discs");
}

TEST_F(ZoomTest, TheShownRegionIsReportedWheneverTheViewChanges) {
  Open(CrowdedFile(40));
  std::vector<DisplayBox> regions;
  Image()->SetViewChanged([&](const DisplayBox& shown) { regions.push_back(shown); });
  const QPoint centre(Image()->width() / 2, Image()->height() / 2);
  Wheel(centre, 3);
  Drag(centre, centre + QPoint(30, 30));
  Image()->ResetZoom();
  // The wheel, each step of the drag, the reset.
  ASSERT_EQ(regions.size(), 6u);
  EXPECT_LT(regions[0].x1 - regions[0].x0, 1100);  // about half the 2000 units
  EXPECT_LT(regions[4].x0, regions[0].x0);
  EXPECT_EQ(regions[5].x0, 0);
  EXPECT_GE(regions[5].x1, 2000);
}

}  // namespace
}  // namespace ternova::app::testing
