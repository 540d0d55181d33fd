// Program entry: brings the runtime up, builds the environment and runs the console on
// standard input (`vyr`, `vyr --cli`) or a script (`vyr FILE`). The interpreter runs on a
// thread with a large stack so that the frame stack, not the machine stack, bounds the
// depth of evaluation. A fault below the language ends with the runtime error report and
// status 254.
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "boot/console.h"
#include "boot/environment.h"
#include "boot/init.h"
#include "console/text/natives.h"
#include "console/text/tty.h"

namespace {
int argc_ = 0;
char** argv_ = nullptr;
int status = 0;

[[noreturn]] void runtime_error(int code, const char* text) {
  vyr::text::restore_terminal();
  std::fflush(stdout);
  std::fprintf(stderr, "*** Runtime Error %d: %s\n*** at: %08Xh\n", code, text, 0u);
  std::fflush(stderr);
  _exit(254);
}

void on_fault(int sig) {
  const char* what = sig == SIGSEGV ? "access violation" : sig == SIGFPE ? "float error"
                   : sig == SIGBUS ? "bus error" : "illegal instruction";
  // Only async-signal-safe calls here.
  char buf[128];
  int n = std::snprintf(buf, sizeof buf, "*** Runtime Error %d: %s\n*** at: %08Xh\n", sig, what, 0u);
  if (n > 0) (void)!write(2, buf, size_t(n));
  vyr::text::restore_terminal();
  _exit(254);
}

void use_alternate_stack() {
  // A thread that has one already (sanitizers install their own) keeps it.
  stack_t old{};
  if (sigaltstack(nullptr, &old) == 0 && !(old.ss_flags & SS_DISABLE)) return;
  static thread_local char alt[65536];
  stack_t ss{};
  ss.ss_sp = alt;
  ss.ss_size = sizeof alt;
  sigaltstack(&ss, nullptr);
}

void* run(void*) {
  use_alternate_stack();
  try {
    vyr::boot::init_runtime();
    vyr::boot::build_environment();
    vyr::text::install();
    // Switches count only before the script's name; "--" ends them, so the argument after
    // it is the script even when it begins with "--". Unknown switches are ignored.
    const char* script = nullptr;
    bool catch_ = false;
    for (int i = 1; i < argc_; i++) {
      if (std::strcmp(argv_[i], "--") == 0) {
        if (i + 1 < argc_) script = argv_[i + 1];
        break;
      }
      if (argv_[i][0] == '-' && argv_[i][1] == '-') {
        if (std::strcmp(argv_[i], "--catch") == 0) catch_ = true;
        continue;
      }
      script = argv_[i];
      break;
    }
    if (!script) {
      status = vyr::console::run_console();
    } else {
      bool readable = true;
      // With a prompt to follow, Ctrl+C halts the script and the prompt comes.
      if (catch_) vyr::text::catch_interrupts();
      status = vyr::console::run_script(script, &readable);
      // With --catch the prompt follows the script, whatever it did; an unreadable script
      // never leads to it (standard input would be run as code).
      if (catch_ && readable) status = vyr::console::run_console(false);
    }
  } catch (const vyr::thrown& t) {
    runtime_error(1, (std::string(t.category ? t.category : "?") + " " + (t.id ? t.id : "?")).c_str());
  } catch (const std::exception& e) {
    runtime_error(2, e.what());
  }
  return nullptr;
}
}  // namespace

int main(int argc, char** argv) {
  argc_ = argc;
  argv_ = argv;
  struct sigaction sa{};
  sa.sa_handler = on_fault;
  // The fault handler runs on its own stack: a machine-stack overflow must still report.
  use_alternate_stack();
  sa.sa_flags = SA_ONSTACK;
  sigaction(SIGSEGV, &sa, nullptr);
  sigaction(SIGBUS, &sa, nullptr);
  sigaction(SIGFPE, &sa, nullptr);
  sigaction(SIGILL, &sa, nullptr);
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  pthread_attr_setstacksize(&attr, size_t(1) << 30);
  pthread_t t;
  if (pthread_create(&t, &attr, run, nullptr) != 0) run(nullptr);
  else pthread_join(t, nullptr);
  std::fflush(stdout);
  return status;
}
