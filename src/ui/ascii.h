// Comparing ASCII names (window classes, vendor ids in device paths) without letter case.
#pragma once

#include <cstddef>

namespace ui {

inline char AsciiLower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// The first `count` characters of both are the same, ASCII letter case aside.
inline bool EqualNoCase(const char* a, const char* b, size_t count) {
  for (size_t i = 0; i < count; ++i)
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  return true;
}

// Both texts are the same, ASCII letter case aside.
inline bool EqualNoCase(const char* a, const char* b) {
  for (;; ++a, ++b) {
    if (AsciiLower(*a) != AsciiLower(*b)) return false;
    if (*a == '\0') return true;
  }
}

}  // namespace ui
