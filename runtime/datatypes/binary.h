// binary!: the byte series (unit 1, head index in word 1, node in word 2). Besides its
// actions the module owns the byte routines the rest of the runtime builds and reads byte
// series with (codecs, file and network services, images, parse, checksums).
// Writers take the value cell, keep its node alive themselves and re-fetch the buffer after
// growing; source bytes may lie anywhere, an arena buffer included (they are copied out
// before the destination grows).
#pragma once
#include <string>
#include <vector>

#include "runtime/datatypes/action_slots.h"
#include "runtime/memory.h"

namespace vyr::binary {

// ---- Accessors ----------------------------------------------------------------------------

i32 rs_length_q(const cell* value);           // bytes from the head to the tail; 0 past it
u8* rs_head(cell* value);                     // a head past the tail is clipped (written back)
// The byte at `index` from the head; 0 at or past the tail.
u8 get_byte(const cell* value, u32 index);
// The bytes from the head, as a copy that survives any allocation.
std::vector<u8> bytes_of(const cell* value);
// The UTF-8 encoding of a text value's characters from its head (`limit` < 0: all).
std::string utf8_of(const cell* text, i64 limit = -1);

// ---- Makers -------------------------------------------------------------------------------

// An empty binary! with room for `capacity` bytes (16 when 0).
cell* make_at(cell* c, u32 capacity);
// A binary! holding a copy of n bytes: appended to the block whose node is given (returns
// the new cell, valid until the next allocation), or pushed on the data stack.
cell* load_in(const u8* bytes, u32 n, u32 block);
cell* load(const u8* bytes, u32 n);
cell* push(const cell* value);  // pushes a copy of the value cell

// ---- Writers ------------------------------------------------------------------------------

// Appends n bytes at the tail.
void rs_append(cell* value, const u8* bytes, u32 n);
// Opens a gap of n bytes at `index` from the head (clipped to the tail) and fills it.
void rs_insert(cell* value, u32 index, const u8* bytes, u32 n);
// `append` without refinements of one byte (an integer!) or one character's UTF-8 bytes,
// to a binary! with room for them and no owner to tell: writes exactly what append would
// (the series' index going to its head, as append answers it) and answers true, or changes
// nothing and answers false. Never allocates.
bool append_in_place(cell* series, const cell* value);
// Appends a 32-bit integer as 4 bytes, most significant first.
void append_int32(cell* value, i32 v);
// Writes n bytes at `offset` from the head, growing the buffer when the run passes its end
// and moving the tail when the run passes it (a gap before the run is zero-filled).
void write_at(cell* value, u32 offset, const u8* bytes, u32 n);

// ---- Comparison and parse tests -----------------------------------------------------------

// The byte comparison of compare: a against b, where b is a binary! or a string-like value
// (its text taken as UTF-8). -2 for any other b. In match mode only b's length is compared:
// a matches when it starts with b's bytes (no match when fewer bytes remain).
i32 compare_bytes(const cell* a, const cell* b, i32 op, bool match);
// Whether the input (at its head) starts with the pattern: a binary!, a string-like value
// (as UTF-8), a char! (its code point against the head byte) or an integer! (a byte).
bool match_q(const cell* input, const cell* pattern);
// Whether the byte at the input's head is in the bitset (false at the tail).
bool match_bitset_q(const cell* input, const cell* bits);

// ---- Actions ------------------------------------------------------------------------------

const cell* make(const cell* proto, const cell* spec, u32 type);
const cell* to(const cell* proto, const cell* spec, u32 type);
i32 form(const cell* value, cell* out, const cell* part, i32 budget);
i32 mold(const cell* value, cell* out, bool only, bool all, bool flat, const cell* part,
         i32 budget, i32 indent);
i32 compare(const cell* a, const cell* b, i32 op);
const cell* eval_path(cell* parent, cell* element, cell* value, const path_args& walk);
const cell* append(cell* series, const cell* value, i32 part, bool only, i32 dup,
                   bool append);
const cell* change(cell* series, const cell* value, i32 part, bool only, i32 dup);
const cell* trim(cell* series, const trim_args& opts);
const cell* complement(cell* value);
void and_();
void or_();
void xor_();
// The byte `poke` stores: an integer! or char! as its low 8 bits; any other value raises
// script invalid-arg.
u8 set_value(const cell* value);

void init();  // registers binary! (after string!)

}  // namespace vyr::binary
