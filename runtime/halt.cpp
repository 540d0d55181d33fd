// Delivery of an outside halt (see halt.h).
#include "runtime/halt.h"

#include "runtime/datatypes/word.h"
#include "runtime/fire.h"
#include "runtime/stack.h"

namespace vyr::halt {

volatile std::sig_atomic_t requested = 0;

void request() {
  requested = 1;
  // The frame push compares against frame_end: with 0 the next push takes the overflow
  // path, which delivers the halt instead. No cost on the evaluator's fast path.
  stack::frame_end = 0;
}

void clear() {
  requested = 0;
  if (stack::frame_end == 0) stack::frame_end = stack::frame_count;
}

void deliver() {
  clear();
  thrown t{};
  t.level = THROW_THROW;
  t.value = word::intern("halt-request");
  t.name = word::intern("console");
  t.category = "throw";
  t.id = "throw";
  throw t;
}

}  // namespace vyr::halt
