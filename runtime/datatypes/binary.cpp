// binary!: byte routines, conversions, mold, comparison, the editing actions and the
// bitwise actions. Edits gather the new bytes first (a copy that survives allocation),
// size the result once in 64 bits, grow at most once and tell the owner before and after.
#include "runtime/datatypes/binary.h"

#include <algorithm>
#include <cstring>

#include "runtime/codecs/base_n.h"
#include "runtime/collector.h"
#include "runtime/datatypes/bitset.h"
#include "runtime/datatypes/image.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/series.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/string_actions.h"
#include "runtime/datatypes/word.h"
#include "runtime/fire.h"
#include "runtime/datatypes/actions.h"
#include "runtime/stack.h"
#include "runtime/ownership.h"
#include "runtime/unicode.h"
#include "runtime/word_tables.h"

namespace vyr::binary {

namespace {

constexpr u64 MAX_BYTES = 0x7FFFFFFF;

u32 head_of(const cell* v, const series_buffer* b) {
  return std::min(v->data1, b->used_bytes());
}

// Room for `bytes` bytes from the buffer's offset (at least doubling when it grows).
series_buffer* ensure_room(series_buffer* b, u64 bytes) {
  if (u64{b->offset} + bytes <= b->end_offset()) return b;
  u32 node = b->node;
  collector::node_guard keep(&node);
  return memory::expand_series(b, std::max(bytes, u64{b->size} * 2));
}

bool text_type_q(u32 t) { return string::text_q(t); }

// Block-like sources of to/append: each element in turn.
bool block_source_q(u32 t) { return t == TYPE_BLOCK || t == TYPE_PAREN || t == TYPE_HASH; }

[[noreturn]] void bad_to_arg(const cell* v) {
  cell c = *v;
  datatype::fire_with_type("bad-to-arg", TYPE_BINARY, &c);
}
[[noreturn]] void invalid_range(const cell* v) {
  cell c = *v;
  fire("script", "out-of-range", &c);
}
[[noreturn]] void invalid_arg(const cell* v) {
  cell c = *v;
  fire("script", "invalid-arg", &c);
}

// The bytes of a tuple! (its length in header bits 19-22, the bytes from word 1).
void tuple_bytes(const cell* v, i64 limit, std::vector<u8>& out) {
  u32 n = (v->header >> 19) & 0x0F;
  if (n > 12) n = 12;
  if (limit >= 0 && static_cast<u64>(limit) < n) n = static_cast<u32>(limit);
  const u8* p = reinterpret_cast<const u8*>(&v->data1);
  out.insert(out.end(), p, p + n);
}

// The bytes a value contributes to append, insert and change (with `formed`, values of
// other types as their formed text). `part` limits binary!, tuple! and text bytes and the
// elements of a block (< 0: no limit).
void content_of(const cell* v, i64 part, bool formed, std::vector<u8>& out, int depth = 0) {
  u32 t = type_of(v);
  if (depth > 64) fire("internal", "stack-overflow");  // a block holding itself
  switch (t) {
    case TYPE_CHAR: {
      char seq[4];
      u32 n = unicode::cp_to_utf8(v->data2, seq);
      out.insert(out.end(), seq, seq + n);
      return;
    }
    case TYPE_INTEGER: {
      i32 n = static_cast<i32>(v->data2);
      if (n < -128 || n > 255) invalid_arg(v);
      out.push_back(static_cast<u8>(n));
      return;
    }
    case TYPE_BINARY: {
      series_buffer* b = buffer_of(v->data2);
      u32 h = head_of(v, b);
      u64 n = b->used_bytes() - h;
      if (part >= 0 && static_cast<u64>(part) < n) n = static_cast<u64>(part);
      const u8* p = reinterpret_cast<const u8*>(b->head()) + h;
      out.insert(out.end(), p, p + n);
      return;
    }
    case TYPE_TUPLE:
      return tuple_bytes(v, part, out);
    default:
      break;
  }
  if (block_source_q(t)) {
    cell blk = *v;
    collector::root_guard keep(&blk);
    for (u64 i = blk.data1, k = 0;; i++, k++) {
      series_buffer* b = buffer_of(blk.data2);
      if (i >= b->used_units() || (part >= 0 && k >= static_cast<u64>(part))) break;
      cell e = b->cells()[i];
      collector::root_guard keep_e(&e);
      content_of(&e, -1, formed, out, depth + 1);
    }
    return;
  }
  if (text_type_q(t)) {
    std::string s = utf8_of(v);
    u64 n = s.size();
    if (part >= 0 && static_cast<u64>(part) < n) n = static_cast<u64>(part);
    out.insert(out.end(), s.data(), s.data() + n);
    return;
  }
  if (!formed) bad_to_arg(v);
  stack::guard g;
  cell* text = actions::form_to_string(v);
  std::string s = utf8_of(text);
  out.insert(out.end(), s.begin(), s.end());
}

// A new binary! at `out` holding the bytes.
cell* new_binary(cell* out, const u8* bytes, u64 n) {
  if (n > MAX_BYTES) fire_no_memory();
  make_at(out, static_cast<u32>(n));
  series_buffer* b = buffer_of(out->data2);
  if (n) std::memcpy(b->head(), bytes, n);
  b->tail = b->offset + static_cast<u32>(n);
  return out;
}
cell* new_binary(cell* out, const std::vector<u8>& bytes) {
  return new_binary(out, bytes.data(), bytes.size());
}

// Replaces `removed` bytes at absolute index `pos` by `copies` copies of the run; /dup
// copies grow by doubling what is already written.
// `run` must not lie in the arena (growing the buffer may move it).
void splice(cell* s, u32 pos, u64 removed, const u8* run, u64 run_size, u64 copies) {
  series_buffer* b = buffer_of(s->data2);
  u64 used = b->used_bytes();
  u64 ins = run_size * copies;
  u64 new_used = used - removed + ins;
  if (run_size != 0 && (copies > MAX_BYTES || new_used > MAX_BYTES)) fire_no_memory();
  b = ensure_room(b, new_used);
  char* base = b->head();
  std::memmove(base + pos + ins, base + pos + removed, used - pos - removed);
  if (ins) {
    char* out = base + pos;
    std::memcpy(out, run, run_size);
    u64 done = run_size;
    while (done < ins) {
      u64 n = std::min(done, ins - done);
      std::memcpy(out + done, out, n);
      done += n;
    }
  }
  b->tail = b->offset + static_cast<u32>(new_used);
}

void splice(cell* s, u32 pos, u64 removed, const std::vector<u8>& run, u64 copies) {
  splice(s, pos, removed, run.data(), run.size(), copies);
}

// Whether a pointer lies in the arena, where a collection may move what it points at.
bool in_arena(const void* p) {
  const char* c = static_cast<const char*>(p);
  return c >= arena::base && c < arena::base + (u64{1} << 32);
}

cell edit_word(bool append) {
  if (append) return words::word_append;
  return *series::word_insert();
}

}  // namespace

// ---- Accessors ------------------------------------------------------------------------------

i32 rs_length_q(const cell* value) {
  series_buffer* b = buffer_of(value->data2);
  i64 n = i64{b->used_bytes()} - i64{value->data1};
  return n > 0 ? static_cast<i32>(n) : 0;
}

u8* rs_head(cell* value) {
  series_buffer* b = buffer_of(value->data2);
  if (value->data1 > b->used_bytes()) value->data1 = b->used_bytes();
  return reinterpret_cast<u8*>(b->head()) + value->data1;
}

u8 get_byte(const cell* value, u32 index) {
  series_buffer* b = buffer_of(value->data2);
  u64 at = u64{value->data1} + index;
  return at < b->used_bytes() ? static_cast<u8>(b->head()[at]) : 0;
}

std::vector<u8> bytes_of(const cell* value) {
  series_buffer* b = buffer_of(value->data2);
  u32 h = head_of(value, b);
  const u8* p = reinterpret_cast<const u8*>(b->head());
  return std::vector<u8>(p + h, p + b->used_bytes());
}

std::string utf8_of(const cell* text, i64 limit) {
  series_buffer* b = buffer_of(text->data2);
  u32 unit = b->unit();
  u32 used = b->used_units();
  u32 head = std::min(text->data1, used);
  const char* p = b->head() + u64{head} * unit;
  std::string out;
  u32 n = used - head;
  if (unit == 1) {
    out.reserve(n);
  } else {
    out.reserve(u64{n} * 2);
  }
  char seq[4];
  for (u32 i = 0; i < n; i++) {
    u32 c = string::get_char(p + u64{i} * unit, unit);
    if (c < 0x80) {
      if (limit >= 0 && out.size() + 1 > static_cast<u64>(limit)) break;
      out.push_back(static_cast<char>(c));
    } else {
      u32 k = unicode::cp_to_utf8(c, seq);
      out.append(seq, k);
    }
    if (limit >= 0 && out.size() >= static_cast<u64>(limit)) break;
  }
  if (limit >= 0 && out.size() > static_cast<u64>(limit)) out.resize(static_cast<u64>(limit));
  return out;
}

// ---- Makers ---------------------------------------------------------------------------------

cell* make_at(cell* c, u32 capacity) {
  c->header = TYPE_UNSET;
  u32 node = memory::alloc_bytes(capacity ? capacity : 16);
  *c = cell{TYPE_BINARY, 0, node, 0};
  return c;
}

cell* load_in(const u8* bytes, u32 n, u32 block) {
  std::vector<u8> copy(bytes, bytes + n);  // the source may lie in a buffer that moves
  cell v{TYPE_UNSET, 0, 0, 0};
  collector::root_guard keep_v(&v);
  u32 blk = block;
  collector::node_guard keep_b(&blk);
  new_binary(&v, copy);
  series_buffer* b = buffer_of(blk);
  cell* slot = memory::alloc_tail_cell(b);
  *slot = v;
  return slot;
}

cell* load(const u8* bytes, u32 n) {
  std::vector<u8> copy(bytes, bytes + n);
  cell* out = stack::push_slot();
  out->header = TYPE_UNSET;
  return new_binary(out, copy);
}

cell* push(const cell* value) { return stack::push_copy(value); }

// ---- Writers --------------------------------------------------------------------------------

void rs_append(cell* value, const u8* bytes, u32 n) {
  series_buffer* b = buffer_of(value->data2);
  rs_insert(value, b->used_bytes() - head_of(value, b), bytes, n);
}

void rs_insert(cell* value, u32 index, const u8* bytes, u32 n) {
  collector::root_guard keep(value);
  series_buffer* b = buffer_of(value->data2);
  u64 pos = std::min<u64>(u64{head_of(value, b)} + index, b->used_bytes());
  if (in_arena(bytes)) {  // the source may move when the destination grows
    std::vector<u8> run(bytes, bytes + n);
    splice(value, static_cast<u32>(pos), 0, run.data(), n, 1);
  } else {
    splice(value, static_cast<u32>(pos), 0, bytes, n, 1);
  }
}

void append_int32(cell* value, i32 v) {
  u32 u = static_cast<u32>(v);
  u8 bytes[4] = {static_cast<u8>(u >> 24), static_cast<u8>(u >> 16), static_cast<u8>(u >> 8),
                 static_cast<u8>(u)};
  rs_append(value, bytes, 4);
}

void write_at(cell* value, u32 offset, const u8* bytes, u32 n) {
  std::vector<u8> copy;
  if (in_arena(bytes)) {  // the source may move when the destination grows
    copy.assign(bytes, bytes + n);
    bytes = copy.data();
  }
  collector::root_guard keep(value);
  series_buffer* b = buffer_of(value->data2);
  u64 start = u64{head_of(value, b)} + offset;
  u64 end = start + n;
  if (end > MAX_BYTES) fire_no_memory();
  b = ensure_room(b, end);
  u64 used = b->used_bytes();
  if (start > used) std::memset(b->head() + used, 0, start - used);
  if (n) std::memcpy(b->head() + start, bytes, n);
  if (end > used) b->tail = b->offset + static_cast<u32>(end);
}

// ---- Comparison -----------------------------------------------------------------------------

i32 compare_bytes(const cell* a, const cell* b, i32 op, bool match) {
  u32 tb = type_of(b);
  if (tb != TYPE_BINARY && !text_type_q(tb)) return COMPARE_NOT_COMPARABLE;
  bool equality = op == compare_op::EQUAL || op == compare_op::NOT_EQUAL ||
                  op == compare_op::STRICT_EQUAL || op == compare_op::FIND;
  bool same = a->data2 == b->data2 && a->data1 == b->data1;
  if (op == compare_op::SAME) return same && tb == TYPE_BINARY ? 0 : -1;
  if (same && equality && tb == TYPE_BINARY) return 0;
  std::string text;
  const u8* pb;
  u64 lb;
  if (tb == TYPE_BINARY) {
    series_buffer* bb = buffer_of(b->data2);
    u32 h = head_of(b, bb);
    pb = reinterpret_cast<const u8*>(bb->head()) + h;
    lb = bb->used_bytes() - h;
  } else {
    text = utf8_of(b);
    pb = reinterpret_cast<const u8*>(text.data());
    lb = text.size();
  }
  series_buffer* ba = buffer_of(a->data2);
  u32 ha = head_of(a, ba);
  const u8* pa = reinterpret_cast<const u8*>(ba->head()) + ha;
  u64 la = ba->used_bytes() - ha;
  if (match) {
    // Only the pattern's length counts, and only when the input still holds that much.
    if (la < lb) return -1;
    i32 r = lb ? std::memcmp(pa, pb, lb) : 0;
    return r < 0 ? -1 : r > 0 ? 1 : 0;
  }
  if (equality && la != lb) return la < lb ? -1 : 1;
  u64 common = std::min(la, lb);
  i32 r = common ? std::memcmp(pa, pb, common) : 0;
  if (r) return r < 0 ? -1 : 1;
  return la < lb ? -1 : la > lb ? 1 : 0;
}

bool match_q(const cell* input, const cell* pattern) {
  u32 tp = type_of(pattern);
  if (tp == TYPE_CHAR || tp == TYPE_INTEGER) {
    if (rs_length_q(input) < 1) return false;
    return get_byte(input, 0) == pattern->data2;
  }
  return compare_bytes(input, pattern, compare_op::EQUAL, true) == 0;
}

bool match_bitset_q(const cell* input, const cell* bits) {
  if (rs_length_q(input) < 1) return false;
  return bitset::test_q(bits, get_byte(input, 0));
}

// ---- Actions --------------------------------------------------------------------------------

const cell* to(const cell* proto, const cell* spec_in, u32 type) {
  cell spec = *spec_in;
  collector::root_guard keep_spec(&spec);
  cell out{TYPE_UNSET, 0, 0, 0};
  collector::root_guard keep_out(&out);
  u32 ts = type_of(&spec);
  std::vector<u8> bytes;
  switch (ts) {
    case TYPE_CHAR:
    case TYPE_BINARY:
    case TYPE_TUPLE:
      content_of(&spec, -1, false, bytes);
      break;
    case TYPE_INTEGER: {
      u32 v = spec.data2;
      bytes = {static_cast<u8>(v >> 24), static_cast<u8>(v >> 16), static_cast<u8>(v >> 8),
               static_cast<u8>(v)};
      break;
    }
    case TYPE_FLOAT:
    case TYPE_PERCENT: {
      double d = cell_float(&spec);
      u64 u;
      std::memcpy(&u, &d, 8);
      for (int i = 7; i >= 0; i--) bytes.push_back(static_cast<u8>(u >> (8 * i)));
      break;
    }
    case TYPE_ISSUE: {
      cell name;
      word::name_string(&spec, &name);
      series_buffer* b = buffer_of(name.data2);
      if (!base_n::decode_16(b->head(), b->used_units(), b->unit(), bytes)) {
        cell v = spec;
        fire("script", "invalid-data", &v);
      }
      break;
    }
    case TYPE_BITSET:
      bytes = bitset::bytes_of(&spec);
      break;
    case TYPE_IMAGE:  // the pixels as stored, four bytes a pixel
      image::extract_data(&spec, image::MODE_ARGB, &out);
      return stack::set_result(&out);
    default:
      if (block_source_q(ts)) {
        content_of(&spec, -1, false, bytes);
      } else if (text_type_q(ts)) {
        std::string s = utf8_of(&spec);
        bytes.assign(s.begin(), s.end());
      } else {
        bad_to_arg(&spec);
      }
  }
  new_binary(&out, bytes);
  (void)proto;
  (void)type;
  return stack::set_result(&out);
}

const cell* make(const cell* proto, const cell* spec, u32 type) {
  u32 ts = type_of(spec);
  if (ts == TYPE_MONEY) {
    cell v = *spec;
    datatype::fire_with_type("bad-make-arg", TYPE_BINARY, &v);
  }
  if (ts == TYPE_INTEGER || ts == TYPE_FLOAT) {
    // A capacity in bytes, checked as string! checks its size.
    i64 n;
    if (ts == TYPE_FLOAT) {
      double d = cell_float(spec);
      if (!(d > -2147483649.0 && d < 2147483648.0)) invalid_range(spec);
      n = static_cast<i64>(d);
    } else {
      n = static_cast<i32>(spec->data2);
    }
    if (n < 0) invalid_range(spec);
    cell out{TYPE_UNSET, 0, 0, 0};
    collector::root_guard keep(&out);
    make_at(&out, static_cast<u32>(n));
    return stack::set_result(&out);
  }
  return to(proto, spec, type);
}

i32 mold(const cell* value, cell* out, bool only, bool, bool flat, const cell* part,
         i32 budget, i32 indent) {
  std::vector<u8> bytes = bytes_of(value);
  u64 n = bytes.size();
  bool lines = n >= 31 && !flat;
  // The text is built apart (bytes copied out above), then appended in one step.
  std::string text;
  text.reserve(n * 2 + 8);
  i64 left = budget;
  auto spent = [&] { return part && left <= 0; };
  auto put = [&](const char* s, u64 k) {
    text.append(s, k);
    left -= static_cast<i64>(k);
  };
  auto line_break = [&](i32 level) {
    put("\n", 1);
    for (i32 i = 0; i < level && !spent(); i++) put("    ", 4);
  };
  if (!only) put("#{", 2);
  static const char digits[] = "0123456789ABCDEF";
  if (lines && !spent()) line_break(indent + 1);
  for (u64 i = 0; i < n && !spent(); i++) {
    char hex[2] = {digits[bytes[i] >> 4], digits[bytes[i] & 15]};
    put(hex, 2);
    if (lines && (i + 1) % 32 == 0 && i + 1 < n && !spent()) line_break(indent + 1);
  }
  // The closing brace goes on a line of its own at the value's level, also after a full
  // last line (which would otherwise leave it indented one level too deep).
  if (lines && !spent()) line_break(indent);
  if (!only && !spent()) put("}", 1);
  if (part && left < 0) text.resize(text.size() - static_cast<u64>(-left));
  if (!text.empty())
    string::concatenate_literal_part(out, text.data(), static_cast<u32>(text.size()));
  return budget - static_cast<i32>(text.size());
}

i32 form(const cell* value, cell* out, const cell* part, i32 budget) {
  return mold(value, out, false, false, false, part, budget, 0);
}

i32 compare(const cell* a, const cell* b, i32 op) {
  if (type_of(b) != TYPE_BINARY) return COMPARE_NOT_COMPARABLE;
  return compare_bytes(a, b, op, false);
}

const cell* append(cell* series, const cell* value, i32 part, bool, i32 dup, bool append) {
  cell s = *series, v = *value;
  collector::root_guard keep_s(&s);
  collector::root_guard keep_v(&v);
  std::vector<u8> run;
  // One byte or one character, the commonest append of all: its few bytes need no heap
  // buffer (content_of's answer for them, without it).
  char one[4];
  const u8* bytes;
  u64 size;
  if (type_of(&v) == TYPE_INTEGER || type_of(&v) == TYPE_CHAR) {
    if (type_of(&v) == TYPE_INTEGER) {
      i32 n = static_cast<i32>(v.data2);
      if (n < -128 || n > 255) invalid_arg(&v);
      one[0] = static_cast<char>(n);
      size = 1;
    } else {
      size = unicode::cp_to_utf8(v.data2, one);
    }
    bytes = reinterpret_cast<const u8*>(one);
  } else {
    content_of(&v, part, false, run);
    bytes = run.data();
    size = run.size();
  }
  u64 copies = dup < 1 ? 0 : static_cast<u64>(dup);
  if (size * copies > MAX_BYTES) fire_no_memory();
  series_buffer* b = buffer_of(s.data2);
  u32 pos = append ? b->used_bytes() : head_of(&s, b);
  u64 ins = size * copies;
  cell word = edit_word(append);
  bool owned = ownership::check(&s, &word, nullptr, static_cast<i32>(pos), static_cast<i32>(ins));
  if (owned) {  // the handler may have changed the series
    b = buffer_of(s.data2);
    pos = append ? b->used_bytes() : head_of(&s, b);
  }
  splice(&s, pos, 0, bytes, size, copies);
  s.data1 = append ? 0 : static_cast<u32>(pos + ins);
  if (owned)
    ownership::check(&s, append ? &words::word_appended : &words::word_inserted, nullptr,
                     static_cast<i32>(pos), static_cast<i32>(ins));
  return stack::set_result(&s);
}

bool append_in_place(cell* series, const cell* value) {
  series_buffer* b = buffer_of(series->data2);
  if (b->flags & SERIES_OWNED) return false;  // the owner hears of every edit: see append
  char one[4];
  u32 size;
  if (type_of(value) == TYPE_INTEGER) {
    i32 n = static_cast<i32>(value->data2);
    if (n < -128 || n > 255) return false;  // append raises the error
    one[0] = static_cast<char>(n);
    size = 1;
  } else if (type_of(value) == TYPE_CHAR) {
    size = unicode::cp_to_utf8(value->data2, one);
  } else {
    return false;
  }
  if (u64{b->tail} + size > b->end_offset()) return false;
  std::memcpy(b->tail_ptr(), one, size);
  b->tail += size;
  series->data1 = 0;
  return true;
}

const cell* change(cell* series, const cell* value, i32 part, bool, i32 dup) {
  cell s = *series, v = *value;
  collector::root_guard keep_s(&s);
  collector::root_guard keep_v(&v);
  std::vector<u8> run;
  if (v.data2 == s.data2 && type_of(&v) == TYPE_BINARY) {
    run = bytes_of(&v);  // a change from the same binary reads its bytes first
  } else {
    content_of(&v, -1, true, run);
  }
  u64 copies = dup < 1 ? 0 : static_cast<u64>(dup);
  u64 ins = run.size() * copies;
  if (ins > MAX_BYTES) fire_no_memory();
  auto measure = [&](u32& pos, u64& removed) {
    series_buffer* b = buffer_of(s.data2);
    pos = head_of(&s, b);
    u64 room = b->used_bytes() - pos;
    removed = std::min<u64>(part >= 0 ? static_cast<u64>(part) : ins, room);
  };
  u32 pos;
  u64 removed;
  measure(pos, removed);
  bool owned = ownership::check(&s, &words::word_change, nullptr, static_cast<i32>(pos),
                                static_cast<i32>(ins));
  if (owned) measure(pos, removed);
  splice(&s, pos, removed, run, copies);
  s.data1 = static_cast<u32>(pos + ins);
  if (owned)
    ownership::check(&s, &words::word_changed, nullptr, static_cast<i32>(pos),
                     static_cast<i32>(ins));
  return stack::set_result(&s);
}

const cell* trim(cell* series, const trim_args& o) {
  if (o.auto_ || o.lines) fire("internal", "not-done");
  if (o.with) return string::trim(series, o);
  cell s = *series;
  collector::root_guard keep(&s);
  std::vector<u8> in = bytes_of(&s), kept;
  if (o.all) {
    for (u8 c : in)
      if (c) kept.push_back(c);
  } else {
    size_t first = 0, end = in.size();
    if (!(o.tail && !o.head))
      while (first < end && in[first] == 0) first++;
    if (!(o.head && !o.tail))
      while (end > first && in[end - 1] == 0) end--;
    kept.assign(in.begin() + static_cast<i64>(first), in.begin() + static_cast<i64>(end));
  }
  series_buffer* b = buffer_of(s.data2);
  u32 h = head_of(&s, b);
  bool owned = ownership::check(&s, &words::word_trim, nullptr, static_cast<i32>(h),
                                static_cast<i32>(in.size()));
  b = buffer_of(s.data2);
  if (b->used_bytes() == h + in.size()) {  // unchanged by the owner
    if (!kept.empty()) std::memcpy(b->head() + h, kept.data(), kept.size());
    b->tail = b->offset + h + static_cast<u32>(kept.size());
  }
  if (owned)
    ownership::check(&s, &words::word_trimmed, nullptr, static_cast<i32>(h),
                     static_cast<i32>(kept.size()));
  return stack::set_result(&s);
}

const cell* complement(cell* value) {
  series_buffer* b = buffer_of(value->data2);
  u32 h = head_of(value, b);
  u8* p = reinterpret_cast<u8*>(b->head());
  for (u32 i = h; i < b->used_bytes(); i++) p[i] = static_cast<u8>(~p[i]);
  return value;
}

namespace {
void bitwise(int op) {  // 0 and, 1 or, 2 xor
  cell* a = stack::arg(0);
  cell* b = stack::arg(1);
  if (type_of(b) != TYPE_BINARY) invalid_arg(b);
  std::vector<u8> x = bytes_of(a), y = bytes_of(b);
  if (x.size() < y.size()) std::swap(x, y);  // x is the longer
  std::vector<u8> r(x.size(), 0);
  for (size_t i = 0; i < y.size(); i++)
    r[i] = static_cast<u8>(op == 0 ? x[i] & y[i] : op == 1 ? x[i] | y[i] : x[i] ^ y[i]);
  if (op != 0) std::copy(x.begin() + static_cast<i64>(y.size()), x.end(), r.begin() + static_cast<i64>(y.size()));
  cell out{TYPE_UNSET, 0, 0, 0};
  collector::root_guard keep(&out);
  new_binary(&out, r);
  stack::set_result(&out);
}
}  // namespace

void and_() { bitwise(0); }
void or_() { bitwise(1); }
void xor_() { bitwise(2); }

// A byte by position answers an integer!, as pick does (string! would answer a char!).
const cell* eval_path(cell* parent, cell* element, cell* value, const path_args& walk) {
  if (type_of(element) != TYPE_INTEGER) return string::eval_path(parent, element, value, walk);
  i32 i = static_cast<i32>(element->data2);
  if (!value) return series::pick(parent, i, element);
  series::poke_at(parent, i, value);
  return value;
}

u8 set_value(const cell* value) {
  u32 t = type_of(value);
  if (t != TYPE_INTEGER && t != TYPE_CHAR) invalid_arg(value);
  return static_cast<u8>(value->data2);
}

// ---- Registration ---------------------------------------------------------------------------

void init() {
  action_row row;  // navigation, search and the unit-wise edits come from string!
  row.make = make;
  row.to = to;
  row.form = form;
  row.mold = mold;
  row.compare = compare;
  row.eval_path = eval_path;
  row.and_ = and_;
  row.or_ = or_;
  row.xor_ = xor_;
  row.complement = complement;
  row.append = append;
  row.insert = append;
  row.change = change;
  row.trim = trim;
  datatype::register_(TYPE_BINARY, TYPE_STRING, "binary!", row);
}

}  // namespace vyr::binary
