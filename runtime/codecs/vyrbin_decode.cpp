// The VYRBIN decoder: header, symbol table, standard and compact records, reference paths,
// boot mode (root-indexed word contexts, assignment pairs) and load mode.
// Every value under construction is placed in the block being filled before anything it
// holds is decoded, so with the collector on all half-built values stay reachable from the
// (rooted) target block. Every count is checked against the bytes left before allocating.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "runtime/codecs/lz.h"
#include "runtime/codecs/vyrbin.h"
#include "runtime/collector.h"
#include "runtime/hooks.h"
#include "runtime/datatypes/binary.h"
#include "runtime/datatypes/bitset.h"
#include "runtime/datatypes/image.h"
#include "runtime/imaging/imaging.h"
#include "runtime/datatypes/context.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/date.h"
#include "runtime/datatypes/error.h"
#include "runtime/datatypes/function.h"
#include "runtime/datatypes/hash.h"
#include "runtime/datatypes/map.h"
#include "runtime/datatypes/money.h"
#include "runtime/datatypes/native.h"
#include "runtime/datatypes/object.h"
#include "runtime/datatypes/series.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/tuple.h"
#include "runtime/datatypes/vector.h"
#include "runtime/datatypes/word.h"
#include "runtime/fire.h"
#include "runtime/hashtable.h"
#include "runtime/datatypes/cells.h"
#include "runtime/natives/natives.h"

namespace vyr::vyrbin {

namespace {

bool boot = false;
u32 root_base = 0;

constexpr u32 MAX_PATH = 65536;
constexpr cell UNSET{TYPE_UNSET, 0, 0, 0};
constexpr u32 NO_CONTEXT = 0xFFFFFFFFu;

inline u32 le32(const u8* p) { u32 v; std::memcpy(&v, p, 4); return v; }

// Type codes that have a record (the refused ones of no-codec included).
inline bool known_type_q(u32 t) {
  return t != 0 && t != TYPE_SYMBOL && t != TYPE_SERIES && t < TYPE_TOTAL_COUNT;
}

inline bool context_owner_type_q(u32 t) { return t == TYPE_OBJECT || t == TYPE_FUNCTION; }

// Whether the bytes are well-formed UTF-8 (a symbol's name).
bool valid_utf8_q(const u8* s, size_t n) {
  size_t i = 0;
  while (i < n) {
    u8 c = s[i];
    if (c < 0x80) { i++; continue; }
    size_t k = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC2 ? 1 : 0;
    if (k == 0 || c > 0xF4 || i + k >= n) return false;
    for (size_t j = 1; j <= k; j++)
      if ((s[i + j] & 0xC0) != 0x80) return false;
    i += k + 1;
  }
  return true;
}

// Cell series only: a shift, not a division by the unit.
inline u32 block_length(u32 node) { return buffer_of(node)->used_bytes() >> 4; }
inline cell* block_at(u32 node, u32 i) { return buffer_of(node)->cells() + i; }
inline void block_truncate(u32 node, u32 n) {
  series_buffer* b = buffer_of(node);
  b->tail = b->offset + n * u32(sizeof(cell));
}
// Appends a copy of the cell and answers its position. The block may grow (and the
// collector run) first: a value made just before, not yet in any block, is kept alive.
// The growing case out of line: its guard stays out of the frames of the recursive
// record readers that inline the common case. An unoptimised build inlines nothing by
// force: there every inlined local would add to those frames, and the nesting limit's
// depth of them would no longer fit the stack.
[[gnu::noinline]] void append_growing(u32 node, const cell& c) {
  cell v = c;
  collector::root_guard g(&v);
  cells::append(node, &v);
}
#ifdef __OPTIMIZE__
[[gnu::always_inline]]
#endif
inline u32 append(u32 node, const cell& c) {
  series_buffer* b = buffer_of(node);
  u32 pos = b->used_bytes() >> 4;
  if (b->tail + sizeof(cell) <= b->end_offset()) {
    // No stamp: the blocks the decoder appends to are its own new ones, or the target,
    // whose stamp run() bumps.
    *arena::at<cell>(b->tail) = c;
    b->tail.set_unstamped(b->tail + u32(sizeof(cell)));
  } else {
    append_growing(node, c);
  }
  return pos;
}

// Marks a block already made (one a reference names) and every block and paren in it as
// the library's, stopping at a hash! and at what is marked already (shared or cyclic).
void mark_library(u32 node) {
  series_buffer* b = buffer_of(node);
  if (b->flags & SERIES_LIBRARY) return;
  b->flags |= SERIES_LIBRARY;
  const cell* c = b->cells();
  for (u32 i = 0, n = b->used_bytes() >> 4; i < n; i++) {
    u32 t = type_of(c + i);
    if (series::block_like_q(t) && t != TYPE_HASH) mark_library(series::node(c + i));
  }
}

// Runs a constructor that reports bad input by raising, turning its error into the
// decoder's own refusal.
template <class F> bool succeeds(F f) {
  try {
    f();
    return true;
  } catch (const thrown& t) {
    if (t.level != THROW_ERROR) throw;
    return false;
  }
}

struct context_spec {
  u32 kind = 0;
  bool stack = false, object = false, values = false;
  std::vector<u32> symbols;
};

class decoder {
 public:
  decoder(const u8* body, u64 body_size, u32 target, u32 first_root)
      : body_(body), p_(body), end_(body + body_size), target_(target), first_root_(first_root) {}

  void read_header(bool compact, bool symbols);
  void run();

 private:
  const u8* body_;
  const u8* p_;
  const u8* end_;
  u32 target_, first_root_;
  bool compact_ = false;
  const u8* offsets_ = nullptr;
  const u8* names_ = nullptr;
  u32 symbol_count_ = 0, names_size_ = 0;
  std::vector<u32> symbols_;
  std::vector<u32> global_slots_;  // per symbol number: its global word's index + 1, or 0
  u32 depth_ = 0;

  // ---- Reading ------------------------------------------------------------------------
  [[noreturn]] void bad() {
    cell n{TYPE_INTEGER, 0, u32(8 + (p_ - body_) + 1), 0};
    fire("script", "vb-invalid-record", &n);
  }
  u64 left() const { return u64(end_ - p_); }
  void need(u64 n) { if (n > left()) bad(); }
  u8 byte() { if (p_ >= end_) bad(); return *p_++; }
  u32 int32() { need(4); u32 v = le32(p_); p_ += 4; return v; }
  u32 varint() {
    u32 v = 0;
    for (int i = 0; i < 5; i++) {
      u8 b = byte();
      if (i == 4 && (b & 0xF0)) bad();
      v |= u32(b & 0x7F) << (7 * i);
      if (!(b & 0x80)) return v;
    }
    bad();
  }
  i32 zigzag() { u32 v = varint(); return i32((v >> 1) ^ (0u - (v & 1))); }
  u32 number() { return compact_ ? varint() : int32(); }
  void bytes(void* out, u64 n) { need(n); std::memcpy(out, p_, n); p_ += n; }
  void skip_padding(u64 n) { u64 pad = (4 - n % 4) % 4; need(pad); p_ += pad; }
  // A count of items each taking at least `min` bytes.
  u32 count(u32 min) {
    u32 n = number();
    if (u64(n) * min > left()) bad();
    return n;
  }
  u32 head_index() {
    u32 h = number();
    if (h > 0x7FFFFFFF) bad();
    return h;
  }

  u32 symbol(u32 number);
  bool known_global_word(u32 blk);

  // ---- Records ------------------------------------------------------------------------
  void record(u32 blk);
  void compact_record(u32 blk);
  void standard_record(u32 blk);
  void dispatch(u32 blk, u32 type, u32 header, bool flag, bool ref, bool assign);
  void assignment(u32 blk, u32 type, u32 header, bool flag);

  void scalar(u32 blk, u32 type, u32 header, bool flag);
  void block_like(u32 blk, u32 type, bool flag, bool ref);
  void text_like(u32 blk, u32 type, u32 header, bool flag, bool ref);
  void vector_(u32 blk, u32 header, bool flag, bool ref);
  void map_(u32 blk, bool ref);
  void bitset_(u32 blk, u32 header, bool flag, bool ref);
  void image_(u32 blk, bool flag, bool ref);
  void object_(u32 blk, u32 type, u32 header, bool flag, bool ref);
  void function_(u32 blk, bool ref);
  void function_block(u32 blk, u32 fn_pos, u32 which);
  void native_(u32 blk, u32 type);
  void op_(u32 blk);
  void error_(u32 blk);
  void word_(u32 blk, u32 type, u32 header, bool flag, bool ref);
  void global_word(u32 blk, u32 type, u32 n, u32 sym);

  context_spec context_body(bool allow_stack);
  u32 build_context(const context_spec& spec);
  void context_values(u32 ctx, const context_spec& spec);

  // ---- References ---------------------------------------------------------------------
  std::vector<u32> read_path(bool standard_record_header);
  cell resolve(const std::vector<u32>& path);
  cell referenced();  // reads a path (either mode) and resolves it
  u32 owner_context(const cell& c, bool words_too);
  void reference_record(u32 blk);
};

// ---- Header and symbol table ------------------------------------------------------------

void decoder::read_header(bool compact, bool symbols) {
  compact_ = compact;
  if (!compact && left() < 8) { cell z{TYPE_NONE, 0, 0, 0}; fire("script", "invalid-data", &z); }
  number();  // the root count: written, never used (records run to the area's end)
  u32 record_length = number();
  if (symbols) {
    u32 n = number();
    u32 s = number();
    if (n > 0x7FFFFFFF || s > 0x7FFFFFFF) bad();
    if (u64(n) * 4 > left()) bad();
    offsets_ = p_;
    p_ += u64(n) * 4;
    if (s > left()) bad();
    names_ = p_;
    if (s != 0 && names_[s - 1] != 0) bad();
    p_ += s;
    symbol_count_ = n;
    names_size_ = s;
    symbols_.assign(n, 0);
    global_slots_.assign(n, 0);
  }
  if (record_length > left()) bad();
  end_ = p_ + record_length;
}

// Symbols are interned when a record first uses them, with their exact spelling.
u32 decoder::symbol(u32 number) {
  if (number >= symbol_count_) bad();
  if (symbols_[number]) return symbols_[number];
  u32 off = le32(offsets_ + u64(number) * 4);
  if ((off & 0x80000000u) || off >= names_size_) bad();
  const u8* s = names_ + off;
  size_t n = strnlen(reinterpret_cast<const char*>(s), names_size_ - off);
  if (n == 0 || n >= names_size_ - off + 1 || !valid_utf8_q(s, n)) bad();
  u32 id = symbol::make_from_bytes(reinterpret_cast<const char*>(s), u32(n));
  symbols_[number] = id;
  return id;
}

// The image's commonest record, a plain word whose name an earlier record has already
// given its global slot (a new-line mark before it at most), read and appended in one
// step; anything else, or anything unusual about it, is left for record().
bool decoder::known_global_word(u32 blk) {
  const u8* q = p_;
  if (end_ - q < 2) return false;
  u32 header = 0;
  if (*q == 0xC0) {
    header = HEADER_NEW_LINE;
    q++;
  }
  u32 type = *q++;  // the flag bit clear: not bound elsewhere
  if (type < TYPE_WORD || type > TYPE_GET_WORD || q >= end_) return false;
  u32 n = *q++;
  if (n & 0x80) {
    if (q >= end_ || (*q & 0x80)) return false;
    n = (n & 0x7F) | u32(*q++) << 7;
  }
  if (n >= symbol_count_ || !global_slots_[n]) return false;
  p_ = q;
  append(blk, cell{type | header, _context::global, symbols_[n], global_slots_[n] - 1});
  return true;
}

void decoder::run() {
  // The target may be a block that exists already: what was decided about its cells no
  // longer holds, nor (should a bad record stop the load) after what came in.
  buffer_of(target_)->bump();
  while (p_ < end_) record(target_);
  buffer_of(target_)->bump();
}

// ---- Records ------------------------------------------------------------------------------

void decoder::record(u32 blk) {
  if (++depth_ > MAX_DEPTH) bad();
  if (compact_) compact_record(blk); else standard_record(blk);
  depth_--;
}

void decoder::compact_record(u32 blk) {
  bool new_line = false, ref = false, assign = false;
  u8 h;
  for (;;) {
    h = byte();
    if (h == 0xC0) new_line = true;
    else if (h == 0xC1) ref = true;
    else if (h == 0xC4) assign = true;
    else break;
  }
  u32 pos = block_length(blk);
  if (h >= 0x80) {
    if (ref || assign) { p_--; bad(); }
    if (h <= 0xBF) append(blk, cell{TYPE_INTEGER, 0, u32(h & 0x3F), 0});
    else if (h == 0xC2) append(blk, cell{TYPE_LOGIC, 1, 0, 0});
    else if (h == 0xC3) append(blk, cell{TYPE_LOGIC, 0, 0, 0});
    else if (h == 0xFF) reference_record(blk);
    else { p_--; bad(); }
  } else {
    u32 type = h & 0x3F;
    bool flag = (h & 0x40) != 0;
    if (type == 63) type = varint();
    if (type == 0 || type == TYPE_LOGIC || !known_type_q(type)) { p_--; bad(); }
    if (assign) {
      if (!boot || type < TYPE_WORD || type > TYPE_ISSUE) { p_--; bad(); }
      assignment(blk, type, 0, flag);
      return;
    }
    if (boot && !flag && !ref && type >= TYPE_WORD && type <= TYPE_GET_WORD) {
      // The image's commonest record, an unbound word: straight to its global slot.
      u32 n = number();
      global_word(blk, type, n, symbol(n));
    } else {
      dispatch(blk, type, 0, flag, ref, false);
    }
  }
  if (new_line && block_length(blk) > pos) block_at(blk, pos)->header |= HEADER_NEW_LINE;
}

void decoder::standard_record(u32 blk) {
  u32 h;
  do h = int32(); while ((h & 0xFF) == 0);  // padding words
  u32 type = h & 0xFF;
  u32 pos = block_length(blk);
  if (type != 0xFF && !known_type_q(type)) { p_ -= 4; bad(); }
  if (type == 0xFF) {
    p_ -= 4;
    reference_record(blk);
  } else if (boot && (h & (1u << 25)) && type >= TYPE_WORD && type <= TYPE_ISSUE) {
    assignment(blk, type, h, false);
    return;
  } else {
    // An op!'s bits 16-23 hold the wrapped type, not flags.
    dispatch(blk, type, h, false, type != TYPE_OP && (h & (1u << 19)) != 0, false);
  }
  if ((h & 0x80000000u) && block_length(blk) > pos) block_at(blk, pos)->header |= HEADER_NEW_LINE;
}

// A word record followed by the value it is set to; neither stays in the block.
void decoder::assignment(u32 blk, u32 type, u32 header, bool flag) {
  u32 pos = block_length(blk);
  word_(blk, type, header, flag, false);
  record(blk);
  if (block_length(blk) < pos + 2) bad();
  cell w = *block_at(blk, pos);
  cell v = *block_at(blk, pos + 1);
  collector::root_guard gw(&w), gv(&v);
  if (word::context(&w) == 0) bad();
  _context::set_in(&w, &v, word::context(&w), true);
  block_truncate(blk, pos);
}

void decoder::dispatch(u32 blk, u32 type, u32 header, bool flag, bool ref, bool) {
  switch (type) {
    case TYPE_BLOCK: case TYPE_PAREN: case TYPE_PATH: case TYPE_LIT_PATH: case TYPE_SET_PATH:
    case TYPE_GET_PATH: case TYPE_HASH:
      return block_like(blk, type, flag, ref);
    case TYPE_STRING: case TYPE_FILE: case TYPE_URL: case TYPE_TAG: case TYPE_EMAIL:
    case TYPE_REF: case TYPE_BINARY:
      return text_like(blk, type, header, flag, ref);
    case TYPE_VECTOR: return vector_(blk, header, flag, ref);
    case TYPE_MAP: return map_(blk, ref);
    case TYPE_BITSET: return bitset_(blk, header, flag, ref);
    case TYPE_CONTEXT: case TYPE_OBJECT: return object_(blk, type, header, flag, ref);
    case TYPE_FUNCTION: return function_(blk, ref);
    case TYPE_WORD: case TYPE_SET_WORD: case TYPE_LIT_WORD: case TYPE_GET_WORD:
    case TYPE_REFINEMENT:
      return word_(blk, type, header, flag, ref);
    case TYPE_IMAGE: return image_(blk, flag, ref);
    case TYPE_ROUTINE: case TYPE_TRIPLE: case TYPE_HANDLE: case TYPE_PORT: case TYPE_EVENT: {
      cell dt{TYPE_DATATYPE, type, 0, 0};
      fire("access", "no-codec", &dt);
    }
    default: break;
  }
  if (ref) bad();
  switch (type) {
    case TYPE_NATIVE: case TYPE_ACTION: return native_(blk, type);
    case TYPE_OP: return op_(blk);
    case TYPE_ERROR: return error_(blk);
    default: return scalar(blk, type, header, flag);
  }
}

void decoder::scalar(u32 blk, u32 type, u32 header, bool flag) {
  cell c{type, 0, 0, 0};
  switch (type) {
    case TYPE_DATATYPE: {
      u32 id = number();
      if (id == 0 || id >= datatype::MAX_TYPES || !datatype::registered_q(id)) bad();
      datatype::id(&c) = id;
      break;
    }
    case TYPE_UNSET: case TYPE_NONE: break;
    case TYPE_LOGIC: c.data1 = int32() != 0; break;  // standard only
    case TYPE_CHAR: {
      u32 cp = number();
      if (cp > 0x10FFFF) bad();
      c.data2 = cp;
      break;
    }
    case TYPE_INTEGER: c.data2 = compact_ ? u32(zigzag()) : int32(); break;
    case TYPE_FLOAT: case TYPE_PERCENT: case TYPE_TIME: {
      if (compact_ && flag) {
        double d = double(zigzag());
        if (type == TYPE_PERCENT) d /= 100.0;
        set_cell_float(&c, d);
      } else if (compact_) {
        c.data2 = int32();
        c.data3 = int32();
      } else {
        c.data3 = int32();
        c.data2 = int32();
      }
      break;
    }
    case TYPE_PAIR:
      if (compact_) { c.data2 = u32(zigzag()); c.data3 = u32(zigzag()); }
      else { c.data2 = int32(); c.data3 = int32(); }
      break;
    case TYPE_POINT2D: c.data1 = int32(); c.data2 = int32(); break;
    case TYPE_POINT3D: c.data1 = int32(); c.data2 = int32(); c.data3 = int32(); break;
    case TYPE_DATE: {
      u32 packed = int32();
      bool has_time = date::has_time_q(packed);
      if (compact_ && has_time != flag) bad();
      if (has_time) {
        if (compact_) { c.data2 = int32(); c.data3 = int32(); }
        else { c.data3 = int32(); c.data2 = int32(); }
      } else if (!compact_) {
        if (int32() != 0 || int32() != 0) bad();
      }
      i32 month = date::month_of(packed), day = date::day_of(packed);
      u32 zone = date::zone_of(packed);
      if (month < 1 || month > 12 || day < 1 ||
          day > date::days_in_month(date::year_of(packed), month))
        bad();
      if (((zone >> 2) & 0xF) > 15 || (packed & 0xF00u & ~0xF80u)) bad();
      double t = cell_float(&c);
      if (!(t > -2 * 86400.0 && t < 2 * 86400.0)) bad();
      if (!has_time && (c.data2 | c.data3)) bad();
      c.data1 = packed;
      break;
    }
    case TYPE_TYPESET: {
      u8 map[12] = {};
      if (compact_) {
        u32 n = byte();
        if (n > 12) { p_--; bad(); }
        bytes(map, n);
      } else {
        bytes(map, 12);
      }
      std::memcpy(&c.data1, map, 12);
      break;
    }
    case TYPE_TUPLE: {
      u8 t[12] = {};
      u32 n = 3;
      if (compact_) {
        if (flag) n = byte();
      } else {
        n = (header >> 8) & 0xFF;
      }
      if (n < 3 || n > tuple::MAX_BYTES) bad();
      if (compact_) bytes(t, n); else bytes(t, 12);
      std::memcpy(&c.data1, t, 12);
      c.header |= n << tuple::COUNT_SHIFT;
      break;
    }
    case TYPE_MONEY: {
      u8 m[12];
      bytes(m, 12);
      for (u32 i = 1; i < 12; i++)
        if ((m[i] >> 4) > 9 || (m[i] & 0xF) > 9) bad();
      if (m[0] != 0) {
        cell w;
        money::currency_word(m[0], &w);
        if (type_of(&w) == TYPE_NONE) bad();
      }
      bool negative = compact_ ? flag : (header & (1u << 22)) != 0;
      money::load_at(&c, negative, m[0], m + 1);
      break;
    }
    case TYPE_ISSUE: {
      u32 s = symbol(number());
      c = cell{TYPE_ISSUE, _context::global, s, word::NO_INDEX};
      break;
    }
    default:
      bad();
  }
  append(blk, c);
}

// ---- Series -------------------------------------------------------------------------------

void decoder::block_like(u32 blk, u32 type, bool flag, bool ref) {
  u32 head = !compact_ || flag ? head_index() : 0;
  // In boot mode the blocks of the root blocks (the environment's files) are the
  // library's, as the source path marks them after scanning: a root record's block and every
  // block or paren below it, but not what a hash! holds nor what an assignment's value is.
  bool library = boot && type != TYPE_HASH &&
                 ((blk == target_ && depth_ == 1) || (buffer_of(blk)->flags & SERIES_LIBRARY));
  if (ref) {
    cell r = referenced();
    u32 rt = type_of(&r);
    cell c{type, head, 0, 0};
    if (type == TYPE_HASH) {
      // A hash! over a plain block's buffer has no index yet: it is searched linearly.
      if (!series::block_like_q(rt)) bad();
      series::node(&c) = series::node(&r);
      hash::table(&c) = rt == TYPE_HASH ? hash::table(&r) : 0;
    } else if (series::block_like_q(rt)) {
      series::node(&c) = series::node(&r);
    } else if (rt == TYPE_NATIVE || rt == TYPE_ACTION || rt == TYPE_OP ||
               rt == TYPE_FUNCTION || rt == TYPE_ROUTINE) {
      series::node(&c) = function::spec(&r);  // the argument block
    } else {
      bad();
    }
    if (library) mark_library(series::node(&c));
    append(blk, c);
    return;
  }
  u32 n = count(compact_ ? 1 : 4);
  u32 pos = append(blk, cell{TYPE_NONE, 0, 0, 0});
  u32 node = memory::alloc_cells(n ? n : 1);
  if (library) buffer_of(node)->flags |= SERIES_LIBRARY;
  *block_at(blk, pos) = cell{type, head, node, 0};
  const bool fast = boot && compact_ && depth_ < MAX_DEPTH;
  for (u32 i = 0; i < n; i++)
    if (!fast || !known_global_word(node)) record(node);
  if (type == TYPE_HASH) {
    cell h = *block_at(blk, pos);
    collector::root_guard g(&h);
    hash::index_new(&h);
    *block_at(blk, pos) = h;
  }
}

void decoder::text_like(u32 blk, u32 type, u32 header, bool flag, bool ref) {
  u32 head = !compact_ || flag ? head_index() : 0;
  if (ref) {
    cell r = referenced();
    u32 rt = type_of(&r);
    if (type == TYPE_BINARY ? rt != TYPE_BINARY : !series::string_like_q(rt)) bad();
    append(blk, cell{type, head, series::node(&r), type == TYPE_BINARY ? 0 : string::cache(&r)});
    return;
  }
  u32 length, unit;
  if (type == TYPE_BINARY) {
    unit = 1;
    if (compact_) {
      length = varint();
    } else {
      unit = (header >> 8) & 0xFF;
      if (unit != 1) bad();
      length = int32();
    }
  } else if (compact_) {
    u32 w = varint();
    u32 log2 = w & 3;
    if (log2 == 3) bad();
    unit = 1u << log2;
    length = w >> 2;
  } else {
    unit = (header >> 8) & 0xFF;
    if (unit != 1 && unit != 2 && unit != 4) bad();
    length = int32();
  }
  u64 size = u64(length) * unit;
  if (size > left() || size > 0x7FFFFFFF) bad();
  cell c{TYPE_NONE, 0, 0, 0};
  if (type == TYPE_BINARY) {
    binary::make_at(&c, u32(size));
  } else {
    string::make_at_unit(&c, u32(length), unit);
  }
  series_buffer* b = buffer_of(series::node(&c));
  std::memcpy(b->head(), p_, size);
  b->tail = b->offset + u32(size);
  p_ += size;
  c.header = type;
  series::index(&c) = head;
  append(blk, c);
  if (!compact_) skip_padding(size);
}

void decoder::vector_(u32 blk, u32 header, bool flag, bool ref) {
  u32 head = !compact_ || flag ? head_index() : 0;
  if (ref) {
    cell r = referenced();
    if (type_of(&r) != TYPE_VECTOR) bad();
    append(blk, cell{TYPE_VECTOR, head, series::node(&r), vector::element_type(&r)});
    return;
  }
  u32 et, unit, length;
  if (compact_) {
    u32 b = byte();
    et = b >> 2;
    unit = 1u << (b & 3);
    length = varint();
  } else {
    unit = (header >> 8) & 0xFF;
    length = int32();
    et = int32();
  }
  bool ok = ((et == TYPE_CHAR || et == TYPE_INTEGER) && (unit == 1 || unit == 2 || unit == 4)) ||
            (et == TYPE_FLOAT && (unit == 4 || unit == 8)) || (et == TYPE_PERCENT && unit == 8);
  if (!ok) bad();
  u64 size = u64(length) * unit;
  if (size > left() || size > 0x7FFFFFFF) bad();
  cell c{TYPE_NONE, 0, 0, 0};
  vector::make_at(&c, length, et, unit);
  series_buffer* b = buffer_of(series::node(&c));
  std::memcpy(b->head(), p_, size);
  b->tail = b->offset + u32(size);
  p_ += size;
  series::index(&c) = head;
  append(blk, c);
  if (!compact_) skip_padding(size);
}

void decoder::map_(u32 blk, bool ref) {
  if (ref) {
    cell r = referenced();
    if (type_of(&r) != TYPE_MAP) bad();
    append(blk, r);
    return;
  }
  u32 n = count(compact_ ? 1 : 4);
  if (n % 2) bad();
  // The pairs are read into a block standing where the map will be, then put in one by
  // one, so a repeated key keeps its later value in its first entry.
  u32 pos = append(blk, cell{TYPE_NONE, 0, 0, 0});
  u32 node = memory::alloc_cells(n ? n : 1);
  *block_at(blk, pos) = cell{TYPE_BLOCK, 0, node, 0};
  for (u32 i = 0; i < n; i++) {
    record(node);
    if (i % 2 == 0 && !map::valid_key_type_q(type_of(block_at(node, i)))) bad();
  }
  cell m{TYPE_NONE, 0, 0, 0};
  map::make_at(&m, nullptr, i32(n / 2));
  collector::root_guard g(&m);
  for (u32 i = 0; i < n; i += 2) {
    cell k = *block_at(node, i);
    cell v = *block_at(node, i + 1);
    collector::root_guard gk(&k), gv(&v);
    map::preprocess_key(&k);
    clear_new_line(&k);
    hashtable::map_put(map::table(&m), &k, &v);
  }
  *block_at(blk, pos) = m;
}

void decoder::bitset_(u32 blk, u32 header, bool flag, bool ref) {
  if (ref) {
    cell r = referenced();
    if (type_of(&r) != TYPE_BITSET) bad();
    append(blk, r);
    return;
  }
  u32 n = number();
  if (n > left() || n > 0x7FFFFFFF / 8 + 1) bad();
  bool complemented = compact_ ? flag : (header & (1u << 23)) != 0;
  cell c{TYPE_NONE, 0, 0, 0};
  bitset::make_at(&c, n, complemented);
  std::memcpy(bitset::rs_head(&c), p_, n);
  p_ += n;
  append(blk, c);
  if (!compact_) skip_padding(n);
}

// An image: its size and straight BGRA pixel words. Sides 0 give an image without pixels.
void decoder::image_(u32 blk, bool flag, bool ref) {
  u32 head = !compact_ || flag ? head_index() : 0;
  if (ref) {
    cell r = referenced();
    if (type_of(&r) != TYPE_IMAGE) bad();
    series::index(&r) = head;
    append(blk, r);
    return;
  }
  u32 w, h;
  if (compact_) {
    w = varint();
    h = varint();
  } else {
    u32 size = int32();
    w = size & 0xFFFF;
    h = size >> 16;
  }
  if (w > 0xFFFF || h > 0xFFFF) bad();
  u64 bytes = u64(w) * h * 4;
  if (bytes > left()) bad();
  if (head > u64(w) * h) bad();
  cell c{TYPE_IMAGE, 0, 0, 0};
  if (bytes) image::make_at(&c, image::make_from_memory(w, h, 0, p_));
  p_ += bytes;
  series::index(&c) = head;
  append(blk, c);
}

// ---- Contexts, objects, functions -----------------------------------------------------------

context_spec decoder::context_body(bool allow_stack) {
  context_spec s;
  u32 n;
  if (compact_) {
    if ((byte() & 0x3F) != TYPE_CONTEXT) { p_--; bad(); }
    u8 f = byte();
    s.kind = f & 3;
    s.stack = (f & 4) != 0;
    s.object = (f & 8) != 0;
    s.values = (f & 16) != 0;
    n = varint();
  } else {
    u32 h = int32();
    if ((h & 0xFF) != TYPE_CONTEXT) { p_ -= 4; bad(); }
    s.kind = (h >> 26) & 3;
    s.object = (h >> 28) & 1;
    s.stack = (h >> 29) & 1;
    s.values = (h >> 30) & 1;
    n = int32();
  }
  // Values that live on the data stack belong to a running call: only a function's
  // context may say so.
  if (s.stack && !allow_stack) bad();
  if (s.stack) s.values = false;
  u64 per = compact_ ? 1 : 4;
  if (u64(n) * per * (s.values ? 2 : 1) > left()) bad();
  s.symbols.resize(n);
  for (u32 i = 0; i < n; i++) s.symbols[i] = symbol(number());
  return s;
}

u32 decoder::build_context(const context_spec& s) {
  u32 n = u32(s.symbols.size());
  u32 ctx = _context::create(n, s.stack, s.object, 0, s.kind);
  collector::node_guard g(&ctx);
  for (u32 i = 0; i < n; i++) {
    if (_context::add_word(ctx, s.symbols[i]) != i32(i)) bad();  // a repeated name
  }
  return ctx;
}

// Reads the announced values into the value block in word order (they are appended as
// they come, so references into the context resolve while it is filled).
void decoder::context_values(u32 ctx, const context_spec& s) {
  if (s.stack) return;
  u32 n = u32(s.symbols.size());
  u32 values = _context::values_node(ctx);
  if (s.values) {
    block_truncate(values, 0);
    for (u32 i = 0; i < n; i++) {
      record(values);
      if (block_length(values) != i + 1) bad();
    }
  }
  while (block_length(values) < n) cells::append(values, &UNSET);
}

void decoder::object_(u32 blk, u32 type, u32 header, bool flag, bool ref) {
  if (ref) {
    if (type != TYPE_OBJECT) bad();
    cell r = referenced();
    u32 ctx = owner_context(r, true);
    cell owner = *_context::owner_cell(ctx);
    if (type_of(&owner) != TYPE_OBJECT) bad();
    append(blk, owner);
    return;
  }
  u32 class_id = 0xFFFFFFFFu;
  bool events = false;
  i32 ev[2] = {-1, -1};
  if (type == TYPE_OBJECT) {
    u32 id = compact_ ? u32(zigzag()) : int32();
    if (boot) class_id = id;
    events = compact_ ? flag : (header & (1u << 24)) != 0;
    if (events) {
      ev[0] = compact_ ? zigzag() : i32(int32());
      ev[1] = compact_ ? zigzag() : i32(int32());
    }
  }
  context_spec s = context_body(false);
  u32 pos = append(blk, cell{TYPE_NONE, 0, 0, 0});
  u32 ctx = build_context(s);
  cell obj{TYPE_OBJECT, ctx, class_id, 0};
  *block_at(blk, pos) = obj;
  *_context::owner_cell(ctx) = obj;
  context_values(ctx, s);
  if (events) {
    // Each event word: handler field index in bits 16-31 (0xFFFF: none), locals below.
    u32 n = u32(s.symbols.size());
    i32 index[2], locals[2];
    for (int i = 0; i < 2; i++) {
      u32 w = u32(ev[i]);
      index[i] = (w >> 16) == 0xFFFF ? -1 : i32(w >> 16);
      locals[i] = i32(w & 0xFFFF);
      if (index[i] >= 0) {
        if (u32(index[i]) >= n || locals[i] > i32(object::MAX_HANDLER_INDEX)) bad();
        u32 t = type_of(_context::value_at(ctx, u32(index[i])));
        if (t != TYPE_FUNCTION && t != TYPE_ROUTINE) bad();
      }
    }
    cell o = *block_at(blk, pos);
    collector::root_guard g(&o);
    object::set_events(&o, index[0], locals[0], index[1], locals[1]);
    *block_at(blk, pos) = o;
  }
}

void decoder::function_(u32 blk, bool ref) {
  if (ref) {
    cell r = referenced();
    u32 ctx = owner_context(r, true);
    cell owner = *_context::owner_cell(ctx);
    if (type_of(&owner) != TYPE_FUNCTION) bad();
    append(blk, owner);
    return;
  }
  u32 spec_length = number();
  u32 body_length = number();
  if (spec_length > left() || body_length > left()) bad();
  context_spec s = context_body(true);
  if (!s.stack) bad();
  u32 pos = append(blk, cell{TYPE_NONE, 0, 0, 0});
  u32 ctx = build_context(s);
  collector::node_guard cg(&ctx);
  u32 spec = memory::alloc_cells(spec_length ? spec_length : 1);
  collector::node_guard sg(&spec);
  u32 more = memory::alloc_cells(5);
  collector::node_guard mg(&more);
  u32 body = memory::alloc_cells(body_length ? body_length : 1);
  series_buffer* m = buffer_of(more);
  m->tail = m->offset + 5 * u32(sizeof(cell));
  m->cells()[function::MORE_BODY] = cell{TYPE_BLOCK, 0, body, 0};
  for (u32 i = 1; i < 5; i++) m->cells()[i] = UNSET;
  cell fn{TYPE_FUNCTION, ctx, spec, more};
  *block_at(blk, pos) = fn;
  *_context::owner_cell(ctx) = fn;
  function_block(blk, pos, 0);
  function_block(blk, pos, 1);
  // A function whose argument block does not describe its context could not be called
  // safely: the block must be valid and name exactly the context's words.
  fn = *block_at(blk, pos);
  cell spec_block{TYPE_BLOCK, 0, function::spec(&fn), 0};
  collector::root_guard g(&spec_block);
  if (!succeeds([&] { function::validate_spec(&spec_block); })) bad();
  u32 words = 0;
  for (u32 i = 0; i < block_length(function::spec(&fn)); i++) {
    u32 t = type_of(block_at(function::spec(&fn), i));
    if (t == TYPE_WORD || t == TYPE_LIT_WORD || t == TYPE_GET_WORD || t == TYPE_REFINEMENT) words++;
  }
  if (words != _context::word_count(ctx)) bad();
}

// The spec (0) or body (1) of a function record: a block record read by a reduced rule.
void decoder::function_block(u32 blk, u32 fn_pos, u32 which) {
  bool ref = false;
  u32 h;
  if (compact_) {
    for (;;) {
      h = byte();
      if (h == 0xC0) continue;
      if (h == 0xC1) { ref = true; continue; }
      break;
    }
    if ((h & 0x3F) != TYPE_BLOCK || h >= 0x80) { p_--; bad(); }
    if (h & 0x40) varint();
  } else {
    h = int32();
    if ((h & 0xFF) != TYPE_BLOCK) { p_ -= 4; bad(); }
    ref = (h & (1u << 19)) != 0;
    int32();
  }
  cell fn = *block_at(blk, fn_pos);
  u32 node = which == 0 ? function::spec(&fn)
                        : series::node(cells::get(function::more(&fn), function::MORE_BODY));
  if (ref) {
    cell r = referenced();
    if (type_of(&r) != TYPE_BLOCK) bad();
    fn = *block_at(blk, fn_pos);
    if (which == 0) {
      function::spec(&fn) = series::node(&r);
      *block_at(blk, fn_pos) = fn;
      *_context::owner_cell(function::context(&fn)) = fn;
    } else {
      cell body{TYPE_BLOCK, 0, series::node(&r), 0};
      *cells::at(function::more(&fn), function::MORE_BODY) = body;
    }
    return;
  }
  u32 n = count(compact_ ? 1 : 4);
  for (u32 i = 0; i < n; i++) record(node);
}

void decoder::native_(u32 blk, u32 type) {
  u32 index = number();
  bool exists = type == TYPE_NATIVE ? natives::entry(index) != nullptr
                                    : index >= 1 && index <= ACTION_COUNT && index != 8;
  if (!exists) bad();
  u32 pos = block_length(blk);
  record(blk);
  if (block_length(blk) != pos + 1 || type_of(block_at(blk, pos)) != TYPE_BLOCK) bad();
  cell spec = *block_at(blk, pos);
  cell made{TYPE_NONE, 0, 0, 0};
  collector::root_guard g(&made);
  // make checks the argument block against the entry's, as for a native made by a script.
  bool ok = succeeds([&] {
    cell args;
    cells::make_block(&args, 2);
    collector::root_guard ga(&args);
    cells::append(series::node(&args), &spec);
    cell n{TYPE_INTEGER, 0, index, 0};
    cells::append(series::node(&args), &n);
    native::make_checked_at(&made, &args, type);
  });
  if (!ok) bad();
  *block_at(blk, pos) = made;
}

void decoder::op_(u32 blk) {
  u32 pos = block_length(blk);
  record(blk);
  if (block_length(blk) != pos + 1) bad();
  cell inner = *block_at(blk, pos);
  u32 t = type_of(&inner);
  if (t != TYPE_NATIVE && t != TYPE_ACTION && t != TYPE_FUNCTION) bad();
  cell made{TYPE_NONE, 0, 0, 0};
  collector::root_guard g(&made);
  if (!succeeds([&] { op::make_at(&made, &inner); }))
    bad();
  clear_new_line(&made);
  *block_at(blk, pos) = made;
}

void decoder::error_(u32 blk) {
  u32 code = number();
  if (code > 0x7FFFFFFF) bad();
  cell e{TYPE_NONE, 0, 0, 0};
  collector::root_guard g(&e);
  cell spec{TYPE_INTEGER, 0, code, 0};
  if (!succeeds([&] { error::make_from(&spec, &e); })) bad();
  u32 pos = append(blk, e);
  // The six fields from arg1 are read in place, so references into the error resolve.
  u32 values = _context::values_node(object::context(&e));
  if (block_length(values) < error::FIELD_COUNT) bad();
  cell files = *block_at(values, error::FIELD_FILES);
  collector::root_guard gf(&files);
  block_truncate(values, error::FIELD_ARG1);
  for (u32 i = 0; i < 6; i++) {
    record(values);
    if (block_length(values) != error::FIELD_ARG1 + i + 1) bad();
  }
  cells::append(values, &files);
  (void)pos;
}

// ---- Words -------------------------------------------------------------------------------

// A word bound to the global context, as the lexer makes it. A name's slot there does not
// move once made: the image's many uses of one name look it up once.
void decoder::global_word(u32 blk, u32 type, u32 n, u32 sym) {
  u32& known = global_slots_[n];
  cell w;
  if (known) {
    w = cell{type, _context::global, sym, known - 1};
  } else {
    word::make_at(sym, &w);
    w.header = type;
    known = word::index(&w) + 1;
  }
  append(blk, w);
}

void decoder::word_(u32 blk, u32 type, u32 header, bool flag, bool ref) {
  u32 n = number();
  u32 sym = symbol(n);
  cell w{type, 0, sym, word::NO_INDEX};
  auto global = [&] {
    // A refinement stays unbound as the lexer leaves it, so the image adds no global words
    // that the sources do not.
    if (boot && type == TYPE_REFINEMENT) {
      append(blk, w);
      return;
    }
    global_word(blk, type, n, sym);
  };
  if (boot) {
    u32 ctx_ref, index;
    bool bound = compact_ ? flag : true;
    if (!bound) return global();
    if (compact_) {
      ctx_ref = varint();
      index = u32(zigzag());
    } else {
      ctx_ref = int32();
      index = int32();
    }
    if (ctx_ref == NO_CONTEXT) {
      if (index != word::NO_INDEX && !compact_) {
        // A standard record may name the global slot itself; the name decides.
      }
      return global();
    }
    u64 at = u64(first_root_) + ctx_ref;
    if (at >= block_length(target_)) bad();
    cell owner = *block_at(target_, u32(at));
    u32 t = type_of(&owner);
    if (t != TYPE_OBJECT && t != TYPE_FUNCTION && t != TYPE_ERROR) bad();
    u32 ctx = object::context(&owner);
    if (index == word::NO_INDEX) {
      i32 i = _context::find_word(ctx, sym, true);
      if (i < 0) bad();
      index = u32(i);
    } else if (index >= _context::word_count(ctx) ||
               !symbol::same_q(word::symbol_id(_context::word_at(ctx, index)), sym)) {
      bad();
    }
    append(blk, cell{type, ctx, sym, index});
    return;
  }
  // Load mode.
  if (compact_ && !flag) return global();
  u32 index = compact_ ? u32(zigzag()) : int32();
  if (!compact_ && (header & (1u << 25))) return global();
  if (!compact_) ref = (header & (1u << 19)) != 0;
  u32 ctx;
  u32 pos = block_length(blk);
  if (ref) {
    cell r = referenced();
    ctx = owner_context(r, true);
    if (ctx == _context::global) {
      (void)index;
      return global();
    }
    append(blk, w);  // placeholder, overwritten below
  } else {
    // The owner's record follows; it stands where the word goes until the word replaces it.
    if (compact_) {
      u8 h = byte();
      u32 t = h & 0x3F;
      if (h >= 0x80 || (t != TYPE_OBJECT && t != TYPE_FUNCTION)) { p_--; bad(); }
      if (++depth_ > MAX_DEPTH) bad();
      if (t == TYPE_OBJECT) object_(blk, t, 0, (h & 0x40) != 0, false);
      else function_(blk, false);
      depth_--;
    } else {
      u32 h = int32();
      u32 t = h & 0xFF;
      if (t != TYPE_OBJECT && t != TYPE_FUNCTION) { p_ -= 4; bad(); }
      if (++depth_ > MAX_DEPTH) bad();
      dispatch(blk, t, h, false, (h & (1u << 19)) != 0, false);
      depth_--;
    }
    if (block_length(blk) != pos + 1) bad();
    ctx = object::context(block_at(blk, pos));
  }
  if (index >= _context::word_count(ctx) ||
      !symbol::same_q(word::symbol_id(_context::word_at(ctx, index)), sym))
    bad();
  *block_at(blk, pos) = cell{type, ctx, sym, index};
}

// ---- References ------------------------------------------------------------------------------

std::vector<u32> decoder::read_path(bool standard_record_header) {
  if (standard_record_header) {
    u32 h = int32();
    if ((h & 0xFF) != 0xFF) { p_ -= 4; bad(); }
  }
  u32 n = number();
  if (n == 0 || n > MAX_PATH || u64(n) * (compact_ ? 1 : 4) > left()) bad();
  std::vector<u32> path(n);
  for (u32 i = 0; i < n; i++) path[i] = number();
  return path;
}

cell decoder::referenced() { return resolve(read_path(!compact_)); }

void decoder::reference_record(u32 blk) {
  cell c = resolve(read_path(!compact_));
  clear_new_line(&c);
  append(blk, c);
}

// Walks a path from the first root of this decode. Works on copies: nothing allocates.
cell decoder::resolve(const std::vector<u32>& path) {
  cell cur{TYPE_BLOCK, 0, target_, 0};
  size_t n = path.size();
  for (size_t k = 0; k < n; k++) {
    u64 i = path[k];
    if (k == 0) i += first_root_;
    u32 t = type_of(&cur);
    auto from_block = [&](u32 node) {
      if (!node || i >= block_length(node)) bad();
      cur = *block_at(node, u32(i));
    };
    auto function_rule = [&](const cell& fn) {
      u32 ft = type_of(&fn);
      if (i == 0) {
        cur = cell{TYPE_BLOCK, 0, function::spec(&fn), 0};
        if (k + 1 < n) {
          k++;
          i = path[k];
          from_block(function::spec(&fn));
        }
      } else if (i == 1 && ft == TYPE_FUNCTION) {
        cur = *cells::get(function::more(&fn), function::MORE_BODY);
      } else {
        bad();
      }
    };
    if (series::block_like_q(t) || t == TYPE_MAP) {
      from_block(series::node(&cur));
    } else if (t == TYPE_OBJECT || t == TYPE_ERROR) {
      u32 ctx = object::context(&cur);
      if (t == TYPE_ERROR) i += error::FIELD_ARG1;
      if (_context::context_cell(ctx)->header & _context::ON_STACK) bad();
      from_block(_context::values_node(ctx));
    } else if (word::any_word_q(t)) {
      u32 ctx = word::context(&cur);
      if (!ctx) bad();
      if (_context::context_cell(ctx)->header & _context::ON_STACK) {
        cell owner = *_context::owner_cell(ctx);
        if (type_of(&owner) != TYPE_FUNCTION) bad();
        function_rule(owner);
      } else {
        from_block(_context::values_node(ctx));
      }
    } else if (t == TYPE_NATIVE || t == TYPE_ACTION) {
      from_block(function::spec(&cur));
    } else if (t == TYPE_FUNCTION || t == TYPE_OP) {
      if (t == TYPE_OP && op::wrapped_type(&cur) != TYPE_FUNCTION && i != 0) bad();
      function_rule(cur);
    } else {
      bad();
    }
  }
  return cur;
}

// The context a referenced value stands for: an object!, a function!, an op! of a function,
// or (with words_too) a word bound to such a context.
u32 decoder::owner_context(const cell& c, bool words_too) {
  u32 t = type_of(&c);
  if (t == TYPE_OBJECT || t == TYPE_FUNCTION) return object::context(&c);
  if (t == TYPE_OP && op::wrapped_type(&c) == TYPE_FUNCTION) return function::context(&c);
  if (words_too && t >= TYPE_WORD && t <= TYPE_GET_WORD && word::context(&c)) {
    if (word::context(&c) == _context::global) return word::context(&c);
    u32 ot = type_of(_context::owner_cell(word::context(&c)));
    if (context_owner_type_q(ot)) return word::context(&c);
  }
  bad();
}

// ---- Entry points --------------------------------------------------------------------------------

[[noreturn]] void fail_boot(const char* message) {
  std::fprintf(stderr, "%s\n", message);
  std::fflush(stderr);
  std::exit(99);
}

}  // namespace

void set_boot_mode() { boot = true; }
void set_load_mode() { boot = false; }
bool boot_mode_q() { return boot; }

u32 decode(const u8* input, u64 length, u32 target, bool raise, const cell* arg) {
  cell zero{TYPE_INTEGER, 0, 0, 0};
  cell a = arg ? *arg : zero;
  collector::root_guard ga(&a);
  if (length < 8 || std::memcmp(input, "VYRBIN", 6) != 0) {
    if (!raise) fail_boot("Error: Not a Vyrbin file!");
    fire("script", "invalid-data", &a);
  }
  u8 flags = input[7];
  // An uncompressed body is read where it lies (the boot image: no copy to fault in).
  // The caller's bytes stay put meanwhile: they are never in the arena.
  codecs::byte_buffer out;
  const u8* body = input + 8;
  u64 body_size = length - 8;
  if (flags & 2) {
    if (!lz::decompress(input + 8, length - 8, out)) {
      if (!raise) fail_boot("Error: Vyrbin compressed data corrupted!");
      fire("script", "invalid-data", &a);
    }
    body = out.data();
    body_size = out.size();
  }
  if (!(flags & 1) && body_size < 8) fire("script", "invalid-data", &a);
  u32 first_root = block_length(target);
  decoder d(body, body_size, target, first_root);
  d.read_header((flags & 1) != 0, (flags & 4) != 0);
  d.run();
  return first_root;
}

u32 boot_load(const u8* image, u64 length, bool keep) {
  u32 saved_base = root_base;
  bool saved_mode = boot;
  collector::no_collect off;
  boot = true;
  try {
    u32 base = decode(image, length, series::node(&boot::root), false);
    root_base = base;
  } catch (const thrown& t) {
    boot = saved_mode;
    std::string text = "Error: the boot image could not be loaded";
    if (t.level == THROW_ERROR && type_of(&t.value) == TYPE_ERROR) {
      // The error's own report ("*** Script Error: VYRBIN - invalid record at index 12").
      cell err = t.value;
      collector::root_guard ge(&err);
      cell out{TYPE_NONE, 0, 0, 0};
      collector::root_guard go(&out);
      if (succeeds([&] {
            string::make_at(&out, 64);
            error::report(&err, &out, 0x7FFFFFFF);
          }))
        text += "\n" + string::to_utf8(&out);
    }
    fail_boot(text.c_str());
  }
  boot = false;
  u32 result = root_base;
  if (keep) root_base = saved_base;
  return result;
}

cell* root_cell(u32 n) { return block_at(series::node(&boot::root), root_base + n); }
u32 root_node(u32 n) { return root_cell(n)->data1; }

}  // namespace vyr::vyrbin
