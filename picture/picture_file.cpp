#include "picture/picture_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "base/error.h"
#include "base/system_error.h"

namespace ternova {

namespace {

WriteLimiter& Limiter() {
  static WriteLimiter limiter;
  return limiter;
}


// Removes the temporary file unless it was committed.
struct TempFile {
  std::string path;
  int fd = -1;
  bool committed = false;
  ~TempFile() {
    if (fd >= 0) ::close(fd);
    if (!committed && !path.empty()) ::unlink(path.c_str());
  }
};

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

void WriteFileReplacing(const std::string& path, const std::function<std::vector<uint8_t>()>& encode) {
  WriteFileReplacingStreamed(path, [&](const ByteSink& sink) {
    const std::vector<uint8_t> bytes = encode();
    sink(bytes.data(), bytes.size());
  });
}

void WriteFileReplacingStreamed(const std::string& path, const std::function<void(const ByteSink&)>& produce) {
  std::error_code ec;
  const std::filesystem::path target = std::filesystem::absolute(path, ec);
  const std::string full = ec ? path : target.string();
  auto cannotCreate = [&](int error) {
    throw Error(Format(kCannotCreateFile, {full, SystemErrorText(error)}));
  };
  struct stat st {};
  if (::stat(full.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) cannotCreate(EISDIR);

  TempFile temp;
  const std::filesystem::path folder = target.has_parent_path() ? target.parent_path() : ".";
  // A hidden name beside the target, so the rename stays within one file system.
  std::string hidden = ".";
  hidden += target.filename().string();
  hidden += ".XXXXXX";
  std::string pattern = (folder / hidden).string();
  temp.fd = ::mkostemp(pattern.data(), O_CLOEXEC);
  if (temp.fd < 0) cannotCreate(errno);
  temp.path = pattern;
  // The new file gets the permissions an ordinary newly created file would get.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(temp.fd, (::stat(full.c_str(), &st) == 0 ? st.st_mode : 0666 & ~mask) & 07777);

  produce([&](const uint8_t* bytes, size_t size) {
    size_t done = 0;
    while (done < size) {
      size_t chunk = std::min<size_t>(size - done, size_t{1} << 24);
      if (Limiter()) chunk = std::min(chunk, Limiter()(chunk));
      const ssize_t wrote = chunk ? ::write(temp.fd, bytes + done, chunk) : 0;
      if (wrote < 0 && errno == EINTR) continue;
      if (wrote <= 0) throw Error(kStreamWriteError);
      done += static_cast<size_t>(wrote);
    }
  });
  if (::fsync(temp.fd) != 0 || ::close(temp.fd) != 0) {
    temp.fd = -1;
    throw Error(kStreamWriteError);
  }
  temp.fd = -1;
  if (::rename(temp.path.c_str(), full.c_str()) != 0) cannotCreate(errno);
  temp.committed = true;
}

}  // namespace ternova
