// The core built into a shared library without Qt, as a Python module will be, draws a diagram
// whose labels' glyphs stand where the window records them.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <regex>
#include <string>
#include <vector>

#include "base/encoding.h"
#include "picture/qt/qt_text_metrics.h"
#include "picture/surface.h"

namespace ternova {
namespace {

const char* const kLibrary = TERNOVA_SHARED_CORE;

std::string Output(const std::string& command) {
  std::string out;
  if (FILE* pipe = ::popen(command.c_str(), "r")) {
    char buffer[4096];
    while (size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) out.append(buffer, n);
    ::pclose(pipe);
  }
  return out;
}

TEST(SharedCore, NeedsNoQtLibrary) {
  const std::string libraries = Output(std::string("ldd '") + kLibrary + "'");
  EXPECT_NE(libraries.find("libc.so"), std::string::npos) << libraries;
  EXPECT_EQ(libraries.find("libQt"), std::string::npos) << libraries;
}

// The texts of an SVG with the x of each of their glyphs.
struct SvgText {
  std::string text;
  std::vector<long> x;
};

std::vector<SvgText> Texts(const std::string& svg) {
  std::vector<SvgText> texts;
  const std::regex element("<text [^>]* x=\"([0-9 ]+)\">([^<]*)</text>");
  for (auto it = std::sregex_iterator(svg.begin(), svg.end(), element); it != std::sregex_iterator(); ++it) {
    SvgText t;
    t.text = (*it)[2];
    const std::string xs = (*it)[1];
    for (size_t at = 0; at < xs.size();) {
      size_t end = xs.find(' ', at);
      if (end == std::string::npos) end = xs.size();
      t.x.push_back(std::stol(xs.substr(at, end - at)));
      at = end + 1;
    }
    texts.push_back(std::move(t));
  }
  return texts;
}

TEST(SharedCore, PlacesTheLabelsGlyphsAtTheWindowsAdvances) {
  void* library = ::dlopen(kLibrary, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(library, nullptr) << ::dlerror();
  using DiagramSvg = char* (*)(const char*, int, size_t*);
  using Free = void (*)(char*);
  const auto diagramSvg = reinterpret_cast<DiagramSvg>(::dlsym(library, "ternova_core_diagram_svg"));
  const auto release = reinterpret_cast<Free>(::dlsym(library, "ternova_core_free"));
  ASSERT_TRUE(diagramSvg && release);

  const QtTextMetrics window;
  for (const bool japanese : {false, true}) {
    SCOPED_TRACE(japanese ? "Japanese system" : "other system");
    size_t size = 0;
    char* bytes = diagramSvg("45\t8\t38\t8\tpyrolite\n50\t26\t8\t10\tMORB\n", japanese, &size);
    ASSERT_NE(bytes, nullptr);
    const std::string svg(bytes, size);
    release(bytes);

    // The labels' font as the window's surface sets it on the nominal screen.
    SurfaceEnvironment env;
    env.japanese = japanese;
    FontSpec font = DefaultFont(env);
    font.height = FontHeightForPoints(50, env.screen.dpi);
    const std::vector<SvgText> texts = Texts(svg);
    ASSERT_EQ(texts.size(), 6u) << svg;
    const char* labels[] = {"SiO2", "Al2O3+CaO", "MgO", "FeO", "FeO", "FeO"};
    for (size_t i = 0; i < texts.size(); ++i) {
      ASSERT_EQ(texts[i].text, labels[i]);
      const std::vector<int32_t> advances = window.Advances(font, Utf16FromUtf8(labels[i]));
      ASSERT_EQ(texts[i].x.size(), advances.size());
      for (size_t g = 1; g < advances.size(); ++g)
        EXPECT_EQ(texts[i].x[g] - texts[i].x[g - 1], advances[g - 1]) << labels[i] << " glyph " << g;
    }
  }
  ::dlclose(library);
}

}  // namespace
}  // namespace ternova
