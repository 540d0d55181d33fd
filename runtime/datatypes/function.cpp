// function! and routine!: argument block checking, local collection, construction, actions,
// registration, and the registry of routine code.
#include "runtime/datatypes/function.h"

#include <cstring>
#include <deque>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "runtime/collector.h"
#include "runtime/cycles.h"
#include "runtime/datatypes/context.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/word.h"
#include "runtime/fire.h"
#include "runtime/datatypes/actions.h"
#include "runtime/datatypes/cells.h"
#include "runtime/stack.h"
#include "runtime/word_tables.h"

namespace vyr::function {

namespace {
bool is_local(const cell* c) {
  return type_of(c) == TYPE_REFINEMENT && symbol::same_q(c->data2, words::ref_local.data2);
}
bool is_extern(const cell* c) {
  return type_of(c) == TYPE_REFINEMENT && symbol::same_q(c->data2, words::ref_extern.data2);
}
bool argument_kind(u32 t) { return t == TYPE_WORD || t == TYPE_LIT_WORD || t == TYPE_GET_WORD; }

[[noreturn]] void bad_def(const cell* spec) {
  cell s = *spec;
  fire("script", "bad-func-def", &s);
}

void check_type_block(const cell* block) {
  u32 node = block->data2;
  for (u32 i = block->data1; i < cells::length(node); i++) {
    cell item = *cells::get(node, i);
    u32 t = type_of(&item);
    if (t == TYPE_DATATYPE || t == TYPE_TYPESET) continue;
    if (t == TYPE_WORD) {
      const cell* v = word::value_checked(&item);
      u32 vt = type_of(v);
      if (vt == TYPE_DATATYPE || vt == TYPE_TYPESET || vt == TYPE_WORD) continue;
    }
    fire("script", "invalid-type-spec", &item);
  }
}

// A deep copy of a block-like value's cells from its head (blocks, parens and paths).
// A block that holds itself ends in internal too-deep, as the series copy does.
u32 deep_copy(u32 node, u32 from) {
  cycles::guard depth(node);
  u32 n = cells::length(node);
  u32 count = from < n ? n - from : 0;
  u32 copy = memory::alloc_cells(count ? count : 1);
  collector::node_guard cg(&copy);
  // A copy of a library body is the library's too (tracing stays out of it).
  series_buffer* cb = buffer_of(copy);
  cb->flags |= buffer_of(node)->flags & SERIES_LIBRARY;
  // The cells in one move: nothing allocates between here and the tail's update.
  std::memcpy(cb->cells(), cells::get(node, from), u64{count} * sizeof(cell));
  cb->tail = cb->offset + count * u32(sizeof(cell));
  for (u32 i = 0; i < count; i++) {
    cell c = *cells::get(copy, i);
    if (type_of(&c) != TYPE_HASH && cells::block_like_q(type_of(&c))) {
      u32 inner = deep_copy(c.data2, c.data1);
      cell* slot = cells::at(copy, i);
      slot->data2 = inner;
      slot->data1 = 0;
    }
  }
  return copy;
}
}  // namespace

u32 validate_spec(const cell* spec_in) {
  cell spec = *spec_in;
  collector::root_guard g(&spec);
  u32 node = spec.data2;
  u32 n = cells::length(node);
  u32 i = spec.data1;
  u32 flags = 0;
  if (i < n && type_of(cells::get(node, i)) == TYPE_BLOCK) {
    cell attrs = *cells::get(node, i);
    for (u32 k = attrs.data1; k < cells::length(attrs.data2); k++) {
      const cell* a = cells::get(attrs.data2, k);
      if (type_of(a) != TYPE_WORD) bad_def(&spec);
      if (symbol::same_q(a->data2, words::sym_trace)) flags |= FLAG_TRACE;
      else if (symbol::same_q(a->data2, words::sym_no_trace)) flags |= FLAG_NO_TRACE;
    }
    i++;
  }
  bool return_seen = false, local_seen = false;
  u32 first = i;
  for (; i < n; i++) {
    cell c = *cells::get(node, i);
    u32 t = type_of(&c);
    if (argument_kind(t)) {
      if (local_seen && t != TYPE_WORD) bad_def(&spec);
      if (return_seen && !local_seen) bad_def(&spec);
      if (i + 2 < n && type_of(cells::get(node, i + 1)) == TYPE_STRING &&
          type_of(cells::get(node, i + 2)) == TYPE_BLOCK)
        bad_def(&spec);
      if (i + 1 < n && type_of(cells::get(node, i + 1)) == TYPE_BLOCK) {
        cell types = *cells::get(node, i + 1);
        check_type_block(&types);
        i++;
      }
    } else if (t == TYPE_STRING) {
      continue;
    } else if (t == TYPE_SET_WORD) {
      if (!symbol::same_q(c.data2, words::sym_return) || return_seen || local_seen) bad_def(&spec);
      return_seen = true;
      if (i + 1 >= n || type_of(cells::get(node, i + 1)) != TYPE_BLOCK) bad_def(&spec);
      cell types = *cells::get(node, i + 1);
      check_type_block(&types);
      i++;
      if (i + 1 < n) {
        u32 after = type_of(cells::get(node, i + 1));
        if (after != TYPE_REFINEMENT && after != TYPE_STRING) bad_def(&spec);
      }
    } else if (t == TYPE_REFINEMENT) {
      if (symbol::same_q(c.data2, words::ref_local.data2)) {
        local_seen = true;
      } else if (local_seen || return_seen) {
        bad_def(&spec);
      }
      if (i + 1 < n) {
        u32 after = type_of(cells::get(node, i + 1));
        if (!argument_kind(after) && after != TYPE_REFINEMENT && after != TYPE_SET_WORD &&
            after != TYPE_STRING)
          bad_def(&spec);
      }
    } else {
      bad_def(&spec);
    }
  }
  // No two names may resolve to the same symbol.
  for (u32 a = first; a < n; a++) {
    const cell* x = cells::get(node, a);
    if (!argument_kind(type_of(x)) && type_of(x) != TYPE_REFINEMENT) continue;
    for (u32 b = first; b < a; b++) {
      const cell* y = cells::get(node, b);
      if (!argument_kind(type_of(y)) && type_of(y) != TYPE_REFINEMENT) continue;
      if (symbol::same_q(x->data2, y->data2)) {
        cell later = *x;
        fire("script", "dup-vars", &later);
      }
    }
  }
  return flags;
}

void collect_locals(const cell* spec_in, const cell* body_in, cell* out) {
  cell spec = *spec_in, body = *body_in;
  collector::root_guard g1(&spec), g2(&body);
  // Work on a copy of the argument block from its head.
  cell fresh{TYPE_BLOCK, 0, deep_copy(spec.data2, spec.data1), 0};
  collector::root_guard g3(&fresh);
  std::vector<u32> ignore;     // canonical symbols not to collect
  std::vector<u32> collected;  // symbols (as written) to add
  u32 n = cells::length(fresh.data2);
  i32 extern_at = -1;
  for (u32 i = 0; i < n; i++)
    if (is_extern(cells::get(fresh.data2, i))) { extern_at = i32(i); break; }
  u32 end = extern_at >= 0 ? u32(extern_at) : n;
  for (u32 i = 0; i < n; i++) {
    const cell* c = cells::get(fresh.data2, i);
    u32 t = type_of(c);
    if (argument_kind(t) || t == TYPE_SET_WORD || t == TYPE_REFINEMENT) {
      ignore.push_back(symbol::resolve(c->data2));
    } else if (extern_at >= 0 && t != TYPE_BLOCK && t != TYPE_STRING) {
      cell v = *c;
      fire("script", "bad-func-extern", &v);
    }
  }
  if (extern_at >= 0) {
    // Words after /extern are ignored; a /local after them contributes its words.
    bool in_local = false;
    for (u32 i = end + 1; i < n; i++) {
      const cell* c = cells::get(fresh.data2, i);
      if (is_local(c)) { in_local = true; continue; }
      if (in_local && type_of(c) == TYPE_WORD) collected.push_back(c->data2);
    }
    buffer_of(fresh.data2)->tail = buffer_of(fresh.data2)->offset + end * sizeof(cell);
  }
  auto take = [&](u32 sym) {
    u32 canon = symbol::resolve(sym);
    for (u32 s : ignore)
      if (s == canon) return;
    ignore.push_back(canon);
    collected.push_back(sym);
  };
  // Deep walk of the body: set-words, and the words of foreach, remove-each and repeat.
  std::vector<std::pair<u32, u32>> todo{{body.data2, body.data1}};
  u32 guard_count = 0;
  while (!todo.empty() && guard_count++ < 100000) {
    auto [node, from] = todo.back();
    todo.pop_back();
    for (u32 i = from, len = cells::length(node); i < len; i++) {
      const cell* c = cells::get(node, i);
      u32 t = type_of(c);
      if (t == TYPE_SET_WORD) {
        take(c->data2);
      } else if (t == TYPE_BLOCK || t == TYPE_PAREN) {
        todo.push_back({c->data2, c->data1});
      } else if (t == TYPE_WORD && i + 1 < len) {
        u32 s = symbol::resolve(c->data2);
        bool each = s == symbol::resolve(words::sym_foreach) ||
                    s == symbol::resolve(words::sym_remove_each);
        bool rep = s == symbol::resolve(words::sym_repeat);
        if (!each && !rep) continue;
        const cell* next = cells::get(node, i + 1);
        u32 nt = type_of(next);
        if (nt == TYPE_WORD || nt == TYPE_SET_WORD) {
          take(next->data2);
          i++;
        } else if (each && nt == TYPE_BLOCK) {
          for (u32 k = next->data1; k < cells::length(next->data2); k++) {
            const cell* w = cells::get(next->data2, k);
            if (argument_kind(type_of(w))) take(w->data2);
          }
          i++;
        }
      }
    }
  }
  // `local` itself is never made a local.
  std::vector<u32> keep;
  for (u32 s : collected)
    if (!symbol::same_q(s, words::word_local.data2)) keep.push_back(s);
  if (!keep.empty()) {
    bool has_local = false;
    for (u32 i = 0; i < cells::length(fresh.data2); i++)
      if (is_local(cells::get(fresh.data2, i))) has_local = true;
    if (!has_local) cells::append(fresh.data2, &words::ref_local);
    for (u32 s : keep) {
      cell w;
      word::make_at(s, &w);
      cells::append(fresh.data2, &w);
    }
  }
  *out = fresh;
}

i32 count_locals(u32 spec_node, u32 start, bool must_exist) {
  u32 n = cells::length(spec_node);
  for (u32 i = start; i < n; i++) {
    if (!is_local(cells::get(spec_node, i))) continue;
    i32 count = 1;
    for (u32 k = i + 1; k < n; k++)
      if (type_of(cells::get(spec_node, k)) == TYPE_WORD) count++;
    return count;
  }
  return must_exist ? -1 : 0;
}

void init_locals(u32 n) {
  if (n == 0) return;
  *stack::push_slot() = cell{TYPE_LOGIC, 0, 0, 0};
  for (u32 i = 1; i < n; i++) *stack::push_slot() = cell{TYPE_NONE, 0, 0, 0};
}

u32 push(const cell* spec_in, const cell* body_in, u32 ctx, u32 code, u32 code2, u32 flags) {
  cell spec = *spec_in;
  cell body = body_in ? *body_in : cell{TYPE_NONE, 0, 0, 0};
  collector::root_guard g1(&spec), g2(&body);
  collector::node_guard cg(&ctx);
  if (spec.data1 > 0) {
    spec.data2 = deep_copy(spec.data2, spec.data1);
    spec.data1 = 0;
  }
  bool bind = false;
  if (!ctx) {
    ctx = _context::make_from_spec(&spec, true, false, _context::KIND_FUNCTION);
    bind = type_of(&body) != TYPE_NONE;
  }
  u32 more = memory::alloc_cells(5);
  collector::node_guard mg(&more);
  cell body_copy{TYPE_NONE, 0, 0, 0};
  series_buffer* bb = cells::block_like_q(type_of(&body)) ? buffer_of(body.data2) : nullptr;
  if (bb && type_of(&body) == TYPE_BLOCK && body.data1 == 0 && (bb->flags & SERIES_BODY_ONCE)) {
    // A body literal of the environment that nothing else can reach and nothing evaluates
    // again: the copy would be indistinguishable from it. Taken once only.
    bb->flags &= ~SERIES_BODY_ONCE;
    body_copy = body;
  } else if (bb) {
    body_copy = cell{type_of(&body), 0, deep_copy(body.data2, body.data1), 0};
  } else if (type_of(&body) != TYPE_NONE) {
    body_copy = body;
  }
  series_buffer* b = buffer_of(more);
  b->tail = b->offset + 5 * sizeof(cell);
  cell* m = b->cells();
  m[MORE_BODY] = body_copy;
  m[MORE_CACHE] = cell{TYPE_UNSET, 0, 0, 0};
  m[MORE_CODE] = code ? cell{TYPE_INTEGER, 0, code, 0} : cell{TYPE_UNSET, 0, 0, 0};
  m[MORE_OP] = cell{TYPE_UNSET, 0, 0, 0};
  m[MORE_CODE2] = code2 ? cell{TYPE_INTEGER, 0, code2, 0} : cell{TYPE_UNSET, 0, 0, 0};
  cell fn{TYPE_FUNCTION | flags, ctx, spec.data2, more};
  *_context::owner_cell(ctx) = fn;
  *stack::push_slot() = fn;
  if (bind && cells::block_like_q(type_of(&body_copy))) _context::bind(&body_copy, ctx, false);
  return ctx;
}

// ---- Actions ------------------------------------------------------------------------------

const cell* make(const cell* proto, const cell* spec_in, u32 type) {
  cell v = *spec_in;
  collector::root_guard g(&v);
  if (type_of(&v) != TYPE_BLOCK || cells::remaining(&v) < 2) bad_def(&v);
  cell spec = *cells::get(v.data2, v.data1);
  cell body = *cells::get(v.data2, v.data1 + 1);
  if (type_of(&spec) != TYPE_BLOCK || type_of(&body) != TYPE_BLOCK) bad_def(&v);
  collector::root_guard g2(&spec), g3(&body);
  u32 flags = validate_spec(&spec);
  stack::guard sg;
  push(&spec, &body, 0, 0, 0, flags);
  cell fn = *(stack::top - 1);
  *stack::arguments = fn;
  return stack::arguments;
}

const cell* reflect(const cell* value, u32 field) {
  cell v = *value;
  collector::root_guard g(&v);
  u32 f = symbol::resolve(field);
  if (f == symbol::resolve(words::sym_spec)) {
    *stack::arguments = cell{TYPE_BLOCK, 0, v.data2, 0};
    return stack::arguments;
  }
  if (f == symbol::resolve(words::sym_body)) {
    *stack::arguments = *cells::get(v.data3, MORE_BODY);
    return stack::arguments;
  }
  if (f == symbol::resolve(words::sym_words)) {
    u32 ctx = v.data1;
    u32 n = _context::word_count(ctx);
    cell out;
    cells::make_block(&out, n);
    collector::root_guard og(&out);
    for (u32 i = 0; i < n; i++) {
      cell w = *_context::word_at(ctx, i);
      w.header = (w.header & ~HEADER_TYPE_MASK) | type_of(&w);
      w.data1 = ctx;
      w.data3 = i;
      cells::append(out.data2, &w);
    }
    *stack::arguments = out;
    return stack::arguments;
  }
  fire("internal", "not-done");
}

i32 form(const cell* value, cell* out, const cell* part, i32 budget) {
  return datatype::append_text(out, "?function?", budget);
}

i32 mold(const cell* value, cell* out, bool only, bool all, bool flat, const cell* part,
         i32 budget, i32 indent) {
  cell v = *value;
  collector::root_guard g(&v);
  budget = datatype::append_text(out, "func ", budget);
  cell spec{TYPE_BLOCK, 0, v.data2, 0};
  budget = actions::mold(&spec, out, false, all, flat, part, budget, indent);
  cell body = *cells::get(v.data3, MORE_BODY);
  if (type_of(&body) == TYPE_NONE) return datatype::append_text(out, " none", budget);
  collector::root_guard bg(&body);
  return actions::mold(&body, out, false, all, flat, part, budget, indent);
}

i32 compare(const cell* a, const cell* b, i32 op) {
  if (type_of(b) != type_of(a)) return COMPARE_NOT_COMPARABLE;
  switch (op) {
    case compare_op::EQUAL: case compare_op::NOT_EQUAL: case compare_op::STRICT_EQUAL:
    case compare_op::SORT: case compare_op::CASE_SORT: case compare_op::SAME:
    case compare_op::FIND:
      return a->data3 < b->data3 ? -1 : a->data3 > b->data3 ? 1 : 0;
    default:
      return COMPARE_NOT_COMPARABLE;
  }
}

void init() {
  action_row row;
  row.make = make;
  row.reflect = reflect;
  row.form = form;
  row.mold = mold;
  row.compare = compare;
  datatype::register_(TYPE_FUNCTION, TYPE_CONTEXT, "function!", row);
}

}  // namespace vyr::function

namespace vyr::routine {

namespace {
// A deque: its names never move, so the index below can point at them.
std::deque<std::string>& registry() {
  static std::deque<std::string> r;
  return r;
}
// Name to registry index (1-based); the first registration of a name wins, as a scan in
// order would find it. Start-up looks up every routine it makes, some hundreds.
std::unordered_map<std::string_view, u32>& index() {
  static std::unordered_map<std::string_view, u32> m;
  return m;
}
// The code of each index (1-based, as the names) in one flat array: every routine call
// reads it, and a deque's element look-up cost a call more than a predicate's code does.
std::vector<code_fn> codes;
}  // namespace

u32 register_(const char* name, code_fn f) {
  registry().push_back(name);
  codes.push_back(f);
  u32 n = static_cast<u32>(registry().size());
  index().emplace(std::string_view(registry().back()), n);
  return n;
}

u32 find(const char* name) {
  auto it = index().find(std::string_view(name));
  return it == index().end() ? 0 : it->second;
}

code_fn code(u32 index) { return index - 1 < codes.size() ? codes[index - 1] : nullptr; }
const char* name_of(u32 index) {
  return index >= 1 && index <= registry().size() ? registry()[index - 1].c_str() : "";
}

cell* push(const cell* spec_in, const cell* body, u32 code_index, u32 result_type, bool direct) {
  cell spec = *spec_in;
  u32 arity = 0;
  for (u32 i = spec.data1; i < cells::length(spec.data2); i++) {
    u32 t = type_of(cells::get(spec.data2, i));
    if (t == TYPE_WORD) arity++;
    if (t == TYPE_REFINEMENT || t == TYPE_SET_WORD) break;
  }
  // The count has five bits: a larger one would spill into the new-line marker.
  if (arity > MAX_ARITY) fire("script", "bad-func-def", &spec);
  function::push(&spec, body, 0, code_index, result_type, direct ? FLAG_DIRECT : 0);
  cell* r = stack::top - 1;
  r->header = (r->header & ~(HEADER_TYPE_MASK | (0x1Fu << ARITY_SHIFT))) | TYPE_ROUTINE |
              (arity << ARITY_SHIFT);
  *_context::owner_cell(r->data1) = *r;
  return r;
}

cell* push_named(const char* name, const cell* spec_in, bool direct) {
  cell spec = *spec_in;
  collector::root_guard g(&spec);
  u32 index = find(name);
  if (!index) fire("internal", "not-done");
  cell body;
  cells::make_block(&body, 1);
  collector::root_guard bg(&body);
  cell w = word::intern(name);
  cells::append(body.data2, &w);
  // The result type: the datatype word of the `return:` block, when there is one.
  u32 result = 0;
  for (u32 i = spec.data1; i + 1 < cells::length(spec.data2); i++) {
    const cell* c = cells::get(spec.data2, i);
    if (type_of(c) == TYPE_SET_WORD && type_of(c + 1) == TYPE_BLOCK &&
        cells::remaining(c + 1) > 0) {
      const cell* item = cells::get(c[1].data2, c[1].data1);
      if (type_of(item) == TYPE_WORD) {
        const cell* v = _context::get(item);
        if (type_of(v) == TYPE_DATATYPE) result = v->data1;
      }
    }
  }
  return push(&spec, &body, index, result, direct);
}

i32 form(const cell* value, cell* out, const cell* part, i32 budget) {
  return datatype::append_text(out, "?routine?", budget);
}

i32 mold(const cell* value, cell* out, bool only, bool all, bool flat, const cell* part,
         i32 budget, i32 indent) {
  cell v = *value;
  collector::root_guard g(&v);
  budget = datatype::append_text(out, "routine ", budget);
  cell spec{TYPE_BLOCK, 0, v.data2, 0};
  budget = actions::mold(&spec, out, false, all, flat, part, budget, indent);
  cell body = *cells::get(v.data3, function::MORE_BODY);
  collector::root_guard bg(&body);
  if (type_of(&body) == TYPE_BLOCK) return actions::mold(&body, out, false, all, flat, part, budget, indent);
  budget = datatype::append_text(out, " ", budget);
  return actions::mold(&body, out, false, all, flat, part, budget, indent);
}

void init() {
  action_row row;  // reflect and compare from function!
  row.make = nullptr;
  row.form = form;
  row.mold = mold;
  datatype::register_(TYPE_ROUTINE, TYPE_FUNCTION, "routine!", row);
}

}  // namespace vyr::routine
