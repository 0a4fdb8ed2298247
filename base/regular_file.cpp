#include "base/regular_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace ternova {

namespace {

int NotOrdinary(const struct stat& st) {
  if (S_ISDIR(st.st_mode)) return EISDIR;
  return S_ISREG(st.st_mode) ? 0 : ENODEV;
}

// Reads until `n` bytes are in or the file ends, one call of `once` (into, bytes left, bytes
// already in) at a time: the count, or -1 with the reason in `error`.
template <typename Once>
int64_t ReadFully(char* into, size_t n, int& error, Once once) {
  size_t used = 0;
  while (used < n) {
    const ssize_t got = once(into + used, n - used, used);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      error = errno;
      return -1;
    }
    if (got == 0) break;
    used += static_cast<size_t>(got);
  }
  return static_cast<int64_t>(used);
}

}  // namespace

RegularFile::RegularFile(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    error_ = errno;
    return;
  }
  if ((error_ = NotOrdinary(st)) != 0) return;
  fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd_ < 0) {
    error_ = errno;
    return;
  }
  if (::fstat(fd_, &st) != 0) error_ = errno;
  else error_ = NotOrdinary(st);
  if (error_ != 0) {
    ::close(fd_);
    fd_ = -1;
    return;
  }
  size_ = st.st_size;
}

RegularFile::~RegularFile() {
  if (fd_ >= 0) ::close(fd_);
}

int64_t RegularFile::Read(char* into, size_t n) {
  if (fd_ < 0) return -1;
  return ReadFully(into, n, error_, [this](char* at, size_t left, size_t) { return ::read(fd_, at, left); });
}

int64_t RegularFile::ReadAt(char* into, size_t n, int64_t offset, int& error) const {
  if (fd_ < 0) return -1;
  return ReadFully(into, n, error, [&](char* at, size_t left, size_t used) {
    return ::pread(fd_, at, left, static_cast<off_t>(offset + static_cast<int64_t>(used)));
  });
}

bool RegularFile::SeekTo(int64_t offset) {
  if (fd_ < 0) return false;
  if (::lseek(fd_, static_cast<off_t>(offset), SEEK_SET) == static_cast<off_t>(offset)) return true;
  error_ = errno;
  return false;
}

}  // namespace ternova
