// Cycle stack storage: a fixed array of CAPACITY nodes.
#include "runtime/cycles.h"

#include "runtime/fire.h"

namespace vyr::cycles {

namespace detail {
u32 entries[CAPACITY];
u32 top = 0;

void overflow() {
  // The guards of the walks being unwound pop entries that are no longer there.
  top = 0;
  fire("internal", "too-deep");
}
}  // namespace detail

using detail::top;

void pop_n(u32 n) { top = n > top ? 0 : top - n; }
void reset() { top = 0; }
u32 depth() { return top; }

}  // namespace vyr::cycles
