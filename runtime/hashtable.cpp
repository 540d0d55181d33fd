// Hash tables: records, probing, growth, the five kinds, collector hooks and hashing.
// Invariants: bucket counts are powers of two of at least 4 and occupied stays below the
// bucket count, so a probe always meets an empty bucket; every pointer into a record, key
// array or values block is re-fetched after a call that may allocate or run user code.
// Nodes never move (the collector does not relocate them), so node-keyed hashes and the
// `stamp` never go stale: no rehash after a collection is needed, and `refresh` has nothing
// to do. The stamp is still kept as the record defines it.
#include "runtime/hashtable.h"

#include <algorithm>
#include <string>
#include <vector>

#include "runtime/assert.h"
#include "runtime/collector.h"
#include "runtime/datatypes/series.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/fire.h"
#include "runtime/unicode.h"

namespace vyr::hashtable {

namespace {

constexpr u32 SEED = 0x5EED7A31u;  // fixed for the run; nothing stored depends on it
constexpr u32 FLAG_USED = 0, FLAG_DELETED = 1, FLAG_EMPTY = 2;
constexpr u32 KEY_LIVE = 2;  // header of a live node-keyed entry's key cell
constexpr u32 SHIFT_LIMIT = 30000;

// The record's counts as the header states them: a power-of-two bucket count of at least 4,
// occupied (used or deleted) below it, the live entries among the occupied, a known kind.
bool counts_hold(u32 t) {
  const record* r = rec(t);
  return r->buckets >= 4 && (r->buckets & (r->buckets - 1)) == 0 && r->occupied < r->buckets &&
         r->count <= r->occupied && r->upper < r->buckets && r->kind <= KIND_OWNERSHIP;
}

inline u32 rotl(u32 x, int r) { return (x << r) | (x >> (32 - r)); }
inline u32 fmix(u32 h) {
  h ^= h >> 16;
  h *= 0x85ebca6bu;
  h ^= h >> 13;
  h *= 0xc2b2ae35u;
  h ^= h >> 16;
  return h;
}
inline u32 mix_block(u32 h, u32 k) {
  k *= 0xcc9e2d51u;
  k = rotl(k, 15);
  k *= 0x1b873593u;
  h ^= k;
  h = rotl(h, 13);
  return h * 5 + 0xe6546b64u;
}

bool word_kind(u32 t) { return t >= TYPE_WORD && t <= TYPE_ISSUE; }
// The words a map! keys as set-words (refinements and issues are keys of their own kind).
bool map_word_key(u32 t) { return word_kind(t) && t != TYPE_REFINEMENT && t != TYPE_ISSUE; }
bool string_kind(u32 t) {
  return t == TYPE_STRING || t == TYPE_FILE || t == TYPE_URL || t == TYPE_TAG ||
         t == TYPE_EMAIL || t == TYPE_REF;
}

// Words of a 32-bit item series.
// (A table's own buffers are never evaluated: their writes need no stamp.)
u32* items(u32 node) { return reinterpret_cast<u32*>(buffer_of(node)->unstamped_head()); }
u32 item_count(u32 node) { return buffer_of(node)->used_bytes() / 4; }

u32 new_items(u32 n, u8 fill) {
  u32 node = memory::alloc_series(n ? n : 4, 4, 0);
  series_buffer* b = buffer_of(node);
  std::memset(b->head(), fill, u64{n} * 4);
  b->tail = b->offset + n * 4;
  return node;
}

// Makes the item array at least n items long; new items take the fill byte.
void ensure_items(u32 node, u32 n, u8 fill) {
  series_buffer* b = buffer_of(node);
  u32 have = b->used_bytes() / 4;
  if (n <= have) return;
  u64 want = memory::checked_size(n, 4);
  if (want > b->end_offset() - b->offset) {
    u64 cap = std::max<u64>(want, u64{b->size} * 2);
    b = memory::expand_series(b, cap);
  }
  std::memset(b->head() + u64{have} * 4, fill, (u64{n} - have) * 4);
  b->tail = b->offset + n * 4;
}

// A zeroed table record.
u32 new_record() {
  u32 node = memory::alloc_bytes_filled(sizeof(record), 0);
  buffer_of(node)->tail = buffer_of(node)->offset + sizeof(record);
  return node;
}

u32 new_flags(u32 buckets) {
  u32 bytes = std::max<u32>(buckets / 4, 4);
  u32 node = memory::alloc_bytes_filled(bytes, 0xAA);
  buffer_of(node)->tail = buffer_of(node)->offset + bytes;
  return node;
}

inline u32 flag_of(const u32* f, u32 i) { return (f[i >> 4] >> ((i & 15) * 2)) & 3; }
inline void set_flag(u32* f, u32 i, u32 v) {
  u32 sh = (i & 15) * 2;
  f[i >> 4] = (f[i >> 4] & ~(3u << sh)) | (v << sh);
}

u32* flags_of(u32 t) { return items(rec(t)->flags); }
u32* keys_of(u32 t) { return items(rec(t)->keys); }
// hash! and map! keep each bucket's hash beside its key.
bool hashed_kind(u32 kind) { return kind <= KIND_MAP; }
u32* hashes_of(u32 t) { return items(rec(t)->hashes); }
const cell* cells_of(u32 t) { return read_buffer(rec(t)->values)->cells(); }
cell* write_cells_of(u32 t) { return buffer_of(rec(t)->values)->cells(); }
u32 cells_count(u32 t) { return buffer_of(rec(t)->values)->used_units(); }

// Keeps a table (and through the mark hook all its series) alive across allocations.
struct table_guard {
  cell c;
  collector::root_guard g;
  explicit table_guard(u32 t) : c{TYPE_HASH, 0, 0, t}, g(&c) {}
};

// kind 0: the first position a bucket's key stands for.
u32 first_position(u32 t, i32 k) {
  if (k >= 0) return u32(k);
  u32 list = items(rec(t)->lists)[-k - 1];
  return items(list)[0];
}

void set_index(u32 t, u32 pos, u32 value) {
  u32 idx = rec(t)->index;
  ensure_items(idx, pos + 1, 0xFF);
  items(idx)[pos] = value;
}

i32 index_bucket(u32 t, u32 pos) {
  u32 idx = rec(t)->index;
  if (pos >= item_count(idx)) return -1;
  u32 v = items(idx)[pos];
  return v == 0xFFFFFFFFu ? -1 : i32(v - 1);
}

u32 entry_hash(u32 t, u32 bucket) {
  record* r = rec(t);
  if (hashed_kind(r->kind)) return hashes_of(t)[bucket];
  u32 k = keys_of(t)[bucket];
  if (r->kind >= KIND_NODES) {
    cell* e = reinterpret_cast<cell*>(buffer_of(r->values)->head() + k);
    return hash_int(e->data1);
  }
  u32 pos = r->kind == KIND_HASH ? first_position(t, i32(k)) : k;
  return hash_value(cells_of(t) + pos, false);
}

// Finds the first empty bucket for a hash; the table must have one.
u32 empty_bucket(const u32* f, u32 buckets, u32 h) {
  u32 mask = buckets - 1, i = h & mask;
  for (u32 step = 1; flag_of(f, i) != FLAG_EMPTY; step++) i = (i + step) & mask;
  return i;
}

// Moves every live key to fresh arrays of n buckets (n a power of two above count).
void rehash_into(u32 t, u32 n) {
  table_guard tg(t);
  u32 nf = new_flags(n);
  collector::node_guard gf(&nf);
  u32 nk = new_items(n, 0);
  collector::node_guard gk(&nk);
  bool hashed = hashed_kind(rec(t)->kind);
  u32 nh = hashed ? new_items(n, 0) : 0;
  record* r = rec(t);
  u32 old_buckets = r->buckets;
  // Nothing below allocates: the arrays are read in place.
  const u32* of = flags_of(t);
  const u32* ok = keys_of(t);
  u32* fl = items(nf);
  u32* ks = items(nk);
  u32* hs = hashed ? items(nh) : nullptr;
  if (hashed) {
    // The stored hashes place every key: sixteen buckets' flags at a time, skipping the
    // words with no bucket in use (a used bucket's two flag bits are both zero).
    const u32* oh = hashes_of(t);
    u32 mask = n - 1;
    for (u32 w = 0; w < (old_buckets + 15) / 16; w++) {
      u32 word = of[w];
      // Bit 2j set in `free_bits` when bucket j of the word is not in use.
      u32 free_bits = (word | (word >> 1)) & 0x55555555u;
      u32 used = ~free_bits & 0x55555555u;
      while (used) {
        u32 i = w * 16 + u32(__builtin_ctz(used)) / 2;
        used &= used - 1;
        if (i >= old_buckets) break;
        u32 h = oh[i];
        u32 b = h & mask;
        for (u32 step = 1; flag_of(fl, b) != FLAG_EMPTY; step++) b = (b + step) & mask;
        set_flag(fl, b, FLAG_USED);
        ks[b] = ok[i];
        hs[b] = h;
      }
    }
  } else {
    for (u32 i = 0; i < old_buckets; i++) {
      if (flag_of(of, i) != FLAG_USED) continue;
      u32 h = entry_hash(t, i);
      u32 b = empty_bucket(fl, n, h);
      set_flag(fl, b, FLAG_USED);
      ks[b] = ok[i];
    }
  }
  r = rec(t);
  r->flags = nf;
  r->keys = nk;
  if (hashed) r->hashes = nh;
  r->buckets = n;
  r->occupied = r->count;
  if (r->kind == KIND_HASH) {
    // The index array names buckets: point every position at its new bucket.
    u32 idx = r->index;
    std::memset(items(idx), 0xFF, u64{item_count(idx)} * 4);
    for (u32 b = 0; b < n; b++) {
      if (flag_of(items(nf), b) != FLAG_USED) continue;
      i32 k = i32(items(nk)[b]);
      if (k >= 0) {
        set_index(t, u32(k), b + 1);
      } else {
        u32 list = items(rec(t)->lists)[-k - 1];
        for (u32 j = 0; j < item_count(list); j++) set_index(t, items(list)[j], b + 1);
      }
    }
  }
}

// Applies a position mapping to a hash!'s keys and duplicate lists for the values whose
// old positions lie in [lo, hi); each list is remapped once, all its positions through f.
template <class F>
void remap_positions(u32 t, u32 lo, u32 hi, F f) {
  std::vector<u32> lists_done;
  for (u32 p = lo; p < hi; p++) {
    i32 b = index_bucket(t, p);
    if (b < 0) continue;
    if (flag_of(flags_of(t), u32(b)) != FLAG_USED) continue;
    i32 k = i32(keys_of(t)[b]);
    if (k >= 0) {
      if (u32(k) == p) keys_of(t)[b] = f(p);
      continue;
    }
    u32 list = items(rec(t)->lists)[-k - 1];
    if (std::find(lists_done.begin(), lists_done.end(), list) != lists_done.end()) continue;
    lists_done.push_back(list);
    u32* it = items(list);
    for (u32 j = 0, n = item_count(list); j < n; j++) it[j] = f(it[j]);
  }
}

// Equality of two one-byte strings of the same type without the compare action: 0 equal,
// 1 unequal, -1 when only the action can tell (a wider string, a non-ASCII letter under
// a case-insensitive op, or an op other than equality). Most probes of a table meet a
// different key, and this answers them without a dispatch.
i32 quick_equal(const cell* a, const cell* b, i32 op) {
  if (op != OP_EQUAL && op != OP_STRICT_EQUAL && op != OP_FIND) return -1;
  if (type_of(a) != type_of(b) || !string_kind(type_of(a))) return -1;
  const series_buffer* x = read_buffer(a->data2);
  const series_buffer* y = read_buffer(b->data2);
  if (x->unit() != 1 || y->unit() != 1) return -1;
  i64 nx = i64(x->used_units()) - a->data1, ny = i64(y->used_units()) - b->data1;
  if (nx < 0 || ny < 0) return -1;
  if (nx != ny) return 1;
  const u8* p = reinterpret_cast<const u8*>(x->head()) + a->data1;
  const u8* q = reinterpret_cast<const u8*>(y->head()) + b->data1;
  if (std::memcmp(p, q, size_t(nx)) == 0) return 0;
  if (op == OP_STRICT_EQUAL) return 1;
  for (i64 i = 0; i < nx; i++) {
    u8 c = p[i], d = q[i];
    if (c == d) continue;
    if (c >= 0x80 || d >= 0x80) return -1;
    if (c >= 'A' && c <= 'Z') c += 32;
    if (d >= 'A' && d <= 'Z') d += 32;
    if (c != d) return 1;
  }
  return 0;
}

// compare_hook's answer (0 equal) with the quick answer first.
i32 keys_differ(const cell* a, const cell* b, i32 op) {
  i32 q = quick_equal(a, b, op);
  return q >= 0 ? q : compare_hook(a, b, op);
}

// Kinds 0-2: indexes one value without growing. False when the table has no room left
// (the caller grows it and tries again).
bool insert_position(u32 t, u32 pos) {
  record* r = rec(t);
  if (r->occupied >= r->upper) return false;
  u32 kind = r->kind;
  if (kind == KIND_HASH && index_bucket(t, pos) >= 0) return true;  // already indexed
  cell key = cells_of(t)[pos];
  collector::root_guard kg(&key);
  u32 h = hash_value(&key, false);
  u32 mask = r->buckets - 1, i = h & mask;
  i32 del = -1;
  for (u32 step = 1; step <= rec(t)->buckets; step++) {
    u32 f = flag_of(flags_of(t), i);
    if (f == FLAG_EMPTY) break;
    if (f == FLAG_DELETED) {
      if (del < 0) del = i32(i);
    } else {
      i32 k = i32(keys_of(t)[i]);
      if (kind == KIND_HASH) {
        u32 first = first_position(t, k);
        cell stored = cells_of(t)[first];
        if (first != pos && type_of(&stored) == type_of(&key) &&
            compare_hook(&stored, &key, OP_EQUAL) == 0) {
          // An equal value of the same type: both share this bucket's duplicate list.
          table_guard tg(t);
          k = i32(keys_of(t)[i]);
          if (k >= 0) {
            u32 list = array::make(4, 4);
            collector::node_guard lg(&list);
            array::append_int(list, u32(k));
            array::append_int(rec(t)->lists, list);
            keys_of(t)[i] = u32(-i32(item_count(rec(t)->lists)));
            k = i32(keys_of(t)[i]);
          }
          array::append_int(items(rec(t)->lists)[-k - 1], pos);
          set_index(t, pos, i + 1);
          return true;
        }
      } else if (u32(k) == pos) {
        return true;
      } else {
        cell stored = cells_of(t)[k];
        bool same;
        if (kind == KIND_SYMBOLS) {
          same = type_of(&stored) == type_of(&key) &&
                 (type_of(&key) == TYPE_SYMBOL ? stored.data3 == key.data3
                                               : stored.data2 == key.data2);
        } else {
          same = hashes_of(t)[i] == h && type_of(&stored) == type_of(&key) &&
                 keys_differ(&stored, &key, OP_STRICT_EQUAL) == 0;
        }
        if (same) return true;
      }
    }
    i = (i + step) & (rec(t)->buckets - 1);
  }
  r = rec(t);
  u32 target = del >= 0 ? u32(del) : i;
  if (flag_of(flags_of(t), target) == FLAG_EMPTY) r->occupied++;
  r->count++;
  keys_of(t)[target] = pos;
  set_flag(flags_of(t), target, FLAG_USED);
  if (hashed_kind(kind)) hashes_of(t)[target] = h;
  if (kind == KIND_HASH) {
    u32 idx = rec(t)->index;
    if (pos < item_count(idx)) {
      items(idx)[pos] = target + 1;  // room already: nothing allocates
    } else {
      table_guard tg(t);
      set_index(t, pos, target + 1);
    }
  }
  return true;
}

bool is_removed_pair(u32 t, u32 key_pos) {
  return key_pos + 1 < cells_count(t) && cells_of(t)[key_pos + 1].header == 0;
}

std::vector<u32*> weak_tables;

void mark_hook(u32 table) { mark(table); }
void sweep_hook() {
  for (u32* slot : weak_tables) {
    u32 t = *slot;
    if (!t || !node_word(t)) continue;
    if (!memory::marked(buffer_of(t))) continue;
    sweep_keys(t);
  }
}

std::string lower_scratch;

}  // namespace

compare_fn compare_hook = default_compare;
fold_fn fold_upper_hook = unicode::char_to_upper;

// ---------------------------------------------------------------------------------------
// Hash functions

u32 murmur3_32(const void* bytes, u32 length) {
  const u8* p = static_cast<const u8*>(bytes);
  u32 h = SEED;
  u32 blocks = length / 4;
  for (u32 i = 0; i < blocks; i++) {
    u32 k;
    std::memcpy(&k, p + i * 4, 4);
    h = mix_block(h, k);
  }
  const u8* tail = p + blocks * 4;
  u32 k = 0;
  switch (length & 3) {
    case 3: k ^= u32(tail[2]) << 16; [[fallthrough]];
    case 2: k ^= u32(tail[1]) << 8; [[fallthrough]];
    case 1:
      k ^= tail[0];
      k *= 0xcc9e2d51u;
      k = rotl(k, 15);
      k *= 0x1b873593u;
      h ^= k;
  }
  h ^= length;
  return fmix(h);
}

u32 hash_int(u32 word) { return fmix(word); }

i32 text_equal(const cell* a, const cell* b, i32 op) { return quick_equal(a, b, op); }

u32 hash_string(const cell* value, bool case_sensitive) {
  const series_buffer* b = read_buffer(value->data2);
  u32 unit = b->unit();
  u32 n = b->used_units();
  u32 h = SEED, count = 0;
  const char* p = b->head();
  // ASCII letters of a text of one-byte units fold here: calling the case map costs more
  // than mixing the character in. The map gives what this gives for them.
  if (unit == 1 && !case_sensitive && fold_upper_hook == unicode::char_to_upper) {
    const u8* q = reinterpret_cast<const u8*>(p);
    for (u32 i = series::index(value); i < n; i++, count++) {
      u32 cp = q[i];
      if (cp >= 0x80) cp = fold_upper_hook(cp);
      else if (cp >= 'a' && cp <= 'z') cp -= 32;
      h = mix_block(h, cp);
    }
    h ^= count * 4;
    return fmix(h);
  }
  for (u32 i = value->data1; i < n; i++, count++) {
    u32 cp = string::get_char(p + u64{i} * unit, unit);
    if (!case_sensitive) cp = fold_upper_hook(cp);
    h = mix_block(h, cp);
  }
  h ^= count * 4;
  return fmix(h);
}

const char* lowercase_ascii(const char* bytes, u32 n) {
  // Most names are written in lower case: those are hashed where they lie.
  u32 first = 0;
  while (first < n && !(bytes[first] >= 'A' && bytes[first] <= 'Z')) first++;
  if (first == n) return bytes;
  if (lower_scratch.size() < n) lower_scratch.resize(std::max<u32>(n, 256));
  std::memcpy(lower_scratch.data(), bytes, first);
  for (u32 i = first; i < n; i++) {
    char c = bytes[i];
    lower_scratch[i] = (c >= 'A' && c <= 'Z') ? char(c | 0x60) : c;
  }
  return lower_scratch.data();
}

u32 hash_symbol(u32 symbol_id) {
  std::string_view nm = symbol::name(symbol_id);
  return murmur3_32(lowercase_ascii(nm.data(), u32(nm.size())), u32(nm.size()));
}

bool compare_names(const char* a, const char* b, u32 n, bool ignore_case) {
  if (!ignore_case) return std::memcmp(a, b, n) == 0;
  for (u32 i = 0; i < n; i++) {
    u8 x = u8(a[i]), y = u8(b[i]);
    if (x >= 'A' && x <= 'Z') x |= 0x20;
    if (y >= 'A' && y <= 'Z') y |= 0x20;
    if (x != y) return false;
  }
  return true;
}

u32 round_up_pow2(u32 n) {
  if (n <= 1) return 1;
  if (n > 0x80000000u) return 0x80000000u;
  return 1u << (32 - __builtin_clz(n - 1));
}

u32 hash_value(const cell* v, bool case_sensitive) {
  u32 t = type_of(v);
  switch (t) {
    case TYPE_UNSET: return u32(-2);
    case TYPE_NONE: return u32(-1);
    case TYPE_DATATYPE: case TYPE_LOGIC: case TYPE_OBJECT: case TYPE_ERROR: case TYPE_PORT:
      return hash_int(v->data1);
    case TYPE_CHAR: case TYPE_INTEGER: case TYPE_MAP: case TYPE_HANDLE: case TYPE_EVENT:
      return hash_int(v->data2);
    case TYPE_NATIVE: case TYPE_ACTION:
      return hash_int(v->data3);
    case TYPE_WORD: case TYPE_SET_WORD: case TYPE_LIT_WORD: case TYPE_GET_WORD:
    case TYPE_REFINEMENT: case TYPE_ISSUE:
      return hash_int(symbol::resolve(v->data2));
    case TYPE_SYMBOL: {
      const series_buffer* b = read_buffer(v->data3);
      u32 n = b->used_bytes();
      return murmur3_32(lowercase_ascii(b->head(), n), n);
    }
    case TYPE_BLOCK: case TYPE_PAREN: case TYPE_PATH: case TYPE_LIT_PATH:
    case TYPE_SET_PATH: case TYPE_GET_PATH: case TYPE_HASH: case TYPE_POINT2D: case TYPE_IMAGE:
      return murmur3_32(&v->data1, 8);
    case TYPE_FLOAT: case TYPE_PAIR: case TYPE_PERCENT: case TYPE_TIME:
      return murmur3_32(&v->data2, 8);
    case TYPE_OP: case TYPE_FUNCTION: case TYPE_TRIPLE: case TYPE_TYPESET: case TYPE_DATE:
    case TYPE_POINT3D:
      // A 3D point's three components are words 1-3; nothing past the cell is read.
      return murmur3_32(&v->data1, 12);
    case TYPE_MONEY:
      // Words 1-3 only: the sign lives in the header and is left out, which keeps equal
      // amounts hashing alike.
      return murmur3_32(&v->data1, 12);
    case TYPE_TUPLE: {
      u32 len = std::min<u32>((v->header >> 19) & 15, 12);
      return murmur3_32(&v->data1, len);
    }
    case TYPE_BINARY: {
      const series_buffer* b = read_buffer(v->data2);
      u32 used = b->used_bytes();
      u32 head = std::min(v->data1, used);
      return murmur3_32(b->head() + head, used - head);
    }
    case TYPE_STRING: case TYPE_FILE: case TYPE_URL: case TYPE_TAG: case TYPE_EMAIL:
    case TYPE_REF:
      return hash_string(v, case_sensitive);
    default:
      return 0;
  }
}

i32 default_compare(const cell* a, const cell* b, i32 op) {
  u32 ta = type_of(a), tb = type_of(b);
  if (word_kind(ta) && word_kind(tb)) {
    if (op == OP_EQUAL || op == 1 || op == OP_FIND)
      return symbol::same_q(a->data2, b->data2) ? 0 : 1;
    return ta == tb && a->data2 == b->data2 ? 0 : 1;
  }
  if (ta != tb) return 1;
  if (string_kind(ta)) {
    const series_buffer* x = read_buffer(a->data2);
    const series_buffer* y = read_buffer(b->data2);
    i64 nx = i64(x->used_units()) - a->data1, ny = i64(y->used_units()) - b->data1;
    if (nx < 0) nx = 0;
    if (ny < 0) ny = 0;
    if (nx != ny) return 1;
    bool fold = op != OP_STRICT_EQUAL && op != 8;
    for (i64 i = 0; i < nx; i++) {
      u32 cx = string::get_char(x->head() + (a->data1 + i) * x->unit(), x->unit());
      u32 cy = string::get_char(y->head() + (b->data1 + i) * y->unit(), y->unit());
      if (fold) { cx = fold_upper_hook(cx); cy = fold_upper_hook(cy); }
      if (cx != cy) return 1;
    }
    return 0;
  }
  if (ta == TYPE_NONE || ta == TYPE_UNSET) return 0;
  return a->data1 == b->data1 && a->data2 == b->data2 && a->data3 == b->data3 ? 0 : 1;
}

// ---------------------------------------------------------------------------------------
// Construction

u32 init(u32 size, const cell* block, u32 kind, u32 cells_per_entry) {
  VYR_ASSERT(kind <= KIND_OWNERSHIP);
  init_module();
  cell blk = block ? *block : cell{TYPE_NONE, 0, 0, 0};
  collector::root_guard bg(&blk);
  u32 t = new_record();
  table_guard tg(t);
  rec(t)->kind = kind;
  if (kind >= KIND_NODES) {
    rec(t)->index = (cells_per_entry + 1) * 16;
    rec(t)->stamp = collector::state.nodes_cycles + 1;
  }
  if (kind == KIND_SYMBOLS && size >= 4000) size *= 2;
  u32 s = std::max<u32>(size, 4);
  u32 buckets = round_up_pow2(u32(double(s) / 0.77));
  rec(t)->buckets = buckets;
  rec(t)->upper = u32(double(buckets) * 0.77);
  u32 n = new_flags(buckets);
  rec(t)->flags = n;
  n = new_items(buckets, 0);
  rec(t)->keys = n;
  if (hashed_kind(kind)) {
    n = new_items(buckets, 0);
    rec(t)->hashes = n;
  }
  if (kind == KIND_HASH) {
    n = new_items(s, 0xFF);
    rec(t)->index = n;
    n = array::make(4, 4);
    rec(t)->lists = n;
  }
  if (kind >= KIND_NODES || type_of(&blk) == TYPE_NONE) {
    u64 cells = kind >= KIND_NODES ? u64{s} * (cells_per_entry + 1) : s;
    if (cells > 0xFFFFFFFFu) fire_no_memory();
    n = memory::alloc_cells(u32(cells));
    rec(t)->values = n;
  } else {
    rec(t)->values = blk.data2;
    put_all(t, blk.data1, kind == KIND_MAP ? 2 : 1);
  }
  VYR_ASSERT(counts_hold(t));
  return t;
}

u32 copy(u32 table, u32 new_values) {
  VYR_ASSERT(counts_hold(table));
  table_guard src(table);
  u32 nv = new_values;
  collector::node_guard vg(&nv);
  u32 t = new_record();
  record r = *rec(table);
  // The copies below may collect, and the collector checks the counts of every table it
  // marks, this one too: they hold from the start, beside series nodes still 0.
  record* d = rec(t);
  d->count = r.count;
  d->occupied = r.occupied;
  d->buckets = r.buckets;
  d->upper = r.upper;
  d->kind = r.kind;
  d->stamp = r.stamp;
  table_guard tg(t);
  u32 n = memory::copy_series(buffer_of(r.flags));
  rec(t)->flags = n;
  n = memory::copy_series(buffer_of(r.keys));
  rec(t)->keys = n;
  if (r.hashes) {
    n = memory::copy_series(buffer_of(rec(table)->hashes));
    rec(t)->hashes = n;
  }
  if (r.kind == KIND_HASH) {
    n = memory::copy_series(buffer_of(r.index));
    rec(t)->index = n;
    // Each copy gets lists of its own: a shared list would let an edit of one hash! add
    // or drop positions in the other.
    n = memory::copy_series(buffer_of(r.lists));
    rec(t)->lists = n;
    for (u32 i = 0; i < item_count(n); i++) {
      // A list emptied by deletions is left as 0: nothing to copy.
      u32 from = items(rec(table)->lists)[i];
      u32 l = from ? memory::copy_series(buffer_of(from)) : 0;
      items(rec(t)->lists)[i] = l;
    }
  } else {
    rec(t)->index = r.index;
  }
  if (r.kind >= KIND_NODES) {
    n = memory::copy_series(buffer_of(r.values));
    rec(t)->values = n;
  } else {
    rec(t)->values = nv;
  }
  return t;
}

// ---------------------------------------------------------------------------------------
// Kinds 0-2

i32 put(u32 t, u32 pos) {
  VYR_ASSERT(counts_hold(t));
  table_guard tg(t);
  for (;;) {
    record* r = rec(t);
    if (r->occupied >= r->upper) {
      // Grown in place from the stored hashes; a hash! mostly of deleted buckets keeps its
      // size and only drops them.
      resize(t, r->kind == KIND_HASH && r->buckets > 2 * r->count ? r->buckets - 1
                                                                   : r->buckets + 1);
      if (rec(t)->occupied >= rec(t)->upper) resize(t, rec(t)->buckets * 2);
    }
    if (insert_position(t, pos)) return 0;
  }
}

i32 put_absent(u32 t, u32 pos, const u32* hash) {
  VYR_ASSERT(counts_hold(t));
  if (rec(t)->kind != KIND_MAP) return put(t, pos);
  table_guard tg(t);
  record* r = rec(t);
  if (r->occupied >= r->upper) {
    resize(t, r->buckets + 1);
    if (rec(t)->occupied >= rec(t)->upper) resize(t, rec(t)->buckets * 2);
  }
  cell key = cells_of(t)[pos];
  VYR_ASSERT(!hash || *hash == hash_value(&key, false));
  u32 h = hash ? *hash : hash_value(&key, false);
  u32 mask = rec(t)->buckets - 1, i = h & mask;
  // No key on the way can equal it: the first bucket not in use takes it.
  for (u32 step = 1; flag_of(flags_of(t), i) == FLAG_USED; step++) i = (i + step) & mask;
  r = rec(t);
  if (flag_of(flags_of(t), i) == FLAG_EMPTY) r->occupied++;
  r->count++;
  keys_of(t)[i] = pos;
  hashes_of(t)[i] = h;
  set_flag(flags_of(t), i, FLAG_USED);
  return 0;
}

i32 put_cell(u32 t, const cell* value) {
  return put(t, u32(value - cells_of(t)));
}

void put_all(u32 t, u32 start, u32 step) {
  VYR_ASSERT(counts_hold(t));
  table_guard tg(t);
  u32 kind = rec(t)->kind;
  if (kind == KIND_MAP) {
    u32 i = start;
    while (i + 1 < cells_count(t)) {
      cell key = cells_of(t)[i];
      collector::root_guard kg(&key);
      // Refinements and issues are keys of their own kind, as map_put keeps them.
      u32 kt = type_of(&key);
      if (map_word_key(kt)) set_type(&key, TYPE_SET_WORD);
      const cell* found = find(t, &key, OP_STRICT_EQUAL);
      if (found) {
        u32 fpos = u32(found - cells_of(t));
        cell* c = write_cells_of(t);
        if (c[fpos + 1].header == 0) rec(t)->count++;  // a removed pair comes back
        copy_cell(&c[i + 1], &c[fpos + 1]);
        series_buffer* b = buffer_of(rec(t)->values);
        cell* cs = b->cells();
        std::memmove(cs + i, cs + i + 2, (u64{b->used_units()} - i - 2) * 16);
        b->tail -= 32;
        continue;
      }
      set_type(&write_cells_of(t)[i], type_of(&key));
      put(t, i);
      i += 2;
    }
    return;
  }
  for (u32 i = start; i < cells_count(t); i += step) {
    if (put(t, i) == 2) return;
  }
}

const cell* get(u32 t, const cell* key_in, u32 head, u32 skip, i32 op, bool last,
                bool reverse, probe_state* state, u32* hash) {
  VYR_ASSERT(counts_hold(t));
  VYR_ASSERT(skip >= 1);
  cell key = *key_in;  // a copy: the caller's cell is never retyped, even when compare throws
  collector::root_guard kg(&key);
  table_guard tg(t);
  record* r = rec(t);
  if (r->kind >= KIND_NODES) return nullptr;
  if (r->kind == KIND_MAP && map_word_key(type_of(&key)))
    set_type(&key, TYPE_SET_WORD);  // the form in which map! keys words
  u32 h = hash_value(&key, false);
  if (hash) *hash = h;
  probe_state st{h & (r->buckets - 1), u32(-1)};
  if (!state) state = &st;
  *state = st;
  if (!skip) skip = 1;
  // A hash! may hold values equal to the key under several buckets (a word and a
  // set-word, say): every bucket on the probe path is looked at and the best placed
  // candidate of all of them wins, as a scan of the block would find it.
  bool have = false;
  u32 best = 0;
  for (;;) {
    const cell* c = get_next(t, &key, state, op, &h);
    if (rec(t)->kind != KIND_HASH) return c;
    if (!c) return have ? cells_of(t) + best : nullptr;
    i32 k = i32(keys_of(t)[state->bucket]);
    std::vector<u32> cand;
    if (k >= 0) {
      cand.push_back(u32(k));
    } else {
      u32 list = items(rec(t)->lists)[-k - 1];
      cand.assign(items(list), items(list) + item_count(list));
    }
    for (u32 p : cand) {
      if (p >= cells_count(t)) continue;
      if (reverse) {
        if (p >= head || (head - 1 - p) % skip != 0) continue;
      } else {
        if (p < head || (p - head) % skip != 0) continue;
      }
      bool better = !have || ((last || reverse) ? p > best : p < best);
      if (!better) continue;
      // get_next compared the bucket's first value with equal?; the others are checked.
      cell stored = cells_of(t)[p];
      if (op == OP_EQUAL && k >= 0) {
        best = p;
        have = true;
        continue;
      }
      if (compare_hook(&stored, &key, op) == 0) {
        best = p;
        have = true;
      }
    }
  }
}

const cell* get_next(u32 t, const cell* key_in, probe_state* state, i32 op, const u32* hash) {
  VYR_ASSERT(counts_hold(t));
  cell key = *key_in;
  collector::root_guard kg(&key);
  table_guard tg(t);
  u32 kind = rec(t)->kind;
  u32 buckets = rec(t)->buckets, mask = buckets - 1;
  u32 i = state->bucket & mask, step = 0;
  if (state->step != u32(-1)) {
    step = state->step + 1;
    i = (i + step) & mask;
  }
  if (hash && kind == KIND_MAP) {
    // Buckets whose stored hash differs hold other keys: pass them without reading the
    // record again (nothing on the way allocates until a comparison).
    const u32* fl = flags_of(t);
    const u32* hs = hashes_of(t);
    for (; step < buckets; step++, i = (i + step) & mask) {
      u32 f = flag_of(fl, i);
      if (f == FLAG_EMPTY) break;
      if (f != FLAG_USED || hs[i] != *hash) continue;
      state->bucket = i;
      state->step = step;
      u32 pos = keys_of(t)[i];
      if (pos >= cells_count(t)) continue;
      cell stored = cells_of(t)[pos];
      if (type_of(&stored) == type_of(&key) && keys_differ(&stored, &key, op) == 0)
        return cells_of(t) + pos;
      if (rec(t)->buckets != buckets) return nullptr;  // the comparison resized the table
      fl = flags_of(t);
      hs = hashes_of(t);
    }
    state->bucket = i;
    state->step = step;
    return nullptr;
  }
  for (; step < buckets; step++, i = (i + step) & mask) {
    state->bucket = i;
    state->step = step;
    u32 f = flag_of(flags_of(t), i);
    if (f == FLAG_EMPTY) return nullptr;
    if (f != FLAG_USED) continue;
    // A map! key of another hash is another key: no comparison needed.
    if (hash && kind == KIND_MAP && hashes_of(t)[i] != *hash) continue;
    i32 k = i32(keys_of(t)[i]);
    u32 pos = kind == KIND_HASH ? first_position(t, k) : u32(k);
    if (pos >= cells_count(t)) continue;
    cell stored = cells_of(t)[pos];
    bool match = kind == KIND_HASH
                     ? compare_hook(&stored, &key, OP_EQUAL) == 0
                     : type_of(&stored) == type_of(&key) && keys_differ(&stored, &key, op) == 0;
    if (match) return cells_of(t) + pos;
    if (rec(t)->buckets != buckets) return nullptr;  // the comparison resized the table
  }
  return nullptr;
}

const cell* find(u32 t, const cell* key_in, i32 op, u32* hash) {
  if (rec(t)->kind != KIND_MAP) return get(t, key_in, 0, 1, op, false, false, nullptr, hash);
  // A map! key is at one place at most: get's search among candidates is not needed, and
  // hashing allocates nothing, so the probe (which guards the key) starts at once.
  cell key = *key_in;
  if (map_word_key(type_of(&key))) set_type(&key, TYPE_SET_WORD);
  u32 h = hash_value(&key, false);
  if (hash) *hash = h;
  probe_state st{h & (rec(t)->buckets - 1), u32(-1)};
  return get_next(t, &key, &st, op, &h);
}

void remove(u32 t, u32 pos) {
  VYR_ASSERT(counts_hold(t));
  record* r = rec(t);
  if (r->kind == KIND_MAP) {
    if (pos + 1 < cells_count(t) && cells_of(t)[pos + 1].header != 0) {
      write_cells_of(t)[pos + 1].header = 0;
      rec(t)->count--;
    }
    return;
  }
  if (r->kind != KIND_HASH) return;
  i32 b = index_bucket(t, pos);
  if (b < 0 || flag_of(flags_of(t), u32(b)) != FLAG_USED) return;
  i32 k = i32(keys_of(t)[b]);
  items(rec(t)->index)[pos] = 0xFFFFFFFFu;
  if (k < 0) {
    u32 list = items(rec(t)->lists)[-k - 1];
    array::remove_ptr(list, pos);
    if (item_count(list) > 0) return;
    items(rec(t)->lists)[-k - 1] = 0;
  } else if (u32(k) != pos) {
    return;
  }
  set_flag(flags_of(t), u32(b), FLAG_DELETED);
  rec(t)->count--;
}

void remove_cell(u32 t, const cell* value) {
  VYR_ASSERT(value >= cells_of(t) && value < cells_of(t) + cells_count(t));
  remove(t, u32(value - cells_of(t)));
}

void delete_range(u32 t, u32 pos, u32 n) {
  VYR_ASSERT(counts_hold(t));
  if (pos == 0 && n >= cells_count(t)) {
    clear(t);
    return;
  }
  u32 kind = rec(t)->kind;
  for (u32 p = pos; p < pos + n && p < cells_count(t); p++) {
    if (kind == KIND_MAP && (p & 1)) continue;
    remove(t, p);
  }
}

void clear(u32 t) {
  VYR_ASSERT(counts_hold(t));
  record* r = rec(t);
  r->count = r->occupied = 0;
  series_buffer* v = buffer_of(r->values);
  v->tail = v->offset;
  series_buffer* f = buffer_of(r->flags);
  std::memset(f->head(), 0xAA, f->used_bytes());
  if (r->kind == KIND_HASH) {
    series_buffer* x = buffer_of(r->index);
    std::memset(x->head(), 0xFF, x->used_bytes());
    array::clear(r->lists);
  }
}

i32 shift_indexes(u32 t, i32 delta, u32 pos, u32 count, bool adjust) {
  VYR_ASSERT(counts_hold(t));
  if (count > SHIFT_LIMIT) return 1;
  if (rec(t)->kind != KIND_HASH || delta == 0) return 0;
  table_guard tg(t);
  if (delta > 0) {
    u32 d = u32(delta);
    remap_positions(t, pos, pos + count, [&](u32 p) { return p >= pos && p < pos + count ? p + d : p; });
    if (adjust) {
      u32 idx = rec(t)->index;
      u32 len = item_count(idx);
      if (pos < len) {
        ensure_items(idx, len + d, 0xFF);
        u32* it = items(idx);
        std::memmove(it + pos + d, it + pos, u64{len - pos} * 4);
        std::memset(it + pos, 0xFF, u64{d} * 4);
      }
    }
  } else {
    u32 n = u32(-delta);
    if (adjust)
      for (u32 p = pos; p < pos + n; p++) remove(t, p);
    u32 from = pos + n;
    remap_positions(t, from, from + count, [&](u32 p) { return p >= from && p < from + count ? p - n : p; });
    if (adjust) {
      u32 idx = rec(t)->index;
      u32 len = item_count(idx);
      if (pos < len) array::remove_bytes_at(idx, pos * 4, std::min(n, len - pos) * 4);
    }
  }
  return 0;
}

void move(u32 t, u32 to, u32 from, u32 n) {
  VYR_ASSERT(counts_hold(t));
  if (rec(t)->kind != KIND_HASH || n == 0) return;
  if (to >= from && to <= from + n) return;  // into the run itself: nothing moves
  table_guard tg(t);
  u32 lo, hi;
  if (to > from) {
    // The run lands just before old position `to`; the values passed over move down.
    lo = from;
    hi = to;
    u32 dist = to - from - n;
    remap_positions(t, lo, hi, [&](u32 p) {
      if (p >= from && p < from + n) return p + dist;
      if (p >= from + n && p < to) return p - n;
      return p;
    });
  } else {
    lo = to;
    hi = from + n;
    u32 dist = from - to;
    remap_positions(t, lo, hi, [&](u32 p) {
      if (p >= from && p < from + n) return p - dist;
      if (p >= to && p < from) return p + n;
      return p;
    });
  }
  // The index array moves the same way as the values.
  u32 idx = rec(t)->index;
  ensure_items(idx, hi, 0xFF);
  u32* it = items(idx);
  std::vector<u32> run(it + from, it + from + n);
  if (to > from) {
    std::memmove(it + from, it + from + n, u64{to - from - n} * 4);
    std::memcpy(it + to - n, run.data(), u64{n} * 4);
  } else {
    std::memmove(it + to + n, it + to, u64{from - to} * 4);
    std::memcpy(it + to, run.data(), u64{n} * 4);
  }
}

void rebuild(u32 t, u32 size) {
  VYR_ASSERT(counts_hold(t));
  table_guard tg(t);
  if (rec(t)->kind >= KIND_NODES) {
    rebuild_keyed(t, size);
    return;
  }
  u32 len = cells_count(t);
  for (;;) {
    u32 buckets = round_up_pow2(u32(1.5 * double(size)));
    u32 upper = u32(double(buckets) * 0.77);
    if (buckets < 4) buckets = 4;
    u32 n = new_flags(buckets);
    rec(t)->flags = n;
    n = new_items(buckets, 0);
    rec(t)->keys = n;
    if (hashed_kind(rec(t)->kind)) {
      n = new_items(buckets, 0);
      rec(t)->hashes = n;
    }
    record* r = rec(t);
    r->buckets = buckets;
    r->upper = upper;
    r->stamp = collector::state.nodes_cycles + 1;
    r->count = r->occupied = 0;
    if (r->kind == KIND_HASH) {
      n = new_items(std::max<u32>(len, 4), 0xFF);
      rec(t)->index = n;
      n = array::make(4, 4);
      rec(t)->lists = n;
    }
    bool fits = true;
    for (u32 p = 0; p < len && fits; p++) fits = insert_position(t, p);
    if (fits) return;
    size = std::max<u32>(size, 4) * 2;  // more distinct keys than the size allowed for
  }
}

void resize(u32 t, u32 n) {
  VYR_ASSERT(counts_hold(t));
  n = std::max<u32>(round_up_pow2(n), 4);
  u32 upper = u32(double(n) * 0.77 + 0.5);
  if (rec(t)->count >= upper) return;
  rehash_into(t, n);
  rec(t)->upper = upper;
}

u32 map_put(u32 t, const cell* key_in, const cell* value_in) {
  VYR_ASSERT(counts_hold(t));
  cell key = *key_in, value = *value_in;
  collector::root_guard kg(&key);
  collector::root_guard vg(&value);
  table_guard tg(t);
  if (map_word_key(type_of(&key))) set_type(&key, TYPE_SET_WORD);
  const cell* found = find(t, &key, OP_STRICT_EQUAL);
  if (found) {
    u32 pos = u32(found - cells_of(t));
    if (is_removed_pair(t, pos)) rec(t)->count++;  // reviving a removed key counts it again
    copy_cell(&value, write_cells_of(t) + pos + 1);
    return pos;
  }
  series_buffer* b = buffer_of(rec(t)->values);
  copy_cell(&key, memory::alloc_tail_cell(b));
  copy_cell(&value, memory::alloc_tail_cell(b));
  u32 pos = b->used_units() - 2;
  put(t, pos);
  return pos;
}

bool map_removed_q(const cell* key_cell) { return key_cell[1].header == 0; }

// ---------------------------------------------------------------------------------------
// Node-keyed kinds

namespace {
cell* entry_at(u32 t, u32 offset) {
  return reinterpret_cast<cell*>(buffer_of(rec(t)->values)->head() + offset);
}

// The bucket holding `node`, or -1; `slot` receives the insertion bucket when absent.
i32 probe_key(u32 t, u32 node, u32* slot) {
  record* r = rec(t);
  u32 mask = r->buckets - 1, i = hash_int(node) & mask;
  i32 del = -1;
  const u32* f = flags_of(t);
  const u32* k = keys_of(t);
  for (u32 step = 1; step <= r->buckets; step++) {
    u32 fl = flag_of(f, i);
    if (fl == FLAG_EMPTY) break;
    if (fl == FLAG_DELETED) {
      if (del < 0) del = i32(i);
    } else if (entry_at(t, k[i])->data1 == node) {
      return i32(i);
    }
    i = (i + step) & mask;
  }
  if (slot) *slot = del >= 0 ? u32(del) : i;
  return -1;
}
}  // namespace

void rebuild_keyed(u32 t, u32 n) {
  VYR_ASSERT(counts_hold(t));
  table_guard tg(t);
  u32 buckets = std::max<u32>(round_up_pow2(n), 4);
  u32 stride = rec(t)->index;
  u32 live = rec(t)->count;
  u32 nf = new_flags(buckets);
  collector::node_guard g1(&nf);
  u32 nk = new_items(buckets, 0);
  collector::node_guard g2(&nk);
  u64 cells = u64{std::max<u32>(live, 4)} * (stride / 16);
  if (cells > 0xFFFFFFFFu) fire_no_memory();
  u32 nv = memory::alloc_cells(u32(cells));
  collector::node_guard g3(&nv);
  record* r = rec(t);
  for (u32 i = 0; i < r->buckets; i++) {
    if (flag_of(flags_of(t), i) != FLAG_USED) continue;
    cell* e = entry_at(t, keys_of(t)[i]);
    if (e->header != KEY_LIVE) continue;
    series_buffer* vb = buffer_of(nv);
    u32 off = vb->used_bytes();
    char* dst = memory::alloc_tail_bytes(vb, stride);  // room was made above: no allocation
    std::memcpy(dst, e, stride);
    u32 b = empty_bucket(items(nf), buckets, hash_int(e->data1));
    set_flag(items(nf), b, FLAG_USED);
    items(nk)[b] = off;
  }
  r = rec(t);
  r->flags = nf;
  r->keys = nk;
  r->values = nv;
  r->buckets = buckets;
  r->upper = u32(double(buckets) * 0.77 + 0.5);
  r->occupied = r->count;
  r->stamp = collector::state.nodes_cycles + 1;
}

cell* put_key(u32 t, u32 node) {
  VYR_ASSERT(counts_hold(t));
  table_guard tg(t);
  record* r = rec(t);
  if (r->occupied >= r->upper)
    rebuild_keyed(t, 2 * r->count < r->buckets ? r->buckets - 1 : r->buckets + 1);
  u32 slot = 0;
  i32 b = probe_key(t, node, &slot);
  u32 stride = rec(t)->index;
  cell* e;
  if (b >= 0) {
    e = entry_at(t, keys_of(t)[b]);
  } else {
    u32 fl = flag_of(flags_of(t), slot);
    u32 off;
    if (fl == FLAG_DELETED) {
      off = keys_of(t)[slot];  // a deleted bucket's entry is reused
    } else {
      series_buffer* vb = buffer_of(rec(t)->values);
      memory::alloc_tail_bytes(vb, stride);
      off = vb->used_bytes() - stride;
      rec(t)->occupied++;
    }
    keys_of(t)[slot] = off;
    set_flag(flags_of(t), slot, FLAG_USED);
    rec(t)->count++;
    e = entry_at(t, off);
    *e = cell{KEY_LIVE, node, 0, 0};
  }
  for (u32 i = 1; i < stride / 16; i++) e[i] = cell{TYPE_UNSET, 0, 0, 0};
  return e + 1;
}

cell* get_key(u32 t, u32 node) {
  VYR_ASSERT(counts_hold(t));
  i32 b = probe_key(t, node, nullptr);
  return b < 0 ? nullptr : entry_at(t, keys_of(t)[b]) + 1;
}

cell* delete_key(u32 t, u32 node) {
  VYR_ASSERT(counts_hold(t));
  i32 b = probe_key(t, node, nullptr);
  if (b < 0) return nullptr;
  set_flag(flags_of(t), u32(b), FLAG_DELETED);
  rec(t)->count--;
  cell* e = entry_at(t, keys_of(t)[b]);
  e->header = 0;
  return e + 1;
}

// ---------------------------------------------------------------------------------------
// Symbols and context words

u32 put_symbol(u32 t, const char* name, u32 length, bool any_case) {
  VYR_ASSERT(counts_hold(t));
  {
    record* r = rec(t);
    if (r->occupied >= r->upper)
      resize(t, 16 * (2 * r->count < r->buckets ? r->buckets - 1 : r->buckets + 1));
  }
  u32 h = murmur3_32(lowercase_ascii(name, length), length);
  record* r = rec(t);
  u32 mask = r->buckets - 1;
  const u32* f = flags_of(t);
  const u32* k = keys_of(t);
  cell* syms = write_cells_of(t);
  auto search = [&](bool ignore_case, u32* end) -> i32 {
    u32 i = h & mask;
    for (u32 step = 1; step <= mask + 1; step++) {
      if (flag_of(f, i) == FLAG_EMPTY) break;
      if (flag_of(f, i) == FLAG_USED) {
        series_buffer* nb = buffer_of(syms[k[i]].data3);
        if (nb->used_bytes() == length && compare_names(nb->head(), name, length, ignore_case))
          return i32(k[i]);
      }
      i = (i + step) & mask;
    }
    *end = i;
    return -1;
  };
  u32 end = 0, end2 = 0;
  i32 found = search(any_case, &end);
  if (found >= 0) return u32(found) + 1;
  i32 alias = -1;
  if (!any_case) {
    i32 variant = search(true, &end2);
    // A resize may have put a later spelling ahead of the first one in the probe
    // sequence: always link to the canonical symbol, never to another alias.
    if (variant >= 0) {
      i32 a = i32(cells_of(t)[variant].data1);
      alias = a > 0 ? a : variant + 1;
    }
  }
  // Create the entry: a name in the arena may live in a buffer that the allocations below
  // move, so it is copied first (a name from elsewhere, the boot image's, stays put).
  std::string copy;
  const char* from = name;
  if (reinterpret_cast<uintptr_t>(name) - reinterpret_cast<uintptr_t>(arena::base) <
      (uintptr_t{1} << 32)) {
    copy.assign(name, length);
    from = copy.data();
  }
  u32 bytes = memory::alloc_bytes(length + 1);
  collector::node_guard bg(&bytes);
  {
    series_buffer* b = buffer_of(bytes);
    std::memcpy(b->head(), from, length);
    b->head()[length] = 0;
    b->tail = b->offset + length;
  }
  series_buffer* sb = buffer_of(rec(t)->values);
  cell* c = memory::alloc_tail_cell(sb);
  u32 pos = sb->used_units() - 1;
  *c = cell{TYPE_SYMBOL, u32(alias), 0, bytes};
  keys_of(t)[end] = pos;
  set_flag(flags_of(t), end, FLAG_USED);
  rec(t)->count++;
  rec(t)->occupied++;
  return pos + 1;
}

i32 find_context_word(u32 t, u32 symbol_id, bool any_case, u32 context, i32* out_pos) {
  VYR_ASSERT(counts_hold(t));
  if (context) {
    record* r = rec(t);
    if (r->occupied >= r->upper) {
      table_guard tg(t);
      resize(t, 16 * (2 * r->count < r->buckets ? r->buckets - 1 : r->buckets + 1));
    }
  }
  u32 canon = symbol::resolve(symbol_id);
  record* r = rec(t);
  u32 mask = r->buckets - 1, i = hash_int(canon) & mask;
  const u32* f = flags_of(t);
  const u32* k = keys_of(t);
  const cell* words = cells_of(t);
  for (u32 step = 1; step <= mask + 1; step++) {
    u32 fl = flag_of(f, i);
    if (fl == FLAG_EMPTY) break;
    if (fl == FLAG_USED) {
      u32 s = words[k[i]].data2;
      // The same spelling matches at once; another one only through its canonical symbol.
      if (s == symbol_id || (any_case && symbol::resolve(s) == canon)) {
        if (out_pos) *out_pos = i32(k[i]);
        return i32(k[i]);
      }
    }
    i = (i + step) & mask;
  }
  if (!context) return -1;
  table_guard tg(t);
  series_buffer* wb = buffer_of(rec(t)->values);
  u32 pos = wb->used_units();
  cell* c = memory::alloc_tail_cell(wb);
  *c = cell{TYPE_WORD, context, symbol_id, pos};
  keys_of(t)[i] = pos;
  set_flag(flags_of(t), i, FLAG_USED);
  rec(t)->count++;
  rec(t)->occupied++;
  if (out_pos) *out_pos = i32(pos);
  return -1;
}

// ---------------------------------------------------------------------------------------
// Collector hooks

void mark(u32 t) {
  VYR_ASSERT(counts_hold(t));
  if (!t || !node_word(t)) return;
  if (!collector::mark_node(t)) return;
  record* r = rec(t);
  if (r->kind == KIND_HASH) {
    collector::mark_node(r->index);
    if (collector::mark_node(r->lists)) {
      const u32* l = items(r->lists);
      for (u32 i = 0, n = item_count(r->lists); i < n; i++) collector::mark_node(l[i]);
    }
  }
  collector::mark_node(r->flags);
  collector::mark_node(r->keys);
  if (hashed_kind(r->kind)) collector::mark_node(r->hashes);
  if (r->kind == KIND_OWNERSHIP) {
    // Weak: neither the owned series nor the owners are kept alive by the table.
    collector::mark_node(r->values);
    return;
  }
  if (r->kind == KIND_NODES) {
    collector::mark_node(r->values);
    if (!r->flags || !r->keys || !r->values) return;  // still being built
    u32 stride = r->index;
    for (u32 i = 0; i < r->buckets; i++) {
      if (flag_of(flags_of(t), i) != FLAG_USED) continue;
      cell* e = entry_at(t, keys_of(t)[i]);
      if (e->header != KEY_LIVE) continue;
      u32 key = e->data1;
      if (node_word(key) && buffer_of(key)->unit() == 16) collector::mark_block(key);
      else collector::mark_node(key);
      collector::mark_values(e + 1, e + stride / 16);
    }
    return;
  }
  collector::mark_block(r->values);
}

void sweep_keys(u32 t) {
  VYR_ASSERT(counts_hold(t));
  record* r = rec(t);
  if (r->kind < KIND_NODES || !r->flags || !r->keys || !r->values) return;
  auto dead = [](u32 node) {
    return !node || !node_word(node) || !memory::marked(buffer_of(node));
  };
  for (u32 i = 0; i < r->buckets; i++) {
    if (flag_of(flags_of(t), i) != FLAG_USED) continue;
    cell* e = entry_at(t, keys_of(t)[i]);
    bool gone = e->header != KEY_LIVE || dead(e->data1);
    if (!gone && r->kind == KIND_OWNERSHIP && r->index >= 4 * 16) gone = dead(e[2].data1);
    if (!gone) continue;
    set_flag(flags_of(t), i, FLAG_DELETED);
    r->count--;
    e->header = 0;
  }
}

void register_weak(u32* slot) { weak_tables.push_back(slot); }
void unregister_weak(u32* slot) {
  weak_tables.erase(std::remove(weak_tables.begin(), weak_tables.end(), slot), weak_tables.end());
}

void init_module() {
  collector::hooks.mark_table = mark_hook;
  collector::hooks.sweep_weak = sweep_hook;
}

bool in_use_q(u32 t, u32 bucket) { return flag_of(flags_of(t), bucket) == FLAG_USED; }
u32 values_length(u32 t) { return cells_count(t); }

}  // namespace vyr::hashtable

// ---------------------------------------------------------------------------------------

namespace vyr::array {

namespace {
u32* at(u32 node) { return reinterpret_cast<u32*>(buffer_of(node)->head()); }
}  // namespace

u32 make(u32 n, u32 unit) { return memory::alloc_series(n ? n : 4, unit, 0); }
u32 length(u32 node) { return buffer_of(node)->used_units(); }
void clear(u32 node) { buffer_of(node)->tail = buffer_of(node)->offset; }
u32 pick(u32 node, u32 n) { return at(node)[n - 1]; }
void poke(u32 node, u32 n, u32 value) { at(node)[n - 1] = value; }

void append_int(u32 node, u32 value) {
  series_buffer* b = buffer_of(node);
  char* p = memory::alloc_tail_bytes(b, 4);
  std::memcpy(p, &value, 4);
}

void insert_int(u32 node, u32 p, u32 value) {
  append_int(node, value);
  series_buffer* b = buffer_of(node);
  u32 n = b->used_bytes() / 4;
  u32* a = reinterpret_cast<u32*>(b->head());
  if (p < 1) p = 1;
  if (p > n) p = n;
  std::memmove(a + p, a + p - 1, u64{n - p} * 4);
  a[p - 1] = value;
}

i32 find_int(u32 node, u32 value) {
  series_buffer* b = buffer_of(node);
  const u32* a = reinterpret_cast<const u32*>(b->head());
  for (u32 i = 0, n = b->used_bytes() / 4; i < n; i++)
    if (a[i] == value) return i32(i * 4);
  return -1;
}

void remove_ptr(u32 node, u32 value) {
  i32 off = find_int(node, value);
  if (off >= 0) remove_bytes_at(node, u32(off), 4);
}

void remove_bytes_at(u32 node, u32 offset, u32 n) {
  series_buffer* b = buffer_of(node);
  u32 used = b->used_bytes();
  if (offset >= used) return;
  n = std::min(n, used - offset);
  std::memmove(b->head() + offset, b->head() + offset + n, used - offset - n);
  b->tail -= n;
}

}  // namespace vyr::array
