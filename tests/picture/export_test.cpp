#include "picture/qt/export.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QImageReader>
#include <QSvgRenderer>

#include "plot/layers.h"
#include "picture/qt/qt_text_metrics.h"

namespace ternova {
namespace {

class Export : public ::testing::Test {
 protected:
  void SetUp() override {
    picture.SetWidth(2000);
    picture.SetHeight(2000);
    int32_t divisions = 0;
    DrawDiagram(geometry, table, view, divisions, picture, env);
  }
  QByteArray Encode(const std::string& name) {
    const auto bytes = EncodeForName(name, Snapshot(picture));
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()));
  }
  static QImage ReadImage(QByteArray data, const char* format) {
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, format);
    return reader.read();
  }
  DiagramGeometry geometry = ComputeDiagramGeometry();
  SampleTable table;
  ViewState view;
  DiagramPicture picture;
  QtTextMetrics metrics;
  SurfaceEnvironment env{ScreenInfo{}, false, &metrics};
};

TEST_F(Export, MetafileNamesGetMetafiles) {
  EXPECT_EQ(Encode("net.emf").mid(40, 4), QByteArray(" EMF"));
  EXPECT_EQ(Encode("net").mid(40, 4), QByteArray(" EMF"));
  EXPECT_EQ(Encode("net.txt").mid(40, 4), QByteArray(" EMF"));
  EXPECT_EQ(Encode("net.WMF").left(4), QByteArray("\xD7\xCD\xC6\x9A"));
}

TEST_F(Export, RasterNamesGetRealImagesOfTheDiagram) {
  const QImage bmp = ReadImage(Encode("net.BMP"), "bmp");
  ASSERT_EQ(bmp.size(), QSize(2000, 2000));
  EXPECT_EQ(bmp.pixel(1433, 1000) & 0xFFFFFF, 0u);
  EXPECT_EQ(bmp.pixel(5, 5) & 0xFFFFFF, 0xFFFFFFu);
  EXPECT_EQ(ReadImage(Encode("net.ico"), "ico").size(), QSize(256, 256));
  EXPECT_EQ(ReadImage(Encode("net.png"), "png").size(), QSize(2000, 2000));
}

TEST_F(Export, VectorNamesGetSvgAndPdf) {
  QSvgRenderer svg(Encode("net.svg"));
  ASSERT_TRUE(svg.isValid());
  EXPECT_EQ(svg.viewBox(), QRect(0, 0, 2000, 2000));
  const QByteArray pdf = Encode("net.pdf");
  EXPECT_TRUE(pdf.startsWith("%PDF-"));
  EXPECT_TRUE(pdf.trimmed().endsWith("%%EOF"));
}

TEST_F(Export, EmptyPictureIsNoEnhancedMetafileAtAllAndAHeaderOnlyWmf) {
  DiagramPicture empty;
  empty.SetWidth(2000);
  empty.SetHeight(2000);
  EXPECT_TRUE(EncodeForName("net.emf", Snapshot(empty)).empty());
  const auto wmf = EncodeForName("net.wmf", Snapshot(empty));
  ASSERT_EQ(wmf.size(), 22u);
  EXPECT_EQ(wmf[20] | (wmf[21] << 8), 0x5771);
}

}  // namespace
}  // namespace ternova
