// The capture loop. Stopping goes through an eventfd the devices poll beside their own
// descriptors, so a thread blocked on a silent device still ends at once.
#include "gui/camera/capture.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <new>
#include <system_error>

#include "gui/camera/convert.h"

namespace vyr::camera {

bool capture::start(source& device, sink to) {
  stop();
  stop_fd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (stop_fd_ < 0) {
    device.last_error = std::string("eventfd failed: ") + std::strerror(errno);
    return false;
  }
  // The size is read once streaming began: a device opened anew may have another.
  auto fail = [&](const std::string& why) {
    if (!why.empty()) {
      device.last_error = why;
      device.end();
    }
    ::close(stop_fd_);
    stop_fd_ = -1;
    return false;
  };
  if (!device.begin()) return fail("");
  width_ = device.width();
  height_ = device.height();
  if (!frame_size_ok(width_, height_)) return fail("the device has no frame size");
  try {
    pixels_.assign(size_t(width_) * height_, 0);
  } catch (const std::bad_alloc&) {
    return fail("no memory for a frame");
  }
  device_ = &device;
  sink_ = std::move(to);
  try {
    thread_ = std::thread([this] { loop(); });
  } catch (const std::system_error& e) {
    device_ = nullptr;
    return fail(std::string("no capture thread: ") + e.what());
  }
  return true;
}

void capture::stop() {
  if (!device_) return;
  uint64_t one = 1;
  while (::write(stop_fd_, &one, 8) < 0 && errno == EINTR) {}
  if (thread_.joinable()) thread_.join();
  device_->end();
  device_ = nullptr;
  sink_ = nullptr;
  ::close(stop_fd_);
  stop_fd_ = -1;
}

void capture::loop() {
  uint32_t w = width_, h = height_;
  for (;;) {
    raw_frame f;
    switch (device_->next(stop_fd_, f)) {
      case source::step::stop:
      case source::step::ended: return;
      case source::step::none: continue;
      case source::step::frame: break;
    }
    bool whole = convert(f, w, h, pixels_.data());
    device_->done(f);
    if (whole) sink_(pixels_.data(), w, h);
  }
}

}  // namespace vyr::camera
