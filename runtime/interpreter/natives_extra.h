// Natives the interpreter needs beside the control-flow family until their own modules
// take them over: print/prin, the comparisons, not and reduce. Installed at their fixed indexes by natives::init.
#pragma once
#include "runtime/cell.h"

namespace vyr::natives {

void install_extra();

// Evaluates each expression of a block into a new block (written to `out`).
void reduce_block(const cell* block, cell* out);

}  // namespace vyr::natives
