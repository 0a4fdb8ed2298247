#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace ternova {

// An ordinary file opened for reading. Pipes, devices and folders are refused before anything
// opens them: opening a FIFO waits for a writer that may never come, and a device may never end.
// The open itself does not wait either, in case the name turns into a FIFO after the check, and
// the type is checked again on what was opened.
class RegularFile {
 public:
  explicit RegularFile(const std::string& path);
  ~RegularFile();
  RegularFile(const RegularFile&) = delete;
  RegularFile& operator=(const RegularFile&) = delete;

  // 0 once open; otherwise why not, as an error number (EISDIR for a folder, ENODEV for anything
  // else that is not an ordinary file).
  int Error() const { return error_; }
  // The size when it was opened; a kernel file (/proc) reports 0 and still has content.
  int64_t Size() const { return size_; }
  int Descriptor() const { return fd_; }

  // Reads from the current position until `n` bytes are in or the file ends: the count read, or
  // -1 with the reason in Error().
  int64_t Read(char* into, size_t n);
  // The same from `offset` on, leaving the position alone: several threads may read at once.
  // The reason for -1 goes to `error`.
  int64_t ReadAt(char* into, size_t n, int64_t offset, int& error) const;
  // Moves the position; false with the reason in Error() when that fails.
  bool SeekTo(int64_t offset);

 private:
  int fd_ = -1;
  int error_ = 0;
  int64_t size_ = 0;
};

}  // namespace ternova
