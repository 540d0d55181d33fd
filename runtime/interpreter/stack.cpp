// Data stack storage: one fixed (never moving) series, so the cell pointers stay valid;
// marked base..top by a collector callback.
#include "runtime/interpreter/stack.h"

#include "runtime/collector.h"
#include "runtime/cycles.h"
#include "runtime/fire.h"

namespace vyr::stack {

cell* base = nullptr;
cell* limit = nullptr;
cell* top = nullptr;
cell* arguments = nullptr;

namespace {
u32 stack_node = 0;

void mark_stack() {
  if (base) collector::mark_values(base, top);
}
}  // namespace

void init() {
  if (stack_node) return;
  stack_node = memory::alloc_fixed_series(SIZE, sizeof(cell), 0);
  series_buffer* b = buffer_of(stack_node);
  base = reinterpret_cast<cell*>(b->data());
  limit = base + SIZE;
  top = arguments = base;
  collector::add_root_node(&stack_node);
  collector::register_callback(mark_stack);
}

void reset() { top = arguments = base; }

cell* push_slot() {
  if (top + 1 >= limit) {
    top = top - OVERFLOW_HEADROOM < base ? base : top - OVERFLOW_HEADROOM;
    if (arguments > top) arguments = top;
    cycles::reset();
    fire("internal", "stack-overflow");
  }
  return top++;
}

cell* push_copy(const cell* value) {
  cell* c = push_slot();
  copy_cell(value, c);
  return c;
}

void pop_cells(u32 n) { top = static_cast<u32>(top - base) < n ? base : top - n; }

cell* last_pushed() { return top == base ? base : top - 1; }
u32 last_type() { return type_of(last_pushed()); }

void set_result(const cell* value) { copy_cell(value, arguments); }
void set_last(const cell* value) {
  copy_cell(value, arguments);
  top = arguments + 1;
}
void clear_args() { top = arguments; }
void keep_first() { top = arguments + 1; }

}  // namespace vyr::stack
