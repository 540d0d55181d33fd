// hash!: a block whose cells are indexed by a kind-0 hash table (word 3 of the cell), so
// find and select avoid a linear scan. Invariant: the index covers every cell of the
// block from its first, at its current position; each block action that inserts,
// removes, moves or changes cells of a hash! reports the edit through `edited` (or
// `reindex`), and a hash! made without an index (word 3 zero) is searched linearly.
#pragma once
#include "runtime/datatypes/action_slots.h"

namespace vyr::hash {

// Word 3 of a hash!: its index's table node (0 when searched linearly).
constexpr u32 table(const cell* h) { return h->data3; }
constexpr u32& table(cell* h) { return h->data3; }

// Builds a new index over the whole block of a hash! value (word 3 is set).
void index_new(cell* value);
// The run of `removed` cells at absolute position `pos` was replaced by `inserted` cells
// (the block already holds the new cells). Nothing happens for a value that is no hash!.
void edited(const cell* value, i64 pos, i64 removed, i64 inserted);
// Every cell may have moved: the index is built again over the whole block.
void reindex(const cell* value);
// The position of the match found through the index, or -1; `usable` is cleared when the
// search cannot go through the index (the caller then searches linearly).
i64 find_indexed(const cell* value, const cell* key, i32 op, i64 skip, bool last,
                 bool reverse, bool* usable);

// ---- Actions ----------------------------------------------------------------------------
const cell* make(const cell* proto, const cell* spec, u32 type);
const cell* to(const cell* proto, const cell* spec, u32 type);
i32 mold(const cell* value, cell* out, bool only, bool all, bool flat, const cell* part,
         i32 budget, i32 indent);
const cell* copy(const cell* value, cell* dest, const cell* part, bool deep,
                 const cell* types);
const cell* sort(cell* series, const sort_args& opts);
const cell* trim(cell* series, const trim_args& opts);

void init();  // registers hash! (after block!)

}  // namespace vyr::hash
