// money!: an exact decimal amount with an optional currency. The cell holds the sign in
// header bit 14, the currency's 1-based index in the currency list in byte 4 (0 for none)
// and 22 packed decimal digits in bytes 5-15, most significant first: 17 integer digits
// (position 17 the units) and 5 fraction digits. Every amount the runtime makes fits them;
// a result that would not raises script type-limit instead of losing digits.
#pragma once
#include "runtime/datatypes/action_slots.h"
#include "runtime/hooks.h"

namespace vyr::money {

constexpr u32 DIGITS = 22;            // digit positions 1-22
constexpr u32 INTEGER_DIGITS = 17;    // positions 1-17
constexpr u32 FRACTION_DIGITS = 5;    // positions 18-22
constexpr u32 DIGIT_BYTES = 11;
constexpr u32 SIGN_MASK = 0x4000;     // header bit 14
constexpr u32 MAX_CURRENCIES = 255;   // what the index byte can address

// ---- The currency list ----------------------------------------------------------------------

// The block of three-letter currency words (a runtime global, rooted), filled at start-up;
// a money! stores its currency as the word's 1-based position from the block's index.
extern cell currencies;
void set_currencies(const cell* block);
// The position of a word (by its canonical symbol), or -1. A word beyond the 255th
// position is unknown: the index byte cannot hold it.
i32 get_currency_index(const cell* word);
i32 currency_index_of_text(const char* text, u32 length);  // as above, by the word's text
// The currency word of an index 1-255 into `out` (none! for 0 or an index the list lost).
cell* currency_word(u32 index, cell* out);
// The fraction digits form shows: 2 while there is no `system/options/money-digits`.
i32 money_digits();

// ---- Cell access ---------------------------------------------------------------------------

inline const u8* digits_of(const cell* c) { return reinterpret_cast<const u8*>(c) + 5; }
inline u8* digits_of(cell* c) { return reinterpret_cast<u8*>(c) + 5; }
inline u32 get_currency(const cell* c) { return reinterpret_cast<const u8*>(c)[4]; }
inline void set_currency(cell* c, u32 index) { reinterpret_cast<u8*>(c)[4] = static_cast<u8>(index); }
inline bool get_sign(const cell* c) { return (c->header & SIGN_MASK) != 0; }
inline void set_sign(cell* c, bool negative) {
  c->header = negative ? c->header | SIGN_MASK : c->header & ~SIGN_MASK;
}

// ---- Constructors --------------------------------------------------------------------------

// From the parts of a money text as the lexer scans them: the digit texts may hold '''
// separators (skipped); `currency` is the currency's text (3 letters) or null. Null when
// the currency is unknown or the amount does not fit 17 integer and 5 fraction digits.
cell* make_at(cell* c, bool negative, const char* currency, const char* int_digits,
              u32 int_count, const char* fraction_digits, u32 fraction_count);
// The VYRBIN form: sign, currency index and the 11 digit bytes as stored.
cell* load_at(cell* c, bool negative, u32 currency, const u8* digits);
cell* push(bool negative, u32 currency, const u8* digits);
cell* from_integer(cell* c, i32 value);
// Raises script type-limit (integer!) when the integer part does not fit 32 bits; the
// fraction is dropped.
i32 to_integer(const cell* c);
// The shortest digits that read back to the double, at most 5 of them after the point
// (more raise script bad-make-arg when `strict`, else are dropped). Specials, non-zero
// magnitudes below 1e-5 and magnitudes from 1e17 raise script bad-make-arg.
cell* from_float(cell* c, double value, bool strict);
double to_float(const cell* c);

// ---- Digit services ------------------------------------------------------------------------

u32 get_digit(const u8* digits, u32 position);  // 1-based
void set_digit(u8* digits, u32 position, u32 digit);
u32 digit_count(const u8* digits);  // significant digits, at least 1
void shift_left(u8* buffer, u32 bytes, u32 n);
void shift_right(u8* buffer, u32 bytes, u32 n);
i32 compare_digits(const u8* a, const u8* b);  // -1, 0, 1 over the 11 digit bytes
inline u32 sign_pair(i32 sa, i32 sb) { return static_cast<u32>(((sa + 1) << 4) | (sb + 1)); }
bool zero_digits_q(const cell* c);
i32 sign_q(const cell* c);  // -1, 0, 1; 0 for every zero amount whatever bit 14 holds
bool negative_q(const cell* c);
bool zero_q(const cell* c);
bool positive_q(const cell* c);

// Text: "-", the currency's code, "$", the integer digits (with ''' every three digits when
// `grouping`), then the money-digits fraction digits (all five with `all`), truncated.
i32 serialize(const cell* value, cell* out, bool grouping, bool all, i32 budget);

// Compares a float! (or percent!) against a money!: the ordering of x against the
// amount for `op` (as compare answers it).
i32 compare_float(double x, const cell* m, i32 op);

// ---- Actions -------------------------------------------------------------------------------

// The math of A op B at stack::arguments where either operand is a money! (integer! and
// float! hand over here): ops 0-4, the result replaces A.
void do_math(i32 op);
const cell* make(const cell* proto, const cell* spec, u32 type);
const cell* to(const cell* proto, const cell* spec, u32 type);
const cell* random(cell* value, bool seed, bool secure, bool only);
i32 form(const cell* value, cell* out, const cell* part, i32 budget);
i32 mold(const cell* value, cell* out, bool only, bool all, bool flat, const cell* part,
         i32 budget, i32 indent);
const cell* eval_path(cell* parent, cell* element, cell* value, const path_args& walk);
i32 compare(const cell* a, const cell* b, i32 op);
void absolute();
void add();
void subtract();
void multiply();
void divide();
void remainder();
const cell* negate(cell* value);
const cell* round(cell* value, const cell* scale, const round_flags& mode);
bool even_q(const cell* value);
bool odd_q(const cell* value);
const cell* pick(cell* value, i32 index, const cell* index_cell);

void init();  // registers money!; the currency list is filled later (set_currencies)

}  // namespace vyr::money
