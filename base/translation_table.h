#pragma once
// The compiled translations, generated at build time from translations/*.ts.
#include <cstddef>

namespace ternova::translations {

struct Entry {
  const char* source;  // the text as written
  const char* text;    // its translation
};

struct Table {
  const char* language;    // as in the file's name: ternova_<language>.ts
  const Entry* entries;    // finished translations only
  std::size_t count;
  int unfinished;          // entries of the file without a finished translation
};

extern const Table kTables[];
extern const std::size_t kTableCount;

}  // namespace ternova::translations
