#pragma once
// What the system tells about the screen and the language, for a new recording.
#include "picture/picture.h"

namespace ternova {

// The screen as the reference device: from the primary screen, or the nominal 1280 x 1024
// pixel, 320 x 256 mm, 96 dpi screen when there is none (command line, tests).
ScreenInfo CurrentScreen();

// Whether the system's default character set is Shift-JIS (a Japanese locale).
bool SystemIsJapanese();

}  // namespace ternova
