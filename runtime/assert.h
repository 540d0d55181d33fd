// VYR_ASSERT(condition): an invariant the code relies on, checked where it can break. The
// Debug build (the ASan+UBSan build `make test` runs) evaluates it; a build with NDEBUG
// (Release, RelWithDebInfo) compiles it out and never evaluates the condition, which is
// still type-checked. A failed assertion prints its file, line and condition to standard
// error and aborts: it reports a fault of the runtime, never bad input (bad input gets an
// error of the language through fire).
#pragma once

namespace vyr::debug {
[[noreturn, gnu::cold]] void assertion_failed(const char* file, int line, const char* condition);
}  // namespace vyr::debug

#ifdef NDEBUG
#define VYR_ASSERTIONS 0
#define VYR_ASSERT(condition) static_cast<void>(sizeof(!(condition)))
#else
#define VYR_ASSERTIONS 1
#define VYR_ASSERT(condition)                                                   \
  (__builtin_expect(!!(condition), 1)                                           \
       ? static_cast<void>(0)                                                   \
       : ::vyr::debug::assertion_failed(__FILE__, __LINE__, #condition))
#endif
