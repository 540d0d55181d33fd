// url!: a locator held decoded; mold puts the percent escapes back. The module owns the
// percent-decoding and -encoding of the whole runtime (url! literals, dehex, enhex).
#pragma once
#include "runtime/datatypes/action_slots.h"

namespace vyr::url {

// Modes of escape_byte and encode.
constexpr u32 KEEP_SAFE = 255;        // keep the url/file-safe characters
constexpr u32 KEEP_UNRESERVED = 254;  // keep only the unreserved characters

// Whether code point c (below 0x80) is in the safe set (shared with file! mold) or the
// unreserved set; every code point from 0x80 up is in neither.
bool safe_q(u32 c);
bool unreserved_q(u32 c);

// 1 and the byte when p holds "%" and two hexadecimal digits (either case) within n
// bytes; else 0.
bool decode_hex_pair_q(const char* p, u64 n, u8* out);

// Appends the decoded text of `length` characters (-1: all) of a text value from its head
// to the string `dest` (kept alive by the caller). A "%" without two digits stays as it
// is; an escaped lead byte whose continuation escapes are missing stays three characters.
void decode(const cell* text, i32 length, cell* dest);

// The byte itself (count 1), or "%" and its two upper-case hexadecimal digits (count 3),
// in a static buffer valid until the next call.
const char* escape_byte(u32 mode, u8 byte, u32* count);

// Appends the UTF-8 bytes of `length` characters (-1: all) of a text value, each through
// escape_byte with the mode, to the string `dest`.
void encode(const cell* text, i32 length, u32 mode, cell* dest);

// A url! from UTF-8 bytes holding escapes, pushed on the data stack.
cell* load(const char* text, u32 size);
cell* push(const cell* value);

// Actions (arguments as the action slots define them)
const cell* make(const cell* proto, const cell* spec, u32 type);
const cell* to(const cell* proto, const cell* spec, u32 type);
i32 mold(const cell* value, cell* out, bool only, bool all, bool flat, const cell* part,
         i32 budget, i32 indent);
const cell* eval_path(cell* parent, cell* element, cell* value, const path_args& walk);
const cell* open(cell* value, const open_args& opts);
const cell* read(cell* source, const read_args& opts);
const cell* write(cell* destination, const cell* value, const write_args& opts);

void init();  // registers url! (after string!)

}  // namespace vyr::url
