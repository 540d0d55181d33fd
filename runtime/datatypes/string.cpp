// string! storage: accessors, makers, loaders and writers with upward widening.
// Invariant: a buffer's unit is 1, 2 or 4 and holds every character stored in it; writers
// widen before they store and never narrow.
#include "runtime/datatypes/string.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "runtime/collector.h"
#include "runtime/fire.h"
#include "runtime/unicode.h"

namespace vyr::string {

const char escape_letters[0x5F] = {
    '@', 'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H', '-', '/', 'K', 'L', 'M', 'N', 'O',  // 00-0F
    'P', 'Q', 'R', 'S', 'T', 'U', 'V', 'W', 'X', 'Y', 'Z', '[', '\\', ']', '^', '_',  // 10-1F
    0, 0, '"', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,                                 // 20-2F
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,                                   // 30-3F
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,                                   // 40-4F
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, '^',                                    // 50-5E
};

const u32 default_trim_set[4] = {9, 10, 13, 32};

namespace {

inline void put_char(char* p, u32 unit, u32 cp) {
  switch (unit) {
    case 1: *p = static_cast<char>(cp); break;
    case 2: { u16 v = static_cast<u16>(cp); std::memcpy(p, &v, 2); break; }
    default: std::memcpy(p, &cp, 4); break;
  }
}

// Unit needed by a positional write (poke, set, insert): Latin-1 stays in one byte.
inline u32 unit_for_store(u32 cp) { return cp <= 0xFF ? 1 : cp <= 0xFFFF ? 2 : 4; }

// Grows a buffer to hold at least `bytes` from its data start (doubling at least), keeping
// its node alive through the allocation even when no value refers to it yet.
series_buffer* grow(series_buffer* b, u64 bytes) {
  u32 node = b->node;
  collector::node_guard keep(&node);
  return memory::expand_series(b, std::max(bytes, u64{b->size} * 2));
}

// Room for `bytes` bytes from the buffer's offset.
series_buffer* ensure_room(series_buffer* b, u64 bytes) {
  if (u64{b->offset} + bytes > b->end_offset()) b = grow(b, bytes);
  return b;
}

u32 clipped_head(const cell* value, const series_buffer* b) {
  return std::min(value->data1, b->used_units());
}

std::vector<char> scratch;  // swap_chunks' temporary store, 64 KB between calls
constexpr size_t SCRATCH_SIZE = 65536;

}  // namespace

// ---- Accessors ------------------------------------------------------------------------

u32 get_char(const char* p, u32 unit) {
  switch (unit) {
    case 1: return static_cast<u8>(*p);
    case 2: { u16 v; std::memcpy(&v, p, 2); return v; }
    default: { u32 v; std::memcpy(&v, p, 4); return v; }
  }
}

i32 rs_length_q(const cell* value) {
  series_buffer* b = buffer_of(value->data2);
  i64 n = i64(b->used_units()) - i64(value->data1);
  return n > 0 ? static_cast<i32>(n) : 0;
}

i32 rs_abs_length_q(const cell* value) {
  return static_cast<i32>(buffer_of(value->data2)->used_units());
}

char* rs_head(cell* value) {
  series_buffer* b = buffer_of(value->data2);
  u32 used = b->used_units();
  if (value->data1 > used) value->data1 = used;
  return b->head() + u64{value->data1} * b->unit();
}

char* rs_tail(const cell* value) { return buffer_of(value->data2)->tail_ptr(); }

bool rs_tail_q(const cell* value) {
  return value->data1 >= buffer_of(value->data2)->used_units();
}

u32 rs_abs_at(const cell* value, u32 index) {
  series_buffer* b = buffer_of(value->data2);
  if (index >= b->used_units()) return 0;  // never read outside the text
  return get_char(b->head() + u64{index} * b->unit(), b->unit());
}

i32 rs_find_char(const cell* value, u32 cp) {
  series_buffer* b = buffer_of(value->data2);
  u32 unit = b->unit();
  u32 used = b->used_units();
  u32 head = clipped_head(value, b);
  const char* p = b->head();
  for (u32 i = head; i < used; i++)
    if (get_char(p + u64{i} * unit, unit) == cp) return static_cast<i32>(i - head);
  return -1;
}

bool rs_find_char_step(const cell* value, u32 cp, i32 step, bool case_sensitive) {
  series_buffer* b = buffer_of(value->data2);
  u32 unit = b->unit();
  u32 used = b->used_units();
  if (step < 1) step = 1;
  if (!case_sensitive) cp = unicode::change_char_case(cp, true);
  const char* p = b->head();
  for (u64 i = clipped_head(value, b); i < used; i += static_cast<u32>(step)) {
    u32 c = get_char(p + i * unit, unit);
    if (!case_sensitive) c = unicode::change_char_case(c, true);
    if (c == cp) return true;
  }
  return false;
}

bool starts_with_q(const cell* value, const char* text) {
  series_buffer* b = buffer_of(value->data2);
  u32 unit = b->unit();
  u32 used = b->used_units();
  u32 i = clipped_head(value, b);
  for (; *text; text++, i++) {
    if (i >= used) return false;
    u32 c = get_char(b->head() + u64{i} * unit, unit);
    if (c > 0xFF || c != static_cast<u8>(*text)) return false;
  }
  return true;
}

cell* rs_reset(cell* value) {
  series_buffer* b = buffer_of(value->data2);
  b->flags = (b->flags & ~SERIES_UNIT_MASK) | 1;
  b->tail = b->offset;
  value->data1 = 0;
  return value;
}

cell* rs_skip(cell* value, i32 n) {
  i64 at = i64(value->data1) + n;
  if (at >= 0 && at <= i64(buffer_of(value->data2)->used_units()))
    value->data1 = static_cast<u32>(at);
  return value;
}

cell* rs_next(cell* value) { return rs_skip(value, 1); }

// ---- Makers ---------------------------------------------------------------------------

cell* make_at_unit(cell* c, u32 size, u32 unit) {
  c->header = TYPE_UNSET;
  u32 node = memory::alloc_units(size, unit);
  *c = cell{TYPE_STRING, 0, node, 0};
  return c;
}

cell* make_at(cell* c, u32 size) { return make_at_unit(c, size ? size : 1, 1); }

cell* load_at(const char* text, u32 size, cell* c, i32 encoding) {
  // An unknown encoding, or no cell to load into (the caller wanted the data stack), is a
  // mode this routine does not provide.
  if ((encoding != ENCODING_UTF8 && encoding != ENCODING_UTF16LE) || !c)
    fire("internal", "not-done");
  unicode::text_hold hold(text);
  c->header = TYPE_UNSET;
  u32 node;
  if (encoding == ENCODING_UTF8) {
    node = unicode::load_utf8(reinterpret_cast<const u8*>(text), size);
  } else {
    node = unicode::load_utf16(reinterpret_cast<const u16*>(text), size / 2, nullptr, false);
  }
  *c = cell{TYPE_STRING, 0, node, 0};
  return c;
}

cell* load_in(const char* text, u32 size, u32 block, i32 encoding) {
  // Decode into a rooted local first: the block's buffer may move while the string is made.
  unicode::text_hold hold(text);
  cell s{TYPE_UNSET, 0, 0, 0};
  collector::root_guard keep_s(&s);
  u32 blk = block;
  collector::node_guard keep_b(&blk);
  series_buffer* b = buffer_of(blk);
  u32 index = b->used_units();
  memory::alloc_tail_cell(b);  // unset! while the text is decoded
  load_at(text, size, &s, encoding);
  cell* slot = buffer_of(blk)->cells() + index;
  copy_cell(&s, slot);
  return slot;
}

cell* load_in_default(const char* text, u32 size, u32 block) {
  return load_in(text, size, block, ENCODING_UTF8);
}

cell* load_utf8_strict(const char* bytes, u32 n, cell* out) {
  unicode::text_hold hold(bytes);
  collector::root_guard keep(out);
  make_at(out, n);
  i32 left = 0;
  unicode::load_utf8_into(reinterpret_cast<const u8*>(bytes), n, out, &left);
  if (left > 0) {
    cell bin = unicode::small_binary(reinterpret_cast<const u8*>(bytes) + n - left,
                                     static_cast<u32>(left));
    fire("access", "invalid-utf8", &bin);
  }
  return out;
}

// ---- Writers --------------------------------------------------------------------------

series_buffer* widen_to(series_buffer* b, u32 current, u32 wanted) {
  if (wanted <= current) return b;
  u32 node = b->node;
  collector::node_guard keep(&node);
  if (current == 1) return wanted == 2 ? unicode::latin1_to_ucs2(b) : unicode::latin1_to_ucs4(b);
  return unicode::ucs2_to_ucs4(b);
}

series_buffer* append_char(series_buffer* b, u32 cp) {
  u32 unit = b->unit();
  u32 want = unit_for_append(cp);
  if (want > unit) {
    b = widen_to(b, unit, want);
    unit = want;
  }
  if (b->tail + unit > b->end_offset()) b = grow(b, u64{b->used_bytes()} + unit);
  put_char(b->tail_ptr(), unit, cp);
  b->tail += unit;
  return b;
}

series_buffer* poke_char(series_buffer* b, char* p, u32 cp) {
  u32 unit = b->unit();
  u32 want = unit_for_store(cp);
  if (want > unit) {
    u32 index = static_cast<u32>((p - b->head()) / unit);
    b = widen_to(b, unit, want);
    unit = want;
    p = b->head() + u64{index} * unit;
  }
  put_char(p, unit, cp);
  return b;
}

series_buffer* set_char_at(series_buffer* b, u32 index, u32 cp) {
  b = widen_to(b, b->unit(), unit_for_store(cp));
  u32 unit = b->unit();
  u64 end = memory::checked_size(u64{index} + 1, unit);
  b = ensure_room(b, end);
  u64 used = b->used_bytes();
  if (end > used) {
    // Writing past the tail: the units in between hold no character yet.
    if (end - unit > used) std::memset(b->head() + used, 0, end - unit - used);
    b->tail = b->offset + static_cast<u32>(end);
  }
  put_char(b->head() + end - unit, unit, cp);
  return b;
}

series_buffer* insert_char_at(series_buffer* b, u32 index, u32 cp) {
  b = widen_to(b, b->unit(), unit_for_store(cp));
  u32 unit = b->unit();
  u32 used = b->used_units();
  if (index > used) index = used;
  b = ensure_room(b, memory::checked_size(u64{used} + 1, unit));
  char* at = b->head() + u64{index} * unit;
  std::memmove(at + unit, at, u64{used - index} * unit);
  put_char(at, unit, cp);
  b->tail += unit;
  return b;
}

series_buffer* truncate_buffer(series_buffer* b, u32 n) {
  u64 bytes = u64{n} * b->unit();
  if (bytes > b->size) return b;
  if (bytes < b->used_bytes()) b->tail = b->offset + static_cast<u32>(bytes);
  return b;
}

cell* remove_chars(cell* value, u32 index, u32 count) {
  series_buffer* b = buffer_of(value->data2);
  u32 used = b->used_units();
  if (index >= used || count == 0) return value;
  count = std::min(count, used - index);
  u32 unit = b->unit();
  char* at = b->head() + u64{index} * unit;
  std::memmove(at, at + u64{count} * unit, u64{used - index - count} * unit);
  b->tail -= count * unit;
  return value;
}

cell* remove_char(cell* value, u32 index) { return remove_chars(value, index, 1); }

series_buffer* copy_widened(series_buffer* src, series_buffer* target, u32 size, u32 unit,
                            u32 start, u32 dest_offset, i32 end, bool keep_tail) {
  u32 src_node = src->node;
  collector::node_guard keep_src(&src_node);
  u32 su = src->unit();
  unit = std::max(unit, su);  // a copy never narrows what it carries
  u32 used = src->used_units();
  u32 stop = end > 0 ? std::min(static_cast<u32>(end), used) : used;
  start = std::min(start, stop);
  u32 n = stop - start;
  u64 need = memory::checked_size(u64{dest_offset} + n, unit);

  u32 target_node;
  series_buffer* old = nullptr;
  if (!target) {
    u64 units = std::max<u64>(size, u64{dest_offset} + n);
    memory::checked_size(units, unit);
    target_node = memory::alloc_series(static_cast<u32>(units), unit, 0);
    old = buffer_of(src_node);
  } else {
    target_node = target->node;
  }
  collector::node_guard keep_target(&target_node);
  target = buffer_of(target_node);
  if (target->unit() < unit) target = widen_to(target, target->unit(), unit);
  unit = target->unit();
  target = ensure_room(target, need);

  src = buffer_of(src_node);  // still the old buffer: the move happens below
  su = src->unit();
  if (old) old = src;
  const char* s = src->head() + u64{start} * su;
  char* d = target->head() + u64{dest_offset} * unit;
  u32 t_used = target->used_units();
  if (dest_offset > t_used && !keep_tail)  // a gap before the copy holds no character
    std::memset(target->head() + u64{t_used} * unit, 0, u64{dest_offset - t_used} * unit);
  if (su == unit) {
    std::memmove(d, s, u64{n} * unit);
  } else {
    for (u32 i = 0; i < n; i++) put_char(d + u64{i} * unit, unit, get_char(s + u64{i} * su, su));
  }
  if (!keep_tail) {
    target->tail = target->offset + static_cast<u32>(need);
    target->flags = (target->flags & ~SERIES_UNIT_MASK) | unit;
  }
  if (old) {
    // The source's series moves to the new buffer; the old one is abandoned.
    target->flags = (old->flags & ~(SERIES_UNIT_MASK | SERIES_BIG | SERIES_CENTRED | SERIES_MARK |
                                    SERIES_FIXED)) |
                    (target->flags & (SERIES_BIG | SERIES_UNIT_MASK));
    target->node = src_node;
    node_word(src_node) = arena::offset_of(target);
    old->node = 0;
    old->flags &= ~SERIES_IN_USE;
    if (old->flags & SERIES_BIG) memory::free_big(old);
    node_word(target_node) = 0;
    memory::free_node(target_node);
    target_node = src_node;
  }
  return target;
}

series_buffer* concatenate(cell* dst, const cell* src, i32 part, i32 offset, bool per_char,
                           i32 mode) {
  // Symbols standing in for strings are read through the symbol table, which lives
  // elsewhere; here both sides must be string-like or binary values.
  if (mode < CONCAT_APPEND || mode > CONCAT_OVERWRITE || type_of(dst) == TYPE_SYMBOL ||
      type_of(src) == TYPE_SYMBOL)
    fire("internal", "not-done");
  collector::root_guard keep_dst(dst);
  collector::root_guard keep_src(src);
  u32 dnode = dst->data2;
  u32 snode = src->data2;
  series_buffer* s = buffer_of(snode);
  u32 su = s->unit();
  u32 s_head = clipped_head(src, s);
  u32 count = s->used_units() - s_head;
  if (part >= 0 && static_cast<u32>(part) < count) count = static_cast<u32>(part);
  series_buffer* d = buffer_of(dnode);
  if (count == 0) return d;

  // A string joined into itself: take its characters first, since inserting moves them.
  std::vector<u32> own;
  if (dnode == snode) {
    own.resize(count);
    for (u32 i = 0; i < count; i++) own[i] = get_char(s->head() + u64{s_head + i} * su, su);
  }

  // Only the destination widens; the source is read at its own unit.
  if (d->unit() < su) d = widen_to(d, d->unit(), su);
  u32 du = d->unit();
  u32 d_used = d->used_units();
  u32 at = d_used;
  if (mode != CONCAT_APPEND) {
    u32 d_head = clipped_head(dst, d);
    at = d_head + std::min(static_cast<u32>(std::max(offset, 0)), d_used - d_head);
  }
  u64 new_used = mode == CONCAT_OVERWRITE ? std::max<u64>(d_used, u64{at} + count)
                                          : u64{d_used} + count;
  u64 need = memory::checked_size(new_used, du);
  if (u64{d->offset} + need > d->end_offset()) {
    u32 node = dnode;
    collector::node_guard keep(&node);
    d = memory::expand_series(d, memory::checked_size(need, 2));
  }

  char* base = d->head();
  if (mode == CONCAT_INSERT)
    std::memmove(base + (u64{at} + count) * du, base + u64{at} * du, u64{d_used - at} * du);
  char* out = base + u64{at} * du;
  if (!own.empty()) {
    for (u32 i = 0; i < count; i++) put_char(out + u64{i} * du, du, own[i]);
  } else {
    s = buffer_of(snode);
    const char* in = s->head() + u64{s_head} * su;
    if (su == du && !per_char) {
      std::memcpy(out, in, u64{count} * du);
    } else {
      for (u32 i = 0; i < count; i++) put_char(out + u64{i} * du, du, get_char(in + u64{i} * su, su));
    }
  }
  d->tail = d->offset + static_cast<u32>(need);
  return d;
}

series_buffer* overwrite(cell* dst, const cell* src, i32 part, i32 offset, bool per_char) {
  return concatenate(dst, src, part, offset, per_char, CONCAT_OVERWRITE);
}

series_buffer* concatenate_literal(cell* value, const char* text) {
  return concatenate_literal_part(value, text, static_cast<u32>(std::strlen(text)));
}

series_buffer* concatenate_literal_part(cell* value, const char* text, u32 n) {
  series_buffer* b = buffer_of(value->data2);
  u32 node = b->node;
  collector::node_guard keep(&node);
  // Fast path: ASCII into any buffer needs no widening, so it is reserved in one step.
  u32 i = 0;
  while (i < n && static_cast<u8>(text[i]) < 0x80) i++;
  if (i == n && n > 0) {
    u32 unit = b->unit();
    b = ensure_room(b, memory::checked_size(u64{b->used_units()} + n, unit));
    char* d = b->tail_ptr();
    if (unit == 1) {
      std::memcpy(d, text, n);
    } else {
      for (u32 k = 0; k < n; k++) put_char(d + u64{k} * unit, unit, static_cast<u8>(text[k]));
    }
    b->tail += n * unit;
    return b;
  }
  for (i = 0; i < n; i++) b = append_char(b, static_cast<u8>(text[i]));
  return b;
}

cell* move_chars(cell* src, cell* dst, u32 bytes) {
  collector::root_guard keep_src(src);
  collector::root_guard keep_dst(dst);
  series_buffer* s = buffer_of(src->data2);
  u32 su = s->unit();
  u32 s_head = clipped_head(src, s);
  u32 n = std::min(bytes / su, s->used_units() - s_head);
  if (n == 0) return src;
  std::vector<u32> chars(n);
  for (u32 i = 0; i < n; i++) chars[i] = get_char(s->head() + u64{s_head + i} * su, su);
  series_buffer* d = buffer_of(dst->data2);
  u32 d_head = clipped_head(dst, d);
  for (u32 i = 0; i < n; i++) d = insert_char_at(d, d_head + i, chars[i]);
  // Inserting before the source's characters in the same series pushed them up.
  if (dst->data2 == src->data2 && d_head <= s_head) s_head += n;
  remove_chars(src, s_head, n);
  return src;
}

void swap_chunks(char* p, u32 x, char* q, u32 y, i32 displacement) {
  u32 shorter = std::min(x, y);
  if (scratch.size() < std::max<size_t>(shorter, SCRATCH_SIZE))
    scratch.resize(std::max<size_t>(shorter, SCRATCH_SIZE));
  char* tmp = scratch.data();
  char* second_end = p + y + displacement;
  if (x > y) {
    std::memcpy(tmp, q, y);
    std::memmove(second_end, p, x);
    std::memcpy(p, tmp, y);
  } else {
    std::memcpy(tmp, p, x);
    std::memmove(p, q, y);
    std::memcpy(second_end, tmp, x);
  }
  if (scratch.size() > SCRATCH_SIZE) {
    scratch.resize(SCRATCH_SIZE);
    scratch.shrink_to_fit();
  }
}

series_buffer* reserve(series_buffer* b, u64 bytes) { return ensure_room(b, bytes); }
void put_unit(char* p, u32 unit, u32 cp) { put_char(p, unit, cp); }

// ---- Conversions ----------------------------------------------------------------------

const char* byte_to_hex(u8 byte) {
  static char out[3] = "00";
  static const char digits[] = "0123456789ABCDEF";
  out[0] = digits[byte >> 4];
  out[1] = digits[byte & 15];
  return out;
}

const char* to_hex(i32 value, bool short_form) {
  static char out[9] = "00000000";
  static const char digits[] = "0123456789ABCDEF";
  u32 v = static_cast<u32>(value);
  for (int i = 7; i >= 0; i--, v >>= 4) out[i] = digits[v & 15];
  if (!short_form) return out;
  if (value == 0) return "00";
  char pad = value < 0 ? 'F' : '0';
  int first = 0;
  while (first < 7 && out[first] == pad) first++;
  return out + first;
}

std::string to_utf8(const cell* value) {
  series_buffer* b = buffer_of(value->data2);
  u32 unit = b->unit();
  std::string out;
  u32 n = b->used_units();
  if (value->data1 >= n) return out;
  out.reserve(n - value->data1);
  char seq[4];
  const char* head = b->head();
  for (u32 i = value->data1; i < n;) {
    if (unit == 1) {
      // A run of ASCII goes over as it stands (a long line is one run).
      u32 j = i;
      for (u64 w; j + 8 <= n && (std::memcpy(&w, head + j, 8), (w & 0x8080808080808080ull) == 0);) j += 8;
      while (j < n && u8(head[j]) < 0x80) j++;
      out.append(head + i, j - i);
      if ((i = j) == n) break;
    }
    u32 c = get_char(head + u64{i} * unit, unit);
    out.append(seq, unicode::cp_to_utf8(c, seq));
    i++;
  }
  return out;
}

}  // namespace vyr::string
