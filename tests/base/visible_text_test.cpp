#include "base/visible_text.h"

#include <gtest/gtest.h>

namespace ternova {
namespace {

// A name from a folder nobody checked, as every message and label shows it.
TEST(VisibleName, SpellsOutWhatATerminalWouldObey) {
  const struct {
    std::string name, shown;
  } cases[] = {
      {"minerals.txt", "minerals.txt"},
      {"/home/月/岩石 データ.txt", "/home/月/岩石 データ.txt"},
      {"evil\x1b]0;pwned\x07.txt", "evil<U+001B>]0;pwned<U+0007>.txt"},    // retitles the terminal
      {"x\x1b]52;c;ZXZpbA==\x07.txt", "x<U+001B>]52;c;ZXZpbA==<U+0007>.txt"},  // writes its clipboard
      {"minerals.txt\nfake.txt:1: ok", "minerals.txt<U+000A>fake.txt:1: ok"},  // a second message line
      {"a\rb\tc\x7f", "a<U+000D>b<U+0009>c<U+007F>"},
      {"csi\xc2\x9b" "2J.txt", "csi<U+009B>2J.txt"},  // the one-character CSI, as UTF-8
      {"\xef\xbb\xbfname\xe2\x80\xaetxt.exe", "<U+FEFF>name<U+202E>txt.exe"},  // hidden mark, reversed text
      // Bytes that are no UTF-8 are no characters of their own: a lone 0x9B is CSI to an 8-bit terminal.
      {"Gr\xe8s.txt", "Gr\xef\xbf\xbds.txt"},
      {"csi\x9b" "2J", "csi\xef\xbf\xbd" "2J"},
      {"cut\xe6\x97", "cut\xef\xbf\xbd\xef\xbf\xbd"},
  };
  for (const auto& c : cases) EXPECT_EQ(VisibleName(c.name), c.shown) << c.name;
}

}  // namespace
}  // namespace ternova
