// series!: navigation, element access and unit-wise edits shared by every series type.
// Positions are 64-bit until clipped; every edit re-reads the buffer after an owner check
// that answered true, because the owner's handler may have resized or moved it.
#include "runtime/datatypes/series.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "runtime/collector.h"
#include "runtime/datatypes/binary.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/hash.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/vector.h"
#include "runtime/datatypes/unset.h"
#include "runtime/datatypes/word.h"
#include "runtime/fire.h"
#include "runtime/datatypes/actions.h"
#include "runtime/checksum.h"
#include "runtime/random.h"
#include "runtime/stack.h"
#include "runtime/ownership.h"
#include "runtime/word_tables.h"

namespace vyr::series {

check_fn owner_check = ownership::check;

namespace {

cell remove_word{TYPE_NONE, 0, 0, 0};
cell insert_word{TYPE_NONE, 0, 0, 0};

u32 shift_of(u32 unit) {
  return unit == 16 ? 4 : unit == 8 ? 3 : unit == 4 ? 2 : unit == 2 ? 1 : 0;
}

i64 total_of(const cell* v) { return buffer(v)->used_units(); }

// The head index clipped to [0, total] (written back, as every action does first).
i64 clipped_head(cell* v) {
  i64 total = total_of(v);
  i64 h = head_index(v);
  if (h > total) h = total;
  if (h < 0) h = 0;
  v->data1 = static_cast<u32>(h);
  return h;
}

char* unit_at(const cell* v, i64 index) {
  series_buffer* b = buffer(v);
  return b->head() + (index << shift_of(b->unit()));
}

[[noreturn]] void not_done() { fire("internal", "not-done"); }

// Removes [start, start + count) from the buffer, closing the gap. Both already clipped.
void cut(const cell* v, i64 start, i64 count) {
  series_buffer* b = buffer(v);
  u32 s = shift_of(b->unit());
  i64 total = b->used_units();
  char* p = b->head();
  // A block cut nearer its head than its tail moves the cells before the cut up instead:
  // the room they leave is room before the head, where inserting takes it back.
  if (b->unit() == sizeof(cell) && start < total - start - count) {
    std::memmove(p + (count << s), p, static_cast<size_t>(start << s));
    b->offset += static_cast<u32>(count << s);
    return;
  }
  if (start + count < total)
    std::memmove(p + (start << s), p + ((start + count) << s),
                 static_cast<size_t>((total - start - count) << s));
  b->tail -= static_cast<u32>(count << s);
}

void swap_units(char* a, char* b, u32 bytes) {
  char tmp[16];
  for (u32 done = 0; done < bytes;) {
    u32 n = std::min<u32>(16, bytes - done);
    std::memcpy(tmp, a + done, n);
    std::memcpy(a + done, b + done, n);
    std::memcpy(b + done, tmp, n);
    done += n;
  }
}

}  // namespace

// ---- Accessors --------------------------------------------------------------------------

i32 rs_abs_length_q(const cell* value) { return static_cast<i32>(total_of(value)); }

bool rs_tail_q(const cell* value) { return head_index(value) >= total_of(value); }

bool rs_skip(cell* value, i32 n) {
  i64 total = total_of(value);
  i64 p = i64{head_index(value)} + n;
  if (p >= 0 && p <= total) value->data1 = static_cast<u32>(p);
  return head_index(value) >= total;
}

i32 get_length(cell* value, bool from_start) {
  i64 total = total_of(value);
  i64 h = head_index(value);
  if (h > total) {
    value->data1 = static_cast<u32>(total);
    return 0;
  }
  return static_cast<i32>(from_start ? total : total - std::max<i64>(h, 0));
}

i32 get_offset(const cell* value, const cell* offset, bool at) {
  if (type_of(offset) != TYPE_INTEGER) {
    cell o = *offset;
    fire("script", "invalid-arg", &o);
  }
  i64 total = total_of(value);
  i64 h = std::clamp<i64>(head_index(value), 0, total);
  i64 n = integer::get(offset);
  i64 p = at && n >= 1 ? h + n - 1 : h + n;
  return static_cast<i32>(std::clamp<i64>(p, 0, total));
}

// ---- Owner notification -----------------------------------------------------------------

bool notify(const cell* changed, const cell* action_word, const cell* new_value, i32 index,
            i32 part) {
  return owner_check(changed, action_word, new_value ? new_value : &none_value, index, part);
}

const cell* word_remove() {
  if (type_of(&remove_word) == TYPE_NONE) remove_word = word::intern("remove");
  return &remove_word;
}
const cell* word_insert() {
  if (type_of(&insert_word) == TYPE_NONE) insert_word = word::intern("insert");
  return &insert_word;
}

// ---- Support ----------------------------------------------------------------------------

i64 part_count(const cell* value, const cell* part) {
  if (type_of(part) == TYPE_INTEGER) return integer::get(part);
  if (type_of(part) == type_of(value) && part->data2 == value->data2)
    return i64{head_index(part)} - head_index(value);
  invalid_refine(&words::ref_part, part);
}

cell* copy_units(const cell* value, i64 start, i64 count, cell* out) {
  cell v = *value;
  collector::root_guard keep(&v);
  u32 unit = buffer(&v)->unit();
  u64 bytes = memory::checked_size(static_cast<u64>(std::max<i64>(count, 0)), unit);
  u32 node = memory::alloc_series(static_cast<u32>(std::max<i64>(count, 1)), unit, 0);
  series_buffer* src = buffer(&v);
  series_buffer* dst = buffer_of(node);
  u32 s = shift_of(unit);
  if (bytes) std::memcpy(dst->head(), src->head() + (start << s), bytes);
  dst->tail = dst->offset + static_cast<u32>(bytes);
  *out = cell{v.header & (HEADER_TYPE_MASK | HEADER_NEW_LINE), 0, node,
              type_of(&v) == TYPE_VECTOR ? v.data3 : 0};
  return out;
}

// ---- Navigation (stack form) ------------------------------------------------------------

void at() {
  cell* v = stack::arguments;
  v->data1 = static_cast<u32>(get_offset(v, stack::arg(1), true));
}

void skip() {
  cell* v = stack::arguments;
  v->data1 = static_cast<u32>(get_offset(v, stack::arg(1), false));
}

void back() {
  cell* v = stack::arguments;
  i64 h = clipped_head(v);
  if (h > 0) v->data1 = static_cast<u32>(h - 1);
}

void next() {
  cell* v = stack::arguments;
  i64 h = clipped_head(v);
  if (h < total_of(v)) v->data1 = static_cast<u32>(h + 1);
}

void head() { stack::arguments->data1 = 0; }

void tail() {
  cell* v = stack::arguments;
  v->data1 = static_cast<u32>(total_of(v));
}

void head_q() { logic::box(head_index(stack::arguments) <= 0); }

void tail_q() { logic::box(rs_tail_q(stack::arguments)); }

void index_q() {
  i64 h = clipped_head(stack::arguments);
  integer::box(static_cast<i32>(h + 1));
}

i32 length_q(const cell* value) { return get_length(const_cast<cell*>(value), false); }

// ---- Element access ---------------------------------------------------------------------

const cell* pick(cell* series, i32 index, const cell*) {
  i64 h = clipped_head(series);
  i64 d = index > 0 ? h + index - 1 : h + index;
  if (index == 0 || d < 0 || d >= total_of(series)) return &none_value;
  u32 t = type_of(series);
  if (block_like_q(t)) return reinterpret_cast<cell*>(unit_at(series, d));
  if (t == TYPE_BINARY) return integer::box(static_cast<u8>(*unit_at(series, d)));
  if (string_like_q(t)) {
    u32 cp = string::get_char(unit_at(series, d), buffer(series)->unit());
    *stack::arguments = cell{TYPE_CHAR, 0, cp, 0};
    return stack::arguments;
  }
  if (t == TYPE_VECTOR) {
    cell e = vector::get_value(series, d);
    return stack::set_result(&e);
  }
  not_done();  // image! elements belong to their own module
}

const cell* poke(cell* series, i32 index, const cell* value, const cell*) {
  cell v = *value;
  collector::root_guard keep(&v);
  poke_at(series, index, &v);
  return stack::set_result(&v);
}

void poke_at(cell* series, i32 index, const cell* value) {
  cell v = *value;
  collector::root_guard keep(&v);
  u32 t = type_of(series);
  if (string_like_q(t) && type_of(&v) != TYPE_CHAR) fire("script", "invalid-arg", &v);
  u8 byte = t == TYPE_BINARY ? binary::set_value(&v) : 0;
  if (t == TYPE_VECTOR || t == TYPE_IMAGE) not_done();
  auto position = [&]() -> i64 {
    i64 h = clipped_head(series);
    i64 d = index > 0 ? h + index - 1 : h + index;
    if (index == 0 || d < 0 || d >= total_of(series)) out_of_range(index);
    return d;
  };
  i64 d = position();
  bool owned = notify(series, &words::word_poke, &v, static_cast<i32>(d), 1);
  if (owned) d = position();
  if (block_like_q(t)) {
    copy_cell(&v, reinterpret_cast<cell*>(unit_at(series, d)));
    hash::edited(series, d, 1, 1);
  } else if (t == TYPE_BINARY) {
    *unit_at(series, d) = static_cast<char>(byte);
  } else {
    string::poke_char(buffer(series), unit_at(series, d), v.data2);
  }
  if (owned) notify(series, &words::word_poked, &v, static_cast<i32>(d), 1);
}

// ---- In-place edits ---------------------------------------------------------------------

const cell* clear(cell* value) {
  i64 h = clipped_head(value);
  i64 len = total_of(value) - h;
  if (len < 1) return value;
  notify(value, &words::word_clear, nullptr, static_cast<i32>(h), static_cast<i32>(len));
  // Re-read: a handler may have shortened the series below the head.
  h = clipped_head(value);
  i64 cleared = total_of(value) - h;
  series_buffer* b = buffer(value);
  b->tail = b->offset + static_cast<u32>(h << shift_of(b->unit()));
  hash::edited(value, h, cleared, 0);
  notify(value, &words::word_cleared, nullptr, static_cast<i32>(h), 0);
  return value;
}

const cell* remove(cell* series, const cell* part, const cell* key) {
  i64 count = 1;
  if (part) count = part_count(series, part);
  if (count < 1) return series;
  i64 start = clipped_head(series);
  if (key) {
    cell k = *key;
    collector::root_guard keep(&k);
    find_args opts;
    opts.case_sensitive = true;
    cell probe = *series;
    collector::root_guard keep_probe(&probe);
    const cell* found = actions::lookup_for<slot::find>(&probe)(&probe, &k, opts);
    if (type_of(found) == TYPE_NONE) return &none_value;
    start = head_index(found);
    count += 1;
  }
  if (start < total_of(series)) {
    if (notify(series, word_remove(), nullptr, static_cast<i32>(start),
               static_cast<i32>(std::min<i64>(count, INT32_MAX)))) {
      i64 total = total_of(series);
      if (start <= total) {
        cut(series, start, std::min(count, total - start));
        hash::edited(series, start, std::min(count, total - start), 0);
        notify(series, &words::word_removed, nullptr, static_cast<i32>(start), 0);
      }
    } else {
      i64 n = std::min(count, total_of(series) - start);
      cut(series, start, n);
      hash::edited(series, start, n, 0);
    }
  }
  series->data1 = static_cast<u32>(std::min<i64>(start, total_of(series)));
  return series;
}

const cell* reverse(cell* series, const cell* part, const cell* skip) {
  i64 h = clipped_head(series);
  i64 len = total_of(series) - h;
  if (len <= 0) return series;
  i64 count = len;
  if (part) {
    count = part_count(series, part);
    if (count < 1) return series;
    count = std::min(count, len);
  }
  i64 size = 1;
  if (skip) {
    if (type_of(skip) != TYPE_INTEGER) invalid_refine(&words::ref_skip, skip);
    size = integer::get(skip);
    if (size == count) return series;
    if (size < 1) out_of_range(size);
    if (count < size || count % size != 0) invalid_refine(&words::ref_skip, skip);
  }
  bool owned = notify(series, &words::word_reverse, nullptr, static_cast<i32>(h),
                      static_cast<i32>(count));
  if (owned) {
    h = clipped_head(series);
    len = total_of(series) - h;
    count = std::min(count, len);
    count -= count % size;  // whole records only
    if (count <= 0) return series;
  }
  u32 s = shift_of(buffer(series)->unit());
  u32 record = static_cast<u32>(size << s);
  char* base = unit_at(series, h);
  std::vector<char> tmp(record > 16 ? record : 0);
  for (i64 lo = 0, hi = count - size; lo < hi; lo += size, hi -= size) {
    char* a = base + (lo << s);
    char* b = base + (hi << s);
    if (record > 16) {
      std::memcpy(tmp.data(), a, record);
      std::memcpy(a, b, record);
      std::memcpy(b, tmp.data(), record);
    } else {
      swap_units(a, b, record);
    }
  }
  hash::edited(series, h, count, count);
  if (owned) notify(series, &words::word_reversed, nullptr, static_cast<i32>(h),
                    static_cast<i32>(count));
  return series;
}

namespace {
// The run a take removes: [start, start + count), count 0 for an empty result.
struct take_plan {
  i64 start = 0, count = 0;
};

take_plan plan_take(cell* series, bool has_part, i64 wanted, bool last) {
  i64 h = clipped_head(series);
  i64 total = total_of(series);
  take_plan p;
  if (!has_part) wanted = 1;
  if (wanted < 0) {
    // From before the head: the units just before it (the last one with /last).
    i64 n = std::min<i64>(last ? 1 : -wanted, h);
    p.start = h - n;
    p.count = n;
    return p;
  }
  p.count = std::min(wanted, total - h);
  p.start = last ? total - p.count : h;
  return p;
}
}  // namespace

const cell* take(cell* series, const cell* part, bool deep, bool last) {
  cell s = *series;
  collector::root_guard keep(&s);
  i64 h = clipped_head(&s);
  if (total_of(&s) - h <= 0) return &none_value;
  i64 wanted = 1;
  if (part) {
    if (type_of(part) == TYPE_INTEGER) {
      wanted = integer::get(part);
    } else if (type_of(part) == type_of(&s) && part->data2 == s.data2) {
      i64 ph = head_index(part);
      wanted = ph < h ? 0 : last ? h + (total_of(&s) - h) - ph : ph - h;
    } else {
      invalid_refine(&words::ref_part, part);
    }
  }
  take_plan p = plan_take(&s, part != nullptr, wanted, last);
  // Told where the units go from (the tail end for /last, before the head for a negative
  // count), so that an owner can follow exactly what leaves.
  bool owned = notify(&s, &words::word_take, nullptr, static_cast<i32>(p.start),
                      static_cast<i32>(p.count));
  if (owned) p = plan_take(&s, part != nullptr, wanted, last);
  bool single = !part && block_like_q(type_of(&s));
  if (single && p.count == 0) return &none_value;
  cell out{TYPE_NONE, 0, 0, 0};
  collector::root_guard keep_out(&out);
  if (single) {
    out = *reinterpret_cast<cell*>(unit_at(&s, p.start));
  } else {
    copy_units(&s, p.start, p.count, &out);
    clear_new_line(&out);
  }
  // The copy may have collected; the plan holds indexes, not addresses.
  cut(&s, p.start, p.count);
  hash::edited(&s, p.start, p.count, 0);
  if (!single && type_of(&out) == TYPE_HASH) hash::index_new(&out);
  if (deep) {
    if (single) {
      block::deep_copy_cell(&out);
    } else if (block_like_q(type_of(&out))) {
      block::deep_copy_cells(&out);
    }
  }
  series->data1 = s.data1;
  if (owned) notify(&s, &words::word_taken, nullptr, static_cast<i32>(p.start),
                    static_cast<i32>(p.count));
  return stack::set_result(&out);
}

namespace {
bool same_family(u32 a, u32 b) {
  if (block_like_q(a) || block_like_q(b)) return block_like_q(a) && block_like_q(b);
  if (string_like_q(a) || string_like_q(b)) return string_like_q(a) && string_like_q(b);
  return true;
}

[[noreturn]] void move_bad(const cell* a, const cell* b) {
  cell ta, tb;
  datatype::make_at(&ta, type_of(a));
  datatype::make_at(&tb, type_of(b));
  fire("script", "move-bad", &ta, &tb);
}

// Opens a gap of `count` units at absolute index `at` of the series; returns its buffer.
series_buffer* open_gap(const cell* v, i64 at, i64 count) {
  u32 node = v->data2;
  series_buffer* b = buffer_of(node);
  u32 s = shift_of(b->unit());
  u64 need = memory::checked_size(static_cast<u64>(b->used_units()) + static_cast<u64>(count),
                                  b->unit());
  if (b->offset + need > b->end_offset()) {
    b = memory::expand_series(b, std::max<u64>(need * 2, 16));
    b = buffer_of(node);
  }
  char* p = b->head() + (at << s);
  std::memmove(p + (count << s), p, static_cast<size_t>(b->tail - b->offset - (at << s)));
  b->tail += static_cast<u32>(count << s);
  return b;
}
}  // namespace

const cell* move(cell* origin, cell* target, const cell* part) {
  if (!series_q(type_of(target))) {
    datatype::fire_expect_arg("move", type_of(target), "target");
  }
  cell o = *origin, t = *target;
  collector::root_guard keep_o(&o);
  collector::root_guard keep_t(&t);
  i64 oh = clipped_head(&o);
  if (oh >= total_of(&o)) return target;
  i64 count = 1;
  if (part) {
    if (type_of(part) != TYPE_INTEGER) invalid_refine(&words::ref_part, part);
    count = integer::get(part);
    if (count < 1) return target;
  }
  u32 to = type_of(&o), tt = type_of(&t);
  bool same_buffer = o.data2 == t.data2;
  u32 ou = buffer(&o)->unit(), tu = buffer(&t)->unit();
  if (!same_buffer && (!same_family(to, tt) || (ou != tu && !string_like_q(to))))
    move_bad(&o, &t);
  i64 th = clipped_head(&t);
  bool owned = notify(&o, &words::word_move, &t, static_cast<i32>(oh),
                      static_cast<i32>(std::min<i64>(count, INT32_MAX)));
  if (!same_buffer) owned = notify(&t, &words::word_move, &o, static_cast<i32>(th),
                                   static_cast<i32>(std::min<i64>(count, INT32_MAX))) || owned;
  if (owned) {
    oh = clipped_head(&o);
    th = clipped_head(&t);
    if (oh >= total_of(&o)) return target;
  }
  count = std::min(count, total_of(&o) - oh);
  if (!same_buffer) {
    if (ou == tu) {
      // The gap may move the target's buffer but never the origin's (another buffer).
      open_gap(&t, th, count);
      u32 s = shift_of(ou);
      std::memcpy(unit_at(&t, th), unit_at(&o, oh), static_cast<size_t>(count << s));
    } else {
      // Text of different widths: character by character through the string writers.
      std::vector<u32> chars(static_cast<size_t>(count));
      for (i64 i = 0; i < count; i++) chars[i] = string::get_char(unit_at(&o, oh + i), ou);
      series_buffer* b = buffer(&t);
      for (i64 i = 0; i < count; i++)
        b = string::insert_char_at(b, static_cast<u32>(th + i), chars[i]);
    }
    cut(&o, oh, count);
    hash::edited(&t, th, 0, count);
    hash::edited(&o, oh, count, 0);
  } else {
    i64 total = total_of(&o);
    if (th == oh || (oh < th && th != total && total - th < count)) {
      // Nothing moves. An owner told of the move (a shown list takes the items out) still
      // hears that it is done, and finds the items where they were.
      if (owned) notify(&o, &words::word_moved, &t, static_cast<i32>(oh), static_cast<i32>(count));
      return th == oh ? target : origin;
    }
    // As if the run were cut and inserted at `dest` of what is left, done in place: the
    // units between the two places turn round (a cut may take its room from either end).
    u32 s = shift_of(ou);
    i64 dest = std::min(th, total - count);
    char* base = unit_at(&o, 0);
    if (dest > oh) {
      std::rotate(base + (oh << s), base + ((oh + count) << s), base + ((dest + count) << s));
    } else {
      std::rotate(base + (dest << s), base + (oh << s), base + ((oh + count) << s));
    }
    i64 lo = std::min(oh, dest), hi = std::max(oh, dest) + count;
    hash::edited(&o, lo, hi - lo, hi - lo);
  }
  if (owned) {
    notify(&o, &words::word_moved, &t, static_cast<i32>(oh), static_cast<i32>(count));
    if (!same_buffer)
      notify(&t, &words::word_moved, &o, static_cast<i32>(th), static_cast<i32>(count));
  }
  return target;
}

const cell* random(cell* value, bool seed, bool secure, bool only) {
  i64 h = clipped_head(value);
  i64 len = total_of(value) - h;
  if (seed) {
    series_buffer* b = buffer(value);
    u32 bytes = static_cast<u32>(len << shift_of(b->unit()));
    random::seed(checksum::crc32(reinterpret_cast<const u8*>(unit_at(value, h)), bytes));
    return unset::push_last();
  }
  if (only) {
    if (len <= 0) return &none_value;
    i32 r = random::int_in_range(secure, static_cast<i32>(len));
    return pick(value, r, nullptr);
  }
  bool owned = notify(value, &words::word_random, nullptr, static_cast<i32>(h),
                      static_cast<i32>(len));
  if (owned) h = clipped_head(value);
  i64 total = total_of(value);
  u32 unit = buffer(value)->unit();
  for (i64 i = h; i < total; i++) {
    i32 r = random::int_in_range(secure, static_cast<i32>(total - i));
    if (r > 1) swap_units(unit_at(value, i), unit_at(value, i + r - 1), unit);
  }
  hash::edited(value, h, total - h, total - h);
  if (owned) notify(value, &words::word_randomized, nullptr, static_cast<i32>(h),
                    static_cast<i32>(total - h));
  return value;
}

const cell* copy(const cell* value, cell* dest, const cell* part, bool, const cell*) {
  cell v = *value;
  collector::root_guard keep(&v);
  i64 total = total_of(&v);
  i64 start = std::clamp<i64>(head_index(&v), 0, total);
  i64 count = total - start;
  if (part) {
    if (type_of(part) == TYPE_PAIR) not_done();  // image positions: the image module's
    count = part_count(&v, part);
    if (count < 0) {
      i64 from = std::max<i64>(start + count, 0);
      count = start - from;
      start = from;
    }
  }
  if (start > total) start = total;
  count = std::clamp<i64>(count, 0, total - start);
  cell out;
  copy_units(&v, start, count, &out);
  *dest = out;
  return dest;
}

const cell* reflect(const cell* value, u32 field) {
  if (!symbol::same_q(field, words::sym_owned)) not_done();
  // Nothing is recorded for a series without the owned mark; the owner of a marked one
  // comes from the ownership table once it answers look-ups.
  if (!(buffer(value)->flags & SERIES_OWNED)) return &none_value;
  not_done();
}

const cell* modify(cell* value, const cell* field, const cell* new_value, bool) {
  if (!word::kind_q(type_of(field)) ||
      !symbol::same_q(field->data2, words::sym_owned))
    not_done();
  cell v = *value, nv = *new_value;
  collector::root_guard keep(&v);
  collector::root_guard keep_nv(&nv);
  if (type_of(&nv) == TYPE_NONE) {
    ownership::unbind(&v);
  } else if (type_of(&nv) == TYPE_BLOCK && block::rs_length_q(&nv) >= 2) {
    cell owner = *block::rs_head(&nv);
    cell w = block::rs_head(&nv)[1];
    ownership::bind(&v, &owner, &w);
  } else {
    // An owner block needs both the object and the field's word.
    fire("script", "invalid-arg", &nv);
  }
  return value;
}

// ---- Registration -----------------------------------------------------------------------

void init() {
  action_row row;
  row.random = random;
  row.reflect = reflect;
  row.at = at;
  row.back = back;
  row.clear = clear;
  row.copy = copy;
  row.head = head;
  row.head_q = head_q;
  row.index_q = index_q;
  row.length_q = length_q;
  row.move = move;
  row.next = next;
  row.pick = pick;
  row.poke = poke;
  row.remove = remove;
  row.reverse = reverse;
  row.skip = skip;
  row.tail = tail;
  row.tail_q = tail_q;
  row.take = take;
  row.modify = modify;
  datatype::register_(TYPE_SERIES, 0, "series!", row);
  collector::add_root(&remove_word);
  collector::add_root(&insert_word);
}

[[noreturn]] void invalid_refine(const cell* refinement, const cell* value) {
  cell r = *refinement, v = *value;
  fire("script", "invalid-refine-arg", &r, &v);
}

[[noreturn]] void out_of_range(i64 n) {
  cell i;
  integer::make_at(&i, static_cast<i32>(std::clamp<i64>(n, INT32_MIN, INT32_MAX)));
  fire("script", "out-of-range", &i);
}

}  // namespace vyr::series
