// The runtime error table, the report and the signal handlers.
#include "boot/runtime_error.h"

#include <signal.h>
#include <sys/mman.h>
#include <ucontext.h>
#include <unistd.h>

#include <cstdlib>
#include <exception>
#include <initializer_list>

namespace vyr::runtime_error {

namespace {
struct entry {
  int code;
  const char* text;
};
constexpr entry table[] = {
    {1, "access violation"},       {2, "invalid alignment"},
    {3, "breakpoint"},             {4, "single step"},
    {5, "bounds exceeded"},        {6, "float denormal operan"},
    {7, "float divide by zero"},   {8, "float inexact result"},
    {9, "float invalid operation"}, {10, "float overflow"},
    {11, "float stack check"},     {12, "float underflow"},
    {13, "integer divide by zero"}, {14, "integer overflow"},
    {15, "privileged instruction"}, {16, "invalid virtual address"},
    {17, "illegal instruction"},   {18, "non-continuable exception"},
    {19, "stack error or overflow"}, {20, "invalid disposition"},
    {21, "guard page"},            {22, "invalid handle"},
    {23, "illegal operand"},       {24, "illegal addressing mode"},
    {25, "illegal trap"},          {26, "coprocessor error"},
    {27, "non-existent physical address"}, {28, "object specific hardware error"},
    {29, "hardware memory error consumed AR"}, {30, "hardware memory error consumed AO"},
    {31, "privileged register"},   {32, "segmentation fault"},
    {33, "FPU error"},             {34, "Bus error"},
    {94, "out of memory"},         {95, "no CATCH for THROW"},
    {98, "assertion failed"},      {99, "unknown error"},
    {100, "no value matched in CASE"}, {101, "no value matched in SWITCH"},
};

size_t put(char* out, size_t size, size_t at, const char* s) {
  while (*s && at + 1 < size) out[at++] = *s++;
  return at;
}

// A fault within this distance of the stack pointer is a machine-stack overflow.
constexpr uintptr_t STACK_SLACK = 64 * 1024;

int fpe_code(int si_code) {
  switch (si_code) {
    case FPE_INTDIV: return 13;
    case FPE_INTOVF: return 14;
    case FPE_FLTDIV: return 7;
    case FPE_FLTOVF: return 10;
    case FPE_FLTUND: return 12;
    case FPE_FLTRES: return 8;
    case FPE_FLTINV: return 9;
    case FPE_FLTSUB: return 5;
    default: return 33;
  }
}

int ill_code(int si_code) {
  switch (si_code) {
    case ILL_ILLOPC: return 17;
    case ILL_ILLOPN: return 23;
    case ILL_ILLADR: return 24;
    case ILL_ILLTRP: return 25;
    case ILL_PRVOPC: return 15;
    case ILL_PRVREG: return 31;
    case ILL_COPROC: return 26;
    case ILL_BADSTK: return 19;
    default: return 17;
  }
}

volatile sig_atomic_t in_handler = 0;

void on_signal(int sig, siginfo_t* info, void* context) {
  in_handler = 1;
  if (before_exit) before_exit();
  if (sig == SIGTERM || sig == SIGHUP) _exit(0);
  uintptr_t pc = 0, sp = 0;
#if defined(__x86_64__)
  if (context) {
    auto* uc = static_cast<ucontext_t*>(context);
    pc = uintptr_t(uc->uc_mcontext.gregs[REG_RIP]);
    sp = uintptr_t(uc->uc_mcontext.gregs[REG_RSP]);
  }
#elif defined(__aarch64__)
  if (context) {
    auto* uc = static_cast<ucontext_t*>(context);
    pc = uintptr_t(uc->uc_mcontext.pc);
    sp = uintptr_t(uc->uc_mcontext.sp);
  }
#endif
  int code = UNKNOWN;
  switch (sig) {
    case SIGSEGV: {
      uintptr_t at = uintptr_t(info->si_addr);
      bool near_stack = sp && (at > sp ? at - sp : sp - at) < STACK_SLACK;
      code = near_stack ? STACK_OVERFLOW : ACCESS_VIOLATION;
      break;
    }
    case SIGBUS: code = 34; break;
    case SIGFPE: code = fpe_code(info->si_code); break;
    case SIGILL: code = ill_code(info->si_code); break;
    case SIGTRAP: code = 3; break;
  }
  quit(code, pc);
}

[[noreturn]] void on_terminate() { quit(NO_CATCH, 0); }
}  // namespace

const char* message(int code) {
  for (const entry& e : table)
    if (e.code == code) return e.text;
  return "unknown error code!";
}

size_t format(char* out, size_t size, int code, uintptr_t address) {
  if (!size) return 0;
  size_t at = put(out, size, 0, "*** Runtime Error ");
  char digits[24];
  int n = 0;
  unsigned long long v = code < 0 ? 0ull - (unsigned long long)(long long)code : (unsigned long long)code;
  do {
    digits[n++] = char('0' + v % 10);
    v /= 10;
  } while (v);
  if (code < 0 && at + 1 < size) out[at++] = '-';
  while (n && at + 1 < size) out[at++] = digits[--n];
  at = put(out, size, at, ": ");
  at = put(out, size, at, message(code));
  at = put(out, size, at, "\n*** at: ");
  n = 0;
  unsigned long long a = address;
  do {
    digits[n++] = "0123456789ABCDEF"[a & 15];
    a >>= 4;
  } while (a || n < 8);
  while (n && at + 1 < size) out[at++] = digits[--n];
  at = put(out, size, at, "h\n");
  out[at] = 0;
  return at;
}

void (*before_exit)() = nullptr;
void (*report_box)(const char* report) = nullptr;

void quit(int code, uintptr_t address) {
  if (before_exit) before_exit();
  if (code != 0) {
    char buf[1024];
    size_t n = format(buf, sizeof buf, code, address);
    size_t done = 0;
    while (done < n) {
      ssize_t w = write(2, buf + done, n - done);
      if (w <= 0) break;
      done += size_t(w);
    }
    // Once, even when the box itself fails below.
    if (report_box && !in_handler) {
      void (*box)(const char*) = report_box;
      report_box = nullptr;
      box(buf);
    }
  }
  _exit(code & 255);
}

void use_alternate_stack() {
  stack_t old{};
  if (sigaltstack(nullptr, &old) == 0 && !(old.ss_flags & SS_DISABLE)) return;
  // Mapped, not a thread_local array: a thread's static TLS is zeroed when the thread
  // starts, which touched all of its pages on every start-up; mapped pages stay untouched
  // until a signal uses them. Kept for the thread's life (the threads that ask are few).
  constexpr size_t size = 65536;
  void* alt = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (alt == MAP_FAILED) return;
  stack_t ss{};
  ss.ss_sp = alt;
  ss.ss_size = size;
  sigaltstack(&ss, nullptr);
}

void install() {
  use_alternate_stack();
  struct sigaction sa{};
  sa.sa_sigaction = on_signal;
  sa.sa_flags = SA_SIGINFO | SA_ONSTACK;
  sigemptyset(&sa.sa_mask);
  for (int sig : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP, SIGTERM, SIGHUP})
    sigaction(sig, &sa, nullptr);
  std::set_terminate(on_terminate);
}

}  // namespace vyr::runtime_error
