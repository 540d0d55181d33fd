// series!: the parent row of every series datatype. Navigation, element access and the
// in-place edits that work unit by unit whatever the unit size (1, 2, 4 or 16 bytes).
// Invariants: every position is computed in 64 bits and clipped before use; every edit
// reports to the owner check before and after, and re-reads the series after a check that
// ran user code, so a handler that resizes the series never makes an edit leave it.
#pragma once
#include "runtime/datatypes/action_slots.h"
#include "runtime/memory.h"
#include "runtime/hooks.h"

namespace vyr::series {

// ---- Families --------------------------------------------------------------------------

// block!, paren!, the four path kinds and hash!: one cell per unit.
inline bool block_like_q(u32 t) {
  return t == TYPE_BLOCK || t == TYPE_PAREN || t == TYPE_HASH ||
         (t >= TYPE_PATH && t <= TYPE_GET_PATH);
}
inline bool string_like_q(u32 t) {
  return t == TYPE_STRING || t == TYPE_FILE || t == TYPE_URL || t == TYPE_TAG ||
         t == TYPE_EMAIL || t == TYPE_REF;
}
// Every type whose cell holds a head index and a series node.
inline bool series_q(u32 t) {
  return block_like_q(t) || string_like_q(t) || t == TYPE_BINARY || t == TYPE_VECTOR ||
         t == TYPE_IMAGE;
}

// ---- Accessors (series value cells) ---------------------------------------------------

inline series_buffer* buffer(const cell* v) { return buffer_of(v->data2); }
inline i32 head_index(const cell* v) { return static_cast<i32>(v->data1); }
// The cell words of every series (block-like, string-like, binary!, vector!, image!,
// bitset!): word 1 the head index, word 2 the buffer's node. Writers use the reference.
constexpr u32 index(const cell* v) { return v->data1; }
constexpr u32& index(cell* v) { return v->data1; }
constexpr u32 node(const cell* v) { return v->data2; }
constexpr u32& node(cell* v) { return v->data2; }
// Units from the buffer's offset to its tail.
i32 rs_abs_length_q(const cell* value);
// Whether the head is at or past the tail.
bool rs_tail_q(const cell* value);
// Moves the head by n when the new position is within [0, total]; answers whether the
// head is then at the tail.
bool rs_skip(cell* value, i32 n);
// Units from the head (or from the buffer start) to the tail. A head past the tail is
// clipped (written back) and gives 0.
i32 get_length(cell* value, bool from_start);
// The new head index for `at` (at true) or `skip` of the value by the offset cell;
// a non-integer offset raises script invalid-arg. Clipped to [0, total].
i32 get_offset(const cell* value, const cell* offset, bool at);

// The shared argument errors of the series actions: script invalid-refine-arg naming the
// refinement and its value, and script out-of-range with a count clipped to 32 bits.
[[noreturn]] void invalid_refine(const cell* refinement, const cell* value);
[[noreturn]] void out_of_range(i64 n);

// ---- Owner notification ----------------------------------------------------------------

// Calls `owner_check` with the runtime action word of that name (`words::word_*`).
bool notify(const cell* changed, const cell* action_word, const cell* new_value, i32 index,
            i32 part);
// The action words that the runtime word table lacks (`remove`, `insert`).
const cell* word_remove();
const cell* word_insert();

// ---- Support shared with the block and string modules -----------------------------------

// A /part argument as a count from the head: an integer! as it is, or a series of the same
// type and buffer (its head index minus the value's). Another value raises script
// invalid-refine-arg naming `/part`.
i64 part_count(const cell* value, const cell* part);
// Copies `count` units from absolute index `start` of the value into a new series of its
// type at `out` (no owned flag, head 0, the header's new-line bit kept).
cell* copy_units(const cell* value, i64 start, i64 count, cell* out);

// ---- Actions ---------------------------------------------------------------------------

void at();
void back();
void head();
void head_q();
void index_q();
void next();
void skip();
void tail();
void tail_q();
i32 length_q(const cell* value);
const cell* pick(cell* series, i32 index, const cell* index_cell);
const cell* poke(cell* series, i32 index, const cell* value, const cell* index_cell);
// poke without touching the result slot (path evaluation).
void poke_at(cell* series, i32 index, const cell* value);
const cell* clear(cell* value);
const cell* remove(cell* series, const cell* part, const cell* key);
const cell* reverse(cell* series, const cell* part, const cell* skip);
const cell* take(cell* series, const cell* part, bool deep, bool last);
const cell* move(cell* origin, cell* target, const cell* part);
const cell* random(cell* value, bool seed, bool secure, bool only);
const cell* copy(const cell* value, cell* dest, const cell* part, bool deep,
                 const cell* types);
const cell* reflect(const cell* value, u32 field);
const cell* modify(cell* value, const cell* field, const cell* new_value,
                   bool case_sensitive);

void init();  // registers series!

}  // namespace vyr::series
