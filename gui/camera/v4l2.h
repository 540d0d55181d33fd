// Video capture devices of the kernel's video interface: /dev/video<N> nodes that capture
// and stream, read through four mapped buffers in YUYV, MJPEG, RGB24 or BGR24.
#pragma once
#include "gui/camera/device_io.h"
#include "gui/camera/provider.h"

namespace vyr::camera {

class v4l2_provider : public provider {
 public:
  explicit v4l2_provider(device_io& io = system_io()) : io_(io) {}
  // The capture nodes in numeric order: a node that cannot be opened or queried, or whose
  // device capabilities lack capture or streaming (a camera's metadata node), is left out.
  std::vector<std::string> list() override;
  // Opens the node at its current frame size in the first format taken of YUYV, MJPEG,
  // RGB24 and BGR24; the size and row stride the driver answers rule.
  std::unique_ptr<source> open(size_t index) override;

 private:
  device_io& io_;
  std::vector<std::string> paths_;
};

}  // namespace vyr::camera
