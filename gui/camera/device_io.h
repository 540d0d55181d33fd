// The system calls of the video-device provider, behind one seam: the provider makes every
// call through a device_io, so a scripted device can stand in for the kernel under the same
// code. The calls keep the system's contract: -1 (MAP_FAILED for mmap) with errno set.
#pragma once
#include <poll.h>
#include <sys/types.h>

#include <string>
#include <vector>

namespace vyr::camera {

class device_io {
 public:
  virtual ~device_io() = default;
  // The names of the entries of /dev, in the directory's order.
  virtual std::vector<std::string> dev_entries();
  virtual int open(const char* path, int flags);
  virtual int close(int fd);
  virtual int ioctl(int fd, unsigned long request, void* arg);
  virtual void* mmap(size_t length, int fd, off_t offset);   // shared, read and write
  virtual int munmap(void* address, size_t length);
  virtual int poll(pollfd* fds, nfds_t n, int timeout_ms);
};

// The real calls.
device_io& system_io();

}  // namespace vyr::camera
