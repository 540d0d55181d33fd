// Shared set-up for unit tests: the runtime is brought up once per test binary.
#pragma once
#include "boot/init.h"
#include "runtime/collector.h"
#include "runtime/memory.h"

namespace vyr::test {
inline void ensure_runtime() { boot::init_runtime(); }
}  // namespace vyr::test
