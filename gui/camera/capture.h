// The capture thread every provider shares: it takes frames from an opened device, converts
// them to BGRA and hands them to a sink, until stopped or the device ends. The thread
// touches nothing but the device, its own buffer and the sink; it never raises.
#pragma once
#include <functional>
#include <thread>
#include <vector>

#include "gui/camera/provider.h"

namespace vyr::camera {

// Called on the capture thread with width x height BGRA words, rows top-down and packed; the
// pixels are valid during the call only.
using sink = std::function<void(const uint32_t* pixels, uint32_t width, uint32_t height)>;

class capture {
 public:
  capture() = default;
  ~capture() { stop(); }
  capture(const capture&) = delete;
  capture& operator=(const capture&) = delete;

  // Starts `device` streaming and a capture thread feeding `to`. False (with the device's
  // last_error) when the device or the thread cannot start; nothing then runs.
  bool start(source& device, sink to);
  // Signals the thread, waits until it has ended, then stops the device. Safe to call when
  // nothing runs.
  void stop();
  bool running() const { return thread_.joinable(); }

 private:
  void loop();

  source* device_ = nullptr;
  sink sink_;
  std::thread thread_;
  int stop_fd_ = -1;
  uint32_t width_ = 0, height_ = 0;
  std::vector<uint32_t> pixels_;   // the converted frame, allocated once per start
};

}  // namespace vyr::camera
