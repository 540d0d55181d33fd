// The machine stack under the interpreter: every call and block evaluation checks that a
// margin is left, so that deep recursion raises the language's stack-overflow error long
// before the thread's stack runs out, whatever the thread and the build (sanitizer frames
// are several times larger).
#pragma once
#include "runtime/cell.h"

namespace vyr::native_stack {

extern char* low;    // the margin's upper edge: below it the check fires
extern char* high;   // the top of the stack the bounds were taken from
void refresh();      // takes the bounds of the calling thread's stack
[[noreturn]] void overflow();

// Raises stack-overflow when the caller's frame lies inside the margin.
[[gnu::always_inline]] inline void check() {
  char probe;
  char* sp = &probe;
  if (sp < low || sp >= high) [[unlikely]] {
    refresh();  // first use, another thread, or the margin reached
    if (sp < low) overflow();
  }
}

}  // namespace vyr::native_stack
