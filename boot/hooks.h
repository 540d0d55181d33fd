// The hooks through which the value modules and the lexer reach the evaluator: loading text
// into a block, calling sort comparators, lexer trace callbacks and object change
// handlers, evaluating the blocks objects are made from and rebinding methods. Installed once by
// build_environment, after the interpreter and the lexer are up.
#pragma once

namespace vyr::boot {

void install_hooks();
// The registry's calls into the interpreter and the natives (runtime/hooks.h), wanted from
// the first native! made: installed by init_runtime, before any datatype is set up.
void install_runtime_hooks();

}  // namespace vyr::boot
