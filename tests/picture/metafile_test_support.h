#pragma once
// Shared by the EMF and WMF writer tests: the real diagram as a test picture, running the
// independent converters, and just enough SVG scanning to read back what they drew.
#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <map>
#include <random>
#include <cstdio>
#include <set>
#include <sstream>
#include <string>
#include <variant>
#include <vector>

#include "base/messages.h"
#include "diagram/geometry.h"
#include "diagram/projection.h"
#include "plot/layers.h"
#include "diagram/sample_table.h"
#include "picture/picture.h"
#include "picture/surface.h"
#include "tests/fixed_advance.h"
#include "tests/flat_operations.h"

namespace ternova::testing {

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

// The density view of a few hundred samples at 25 cells per edge: every colour of a small
// picture, cells on every face, a few points outside a face, and row 7 highlighted.
struct DensityCase {
  DiagramGeometry geometry = ComputeDiagramGeometry();
  SampleTable table;
  ViewState view;
  FixedAdvance metrics;
  SurfaceEnvironment env;
  DiagramPicture picture;

  explicit DensityCase(int32_t samples = 400, int32_t divisions = 25, bool grids = false) {
    table.Resize(samples);
    uint64_t seed = 88172645463325252ull;
    auto next = [&] {  // xorshift: the same amounts everywhere
      seed ^= seed << 13, seed ^= seed >> 7, seed ^= seed << 17;
      return static_cast<double>(seed % 10000) / 100;
    };
    for (int32_t r = 1; r <= samples; ++r) {
      // Clustered, so counts range from one to dozens; every 50th sample has a negative amount.
      const double c = (r % 3) * 15.0;
      table.SampleValues[r] = {0, 20 + c + next() / 4, 10 + next() / 5, 30 - c / 2 + next() / 3, 5 + next() / 6};
      if (r % 50 == 0) table.SampleValues[r][3] = -2;
      ProjectRow(geometry, table, r);
    }
    table.CompletedRows = samples;
    view.SelectedSample = 7;
    view.SymbolSize = 6;
    view.Grid10 = grids;
    view.Grid50 = grids;
    view.Density = divisions;
    env.metrics = &metrics;
    picture.SetWidth(2000);
    picture.SetHeight(2000);
    // The colour bar's caption in English, whatever the language of the test's environment.
    const std::string language = Language();
    SetLanguage("en");
    int32_t gridDivisions = 0;
    DrawDiagram(geometry, table, view, gridDivisions, picture, env);
    SetLanguage(language);
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
  for (const PictureOp& o : FlatOperations(c)) {
    if (auto* p = std::get_if<op::Pen>(&o)) pen = *p;
    if (auto* m = std::get_if<op::MoveTo>(&o)) x = m->x, y = m->y;
    if (auto* l = std::get_if<op::LineTo>(&o)) {
      if (pen.style == FillStyle::Solid) out.push_back({x, y, l->x, l->y, pen.colour, pen.width});
      x = l->x, y = l->y;
    }
  }
  return out;
}

// A picture no surface would record: any op in any order, coordinates and widths anywhere in
// 32 bits, texts with lone surrogates and odd lengths, long face names, indexes that name no
// font or text. The writers must still frame every record correctly.
inline PictureSnapshot RandomPicture(uint32_t seed) {
  std::mt19937 rng(seed);
  auto pick = [&](int32_t lo, int32_t hi) { return std::uniform_int_distribution<int32_t>(lo, hi)(rng); };
  auto coord = [&] {
    switch (pick(0, 3)) {
      case 0: return pick(INT32_MIN, INT32_MAX);
      case 1: return pick(-70000, 70000);
      default: return pick(-10, 2010);
    }
  };
  auto colour = [&] { return Rgb{static_cast<uint8_t>(pick(0, 255)), static_cast<uint8_t>(pick(0, 255)),
                                 static_cast<uint8_t>(pick(0, 255))}; };
  auto c = std::make_shared<PictureContent>();
  const char* faces[] = {"MS Sans Serif", "ＭＳ Ｐゴシック", "", "A face name well past the thirty-one units LOGFONT holds",
                         "ゴシックゴシックゴシックゴシックゴシック", "\xF0\x9F\x98\x80 broken \xE3"};
  for (int i = 0, n = pick(0, 4); i < n; ++i)
    c->fonts.push_back({faces[pick(0, 5)], coord(), pick(-5, 1000), pick(0, 1) == 1, colour()});
  for (int i = 0, n = pick(0, 4); i < n; ++i) {
    PictureText t;
    for (int k = 0, len = pick(0, 12); k < len; ++k) {
      const char16_t pool[] = {u'A', u'z', u' ', u'é', u'ゴ', u'Ｍ', 0xD83D, 0xDE00, 0xDC00, 0};
      t.chars.push_back(pool[pick(0, 9)]);
    }
    for (size_t k = 0, len = t.chars.size() + pick(-2, 2); k < len && pick(0, 9) > 0; ++k) {
      t.advances.push_back(pick(-100, 100));
      t.width += t.advances.back();
    }
    c->texts.push_back(std::move(t));
  }
  const uint32_t fonts = static_cast<uint32_t>(c->fonts.size()) + 1, texts = static_cast<uint32_t>(c->texts.size()) + 1;
  for (int i = 0, n = pick(0, 60); i < n; ++i) {
    const FillStyle style = pick(0, 2) == 0 ? FillStyle::None : FillStyle::Solid;
    switch (pick(0, 8)) {
      case 0: c->ops.emplace_back(op::Brush{style, colour()}); break;
      case 1: c->ops.emplace_back(op::Pen{style, colour(), pick(0, 3) == 0 ? coord() : pick(-1, 8)}); break;
      case 2: c->ops.emplace_back(op::Font{static_cast<uint32_t>(pick(0, static_cast<int32_t>(fonts)))}); break;
      case 3: c->ops.emplace_back(op::Rectangle{coord(), coord(), coord(), coord()}); break;
      case 4: c->ops.emplace_back(op::Ellipse{coord(), coord(), coord(), coord()}); break;
      case 5: c->ops.emplace_back(op::MoveTo{coord(), coord()}); break;
      case 6: c->ops.emplace_back(op::LineTo{coord(), coord()}); break;
      case 7: {
        // Discs around shared centres, a run over part of them, far-off centres included.
        auto centres = std::make_shared<DiscCentres>();
        for (int k = 0, len = pick(1, 6); k < len; ++k) centres->push_back({coord(), coord()});
        const auto end = static_cast<uint32_t>(pick(1, static_cast<int32_t>(centres->size())));
        c->runs.push_back({centres, static_cast<uint32_t>(pick(0, static_cast<int32_t>(end) - 1)), end, pick(0, 3) == 0 ? coord() : pick(0, 20)});
        c->ops.emplace_back(op::Discs{static_cast<uint32_t>(c->runs.size() - 1)});
        break;
      }
      default: c->ops.emplace_back(op::TextOut{coord(), coord(), static_cast<uint32_t>(pick(0, static_cast<int32_t>(texts)))});
    }
  }
  PictureSnapshot p;
  p.content = c;
  p.frame = {pick(0, 3) == 0 ? 0 : pick(1, 200000), pick(0, 3) == 0 ? 0 : pick(1, 200000)};
  return p;
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
    std::stringstream decls(st->second);
    for (std::string decl; std::getline(decls, decl, ';');) {
      const size_t colon = decl.find(':');
      if (colon == std::string::npos) continue;
      if (Trim(decl.substr(0, colon)) == name) return Trim(decl.substr(colon + 1));
    }
    return "";
  }

  static std::string Trim(std::string v) {
    const char* blank = " \t\r\n";
    v.erase(0, v.find_first_not_of(blank));
    v.erase(v.find_last_not_of(blank) + 1);
    return v;
  }
};

// The drawing elements in document order. The converters write plain markup: name="value"
// attributes, no '>' inside values, text as character data or one CDATA section.
inline std::vector<SvgElement> ScanSvg(const std::string& svg) {
  static const std::set<std::string> tags{"svg", "rect", "path", "line", "polyline", "polygon", "ellipse",
                                          "circle", "text"};
  std::vector<SvgElement> out;
  for (size_t at = svg.find('<'); at != std::string::npos; at = svg.find('<', at + 1)) {
    size_t p = at + 1;
    while (p < svg.size() && std::isalpha(static_cast<unsigned char>(svg[p]))) ++p;
    SvgElement e;
    e.tag = svg.substr(at + 1, p - at - 1);
    if (!tags.count(e.tag)) continue;
    const size_t end = svg.find('>', p);
    if (end == std::string::npos) break;
    while (p < end) {
      while (p < end && std::isspace(static_cast<unsigned char>(svg[p]))) ++p;
      const size_t eq = svg.find('=', p);
      if (eq == std::string::npos || eq > end) break;
      const size_t open = svg.find('"', eq);
      const size_t close = open == std::string::npos ? open : svg.find('"', open + 1);
      if (close == std::string::npos || close > end) break;
      e.attrs[SvgElement::Trim(svg.substr(p, eq - p))] = svg.substr(open + 1, close - open - 1);
      p = close + 1;
    }
    if (e.tag == "text") {
      std::string t = svg.substr(end + 1, svg.find("</text>", end) - end - 1);
      const size_t cdata = t.find("<![CDATA[");
      if (cdata != std::string::npos) t = t.substr(cdata + 9, t.find("]]>") - cdata - 9);
      else t = SvgElement::Trim(t);
      e.text = t;
    }
    out.push_back(std::move(e));
  }
  return out;
}

// "#RRGGBB", "#rgb" or the few colour names the converters print, as RGB.
// The elements of one kind, in document order.
inline std::vector<SvgElement> Tagged(const std::vector<SvgElement>& all, const std::string& tag) {
  std::vector<SvgElement> out;
  for (const SvgElement& e : all)
    if (e.tag == tag) out.push_back(e);
  return out;
}

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
  std::string s = "(";
  for (const int v : {c.r, c.g, c.b}) s += std::to_string(v) + ",";
  s.back() = ')';
  return s;
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

// A line as a converter drew it, in SVG units.
struct SvgLine {
  double x1, y1, x2, y2;
  Rgb colour;
  double width;
};

// The diagram's lines as a converter drew them, in drawing order, each where its segment is and
// with its pen: 9 outline (black, 6), 108 grey and 12 black grid lines (2).
inline void ExpectSegments(const std::vector<SvgLine>& lines, const std::vector<Segment>& segs, const SvgMapping& m) {
  ASSERT_EQ(segs.size(), 9u + 108 + 12);
  ASSERT_EQ(lines.size(), segs.size());
  int grey = 0, black2 = 0, black6 = 0;
  for (size_t i = 0; i < segs.size(); ++i) {
    const SvgLine& l = lines[i];
    EXPECT_NEAR(l.x1, m.X(segs[i].x1), 0.01) << "segment " << i;
    EXPECT_NEAR(l.y1, m.Y(segs[i].y1), 0.01) << "segment " << i;
    EXPECT_NEAR(l.x2, m.X(segs[i].x2), 0.01) << "segment " << i;
    EXPECT_NEAR(l.y2, m.Y(segs[i].y2), 0.01) << "segment " << i;
    const double w = l.width / m.sx;
    EXPECT_EQ(l.colour, segs[i].colour) << "segment " << i << " " << Show(l.colour);
    EXPECT_NEAR(w, segs[i].width, 0.01) << "segment " << i;
    grey += l.colour == kGrey && std::abs(w - 2) < 0.01;
    black2 += l.colour == kBlack && std::abs(w - 2) < 0.01;
    black6 += l.colour == kBlack && std::abs(w - 6) < 0.01;
  }
  EXPECT_EQ(black6, 9);
  EXPECT_EQ(grey, 108);
  EXPECT_EQ(black2, 12);
}

// The diagram's twelve symbols as a converter drew them: face by face, row by row, each at its
// projected centre with its radius, row 2 red at twice the radius.
inline void ExpectSymbols(const std::vector<SvgElement>& ellipses, const DiagramCase& d, const SvgMapping& m) {
  ASSERT_EQ(ellipses.size(), 12u);
  size_t k = 0;
  for (int face = 1; face <= 4; ++face)
    for (int row = 1; row <= 3; ++row, ++k) {
      const Point p = d.table.SamplePoints[row][face];
      const double r = row == 2 ? 20 : 10;
      const SvgElement& e = ellipses[k];
      EXPECT_NEAR(e.Num("cx"), m.X(p.x), 0.01) << "face " << face << " row " << row;
      EXPECT_NEAR(e.Num("cy"), m.Y(p.y), 0.01) << "face " << face << " row " << row;
      EXPECT_NEAR(e.Num("rx"), r * m.sx, 0.01) << "face " << face << " row " << row;
      EXPECT_NEAR(e.Num("ry"), r * m.sy, 0.01) << "face " << face << " row " << row;
      EXPECT_EQ(SvgColour(e.Prop("fill")), row == 2 ? kRed : kBlue) << "face " << face << " row " << row;
    }
}

}  // namespace ternova::testing
