#include "cli/plot_command.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <thread>

#include "data/data_file.h"
#include "plot/layers.h"
#include "plot/plot.h"
#include "picture/freetype_text_metrics.h"
#include "picture/qt/qt_text_metrics.h"
#include "picture/system_locale.h"
#include "picture/vector_export.h"

namespace ternova {
namespace {

namespace fs = std::filesystem;

class PlotCommand : public ::testing::Test {
 protected:
  fs::path dir = fs::temp_directory_path() / ("ternova-cli-" + std::to_string(::getpid()) + "-" +
                                              ::testing::UnitTest::GetInstance()->current_test_info()->name());
  void SetUp() override { fs::create_directories(dir); }
  void TearDown() override { fs::remove_all(dir); }
  std::string Data(const std::string& text) {
    const fs::path p = dir / "data.txt";
    std::ofstream(p, std::ios::binary) << text;
    return p.string();
  }
  int Run(std::vector<std::string> args) {
    out.str("");
    err.str("");
    return RunPlotCommand(args, out, err);
  }
  std::ostringstream out, err;
};

TEST_F(PlotCommand, PointsAreOneLinePerSampleAndFace) {
  ASSERT_EQ(Run({"--points", Data("1\t1\t1\t1\tcentroid\n100\t0\t0\t0.000001\n")}), 0);
  EXPECT_EQ(out.str(),
            "1\t1\t1000\t750\n1\t2\t1433\t500\n1\t3\t567\t500\n1\t4\t1000\t1250\n"
            "2\t1\t1433\t1000\n2\t2\t1433\t1000\n2\t3\t134\t250\n2\t4\t1433\t1000\n");
  EXPECT_EQ(err.str(), "");
}

TEST_F(PlotCommand, FailedLoadNamesTheRowAndPrintsNoPoints) {
  const std::string path = Data("1\t1\t1\t1\n1\tx\t1\t1\n");
  EXPECT_EQ(Run({"--points", path}), 1);
  EXPECT_EQ(out.str(), "");
  EXPECT_EQ(err.str(), path + ":2: 'x' は浮動小数点数ではありません.\n");
  EXPECT_EQ(Run({"--points", Data("100\t0\t0\t0")}), 1);
  EXPECT_EQ(err.str(), (dir / "data.txt").string() + ":1: 不正な浮動小数点数演算命令.\n");
}

TEST_F(PlotCommand, UnreadableFileIsReportedWithoutARow) {
  const std::string path = (dir / "missing.txt").string();
  EXPECT_EQ(Run({"--points", path}), 1);
  EXPECT_EQ(err.str(), "ternova-plot: ファイル \"" + path + "\". No such file or directory は開けません.\n");
}

TEST_F(PlotCommand, DecimalSeparatorCanBeGiven) {
  ASSERT_EQ(Run({"--decimal-separator", ",", "--points", Data("1,0\t1\t1\t1")}), 0);
  EXPECT_EQ(Run({"--decimal-separator", ",", "--points", Data("1.0\t1\t1\t1")}), 1);
}

TEST_F(PlotCommand, TheNumbersOwnCharactersAreNoSeparator) {
  const std::string data = Data("1e5\t1\t1\t1\n");
  for (const char* c : {"e", "E", "0", "5", "+", "-", " ", "\t", "\r", "\n", "\x1b"}) {
    EXPECT_EQ(Run({"--decimal-separator", c, "--points", data}), 2) << static_cast<int>(*c);
    EXPECT_EQ(out.str(), "");
    EXPECT_EQ(err.str().substr(0, err.str().find('\n') + 1),
              "ternova-plot: --decimal-separator cannot be a digit, +, -, e, E, a blank or a control character\n");
  }
  EXPECT_EQ(Run({"--decimal-separator", ";", "--points", data}), 0) << err.str();
}

TEST_F(PlotCommand, WrongCommandLinesExitWithTwo) {
  const std::string data = Data("1\t1\t1\t1");
  const std::vector<std::vector<std::string>> wrong = {
      {},
      {"--points"},
      {data},
      {"--points", data, "-o", "x.emf"},
      {data, "-o"},
      {data, "-o", "x.emf", "--symbol", "huge"},
      {data, "-o", "x.emf", "--grid10", "yes"},
      {data, "-o", "x.emf", "--select", "3x"},
      {data, "-o", "x.emf", "--decimal-separator", ".."},
      {data, "-o", "x.emf", "--colour-by", "4"},
      {data, "-o", "x.emf", "--colour-by", "notes"},
      {data, "-o", "x.emf", "--colour-by"},
      {data, "-o", "x.emf", "--colour-by", "5", "--color-by", "6"},
      {data, "--frobnicate"},
      {data, data, "-o", "x.emf"},
  };
  for (const auto& args : wrong) {
    EXPECT_EQ(Run(args), 2) << ::testing::PrintToString(args);
    EXPECT_NE(err.str().find("Usage:"), std::string::npos);
  }
  EXPECT_EQ(Run({"--help"}), 0);
  EXPECT_NE(out.str().find("Exit status"), std::string::npos);
  EXPECT_EQ(Run({"--version"}), 0);
  EXPECT_EQ(out.str().rfind("ternova-plot ", 0), 0u);
}

TEST_F(PlotCommand, OutputFormatFollowsTheName) {
  const std::string data = Data("45\t8\t38\t8\tpyrolite\n50\t26\t8\t10\tMORB\n");
  const std::pair<std::string, std::string> cases[] = {
      {"net.emf", std::string(" EMF")}, {"net.WMF", std::string("\xD7\xCD\xC6\x9A")}, {"net.png", "\x89PNG"},
      {"net.bmp", "BM"},                {"net.svg", "<?xml"},                        {"net.pdf", "%PDF"},
      {"net", std::string(" EMF")},
  };
  for (const auto& [name, magic] : cases) {
    const fs::path out_path = dir / name;
    ASSERT_EQ(Run({data, "-o", out_path.string(), "--symbol", "large", "--select", "2", "--grid10", "off"}), 0)
        << name << err.str();
    std::ifstream in(out_path, std::ios::binary);
    std::string head(64, '\0');
    in.read(head.data(), 64);
    const size_t at = magic == " EMF" ? 40 : 0;
    EXPECT_EQ(head.substr(at, magic.size()), magic) << name;
  }
}

// The command line measures its labels without Qt, yet its pictures are byte for byte what the
// window records on the nominal screen, on a Japanese system and on another.
TEST_F(PlotCommand, PicturesAreTheWindowsRecording) {
  const std::string text = "45\t8\t38\t8\tpyrolite\n50\t26\t8\t10\tMORB\n";
  const std::string data = Data(text);
  const char* const savedLang = std::getenv("LANG");
  const std::string lang = savedLang ? savedLang : "";
  for (const char* locale : {"C.UTF-8", "ja_JP.UTF-8"}) {
    SCOPED_TRACE(locale);
    ::setenv("LANG", locale, 1);
    const DiagramGeometry geometry = ComputeDiagramGeometry();
    SampleTable table;
    CellStore cells;
    LoadDataText(text, {geometry, table, cells}, '.').ThrowIfFailed();
    const QtTextMetrics window;
    const SurfaceEnvironment env{ScreenInfo{}, SystemIsJapanese(), &window};
    DiagramPicture picture;
    picture.SetWidth(2000);
    picture.SetHeight(2000);
    int32_t divisions = 0;
    DrawDiagram(geometry, table, ViewState{}, divisions, picture, env);
    for (const char* name : {"net.emf", "net.wmf", "net.svg"}) {
      const fs::path path = dir / name;
      ASSERT_EQ(Run({data, "-o", path.string()}), 0) << err.str();
      std::ifstream in(path, std::ios::binary);
      const std::vector<uint8_t> written{std::istreambuf_iterator<char>(in), {}};
      EXPECT_EQ(written, EncodeVectorForName(name, Snapshot(picture))) << name;
    }
  }
  ::setenv("LANG", lang.c_str(), 1);
}

// Grouped by the note or a further field, the picture is the one the window's engine draws.
TEST_F(PlotCommand, ColourByGivesTheWindowsGroupedPicture) {
  const std::string text = "45\t8\t38\t8\tかんらん岩\tA\n50\t26\t8\t10\tMORB\tB\n46\t9\t37\t8\tかんらん岩\n";
  const std::string data = Data(text);
  const std::pair<std::string, int32_t> cases[] = {{"note", 5}, {"5", 5}, {"6", 6}, {"12", 12}};
  for (const auto& [given, column] : cases) {
    Plot window;
    window.LoadText(text, '.').ThrowIfFailed();
    const QtTextMetrics metrics;
    const SurfaceEnvironment env{ScreenInfo{}, SystemIsJapanese(), &metrics};
    ViewState view;
    view.ColourBy = column;
    window.Draw(view, env);
    for (const char* name : {"net.emf", "net.svg"}) {
      const fs::path path = dir / name;
      ASSERT_EQ(Run({data, "-o", path.string(), "--colour-by", given}), 0) << err.str();
      std::ifstream in(path, std::ios::binary);
      const std::vector<uint8_t> written{std::istreambuf_iterator<char>(in), {}};
      EXPECT_EQ(written, EncodeVectorForName(name, Snapshot(window.Picture))) << name << " " << given;
    }
  }
}

TEST_F(PlotCommand, DensityGivesTheWindowsDensityPicture) {
  const std::string text = "45\t8\t38\t8\tpyrolite\n50\t26\t8\t10\tMORB\n50\t26\t8\t10\tMORB\n-5\t50\t30\t5\tx\n";
  const std::string data = Data(text);
  const DiagramGeometry geometry = ComputeDiagramGeometry();
  SampleTable table;
  CellStore cells;
  LoadDataText(text, {geometry, table, cells}, '.').ThrowIfFailed();
  const SurfaceEnvironment env{ScreenInfo{}, SystemIsJapanese(), &InstalledFaceMetrics()};
  // The number is optional: 50 by default, as in the window; it may stand before the file.
  const struct {
    std::vector<std::string> args;
    int32_t divisions;
  } cases[] = {{{"--density", data}, 50},
               {{data, "--density", "25"}, 25},
               {{data, "--density", "100", "--select", "2"}, 100},
               {{"--density", "50", data}, 50}};
  for (const auto& c : cases) {
    ViewState view;
    view.Density = c.divisions;
    if (c.args.size() > 3) view.SelectedSample = 2;
    DiagramPicture picture;
    picture.SetWidth(2000);
    picture.SetHeight(2000);
    int32_t divisions = 0;
    DrawDiagram(geometry, table, view, divisions, picture, env);
    const fs::path path = dir / "density.emf";
    std::vector<std::string> args = c.args;
    args.insert(args.end(), {"-o", path.string()});
    ASSERT_EQ(Run(args), 0) << err.str();
    std::ifstream in(path, std::ios::binary);
    const std::vector<uint8_t> written{std::istreambuf_iterator<char>(in), {}};
    EXPECT_EQ(written, EncodeVectorForName("density.emf", Snapshot(picture))) << c.divisions;
  }
  EXPECT_EQ(Run({data, "-o", (dir / "x.emf").string(), "--density", "30"}), 2);  // "30" is a second data file
}

TEST_F(PlotCommand, FailedLoadWritesNoPicture) {
  const fs::path target = dir / "net.emf";
  EXPECT_EQ(Run({Data("1\t1\t1"), "-o", target.string()}), 1);
  EXPECT_FALSE(fs::exists(target));
}

TEST_F(PlotCommand, FailedSaveExitsWithOne) {
  const std::string target = (dir / "no-folder" / "net.emf").string();
  EXPECT_EQ(Run({Data("1\t1\t1\t1"), "-o", target}), 1);
  EXPECT_EQ(err.str(), "ternova-plot: ファイル \"" + target + "\". No such file or directory を作成できません.\n");
}

// `-` reads the data from standard input, as a pipe from the clipboard would give it.
class PlotFromInput : public PlotCommand {
 protected:
  int RunWith(const std::string& input, std::vector<std::string> args) {
    out.str("");
    err.str("");
    std::istringstream in(input);
    return RunPlotCommand(args, in, out, err);
  }
};

TEST_F(PlotFromInput, GivesThePointsAndPictureOfTheSameBytesInAFile) {
  // More than one read's worth, with a CR LF line and a note.
  std::string text = "42.71\t0.00\t57.29\t0.00\tForsterite\r\n";
  for (int r = 0; r < 5000; ++r) text += std::to_string(10 + r % 50) + "\t20\t" + std::to_string(r % 7) + "\t5\n";
  ASSERT_EQ(Run({"--points", Data(text)}), 0) << err.str();
  const std::string fromFile = out.str();
  ASSERT_EQ(RunWith(text, {"--points", "-"}), 0) << err.str();
  EXPECT_EQ(out.str(), fromFile);

  const fs::path a = dir / "a.emf", b = dir / "b.emf";
  ASSERT_EQ(Run({Data(text), "-o", a.string(), "--select", "1"}), 0);
  ASSERT_EQ(RunWith(text, {"-", "-o", b.string(), "--select", "1"}), 0) << err.str();
  std::ifstream fa(a, std::ios::binary), fb(b, std::ios::binary);
  EXPECT_TRUE(std::equal(std::istreambuf_iterator<char>(fa), {}, std::istreambuf_iterator<char>(fb), {}));
}

TEST_F(PlotFromInput, ErrorsNameStandardInputAndEmptyInputIsAnEmptyTable) {
  EXPECT_EQ(RunWith("1\t2\t3\t4\nSiO2\t2\t3\t4\n", {"--points", "-"}), 1);
  EXPECT_EQ(err.str(), "(standard input):2: 'SiO2' は浮動小数点数ではありません.\n");
  EXPECT_EQ(RunWith("", {"--points", "-"}), 0);
  EXPECT_EQ(out.str(), "");
  // A stream that breaks is a failure, not an empty table.
  std::istringstream broken("1\t2\t3\t4\n");
  broken.setstate(std::ios::badbit);
  EXPECT_EQ(RunPlotCommand({"--points", "-"}, broken, out, err), 1);
  EXPECT_EQ(err.str(), "ternova-plot: ファイル \"(standard input)\". Input/output error は開けません.\n");
  EXPECT_EQ(RunWith("", {"-", "-", "-o", "x.emf"}), 2);
}

// Standard input through a pipe, fed by a writer that ends when the reading end goes.
class PlotFromPipe : public PlotCommand {
 protected:
  void SetUp() override {
    PlotCommand::SetUp();
    std::signal(SIGPIPE, SIG_IGN);  // the writer sees EPIPE instead
  }
  // Runs with `text` and then `rest` repeated `times` written into standard input; `written`
  // is what the writer got into the pipe before the program stopped reading.
  int RunFed(std::vector<std::string> args, const std::string& text, const std::string& rest, size_t times,
             size_t limit) {
    int ends[2];
    EXPECT_EQ(::pipe(ends), 0);
    written = 0;
    std::thread writer([&, w = ends[1]] {
      auto put = [&](const std::string& bytes) {
        for (size_t at = 0; at < bytes.size();) {
          const ssize_t n = ::write(w, bytes.data() + at, bytes.size() - at);
          if (n <= 0) return false;
          at += static_cast<size_t>(n);
          written += static_cast<size_t>(n);
        }
        return true;
      };
      if (put(text))
        for (size_t i = 0; i < times && put(rest); ++i) {}
      ::close(w);
    });
    out.str("");
    err.str("");
    const int status = RunPlotCommand(args, out, err, {.descriptor = ends[0], .closed = false, .limit = limit});
    ::close(ends[0]);
    writer.join();
    return status;
  }
  size_t written = 0;
};

TEST_F(PlotFromPipe, ReadingStopsAtTheFirstNul) {
  // Sixty-four mebibytes after the NUL, of which the program takes at most one read's worth.
  const std::string block(1 << 16, 'x');
  ASSERT_EQ(RunFed({"--points", "-"}, std::string("45\t8\t38\t8\n\0", 11), block, 1024, size_t{1} << 20), 0)
      << err.str();
  EXPECT_EQ(out.str(), "1\t1\t1033\t934\n1\t2\t1433\t803\n1\t3\t567\t778\n1\t4\t1033\t1066\n");
  EXPECT_LT(written, size_t{8} << 20);
  // In UTF-16 the text ends at its first U+0000, not at the zero bytes of its characters.
  const std::string utf16("\xFF\xFE" "4\0" "5\0\t\0" "8\0\t\0" "3\0" "8\0\t\0" "8\0\n\0\0\0", 24);
  ASSERT_EQ(RunFed({"--points", "-"}, utf16, block, 1024, size_t{1} << 20), 0) << err.str();
  EXPECT_EQ(out.str(), "1\t1\t1033\t934\n1\t2\t1433\t803\n1\t3\t567\t778\n1\t4\t1033\t1066\n");
  EXPECT_LT(written, size_t{8} << 20);
}

TEST_F(PlotFromPipe, AnEndlessStreamEndsAtTheBoundAsOutOfResources) {
  std::string lines;
  for (int i = 0; i < 4096; ++i) lines += "45\t8\t38\t8\n";  // 40 KiB
  EXPECT_EQ(RunFed({"-", "-o", (dir / "y.svg").string()}, "", lines, 256, size_t{1} << 20), 1);
  EXPECT_EQ(err.str(), "ternova-plot: システム リソースが足りません.\n");
  EXPECT_LT(written, size_t{4} << 20) << "read on past the bound";
  EXPECT_FALSE(fs::exists(dir / "y.svg"));
  // Up to the bound is a table like any other.
  EXPECT_EQ(RunFed({"--points", "-"}, "", lines, 25, lines.size() * 25), 0) << err.str();
  const std::string points = out.str();
  EXPECT_EQ(std::count(points.begin(), points.end(), '\n'), 4096 * 25 * 4);
  EXPECT_EQ(RunFed({"--points", "-"}, "", lines, 25, lines.size() * 25 - 1), 1);
  EXPECT_EQ(err.str(), "ternova-plot: システム リソースが足りません.\n");
}

}  // namespace
}  // namespace ternova
