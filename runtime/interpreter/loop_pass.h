// One pass over a loop body, inlined into each loop native: the loops run their bodies
// millions of times, and a call into the evaluator per pass (its set-up, its saved
// registers) cost more than a small body itself. Only this header reaches into the
// evaluator's internals from outside runtime/interpreter/.
#pragma once
#include "runtime/interpreter/interpreter_inline.h"
#include "runtime/stamp_check.h"

namespace vyr::interpreter {

// One pass: the expressions of the block cell `at` (its node and start
// index; the index follows the expression under evaluation) are evaluated in the innermost
// frame, whose arguments are the stack top on entry, the last value left in the frame's
// first cell (unset! for an empty block). The caller points the current position at `at`
// and puts it back. May return with an exit pending.
VYR_HOT void run_pass(cell* at) {
  using namespace internal;
  // Under tracing a pass is a block like any other: its enter and exit events frame its
  // expressions' events.
  if (tracing) [[unlikely]] return run_pass_traced(at);
  u32 node = series::node(at);
  u32 pos = series::index(at);
  u32 tail = cells::length(node);
  if (pos >= tail) [[unlikely]] {
    stack::set_last(cell{TYPE_UNSET, 0, 0, 0});
    return;
  }
  memory::check_stamp(node);
  for (;;) {
    series::index(at) = pos;
    if (tracing) [[unlikely]] {
      // Tracing may be switched on by the pass itself: each expression looks (the events
      // of the block's own entry were not sent, as tracing was off then).
      pos = eval_next(node, pos, tail, 0);
      if (exit_pending()) return;
      tail = cells::length(node);
      if (pos >= tail) return;
      stack::clear_args();
      continue;
    }
    // eval_next without its step: the value is pushed, then kept as the frame's first.
    // A value that is its own result, or a word holding one (a loop body's commonest
    // expressions start so), is pushed here, as eval_next would.
    cell* start = stack::top;
    const cell* c = cells::get(node, pos);
    const cell* v = type_of(c) == TYPE_WORD ? peek(c) : c;
    if (v && inert(type_of(v))) {
      push_cell(v);
      pos = apply_infix(node, pos + 1, tail, start, true);
    } else if (v && type_of(c) == TYPE_WORD && callable(type_of(v))) {
      // seq_step's case of a word naming a function, its look-up not repeated.
      cell f = *v;
      pos = dispatch_call(f, node, pos + 1, tail, c);
      if (exit_pending()) return;
      pos = apply_infix(node, pos, tail, start);
    } else {
      pos = seq_step(node, pos, tail);
    }
    if (exit_pending()) return;
    if (start != stack::arguments) [[unlikely]] stack::set_last(*start);
    tail = cells::length(node);  // the block may have been changed by what ran
    if (pos >= tail) return;
    stack::clear_args();
  }
}

// simple_block_value inlined: a loop's condition such as `i < n`.
VYR_HOT bool simple_block_value_inline(const cell* block, cell* out) {
  if (tracing || library_quiet) [[unlikely]] return false;
  u32 node = series::node(block), pos = series::index(block), tail = cells::length(node);
  if (pos >= tail) [[unlikely]] return false;
  cell v;
  u32 after = internal::simple_value(node, pos, tail, &v);
  if (after != tail) return false;
  *out = v;
  return true;
}

}  // namespace vyr::interpreter
