// Files a user may feed the program by mistake or malice. Each must end in a clear message or
// a correct load: never a crash, a hang, or memory beyond about twice the file's size. Every
// load runs in a child process, so its peak memory can be measured on its own.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
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
    ::alarm(120);  // a load that hangs fails the test instead of stopping it
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

// Files of a hundred megabytes or ten million lines: a few seconds each, so they run with the
// fuzzing stage of `make test` (hostile_file_test --gtest_filter='LargeFile.*'), not with every
// unit-test run.
class LargeFile : public HostileFile {};

constexpr size_t k100MB = 100u << 20;

TEST_F(LargeFile, RandomBytesEndInAClearMessage) {
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

TEST_F(LargeFile, OneHundredMegabyteLineOfLettersIsQuotedShort) {
  const std::string path = Write("letters.txt", [](std::ofstream& out) {
    const std::string chunk(1 << 20, 'a');
    for (size_t i = 0; i < 100; ++i) out << chunk;
  });
  const Outcome o = LoadInChild(path);
  EXPECT_EQ(o.row, 1);
  EXPECT_EQ(o.message, "'" + std::string(200, 'a') + "…' は浮動小数点数ではありません");
  ExpectModestMemory(o, path);
}

TEST_F(LargeFile, OneHundredMegabyteNumberOverflows) {
  const std::string path = Write("digits.txt", [](std::ofstream& out) {
    const std::string chunk(1 << 20, '7');
    for (size_t i = 0; i < 100; ++i) out << chunk;
    out << "\t1\t1\t1";
  });
  const Outcome o = LoadInChild(path);
  EXPECT_EQ(o.message, "浮動小数点数のオーバーフロー");
  ExpectModestMemory(o, path);
}

TEST_F(LargeFile, HundredMegabyteFractionStillConverts) {
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

TEST_F(LargeFile, TenMillionEmptyLinesFailAtTheFirst) {
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

// Another program truncates and rewrites the file over and over: every load is the whole file
// or refused, never a part of it.
TEST_F(HostileFile, FileRewrittenWhileReadLoadsWholeOrNotAtAll) {
  const std::string line = "45.1\t8.2\t37.9\t8.3\tpyrolite\n";
  std::string content;
  for (int i = 0; i < 400'000; ++i) content += line;  // over 8 MB: read in two halves at once
  const std::string path = Write("rewritten.txt", [&](std::ofstream& out) { out << content; });
  std::atomic<bool> stop{false};
  std::thread writer([&] {
    while (!stop) {
      std::ofstream out(path, std::ios::binary | std::ios::trunc);
      for (size_t at = 0; at < content.size() && !stop; at += 1 << 16)
        out << std::string_view(content).substr(at, 1 << 16) << std::flush;
    }
  });
  int refused = 0;
  for (int i = 0; i < 10; ++i) {
    const Outcome o = LoadInChild(path);
    if (o.loaded) {
      EXPECT_EQ(o.count, 400'000);
    } else {
      ++refused;
      EXPECT_EQ(o.row, 0);
      EXPECT_EQ(o.message, "ファイル \"" + path + "\". Device or resource busy は開けません");
    }
  }
  stop = true;
  writer.join();
  std::cout << refused << " of 10 loads refused\n";
}

// A FIFO or device named as the data file is refused before it is opened: opening a FIFO would
// wait for a writer. The nodes are made here, never in the real /dev.
TEST_F(HostileFile, PipesAndDevicesAreRefusedWithoutWaiting) {
  const std::string fifo = (dir / "pipe.txt").string();
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(LoadInChild(fifo).message, "ファイル \"" + fifo + "\". No such device は開けません");
  const std::string link = (dir / "link-to-pipe.txt").string();
  fs::create_symlink(fifo, link);
  EXPECT_EQ(LoadInChild(link).message, "ファイル \"" + link + "\". No such device は開けません");
  const std::string zero = (dir / "zero.txt").string();
  if (::mknod(zero.c_str(), S_IFCHR | 0600, makedev(1, 5)) != 0) GTEST_SKIP() << "mknod needs root";
  EXPECT_EQ(LoadInChild(zero).message, "ファイル \"" + zero + "\". No such device は開けません");
}

// Fields past the fifth are never shown: a line of millions of them, or many rows of hundreds,
// cost no more than their bytes.
TEST_F(HostileFile, FieldsNobodyShowsCostNoMoreThanTheirBytes) {
  const std::string wide = Write("wide-line.txt", [](std::ofstream& out) {
    out << "1\t1\t1\t1\tnote";
    std::string chunk;
    for (int i = 0; i < 1 << 16; ++i) chunk += "\tx";
    for (int i = 0; i < 160; ++i) out << chunk;  // 10 million fields
    out << "\n";
  });
  Outcome o = LoadInChild(wide);
  EXPECT_TRUE(o.loaded) << o.message;
  ExpectModestMemory(o, wide);

  const std::string many = Write("many-fields.txt", [](std::ofstream& out) {
    std::string row = "1\t1\t1\t1\tnote";
    for (int i = 0; i < 500; ++i) row += "\tx";
    row += "\n";
    for (int i = 0; i < 20'000; ++i) out << row;
  });
  o = LoadInChild(many);
  EXPECT_EQ(o.count, 20'000) << o.message;
  ExpectModestMemory(o, many);
}

}  // namespace
}  // namespace ternova
