// block!: cell storage, constructors, make/to, mold/form layout, compare, editing,
// searching, sorting and the set operations. Values read from a buffer are copied into
// locals before anything that may allocate; positions are indexes, never addresses, across
// allocations and owner checks.
#include "runtime/datatypes/block.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <unordered_map>
#include <vector>

#include "runtime/collector.h"
#include "runtime/cycles.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/hash.h"
#include "runtime/datatypes/image.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/map.h"
#include "runtime/datatypes/object.h"
#include "runtime/datatypes/typeset.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/series.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/string_actions.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/unset.h"
#include "runtime/datatypes/vector.h"
#include "runtime/datatypes/word.h"
#include "runtime/fire.h"
#include "runtime/hashtable.h"
#include "runtime/hooks.h"
#include "runtime/ownership.h"
#include "runtime/datatypes/actions.h"
#include "runtime/stack.h"
#include "runtime/sorting.h"
#include "runtime/word_tables.h"

namespace vyr::block {

load_fn load_hook = nullptr;
call_compare_fn sort_call_hook = nullptr;

namespace {

using series::block_like_q;

i64 total_of(const cell* v) { return series::buffer(v)->used_units(); }
cell* cell_at(const cell* v, i64 i) { return series::buffer(v)->cells() + i; }

i64 clipped(const cell* v) { return std::clamp<i64>(series::head_index(v), 0, total_of(v)); }

[[noreturn]] void not_done() { fire("internal", "not-done"); }

[[noreturn]] void bad_make_arg(u32 type, const cell* spec) {
  datatype::fire_with_type("bad-make-arg", type, spec);
}

i32 clamp32(i64 v) { return static_cast<i32>(std::clamp<i64>(v, INT32_MIN, INT32_MAX)); }

// Room for `more` cells at the tail of the block whose node is given; returns the buffer.
series_buffer* reserve(u32 node, u64 more, bool doubling) {
  series_buffer* b = buffer_of(node);
  u64 need = memory::checked_size(u64{b->used_units()} + more, 16);
  if (u64{b->offset} + need > b->end_offset()) {
    u64 want = doubling ? std::min<u64>(need * 2, SERIES_MAX_BYTES) : need;
    if (want < need) want = need;
    memory::expand_series(b, std::max<u64>(want, 16));
    b = buffer_of(node);
  }
  return b;
}

// Opens a gap of n cells at index `at`. Nearer the head than the tail, the cells before
// `at` move down into free room before the head, which a growing buffer leaves for that
// (half its spare room), so inserting at the head again and again is not quadratic.
cell* open_gap(u32 node, i64 at, i64 n, bool doubling) {
  series_buffer* b = buffer_of(node);
  u64 used = b->used_units();
  if (doubling && static_cast<u64>(at) * 2 < used) {
    u64 before = (b->offset - b->data_offset()) / 16;
    if (before < static_cast<u64>(n)) {
      u64 need = memory::checked_size(used + static_cast<u64>(n), 16);
      memory::expand_series(b, std::min<u64>(need * 2, SERIES_MAX_BYTES));
      b = buffer_of(node);
      u64 spare = (b->end_offset() - b->tail) / 16;
      u64 shift = std::max<u64>(spare / 2, static_cast<u64>(n));
      if (shift <= spare) {
        std::memmove(b->cells() + shift, b->cells(), used * 16);
        b->offset += static_cast<u32>(shift * 16);
        b->tail += static_cast<u32>(shift * 16);
      }
      before = (b->offset - b->data_offset()) / 16;
    }
    if (before >= static_cast<u64>(n)) {
      cell* old_head = b->cells();
      b->offset -= static_cast<u32>(n * 16);
      std::memmove(b->cells(), old_head, static_cast<size_t>(at) * 16);
      return b->cells() + at;
    }
  }
  b = reserve(node, static_cast<u64>(n), doubling);
  cell* p = b->cells() + at;
  std::memmove(p + n, p, static_cast<size_t>(b->tail - b->offset) - static_cast<size_t>(at) * 16);
  b->tail += static_cast<u32>(n * 16);
  return p;
}

void cut(const cell* v, i64 at, i64 n) {
  series_buffer* b = series::buffer(v);
  i64 total = b->used_units();
  n = std::clamp<i64>(n, 0, total - at);
  cell* p = b->cells();
  // Nearer the head than the tail, the cells before the cut move up instead, and the room
  // they leave is room before the head.
  if (at < total - at - n) {
    std::memmove(p + n, p, static_cast<size_t>(at) * 16);
    b->offset += static_cast<u32>(n * 16);
    return;
  }
  std::memmove(p + at, p + at + n, static_cast<size_t>(total - at - n) * 16);
  b->tail -= static_cast<u32>(n * 16);
}

bool number_q(u32 t) { return t == TYPE_INTEGER || t == TYPE_FLOAT || t == TYPE_PERCENT; }
bool path_kind_q(u32 t) { return t >= TYPE_PATH && t <= TYPE_GET_PATH; }

// A deep copy of a series value; block-like values met again raise no-cycle.
cell deep_copied(const cell* value) {
  cell v = *value;
  collector::root_guard keep(&v);
  u32 t = type_of(&v);
  if (!series::series_q(t)) return v;
  cell out;
  if (t == TYPE_IMAGE) return *image::copy(&v, &out, nullptr, false, nullptr);
  if (block_like_q(t)) {
    if (cycles::find(v.data2)) {
      cycles::reset();
      fire("internal", "no-cycle");
    }
    cycles::guard g(v.data2);
    series::copy(&v, &out, nullptr, false, nullptr);
    collector::root_guard keep_out(&out);
    if (t == TYPE_HASH) set_type(&out, TYPE_BLOCK);
    deep_copy_cells(&out);
    return out;
  }
  series::copy(&v, &out, nullptr, false, nullptr);
  return out;
}

}  // namespace

// ---- Buffer operations ------------------------------------------------------------------

i32 rs_length_q(const cell* value) {
  return static_cast<i32>(total_of(value) - series::head_index(value));
}

bool rs_next(cell* value) {
  i64 total = total_of(value);
  if (series::head_index(value) < total) value->data1++;
  return series::head_index(value) >= total;
}

cell* rs_head(cell* value) {
  i64 total = total_of(value);
  if (series::head_index(value) > total) value->data1 = static_cast<u32>(total);
  return cell_at(value, std::max<i64>(series::head_index(value), 0));
}

cell* rs_tail(const cell* value) { return series::buffer(value)->tail_cell(); }

bool rs_tail_q(const cell* value) { return series::head_index(value) == total_of(value); }

cell* rs_abs_at(const cell* value, u32 index) { return cell_at(value, index); }

void rs_clear(cell* value) {
  series_buffer* b = series::buffer(value);
  b->tail = b->offset + static_cast<u32>(clipped(value) * 16);
}

void rs_truncate(cell* value, u32 index) {
  series_buffer* b = series::buffer(value);
  if (index < b->used_units()) b->tail = b->offset + index * 16;
}

void rs_remove_last(cell* value) {
  series_buffer* b = series::buffer(value);
  if (b->tail == b->offset) return;
  b->tail -= 16;
  if (series::head_index(value) > total_of(value)) value->data1 = b->used_units();
}

cell* rs_append(cell* value, const cell* item) {
  cell it = *item;
  collector::root_guard keep(&it);
  series_buffer* b = series::buffer(value);
  cell* c = memory::alloc_tail_cell(b);
  *c = it;
  if (type_of(value) == TYPE_HASH) {
    i64 at = total_of(value) - 1;
    hash::edited(value, at, 0, 1);
    c = cell_at(value, at);
  }
  return c;
}

void rs_append_block(cell* value, const cell* other) {
  cell o = *other;
  collector::root_guard keep(&o);
  i64 h = clipped(&o);
  i64 n = total_of(&o) - h;
  if (n <= 0) return;
  series_buffer* b = reserve(value->data2, static_cast<u64>(n), true);
  std::memcpy(b->tail_cell(), cell_at(&o, h), static_cast<size_t>(n) * 16);
  b->tail += static_cast<u32>(n * 16);
  hash::edited(value, total_of(value) - n, 0, n);
}

const cell* rs_select(const cell* value, const cell* key) {
  cell k = *key;
  i64 total = total_of(value);
  for (i64 i = clipped(value); i < total; i++) {
    cell c = *cell_at(value, i);
    if (actions::compare_value(&k, &c, compare_op::FIND) == 0)
      return i + 1 < total_of(value) ? cell_at(value, i + 1) : &none_value;
  }
  return &none_value;
}

i32 remove_value(cell* value, const cell* item, bool from_start) {
  cell k = *item;
  i64 total = total_of(value);
  for (i64 i = from_start ? 0 : clipped(value); i < total; i++) {
    cell c = *cell_at(value, i);
    if (actions::compare_value(&k, &c, compare_op::FIND) == 0) {
      cut(value, i, 1);
      hash::edited(value, i, 1, 0);
      return i == 0 ? 1 : 0;
    }
  }
  return 0;
}

cell* clone(const cell* value, bool deep, bool any) {
  cell v = *value;
  collector::root_guard keep(&v);
  cell* out = stack::push_slot();
  out->header = TYPE_UNSET;
  series::copy(&v, out, nullptr, false, nullptr);
  if (!deep) return out;
  if (cycles::find(v.data2)) {
    cycles::reset();
    fire("internal", "no-cycle");
  }
  cycles::guard g(v.data2);
  for (i64 i = 0; i < total_of(out); i++) {
    u32 t = type_of(cell_at(out, i));
    if (t == TYPE_BLOCK || (any && (t == TYPE_PAREN || path_kind_q(t)))) {
      cell inner = *cell_at(out, i);
      clone(&inner, true, any);
      *cell_at(out, i) = *stack::last_pushed();
      stack::pop_cells(1);
    }
  }
  return out;
}

void deep_copy_cells(const cell* block) {
  cell b = *block;
  collector::root_guard keep(&b);
  for (i64 i = 0; i < total_of(&b); i++) {
    cell c = *cell_at(&b, i);
    if (!series::series_q(type_of(&c))) continue;
    cell copy = deep_copied(&c);
    *cell_at(&b, i) = copy;  // nothing allocates between the copy and this store
  }
}

void deep_copy_cell(cell* c) {
  cell copy = deep_copied(c);
  *c = copy;
}

void deep_copy_types(const cell* block, i32 first, i32 count, i32 step, const cell* types) {
  if (type_of(types) != TYPE_DATATYPE) not_done();  // typeset! selection: its own module
  cell b = *block;
  collector::root_guard keep(&b);
  if (step < 1) step = 1;
  for (i64 i = first; i < i64{first} + count && i < total_of(&b); i += step) {
    cell c = *cell_at(&b, i);
    if (type_of(&c) != types->data1 || !series::series_q(type_of(&c))) continue;
    cell copy = deep_copied(&c);
    *cell_at(&b, i) = copy;
  }
}

void insert_value(cell* value, const cell* item, bool at_start, bool advance) {
  cell it = *item;
  collector::root_guard keep(&it);
  i64 pos = at_start ? 0 : clipped(value);
  u32 node = value->data2;
  cell* p = open_gap(node, pos, 1, true);
  *p = it;
  hash::edited(value, pos, 0, 1);
  if (advance) value->data1 = static_cast<u32>(pos + 1);
}

void insert_block(cell* value, const cell* other) {
  cell o = *other;
  collector::root_guard keep(&o);
  for (i64 i = clipped(&o); i < total_of(&o); i++) {
    cell c = *cell_at(&o, i);
    insert_value(value, &c, false, true);
  }
}

void insert_arg() { insert_value(stack::arguments - 1, stack::arguments, false, true); }
void append_arg() { rs_append(stack::arguments - 1, stack::arguments); }
void append_result(cell* block) { rs_append(block, stack::arguments); }

const cell* select_word(const cell* value, const cell* w, bool case_sensitive) {
  u32 sym = w->data2;
  u32 canon = symbol::resolve(sym);
  i64 total = total_of(value);
  for (i64 i = clipped(value); i < total; i++) {
    const cell* c = cell_at(value, i);
    if (!word::any_word_q(type_of(c))) continue;
    bool hit = case_sensitive ? c->data2 == sym : symbol::resolve(c->data2) == canon;
    if (hit) return i + 1 < total ? cell_at(value, i + 1) : nullptr;
  }
  return nullptr;
}

// ---- Constructors -------------------------------------------------------------------------

cell* make_at(cell* c, i32 n) {
  u32 node = memory::alloc_cells(static_cast<u32>(std::max(n, 1)));
  *c = cell{TYPE_BLOCK, 0, node, 0};
  return c;
}

cell* make_fixed_at(cell* c, i32 n, bool unset_cells) {
  u32 units = static_cast<u32>(std::max(n, 1));
  u32 node = memory::alloc_fixed_series(units, 16, 0);
  if (unset_cells) {
    series_buffer* b = buffer_of(node);
    for (i32 i = 0; i < n; i++) b->cells()[i] = cell{TYPE_UNSET, 0, 0, 0};
    b->tail = b->offset + static_cast<u32>(std::max(n, 0)) * 16;
  }
  *c = cell{TYPE_BLOCK, 0, node, 0};
  return c;
}

namespace {
cell* place(const cell* parent, const cell& made) {
  cell m = made;
  collector::root_guard keep(&m);
  if (!parent) {
    boot::root = m;
    return &boot::root;
  }
  series_buffer* b = series::buffer(parent);
  cell* c = memory::alloc_tail_cell(b);
  *c = m;
  return c;
}
}  // namespace

cell* make_fixed(const cell* parent, i32 n) {
  cell m;
  make_fixed_at(&m, n, false);
  return place(parent, m);
}

cell* make_in(const cell* parent, i32 n) {
  cell m;
  make_at(&m, n);
  return place(parent, m);
}

cell* push(const cell* value) { return stack::push_copy(value); }

cell* push_only_entry(i32 n) {
  cell* c = stack::push_slot();
  c->header = TYPE_UNSET;
  return make_at(c, n);
}

// ---- make and to --------------------------------------------------------------------------

namespace {
// Room from a size value: integer! as it is, float! truncated when within the integer range;
// fewer than 1 gives 1. The size itself is checked by the allocator's 64-bit arithmetic.
i32 size_of_spec(const cell* spec, u32 type) {
  if (type_of(spec) == TYPE_INTEGER) return std::max(integer::get(spec), 1);
  double d = cell_float(spec);
  if (!(d > -2147483649.0 && d < 2147483648.0)) bad_make_arg(type, spec);
  return std::max(static_cast<i32>(std::trunc(d)), 1);
}

const cell* result_of(cell* made, u32 type) {
  set_type(made, type);
  return stack::set_result(made);
}

const cell* shallow_clone(const cell* spec, u32 type) {
  cell out;
  series::copy(spec, &out, nullptr, false, nullptr);
  clear_new_line(&out);
  return result_of(&out, type);
}
}  // namespace

namespace {
// The block of an object!'s or map!'s body, a vector!'s elements or a typeset!'s datatypes.
const cell* body_of(const cell* spec, u32 type) {
  cell s = *spec, out{TYPE_NONE, 0, 0, 0};
  collector::root_guard keep(&s), keep_out(&out);
  switch (type_of(&s)) {
    case TYPE_MAP: out = map::body_of(&s); break;
    case TYPE_TYPESET: out = cell{TYPE_BLOCK, 0, typeset::to_block(&s), 0}; break;
    case TYPE_OBJECT: out = *object::reflect(&s, words::sym_body); break;
    default: out = vector::to_block(&s); break;
  }
  return result_of(&out, type);
}
}  // namespace

const cell* make(const cell*, const cell* spec, u32 type) {
  cell s = *spec;
  collector::root_guard keep(&s);
  u32 t = type_of(&s);
  if (block_like_q(t)) return shallow_clone(&s, type);
  if (t == TYPE_INTEGER || t == TYPE_FLOAT || (t == TYPE_PERCENT && path_kind_q(type))) {
    cell out;
    make_at(&out, size_of_spec(&s, type));
    return result_of(&out, type);
  }
  if (t == TYPE_OBJECT || t == TYPE_MAP || t == TYPE_VECTOR) return body_of(&s, type);
  bad_make_arg(type, &s);
}

const cell* to(const cell*, const cell* spec, u32 type) {
  cell s = *spec;
  collector::root_guard keep(&s);
  u32 t = type_of(&s);
  if (block_like_q(t)) return shallow_clone(&s, type);
  if (t == TYPE_OBJECT || t == TYPE_MAP || t == TYPE_VECTOR || t == TYPE_TYPESET) {
    if (!path_kind_q(type) || t == TYPE_VECTOR) return body_of(&s, type);
    // A path of that single value.
  } else if (t == TYPE_STRING) {
    if (!load_hook) not_done();
    cell out{TYPE_NONE, 0, 0, 0};
    collector::root_guard keep_out(&out);
    load_hook(&s, &out);
    return result_of(&out, type);
  }
  cell out;
  make_at(&out, 1);
  collector::root_guard keep_out(&out);
  rs_append(&out, &s);
  clear_new_line(cell_at(&out, 0));
  return result_of(&out, type);
}

// ---- mold and form ------------------------------------------------------------------------

namespace {
i32 indent_text(cell* out, i32 indent, i32 budget) {
  for (i32 i = 0; i < indent; i++) budget = datatype::append_text(out, "    ", budget);
  return budget;
}

// The last character of the text, or -1 when it is empty.
i64 last_char(const cell* out) {
  series_buffer* b = buffer_of(out->data2);
  if (b->tail == b->offset) return -1;
  u32 unit = b->unit();
  return string::get_char(b->tail_ptr() - unit, unit);
}
}  // namespace

i32 mold_body(const cell* value, cell* out, bool only, bool all, bool flat,
              const cell* part, i32 budget, i32 indent, bool* stopped) {
  cell v = *value;
  collector::root_guard keep(&v);
  cycles::guard g(v.data2);
  i64 h = clipped(&v);
  bool opened = false;
  for (i64 i = h; i < total_of(&v); i++) {
    if (part && budget < 1) {
      *stopped = true;
      return budget;
    }
    cell c = *cell_at(&v, i);
    bool first = i == h;
    if (!flat && (c.header & HEADER_NEW_LINE)) {
      if (first && !only) {
        indent++;
        opened = true;
      }
      if (!(first && only)) budget = datatype::append_text(out, "\n", budget);
      budget = indent_text(out, indent, budget);
    } else if (!first) {
      budget = datatype::append_text(out, " ", budget);
    }
    budget = actions::mold(&c, out, false, all, flat, part, budget, indent);
  }
  if (opened) {
    indent--;
    budget = datatype::append_text(out, "\n", budget);
    budget = indent_text(out, indent, budget);
  }
  return budget;
}

i32 mold(const cell* value, cell* out, bool only, bool all, bool flat, const cell* part,
         i32 budget, i32 indent) {
  if (cycles::find(value->data2)) return datatype::append_text(out, "[...]", budget);
  if (!only) budget = datatype::append_text(out, "[", budget);
  bool stopped = false;
  budget = mold_body(value, out, only, all, flat, part, budget, indent, &stopped);
  if (!stopped && !only) budget = datatype::append_text(out, "]", budget);
  return budget;
}

i32 form(const cell* value, cell* out, const cell* part, i32 budget) {
  cell v = *value;
  collector::root_guard keep(&v);
  if (cycles::find(v.data2)) return budget;
  cycles::guard g(v.data2);
  for (i64 i = clipped(&v); i < total_of(&v); i++) {
    if (part && budget < 1) break;
    cell c = *cell_at(&v, i);
    budget = actions::form(&c, out, part, budget);
    if (i + 1 < total_of(&v)) {
      i64 last = last_char(out);
      if (last != '\t' && last != '\n' && last != '\r')
        budget = datatype::append_text(out, " ", budget);
    }
  }
  return budget;
}

// ---- compare ------------------------------------------------------------------------------

i32 compare(const cell* a, const cell* b, i32 op) {
  u32 ta = type_of(a), tb = type_of(b);
  if (ta != tb) {
    bool paths = (ta == TYPE_PATH || ta == TYPE_LIT_PATH) && (tb == TYPE_PATH || tb == TYPE_LIT_PATH);
    if (!((op == 10 || op == 11) && paths)) return COMPARE_NOT_COMPARABLE;
  }
  if (a->data2 == b->data2 && a->data1 == b->data1) return 0;
  if (op == compare_op::SAME) return -1;
  if (cycles::find(a->data2)) return cycles::find(b->data2) ? 0 : -1;
  cell x = *a, y = *b;
  collector::root_guard kx(&x);
  collector::root_guard ky(&y);
  i64 lx = total_of(&x) - clipped(&x), ly = total_of(&y) - clipped(&y);
  bool equality = op == 0 || op == 1 || op == 2 || op == 10 || op == 11 || op == 12;
  if (lx != ly && equality) return 1;
  // An empty block orders below a non-empty one, so lesser? and greater? agree.
  if (lx == 0) return ly == 0 ? 0 : -1;
  cycles::guard gx(x.data2);
  cycles::guard gy(y.data2);
  i64 n = std::min(lx, ly);
  i64 hx = clipped(&x), hy = clipped(&y);
  for (i64 i = 0; i < n; i++) {
    if (i >= total_of(&x) - hx || i >= total_of(&y) - hy) break;
    cell p = *cell_at(&x, hx + i), q = *cell_at(&y, hy + i);
    u32 tp = type_of(&p), tq = type_of(&q);
    bool comparable = tp == tq || (word::any_word_q(tp) && word::any_word_q(tq)) ||
                      (number_q(tp) && number_q(tq));
    if (!comparable) return tp < tq ? -1 : 1;
    i32 r = actions::compare_raw(&p, &q, op);
    if (r != 0) return r;
  }
  return lx < ly ? -1 : lx > ly ? 1 : 0;
}

// ---- append, insert, change ---------------------------------------------------------------

namespace {
// The cells an edit writes: a run of `n` cells from `start` of `source` (a block-like value
// without /only), or the single value itself.
struct source_run {
  bool run = false;
  i64 start = 0, n = 1;
};

source_run source_of(const cell* value, bool only, i32 part) {
  source_run s;
  if (block_like_q(type_of(value)) && !only) {
    s.run = true;
    s.start = clipped(value);
    s.n = total_of(value) - s.start;
  }
  if (part != -1) s.n = std::min<i64>(s.n, std::max(part, 0));
  return s;
}

// Copies the run into a heap scratch so that writes into its own buffer cannot clobber it.
void gather(const cell* value, const source_run& s, std::vector<cell>& out) {
  if (!s.run) {
    out.assign(1, *value);
    return;
  }
  const cell* p = cell_at(value, s.start);
  out.assign(p, p + s.n);
}
}  // namespace

bool append_in_place(cell* series, const cell* value) {
  if (block_like_q(type_of(value)) || series::owner_check != &ownership::check) return false;
  series_buffer* b = buffer_of(series->data2);
  if ((b->flags & SERIES_OWNED) || u64{b->tail} + sizeof(cell) > b->end_offset()) return false;
  *b->tail_cell() = *value;
  b->tail += sizeof(cell);
  series->data1 = 0;
  return true;
}

const cell* append(cell* series, const cell* value, i32 part, bool only, i32 dup,
                   bool append_flag) {
  cell s = *series, v = *value;
  collector::root_guard ks(&s);
  collector::root_guard kv(&v);
  if (!append_flag) s.data1 = static_cast<u32>(clipped(&s));
  i64 copies = std::max(dup, 0);
  source_run src = source_of(&v, only, part);
  i64 added = src.n * copies;
  memory::checked_size(static_cast<u64>(added), 16);
  i64 pos = append_flag ? total_of(&s) : clipped(&s);
  const cell* word = append_flag ? &words::word_append : series::word_insert();
  bool owned = series::notify(&s, word, &v, clamp32(pos), clamp32(added));
  if (owned) {
    // The handler may have changed either series: plan again from what is there now.
    src = source_of(&v, only, part);
    added = src.n * copies;
    pos = append_flag ? total_of(&s) : clipped(&s);
  }
  if (added > 0) {
    std::vector<cell> cells;
    gather(&v, src, cells);
    collector::root_guard kc(cells.data(), static_cast<u32>(cells.size()));
    cell* p = open_gap(s.data2, pos, added, copies < 5);
    std::memcpy(p, cells.data(), static_cast<size_t>(src.n) * 16);
    memory::replicate(reinterpret_cast<char*>(p), static_cast<i32>(src.n * 16),
                      static_cast<i32>(copies));
    hash::edited(&s, pos, 0, added);
  }
  if (owned) series::notify(&s, append_flag ? &words::word_appended : &words::word_inserted,
                            &v, clamp32(pos), clamp32(added));
  s.data1 = append_flag ? 0 : static_cast<u32>(std::min(pos + added, total_of(&s)));
  return stack::set_result(&s);
}

const cell* change(cell* series, const cell* value, i32 part, bool only, i32 dup) {
  cell s = *series, v = *value;
  collector::root_guard ks(&s);
  collector::root_guard kv(&v);
  i64 copies = std::max(dup, 0);
  source_run src;
  i64 pos = 0, written = 0, replaced = 0;
  auto plan = [&] {
    src = source_of(&v, only, -1);
    written = src.n * copies;
    memory::checked_size(static_cast<u64>(written), 16);
    pos = clipped(&s);
    i64 remaining = total_of(&s) - pos;
    replaced = part == -1 ? std::min(written, remaining)
                          : std::clamp<i64>(part, 0, remaining);
  };
  plan();
  // Told before with the cells that go, after with the cells that came.
  bool owned = series::notify(&s, &words::word_change, &v, clamp32(pos), clamp32(replaced));
  if (owned) plan();
  std::vector<cell> cells;
  gather(&v, src, cells);
  collector::root_guard kc(cells.data(), static_cast<u32>(cells.size()));
  i64 delta = written - replaced;
  if (delta > 0) {
    open_gap(s.data2, pos + replaced, delta, copies < 5);
  } else if (delta < 0) {
    cut(&s, pos + written, -delta);
  }
  if (written > 0) {
    cell* p = cell_at(&s, pos);
    std::memcpy(p, cells.data(), static_cast<size_t>(src.n) * 16);
    memory::replicate(reinterpret_cast<char*>(p), static_cast<i32>(src.n * 16),
                      static_cast<i32>(copies));
  }
  hash::edited(&s, pos, replaced, written);
  if (owned) series::notify(&s, &words::word_changed, &v, clamp32(pos), clamp32(written));
  s.data1 = static_cast<u32>(std::min(pos + written, total_of(&s)));
  return stack::set_result(&s);
}

// ---- copy and take ------------------------------------------------------------------------

const cell* copy(const cell* value, cell* dest, const cell* part, bool deep,
                 const cell* types) {
  cell v = *value;
  collector::root_guard kv(&v);
  if (types && type_of(types) != TYPE_DATATYPE && type_of(types) != TYPE_TYPESET) {
    datatype::fire_expect_arg("copy", type_of(types), "types");
  }
  cell out;
  series::copy(&v, &out, part, false, nullptr);
  collector::root_guard ko(&out);
  if (deep || types) {
    if (type_of(&out) == TYPE_HASH) set_type(&out, TYPE_BLOCK);
    if (cycles::find(v.data2)) {
      cycles::reset();
      fire("internal", "no-cycle");
    }
    cycles::guard g(v.data2);
    if (types) {
      deep_copy_types(&out, 0, static_cast<i32>(total_of(&out)), 1, types);
    } else {
      deep_copy_cells(&out);
    }
  }
  *dest = out;
  return dest;
}

const cell* take(cell* series, const cell* part, bool deep, bool last) {
  return series::take(series, part, deep, last);
}

// ---- find, select, put --------------------------------------------------------------------

namespace {
struct match {
  i64 at = -1;   // index of the match, -1 for none
  i64 size = 1;  // cells matched
};

bool cells_equal(const cell* a, const cell* b, i32 op) {
  cell p = *a, q = *b;
  return actions::compare_value(&p, &q, op) == 0;
}

// A cell of the block for reading: the stamp stays as it is.
const cell* read_at(const cell* v, i64 i) { return read_buffer(v->data2)->cells() + i; }

// The equality find and select ask of each element (`op` is find's, strict-equal? or
// same?), with what the compare of word!, integer! and one-byte text answers decided here
// from the cells: most searched blocks hold words, integers and strings, and the dispatch
// costs more than the answer. Any other element, or a type whose compare is not the
// built-in one, asks the compare action. The element is the first operand, as
// compare_value takes it.
struct element_equal {
  cell v;           // the value searched for
  u32 vt;           // its type
  u32 canonical;    // its symbol's canonical id when it is a word
  i32 op;
  compare_fn word_cmp = datatype::entry_of<slot::compare>(TYPE_WORD);
  compare_fn int_cmp = datatype::entry_of<slot::compare>(TYPE_INTEGER);
  compare_fn text_cmp = datatype::entry_of<slot::compare>(TYPE_STRING);

  element_equal(const cell* value, i32 o) : v(*value), vt(type_of(value)), op(o) {
    canonical = word::kind_q(vt) ? symbol::resolve(v.data2) : 0;
    if (word_cmp != &word::compare) word_cmp = nullptr;
    if (int_cmp != &integer::compare) int_cmp = nullptr;
    if (text_cmp != &string::compare) text_cmp = nullptr;
  }

  // 0 equal, 1 unequal, -1 when only the compare action can tell (`ask`).
  i32 quick(const cell* e) const {
    u32 et = type_of(e);
    compare_fn f = datatype::entry_of<slot::compare>(et);
    if (f == word_cmp && f) {
      if (!word::kind_q(vt) || (vt == TYPE_ISSUE && et != TYPE_ISSUE)) return 1;
      switch (op) {
        case compare_op::SAME:
          return e->data2 == v.data2 && e->data1 == v.data1 && et == vt ? 0 : 1;
        case compare_op::STRICT_EQUAL:
          return et == vt && e->data2 == v.data2 ? 0 : 1;
        case compare_op::FIND:
          return e->data2 == v.data2 || symbol::resolve(e->data2) == canonical ? 0 : 1;
        default:
          return -1;
      }
    }
    if (f == int_cmp && f) {
      // integer! equals an integer! by value and, under find's equality, a float! as
      // equal? would: that one asks the action.
      if (vt == TYPE_INTEGER) return e->data2 == v.data2 ? 0 : 1;
      if (vt != TYPE_FLOAT || op != compare_op::FIND) return 1;
    }
    if (f == text_cmp && f && et == vt) return hashtable::text_equal(e, &v, op);
    return f ? -1 : 1;
  }
  bool ask(const cell* e) const {
    cell p = *e, q = v;
    return actions::compare_value(&p, &q, op) == 0;
  }
};

// The first position from the head (the last with /last, the nearest before the head with
// /reverse, only the head with /match) at which `test` holds, every `step` cells up to
// `limit`; -1 when none.
template <class F>
i64 scan_positions(const find_args& o, i64 h, i64 limit, i64 total, i64 step, i64 size, F&& test) {
  if (o.last || o.reverse) {
    i64 from = o.reverse ? std::min(h - 1, total - size) : std::min(limit, total - size);
    if (o.match) return test(from) ? from : -1;
    for (i64 p = from; p >= 0; p -= step)
      if (test(p)) return p;
    return -1;
  }
  if (o.match) return h <= limit && test(h) ? h : -1;
  for (i64 p = h; p <= limit; p += step)
    if (test(p)) return p;
  return -1;
}

match find_in(const cell* s, const cell* value, const find_args& o) {
  match m;
  i64 total = total_of(s);
  i64 h = std::max<i64>(series::head_index(s), 0);
  if (total == 0 || (h >= total && !o.reverse)) return m;
  h = std::min(h, total);
  // Wildcards have no meaning for cells; never pretend they were honoured.
  if (o.any || o.with) not_done();
  i64 step = 1;
  if (o.skip) {
    if (type_of(o.skip) != TYPE_INTEGER) series::invalid_refine(&words::ref_skip, o.skip);
    step = integer::get(o.skip);
    if (step < 1) series::out_of_range(step);
  }
  i64 limit = total - 1;
  if (o.part) {
    if (type_of(o.part) == TYPE_INTEGER) {
      i64 c = integer::get(o.part);
      if (c < 1) return m;
      limit = std::min(h + c - 1, total - 1);
    } else if (type_of(o.part) == type_of(s) && o.part->data2 == s->data2) {
      limit = std::min<i64>(i64{series::head_index(o.part)} - 1, total - 1);
    } else {
      series::invalid_refine(&words::ref_part, o.part);
    }
  }
  cell v = *value;
  u32 vt = type_of(&v);
  bool by_type = !o.only && vt == TYPE_DATATYPE;
  if (!o.only && vt == TYPE_TYPESET) not_done();  // typeset! membership: its own module
  bool run = !o.only && block_like_q(vt);
  i64 vh = run ? clipped(&v) : 0;
  m.size = run ? total_of(&v) - vh : 1;
  i32 op = o.same ? compare_op::SAME : o.case_sensitive ? compare_op::STRICT_EQUAL
                                                         : compare_op::FIND;
  if (!o.part && !o.match && !by_type && !run && vt != TYPE_TYPESET) {
    bool usable = false;
    i64 at = hash::find_indexed(s, &v, op, step, o.last, o.reverse, &usable);
    if (usable) {
      m.at = at;
      return m;
    }
  }
  element_equal equal(&v, op);
  if (!by_type && !run && !o.match) {
    // One cell against the value, the commonest search, forward or (/last, /reverse)
    // backward: the buffer is fetched again only after the compare action ran (which may
    // allocate and so move it).
    bool back = o.last || o.reverse;
    i64 d = back ? -step : step;
    const series_buffer* b = read_buffer(s->data2);
    for (i64 p = back ? std::min(o.reverse ? h - 1 : limit, total - 1) : h;
         back ? p >= 0 : p <= limit; p += d) {
      if (p >= i64(b->used_bytes() >> 4)) continue;
      i32 r = equal.quick(b->cells() + p);
      if (r < 0) {
        r = equal.ask(b->cells() + p) ? 0 : 1;
        b = read_buffer(s->data2);
      }
      if (r == 0) {
        m.at = p;
        return m;
      }
    }
    return m;
  }
  m.at = scan_positions(o, h, limit, total, step, m.size, [&](i64 p) {
    if (p < 0 || p + m.size > total_of(s)) return false;
    if (by_type) return type_of(read_at(s, p)) == v.data1;
    if (!run) {
      i32 r = equal.quick(read_at(s, p));
      return r < 0 ? equal.ask(read_at(s, p)) : r == 0;
    }
    for (i64 j = 0; j < m.size; j++) {
      if (j >= total_of(&v) - vh || p + j >= total_of(s)) return false;
      if (!cells_equal(read_at(s, p + j), read_at(&v, vh + j), op)) return false;
    }
    return true;
  });
  return m;
}
}  // namespace

const cell* find(cell* series, const cell* value, const find_args& opts) {
  cell s = *series;
  collector::root_guard ks(&s);
  match m = find_in(&s, value, opts);
  if (m.at < 0) return &none_value;
  i64 at = m.at;
  if (opts.tail) {
    i64 step = opts.skip ? integer::get(opts.skip) : 1;
    at = std::min(m.at + std::max(step, m.size), total_of(&s));
  }
  s.data1 = static_cast<u32>(at);
  return stack::set_result(&s);
}

const cell* select(cell* series, const cell* value, const find_args& opts) {
  cell s = *series;
  collector::root_guard ks(&s);
  find_args o = opts;
  o.tail = o.match = false;
  match m = find_in(&s, value, o);
  if (m.at < 0) return &none_value;
  i64 after = m.at + m.size;
  if (after >= total_of(&s)) return &none_value;
  return stack::set_result(read_at(&s, after));
}

const cell* put(cell* series, const cell* key, const cell* value, bool case_sensitive) {
  cell s = *series, k = *key, v = *value;
  collector::root_guard ks(&s);
  collector::root_guard kk(&k);
  collector::root_guard kv(&v);
  find_args o;
  o.only = true;
  o.case_sensitive = case_sensitive;
  cell from_head = s;
  match m = find_in(&from_head, &k, o);
  // Told at the cells that change: the value after the key (none when the key is last),
  // or the tail where a missing key and its value are appended.
  auto concerned = [&](i64& at, i64& n) {
    i64 total = total_of(&s);
    at = m.at < 0 ? total : std::min(m.at + 1, total);
    n = at < total ? 1 : 0;
  };
  i64 at = 0, n = 0;
  concerned(at, n);
  bool owned = series::notify(&s, &words::word_put, &v, clamp32(at), clamp32(n));
  if (owned) {
    m = find_in(&from_head, &k, o);
    concerned(at, n);
  }
  i64 before = total_of(&s);
  if (m.at < 0) {
    rs_append(&s, &k);
    rs_append(&s, &v);
  } else if (m.at + 1 < total_of(&s)) {
    // Equal is not enough: put stores the new value unless it is that very value.
    cell* old = cell_at(&s, m.at + 1);
    if (!cells_equal(old, &v, compare_op::SAME)) {
      *cell_at(&s, m.at + 1) = v;
      hash::edited(&s, m.at + 1, 1, 1);
    }
  } else {
    rs_append(&s, &v);
  }
  if (owned) series::notify(&s, &words::word_put_ed, &v, clamp32(at), clamp32(n + total_of(&s) - before));
  return stack::set_result(&v);
}

// ---- sort ---------------------------------------------------------------------------------

namespace {
struct sort_state {
  i32 op;
  bool reverse, all;
  i64 size;
  i64 column;  // 0-based cell of the record compared (without /all)
  cell fn;     // function! comparator, or none!
};

i32 order_cells(const cell* a, const cell* b, i32 op) {
  if (type_of(a) == TYPE_INTEGER && type_of(b) == TYPE_INTEGER) {
    // The commonest sort, without the dispatch (the answer of integer!'s compare).
    i32 x = i32(a->data2), y = i32(b->data2);
    return x < y ? -1 : x > y ? 1 : 0;
  }
  cell p = *a, q = *b;
  i32 r = actions::compare_value(&p, &q, op);
  if (r == COMPARE_NOT_COMPARABLE) {
    u32 tp = type_of(&p), tq = type_of(&q);
    r = tp < tq ? -1 : tp > tq ? 1 : 0;
  }
  return r;
}

i32 sort_compare(const void* ra, const void* rb, uintptr_t word1, uintptr_t) {
  auto* k = reinterpret_cast<const sort_state*>(word1);
  const cell* a = static_cast<const cell*>(ra);
  const cell* b = static_cast<const cell*>(rb);
  if (k->reverse) std::swap(a, b);
  if (type_of(&k->fn) != TYPE_NONE) {
    if (k->all && k->size > 1) {
      // Two blocks holding the records; the records are rooted by the sort's guard.
      cell x, y;
      make_at(&x, static_cast<i32>(k->size));
      collector::root_guard kx(&x);
      make_at(&y, static_cast<i32>(k->size));
      collector::root_guard ky(&y);
      for (i64 i = 0; i < k->size; i++) rs_append(&x, a + i);
      for (i64 i = 0; i < k->size; i++) rs_append(&y, b + i);
      return sort_call_hook(&k->fn, &x, &y);
    }
    return sort_call_hook(&k->fn, a, b);
  }
  if (k->all) {
    for (i64 i = 0; i < k->size; i++) {
      i32 r = order_cells(a + i, b + i, k->op);
      if (r) return r;
    }
    return 0;
  }
  return order_cells(a + k->column, b + k->column, k->op);
}
}  // namespace

const cell* sort(cell* series, const sort_args& opts) {
  cell s = *series;
  collector::root_guard ks(&s);
  if (total_of(&s) - clipped(&s) <= 0) return series;
  i64 start = 0, count = 0;
  auto plan = [&] {
    i64 h = clipped(&s);
    i64 len = total_of(&s) - h;
    start = h;
    count = len;
    if (opts.part) {
      count = series::part_count(&s, opts.part);
      if (count < 0) {
        start = std::max<i64>(h + count, 0);
        count = h - start;
      } else {
        count = std::min(count, len);
      }
    }
  };
  plan();
  sort_state k{opts.case_sensitive ? compare_op::CASE_SORT : compare_op::SORT,
               opts.reverse, opts.all, 1, 0, cell{TYPE_NONE, 0, 0, 0}};
  if (opts.skip) {
    if (type_of(opts.skip) != TYPE_INTEGER) series::invalid_refine(&words::ref_skip, opts.skip);
    k.size = integer::get(opts.skip);
    if (k.size < 1 || k.size > std::max<i64>(count, 1) || (count && count % k.size))
      series::invalid_refine(&words::ref_skip, opts.skip);
  } else if (opts.all) {
    fire("script", "bad-refines");
  }
  if (opts.compare) {
    u32 ct = type_of(opts.compare);
    if (ct == TYPE_INTEGER) {
      if (!opts.skip || opts.all) fire("script", "bad-refines");
      i64 n = integer::get(opts.compare);
      if (n < 1 || n > k.size) series::out_of_range(n);
      k.column = n - 1;
    } else if (ct == TYPE_FUNCTION) {
      if (!sort_call_hook) not_done();
      k.fn = *opts.compare;
    } else {
      series::invalid_refine(&words::ref_compare, opts.compare);
    }
  }
  collector::root_guard kf(&k.fn);
  bool owned = series::notify(&s, &words::word_sort, nullptr, clamp32(start), clamp32(count));
  if (owned) {
    plan();
    count -= count % k.size;
  }
  if (count / k.size < 2) {
    if (owned) series::notify(&s, &words::word_sorted, nullptr, clamp32(start), clamp32(count));
    return series;
  }
  // The comparator may run user code that allocates (moving the buffer) or edits the
  // series: sort a rooted copy on the C heap and write back what still fits.
  std::vector<cell> records(cell_at(&s, start), cell_at(&s, start) + count);
  collector::root_guard kr(records.data(), static_cast<u32>(records.size()));
  u32 width = static_cast<u32>(k.size * 16);
  u32 n = static_cast<u32>(count / k.size);
  if (opts.stable) {
    sorting::merge_sort(records.data(), n, width, reinterpret_cast<uintptr_t>(&k), 0,
                        sort_compare);
  } else {
    sorting::quick_sort(records.data(), n, width, reinterpret_cast<uintptr_t>(&k), 0,
                        sort_compare);
  }
  i64 room = std::clamp<i64>(total_of(&s) - start, 0, count);
  if (room > 0) std::memcpy(cell_at(&s, start), records.data(), static_cast<size_t>(room) * 16);
  if (owned) series::notify(&s, &words::word_sorted, nullptr, clamp32(start), clamp32(count));
  return series;
}

// ---- swap and trim ------------------------------------------------------------------------

const cell* swap(cell* series1, cell* series2) {
  if (!block_like_q(type_of(series2))) {
    cell v = *series2;
    fire("script", "invalid-arg", &v);
  }
  cell a = *series1, b = *series2;
  auto ready = [&] { return clipped(&a) < total_of(&a) && clipped(&b) < total_of(&b); };
  if (!ready()) return series1;
  bool owned = series::notify(&a, &words::word_swap, &b, clamp32(clipped(&a)), 1);
  owned = series::notify(&b, &words::word_swap, &a, clamp32(clipped(&b)), 1) || owned;
  if (owned && !ready()) return series1;
  std::swap(*cell_at(&a, clipped(&a)), *cell_at(&b, clipped(&b)));
  hash::edited(&a, clipped(&a), 1, 1);
  hash::edited(&b, clipped(&b), 1, 1);
  if (owned) {
    series::notify(&a, &words::word_swaped, &b, clamp32(clipped(&a)), 1);
    series::notify(&b, &words::word_swaped, &a, clamp32(clipped(&b)), 1);
  }
  return series1;
}

const cell* trim(cell* series, const trim_args& opts) {
  // Blocks only drop none! values; the text modes have no meaning here and are refused.
  if (opts.head || opts.tail || opts.auto_ || opts.lines || opts.all || opts.with)
    not_done();
  cell s = *series;
  i64 h = clipped(&s);
  bool owned = series::notify(&s, &words::word_trim, nullptr, clamp32(h),
                              clamp32(total_of(&s) - h));
  if (owned) h = clipped(&s);
  series_buffer* b = series::buffer(&s);
  cell* c = b->cells();
  i64 total = b->used_units(), j = h;
  for (i64 i = h; i < total; i++)
    if (type_of(c + i) != TYPE_NONE) c[j++] = c[i];
  b->tail = b->offset + static_cast<u32>(j * 16);
  if (owned) series::notify(&s, &words::word_trimmed, nullptr, clamp32(h), clamp32(j - h));
  return series;
}

// ---- eval-path ----------------------------------------------------------------------------

const cell* eval_path(cell* parent, cell* element, cell* value, const path_args& walk) {
  if (type_of(element) == TYPE_INTEGER) {
    i32 i = integer::get(element);
    if (!value) return series::pick(parent, i, element);
    series::poke_at(parent, i, value);
    return value;
  }
  if (!value) {
    if (type_of(element) == TYPE_WORD && type_of(parent) != TYPE_HASH) {
      const cell* r = select_word(parent, element, walk.case_sensitive);
      return r ? r : &none_value;
    }
    // Select /only, answering the cell in place: the result slot belongs to the walker.
    find_args o;
    o.only = true;
    o.case_sensitive = walk.case_sensitive;
    match m = find_in(parent, element, o);
    if (m.at < 0 || m.at + 1 >= total_of(parent)) return &none_value;
    return cell_at(parent, m.at + 1);
  }
  cell p = *parent, e = *element, v = *value;
  collector::root_guard kp(&p);
  collector::root_guard ke(&e);
  collector::root_guard kv(&v);
  find_args o;
  o.only = true;
  o.case_sensitive = walk.case_sensitive;
  match m = find_in(&p, &e, o);
  if (m.at < 0) {
    cell path = walk.path ? *walk.path : none_value;
    fire("script", "bad-path-set", &path, &e);
  }
  i64 index = m.at + 1 - clipped(&p) + 1;
  series::poke_at(&p, clamp32(index), &v);
  return value;
}

// ---- Set operations -----------------------------------------------------------------------

namespace {
// Positions of record first cells in one block, keyed by the cell's hash.
class record_index {
 public:
  record_index(const cell* block, bool case_sensitive, i32 op)
      : block_(*block), case_(case_sensitive), op_(op) {}
  void add(i64 pos) {
    const cell* c = cell_at(&block_, pos);
    if (block_like_q(type_of(c))) {
      runs_.push_back(pos);
    } else {
      map_.emplace(hashtable::hash_value(c, case_), pos);
    }
  }
  bool contains(const cell* key) const {
    cell k = *key;
    if (block_like_q(type_of(&k))) {
      // Blocks hash by identity: compare them one by one.
      for (i64 p : runs_)
        if (cells_equal(cell_at(&block_, p), &k, op_)) return true;
      return false;
    }
    auto range = map_.equal_range(hashtable::hash_value(&k, case_));
    for (auto it = range.first; it != range.second; ++it)
      if (cells_equal(cell_at(&block_, it->second), &k, op_)) return true;
    return false;
  }

 private:
  cell block_;
  bool case_;
  i32 op_;
  std::unordered_multimap<u32, i64> map_;
  std::vector<i64> runs_;
};
}  // namespace

const cell* do_set_op(bool case_sensitive, const cell* skip, i32 op) {
  bool two = op != SET_UNIQUE;
  // `unique` has one operand: the cell after it may hold anything (a refinement flag).
  cell a = *stack::arguments, b = two ? *stack::arg(1) : a;
  collector::root_guard ka(&a);
  collector::root_guard kb(&b);
  i64 size = 1;
  if (skip) {
    if (type_of(skip) != TYPE_INTEGER || integer::get(skip) < 1)
      series::invalid_refine(&words::ref_skip, skip);
    size = integer::get(skip);
  }
  a.data1 = static_cast<u32>(clipped(&a));
  b.data1 = static_cast<u32>(clipped(&b));
  i64 la = total_of(&a) - clipped(&a), lb = total_of(&b) - clipped(&b);
  if (two && !block_like_q(type_of(&b))) {
    cell v = b;
    fire("script", "invalid-arg", &v);
  }
  cell result;
  make_at(&result, clamp32(std::max<i64>(la + (op == SET_UNION ? lb : 0), 1)));
  collector::root_guard kr(&result);
  i32 eq = case_sensitive ? compare_op::STRICT_EQUAL : compare_op::FIND;
  record_index in_result(&result, case_sensitive, eq);
  auto pass = [&](const cell* src, const cell* other, bool look_up, bool keep_found) {
    record_index in_other(other, case_sensitive, eq);
    if (look_up)
      for (i64 p = clipped(other); p < total_of(other); p += size) in_other.add(p);
    for (i64 r = clipped(src); r < total_of(src); r += size) {
      cell first = *cell_at(src, r);
      if (look_up && in_other.contains(&first) != keep_found) continue;
      if (in_result.contains(&first)) continue;
      i64 pos = total_of(&result);
      i64 n = std::min(size, total_of(src) - r);
      for (i64 i = 0; i < n; i++) {
        cell c = *cell_at(src, r + i);
        rs_append(&result, &c);
      }
      in_result.add(pos);
    }
  };
  switch (op) {
    case SET_UNIQUE: pass(&a, &a, false, false); break;
    case SET_UNION: pass(&a, &b, false, false); pass(&b, &a, false, false); break;
    case SET_INTERSECT: pass(&a, &b, true, true); break;
    case SET_EXCLUDE: pass(&a, &b, true, false); break;
    case SET_DIFFERENCE: pass(&a, &b, true, false); pass(&b, &a, true, false); break;
    default: not_done();
  }
  set_type(&result, type_of(&a));
  if (type_of(&a) == TYPE_HASH) hash::index_new(&result);
  return stack::set_result(&result);
}

// ---- Registration -------------------------------------------------------------------------

void init() {
  action_row row;
  row.make = make;
  row.to = to;
  row.form = form;
  row.mold = mold;
  row.eval_path = eval_path;
  row.compare = compare;
  row.append = append;
  row.insert = append;
  row.change = change;
  row.copy = copy;
  row.find = find;
  row.put = put;
  row.select = select;
  row.sort = sort;
  row.swap = swap;
  row.take = take;
  row.trim = trim;
  datatype::register_(TYPE_BLOCK, TYPE_SERIES, "block!", row);
}

}  // namespace vyr::block
