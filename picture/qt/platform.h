#pragma once
// What the system tells about the screen, for a new recording (its language: system_locale.h).
#include "picture/picture.h"
#include "picture/system_locale.h"

namespace ternova {

// The screen as the reference device: from the primary screen, or the nominal 1280 x 1024
// pixel, 320 x 256 mm, 96 dpi screen when there is none (command line, tests).
ScreenInfo CurrentScreen();

}  // namespace ternova
