// The parse dialect engine behind the `parse` native: matches an input series (block-like,
// string-like or binary!) against a block of rules and answers whether the whole input
// was matched, or the block built by an outermost `collect`.
//
// Rule levels (each entered block and each keyword that wraps a rule) take three cells on
// the rule stack, a block kept in the root set; nested `into` inputs take one cell on the
// input stack. Both stacks also keep every value a running match holds alive. A run that
// starts while another runs (from a paren or a callback) works above the outer run's
// cells; every exit cuts both stacks back to where the run found them.
#pragma once
#include "runtime/cell.h"

namespace vyr::parse {

constexpr u32 STACK_LIMIT = 10001;  // cells on either stack at which `parse-stack` is raised
constexpr u32 NO_LIMIT = 0xFFFFFFFFu;

// Runs the rules over the input and writes logic! (or the collected block) into `out`.
// `end` is the absolute index where the input ends for matching (NO_LIMIT for its tail);
// `callback` is a function! that receives every step, or null. Exits pending in the
// interpreter (break, return... from a paren) return at once with the exit still pending.
void run(const cell* input, const cell* rules, bool case_sensitive, u32 end,
         const cell* callback, cell* out);

// The `parse` native's stack entry.
void parse_entry(bool check, const i32* refs);

void init();  // the two stacks, the keyword symbols, the native's entry

}  // namespace vyr::parse
