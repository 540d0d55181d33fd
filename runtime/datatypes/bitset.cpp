// bitset!: the bit array, its membership rule, the walker over the values a set is made of,
// and the actions.
// Invariants: the bytes past the used length always hold the fill byte of the flag, and a
// bit count never exceeds MAX_BITS (every size is computed in 64 bits and checked).
#include "runtime/datatypes/bitset.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "runtime/collector.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/series.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/string_actions.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/fire.h"
#include "runtime/stack.h"
#include "runtime/ownership.h"
#include "runtime/word_tables.h"

namespace vyr::bitset {

namespace {

constexpr u64 MAX_BYTES = MAX_BITS / 8;  // 268,435,455 bytes: 2,147,483,640 bits

enum mode { MEASURE, INCLUDE, TEST, EXCLUDE };
// Which action walks a specification: it picks the error for an unsupported value.
enum caller { BY_MAKE, BY_TO, BY_OTHER };

u8 fill_of(const series_buffer* b) { return (b->flags & SERIES_COMPLEMENT) ? 0xFF : 0x00; }

[[noreturn]] void out_of_range(i64 n) {
  cell v{TYPE_INTEGER, 0, static_cast<u32>(std::clamp<i64>(n, INT32_MIN, INT32_MAX)), 0};
  fire("script", "out-of-range", &v);
}

// The bytes an array needs to hold bit n; out-of-range when that passes MAX_BITS.
u64 bytes_for(i64 n) {
  u64 bytes = static_cast<u64>(n) / 8 + 1;
  if (bytes > MAX_BYTES) out_of_range(n);
  return bytes;
}

// Raises the used length to `bytes`, growing the buffer with the fill byte.
series_buffer* grow(u32 node, u64 bytes) {
  series_buffer* b = buffer_of(node);
  if (bytes <= b->used_bytes()) return b;
  if (bytes > MAX_BYTES) fire_no_memory();
  if (u64{b->offset} + bytes > b->end_offset()) {
    u32 keep_node = node;
    collector::node_guard keep(&keep_node);
    b = memory::expand_series_filled(b, std::max(bytes, u64{b->size} * 2), fill_of(b));
  }
  b->tail = b->offset + static_cast<u32>(bytes);
  return b;
}

// Sets (or clears) bits lo..hi inside the used array, whole bytes at a time.
void write_run(series_buffer* b, u64 lo, u64 hi, bool on) {
  u8* p = reinterpret_cast<u8*>(b->head());
  while (lo <= hi && (lo & 7)) {
    u8 m = static_cast<u8>(0x80u >> (lo & 7));
    p[lo >> 3] = on ? p[lo >> 3] | m : p[lo >> 3] & ~m;
    lo++;
  }
  if (lo + 7 <= hi) {
    u64 whole = (hi + 1 - lo) / 8;
    std::memset(p + (lo >> 3), on ? 0xFF : 0x00, whole);
    lo += whole * 8;
  }
  for (; lo <= hi; lo++) {
    u8 m = static_cast<u8>(0x80u >> (lo & 7));
    p[lo >> 3] = on ? p[lo >> 3] | m : p[lo >> 3] & ~m;
  }
}

bool test_bit(u32 node, u64 n) {
  series_buffer* b = buffer_of(node);
  if ((n >> 3) >= b->used_bytes()) return (b->flags & SERIES_COMPLEMENT) != 0;
  return (static_cast<u8>(b->head()[n >> 3]) & (0x80u >> (n & 7))) != 0;
}

// One walk over a specification. `highest` gathers the largest value named (measure);
// the answer of test mode is `all`.
struct walker {
  u32 node;  // the bitset's node (0 in measure mode)
  mode m;
  caller by;
  i64 highest = -1;
  bool all = true;

  // Applies the mode to the values lo..hi (lo <= hi).
  void apply(i64 lo, i64 hi) {
    if (m == TEST) {
      if (lo < 0) {
        all = false;
        return;
      }
      for (i64 v = lo; v <= hi && all; v++) all = test_bit(node, static_cast<u64>(v));
      return;
    }
    if (lo < 0) out_of_range(lo);
    u64 need = bytes_for(hi);
    if (m == MEASURE) {
      highest = std::max(highest, hi);
      return;
    }
    series_buffer* b = buffer_of(node);
    bool complemented = (b->flags & SERIES_COMPLEMENT) != 0;
    u64 used_bits = u64{b->used_bytes()} * 8;
    if (m == INCLUDE) {
      // Beyond the array of a complemented set every value is already a member.
      if (complemented && static_cast<u64>(lo) >= used_bits) return;
      if (complemented) hi = std::min<i64>(hi, static_cast<i64>(used_bits) - 1);
      else b = grow(node, need);
      write_run(b, static_cast<u64>(lo), static_cast<u64>(hi), true);
    } else {
      // Beyond the array of a plain set no value is a member.
      if (!complemented && static_cast<u64>(lo) >= used_bits) return;
      if (!complemented) hi = std::min<i64>(hi, static_cast<i64>(used_bits) - 1);
      else b = grow(node, need);
      write_run(b, static_cast<u64>(lo), static_cast<u64>(hi), false);
    }
  }

  [[noreturn]] void unsupported(const cell* v) {
    cell c = *v;
    if (by == BY_MAKE) datatype::fire_with_type("bad-make-arg", TYPE_BITSET, &c);
    if (by == BY_TO) datatype::fire_with_type("bad-to-arg", TYPE_BITSET, &c);
    fire("script", "invalid-arg", &c);
  }

  static bool point_q(u32 t) { return t == TYPE_CHAR || t == TYPE_INTEGER || t == TYPE_FLOAT; }
  static i64 point(const cell* v) {
    if (type_of(v) == TYPE_FLOAT) {
      double d = cell_float(v);
      if (!(d > -9.2e18 && d < 9.2e18)) return d < 0 ? INT64_MIN / 2 : INT64_MAX / 2;
      return static_cast<i64>(d);
    }
    if (type_of(v) == TYPE_CHAR) return v->data2;
    return static_cast<i32>(v->data2);
  }

  void value(const cell* v, int depth) {
    u32 t = type_of(v);
    if (point_q(t)) {
      i64 n = point(v);
      apply(n, n);
      return;
    }
    if (string::text_q(t)) {
      // The code points are read into a copy: growing the array may move the text.
      series_buffer* b = buffer_of(v->data2);
      u32 unit = b->unit(), used = b->used_units();
      u32 head = std::min(v->data1, used);
      std::vector<u32> cps(used - head);
      for (u32 i = head; i < used; i++) cps[i - head] = string::get_char(b->head() + u64{i} * unit, unit);
      for (u32 c : cps) {
        apply(c, c);
        if (m == TEST && !all) return;
      }
      return;
    }
    if (t == TYPE_BLOCK || t == TYPE_PAREN) return block(v, depth);
    if (t == TYPE_BINARY) fire("internal", "not-done");
    unsupported(v);
  }

  void block(const cell* v, int depth) {
    if (depth > 64) fire("internal", "stack-overflow");  // a block holding itself
    cell blk = *v;
    collector::root_guard keep(&blk);
    auto count = [&] { return buffer_of(blk.data2)->used_units(); };
    auto item = [&](u32 i) { return read_buffer(blk.data2)->cells()[i]; };
    for (u32 i = blk.data1; i < count(); i++) {
      cell e = item(i);
      collector::root_guard keep_e(&e);
      u32 t = type_of(&e);
      bool range = false;
      if ((t == TYPE_CHAR || t == TYPE_INTEGER) && i + 1 < count()) {
        cell n = item(i + 1);
        range = type_of(&n) == TYPE_WORD && symbol::same_q(n.data2, words::sym_minus);
      }
      if (!range) {
        if (t == TYPE_BINARY) fire("internal", "not-done");
        value(&e, depth + 1);
        if (m == TEST && !all) return;
        continue;
      }
      if (i + 2 >= count()) fire("script", "past-end");
      cell up = item(i + 2);
      if (type_of(&up) != t) fire("script", "invalid-arg", &up);
      i64 lo = point(&e), hi = point(&up);
      if (hi < lo) fire("script", "past-end");
      apply(lo, hi);
      if (m == TEST && !all) return;
      i += 2;
    }
  }
};

cell* result_of(const cell* c) { return stack::set_result(c); }

cell copy_of(const cell* bits) {
  series_buffer* b = buffer_of(bits->data2);
  u32 used = b->used_bytes();
  cell out{TYPE_UNSET, 0, 0, 0};
  collector::root_guard keep(&out);
  make_at(&out, used, (b->flags & SERIES_COMPLEMENT) != 0);
  b = buffer_of(bits->data2);
  if (used) std::memcpy(buffer_of(out.data2)->head(), b->head(), used);
  return out;
}

// A new bitset from a make/to specification.
cell build(const cell* spec_in, caller by) {
  cell spec = *spec_in;
  collector::root_guard keep_spec(&spec);
  cell out{TYPE_UNSET, 0, 0, 0};
  collector::root_guard keep_out(&out);
  u32 t = type_of(&spec);
  if (t == TYPE_INTEGER || t == TYPE_FLOAT) {
    if (by == BY_TO) datatype::fire_with_type("bad-to-arg", TYPE_BITSET, &spec);
    i64 n = walker::point(&spec);
    // The size is rounded up to whole bytes, and that bit count must still fit integer!.
    if (n < 0 || static_cast<u64>(n + 7) / 8 > MAX_BYTES) fire("script", "out-of-range", &spec);
    make_at(&out, static_cast<u32>((n + 7) / 8), false);
    return out;
  }
  if (t == TYPE_BITSET) return copy_of(&spec);
  if (t == TYPE_BINARY) {
    series_buffer* b = buffer_of(spec.data2);
    u32 h = std::min(spec.data1, b->used_bytes());
    u32 n = b->used_bytes() - h;
    make_at(&out, n, false);
    b = buffer_of(spec.data2);
    if (n) std::memcpy(buffer_of(out.data2)->head(), b->head() + h, n);
    return out;
  }
  bool negated = false;
  if (t == TYPE_BLOCK && series::rs_abs_length_q(&spec) > static_cast<i32>(spec.data1)) {
    cell first = read_buffer(spec.data2)->cells()[spec.data1];
    negated = type_of(&first) == TYPE_WORD && symbol::same_q(first.data2, words::sym_not);
  }
  if (negated) {
    spec.data1++;
    // A binary! right after `not` is the array of the excluded values.
    if (series::rs_abs_length_q(&spec) > static_cast<i32>(spec.data1)) {
      cell second = read_buffer(spec.data2)->cells()[spec.data1];
      if (type_of(&second) == TYPE_BINARY) {
        collector::root_guard keep_second(&second);
        out = build(&second, by);
        series_buffer* b = buffer_of(out.data2);
        u8* p = reinterpret_cast<u8*>(b->data());
        for (u32 i = 0; i < b->size; i++) p[i] = static_cast<u8>(~p[i]);
        b->flags |= SERIES_COMPLEMENT;
        return out;
      }
    }
  }
  walker measure{0, MEASURE, by};
  measure.value(&spec, 0);
  u64 bytes = measure.highest < 0 ? 1 : bytes_for(measure.highest);
  make_at(&out, static_cast<u32>(bytes), negated);
  walker fill{out.data2, negated ? EXCLUDE : INCLUDE, by};
  fill.value(&spec, 0);
  return out;
}

// Tells the owner before and after an edit.
bool before(const cell* bits, const cell& word) {
  return ownership::check(bits, &word, nullptr, 0, 0);
}

}  // namespace

// ---- Routines -------------------------------------------------------------------------------

bool complement_q(const cell* bits) {
  return (buffer_of(bits->data2)->flags & SERIES_COMPLEMENT) != 0;
}

bool test_q(const cell* bits, u64 n) { return test_bit(bits->data2, n); }

std::vector<u8> bytes_of(const cell* bits) {
  series_buffer* b = buffer_of(bits->data2);
  const u8* p = reinterpret_cast<const u8*>(b->head());
  return std::vector<u8>(p, p + b->used_bytes());
}

u8* rs_head(const cell* bits) { return reinterpret_cast<u8*>(buffer_of(bits->data2)->head()); }

cell* make_at(cell* c, u32 bytes, bool complemented) {
  c->header = TYPE_UNSET;
  u32 node = memory::alloc_bytes_filled(bytes ? bytes : 1, complemented ? 0xFF : 0x00);
  series_buffer* b = buffer_of(node);
  b->tail = b->offset + bytes;
  if (complemented) b->flags |= SERIES_COMPLEMENT;
  *c = cell{TYPE_BITSET, 0, node, 0};
  return c;
}

void do_bitwise(i32 op) {
  cell a = *stack::arg(0), b = *stack::arg(1);
  if (op == SET_UNIQUE) {
    stack::set_result(&a);
    return;
  }
  if (type_of(&b) != TYPE_BITSET) {
    cell t;
    datatype::make_at(&t, type_of(&b));
    fire("script", "invalid-type", &t);
  }
  collector::root_guard keep_a(&a), keep_b(&b);
  series_buffer* ba = buffer_of(a.data2);
  series_buffer* bb = buffer_of(b.data2);
  u32 la = ba->used_bytes(), lb = bb->used_bytes();
  bool fa = ba->flags & SERIES_COMPLEMENT, fb = bb->flags & SERIES_COMPLEMENT;
  // Each operand reads past its array as its own fill byte, so a complemented operand
  // keeps every value beyond its array; the flags combine by the same operation.
  auto combine = [op](u32 x, u32 y) -> u32 {
    switch (op) {
      case OP_OR: case SET_UNION: return x | y;
      case OP_AND: case SET_INTERSECT: return x & y;
      case SET_EXCLUDE: return x & ~y;
      default: return x ^ y;  // xor~, difference
    }
  };
  bool flag = combine(fa, fb) & 1;
  // A plain and~ ends at the common length (nothing lies beyond it); intersect keeps the
  // longer length, and a complemented operand lends its fill byte beyond its array.
  u32 n = op == OP_AND && !fa && !fb ? std::min(la, lb) : std::max(la, lb);
  cell out{TYPE_UNSET, 0, 0, 0};
  collector::root_guard keep_out(&out);
  make_at(&out, n, flag);
  ba = buffer_of(a.data2);
  bb = buffer_of(b.data2);
  const u8* pa = reinterpret_cast<const u8*>(ba->head());
  const u8* pb = reinterpret_cast<const u8*>(bb->head());
  u8* po = reinterpret_cast<u8*>(buffer_of(out.data2)->head());
  u8 xa = fa ? 0xFF : 0x00, xb = fb ? 0xFF : 0x00;
  for (u32 i = 0; i < n; i++)
    po[i] = static_cast<u8>(combine(i < la ? pa[i] : xa, i < lb ? pb[i] : xb));
  stack::set_result(&out);
}

// ---- Actions --------------------------------------------------------------------------------

const cell* make(const cell*, const cell* spec, u32) {
  cell out = build(spec, BY_MAKE);
  return result_of(&out);
}

const cell* to(const cell*, const cell* spec, u32) {
  cell out = build(spec, BY_TO);
  return result_of(&out);
}

i32 mold(const cell* value, cell* out, bool, bool, bool, const cell* part, i32 budget, i32) {
  std::vector<u8> bytes = bytes_of(value);
  bool flag = complement_q(value);
  std::string text = flag ? "make bitset! [not #{" : "make bitset! #{";
  static const char digits[] = "0123456789ABCDEF";
  u64 limit = part ? static_cast<u64>(std::max(budget, 0)) : ~u64{0};
  for (size_t i = 0; i < bytes.size() && text.size() < limit; i++) {
    u8 c = flag ? static_cast<u8>(~bytes[i]) : bytes[i];  // the excluded values show
    text.push_back(digits[c >> 4]);
    text.push_back(digits[c & 15]);
  }
  text += flag ? "}]" : "}";
  if (text.size() > limit) text.resize(limit);
  if (!text.empty())
    string::concatenate_literal_part(out, text.data(), static_cast<u32>(text.size()));
  return budget - static_cast<i32>(text.size());
}

i32 form(const cell* value, cell* out, const cell* part, i32 budget) {
  return mold(value, out, false, false, false, part, budget, 0);
}

i32 compare(const cell* a, const cell* b, i32 op) {
  if (type_of(b) != TYPE_BITSET) return COMPARE_NOT_COMPARABLE;
  if (op == compare_op::SAME) return a->data2 == b->data2 ? 0 : -1;
  series_buffer* ba = buffer_of(a->data2);
  series_buffer* bb = buffer_of(b->data2);
  u32 la = ba->used_bytes(), lb = bb->used_bytes();
  if (la != lb) return la < lb ? -1 : 1;
  if (la == 0) return 0;
  bool fa = ba->flags & SERIES_COMPLEMENT, fb = bb->flags & SERIES_COMPLEMENT;
  if (fa != fb) return fa ? 1 : -1;
  const u8* pa = reinterpret_cast<const u8*>(ba->head());
  const u8* pb = reinterpret_cast<const u8*>(bb->head());
  for (u32 i = la; i-- > 0;)
    if (pa[i] != pb[i]) return pa[i] < pb[i] ? -1 : 1;
  return 0;
}

const cell* pick(cell* series, i32, const cell* index_cell) {
  walker w{series->data2, TEST, BY_OTHER};
  w.value(index_cell, 0);
  return logic::box(w.all);
}

const cell* find(cell* series, const cell* value, const find_args&) {
  walker w{series->data2, TEST, BY_OTHER};
  w.value(value, 0);
  if (!w.all) return &none_value;
  return logic::box(true);
}

namespace {
// Includes or excludes a specification, telling the owner.
void edit(cell* bits, const cell* spec, mode m, const cell& word, const cell& done) {
  cell s = *bits, v = *spec;
  collector::root_guard keep_s(&s), keep_v(&v);
  bool owned = before(&s, word);
  walker w{s.data2, m, BY_OTHER};
  w.value(&v, 0);
  if (owned) ownership::check(&s, &done, nullptr, 0, 0);
}
}  // namespace

const cell* poke(cell* series, i32, const cell* value, const cell* index_cell) {
  cell v = *value;
  collector::root_guard keep(&v);
  u32 t = type_of(&v);
  bool off = t == TYPE_NONE || (t == TYPE_LOGIC && !v.data1) ||
             (t == TYPE_INTEGER && v.data2 == 0) || (t == TYPE_FLOAT && cell_float(&v) == 0.0);
  edit(series, index_cell, off ? EXCLUDE : INCLUDE, words::word_poke, words::word_poked);
  return stack::set_result(&v);
}

const cell* append(cell* series, const cell* value, i32, bool, i32, bool) {
  cell s = *series;
  collector::root_guard keep(&s);
  edit(&s, value, INCLUDE, words::word_append, words::word_appended);
  return stack::set_result(&s);
}

// remove/part: the /part value names the values to take out of the set, whatever its flag.
const cell* remove(cell* series, const cell* part, const cell*) {
  if (!part) fire("script", "missing-arg");
  cell s = *series;
  collector::root_guard keep(&s);
  edit(&s, part, EXCLUDE, *series::word_remove(), words::word_removed);
  return stack::set_result(&s);
}

const cell* clear(cell* value) {
  series_buffer* b = buffer_of(value->data2);
  bool owned = before(value, words::word_clear);
  b = buffer_of(value->data2);
  std::memset(b->head(), fill_of(b), b->used_bytes());
  if (owned) ownership::check(value, &words::word_cleared, nullptr, 0, 0);
  return value;
}

const cell* copy(const cell* value, cell*, const cell*, bool, const cell*) {
  cell out = copy_of(value);
  return result_of(&out);
}

i32 length_q(const cell* value) {
  return static_cast<i32>(u64{buffer_of(value->data2)->used_bytes()} * 8);
}

const cell* complement(cell* value) {
  cell out = copy_of(value);
  series_buffer* b = buffer_of(out.data2);
  u8* p = reinterpret_cast<u8*>(b->data());
  for (u32 i = 0; i < b->size; i++) p[i] = static_cast<u8>(~p[i]);
  b->flags ^= SERIES_COMPLEMENT;
  return result_of(&out);
}

void and_() { do_bitwise(OP_AND); }
void or_() { do_bitwise(OP_OR); }
void xor_() { do_bitwise(OP_XOR); }

const cell* eval_path(cell* parent, cell* element, cell* value, const path_args&) {
  u32 t = type_of(element);
  if (t != TYPE_INTEGER && t != TYPE_CHAR) {
    cell dt;
    datatype::make_at(&dt, t);
    fire("script", "invalid-type", &dt);
  }
  if (!value) return pick(parent, 0, element);
  poke(parent, 0, value, element);
  return value;
}

// ---- Registration ---------------------------------------------------------------------------

void init() {
  action_row row;  // no parent: everything not listed is absent
  row.make = make;
  row.to = to;
  row.reflect = series::reflect;
  row.form = form;
  row.mold = mold;
  row.eval_path = eval_path;
  row.compare = compare;
  row.negate = complement;
  row.complement = complement;
  row.and_ = and_;
  row.or_ = or_;
  row.xor_ = xor_;
  row.append = append;
  row.insert = append;
  row.clear = clear;
  row.copy = copy;
  row.find = find;
  row.length_q = length_q;
  row.pick = pick;
  row.poke = poke;
  row.remove = remove;
  row.modify = series::modify;
  datatype::register_(TYPE_BITSET, 0, "bitset!", row);
}

}  // namespace vyr::bitset
