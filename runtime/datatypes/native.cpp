// native!, action! and op!: constructors, actions and registration.
#include "runtime/datatypes/native.h"
#include "runtime/snapshot.h"

#include <vector>

#include "runtime/collector.h"
#include "runtime/datatypes/context.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/fire.h"
#include "runtime/datatypes/actions.h"
#include "runtime/datatypes/cells.h"
#include "runtime/hooks.h"
#include "runtime/stack.h"
#include "runtime/word_tables.h"

namespace vyr::native {

namespace {
[[noreturn]] void bad_make_arg(u32 type, const cell* spec) {
  datatype::fire_with_type("bad-make-arg", type, spec);
}

// The first native! and action! made for each entry (the environment's): every later value
// made for that entry must be called the same way, since the entry reads its arguments by
// its own rules. Collector roots.
std::vector<cell> first_made[2];  // [0] natives, [1] actions; cleared cells until made

void mark_first_made() {
  for (const std::vector<cell>& made : first_made)
    collector::mark_values(made.data(), made.data() + made.size());
}

// The interpreter's argument cache: made through the registry, the interpreter being above.
u32 cache_of(const cell* fn) {
  if (!hooks::cache_spec) fire("internal", "not-done");
  return hooks::cache_spec(fn);
}

// The index of an entry, answered by reflect's `body`.
const cell* index_result(u32 index) {
  *stack::arguments = cell{TYPE_INTEGER, 0, index, 0};
  return stack::arguments;
}
}  // namespace

// ---- Constructors -------------------------------------------------------------------------

cell* make_at(cell* out, const cell* spec_in, u32 index, u32 type) {
  cell spec = *spec_in;
  collector::root_guard sg(&spec);
  u32 more = memory::alloc_cells(3);
  collector::node_guard mg(&more);
  u32 ctx = _context::make_from_spec(&spec, true, false, _context::KIND_FUNCTION);
  series_buffer* b = buffer_of(more);
  b->cells()[0] = *_context::context_cell(ctx);
  b->cells()[1] = cell{TYPE_NONE, 0, 0, 0};
  // The context's words name its node: the node must live as long as the value does.
  b->cells()[2] = cell{TYPE_BLOCK, 0, ctx, 0};
  b->tail = b->offset + 3 * sizeof(cell);
  *out = cell{type, index, spec.data2, more};
  // The context's owner cell names the function, as for every function-like context.
  *_context::owner_cell(ctx) = *out;
  return out;
}

// ---- Actions ------------------------------------------------------------------------------

cell* make_checked_at(cell* out, const cell* spec_in, u32 type) {
  cell spec = *spec_in;
  if (type_of(&spec) != TYPE_BLOCK || cells::remaining(&spec) != 2) bad_make_arg(type, &spec);
  cell inner = *cells::get(spec.data2, spec.data1);
  cell index = *cells::get(spec.data2, spec.data1 + 1);
  if (type_of(&inner) != TYPE_BLOCK || type_of(&index) != TYPE_INTEGER) bad_make_arg(type, &spec);
  i32 n = static_cast<i32>(index.data2);
  // Only entries that exist: a native slot nobody installed would be an empty call.
  if (type == TYPE_NATIVE && !hooks::native_exists) fire("internal", "not-done");
  bool exists = type == TYPE_NATIVE ? hooks::native_exists(u32(n))
                                    : n >= 1 && u32(n) <= ACTION_COUNT && n != 8;
  if (!exists) bad_make_arg(type, &spec);
  collector::root_guard g(&inner);
  cell fn;
  make_at(&fn, &inner, u32(n), type);
  collector::root_guard og(&fn);
  // The argument cache is built now, so that editing the argument block later (reflect hands
  // it out) cannot change how the entry is called.
  u32 cache = cache_of(&fn);
  std::vector<cell>& made = first_made[type == TYPE_ACTION];
  if (made.size() <= u32(n)) made.resize(u32(n) + 1, cell{0, 0, 0, 0});
  cell& first = made[u32(n)];
  if (type_of(&first) != type) {
    first = fn;
  } else if (!hooks::same_call_shape(cache_of(&first), cache)) {
    // Arguments of other kinds or types than the entry's would let it read cells that were
    // never gathered, or values it cannot take.
    bad_make_arg(type, &spec);
  }
  *out = fn;
  return out;
}

const cell* make(const cell* proto, const cell* spec, u32 type) {
  cell out;
  make_checked_at(&out, spec, type);
  *stack::arguments = out;
  return stack::arguments;
}

const cell* reflect(const cell* value, u32 field) {
  cell v = *value;
  if (symbol::same_q(field, words::sym_spec)) {
    *stack::arguments = cell{TYPE_BLOCK, 0, v.data2, 0};
    return stack::arguments;
  }
  if (symbol::same_q(field, words::sym_body)) {
    u32 t = type_of(&v);
    if (t == TYPE_OP) {
      u32 w = op::wrapped_type(&v);
      if (w == TYPE_FUNCTION || w == TYPE_ROUTINE) {
        *stack::arguments = *cells::get(v.data3, 0);
        return stack::arguments;
      }
    }
    return index_result(v.data1);
  }
  fire("internal", "not-done");
}

i32 form(const cell* value, cell* out, const cell* part, i32 budget) {
  return datatype::append_text(out, "?native?", budget);
}

namespace {
i32 mold_spec(const cell* value, cell* out, bool only, bool all, bool flat, const cell* part,
              i32 budget, i32 indent) {
  cell spec{TYPE_BLOCK, 0, value->data2, 0};
  return actions::mold(&spec, out, only, all, flat, part, budget, indent);
}
}  // namespace

i32 mold(const cell* value, cell* out, bool only, bool all, bool flat, const cell* part,
         i32 budget, i32 indent) {
  cell v = *value;
  collector::root_guard g(&v);
  budget = datatype::append_text(out, "make native! [", budget);
  budget = mold_spec(&v, out, only, all, flat, part, budget, indent);
  return datatype::append_text(out, "]", budget);
}

i32 compare(const cell* a, const cell* b, i32 op) {
  if (type_of(a) != type_of(b)) return COMPARE_NOT_COMPARABLE;
  switch (op) {
    case compare_op::EQUAL: case compare_op::NOT_EQUAL: case compare_op::STRICT_EQUAL:
    case compare_op::SORT: case compare_op::CASE_SORT: case compare_op::SAME:
    case compare_op::FIND:
      if (type_of(a) == TYPE_OP && op::wrapped_type(a) != op::wrapped_type(b)) return 1;
      return a->data1 < b->data1 ? -1 : a->data1 > b->data1 ? 1 : 0;
    default:
      return COMPARE_NOT_COMPARABLE;
  }
}

void init() {
  collector::register_callback(mark_first_made);
  snapshot::keep_vector("native.first-made", &first_made[0]);
  snapshot::keep_vector("action.first-made", &first_made[1]);
  action_row row;
  row.make = make;
  row.reflect = reflect;
  row.form = form;
  row.mold = mold;
  row.compare = compare;
  datatype::register_(TYPE_NATIVE, 0, "native!", row);
}

}  // namespace vyr::native

namespace vyr::action {

i32 form(const cell* value, cell* out, const cell* part, i32 budget) {
  return datatype::append_text(out, "?action?", budget);
}

i32 mold(const cell* value, cell* out, bool only, bool all, bool flat, const cell* part,
         i32 budget, i32 indent) {
  cell v = *value;
  collector::root_guard g(&v);
  budget = datatype::append_text(out, "make action! [", budget);
  budget = native::mold_spec(&v, out, only, all, flat, part, budget, indent);
  return datatype::append_text(out, "]", budget);
}

void init() {
  action_row row;  // make, reflect and compare from native!
  row.form = form;
  row.mold = mold;
  datatype::register_(TYPE_ACTION, TYPE_NATIVE, "action!", row);
}

}  // namespace vyr::action

namespace vyr::op {

namespace {
// Exactly two arguments, the first a plain word; only /local or /extern may follow.
bool spec_ok(u32 spec_node) {
  u32 n = 0;
  bool word_seen = false;
  for (u32 i = 0, len = cells::length(spec_node); i < len; i++) {
    const cell* c = cells::get(spec_node, i);
    switch (type_of(c)) {
      case TYPE_WORD:
        n++;
        word_seen = true;
        break;
      case TYPE_LIT_WORD: case TYPE_GET_WORD:
        if (!word_seen) return false;
        n++;
        break;
      case TYPE_SET_WORD:
        return n == 2;
      case TYPE_REFINEMENT:
        if (!symbol::same_q(c->data2, words::ref_local.data2) &&
            !symbol::same_q(c->data2, words::ref_extern.data2))
          return false;
        return n == 2;
      default:
        break;
    }
  }
  return n == 2;
}
}  // namespace

cell* make_at(cell* out, const cell* value) {
  cell v = *value;
  u32 t = type_of(&v);
  if (t != TYPE_NATIVE && t != TYPE_ACTION && t != TYPE_FUNCTION && t != TYPE_ROUTINE)
    datatype::fire_with_type("invalid-type", t);
  if (!spec_ok(v.data2)) fire("script", "bad-op-spec");
  if (t == TYPE_FUNCTION || t == TYPE_ROUTINE) *cells::at(v.data3, 3) = v;
  *out = v;
  out->header = (t << WRAPPED_SHIFT) | TYPE_OP;
  return out;
}

const cell* make(const cell* proto, const cell* spec, u32 type) {
  cell out;
  make_at(&out, spec);
  *stack::arguments = out;
  return stack::arguments;
}

i32 form(const cell* value, cell* out, const cell* part, i32 budget) {
  return datatype::append_text(out, "?op?", budget);
}

i32 mold(const cell* value, cell* out, bool only, bool all, bool flat, const cell* part,
         i32 budget, i32 indent) {
  cell v = *value;
  collector::root_guard g(&v);
  u32 w = wrapped_type(&v);
  budget = datatype::append_text(out, "make op! ", budget);
  budget = datatype::append_text(out, w == TYPE_FUNCTION ? "func " : "[", budget);
  // The argument block is molded inside a native frame named <anon>, as a call of its own.
  stack::guard sg;
  struct leave_on_exit {
    u32 depth;
    ~leave_on_exit() { stack::unwind_frames(depth); }
  } l{stack::frame_top};
  stack::push_frame(&words::word_anon, stack::HEADER_INTERP_NATIVE);
  budget = native::mold_spec(&v, out, only, all, flat, part, budget, indent);
  if (w == TYPE_FUNCTION) {
    cell body = *cells::get(v.data3, 0);
    if (type_of(&body) == TYPE_BLOCK)
      return actions::mold(&body, out, only, all, flat, part, budget, indent);
  }
  return datatype::append_text(out, "]", budget);
}

void init() {
  action_row row;  // reflect and compare from native!
  row.make = make;
  row.form = form;
  row.mold = mold;
  datatype::register_(TYPE_OP, TYPE_NATIVE, "op!", row);
}

}  // namespace vyr::op
