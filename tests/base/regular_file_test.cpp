#include "base/regular_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <string>

namespace ternova {
namespace {

class RegularFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("regular_file_test_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::filesystem::path dir_;
};

// Each is refused before it is opened: a FIFO without a writer would otherwise wait for good.
TEST_F(RegularFileTest, RefusesWhatIsNotAnOrdinaryFile) {
  const std::string fifo = (dir_ / "pipe.emf").string();
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const struct {
    std::string path;
    int error;
  } cases[] = {{fifo, ENODEV}, {dir_.string(), EISDIR}, {(dir_ / "missing").string(), ENOENT}};
  for (const auto& c : cases) {
    RegularFile file(c.path);
    EXPECT_EQ(file.Error(), c.error) << c.path;
    EXPECT_LT(file.Descriptor(), 0) << c.path;
    char byte;
    EXPECT_EQ(file.Read(&byte, 1), -1) << c.path;
  }
}

TEST_F(RegularFileTest, ReadsInPiecesToTheEnd) {
  const std::string path = (dir_ / "a.emf").string();
  std::ofstream(path, std::ios::binary) << "0123456789";
  RegularFile file(path);
  ASSERT_EQ(file.Error(), 0);
  EXPECT_EQ(file.Size(), 10);
  char head[4], rest[16];
  ASSERT_EQ(file.Read(head, sizeof head), 4);
  EXPECT_EQ(std::string(head, 4), "0123");
  ASSERT_EQ(file.Read(rest, sizeof rest), 6);  // the end comes before the buffer is full
  EXPECT_EQ(std::string(rest, 6), "456789");
  EXPECT_EQ(file.Read(rest, sizeof rest), 0);
}

// A kernel file is an ordinary file that reports no size and still has content.
TEST_F(RegularFileTest, KernelFilesReportNoSizeButRead) {
  RegularFile file("/proc/self/status");
  ASSERT_EQ(file.Error(), 0);
  EXPECT_EQ(file.Size(), 0);
  char buffer[64];
  EXPECT_GT(file.Read(buffer, sizeof buffer), 0);
}

}  // namespace
}  // namespace ternova
