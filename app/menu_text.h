#pragma once
#include <QStringList>

namespace ternova::app {

// Gives every caption among siblings that has no "&" an accelerator: an "&" before its first
// character whose upper case is a letter or digit not yet taken by a sibling. Separators ("-")
// are left alone.
QStringList WithAccelerators(const QStringList& captions);

// The accelerator character of a caption (upper case), or a null QChar.
QChar AcceleratorOf(const QString& caption);

}  // namespace ternova::app
