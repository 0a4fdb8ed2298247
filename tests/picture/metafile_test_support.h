#pragma once
// Shared by the EMF and WMF writer tests: the real diagram as a test picture, running the
// independent converters, and just enough SVG scanning to read back what they drew.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <variant>
#include <vector>

#include "diagram/geometry.h"
#include "diagram/render.h"
#include "diagram/sample_table.h"
#include "picture/picture.h"
#include "picture/surface.h"

namespace ternova::testing {

// Every character 30 units wide, so placed glyphs are easy to predict.
class FixedAdvance : public TextMetrics {
 public:
  std::vector<int32_t> Advances(const FontSpec&, std::u16string_view text) const override {
    return std::vector<int32_t>(text.size(), 30);
  }
};

// The whole diagram as the window draws it: both grids, labels, three samples, row 2 selected.
struct DiagramCase {
  DiagramGeometry geometry = ComputeDiagramGeometry();
  SampleTable table;
  ViewState view;
  FixedAdvance metrics;
  SurfaceEnvironment env;
  DiagramPicture picture;

  explicit DiagramCase(bool japanese = false, ScreenInfo screen = {}) {
    table.Resize(3);
    table.CompletedRows = 3;
    // Distinct points on every face; row 3 repeats row 1 on face 4 to show covering order.
    const Point pts[4][5] = {{},
                             {{}, {900, 700}, {1300, 500}, {700, 500}, {1000, 1200}},
                             {{}, {1050, 800}, {1500, 400}, {500, 450}, {950, 1400}},
                             {{}, {1000, 900}, {1400, 300}, {600, 350}, {1000, 1200}}};
    for (int r = 1; r <= 3; ++r)
      for (int f = 1; f <= 4; ++f) table.SamplePoints[r][f] = pts[r][f];
    view.SelectedSample = 2;
    view.SymbolSize = 10;
    env.screen = screen;
    env.japanese = japanese;
    env.metrics = &metrics;
    picture.SetWidth(2000);
    picture.SetHeight(2000);
    int32_t divisions = 0;
    DrawDiagram(geometry, table, view, divisions, picture, env);
  }

  PictureSnapshot Snapshot() const { return ternova::Snapshot(picture); }
};

// A line segment as the ops draw it, with the pen in force.
struct Segment {
  int32_t x1, y1, x2, y2;
  Rgb colour;
  int32_t width;
};

// Walks the recorded ops (not the file) to list what a faithful reader must draw.
inline std::vector<Segment> SegmentsOf(const PictureContent& c) {
  std::vector<Segment> out;
  op::Pen pen{FillStyle::Solid, kBlack, 1};
  int32_t x = 0, y = 0;
  for (const PictureOp& o : c.ops) {
    if (auto* p = std::get_if<op::Pen>(&o)) pen = *p;
    if (auto* m = std::get_if<op::MoveTo>(&o)) x = m->x, y = m->y;
    if (auto* l = std::get_if<op::LineTo>(&o)) {
      if (pen.style == FillStyle::Solid) out.push_back({x, y, l->x, l->y, pen.colour, pen.width});
      x = l->x, y = l->y;
    }
  }
  return out;
}

// ---------------------------------------------------------------- running the converters

inline bool HaveProgram(const std::string& name) {
  return std::system(("command -v " + name + " >/dev/null 2>&1").c_str()) == 0;
}

inline std::string OutPath(const std::string& name) {
  const ::testing::TestInfo* t = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string id = std::string(t->test_suite_name()) + "_" + t->name() + "_" + name;
  for (char& c : id)
    if (c == '/') c = '_';
  return ::testing::TempDir() + "ternova_" + id;
}

inline void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                               static_cast<std::streamsize>(bytes.size()));
}

inline std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// Runs a shell command; returns its exit status (stdout and stderr go to `log`).
inline int RunCommand(const std::string& command, const std::string& log) {
  const int rc = std::system((command + " >'" + log + "' 2>&1").c_str());
  return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

// ---------------------------------------------------------------- SVG scanning

struct SvgElement {
  std::string tag;
  std::map<std::string, std::string> attrs;
  std::string text;  // character data of <text>, CDATA unwrapped

  double Num(const std::string& name) const {
    auto it = attrs.find(name);
    return it == attrs.end() ? NAN : std::strtod(it->second.c_str(), nullptr);
  }
  // A presentation property, as an attribute or inside style="a:b; c:d".
  std::string Prop(const std::string& name) const {
    auto it = attrs.find(name);
    if (it != attrs.end()) return it->second;
    auto st = attrs.find("style");
    if (st == attrs.end()) return "";
    std::smatch m;
    const std::regex re("(?:^|;)\\s*" + name + "\\s*:\\s*([^;]+)");
    if (!std::regex_search(st->second, m, re)) return "";
    std::string v = m[1];
    while (!v.empty() && v.back() == ' ') v.pop_back();
    return v;
  }
};

// The drawing elements in document order.
inline std::vector<SvgElement> ScanSvg(const std::string& svg) {
  std::vector<SvgElement> out;
  const std::regex tag("<(svg|rect|path|line|polyline|polygon|ellipse|circle|text)\\b([^>]*)>");
  const std::regex attr("([A-Za-z_:][-A-Za-z0-9_:.]*)\\s*=\\s*\"([^\"]*)\"");
  for (auto it = std::sregex_iterator(svg.begin(), svg.end(), tag); it != std::sregex_iterator(); ++it) {
    SvgElement e;
    e.tag = (*it)[1];
    const std::string a = (*it)[2];
    for (auto at = std::sregex_iterator(a.begin(), a.end(), attr); at != std::sregex_iterator(); ++at)
      e.attrs[(*at)[1]] = (*at)[2];
    if (e.tag == "text") {
      const size_t start = static_cast<size_t>(it->position() + it->length());
      const size_t end = svg.find("</text>", start);
      std::string t = svg.substr(start, end - start);
      const size_t cdata = t.find("<![CDATA[");
      if (cdata != std::string::npos) t = t.substr(cdata + 9, t.find("]]>") - cdata - 9);
      while (!t.empty() && (t.front() == '\n' || t.front() == '\t' || t.front() == ' ')) t.erase(0, 1);
      e.text = t;
    }
    out.push_back(std::move(e));
  }
  return out;
}

// "#RRGGBB", "#rgb" or the few colour names the converters print, as RGB.
inline Rgb SvgColour(std::string s) {
  static const std::map<std::string, Rgb> names{{"black", kBlack}, {"white", kWhite}, {"gray", kGrey},
                                                {"grey", kGrey},   {"red", kRed},     {"blue", kBlue}};
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (auto it = names.find(s); it != names.end()) return it->second;
  if (s.size() == 7 && s[0] == '#') {
    const auto v = std::strtoul(s.c_str() + 1, nullptr, 16);
    return Rgb{static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)};
  }
  return Rgb{1, 2, 3};  // nothing we draw: fails any comparison
}

inline std::string Show(Rgb c) {
  return "(" + std::to_string(c.r) + "," + std::to_string(c.g) + "," + std::to_string(c.b) + ")";
}

// How a converter maps logical units to SVG units: svg = offset + logical * scale, worked out
// from the background rectangle (0, 0, 2000, 2000) the diagram starts with.
struct SvgMapping {
  double sx = 1, sy = 1, ox = 0, oy = 0;
  double X(double x) const { return ox + x * sx; }
  double Y(double y) const { return oy + y * sy; }
};

inline SvgMapping MappingFromBackground(const SvgElement& rect) {
  SvgMapping m;
  m.sx = rect.Num("width") / 2000.0;
  m.sy = rect.Num("height") / 2000.0;
  m.ox = rect.Num("x");
  m.oy = rect.Num("y");
  return m;
}

}  // namespace ternova::testing
