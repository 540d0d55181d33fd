// The console's two front ends behind one interface: the text console on a terminal
// (console/text/) and the GUI console in its window (console/gui/). They are siblings: the
// engine (console/engine.vyr) is theirs alike, and neither includes the other. The display
// choice picks one, once; start-up drives it through this interface without naming either.
#pragma once
#include <initializer_list>

namespace vyr::console {

struct front_end {
  // After the environment is built: what the front end routes at run time (printed values,
  // the run-time fields of `system/console`, the interrupt key).
  void (*install)();
  // Its launch: the engine's on the terminal, the window's (which binds the GUI's prompt,
  // `ask` and `input`, then calls the engine's). Returns when a script ran and no prompt is
  // wanted.
  void (*run)();
  // Puts the terminal back as it was: at `quit`, at the end, at a fatal signal
  // (async-signal-safe).
  void (*restore)();
};

// The routines and native entries of both front ends, which the environment's sources make
// into values: with the other routines, before the environment is built.
void register_routines();

// This process's front end, chosen at the first call from the display choice.
const front_end& chosen();

// Evaluates a path of words from the global context (a front end's launch), as a command
// line naming it would.
void call_global(std::initializer_list<const char*> names);

// Tracing off for the console's own work (a question, a print into the window), so that a
// trace shows only the user's; back as it was at the end of the scope.
class untraced {
 public:
  untraced();
  ~untraced();
  untraced(const untraced&) = delete;
  untraced& operator=(const untraced&) = delete;

 private:
  bool was_;
};

}  // namespace vyr::console
