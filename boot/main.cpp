// Program entry: installs the runtime error handlers, brings the runtime up, builds the
// environment and runs the console on standard input (`vyr`, `vyr --cli`) or a script
// (`vyr FILE`). The interpreter runs on a thread with a large stack so that the frame stack,
// not the machine stack, bounds the depth of evaluation. Under an address-space cap
// (`ulimit -v`) that stack and the arena are cut to fit, and the frame stack with them.
//
// Ends: console or script end 0 (a text-mode script that ends in an uncaught error 1);
// `quit` its status & 255; an uncaught error during start-up 254; a fault below the
// language the runtime error's code (an escaped C++ exception 95, no memory 94).
#include <malloc.h>
#include <pthread.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#include "boot/construction.h"
#include "boot/environment.h"
#include "boot/init.h"
#include "boot/runtime_error.h"
#include "console/text/natives.h"
#include "console/text/tty.h"
#include "environment/routines/routines.h"
#include "gui_entry/display_choice.h"
#include "runtime/arena.h"
#include "runtime/host/clipboard.h"
#include "runtime/stack.h"

namespace {
int argc_ = 0;
char** argv_ = nullptr;
int status = 0;

void* run(void*) {
  vyr::runtime_error::use_alternate_stack();
  try {
    double t0 = vyr::boot::times.start = vyr::boot::seconds_now();
    vyr::boot::init_runtime();
    vyr::boot::times.init = vyr::boot::seconds_now() - t0;
    vyr::boot::build_environment();
    // The front end, chosen once: the GUI console, or text mode on standard input and output.
    bool gui = vyr::gui_module::gui_console();
    vyr::text::install(!gui);
    // A fatal signal or exit puts the terminal back before the process ends.
    vyr::runtime_error::before_exit = vyr::text::restore_terminal;
    vyr::routines::before_quit = vyr::text::restore_terminal;
    // Ctrl+C halts the command when a prompt follows: at the console on a terminal, or
    // for a script run with --catch (switches count only before the script's name).
    bool script = false, catch_ = false;
    for (int i = 1; i < argc_; i++) {
      if (std::strcmp(argv_[i], "--") == 0) {
        script = i + 1 < argc_;
        break;
      }
      if (argv_[i][0] == '-' && argv_[i][1] == '-') {
        if (std::strcmp(argv_[i], "--catch") == 0) catch_ = true;
        continue;
      }
      script = true;
      break;
    }
    if (!gui && (script ? catch_ : vyr::text::stdin_terminal())) vyr::text::catch_interrupts();
    // The console engine decides between the script and the prompt; when it returns, the
    // script ran and no prompt is wanted. The GUI console opens its window first.
    const char* launch = gui ? "gui-console-ctx/launch" : "system/console/launch";
    vyr::boot::do_source(launch, vyr::u32(std::strlen(launch)), false, nullptr);
    // The end of the run, as `quit` ends it: what is buffered is written, the terminal put
    // back, and nothing is torn down (the thread's large stack, the static tables): the
    // kernel takes the whole address space back at once.
    vyr::text::restore_terminal();
    std::fflush(nullptr);
    vyr::clipboard::at_exit();
    _exit(0);
  } catch (const vyr::thrown& t) {
    // A language error with no catching frame (the construction has none): its report,
    // then the status of an uncaught error.
    std::fflush(stdout);
    if (t.level != vyr::THROW_ERROR) vyr::runtime_error::quit(vyr::runtime_error::NO_CATCH, 0);
    std::string report = vyr::boot::error_report(t);
    std::fputs(report.c_str(), stderr);
    if (!report.empty() && report.back() != '\n') std::fputc('\n', stderr);
    std::fflush(stderr);
    vyr::clipboard::at_exit();
    _exit(254);
  } catch (const std::bad_alloc&) {
    std::fflush(stdout);
    vyr::runtime_error::quit(vyr::runtime_error::NO_MEMORY, 0);
  } catch (...) {
    std::fflush(stdout);
    vyr::runtime_error::quit(vyr::runtime_error::NO_CATCH, 0);
  }
  return nullptr;
}

// The interpreter thread's stack and the arena. Without a cap on the address space: a 1 GiB
// stack and the 4 GiB arena, both only reserved (pages come as they are used). Under one, of
// what the cap leaves: an eighth for the stack, up to what the whole frame stack needs;
// three quarters of the rest for the arena; the last quarter for what comes later (the C
// heap, where images are decoded first, libcurl and the GUI module when first used, the
// threads of other libraries).
struct address_plan {
  vyr::u64 stack, arena;
};
address_plan plan_address_space() {
  constexpr vyr::u64 MIB = vyr::u64(1) << 20;
  rlimit cap{};
  if (getrlimit(RLIMIT_AS, &cap) != 0 || cap.rlim_cur == RLIM_INFINITY)
    return {vyr::u64(1) << 30, vyr::u64(1) << 32};
  vyr::u64 used = 0;
  if (FILE* f = std::fopen("/proc/self/statm", "r")) {
    unsigned long pages = 0;
    if (std::fscanf(f, "%lu", &pages) == 1) used = vyr::u64(pages) * vyr::u64(sysconf(_SC_PAGESIZE));
    std::fclose(f);
  }
  vyr::u64 left = cap.rlim_cur > used ? cap.rlim_cur - used : 0;
  vyr::u64 stack = std::clamp(left / 8, 8 * MIB, vyr::stack::machine_stack_wanted());
  stack = (stack + MIB - 1) & ~(MIB - 1);
  vyr::u64 arena = (left > stack ? left - stack : 0) / 4 * 3;
  return {stack, std::min(arena, vyr::u64(1) << 32) & ~(MIB - 1)};
}
}  // namespace

int main(int argc, char** argv) {
  // One malloc arena: the interpreter thread's own arena was reserved, trimmed and grown
  // page by page by system calls on every start, for a thread that does nearly all the work.
  mallopt(M_ARENA_MAX, 1);
  argc_ = argc;
  argv_ = argv;
  vyr::runtime_error::install();
  vyr::boot::set_arguments(argc, argv);
  address_plan plan = plan_address_space();
  vyr::arena::set_size(plan.arena);
  vyr::stack::fit_machine_stack(plan.stack);
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  pthread_attr_setstacksize(&attr, size_t(plan.stack));
  pthread_t t;
  if (pthread_create(&t, &attr, run, nullptr) != 0) {
    // On this thread, whose stack the soft stack limit bounds.
    rlimit own{};
    bool known = getrlimit(RLIMIT_STACK, &own) == 0 && own.rlim_cur != RLIM_INFINITY;
    vyr::stack::fit_machine_stack(known ? own.rlim_cur : vyr::u64(8) << 20);
    run(nullptr);
  } else {
    pthread_join(t, nullptr);
  }
  std::fflush(stdout);
  return status;
}
