// A private Xvfb server for the tests that need a real X server: started on a free display
// number (the server picks it), stopped when the record goes. Tests skip, saying so, where
// Xvfb is not installed.
#pragma once
#include <chrono>
#include <cstdlib>
#include <string>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

namespace vyr::test {

inline bool have_program(const char* name) {
  const char* path = std::getenv("PATH");
  std::string p = path ? path : "/usr/bin:/bin";
  size_t i = 0;
  while (i <= p.size()) {
    size_t j = p.find(':', i);
    if (j == std::string::npos) j = p.size();
    std::string f = p.substr(i, j - i) + "/" + name;
    if (access(f.c_str(), X_OK) == 0) return true;
    i = j + 1;
  }
  return false;
}

// An Xvfb of our own: started on a free display number, stopped at the end.
struct xvfb {
  std::string screen = "640x480x24";
  pid_t pid = -1;
  std::string display;
  bool start() {
    int fds[2];
    if (pipe(fds) != 0) return false;
    pid = fork();
    if (pid == 0) {
      close(fds[0]);
      int null = open("/dev/null", O_WRONLY);
      dup2(null, 1);
      dup2(null, 2);
      std::string fd = std::to_string(fds[1]);
      execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen.c_str(), "-nolisten", "tcp",
             "-noreset", static_cast<char*>(nullptr));
      _exit(127);
    }
    close(fds[1]);
    std::string num;
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    while (std::chrono::steady_clock::now() < until) {
      pollfd p{fds[0], POLLIN, 0};
      if (poll(&p, 1, 200) <= 0) continue;
      char c;
      if (read(fds[0], &c, 1) != 1) break;
      if (c == '\n') break;
      num += c;
    }
    close(fds[0]);
    if (num.empty()) return false;
    display = ":" + num;
    return true;
  }
  ~xvfb() {
    if (pid > 0) {
      kill(pid, SIGTERM);
      waitpid(pid, nullptr, 0);
    }
  }
};

}  // namespace vyr::test
