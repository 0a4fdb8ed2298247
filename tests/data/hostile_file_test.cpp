// Files a user may feed the program by mistake or malice. Each must end in a clear message or
// a correct load: never a crash, a hang, or memory beyond about twice the file's size. Every
// load runs in a child process, so its peak memory can be measured on its own.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <thread>

#include "data/data_file.h"

namespace ternova {
namespace {

namespace fs = std::filesystem;

struct Outcome {
  bool loaded = false;
  int32_t count = 0;
  int32_t row = 0;
  std::string message;
  long peakKiB = 0;
};

// Loads `path` in a child process and reports what happened there.
Outcome LoadInChild(const std::string& path) {
  int pipeFds[2];
  EXPECT_EQ(::pipe(pipeFds), 0);
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::close(pipeFds[0]);
    std::string report;
    try {
      const DiagramGeometry geometry = ComputeDiagramGeometry();
      SampleTable table;
      CellStore cells;
      LoadDataFile(path, {geometry, table, cells}, '.').ThrowIfFailed();
      report = "ok\n" + std::to_string(table.SampleCount) + "\n";
    } catch (const LoadError& e) {
      report = "error\n" + std::to_string(e.Row()) + "\n" + e.what();
    }
    const char* p = report.data();
    size_t left = report.size();
    while (left > 0) {
      const ssize_t n = ::write(pipeFds[1], p, left);
      if (n <= 0) break;
      p += n;
      left -= static_cast<size_t>(n);
    }
    ::_exit(0);
  }
  ::close(pipeFds[1]);
  std::string report;
  char buf[4096];
  ssize_t n;
  while ((n = ::read(pipeFds[0], buf, sizeof buf)) > 0) report.append(buf, static_cast<size_t>(n));
  ::close(pipeFds[0]);
  int status = 0;
  rusage usage{};
  ::wait4(pid, &status, 0, &usage);
  Outcome o;
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the load crashed: status " << status;
  o.peakKiB = usage.ru_maxrss;
  const size_t first = report.find('\n');
  const size_t second = report.find('\n', first + 1);
  if (first == std::string::npos || second == std::string::npos) return o;
  o.loaded = report.substr(0, first) == "ok";
  const int32_t number = std::stoi(report.substr(first + 1, second - first - 1));
  (o.loaded ? o.count : o.row) = number;
  o.message = report.substr(second + 1);
  return o;
}

class HostileFile : public ::testing::Test {
 protected:
  fs::path dir = fs::temp_directory_path() / ("ternova-hostile-" + std::to_string(::getpid()) + "-" +
                                              ::testing::UnitTest::GetInstance()->current_test_info()->name());
  void SetUp() override {
    fs::create_directories(dir);
    std::ofstream(dir / "empty.txt");
    baselineKiB = LoadInChild((dir / "empty.txt").string()).peakKiB;
  }
  void TearDown() override { fs::remove_all(dir); }

  std::string Write(const std::string& name, const std::function<void(std::ofstream&)>& fill) {
    const fs::path p = dir / name;
    std::ofstream out(p, std::ios::binary);
    fill(out);
    return p.string();
  }
  // Peak memory beyond an empty load stays within about twice the file's size.
  void ExpectModestMemory(const Outcome& o, const std::string& path) {
#if defined(__SANITIZE_ADDRESS__)
    (void)o, (void)path;
#else
    const double fileKiB = static_cast<double>(fs::file_size(path)) / 1024;
    EXPECT_LE(o.peakKiB - baselineKiB, 2.2 * fileKiB + 8192) << "file " << fileKiB << " KiB";
#endif
  }
  long baselineKiB = 0;
};

constexpr size_t k100MB = 100u << 20;

TEST_F(HostileFile, RandomBytesEndInAClearMessage) {
  const std::string path = Write("random.txt", [](std::ofstream& out) {
    std::mt19937_64 random(3);
    std::vector<uint64_t> block(1 << 16);
    for (size_t done = 0; done < k100MB; done += block.size() * 8) {
      for (auto& w : block) w = random();
      out.write(reinterpret_cast<const char*>(block.data()), static_cast<std::streamsize>(block.size() * 8));
    }
  });
  const Outcome o = LoadInChild(path);
  EXPECT_FALSE(o.loaded);
  EXPECT_EQ(o.row, 1);
  EXPECT_NE(o.message.find("は浮動小数点数ではありません"), std::string::npos);
  EXPECT_LT(o.message.size(), 1000u);
  ExpectModestMemory(o, path);
}

TEST_F(HostileFile, OneHundredMegabyteLineOfLettersIsQuotedShort) {
  const std::string path = Write("letters.txt", [](std::ofstream& out) {
    const std::string chunk(1 << 20, 'a');
    for (size_t i = 0; i < 100; ++i) out << chunk;
  });
  const Outcome o = LoadInChild(path);
  EXPECT_EQ(o.row, 1);
  EXPECT_EQ(o.message, "'" + std::string(200, 'a') + "…' は浮動小数点数ではありません");
  ExpectModestMemory(o, path);
}

TEST_F(HostileFile, OneHundredMegabyteNumberOverflows) {
  const std::string path = Write("digits.txt", [](std::ofstream& out) {
    const std::string chunk(1 << 20, '7');
    for (size_t i = 0; i < 100; ++i) out << chunk;
    out << "\t1\t1\t1";
  });
  const Outcome o = LoadInChild(path);
  EXPECT_EQ(o.message, "浮動小数点数のオーバーフロー");
  ExpectModestMemory(o, path);
}

TEST_F(HostileFile, HundredMegabyteFractionStillConverts) {
  const std::string path = Write("fraction.txt", [](std::ofstream& out) {
    out << "0.";
    const std::string chunk(1 << 20, '3');
    for (size_t i = 0; i < 100; ++i) out << chunk;
    out << "\t1\t1\t1\n";
  });
  const Outcome o = LoadInChild(path);
  EXPECT_TRUE(o.loaded) << o.message;
  EXPECT_EQ(o.count, 1);
  ExpectModestMemory(o, path);
}

TEST_F(HostileFile, TenMillionEmptyLinesFailAtTheFirst) {
  const std::string path = Write("empty-lines.txt", [](std::ofstream& out) { out << std::string(10'000'000, '\n'); });
  const Outcome o = LoadInChild(path);
  EXPECT_EQ(o.row, 1);
  EXPECT_EQ(o.message, "'' は浮動小数点数ではありません");
  ExpectModestMemory(o, path);
}

TEST_F(HostileFile, OnlyNulsIsAnEmptyFile) {
  const std::string path = Write("nuls.txt", [](std::ofstream& out) { out << std::string(1 << 20, '\0'); });
  const Outcome o = LoadInChild(path);
  EXPECT_TRUE(o.loaded);
  EXPECT_EQ(o.count, 0);
}

TEST_F(HostileFile, DirectoriesAndDevicesAreRefused) {
  const std::pair<std::string, std::string> cases[] = {
      {dir.string(), "Is a directory"}, {"/dev/zero", "No such device"}, {"/dev/null", "No such device"}};
  for (const auto& [path, reason] : cases) {
    const Outcome o = LoadInChild(path);
    EXPECT_EQ(o.message, "ファイル \"" + path + "\". " + reason + " は開けません") << path;
  }
}

TEST_F(HostileFile, FileThatDisappearsCannotBeOpened) {
  const std::string path = Write("gone.txt", [](std::ofstream& out) { out << "1\t1\t1\t1\n"; });
  fs::remove(path);
  EXPECT_EQ(LoadInChild(path).message, "ファイル \"" + path + "\". No such file or directory は開けません");
}

TEST_F(HostileFile, FileThatGrowsWhileReadLoadsWhatWasRead) {
  const std::string line = "45.1\t8.2\t37.9\t8.3\tpyrolite\n";
  const std::string path = Write("growing.txt", [&](std::ofstream& out) {
    for (int i = 0; i < 200'000; ++i) out << line;
  });
  std::atomic<bool> stop{false};
  std::thread writer([&] {
    std::ofstream out(path, std::ios::binary | std::ios::app);
    for (int i = 0; i < 200'000 && !stop; ++i) out << line << std::flush;
  });
  const Outcome o = LoadInChild(path);
  stop = true;
  writer.join();
  if (o.loaded) {
    EXPECT_GE(o.count, 200'000);
  } else {
    EXPECT_GT(o.row, 200'000) << o.message;  // only a line cut off by the end of the read can fail
  }
}

}  // namespace
}  // namespace ternova
