// The evaluator and function calls: walks blocks one expression at a time, looks words up,
// applies infix operators left to right with equal precedence, walks paths, gathers the
// arguments of natives, actions, functions and routines, and runs them.
//
// Non-local exits. Errors and `throw` travel as `vyr::thrown` exceptions. `return`, `exit`,
// `break` and `continue` raised inside this interpreter take a cheaper path: the exit is
// recorded as pending (level, target frame, value) and every interpreter level returns at
// once until the target frame consumes it. A pending exit never crosses C++ code that does
// not know it: the public entry points (`do_block`, `call`) turn it into an exception
// before they return, and the catching points accept both forms.
#pragma once
#include "runtime/fire.h"
#include "runtime/datatypes/function.h"
#include "runtime/interpreter/typecheck.h"
#include "runtime/hooks.h"

namespace vyr::interpreter {

// ---- Pending exits ---------------------------------------------------------------------
extern u32 pending;         // throw level of the pending exit, 0 when none
extern u32 pending_target;  // frame index of the frame it is going to
extern cell pending_value;  // the value it carries (a collector root)

// Turns a pending exit into its exception. No-op when nothing is pending.
void raise_pending();
// Exceptions of break, continue, return and exit carry their target frame index in the
// word 1 of their `name` cell.
inline u32 exit_target(const thrown& t) { return t.name.data1; }

// ---- Evaluation ------------------------------------------------------------------------
constexpr u32 EVAL_NO_INFIX = 1, EVAL_PUSH = 2, EVAL_FETCH_ONLY = 4;

// Evaluates every expression of the block (a block-like value) inside a 0x87 frame; the
// last value (unset! for an empty block) is left as the caller's newest value, or with
// `chain` copied into the caller's first argument cell. May return with an exit pending.
void eval_block(const cell* block, bool chain);
// Evaluates the block (a block-like value) for the innermost frame, the value landing in
// its first cell as with eval_block(block, true), but with no frame of its own (the block is
// rooted on the data stack while it runs): the branches of the control-flow natives.
// May return with an exit pending.
void eval_branch(const cell* block);
// One expression from `pos` of the block node; answers the position after it. The value is
// pushed (EVAL_PUSH) or written into the result slot. May return with an exit pending.
u32 eval_next(u32 node, u32 pos, u32 tail, u32 flags);
// One expression in a 0x82 frame named <body>, pushed or into the result slot.
u32 eval_one(u32 node, u32 pos, bool push);
// Evaluates a path value (path!, get-path!, set-path! with the new value pushed just
// before); the value is left at top - 1 (push) or in the result slot. Answers the position.
u32 eval_path(const cell* path, u32 node, u32 pos, u32 tail, bool set, bool get_only, bool push);

// ---- Calls -----------------------------------------------------------------------------
// Calls a function value whose arguments follow at `pos` of the block node. `name` is the
// word that names the call (or null). `path` with `path_from` gives refinements taken from
// a path's remaining elements. Answers the position after the arguments.
u32 call_function(const cell* fn, u32 node, u32 pos, u32 tail, const cell* name,
                  const cell* path, u32 path_from, bool infix);
// The argument cache of a function-like value (built on the first call).
u32 cache_spec(const cell* fn);
// True when two argument caches gather the same arguments: the same kinds, types and
// refinements in the same order (the names may differ).
bool same_call_shape(u32 cache_a, u32 cache_b);

// Runs a call whose frame `me` was pushed (over a copy of the function value) and filled
// with the gathered arguments by the caller; `refs` is a native's refinement table. May
// return with an exit pending, like call_function.
void run_gathered(const cell* fn, u32 me, const i32* refs);

// ---- Public entry points for C++ code (exits arrive as exceptions) ----------------------
// Evaluates a block and copies its value into `result` (which may be anywhere); the data
// stack is left as it was.
void do_block(const cell* block, cell* result);
// Raises script expect-arg: the current call does not allow the value's type for the
// argument named by `arg_symbol`.
[[noreturn]] void expect_arg(const cell* value, u32 arg_symbol);
// Checks a gathered argument against its entry of the argument cache (a typeset! whose
// word 3 holds the argument's symbol).
inline void check_arg(const cell& entry, const cell* value) {
  if (!typecheck::accepts(&entry, type_of(value))) [[unlikely]]
    expect_arg(value, function::arg_symbol(&entry));
}

// While a call's arguments are gathered: switches the refinement named by `symbol` on or
// off (a logic! slot of a function, an entry of `refs` for natives and actions) and answers
// its position in the argument cache `cache`. Raises script no-refine when the function
// has no such refinement, dup-refine (with `dup_arg`) when it was already given.
u32 switch_refinement(u32 cache, u32 symbol, bool on, bool is_fn, i32* refs,
                      const cell* dup_arg);

// Calls a function value with `n` argument values (refinements off), result into `result`.
void call(const cell* fn, const cell* args, u32 n, cell* result);
// Calls a function! with every slot of its argument list given in order (each refinement
// as a logic! followed by its arguments; missing slots are none! or off), in a frame named
// by `name`; result into `result`.
void call_slots(const cell* fn, const cell* slots, u32 n, const cell* name, cell* result);
// Evaluates a block from C++ and leaves the result at stack::arguments (a native's result).
void do_block_into_result(const cell* block);
// When the whole block (from its index) is one expression that takes no call to compute (an
// inert value or a word holding one, then only built-in operators on integers), writes its
// value to `out` and answers true: nothing could fail or run code on the way. Otherwise
// answers false and evaluates nothing. Never while tracing.
bool simple_block_value(const cell* block, cell* out);
// The same for the one expression at `pos` of the block node (as eval_one finds it): its
// value into `out` and the position after it, or 0 with nothing evaluated. Never while
// tracing.
u32 simple_expression(u32 node, u32 pos, cell* out);

// The current position: a cell holding the block under evaluation with its index at the
// expression being evaluated (error reports read it), or null outside any evaluation. It
// points at the evaluating code's own copy of the block value.
extern const cell* position_ref;

// Set while trace events are being sent (see trace.h); every event site tests it first.
extern bool tracing;
// Set while tracing is held off because a library block runs (trace::active stays set);
// a block that is not the library's switches tracing back on for its own run.
extern bool library_quiet;

void init();

}  // namespace vyr::interpreter
