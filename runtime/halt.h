// A halt asked for from outside the evaluator (Ctrl+C at the console): it is delivered as
// the throw of the word `halt-request` named `console` at the next call (the frame push
// traps) or the next loop iteration, so a tight loop with no calls still stops.
#pragma once
#include <csignal>

namespace vyr::halt {

extern volatile std::sig_atomic_t requested;

// Async-signal-safe: marks the request and makes the next frame push trap.
void request();
// Forgets an undelivered request (a new prompt is shown).
void clear();
// Throws the halt: what `halt` does.
[[noreturn]] void deliver();
inline void check() {
  if (requested) [[unlikely]] deliver();
}

}  // namespace vyr::halt
