// The real system calls behind the device seam.
#include "gui/camera/device_io.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace vyr::camera {

std::vector<std::string> device_io::dev_entries() {
  std::vector<std::string> names;
  if (DIR* d = ::opendir("/dev")) {
    while (dirent* e = ::readdir(d)) names.emplace_back(e->d_name);
    ::closedir(d);
  }
  return names;
}

int device_io::open(const char* path, int flags) { return ::open(path, flags); }
int device_io::close(int fd) { return ::close(fd); }
int device_io::ioctl(int fd, unsigned long request, void* arg) { return ::ioctl(fd, request, arg); }
void* device_io::mmap(size_t length, int fd, off_t offset) {
  return ::mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_SHARED, fd, offset);
}
int device_io::munmap(void* address, size_t length) { return ::munmap(address, length); }
int device_io::poll(pollfd* fds, nfds_t n, int timeout_ms) { return ::poll(fds, n, timeout_ms); }

device_io& system_io() {
  static device_io io;
  return io;
}

}  // namespace vyr::camera
