// The process's provider, and the UTF-8 clean-up of device names.
#include "gui/camera/provider.h"

#include <cstdlib>

#include "gui/camera/fake.h"
#include "gui/camera/v4l2.h"

namespace vyr::camera {

provider& system_provider() {
  static std::unique_ptr<provider> chosen = []() -> std::unique_ptr<provider> {
    if (const char* fake = std::getenv("VYR_FAKE_CAMERAS")) return std::make_unique<fake_provider>(fake);
    return std::make_unique<v4l2_provider>();
  }();
  return *chosen;
}

std::string clean_utf8(const char* bytes, size_t n) {
  const auto* s = reinterpret_cast<const unsigned char*>(bytes);
  size_t end = 0;
  while (end < n && s[end]) end++;
  std::string out;
  for (size_t i = 0; i < end;) {
    unsigned char c = s[i];
    size_t len = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
    bool ok = len > 0 && i + len <= end;
    uint32_t cp = len == 1 ? c : len == 2 ? c & 0x1F : len == 3 ? c & 0x0F : c & 0x07;
    for (size_t k = 1; ok && k < len; k++) {
      ok = (s[i + k] & 0xC0) == 0x80;
      cp = cp << 6 | (s[i + k] & 0x3F);
    }
    // Overlong forms, surrogates and code points past U+10FFFF are malformed too.
    if (ok && ((len == 2 && cp < 0x80) || (len == 3 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) ||
               (len == 4 && (cp < 0x10000 || cp > 0x10FFFF))))
      ok = false;
    if (ok) {
      out.append(bytes + i, len);
      i += len;
    } else {
      out += "\xEF\xBF\xBD";
      i++;
    }
  }
  return out;
}

}  // namespace vyr::camera
