#pragma once
// What the locale says about the default font, read without a GUI toolkit.
#include <functional>
#include <string>

namespace ternova {

// Whether the system's default character set is Shift-JIS, for a user whose environment
// variable `name` has the value environment(name) (empty when unset), read as the window's
// toolkit reads its system locale: the first of LC_ALL, LC_MESSAGES and LANG that is set names
// the locale; none, "C" or "POSIX" is not Japanese; otherwise the first entry of LANGUAGE,
// when there is one, decides, else that locale. A name is Japanese when its language code is
// "ja" or "jpn" (any case), as in "ja", "ja_JP.UTF-8" or "ja-JP".
bool SystemIsJapanese(const std::function<std::string(const char*)>& environment);

// SystemIsJapanese of this process's environment.
bool SystemIsJapanese();

}  // namespace ternova
