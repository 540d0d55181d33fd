// date!: a proleptic Gregorian date with an optional time of day and an optional zone of
// quarter-hour resolution. Word 1 is the packed date: bits 17-31 the year (signed 15
// bits), 12-15 the month, 7-11 the day, 16 the has-time flag, 0-6 the zone (bits 0-1
// quarters, 2-5 hours, 6 west of UTC). Words 2-3 hold the time of day in UTC seconds as a
// double; the packed date is the local date, and after normalisation the local time (time
// + zone offset) lies within the day.
#pragma once
#include "runtime/datatypes/action_slots.h"

namespace vyr::date {

constexpr i32 MIN_YEAR = -16384;
constexpr i32 MAX_YEAR = 16383;
constexpr u32 HAS_TIME = 1u << 16;
constexpr u32 ZONE_MASK = 0x7Fu;
constexpr u32 ZONE_WEST = 0x40u;

// The English month names: the start value of system/locale/months, which the text uses
// once the system object exists (and these names before).
extern cell months;

// ---- Calendar -------------------------------------------------------------------------------

// Days from 1 March of year 0 (the day number), and back to a packed date.
i64 to_days(i64 year, i64 month, i64 day);
u32 from_days(i64 days, u32 zone, bool has_time);  // type-limit when the year leaves 15 bits
bool leap_year_q(i64 year);
i32 days_in_month(i64 year, i64 month);
i32 zone_seconds(u32 zone);
// Carries whole days between the UTC time and the day number until the local time lies
// within one day.
void normalize(i64* days, double* time, u32 zone);

// Packed-word readers
inline u32 packed_of(const cell* c) { return c->data1; }
inline i32 year_of(u32 packed) { return static_cast<i32>(packed) >> 17; }
inline i32 month_of(u32 packed) { return static_cast<i32>((packed >> 12) & 0xF); }
inline i32 day_of(u32 packed) { return static_cast<i32>((packed >> 7) & 0x1F); }
inline bool has_time_q(u32 packed) { return (packed & HAS_TIME) != 0; }
inline u32 zone_of(u32 packed) { return packed & ZONE_MASK; }
i64 days_of(const cell* date);

// ---- Constructors ---------------------------------------------------------------------------

// The lexer's constructor: zone hours and minutes (negative hours or minutes: west of
// UTC), the local time when `has_time`.
cell* make_at(cell* c, i32 year, i32 month, i32 day, i32 zone_hours, i32 zone_minutes,
              double time, bool has_time);
// The platform clock's: UTC fields, has-time set, zone 0.
cell* make_from_fields(cell* c, i32 year, i32 month, i32 day, i32 hour, i32 minute,
                       i32 second, i32 nanoseconds);
cell* make_in(const cell* block, u32 packed, double time);
cell* push(u32 packed, double time);

// The setters of the week-date and ordinal-date literals: as the path setters of isoweek,
// weekday and yearday.
void set_week(cell* date, i32 n);
void set_weekday(cell* date, i32 n);
void set_yearday(cell* date, i32 n);

// A time! of the difference: days × 86,400 + the difference of the times.
cell* difference(const cell* a, const cell* b, cell* out);
// Field 1-14 of a date into `out` (none for zone and time without a time).
cell* get_field(const cell* date, i32 index, cell* out);
// Unix time: seconds from 1-Jan-1970 UTC, rounded half up; type-limit (integer!) when it
// does not fit 32 bits.
i32 to_epoch(const cell* date);

// ---- Text -----------------------------------------------------------------------------------

// Appends the date's text to the string! `out`; returns the budget less its length.
i32 serialize(const cell* value, cell* out, i32 budget);

// Reads the text of a date literal (the lexer's date token) into a date! at `out`; false
// when it is no valid date.
bool scan_text(const char* s, const char* e, cell* out);

// ---- Actions (arguments as the action slots define them) ------------------------------------
const cell* make(const cell* proto, const cell* spec, u32 type);
const cell* to(const cell* proto, const cell* spec, u32 type);
const cell* random(cell* value, bool seed, bool secure, bool only);
i32 form(const cell* value, cell* out, const cell* part, i32 budget);
i32 mold(const cell* value, cell* out, bool only, bool all, bool flat, const cell* part,
         i32 budget, i32 indent);
const cell* eval_path(cell* parent, cell* element, cell* value, const path_args& walk);
i32 compare(const cell* a, const cell* b, i32 op);
void add();
void subtract();
const cell* pick(cell* value, i32 index, const cell* index_cell);

void init();  // registers date! and makes the month names

}  // namespace vyr::date
