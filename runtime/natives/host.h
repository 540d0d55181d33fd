// The system natives: wait, set-env, get-env, list-env, now, call, size?, browse, recycle.
#pragma once

namespace vyr::natives {

// Run before and between the slices of every wait's sleep: the GUI's pass over its pending
// messages (none until the GUI module is in).
extern void (*wait_hook)();

}  // namespace vyr::natives
