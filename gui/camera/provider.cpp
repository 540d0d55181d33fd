// The process's provider, and the UTF-8 clean-up of device names.
#include "gui/camera/provider.h"

#include <cstdlib>

#include "base/utf8.h"
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
    // Overlong forms, surrogates and code points past U+10FFFF are malformed too; a
    // malformed sequence gives up its lead byte only.
    utf8::decoded d = utf8::decode(s + i, end - i);
    if (utf8::well_formed(d)) {
      out.append(bytes + i, d.size);
      i += d.size;
    } else {
      utf8::append(out, utf8::REPLACEMENT);
      i++;
    }
  }
  return out;
}

}  // namespace vyr::camera
