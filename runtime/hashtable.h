// Open-addressing hash tables (two flag bits per bucket, power-of-two bucket counts, load
// factor 0.77, triangular probing) over five kinds of collections, and the hash functions.
// Invariant: a table never holds the values of kinds 0-2, only their positions in the
// collection's own values block; node-keyed kinds (3, 4) hold their entries themselves.
#pragma once
#include "runtime/memory.h"
#include "runtime/hooks.h"

namespace vyr::hashtable {

enum kind_t : u32 {
  KIND_HASH = 0,       // hash!: duplicate keys share a bucket through a duplicate list
  KIND_MAP = 1,        // map!: key/value pairs, keys indexed
  KIND_SYMBOLS = 2,    // the symbol table and context word tables
  KIND_NODES = 3,      // keyed by node offset; entries and their cells kept alive
  KIND_OWNERSHIP = 4,  // keyed by node offset; weak: dead keys and owners are swept
};

// The table record: twelve 32-bit words in a byte series; the table is that series' node.
struct record {
  u32 count;     // live entries (distinct keys for hash!)
  u32 index;     // kind 0: node of the index array; kinds 3-4: entry stride in bytes
  u32 lists;     // kind 0: node of the array of duplicate-list nodes (list k at item k)
  u32 flags;     // node of the bucket flags, 2 bits per bucket
  u32 keys;      // node of one 32-bit key per bucket
  u32 values;    // node of the values block (kinds 3-4: the entries series)
  u32 occupied;  // buckets in use or deleted
  u32 buckets;   // a power of two, at least 4
  u32 upper;     // occupied count at which the table grows
  u32 kind;
  u32 stamp;
  u32 hashes;    // kinds 0-1: node of one 32-bit hash per bucket, the hash of the bucket's
                 // (first) value when it was indexed, so growing never hashes a key again
                 // and a probe compares only values whose hash matches
};
static_assert(sizeof(record) == 48);

// Re-fetch after every call that may allocate: the record's buffer moves.
inline record* rec(u32 table) { return reinterpret_cast<record*>(buffer_of(table)->unstamped_head()); }

// Compare operation codes used here (the compare action's own numbering).
constexpr i32 OP_EQUAL = 0;
constexpr i32 OP_STRICT_EQUAL = 2;
constexpr i32 OP_FIND = 12;

i32 default_compare(const cell* a, const cell* b, i32 op);

// Hash functions.
u32 murmur3_32(const void* bytes, u32 length);
u32 hash_int(u32 word);  // the MurmurHash3 finaliser alone
u32 hash_string(const cell* value, bool case_sensitive);
u32 hash_symbol(u32 symbol_id);
u32 hash_value(const cell* value, bool case_sensitive);
// A-Z -> a-z: the bytes themselves when none is upper case, else a shared scratch copy.
const char* lowercase_ascii(const char* bytes, u32 n);
bool compare_names(const char* a, const char* b, u32 n, bool ignore_case);
u32 round_up_pow2(u32 n);
// Equality of two one-byte texts of the same type as the compare action answers it for
// `op` (equal, strict-equal or find's): 0 equal, 1 unequal, -1 when only the action can
// tell (another type or width, a non-ASCII letter under a case-insensitive op).
i32 text_equal(const cell* a, const cell* b, i32 op);
inline void no_op() {}

// Construction. `block` (kinds 0-2) is the collection's values block value or null for a new
// one; its values from its head index are indexed. `cells_per_entry` is for kinds 3-4.
u32 init(u32 size, const cell* block, u32 kind, u32 cells_per_entry);
u32 copy(u32 table, u32 new_values);  // an independent copy bound to another values block

// Kinds 0-2. `pos` is a 0-based position in the values block (from the buffer's head).
// A full table first grows in place from its stored hashes; the result is 0.
i32 put(u32 table, u32 pos);
i32 put_cell(u32 table, const cell* value);
// map!: indexes the key at `pos`, which the caller has just looked up and not found (so
// no comparison is made on the way to a free bucket). `hash`, when given, is the key's hash
// as that look-up computed it (hash_value, case-insensitive), so it is not hashed again.
i32 put_absent(u32 table, u32 pos, const u32* hash = nullptr);
void put_all(u32 table, u32 start, u32 step);

// Lookup. Returns the matching cell of the values block (valid until the next allocation)
// or null, for reading: a look-up leaves the block's write stamp alone. For hash!, `head`,
// `skip`, `last` and `reverse` select among equal values.
struct probe_state { u32 bucket; u32 step; };
const cell* get(u32 table, const cell* key, u32 head, u32 skip, i32 op, bool last,
                bool reverse, probe_state* state = nullptr, u32* hash = nullptr);
// `hash`, when given, is the key's hash (hash_value, case-insensitive): a map! then
// compares only the keys stored with that hash.
const cell* get_next(u32 table, const cell* key, probe_state* state, i32 op,
                     const u32* hash = nullptr);
// The common case: head 0, skip 1, forward. `hash` receives the key's hash (see put_absent).
const cell* find(u32 table, const cell* key, i32 op, u32* hash = nullptr);

void remove(u32 table, u32 pos);  // `hashtable/delete`
void remove_cell(u32 table, const cell* value);
void delete_range(u32 table, u32 pos, u32 n);
void clear(u32 table);
i32 shift_indexes(u32 table, i32 delta, u32 pos, u32 count, bool adjust);
void move(u32 table, u32 to, u32 from, u32 n);  // run [from, from+n) goes before old `to`
void rebuild(u32 table, u32 size);
void resize(u32 table, u32 buckets);

// map!: sets the value of `key` (a fresh key is appended with the value), reviving a
// removed pair; returns the position of the key cell.
u32 map_put(u32 table, const cell* key, const cell* value);
bool map_removed_q(const cell* key_cell);  // the pair after this key cell was removed

// Kinds 3-4.
cell* put_key(u32 table, u32 node);
cell* get_key(u32 table, u32 node);
cell* delete_key(u32 table, u32 node);
void rebuild_keyed(u32 table, u32 buckets);

// Kind 2.
u32 put_symbol(u32 table, const char* name, u32 length, bool any_case);
i32 find_context_word(u32 table, u32 symbol_id, bool any_case, u32 context, i32* out_pos);

// Collector hooks. `mark` marks the table and what it holds (kind 4 is weak: its keys and
// entry cells are left to `sweep_keys`). Weak tables to sweep are registered by node slot.
void mark(u32 table);
void sweep_keys(u32 table);
void register_weak(u32* table_slot);
void unregister_weak(u32* table_slot);
void init_module();  // wires the collector hooks; idempotent

// Inspection for tests and statistics.
bool in_use_q(u32 table, u32 bucket);
u32 values_length(u32 table);

}  // namespace vyr::hashtable

// Routines over series used as arrays of 32-bit items (positions 1-based, offsets in bytes).
namespace vyr::array {
u32 make(u32 n, u32 unit);                 // an empty array with room for n items
u32 length(u32 node);                      // items between head and tail
void clear(u32 node);
u32 pick(u32 node, u32 n);
void poke(u32 node, u32 n, u32 value);
void append_int(u32 node, u32 value);      // may allocate
void insert_int(u32 node, u32 p, u32 value);
i32 find_int(u32 node, u32 value);         // byte offset of the first equal item, or -1
void remove_ptr(u32 node, u32 value);      // removes the first equal item
void remove_bytes_at(u32 node, u32 offset, u32 n);
}  // namespace vyr::array
