// Loops, function makers, printing, comparisons and small natives (see natives_extra.h).
#include "runtime/interpreter/natives_extra.h"

#include <cmath>
#include <string>

#include "runtime/collector.h"
#include "runtime/datatypes/context.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/function.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/word.h"
#include "runtime/fire.h"
#include "runtime/interpreter/actions.h"
#include "runtime/interpreter/cells.h"
#include "runtime/interpreter/interpreter.h"
#include "runtime/interpreter/natives.h"
#include "runtime/interpreter/stack.h"
#include "runtime/platform.h"
#include "runtime/word_tables.h"

namespace vyr::natives {

namespace {
using stack::arguments;
using interpreter::pending;

inline bool falsy(const cell* v) {
  return type_of(v) == TYPE_NONE || (type_of(v) == TYPE_LOGIC && v->data1 == 0);
}
inline bool strict_true(const cell* v) {
  if (type_of(v) == TYPE_UNSET) fire("script", "no-return");
  return !falsy(v);
}
inline void set_result(const cell& v) {
  *arguments = v;
  stack::keep_first();
}
inline u32 push_loop_frame() {
  stack::push_frame(&words::word_body, stack::KIND_LOOP << 24);
  return stack::frame_top - 1;
}
// A float! count becomes an integer! by truncation toward zero.
i32 count_of(const cell* c) {
  if (type_of(c) == TYPE_FLOAT) {
    double d = std::trunc(cell_float(c));
    if (!(d >= -2147483648.0 && d <= 2147483647.0)) fire("math", "overflow");
    return i32(d);
  }
  return i32(c->data2);
}
}  // namespace

u32 run_loop_body(const cell* body_in, u32 me, cell* break_value) {
  cell body = *body_in;
  // One block frame above the loop frame serves every iteration.
  if (stack::frame_top == me + 1) {
    stack::arguments = stack::base + stack::frames[me].own_args;
    stack::top = stack::arguments;
    stack::push_frame(&words::word_body, stack::HEADER_BLOCK);
  } else {
    stack::arguments = stack::base + stack::frames[me + 1].own_args;
  }
  stack::frames[me + 1].block = body.data2;
  stack::top = stack::arguments;
  try {
    interpreter::eval_in_frame(&body);
  } catch (thrown& t) {
    if ((t.level != THROW_BREAK && t.level != THROW_CONTINUE) ||
        interpreter::exit_target(t) != me)
      throw;
    stack::unwind_frames(me + 1);
    stack::arguments = stack::base + stack::frames[me].own_args;
    stack::top = stack::arguments;
    stack::close_guards();
    if (break_value) *break_value = t.value;
    return t.level;
  }
  if (pending && interpreter::pending_target == me &&
      (pending == THROW_BREAK || pending == THROW_CONTINUE)) {
    u32 level = pending;
    pending = 0;
    if (break_value) *break_value = interpreter::pending_value;
    stack::top = stack::arguments;
    return level;
  }
  return 0;
}

void leave_loop(u32 me) {
  stack::unwind_frames(me + 1);
  stack::arguments = stack::base + stack::frames[me].own_args;
  stack::leave();
}

void reduce_block(const cell* block_in, cell* out) {
  cell block = *block_in;
  collector::root_guard g(&block);
  cell result;
  cells::make_block(&result, cells::remaining(&block));
  collector::root_guard rg(&result);
  for (u32 pos = block.data1; pos < cells::length(block.data2);) {
    pos = interpreter::eval_one(block.data2, pos, true);
    interpreter::raise_pending();
    cell v = *(stack::top - 1);
    stack::top--;
    cells::append(result.data2, &v);
  }
  *out = result;
}

namespace {
// ---- Loops --------------------------------------------------------------------------------

void while_entry(bool, const i32*) {
  cell cond = arguments[0], body = arguments[1];
  u32 me = push_loop_frame();
  for (;;) {
    u32 r = run_loop_body(&cond, me, nullptr);
    if (r) fire("throw", "while-cond");
    if (pending) return leave_loop(me);
    if (!strict_true(stack::top - 1)) break;
    r = run_loop_body(&body, me, nullptr);
    if (pending) return leave_loop(me);
    if (r == THROW_BREAK) break;
  }
  leave_loop(me);
  set_result(cell{TYPE_UNSET, 0, 0, 0});
}

void until_entry(bool, const i32*) {
  cell body = arguments[0];
  u32 me = push_loop_frame();
  cell result{TYPE_UNSET, 0, 0, 0};
  for (;;) {
    cell bv{TYPE_UNSET, 0, 0, 0};
    u32 r = run_loop_body(&body, me, &bv);
    if (pending) return leave_loop(me);
    if (r == THROW_BREAK) { result = bv; break; }
    if (r == THROW_CONTINUE) continue;
    cell* v = stack::top - 1;
    if (strict_true(v)) { result = *v; break; }
  }
  leave_loop(me);
  set_result(result);
}

void loop_entry(bool, const i32*) {
  i32 n = count_of(arguments);
  if (n < 1) return set_result(cell{TYPE_NONE, 0, 0, 0});
  cell body = arguments[1];
  u32 me = push_loop_frame();
  cell result{TYPE_UNSET, 0, 0, 0};
  for (i32 i = 0; i < n; i++) {
    cell bv{TYPE_UNSET, 0, 0, 0};
    u32 r = run_loop_body(&body, me, &bv);
    if (pending) return leave_loop(me);
    if (r == THROW_BREAK) { result = bv; break; }
    result = r == THROW_CONTINUE ? cell{TYPE_UNSET, 0, 0, 0} : *(stack::top - 1);
  }
  leave_loop(me);
  set_result(result);
}

void repeat_entry(bool, const i32*) {
  cell word = arguments[0];
  i32 n = count_of(arguments + 1);
  if (n < 1) return set_result(cell{TYPE_NONE, 0, 0, 0});
  cell body = arguments[2];
  u32 me = push_loop_frame();
  cell result{TYPE_UNSET, 0, 0, 0};
  for (i32 i = 1; i <= n; i++) {
    cell counter{TYPE_INTEGER, 0, u32(i), 0};
    _context::set(&word, &counter);
    cell bv{TYPE_UNSET, 0, 0, 0};
    u32 r = run_loop_body(&body, me, &bv);
    if (pending) return leave_loop(me);
    if (r == THROW_BREAK) { result = bv; break; }
    result = r == THROW_CONTINUE ? cell{TYPE_UNSET, 0, 0, 0} : *(stack::top - 1);
  }
  leave_loop(me);
  set_result(result);
}

void forever_entry(bool, const i32*) {
  cell body = arguments[0];
  u32 me = push_loop_frame();
  cell result{TYPE_UNSET, 0, 0, 0};
  for (;;) {
    cell bv{TYPE_UNSET, 0, 0, 0};
    u32 r = run_loop_body(&body, me, &bv);
    if (pending) return leave_loop(me);
    if (r == THROW_BREAK) { result = bv; break; }
  }
  leave_loop(me);
  set_result(result);
}

// ---- Function makers ------------------------------------------------------------------

void make_function(const cell& spec_in, const cell& body_in) {
  cell spec = spec_in, body = body_in;
  collector::root_guard g1(&spec), g2(&body);
  u32 flags = function::validate_spec(&spec);
  function::push(&spec, &body, 0, 0, 0, flags);
  set_result(*(stack::top - 1));
}

void func_entry(bool, const i32*) { make_function(arguments[0], arguments[1]); }

void function_entry(bool, const i32*) {
  cell spec;
  function::collect_locals(arguments, arguments + 1, &spec);
  collector::root_guard g(&spec);
  make_function(spec, arguments[1]);
}

void does_entry(bool, const i32*) {
  cell spec;
  cells::make_block(&spec, 1);
  collector::root_guard g(&spec);
  make_function(spec, arguments[0]);
}

void has_entry(bool, const i32*) {
  cell vars = arguments[0];
  cell spec;
  cells::make_block(&spec, cells::remaining(&vars) + 1);
  collector::root_guard g(&spec);
  cells::append(spec.data2, &words::ref_local);
  for (u32 i = vars.data1; i < cells::length(vars.data2); i++) {
    cell w = *cells::at(vars.data2, i);
    cells::append(spec.data2, &w);
  }
  make_function(spec, arguments[1]);
}

// ---- Output -----------------------------------------------------------------------------

std::string form_value(const cell* v) {
  stack::guard g;
  cell value = *v;
  collector::root_guard rg(&value);
  if (type_of(&value) == TYPE_BLOCK) {
    cell reduced;
    reduce_block(&value, &reduced);
    value = reduced;
  }
  return string::to_utf8(actions::form_to_string(&value));
}

void print_entry(bool, const i32*) {
  platform::print_text(form_value(arguments), true);
  set_result(cell{TYPE_UNSET, 0, 0, 0});
}

void prin_entry(bool, const i32*) {
  platform::print_text(form_value(arguments), false);
  set_result(cell{TYPE_UNSET, 0, 0, 0});
}

// ---- Comparisons and small natives ------------------------------------------------------

template <i32 OP> void compare_entry(bool, const i32*) {
  bool r;
  if (type_of(arguments) == TYPE_INTEGER && type_of(arguments + 1) == TYPE_INTEGER) {
    // The commonest comparison, without the dispatch.
    i32 a = i32(arguments->data2), b = i32(arguments[1].data2);
    switch (OP) {
      case compare_op::EQUAL: case compare_op::STRICT_EQUAL: case compare_op::SAME: r = a == b; break;
      case compare_op::NOT_EQUAL: r = a != b; break;
      case compare_op::LESSER: r = a < b; break;
      case compare_op::LESSER_OR_EQUAL: r = a <= b; break;
      case compare_op::GREATER: r = a > b; break;
      default: r = a >= b; break;
    }
  } else {
    r = actions::compare(arguments, arguments + 1, OP);
  }
  set_result(cell{TYPE_LOGIC, r ? 1u : 0u, 0, 0});
}

void not_entry(bool, const i32*) { set_result(cell{TYPE_LOGIC, falsy(arguments) ? 1u : 0u, 0, 0}); }

void type_q_entry(bool, const i32* refs) {
  u32 t = type_of(arguments);
  if (refs[0] != -1) return set_result(*datatype::word_of(t));
  cell dt;
  datatype::make_at(&dt, t);
  set_result(dt);
}

void reduce_entry(bool, const i32*) {
  if (type_of(arguments) != TYPE_BLOCK) return stack::keep_first();
  cell out;
  reduce_block(arguments, &out);
  set_result(out);
}

void value_q_entry(bool, const i32*) {
  cell w = arguments[0];
  bool has = true;
  if (word::any_word_q(type_of(&w))) {
    try {
      has = type_of(_context::get(&w)) != TYPE_UNSET;
    } catch (const thrown& t) {
      if (t.level != THROW_ERROR) throw;
      has = false;
    }
  }
  set_result(cell{TYPE_LOGIC, has ? 1u : 0u, 0, 0});
}

void unset_entry(bool, const i32*) {
  cell w = arguments[0];
  cell u{TYPE_UNSET, 0, 0, 0};
  if (word::any_word_q(type_of(&w))) {
    _context::set(&w, &u);
  } else if (type_of(&w) == TYPE_BLOCK) {
    for (u32 i = w.data1; i < cells::length(w.data2); i++) {
      cell x = *cells::at(w.data2, i);
      if (word::any_word_q(type_of(&x))) _context::set(&x, &u);
    }
  }
  set_result(u);
}
}  // namespace

void install_extra() {
  install("while", while_entry);
  install("until", until_entry);
  install("loop", loop_entry);
  install("repeat", repeat_entry);
  install("forever", forever_entry);
  install("func", func_entry);
  install("function", function_entry);
  install("does", does_entry);
  install("has", has_entry);
  install("print", print_entry);
  install("prin", prin_entry);
  install("equal?", compare_entry<compare_op::EQUAL>);
  install("not-equal?", compare_entry<compare_op::NOT_EQUAL>);
  install("strict-equal?", compare_entry<compare_op::STRICT_EQUAL>);
  install("lesser?", compare_entry<compare_op::LESSER>);
  install("greater?", compare_entry<compare_op::GREATER>);
  install("lesser-or-equal?", compare_entry<compare_op::LESSER_OR_EQUAL>);
  install("greater-or-equal?", compare_entry<compare_op::GREATER_OR_EQUAL>);
  install("same?", compare_entry<compare_op::SAME>);
  install("not", not_entry);
  install("type?", type_q_entry);
  install("reduce", reduce_entry);
  install("value?", value_q_entry);
  install("unset", unset_entry);
}

}  // namespace vyr::natives
