// Natives the interpreter needs beside the control-flow family until their own modules
// take them over: the loops, the function makers, print/prin, the comparisons, not, type?,
// reduce, value? and unset. Installed at their fixed indexes by natives::init.
#pragma once
#include "runtime/cell.h"

namespace vyr::natives {

void install_extra();

// Runs a loop body in a block frame above the loop frame `me` (pushed on first use and kept
// for the next iterations; the body's value is left at stack::top - 1): answers 0 for a normal end, THROW_BREAK or
// THROW_CONTINUE when one of them ended it (consumed here, whether it came as a pending
// exit or an exception; `break_value` receives the /return value). Any other pending exit
// is left pending for the caller to pass on.
u32 run_loop_body(const cell* body, u32 me, cell* break_value);

// Leaves a loop frame `me` and the block frame run_loop_body keeps above it.
void leave_loop(u32 me);

// Evaluates each expression of a block into a new block (written to `out`).
void reduce_block(const cell* block, cell* out);

}  // namespace vyr::natives
