#include "picture/picture_file.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "base/error.h"

namespace ternova {
namespace {

namespace fs = std::filesystem;

TEST(PictureExtension, TakesTheLastDotAfterTheLastSeparator) {
  const std::pair<const char*, const char*> cases[] = {
      {"net.emf", ".emf"},          {"/home/a/Net.WMF", ".wmf"}, {"C:\\Plots\\Net.WmF", ".wmf"},
      {"a.b/net", ""},              {"dir.d\\net", ""},          {"c:net.bmp", ".bmp"},
      {"archive.tar.wmf", ".wmf"},  {"net.", "."},               {"", ""},
      {"net.wmf.emf", ".emf"},      {"x:y.Ico", ".ico"},         {"dir.wmf/", ""},
  };
  for (const auto& [name, ext] : cases) EXPECT_EQ(PictureExtension(name), ext) << name;
}

class WriteFile : public ::testing::Test {
 protected:
  fs::path dir = fs::temp_directory_path() / ("ternova-save-" + std::to_string(::getpid()) + "-" +
                                              ::testing::UnitTest::GetInstance()->current_test_info()->name());
  void SetUp() override { fs::create_directories(dir); }
  void TearDown() override {
    SetWriteLimiterForTesting({});
    fs::remove_all(dir);
  }
  static std::string Read(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }
  // The folder holds exactly `names`: no temporary file is left behind.
  void ExpectOnly(std::initializer_list<std::string> names) {
    std::vector<std::string> found;
    for (const auto& e : fs::directory_iterator(dir)) found.push_back(e.path().filename().string());
    std::sort(found.begin(), found.end());
    EXPECT_EQ(found, std::vector<std::string>(names));
  }
  static std::function<std::vector<uint8_t>()> Bytes(std::string s) {
    return [s] { return std::vector<uint8_t>(s.begin(), s.end()); };
  }
  std::string ErrorOf(const std::string& path, const std::function<std::vector<uint8_t>()>& encode) {
    try {
      WriteFileReplacing(path, encode);
    } catch (const Error& e) {
      return e.what();
    }
    return "no error";
  }
};

TEST_F(WriteFile, ReplacesTheEarlierFileWhole) {
  const fs::path target = dir / "net.emf";
  std::ofstream(target) << "an earlier, longer picture";
  WriteFileReplacing(target.string(), Bytes("new"));
  EXPECT_EQ(Read(target), "new");
  ExpectOnly({"net.emf"});
}

TEST_F(WriteFile, MissingFolderCannotBeCreated) {
  const std::string path = (dir / "no-such-folder" / "net.emf").string();
  EXPECT_EQ(ErrorOf(path, Bytes("x")), "ファイル \"" + path + "\". No such file or directory を作成できません");
}

TEST_F(WriteFile, DirectoryNameCannotBeCreated) {
  fs::create_directories(dir / "net.emf");
  const std::string path = (dir / "net.emf").string();
  EXPECT_EQ(ErrorOf(path, Bytes("x")), "ファイル \"" + path + "\". Is a directory を作成できません");
  EXPECT_TRUE(fs::is_directory(dir / "net.emf"));
  ExpectOnly({"net.emf"});
}

TEST_F(WriteFile, ShortWriteKeepsTheEarlierFileAndLeavesNoTemporary) {
  const fs::path target = dir / "net.wmf";
  std::ofstream(target) << "earlier";
  int calls = 0;
  SetWriteLimiterForTesting([&](size_t n) { return calls++ == 0 ? n / 2 : 0; });
  EXPECT_EQ(ErrorOf(target.string(), Bytes(std::string(1000, 'z'))), "ストリームへの書き込みエラー");
  EXPECT_EQ(Read(target), "earlier");
  ExpectOnly({"net.wmf"});
}

TEST_F(WriteFile, FailedConversionKeepsTheEarlierFile) {
  const fs::path target = dir / "net.wmf";
  std::ofstream(target) << "earlier";
  EXPECT_EQ(ErrorOf(target.string(), [] () -> std::vector<uint8_t> { throw Error("システム リソースが足りません"); }),
            "システム リソースが足りません");
  EXPECT_EQ(Read(target), "earlier");
  ExpectOnly({"net.wmf"});
}

TEST_F(WriteFile, RelativeNameIsReportedWithItsFullPath) {
  const fs::path old = fs::current_path();
  fs::current_path(dir);
  const std::string message = ErrorOf("missing/net.emf", Bytes("x"));
  fs::current_path(old);
  EXPECT_EQ(message, "ファイル \"" + (dir / "missing/net.emf").string() + "\". No such file or directory を作成できません");
}

// A real full file system, where the machine lets the test mount one.
TEST_F(WriteFile, FullFileSystemKeepsTheEarlierFile) {
  const fs::path mount = dir / "small";
  fs::create_directories(mount);
  if (::geteuid() != 0 || std::system(("mount -t tmpfs -o size=64k tmpfs " + mount.string() + " 2>/dev/null").c_str()) != 0)
    GTEST_SKIP() << "cannot mount a small tmpfs here";
  const fs::path target = mount / "net.emf";
  std::ofstream(target) << "earlier";
  const std::string message = ErrorOf(target.string(), Bytes(std::string(1 << 20, 'z')));
  const std::string content = Read(target);
  std::vector<std::string> left;
  for (const auto& e : fs::directory_iterator(mount)) left.push_back(e.path().filename().string());
  std::system(("umount " + mount.string()).c_str());
  EXPECT_EQ(message, "ストリームへの書き込みエラー");
  EXPECT_EQ(content, "earlier");
  EXPECT_EQ(left, std::vector<std::string>{"net.emf"});
}

}  // namespace
}  // namespace ternova
