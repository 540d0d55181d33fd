// The output natives `print` and `prin`, the console's value-print hook and `stats`.
#include "runtime/natives/output.h"

#include <string>

#include "runtime/collector.h"
#include "runtime/datatypes/context.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/fire.h"
#include "runtime/datatypes/actions.h"
#include "runtime/datatypes/cells.h"
#include "runtime/interpreter/interpreter.h"
#include "runtime/stack.h"
#include "runtime/memory_stats.h"
#include "runtime/natives/domains.h"
#include "runtime/natives/natives.h"
#include "runtime/natives/series_sets.h"
#include "runtime/platform.h"
#include "runtime/print_hooks.h"

namespace vyr::natives {

bool last_print_line_break = true;

namespace {
using stack::arguments;
using interpreter::pending;

bool function_q(u32 t) {
  return t == TYPE_FUNCTION || t == TYPE_NATIVE || t == TYPE_ACTION || t == TYPE_OP ||
         t == TYPE_ROUTINE;
}

// The scratch block print reduces into: nested prints stack their values at its tail and
// take them off again, so one block serves them all.
cell print_scratch{TYPE_NONE, 0, 0, 0};

}  // namespace

// ---- Output -------------------------------------------------------------------------------

void console_value_hook(const cell* value, bool flag) {
  u32 t = type_of(value);
  if (t != TYPE_STRING && t != TYPE_FILE && t != TYPE_URL) return;
  platform::print_text(string::to_utf8(value), flag);
}

namespace {

// Reduces the block into the scratch block's tail and forms what it added; the added cells
// are taken off again on every exit. Answers false when an exit became pending.
bool form_reduced(const cell* block, cell* text) {
  u32 node = print_scratch.data2;
  u32 start = cells::length(node);
  struct restore {
    u32 node, start;
    ~restore() {
      series_buffer* b = buffer_of(node);
      if (b->used_units() > start) b->tail = b->offset + start * 16;
    }
  } r{node, start};
  cell at{TYPE_BLOCK, start, node, 0};
  if (!reduce_into(block, &at)) return false;
  *text = *actions::form_to_string(&at);
  return true;
}

void output(bool line_break) {
  cell value = *arguments;
  cell text{TYPE_NONE, 0, 0, 0};
  collector::root_guard tg(&text);
  {
    stack::guard g;
    if (type_of(&value) == TYPE_BLOCK) {
      if (!form_reduced(&value, &text)) return;
    } else if (type_of(&value) == TYPE_STRING) {
      text = value;
      u32 n = buffer_of(text.data2)->used_units();
      if (text.data1 > n) text.data1 = n;
    } else {
      text = *actions::form_to_string(&value);
    }
  }
  last_print_line_break = line_break;
  platform::fire_value_print_hooks(&text, line_break);
  stack::set_last(cell{TYPE_UNSET, 0, 0, 0});
}

void print_entry(bool, const i32*) { output(true); }
void prin_entry(bool, const i32*) { output(false); }

// ---- stats -----------------------------------------------------------------------------

void stats_entry(bool, const i32* refs) {
  bool show = refs[0] != -1, info = refs[1] != -1;
  if (!show && !info) return stack::set_last(memory::count_value(memory::stats(nullptr, 1)));
  cell block;
  cells::make_block(&block, 5);
  collector::root_guard g(&block);
  memory::stats(&block, 2);
  if (!show) return stack::set_last(block);
  // The library prints the block; without it there is nothing to show it with.
  cell w = _context::global_word(symbol::make("show-memory-stats"));
  const cell* fn = _context::get(&w);
  if (!function_q(type_of(fn))) fire("internal", "not-done");
  cell f = *fn;
  collector::root_guard fg(&f);
  cell ignored;
  interpreter::call(&f, &block, 1, &ignored);
  stack::set_last(cell{TYPE_UNSET, 0, 0, 0});
}
}  // namespace

void install_output() {
  if (type_of(&print_scratch) != TYPE_BLOCK) {
    cells::make_block(&print_scratch, 16);
    collector::add_root(&print_scratch);
  }
  install(id::print, print_entry);
  install(id::prin, prin_entry);
  install(id::stats, stats_entry);
}

}  // namespace vyr::natives
