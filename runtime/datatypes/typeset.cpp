// typeset!: the 96-bit map, its constructors and actions. The map is read as twelve bytes in
// memory order, so a typeset copied through serialized data keeps its meaning.
#include "runtime/datatypes/typeset.h"

#include <bit>
#include <cstring>
#include <string>

#include "runtime/collector.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/word.h"
#include "runtime/fire.h"
#include "runtime/stack.h"
#include "runtime/memory.h"

namespace vyr::typeset {

namespace {
constexpr u32 MAP_BITS = 96;

u8* map_of(cell* c) { return reinterpret_cast<u8*>(&c->data1); }
const u8* map_of(const cell* c) { return reinterpret_cast<const u8*>(&c->data1); }

void merge(cell* into, const cell* from) {
  into->data1 |= from->data1;
  into->data2 |= from->data2;
  into->data3 |= from->data3;
}

// A datatype! or typeset! item into the set; anything else answers false.
bool add_item(cell* ts, const cell* item) {
  if (type_of(item) == TYPE_DATATYPE) {
    set_bit(ts, item->data1);
    return true;
  }
  if (type_of(item) == TYPE_TYPESET) {
    merge(ts, item);
    return true;
  }
  return false;
}

cell typeset_type{TYPE_DATATYPE, TYPE_TYPESET, 0, 0};
}  // namespace

// ---------------------------------------------------------------------------------------
// Bits

bool has_q(const cell* ts, u32 type) {
  if (type >= MAP_BITS) return false;
  return map_of(ts)[type / 8] & (0x80u >> (type % 8));
}

void set_bit(cell* ts, u32 type) {
  if (type >= MAP_BITS) {
    cell n{TYPE_INTEGER, 0, type, 0};
    fire("internal", "limit-hit", &n);
  }
  map_of(ts)[type / 8] |= u8(0x80u >> (type % 8));
}

u32 count(const cell* ts) {
  u32 n = 0;
  for (i32 t = 1; t <= datatype::highest_id; t++)
    n += has_q(ts, u32(t)) && datatype::registered_q(u32(t));
  return n;
}

// ---------------------------------------------------------------------------------------
// Constructors

cell* clear_at(cell* c) {
  *c = cell{TYPE_TYPESET, 0, 0, 0};
  return c;
}

cell* make_in(u32 block, u32 w1, u32 w2, u32 w3) {
  series_buffer* b = buffer_of(block);
  cell* c = memory::alloc_tail_cell(b);
  *c = cell{TYPE_TYPESET, w1, w2, w3};
  return c;
}

cell* make_default(cell* c) {
  *c = cell{TYPE_TYPESET, 0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu};
  map_of(c)[TYPE_UNSET / 8] &= u8(~(0x80u >> (TYPE_UNSET % 8)));
  return c;
}

cell* make_with(cell* c, const cell* type_block) {
  cell ts;
  clear_at(&ts);
  // Nothing here allocates: the items are read in place.
  series_buffer* b = buffer_of(type_block->data2);
  for (u32 i = type_block->data1; i < b->used_units(); i++) {
    const cell* item = b->cells() + i;
    if (type_of(item) == TYPE_WORD) item = word::get_value(item);
    if (add_item(&ts, item)) continue;
    if (type_of(item) == TYPE_WORD) {
      set_bit(&ts, TYPE_OBJECT);
      continue;
    }
    if (type_of(item) == TYPE_BLOCK) continue;
    cell bad = *item;
    fire("script", "invalid-type-spec", &bad);
  }
  *c = ts;
  return c;
}

u32 to_block(const cell* ts_in) {
  cell ts = *ts_in;
  u32 block = memory::alloc_cells(count(&ts));
  collector::node_guard g(&block);
  for (i32 t = 1; t <= datatype::highest_id; t++) {
    if (!has_q(&ts, u32(t)) || !datatype::registered_q(u32(t))) continue;
    series_buffer* b = buffer_of(block);
    datatype::make_at(memory::alloc_tail_cell(b), u32(t));
  }
  return block;
}

// ---------------------------------------------------------------------------------------
// Actions

const cell* make(const cell* proto, const cell* spec, u32 type) {
  cell ts;
  clear_at(&ts);
  if (type_of(spec) == TYPE_TYPESET) {
    ts = *spec;
  } else if (type_of(spec) == TYPE_BLOCK) {
    series_buffer* b = buffer_of(spec->data2);
    for (u32 i = spec->data1; i < b->used_units(); i++) {
      const cell* item = b->cells() + i;
      if (type_of(item) == TYPE_WORD) item = word::get_value(item);
      if (add_item(&ts, item)) continue;
      cell bad = *(b->cells() + i);
      fire("script", "invalid-arg", &bad);
    }
  } else {
    cell bad = *spec;
    fire("script", "bad-to-arg", &typeset_type, &bad);
  }
  return stack::set_result(&ts);
}

i32 mold(const cell* value, cell* out, bool only, bool all, bool flat, const cell* part,
         i32 budget, i32 indent) {
  cell ts = *value;
  // The budget is charged 15 for the prefix and the name's length plus 2 for each name,
  // whatever is finally written.
  std::string text = only ? "" : "make typeset! [";
  if (!only) budget -= 15;
  for (i32 t = 1; t <= datatype::highest_id; t++) {
    if (!has_q(&ts, u32(t)) || !datatype::registered_q(u32(t))) continue;
    if (budget <= 0) break;
    const char* name = datatype::name_of(u32(t));
    text += name;
    text += ' ';
    budget -= i32(std::strlen(name)) + 2;
  }
  if (!text.empty() && text.back() == ' ') text.pop_back();
  if (!only) text += ']';
  datatype::append_text(out, text.c_str(), 0);
  return budget;
}

i32 form(const cell* value, cell* out, const cell* part, i32 budget) {
  return mold(value, out, false, false, false, part, budget, 0);
}

i32 compare(const cell* a, const cell* b, i32 op) {
  if (type_of(b) != TYPE_TYPESET) return -2;
  switch (op) {
    case compare_op::EQUAL: case compare_op::NOT_EQUAL: case compare_op::STRICT_EQUAL:
    case compare_op::SAME: case compare_op::FIND:
      return a->data1 == b->data1 && a->data2 == b->data2 && a->data3 == b->data3 ? 0 : 1;
    case compare_op::SORT: case compare_op::CASE_SORT: {
      u32 x = count(a), y = count(b);
      return x == y ? 0 : x < y ? -1 : 1;
    }
    default:
      return -2;
  }
}

void do_bitwise(i32 op) {
  cell a = stack::arguments[0];
  if (op == OP_UNIQUE) {
    stack::set_result(&a);
    return;
  }
  cell b = stack::arguments[1];
  if (type_of(&b) == TYPE_DATATYPE) {
    u32 t = b.data1;
    clear_at(&b);
    set_bit(&b, t);
  } else if (type_of(&b) != TYPE_TYPESET) {
    fire("script", "invalid-arg", &b);
  }
  switch (op) {
    case math_op::OR: case OP_UNION:
      merge(&a, &b);
      break;
    case math_op::AND: case OP_INTERSECT:
      a.data1 &= b.data1, a.data2 &= b.data2, a.data3 &= b.data3;
      break;
    case math_op::XOR: case OP_DIFFERENCE:
      a.data1 ^= b.data1, a.data2 ^= b.data2, a.data3 ^= b.data3;
      break;
    case OP_EXCLUDE:
      a.data1 &= ~b.data1, a.data2 &= ~b.data2, a.data3 &= ~b.data3;
      break;
    default:
      fire("internal", "not-done");
  }
  stack::set_result(&a);
}

void and_() { do_bitwise(math_op::AND); }
void or_() { do_bitwise(math_op::OR); }
void xor_() { do_bitwise(math_op::XOR); }

const cell* complement(cell* value) {
  value->data1 = ~value->data1;
  value->data2 = ~value->data2;
  value->data3 = ~value->data3;
  return value;
}

const cell* find(cell* ts, const cell* value, const find_args& opts) {
  if (type_of(value) != TYPE_DATATYPE) {
    cell bad = *value;
    fire("script", "invalid-arg", &bad);
  }
  return logic::of(has_q(ts, value->data1));
}

// ---------------------------------------------------------------------------------------
// Registration

void init() {
  action_row row;
  row.make = make;
  row.to = make;
  row.form = form;
  row.mold = mold;
  row.compare = compare;
  row.and_ = and_;
  row.or_ = or_;
  row.xor_ = xor_;
  row.complement = complement;
  row.find = find;
  datatype::register_(TYPE_TYPESET, 0, "typeset!", row);
}

}  // namespace vyr::typeset
