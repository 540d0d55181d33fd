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
  uint32_t w = device.width(), h = device.height();
  if (!frame_size_ok(w, h)) {
    device.last_error = "the device has no frame size";
    return false;
  }
  stop_fd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (stop_fd_ < 0) {
    device.last_error = std::string("eventfd failed: ") + std::strerror(errno);
    return false;
  }
  try {
    pixels_.assign(size_t(w) * h, 0);
  } catch (const std::bad_alloc&) {
    device.last_error = "no memory for a frame";
    ::close(stop_fd_);
    stop_fd_ = -1;
    return false;
  }
  if (!device.begin()) {
    ::close(stop_fd_);
    stop_fd_ = -1;
    return false;
  }
  device_ = &device;
  sink_ = std::move(to);
  try {
    thread_ = std::thread([this] { loop(); });
  } catch (const std::system_error& e) {
    device.last_error = std::string("no capture thread: ") + e.what();
    device.end();
    device_ = nullptr;
    ::close(stop_fd_);
    stop_fd_ = -1;
    return false;
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
  uint32_t w = device_->width(), h = device_->height();
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
