#include "picture/picture_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <algorithm>
#include <filesystem>
#include <iterator>

#include "base/error.h"
#include "base/system_error.h"
#include "base/visible_text.h"

namespace ternova {

namespace {

WriteLimiter& Limiter() {
  static WriteLimiter limiter;
  return limiter;
}

// The temporary file being written, for the signal handler to remove.
std::atomic<const char*> pendingTemporary{nullptr};
constexpr int kCleanupSignals[] = {SIGINT, SIGTERM, SIGHUP};

extern "C" void RemoveTemporaryAndEnd(int signal) {
  if (const char* path = pendingTemporary.load()) ::unlink(path);
  // Then end as the signal would have ended the process without us.
  struct sigaction standard {};
  standard.sa_handler = SIG_DFL;
  ::sigaction(signal, &standard, nullptr);
  ::raise(signal);
}

// Blocks the cleanup signals while it lives, so the temporary file and the handler's note of
// it appear and vanish together.
struct SignalsHeld {
  sigset_t old;
  SignalsHeld() {
    sigset_t set;
    sigemptyset(&set);
    for (int s : kCleanupSignals) sigaddset(&set, s);
    ::sigprocmask(SIG_BLOCK, &set, &old);
  }
  ~SignalsHeld() { ::sigprocmask(SIG_SETMASK, &old, nullptr); }
};

// Removes the temporary file unless it was committed, also when a signal ends the process
// meanwhile. Signals the process ignores or handles itself are left alone.
struct TempFile {
  std::string path;
  int fd = -1;
  struct sigaction previous[std::size(kCleanupSignals)] {};
  bool installed[std::size(kCleanupSignals)] {};

  TempFile() {
    for (size_t i = 0; i < std::size(kCleanupSignals); ++i) {
      if (::sigaction(kCleanupSignals[i], nullptr, &previous[i]) != 0) continue;
      if ((previous[i].sa_flags & SA_SIGINFO) || previous[i].sa_handler != SIG_DFL) continue;
      struct sigaction ours {};
      ours.sa_handler = RemoveTemporaryAndEnd;
      sigemptyset(&ours.sa_mask);
      installed[i] = ::sigaction(kCleanupSignals[i], &ours, nullptr) == 0;
    }
  }
  ~TempFile() {
    if (fd >= 0) ::close(fd);
    {
      SignalsHeld held;
      if (!path.empty()) ::unlink(path.c_str());
      pendingTemporary = nullptr;
    }
    for (size_t i = 0; i < std::size(kCleanupSignals); ++i)
      if (installed[i]) ::sigaction(kCleanupSignals[i], &previous[i], nullptr);
  }
  // mkostemp on `pattern`, noted for the handler before any signal can come in between.
  bool Create(std::string pattern) {
    SignalsHeld held;
    fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (fd < 0) return false;
    path = std::move(pattern);
    pendingTemporary = path.c_str();
    return true;
  }
  // Renames over `target`; afterwards there is nothing left to remove.
  bool CommitTo(const std::string& target) {
    SignalsHeld held;
    if (::rename(path.c_str(), target.c_str()) != 0) return false;
    path.clear();
    pendingTemporary = nullptr;
    return true;
  }
};

struct Fd {
  int fd = -1;
  ~Fd() {
    if (fd >= 0) ::close(fd);
  }
};

[[noreturn]] void WriteError() { throw Error(kStreamWriteError); }

// Writes all of [data, data + size) to `fd`, or throws the write error.
void WriteAll(int fd, const uint8_t* data, size_t size) {
  size_t done = 0;
  while (done < size) {
    size_t chunk = std::min<size_t>(size - done, size_t{1} << 24);
    if (Limiter()) chunk = std::min(chunk, Limiter()(chunk));
    const ssize_t wrote = chunk ? ::write(fd, data + done, chunk) : 0;
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) WriteError();
    done += static_cast<size_t>(wrote);
  }
}

// Copies what `from` holds, from its start, to `to`.
void CopyAll(int from, int to) {
  if (::lseek(from, 0, SEEK_SET) != 0) WriteError();
  std::vector<uint8_t> buffer(size_t{1} << 20);
  for (;;) {
    const ssize_t got = ::read(from, buffer.data(), buffer.size());
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) WriteError();
    if (got == 0) return;
    WriteAll(to, buffer.data(), static_cast<size_t>(got));
  }
}

// Closes `fd`, taking it from its owner first; a failed close is a failed write.
void CloseOrFail(int& fd) {
  const int f = fd;
  fd = -1;
  if (::close(f) != 0) WriteError();
}

// The folder part of a path ("" for a bare name).
std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return {};
  return slash == 0 ? "/" : path.substr(0, slash);
}

// The path a name ends at once every symbolic link is followed; a dangling link gives the
// missing file it points to, which a save then creates. Only the last component is followed:
// links among the folders lead to the same folder either way.
std::string FollowLinks(std::string path, int& error) {
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
    std::string to(4096, '\0');
    const ssize_t n = ::readlink(path.c_str(), to.data(), to.size());
    if (n < 0 || static_cast<size_t>(n) >= to.size()) return path;
    to.resize(static_cast<size_t>(n));
    if (to.front() != '/') {
      const std::string folder = FolderOf(path);
      if (!folder.empty()) to = (folder == "/" ? folder : folder + "/") + to;
    }
    path = std::move(to);
  }
  error = ELOOP;
  return path;
}

// A hidden name beside `target`, so the rename stays within one file system; shortened where
// the target's own name leaves no room for the suffix.
std::string TemporaryPattern(const std::string& target) {
  const std::string folder = FolderOf(target);
  std::string name = folder.empty() ? target : target.substr(target.rfind('/') + 1);
  long longest = ::pathconf(folder.empty() ? "." : folder.c_str(), _PC_NAME_MAX);
  if (longest <= 0) longest = 255;
  const size_t room = static_cast<size_t>(std::max(longest, 9L)) - 8;  // "." and ".XXXXXX"
  if (name.size() > room) name.resize(room);
  std::string pattern = folder.empty() ? std::string() : (folder == "/" ? folder : folder + "/");
  pattern += '.';
  pattern += name;
  pattern += ".XXXXXX";
  return pattern;
}

}  // namespace

std::string PictureExtension(std::string_view name) {
  const size_t sep = name.find_last_of("/\\:");
  const size_t dot = name.rfind('.');
  if (dot == std::string_view::npos || (sep != std::string_view::npos && dot < sep)) return {};
  std::string ext(name.substr(dot));
  for (char& c : ext)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return ext;
}

void SetWriteLimiterForTesting(WriteLimiter limiter) { Limiter() = std::move(limiter); }

void WriteFileReplacing(const std::string& path, const std::function<std::vector<uint8_t>()>& encode,
                        PipeTargets pipes) {
  // Everything that can fail before the first byte, or take long, comes before any file exists.
  const std::vector<uint8_t> bytes = encode();
  WriteFileReplacingStreamed(path, [&](const ByteSink& sink) { sink(bytes.data(), bytes.size()); }, pipes);
}

void WriteFileReplacingStreamed(const std::string& path, const std::function<void(const ByteSink&)>& produce,
                                PipeTargets pipes) {
  std::error_code ec;
  const std::filesystem::path absolute = std::filesystem::absolute(path, ec);
  const std::string full = ec ? path : absolute.string();
  auto cannotCreate = [&](int error) {
    throw Error(Format(kCannotCreateFile, {VisibleName(full), SystemErrorText(error)}));
  };
  auto produceInto = [&](int fd) { produce([fd](const uint8_t* data, size_t size) { WriteAll(fd, data, size); }); };

  struct stat st {};
  const bool exists = ::stat(path.c_str(), &st) == 0;
  if (!exists && errno != ENOENT) cannotCreate(errno);
  if (exists && S_ISDIR(st.st_mode)) cannotCreate(EISDIR);
  if (exists && (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode)) && pipes == PipeTargets::Refuse) cannotCreate(ENODEV);

  int loop = 0;
  const std::string target = FollowLinks(path, loop);
  if (loop) cannotCreate(loop);
  struct stat real {};
  const bool sameFile = exists && ::stat(target.c_str(), &real) == 0 && real.st_dev == st.st_dev && real.st_ino == st.st_ino;

  // A device, a FIFO, or a name that leads to no path of its own (/dev/stdout on a pipe): written
  // into, as a plain create-and-write would, never replaced.
  if (exists && (!S_ISREG(st.st_mode) || !sameFile)) {
    Fd out{::open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC | O_NOCTTY)};
    if (out.fd < 0) cannotCreate(errno);
    produceInto(out.fd);
    CloseOrFail(out.fd);
    return;
  }

  // Replacing a file needs what writing it would need: a read-only file stays as it is.
  Fd existing;
  if (exists) {
    existing.fd = ::open(target.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (existing.fd < 0) cannotCreate(errno);
  }

  TempFile temp;
  if (!temp.Create(TemporaryPattern(target))) {
    // No new file can be made beside it: the file itself is written, as QSaveFile does.
    Fd created;
    if (existing.fd < 0) {
      created.fd = ::open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOCTTY, 0666);
      if (created.fd < 0) cannotCreate(errno);
    } else if (::ftruncate(existing.fd, 0) != 0) {
      cannotCreate(errno);
    }
    int& fd = existing.fd >= 0 ? existing.fd : created.fd;
    produceInto(fd);
    if (::fsync(fd) != 0) WriteError();
    CloseOrFail(fd);
    return;
  }
  if (exists) {
    // The owner and group stay where the process may set them; the set-ID and sticky bits never come along.
    // Failing both leaves the file the process's own, as a plain create would. (A cast to void
    // does not quiet the fortified C library's unused-result warning; a test does.)
    if (::fchown(temp.fd, real.st_uid, real.st_gid) != 0 && ::fchown(temp.fd, static_cast<uid_t>(-1), real.st_gid) != 0) {
    }
    ::fchmod(temp.fd, real.st_mode & 0777);
  } else {
    // An ordinary newly created file's permissions.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(temp.fd, 0666 & ~mask);
  }

  produceInto(temp.fd);
  if (::fsync(temp.fd) != 0) WriteError();
  if (temp.CommitTo(target)) {
    CloseOrFail(temp.fd);
    return;
  }
  const int error = errno;
  // A sticky folder lets no one but the owner rename over a file, a mount point cannot be
  // renamed over at all: a file the user may write is then written in place.
  if (existing.fd < 0 || (error != EPERM && error != EACCES && error != EBUSY && error != EXDEV)) cannotCreate(error);
  if (::ftruncate(existing.fd, 0) != 0) cannotCreate(errno);
  CopyAll(temp.fd, existing.fd);
  if (::fsync(existing.fd) != 0) WriteError();
  CloseOrFail(existing.fd);
}

}  // namespace ternova
