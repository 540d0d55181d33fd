// The control-flow natives: conditionals, evaluation (`do`, `get`, `set`) and the non-local
// exits. Exits raised here take the interpreter's pending path (see interpreter.h); every
// native that evaluates returns at once when an exit is pending.
#include <cstring>
#include <vector>

#include "runtime/collector.h"
#include "runtime/datatypes/context.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/error.h"
#include "runtime/datatypes/function.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/map.h"
#include "runtime/datatypes/object.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/word.h"
#include "runtime/datatypes/series.h"
#include "runtime/fire.h"
#include "runtime/datatypes/actions.h"
#include "runtime/datatypes/cells.h"
#include "runtime/interpreter/interpreter.h"
#include "runtime/natives/domains.h"
#include "runtime/natives/natives.h"
#include "runtime/stack.h"
#include "runtime/interpreter/trace.h"
#include "runtime/word_tables.h"

namespace vyr::natives {

namespace {
using stack::arguments;
using interpreter::pending;

using logic::falsy;
// The strict test: unset! raises script no-return.
inline bool strict_true(const cell* v) {
  if (type_of(v) == TYPE_UNSET) fire("script", "no-return");
  return !falsy(v);
}
inline void none_result() {
  *arguments = cell{TYPE_NONE, 0, 0, 0};
  stack::keep_first();
}
inline void unset_result() {
  *arguments = cell{TYPE_UNSET, 0, 0, 0};
  stack::keep_first();
}
inline void run(const cell* block) { interpreter::eval_branch(block); }

void if_entry(bool, const i32*) {
  if (falsy(arguments)) return none_result();
  cell b = arguments[1];
  run(&b);
}

void unless_entry(bool, const i32*) {
  if (!falsy(arguments)) return none_result();
  cell b = arguments[1];
  run(&b);
}

void either_entry(bool, const i32*) {
  cell b = strict_true(arguments) ? arguments[1] : arguments[2];
  run(&b);
}

// Evaluates the expressions of the block at `arguments` one at a time, each value pushed
// and handed to `each`, which answers true to stop with that value as the result.
template <class F> bool each_expression(F each) {
  cell block = *arguments;
  u32 node = series::node(&block);
  for (u32 pos = series::index(&block); pos < cells::length(node);) {
    pos = interpreter::eval_one(node, pos, true);
    if (pending) return true;
    cell* v = stack::top - 1;
    if (each(v)) {
      *arguments = *v;
      stack::keep_first();
      return true;
    }
    stack::top = v;
  }
  return false;
}

void any_entry(bool, const i32*) {
  // The native's frame keeps the block alive while its expressions run.
  stack::frames[stack::frame_top - 1].block = series::node(arguments);
  if (!each_expression([](const cell* v) { return !falsy(v); })) none_result();
}

void all_entry(bool, const i32*) {
  stack::frames[stack::frame_top - 1].block = series::node(arguments);
  cell last{TYPE_NONE, 0, 0, 0};
  bool stopped = each_expression([&](const cell* v) {
    if (falsy(v)) return true;
    last = *v;
    return false;
  });
  if (stopped) {
    if (!pending) none_result();
    return;
  }
  *arguments = last;
  stack::keep_first();
}

void switch_entry(bool, const i32* refs) {
  cell value = arguments[0];
  cell cases = arguments[1];
  if (type_of(&value) != TYPE_BLOCK) {
    u32 n = cells::length(series::node(&cases));
    for (u32 i = series::index(&cases); i < n; i++) {
      const cell* c = cells::get(series::node(&cases), i);
      if (type_of(c) != type_of(&value)) continue;
      if (!actions::compare(c, &value, compare_op::EQUAL)) continue;
      for (u32 k = i + 1; k < n; k++) {
        const cell* b = cells::get(series::node(&cases), k);
        if (type_of(b) == TYPE_BLOCK) {
          cell body = *b;
          return run(&body);
        }
      }
      break;  // no block after the match: the default path
    }
  }
  if (refs[0] != -1) {
    cell body = arguments[refs[0]];
    return run(&body);
  }
  none_result();
}

void case_entry(bool, const i32* refs) {
  cell cases = arguments[0];
  u32 node = series::node(&cases);
  if (cells::remaining(&cases) == 0) return none_result();
  bool all = refs[0] != -1;
  stack::frames[stack::frame_top - 1].block = node;
  stack::push_frame(&words::word_anon, stack::HEADER_INTERP_NATIVE);
  cell* slot = arguments;  // this frame's cells: the condition, then a body's value
  bool ran = false;
  cell result{TYPE_NONE, 0, 0, 0};
  u32 pos = series::index(&cases);
  while (pos < cells::length(node)) {
    ran = false;
    pos = interpreter::eval_one(node, pos, true);
    if (pending) return stack::leave();
    if (pos >= cells::length(node)) {
      cell w = _context::add_global(symbol::make("case"), false, false);
      fire("script", "need-value", &w);
    }
    bool truthy = strict_true(stack::top - 1);
    stack::top = slot;
    if (!truthy) {
      pos++;
      continue;
    }
    if (type_of(cells::get(node, pos)) == TYPE_BLOCK) {
      cell body = *cells::get(node, pos);
      interpreter::eval_block(&body, false);
      pos++;
    } else {
      pos = interpreter::eval_one(node, pos, true);
    }
    if (pending) return stack::leave();
    result = *(stack::top - 1);
    stack::top = slot;
    ran = true;
    if (!all) break;
  }
  stack::leave();
  *arguments = ran ? result : cell{TYPE_NONE, 0, 0, 0};
  stack::keep_first();
}

// ---- do, get, set ---------------------------------------------------------------------

// The trace state is put back on every exit from do/trace, errors included.
struct trace_scope {
  bool saved = interpreter::tracing;
  ~trace_scope() { interpreter::tracing = saved; }
};

void do_value(const i32* refs);

void do_entry(bool, const i32* refs) {
  trace_scope ts;
  if (refs[3] == -1) [[likely]] return do_value(refs);
  // do/trace: the callback is installed for this evaluation only (the session puts the
  // previous state back on every exit); the end event follows a normal end.
  cell callback = arguments[refs[3]];
  trace::session session(&callback);
  session.start();
  do_value(refs);
  if (!pending) session.finish();
}

// Calls `do-file file none args`; the arguments are quoted so they arrive as they are.
void run_do_file(const cell* file, const cell* args, cell* result) {
  if (!interpreter::load_hook) fire("internal", "not-done");
  static const char source[] = "do-file quote";
  cell call{TYPE_NONE, 0, 0, 0};
  collector::root_guard cg(&call);
  interpreter::load_hook(source, u32(sizeof(source) - 1), &call);
  if (type_of(&call) != TYPE_BLOCK || cells::length(series::node(&call)) != 2)
    fire("internal", "not-done");
  cell quote = *cells::get(series::node(&call), 1);
  cell none{TYPE_NONE, 0, 0, 0};
  cells::append(series::node(&call), file);
  cells::append(series::node(&call), &none);
  cells::append(series::node(&call), &quote);
  cells::append(series::node(&call), args);
  interpreter::do_block(&call, result);
}

void do_value(const i32* refs) {
  cell value = arguments[0];
  if (type_of(&value) == TYPE_STRING) {
    if (!interpreter::load_hook) fire("internal", "not-done");
    std::string text = string::to_utf8(&value);
    cell loaded;
    interpreter::load_hook(text.data(), u32(text.size()), &loaded);
    *arguments = loaded;
    value = loaded;
  }
  if (refs[0] != -1 && (type_of(&value) == TYPE_BLOCK || type_of(&value) == TYPE_PAREN)) {
    // /expand: the preprocessor rewrites the code in place first, with no job.
    if (!interpreter::load_hook) fire("internal", "not-done");
    static const char source[] = "preprocessor/expand";
    cell call{TYPE_NONE, 0, 0, 0};
    collector::root_guard cg(&call);
    interpreter::load_hook(source, u32(sizeof(source) - 1), &call);
    if (type_of(&call) != TYPE_BLOCK) fire("internal", "not-done");
    cells::append(series::node(&call), &value);
    cell none{TYPE_NONE, 0, 0, 0};
    cells::append(series::node(&call), &none);
    cell ignored{TYPE_UNSET, 0, 0, 0};
    collector::root_guard ig(&ignored);
    interpreter::do_block(&call, &ignored);
    if (pending) return;
  }
  switch (type_of(&value)) {
    case TYPE_BLOCK: case TYPE_PAREN: case TYPE_HASH: {
      u32 length = cells::length(series::node(&value));
      if (series::index(&value) > length) series::index(&value) = length;
      if (refs[2] != -1) {
        cell word = arguments[refs[2]];
        u32 pos = series::index(&value);
        if (pos >= cells::length(series::node(&value))) {
          unset_result();
        } else {
          stack::frames[stack::frame_top - 1].block = series::node(&value);
          pos = interpreter::eval_one(series::node(&value), pos, false);
          if (pending) return;
        }
        cell result = *arguments;
        cell at = value;
        series::index(&at) = pos;
        _context::set(&word, &at);
        *arguments = result;
        stack::keep_first();
        return;
      }
      return run(&value);
    }
    case TYPE_PATH: case TYPE_GET_PATH: {
      interpreter::eval_path(&value, 0, 0, 0, false, type_of(&value) == TYPE_GET_PATH, false);
      return;
    }
    case TYPE_FILE: case TYPE_URL: {
      // Scripts run through the library's `do-file`, with the /args value or none.
      cell args = refs[1] != -1 ? arguments[refs[1]] : cell{TYPE_NONE, 0, 0, 0};
      cell result{TYPE_UNSET, 0, 0, 0};
      collector::root_guard ag(&args), rg(&result);
      run_do_file(&value, &args, &result);
      *arguments = result;
      stack::keep_first();
      return;
    }
    case TYPE_ERROR: {
      // An error made earlier and raised here names the function that raises it (past
      // this `do`, the library's `cause-error` and the control words that chose to raise
      // it), unless it already names a place.
      if (stack::frame_top > 0) {
        const u32 raisers[] = {symbol::make("do"), symbol::make("cause-error")};
        static const char* const control[] = {"if", "unless", "either", "case", "switch",
                                              "all", "any", "loop", "while", "until",
                                              "repeat", "foreach", "forall", "forever"};
        u32 around[sizeof control / sizeof *control];
        for (u32 k = 0; k < sizeof control / sizeof *control; k++)
          around[k] = symbol::make(control[k]);
        cell w = stack::current_call_word_past(raisers, 2, around,
                                               sizeof control / sizeof *control);
        collector::root_guard wg(&w);
        error::set_where(&value, &w);
      }
      thrown t{};
      t.level = THROW_ERROR;
      t.value = value;
      t.name = cell{TYPE_NONE, 0, 0, 0};
      t.category = "user";
      t.id = "message";
      throw t;
    }
    case TYPE_WORD: {
      const cell* v = _context::get(&value);
      if (type_of(v) == TYPE_UNSET) fire("script", "no-value", &value);
      [[fallthrough]];
    }
    default: {
      // One expression starting at the value.
      cell block;
      cells::make_block(&block, 1);
      collector::root_guard g(&block);
      cells::append(series::node(&block), &value);
      *arguments = block;
      stack::frames[stack::frame_top - 1].block = series::node(&block);
      interpreter::eval_one(series::node(&block), 0, false);
    }
  }
}

void get_entry(bool, const i32* refs) {
  cell w = arguments[0];
  u32 t = type_of(&w);
  if (t >= TYPE_PATH && t <= TYPE_GET_PATH) {
    interpreter::eval_path(&w, 0, 0, 0, false, true, false);
    return;
  }
  if (t == TYPE_OBJECT) {  // the block of its values
    const cell* r = object::reflect(&w, words::sym_values);
    *arguments = *r;
    stack::keep_first();
    return;
  }
  if (!word::any_word_q(t)) fire("internal", "not-done");
  const cell* v = _context::get(&w);
  if (type_of(v) == TYPE_UNSET && refs[0] == -1) fire("script", "no-value", &w);
  *arguments = *v;
  stack::keep_first();
}

bool word_kind(u32 t) { return t == TYPE_WORD || t == TYPE_SET_WORD || t == TYPE_GET_WORD || t == TYPE_LIT_WORD; }

void set_entry(bool, const i32* refs) {
  cell target = arguments[0];
  cell value = arguments[1];
  bool any = refs[0] != -1, only = refs[2] != -1, some = refs[3] != -1;
  if (type_of(&value) == TYPE_UNSET && !any) fire("script", "need-value", &target);
  u32 t = type_of(&target);
  if (word::any_word_q(t)) {
    _context::set(&target, &value);
  } else if (t >= TYPE_PATH && t <= TYPE_GET_PATH) {
    *stack::push_slot() = value;
    interpreter::eval_path(&target, 0, 0, 0, true, false, true);
  } else if (t == TYPE_BLOCK) {
    u32 vt = type_of(&value);
    bool spread = !only && (vt == TYPE_BLOCK || vt == TYPE_PAREN || vt == TYPE_HASH ||
                            vt == TYPE_MAP || (vt >= TYPE_PATH && vt <= TYPE_GET_PATH));
    u32 n = cells::remaining(&target);
    auto pick = [&](u32 i) -> cell {
      if (!spread) return value;
      if (vt == TYPE_MAP) return map::spread_at(&value, i);
      u32 k = series::index(&value) + i;
      u32 node = series::node(&value);
      return k < cells::length(node) ? *cells::get(node, k) : cell{TYPE_NONE, 0, 0, 0};
    };
    if (spread) {
      for (u32 i = 0; i < n; i++) {
        cell w = *cells::get(series::node(&target), series::index(&target) + i);
        if (!word_kind(type_of(&w))) fire("script", "invalid-arg", &w);
        cell v = pick(i);
        if (!any && type_of(&v) == TYPE_UNSET) fire("script", "need-value", &w);
      }
    }
    for (u32 i = 0; i < n; i++) {
      cell w = *cells::get(series::node(&target), series::index(&target) + i);
      cell v = pick(i);
      if (some && type_of(&v) == TYPE_NONE) continue;
      if (!word_kind(type_of(&w))) fire("script", "invalid-arg", &w);
      _context::set(&w, &v);
    }
  } else if (t == TYPE_OBJECT) {
    object::set_many(&arguments[0], &value, any, only, some);
  } else {
    fire("internal", "not-done");
  }
  *arguments = value;
  stack::keep_first();
}

// ---- Non-local exits ------------------------------------------------------------------

// The frame an exit goes to: from below the native's own frame down to a frame of `kind`
// (or, with kind 0, one with the function flag). A try/all frame met first, or none found,
// raises the throw-category error `id`.
u32 exit_target(u32 kind, const char* id, const cell* arg = nullptr) {
  for (i32 i = i32(stack::frame_top) - 2; i >= 0; i--) {
    const stack::frame& f = stack::frames[i];
    u32 k = stack::kind_of(f);
    if (k == stack::KIND_TRY_ALL) break;
    if (kind ? k == kind : (f.header & stack::FLAG_FUNCTION) != 0) return u32(i);
  }
  if (arg) fire("throw", id, arg);
  fire("throw", id);
}

void exit_pending(u32 level, u32 target, const cell& value) {
  interpreter::pending_value = value;
  interpreter::pending_target = target;
  interpreter::pending = level;
}

void break_entry(bool, const i32* refs) {
  u32 target = exit_target(stack::KIND_LOOP, "break");
  exit_pending(THROW_BREAK, target, refs[0] != -1 ? arguments[refs[0]] : cell{TYPE_UNSET, 0, 0, 0});
}

void continue_entry(bool, const i32*) {
  u32 target = exit_target(stack::KIND_LOOP, "continue");
  exit_pending(THROW_CONTINUE, target, cell{TYPE_UNSET, 0, 0, 0});
}

void return_entry(bool, const i32*) {
  u32 target = exit_target(0, "return");
  exit_pending(THROW_RETURN, target, arguments[0]);
}

void exit_entry(bool, const i32*) {
  u32 target = exit_target(0, "return");
  exit_pending(THROW_EXIT, target, cell{TYPE_UNSET, 0, 0, 0});
}

bool name_matches(const cell& thrown_name, const cell& wanted);

// The names of the catch/name frames in force, by frame index (the wanted cell lives in
// the catch's own arguments, so it stays rooted while it is listed here).
struct named_catch {
  u32 frame;
  cell wanted;
};
std::vector<named_catch> named_catches;

// A throw with no catch that takes it (a catch/name of other names does not) is an error
// where it is thrown, so the report names the throw and not an outer catch.
void throw_target(const cell& name, const cell& value) {
  size_t n = named_catches.size();
  for (i32 i = i32(stack::frame_top) - 2; i >= 0; i--) {
    const stack::frame& f = stack::frames[i];
    u32 k = stack::kind_of(f);
    if (k == stack::KIND_TRY_ALL) break;
    if (k != stack::KIND_CATCH) continue;
    while (n > 0 && named_catches[n - 1].frame > u32(i)) n--;
    if (n > 0 && named_catches[n - 1].frame == u32(i) &&
        !name_matches(name, named_catches[n - 1].wanted))
      continue;
    return;
  }
  fire("throw", "throw", &value);
}

void throw_entry(bool, const i32* refs) {
  cell value = arguments[0];
  if (interpreter::tracing) trace::event(trace::EV_THROW, nullptr, 0, nullptr, &value);
  cell name = refs[0] != -1 ? arguments[refs[0]] : cell{TYPE_UNSET, 0, 0, 0};
  throw_target(name, value);
  thrown t{};
  t.level = THROW_THROW;
  t.value = value;
  t.name = name;
  t.category = "throw";
  t.id = "throw";
  throw t;
}

bool name_matches(const cell& thrown_name, const cell& wanted) {
  if (type_of(&thrown_name) != TYPE_WORD) return false;
  u32 s = symbol::resolve(word::symbol_id(&thrown_name));
  if (type_of(&wanted) == TYPE_WORD) return symbol::resolve(word::symbol_id(&wanted)) == s;
  for (u32 i = series::index(&wanted); i < cells::length(series::node(&wanted)); i++)
    if (symbol::resolve(word::symbol_id(cells::get(series::node(&wanted), i))) == s) return true;
  return false;
}

// Leaves the native's own frame with the last value its block pushed as the result (a
// pending exit leaves it as it is).
void leave_with_last() {
  if (pending) return stack::leave();
  cell r = *(stack::top - 1);
  stack::leave();
  *arguments = r;
  stack::keep_first();
}

void catch_entry(bool, const i32* refs) {
  cell block = arguments[0];
  bool named = refs[0] != -1;
  cell wanted = named ? arguments[refs[0]] : cell{TYPE_NONE, 0, 0, 0};
  if (named && type_of(&wanted) == TYPE_BLOCK) {
    for (u32 i = series::index(&wanted); i < cells::length(series::node(&wanted)); i++) {
      if (type_of(cells::get(series::node(&wanted), i)) != TYPE_WORD) {
        cell n = _context::add_global(symbol::make("name"), false, false);
        fire("script", "invalid-refine-arg", &n, &wanted);
      }
    }
  }
  stack::state_guard sg;
  stack::push_frame(&words::word_body, stack::KIND_CATCH << 24);
  struct listed {
    bool on;
    ~listed() {
      if (on) named_catches.pop_back();
    }
  } listed_{named};
  if (named) named_catches.push_back({stack::frame_top - 1, wanted});
  try {
    interpreter::eval_block(&block, false);
  } catch (thrown& t) {
    if (t.level != THROW_THROW) {
      sg.release();
      throw;
    }
    if (named && !name_matches(t.name, wanted)) {
      // Thrown outward again: without an outer catch that is the error of a lost throw.
      thrown again = t;
      sg.restore();
      sg.release();
      if (named) named_catches.pop_back();
      listed_.on = false;
      throw_target(again.name, again.value);
      throw again;
    }
    sg.restore();
    sg.release();
    *arguments = t.value;
    stack::keep_first();
    if (interpreter::tracing) trace::event(trace::EV_CATCH, nullptr, 0, nullptr, arguments);
    return;
  }
  sg.release();
  leave_with_last();
}

void try_entry(bool, const i32* refs) {
  cell block = arguments[0];
  bool all = refs[0] != -1;
  stack::state_guard sg;
  stack::push_frame(&words::word_try, (all ? stack::KIND_TRY_ALL : stack::KIND_TRY) << 24);
  try {
    interpreter::eval_block(&block, false);
  } catch (thrown& t) {
    if (t.level != THROW_ERROR) {
      sg.release();
      throw;
    }
    sg.restore();
    sg.release();
    *arguments = t.value;
    stack::keep_first();
    return;
  }
  sg.release();
  leave_with_last();
}

}  // namespace

void install_control() {
  install(id::if_, if_entry);
  install(id::unless, unless_entry);
  install(id::either, either_entry);
  install(id::any, any_entry);
  install(id::all, all_entry);
  install(id::switch_, switch_entry);
  install(id::case_, case_entry);
  install(id::do_, do_entry);
  install(id::get, get_entry);
  install(id::set, set_entry);
  install(id::try_, try_entry);
  install(id::break_, break_entry);
  install(id::continue_, continue_entry);
  install(id::exit, exit_entry);
  install(id::return_, return_entry);
  install(id::throw_, throw_entry);
  install(id::catch_, catch_entry);
}

}  // namespace vyr::natives
