// A halt asked for from outside the evaluator (Ctrl+C at the console): it is delivered as
// the throw of the word `halt-request` named `console` at the next call (the frame push
// traps) or the next loop iteration, so a tight loop with no calls still stops.
//
// A display that cannot interrupt the evaluator by a signal asks instead for a poll: the
// same trap then runs the poller (the GUI looks for a halt key in its input), which
// answers whether to halt; the evaluator's fast path pays nothing more for it.
#pragma once
#include <csignal>

namespace vyr::halt {

enum : int { NONE = 0, HALT = 1, POLL = 2 };
extern volatile std::sig_atomic_t requested;

// Async-signal-safe: marks the request and makes the next frame push trap.
void request();
// Safe from a signal handler or another thread: the next trap asks the poller; a halt
// already requested stays requested.
void request_poll();
// The poller: true when the program is to halt. Runs on the evaluator's thread at a call or
// a loop iteration, so it must not allocate language values nor run language code.
void set_poller(bool (*poller)());
// Forgets an undelivered request (a new prompt is shown).
void clear();
// Turns a pending poll into a halt request when the poller asks for one.
void serve();
// Serves a poll, then delivers a halt when one is requested.
void trap();
// Throws the halt: what `halt` does.
[[noreturn]] void deliver();
inline void check() {
  if (requested) [[unlikely]] trap();
}

}  // namespace vyr::halt
