// Text to number scanners: the conversions of `make`/`to` over a string's own code units
// (failure reported through an out-parameter, never raised), and the number rules of
// token text that the value loaders apply.
#pragma once
#include "runtime/cell.h"

namespace vyr::lexer {

// `count` characters of `unit` bytes from p. error: untouched on success; -1 for a
// character other than a digit or ''' (and for an empty text or a lone sign), -2 on
// 32-bit overflow (the result is then 0).
i32 string_to_integer(const char* p, i32 count, u32 unit, i32* error);

// Float text with ''' separators and ',' as a decimal point; more than 312 characters or
// anything the float syntax refuses: error -1 and a quiet NaN. (lexer_float.cpp)
double string_to_float(const char* p, i32 count, u32 unit, i32* error);

// The parts of a money text, for the money! constructor: sign, currency code (empty
// when none), integer and fraction digits (separators removed).
struct money_parts {
  bool negative = false;
  char currency[4] = {0, 0, 0, 0};
  char digits[40] = {};       // integer digits, then the fraction digits
  u32 int_digits = 0, frac_digits = 0;
};
// The syntax of a money text; false when it is not one. Making the value (unknown
// currency, an amount that does not fit) is the money! constructor's part.
bool string_to_money(const char* p, i32 count, u32 unit, money_parts* out);

// Decimal parts 0-255 separated by '.', at most 12, into a tuple! at dst; on failure the
// header word of dst is set to -1.
void string_to_tuple(const char* p, i32 count, u32 unit, cell* dst);

// The float syntax of source text over bytes: optional sign, digits with ''' separators,
// optional '.' and digits, optional exponent 'e'/'E' with optional sign and digits.
bool float_syntax_q(const char* s, const char* e);

// An integer token: optional sign, digits with single ''' separators. More than 10 digits
// or a value outside 32 bits is to be loaded as a float! ("-2147483648" stays an integer).
enum integer_text { INTEGER_OK, INTEGER_AS_FLOAT, INTEGER_BAD };
integer_text scan_integer_text(const char* s, const char* e, i32* out);

// A hexadecimal integer token "FFh": 2 to 8 upper-case hexadecimal digits then 'h'.
bool scan_hex_text(const char* s, const char* e, i32* out);

}  // namespace vyr::lexer
