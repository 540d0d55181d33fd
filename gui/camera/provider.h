// Capture devices behind one interface: a provider lists and opens devices, an opened device
// (a source) streams frames to the capture loop. Blind to language values; nothing here raises.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vyr::camera {

// Pixel layouts a device hands over. `bgra` is the converted form (straight BGRA words).
enum class pixel_format { bgra, yuyv, mjpeg, rgb24, bgr24 };

// The biggest frame taken: each side at most 65535 (an image's limit) and at most 2^26 pixels
// (256 MiB of BGRA), checked before anything is allocated.
constexpr uint32_t MAX_SIDE = 65535;
constexpr uint64_t MAX_PIXELS = uint64_t(1) << 26;
inline bool frame_size_ok(uint64_t w, uint64_t h) {
  return w >= 1 && h >= 1 && w <= MAX_SIDE && h <= MAX_SIDE && w * h <= MAX_PIXELS;
}

// One frame as the device holds it: `size` bytes in `format`, rows `stride` bytes apart.
struct raw_frame {
  pixel_format format = pixel_format::bgra;
  const uint8_t* bytes = nullptr;
  size_t size = 0;
  uint32_t stride = 0;
  uint32_t slot = 0;   // the device's buffer index, handed back by `source::done`
};

// An opened device. `begin` and `end` run on the owner's thread, `next` and `done` on the
// capture thread between them; `last_error` is read only when no capture thread runs.
class source {
 public:
  virtual ~source() = default;
  uint32_t width() const { return width_; }
  uint32_t height() const { return height_; }
  // Starts streaming; false (with last_error) when the device refuses.
  virtual bool begin() = 0;
  enum class step { frame, none, stop, ended };
  // Waits for the next frame or for `stop_fd` (an eventfd) to become readable. `frame`
  // fills `out`, which stays valid until `done(out)`; `none` asks to be called again;
  // `stop` answers the stop signal; `ended` means the device will give no more frames.
  virtual step next(int stop_fd, raw_frame& out) = 0;
  virtual void done(const raw_frame&) {}
  // Stops streaming and releases the device; safe to call more than once.
  virtual void end() = 0;
  std::string last_error;

 protected:
  uint32_t width_ = 0, height_ = 0;
};

class provider {
 public:
  virtual ~provider() = default;
  // The devices' names, in a stable order; `open` takes an index into the last list.
  virtual std::vector<std::string> list() = 0;
  // The device at `index`, opened at its actual frame size; null (with last_error) when it
  // cannot be opened or offers no format taken here.
  virtual std::unique_ptr<source> open(size_t index) = 0;
  std::string last_error;
};

// The provider of this process, chosen on first use: the fake devices of VYR_FAKE_CAMERAS
// when that is set (empty: no device), else the system's video devices.
provider& system_provider();

// `bytes` as UTF-8 up to the first NUL, each malformed sequence replaced by U+FFFD.
std::string clean_utf8(const char* bytes, size_t n);

}  // namespace vyr::camera
