// The video-device provider. Every system call goes through the device seam; errors become
// texts in last_error, never output. The capture thread only polls, dequeues and requeues.
#include "gui/camera/v4l2.h"

#include <fcntl.h>
#include <linux/videodev2.h>
#include <sys/mman.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "gui/camera/convert.h"

namespace vyr::camera {

namespace {

constexpr uint32_t BUFFERS = 4;
constexpr int OPEN_FLAGS = O_RDWR | O_NONBLOCK | O_CLOEXEC;

std::string failed(const char* what, int err) {
  return std::string(what) + " failed: " + std::strerror(err);
}

// The number of a node named video<N>, or -1.
long node_number(const std::string& name) {
  if (name.size() <= 5 || name.size() > 14 || name.compare(0, 5, "video") != 0) return -1;
  long n = 0;
  for (size_t i = 5; i < name.size(); i++) {
    if (name[i] < '0' || name[i] > '9') return -1;
    n = n * 10 + (name[i] - '0');
  }
  return n;
}

bool taken(uint32_t fourcc, pixel_format& out) {
  switch (fourcc) {
    case V4L2_PIX_FMT_YUYV: out = pixel_format::yuyv; return true;
    case V4L2_PIX_FMT_MJPEG: out = pixel_format::mjpeg; return true;
    case V4L2_PIX_FMT_RGB24: out = pixel_format::rgb24; return true;
    case V4L2_PIX_FMT_BGR24: out = pixel_format::bgr24; return true;
    default: return false;
  }
}

class v4l2_source : public source {
 public:
  v4l2_source(device_io& io, std::string path) : io_(io), path_(std::move(path)) {}
  ~v4l2_source() override { end(); }

  // Opens the node and agrees on a format.
  bool open() {
    fd_ = io_.open(path_.c_str(), OPEN_FLAGS);
    if (fd_ < 0) {
      last_error = failed(("opening " + path_).c_str(), errno);
      return false;
    }
    if (negotiate()) return true;
    io_.close(fd_);
    fd_ = -1;
    return false;
  }

  bool begin() override {
    if (fd_ < 0 && !open()) return false;
    v4l2_requestbuffers req{};
    req.count = BUFFERS;
    req.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    req.memory = V4L2_MEMORY_MMAP;
    if (ioctl(VIDIOC_REQBUFS, &req) < 0) return fail("VIDIOC_REQBUFS");
    if (req.count == 0) {
      last_error = "the device gave no buffers";
      return release(false);
    }
    requested_ = true;
    count_ = std::min(req.count, BUFFERS);
    for (uint32_t i = 0; i < count_; i++) {
      v4l2_buffer b{};
      b.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
      b.memory = V4L2_MEMORY_MMAP;
      b.index = i;
      if (ioctl(VIDIOC_QUERYBUF, &b) < 0) return fail("VIDIOC_QUERYBUF");
      void* p = io_.mmap(b.length, fd_, b.m.offset);
      if (p == MAP_FAILED) return fail("mmap");
      buffers_[i] = {static_cast<uint8_t*>(p), b.length};
      mapped_ = i + 1;
    }
    for (uint32_t i = 0; i < count_; i++)
      if (!queue(i)) return fail("VIDIOC_QBUF");
    int type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (ioctl(VIDIOC_STREAMON, &type) < 0) return fail("VIDIOC_STREAMON");
    streaming_ = true;
    return true;
  }

  step next(int stop_fd, raw_frame& out) override {
    pollfd p[2] = {{fd_, POLLIN, 0}, {stop_fd, POLLIN, 0}};
    if (io_.poll(p, 2, -1) < 0) {
      if (errno == EINTR || errno == EAGAIN) return step::none;
      last_error = failed("poll", errno);
      return step::ended;
    }
    if (p[1].revents) return step::stop;
    if (!p[0].revents) return step::none;
    v4l2_buffer b{};
    b.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    b.memory = V4L2_MEMORY_MMAP;
    if (ioctl(VIDIOC_DQBUF, &b) < 0) {
      int err = errno;
      if (err == EAGAIN) {
        // Readiness without a buffer: an error state of the device, or a spurious wake-up.
        if (!(p[0].revents & (POLLERR | POLLHUP | POLLNVAL))) return step::none;
        last_error = "the device reports an error";
        return step::ended;
      }
      last_error = err == ENODEV ? "the device is gone" : failed("VIDIOC_DQBUF", err);
      return step::ended;
    }
    if (b.index >= count_) {
      last_error = "the device returned an unknown buffer";
      return step::ended;
    }
    if (b.flags & V4L2_BUF_FLAG_ERROR) {
      queue(b.index);
      return step::none;
    }
    const mapping& m = buffers_[b.index];
    size_t used = b.bytesused ? b.bytesused : m.length;
    out.format = format_;
    out.bytes = m.address;
    out.size = std::min(used, m.length);
    out.stride = stride_;
    out.slot = b.index;
    return step::frame;
  }

  void done(const raw_frame& f) override {
    if (!queue(f.slot)) last_error = failed("VIDIOC_QBUF", errno);
  }

  void end() override { release(true); }

 private:
  struct mapping {
    uint8_t* address = nullptr;
    size_t length = 0;
  };

  // An ioctl retried while a signal interrupts it.
  int ioctl(unsigned long request, void* arg) {
    int r;
    do r = io_.ioctl(fd_, request, arg);
    while (r < 0 && errno == EINTR);
    return r;
  }

  bool queue(uint32_t index) {
    v4l2_buffer b{};
    b.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    b.memory = V4L2_MEMORY_MMAP;
    b.index = index;
    return ioctl(VIDIOC_QBUF, &b) == 0;
  }

  bool fail(const char* what) {
    int err = errno;
    last_error = err == EBUSY ? "the device is busy" : failed(what, err);
    return release(false);
  }

  bool negotiate() {
    v4l2_format fmt{};
    fmt.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (ioctl(VIDIOC_G_FMT, &fmt) < 0) {
      last_error = failed("VIDIOC_G_FMT", errno);
      return false;
    }
    // The formats offered, best first: YUYV converts cheapest, MJPEG needs decoding.
    const uint32_t order[] = {V4L2_PIX_FMT_YUYV, V4L2_PIX_FMT_MJPEG, V4L2_PIX_FMT_RGB24, V4L2_PIX_FMT_BGR24};
    size_t best = std::size(order);
    for (uint32_t i = 0; i < 64; i++) {
      v4l2_fmtdesc d{};
      d.index = i;
      d.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
      if (ioctl(VIDIOC_ENUM_FMT, &d) < 0) break;
      for (size_t k = 0; k < best; k++)
        if (order[k] == d.pixelformat) best = k;
    }
    if (best == std::size(order)) {
      last_error = "the device offers no format taken here (YUYV, MJPEG, RGB24, BGR24)";
      return false;
    }
    fmt.fmt.pix.pixelformat = order[best];
    fmt.fmt.pix.field = V4L2_FIELD_ANY;
    fmt.fmt.pix.bytesperline = 0;
    if (ioctl(VIDIOC_S_FMT, &fmt) < 0) {
      last_error = errno == EBUSY ? "the device is busy" : failed("VIDIOC_S_FMT", errno);
      return false;
    }
    // What the driver answers rules: it may change the size, the stride or the format.
    if (!taken(fmt.fmt.pix.pixelformat, format_)) {
      last_error = "the driver chose a format not taken here";
      return false;
    }
    if (!frame_size_ok(fmt.fmt.pix.width, fmt.fmt.pix.height)) {
      last_error = "the driver chose a frame size not taken here";
      return false;
    }
    width_ = fmt.fmt.pix.width;
    height_ = fmt.fmt.pix.height;
    uint64_t row = row_bytes(format_, width_);
    stride_ = uint32_t(std::max<uint64_t>(fmt.fmt.pix.bytesperline, row));
    return true;
  }

  // Undoes what begin did, and with `close` also closes the node. Answers false.
  bool release(bool close) {
    if (fd_ >= 0 && streaming_) {
      int type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
      ioctl(VIDIOC_STREAMOFF, &type);
    }
    streaming_ = false;
    for (uint32_t i = 0; i < mapped_; i++) io_.munmap(buffers_[i].address, buffers_[i].length);
    mapped_ = 0;
    if (fd_ >= 0 && requested_) {
      v4l2_requestbuffers req{};
      req.count = 0;
      req.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
      req.memory = V4L2_MEMORY_MMAP;
      ioctl(VIDIOC_REQBUFS, &req);
    }
    requested_ = false;
    count_ = 0;
    if (close && fd_ >= 0) {
      io_.close(fd_);
      fd_ = -1;
    }
    return false;
  }

  device_io& io_;
  std::string path_;
  int fd_ = -1;
  pixel_format format_ = pixel_format::yuyv;
  uint32_t stride_ = 0;
  mapping buffers_[BUFFERS];
  uint32_t count_ = 0, mapped_ = 0;
  bool requested_ = false, streaming_ = false;
};

}  // namespace

std::vector<std::string> v4l2_provider::list() {
  std::vector<std::pair<long, std::string>> nodes;
  for (const std::string& e : io_.dev_entries())
    if (long n = node_number(e); n >= 0) nodes.emplace_back(n, e);
  std::sort(nodes.begin(), nodes.end());
  std::vector<std::string> names;
  paths_.clear();
  for (auto& [n, entry] : nodes) {
    std::string path = "/dev/" + entry;
    int fd = io_.open(path.c_str(), OPEN_FLAGS);
    if (fd < 0) continue;
    v4l2_capability cap{};
    int r;
    do r = io_.ioctl(fd, VIDIOC_QUERYCAP, &cap);
    while (r < 0 && errno == EINTR);
    io_.close(fd);
    if (r < 0) continue;
    uint32_t caps = (cap.capabilities & V4L2_CAP_DEVICE_CAPS) ? cap.device_caps : cap.capabilities;
    if (!(caps & V4L2_CAP_VIDEO_CAPTURE) || !(caps & V4L2_CAP_STREAMING)) continue;
    std::string name = clean_utf8(reinterpret_cast<const char*>(cap.card), sizeof cap.card);
    names.push_back(name.empty() ? entry : name);
    paths_.push_back(path);
  }
  return names;
}

std::unique_ptr<source> v4l2_provider::open(size_t index) {
  if (index >= paths_.size()) {
    last_error = "no device " + std::to_string(index + 1);
    return nullptr;
  }
  auto s = std::make_unique<v4l2_source>(io_, paths_[index]);
  if (!s->open()) {
    last_error = s->last_error;
    return nullptr;
  }
  last_error.clear();
  return s;
}

}  // namespace vyr::camera
