// The report of a failed VYR_ASSERT.
#include "runtime/assert.h"

#include <cstdio>
#include <cstdlib>

namespace vyr::debug {

void assertion_failed(const char* file, int line, const char* condition) {
  std::fprintf(stderr, "%s:%d: assertion failed: %s\n", file, line, condition);
  std::fflush(stderr);
  std::abort();
}

}  // namespace vyr::debug
