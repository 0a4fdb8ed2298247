#include "data/data_file.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <algorithm>
#include <array>
#include <atomic>
#include <filesystem>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "base/regular_file.h"
#include "base/system_error.h"
#include "base/two_cores.h"
#include "base/visible_text.h"
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
  throw LoadError(Format(kCannotOpenFile, {VisibleName(FullPath(path)), SystemErrorText(error)}), 0);
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

// A stretch of whole lines: bytes [begin, end) of the text, rows firstRow.. on; what its parse did.
struct Stretch {
  size_t begin = 0, end = 0;
  int32_t firstRow = 1, rows = 0;
  int32_t completed = 0;            // rows of the stretch converted and projected, in order
  std::optional<LoadError> error;  // the stretch's first failing row, which stopped it
};

size_t ThreadsFor(size_t bytes) {
  // Below a few megabytes a thread costs more than it saves.
  constexpr size_t kBytesPerThread = size_t{4} << 20;
  const size_t cores = std::max(1u, std::thread::hardware_concurrency());
  return std::clamp<size_t>(bytes / kBytesPerThread, 1, std::min<size_t>(cores, 8));
}

// `count` stretches of about equal size, each starting at a line's start (never between the CR
// and LF of one line end), with their line counts.
std::vector<Stretch> Stretches(std::string_view text, size_t count) {
  std::vector<Stretch> out;
  size_t begin = 0;
  for (size_t k = 1; k <= count && begin < text.size(); ++k) {
    size_t end = text.size();
    if (k < count) {
      end = std::max(begin, text.size() / count * k);
      while (end < text.size() && text[end] != '\n' && text[end] != '\r') ++end;
      if (end < text.size()) end += (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ? 2 : 1;
    }
    if (end > begin) {
      Stretch& stretch = out.emplace_back();
      stretch.begin = begin;
      stretch.end = end;
    }
    begin = end;
  }
  auto countLines = [text](Stretch& s) {
    s.rows = static_cast<int32_t>(std::min<int64_t>(CountLines(text.substr(s.begin, s.end - s.begin)), INT32_MAX));
  };
  std::vector<std::thread> threads;
  for (size_t k = 1; k < out.size(); ++k) {
    try {
      threads.emplace_back([&countLines, &s = out[k]] { countLines(s); });
    } catch (const std::system_error&) {
      countLines(out[k]);  // no thread to be had: counted here
    }
  }
  if (!out.empty()) countLines(out[0]);
  for (std::thread& t : threads) t.join();
  return out;
}

// What rows of a later stretch held before the load, to be put back when an earlier row fails.
// Sized on the loading thread, where running out of memory fails the load before it begins;
// filled by the stretch's own thread just before it overwrites them.
struct RowBackup {
  int32_t first = 0, held = 0;  // rows first..first + held - 1 held data; the rest were zeros
  std::vector<std::array<double, 5>, BigScratchAllocator<std::array<double, 5>>> values;
  std::vector<std::array<Point, 5>, BigScratchAllocator<std::array<Point, 5>>> points;

  static RowBackup For(int32_t first, int32_t lastHeld) {
    RowBackup b;
    b.first = first;
    b.held = std::max(0, lastHeld - first + 1);
    b.values.resize(static_cast<size_t>(b.held));
    b.points.resize(static_cast<size_t>(b.held));
    return b;
  }
  void Take(const SampleTable& table) {
    PrepareForWriting(values.data(), sizeof(values[0]) * values.size());
    PrepareForWriting(points.data(), sizeof(points[0]) * points.size());
    std::copy_n(table.SampleValues.begin() + first, held, values.begin());
    std::copy_n(table.SamplePoints.begin() + first, held, points.begin());
  }
  void PutBack(SampleTable& table, CellStore& cells, const Stretch& s) const {
    const int32_t touched = s.completed + (s.error ? 1 : 0);
    for (int32_t i = 0; i < touched; ++i) {
      const int32_t row = s.firstRow + i;
      table.SampleValues[row] = i < held ? values[i] : std::array<double, 5>{};
      table.SamplePoints[row] = i < held ? points[i] : std::array<Point, 5>{};
      cells.ClearLine(row);
    }
  }
};

constexpr int32_t kRowsPreparedAtOnce = 16384;

struct StretchParser {
  StretchParser(std::string_view t, LoadTarget l, char s, LoadProgress* p) : text(t), target(l), separator(s), progress(p) {}
  std::string_view text;
  LoadTarget target;
  char separator;
  LoadProgress* progress;
  std::mutex messages;  // a message may decode the whole file once to learn its encoding
  std::atomic<int32_t> failedBefore{INT32_MAX};  // the lowest failing row seen: later stretches stop

  void Parse(Stretch& s) {
    SampleTable& table = target.table;
    CellStore& cells = target.cells;
    int32_t row = s.firstRow - 1;
    const int32_t last = s.firstRow + s.rows - 1;
    // Each thread makes the fresh pages of the rows just ahead of it, many at a time: cheaper
    // than a fault per page, and a file that fails early never makes the rest.
    int32_t prepared = row;
    auto prepare = [&] {
      const int32_t from = prepared + 1;
      prepared = std::min(last, prepared + kRowsPreparedAtOnce);
      const auto count = static_cast<size_t>(prepared - from + 1);
      PrepareForWriting(&table.SampleValues[static_cast<size_t>(from)], sizeof(table.SampleValues[0]) * count);
      PrepareForWriting(&table.SamplePoints[static_cast<size_t>(from)], sizeof(table.SamplePoints[0]) * count);
    };
    try {
      ForEachLine(text.substr(0, s.end).substr(s.begin), [&](size_t b, size_t e) {
        if (++row > last || s.error) return;
        // A failure further up ends the load there, and so does the user.
        if (row > failedBefore.load(std::memory_order_relaxed) || (progress && progress->cancel.load(std::memory_order_relaxed))) {
          row = last + 1;
          return;
        }
        if (row > prepared) prepare();
        const size_t begin = s.begin + b, end = s.begin + e;
        cells.SetLine(row, begin, end);
        // The amounts are the line's first four fields.
        std::string_view amounts[5];
        SplitFields(text, begin, end, [&](int32_t col, size_t offset, size_t length) {
          amounts[col] = text.substr(offset, length);
          return col < 4;
        });
        auto& values = table.SampleValues[row];
        for (int32_t col = 1; col <= 4; ++col) {
          const std::string_view cell = amounts[col];
          switch (TryParseAmount(cell, separator, values[col])) {
            case AmountStatus::Ok: break;
            case AmountStatus::Overflow: throw LoadError(kOverflow, row);
            case AmountStatus::Invalid: {
              std::lock_guard lock(messages);
              throw LoadError(Format(kNotANumber, {QuotedCell(cell, cells.Utf8())}), row);
            }
          }
        }
        try {
          ProjectRow(target.geometry, table, row);
        } catch (const LoadError&) {
          throw;
        } catch (const Error& e) {
          throw LoadError(e.what(), row);
        }
        ++s.completed;
        if (progress && (s.completed & 1023) == 0) progress->rows.fetch_add(1024, std::memory_order_relaxed);
      });
    } catch (const LoadError& e) {
      s.error = e;
    } catch (const std::bad_alloc&) {
      s.error = LoadError(kNoResources, 0);
    }
    if (s.error) {
      int32_t seen = failedBefore.load();
      while (row < seen && !failedBefore.compare_exchange_weak(seen, row)) {}
    }
  }
};

}  // namespace

// Files of this size and more are read by two threads at once.
constexpr size_t kTwoHalvesBytes = size_t{8} << 20;

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
  // A large file is read in two halves at once: the pages the bytes go to are fresh, and
  // making them costs the system more than copying the file, so each core makes half.
  const auto size = static_cast<size_t>(st.st_size);
  if (size >= kTwoHalvesBytes) {
    const size_t half = size / 2;
    int64_t first = 0, second = 0;
    int secondError = 0;
    OnTwoCores(
        true, [&] { second = file.ReadAt(bytes->data() + half, size - half, static_cast<int64_t>(half), secondError); },
        [&] { first = file.Read(bytes->data(), half); });
    if (first < 0) CannotOpen(path, file.Error());
    if (second < 0) CannotOpen(path, secondError);
    // Cut short: the file shrank while it was read.
    if (static_cast<size_t>(first) != half || static_cast<size_t>(second) != size - half) CannotOpen(path, EBUSY);
    if (!file.SeekTo(static_cast<int64_t>(size))) CannotOpen(path, file.Error());
    used = size;
  }
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
  // Every LF ends a line, and so does every CR not followed by an LF; text after the last
  // terminator is a line of its own. Counted without stopping at each line, in blocks the
  // compiler can do many bytes at a time.
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const size_t n = text.size();
  if (n == 0) return 0;
  int64_t lines = 0;
  size_t i = 0;
  while (i + 1 < n) {
    const size_t block = std::min(n - 1 - i, size_t{4096});
    uint32_t ends = 0;  // at most 4096 per block
    for (size_t j = i; j < i + block; ++j) ends += (p[j] == '\n') | ((p[j] == '\r') & (p[j + 1] != '\n'));
    lines += ends;
    i += block;
  }
  // The last byte either ends the last line or belongs to it: one line either way.
  return lines + 1;
}

LoadResult LoadDataBytes(std::shared_ptr<FileBytes> bytes, LoadTarget target, char separator, LoadProgress* progress) {
  bytes = WithoutByteOrderMark(std::move(bytes));
  // The text ends at the first NUL byte.
  if (const void* nul = bytes->empty() ? nullptr : std::memchr(bytes->data(), '\0', bytes->size()))
    bytes->resize(static_cast<const char*>(nul) - bytes->data());
  const std::string_view text(bytes->data(), bytes->size());
  // The file in stretches of whole lines, one per core, each parsed by its own thread straight
  // into its rows. The load as a whole still stops at the first failing row in file order:
  // rows after it are put back as they were, as if they had never been read.
  std::vector<Stretch> stretches;
  try {
    stretches = Stretches(text, progress && progress->threads ? progress->threads : ThreadsFor(text.size()));
  } catch (const std::bad_alloc&) {
    throw LoadError(kNoResources, 0);
  }
  int64_t lines = 0;
  for (const Stretch& stretch : stretches) lines += stretch.rows;
  // The sample table counts rows in 32 bits; more lines cannot be held, not even dropped quietly.
  if (lines >= INT32_MAX) throw LoadError(kNoResources, 0);
  const auto n = static_cast<int32_t>(lines);

  SampleTable& table = target.table;
  CellStore& cells = target.cells;
  const int32_t held = std::min(table.SampleCount, n);  // rows that keep what they hold on a failure
  table.CompletedRows = 0;
  try {
    table.Resize(n);
    cells.Reset(bytes, n);
  } catch (const std::bad_alloc&) {
    throw LoadError(kNoResources, 0);
  }
  if (progress) progress->total.store(n, std::memory_order_relaxed);

  std::vector<RowBackup> backups(stretches.size());
  int32_t first = 1;
  try {
    for (size_t k = 0; k < stretches.size(); ++k) {
      stretches[k].firstRow = first;
      first += stretches[k].rows;
      // The first stretch never needs putting back: what follows a failure in it was never read.
      if (k > 0) backups[k] = RowBackup::For(stretches[k].firstRow, std::min(held, first - 1));
    }
  } catch (const std::bad_alloc&) {
    throw LoadError(kNoResources, 0);
  }
  StretchParser parser(text, target, separator, progress);
  {
    std::vector<std::thread> threads;
    for (size_t k = 1; k < stretches.size(); ++k) {
      try {
        threads.emplace_back([&parser, &stretch = stretches[k], &backup = backups[k], &table] {
          backup.Take(table);
          parser.Parse(stretch);
        });
      } catch (const std::system_error&) {
        // No thread to be had: this one parses it after all.
        backups[k].Take(table);
        parser.Parse(stretches[k]);
      }
    }
    if (!stretches.empty()) parser.Parse(stretches[0]);
    for (std::thread& t : threads) t.join();
  }

  LoadResult result;
  result.rows = n;
  size_t stop = 0;
  while (stop < stretches.size() && !stretches[stop].error && stretches[stop].completed == stretches[stop].rows) ++stop;
  if (stop < stretches.size()) {
    const Stretch& failed = stretches[stop];
    table.CompletedRows = failed.firstRow - 1 + failed.completed;
    result.error = failed.error ? *failed.error : LoadError(std::string(), failed.firstRow + failed.completed);
    result.cancelled = !failed.error;
    for (size_t k = stop + 1; k < stretches.size(); ++k) backups[k].PutBack(table, cells, stretches[k]);
  } else {
    table.CompletedRows = n;
  }
  result.completed = table.CompletedRows;
  return result;
}

LoadResult LoadDataText(std::string_view text, LoadTarget target, char separator, LoadProgress* progress) {
  return LoadDataBytes(std::make_shared<FileBytes>(text.begin(), text.end()), target, separator, progress);
}

LoadResult LoadDataFile(const std::string& path, LoadTarget target, char separator, LoadProgress* progress) {
  std::shared_ptr<FileBytes> bytes;
  try {
    bytes = ReadWholeFile(path);
  } catch (const std::bad_alloc&) {
    throw LoadError(kNoResources, 0);
  }
  return LoadDataBytes(std::move(bytes), target, separator, progress);
}

}  // namespace ternova
