// call on posix_spawn. The streams are served together by one poll loop, so a child that
// fills its output or error pipe before it has read all of its input cannot block us (nor
// we it). A child started without waiting is recorded by pid and reaped by that pid only,
// so a waited call never loses its status to the reaper.
#include "runtime/host/call.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "runtime/collector.h"
#include "runtime/datatypes/binary.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/string_actions.h"
#include "runtime/datatypes/series.h"
#include "runtime/fire.h"
#include "runtime/halt.h"
#include "runtime/host/simple_io.h"
#include "runtime/stack.h"
#include "runtime/memory.h"
#include "runtime/unicode.h"

extern char** environ;

namespace vyr::call {

namespace {

// Children started without waiting, by pid (0: free slot). The SIGCHLD handler and
// reap_detached reap them one by one with waitpid on their own pid.
constexpr int DETACHED_SLOTS = 1024;
std::atomic<pid_t> detached[DETACHED_SLOTS];

void reap_slots() {
  for (auto& slot : detached) {
    pid_t pid = slot.load(std::memory_order_relaxed);
    if (pid <= 0) continue;
    int status;
    pid_t r = ::waitpid(pid, &status, WNOHANG);
    if (r == pid || (r < 0 && errno == ECHILD)) slot.store(0, std::memory_order_relaxed);
  }
}

void on_sigchld(int) {
  int saved = errno;
  reap_slots();
  errno = saved;
}

void install_reaper() {
  static bool done = false;
  if (done) return;
  done = true;
  struct sigaction sa;
  std::memset(&sa, 0, sizeof sa);
  sa.sa_handler = on_sigchld;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART | SA_NOCLDSTOP;
  ::sigaction(SIGCHLD, &sa, nullptr);
}

// Holds SIGCHLD off between the spawn and the pid's record, so a child that ends at once
// is still reaped (the pending signal arrives when the mask is restored).
class sigchld_hold {
 public:
  sigchld_hold() {
    sigset_t s;
    sigemptyset(&s);
    sigaddset(&s, SIGCHLD);
    ::pthread_sigmask(SIG_BLOCK, &s, &old_);
  }
  ~sigchld_hold() { ::pthread_sigmask(SIG_SETMASK, &old_, nullptr); }

 private:
  sigset_t old_;
};

// Writing into a pipe whose reader has gone raises SIGPIPE, which would end vyr: the
// signal is held off while the pipes are served and any one it raised is taken away.
class sigpipe_hold {
 public:
  sigpipe_hold() {
    sigemptyset(&set_);
    sigaddset(&set_, SIGPIPE);
    sigset_t pending;
    sigemptyset(&pending);
    ::sigpending(&pending);
    was_pending_ = sigismember(&pending, SIGPIPE) == 1;
    ::pthread_sigmask(SIG_BLOCK, &set_, &old_);
  }
  ~sigpipe_hold() {
    if (!was_pending_) {
      struct timespec zero{0, 0};
      while (::sigtimedwait(&set_, nullptr, &zero) > 0) {
      }
    }
    ::pthread_sigmask(SIG_SETMASK, &old_, nullptr);
  }

 private:
  sigset_t set_, old_;
  bool was_pending_;
};

class fd_list {
 public:
  ~fd_list() {
    for (int fd : fds_)
      if (fd >= 0) ::close(fd);
  }
  int add(int fd) {
    fds_.push_back(fd);
    return fd;
  }
  void close(int fd) {
    for (int& f : fds_)
      if (f == fd) {
        ::close(f);
        f = -1;
      }
  }

 private:
  std::vector<int> fds_;
};

class actions_guard {
 public:
  actions_guard() { ok_ = ::posix_spawn_file_actions_init(&fa_) == 0; }
  ~actions_guard() {
    if (ok_) ::posix_spawn_file_actions_destroy(&fa_);
  }
  posix_spawn_file_actions_t* get() { return &fa_; }
  bool ok() const { return ok_; }

 private:
  posix_spawn_file_actions_t fa_;
  bool ok_;
};

class attr_guard {
 public:
  attr_guard() { ok_ = ::posix_spawnattr_init(&at_) == 0; }
  ~attr_guard() {
    if (ok_) ::posix_spawnattr_destroy(&at_);
  }
  posix_spawnattr_t* get() { return &at_; }
  bool ok() const { return ok_; }

 private:
  posix_spawnattr_t at_;
  bool ok_;
};

i64 status_of(int status) {
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

// Sets up the child's stream `target` from `s`; pipes go to `ours` (our end, -1 if none).
// The descriptors only the child needs go to `theirs`, closed here once it has started.
bool plan_stream(posix_spawn_file_actions_t* fa, fd_list& fds, stream& s, int target,
                 bool input, int* ours, std::vector<int>& theirs_list) {
  *ours = -1;
  switch (s.kind) {
    case stream::NONE:
      return ::posix_spawn_file_actions_addopen(fa, target, "/dev/null",
                                                input ? O_RDONLY : O_WRONLY, 0) == 0;
    case stream::FILE: {
      if (s.path.find('\0') != std::string::npos) return false;
      int fd = input ? ::open(s.path.c_str(), O_RDONLY | O_CLOEXEC)
                     : ::open(s.path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
      if (fd < 0) return false;
      fds.add(fd);
      theirs_list.push_back(fd);
      return ::posix_spawn_file_actions_adddup2(fa, fd, target) == 0;
    }
    case stream::DATA: {
      int p[2];
      if (::pipe2(p, O_CLOEXEC) != 0) return false;
      fds.add(p[0]);
      fds.add(p[1]);
      int theirs = input ? p[0] : p[1];
      *ours = input ? p[1] : p[0];
      theirs_list.push_back(theirs);
      ::fcntl(*ours, F_SETFL, ::fcntl(*ours, F_GETFL) | O_NONBLOCK);
      ::fcntl(*ours, F_SETPIPE_SZ, 1 << 20);  // fewer wake-ups; best effort
      return ::posix_spawn_file_actions_adddup2(fa, theirs, target) == 0;
    }
  }
  return false;
}

// A halt asked for while a waited child runs (Ctrl+C at the console). The terminal's
// interrupt reached the child too, as it runs in our process group; one still running
// after a short grace is killed, so that the halt never waits on a child that ignores it.
// The waits below wake at least every TICK to look.
constexpr int TICK_MS = 100;

class halt_watch {
 public:
  explicit halt_watch(pid_t pid) : pid_(pid) {}
  // True once the child has been killed.
  bool step() {
    halt::serve();
    if (halt::requested != halt::HALT || killed_) return killed_;
    auto now = std::chrono::steady_clock::now();
    if (!seen_) {
      seen_ = true;
      since_ = now;
    } else if (now - since_ >= std::chrono::milliseconds(250)) {
      ::kill(pid_, SIGKILL);
      killed_ = true;
    }
    return killed_;
  }

 private:
  pid_t pid_;
  bool seen_ = false, killed_ = false;
  std::chrono::steady_clock::time_point since_;
};

// Feeds the input and drains output and error together until every pipe is closed (or a
// halt ended the child: what it left open is not waited for).
void serve_pipes(fd_list& fds, pid_t pid, int in_fd, const std::string& input, int out_fd,
                 stream& out, int err_fd, stream& err) {
  halt_watch watch(pid);
  sigpipe_hold hold;
  size_t sent = 0;
  if (in_fd >= 0 && input.empty()) {
    fds.close(in_fd);
    in_fd = -1;
  }
  while (in_fd >= 0 || out_fd >= 0 || err_fd >= 0) {
    struct pollfd p[3];
    int n = 0;
    int in_i = -1, out_i = -1, err_i = -1;
    if (in_fd >= 0) p[in_i = n++] = {in_fd, POLLOUT, 0};
    if (out_fd >= 0) p[out_i = n++] = {out_fd, POLLIN, 0};
    if (err_fd >= 0) p[err_i = n++] = {err_fd, POLLIN, 0};
    int ready = ::poll(p, static_cast<nfds_t>(n), TICK_MS);
    if (watch.step()) break;
    if (ready <= 0) {
      if (ready == 0 || errno == EINTR) continue;
      break;
    }
    if (in_i >= 0 && p[in_i].revents) {
      size_t want = std::min<size_t>(input.size() - sent, stream::CHUNK);
      ssize_t k = ::write(in_fd, input.data() + sent, want);
      if (k > 0) sent += static_cast<size_t>(k);
      bool gone = k < 0 && errno != EAGAIN && errno != EINTR;
      if (gone || sent == input.size()) {
        fds.close(in_fd);  // the child sees the end of its input
        in_fd = -1;
      }
    }
    auto drain = [&](int i, int& fd, stream& s) {
      if (i < 0 || !p[i].revents) return;
      if (s.chunks.empty() || s.chunks.back().second == stream::CHUNK)
        s.chunks.emplace_back(std::make_unique<char[]>(stream::CHUNK), 0);
      auto& c = s.chunks.back();
      ssize_t k = ::read(fd, c.first.get() + c.second, stream::CHUNK - c.second);
      if (k > 0) {
        if (s.ascii) s.ascii = simple_io::ascii_q(c.first.get() + c.second, size_t(k));
        c.second += static_cast<size_t>(k);
        s.total += static_cast<size_t>(k);
        memory::checked_size(s.total, 1);
      } else if (k == 0 || (errno != EAGAIN && errno != EINTR)) {
        fds.close(fd);
        fd = -1;
      }
    };
    drain(out_i, out_fd, out);
    drain(err_i, err_fd, err);
  }
  if (in_fd >= 0) fds.close(in_fd);
  if (out_fd >= 0) fds.close(out_fd);
  if (err_fd >= 0) fds.close(err_fd);
}

// Waits for the child's end; a halt asked for meanwhile is delivered once it has ended.
i64 wait_for(pid_t pid) {
  halt_watch watch(pid);
  // The child's pidfd wakes the wait at its end; without one the wait looks more often.
  int pfd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
  int status = 0;
  i64 result = -1;
  for (;;) {
    pid_t r = ::waitpid(pid, &status, WNOHANG);
    if (r == pid) {
      result = status_of(status);
      break;
    }
    if (r < 0 && errno != EINTR) break;
    watch.step();
    if (pfd >= 0) {
      struct pollfd p = {pfd, POLLIN, 0};
      ::poll(&p, 1, TICK_MS);
    } else {
      struct timespec t = {0, 10 * 1000000L};
      ::nanosleep(&t, nullptr);
    }
  }
  if (pfd >= 0) ::close(pfd);
  halt::check();
  return result;
}

bool record_detached(pid_t pid) {
  for (auto& slot : detached) {
    pid_t expected = 0;
    if (slot.compare_exchange_strong(expected, pid)) return true;
  }
  return false;
}

bool free_slot_q() {
  for (auto& slot : detached)
    if (slot.load(std::memory_order_relaxed) == 0) return true;
  return false;
}

// Decodes captured UTF-8 (CR LF and CR to LF) and appends it to the string! target.
void append_text(cell* target, stream& s) {
  cell t = *target;
  collector::root_guard keep(&t);
  if (s.ascii && buffer_of(series::node(&t))->unit() == 1) {
    // ASCII goes straight to the target's tail chunk by chunk, each chunk given up once
    // copied: the capture and the text never both exist whole.
    series_buffer* b = buffer_of(series::node(&t));
    b = string::reserve(b, u64{b->used_bytes()} + s.total);
    bool after_cr = false;
    for (auto& c : s.chunks) {
      b = buffer_of(series::node(&t));  // nothing below allocates in the arena
      size_t k = simple_io::to_lf(b->tail_ptr(), c.first.get(), c.second, &after_cr);
      b->tail += static_cast<u32>(k);
      c.first.reset();
    }
    s.chunks.clear();
    return;
  }
  std::string bytes = s.joined();
  series_buffer* b = buffer_of(series::node(&t));
  if (b->used_units() == 0) {
    // An empty target takes the decoded text as its own buffer: no second copy.
    unicode::load_utf8_buffer(reinterpret_cast<const u8*>(bytes.data()),
                              static_cast<u32>(bytes.size()), series::node(&t), nullptr, true);
    return;
  }
  cell text{TYPE_UNSET, 0, 0, 0};
  collector::root_guard keep_text(&text);
  u32 node = unicode::load_utf8_buffer(reinterpret_cast<const u8*>(bytes.data()),
                                       static_cast<u32>(bytes.size()), 0, nullptr, true);
  text = cell{TYPE_STRING, 0, node, 0};
  string::concatenate(&t, &text, -1, 0, false, string::CONCAT_APPEND);
}

void store_output(const cell* target, stream& s) {
  if (!target || s.total == 0) return;
  if (s.total > 0x7FFFFFFF) fire("script", "too-long");
  memory::checked_size(s.total, 1);
  cell t = *target;
  collector::root_guard keep(&t);
  if (type_of(&t) == TYPE_BINARY) {
    std::string bytes = s.joined();
    binary::rs_insert(&t, 0, reinterpret_cast<const u8*>(bytes.data()),
                      static_cast<u32>(bytes.size()));
  } else if (type_of(&t) == TYPE_STRING) {
    append_text(&t, s);
  }
  s.chunks.clear();
}

// A /input, /output or /error value as a stream: file! by path, else data or capture.
stream stream_of(const cell* value, bool input) {
  stream s;
  if (!value) return s;
  u32 t = type_of(value);
  if (t == TYPE_FILE) {
    s.kind = stream::FILE;
    s.path = string::to_utf8(value);
  } else if (t == TYPE_BINARY || t == TYPE_STRING) {
    s.kind = stream::DATA;
    if (input) {
      if (t == TYPE_BINARY) {
        std::vector<u8> v = binary::bytes_of(value);
        s.bytes.assign(v.begin(), v.end());
      } else {
        s.bytes = binary::utf8_of(value);
      }
    }
  } else {
    cell v = *value;
    fire("script", "invalid-arg", &v);
  }
  return s;
}

}  // namespace

std::string stream::joined() {
  std::string all;
  all.reserve(total);
  for (auto& c : chunks) {
    all.append(c.first.get(), c.second);
    c.first.reset();
  }
  chunks.clear();
  return all;
}

std::vector<std::string> split_command_line(const std::string& text) {
  std::vector<std::string> out;
  auto blank = [](char c) { return c == ' ' || c == '\t'; };
  size_t i = 0, n = text.size();
  while (i < n) {
    while (i < n && blank(text[i])) i++;
    if (i >= n) break;
    size_t start = i;
    bool quoted = false;
    while (i < n && (quoted || !blank(text[i]))) {
      if (text[i] == '"') quoted = !quoted;
      i++;
    }
    std::string piece = text.substr(start, i - start);
    bool lead = !piece.empty() && piece.front() == '"';
    if (lead) piece.erase(0, 1);
    if (!piece.empty() && piece.back() == '"') piece.pop_back();
    out.push_back(std::move(piece));
  }
  return out;
}

i64 spawn(const std::vector<std::string>& argv, bool wait, stream& in, stream& out,
          stream& err) {
  if (argv.empty() || argv[0].empty()) return -1;
  for (const std::string& a : argv)
    if (a.find('\0') != std::string::npos) return -1;
  install_reaper();
  reap_slots();
  bool redirected = in.kind != stream::NONE || out.kind != stream::NONE ||
                    err.kind != stream::NONE;
  wait = wait || redirected;
  if (!wait && !free_slot_q()) return -1;

  fd_list fds;
  actions_guard fa;
  attr_guard at;
  if (!fa.ok() || !at.ok()) return -1;
  int in_fd, out_fd, err_fd;
  std::vector<int> theirs;
  if (!plan_stream(fa.get(), fds, in, 0, true, &in_fd, theirs) ||
      !plan_stream(fa.get(), fds, out, 1, false, &out_fd, theirs) ||
      !plan_stream(fa.get(), fds, err, 2, false, &err_fd, theirs))
    return -1;
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 34))
  ::posix_spawn_file_actions_addclosefrom_np(fa.get(), 3);
#endif
  sigset_t none, all;
  sigemptyset(&none);
  sigfillset(&all);
  ::posix_spawnattr_setsigmask(at.get(), &none);
  ::posix_spawnattr_setsigdefault(at.get(), &all);
  ::posix_spawnattr_setflags(at.get(), POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid;
  {
    sigchld_hold hold;
    int rc = argv[0].find('/') == std::string::npos
                 ? ::posix_spawnp(&pid, args[0], fa.get(), at.get(), args.data(), environ)
                 : ::posix_spawn(&pid, args[0], fa.get(), at.get(), args.data(), environ);
    if (rc != 0) return -1;
    if (!wait) {
      record_detached(pid);
      return pid;
    }
  }
  // Our copies of the child's ends go, so the pipes report the end when the child's do.
  for (int fd : theirs) fds.close(fd);
  serve_pipes(fds, pid, in_fd, in.bytes, out_fd, out, err_fd, err);
  return wait_for(pid);
}

i64 start_detached(const std::vector<std::string>& argv) {
  stream in, out, err;
  return spawn(argv, false, in, out, err);
}

void reap_detached() { reap_slots(); }

void run(const cell* cmd_in, bool wait, bool show, bool console, bool shell,
         const cell* input, const cell* output, const cell* error) {
  (void)show;  // no windows to show or hide here
  if (console) fire("internal", "not-done");
  cell cmd = *cmd_in;
  collector::root_guard keep_cmd(&cmd);
  if (string::rs_length_q(&cmd) == 0) {
    stack::set_last(cell{TYPE_INTEGER, 0, 0, 0});
    return;
  }
  std::string text = string::to_utf8(&cmd);
  stream in = stream_of(input, true);
  stream out = stream_of(output, false);
  stream err = stream_of(error, false);
  std::vector<std::string> argv =
      shell ? std::vector<std::string>{"/bin/sh", "-c", text} : split_command_line(text);
  i64 r = spawn(argv, wait, in, out, err);
  if (out.kind == stream::DATA) store_output(output, out);
  if (err.kind == stream::DATA) store_output(error, err);
  stack::set_last(cell{TYPE_INTEGER, 0, static_cast<u32>(static_cast<i32>(r)), 0});
}

}  // namespace vyr::call
