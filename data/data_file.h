#pragma once
#include <algorithm>
#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "base/error.h"
#include "data/cell_store.h"
#include "diagram/geometry.h"
#include "diagram/sample_table.h"

namespace ternova {

// A failed load: the message the user reads and the data line it is about (0: none).
class LoadError : public Error {
 public:
  LoadError(const std::string& message, int32_t row) : Error(message), row_(row) {}
  LoadError(Text text, int32_t row) : Error(text), row_(row) {}
  int32_t Row() const { return row_; }

 private:
  int32_t row_;
};

// The whole file's bytes. Throws kCannotOpenFile with the full path (as VisibleName shows it)
// and the system's text when it cannot be read (missing, a directory, a device or FIFO, no
// access, or changed while it was read).
std::shared_ptr<FileBytes> ReadWholeFile(const std::string& path);

// Lines end at CR LF, lone LF or lone CR; a terminator at the very end adds no line.
int64_t CountLines(std::string_view text);

// The first byte of data[from, n) equal to `a` or `b`, or n. Fields and lines are short: a
// library search costs more to call than these sixteen bytes at a time cost to run. Bytes up
// to `readable` (at least n) may be read, so a field near the end of its line is searched the
// same way.
inline size_t FindEither(const char* data, size_t from, size_t n, size_t readable, char a, char b) {
#ifdef __SSE2__
  const __m128i wantA = _mm_set1_epi8(a), wantB = _mm_set1_epi8(b);
  for (; from < n && from + 16 <= readable; from += 16) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + from));
    const int hits = _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(bytes, wantA), _mm_cmpeq_epi8(bytes, wantB)));
    if (hits != 0) return std::min(n, from + static_cast<size_t>(__builtin_ctz(static_cast<unsigned>(hits))));
  }
#else
  (void)readable;
#endif
  for (; from < n; ++from)
    if (data[from] == a || data[from] == b) return from;
  return n;
}

// Calls `line(begin, end)` with each line's byte range, in file order.
template <typename F>
void ForEachLine(std::string_view text, F&& line) {
  const char* data = text.data();
  const size_t n = text.size();
  size_t start = 0;
  while (start < n) {
    // A line ends at whichever comes first, an LF or a CR; each byte is looked at once.
    size_t i = FindEither(data, start, n, n, '\n', '\r');
    line(start, i);
    if (i < n && data[i] == '\r' && i + 1 < n && data[i + 1] == '\n') ++i;
    start = i + 1;
  }
}

// The fields of one line: the line trimmed of bytes 0x00..0x20 at both ends, split at TABs;
// after each TAB, the TAB and every following TAB or blank are dropped (so empty fields do not
// exist), while blanks just before a TAB stay in the field. Offsets are into `text`. A `field`
// that returns false stops the split.
template <typename F>
void SplitFields(std::string_view text, size_t begin, size_t end, F&& field) {
  auto give = [&](int32_t k, size_t offset, size_t length) {
    if constexpr (std::is_void_v<decltype(field(k, offset, length))>) {
      field(k, offset, length);
      return true;
    } else {
      return static_cast<bool>(field(k, offset, length));
    }
  };
  auto blank = [&](size_t i) { return static_cast<unsigned char>(text[i]) <= 0x20; };
  while (begin < end && blank(begin)) ++begin;
  while (end > begin && blank(end - 1)) --end;
  int32_t k = 0;
  while (begin < end) {
    const size_t p = FindEither(text.data(), begin, end, text.size(), '\t', '\t');
    if (p == end) {
      give(++k, begin, end - begin);
      return;
    }
    if (!give(++k, begin, p - begin)) return;
    begin = p;
    while (begin < end && blank(begin)) ++begin;
  }
}

// Everything a load changes.
struct LoadTarget {
  const DiagramGeometry& geometry;
  SampleTable& table;
  CellStore& cells;
};

// What a load did once it began to change the table and cells: the file's line count (the new
// SampleCount), rows 1..completed converted and projected, and the error that stopped it. The
// failing row's cells stay as written, with the amounts converted before the bad one; later rows
// keep what the table held.
struct [[nodiscard]] LoadResult {
  int32_t rows = 0;
  int32_t completed = 0;
  std::optional<LoadError> error;  // its Row() is the failing row (0: before any row)
  // The user stopped the load before row error->Row(), which has no message: the load is left
  // as one that failed at that row.
  bool cancelled = false;

  // For callers that treat a failed load as an exception.
  void ThrowIfFailed() const {
    if (error) throw *error;
  }
};

// Where a load running on another thread stands, and how to stop it: rows counts converted
// rows in steps, total is the file's line count once known. Setting cancel stops the load as
// if the row it had reached had failed.
struct LoadProgress {
  std::atomic<int32_t> rows{0}, total{0};
  std::atomic<bool> cancel{false};
  // Threads to parse with; 0: as many as the machine has cores and the text is large. Tests set
  // it to hold the parallel load to the sequential one.
  size_t threads = 0;
};

// Reads the data file at `path` into the table and the cells, converting with `separator` and
// projecting each row. Throws a LoadError when the file cannot be read (nothing changed) or
// the table cannot be sized for it (then no row counts as loaded and the cells are empty).
LoadResult LoadDataFile(const std::string& path, LoadTarget target, char separator, LoadProgress* progress = nullptr);

// The same load from bytes already in memory (the text ends at the first NUL).
LoadResult LoadDataBytes(std::shared_ptr<FileBytes> bytes, LoadTarget target, char separator,
                         LoadProgress* progress = nullptr);
// The same from text in memory, e.g. a test's table (a copy is kept for the cells).
LoadResult LoadDataText(std::string_view text, LoadTarget target, char separator, LoadProgress* progress = nullptr);

}  // namespace ternova
