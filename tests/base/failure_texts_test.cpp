// Every failure the user can meet, through the operation that raises it, as the error box shows
// it (full stop appended by its rule) on a Japanese system and in English.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>

#include "base/error.h"
#include "base/system_error.h"
#include "data/data_file.h"
#include "diagram/geometry.h"
#include "picture/picture_file.h"

namespace ternova {
namespace {

namespace fs = std::filesystem;

class FailureTexts : public ::testing::Test {
 protected:
  void SetUp() override { fs::create_directories(dir); }
  void TearDown() override {
    SetLanguage("ja");
    SetWriteLimiterForTesting({});
    fs::remove_all(dir);
  }

  // The error box's text for the load of `text`, or of the file `path` when text is null.
  std::string LoadFailure(const char* text, const std::string& path = {}) {
    const DiagramGeometry geometry = ComputeDiagramGeometry();
    SampleTable table;
    CellStore cells;
    try {
      const LoadResult result = text ? LoadDataText(text, {geometry, table, cells}, '.')
                                     : LoadDataFile(path, {geometry, table, cells}, '.');
      result.ThrowIfFailed();
    } catch (const Error& e) {
      return WithFullStop(e.what());
    }
    return "(no error)";
  }

  std::string SaveFailure(const std::string& path) {
    try {
      WriteFileReplacing(path, [] { return std::vector<uint8_t>(1000, 'z'); });
    } catch (const Error& e) {
      return WithFullStop(e.what());
    }
    return "(no error)";
  }

  fs::path dir = fs::temp_directory_path() / ("ternova-texts-" + std::to_string(::getpid()));
};

TEST_F(FailureTexts, DataFileLoad) {
  struct Row {
    const char* data;
    const char* japanese;
    const char* english;
  };
  const Row rows[] = {
      {"1\tx\t1\t1\n", "'x' は浮動小数点数ではありません.", "'x' is not a valid floating-point value."},
      {"1\t1\t1\n", "'' は浮動小数点数ではありません.", "'' is not a valid floating-point value."},
      {"1e5000\t1\t1\t1\n", "'1e5000' は浮動小数点数ではありません.", "'1e5000' is not a valid floating-point value."},
      {"1e500\t1\t1\t1\n", "浮動小数点数のオーバーフロー.", "Floating-point overflow."},
      {"100\t0\t0\t0\n", "不正な浮動小数点数演算命令.", "Invalid floating-point operation."},
      {"1\t-1\t0\t5\n", "0 による浮動小数点数除算.", "Floating-point division by zero."},
      // x = 433 / 1e-300: beyond 2^63.
      {"1\t-1\t1e-300\t0\n", "不正な浮動小数点数演算命令.", "Invalid floating-point operation."},
      // UTF-16 that is no text; a field with a mark inside.
      {"\xFF\xFE" "1", "UTF-16 のテキストのバイト数が奇数です.", "The UTF-16 text has an odd number of bytes."},
      {"\xFE\xFF\x30\x42\xDC\x01", "UTF-16 のテキストの 1 行目に対のないサロゲート U+DC01 があります.",
       "Line 1 of the UTF-16 text has an unpaired surrogate U+DC01."},
      {"1\t\xEF\xBB\xBF" "1\t1\t1\n", "'<U+FEFF>1' は浮動小数点数ではありません.", "'<U+FEFF>1' is not a valid floating-point value."},
  };
  for (const Row& row : rows) {
    SetLanguage("ja");
    EXPECT_EQ(LoadFailure(row.data), row.japanese) << row.data;
    SetLanguage("en");
    EXPECT_EQ(LoadFailure(row.data), row.english) << row.data;
  }
}

TEST_F(FailureTexts, DataFileThatCannotBeOpened) {
  const std::string path = (dir / "missing.txt").string();
  const std::string system = SystemErrorText(ENOENT);
  SetLanguage("ja");
  EXPECT_EQ(LoadFailure(nullptr, path), "ファイル \"" + path + "\". " + system + " は開けません.");
  SetLanguage("en");
  EXPECT_EQ(LoadFailure(nullptr, path), "Cannot open file \"" + path + "\". " + system + ".");
  // A path that holds a placeholder is quoted as it is.
  const std::string odd = (dir / "%2 and %1.txt").string();
  EXPECT_EQ(LoadFailure(nullptr, odd), "Cannot open file \"" + odd + "\". " + system + ".");
}

TEST_F(FailureTexts, PictureFileThatCannotBeCreated) {
  const std::string path = (dir / "no-such-folder" / "net.emf").string();
  const std::string system = SystemErrorText(ENOENT);
  SetLanguage("ja");
  EXPECT_EQ(SaveFailure(path), "ファイル \"" + path + "\". " + system + " を作成できません.");
  SetLanguage("en");
  EXPECT_EQ(SaveFailure(path), "Cannot create file \"" + path + "\". " + system + ".");
}

TEST_F(FailureTexts, PictureFileWrittenShort) {
  SetWriteLimiterForTesting([](size_t n) { return n / 2; });
  const std::string path = (dir / "net.emf").string();
  SetLanguage("ja");
  EXPECT_EQ(SaveFailure(path), "ストリームへの書き込みエラー.");
  SetWriteLimiterForTesting([](size_t) { return size_t{0}; });
  SetLanguage("en");
  EXPECT_EQ(SaveFailure(path), "Error writing to the file.");
}

}  // namespace
}  // namespace ternova
