// Unicode conversion: UTF-8 and UTF-16LE to and from string buffers of 1-, 2- or 4-byte
// units, and widening a buffer in place. Every decoder stops at the length it was given.
#include "runtime/unicode.h"

#include <algorithm>

#include "base/utf8.h"

#include "runtime/collector.h"
#include "runtime/fire.h"

namespace vyr::unicode {

namespace {

bool in_arena(const void* p) {
  auto c = static_cast<const char*>(p);
  return c >= arena::base && c < arena::base + (u64{1} << 32);
}

[[noreturn]] void invalid_utf8(const u8* p, i32 available) {
  cell bin = small_binary(p, static_cast<u32>(std::min(available, 4)));
  fire("access", "invalid-utf8", &bin);
}

[[noreturn]] void invalid_char(u32 cp) {
  cell v{TYPE_INTEGER, 0, cp, 0};
  fire("script", "invalid-char", &v);
}

inline u32 read_unit(const char* p, u32 unit) {
  switch (unit) {
    case 1: return static_cast<u8>(*p);
    case 2: { u16 v; std::memcpy(&v, p, 2); return v; }
    default: { u32 v; std::memcpy(&v, p, 4); return v; }
  }
}

inline void write_unit(char* p, u32 unit, u32 cp) {
  switch (unit) {
    case 1: *p = static_cast<char>(cp); break;
    case 2: { u16 v = static_cast<u16>(cp); std::memcpy(p, &v, 2); break; }
    default: std::memcpy(p, &cp, 4); break;
  }
}

inline u16 read16(const u16* base, u32 i) {
  u16 v;
  std::memcpy(&v, reinterpret_cast<const char*>(base) + u64{i} * 2, 2);
  return v;
}

inline void write16(char* p, u16 v) { std::memcpy(p, &v, 2); }

u32 unit_for(u32 cp) { return cp <= 0xFF ? 1 : cp <= 0xFFFF ? 2 : 4; }

void set_unit(series_buffer* b, u32 unit) {
  b->flags = (b->flags & ~SERIES_UNIT_MASK) | unit;
}

// Makes the target node's buffer an empty buffer of `unit` with room for `units` units from
// the start of its data area; its old content is dropped. Returns the buffer.
series_buffer* reset_target(u32 node, u32 unit, u32 units) {
  series_buffer* b = buffer_of(node);
  b->offset = b->tail = b->data_offset();
  set_unit(b, unit);
  u64 need = memory::checked_size(units, unit);
  if (b->size < need) {
    b = memory::grow_buffer(b, need);
    b->offset = b->tail = b->data_offset();
  }
  return b;
}

// Clipped head index of a string-like value (not written back).
u32 head_index(const cell* value, const series_buffer* b) {
  return std::min(value->data1, b->used_units());
}

// Code points from the value's head, at most `limit` when limit >= 0.
u32 count_from_head(const cell* value, i32 limit) {
  series_buffer* b = buffer_of(value->data2);
  u32 n = b->used_units() - head_index(value, b);
  if (limit >= 0 && static_cast<u32>(limit) < n) n = static_cast<u32>(limit);
  return n;
}

}  // namespace

text_hold::text_hold(const void* text) : saved_(collector::state.enabled), held_(in_arena(text)) {
  if (held_) collector::state.enabled = 0;
}

text_hold::~text_hold() {
  if (held_) collector::state.enabled = saved_;
}

cell small_binary(const u8* bytes, u32 n) {
  u8 copy[4];
  n = std::min(n, 4u);
  std::memcpy(copy, bytes, n);  // the allocation below may move an arena source
  u32 node = memory::alloc_bytes(n);
  series_buffer* b = buffer_of(node);
  std::memcpy(b->data(), copy, n);
  b->tail = b->offset + n;
  return cell{TYPE_BINARY, 0, node, 0};
}

// ---- Decoding -------------------------------------------------------------------------

const u8* fast_decode_utf8_char(const u8* p, const u8* end, i32* cp) {
  return utf8::fast_decode(p, end, cp);
}

i32 count_utf8_chars(const u8* start, const u8* end) {
  i32 n = 0;
  i32 cp;
  while (start < end) {
    if (*start < 0x80) {
      start++;
    } else {
      start = fast_decode_utf8_char(start, end, &cp);
    }
    n++;
  }
  return n;
}

const u8* skip_utf8_chars(const u8* start, const u8* end, i32 n) {
  i32 cp;
  while (n-- > 0 && start < end) start = fast_decode_utf8_char(start, end, &cp);
  return start;
}

u32 utf8_char_size(u8 lead) { return utf8::lead_size(lead); }

// Overlong forms (C0 80 for NUL, E0 80 AF for "/", ...) decode to the code point they
// spell. Every consumer works on the decoded code points and re-encodes canonically, so an
// overlong form cannot smuggle a byte past a check made on the text; accepting them keeps
// files written by tools that use the two-byte NUL readable.
i32 decode_utf8_char(const u8* p, i32* count) {
  i32 avail = *count;
  if (avail <= 0) return -1;
  utf8::decoded d = utf8::decode(p, static_cast<u32>(avail));
  switch (d.status) {
    case utf8::outcome::ok: *count = static_cast<i32>(d.size); return static_cast<i32>(d.cp);
    case utf8::outcome::cut: return -1;
    default: invalid_utf8(p, avail);
  }
}

namespace {

constexpr u64 HIGH_BITS = 0x8080808080808080ull;

// Whether the 8 bytes at p are all ASCII.
inline bool ascii8(const u8* p) {
  u64 w;
  std::memcpy(&w, p, 8);
  return (w & HIGH_BITS) == 0;
}

template <u32 UNIT>
u32 store_utf8(const u8* p, u32 n, char* d, bool line_end) {
  u32 k = 0;
  u32 i = 0;
  while (i < n) {
    if (i + 8 <= n && ascii8(p + i) && (!line_end || !std::memchr(p + i, '\r', 8))) {
      if (UNIT == 1) {
        std::memcpy(d + k, p + i, 8);
      } else {
        for (u32 j = 0; j < 8; j++) write_unit(d + u64{k + j} * UNIT, UNIT, p[i + j]);
      }
      i += 8;
      k += 8;
      continue;
    }
    u32 cp = p[i];
    if (cp < 0x80) {
      i++;
      if (cp == '\r' && line_end) {
        if (i < n && p[i] == '\n') continue;
        cp = '\n';
      }
    } else {
      i32 used = static_cast<i32>(n - i);
      cp = static_cast<u32>(decode_utf8_char(p + i, &used));
      i += static_cast<u32>(used);
    }
    write_unit(d + u64{k} * UNIT, UNIT, cp);
    k++;
  }
  return k;
}

}  // namespace

u32 load_utf8_buffer(const u8* text, u32 length, u32 target, i32* remaining, bool line_end) {
  if (remaining) *remaining = 0;
  const u8* p = text;
  u32 n = length;
  if (n > 2 && p[0] == 0xEF && p[1] == 0xBB && p[2] == 0xBF) {
    p += 3;
    n -= 3;
  }
  // First pass: validate (raising before anything is changed), find where a cut sequence
  // starts and the widest code point. The second pass stores into a buffer that already
  // has the final unit and room for every code point, so loading never grows mid-way.
  u32 widest = 0;
  u32 i = 0;
  while (i < n) {
    if (i + 8 <= n && ascii8(p + i)) {
      i += 8;
      continue;
    }
    if (p[i] < 0x80) {
      i++;
      continue;
    }
    i32 used = static_cast<i32>(n - i);
    i32 cp = decode_utf8_char(p + i, &used);
    if (cp < 0) break;
    widest = std::max(widest, static_cast<u32>(cp));
    i += static_cast<u32>(used);
  }
  u32 valid = i;
  if (remaining) *remaining = static_cast<i32>(n - valid);

  u32 capacity = std::max(length, 1u);
  text_hold hold(text);
  series_buffer* b;
  u32 node = target;
  if (node) {
    u32 unit = std::max(buffer_of(node)->unit(), unit_for(widest));
    b = reset_target(node, unit, capacity);
  } else {
    node = memory::alloc_series(capacity, unit_for(widest), 0);
    b = buffer_of(node);
  }
  u32 k;
  switch (b->unit()) {
    case 1: k = store_utf8<1>(p, valid, b->head(), line_end); break;
    case 2: k = store_utf8<2>(p, valid, b->head(), line_end); break;
    default: k = store_utf8<4>(p, valid, b->head(), line_end); break;
  }
  b->tail = b->offset + k * b->unit();
  return node;
}

u32 load_utf8_into(const u8* text, u32 length, cell* value, i32* remaining) {
  collector::root_guard keep(value);
  return load_utf8_buffer(text, length, value->data2, remaining, false);
}

u32 load_utf8(const u8* text, u32 length) {
  return load_utf8_buffer(text, length, 0, nullptr, false);
}

u32 utf16_unit_size(const u16* text, u32 n) {
  u32 unit = 1;
  for (u32 i = 0; i < n; i++) {
    u32 hi = read16(text, i) >> 8;
    if (hi >= 0xD8 && hi <= 0xDF) return 4;
    if (hi) unit = 2;
  }
  return unit;
}

u32 load_utf16(const u16* text, u32 n, cell* target, bool drop_cr) {
  if (!text) {
    // The text was left in the target's conversion buffer (a platform call wrote it there).
    if (!target || !target->data3) n = 0;
    else text = reinterpret_cast<const u16*>(buffer_of(target->data3)->data());
  }
  u32 unit = n ? utf16_unit_size(text, n) : 1;
  if (unit == 4) {
    for (u32 i = 0; i < n; i++) {
      u32 u = read16(text, i);
      if (u >= 0xD800 && u <= 0xDBFF) {
        u32 next = i + 1 < n ? read16(text, i + 1) : 0;
        if (next < 0xDC00 || next > 0xDFFF) {
          u16 bad = static_cast<u16>(u);
          cell bin = small_binary(reinterpret_cast<const u8*>(&bad), 2);
          fire("script", "invalid-data", &bin);
        }
        i++;
      }
    }
  }

  text_hold hold(text);
  cell none_cell{TYPE_NONE, 0, 0, 0};
  collector::root_guard keep(target ? target : &none_cell);
  series_buffer* b;
  u32 node;
  if (target) {
    node = target->data2;
    b = reset_target(node, unit, std::max(n, 1u));
    if (!text && target->data3) text = reinterpret_cast<const u16*>(buffer_of(target->data3)->data());
  } else if (n == 0) {
    node = memory::alloc_series(1, 2, 0);
    b = buffer_of(node);
  } else {
    node = memory::alloc_series(n, unit, 0);
    b = buffer_of(node);
  }
  unit = b->unit();
  char* d = b->head();
  u32 k = 0;
  for (u32 i = 0; i < n; i++) {
    u32 u = read16(text, i);
    if (u == '\r' && drop_cr) continue;
    if (u >= 0xD800 && u <= 0xDBFF && unit == 4) {
      u32 lo = read16(text, ++i);
      u = 0x10000 + ((u & 0x3FF) << 10) + (lo & 0x3FF);
    }
    write_unit(d + u64{k} * unit, unit, u);
    k++;
  }
  b->tail = b->offset + k * unit;
  return node;
}

// ---- Encoding -------------------------------------------------------------------------

u32 cp_utf8_size(u32 cp) {
  if (u32 n = utf8::encoded_size(cp)) return n;
  invalid_char(cp);
}

u64 utf8_size(const char* start, const char* end, u32 unit) {
  u64 n = 0;
  if (unit == 1) {
    for (const char* p = start; p < end; p++) n += static_cast<u8>(*p) < 0x80 ? 1 : 2;
    return n;
  }
  for (const char* p = start; p + unit <= end; p += unit) n += cp_utf8_size(read_unit(p, unit));
  return n;
}

u32 cp_to_utf8(u32 cp, char* dest) {
  if (u32 n = utf8::encode(cp, dest)) return n;
  invalid_char(cp);
}

u32 cp_to_utf8_bounded(u32 cp, char* dest, u32 room) {
  if (cp_utf8_size(cp) > room) return 0;
  return cp_to_utf8(cp, dest);
}

char* to_utf8(cell* value, i32* length) { return to_utf8_buffer(value, length, false); }

char* to_utf8_eol(cell* value, i32* length, bool line_end) {
  return to_utf8_buffer(value, length, line_end);
}

char* to_utf8_buffer(cell* value, i32* length, bool line_end) {
  u32 count = count_from_head(value, *length);
  u32 unit = buffer_of(value->data2)->unit();
  // Worst case: Latin-1 takes 2 bytes a character, UCS-2 3, UCS-4 4; CR LF takes 2.
  u64 size = memory::checked_size(u64{count} + 1, unit == 4 ? 4 : unit + 1);
  char* out = get_cache(value, static_cast<u32>(size));
  series_buffer* b = buffer_of(value->data2);
  const char* src = b->head() + u64{head_index(value, b)} * unit;
  char* d = out;
  for (u32 i = 0; i < count; i++) {
    u32 cp = read_unit(src + u64{i} * unit, unit);
    if (cp < 0x80) {
      if (cp == '\n' && line_end) *d++ = '\r';
      *d++ = static_cast<char>(cp);
    } else {
      d += cp_to_utf8(cp, d);
    }
  }
  *d = 0;
  *length = static_cast<i32>(d - out);
  return out;
}

u32 to_utf8_into(const cell* value, char* dest, i32 limit, bool nul) {
  u32 count = count_from_head(value, limit);
  series_buffer* b = buffer_of(value->data2);
  u32 unit = b->unit();
  const char* src = b->head() + u64{head_index(value, b)} * unit;
  char* d = dest;
  for (u32 i = 0; i < count; i++) d += cp_to_utf8(read_unit(src + u64{i} * unit, unit), d);
  if (nul) *d = 0;
  return static_cast<u32>(d - dest);
}

u32 to_utf8_bounded(const cell* value, char* dest, u32 capacity, i32 limit, bool nul) {
  u32 count = count_from_head(value, limit > 0 ? limit : -1);
  series_buffer* b = buffer_of(value->data2);
  u32 unit = b->unit();
  const char* src = b->head() + u64{head_index(value, b)} * unit;
  u32 used = 0;
  for (u32 i = 0; i < count; i++) {
    u32 n = cp_to_utf8_bounded(read_unit(src + u64{i} * unit, unit), dest + used, capacity - used);
    if (n == 0) break;  // the next sequence does not fit whole
    used += n;
  }
  if (nul) dest[used] = 0;
  return used;
}

u16* to_utf16(cell* value) {
  i32 length = -1;
  return to_utf16_len(value, &length, true);
}

u16* to_utf16_len(cell* value, i32* length, bool line_end) {
  u32 count = count_from_head(value, *length);
  series_buffer* b = buffer_of(value->data2);
  u32 unit = b->unit();
  u64 extra = 0;
  {
    const char* src = b->head() + u64{head_index(value, b)} * unit;
    for (u32 i = 0; i < count; i++) {
      u32 cp = read_unit(src + u64{i} * unit, unit);
      if (cp == '\n' || cp > 0xFFFF) extra++;
    }
  }
  u64 size = memory::checked_size(u64{count} + 1 + extra, 2);
  char* out = get_cache(value, static_cast<u32>(size));
  b = buffer_of(value->data2);
  const char* src = b->head() + u64{head_index(value, b)} * unit;
  char* d = out;
  for (u32 i = 0; i < count; i++) {
    u32 cp = read_unit(src + u64{i} * unit, unit);
    if (cp == '\n' && line_end) {
      write16(d, '\r');
      d += 2;
    }
    if (cp > 0xFFFF) {
      if (cp > 0x10FFFF) return nullptr;
      cp -= 0x10000;
      write16(d, static_cast<u16>(0xD800 + (cp >> 10)));
      write16(d + 2, static_cast<u16>(0xDC00 + (cp & 0x3FF)));
      d += 4;
    } else {
      write16(d, static_cast<u16>(cp));
      d += 2;
    }
  }
  write16(d, 0);
  *length = static_cast<i32>((d - out) / 2);
  return reinterpret_cast<u16*>(out);
}

void ascii_to_utf16(const char* text, u16* dest) {
  char* d = reinterpret_cast<char*>(dest);
  for (; *text; text++, d += 2) write16(d, static_cast<u8>(*text));
  write16(d, 0);
}

u32 cp_to_utf16(u32 cp, u16* dest) {
  char* d = reinterpret_cast<char*>(dest);
  if (cp < 0x10000) {
    write16(d, static_cast<u16>(cp));
    return 1;
  }
  if (cp > 0x10FFFF) return 0;
  write16(d, static_cast<u16>(0xD800 + ((cp - 0x10000) >> 10)));
  write16(d + 2, static_cast<u16>(0xDC00 + (cp & 0x3FF)));
  return 2;
}

char* get_cache(cell* value, u32 n) {
  u32 node = value->data3;
  if (node && node_word(node) && buffer_of(node)->size >= n) return buffer_of(node)->data();
  collector::root_guard keep(value);
  if (!node || !node_word(node)) {
    node = memory::alloc_bytes(std::max(n, 16u));
    value->data3 = node;
  } else {
    // Grow by at least half again, so that a string converted at growing lengths does
    // not reallocate every time.
    series_buffer* b = buffer_of(node);
    u64 want = std::max<u64>(n, u64{b->size} + b->size / 2);
    memory::grow_buffer(b, want);
  }
  return buffer_of(node)->data();
}

// ---- Widening in place ----------------------------------------------------------------

namespace {

series_buffer* widen(series_buffer* b, u32 to) {
  u32 from = b->unit();
  u32 n = b->used_units();
  if (b->offset != b->data_offset()) {
    std::memmove(b->data(), b->head(), b->used_bytes());
    b->offset = b->data_offset();
    b->tail = b->offset + n * from;
  }
  u64 need = memory::checked_size(u64{n} + 1, to);
  if (b->size < need) b = memory::expand_series(b, need);
  // Last to first, so that the wider copy may overlap the narrower original.
  char* d = b->data();
  for (u32 i = n; i-- > 0;) write_unit(d + u64{i} * to, to, read_unit(d + u64{i} * from, from));
  set_unit(b, to);
  b->tail = b->offset + n * to;
  return b;
}

}  // namespace

series_buffer* latin1_to_ucs2(series_buffer* b) { return widen(b, 2); }
series_buffer* latin1_to_ucs4(series_buffer* b) { return widen(b, 4); }
series_buffer* ucs2_to_ucs4(series_buffer* b) { return widen(b, 4); }

}  // namespace vyr::unicode
