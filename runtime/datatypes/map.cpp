// map!: construction, key preparation, path access, the searching and editing actions,
// reflection, copy, compare with its cycle guard, mold and form, and the foreach, set and
// extend steps. The hash table (kind 1) is the runtime core's; it indexes the key cells of
// the block and keeps the live count. Cells read from the block are copied into locals
// before anything that may allocate.
#include "runtime/datatypes/map.h"

#include <algorithm>
#include <cmath>

#include "runtime/collector.h"
#include "runtime/cycles.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/context.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/series.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/typeset.h"
#include "runtime/fire.h"
#include "runtime/hashtable.h"
#include "runtime/datatypes/actions.h"
#include "runtime/stack.h"
#include "runtime/word_tables.h"

namespace vyr::map {

namespace {

bool word_key_q(u32 t) {
  return t == TYPE_WORD || t == TYPE_SET_WORD || t == TYPE_LIT_WORD || t == TYPE_GET_WORD;
}
bool text_key_q(u32 t) { return series::string_like_q(t) || t == TYPE_BINARY; }

series_buffer* pairs(const cell* m) { return buffer_of(m->data2); }
u32 cell_count(const cell* m) { return pairs(m)->used_units(); }
// `pair_at` for writing (it bumps the block's write stamp), `read_pair` for reading.
cell* pair_at(const cell* m, u32 i) { return pairs(m)->cells() + i; }
const cell* read_pair(const cell* m, u32 i) { return read_buffer(m->data2)->cells() + i; }
bool removed_q(const cell* m, u32 key_pos) { return read_pair(m, key_pos + 1)->header == 0; }

// The key as a caller sees it: a set-word! key reads as a word!.
cell shown_key(const cell* key) {
  cell k = *key;
  if (type_of(&k) == TYPE_SET_WORD) set_type(&k, TYPE_WORD);
  clear_new_line(&k);
  return k;
}

// Position of the key cell equal to `key` under `op`, or -1. Removed pairs are found too.
// `hash` receives the key's hash, for indexing it when it is absent.
i64 lookup(const cell* m, const cell* key, i32 op, u32* hash = nullptr) {
  // find copies the key before anything can move it.
  const cell* found = hashtable::find(m->data3, key, op, hash);
  if (!found) return -1;
  return found - read_pair(m, 0);
}

i64 live_lookup(const cell* m, const cell* key, i32 op) {
  i64 pos = lookup(m, key, op);
  return pos >= 0 && !removed_q(m, u32(pos)) ? pos : -1;
}

[[noreturn]] void bad_to_arg(const cell* spec) {
  datatype::fire_with_type("bad-to-arg", TYPE_MAP, spec);
}

// Sets the key to the value: an existing key (by `op`) gets the value, a removed one is
// revived and counted again, a new one is prepared and appended. `path` names the path
// for the error of an unsupported key (none! when there is no path).
void set_pair(cell* m, const cell* key_in, const cell* value_in, i32 op, const cell* path) {
  cell map = *m, key = *key_in, value = *value_in;
  collector::root_guard g1(&map), g2(&key), g3(&value);
  clear_new_line(&value);
  u32 hash = 0;
  i64 pos = lookup(&map, &key, op, &hash);
  if (pos >= 0) {
    if (removed_q(&map, u32(pos))) hashtable::rec(map.data3)->count++;
    copy_cell(&value, pair_at(&map, u32(pos) + 1));
    return;
  }
  if (!preprocess_key(&key)) {
    cell p = path ? *path : none_value;
    cell t;
    datatype::make_at(&t, type_of(&key));
    fire("script", "invalid-path", &p, &t);
  }
  // The key is known to be absent: append the pair and index it, without a second search
  // or a second hash (the prepared key hashes as the key did).
  series_buffer* b = pairs(&map);
  copy_cell(&key, memory::alloc_tail_cell(b));
  b = pairs(&map);
  copy_cell(&value, memory::alloc_tail_cell(b));
  hashtable::put_absent(map.data3, cell_count(&map) - 2, &hash);
}

void check_even(const cell* block) {
  i64 n = i64(series::buffer(block)->used_units()) - series::head_index(block);
  if (n > 0 && n % 2) {
    cell b = *block;
    fire("script", "invalid-arg", &b);
  }
}

i32 indent_text(cell* out, i32 indent, i32 budget) {
  for (i32 i = 0; i < indent; i++) budget = datatype::append_text(out, "    ", budget);
  return budget;
}

i32 op_for(const find_args& o) {
  return o.same ? compare_op::SAME : o.case_sensitive ? compare_op::STRICT_EQUAL
                                                       : compare_op::EQUAL;
}

}  // namespace

// ---- Keys ---------------------------------------------------------------------------------

bool valid_key_type_q(u32 t) {
  switch (t) {
    case TYPE_STRING: case TYPE_FILE: case TYPE_URL: case TYPE_CHAR: case TYPE_INTEGER:
    case TYPE_FLOAT: case TYPE_WORD: case TYPE_SET_WORD: case TYPE_LIT_WORD:
    case TYPE_GET_WORD: case TYPE_REFINEMENT: case TYPE_ISSUE: case TYPE_PAIR:
    case TYPE_PERCENT: case TYPE_TUPLE: case TYPE_BINARY: case TYPE_TIME: case TYPE_TAG:
    case TYPE_EMAIL: case TYPE_DATE: case TYPE_MONEY: case TYPE_REF: case TYPE_POINT2D:
    case TYPE_POINT3D:
      return true;
    default:
      return false;
  }
}

bool preprocess_key(cell* key) {
  u32 t = type_of(key);
  if (!valid_key_type_q(t)) return false;
  clear_new_line(key);
  if (word_key_q(t)) {
    set_type(key, TYPE_SET_WORD);
  } else if (text_key_q(t)) {
    cell k = *key;
    collector::root_guard kg(&k);
    i64 total = series::buffer(&k)->used_units();
    i64 h = std::clamp<i64>(series::head_index(&k), 0, total);
    cell out;
    series::copy_units(&k, h, total - h, &out);
    clear_new_line(&out);
    *key = out;
  }
  return true;
}

// ---- Construction -------------------------------------------------------------------------

cell* make_at(cell* c, const cell* block, i32 capacity) {
  cell blk{TYPE_NONE, 0, 0, 0};
  collector::root_guard bg(&blk);
  u32 pairs_wanted = 0;
  if (block) {
    cell src = *block;
    collector::root_guard sg(&src);
    series::copy(&src, &blk, nullptr, false, nullptr);
    set_type(&blk, TYPE_BLOCK);
    blk.header = TYPE_BLOCK;
    u32 n = series::buffer(&blk)->used_units();
    for (u32 i = 0; i < n; i++) clear_new_line(series::buffer(&blk)->cells() + i);
    // Keys are prepared as a put would prepare them; unsupported ones are kept as given.
    for (u32 i = 0; i + 1 < n; i += 2) {
      cell k = series::buffer(&blk)->cells()[i];
      if (!valid_key_type_q(type_of(&k))) continue;
      preprocess_key(&k);
      series::buffer(&blk)->cells()[i] = k;
    }
    pairs_wanted = n / 2;
  } else {
    u64 cells = std::max<u64>(u64(std::max(capacity, 0)) * 2, 2);
    if (cells > 0x0FFFFFFFu) fire("internal", "no-memory");
    blk = cell{TYPE_BLOCK, 0, memory::alloc_cells(u32(cells)), 0};
    pairs_wanted = u32(std::max(capacity, 0));
  }
  u32 t = hashtable::init(pairs_wanted, &blk, hashtable::KIND_MAP, 0);
  *c = cell{TYPE_MAP, 0, blk.data2, t};
  return c;
}

i32 size_q(const cell* m) { return i32(hashtable::rec(m->data3)->count); }

// ---- make and to --------------------------------------------------------------------------

namespace {
const cell* make_or_to(const cell* spec_in, bool to_flag) {
  cell spec = *spec_in;
  collector::root_guard sg(&spec);
  cell out{TYPE_NONE, 0, 0, 0};
  collector::root_guard og(&out);
  u32 t = type_of(&spec);
  if (t == TYPE_BLOCK || t == TYPE_PAREN || t == TYPE_HASH) {
    check_even(&spec);
    make_at(&out, &spec, 0);
  } else if (t == TYPE_INTEGER || t == TYPE_FLOAT) {
    if (to_flag) bad_to_arg(&spec);
    i64 n;
    if (t == TYPE_INTEGER) {
      n = integer::get(&spec);
    } else {
      double d = cell_float(&spec);
      if (!(d > -2147483649.0 && d < 2147483648.0)) fire("script", "out-of-range", &spec);
      n = i64(std::trunc(d));
    }
    if (n < 0) fire("script", "out-of-range", &spec);
    make_at(&out, nullptr, i32(n));
  } else if (t == TYPE_MAP) {
    copy(&spec, &out, nullptr, false, nullptr);
  } else {
    bad_to_arg(&spec);
  }
  return stack::set_result(&out);
}
}  // namespace

const cell* make(const cell*, const cell* spec, u32) { return make_or_to(spec, false); }
const cell* to(const cell*, const cell* spec, u32) { return make_or_to(spec, true); }

// ---- Reflection ---------------------------------------------------------------------------

cell body_of(const cell* value) {
  cell m = *value;
  collector::root_guard mg(&m);
  cell out;
  block::make_at(&out, std::max(size_q(&m) * 2, 1));
  collector::root_guard og(&out);
  for (u32 i = 0; i + 1 < cell_count(&m); i += 2) {
    if (removed_q(&m, i)) continue;
    cell k = *read_pair(&m, i);
    k.header |= HEADER_NEW_LINE;
    block::rs_append(&out, &k);
    cell v = *read_pair(&m, i + 1);
    block::rs_append(&out, &v);
  }
  return out;
}

const cell* reflect(const cell* value, u32 field) {
  cell m = *value;
  collector::root_guard mg(&m);
  bool words = symbol::same_q(field, words::sym_words);
  bool values = symbol::same_q(field, words::sym_values);
  if (symbol::same_q(field, words::sym_body)) {
    cell out = body_of(&m);
    return stack::set_result(&out);
  }
  if (!words && !values) fire("internal", "not-done");
  cell out;
  block::make_at(&out, std::max(size_q(&m), 1));
  collector::root_guard og(&out);
  for (u32 i = 0; i + 1 < cell_count(&m); i += 2) {
    if (removed_q(&m, i)) continue;
    cell c = words ? shown_key(read_pair(&m, i)) : *read_pair(&m, i + 1);
    block::rs_append(&out, &c);
  }
  return stack::set_result(&out);
}

// ---- mold and form ------------------------------------------------------------------------

i32 mold(const cell* value, cell* out, bool only, bool all, bool flat, const cell* part,
         i32 budget, i32 indent) {
  cell m = *value;
  collector::root_guard mg(&m);
  if (cycles::find(m.data2)) return datatype::append_text(out, "#[...]", budget);
  cycles::guard g(m.data2);
  if (!only) budget = datatype::append_text(out, "#[", budget);
  bool wrote = false, stopped = false;
  for (u32 i = 0; i + 1 < cell_count(&m); i += 2) {
    if (removed_q(&m, i)) continue;
    if (part && budget < 1) {
      stopped = true;
      break;
    }
    if (flat) {
      if (wrote) budget = datatype::append_text(out, " ", budget);
    } else if (only) {
      if (wrote) budget = datatype::append_text(out, "\n", budget);
    } else {
      if (!wrote) budget = datatype::append_text(out, "\n", budget);
      budget = indent_text(out, indent + 1, budget);
    }
    // Under /only the entries stand at the current level, not one deeper.
    i32 level = only ? indent : indent + 1;
    cell k = *read_pair(&m, i);
    clear_new_line(&k);
    budget = actions::mold(&k, out, false, all, flat, part, budget, level);
    budget = datatype::append_text(out, " ", budget);
    cell v = *read_pair(&m, i + 1);
    budget = actions::mold(&v, out, false, all, flat, part, budget, level);
    if (!flat && !only) budget = datatype::append_text(out, "\n", budget);
    wrote = true;
  }
  if (stopped) return budget;
  if (wrote && indent > 0 && !flat && !only) budget = indent_text(out, indent, budget);
  if (!only) budget = datatype::append_text(out, "]", budget);
  return budget;
}

i32 form(const cell* value, cell* out, const cell* part, i32 budget) {
  cell m = *value;
  collector::root_guard mg(&m);
  if (cycles::find(m.data2)) return datatype::append_text(out, "...", budget);
  cycles::guard g(m.data2);
  bool wrote = false;
  for (u32 i = 0; i + 1 < cell_count(&m); i += 2) {
    if (removed_q(&m, i)) continue;
    if (part && budget < 1) break;
    if (wrote) budget = datatype::append_text(out, "\n", budget);
    cell k = *read_pair(&m, i);
    clear_new_line(&k);
    budget = actions::mold(&k, out, false, false, false, part, budget, 0);
    budget = datatype::append_text(out, " ", budget);
    cell v = *read_pair(&m, i + 1);
    budget = actions::mold(&v, out, false, false, false, part, budget, 0);
    wrote = true;
  }
  return budget;
}

// ---- Path access and the searching actions -----------------------------------------------

const cell* eval_path(cell* parent, cell* element, cell* value, const path_args& walk) {
  i32 op = walk.case_sensitive ? compare_op::STRICT_EQUAL : compare_op::EQUAL;
  if (!value) {
    i64 pos = live_lookup(parent, element, op);
    return pos < 0 ? &none_value : read_pair(parent, u32(pos) + 1);
  }
  set_pair(parent, element, value, op, walk.path);
  return value;
}

const cell* put(cell* series, const cell* key, const cell* value, bool case_sensitive) {
  cell v = *value;
  collector::root_guard vg(&v);
  set_pair(series, key, &v,
           case_sensitive ? compare_op::STRICT_EQUAL : compare_op::EQUAL, nullptr);
  return stack::set_result(&v);
}

const cell* select(cell* series, const cell* value, const find_args& opts) {
  i64 pos = live_lookup(series, value, op_for(opts));
  if (pos < 0) return &none_value;
  cell v = *read_pair(series, u32(pos) + 1);
  return stack::set_result(&v);
}

const cell* find(cell* series, const cell* value, const find_args& opts) {
  i64 pos = live_lookup(series, value, op_for(opts));
  if (pos < 0) return &none_value;
  cell k = shown_key(read_pair(series, u32(pos)));
  return stack::set_result(&k);
}

const cell* remove(cell* series, const cell*, const cell* key) {
  if (!key) fire("script", "missing-arg");
  i64 pos = live_lookup(series, key, compare_op::STRICT_EQUAL);
  if (pos >= 0) hashtable::remove(series->data3, u32(pos));
  return series;
}

const cell* clear(cell* value) {
  hashtable::clear(value->data3);
  return value;
}

i32 length_q(const cell* value) { return size_q(value); }

// ---- copy ---------------------------------------------------------------------------------

const cell* copy(const cell* value, cell* dest, const cell*, bool deep, const cell* types) {
  cell m = *value;
  collector::root_guard mg(&m);
  if (types && type_of(types) != TYPE_DATATYPE && type_of(types) != TYPE_TYPESET)
    datatype::fire_expect_arg("copy", type_of(types), "types");
  if (deep && types && cycles::find(m.data2)) {
    cycles::reset();
    fire("internal", "no-cycle");
  }
  cell blk{TYPE_BLOCK, 0, m.data2, 0};
  cell out;
  series::copy_units(&blk, 0, cell_count(&m), &out);
  set_type(&out, TYPE_BLOCK);
  collector::root_guard og(&out);
  if (deep) {
    cycles::guard g(m.data2);
    if (types) {
      // Only values of the given types are copied, nested maps by this same copy (so a
      // map met again raises no-cycle).
      cell ty = *types;
      collector::root_guard tg(&ty);
      auto wanted = [&](u32 t) {
        return type_of(&ty) == TYPE_TYPESET ? typeset::has_q(&ty, t) : ty.data1 == t;
      };
      for (u32 i = 1; i < cell_count(&out); i += 2) {
        cell v = *read_pair(&out, i);
        if (v.header == 0 || !wanted(type_of(&v))) continue;
        collector::root_guard vg(&v);
        if (type_of(&v) == TYPE_MAP) {
          cell c;
          copy(&v, &c, nullptr, true, &ty);
          *pair_at(&out, i) = c;
        } else if (series::series_q(type_of(&v))) {
          block::deep_copy_cell(&v);
          *pair_at(&out, i) = v;
        }
      }
    } else {
      block::deep_copy_cells(&out);
    }
  }
  u32 t = hashtable::copy(m.data3, out.data2);
  *dest = cell{TYPE_MAP, 0, out.data2, t};
  return dest;
}

// ---- compare ------------------------------------------------------------------------------

i32 compare(const cell* a, const cell* b, i32 op) {
  if (type_of(b) != TYPE_MAP) return COMPARE_NOT_COMPARABLE;
  if (op == compare_op::SORT || op == compare_op::CASE_SORT)
    return a->data2 < b->data2 ? -1 : a->data2 > b->data2 ? 1 : 0;
  bool equality = op == 0 || op == 1 || op == 2 || op == compare_op::SAME ||
                  op == compare_op::FIND;
  if (!equality) return COMPARE_NOT_COMPARABLE;
  if (a->data2 == b->data2 && a->data1 == b->data1) return 0;
  if (op == compare_op::SAME) return 1;
  if (cycles::find(a->data2)) return cycles::find(b->data2) ? 0 : 1;
  cell x = *a, y = *b;
  collector::root_guard gx(&x), gy(&y);
  i32 cx = size_q(&x), cy = size_q(&y);
  if (cx != cy) return cx < cy ? -1 : 1;
  if (cx == 0) return 0;
  cycles::guard kx(x.data2);
  cycles::guard ky(y.data2);
  bool strict = op == compare_op::STRICT_EQUAL;
  i32 key_op = strict ? compare_op::STRICT_EQUAL : compare_op::EQUAL;
  i32 value_op = strict ? compare_op::STRICT_EQUAL : compare_op::EQUAL;
  for (u32 i = 0; i + 1 < cell_count(&x); i += 2) {
    if (removed_q(&x, i)) continue;
    cell k = *read_pair(&x, i), v = *read_pair(&x, i + 1);
    collector::root_guard gk(&k), gv(&v);
    bool matched = false;
    hashtable::probe_state st;
    const cell* found = hashtable::get(y.data3, &k, 0, 1, key_op, false, false, &st);
    while (found) {
      u32 pos = u32(found - read_pair(&y, 0));
      if (!removed_q(&y, pos)) {
        cell w = *read_pair(&y, pos + 1);
        if (actions::compare_value(&v, &w, value_op) == 0) {
          matched = true;
          break;
        }
      }
      if (strict) break;
      cell kk = k;
      if (type_of(&kk) == TYPE_WORD || type_of(&kk) == TYPE_LIT_WORD ||
          type_of(&kk) == TYPE_GET_WORD)
        set_type(&kk, TYPE_SET_WORD);
      found = hashtable::get_next(y.data3, &kk, &st, key_op);
    }
    if (!matched) return 1;
  }
  return 0;
}

// ---- foreach, set and extend --------------------------------------------------------------

bool set_many(cell* m, const cell* words) {
  cell w = *words;
  collector::root_guard wg(&w);
  u32 n = series::buffer(&w)->used_units() - std::min(w.data1, series::buffer(&w)->used_units());
  for (u32 i = 0; i < n; i++) {
    cell c = series::buffer(&w)->cells()[w.data1 + i];
    if (!word_key_q(type_of(&c))) fire("script", "invalid-arg", &c);
  }
  while (m->data1 + 1 < cell_count(m) && removed_q(m, m->data1)) m->data1 += 2;
  bool found = m->data1 + 1 < cell_count(m);
  cell key = found ? shown_key(read_pair(m, m->data1)) : none_value;
  cell value = found ? *read_pair(m, m->data1 + 1) : none_value;
  collector::root_guard kg(&key), vg(&value);
  for (u32 i = 0; i < n; i++) {
    cell word = series::buffer(&w)->cells()[w.data1 + i];
    cell v = i == 0 ? key : i == 1 ? value : none_value;
    _context::set(&word, &v);
  }
  return found;
}

cell spread_at(const cell* m, u32 index) {
  u32 seen = 0;
  for (u32 i = 0; i + 1 < cell_count(m); i += 2) {
    if (removed_q(m, i)) continue;
    if (seen == index) return shown_key(read_pair(m, i));
    if (seen + 1 == index) return *read_pair(m, i + 1);
    seen += 2;
  }
  return none_value;
}

void extend(cell* map_in, const cell* spec_in, bool case_sensitive) {
  cell m = *map_in, spec = *spec_in;
  collector::root_guard mg(&m), sg(&spec);
  cell src = spec;
  collector::root_guard cg(&src);
  if (type_of(&spec) == TYPE_MAP) {
    src = body_of(&spec);
  } else {
    check_even(&spec);
  }
  u32 h = std::min(src.data1, series::buffer(&src)->used_units());
  u32 n = series::buffer(&src)->used_units() - h;
  // Room for every pair at once, so the block grows a single time.
  series_buffer* b = pairs(&m);
  u64 need = memory::checked_size(u64{b->used_units()} + n, 16);
  if (u64{b->offset} + need > b->end_offset()) memory::expand_series(b, need);
  i32 op = case_sensitive ? compare_op::STRICT_EQUAL : compare_op::EQUAL;
  for (u32 i = 0; i + 1 < n; i += 2) {
    cell k = series::buffer(&src)->cells()[h + i];
    cell v = series::buffer(&src)->cells()[h + i + 1];
    collector::root_guard kg(&k), vg(&v);
    clear_new_line(&k);
    set_pair(&m, &k, &v, op, nullptr);
  }
}

// ---- Registration -------------------------------------------------------------------------

void init() {
  action_row row;
  row.make = make;
  row.to = to;
  row.reflect = reflect;
  row.form = form;
  row.mold = mold;
  row.eval_path = eval_path;
  row.compare = compare;
  row.clear = clear;
  row.copy = copy;
  row.find = find;
  row.length_q = length_q;
  row.put = put;
  row.remove = remove;
  row.select = select;
  datatype::register_(TYPE_MAP, 0, "map!", row);
}

}  // namespace vyr::map
