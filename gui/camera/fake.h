// Fake capture devices for tests and headless runs, described as VYR_FAKE_CAMERAS is:
// "Name:WxH[:fps]" entries separated by commas (30 fps by default; 0 never delivers).
// Frame k of a stream (from 1) has, at pixel (x, y), R = k mod 256, G = 0 above h/2 and 255
// from there down, B = 0 left of w/2 and 255 from there right, fully opaque. Frame 1 comes
// when streaming starts, then one every 1/fps s of real time.
#pragma once
#include "gui/camera/provider.h"

namespace vyr::camera {

struct fake_device {
  std::string name;
  uint32_t width = 0, height = 0;
  double fps = 30;
};

// The devices of a description; malformed entries (no size, a size out of range, a bad
// rate) are left out.
std::vector<fake_device> parse_fake_devices(const std::string& description);

// The pixel (x, y) of frame k.
inline uint32_t fake_pixel(uint64_t k, uint32_t x, uint32_t y, uint32_t w, uint32_t h) {
  return 0xFF000000u | uint32_t(k % 256) << 16 | (y < h / 2 ? 0u : 0xFF00u) | (x < w / 2 ? 0u : 0xFFu);
}

class fake_provider : public provider {
 public:
  explicit fake_provider(const std::string& description) : devices_(parse_fake_devices(description)) {}
  std::vector<std::string> list() override;
  std::unique_ptr<source> open(size_t index) override;

 private:
  std::vector<fake_device> devices_;
};

}  // namespace vyr::camera
