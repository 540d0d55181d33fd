// Delivery of an outside halt (see halt.h).
#include "runtime/halt.h"

#include "runtime/datatypes/word.h"
#include "runtime/fire.h"
#include "runtime/stack.h"

namespace vyr::halt {

volatile std::sig_atomic_t requested = NONE;
namespace {
bool (*the_poller)() = nullptr;
}

void request() {
  requested = HALT;
  // The frame push compares against frame_end: with 0 the next push takes the overflow
  // path, which delivers the halt instead. No cost on the evaluator's fast path.
  stack::frame_end = 0;
}

void request_poll() {
  if (requested != NONE) return;
  requested = POLL;
  stack::frame_end = 0;
}

void set_poller(bool (*poller)()) { the_poller = poller; }

void clear() {
  requested = NONE;
  stack::open_frames();
}

void serve() {
  if (requested != POLL) return;
  clear();
  if (the_poller && the_poller()) request();
}

void trap() {
  serve();
  if (requested == HALT) deliver();
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
