// Standard input lines for the text console (see tty.h).
#include "console/text/tty.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <chrono>
#include <cstdint>
#include <exception>
#include <utility>

#include "runtime/halt.h"
#include "runtime/host/clipboard.h"
#include "runtime/natives/host.h"

namespace vyr::text {

namespace {

// ---- Terminal state, shared with the signal handlers ------------------------------------

struct termios saved;                       // the settings found before the first raw read
volatile sig_atomic_t saved_valid = 0;
volatile sig_atomic_t raw_active = 0;       // raw mode is set now
volatile sig_atomic_t resized = 1;          // the size must be read again
volatile sig_atomic_t redraw_wanted = 0;    // continued after a stop: raw again, redraw
volatile sig_atomic_t stops_begun = 0;      // stop handlers entered, and left (continued)
volatile sig_atomic_t stops_ended = 0;
int wake_pipe[2] = {-1, -1};                // signals wake a waiting read through it

void write_all(int fd, const char* p, size_t n) {
  while (n > 0) {
    ssize_t w = ::write(fd, p, n);
    if (w < 0) {
      if (errno == EINTR) continue;
      return;
    }
    p += w;
    n -= size_t(w);
  }
}
void out(const std::string& s) { write_all(STDOUT_FILENO, s.data(), s.size()); }

void wake() {
  if (wake_pipe[1] >= 0) {
    char c = 1;
    (void)!::write(wake_pipe[1], &c, 1);
  }
}

// Keeps the terminal's settings as they were before this editor first changed them.
bool save_settings() {
  if (!saved_valid) {
    if (tcgetattr(STDIN_FILENO, &saved) != 0) return false;
    saved_valid = 1;
  }
  return true;
}

bool enter_raw() {
  if (!save_settings()) return false;
  struct termios raw = saved;
  raw.c_iflag &= ~tcflag_t(IXON | ICRNL | INLCR | IGNCR | ISTRIP | BRKINT);
  raw.c_lflag &= ~tcflag_t(ICANON | ECHO | ISIG | IEXTEN);
  raw.c_cc[VMIN] = 1;
  raw.c_cc[VTIME] = 0;
  // TCSANOW, not TCSAFLUSH: typed-ahead and pasted lines stay in the input queue.
  if (tcsetattr(STDIN_FILENO, TCSANOW, &raw) != 0) return false;
  raw_active = 1;
  return true;
}

void leave_raw() {
  if (raw_active && saved_valid) tcsetattr(STDIN_FILENO, TCSANOW, &saved);
  raw_active = 0;
}

// A signal that ends the process: the terminal is put back first, then the signal's own
// action runs (so the parent sees the real cause).
void on_fatal(int sig) {
  restore_terminal();
  signal(sig, SIG_DFL);
  raise(sig);
}

// A stop asked from outside (kill -TSTP) while raw: cooked for the shell, then stop.
void on_stop(int sig) {
  stops_begun = stops_begun + 1;
  int was_raw = raw_active;
  restore_terminal();
  signal(SIGTSTP, SIG_DFL);
  // The signal is blocked while its handler runs: unblocked, the raise stops at once.
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGTSTP);
  pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
  raise(SIGTSTP);
  // Continued here.
  struct sigaction sa{};
  sa.sa_handler = on_stop;
  sigaction(SIGTSTP, &sa, nullptr);
  if (was_raw) redraw_wanted = 1;
  stops_ended = stops_ended + 1;
  wake();
}

void on_continue(int) {
  redraw_wanted = 1;
  wake();
}

void on_winch(int) {
  resized = 1;
  wake();
}

void on_interrupt(int) {
  // A second Ctrl+C before the first was delivered: the evaluator is stuck outside any
  // call or loop check (a long native), so the process ends.
  if (halt::requested == halt::HALT) {
    restore_terminal();
    _exit(130);
  }
  halt::request();
}

void install(int sig, void (*fn)(int)) {
  struct sigaction sa{};
  sa.sa_handler = fn;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = 0;  // no SA_RESTART: a waiting read sees EINTR when it runs on this thread
  sigaction(sig, &sa, nullptr);
}

void setup_once() {
  static bool done = false;
  if (done) return;
  done = true;
  if (pipe(wake_pipe) == 0) {
    for (int fd : wake_pipe) {
      fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
      fcntl(fd, F_SETFD, FD_CLOEXEC);
    }
  }
  // SIGTERM and SIGHUP end the process through the runtime's handlers, which put the
  // terminal back first.
  install(SIGQUIT, on_fatal);
  install(SIGTSTP, on_stop);
  install(SIGCONT, on_continue);
  install(SIGWINCH, on_winch);
  std::atexit(restore_terminal);
}

// ---- Standard input ---------------------------------------------------------------------

// Bytes read from stdin but not yet used: one buffer for plain and edited reads, so lines
// typed ahead or pasted in one write reach the following questions in order.
std::string inbuf;
size_t inpos = 0;
bool at_end = false;
bool ended_answer = false;  // the last question met the end of the input
unsigned long outputs = 0;  // texts printed so far: a window's handler may print meanwhile

// Waits for input (or a signal's wake-up) and appends what came; false at the end. Once the
// GUI is in, the windows' pending messages are handled every 10 ms while it waits, as wait
// does, and it comes back after each such pass (the caller redraws what a handler's output
// spoilt): a window shown from the prompt is drawn and answers while the prompt waits.
// Typed keys are read as soon as they come; without the GUI the read blocks as before.
bool fill(bool wait_for_wake) {
  if (at_end) return false;
  // Used bytes are dropped, so a long piped input is held a chunk at a time.
  if (inpos > 0 && (inpos == inbuf.size() || inpos >= 65536)) {
    inbuf.erase(0, inpos);
    inpos = 0;
  }
  for (;;) {
    // While a question waits, other programs' requests for the clipboard the process holds
    // (on the desktop's clipboard) are answered.
    int clip = clipboard::current().serve_fd();
    bool wake = wait_for_wake && wake_pipe[0] >= 0;
    void (*pump)(std::int64_t) = natives::wait_hook;
    if (wake || clip >= 0 || pump) {
      if (clip >= 0) clipboard::current().serve();
      // The time the last poll slept goes to the windows' clock with the pass after it.
      static std::int64_t polled_us = 0;
      if (pump) pump(std::exchange(polled_us, 0));
      struct pollfd p[3] = {{STDIN_FILENO, POLLIN, 0}, {wake ? wake_pipe[0] : -1, POLLIN, 0}, {clip, POLLIN, 0}};
      auto before = std::chrono::steady_clock::now();
      int r = poll(p, 3, pump ? 10 : -1);
      if (pump)
        polled_us = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - before).count();
      if (r == 0) return true;  // the windows' turn; the caller comes back
      if (r < 0 && errno != EINTR) return false;
      if (wake && (r < 0 || (p[1].revents & POLLIN))) {
        char drain[64];
        while (::read(wake_pipe[0], drain, sizeof drain) > 0) {}
        return true;  // the caller looks at the flags and comes back
      }
      if (r < 0 || !(p[0].revents & (POLLIN | POLLHUP | POLLERR))) continue;
    }
    char buf[4096];
    ssize_t n = ::read(STDIN_FILENO, buf, sizeof buf);
    if (n < 0 && errno == EINTR) {
      if (wait_for_wake) return true;
      continue;
    }
    if (n <= 0) {
      at_end = true;
      return false;
    }
    inbuf.append(buf, size_t(n));
    return true;
  }
}

// While a command runs the terminal is cooked, and there the end-of-file key (Ctrl+D) is
// no byte but a mark that ends a line: once the editor made the terminal raw it would be read
// as a NUL, and a Ctrl+D typed ahead of the prompt would be lost. Before the editor takes the
// terminal, the whole lines and the marks the cooked terminal holds are read, each mark as the
// Ctrl+D it was typed as; a partial line stays queued and reaches the editor as keys.
// The end-of-file key stops being special first: a Ctrl+D typed between this read and the
// switch to raw mode then stays in the queue as its own byte instead of becoming a mark.
void take_cooked_ahead() {
  if (!save_settings()) return;
  struct termios now;
  if (tcgetattr(STDIN_FILENO, &now) != 0 || !(now.c_lflag & ICANON)) return;
  now.c_cc[VEOF] = _POSIX_VDISABLE;
  // Marked as changed, so that an exit from here on puts the saved settings back.
  raw_active = 1;
  if (tcsetattr(STDIN_FILENO, TCSANOW, &now) != 0) {
    raw_active = 0;
    return;
  }
  for (int marks = 0; marks < 16;) {
    struct pollfd p = {STDIN_FILENO, POLLIN, 0};
    if (poll(&p, 1, 0) <= 0 || !(p.revents & POLLIN)) return;
    char buf[4096];
    ssize_t n = ::read(STDIN_FILENO, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return;
    if (n == 0) {
      inbuf.push_back('\x04');
      marks++;
      continue;
    }
    inbuf.append(buf, size_t(n));
  }
}

std::optional<std::string> plain_read() {
  for (;;) {
    if (std::optional<std::string> line = take_line(inbuf, inpos, at_end)) return line;
    if (at_end) return std::nullopt;
    fill(false);
  }
}

// The process takes a stop on whichever of its threads the system chooses: the editor waits
// until the handler has stopped the process and been continued, so that the terminal is
// made raw again only then, never while the shell has it. A handler that has not begun
// after two seconds is not waited for (the stop was lost).
void wait_for_stop(int begun) {
  for (int waited = 0; stops_begun == begun ? waited < 2000 : stops_ended != stops_begun;
       waited += 10) {
    struct pollfd p = {wake_pipe[0], POLLIN, 0};
    if (poll(&p, 1, 10) > 0) {
      char drain[64];
      while (::read(wake_pipe[0], drain, sizeof drain) > 0) {}
    }
  }
}

// ---- The edited row -----------------------------------------------------------------------

std::string row_tail;  // printed since the last line end (UTF-8), at most a screenful

int columns_now() { return size().first; }

void draw(const std::u32string& prefix, const editor& ed, bool hidden) {
  row r = render(prefix, ed.line, ed.caret, size_t(columns_now()), hidden);
  std::string s = "\r" + r.text + "\x1b[K\r";
  if (r.caret_col > 0) s += "\x1b[" + std::to_string(r.caret_col) + "C";
  out(s);
}

std::optional<std::string> edited_read(const question& q) {
  setup_once();
  take_cooked_ahead();
  if (!enter_raw()) {
    leave_raw();
    return plain_read();
  }
  std::u32string prefix = decode_utf8(row_tail + q.prompt);
  editor ed;
  ed.reset();
  draw(prefix, ed, q.hidden);
  std::vector<key> keys;
  key_decoder dec;
  std::optional<std::string> result;
  bool done = false;
  // The row is drawn again once the input read so far is used up, not after every key:
  // a paste arrives in large reads and is drawn once per read.
  bool stale = false;
  unsigned long outputs_drawn = outputs;
  // A halt or quit from a window's handler, run while the prompt waits, leaves the editor:
  // the terminal is put back on its way out.
  struct cooked_on_unwind {
    ~cooked_on_unwind() {
      if (std::uncaught_exceptions() > 0 && raw_active) {
        leave_raw();
        out("\r\n");
        row_tail.clear();
      }
    }
  } unwind_guard;
  while (!done) {
    if (outputs != outputs_drawn) {
      // A handler printed over the row: it is drawn again after what was printed.
      outputs_drawn = outputs;
      prefix = decode_utf8(row_tail + q.prompt);
      stale = true;
    }
    if (redraw_wanted) {
      redraw_wanted = 0;
      take_cooked_ahead();
      enter_raw();
      stale = true;
    }
    if (resized) stale = true;
    if (inpos >= inbuf.size()) {
      if (stale) {
        draw(prefix, ed, q.hidden);
        stale = false;
      }
      if (!fill(true)) {
        // The input ended under the editor: like Ctrl+D on an empty line.
        result = std::nullopt;
        out("\r\n");
        break;
      }
      continue;
    }
    keys.clear();
    dec.feed(static_cast<unsigned char>(inbuf[inpos++]), keys);
    for (size_t i = 0; i < keys.size() && !done; i++) {
      outcome o = ed.apply(keys[i], q.history);
      switch (o) {
        case outcome::NONE: break;
        case outcome::SUBMIT:
          ed.caret = ed.line.size();
          draw(prefix, ed, q.hidden);
          out("\r\n");
          result = encode_utf8(ed.line);
          done = true;
          break;
        case outcome::ESCAPE:
          out("\r\n");
          result = encode_utf8(ed.line) + "\x1b";
          done = true;
          break;
        case outcome::END_OF_INPUT:
          out("\r\n");
          result = std::nullopt;
          done = true;
          break;
        case outcome::CLEAR:
          out("\x1b[H\x1b[2J");
          break;
        case outcome::SUSPEND: {
          leave_raw();
          out("\r\n");
          int begun = stops_begun;
          if (kill(0, SIGTSTP) == 0) wait_for_stop(begun);
          // Continued: raw again; the row is drawn anew below.
          enter_raw();
          redraw_wanted = 0;
          break;
        }
        case outcome::COMPLETE: {
          if (!q.complete) break;
          std::optional<completion> c;
          // The completer runs in cooked mode: it may print (an error report).
          leave_raw();
          c = q.complete(ed.line, ed.caret);
          enter_raw();
          if (!c) break;
          if (!c->choices.empty()) {
            std::u32string shown;
            for (size_t j = 0; j < c->choices.size(); j++) {
              if (j) shown += U' ';
              shown += c->choices[j];
            }
            out("\r\x1b[K" + encode_utf8(shown) + "\r\n");
          }
          ed.set(c->line, c->caret);
          break;
        }
      }
      if (!done) stale = true;
    }
  }
  leave_raw();
  row_tail.clear();
  return result;
}

}  // namespace

std::optional<std::string> take_line(std::string& buffer, size_t& pos, bool at_end) {
  size_t nl = buffer.find('\n', pos);
  std::string line;
  if (nl != std::string::npos) {
    line.assign(buffer, pos, nl - pos);
    pos = nl + 1;
  } else if (at_end && pos < buffer.size()) {
    line.assign(buffer, pos, std::string::npos);
    pos = buffer.size();
  } else {
    return std::nullopt;
  }
  if (pos == buffer.size()) {
    buffer.clear();
    pos = 0;
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return encode_utf8(decode_utf8(line));
}

bool input_ended() { return ended_answer; }

bool stdin_terminal() {
  static int t = -1;
  if (t < 0) t = isatty(STDIN_FILENO) ? 1 : 0;
  return t == 1;
}

bool editing() {
  static int e = -1;
  if (e < 0) {
    const char* term = std::getenv("TERM");
    e = stdin_terminal() && isatty(STDOUT_FILENO) && term && *term &&
                std::strcmp(term, "dumb") != 0
            ? 1
            : 0;
  }
  return e == 1;
}

std::optional<std::string> read_line(const question& q) {
  std::optional<std::string> line;
  if (editing()) {
    line = edited_read(q);
  } else {
    if (stdin_terminal() && !q.prompt.empty()) out(q.prompt);
    row_tail.clear();
    line = plain_read();
  }
  ended_answer = !line;
  return line;
}

void note_output(std::string_view utf8) {
  outputs++;
  size_t nl = utf8.rfind('\n');
  if (nl != std::string_view::npos) {
    row_tail.assign(utf8.substr(nl + 1));
  } else {
    row_tail.append(utf8);
  }
  // A row longer than any terminal is shown by its end only.
  if (row_tail.size() > 4096) row_tail.erase(0, row_tail.size() - 4096);
}

std::pair<int, int> size() {
  static std::pair<int, int> cached{80, 24};
  if (resized) {
    resized = 0;
    struct winsize ws{};
    if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 0 && ws.ws_row > 0) {
      cached = {ws.ws_col, ws.ws_row};
    } else if (ioctl(STDIN_FILENO, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 0 && ws.ws_row > 0) {
      cached = {ws.ws_col, ws.ws_row};
    } else {
      cached = {80, 24};
    }
  }
  return cached;
}

std::string title_sequence(std::string_view title) {
  std::string t = "\x1b]0;";
  for (char32_t c : decode_utf8(title))
    if (c >= 0x20 && c != 0x7F && !(c >= 0x80 && c < 0xA0)) t += encode_utf8(std::u32string_view(&c, 1));
  return t + "\x07";
}

void set_title(std::string_view title) {
  if (isatty(STDOUT_FILENO)) out(title_sequence(title));
}

void restore_terminal() { leave_raw(); }

void catch_interrupts() {
  if (!stdin_terminal()) return;
  setup_once();
  install(SIGINT, on_interrupt);
}

}  // namespace vyr::text
