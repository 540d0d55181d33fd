// The fake devices: frames drawn from the frame number on a real-time schedule, waiting on
// the stop signal between them, so they run under the same capture loop as real devices.
#include "gui/camera/fake.h"

#include <poll.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>

namespace vyr::camera {

namespace {

using clock = std::chrono::steady_clock;

bool parse_uint(const std::string& s, uint64_t& out) {
  if (s.empty() || s.size() > 9) return false;
  out = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return false;
    out = out * 10 + uint64_t(c - '0');
  }
  return true;
}

bool parse_size(const std::string& s, uint32_t& w, uint32_t& h) {
  size_t x = s.find('x');
  uint64_t a, b;
  if (x == std::string::npos || !parse_uint(s.substr(0, x), a) || !parse_uint(s.substr(x + 1), b))
    return false;
  if (!frame_size_ok(a, b)) return false;
  w = uint32_t(a);
  h = uint32_t(b);
  return true;
}

bool parse_rate(const std::string& s, double& fps) {
  if (s.empty() || s.size() > 12) return false;
  char* end = nullptr;
  double v = std::strtod(s.c_str(), &end);
  if (*end || !std::isfinite(v) || v < 0 || v > 1000) return false;
  fps = v;
  return true;
}

class fake_source : public source {
 public:
  explicit fake_source(const fake_device& d) : fps_(d.fps) {
    width_ = d.width;
    height_ = d.height;
  }

  bool begin() override {
    pixels_.resize(size_t(width_) * height_);
    start_ = clock::now();
    frame_ = 0;
    return true;
  }

  step next(int stop_fd, raw_frame& out) override {
    pollfd p{stop_fd, POLLIN, 0};
    int timeout = -1;
    if (fps_ > 0) {
      auto left = std::chrono::ceil<std::chrono::milliseconds>(due() - clock::now()).count();
      timeout = int(std::clamp<int64_t>(left, 0, 60000));
    }
    int r = ::poll(&p, 1, timeout);
    if (r > 0) return step::stop;
    if (r < 0 || fps_ <= 0 || clock::now() < due()) return step::none;
    uint64_t k = ++frame_;
    uint32_t w = width_, h = height_;
    for (uint32_t y = 0; y < h; y++)
      for (uint32_t x = 0; x < w; x++) pixels_[size_t(y) * w + x] = fake_pixel(k, x, y, w, h);
    out.format = pixel_format::bgra;
    out.bytes = reinterpret_cast<const uint8_t*>(pixels_.data());
    out.size = pixels_.size() * 4;
    out.stride = w * 4;
    out.slot = 0;
    return step::frame;
  }

  void end() override {}

 private:
  // When frame number frame_ + 1 is due: frame 1 at the start, then one every 1/fps s.
  clock::time_point due() const {
    return start_ + std::chrono::duration_cast<clock::duration>(std::chrono::duration<double>(double(frame_) / fps_));
  }

  double fps_;
  clock::time_point start_;
  uint64_t frame_ = 0;
  std::vector<uint32_t> pixels_;
};

}  // namespace

std::vector<fake_device> parse_fake_devices(const std::string& description) {
  std::vector<fake_device> out;
  size_t at = 0;
  while (at <= description.size() && !description.empty()) {
    size_t comma = description.find(',', at);
    std::string entry = description.substr(at, comma == std::string::npos ? std::string::npos : comma - at);
    at = comma == std::string::npos ? description.size() + 1 : comma + 1;
    // Name:WxH or Name:WxH:fps; the name may itself hold colons.
    fake_device d;
    size_t last = entry.rfind(':');
    if (last == std::string::npos) continue;
    if (parse_size(entry.substr(last + 1), d.width, d.height)) {
      d.name = entry.substr(0, last);
    } else {
      size_t before = last ? entry.rfind(':', last - 1) : std::string::npos;
      if (before == std::string::npos || !parse_size(entry.substr(before + 1, last - before - 1), d.width, d.height) ||
          !parse_rate(entry.substr(last + 1), d.fps))
        continue;
      d.name = entry.substr(0, before);
    }
    out.push_back(d);
  }
  return out;
}

std::vector<std::string> fake_provider::list() {
  std::vector<std::string> names;
  for (const fake_device& d : devices_) names.push_back(d.name);
  return names;
}

std::unique_ptr<source> fake_provider::open(size_t index) {
  if (index >= devices_.size()) {
    last_error = "no device " + std::to_string(index + 1);
    return nullptr;
  }
  last_error.clear();
  return std::make_unique<fake_source>(devices_[index]);
}

}  // namespace vyr::camera
