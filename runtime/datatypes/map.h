// map!: key/value pairs in a block, the keys indexed by a kind-1 hash table. A cell holds
// the head index (kept 0) in word 1, the block's node in word 2 and the table's node in
// word 3. Invariants: pairs are only appended; a removed pair stays in the block with its
// value header 0 and every walk skips it; every key the map holds was prepared (word kinds
// as set-word!, string-like keys its own copies), so look-ups of words find them and a
// caller's later edit of a string cannot hide an entry.
#pragma once
#include "runtime/datatypes/action_slots.h"

namespace vyr::map {

// Word 3 of a map!: its key table's node (word 2 is the pair block, see series::node).
constexpr u32 table(const cell* m) { return m->data3; }
constexpr u32& table(cell* m) { return m->data3; }

// Types a map literal may use as keys.
bool valid_key_type_q(u32 type);
// Rewrites a key in place before it is stored: word kinds become set-word!, string-like
// keys are copied from their head, other valid key types stay. False for a type that
// cannot be a key (the caller raises its own error).
bool preprocess_key(cell* key);

// A map over a new block with room for `capacity` pairs, or over a shallow copy of the
// values of `block` from its head (an even count, checked by the caller).
cell* make_at(cell* c, const cell* block, i32 capacity);
i32 size_q(const cell* map);  // live pairs

// The foreach step: sets the two words to the next live key (a set-word! key as word!)
// and value from the map's index, moving the index past removed pairs. False at the end.
bool set_many(cell* map, const cell* words);
// The i-th cell (0-based) of the live keys and values in order, for `set` spreading a map.
cell spread_at(const cell* map, u32 i);
// The `extend` native's map case: the pairs of a block!, hash! or map! are put in.
void extend(cell* map, const cell* spec, bool case_sensitive);
// The map's body: keys as stored and values, each key marked with the new-line flag.
cell body_of(const cell* map);

// ---- Actions ----------------------------------------------------------------------------
const cell* make(const cell* proto, const cell* spec, u32 type);
const cell* to(const cell* proto, const cell* spec, u32 type);
const cell* reflect(const cell* value, u32 field);
i32 form(const cell* value, cell* out, const cell* part, i32 budget);
i32 mold(const cell* value, cell* out, bool only, bool all, bool flat, const cell* part,
         i32 budget, i32 indent);
const cell* eval_path(cell* parent, cell* element, cell* value, const path_args& walk);
i32 compare(const cell* a, const cell* b, i32 op);
const cell* clear(cell* value);
const cell* copy(const cell* value, cell* dest, const cell* part, bool deep,
                 const cell* types);
const cell* find(cell* series, const cell* value, const find_args& opts);
i32 length_q(const cell* value);
const cell* put(cell* series, const cell* key, const cell* value, bool case_sensitive);
const cell* remove(cell* series, const cell* part, const cell* key);
const cell* select(cell* series, const cell* value, const find_args& opts);

void init();  // registers map!

}  // namespace vyr::map
