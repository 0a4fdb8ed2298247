#pragma once
// The window's texts in the user's language: Qt's translation system over the texts of
// base/messages.h, with the compiled translations embedded as resources.
#include <QString>
#include <string_view>

#include "base/messages.h"

namespace ternova::app {

// The text in the window's language.
QString QTr(Text text);

// Shows the program's texts in `language` ("ja", the texts as written, or a language with a
// translation), in the window and in the core alike. Returns false, changing nothing, for a
// language without one.
bool UseLanguage(std::string_view language);

}  // namespace ternova::app
