// hash!: construction, copy, sort, trim and mold, and the upkeep of the index that the
// block actions call after each edit. Positions in the index are absolute cell indexes of
// the block, so an edit tells which run of cells it replaced and by how many cells.
#include "runtime/datatypes/hash.h"

#include <algorithm>
#include <cmath>

#include "runtime/collector.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/series.h"
#include "runtime/fire.h"
#include "runtime/hashtable.h"
#include "runtime/stack.h"

namespace vyr::hash {

namespace {
i64 total_of(const cell* v) { return series::buffer(v)->used_units(); }

bool indexed_q(const cell* v) { return type_of(v) == TYPE_HASH && v->data3 != 0; }

const cell* result_of(cell* made) {
  set_type(made, TYPE_HASH);
  index_new(made);
  return stack::set_result(made);
}
}  // namespace

void index_new(cell* value) {
  cell whole = *value;
  collector::root_guard g(&whole);
  whole.data1 = 0;
  whole.data3 = 0;
  u32 n = u32(std::max<i64>(total_of(&whole), 1));
  u32 t = hashtable::init(n, &whole, hashtable::KIND_HASH, 0);
  value->data3 = t;
}

void reindex(const cell* value) {
  if (!indexed_q(value)) return;
  cell v = *value;
  collector::root_guard g(&v);
  hashtable::rebuild(v.data3, u32(std::max<i64>(total_of(&v), 4)));
}

void edited(const cell* value, i64 pos, i64 removed, i64 inserted) {
  if (!indexed_q(value) || (removed == 0 && inserted == 0)) return;
  cell v = *value;
  collector::root_guard g(&v);
  u32 t = v.data3;
  i64 total = total_of(&v);
  for (i64 p = pos; p < pos + removed; p++) hashtable::remove(t, u32(p));
  i64 after = std::max<i64>(total - pos - inserted, 0);
  i64 delta = inserted - removed;
  if (delta != 0) {
    u32 from = u32(delta > 0 ? pos + removed : pos + inserted);
    if (hashtable::shift_indexes(t, i32(delta), from, u32(after), true) != 0) {
      reindex(&v);
      return;
    }
  }
  for (i64 p = pos; p < pos + inserted && p < total; p++)
    if (hashtable::put(t, u32(p)) == 2) return;  // rebuilt: everything is indexed
}

i64 find_indexed(const cell* value, const cell* key, i32 op, i64 skip, bool last,
                 bool reverse, bool* usable) {
  *usable = indexed_q(value);
  if (!*usable) return -1;
  cell v = *value, k = *key;
  collector::root_guard gv(&v), gk(&k);
  i64 h = std::clamp<i64>(series::head_index(&v), 0, total_of(&v));
  const cell* c = hashtable::get(v.data3, &k, u32(h), u32(skip), op, last, reverse);
  if (!c) return -1;
  return c - read_buffer(v.data2)->cells();
}

// ---- make and to --------------------------------------------------------------------------

const cell* make(const cell* proto, const cell* spec_in, u32 type) {
  cell spec = *spec_in;
  collector::root_guard sg(&spec);
  cell out{TYPE_NONE, 0, 0, 0};
  collector::root_guard og(&out);
  u32 t = type_of(&spec);
  if (t == TYPE_INTEGER || t == TYPE_FLOAT) {
    i64 n;
    if (t == TYPE_INTEGER) {
      n = integer::get(&spec);
    } else {
      double d = cell_float(&spec);
      if (!(d > -2147483649.0 && d < 2147483648.0))
        datatype::fire_with_type("bad-make-arg", TYPE_HASH, &spec);
      n = i64(std::trunc(d));
    }
    block::make_at(&out, i32(std::max<i64>(n, 1)));
    return result_of(&out);
  }
  if (t == TYPE_HASH) {
    copy(&spec, &out, nullptr, false, nullptr);
    return stack::set_result(&out);
  }
  if (series::block_like_q(t)) {
    series::copy(&spec, &out, nullptr, false, nullptr);
    clear_new_line(&out);
    return result_of(&out);
  }
  return to(proto, &spec, type);
}

const cell* to(const cell*, const cell* spec_in, u32) {
  cell spec = *spec_in;
  collector::root_guard sg(&spec);
  cell out{TYPE_NONE, 0, 0, 0};
  collector::root_guard og(&out);
  if (type_of(&spec) == TYPE_HASH) {
    copy(&spec, &out, nullptr, false, nullptr);
    return stack::set_result(&out);
  }
  cell proto{TYPE_DATATYPE, TYPE_BLOCK, 0, 0};
  out = *block::to(&proto, &spec, TYPE_BLOCK);
  return result_of(&out);
}

// ---- mold ---------------------------------------------------------------------------------

i32 mold(const cell* value, cell* out, bool only, bool all, bool flat, const cell* part,
         i32 budget, i32 indent) {
  if (!only) budget = datatype::append_text(out, "make hash! ", budget);
  return block::mold(value, out, only, all, flat, part, budget, indent);
}

// ---- copy, sort, trim ---------------------------------------------------------------------

const cell* copy(const cell* value, cell* dest, const cell* part, bool deep,
                 const cell* types) {
  cell v = *value;
  collector::root_guard vg(&v);
  cell out{TYPE_NONE, 0, 0, 0};
  collector::root_guard og(&out);
  block::copy(&v, &out, part, deep, types);
  set_type(&out, TYPE_HASH);
  if (series::head_index(&v) == 0 && !part && !deep && !types && v.data3) {
    out.data3 = hashtable::copy(v.data3, out.data2);
  } else {
    index_new(&out);
  }
  *dest = out;
  return dest;
}

const cell* sort(cell* series, const sort_args& opts) {
  cell s = *series;
  collector::root_guard sg(&s);
  block::sort(&s, opts);
  reindex(&s);
  return series;
}

const cell* trim(cell* series, const trim_args& opts) {
  cell s = *series;
  collector::root_guard sg(&s);
  block::trim(&s, opts);
  reindex(&s);
  return series;
}

void init() {
  action_row row;
  row.make = make;
  row.to = to;
  row.mold = mold;
  row.copy = copy;
  row.sort = sort;
  row.trim = trim;
  datatype::register_(TYPE_HASH, TYPE_BLOCK, "hash!", row);
}

}  // namespace vyr::hash
