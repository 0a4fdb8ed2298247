#include "picture/picture_file.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

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
  std::string ErrorOf(const std::string& path, const std::function<std::vector<uint8_t>()>& encode,
                      PipeTargets pipes = PipeTargets::Write) {
    try {
      WriteFileReplacing(path, encode, pipes);
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

TEST_F(WriteFile, NothingIsCreatedUntilThePictureIsEncoded) {
  const fs::path target = dir / "net.emf";
  std::ofstream(target) << "earlier";
  WriteFileReplacing(target.string(), [&] {
    ExpectOnly({"net.emf"});
    return std::vector<uint8_t>{'n', 'e', 'w'};
  });
  EXPECT_EQ(Read(target), "new");
}

// The link stays a link and the file it ends at gets the picture, also through a chain of
// relative links and when that file does not exist yet.
TEST_F(WriteFile, LinksAreFollowedAndStay) {
  fs::create_directories(dir / "real");
  std::ofstream(dir / "real" / "net.emf") << "earlier";
  fs::create_symlink("real/net.emf", dir / "hop.emf");
  fs::create_symlink("hop.emf", dir / "link.emf");
  WriteFileReplacing((dir / "link.emf").string(), Bytes("new"));
  EXPECT_TRUE(fs::is_symlink(dir / "link.emf"));
  EXPECT_TRUE(fs::is_symlink(dir / "hop.emf"));
  EXPECT_EQ(Read(dir / "real" / "net.emf"), "new");
  ExpectOnly({"hop.emf", "link.emf", "real"});

  fs::create_symlink("real/later.emf", dir / "dangling.emf");
  WriteFileReplacing((dir / "dangling.emf").string(), Bytes("created"));
  EXPECT_TRUE(fs::is_symlink(dir / "dangling.emf"));
  EXPECT_EQ(Read(dir / "real" / "later.emf"), "created");

  fs::create_symlink("loop-b.emf", dir / "loop-a.emf");
  fs::create_symlink("loop-a.emf", dir / "loop-b.emf");
  const std::string loop = (dir / "loop-a.emf").string();
  EXPECT_EQ(ErrorOf(loop, Bytes("x")), "ファイル \"" + loop + "\". Too many levels of symbolic links を作成できません");
}

// A FIFO gets the bytes written into it, as a plain create-and-write would, and stays a FIFO;
// the window refuses it instead of waiting for a reader.
TEST_F(WriteFile, PipesAreWrittenIntoOrRefusedNeverReplaced) {
  const fs::path fifo = dir / "pipe.emf";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  // The reader gives up after a few quiet seconds, so a replaced FIFO fails the test, not hangs it.
  std::string received;
  std::thread reader([&] {
    const int fd = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    pollfd p{fd, POLLIN, 0};
    char buffer[4096];
    while (::poll(&p, 1, 5000) > 0) {
      const ssize_t n = ::read(fd, buffer, sizeof buffer);
      if (n <= 0) break;
      received.append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
  });
  WriteFileReplacing(fifo.string(), Bytes("through the pipe"));
  reader.join();
  EXPECT_EQ(received, "through the pipe");
  EXPECT_TRUE(fs::is_fifo(fifo));

  EXPECT_EQ(ErrorOf(fifo.string(), Bytes("x"), PipeTargets::Refuse),
            "ファイル \"" + fifo.string() + "\". No such device を作成できません");
  EXPECT_TRUE(fs::is_fifo(fifo));
  ExpectOnly({"pipe.emf"});
}

// Device nodes made here (CI runs as root; the real /dev is never touched): a full device
// reports the short write, a null device takes the bytes, and both stay devices.
TEST_F(WriteFile, DevicesAreWrittenIntoNeverReplaced) {
  const fs::path full = dir / "full", null = dir / "null";
  if (::mknod(full.c_str(), S_IFCHR | 0666, makedev(1, 7)) != 0 || ::mknod(null.c_str(), S_IFCHR | 0666, makedev(1, 3)) != 0)
    GTEST_SKIP() << "making device nodes needs root";
  EXPECT_EQ(ErrorOf(full.string(), Bytes("picture")), "ストリームへの書き込みエラー");
  WriteFileReplacing(null.string(), Bytes("picture"));
  EXPECT_TRUE(fs::is_character_file(full));
  EXPECT_TRUE(fs::is_character_file(null));
  ExpectOnly({"full", "null"});
}

TEST_F(WriteFile, SetIdAndStickyBitsAreDroppedOwnerAndGroupKept) {
  const fs::path target = dir / "net.emf";
  std::ofstream(target) << "earlier";
  ASSERT_EQ(::chmod(target.c_str(), 06755), 0);
  WriteFileReplacing(target.string(), Bytes("new"));
  struct stat st {};
  ASSERT_EQ(::stat(target.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0755u);

  if (::geteuid() != 0) GTEST_SKIP() << "giving a file to another user needs root";
  ASSERT_EQ(::chown(target.c_str(), 1234, 1234), 0);
  ASSERT_EQ(::chmod(target.c_str(), 0600), 0);
  WriteFileReplacing(target.string(), Bytes("newer"));
  ASSERT_EQ(::stat(target.c_str(), &st), 0);
  EXPECT_EQ(st.st_uid, 1234u);
  EXPECT_EQ(st.st_gid, 1234u);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
  EXPECT_EQ(Read(target), "newer");
}

TEST_F(WriteFile, NewFilesGetTheUsualPermissions) {
  const mode_t old = ::umask(022);
  WriteFileReplacing((dir / "net.emf").string(), Bytes("new"));
  ::umask(old);
  struct stat st {};
  ASSERT_EQ(::stat((dir / "net.emf").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0644u);
}

// Every name the file system takes saves, though the temporary name needs room for its suffix.
TEST_F(WriteFile, LongestNamesSave) {
  for (size_t length : {247u, 248u, 250u, 255u}) {
    const std::string name = std::string(length - 4, 'n') + ".emf";
    WriteFileReplacing((dir / name).string(), Bytes("x"));
    EXPECT_EQ(Read(dir / name), "x") << length;
    fs::remove(dir / name);
  }
  ExpectOnly({});
  // 82 Japanese characters and the extension: 250 bytes.
  std::string japanese;
  for (int i = 0; i < 82; ++i) japanese += "図";
  WriteFileReplacing((dir / (japanese + ".emf")).string(), Bytes("x"));
  ExpectOnly({japanese + ".emf"});
}

// A signal in the middle of writing ends the process as it would anyway, but takes the
// temporary file with it; the earlier file is untouched.
TEST_F(WriteFile, InterruptedSaveLeavesNoTemporaryFile) {
  const fs::path target = dir / "net.emf";
  std::ofstream(target) << "earlier";
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
    const pid_t pid = ::fork();
    if (pid == 0) {
      int calls = 0;
      SetWriteLimiterForTesting([&](size_t n) {
        if (calls++ == 1) ::raise(sig);
        return n;
      });
      try {
        WriteFileReplacing(target.string(), Bytes(std::string(size_t{3} << 24, 'z')));
      } catch (...) {
      }
      ::_exit(0);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == sig) << "status " << status;
    EXPECT_EQ(Read(target), "earlier");
    ExpectOnly({"net.emf"});
  }
}

// A process that ignores a signal keeps saving through it.
TEST_F(WriteFile, IgnoredSignalsLeaveTheSaveAlone) {
  const fs::path target = dir / "net.emf";
  struct sigaction ignore {}, old {};
  ignore.sa_handler = SIG_IGN;
  ::sigaction(SIGHUP, &ignore, &old);
  SetWriteLimiterForTesting([](size_t n) {
    ::raise(SIGHUP);
    return n;
  });
  WriteFileReplacing(target.string(), Bytes("kept on"));
  ::sigaction(SIGHUP, &old, nullptr);
  EXPECT_EQ(Read(target), "kept on");
  struct sigaction now {};
  ::sigaction(SIGTERM, nullptr, &now);
  EXPECT_EQ(now.sa_handler, SIG_DFL) << "the save's handler is gone afterwards";
}

}  // namespace
}  // namespace ternova
