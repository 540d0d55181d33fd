// The runtime error report: the formatter's table, and the codes that faults, escaped
// exceptions, quit-return and signals end the process with.
#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cstring>
#include <stdexcept>
#include <string>

#include "boot/runtime_error.h"
#include "environment/routines/routines.h"

namespace vyr {
namespace {

std::string report(int code, uintptr_t address, size_t size = 1024) {
  char buf[1024];
  size_t n = runtime_error::format(buf, size, code, address);
  EXPECT_EQ(n, std::strlen(buf));
  return std::string(buf, n);
}

TEST(RuntimeError, FormatsTheReportOfEveryKindOfCode) {
  struct row {
    int code;
    uintptr_t address;
    const char* text;
  };
  const row rows[] = {
      {32, 0x401000, "*** Runtime Error 32: segmentation fault\n*** at: 00401000h\n"},
      {19, 0, "*** Runtime Error 19: stack error or overflow\n*** at: 00000000h\n"},
      {13, 0xABCDEF, "*** Runtime Error 13: integer divide by zero\n*** at: 00ABCDEFh\n"},
      {95, 0, "*** Runtime Error 95: no CATCH for THROW\n*** at: 00000000h\n"},
      {6, 1, "*** Runtime Error 6: float denormal operan\n*** at: 00000001h\n"},
      {101, 0, "*** Runtime Error 101: no value matched in SWITCH\n*** at: 00000000h\n"},
      // Codes outside the table, and addresses wider than 32 bits (all digits shown).
      {42, 0, "*** Runtime Error 42: unknown error code!\n*** at: 00000000h\n"},
      {-2, 0, "*** Runtime Error -2: unknown error code!\n*** at: 00000000h\n"},
      {1, 0x7FFF12345678, "*** Runtime Error 1: access violation\n*** at: 7FFF12345678h\n"},
  };
  for (const row& r : rows) EXPECT_EQ(report(r.code, r.address), r.text) << r.code;
  // A short buffer cuts the report and still ends it with NUL.
  EXPECT_EQ(report(32, 0, 12), "*** Runtime");
  EXPECT_EQ(report(32, 0, 1), "");
}

TEST(RuntimeError, MessagesFollowTheTable) {
  EXPECT_STREQ(runtime_error::message(34), "Bus error");
  EXPECT_STREQ(runtime_error::message(94), "out of memory");
  EXPECT_STREQ(runtime_error::message(0), "unknown error code!");
  EXPECT_STREQ(runtime_error::message(102), "unknown error code!");
}

#if defined(__SANITIZE_ADDRESS__)
constexpr bool sanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool sanitized = true;
#else
constexpr bool sanitized = false;
#endif
#else
constexpr bool sanitized = false;
#endif

int* volatile null_pointer = nullptr;
volatile int zero = 0;
volatile int seven = 7;  // a constant numerator lets the compiler divide without idiv

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Winfinite-recursion"
[[gnu::noinline]] int recurse(int n) {
  volatile char pad[512];
  pad[0] = char(n);
  return recurse(n + 1) + pad[0];
}
#pragma GCC diagnostic pop

void* run_away(void*) {
  runtime_error::use_alternate_stack();
  recurse(0);
  return nullptr;
}

void throw_through_noexcept() noexcept {
  void (*thrower)() = [] { throw std::runtime_error("escaped"); };
  thrower();
}

using RuntimeErrorDeath = testing::Test;

TEST(RuntimeErrorDeath, FaultsEndWithTheirCodes) {
  if (sanitized) GTEST_SKIP() << "the sanitizers own the fault signals";
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT((runtime_error::install(), *null_pointer = 1), testing::ExitedWithCode(32),
              "Runtime Error 32: segmentation fault\n\\*\\*\\* at: [0-9A-F]{8,}h");
  EXPECT_EXIT((runtime_error::install(), std::printf("%d", seven / zero)),
              testing::ExitedWithCode(13), "Runtime Error 13: integer divide by zero");
  EXPECT_EXIT(
      {
        runtime_error::install();
        pthread_attr_t attr;
        pthread_attr_init(&attr);
        pthread_attr_setstacksize(&attr, 256 * 1024);
        pthread_t t;
        pthread_create(&t, &attr, run_away, nullptr);
        pthread_join(t, nullptr);
      },
      testing::ExitedWithCode(19), "Runtime Error 19: stack error or overflow");
}

TEST(RuntimeErrorDeath, ExitsWithoutAFault) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT((runtime_error::install(), throw_through_noexcept()), testing::ExitedWithCode(95),
              "Runtime Error 95: no CATCH for THROW\n\\*\\*\\* at: 00000000h");
  EXPECT_EXIT(routines::quit_return(300), testing::ExitedWithCode(44), "^$");
  EXPECT_EXIT((runtime_error::install(), raise(SIGTERM)), testing::ExitedWithCode(0), "^$");
  EXPECT_EXIT((runtime_error::install(), raise(SIGHUP)), testing::ExitedWithCode(0), "^$");
}

// The report's box (the GUI's, once its module is in) follows the report, but never from a
// signal handler.
void box_to_stderr(const char* report) { std::fprintf(stderr, "[box] %s", report); }

TEST(RuntimeErrorDeath, TheReportBoxFollowsOnlyOutsideSignals) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT((runtime_error::report_box = box_to_stderr, runtime_error::quit(94, 0)), testing::ExitedWithCode(94),
              "Runtime Error 94: [^\n]*\n\\*\\*\\* at: 00000000h\n\\[box\\] \\*\\*\\* Runtime Error 94");
  if (sanitized) return;
  EXPECT_EXIT((runtime_error::install(), runtime_error::report_box = box_to_stderr, *null_pointer = 1),
              testing::ExitedWithCode(32), "segmentation fault\n[^\\[]*$");
}

}  // namespace
}  // namespace vyr
