#pragma once
// The diagram leaving the program other than as a file: on the clipboard for documents and
// slides, and on a printer's page.
#include <memory>

#include "picture/picture.h"

class QMimeData;
class QPrinter;

namespace ternova::app {

// The picture in the forms documents accept: SVG (image/svg+xml), PNG at the picture's logical
// size (image/png) and the enhanced metafile (image/x-emf).
std::unique_ptr<QMimeData> DiagramMimeData(const PictureSnapshot& picture);

// Prints the picture as vectors on one page: scaled to the printable area, centred, its
// proportions kept. Throws when the printer cannot be started.
void PrintDiagram(QPrinter& printer, const PictureSnapshot& picture);

}  // namespace ternova::app
