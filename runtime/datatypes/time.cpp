// time!: constructors, the time text (both directions), fields, the time rules over
// float!'s math core, and registration. Every value made here passes `check`, so the
// hours of a time! always fit in 32 bits and the text never shows a NaN or ":60".
#include "runtime/datatypes/time.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/float.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/word.h"
#include "runtime/dtoa.h"
#include "runtime/fire.h"
#include "runtime/stack.h"
#include "runtime/memory.h"
#include "runtime/word_tables.h"

namespace vyr::time {

namespace {
[[noreturn]] void bad_to_arg(const cell* spec) {
  datatype::fire_with_type("bad-to-arg", TYPE_TIME, spec);
}

[[noreturn]] void not_related(const char* action) {
  datatype::fire_word_type("not-related", action, TYPE_TIME);
}

// The split of |t| into whole hours, whole minutes (0-59) and seconds (0 to below 60).
// Each step subtracts an exact remainder before dividing, so the parts always add up to
// |t| and never disagree at a boundary (as a plain t / 3600 rounded up could).
struct split {
  double hours, minutes, seconds;
  bool negative;
};
split split_of(double t) {
  split s;
  s.negative = t < 0;
  double a = std::fabs(t);
  double within_hour = std::fmod(a, 3600.0);
  s.hours = (a - within_hour) / 3600.0;
  s.seconds = std::fmod(within_hour, 60.0);
  s.minutes = (within_hour - s.seconds) / 60.0;
  return s;
}

double join(const split& s) {
  double a = s.hours * 3600.0 + s.minutes * 60.0 + s.seconds;
  return s.negative ? -a : a;
}

// 1 hour, 2 minute, 3 second, or 0 for any other word.
int field_of_word(const cell* w) {
  u32 id = symbol::resolve(w->data2);
  if (id == symbol::resolve(words::sym_hour)) return 1;
  if (id == symbol::resolve(words::sym_minute)) return 2;
  if (id == symbol::resolve(words::sym_second)) return 3;
  return 0;
}

cell* write_field(cell* out, double t, int field) {
  switch (field) {
    case 1: *out = cell{TYPE_INTEGER, 0, static_cast<u32>(hours_of(t)), 0}; break;
    case 2: *out = cell{TYPE_INTEGER, 0, static_cast<u32>(minutes_of(t)), 0}; break;
    default: float_::make_at(out, seconds_of(t)); break;
  }
  return out;
}

// Sets one field of |t| and gives the sign back: -1:30:00 with minute 45 is -1:45:00.
// The hour field carries the sign as it reads, so a non-zero hour also sets the sign.
double with_field(double t, int field, double v) {
  split s = split_of(t);
  switch (field) {
    case 1:
      if (v != 0) s.negative = v < 0;
      s.hours = std::fabs(v);
      break;
    case 2: s.minutes = v; break;
    default: s.seconds = v; break;
  }
  return check(join(s));
}

bool digit_q(u32 c) { return c >= '0' && c <= '9'; }
bool blank_q(u32 c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

constexpr size_t MAX_FIELD_TEXT = 312;  // the longest number text the float reader takes

// The scanner over n code units read by `at`.
template <class At> scan_result scan_impl(At at, i64 n, time_parts* out) {
  i64 i = 0;
  time_parts parts;
  if (i < n && (at(i) == '-' || at(i) == '+')) parts.negative = at(i++) == '-';
  double fields[3] = {0, 0, 0};
  int count = 0;
  bool fraction = false;
  std::string text;
  for (;;) {
    text.clear();
    while (i < n && digit_q(at(i))) text.push_back(static_cast<char>(at(i++)));
    if (text.empty()) return SCAN_BAD;  // also a trailing ':' or a signed later field
    if (i < n && (at(i) == '.' || at(i) == ',')) {
      if (count == 0) return SCAN_BAD;  // "1.5" is no time
      fraction = true;
      text.push_back('.');
      i++;
      while (i < n && digit_q(at(i))) text.push_back(static_cast<char>(at(i++)));
    }
    if (text.size() > MAX_FIELD_TEXT) return SCAN_BAD;
    fields[count++] = dtoa::string_to_float(text.data(), text.data() + text.size(), 0, nullptr);
    if (i == n) break;
    if (at(i) != ':' || fraction || count == 3) return SCAN_BAD;
    i++;
  }
  if (count < 2) return SCAN_BAD;
  if (count == 2 && fraction) {
    parts.minutes = fields[0];
    parts.seconds = fields[1];
  } else {
    parts.hours = fields[0];
    parts.minutes = fields[1];
    parts.seconds = fields[2];
  }
  *out = parts;
  return SCAN_OK;
}
}  // namespace

// ---- Constructors -------------------------------------------------------------------------

bool valid_q(double seconds) {
  // Also false for NaN and the infinities.
  return std::fabs(std::trunc(seconds / 3600.0)) <= MAX_HOURS;
}

double check(double seconds) {
  if (!valid_q(seconds)) datatype::fire_with_type("type-limit", TYPE_TIME);
  return seconds;
}

cell* make_at(cell* c, double seconds) {
  check(seconds);
  *c = cell{TYPE_TIME, 0, 0, 0};
  set_cell_float(c, seconds);
  return c;
}

cell* make_in(const cell* block, double seconds) {
  check(seconds);
  series_buffer* b = buffer_of(block->data2);
  cell* c = memory::alloc_tail_cell(b);
  *c = cell{TYPE_TIME, 0, 0, 0};
  set_cell_float(c, seconds);
  return c;
}

cell* push(double seconds) {
  check(seconds);
  return make_at(stack::push_slot(), seconds);
}

i32 hours_of(double seconds) {
  split s = split_of(check(seconds));
  return static_cast<i32>(s.negative ? -s.hours : s.hours);
}
i32 minutes_of(double seconds) { return static_cast<i32>(split_of(check(seconds)).minutes); }
double seconds_of(double seconds) { return std::fmod(seconds, 60.0); }

// ---- Text ---------------------------------------------------------------------------------

double from_parts(double hours, double minutes, double seconds, bool negative) {
  double a = hours * 3600.0 + minutes * 60.0 + seconds;
  return check(negative ? -a : a);
}

cell* make_at_parts(cell* c, double hours, double minutes, double seconds, bool negative) {
  return make_at(c, from_parts(hours, minutes, seconds, negative));
}

scan_result scan_text(const char* s, const char* e, time_parts* out) {
  const u8* p = reinterpret_cast<const u8*>(s);
  return scan_impl([p](i64 i) -> u32 { return p[i]; }, e - s, out);
}

scan_result scan_units(const char* p, i32 count, u32 unit, time_parts* out) {
  auto at = [p, unit](i64 i) -> u32 {
    const char* q = p + i * unit;
    if (unit == 1) return static_cast<u8>(*q);
    if (unit == 2) { u16 v; std::memcpy(&v, q, 2); return v; }
    u32 v;
    std::memcpy(&v, q, 4);
    return v;
  };
  i64 first = 0, last = count;
  while (first < last && blank_q(at(first))) first++;
  while (last > first && blank_q(at(last - 1))) last--;
  return scan_impl([&](i64 i) { return at(first + i); }, last - first, out);
}

scan_result scan_seconds(const char* s, const char* e, double* seconds) {
  time_parts parts;
  scan_result r = scan_text(s, e, &parts);
  if (r != SCAN_OK) return r;
  double a = parts.hours * 3600.0 + parts.minutes * 60.0 + parts.seconds;
  if (!valid_q(a)) return SCAN_RANGE;
  *seconds = parts.negative ? -a : a;
  return SCAN_OK;
}

i32 serialize(cell* out, double seconds, i32 budget) {
  if (!std::isfinite(seconds))  // never made here; shown rather than split into garbage
    return datatype::append_text(out, float_::form_float(seconds, float_::FORM_FLOAT), budget);
  split s = split_of(seconds);
  char sec[40];
  if (s.seconds < 0.000001) {
    std::strcpy(sec, "00");
  } else {
    std::snprintf(sec, sizeof sec, "%s", float_::form_float(s.seconds, float_::FORM_TIME));
    if (std::strcmp(sec, "60") == 0) {
      // Six digits round 59.9999995 and above up to a whole minute: carry it.
      std::strcpy(sec, "00");
      if (++s.minutes == 60) {
        s.minutes = 0;
        s.hours++;
      }
    } else if (sec[1] == 0 || sec[1] == '.') {
      std::memmove(sec + 1, sec, std::strlen(sec) + 1);
      sec[0] = '0';
    }
  }
  char text[400];
  std::snprintf(text, sizeof text, "%s%.0f:%02d:%s", s.negative ? "-" : "", s.hours,
                static_cast<int>(s.minutes), sec);
  // The whole text counts against the budget, the sign included.
  return datatype::append_text(out, text, budget);
}

// ---- Actions ------------------------------------------------------------------------------

const cell* make(const cell* proto, const cell* spec, u32 type) {
  double v = 0;
  switch (type_of(spec)) {
    case TYPE_TIME:
      v = cell_float(spec);
      break;
    case TYPE_INTEGER:
      v = static_cast<i32>(spec->data2);
      break;
    case TYPE_FLOAT: case TYPE_PERCENT:
      v = cell_float(spec);
      break;
    case TYPE_BLOCK: case TYPE_PAREN: case TYPE_HASH: {
      // [hours minutes seconds]: only the hours may be negative, and their sign is the
      // whole time's; only the seconds may be a float!.
      series_buffer* b = buffer_of(spec->data2);
      u32 used = b->used_units();
      u32 head = spec->data1 < used ? spec->data1 : used;
      u32 count = used - head;
      if (count > 3) bad_to_arg(spec);
      double parts[3] = {0, 0, 0};
      bool negative = false;
      for (u32 i = 0; i < count; i++) {
        const cell* item = read_buffer(spec->data2)->cells() + head + i;
        u32 t = type_of(item);
        if (t == TYPE_INTEGER) parts[i] = static_cast<i32>(item->data2);
        else if (t == TYPE_FLOAT && i == 2) parts[i] = cell_float(item);
        else bad_to_arg(spec);
        if (parts[i] < 0) {
          if (i > 0) bad_to_arg(spec);
          negative = true;
          parts[i] = -parts[i];
        }
      }
      v = from_parts(parts[0], parts[1], parts[2], negative);
      break;
    }
    case TYPE_STRING: case TYPE_FILE: case TYPE_URL: case TYPE_TAG: case TYPE_EMAIL:
    case TYPE_REF: {
      series_buffer* b = buffer_of(spec->data2);
      u32 used = b->used_units();
      u32 head = spec->data1 < used ? spec->data1 : used;
      time_parts parts;
      if (scan_units(b->head() + u64{head} * b->unit(), static_cast<i32>(used - head), b->unit(),
                     &parts) != SCAN_OK)
        bad_to_arg(spec);
      v = from_parts(parts.hours, parts.minutes, parts.seconds, parts.negative);
      break;
    }
    default:
      bad_to_arg(spec);
  }
  return make_at(stack::arguments, v);
}

i32 form(const cell* value, cell* out, const cell* part, i32 budget) {
  return serialize(out, get(value), budget);
}

i32 mold(const cell* value, cell* out, bool only, bool all, bool flat, const cell* part,
         i32 budget, i32 indent) {
  return serialize(out, get(value), budget);
}

const cell* eval_path(cell* parent, cell* element, cell* value, const path_args& walk) {
  int field = 0;
  u32 te = type_of(element);
  if (te == TYPE_INTEGER) {
    i32 n = static_cast<i32>(element->data2);
    if (n >= 1 && n <= 3) field = n;
  } else if (word::any_word_q(te)) {
    field = field_of_word(element);
  }
  if (!field) {
    cell path = walk.path ? *walk.path : none_value, e = *element;
    fire("script", "invalid-path", &path, &e);
  }
  double t = get(parent);
  if (!value) return write_field(stack::push_slot(), t, field);

  u32 tv = type_of(value);
  double v;
  if (tv == TYPE_INTEGER) v = static_cast<i32>(value->data2);
  else if (tv == TYPE_FLOAT && field == 3) v = cell_float(value);
  else fire("script", "invalid-arg", value);
  // Answering the parent's own cell has the path walk store the changed time back.
  set_cell_float(parent, with_field(t, field, v));
  return parent;
}

namespace {
// float!'s core on the two operands, then the result made a time! and checked.
void time_math(i32 op) {
  float_::do_math(op);
  cell* a = stack::arg(0);
  set_type(a, TYPE_TIME);
  check(cell_float(a));
}
}  // namespace

void add() {
  if (type_of(stack::arg(1)) == TYPE_DATE) {
    // time + date is date + time.
    cell t = *stack::arg(0);
    *stack::arg(0) = *stack::arg(1);
    *stack::arg(1) = t;
    stack_fn date_add = datatype::entry_of<slot::add>(TYPE_DATE);
    if (!date_add) fire("internal", "not-done");
    date_add();
    return;
  }
  time_math(math_op::ADD);
}

void subtract() {
  if (type_of(stack::arg(1)) == TYPE_DATE) not_related("subtract");
  time_math(math_op::SUBTRACT);
}

void multiply() {
  if (type_of(stack::arg(1)) == TYPE_TIME) not_related("multiply");
  time_math(math_op::MULTIPLY);
}

void divide() {
  if (type_of(stack::arg(1)) == TYPE_TIME) {
    float_::do_math(math_op::DIVIDE);  // a ratio: float!
    set_type(stack::arg(0), TYPE_FLOAT);
    return;
  }
  time_math(math_op::DIVIDE);
}

void remainder() { time_math(math_op::REMAINDER); }

const cell* round(cell* value, const cell* scale, const round_flags& mode) {
  if (scale && type_of(scale) == TYPE_MONEY) not_related("round");
  // An integer! scale is taken as a float!: the result stays seconds, and a whole number
  // of seconds beyond the integer range is no overflow.
  cell as_float;
  if (scale && type_of(scale) == TYPE_INTEGER) {
    float_::make_at(&as_float, static_cast<i32>(scale->data2));
    scale = &as_float;
  }
  float_::round(value, scale, mode);
  set_type(value, TYPE_TIME);
  check(cell_float(value));
  return value;
}

namespace {
// The whole seconds within the minute, nudged away from zero so that 2.9999999 counts
// as 3.
i32 second_in_minute(const cell* value) {
  double s = get(value);
  s += s < 0 ? -0.000001 : 0.000001;
  return static_cast<i32>(std::trunc(std::fmod(s, 60.0)));
}
}  // namespace

bool even_q(const cell* value) { return second_in_minute(value) % 2 == 0; }
bool odd_q(const cell* value) { return second_in_minute(value) % 2 != 0; }

const cell* pick(cell* value, i32 index, const cell* index_cell) {
  double t = get(value);
  int field = index;
  if (index_cell && word::any_word_q(type_of(index_cell))) {
    field = field_of_word(index_cell);
    if (!field) {
      cell w = *index_cell, v = *value;
      fire("script", "cannot-use", &w, &v);
    }
  } else if (index < 1 || index > 3) {
    cell i{TYPE_INTEGER, 0, static_cast<u32>(index), 0};
    fire("script", "out-of-range", &i);
  }
  return write_field(stack::arguments, t, field);
}

// ---- Registration -------------------------------------------------------------------------

void init() {
  action_row row;  // random, compare, absolute and negate come from float!
  row.make = make;
  row.to = make;
  row.reflect = nullptr;
  row.form = form;
  row.mold = mold;
  row.eval_path = eval_path;
  row.add = add;
  row.subtract = subtract;
  row.multiply = multiply;
  row.divide = divide;
  row.remainder = remainder;
  row.power = nullptr;
  row.round = round;
  row.even_q = even_q;
  row.odd_q = odd_q;
  row.pick = pick;
  datatype::register_(TYPE_TIME, TYPE_FLOAT, "time!", row);
}

}  // namespace vyr::time
