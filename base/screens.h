// Screen descriptions, the text of VYR_HEADLESS_SCREENS: "WxH+X+Y@DPI" items separated by
// commas ("1920x1080+0+0@96,800x600+-800+10@96"). One parser for both sides: the headless
// display builds its monitors from it, and the runtime's entry reads the start-up DPI from
// it without loading the GUI module. Plain data in and out. (Its namespace is the
// windowing layer's, which reads it most.)
#pragma once
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace vyr::win::screens {

struct screen { int32_t x = 0, y = 0, width = 0, height = 0; uint32_t dpi = 96; };

// The one display there is when no description, or no valid one, is given.
constexpr std::string_view fallback = "1920x1080+0+0@96";

// The screens of a description; nullopt when the text is empty or not such a description:
// sizes 1..100000, DPI 24..1920, at most 7 digits a number, no trailing comma.
inline std::optional<std::vector<screen>> parse(std::string_view s) {
  std::vector<screen> out;
  size_t i = 0;
  auto num = [&](int64_t& v) {
    size_t start = i;
    v = 0;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9' && i - start < 7) v = v * 10 + (s[i++] - '0');
    return i != start && !(i < s.size() && s[i] >= '0' && s[i] <= '9');
  };
  // "+X" or "-X", and "+-X" for a negative X after the plus.
  auto offset = [&](int64_t& v) {
    if (i >= s.size() || (s[i] != '+' && s[i] != '-')) return false;
    bool neg = s[i++] == '-';
    if (i < s.size() && s[i] == '-') { neg = !neg; ++i; }
    if (!num(v)) return false;
    if (neg) v = -v;
    return true;
  };
  while (i < s.size()) {
    int64_t w, h, x, y, dpi;
    if (!num(w) || i >= s.size() || s[i++] != 'x' || !num(h)) return std::nullopt;
    if (!offset(x) || !offset(y)) return std::nullopt;
    if (i >= s.size() || s[i++] != '@' || !num(dpi)) return std::nullopt;
    if (w <= 0 || h <= 0 || w > 100000 || h > 100000 || dpi < 24 || dpi > 1920) return std::nullopt;
    out.push_back({int32_t(x), int32_t(y), int32_t(w), int32_t(h), uint32_t(dpi)});
    if (i < s.size() && (s[i++] != ',' || i == s.size())) return std::nullopt;
  }
  if (out.empty()) return std::nullopt;
  return out;
}

}  // namespace vyr::win::screens
