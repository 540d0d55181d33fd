// Path walking: the head word's value, then each element applied through its type's
// eval-path entry; a set-path writes its new value at the end and stores changed scalars
// back where they were read from. A function reached on the way is called through
// call_function with the path's remaining elements as refinements.
#include "runtime/interpreter/interpreter_inline.h"

#include "runtime/collector.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/series.h"

namespace vyr::interpreter {
using namespace internal;

// ---- Paths -------------------------------------------------------------------------------

namespace {
// Leaves a frame that attached no context, putting the data-stack top at `at`.
void leave_to(cell* at) {
  u32 saved = stack::frames[stack::frame_top - 1].saved_args;
  stack::unwind_frames(stack::frame_top - 1);
  stack::arguments = stack::base + saved;
  stack::top = at;
}

u32 finish(cell* at, u32 pos, bool push) {
  if (!push && !exit_pending()) {
    stack::set_last(*at);
  }
  return pos;
}

// Stores a scalar whose field a set-path changed back where the walk read it from. The
// walk of a set-path keeps, for each element after the head, the value the element was
// applied to and the element itself: chain[2i] and chain[2i + 1] for step i. Step `i`'s
// value has just been changed in place. Each holder before it is sent the changed value
// as a set through its own eval-path, so an object tells its on-change* handler and an
// owned series its owner exactly as for a set-path that names the field. A holder that is
// itself a scalar answers with its own cell, changed in turn, and the write goes one
// step further back; when it reaches the head, the head word is set.
void write_back(cell* path, cell* head, cell* chain, u32 first, u32 i) {
  while (i > 0) {
    u32 j = i - 1;
    cell* holder = &chain[2 * j];
    auto f = reinterpret_cast<eval_path_fn>(datatype::entry(type_of(holder), slot::eval_path));
    path_args walk;
    walk.path = path;
    walk.position = i32(first + j);
    walk.grandparent = j > 0 ? &chain[2 * (j - 1)] : nullptr;
    walk.owner_flag = j > 0;
    if (f(holder, &chain[2 * j + 1], &chain[2 * i], walk) != holder) return;
    i = j;
  }
  _context::set(head, &chain[0]);
}
}  // namespace

u32 eval_path(const cell* path_in, u32 node, u32 pos, u32 tail, bool set, bool get_only,
              bool push) {
  cell path = *path_in;
  collector::root_guard pg(&path);
  // The result replaces the new value of a set-path, else it is pushed at `at`.
  cell* at = set ? stack::top - 1 : stack::top;
  u32 pnode = series::node(&path);
  u32 len = cells::length(pnode);
  if (series::index(&path) >= len) fire("script", "empty-path");
  cell head = *cells::get(pnode, series::index(&path));
  // While tracing the walk is reported like a block's: enter, a fetch per element, and
  // exit with the value it reached (the function, when it reaches one to call).
  if (tracing) [[unlikely]] {
    trace_block(trace::EV_ENTER, &path, series::index(&path), nullptr);
    trace_block(trace::EV_FETCH, &path, series::index(&path), &head);
  }
  if (type_of(&head) != TYPE_WORD) fire("script", "word-first", &path);
  const cell* hv = _context::get(&head);
  if (type_of(hv) == TYPE_UNSET) fire("script", "unset-path", &path, &head);
  cell cur = *hv;
  if (callable(type_of(&cur))) {
    if (set) fire("script", "invalid-path-set", &path);
    if (get_only) fire("script", "invalid-path-get", &path);
    stack::top = at;
    if (tracing) [[unlikely]] trace_block(trace::EV_EXIT, &path, series::index(&path) + 1, &cur);
    pos = call_function(&cur, node, pos, tail, &head, &path, series::index(&path) + 1, false);
    return finish(at, pos, push);
  }
  // The walk runs in a frame of its own: [0] scratch result slot for the implementations,
  // [1] the current value, [2] the element, [3] the value before the current one.
  stack::push_frame_sym(anon_symbol(), 0, stack::HEADER_INTERP_NATIVE);
  cell* w = stack::push_slot();
  stack::push_slot();
  stack::push_slot();
  stack::push_slot();
  w[0] = cell{TYPE_NONE, 0, 0, 0};
  w[1] = cur;
  w[3] = cell{TYPE_NONE, 0, 0, 0};
  u32 first = series::index(&path) + 1;
  cell* chain = set && len > first ? stack::push_slot() : nullptr;  // see write_back
  if (chain)
    for (u32 i = 1; i < 2 * u64(len - first); i++) stack::push_slot();
  for (u32 k = first; k < len; k++) {
    cell e = *cells::get(pnode, k);
    if (tracing) [[unlikely]] trace_block(trace::EV_FETCH, &path, k, &e);
    if (type_of(&e) == TYPE_GET_WORD) {
      e = *_context::get(&e);
    } else if (type_of(&e) == TYPE_PAREN) {
      stack::push_frame_sym(body_symbol(), 0, stack::HEADER_INTERP_NATIVE);
      eval_block(&e, true);
      stack::leave();
      raise_pending();
      e = *(stack::top - 1);
      stack::top--;
    }
    if (type_of(&e) == TYPE_UNSET) fire("script", "invalid-path", &path, &e);
    w[2] = e;
    bool last = k + 1 == len;
    auto f = reinterpret_cast<eval_path_fn>(datatype::entry(type_of(&w[1]), slot::eval_path));
    if (!f) {
      // "<previous> returned a <type> value, so <path> could not be accessed"
      cell dt;
      datatype::make_at(&dt, type_of(&w[1]));
      cell prev = *cells::get(pnode, k - 1);
      fire("script", "bad-path-type", &path, &dt, &prev);
    }
    path_args walk;
    walk.path = &path;
    walk.position = i32(k);
    walk.grandparent = k > series::index(&path) + 1 ? &w[3] : nullptr;
    walk.owner_flag = set && last && k >= series::index(&path) + 2;
    walk.get_only = get_only;
    cell parent = w[1];
    if (chain) {
      chain[2 * (k - first)] = w[1];
      chain[2 * (k - first) + 1] = e;
    }
    const cell* r = f(&w[1], &w[2], set && last ? at : nullptr, walk);
    // An eval-path that changed a field of an immediate value answers the parent's own
    // cell: the changed value goes back to where the parent was read from.
    if (set && last && r == &w[1]) {
      chain[2 * (k - first)] = w[1];
      write_back(&path, &head, chain, first, k - first);
    }
    cell next = *r;
    w[3] = parent;
    w[1] = next;
    if (!set && !get_only && callable(type_of(&next))) {
      leave_to(at);
      if (tracing) [[unlikely]] trace_block(trace::EV_EXIT, &path, k + 1, &next);
      pos = call_function(&next, node, pos, tail, &e, last ? nullptr : &path, k + 1, false);
      return finish(at, pos, push);
    }
  }
  cell result = set ? *at : w[1];
  collector::root_guard rg(&result);
  leave_to(at);
  if (tracing) [[unlikely]] {
    trace_block(trace::EV_EXIT, &path, len, &result);
    // A path read in a block pushes its value as a word's value is pushed.
    if (push && !set && !get_only && pos > 0) trace_push(node, pos - 1, &result);
  }
  *stack::push_slot() = result;
  return finish(at, pos, push);
}

}  // namespace vyr::interpreter
