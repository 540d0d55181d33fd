// string! storage: a string-like cell holds the head index (word 1), the node of a buffer
// of 1-, 2- or 4-byte units (word 2) and the node of its conversion buffer (word 3).
// Units only widen while a string lives (back to 1 only through rs_reset). Writers take and
// return the series buffer, because growth or widening may move it: go on with the result.
// Indexes and lengths count characters (units), never bytes, unless a name says bytes.
#pragma once
#include <string>

#include "runtime/memory.h"

namespace vyr::string {

// Word 3 of a string-like cell: the node of its conversion buffer (0 for none yet).
constexpr u32 cache(const cell* s) { return s->data3; }
constexpr u32& cache(cell* s) { return s->data3; }

// The letter that follows a caret in the escaped form of code points 0x00-0x5E, or 0 when
// the code point has none. Shared by string! and char! mold and the lexer.
extern const char escape_letters[0x5F];

// The characters `trim` removes by default: tab, line feed, carriage return, space.
extern const u32 default_trim_set[4];

// ---- Accessors (string-like value cells) ----------------------------------------------

u32 get_char(const char* p, u32 unit);
i32 rs_length_q(const cell* value);       // from the head to the tail; 0 past the tail
i32 rs_abs_length_q(const cell* value);   // from the buffer's offset to the tail
char* rs_head(cell* value);               // clips a head past the tail (written back)
char* rs_tail(const cell* value);
bool rs_tail_q(const cell* value);
u32 rs_abs_at(const cell* value, u32 index);  // 0 at or past the tail
// Index from the head of the first unit equal to cp (exact), or -1.
i32 rs_find_char(const cell* value, u32 cp);
// Whether cp occurs at the head or at every step-th character after it, compared through
// the upper-case map unless case_sensitive.
bool rs_find_char_step(const cell* value, u32 cp, i32 step, bool case_sensitive);
// Whether the value's characters from its head start with the bytes of `text` (exact).
bool starts_with_q(const cell* value, const char* text);
cell* rs_reset(cell* value);              // empty, unit 1, head index 0
cell* rs_skip(cell* value, i32 n);        // moves the head when it stays within the text
cell* rs_next(cell* value);

// ---- Makers ---------------------------------------------------------------------------

cell* make_at(cell* c, u32 size);                     // empty string!, unit 1
cell* make_at_unit(cell* c, u32 size, u32 unit);      // size 0: 16 bytes of room

// Encodings of the loaders.
constexpr i32 ENCODING_UTF8 = 0;
constexpr i32 ENCODING_UTF16LE = -1;

// A string! decoded from `size` bytes of `text` (UTF-8 or UTF-16LE) into `c`. Another
// encoding raises internal not-done. A UTF-16 text of an odd byte count loses its last
// byte; a UTF-8 sequence cut at the end is dropped. `c` must not lie in a series buffer.
cell* load_at(const char* text, u32 size, cell* c, i32 encoding);
// The same, appended at the tail of the block whose node is given; returns the new cell
// (valid until the next allocation).
cell* load_in(const char* text, u32 size, u32 block, i32 encoding);
cell* load_in_default(const char* text, u32 size, u32 block);
// Strict UTF-8 load into `out`: an incomplete sequence at the end raises access
// invalid-utf8 with a binary! of exactly those bytes.
cell* load_utf8_strict(const char* bytes, u32 n, cell* out);

// ---- Writers --------------------------------------------------------------------------

// Appends one code point at the tail. A unit-1 buffer keeps unit 1 only up to 0x7F.
series_buffer* append_char(series_buffer* b, u32 cp);
// Overwrites the unit at `p` (inside the text); widens when cp does not fit the unit.
series_buffer* poke_char(series_buffer* b, char* p, u32 cp);
// Writes at an absolute index, growing the buffer as far as needed and moving the tail
// when the index is at or past it (a gap before the index is filled with NULs).
series_buffer* set_char_at(series_buffer* b, u32 index, u32 cp);
// Inserts before an absolute index (clipped to the tail).
series_buffer* insert_char_at(series_buffer* b, u32 index, u32 cp);
// Cuts the text to its first n characters; an n beyond the buffer's size changes nothing.
series_buffer* truncate_buffer(series_buffer* b, u32 n);
cell* remove_chars(cell* value, u32 index, u32 count);
cell* remove_char(cell* value, u32 index);
// Widens 1 -> 2, 1 -> 4 or 2 -> 4; a wanted unit not above the current one changes nothing.
series_buffer* widen_to(series_buffer* b, u32 current, u32 wanted);
// Copies the source's units [start, end) (end <= 0: to the tail) widened to `unit`, from
// `dest_offset` of the target. With a null target the source's series moves to a new
// buffer of `size` units of `unit` holding the copy. The target is first widened when its
// unit is narrower; unless keep_tail, its tail ends after the last unit written.
series_buffer* copy_widened(series_buffer* src, series_buffer* target, u32 size, u32 unit,
                            u32 start, u32 dest_offset, i32 end, bool keep_tail);

// Modes of concatenate.
constexpr i32 CONCAT_APPEND = 0;
constexpr i32 CONCAT_INSERT = 1;
constexpr i32 CONCAT_OVERWRITE = 2;
// Joins the source's characters from its head (all when part < 0 or not below the source's
// length, else `part` of them) into the destination: appended at the tail, inserted or
// overwritten at `offset` from the destination's head. Widens the destination as needed;
// the source is only read. `per_char` is accepted for callers that asked for character-wise
// copying: every copy here is character-exact whatever the units. A symbol! on either side
// or an unknown mode raises internal not-done. Both cells are kept alive here but must not
// lie in a series buffer.
series_buffer* concatenate(cell* dst, const cell* src, i32 part, i32 offset, bool per_char,
                           i32 mode);
series_buffer* overwrite(cell* dst, const cell* src, i32 part, i32 offset, bool per_char);
series_buffer* concatenate_literal(cell* value, const char* text);   // Latin-1 bytes
series_buffer* concatenate_literal_part(cell* value, const char* text, u32 n);

// Moves the source's characters of the first `bytes` bytes from its head to the
// destination's head index, then removes them from the source. Returns the source.
cell* move_chars(cell* src, cell* dst, u32 bytes);

// Exchanges two runs of bytes in one buffer: the run at p (x bytes) and the run at q
// (y bytes), the first landing `displacement` bytes after the second's new end. With
// q == p + x and displacement 0 this swaps two adjacent runs.
void swap_chunks(char* p, u32 x, char* q, u32 y, i32 displacement);

// Room for `bytes` bytes from the buffer's offset, growing (at least doubling) when short.
series_buffer* reserve(series_buffer* b, u64 bytes);
// Stores cp as one unit at p; the caller has made the unit wide enough.
void put_unit(char* p, u32 unit, u32 cp);
// The unit an appended code point needs (only ASCII stays in one byte).
inline u32 unit_for_append(u32 cp) { return cp <= 0x7F ? 1 : cp <= 0xFFFF ? 2 : 4; }

// ---- Conversions ----------------------------------------------------------------------

// Two upper-case hexadecimal digits (NUL-terminated; valid until the next call).
const char* byte_to_hex(u8 byte);
// Value of a hexadecimal digit in either case; -1 for any other byte.
inline int hex_digit(u8 c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}
// Upper-case hexadecimal of a 32-bit integer: eight digits, or with `short_form` only the
// significant ones ("00" for 0; a negative number drops its leading F digits, keeping one).
// Valid until the next call.
const char* to_hex(i32 value, bool short_form);
// The double that `length` bytes of decimal text at text + start denote; *error (when
// given) is 1 when the text was not wholly consumed. Defined apart (string_float.cpp).
double to_float(const char* text, u32 start, u32 length, i32* error);

// Debugging and tests: the text from the head as UTF-8.
std::string to_utf8(const cell* value);

}  // namespace vyr::string
