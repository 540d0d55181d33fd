// Tracing of evaluation: the event words, the callback protocol and the do/trace session.
#include "runtime/interpreter/trace.h"

#include "runtime/collector.h"
#include "runtime/datatypes/function.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/word.h"
#include "runtime/datatypes/series.h"
#include "runtime/fire.h"
#include "runtime/datatypes/cells.h"
#include "runtime/interpreter/interpreter.h"
#include "runtime/stack.h"

namespace vyr::trace {

bool active = false;
u32 mask = 0;
bool switched_off = false;
bool resume_pending = false;

namespace {
cell callback{TYPE_NONE, 0, 0, 0};
// Set while the callback runs: events it would cause are not reported (a callback flagged
// `trace` would otherwise report its own evaluation to itself without end).
bool in_callback = false;

constexpr u32 EVENT_COUNT = 16;
const char* const event_names[EVENT_COUNT] = {
    "init", "end", "prolog", "epilog", "enter", "exit", "open", "return",
    "fetch", "push", "set", "call", "error", "throw", "catch", "expr"};
cell event_words[EVENT_COUNT];

u32 bit_index(u32 bit) { return static_cast<u32>(__builtin_ctz(bit)); }

error_builder_fn untraced_builder = nullptr;

// Errors are reported as they are built, before they travel to their catcher.
void traced_build(const char* category, const char* id, const cell* args, int argc, cell* out) {
  untraced_builder(category, id, args, argc, out);
  if (interpreter::tracing && !in_callback && (mask & EV_ERROR)) {
    collector::root_guard g(out);
    event(EV_ERROR, nullptr, 0, nullptr, out);
  }
}

void mark_words() {
  collector::mark_values(event_words, event_words + EVENT_COUNT);
}
}  // namespace

u32 mask_of(const cell* fn) {
  if (type_of(fn) != TYPE_FUNCTION) return DEFAULT_MASK;
  const cell* body = cells::get(function::more(fn), function::MORE_BODY);
  if (type_of(body) != TYPE_BLOCK || cells::remaining(body) == 0) return DEFAULT_MASK;
  const cell* first = cells::get(series::node(body), series::index(body));
  if (type_of(first) != TYPE_BLOCK) return DEFAULT_MASK;
  u32 m = 0;
  for (u32 i = series::index(first), n = cells::length(series::node(first)); i < n; i++) {
    const cell* w = cells::get(series::node(first), i);
    if (type_of(w) != TYPE_WORD) continue;
    u32 s = symbol::resolve(word::symbol_id(w));
    for (u32 k = 0; k < EVENT_COUNT; k++)
      if (symbol::resolve(word::symbol_id(&event_words[k])) == s) m |= 1u << k;
  }
  return m;
}

void event(u32 bit, const cell* code, u32 pos, const cell* ref, const cell* value) {
  if (!(mask & bit) || in_callback) return;
  cell* saved_args = stack::arguments;
  cell* saved_top = stack::top;
  // The cell at the top may hold a value the evaluator still reads: keep it.
  stack::keep_top();
  cell* a = stack::top;
  for (u32 i = 0; i < 6; i++) *stack::push_slot() = cell{TYPE_NONE, 0, 0, 0};
  a[0] = event_words[bit_index(bit)];
  if (code) {
    a[1] = *code;
    u32 len = cells::length(series::node(code));
    i32 offset = pos >= series::index(code) && pos <= len ? i32(pos - series::index(code)) : -1;
    a[2] = cell{TYPE_INTEGER, 0, static_cast<u32>(offset), 0};
  } else {
    a[2] = cell{TYPE_INTEGER, 0, static_cast<u32>(-1), 0};
  }
  if (value) a[3] = *value;
  if (ref) a[4] = *ref;
  a[5] = cell{TYPE_PAIR, 0, static_cast<u32>(saved_args - stack::base),
              static_cast<u32>(saved_top - stack::base)};
  // A pending exit belongs to the traced evaluation; the callback must not see it.
  u32 pending = interpreter::pending, target = interpreter::pending_target;
  cell pending_value = interpreter::pending_value;
  collector::root_guard pg(&pending_value);
  interpreter::pending = 0;
  cell fn = callback;
  collector::root_guard fg(&fn);
  cell result;
  in_callback = true;
  interpreter::tracing = false;
  try {
    interpreter::call(&fn, a, 6, &result);
  } catch (...) {
    // An error or throw out of the callback leaves tracing off.
    in_callback = false;
    throw;
  }
  in_callback = false;
  interpreter::tracing = !switched_off;
  interpreter::pending = pending;
  interpreter::pending_target = target;
  interpreter::pending_value = pending_value;
  stack::arguments = saved_args;
  stack::top = saved_top;
}

session::session(const cell* cb) : saved_tracing_(interpreter::tracing) {
  if (active) return;
  installed_ = true;
  callback = *cb;
  mask = mask_of(cb);
  active = true;
  switched_off = false;
  resume_pending = false;
  interpreter::tracing = true;
}

void session::start() {
  if (installed_) event(EV_INIT, nullptr, 0, nullptr, nullptr);
}

void session::finish() {
  if (installed_ && interpreter::tracing) event(EV_END, nullptr, 0, nullptr, nullptr);
}

session::~session() {
  if (installed_) {
    callback = cell{TYPE_NONE, 0, 0, 0};
    active = false;
    mask = 0;
    switched_off = false;
    resume_pending = false;
  }
  interpreter::tracing = saved_tracing_;
}

void function_body(const cell& fn_in, void (*run)(const cell&, u32, u32), u32 me, u32 slots) {
  cell fn = fn_in;
  collector::root_guard g(&fn);
  struct restore {
    bool saved = interpreter::tracing;
    ~restore() { interpreter::tracing = saved && !switched_off; }
  } r;
  if (fn.header & function::FLAG_NO_TRACE) interpreter::tracing = false;
  else if (fn.header & function::FLAG_TRACE) interpreter::tracing = active && !switched_off;
  if (interpreter::tracing) event(EV_PROLOG, nullptr, 0, &fn, nullptr);
  run(fn, me, slots);
  if (interpreter::tracing) {
    cell result = *stack::arguments;
    event(EV_EPILOG, nullptr, 0, &fn, &result);
  }
}

void switch_delivery(bool on) {
  if (!active) return;
  switched_off = !on;
  if (!on) {
    resume_pending = false;
    interpreter::tracing = false;
  } else if (stack::frame_mask == ~0u) {
    interpreter::tracing = true;  // called from user code: nothing quiet lies between
  } else {
    resume_pending = true;
  }
}

void init() {
  static bool done = false;
  if (done) return;
  done = true;
  for (u32 i = 0; i < EVENT_COUNT; i++) event_words[i] = word::intern(event_names[i]);
  collector::register_callback(mark_words);
  collector::add_root(&callback);
  if (error_builder && error_builder != traced_build) {
    untraced_builder = error_builder;
    error_builder = traced_build;
  }
}

}  // namespace vyr::trace
