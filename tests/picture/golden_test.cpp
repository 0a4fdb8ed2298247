// The writers' exact bytes for a small diagram, against files kept in tests/picture/golden.
// After a deliberate change to what the writers put out, regenerate them with
//   TERNOVA_REGENERATE_GOLDEN=1 build/tests/picture/metafile_writer_test --gtest_filter='GoldenFile.*'
// and check the new files with the converters (emf2svg-conv, wmf2svg, pdftoppm) before committing them.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "metafile_test_support.h"
#include "picture/emf_writer.h"
#include "picture/pdf_writer.h"
#include "picture/wmf_writer.h"
#include "plot/groups.h"
#include "plot/layers.h"

namespace ternova::testing {
namespace {

std::vector<uint8_t> ReadBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteBytes(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                              static_cast<std::streamsize>(bytes.size()));
}

// Compares `actual` with the golden file `name`; on a mismatch the actual bytes are kept
// beside the build for a byte-level comparison.
void ExpectGolden(const std::string& name, const std::vector<uint8_t>& actual) {
  const std::filesystem::path golden = std::filesystem::path(TERNOVA_SOURCE_DIR) / "tests/picture/golden" / name;
  if (std::getenv("TERNOVA_REGENERATE_GOLDEN")) {
    WriteBytes(golden, actual);
    return;
  }
  const std::vector<uint8_t> expected = ReadBytes(golden);
  if (actual == expected) return;
  const std::filesystem::path kept = std::filesystem::path(TERNOVA_BINARY_DIR) / "golden-actual" / name;
  WriteBytes(kept, actual);
  size_t first = 0;
  while (first < actual.size() && first < expected.size() && actual[first] == expected[first]) ++first;
  ADD_FAILURE() << name << ": " << actual.size() << " bytes written, " << expected.size() << " in " << golden
                << "; first difference at byte " << first << ". The actual bytes are in " << kept;
}

TEST(GoldenFile, WesternDiagramIsByteForByteTheSame) {
  const DiagramCase d(false);
  ExpectGolden("diagram.emf", EncodeEmf(d.Snapshot()));
  ExpectGolden("diagram.wmf", EncodeWmf(d.Snapshot()));
  ExpectGolden("diagram.pdf", EncodePdf(d.Snapshot()));
}

TEST(GoldenFile, JapaneseDiagramIsByteForByteTheSame) {
  const DiagramCase d(true);
  ExpectGolden("diagram-ja.emf", EncodeEmf(d.Snapshot()));
  ExpectGolden("diagram-ja.wmf", EncodeWmf(d.Snapshot()));
  // Its labels are Latin: the standard face, nothing embedded.
  ExpectGolden("diagram-ja.pdf", EncodePdf(d.Snapshot()));
}

// Two groups and a legend: discs of each colour with brushes kept for the runs, the
// highlight between them, the legend's discs and texts under the symbols.
TEST(GoldenFile, GroupedDiagramIsByteForByteTheSame) {
  DiagramCase d;
  auto colours = std::make_shared<DiscColours>();
  colours->palette = {kGroupPalette[0], kGroupPalette[1]};
  colours->ofCentre = {0, 1, 0};
  const LegendEntry legend[] = {{"peridotite", 2, kGroupPalette[0], false}, {"basalt", 1, kGroupPalette[1], false}};
  const SymbolCentres centres = CollectSymbolCentres(d.table);
  int32_t divisions = 0;
  d.view.ColourBy = 5;
  DrawLayers(kLayers, d.geometry, d.table, centres, d.view, divisions, d.picture, d.env, nullptr, colours, legend);
  ExpectGolden("grouped.emf", EncodeEmf(d.Snapshot()));
  ExpectGolden("grouped.wmf", EncodeWmf(d.Snapshot()));
}

TEST(GoldenFile, DensityDiagramIsByteForByteTheSame) {
  const DensityCase d;
  ExpectGolden("density.emf", EncodeEmf(d.Snapshot()));
  ExpectGolden("density.wmf", EncodeWmf(d.Snapshot()));
}

// Cells of one colour are one record, whatever their number: the file does not grow with the
// samples.
TEST(DensityRecords, OnePolyPolygonPerColourInBothFormats) {
  const DensityCase d(20000, 100);
  size_t colours = 0;
  for (const PictureOp& o : d.picture.Content()->ops) colours += std::holds_alternative<op::Polygons>(o);
  ASSERT_GT(colours, 20u);
  const std::vector<uint8_t> emf = EncodeEmf(d.Snapshot()), wmf = EncodeWmf(d.Snapshot());
  size_t emfRecords = 0, wmfRecords = 0;
  for (size_t at = 0; at + 8 <= emf.size();) {
    const uint32_t type = emf[at] | emf[at + 1] << 8 | emf[at + 2] << 16 | uint32_t{emf[at + 3]} << 24;
    const uint32_t size = emf[at + 4] | emf[at + 5] << 8 | emf[at + 6] << 16 | uint32_t{emf[at + 7]} << 24;
    emfRecords += type == 91;  // EMR_POLYPOLYGON16
    ASSERT_GE(size, 8u);
    at += size;
  }
  for (size_t at = 22 + 18; at + 6 <= wmf.size();) {
    const uint32_t words = wmf[at] | wmf[at + 1] << 8 | wmf[at + 2] << 16 | uint32_t{wmf[at + 3]} << 24;
    wmfRecords += (wmf[at + 4] | wmf[at + 5] << 8) == 0x0538;  // META_POLYPOLYGON
    ASSERT_GE(words, 3u);
    at += 2 * size_t{words};
  }
  EXPECT_EQ(emfRecords, colours);
  EXPECT_EQ(wmfRecords, colours);
  EXPECT_LT(emf.size(), 2'000'000u);
  EXPECT_LT(wmf.size(), 2'000'000u);
}

}  // namespace
}  // namespace ternova::testing
