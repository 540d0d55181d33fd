// time!: a duration or time of day held as seconds in a double (words 2-3), negative for
// negative durations. Invariant: every time! the runtime makes has a finite value whose
// whole hours fit in a 32-bit integer; anything else raises script type-limit.
#pragma once
#include "runtime/datatypes/action_slots.h"

namespace vyr::time {

constexpr double MAX_HOURS = 2147483647.0;  // symmetric, so negate never leaves the range

// Constructors (the seconds are checked: see `check`)
cell* make_at(cell* c, double seconds);
cell* make_in(const cell* block, double seconds);
cell* push(double seconds);
inline double get(const cell* c) { return cell_float(c); }

// The seconds themselves when they are a valid time, else script type-limit (time!).
double check(double seconds);
bool valid_q(double seconds);

// Fields as read: hours toward zero (signed), minutes 0-59 of |t|, seconds within the
// minute (signed like t).
i32 hours_of(double seconds);
i32 minutes_of(double seconds);
double seconds_of(double seconds);

// ---- Text ---------------------------------------------------------------------------------

// Builds the seconds from the parts of a time text: the sign applies to the whole time.
// The parts are not limited to clock ranges ("1:75" is 2:15:00). Raises type-limit when
// the hours do not fit.
double from_parts(double hours, double minutes, double seconds, bool negative);
cell* make_at_parts(cell* c, double hours, double minutes, double seconds, bool negative);

// Time text: optional sign, hours ':' minutes, then optionally ':' seconds with a fraction
// after '.' or ','; "m:s.f" (a fraction on the second field) is minutes and seconds.
// An exponent, a trailing ':' or a signed field after the first is refused.
enum scan_result { SCAN_OK, SCAN_BAD, SCAN_RANGE };
struct time_parts {
  double hours = 0, minutes = 0, seconds = 0;
  bool negative = false;
};
// Over UTF-8 token bytes [s, e).
scan_result scan_text(const char* s, const char* e, time_parts* out);
// Over `count` code units of `unit` bytes (a string's own buffer); blanks around the text
// are skipped.
scan_result scan_units(const char* p, i32 count, u32 unit, time_parts* out);
// scan_text then from_parts: the seconds, or SCAN_BAD / SCAN_RANGE without raising.
scan_result scan_seconds(const char* s, const char* e, double* seconds);

// Appends the text of the seconds ("-1:02:05.5") to the string! `out` and returns the
// budget less every character appended.
i32 serialize(cell* out, double seconds, i32 budget);

// ---- Actions (arguments as the action slots define them) -----------------------------------
const cell* make(const cell* proto, const cell* spec, u32 type);  // also `to`
i32 form(const cell* value, cell* out, const cell* part, i32 budget);
i32 mold(const cell* value, cell* out, bool only, bool all, bool flat, const cell* part,
         i32 budget, i32 indent);
const cell* eval_path(cell* parent, cell* element, cell* value, const path_args& walk);
void add();
void subtract();
void multiply();
void divide();
void remainder();
const cell* round(cell* value, const cell* scale, const round_flags& mode);
bool even_q(const cell* value);
bool odd_q(const cell* value);
const cell* pick(cell* value, i32 index, const cell* index_cell);

void init();  // registers time! (after float!)

}  // namespace vyr::time
