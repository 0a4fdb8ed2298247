// Any bytes as a picture file the save dialog previews: the header and the records must read to
// a picture, to damage or to a spent budget, never to a fault, and a picture read must hold only
// what playback relies on: a size to draw in, and every font and text it names.
//
// Input: the file itself, so the writers' own output seeds the corpus as it is.
#include <chrono>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string_view>
#include <variant>

#include "picture/metafile_import.h"
#include "picture/picture.h"
#include "picture/work_budget.h"

namespace {

using namespace ternova;

[[noreturn]] void Fail(const char* what, long long a = 0, long long b = 0) {
  std::fprintf(stderr, "metafile_import_fuzz: %s (%lld, %lld)\n", what, a, b);
  __builtin_trap();
}
#define CHECK(cond, ...) \
  do {                   \
    if (!(cond)) Fail(#cond, ##__VA_ARGS__); \
  } while (0)

void CheckContent(const PictureContent& c) {
  CHECK(c.runs.empty());  // runs are our own recordings' only
  for (const PictureText& t : c.texts) {
    CHECK(t.advances.size() == t.chars.size(), t.advances.size(), t.chars.size());
    long long sum = 0;
    for (int32_t a : t.advances) sum += a;
    const long long held = sum < INT32_MIN ? INT32_MIN : sum > INT32_MAX ? INT32_MAX : sum;
    CHECK(t.width == held, t.width, sum);
  }
  for (const PictureOp& o : c.ops) {
    if (const auto* f = std::get_if<op::Font>(&o)) CHECK(f->font < c.fonts.size(), f->font, c.fonts.size());
    if (const auto* t = std::get_if<op::TextOut>(&o)) CHECK(t->text < c.texts.size(), t->text, c.texts.size());
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  // The caption: the header alone, on the nominal screen and on odd ones.
  const std::optional<MetafileHeader> header = ReadMetafileHeader(bytes.substr(0, kMetafileHeaderBytes));
  if (header) {
    for (const ScreenInfo& screen : {ScreenInfo{}, ScreenInfo{1, 1, 1, 1, 1}, ScreenInfo{7680, 4320, 10, 10, 1200}}) {
      header->PixelWidth(screen);
      header->PixelHeight(screen);
    }
  }

  // Well within libFuzzer's timeout, so a slow input shows as one, not as a spent budget.
  WorkBudget budget(std::chrono::seconds(2));
  const ImportedMetafile read = ImportMetafile(bytes, &budget);
  if (!header) CHECK(read.outcome == ImportOutcome::Damaged);
  if (read.outcome != ImportOutcome::Read) return 0;
  const PictureSnapshot& picture = read.picture;
  if (header->kind == MetafileHeader::Kind::Enhanced) {
    CHECK(picture.content != nullptr);
    CHECK(picture.width > 0 && picture.width <= 1 << 20, picture.width);
    CHECK(picture.height > 0 && picture.height <= 1 << 20, picture.height);
  }
  if (picture.content) CheckContent(*picture.content);
  return 0;
}
