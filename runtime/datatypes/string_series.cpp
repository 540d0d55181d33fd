// string! searching and editing: append/insert/change, find/select, sort, swap, take,
// trim, the set operations and case changes. Every edit computes its final size once,
// grows the buffer at most once, and tells the series' owner before and after.
#include <algorithm>
#include <charconv>
#include <cstring>
#include <string>
#include <unordered_set>
#include <vector>

#include "runtime/cell_checks.h"
#include "runtime/collector.h"
#include "runtime/datatypes/bitset.h"
#include "runtime/datatypes/char.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/series.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/string_actions.h"
#include "runtime/datatypes/vector.h"
#include "runtime/datatypes/word.h"
#include "runtime/fire.h"
#include "runtime/datatypes/actions.h"
#include "runtime/stack.h"
#include "runtime/ownership.h"
#include "runtime/sorting.h"
#include "runtime/unicode.h"
#include "runtime/word_tables.h"

namespace vyr::string {

namespace {

constexpr i32 MODE_APPEND = 0, MODE_INSERT = 1, MODE_CHANGE = 2;

u32 head_of(const cell* v, const series_buffer* b) {
  return std::min(v->data1, b->used_units());
}

u32 fold(u32 cp, bool case_sensitive) {
  return case_sensitive ? cp : unicode::char_to_upper(cp);
}

// The ownership check before an edit; the answer says whether to call the one after.
bool notify(const cell* series, const cell& word, i32 index, i32 count) {
  return ownership::check(series, &word, nullptr, index, count);
}

[[noreturn]] void invalid_refine_arg(const char* refinement, const cell* value) {
  cell w, v = *value;
  datatype::word_of_name(refinement, &w);
  w.header = (w.header & ~0xFFu) | TYPE_REFINEMENT;  // molds as /name, as block! does
  fire("script", "invalid-refine-arg", &w, &v);
}

// A /part argument as a count from the series' head: an integer!, or a position in the
// same series (its index less the series' index).
i64 part_count(const cell* series, const cell* part) {
  if (type_of(part) == TYPE_INTEGER) return static_cast<i32>(part->data2);
  if (type_of(part) == TYPE_FLOAT) return cell_::get_int_checked(part);
  if (type_of(part) == type_of(series) && part->data2 == series->data2)
    return i64{part->data1} - i64{series->data1};
  invalid_refine_arg("part", part);
}

// A /skip size: integer! or float!, at least 1. Block and string operations share this
// check and its error, so both report a bad size the same way.
i32 skip_size(const cell* skip) {
  if (type_of(skip) != TYPE_INTEGER && type_of(skip) != TYPE_FLOAT)
    invalid_refine_arg("skip", skip);
  i32 n = cell_::get_int_checked(skip);
  if (n < 1) invalid_refine_arg("skip", skip);
  return n;
}

// The characters of a text value (or the bytes of a binary!) from its head.
std::vector<u32> chars_of(const cell* text, i64 limit = -1) {
  series_buffer* b = buffer_of(text->data2);
  u32 unit = b->unit();
  u32 head = head_of(text, b);
  u64 n = b->used_units() - head;
  if (limit >= 0 && static_cast<u64>(limit) < n) n = static_cast<u64>(limit);
  std::vector<u32> out(n);
  const char* p = b->head() + u64{head} * unit;
  for (u64 i = 0; i < n; i++) out[i] = get_char(p + i * unit, unit);
  return out;
}

// Writes characters that already fit the buffer's unit from an absolute index and sets
// the tail after them.
void write_chars(series_buffer* b, u32 at, const std::vector<u32>& chars) {
  u32 unit = b->unit();
  char* p = b->head() + u64{at} * unit;
  for (size_t i = 0; i < chars.size(); i++) put_unit(p + i * unit, unit, chars[i]);
  b->tail = b->offset + static_cast<u32>((u64{at} + chars.size()) * unit);
}


// Forms a value (each value of a block, without separators) into the string `t`.
// `part` < 0: no limit. With `budgeted` the characters are limited to `part`; with
// `count_values` at most `part` values of a block are formed, each whole.
void form_into(cell* t, const cell* v, i32 part, bool budgeted, bool count_values) {
  u32 tv = type_of(v);
  cell part_cell{TYPE_INTEGER, 0, static_cast<u32>(part), 0};
  if (tv == TYPE_BLOCK || tv == TYPE_PAREN || tv == TYPE_HASH) {
    u32 node = v->data2;
    collector::node_guard keep(&node);
    i32 budget = part, values_left = count_values ? part : -1;
    for (u32 i = v->data1;; i++) {
      series_buffer* b = buffer_of(node);
      if (i >= b->used_units() || values_left == 0) break;
      if (values_left > 0) values_left--;
      cell e = b->cells()[i];
      collector::root_guard keep_e(&e);
      if (budgeted) {
        budget = actions::form(&e, t, &part_cell, budget);
        if (budget < 1) break;
      } else {
        actions::form(&e, t);
      }
    }
  } else if (budgeted) {
    actions::form(v, t, &part_cell, part);
  } else {
    actions::form(v, t);
  }
  if (budgeted) truncate_buffer(buffer_of(t->data2), static_cast<u32>(part));
}

cell edit_word(i32 mode) {
  if (mode != MODE_INSERT) return mode == MODE_APPEND ? words::word_append : words::word_change;
  return *series::word_insert();  // not among the runtime's own words: interned once
}
const cell& edited_word(i32 mode) {
  return mode == MODE_APPEND ? words::word_appended
         : mode == MODE_INSERT ? words::word_inserted : words::word_changed;
}

const cell* edit(cell* series, const cell* value, i32 part, bool only, i32 dup, i32 mode) {
  cell s = *series, v = *value, t{TYPE_UNSET, 0, 0, 0};
  collector::root_guard keep_s(&s);
  collector::root_guard keep_v(&v);
  collector::root_guard keep_t(&t);
  u32 tv = type_of(&v);
  if (tv == TYPE_CHAR && mode == MODE_APPEND && dup < 2) {
    // One character at the tail, the commonest edit of all: no text of it is made first.
    u32 cp = char_::get(&v);
    u32 pos = buffer_of(s.data2)->used_units();
    if (u64{pos} + 1 > 0x7FFFFFFF) fire_no_memory();
    bool owned = notify(&s, edit_word(mode), static_cast<i32>(pos), 1);
    series_buffer* sb = buffer_of(s.data2);  // the owner's handler may have changed it
    if (owned) {
      pos = sb->used_units();
      if (u64{pos} + 1 > 0x7FFFFFFF) fire_no_memory();
    }
    append_char(sb, cp);
    if (owned) notify(&s, edited_word(mode), static_cast<i32>(pos), 1);
    return stack::set_result(&s);
  }
  if (tv == TYPE_INTEGER && mode == MODE_APPEND && dup < 2 && part < 0) {
    // Digits at the tail, as text building does a million times: written straight in, no
    // text of the number made first. Kept here, as the owner's handler may form numbers.
    char digits[12];
    const char* formed = integer::form_signed(integer::get(&v));
    u32 n = static_cast<u32>(std::strlen(formed));
    std::memcpy(digits, formed, n);
    u32 pos = buffer_of(s.data2)->used_units();
    if (u64{pos} + n > 0x7FFFFFFF) fire_no_memory();
    bool owned = notify(&s, edit_word(mode), static_cast<i32>(pos), static_cast<i32>(n));
    series_buffer* sb = buffer_of(s.data2);  // the owner's handler may have changed it
    if (owned) {
      pos = sb->used_units();
      if (u64{pos} + n > 0x7FFFFFFF) fire_no_memory();
    }
    for (u32 i = 0; i < n; i++) sb = append_char(sb, static_cast<u8>(digits[i]));
    if (owned) notify(&s, edited_word(mode), static_cast<i32>(pos), static_cast<i32>(n));
    return stack::set_result(&s);
  }
  i64 take = -1;  // characters of t used
  if (text_q(tv) && tv != TYPE_TAG) {
    if (v.data2 == s.data2) {
      copy_text(&v, -1, TYPE_STRING, &t);  // the edit moves the characters it reads
    } else {
      t = v;
    }
    if (mode != MODE_CHANGE && part >= 0) take = part;
  } else if (tv == TYPE_CHAR) {
    make_at(&t, 1);
    append_char(buffer_of(t.data2), char_::get(&v));
  } else if (tv == TYPE_TAG) {
    make_at(&t, static_cast<u32>(rs_length_q(&v)) + 2);
    concatenate_literal(&t, "<");
    concatenate(&t, &v, -1, 0, false, CONCAT_APPEND);
    concatenate_literal(&t, ">");
    if (mode != MODE_CHANGE && part >= 0) take = part;
  } else {
    make_at(&t, 16);
    bool limited = mode != MODE_CHANGE && part >= 0;
    bool is_block = tv == TYPE_BLOCK || tv == TYPE_PAREN || tv == TYPE_HASH;
    bool budgeted = limited && (mode == MODE_INSERT || only);
    bool count_values = limited && mode == MODE_APPEND && !only && is_block;
    form_into(&t, &v, part, budgeted, count_values);
  }

  series_buffer* tb = buffer_of(t.data2);
  u32 t_head = head_of(&t, tb);
  u64 tl = tb->used_units() - t_head;
  if (take >= 0 && static_cast<u64>(take) < tl) tl = static_cast<u64>(take);
  u64 copies = dup < 2 ? 1 : static_cast<u64>(dup);
  u64 ins = tl * copies;

  series_buffer* sb = buffer_of(s.data2);
  u32 used = sb->used_units();
  u32 h = head_of(&s, sb);
  u32 pos = mode == MODE_APPEND ? used : h;
  u64 removed = 0;
  if (mode == MODE_CHANGE)
    removed = std::min<u64>(part >= 0 ? static_cast<u64>(part) : ins, used - pos);
  u64 new_used = used - removed + ins;
  if (new_used > 0x7FFFFFFF) fire_no_memory();

  bool owned = notify(&s, edit_word(mode), static_cast<i32>(pos), static_cast<i32>(ins));
  if (owned) {  // the owner's handler may have changed the series
    sb = buffer_of(s.data2);
    used = sb->used_units();
    h = head_of(&s, sb);
    pos = mode == MODE_APPEND ? used : h;
    if (mode == MODE_CHANGE)
      removed = std::min<u64>(part >= 0 ? static_cast<u64>(part) : ins, used - pos);
    new_used = used - removed + ins;
  }
  u32 tu = buffer_of(t.data2)->unit();
  if (sb->unit() < tu) sb = widen_to(sb, sb->unit(), tu);
  u32 su = sb->unit();
  sb = reserve(sb, memory::checked_size(new_used, su));
  char* base = sb->head();
  std::memmove(base + (pos + ins) * su, base + (pos + removed) * su,
               (used - pos - removed) * su);
  tb = buffer_of(t.data2);  // the reservation may have moved it
  t_head = head_of(&t, tb);
  const char* src = tb->head() + u64{t_head} * tu;
  char* out = base + u64{pos} * su;
  for (u64 k = 0; k < copies; k++, out += tl * su) {
    if (tu == su) {
      std::memcpy(out, src, tl * su);
    } else {
      for (u64 i = 0; i < tl; i++) put_unit(out + i * su, su, get_char(src + i * tu, tu));
    }
  }
  sb->tail = sb->offset + static_cast<u32>(new_used * su);
  if (mode != MODE_APPEND) s.data1 = static_cast<u32>(pos + ins);
  if (owned) notify(&s, edited_word(mode), static_cast<i32>(pos), static_cast<i32>(ins));
  return stack::set_result(&s);
}

// The searched-for text of find and select as code points, and how many characters a
// match covers.
std::vector<u32> pattern_of(const cell* series, const cell* value) {
  u32 ts = type_of(series), tv = type_of(value);
  if (tv == TYPE_CHAR) return {char_::get(value)};
  if (tv == TYPE_BINARY && ts != TYPE_BINARY) {
    cell v = *value;
    fire("script", "invalid-arg", &v);
  }
  if ((tv == TYPE_INTEGER) && ts == TYPE_BINARY) return {static_cast<u32>(value->data2) & 0xFF};
  if (word::any_word_q(tv)) {
    cell name;
    word::name_string(value, &name);
    return chars_of(&name);
  }
  if ((text_q(tv) && tv != TYPE_TAG) || tv == TYPE_BINARY) return chars_of(value);
  stack::guard g;
  return chars_of(actions::form_to_string(value));
}

// What fold gives each one-byte character when case is ignored.
const u32* folded_bytes() {
  static const struct table {
    u32 up[256];
    table() {
      for (u32 i = 0; i < 256; i++) up[i] = fold(i, false);
    }
  } t;
  return t.up;
}

struct found {
  i64 at = -1;     // position of the match, -1 when none
  u32 length = 0;  // characters it covers
};

found search(cell* s, const cell* value, const find_args& o) {
  series_buffer* b = buffer_of(s->data2);
  u32 used = b->used_units();
  if (used == 0 || s->data1 >= used) {
    if (!o.reverse || used == 0) return {};
  }
  if (o.any || o.with) fire("internal", "not-done");  // no wildcard search
  i32 step = 1;
  if (o.skip) {
    step = cell_::get_int_checked(o.skip);
    if (step < 1) {
      cell n{TYPE_INTEGER, 0, static_cast<u32>(step), 0};
      fire("script", "out-of-range", &n);
    }
  }
  u32 h = head_of(s, b);
  i64 len = used - h;
  i64 p = -1;
  if (o.part) {
    p = part_count(s, o.part);
    if (p < 1) return {};
  }
  // The positions tried, whatever decides a match at one of them.
  auto scan = [&](u32 m, auto&& matches) -> found {
    if (o.reverse) {
      if (o.match) return {};
      i64 lo = p >= 0 ? std::max<i64>(0, i64{h} - p) : 0;
      for (i64 at = i64{h} - 1; at >= lo; at -= step)
        if (matches(at)) return {at, m};
      return {};
    }
    i64 end = p >= 0 ? h + std::min(p, len) : used;
    if (o.match) return matches(h) && h + m <= end ? found{h, m} : found{};
    if (o.last) {
      for (i64 at = end - m; at >= h; at -= step)
        if (matches(at)) return {at, m};
      return {};
    }
    for (i64 at = h; at + m <= end; at += step)
      if (matches(at)) return {at, m};
    return {};
  };

  if (type_of(value) == TYPE_BITSET) {
    // One character that is a member of the set; beyond its array the set's flag answers.
    cell bits = *value;
    u32 unit = b->unit();
    const char* text = b->head();
    if (unit == 1 && len > 256) {
      // A long one-byte text: each byte value's membership is looked up once.
      bool member[256];
      for (u32 c = 0; c < 256; c++) member[c] = bitset::test_q(&bits, c);
      const u8* bytes = reinterpret_cast<const u8*>(text);
      return scan(1, [&](i64 at) { return at >= 0 && at < used && member[bytes[at]]; });
    }
    return scan(1, [&](i64 at) {
      return at >= 0 && at < used && bitset::test_q(&bits, get_char(text + at * unit, unit));
    });
  }

  bool exact = o.case_sensitive || o.same || type_of(s) == TYPE_BINARY;
  u32 tv = type_of(value);
  if (b->unit() == 1 && text_q(tv) && tv != TYPE_TAG && read_buffer(value->data2)->unit() == 1) {
    // One-byte text in one-byte text, the commonest search: compared where both lie, each
    // byte folded through a table of what fold gives it. Nothing allocates meanwhile.
    const series_buffer* vb = read_buffer(value->data2);
    u32 vh = head_of(value, vb);
    u32 pm = vb->used_units() - vh;
    if (pm == 0) return {};
    const u8* pat = reinterpret_cast<const u8*>(vb->head()) + vh;
    const u8* text = reinterpret_cast<const u8*>(read_buffer(s->data2)->head());
    const u32* up = folded_bytes();
    return scan(pm, [&](i64 at) {
      if (at < 0 || at + pm > used) return false;
      const u8* t = text + at;
      if (exact) return std::memcmp(t, pat, pm) == 0;
      for (u32 k = 0; k < pm; k++)
        if (t[k] != pat[k] && up[t[k]] != up[pat[k]]) return false;
      return true;
    });
  }

  std::vector<u32> pat = pattern_of(s, value);
  u32 m = static_cast<u32>(pat.size());
  if (m == 0) return {};
  for (u32& c : pat) c = fold(c, exact);

  b = buffer_of(s->data2);  // forming the pattern may have moved it
  used = b->used_units();
  u32 unit = b->unit();
  const char* text = b->head();
  return scan(m, [&](i64 at) {
    if (at < 0 || at + m > used) return false;
    for (u32 k = 0; k < m; k++)
      if (fold(get_char(text + (at + k) * unit, unit), exact) != pat[k]) return false;
    return true;
  });
}

bool whitespace_q(u32 c) {
  return (c >= 1 && c <= 32) || c == 0x85 || c == 0xA0 || c == 0x1680 || c == 0x180E ||
         (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F ||
         c == 0x205F || c == 0x3000;
}
bool blank_q(u32 c) { return c == ' ' || c == '\t' || (c > 0x7F && whitespace_q(c)); }

// The comparison of sort over records of `width` characters.
// A vector! of numbers sorts by value, its `numbers` naming the element type.
struct sort_context {
  u32 unit, width, offset;
  bool all, case_sensitive, reverse;
  u32 numbers;
};

i32 compare_records(const void* a, const void* b, uintptr_t word1, uintptr_t) {
  const sort_context& c = *reinterpret_cast<const sort_context*>(word1);
  const char* pa = static_cast<const char*>(a);
  const char* pb = static_cast<const char*>(b);
  u32 from = c.all ? 0 : c.offset, to = c.all ? c.width : c.offset + 1;
  for (u32 i = from; i < to; i++) {
    if (c.numbers) {
      i32 d = vector::order_slots(c.numbers, c.unit, pa + u64{i} * c.unit, pb + u64{i} * c.unit);
      if (d) return c.reverse ? -d : d;
      continue;
    }
    // Folded through the case map whatever the unit, so that the same text sorts the
    // same way however wide its buffer happens to be.
    i32 x = static_cast<i32>(fold(get_char(pa + u64{i} * c.unit, c.unit), c.case_sensitive));
    i32 y = static_cast<i32>(fold(get_char(pb + u64{i} * c.unit, c.unit), c.case_sensitive));
    if (x != y) return c.reverse ? y - x : x - y;
  }
  return 0;
}

// A function! comparator, through the evaluator's hook, over a copy of the records held
// outside the collector's reach (the call may allocate and move the series).
struct function_context {
  const cell* fn;
  u32 unit, width;
  bool all, reverse;
  u32 vector_type;  // a vector!'s element type (its elements are handed over), else 0
};

i32 call_function(const void* a, const void* b, uintptr_t word1, uintptr_t) {
  const function_context& c = *reinterpret_cast<const function_context*>(word1);
  stack::guard g;
  cell* args[2];
  const void* recs[2] = {c.reverse ? a : b, c.reverse ? b : a};
  for (int k = 0; k < 2; k++) {
    const char* r = static_cast<const char*>(recs[k]);
    args[k] = stack::push_slot();
    args[k]->header = TYPE_UNSET;
    if (c.vector_type && c.all) {
      vector::from_slots(args[k], c.vector_type, c.unit, r, c.width);
    } else if (c.vector_type) {
      *args[k] = vector::slot_value(c.vector_type, c.unit, r);
    } else if (c.all) {
      make_at(args[k], c.width);
      series_buffer* sb = buffer_of(args[k]->data2);
      for (u32 i = 0; i < c.width; i++) sb = append_char(sb, get_char(r + u64{i} * c.unit, c.unit));
    } else {
      char_::make_at(args[k], get_char(r, c.unit));
    }
  }
  cell* answer = stack::push_slot();
  *answer = none_value;
  call_comparator(c.fn, args[0], args[1], answer);
  switch (type_of(answer)) {
    case TYPE_LOGIC: return answer->data1 ? 1 : -1;
    case TYPE_INTEGER: return -static_cast<i32>(answer->data2);
    case TYPE_FLOAT: {
      double d = cell_float(answer);
      return d > 0.0 ? -1 : d < 0.0 ? 1 : 0;
    }
    case TYPE_NONE: return -1;
    default: return 1;
  }
}

}  // namespace

// ---- Editing ----------------------------------------------------------------------------

const cell* append(cell* series, const cell* value, i32 part, bool only, i32 dup,
                   bool append) {
  return edit(series, value, part, only, dup, append ? MODE_APPEND : MODE_INSERT);
}

namespace {
// append_in_place for a text in a narrower unit than the series': a character at a time.
[[gnu::noinline]] bool append_widened(series_buffer* sb, const cell* value, series_buffer* tb) {
  u32 su = sb->unit(), tu = tb->unit();
  u32 head = head_of(value, tb);
  u64 n = tb->used_units() - head;
  if (u64{sb->tail} + n * su > sb->end_offset()) return false;
  const char* src = tb->head() + u64{head} * tu;
  char* out = sb->tail_ptr();
  for (u64 i = 0; i < n; i++) put_unit(out + i * su, su, get_char(src + i * tu, tu));
  sb->tail += static_cast<u32>(n * su);
  return true;
}
// append_in_place for an integer!: its digits, as edit writes them.
[[gnu::noinline]] bool append_digits(series_buffer* sb, i32 value) {
  char digits[12];
  u32 n = static_cast<u32>(std::to_chars(digits, digits + sizeof digits, value).ptr - digits);
  u32 su = sb->unit();
  if (u64{sb->tail} + u64{n} * su > sb->end_offset()) return false;
  char* out = sb->tail_ptr();
  if (su == 1) {
    std::memcpy(out, digits, n);
  } else {
    for (u32 i = 0; i < n; i++) put_unit(out + i * su, su, static_cast<u8>(digits[i]));
  }
  sb->tail += n * su;
  return true;
}
}  // namespace

bool append_in_place(cell* series, const cell* value) {
  series_buffer* sb = buffer_of(series->data2);
  if (sb->flags & SERIES_OWNED) return false;  // the owner hears of every edit: see edit
  u32 su = sb->unit();
  u32 tv = type_of(value);
  if (tv == TYPE_CHAR) {
    u32 cp = char_::get(value);
    if (unit_for_append(cp) > su || u64{sb->tail} + su > sb->end_offset()) return false;
    put_unit(sb->tail_ptr(), su, cp);
    sb->tail += su;
    return true;
  }
  if (tv == TYPE_INTEGER) return append_digits(sb, integer::get(value));
  if (!text_q(tv) || tv == TYPE_TAG || value->data2 == series->data2) return false;
  series_buffer* tb = buffer_of(value->data2);
  u32 tu = tb->unit();
  if (tu != su) return tu < su && append_widened(sb, value, tb);
  // Same unit: the bytes from the value's head (clipped to its tail) to its tail.
  u64 used = tb->tail - tb->offset, from = u64{value->data1} * tu;
  u64 bytes = from < used ? used - from : 0;
  if (u64{sb->tail} + bytes > sb->end_offset()) return false;
  std::memcpy(sb->tail_ptr(), tb->head() + (used - bytes), bytes);
  sb->tail += static_cast<u32>(bytes);
  return true;
}

const cell* change(cell* series, const cell* value, i32 part, bool only, i32 dup) {
  return edit(series, value, part, only, dup, MODE_CHANGE);
}

// ---- Searching --------------------------------------------------------------------------

const cell* find(cell* series, const cell* value, const find_args& opts) {
  cell s = *series;
  found f = search(&s, value, opts);
  if (f.at < 0) return &none_value;
  s.data1 = static_cast<u32>(opts.tail || opts.match ? f.at + f.length : f.at);
  return stack::set_result(&s);
}

const cell* select(cell* series, const cell* value, const find_args& opts) {
  cell s = *series;
  find_args o = opts;
  o.tail = o.match = false;
  found f = search(&s, value, o);
  if (f.at < 0) return &none_value;
  // The character after the whole match (a formed value counts all its characters).
  u64 after = f.at + f.length;
  series_buffer* b = buffer_of(s.data2);
  if (after >= b->used_units()) return &none_value;
  u32 c = rs_abs_at(&s, static_cast<u32>(after));
  if (type_of(&s) == TYPE_BINARY) {
    cell n{TYPE_INTEGER, 0, c, 0};
    return stack::set_result(&n);
  }
  cell ch;
  return stack::set_result(char_::make_at(&ch, c));
}

// ---- Sorting ----------------------------------------------------------------------------

const cell* sort(cell* series, const sort_args& o) {
  cell s = *series;
  collector::root_guard keep(&s);
  series_buffer* b = buffer_of(s.data2);
  u32 h = head_of(&s, b);
  s.data1 = h;
  i64 len = b->used_units() - h;
  i64 start = h, count = len;
  if (o.part) {
    i64 p = part_count(&s, o.part);
    if (p > len) p = len;
    if (p < 0) {
      if (-p > h) {
        s.data1 = 0;
        return stack::set_result(&s);
      }
      start = h + p;
      count = -p;
      s.data1 = static_cast<u32>(start);
    } else {
      count = p;
    }
  }
  u32 width = 1;
  if (o.skip) {
    width = static_cast<u32>(skip_size(o.skip));
    if (count % width || (count > 0 && count < width)) invalid_refine_arg("skip", o.skip);
  } else if (o.all) {
    fire("script", "bad-refines");
  }
  u32 offset = 0;
  const cell* fn = nullptr;
  if (o.compare) {
    u32 tc = type_of(o.compare);
    if (tc == TYPE_INTEGER) {
      if (!o.skip || o.all) fire("script", "bad-refines");
      i32 c = static_cast<i32>(o.compare->data2);
      if (c < 1 || static_cast<u32>(c) > width) {
        cell v = *o.compare;
        fire("script", "out-of-range", &v);
      }
      offset = static_cast<u32>(c - 1);
    } else if (tc == TYPE_FUNCTION) {
      if (!call_comparator) fire("internal", "not-done");  // the evaluator installs it
      fn = o.compare;
    } else {
      invalid_refine_arg("compare", o.compare);
    }
  }
  if (count < 2 * i64{width}) return stack::set_result(&s);
  bool owned = notify(&s, words::word_sort, static_cast<i32>(start), static_cast<i32>(count));
  b = buffer_of(s.data2);
  u32 unit = b->unit();
  u32 records = static_cast<u32>(count / width);
  u32 rec_bytes = width * unit;
  if (!fn) {
    u32 et = type_of(&s) == TYPE_VECTOR ? vector::element_type(&s) : 0;
    sort_context ctx{unit, width, offset, o.all, o.case_sensitive, o.reverse,
                     et == TYPE_CHAR ? 0 : et};
    char* base = b->head() + start * unit;
    if (o.stable) {
      sorting::merge_sort(base, records, rec_bytes, reinterpret_cast<uintptr_t>(&ctx), 0,
                          compare_records);
    } else {
      sorting::quick_sort(base, records, rec_bytes, reinterpret_cast<uintptr_t>(&ctx), 0,
                          compare_records);
    }
  } else {
    cell f = *fn;
    collector::root_guard keep_f(&f);
    std::vector<char> copy(b->head() + start * unit, b->head() + (start + count) * unit);
    function_context ctx{&f, unit, width, o.all, o.reverse,
                         type_of(&s) == TYPE_VECTOR ? vector::element_type(&s) : 0};
    if (o.stable) {
      sorting::merge_sort(copy.data(), records, rec_bytes, reinterpret_cast<uintptr_t>(&ctx),
                          0, call_function);
    } else {
      sorting::quick_sort(copy.data(), records, rec_bytes, reinterpret_cast<uintptr_t>(&ctx),
                          0, call_function);
    }
    // The comparator may have changed the series: write back only what still fits.
    b = buffer_of(s.data2);
    if (b->unit() == unit && u64(start + count) <= b->used_units())
      std::memcpy(b->head() + start * unit, copy.data(), copy.size());
  }
  if (owned) notify(&s, words::word_sorted, static_cast<i32>(start), static_cast<i32>(count));
  return stack::set_result(&s);
}

// ---- swap, take, trim ---------------------------------------------------------------------

const cell* swap(cell* series1, cell* series2) {
  cell a = *series1, b = *series2;
  collector::root_guard keep_a(&a);
  collector::root_guard keep_b(&b);
  if (!text_q(type_of(&b)) && type_of(&b) != TYPE_BINARY) {
    fire("script", "invalid-arg", &b);
  }
  if (rs_tail_q(&a) || rs_tail_q(&b)) return stack::set_result(&a);
  u32 ca = rs_abs_at(&a, a.data1), cb = rs_abs_at(&b, b.data1);
  if ((type_of(&a) == TYPE_BINARY && cb > 0xFF) || (type_of(&b) == TYPE_BINARY && ca > 0xFF)) {
    cell v{TYPE_INTEGER, 0, type_of(&a) == TYPE_BINARY ? cb : ca, 0};
    fire("script", "out-of-range", &v);  // a byte cannot hold that character
  }
  bool owned = notify(&a, words::word_swap, static_cast<i32>(a.data1), 1);
  series_buffer* ba = buffer_of(a.data2);
  poke_char(ba, ba->head() + u64{a.data1} * ba->unit(), cb);
  series_buffer* bb = buffer_of(b.data2);
  poke_char(bb, bb->head() + u64{b.data1} * bb->unit(), ca);
  if (owned) notify(&a, words::word_swaped, static_cast<i32>(a.data1), 1);
  return stack::set_result(&a);
}

const cell* take(cell* series, const cell* part, bool deep, bool last) {
  cell s = *series;
  collector::root_guard keep(&s);
  series_buffer* b = buffer_of(s.data2);
  u32 used = b->used_units();
  u32 h = head_of(&s, b);
  i64 len = used - h;
  if (len == 0) return &none_value;
  i64 count = 1, start;
  if (part) {
    if (type_of(part) == type_of(&s) && part->data2 == s.data2) {
      i64 ph = part->data1;
      count = ph < h ? 0 : last ? h + len - ph : ph - h;
    } else {
      count = part_count(&s, part);
    }
  }
  if (count < 0) {
    // Taken from before the head.
    count = std::min<i64>(last ? 1 : -count, h);
    start = h - count;
  } else {
    count = std::min(count, len);
    start = last ? used - count : h;
  }
  bool owned = notify(&s, words::word_take, static_cast<i32>(h), static_cast<i32>(count));
  cell out{TYPE_UNSET, 0, 0, 0};
  collector::root_guard keep_out(&out);
  cell from = s;
  from.data1 = static_cast<u32>(start);
  if (part) {
    copy_text(&from, static_cast<i32>(count), type_of(&s), &out);
  } else if (type_of(&s) == TYPE_BINARY) {
    out = cell{TYPE_INTEGER, 0, rs_abs_at(&s, static_cast<u32>(start)), 0};
  } else {
    char_::make_at(&out, rs_abs_at(&s, static_cast<u32>(start)));
  }
  remove_chars(&s, static_cast<u32>(start), static_cast<u32>(count));
  if (owned) notify(&s, words::word_taken, static_cast<i32>(h), static_cast<i32>(count));
  return stack::set_result(&out);
}

const cell* trim(cell* series, const trim_args& o) {
  cell s = *series;
  collector::root_guard keep(&s);
  if (o.auto_) fire("internal", "not-done");
  std::vector<u32> set;
  if (o.with) {
    u32 tw = type_of(o.with);
    if (tw == TYPE_CHAR || tw == TYPE_INTEGER) {
      set.push_back(o.with->data2);
    } else if (text_q(tw) || tw == TYPE_BINARY) {
      set = chars_of(o.with);
    } else {
      invalid_refine_arg("with", o.with);
    }
  } else {
    set.assign(default_trim_set, default_trim_set + 4);
  }
  std::vector<u32> in = chars_of(&s), out;
  out.reserve(in.size());
  if (o.all || o.with) {
    for (u32 c : in)
      if (std::find(set.begin(), set.end(), c) == set.end()) out.push_back(c);
  } else if (o.lines) {
    bool pending = false;
    for (u32 c : in) {
      if (whitespace_q(c)) {
        pending = !out.empty();
        continue;
      }
      if (pending) out.push_back(' ');
      pending = false;
      out.push_back(c);
    }
  } else {
    size_t first = 0, end = in.size();
    if (!(o.tail && !o.head))
      while (first < end && whitespace_q(in[first])) first++;
    bool tail_line = false;
    if (!(o.head && !o.tail))
      while (end > first && whitespace_q(in[end - 1])) tail_line |= in[--end] == '\n';
    bool plain = !o.head && !o.tail;
    for (size_t i = first; i < end; i++) {
      u32 c = in[i];
      if (plain && c == '\n') {
        while (!out.empty() && blank_q(out.back())) out.pop_back();
        out.push_back(c);
        while (i + 1 < end && blank_q(in[i + 1])) i++;
        continue;
      }
      out.push_back(c);
    }
    if (plain && tail_line) out.push_back('\n');
  }
  series_buffer* b = buffer_of(s.data2);
  u32 h = head_of(&s, b);
  bool owned = notify(&s, words::word_trim, static_cast<i32>(h), static_cast<i32>(in.size()));
  b = buffer_of(s.data2);
  if (b->used_units() == h + in.size()) write_chars(b, h, out);  // unchanged by the owner
  if (owned) notify(&s, words::word_trimmed, static_cast<i32>(h), static_cast<i32>(out.size()));
  return stack::set_result(&s);
}

// ---- Set operations -----------------------------------------------------------------------

const cell* do_set_op(bool case_sensitive, const cell* skip, i32 op) {
  cell a = *stack::arg(0), b = *stack::arg(1);
  collector::root_guard keep_a(&a);
  collector::root_guard keep_b(&b);
  u32 width = skip ? static_cast<u32>(skip_size(skip)) : 1;
  if (op < SET_UNIQUE || op > SET_DIFFERENCE) fire("internal", "not-done");
  std::vector<u32> ca = chars_of(&a), cb;
  if (op != SET_UNIQUE) cb = chars_of(&b);
  // First characters of B's records, and of the records already in the result.
  std::unordered_set<u32> in_b, taken;
  for (size_t i = 0; i < cb.size(); i += width) in_b.insert(fold(cb[i], case_sensitive));
  std::vector<u32> out;
  auto add_records = [&](const std::vector<u32>& from, int test) {
    // test: 0 every record, 1 those whose first character B holds, 2 those it does not.
    std::unordered_set<u32> in_a;
    if (test == 3)
      for (size_t i = 0; i < ca.size(); i += width) in_a.insert(fold(ca[i], case_sensitive));
    for (size_t i = 0; i < from.size(); i += width) {
      u32 key = fold(from[i], case_sensitive);
      bool pass = test == 0 || (test == 1 && in_b.count(key)) || (test == 2 && !in_b.count(key)) ||
                  (test == 3 && !in_a.count(key));
      if (!pass || taken.count(key)) continue;
      taken.insert(key);
      size_t end = std::min(from.size(), i + width);
      out.insert(out.end(), from.begin() + static_cast<i64>(i), from.begin() + static_cast<i64>(end));
    }
  };
  switch (op) {
    case SET_UNIQUE: add_records(ca, 0); break;
    case SET_UNION: add_records(ca, 0); add_records(cb, 0); break;
    case SET_INTERSECT: add_records(ca, 1); break;
    case SET_EXCLUDE: add_records(ca, 2); break;
    default: add_records(ca, 2); add_records(cb, 3); break;
  }
  cell r{TYPE_UNSET, 0, 0, 0};
  collector::root_guard keep_r(&r);
  make_at(&r, static_cast<u32>(out.size()));
  series_buffer* rb = buffer_of(r.data2);
  for (u32 c : out) rb = append_char(rb, c);
  set_type(&r, type_of(&a));
  return stack::set_result(&r);
}

cell* change_case(cell* value, const cell* part, bool upper) {
  if (type_of(value) == TYPE_CHAR) return unicode::change_case(value, part, upper);
  const cell& before = upper ? words::word_uppercase : words::word_lowercase;
  bool owned = notify(value, before, static_cast<i32>(value->data1), rs_length_q(value));
  cell part_word;
  datatype::word_of_name("part", &part_word);
  unicode::change_case(value, part, upper, &part_word);
  if (owned) notify(value, before, static_cast<i32>(value->data1), rs_length_q(value));
  return value;
}

}  // namespace vyr::string
