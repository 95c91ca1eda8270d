// The simulated machine's comparison of texts without regard to case, in the ANSI code page.
#include <string>

#include "platform/sim/state.h"

using namespace sim::detail;

namespace {

// The characters of an ANSI text as its code page reads them: a double-byte character of
// code page 936 is one character, whose trail byte is never taken for a letter of its own.
std::u32string Characters(const std::string& ansi) {
  std::string utf8 = sim::FromAnsi(ansi, M().system.ansiCodePage);
  std::u32string characters;
  for (size_t i = 0; i < utf8.size();) {
    auto byte = static_cast<unsigned char>(utf8[i]);
    int more = byte < 0x80 ? 0 : byte < 0xE0 ? 1 : byte < 0xF0 ? 2 : 3;
    char32_t c = more == 0 ? byte : byte & (0x3F >> more);
    for (int k = 1; k <= more && i + k < utf8.size(); ++k)
      c = (c << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
    characters += c;
    i += static_cast<size_t>(more) + 1;
  }
  return characters;
}

// The upper-case form of the letters code pages 1252 and 936 hold: Latin (with Latin-1 and
// the Latin Extended-A letters of 1252: Œ, Š, Ž, Ÿ), Greek, Cyrillic and the full-width Latin
// letters of 936. Windows folds more scripts than these; no text here uses them.
char32_t Upper(char32_t c) {
  if (c >= U'a' && c <= U'z') return c - 0x20;
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return c - 0x20;
  if (c == 0xFF) return 0x178;
  // Latin Extended-A pairs its letters, upper case first, except in two runs where the
  // pairs begin one later.
  bool oddRun = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
  bool evenRun =
      (c >= 0x100 && c <= 0x137 && c != 0x130 && c != 0x131) || (c >= 0x14A && c <= 0x177);
  if (evenRun && c % 2 == 1) return c - 1;
  if (oddRun && c % 2 == 0) return c - 1;
  if (c == 0x3C2) return 0x3A3;  // final sigma
  if (c >= 0x3B1 && c <= 0x3C9) return c - 0x20;
  if (c >= 0x430 && c <= 0x44F) return c - 0x20;
  if (c >= 0x450 && c <= 0x45F) return c - 0x50;
  if (c >= 0xFF41 && c <= 0xFF5A) return c - 0x20;
  return c;
}

int CompareIgnoringCase(const std::string& a, const std::string& b) {
  std::u32string x = Characters(a), y = Characters(b);
  for (char32_t& c : x) c = Upper(c);
  for (char32_t& c : y) c = Upper(c);
  return x < y ? -1 : x == y ? 0 : 1;
}

}  // namespace

namespace sim::detail {
bool SameTextIgnoringCase(const std::string& a, const std::string& b) {
  return CompareIgnoringCase(a, b) == 0;
}
}  // namespace sim::detail

// lstrcmpiA calls CompareStringEx in the thread's locale and subtracts 2 (Microsoft's lstrcmpi
// page). Its texts are read in the ANSI code page (LOCALE_USE_CP_ACP), as Wine's kernelbase has
// it, where CompareStringA reads them in its locale's code page (Wine's conformance tests,
// kernel32 locale.c: a Polish locale reads 0xB9 as code page 1250's letter). Equal texts are
// exactly those equal letter case aside; the order is by character, not Windows' linguistic
// one, which the program never asks for.
int lstrcmpiA(LPCSTR a, LPCSTR b) {
  Enter("lstrcmpiA", Args(a, b));
  // Null sorts before any text, as Wine's lstrcmpiA answers and Windows' lstrcmpA does in Wine's
  // conformance tests (kernel32 locale.c); for lstrcmpiA unconfirmed. The program passes none.
  if (a == nullptr || b == nullptr) return a == b ? 0 : a == nullptr ? -1 : 1;
  return CompareIgnoringCase(a, b);
}
