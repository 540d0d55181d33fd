// The data stack: a fixed array of 20,000 cells holding the arguments and results of the
// running calls. Invariant: base <= arguments <= top < limit. The cells from base up to top
// are collector roots; a reserved cell is not initialised, its reserver writes it.
// (Call frames come with the interpreter.)
#pragma once
#include "runtime/cell.h"

namespace vyr::stack {

constexpr u32 SIZE = 20000;  // cells
constexpr u32 OVERFLOW_HEADROOM = 5;  // cells given back on overflow to build the error

extern cell* base;       // the first cell
extern cell* limit;      // one past the last cell
extern cell* top;        // the next free cell
extern cell* arguments;  // first argument cell of the innermost call, also its result slot

void init();   // allocates the stack once; arguments = top = base
void reset();  // arguments = top = base (drops everything)

// Reserves the cell at top; raises internal stack-overflow when the new top would reach
// the limit (after giving back OVERFLOW_HEADROOM cells and resetting the cycle stack).
cell* push_slot();
cell* push_copy(const cell* value);     // copies the value into a reserved cell
void pop_cells(u32 n);                  // never below base
cell* last_pushed();                    // top - 1, or base when the stack is empty
u32 last_type();

void set_result(const cell* value);     // copies into the cell at arguments
void set_last(const cell* value);       // set_result, then top = arguments + 1
void clear_args();                      // top = arguments
void keep_first();                      // top = arguments + 1

// The i-th argument cell (0 is the result slot).
inline cell* arg(u32 i) { return arguments + i; }

// Restores arguments and top on every exit from a scope (errors included).
class guard {
 public:
  guard() : args_(arguments), top_(top) {}
  ~guard() { arguments = args_; top = top_; }
  guard(const guard&) = delete;
  guard& operator=(const guard&) = delete;
 private:
  cell* args_;
  cell* top_;
};

}  // namespace vyr::stack
