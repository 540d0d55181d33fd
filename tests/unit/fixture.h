// Shared set-up for unit tests: the runtime is brought up once per test binary.
#pragma once
#include <string>

#include "boot/environment.h"
#include "boot/init.h"
#include "runtime/collector.h"
#include "runtime/memory.h"

namespace vyr::test {
inline void ensure_runtime() { boot::init_runtime(); }

// Evaluates source text in the built environment and answers the result (errors propagate).
inline cell run_in_environment(const std::string& text) {
  boot::build_environment();
  cell r{TYPE_UNSET, 0, 0, 0};
  collector::root_guard g(&r);
  boot::do_source(text.data(), u32(text.size()), false, &r);
  return r;
}
}  // namespace vyr::test
