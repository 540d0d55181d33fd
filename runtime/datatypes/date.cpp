// date!: calendar arithmetic (day numbers, weeks), the fields by path and pick, the text in
// both directions, make/to from blocks and Unix time, math and comparison, registration.
#include "runtime/datatypes/date.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "runtime/collector.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/float.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/object.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/time.h"
#include "runtime/datatypes/unset.h"
#include "runtime/datatypes/word.h"
#include "runtime/fire.h"
#include "runtime/stack.h"
#include "runtime/memory.h"
#include "runtime/random.h"
#include "runtime/word_tables.h"

namespace vyr::date {

cell months{TYPE_NONE, 0, 0, 0};

namespace {
constexpr double DAY = 86400.0;

// Floor division and modulo for a positive divisor. Truncating toward zero would give
// negative years a leap-day count off by one, so that 29-Feb-0000 and 1-Mar-0000 shared
// a day number; flooring keeps the calendar one-to-one for every year.
i64 fdiv(i64 a, i64 b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }
i64 fmod_pos(i64 a, i64 b) { return a - fdiv(a, b) * b; }

[[noreturn]] void bad_to_arg(const cell* spec) {
  datatype::fire_with_type("bad-to-arg", TYPE_DATE, spec);
}
[[noreturn]] void invalid_arg(const cell* v) {
  cell copy = *v;
  fire("script", "invalid-arg", &copy);
}

// A date taken apart: the local day number, the UTC time, the zone bits, the flag.
struct parts {
  i64 days;
  double time;
  u32 zone;
  bool has_time;
};

parts read(const cell* c) {
  u32 p = c->data1;
  return {to_days(year_of(p), month_of(p), day_of(p)), cell_float(c), zone_of(p),
          has_time_q(p)};
}

// Normalises (with a time) and packs; type-limit when the year leaves 15 bits.
cell* write(cell* c, parts v) {
  if (v.has_time) normalize(&v.days, &v.time, v.zone);
  else v.time = 0;
  u32 packed = from_days(v.days, v.zone, v.has_time);
  *c = cell{TYPE_DATE, packed, 0, 0};
  set_cell_float(c, v.time);
  return c;
}

i32 weekday_of(i64 days) { return static_cast<i32>(fmod_pos(days + 2, 7)); }  // 0 Monday

// Zone bits from a signed offset in minutes (hours taken modulo 16, minutes to quarters).
u32 zone_bits(i64 minutes) {
  bool west = minutes < 0;
  i64 m = west ? -minutes : minutes;
  u32 hours = static_cast<u32>((m / 60) % 16), quarters = static_cast<u32>((m % 60) / 15);
  return (west ? ZONE_WEST : 0) | hours << 2 | quarters;
}

double local_time(const parts& v) { return v.time + zone_seconds(v.zone); }

// The Monday (day number) of ISO week 1 of a year.
i64 iso_week_one(i64 year) {
  i64 jan1 = to_days(year, 1, 1);
  i32 w = weekday_of(jan1);
  return jan1 - w + (w >= 4 ? 7 : 0);
}

i32 iso_week(i64 days, i64 year) {
  i64 monday = iso_week_one(year);
  if (days < monday) {
    i32 w = weekday_of(to_days(year, 1, 1));
    if (w == 4) return 53;
    if (w == 5) return leap_year_q(year - 1) ? 53 : 52;
    return 52;
  }
  if (days >= iso_week_one(year + 1)) return 1;
  return static_cast<i32>((days - monday) / 7 + 1);
}

// The field of a selector: 1-14 by index or word, 0 for none.
i32 field_of(const cell* selector) {
  u32 t = type_of(selector);
  if (t == TYPE_INTEGER) {
    i32 n = static_cast<i32>(selector->data2);
    return n >= 1 && n <= 14 ? n : 0;
  }
  if (!word::any_word_q(t)) return 0;
  u32 id = symbol::resolve(selector->data2);
  const u32 names[] = {words::sym_date,    words::sym_year,     words::sym_month,
                       words::sym_day,     words::sym_zone,     words::sym_time,
                       words::sym_hour,    words::sym_minute,   words::sym_second,
                       words::sym_weekday, words::sym_yearday,  words::sym_julian,
                       words::sym_timezone, words::sym_week,    words::sym_isoweek};
  const i32 fields[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 11, 12, 13, 14};
  for (u32 i = 0; i < sizeof names / sizeof *names; i++)
    if (id == symbol::resolve(names[i])) return fields[i];
  return 0;
}

// The zone as a time! value, or none without a time.
cell* zone_value(const parts& v, cell* out) {
  if (!v.has_time) return copy_cell(&none_value, out);
  return time::make_at(out, zone_seconds(v.zone));
}

// Sets field `field` of the date at `c` to `value`.
void set_field(cell* c, i32 field, const cell* value) {
  parts v = read(c);
  u32 packed = c->data1;
  i64 year = year_of(packed), month = month_of(packed), day = day_of(packed);
  u32 tv = type_of(value);
  bool needs_integer = (field >= 2 && field <= 4) || field == 10 || field == 11 ||
                       field == 13 || field == 14;
  if (needs_integer && tv != TYPE_INTEGER) invalid_arg(value);
  i64 n = tv == TYPE_INTEGER ? static_cast<i32>(value->data2) : 0;
  switch (field) {
    case 1: {
      if (tv != TYPE_DATE) invalid_arg(value);
      u32 q = value->data1;
      v.days = to_days(year_of(q), month_of(q), day_of(q));
      break;
    }
    case 2:
      v.days = to_days(n, month, day);
      break;
    case 3: {
      i64 total = year * 12 + (n - 1);
      v.days = to_days(fdiv(total, 12), fmod_pos(total, 12) + 1, day);
      break;
    }
    case 4:
      v.days = to_days(year, month, 1) - 1 + n;
      break;
    case 5: case 12: {
      i64 minutes;
      if (tv == TYPE_INTEGER) {
        minutes = (n % 16) * 60;
      } else if (tv == TYPE_TIME) {
        double t = std::fmod(cell_float(value), 57600.0);
        minutes = static_cast<i64>(std::trunc(t / 60.0));
      } else {
        invalid_arg(value);
      }
      u32 zone = zone_bits(minutes);
      // zone keeps the local time and moves the instant; timezone keeps the instant.
      if (field == 5) v.time = local_time(v) - zone_seconds(zone);
      v.zone = zone;
      break;
    }
    case 6:
      if (tv == TYPE_NONE) {
        v.has_time = false;
      } else if (tv == TYPE_TIME) {
        v.time = cell_float(value) - zone_seconds(v.zone);
        v.has_time = true;
      } else {
        invalid_arg(value);
      }
      break;
    case 7: case 8: case 9: {
      // As time!'s field setter on the local time.
      double local = v.has_time ? local_time(v) : 0.0;
      double h = std::floor(local / 3600.0);
      double m = std::floor(std::fmod(local, 3600.0) / 60.0);
      double s = std::fmod(local, 60.0);
      double x;
      if (tv == TYPE_INTEGER) x = static_cast<double>(n);
      else if (tv == TYPE_FLOAT && field == 9) x = cell_float(value);
      else invalid_arg(value);
      if (field == 7) h = x;
      else if (field == 8) m = x;
      else s = x;
      double t = time::check(h * 3600.0 + m * 60.0 + s);
      v.time = t - zone_seconds(v.zone);
      v.has_time = true;
      break;
    }
    case 10:
      v.days += n - 1 - weekday_of(v.days);
      break;
    case 11:
      v.days = to_days(year, 1, 1) + n - 1;
      break;
    case 13: {
      i64 jan1 = to_days(year, 1, 1);
      i64 e = fmod_pos(jan1 + 3, 7);
      v.days = n == 1 ? jan1 : jan1 + 7 * n - e - 7;
      break;
    }
    case 14:
      v.days = iso_week_one(year) + 7 * (n - 1);
      break;
  }
  cell r;
  write(&r, v);
  *c = r;
}

// Appends the first three characters of a month's name (invalid-months when missing).
i32 append_month(cell* out, i32 month, i32 budget) {
  u32 chars[3];
  u32 n = 0;
  // The names are the locale's (system/locale/months) once start-up has made it.
  cell names = months;
  object::system_field({"locale", "months"}, &names);
  bool ok = type_of(&names) == TYPE_BLOCK;
  if (ok) {
    series_buffer* b = buffer_of(names.data2);
    u32 used = b->used_units();
    u32 at = names.data1 + static_cast<u32>(month - 1);
    ok = at < used && type_of(b->cells() + at) == TYPE_STRING;
    if (ok) {
      const cell* s = b->cells() + at;
      series_buffer* sb = buffer_of(s->data2);
      u32 su = sb->used_units(), unit = sb->unit();
      for (u32 i = s->data1; i < su && n < 3; i++)
        chars[n++] = string::get_char(sb->head() + u64{i} * unit, unit);
    }
  }
  if (!ok) fire("script", "invalid-months");
  series_buffer* ob = buffer_of(out->data2);
  for (u32 i = 0; i < n; i++) ob = string::append_char(ob, chars[i]);
  return budget - static_cast<i32>(n);
}
}  // namespace

// ---- Calendar -------------------------------------------------------------------------------

i64 to_days(i64 year, i64 month, i64 day) {
  i64 m = (month + 9) % 12;
  i64 y = month < 3 ? year - 1 : year;
  return 365 * y + fdiv(y, 4) - fdiv(y, 100) + fdiv(y, 400) + (306 * m + 5) / 10 + (day - 1);
}

u32 from_days(i64 days, u32 zone, bool has_time) {
  auto start = [](i64 y) { return 365 * y + fdiv(y, 4) - fdiv(y, 100) + fdiv(y, 400); };
  i64 y = static_cast<i64>(std::floor((10000.0 * static_cast<double>(days) + 14780.0) / 3652425.0));
  i64 r = days - start(y);
  while (r < 0) r = days - start(--y);
  i64 mi = (100 * r + 52) / 3060;
  i64 month = (mi + 2) % 12 + 1;
  i64 year = y + (mi + 2) / 12;
  i64 day = r - (306 * mi + 5) / 10 + 1;
  if (year < MIN_YEAR || year > MAX_YEAR) datatype::fire_with_type("type-limit", TYPE_DATE);
  return (static_cast<u32>(year) << 17) | static_cast<u32>(month) << 12 |
         static_cast<u32>(day) << 7 | (has_time ? HAS_TIME : 0) | (zone & ZONE_MASK);
}

bool leap_year_q(i64 year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

i32 days_in_month(i64 year, i64 month) {
  static const i32 lengths[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) return 0;
  return month == 2 && leap_year_q(year) ? 29 : lengths[month - 1];
}

i32 zone_seconds(u32 zone) {
  i32 s = static_cast<i32>((zone >> 2) & 0xF) * 3600 + static_cast<i32>(zone & 3) * 900;
  return zone & ZONE_WEST ? -s : s;
}

void normalize(i64* days, double* time, u32 zone) {
  double z = zone_seconds(zone);
  double carry = std::trunc((*time / 3600.0 + z / 3600.0) / 24.0);
  *time -= carry * DAY;
  *days += static_cast<i64>(carry);
  if (*time + z < 0) {
    *time += DAY;
    *days -= 1;
  }
}

i64 days_of(const cell* date) {
  u32 p = date->data1;
  return to_days(year_of(p), month_of(p), day_of(p));
}

// ---- Constructors ---------------------------------------------------------------------------

cell* make_at(cell* c, i32 year, i32 month, i32 day, i32 zone_hours, i32 zone_minutes,
              double time, bool has_time) {
  bool west = zone_hours < 0 || zone_minutes < 0;
  i64 minutes = std::abs(static_cast<i64>(zone_hours)) * 60 + std::abs(zone_minutes);
  parts v{to_days(year, month, day), 0, zone_bits(west ? -minutes : minutes), has_time};
  if (has_time) v.time = time - zone_seconds(v.zone);
  return write(c, v);
}

cell* make_from_fields(cell* c, i32 year, i32 month, i32 day, i32 hour, i32 minute,
                       i32 second, i32 nanoseconds) {
  parts v{to_days(year, month, day),
          hour * 3600.0 + minute * 60.0 + second + nanoseconds * 1e-9, 0, true};
  return write(c, v);
}

cell* make_in(const cell* block, u32 packed, double time) {
  series_buffer* b = buffer_of(block->data2);
  cell* c = memory::alloc_tail_cell(b);
  *c = cell{TYPE_DATE, packed, 0, 0};
  set_cell_float(c, time);
  return c;
}

cell* push(u32 packed, double time) {
  cell* c = stack::push_slot();
  *c = cell{TYPE_DATE, packed, 0, 0};
  set_cell_float(c, time);
  return c;
}

void set_week(cell* date, i32 n) {
  cell v{TYPE_INTEGER, 0, static_cast<u32>(n), 0};
  set_field(date, 14, &v);
}
void set_weekday(cell* date, i32 n) {
  cell v{TYPE_INTEGER, 0, static_cast<u32>(n), 0};
  set_field(date, 10, &v);
}
void set_yearday(cell* date, i32 n) {
  cell v{TYPE_INTEGER, 0, static_cast<u32>(n), 0};
  set_field(date, 11, &v);
}

cell* difference(const cell* a, const cell* b, cell* out) {
  parts x = read(a), y = read(b);
  double d = static_cast<double>(x.days - y.days) * DAY + (x.time - y.time);
  return time::make_at(out, d);
}

cell* get_field(const cell* date, i32 index, cell* out) {
  parts v = read(date);
  u32 p = date->data1;
  double local = v.has_time ? local_time(v) : 0.0;
  switch (index) {
    case 1: {
      cell d{TYPE_DATE, p & ~(HAS_TIME | ZONE_MASK), 0, 0};
      return copy_cell(&d, out);
    }
    case 2: return integer::make_at(out, year_of(p));
    case 3: return integer::make_at(out, month_of(p));
    case 4: return integer::make_at(out, day_of(p));
    case 5: case 12: return zone_value(v, out);
    case 6:
      if (!v.has_time) return copy_cell(&none_value, out);
      return time::make_at(out, local);
    case 7: return integer::make_at(out, static_cast<i32>(std::floor(local / 3600.0)));
    case 8: return integer::make_at(out, static_cast<i32>(std::floor(std::fmod(local, 3600.0) / 60.0)));
    case 9: return float_::make_at(out, std::fmod(local, 60.0));
    case 10: return integer::make_at(out, weekday_of(v.days) + 1);
    case 11: return integer::make_at(out, static_cast<i32>(v.days - to_days(year_of(p), 1, 1) + 1));
    case 13: {
      i64 jan1 = to_days(year_of(p), 1, 1);
      i64 e = fmod_pos(jan1 + 3, 7);
      i64 yearday = v.days - jan1 + 1;
      return integer::make_at(out, static_cast<i32>((yearday + e - 1) / 7 + 1));
    }
    case 14: return integer::make_at(out, iso_week(v.days, year_of(p)));
    default: {
      cell i{TYPE_INTEGER, 0, static_cast<u32>(index), 0};
      fire("script", "out-of-range", &i);
    }
  }
}

i32 to_epoch(const cell* date) {
  parts v = read(date);
  double x = static_cast<double>(v.days - to_days(1970, 1, 1)) * DAY + v.time;
  // Floor, not truncation: 31-Dec-1969/23:59:59 is -1, not 0.
  double s = std::floor(x + 0.5);
  if (!(s >= -2147483648.0 && s <= 2147483647.0))
    datatype::fire_with_type("type-limit", TYPE_INTEGER);
  return static_cast<i32>(s);
}

// ---- Text -----------------------------------------------------------------------------------

i32 serialize(const cell* value_in, cell* out, i32 budget) {
  cell value = *value_in;
  u32 p = value.data1;
  i32 year = year_of(p);
  const char* sep = year < 0 ? "/" : "-";
  char text[48];
  std::snprintf(text, sizeof text, "%d%s", day_of(p), sep);
  budget = datatype::append_text(out, text, budget);
  budget = append_month(out, month_of(p), budget);
  if (year < 0) std::snprintf(text, sizeof text, "%s-%04d", sep, -year);
  else if (year > 99) std::snprintf(text, sizeof text, "%s%d", sep, year);
  else std::snprintf(text, sizeof text, "%s%04d", sep, year);
  budget = datatype::append_text(out, text, budget);
  if (!has_time_q(p)) return budget;
  parts v = read(&value);
  budget = datatype::append_text(out, "/", budget);
  budget = time::serialize(out, local_time(v), budget);
  u32 zone = zone_of(p);
  if ((zone & ~ZONE_WEST) == 0) return budget;
  std::snprintf(text, sizeof text, "%c%02u:%02u", zone & ZONE_WEST ? '-' : '+', (zone >> 2) & 0xF,
                (zone & 3) * 15);
  return datatype::append_text(out, text, budget);
}


namespace {
// A run of 1 to `max` decimal digits at p (advanced); false when there is none.
bool read_digits(const char*& p, const char* e, int max, i64* v, int* count = nullptr) {
  int n = 0;
  i64 x = 0;
  while (p < e && *p >= '0' && *p <= '9' && n < max) {
    x = x * 10 + (*p++ - '0');
    n++;
  }
  if (count) *count = n;
  *v = x;
  return n > 0 && !(p < e && *p >= '0' && *p <= '9');
}

bool alpha_q(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// 3 to 9 letters that begin an English month name, in any case: 1-12, else 0.
i64 month_of_name(const char* p, int n) {
  static const char* const names[] = {"january", "february", "march",     "april",
                                      "may",     "june",     "july",      "august",
                                      "september", "october", "november", "december"};
  if (n < 3 || n > 9) return 0;
  for (int m = 0; m < 12; m++) {
    const char* name = names[m];
    if (static_cast<int>(std::strlen(name)) < n) continue;
    bool same = true;
    for (int i = 0; i < n && same; i++) same = (p[i] | 0x20) == name[i];
    if (same) return m + 1;
  }
  return 0;
}

// A zone: "Z", or a sign, 1-2 hour digits and optionally ":mm", or 4 digits "hhmm".
bool read_zone(const char*& p, const char* e, i64* hours, i64* minutes) {
  *hours = *minutes = 0;
  if (p < e && (*p == 'Z' || *p == 'z')) {
    p++;
    return true;
  }
  if (p >= e || (*p != '+' && *p != '-')) return false;
  bool west = *p++ == '-';
  i64 v;
  int n;
  read_digits(p, e, 5, &v, &n);
  if (n == 1 || n == 2) {
    *hours = v;
    if (p < e && *p == ':') {
      p++;
      if (!read_digits(p, e, 3, minutes, &n) || n != 2) return false;
    }
  } else if (n == 4) {
    *hours = v / 100;
    *minutes = v % 100;
  } else {
    return false;
  }
  if (*hours > 15 || *minutes > 59) return false;
  if (west) {
    *hours = -*hours;
    *minutes = -*minutes;
  }
  return true;
}

// The time after '/' or 'T', with an optional zone.
bool read_time(const char*& p, const char* e, double* time, i64* zh, i64* zm) {
  const char* z = p + 1;
  while (z < e && *z != '+' && *z != '-' && *z != 'Z' && *z != 'z') z++;
  time::time_parts tp;
  if (time::scan_text(p, z, &tp) != time::SCAN_OK || tp.negative) return false;
  if (tp.hours > 23 || tp.minutes > 59 || !(tp.seconds < 60)) return false;
  *time = tp.hours * 3600.0 + tp.minutes * 60.0 + tp.seconds;
  p = z;
  if (p == e) return true;
  return read_zone(p, e, zh, zm) && p == e;
}

bool calendar_ok(i64 year, i64 month, i64 day) {
  return year >= -9999 && year <= 9999 && month >= 1 && month <= 12 && day >= 1 &&
         day <= days_in_month(year, month);
}
}  // namespace

bool scan_text(const char* s, const char* e, cell* out) {
  const char* p = s;
  i64 zh = 0, zm = 0;
  double time = 0;
  // yyyymmddThhmm[ss][zone]
  bool basic = e - s >= 9 && (s[8] == 'T' || s[8] == 't');
  for (int i = 0; basic && i < 8; i++) basic = s[i] >= '0' && s[i] <= '9';
  if (basic) {
    i64 ymd, hm, sec = 0;
    int n;
    read_digits(p, e, 8, &ymd);
    p++;  // the 'T'
    read_digits(p, e, 4, &hm, &n);
    if (n != 4) return false;
    if (p < e && *p >= '0' && *p <= '9') {
      if (!read_digits(p, e, 2, &sec, &n) || n != 2) return false;
    }
    if (p < e && !read_zone(p, e, &zh, &zm)) return false;
    if (p != e) return false;
    i64 year = ymd / 10000, month = ymd / 100 % 100, day = ymd % 100;
    if (!calendar_ok(year, month, day) || hm / 100 > 23 || hm % 100 > 59 || sec > 59) return false;
    time = static_cast<double>(hm / 100 * 3600 + hm % 100 * 60 + sec);
    make_at(out, static_cast<i32>(year), static_cast<i32>(month), static_cast<i32>(day),
            static_cast<i32>(zh), static_cast<i32>(zm), time, true);
    return true;
  }
  i64 f1, f2 = 0, f3;
  int n1, n2 = 0, n3;
  if (!read_digits(p, e, 9, &f1, &n1) || p >= e || (*p != '-' && *p != '/')) return false;
  char sep = *p++;
  if (p < e && (*p == 'W' || *p == 'w')) {
    // yyyy-Www[-d]: through the ISO week and weekday setters.
    p++;
    i64 week, weekday = 1;
    int n;
    if (sep != '-' || n1 < 3 || !read_digits(p, e, 2, &week, &n) || n != 2) return false;
    if (p < e) {
      if (*p++ != '-' || !read_digits(p, e, 1, &weekday) || p != e) return false;
    }
    if (!calendar_ok(f1, 1, 1) || week < 1 || week > 53 || weekday < 1 || weekday > 7) return false;
    cell d;
    make_at(&d, static_cast<i32>(f1), 1, 1, 0, 0, 0, false);
    set_week(&d, static_cast<i32>(week));
    set_weekday(&d, static_cast<i32>(weekday));
    cell w;
    get_field(&d, 14, &w);
    if (static_cast<i32>(w.data2) != week) return false;  // no week 53 in that year
    *out = d;
    return true;
  }
  i64 month;
  if (p < e && alpha_q(*p)) {
    const char* q = p;
    while (p < e && alpha_q(*p)) p++;
    month = month_of_name(q, static_cast<int>(p - q));
    if (!month) return false;
  } else {
    if (!read_digits(p, e, 9, &f2, &n2)) return false;
    if (p == e && n2 == 3 && n1 >= 3 && sep == '-') {
      // yyyy-ddd: through the yearday setter.
      if (!calendar_ok(f1, 1, 1) || f2 < 1 || f2 > (leap_year_q(f1) ? 366 : 365)) return false;
      cell d;
      make_at(&d, static_cast<i32>(f1), 1, 1, 0, 0, 0, false);
      set_yearday(&d, static_cast<i32>(f2));
      *out = d;
      return true;
    }
    month = f2;
  }
  if (p >= e || *p++ != sep) return false;
  bool negative = false;
  if (n1 < 3 && p < e && *p == '-') {
    negative = true;
    p++;
  }
  if (!read_digits(p, e, 9, &f3, &n3)) return false;
  i64 year, day;
  if (n1 >= 3) {
    year = f1;
    day = f3;
  } else {
    day = f1;
    year = negative ? -f3 : f3;
    if (!negative && n3 <= 2) year += year > 49 ? 1900 : 2000;
  }
  bool has_time = false;
  if (p < e) {
    if (*p != '/' && *p != 'T' && *p != 't') return false;
    p++;
    if (p >= e || !read_time(p, e, &time, &zh, &zm)) return false;
    has_time = true;
  }
  if (!calendar_ok(year, month, day)) return false;
  make_at(out, static_cast<i32>(year), static_cast<i32>(month), static_cast<i32>(day),
          static_cast<i32>(zh), static_cast<i32>(zm), time, has_time);
  return true;
}

// ---- Actions --------------------------------------------------------------------------------

namespace {
// make and to of a block: the items read through a table of states (see the transitions
// below); `validate` refuses a date that carried (make), else the carried date is taken.
void from_block(const cell* spec, bool validate, cell* out) {
  series_buffer* b = buffer_of(spec->data2);
  u32 used = b->used_units();
  u32 head = spec->data1 < used ? spec->data1 : used;
  u32 count = used - head;
  i64 day = 0, month = 0, year = 0, hour = 0, minute = 0, zone_hours = 0, zone_minutes = 0;
  double second = 0, time_item = 0;
  bool time_given = false, second_float = false;
  int state = 0;
  for (u32 i = 0; i < count; i++) {
    const cell* item = read_buffer(spec->data2)->cells() + head + i;
    u32 t = type_of(item);
    i64 n = t == TYPE_INTEGER ? static_cast<i32>(item->data2) : 0;
    int next = -1;
    if (t == TYPE_INTEGER) {
      switch (state) {
        case 0: day = n; next = 1; break;
        case 1: month = n; next = 2; break;
        case 2: year = n; next = 3; break;
        case 3: hour = n; next = 8; break;
        case 4: zone_hours = n; next = 6; break;
        case 6: zone_minutes = n; next = 7; break;
        case 8: minute = n; next = 9; break;
        case 9: second = static_cast<double>(n); next = 10; break;
        case 10: zone_hours = n; next = 12; break;
        case 12: zone_minutes = n; next = 13; break;
      }
    } else if (t == TYPE_TIME) {
      double s = cell_float(item);
      if (state == 3) {
        time_item = s;
        time_given = true;
        next = 4;
      } else if (state == 4 || state == 10) {
        // A zone as time!: its hours and minutes.
        zone_hours = static_cast<i64>(std::trunc(s / 3600.0));
        zone_minutes = static_cast<i64>(std::trunc(std::fmod(s, 3600.0) / 60.0));
        next = state == 4 ? 5 : 11;
      }
    } else if (t == TYPE_FLOAT && state == 9) {
      second = cell_float(item);
      second_float = second != 0;
      next = 10;
    }
    if (next < 0) bad_to_arg(spec);
    state = next;
  }
  if (count < 3) bad_to_arg(spec);
  if (day > 99 && year < day) std::swap(day, year);
  bool has_time = count > 3;
  double time = time_given ? time_item
                           : hour * 3600.0 + minute * 60.0 + (second_float ? second : std::trunc(second));
  if (!time::valid_q(time)) bad_to_arg(spec);
  i64 total = year * 12 + (month - 1);
  i64 days = to_days(fdiv(total, 12), fmod_pos(total, 12) + 1, 1) - 1 + day;
  bool west = zone_hours < 0 || zone_minutes < 0;
  i64 zm = std::llabs(zone_hours) * 60 + std::llabs(zone_minutes);
  parts v{days, 0, has_time ? zone_bits(west ? -zm : zm) : 0, has_time};
  if (has_time) v.time = time - zone_seconds(v.zone);
  write(out, v);
  if (validate) {
    u32 p = out->data1;
    bool same = year_of(p) == year && month_of(p) == month && day_of(p) == day;
    if (same && has_time) {
      parts r = read(out);
      double local = local_time(r);
      same = std::floor(local / 3600.0) == std::floor(time / 3600.0) &&
             std::floor(std::fmod(local, 3600.0) / 60.0) == std::floor(std::fmod(time, 3600.0) / 60.0);
    }
    if (!same) bad_to_arg(spec);
  }
}

const cell* make_or_to(const cell* spec, bool validate) {
  cell out;
  switch (type_of(spec)) {
    case TYPE_DATE:
      out = *spec;
      break;
    case TYPE_BLOCK: case TYPE_PAREN: case TYPE_HASH:
      from_block(spec, validate, &out);
      break;
    case TYPE_INTEGER: {
      i64 s = static_cast<i32>(spec->data2);
      i64 days = fdiv(s, 86400);
      parts v{to_days(1970, 1, 1) + days, static_cast<double>(s - days * 86400), 0, true};
      write(&out, v);
      break;
    }
    default:
      bad_to_arg(spec);
  }
  clear_new_line(&out);
  *stack::arguments = out;
  return stack::arguments;
}

void do_math(bool add) {
  cell* a = stack::arg(0);
  const cell* b = stack::arg(1);
  parts v = read(a);
  u32 tb = type_of(b);
  switch (tb) {
    case TYPE_INTEGER: {
      i64 n = static_cast<i32>(b->data2);
      v.days += add ? n : -n;
      break;
    }
    case TYPE_TIME: {
      double s = cell_float(b);
      v.time += add ? s : -s;
      v.has_time = true;
      break;
    }
    case TYPE_DATE: {
      if (add) datatype::fire_word_type("not-related", "add", TYPE_DATE);
      parts w = read(b);
      integer::make_at(a, static_cast<i32>(v.days - w.days));
      return;
    }
    default:
      datatype::fire_with_type("invalid-type", tb);
  }
  write(a, v);
}
}  // namespace

const cell* make(const cell* proto, const cell* spec, u32 type) { return make_or_to(spec, true); }
const cell* to(const cell* proto, const cell* spec, u32 type) { return make_or_to(spec, false); }

const cell* random(cell* value, bool seed, bool secure, bool only) {
  parts v = read(value);
  if (seed) {
    random::seed(value->data1 + static_cast<u32>(static_cast<i64>(std::trunc(v.time))));
    return unset::push_last();
  }
  i64 d = v.days;
  i32 r = random::int_in_range(secure, static_cast<i32>(d));
  v.days = r - 1;
  if (v.has_time) {
    v.zone = static_cast<u32>(random::next()) & ZONE_MASK;
    double f = random::fraction(secure);
    v.time = std::floor(f * 3600.0) / 3600.0 * DAY;
  }
  cell out;
  write(&out, v);
  *stack::arguments = out;
  return stack::arguments;
}

i32 form(const cell* value, cell* out, const cell* part, i32 budget) {
  return serialize(value, out, budget);
}

i32 mold(const cell* value, cell* out, bool only, bool all, bool flat, const cell* part,
         i32 budget, i32 indent) {
  return serialize(value, out, budget);
}

const cell* eval_path(cell* parent, cell* element, cell* value, const path_args& walk) {
  i32 field = field_of(element);
  if (!field) {
    cell path = walk.path ? *walk.path : none_value, e = *element;
    fire("script", "invalid-path", &path, &e);
  }
  if (!value) {
    cell r;
    get_field(parent, field, &r);
    return copy_cell(&r, stack::push_slot());
  }
  set_field(parent, field, value);
  return parent;
}

i32 compare(const cell* a, const cell* b, i32 op) {
  if (type_of(b) != TYPE_DATE) return COMPARE_NOT_COMPARABLE;
  u32 key_mask = ~(HAS_TIME | ZONE_MASK);
  u32 ka = a->data1 & key_mask, kb = b->data1 & key_mask;
  double ta = cell_float(a), tb = cell_float(b);
  switch (op) {
    case compare_op::EQUAL: case compare_op::NOT_EQUAL: case compare_op::STRICT_EQUAL:
    case compare_op::FIND:
      return ka == kb && float_::almost_equal_q(ta, tb) ? 0 : 1;
    case compare_op::SAME:
      return ka == kb && a->data2 == b->data2 && a->data3 == b->data3 ? 0 : 1;
    default: {
      i64 da = days_of(a), db = days_of(b);
      if (da != db) return da < db ? -1 : 1;
      return ta < tb ? -1 : ta > tb ? 1 : 0;
    }
  }
}

void add() { do_math(true); }
void subtract() { do_math(false); }

const cell* pick(cell* value, i32 index, const cell* index_cell) {
  cell sel = index_cell ? *index_cell : cell{TYPE_INTEGER, 0, static_cast<u32>(index), 0};
  i32 field = field_of(&sel);
  if (!field) fire("script", "out-of-range", &sel);
  cell r;
  get_field(value, field, &r);
  *stack::arguments = r;
  return stack::arguments;
}

// ---- Registration ---------------------------------------------------------------------------

void init() {
  action_row row;
  row.make = make;
  row.random = random;
  row.to = to;
  row.form = form;
  row.mold = mold;
  row.eval_path = eval_path;
  row.compare = compare;
  row.add = add;
  row.subtract = subtract;
  row.pick = pick;
  datatype::register_(TYPE_DATE, 0, "date!", row);

  static const char* const names[] = {"January", "February", "March",     "April",
                                      "May",     "June",     "July",      "August",
                                      "September", "October", "November", "December"};
  collector::add_root(&months);
  months = cell{TYPE_BLOCK, 0, memory::alloc_cells(12), 0};
  for (const char* name : names)
    string::load_in_default(name, static_cast<u32>(std::strlen(name)), months.data2);
}

}  // namespace vyr::date
