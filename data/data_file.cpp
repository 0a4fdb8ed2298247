#include "data/data_file.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>

#include "base/regular_file.h"
#include "base/system_error.h"
#include "data/byte_order_mark.h"
#include "data/number.h"
#include "data/text_decode.h"
#include "diagram/projection.h"

namespace ternova {

namespace {

std::string FullPath(const std::string& path) {
  std::error_code ec;
  const auto absolute = std::filesystem::absolute(path, ec);
  return ec ? path : absolute.string();
}

// A cell as a message quotes it: decoded as the grid shows it, with what cannot be seen spelt
// out, and cut after 200 bytes so a runaway field (a whole file without TABs) makes a message,
// not a flood.
std::string QuotedCell(std::string_view cell, bool utf8) {
  constexpr size_t kLimit = 200;
  if (cell.size() <= kLimit) return WithInvisiblesShown(DecodeCellText(cell, utf8));
  size_t cut = kLimit;
  if (utf8)
    while (cut > 0 && (static_cast<unsigned char>(cell[cut]) & 0xC0) == 0x80) --cut;
  std::string text = DecodeCellText(cell.substr(0, cut), utf8);
  // A double-byte character cut in two decodes as a replacement mark: drop it.
  if (!utf8 && text.size() >= 3 && text.compare(text.size() - 3, 3, "\xEF\xBF\xBD") == 0) text.resize(text.size() - 3);
  return WithInvisiblesShown(text) + "…";
}

[[noreturn]] void CannotOpen(const std::string& path, int error) {
  throw LoadError(Format(kCannotOpenFile, {FullPath(path), SystemErrorText(error)}), 0);
}

// Whether some program holds the file open for writing, where the system can tell: a read lease
// is refused then. Only the file's owner (or root) may take one; elsewhere nothing is known.
bool OpenForWriting(int fd) {
  // A writer arriving while the lease is held breaks it with SIGIO, whose default ends the process.
  struct sigaction ignore {}, previous {};
  ignore.sa_handler = SIG_IGN;
  ::sigaction(SIGIO, &ignore, &previous);
  const bool leased = ::fcntl(fd, F_SETLEASE, F_RDLCK) == 0;
  const bool busy = !leased && errno == EAGAIN;
  if (leased) ::fcntl(fd, F_SETLEASE, F_UNLCK);
  ::sigaction(SIGIO, &previous, nullptr);
  return busy;
}

}  // namespace

std::shared_ptr<FileBytes> ReadWholeFile(const std::string& path) {
  // Only ordinary files hold data files: a pipe may never answer and a device never end.
  RegularFile file(path);
  if (file.Error() != 0) CannotOpen(path, file.Error());
  struct stat st {};
  if (::fstat(file.Descriptor(), &st) != 0) CannotOpen(path, errno);
  auto bytes = std::make_shared<FileBytes>();
  // Read at the file's size in one allocation; a file the kernel sizes as 0 (/proc) is read on to its end.
  bytes->resize(static_cast<size_t>(st.st_size) + 1);
  size_t used = 0;
  for (;;) {
    if (used == bytes->size()) bytes->resize(bytes->size() * 2);
    const int64_t got = file.Read(bytes->data() + used, bytes->size() - used);
    if (got < 0) CannotOpen(path, file.Error());
    used += static_cast<size_t>(got);
    if (used < bytes->size()) break;
  }
  // A file another program is writing may have been read half old, half new, or cut in the
  // middle of a line: it cannot be opened now.
  struct stat after {};
  if (::fstat(file.Descriptor(), &after) != 0) CannotOpen(path, errno);
  if (after.st_size != st.st_size || (st.st_size > 0 && used != static_cast<size_t>(st.st_size)) || after.st_mtim.tv_sec != st.st_mtim.tv_sec ||
      after.st_mtim.tv_nsec != st.st_mtim.tv_nsec || OpenForWriting(file.Descriptor()))
    CannotOpen(path, EBUSY);
  bytes->resize(used);
  return bytes;
}

int64_t CountLines(std::string_view text) {
  int64_t lines = 0;
  ForEachLine(text, [&](size_t, size_t) { ++lines; });
  return lines;
}

LoadResult LoadDataBytes(std::shared_ptr<FileBytes> bytes, LoadTarget target, char separator) {
  bytes = WithoutByteOrderMark(std::move(bytes));
  // The text ends at the first NUL byte.
  if (const void* nul = bytes->empty() ? nullptr : std::memchr(bytes->data(), '\0', bytes->size()))
    bytes->resize(static_cast<const char*>(nul) - bytes->data());
  const std::string_view text(bytes->data(), bytes->size());
  const int64_t lines = CountLines(text);
  // The sample table counts rows in 32 bits; more lines cannot be held, not even dropped quietly.
  if (lines >= INT32_MAX) throw LoadError(kNoResources, 0);
  const auto n = static_cast<int32_t>(lines);

  SampleTable& table = target.table;
  CellStore& cells = target.cells;
  table.CompletedRows = 0;
  try {
    table.Resize(n);
    cells.Reset(bytes, n);
  } catch (const std::bad_alloc&) {
    throw LoadError(kNoResources, 0);
  }
  LoadResult result;
  result.rows = n;
  int32_t row = 0;
  try {
    ForEachLine(text, [&](size_t begin, size_t end) {
      if (++row > n) return;
      cells.SetLine(row, begin, end);
      // The amounts are the line's first four fields.
      std::string_view amounts[5];
      SplitFields(text, begin, end, [&](int32_t col, size_t offset, size_t length) {
        if (col > 4) return false;
        amounts[col] = text.substr(offset, length);
        return true;
      });
      auto& values = table.SampleValues[row];
      for (int32_t col = 1; col <= 4; ++col) {
        const std::string_view cell = amounts[col];
        switch (TryParseAmount(cell, separator, values[col])) {
          case AmountStatus::Ok: break;
          case AmountStatus::Overflow: throw LoadError(kOverflow, row);
          case AmountStatus::Invalid:
            throw LoadError(Format(kNotANumber, {QuotedCell(cell, cells.Utf8())}), row);
        }
      }
      try {
        ProjectRow(target.geometry, table, row);
      } catch (const LoadError&) {
        throw;
      } catch (const Error& e) {
        throw LoadError(e.what(), row);
      }
      table.CompletedRows = row;
    });
  } catch (const LoadError& e) {
    result.error = e;
  } catch (const std::bad_alloc&) {
    result.error = LoadError(kNoResources, 0);
  }
  result.completed = table.CompletedRows;
  return result;
}

LoadResult LoadDataText(std::string_view text, LoadTarget target, char separator) {
  return LoadDataBytes(std::make_shared<FileBytes>(text.begin(), text.end()), target, separator);
}

LoadResult LoadDataFile(const std::string& path, LoadTarget target, char separator) {
  std::shared_ptr<FileBytes> bytes;
  try {
    bytes = ReadWholeFile(path);
  } catch (const std::bad_alloc&) {
    throw LoadError(kNoResources, 0);
  }
  return LoadDataBytes(std::move(bytes), target, separator);
}

}  // namespace ternova
