// Runtime errors: every fault below the language (a signal, a C++ exception that escapes,
// exhausted memory) ends in one report on standard error and an exit with the error's
// code as status. The formatter and the exit are async-signal-safe.
#pragma once
#include <cstddef>
#include <cstdint>

namespace vyr::runtime_error {

constexpr int ACCESS_VIOLATION = 32;  // SIGSEGV (code 1's place on this platform)
constexpr int STACK_OVERFLOW = 19;
constexpr int NO_MEMORY = 94;
constexpr int NO_CATCH = 95;
constexpr int UNKNOWN = 99;

// The message of a code; "unknown error code!" for a code outside the table.
const char* message(int code);

// Writes "*** Runtime Error CODE: MESSAGE\n*** at: ADDRESSh\n" into `out` (at most `size`
// bytes, NUL-terminated) and answers its length. The address has at least 8 upper-case hex
// digits. No allocation, no locale, no stdio: usable in a signal handler.
size_t format(char* out, size_t size, int code, uintptr_t address);

// Ends the process: for a non-zero code the report goes to standard error first (standard
// output is not flushed: stdio is not async-signal-safe). The status is code & 255.
[[noreturn]] void quit(int code, uintptr_t address);

// Run by `quit` and by the handlers before the process ends (the text console puts the
// terminal back). Must be async-signal-safe.
extern void (*before_exit)();
// Shows the report in a message box as well (the GUI sets it once its module is in). `quit`
// calls it after the standard-error report, but never from a signal handler, where a GUI
// cannot run safely.
extern void (*report_box)(const char* report);

// Installs the handlers for the process: faults, SIGTRAP, SIGTERM and SIGHUP (exit 0,
// nothing printed), and std::terminate (code 95). SIGINT keeps its default.
void install();
// Gives the calling thread an alternate signal stack, so that a machine-stack overflow
// still reaches the handler. A thread that has one already keeps it.
void use_alternate_stack();

}  // namespace vyr::runtime_error
