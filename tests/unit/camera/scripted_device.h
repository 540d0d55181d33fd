// A scripted stand-in for the kernel's video devices behind the device seam: nodes with
// capabilities, formats and a driver's answers, and a stream of frames and errors that the
// capture thread dequeues. Stop signals are real eventfds, polled for real.
#pragma once
#include <linux/videodev2.h>
#include <poll.h>
#include <sys/mman.h>

#include <cerrno>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "gui/camera/convert.h"
#include "gui/camera/device_io.h"

namespace vyr::camera::test {

// One thing the stream does when the capture thread polls and dequeues next.
struct stream_event {
  enum kind_t { frame, dq_error, poll_error } kind = frame;
  std::vector<uint8_t> bytes;   // frame: written at the start of the buffer
  uint32_t bytesused = 0;       // frame: as the driver reports it
  uint32_t flags = 0;           // frame: V4L2_BUF_FLAG_*
  int error = 0;                // dq_error, poll_error: the errno
};

struct scripted_node {
  int open_errno = 0;                     // non-zero: open fails with it
  int querycap_errno = 0;
  uint32_t capabilities = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING | V4L2_CAP_DEVICE_CAPS;
  uint32_t device_caps = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING;
  std::string card = "Camera";            // copied into the 32 bytes, unterminated when 32 long
  std::vector<uint32_t> formats = {V4L2_PIX_FMT_YUYV};
  uint32_t width = 4, height = 2;         // the current format's size
  // What S_FMT answers; 0 keeps what was asked (bytesperline 0: the packed row).
  uint32_t answer_width = 0, answer_height = 0, answer_bpl = 0, answer_format = 0;
  int s_fmt_errno = 0, reqbufs_errno = 0, streamon_errno = 0;
  uint32_t buffer_length = 0;             // 0: bytesperline x height
  std::deque<stream_event> stream;
};

class scripted_io : public device_io {
 public:
  std::vector<std::string> entries;
  std::map<std::string, scripted_node> nodes;   // by path
  std::vector<std::string> log;                 // the calls made, in order
  int queued_count = 0;                         // QBUF calls that succeeded

  scripted_node& node(const std::string& entry) {
    entries.push_back(entry);
    return nodes["/dev/" + entry];
  }

  std::vector<std::string> dev_entries() override { return entries; }

  int open(const char* path, int) override {
    std::lock_guard<std::mutex> l(m_);
    log.push_back(std::string("open ") + path);
    auto it = nodes.find(path);
    if (it == nodes.end()) return fail(ENOENT);
    if (it->second.open_errno) return fail(it->second.open_errno);
    int fd = next_fd_++;
    open_[fd] = &it->second;
    return fd;
  }

  int close(int fd) override {
    std::lock_guard<std::mutex> l(m_);
    log.push_back("close");
    return open_.erase(fd) ? 0 : fail(EBADF);
  }

  int ioctl(int fd, unsigned long request, void* arg) override {
    std::lock_guard<std::mutex> l(m_);
    auto it = open_.find(fd);
    if (it == open_.end()) return fail(EBADF);
    scripted_node& n = *it->second;
    switch (request) {
      case VIDIOC_QUERYCAP: {
        if (n.querycap_errno) return fail(n.querycap_errno);
        auto* c = static_cast<v4l2_capability*>(arg);
        std::memset(c, 0, sizeof *c);
        std::memcpy(c->card, n.card.data(), std::min(n.card.size(), sizeof c->card));
        c->capabilities = n.capabilities;
        c->device_caps = n.device_caps;
        return 0;
      }
      case VIDIOC_G_FMT: {
        auto* f = static_cast<v4l2_format*>(arg);
        f->fmt.pix.width = n.width;
        f->fmt.pix.height = n.height;
        f->fmt.pix.pixelformat = n.formats.empty() ? 0 : n.formats[0];
        return 0;
      }
      case VIDIOC_ENUM_FMT: {
        auto* d = static_cast<v4l2_fmtdesc*>(arg);
        if (d->index >= n.formats.size()) return fail(EINVAL);
        d->pixelformat = n.formats[d->index];
        return 0;
      }
      case VIDIOC_S_FMT: {
        if (n.s_fmt_errno) return fail(n.s_fmt_errno);
        auto* f = static_cast<v4l2_format*>(arg);
        log.push_back("S_FMT " + fourcc(f->fmt.pix.pixelformat) + " " + std::to_string(f->fmt.pix.width) +
                      "x" + std::to_string(f->fmt.pix.height));
        if (n.answer_width) f->fmt.pix.width = n.answer_width;
        if (n.answer_height) f->fmt.pix.height = n.answer_height;
        if (n.answer_format) f->fmt.pix.pixelformat = n.answer_format;
        f->fmt.pix.bytesperline = n.answer_bpl;
        uint64_t row = row_bytes(taken_format(f->fmt.pix.pixelformat), f->fmt.pix.width);
        stride_ = n.answer_bpl ? n.answer_bpl : uint32_t(row ? row : f->fmt.pix.width * 2);
        height_ = f->fmt.pix.height;
        return 0;
      }
      case VIDIOC_REQBUFS: {
        auto* r = static_cast<v4l2_requestbuffers*>(arg);
        log.push_back("REQBUFS " + std::to_string(r->count));
        if (r->count && n.reqbufs_errno) return fail(n.reqbufs_errno);
        buffers_.assign(r->count, std::vector<uint8_t>(n.buffer_length ? n.buffer_length : stride_ * height_));
        return 0;
      }
      case VIDIOC_QUERYBUF: {
        auto* b = static_cast<v4l2_buffer*>(arg);
        if (b->index >= buffers_.size()) return fail(EINVAL);
        b->length = uint32_t(buffers_[b->index].size());
        b->m.offset = b->index * 4096;
        return 0;
      }
      case VIDIOC_QBUF: {
        auto* b = static_cast<v4l2_buffer*>(arg);
        if (b->index >= buffers_.size()) return fail(EINVAL);
        queue_.push_back(b->index);
        queued_count++;
        return 0;
      }
      case VIDIOC_DQBUF: {
        if (n.stream.empty() || queue_.empty()) return fail(EAGAIN);
        stream_event e = n.stream.front();
        n.stream.pop_front();
        if (e.kind == stream_event::dq_error) return fail(e.error);
        auto* b = static_cast<v4l2_buffer*>(arg);
        b->index = queue_.front();
        queue_.pop_front();
        std::vector<uint8_t>& buf = buffers_[b->index];
        std::memcpy(buf.data(), e.bytes.data(), std::min(e.bytes.size(), buf.size()));
        b->bytesused = e.bytesused;
        b->flags = e.flags;
        return 0;
      }
      case VIDIOC_STREAMON:
        log.push_back("STREAMON");
        return n.streamon_errno ? fail(n.streamon_errno) : 0;
      case VIDIOC_STREAMOFF:
        log.push_back("STREAMOFF");
        return 0;
    }
    return fail(ENOTTY);
  }

  void* mmap(size_t length, int fd, off_t offset) override {
    std::lock_guard<std::mutex> l(m_);
    size_t i = size_t(offset) / 4096;
    if (i >= buffers_.size() || length != buffers_[i].size()) {
      errno = EINVAL;
      return MAP_FAILED;
    }
    log.push_back("mmap");
    return buffers_[i].data();
  }

  int munmap(void*, size_t) override {
    std::lock_guard<std::mutex> l(m_);
    log.push_back("munmap");
    return 0;
  }

  // The device is readable while its stream has something; a stop signal wins. With nothing
  // scripted, the poll blocks on the stop signal alone, as a silent device would.
  int poll(pollfd* fds, nfds_t n, int timeout_ms) override {
    bool pending;
    {
      std::lock_guard<std::mutex> l(m_);
      scripted_node* node = open_.count(fds[0].fd) ? open_[fds[0].fd] : nullptr;
      pending = node && !node->stream.empty();
      if (pending && node->stream.front().kind == stream_event::poll_error) {
        int err = node->stream.front().error;
        node->stream.pop_front();
        return fail(err);
      }
    }
    pollfd stop = fds[1];
    int r = ::poll(&stop, 1, pending ? 0 : timeout_ms);
    fds[0].revents = pending ? POLLIN : 0;
    fds[1].revents = r > 0 ? stop.revents : 0;
    return (fds[0].revents ? 1 : 0) + (fds[1].revents ? 1 : 0);
  }

  // How many events the node's stream still holds.
  size_t left(const std::string& path) {
    std::lock_guard<std::mutex> l(m_);
    return nodes[path].stream.size();
  }
  bool logged(const std::string& call) const {
    for (auto& l : log) if (l == call) return true;
    return false;
  }
  int count_of(const std::string& call) const {
    int c = 0;
    for (auto& l : log) c += l == call;
    return c;
  }

 private:
  static int fail(int err) {
    errno = err;
    return -1;
  }
  static pixel_format taken_format(uint32_t f) {
    return f == V4L2_PIX_FMT_RGB24 ? pixel_format::rgb24 : f == V4L2_PIX_FMT_BGR24 ? pixel_format::bgr24
         : f == V4L2_PIX_FMT_MJPEG ? pixel_format::mjpeg : pixel_format::yuyv;
  }
  static std::string fourcc(uint32_t f) {
    return std::string{char(f & 0xFF), char((f >> 8) & 0xFF), char((f >> 16) & 0xFF), char(f >> 24)};
  }
  std::mutex m_;
  int next_fd_ = 100;
  std::map<int, scripted_node*> open_;
  uint32_t stride_ = 0, height_ = 0;
  std::vector<std::vector<uint8_t>> buffers_;
  std::deque<uint32_t> queue_;
};

}  // namespace vyr::camera::test
