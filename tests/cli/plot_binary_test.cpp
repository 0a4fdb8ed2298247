// The real ternova-plot run by a shell in a temporary folder, with the files users really have:
// links, pipes, device nodes (made here; the real /dev is never touched), read-only files,
// other users' folders, long names, closed and full standard streams.
#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <poll.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace {

namespace fs = std::filesystem;

const std::string kPlot = TERNOVA_BINARY_DIR "/cli/ternova-plot";

class PlotBinary : public ::testing::Test {
 protected:
  fs::path dir = fs::temp_directory_path() / ("ternova-plot-" + std::to_string(::getpid()) + "-" +
                                              ::testing::UnitTest::GetInstance()->current_test_info()->name());
  void SetUp() override {
    fs::create_directories(dir);
    fs::permissions(dir, fs::perms::all);  // other users' cases work in here too
    Write("data.txt", "45\t8\t38\t8\tpyrolite\n50\t26\t8\t10\tMORB\n");
  }
  void TearDown() override {
    std::system(("chmod -R u+rwx '" + dir.string() + "'").c_str());
    fs::remove_all(dir);
  }
  void Write(const std::string& name, const std::string& text) {
    std::ofstream(dir / name, std::ios::binary) << text;
  }
  std::string Read(const std::string& name) {
    std::ifstream in(dir / name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }
  // Runs `command` by the shell in the folder, $PLOT naming the program; standard output and
  // error go to out and err unless the command sends them elsewhere. Returns the exit status
  // (128 + the signal when a signal ended it).
  int Sh(const std::string& command) {
    // The messages in the program's own language, whatever the machine's.
    const std::string line = "cd '" + dir.string() + "' && PLOT='" + kPlot +
                             "' && export PLOT LANGUAGE= LC_ALL=C && { " + command +
                             "\n} >'" + (dir / ".out").string() + "' 2>'" + (dir / ".err").string() + "'";
    const int status = std::system(line.c_str());
    out = Read(".out");
    err = Read(".err");
    fs::remove(dir / ".out");
    fs::remove(dir / ".err");
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  // The same as the user nobody, where root can switch to it.
  bool CanBeNobody() { return ::geteuid() == 0 && Sh("setpriv --reuid=nobody --regid=nogroup --clear-groups true") == 0; }
  static std::string AsNobody(const std::string& command) {
    return "setpriv --reuid=nobody --regid=nogroup --clear-groups sh -c '" + command + "'";
  }
  // The folder's names, hidden ones included: no temporary file may be left.
  std::vector<std::string> Names(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
  bool IsEmf(const std::string& name) {
    const std::string bytes = Read(name);
    return bytes.size() > 44 && bytes.compare(40, 4, " EMF") == 0;
  }
  std::string out, err;
};

TEST_F(PlotBinary, ALinkStaysALinkAndItsFileGetsThePicture) {
  Write("real.emf", "earlier");
  fs::create_symlink("real.emf", dir / "link.emf");
  ASSERT_EQ(Sh("$PLOT data.txt -o link.emf"), 0) << err;
  EXPECT_TRUE(fs::is_symlink(dir / "link.emf"));
  EXPECT_TRUE(IsEmf("real.emf"));
  EXPECT_EQ(Names(dir), (std::vector<std::string>{"data.txt", "link.emf", "real.emf"}));
}

TEST_F(PlotBinary, AFifoGetsThePictureAndStaysAFifo) {
  ASSERT_EQ(::mkfifo((dir / "pipe.emf").c_str(), 0600), 0);
  // The reader gives up after ten seconds, so a replaced FIFO fails the test rather than hangs it.
  ASSERT_EQ(Sh("timeout 10 cat pipe.emf > got.emf & $PLOT data.txt -o pipe.emf; s=$?; wait; exit $s"), 0) << err;
  EXPECT_TRUE(fs::is_fifo(dir / "pipe.emf"));
  EXPECT_TRUE(IsEmf("got.emf"));
}

// /dev/full, /dev/null and /dev/stdout as users name them, made here.
TEST_F(PlotBinary, DevicesAndStandardOutputAreWrittenIntoNeverReplaced) {
  fs::create_symlink("/proc/self/fd/1", dir / "stdout");
  ASSERT_EQ(Sh("$PLOT data.txt -o stdout | od -c | head -3 > seen.txt"), 0) << err;
  EXPECT_TRUE(fs::is_symlink(dir / "stdout"));
  EXPECT_NE(Read("seen.txt").find("E   M   F"), std::string::npos) << Read("seen.txt");

  if (Sh("mknod full c 1 7 && mknod null c 1 3") != 0) GTEST_SKIP() << "making device nodes needs root";
  EXPECT_EQ(Sh("$PLOT data.txt -o full"), 1);
  EXPECT_EQ(err, "ternova-plot: ストリームへの書き込みエラー.\n");
  EXPECT_EQ(Sh("$PLOT data.txt -o null"), 0) << err;
  EXPECT_TRUE(fs::is_character_file(dir / "full"));
  EXPECT_TRUE(fs::is_character_file(dir / "null"));
}

TEST_F(PlotBinary, AReadOnlyFileIsNotReplaced) {
  if (!CanBeNobody()) GTEST_SKIP() << "needs root to act as the user nobody";
  ASSERT_EQ(Sh("mkdir own && chown nobody own && cp data.txt own/ && " + AsNobody("cd own && echo earlier > net.emf && chmod 444 net.emf")), 0);
  EXPECT_EQ(Sh(AsNobody("cd own && $PLOT data.txt -o net.emf")), 1);
  EXPECT_EQ(err, "ternova-plot: ファイル \"" + (dir / "own" / "net.emf").string() + "\". Permission denied を作成できません.\n");
  EXPECT_EQ(Read("own/net.emf"), "earlier\n");
  EXPECT_EQ(Names(dir / "own"), (std::vector<std::string>{"data.txt", "net.emf"}));
}

// Where a plain write would succeed, so does the save: the user's own file in a folder they
// cannot write to, and another user's writable file in a shared sticky folder (owner kept).
TEST_F(PlotBinary, AWritableFileIsWrittenWhereItCannotBeReplaced) {
  if (!CanBeNobody()) GTEST_SKIP() << "needs root to act as the user nobody";
  ASSERT_EQ(Sh("mkdir locked && touch locked/net.emf && chown nobody locked/net.emf && chmod 555 locked"), 0);
  EXPECT_EQ(Sh(AsNobody("$PLOT data.txt -o locked/net.emf")), 0) << err;
  EXPECT_TRUE(IsEmf("locked/net.emf"));
  EXPECT_EQ(Names(dir / "locked"), std::vector<std::string>{"net.emf"});

  ASSERT_EQ(Sh("mkdir shared && chmod 1777 shared && touch shared/net.emf && chown 1234:1234 shared/net.emf && "
               "chmod 666 shared/net.emf"),
            0);
  EXPECT_EQ(Sh(AsNobody("$PLOT data.txt -o shared/net.emf")), 0) << err;
  EXPECT_TRUE(IsEmf("shared/net.emf"));
  EXPECT_EQ(fs::status(dir / "shared" / "net.emf").permissions() & fs::perms::all, fs::perms(0666));
  struct stat st {};
  ASSERT_EQ(::stat((dir / "shared" / "net.emf").c_str(), &st), 0);
  EXPECT_EQ(st.st_uid, 1234u);
  EXPECT_EQ(Names(dir / "shared"), std::vector<std::string>{"net.emf"});
}

TEST_F(PlotBinary, TheNewFileKeepsOwnerAndPermissionsButNoSetIdBits) {
  if (::geteuid() != 0) GTEST_SKIP() << "giving files to other users needs root";
  ASSERT_EQ(Sh("echo x > setid.emf && chmod 6755 setid.emf && echo x > theirs.emf && chown 1234:1234 theirs.emf && "
               "chmod 600 theirs.emf"),
            0);
  ASSERT_EQ(Sh("$PLOT data.txt -o setid.emf && $PLOT data.txt -o theirs.emf"), 0) << err;
  struct stat st {};
  ASSERT_EQ(::stat((dir / "setid.emf").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0755u);
  ASSERT_EQ(::stat((dir / "theirs.emf").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
  EXPECT_EQ(st.st_uid, 1234u);
  EXPECT_EQ(st.st_gid, 1234u);
  EXPECT_TRUE(IsEmf("theirs.emf"));
}

TEST_F(PlotBinary, TheLongestNameSaves) {
  std::string name;
  for (int i = 0; i < 82; ++i) name += "図";  // 246 bytes
  name += ".emf";
  const std::string longest = std::string(251, 'n') + ".emf";
  ASSERT_EQ(Sh("$PLOT data.txt -o " + name + " && $PLOT data.txt -o " + longest), 0) << err;
  EXPECT_TRUE(IsEmf(name));
  EXPECT_TRUE(IsEmf(longest));
}

TEST_F(PlotBinary, TheDataFileIsNeverTheOutput) {
  const std::string data = Read("data.txt");
  fs::create_symlink("data.txt", dir / "alias.emf");
  EXPECT_EQ(Sh("$PLOT data.txt -o data.txt"), 2);
  EXPECT_NE(err.find("is the data file"), std::string::npos) << err;
  EXPECT_EQ(Sh("$PLOT data.txt -o alias.emf"), 2);
  EXPECT_EQ(Sh("$PLOT alias.emf -o ./data.txt"), 2);
  EXPECT_EQ(Read("data.txt"), data);
  EXPECT_TRUE(fs::is_symlink(dir / "alias.emf"));
}

// The output may not be what standard input reads either: a file would lose its data, a pipe
// would wait for this very program to read it.
TEST_F(PlotBinary, TheFileStandardInputReadsIsNeverTheOutput) {
  const std::string data = Read("data.txt");
  fs::create_symlink("data.txt", dir / "alias.emf");
  for (const char* command : {"$PLOT - -o data.txt < data.txt", "$PLOT - -o ./alias.emf < data.txt",
                              "$PLOT - -o /proc/self/fd/0 < data.txt", "cat data.txt | timeout 10 $PLOT - -o /proc/self/fd/0",
                              "$PLOT - -o /dev/stdin < alias.emf"}) {
    EXPECT_EQ(Sh(command), 2) << command;
    EXPECT_NE(err.find("is the data file itself (standard input)"), std::string::npos) << command << ": " << err;
    EXPECT_EQ(Read("data.txt"), data) << command;
  }
  EXPECT_TRUE(fs::is_symlink(dir / "alias.emf"));
  EXPECT_EQ(Sh("$PLOT - -o net.emf < data.txt"), 0) << err;
  EXPECT_TRUE(IsEmf("net.emf"));
  // A device keeps what is read apart from what is written.
  if (Sh("mknod null c 1 3") != 0) GTEST_SKIP() << "making device nodes needs root";
  EXPECT_EQ(Sh("$PLOT - -o null < null"), 0) << err;
}

// Closed, standard input would read as an empty table and give a diagram of nothing.
TEST_F(PlotBinary, AClosedStandardInputIsAFailure) {
  EXPECT_EQ(Sh("$PLOT - -o net.svg <&-"), 1);
  EXPECT_EQ(err, "ternova-plot: 標準入力が閉じられています.\n");
  EXPECT_EQ(Sh("$PLOT --points - <&-"), 1);
  EXPECT_EQ(out, "");
  EXPECT_EQ(err, "ternova-plot: 標準入力が閉じられています.\n");
  EXPECT_EQ(Sh("LC_ALL=en_US.UTF-8 $PLOT --points - <&-"), 1);
  EXPECT_EQ(err, "ternova-plot: Standard input is closed.\n");
  EXPECT_EQ(Names(dir), std::vector<std::string>{"data.txt"});
  EXPECT_EQ(Sh("$PLOT data.txt -o net.svg <&-"), 0) << "a named data file needs no standard input";
}

// What follows the first NUL is never read: /dev/zero is an empty table, not a flood. The limit
// on memory makes reading on a failure instead of the machine's end.
TEST_F(PlotBinary, StandardInputIsReadOnlyToItsFirstNul) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the address sanitizer needs more address space than the limit leaves";
#endif
  EXPECT_EQ(Sh("(ulimit -v 1000000; $PLOT --points - < /dev/zero)"), 0) << err;
  EXPECT_EQ(out, "");
  EXPECT_EQ(Sh("{ printf '45\\t8\\t38\\t8\\n\\0'; head -c 4G /dev/zero; } | (ulimit -v 1000000; $PLOT --points -)"), 0)
      << err;
  EXPECT_EQ(out, "1\t1\t1033\t934\n1\t2\t1433\t803\n1\t3\t567\t778\n1\t4\t1033\t1066\n");
}

// A name from a folder nobody checked reaches the terminal with its control characters spelt
// out, as a cell's are: no escape sequence retitles the terminal or writes its clipboard, and a
// message stays one line of DATAFILE:ROW: MESSAGE.
TEST_F(PlotBinary, NamesReachTheTerminalSpeltOut) {
  const std::string bad = "evil\x1b]0;pwned\x07.txt", missing = "gone\x1b]52;c;eA==\x07\n.txt";
  Write(bad, "x\t2\t3\t4\n");
  EXPECT_EQ(Sh("$PLOT --points '" + bad + "'"), 1);
  EXPECT_EQ(err, "evil<U+001B>]0;pwned<U+0007>.txt:1: 'x' は浮動小数点数ではありません.\n");
  EXPECT_EQ(Sh("$PLOT --points '" + missing + "'"), 1);
  EXPECT_EQ(err, "ternova-plot: ファイル \"" + dir.string() +
                     "/gone<U+001B>]52;c;eA==<U+0007><U+000A>.txt\". No such file or directory は開けません.\n");
  EXPECT_EQ(Sh("$PLOT data.txt -o '/nonexistent/\x1b]0;x\x07x.svg'"), 1);
  EXPECT_EQ(err, "ternova-plot: ファイル \"/nonexistent/<U+001B>]0;x<U+0007>x.svg\". No such file or directory を作成できません.\n");
  // Names and arguments the usage message repeats.
  fs::create_symlink("data.txt", dir / "\x1b[2J.emf");
  EXPECT_EQ(Sh("$PLOT data.txt -o '\x1b[2J.emf'"), 2);
  EXPECT_EQ(err.substr(0, err.find('\n') + 1), "ternova-plot: the output <U+001B>[2J.emf is the data file itself\n");
  EXPECT_EQ(Sh("$PLOT data.txt --\x1b[2J"), 2);
  EXPECT_EQ(err.substr(0, err.find('\n') + 1), "ternova-plot: unknown option --<U+001B>[2J\n");
  EXPECT_EQ(Sh("$PLOT data.txt -o a.emf '-\x07' -o b.emf"), 2);
  EXPECT_EQ(err.substr(0, err.find('\n') + 1), "ternova-plot: unknown option -<U+0007>\n");
}

TEST_F(PlotBinary, AFifoAsTheDataFileIsRefusedAtOnce) {
  ASSERT_EQ(::mkfifo((dir / "pipe.txt").c_str(), 0600), 0);
  EXPECT_EQ(Sh("timeout 10 $PLOT --points pipe.txt"), 1);
  EXPECT_EQ(err, "ternova-plot: ファイル \"" + (dir / "pipe.txt").string() + "\". No such device は開けません.\n");
}

TEST_F(PlotBinary, AFileRewrittenWhileReadIsRefusedOrWhole) {
  std::string content;
  for (int i = 0; i < 200'000; ++i) content += "45.1\t8.2\t37.9\t8.3\tpyrolite\n";
  Write("big.txt", content);
  // A writer truncates and rewrites the file for as long as the loads run; it holds the file
  // open throughout but for a moment between rewrites, so a load sees all of it or refuses.
  const pid_t writer = ::fork();
  if (writer == 0) {
    for (;;) {
      std::ofstream o(dir / "big.txt", std::ios::binary | std::ios::trunc);
      for (size_t at = 0; at < content.size(); at += 1 << 16) o << std::string_view(content).substr(at, 1 << 16) << std::flush;
    }
  }
  for (int i = 0; i < 15; ++i) {
    const int status = Sh("$PLOT --points big.txt > points.txt; s=$?; wc -l < points.txt; exit $s");
    if (status == 0) {
      EXPECT_EQ(out, "800000\n");
    } else {
      EXPECT_EQ(status, 1);
      EXPECT_EQ(err, "ternova-plot: ファイル \"" + (dir / "big.txt").string() + "\". Device or resource busy は開けません.\n");
    }
  }
  ::kill(writer, SIGKILL);
  ::waitpid(writer, nullptr, 0);
}

TEST_F(PlotBinary, StandardOutputThatCannotBeWrittenIsAFailure) {
  EXPECT_EQ(Sh("$PLOT --points data.txt >&-"), 1);
  EXPECT_EQ(err, "ternova-plot: ストリームへの書き込みエラー.\n");
  EXPECT_EQ(Sh("$PLOT --version >&-"), 1);
  EXPECT_EQ(Sh("$PLOT --points data.txt >&- 2>&-"), 1);
  EXPECT_EQ(Sh("$PLOT data.txt -o net.emf >&- 2>&-"), 0) << "nothing to write there";
  EXPECT_TRUE(IsEmf("net.emf"));
  if (Sh("mknod full c 1 7") != 0) GTEST_SKIP() << "making device nodes needs root";
  std::string many;
  for (int i = 0; i < 10'000; ++i) many += "45\t8\t38\t8\n";
  Write("many.txt", many);
  EXPECT_EQ(Sh("$PLOT --points many.txt > full"), 1);
  EXPECT_EQ(err, "ternova-plot: ストリームへの書き込みエラー.\n");
  EXPECT_TRUE(fs::is_character_file(dir / "full"));
}

TEST_F(PlotBinary, RunningOutOfMemoryIsAMessageAndLeavesNothing) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the address sanitizer needs more address space than the limit leaves";
#endif
  std::string many;
  for (int i = 0; i < 200'000; ++i) many += std::to_string(40 + i % 20) + "\t8\t" + std::to_string(30 + i % 17) + "\t8\n";
  Write("many.txt", many);
  const int status = Sh("ulimit -v 250000; $PLOT many.txt -o net.svg");
  ASSERT_TRUE(status == 0 || status == 1) << "status " << status << ": " << err;
  if (status == 1) {
    EXPECT_TRUE(err == "ternova-plot: メモリが足りません.\n" || err == "ternova-plot: システム リソースが足りません.\n") << err;
    EXPECT_EQ(Names(dir), (std::vector<std::string>{"data.txt", "many.txt"}));
  }
}

TEST_F(PlotBinary, AnInheritedWindowPlatformIsIgnored) {
  EXPECT_EQ(Sh("QT_QPA_PLATFORM=xcb DISPLAY= WAYLAND_DISPLAY= $PLOT --help"), 0) << err;
  EXPECT_EQ(Sh("QT_QPA_PLATFORM=wayland DISPLAY= WAYLAND_DISPLAY= $PLOT data.txt -o net.emf"), 0) << err;
  EXPECT_TRUE(IsEmf("net.emf"));
  EXPECT_EQ(Sh("QT_QPA_PLATFORM=wayland DISPLAY= WAYLAND_DISPLAY= $PLOT data.txt -o net.png"), 0) << err;
  EXPECT_EQ(Read("net.png").substr(0, 4), "\x89PNG");
  EXPECT_EQ(Sh("DISPLAY= $PLOT data.txt -o net.emf -platform xcb"), 2) << "not a Qt option here";
}

// Only the raster formats start the GUI toolkit: its platform plugin is never loaded for the
// others, and the pictures are the same as ever.
TEST_F(PlotBinary, OnlyRasterFormatsStartTheGuiToolkit) {
  for (const std::string name : {"net.emf", "net.wmf", "net.svg", "net.pdf", "net.png"}) {
    ASSERT_EQ(Sh("$PLOT data.txt -o " + name + " && mv " + name + " plain-" + name), 0) << err;
    ASSERT_EQ(Sh("LD_DEBUG=files $PLOT data.txt -o " + name), 0) << name;
    const bool platformLoaded = err.find("libqoffscreen") != std::string::npos;
    EXPECT_EQ(platformLoaded, name == "net.png") << name;
    EXPECT_EQ(Read(name), Read("plain-" + name)) << name;
  }
}

TEST_F(PlotBinary, RepeatedOptionsAndASecondDataFileAreUsageErrors) {
  Write("other.txt", "1\t1\t1\t1\n");
  const char* wrong[] = {
      "-o a.emf -o b.emf data.txt",       "data.txt -o a.emf --output b.emf", "data.txt --points other.txt",
      "--points data.txt --points other.txt", "data.txt -o a.emf --symbol large --symbol small",
      "data.txt -o a.emf --grid10 on --grid10 off", "data.txt -o a.emf --select 1 --select 2",
      "--decimal-separator . --decimal-separator , --points data.txt",
  };
  for (const char* args : wrong) {
    EXPECT_EQ(Sh(std::string("$PLOT ") + args), 2) << args;
    EXPECT_NE(err.find("Usage:"), std::string::npos) << args;
  }
  EXPECT_EQ(Names(dir), (std::vector<std::string>{"data.txt", "other.txt"}));
}

// A signal while the picture is written ends the program as usual and takes the temporary
// file with it. The test stops the program the moment the temporary file appears.
TEST_F(PlotBinary, AnInterruptedSaveLeavesOnlyTheEarlierFile) {
  std::string many;
  for (int i = 0; i < 300'000; ++i) many += std::to_string(40 + i % 20) + "\t8\t" + std::to_string(30 + i % 17) + "\t8\n";
  Write("many.txt", many);
  Write("net.emf", "earlier");
  int caught = 0;
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
    const int watch = ::inotify_init1(IN_CLOEXEC);
    ASSERT_GE(watch, 0);
    ASSERT_GE(::inotify_add_watch(watch, dir.c_str(), IN_CREATE), 0);
    const pid_t pid = ::fork();
    if (pid == 0) {
      ::execl(kPlot.c_str(), kPlot.c_str(), (dir / "many.txt").c_str(), "-o", (dir / "net.emf").c_str(), nullptr);
      ::_exit(127);
    }
    alignas(inotify_event) char events[4096];
    pollfd p{watch, POLLIN, 0};
    bool seen = false;
    while (!seen && ::poll(&p, 1, 20000) > 0) {
      const ssize_t n = ::read(watch, events, sizeof events);
      for (ssize_t at = 0; at < n;) {
        const auto* e = reinterpret_cast<const inotify_event*>(events + at);
        if (e->len && std::string(e->name).rfind(".net.emf", 0) == 0) seen = true;
        at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
      }
    }
    if (seen) ::kill(pid, sig);
    ::close(watch);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (WIFSIGNALED(status)) {
      ++caught;
      EXPECT_EQ(WTERMSIG(status), sig);
      EXPECT_EQ(Read("net.emf"), "earlier");
    } else {
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    }
    EXPECT_EQ(Names(dir), (std::vector<std::string>{"data.txt", "many.txt", "net.emf"}));
    Write("net.emf", "earlier");
  }
  if (caught == 0) GTEST_SKIP() << "every save finished before its signal arrived";
}

// 8-bit files are read in the system's code page: Windows-1252 on a Western system, whatever
// locales are generated here, Shift-JIS on a Japanese one and where no language is set.
TEST_F(PlotBinary, EightBitFilesAreReadInTheSystemsCodePage) {
  Write("latin.txt", "1\xA0\t2\t3\t4\tGr\xE8s du Nord\n");
  EXPECT_EQ(Sh("LC_ALL= LANG=en_US.UTF-8 $PLOT --points latin.txt"), 1);
  EXPECT_EQ(err, "latin.txt:1: '1<U+00A0>' is not a valid floating-point value.\n");
  EXPECT_EQ(Sh("LC_ALL= LANG=fr_FR.ISO-8859-15 $PLOT --points latin.txt"), 1);
  EXPECT_EQ(err, "latin.txt:1: '1<U+00A0>' is not a valid floating-point value.\n");
  EXPECT_EQ(Sh("LC_ALL=C $PLOT --points latin.txt"), 1);
  EXPECT_EQ(err, "latin.txt:1: '1\xEF\xBF\xBD' は浮動小数点数ではありません.\n");
}

}  // namespace

