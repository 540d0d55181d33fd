// Tracing of evaluation: while `do/trace` runs, the evaluator reports what it does to a
// user function (the trace callback). Every event site in the evaluator tests the one flag
// `interpreter::tracing` first and calls `event` only when it is set, so tracing costs a
// single predictable branch per site when it is off.
//
// The callback receives six arguments in order: the event word, the code block or path
// (none! when there is none), the offset of the position within it (-1 when outside), the
// value (none! when none), the reference (for set, prolog, epilog, call and return) and a
// pair! of the argument frame and stack depth. A block of event words at the head of the
// callback's body selects the events it wants.
#pragma once
#include "runtime/cell.h"

namespace vyr::trace {

// Event bits (the callback's mask is a set of them).
constexpr u32 EV_INIT = 0x0001, EV_END = 0x0002, EV_PROLOG = 0x0004, EV_EPILOG = 0x0008,
              EV_ENTER = 0x0010, EV_EXIT = 0x0020, EV_OPEN = 0x0040, EV_RETURN = 0x0080,
              EV_FETCH = 0x0100, EV_PUSH = 0x0200, EV_SET = 0x0400, EV_CALL = 0x0800,
              EV_ERROR = 0x1000, EV_THROW = 0x2000, EV_CATCH = 0x4000, EV_EXPR = 0x8000;
constexpr u32 DEFAULT_MASK = 0x1FFFF;

extern bool active;   // a do/trace is running (its callback is installed)
extern u32 mask;      // the installed callback's event mask

// `trace off` / `trace on` inside a running trace. Off holds until on: every place that
// turns delivery back on after a library block, a function body or the callback leaves it
// off. On is asked for from library code (the `trace` function) and takes effect when
// control is back in user code, so the rest of the library body stays quiet.
extern bool switched_off;
extern bool resume_pending;
void switch_delivery(bool on);

// The mask a callback asks for: the OR of the event words in a block that opens its body,
// or DEFAULT_MASK when the body does not start with a block.
u32 mask_of(const cell* callback);

// Sends one event when its bit is in the mask. `code` is the block (or path) being
// evaluated or null, `pos` the absolute index of the position in it; `ref` and `value` may
// be null. The callback runs untraced; the data stack and frames are as before afterwards.
void event(u32 bit, const cell* code, u32 pos, const cell* ref, const cell* value);

// Installs a callback for the duration of a `do/trace` (ignored when one is installed
// already). The destructor puts the previous state back on every exit, errors included;
// `start` sends the init event, `finish` the end event on the normal path.
class session {
 public:
  explicit session(const cell* callback);
  ~session();
  void start();
  void finish();
  session(const session&) = delete;
  session& operator=(const session&) = delete;
 private:
  bool installed_ = false;
  bool saved_tracing_;
};

// Runs a function body whose function carries a trace flag or while tracing: sets the
// tracing state the flags ask for and sends prolog and epilog around `run`.
void function_body(const cell& fn, void (*run)(const cell&, u32, u32), u32 me, u32 slots);

void init();  // event words, the callback cell's root and the error hook

}  // namespace vyr::trace
