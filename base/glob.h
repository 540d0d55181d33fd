// Glob patterns against whole names: "*" any run of bytes, "?" one character (a UTF-8
// lead byte and its continuation bytes), any other byte itself, ASCII letters without
// regard to case.
#pragma once
#include <cstdint>
#include <string_view>

namespace vyr::glob {

// An ASCII letter in lower case; any other byte as it is.
constexpr char fold(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }

inline bool match(std::string_view p, std::string_view s) {
  size_t pi = 0, si = 0, star = std::string_view::npos, mark = 0;
  while (si < s.size()) {
    if (pi < p.size() && p[pi] == '*') {
      star = pi++;
      mark = si;
    } else if (pi < p.size() && p[pi] == '?') {
      ++pi;
      ++si;
      while (si < s.size() && (uint8_t(s[si]) & 0xC0) == 0x80) ++si;
    } else if (pi < p.size() && fold(p[pi]) == fold(s[si])) {
      ++pi;
      ++si;
    } else if (star != std::string_view::npos) {
      pi = star + 1;
      si = ++mark;
    } else {
      return false;
    }
  }
  while (pi < p.size() && p[pi] == '*') ++pi;
  return pi == p.size();
}

}  // namespace vyr::glob
