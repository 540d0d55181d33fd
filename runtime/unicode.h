// The unicode module: text between the in-memory string widths (Latin-1, UCS-2, UCS-4
// buffers) and UTF-8 / UTF-16LE, the case maps, and terminal display widths.
// Every decoder is bounded by the length it is given; no routine reads past its input.
#pragma once
#include "runtime/memory.h"

namespace vyr::unicode {

// Holds collection off for its scope when `text` lies in the arena: routines that read
// text from a series buffer while they allocate would otherwise see it compacted away.
class text_hold {
 public:
  explicit text_hold(const void* text);
  ~text_hold();
  text_hold(const text_hold&) = delete;
  text_hold& operator=(const text_hold&) = delete;

 private:
  u32 saved_;
  bool held_;
};

// A binary! holding a copy of n (at most 4) bytes, for error arguments.
cell small_binary(const u8* bytes, u32 n);

// ---- Decoding -------------------------------------------------------------------------

// Table-driven UTF-8 decoder for the lexer. Decodes one sequence from `p` (never reading at
// or past `end`) and returns the position after it. `*cp` receives the code point, or -1 for
// a rejected sequence (overlong forms, surrogates and values above 0x10FFFF are rejected
// here). An invalid lead byte consumes one byte; a bad continuation byte is consumed with
// the bytes before it; a sequence cut by `end` consumes everything up to `end`.
const u8* fast_decode_utf8_char(const u8* p, const u8* end, i32* cp);

// Number of code points in [start, end) as the fast decoder counts them.
i32 count_utf8_chars(const u8* start, const u8* end);

// Advances over n code points, stopping early at `end`.
const u8* skip_utf8_chars(const u8* start, const u8* end, i32 n);

// Sequence length announced by a lead byte: 4 for 0xF0-0xFF, 3 for 0xE0-0xEF, 2 for
// 0xC0-0xDF, 0 for ASCII and continuation bytes.
u32 utf8_char_size(u8 lead);

// The strict decoder. `*count` in: bytes available at p; out: bytes used. Returns the code
// point, or -1 when the sequence needs more bytes than are available. An invalid sequence
// raises access invalid-utf8 with a binary! of the (at most 4) offending bytes.
i32 decode_utf8_char(const u8* p, i32* count);

// Loads UTF-8 into a string buffer and returns its node: `target` (a node, or 0 for a new
// unit-1 series) has its content replaced. A leading EF BB BF is skipped. A sequence cut by
// the end of the input stops the load; the undecoded byte count goes to `*remaining` when
// given. With `line_end`, CR LF becomes LF and a lone CR becomes LF. The buffer's unit is the
// narrowest holding every code point (never below the target's unit).
// `text` may lie in the arena: collection is held off while this allocates.
u32 load_utf8_buffer(const u8* text, u32 length, u32 target, i32* remaining, bool line_end);
u32 load_utf8_into(const u8* text, u32 length, cell* value, i32* remaining);
u32 load_utf8(const u8* text, u32 length);

// 4 as soon as a unit with high byte 0xD8-0xDF is met, else 2 if any unit has a non-zero
// high byte, else 1.
u32 utf16_unit_size(const u16* text, u32 n);

// Loads n UTF-16LE units (from `text`, or, when it is null, from the target value's
// conversion buffer) into the target value's buffer or a new series; returns the node.
// With `drop_cr` every U+000D is left out. A high surrogate without its low partner raises
// script invalid-data with a binary! of the offending unit.
u32 load_utf16(const u16* text, u32 n, cell* target, bool drop_cr);

// ---- Encoding -------------------------------------------------------------------------

// UTF-8 sizes; a code point above 0x10FFFF raises script invalid-char.
u32 cp_utf8_size(u32 cp);
u64 utf8_size(const char* start, const char* end, u32 unit);

// Writes the UTF-8 sequence of cp (1-4 bytes) and returns its length.
u32 cp_to_utf8(u32 cp, char* dest);

// As cp_to_utf8, but writes the sequence only when all of it fits in `room` bytes; returns
// the bytes written (0 when it does not fit). A bounded writer never leaves a partial
// sequence behind.
u32 cp_to_utf8_bounded(u32 cp, char* dest, u32 room);

// NUL-terminated UTF-8 of a string value from its head, in the value's conversion buffer.
// `*length` in: -1 for all, else the maximum number of code points; out: bytes without the
// NUL. With `line_end` every LF is written as CR LF. The result is valid until the next
// allocation or the next conversion of the same value. `value` must stay where it is (a
// C++ local, a stack slot or a fixed block), since its word 3 may be written.
char* to_utf8(cell* value, i32* length);
char* to_utf8_eol(cell* value, i32* length, bool line_end);
char* to_utf8_buffer(cell* value, i32* length, bool line_end);

// UTF-8 of the value's code points from its head into a caller's buffer: at most `limit` of
// them (-1 for all); a NUL is added when asked (the caller reserves its byte). Returns the
// byte count without the NUL. The bounded form writes no more than `capacity` bytes of text,
// stopping before a sequence that would not fit whole (there, a limit of 0 or less is all).
u32 to_utf8_into(const cell* value, char* dest, i32 limit, bool nul);
u32 to_utf8_bounded(const cell* value, char* dest, u32 capacity, i32 limit, bool nul);

// NUL-terminated UTF-16LE from the head in the value's conversion buffer. `*length` in: -1 or
// a maximum count of code points; out: 16-bit units written without the terminator. With
// `line_end` a CR goes before every LF. Returns null when a unit-4 string holds a value above
// 0x10FFFF. `to_utf16` is all of it with the line-end flag set.
u16* to_utf16(cell* value);
u16* to_utf16_len(cell* value, i32* length, bool line_end);

// Widens each byte of a C string to one 16-bit unit and adds a 16-bit NUL.
void ascii_to_utf16(const char* text, u16* dest);

// One unit below 0x10000, a surrogate pair up to 0x10FFFF (returns 1 or 2), 0 above.
u32 cp_to_utf16(u32 cp, u16* dest);

// The value's conversion buffer (word 3), made or enlarged to hold at least n bytes.
char* get_cache(cell* value, u32 n);

// ---- Widening in place ----------------------------------------------------------------

// Set the buffer's unit to 2 or 4 without changing its characters; return the buffer
// (moved when it had to grow). The head moves to the start of the data area.
series_buffer* latin1_to_ucs2(series_buffer* b);
series_buffer* latin1_to_ucs4(series_buffer* b);
series_buffer* ucs2_to_ucs4(series_buffer* b);

// ---- Case -----------------------------------------------------------------------------

// Builds the two 65,536-entry maps from the generated pair lists, once (the first change of
// case does it).
void init_case_folding();

// Maps a code point to upper case (upper set) or lower case; unchanged when it has none.
u32 change_char_case(u32 cp, bool upper);
u32 char_to_upper(u32 cp);
// The upper-case form, or the lower-case form when cp is its own upper-case form.
u32 toggle_char_case(u32 cp);

// Body of `uppercase` / `lowercase`: a char! is mapped; a string's characters from its head
// are mapped in place (widening the buffer as needed). `part` is null without /part, else
// the /part argument: an integer! count or a position in the same series (anything else
// raises script invalid-refine-arg with `part_word`, the caller's /part refinement, and the
// limit). Returns value. The ownership notice of the edit is the caller's.
cell* change_case(cell* value, const cell* part, bool upper, const cell* part_word = nullptr);

// ---- Display width --------------------------------------------------------------------

// 1 when cp lies in one of the closed ranges (first, last, ...) of a table of n integers.
u32 in_ranges_q(u32 cp, const u32* table, u32 n);
// Columns a code point takes on a fixed-width terminal: 0, 1 or 2. Control characters
// count 1, code point 0 counts 0.
u32 char_width(u32 cp);
// As char_width, but East Asian ambiguous characters take 2 columns.
u32 char_width_east_asian(u32 cp);

}  // namespace vyr::unicode
