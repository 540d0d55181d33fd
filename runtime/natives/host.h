// The system natives: wait, set-env, get-env, list-env, now, call, size?, browse, recycle.
#pragma once

namespace vyr::natives {

// Run once after every wait's sleep: the GUI's pass over its pending messages (none yet).
extern void (*wait_hook)();

}  // namespace vyr::natives
