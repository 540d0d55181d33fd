// logic!: constructors, the truth tests, actions and registration.
#include "runtime/datatypes/logic.h"

#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/unset.h"
#include "runtime/fire.h"
#include "runtime/random.h"
#include "runtime/stack.h"
#include "runtime/memory.h"

namespace vyr::logic {

// ---- Constructors -----------------------------------------------------------------------

cell* make_at(cell* c, bool value) {
  *c = cell{TYPE_LOGIC, value ? 1u : 0u, 0, 0};
  return c;
}
cell* make_in(const cell* block, bool value) {
  series_buffer* b = buffer_of(block->data2);
  return make_at(memory::alloc_tail_cell(b), value);
}
cell* push(bool value) { return make_at(stack::push_slot(), value); }
cell* box(bool value) { return make_at(stack::arguments, value); }

// ---- Truth tests ------------------------------------------------------------------------

bool true_q(const cell* value, bool check, const cell* word) {
  if (check && type_of(value) == TYPE_UNSET) {
    if (word) fire("script", "no-value", word);
    fire("script", "no-value");
  }
  return !falsy(value);
}

bool arg_true_q() {
  if (type_of(stack::arguments) == TYPE_UNSET) fire("script", "no-return");
  return !falsy(stack::arguments);
}

bool arg_false_q() { return falsy(stack::arguments); }

bool top_true_q() {
  const cell* c = stack::top > stack::arguments ? stack::top - 1 : stack::arguments;
  return !falsy(c);
}

// ---- Actions ----------------------------------------------------------------------------

const cell* to(const cell* proto, const cell* spec, u32 type) {
  bool v = type_of(spec) == TYPE_LOGIC ? spec->data1 == 1 : type_of(spec) != TYPE_NONE;
  return box(v);
}

const cell* make(const cell* proto, const cell* spec, u32 type) {
  switch (type_of(spec)) {
    case TYPE_INTEGER:
      return box(spec->data2 != 0);
    case TYPE_FLOAT: case TYPE_PERCENT:
      return box(!(cell_float(spec) == 0.0));  // a NaN is true
    default:
      return to(proto, spec, type);
  }
}

const cell* random(cell* value, bool seed, bool secure, bool only) {
  if (seed) {
    random::seed(value->data1);
    return unset::push_last();
  }
  return box(random::logic(secure));  // one half each
}

i32 form(const cell* value, cell* out, const cell* part, i32 budget) {
  return datatype::append_text(out, value->data1 == 1 ? "true" : "false", budget);
}

i32 mold(const cell* value, cell* out, bool only, bool all, bool flat, const cell* part,
         i32 budget, i32 indent) {
  bool t = value->data1 == 1;
  if (all) return datatype::append_text(out, t ? "#(true)" : "#(false)", budget);
  return datatype::append_text(out, t ? "true" : "false", budget);
}

i32 compare(const cell* a, const cell* b, i32 op) {
  if (type_of(b) != TYPE_LOGIC) return COMPARE_NOT_COMPARABLE;
  switch (op) {
    case compare_op::EQUAL: case compare_op::NOT_EQUAL: case compare_op::STRICT_EQUAL:
    case compare_op::SORT: case compare_op::CASE_SORT: case compare_op::SAME:
    case compare_op::FIND: {
      i64 d = i64{a->data1} - i64{b->data1};
      return d < 0 ? -1 : d > 0 ? 1 : 0;
    }
    default:
      return COMPARE_NOT_COMPARABLE;
  }
}

const cell* complement(cell* value) {
  value->data1 ^= 1;
  return value;
}

namespace {
void bitwise(const char* action, u32 (*op)(u32, u32)) {
  cell* a = stack::arg(0);
  const cell* b = stack::arg(1);
  if (type_of(b) != TYPE_LOGIC) {
    datatype::fire_expect_arg(action, type_of(b), "value2");
  }
  a->data1 = op(a->data1, b->data1);
}
}  // namespace

void and_() { bitwise("and~", [](u32 x, u32 y) { return x & y; }); }
void or_() { bitwise("or~", [](u32 x, u32 y) { return x | y; }); }
void xor_() { bitwise("xor~", [](u32 x, u32 y) { return x ^ y; }); }

// ---- Registration -----------------------------------------------------------------------

void init() {
  action_row row;
  row.make = make;
  row.random = random;
  row.to = to;
  row.form = form;
  row.mold = mold;
  row.compare = compare;
  row.and_ = and_;
  row.complement = complement;
  row.or_ = or_;
  row.xor_ = xor_;
  datatype::register_(TYPE_LOGIC, 0, "logic!", row);
}

}  // namespace vyr::logic
