// The loop natives and their iteration steps (see loops.h).
#include "runtime/natives/loops.h"
#include "runtime/natives/domains.h"

#include "runtime/halt.h"

#include "runtime/cell_checks.h"
#include "runtime/collector.h"
#include "runtime/datatypes/context.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/image.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/map.h"
#include "runtime/datatypes/series.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/word.h"
#include "runtime/datatypes/integer.h"
#include "runtime/fire.h"
#include "runtime/datatypes/actions.h"
#include "runtime/datatypes/cells.h"
#include "runtime/interpreter/interpreter.h"
#include "runtime/interpreter/loop_pass.h"
#include "runtime/interpreter/native_stack.h"
#include "runtime/natives/natives.h"
#include "runtime/stack.h"
#include "runtime/word_tables.h"

namespace vyr::natives {

namespace {
using stack::arguments;
using interpreter::pending;

constexpr cell UNSET{TYPE_UNSET, 0, 0, 0};
constexpr cell NONE{TYPE_NONE, 0, 0, 0};

using logic::falsy;
inline bool strict_true(const cell* v) {
  if (type_of(v) == TYPE_UNSET) fire("script", "no-return");
  return !falsy(v);
}
inline u32 push_loop_frame() {
  stack::push_frame(&words::word_body, stack::KIND_LOOP << 24);
  return stack::frame_top - 1;
}
inline bool word_kind(u32 t) {
  return t == TYPE_WORD || t == TYPE_SET_WORD || t == TYPE_GET_WORD || t == TYPE_LIT_WORD;
}
// Sets a word in its own context with change notification; the word cell may lie in a
// series buffer, so a copy is handed over.
[[gnu::noinline]] void set_word_slow(const cell* word, const cell* value) {
  cell w = *word;
  cell v = *value;
  _context::set(&w, &v);
}
// A loop sets its word on every pass: a slot that takes the value with nothing more to do
// is written here, as _context::set would write it.
inline void set_word(const cell* word, const cell* value) {
  if (u32 ctx = word::context(word)) [[likely]] {
    if (cell* slot = _context::quiet_slot(word, ctx, true)) [[likely]] {
      *slot = *value;
      return;
    }
  }
  set_word_slow(word, value);
}

// `pick series i` for a series whose elements are not cells. The pick implementations may
// build their answer in the innermost frame's first cell, so they get a scratch frame.
cell pick_element(const cell* series, i32 i) {
  stack::guard g;
  cell* scratch = stack::push_slot();
  *scratch = UNSET;
  stack::arguments = scratch;
  cell s = *series;
  collector::root_guard sg(&s);
  cell index{TYPE_INTEGER, 0, u32(i), 0};
  return *actions::lookup_for<slot::pick>(&s)(&s, i, &index);
}

// The script error a native raises for an argument of a type it does not take.
[[noreturn]] void expect_arg(const char* native, const char* arg, const cell* value) {
  cell fn = _context::add_global(symbol::make(native), false, false);
  cell a = _context::add_global(symbol::make(arg), false, false);
  cell type;
  datatype::make_at(&type, type_of(value));
  fire("script", "expect-arg", &fn, &type, &a);
}
}  // namespace

// ---- Running bodies ---------------------------------------------------------------------

loop_body::loop_body(u32 me) : me_(me), outside_(interpreter::position_ref), at_(UNSET) {
  native_stack::check();  // every pass runs at this machine-stack depth
  open_frame();
}

loop_body::~loop_body() { interpreter::position_ref = outside_; }

// The block frame the passes run in, pushed above the loop frame once for the loop (and
// again after an exception unwound it), so that a pass only resets the stack top.
void loop_body::open_frame() {
  stack::arguments = stack::base + stack::frames[me_].own_args;
  stack::top = stack::arguments;
  stack::push_frame(&words::word_body, stack::HEADER_BLOCK);
  args_ = stack::arguments;
}

u32 loop_body::caught(const thrown& t, cell* break_value) {
  if ((t.level != THROW_BREAK && t.level != THROW_CONTINUE) || interpreter::exit_target(t) != me_)
    throw;
  interpreter::position_ref = outside_;
  stack::unwind_frames(me_ + 1);
  stack::arguments = stack::base + stack::frames[me_].own_args;
  stack::top = stack::arguments;
  stack::close_guards();
  if (break_value) *break_value = t.value;
  open_frame();
  return t.level;
}

[[gnu::always_inline]] inline u32 loop_body::run(const cell* body, cell* break_value) {
  halt::check();  // a loop that makes no call still stops
  at_ = *body;
  stack::top = args_;  // every pass that ended normally left the block frame innermost
  try {
    // The pass is inlined here: a call into the evaluator per pass cost more than a small
    // body. The position is the body's only while it runs (a step's error is the loop's).
    interpreter::position_ref = &at_;
    interpreter::run_pass(&at_);
    interpreter::position_ref = outside_;
  } catch (thrown& t) {
    return caught(t, break_value);
  }
  if (pending) [[unlikely]] return pending_exit(break_value);
  return 0;
}

u32 loop_body::pending_exit(cell* break_value) {
  if (interpreter::pending_target == me_ && (pending == THROW_BREAK || pending == THROW_CONTINUE)) {
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

// ---- Iteration steps --------------------------------------------------------------------

bool series_left_q(const cell* s) {
  u32 t = type_of(s);
  if (t == TYPE_IMAGE) {
    return i64(series::index(s)) < image::pixel_count(s);
  }
  return series::index(s) < buffer_of(series::node(s))->used_units();
}

bool foreach_next(cell* record) {
  cell* s = record;
  if (!series_left_q(s)) return false;
  u32 t = type_of(s);
  if (t == TYPE_MAP) fire("script", "invalid-arg", record + 1);
  if (t == TYPE_IMAGE) {
    image::set_many(s, record + 1, 1);
  } else if (series::block_like_q(t)) {
    cell v = *cells::get(series::node(s), series::index(s));
    set_word(record + 1, &v);
  } else {
    cell v = pick_element(s, 1);
    set_word(record + 1, &v);
  }
  series::index(record)++;
  return true;
}

void set_words_from_series(const cell* words, const cell* series, u32 n) {
  cell w = *words, s = *series;
  collector::root_guard wg(&w), sg(&s);
  for (u32 i = 0; i < n; i++) {
    cell v = pick_element(&s, i32(i + 1));
    set_word(cells::get(series::node(&w), series::index(&w) + i), &v);
  }
}

bool foreach_next_block(cell* record, u32 n) {
  cell* s = record;
  bool set = false;
  if (n > 0 && series_left_q(s)) {
    u32 t = type_of(s);
    const cell* words = record + 1;
    if (t == TYPE_MAP) {
      if (n != 2) fire("script", "invalid-arg", words);
      set = map::set_many(s, words);
    } else if (t == TYPE_IMAGE) {
      image::set_many(s, words, n);
      set = true;
    } else {
      // Every word is checked before any is set.
      for (u32 i = 0; i < n; i++) {
        const cell* w = cells::get(series::node(words), series::index(words) + i);
        if (!word_kind(type_of(w))) fire("script", "invalid-arg", w);
      }
      if (series::block_like_q(t)) {
        // Unset! elements are allowed and elements past the tail give none!.
        for (u32 i = 0; i < n; i++) {
          u32 k = series::index(s) + i;
          cell v = k < cells::length(series::node(s)) ? *cells::get(series::node(s), k) : NONE;
          set_word(cells::get(series::node(words), series::index(words) + i), &v);
        }
      } else {
        set_words_from_series(words, s, n);
      }
      set = true;
    }
  }
  series::index(record) += n;
  return set;
}

void forall_set_word(cell* record, const cell* word) {
  u32 t = type_of(record);
  if (!series::series_q(t) && t != TYPE_MAP) expect_arg("forall", "word", record);
  set_word(word, record);
}

bool forall_next(const cell* record, const cell* word, bool advance) {
  cell w = *word;
  cell* v = _context::get(&w);
  if (!series::series_q(type_of(v)) || series::node(v) != series::node(record)) {
    cell bad = *v;
    fire("script", "bad-loop-series", &bad);
  }
  if (advance) series::index(v)++;
  return !series_left_q(v);
}

cell* forall_sync_index(cell* record, const cell* word) {
  cell w = *word;
  series::index(record) = series::index(_context::get(&w));
  return record;
}

void remove_each_step(cell* record, const cell* value, u32 n) {
  if (falsy(value)) return;
  cell* s = record;
  series::index(s) = series::index(s) >= n ? series::index(s) - n : 0;
  stack::guard g;
  cell* scratch = stack::push_slot();
  *scratch = UNSET;
  stack::arguments = scratch;
  cell part{TYPE_INTEGER, 0, n, 0};
  const cell* r = actions::lookup_for<slot::remove>(s)(s, n > 1 ? &part : nullptr, nullptr);
  if (series::series_q(type_of(r)) && series::node(r) == series::node(s))
    series::index(s) = series::index(r);
}

i32 count_arg_to_integer(cell* count) {
  i32 n = cell_::get_int_checked(count);
  *count = cell{TYPE_INTEGER, 0, u32(n), 0};
  return n;
}

void increment_counter(const cell* word) {
  cell w = *word;
  cell v = *_context::get(&w);
  integer::set(&v, integer::get(&v) + 1);
  _context::set(&w, &v);
}

cell* foreach_set_count(cell* record) {
  const cell* words = record + 1;
  u32 n = type_of(words) == TYPE_BLOCK ? cells::remaining(words) : 1;
  record[-1] = cell{TYPE_INTEGER, 0, n, 0};
  return record - 1;
}

// ---- The loop natives -------------------------------------------------------------------

namespace {

void while_entry(bool, const i32*) {
  cell cond = arguments[0], body = arguments[1];
  u32 me = push_loop_frame();
  loop_body run(me);
  for (;;) {
    // A condition such as `i < n` needs neither a frame nor a position: it cannot fail.
    cell quick;
    if (interpreter::simple_block_value_inline(&cond, &quick)) {
      if (!strict_true(&quick)) break;
    } else {
      u32 r = run.run(&cond, nullptr);
      if (r) fire("throw", "while-cond");
      if (pending) return leave_loop(me);
      if (!strict_true(stack::top - 1)) break;
    }
    u32 r = run.run(&body, nullptr);
    if (pending) return leave_loop(me);
    if (r == THROW_BREAK) break;
  }
  leave_loop(me);
  stack::set_last(UNSET);
}

void until_entry(bool, const i32*) {
  cell body = arguments[0];
  u32 me = push_loop_frame();
  loop_body run(me);
  cell result = UNSET;
  for (;;) {
    cell bv = UNSET;
    u32 r = run.run(&body, &bv);
    if (pending) return leave_loop(me);
    if (r == THROW_BREAK) { result = bv; break; }
    if (r == THROW_CONTINUE) continue;
    cell* v = stack::top - 1;
    if (strict_true(v)) { result = *v; break; }
  }
  leave_loop(me);
  stack::set_last(result);
}

// Runs `body` once per `step()` that answers true; the result is the last body value
// (unset! after a continue), the break value, or `initial` when no iteration ran.
// `after(value)` runs after each body that ended normally.
template <class Step, class After>
void iterate(const cell& body_in, cell initial, Step step, After after) {
  cell body = body_in;
  u32 me = push_loop_frame();
  loop_body run(me);
  cell result = initial;
  // What the last pass left: the result is read once the loop ends, not on every pass.
  enum { NONE_RAN, VALUE, CONTINUED } last = NONE_RAN;
  cell bv;
  while (step()) {
    u32 r = run.run(&body, &bv);
    if (pending) [[unlikely]] return leave_loop(me);
    if (r) [[unlikely]] {
      if (r == THROW_BREAK) {
        result = bv;
        last = NONE_RAN;
        break;
      }
      last = CONTINUED;
      continue;
    }
    last = VALUE;
    if (!after(*(stack::top - 1))) break;
  }
  if (last == VALUE) result = *(stack::top - 1);
  else if (last == CONTINUED) result = UNSET;
  leave_loop(me);
  stack::set_last(result);
}
inline bool no_after(const cell&) { return true; }

void loop_entry(bool, const i32*) {
  i32 n = count_arg_to_integer(arguments);
  if (n < 1) return stack::set_last(NONE);
  i32 left = n;
  iterate(arguments[1], UNSET, [&] { return left-- > 0; }, no_after);
}

void repeat_entry(bool, const i32*) {
  i32 n = count_arg_to_integer(arguments + 1);
  if (n < 1) return stack::set_last(NONE);
  // The word keeps its own binding: the counter is not local to the loop.
  cell* word = arguments;
  i32 i = 0;
  iterate(arguments[2], UNSET,
          [&] {
            if (i >= n) return false;
            cell counter{TYPE_INTEGER, 0, u32(++i), 0};
            set_word(word, &counter);
            return true;
          },
          no_after);
}

void forever_entry(bool, const i32*) {
  iterate(arguments[0], UNSET, [] { return true; }, no_after);
}

// Pushes the iteration record (series, words) and answers it.
cell* push_record(const cell* series, const cell* words) {
  cell* rec = stack::push_slot();
  *rec = *series;
  *stack::push_slot() = *words;
  return rec;
}

void foreach_entry(bool, const i32*) {
  cell* rec = push_record(arguments + 1, arguments);
  if (type_of(rec + 1) == TYPE_BLOCK) {
    u32 n = cells::remaining(rec + 1);
    if (n < 1) fire("script", "invalid-arg", rec + 1);
    iterate(arguments[2], UNSET, [&] { return foreach_next_block(rec, n); }, no_after);
  } else if (series::block_like_q(type_of(rec))) {
    // The commonest walk, foreach_next's block case inlined: one word over a block's cells.
    iterate(arguments[2], UNSET,
            [&] {
              u32 node = series::node(rec), i = series::index(rec);
              if (i >= cells::length(node)) return false;
              cell v = *cells::get(node, i);
              set_word(rec + 1, &v);
              series::index(rec)++;
              return true;
            },
            no_after);
  } else {
    if (type_of(rec) == TYPE_MAP) fire("script", "invalid-arg", rec + 1);
    iterate(arguments[2], UNSET, [&] { return foreach_next(rec); }, no_after);
  }
}

void forall_entry(bool, const i32*) {
  cell word = arguments[0];
  cell* rec = push_record(_context::get(&word), &word);
  u32 t = type_of(rec);
  if (!series::series_q(t)) expect_arg("forall", "word", rec);
  bool first = true;
  iterate(arguments[1], UNSET,
          [&] {
            if (first) {
              first = false;
              return series_left_q(rec);
            }
            return !forall_next(rec, &word, true);
          },
          no_after);
  // A break or continue still moves on in place for the next call of the step; the word
  // goes back to where the loop started.
  cell result = *arguments;
  set_word(&word, rec);
  stack::set_last(result);
}

void remove_each_entry(bool, const i32*) {
  cell* count = stack::push_slot();
  cell* rec = push_record(arguments + 1, arguments);
  u32 n = u32(integer::get(foreach_set_count(rec)));
  bool block = type_of(rec + 1) == TYPE_BLOCK;
  if (!block && type_of(rec) == TYPE_MAP) fire("script", "invalid-arg", rec + 1);
  (void)count;
  cell data = arguments[1];
  iterate(arguments[2], UNSET,
          [&] { return block ? foreach_next_block(rec, n) : foreach_next(rec); },
          [&](const cell& v) {
            remove_each_step(rec, &v, n);
            return true;
          });
  stack::set_last(data);
}

}  // namespace

void install_loops() {
  install(id::while_, while_entry);
  install(id::until, until_entry);
  install(id::loop, loop_entry);
  install(id::repeat, repeat_entry);
  install(id::forever, forever_entry);
  install(id::foreach, foreach_entry);
  install(id::forall, forall_entry);
  install(id::remove_each, remove_each_entry);
}

}  // namespace vyr::natives
