// The system natives: wait, set-env, get-env, list-env, now, call, size?, browse, recycle.
#pragma once
#include <cstdint>

namespace vyr::natives {

// Run before and between the slices of every wait's sleep: the GUI's pass over its pending
// messages (none until the GUI module is in). `slept_us` is the time the caller slept since
// its last pass: a display with a clock of its own (the headless one) moves it that far.
extern void (*wait_hook)(std::int64_t slept_us);

}  // namespace vyr::natives
