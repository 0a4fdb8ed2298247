// Prints 1 when Qt takes the environment's system locale for Japanese, else 0: what the window's
// toolkit decides, for the test of the same rule read without it.
#include <QLocale>
#include <cstdio>

int main() {
  std::puts(QLocale::system().language() == QLocale::Japanese ? "1" : "0");
  return 0;
}
