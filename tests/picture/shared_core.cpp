// A shared library of the core alone, as a Python module links it: it loads a data text and
// returns the diagram as the window draws it, as SVG, with no GUI toolkit anywhere.
#include <cstdlib>
#include <cstring>
#include <exception>

#include "data/data_file.h"
#include "plot/layers.h"
#include "picture/svg_writer.h"

namespace {

char* Copy(const std::vector<uint8_t>& bytes, size_t* size) {
  char* out = static_cast<char*>(std::malloc(bytes.size() + 1));
  if (!out) return nullptr;
  std::memcpy(out, bytes.data(), bytes.size());
  out[bytes.size()] = '\0';
  *size = bytes.size();
  return out;
}

}  // namespace

// The SVG of the diagram of `data` with the default view, on the nominal screen, with the
// default font of a Japanese system or another one; null on any error. Free it with
// ternova_core_free.
extern "C" __attribute__((visibility("default"))) char* ternova_core_diagram_svg(const char* data, int japanese,
                                                                                 size_t* size) {
  try {
    using namespace ternova;
    const DiagramGeometry geometry = ComputeDiagramGeometry();
    SampleTable table;
    CellStore cells;
    LoadDataText(data, {geometry, table, cells}, '.').ThrowIfFailed();
    SurfaceEnvironment env;  // no metrics: the installed faces'
    env.japanese = japanese != 0;
    DiagramPicture picture;
    picture.SetWidth(2000);
    picture.SetHeight(2000);
    int32_t divisions = 0;
    DrawDiagram(geometry, table, ViewState{}, divisions, picture, env);
    return Copy(EncodeSvg(Snapshot(picture)), size);
  } catch (...) {
    return nullptr;
  }
}

extern "C" __attribute__((visibility("default"))) void ternova_core_free(char* p) { std::free(p); }
