// vector!: element reads and writes at each width, construction from counts and spec
// blocks, mold and form, compare, element-wise math, and the editing and searching actions
// that answer element values. Values to be written are checked and gathered first, so a
// refused element never leaves a half-written run; positions are indexes, never addresses,
// across allocations.
#include "runtime/datatypes/vector.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "runtime/collector.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/char.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/float.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/percent.h"
#include "runtime/datatypes/series.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/fire.h"
#include "runtime/datatypes/actions.h"
#include "runtime/stack.h"
#include "runtime/word_tables.h"

namespace vyr::vector {

namespace {

bool float_kind(u32 et) { return et == TYPE_FLOAT || et == TYPE_PERCENT; }
bool element_type_q(u32 t) {
  return t == TYPE_CHAR || t == TYPE_INTEGER || t == TYPE_FLOAT || t == TYPE_PERCENT;
}
u32 default_width(u32 et) { return float_kind(et) ? 8 : 4; }

i64 total_of(const cell* v) { return series::buffer(v)->used_units(); }
i64 clipped(const cell* v) { return std::clamp<i64>(series::head_index(v), 0, total_of(v)); }
char* slot(const cell* v, i64 i) { return series::buffer(v)->head() + i * width_of(v); }

// percent! elements need the percent! datatype registered.
void check_supported(u32 et) {
  if (et == TYPE_PERCENT && !datatype::registered_q(TYPE_PERCENT)) fire("internal", "not-done");
}

i64 read_int(const char* p, u32 w) {
  switch (w) {
    case 1: return static_cast<int8_t>(*p);
    case 2: { int16_t x; std::memcpy(&x, p, 2); return x; }
    default: { i32 x; std::memcpy(&x, p, 4); return x; }
  }
}
double read_float(const char* p, u32 w) {
  if (w == 4) { float f; std::memcpy(&f, p, 4); return f; }
  double d;
  std::memcpy(&d, p, 8);
  return d;
}
void write_int(char* p, u32 w, i32 v) {
  switch (w) {
    case 1: *p = static_cast<char>(v); break;
    case 2: { int16_t x = static_cast<int16_t>(v); std::memcpy(p, &x, 2); break; }
    default: std::memcpy(p, &v, 4); break;
  }
}
void write_float(char* p, u32 w, double d) {
  if (w == 4) {
    float f = static_cast<float>(d);
    std::memcpy(p, &f, 4);
  } else {
    std::memcpy(p, &d, 8);
  }
}

// An element value as a number: integer kinds exactly, float kinds as doubles.
double number_of(const cell* c) {
  u32 t = type_of(c);
  if (t == TYPE_FLOAT || t == TYPE_PERCENT) return cell_float(c);
  return static_cast<double>(static_cast<i32>(c->data2));
}

// Every element store: a non-number is refused as a type, a number of another type than
// the vector's as a value (it would otherwise land as raw bits of the wrong format).
void check_element(u32 et, const cell* value) {
  u32 t = type_of(value);
  if (!element_type_q(t)) datatype::fire_with_type("invalid-type", t);
  if (t != et) {
    cell v = *value;
    fire("script", "invalid-arg", &v);
  }
}

[[noreturn]] void bad_make_arg(const cell* spec) {
  datatype::fire_with_type("bad-make-arg", TYPE_VECTOR, spec);
}
[[noreturn]] void invalid_spec_field(const cell* item) {
  cell v = *item;
  fire("script", "invalid-spec-field", &v);
}

// Opens a gap of `count` elements at absolute index `at`.
void open_gap(const cell* v, i64 at, i64 count) {
  if (count <= 0) return;
  u32 node = v->data2;
  series_buffer* b = buffer_of(node);
  u32 w = b->unit();
  u64 need = memory::checked_size(u64{b->used_units()} + u64(count), w);
  if (u64{b->offset} + need > b->end_offset()) {
    memory::expand_series(b, std::max<u64>(need * 2, 16));
    b = buffer_of(node);
  }
  char* p = b->head() + at * w;
  std::memmove(p + count * w, p, static_cast<size_t>(b->tail - b->offset - u64(at) * w));
  b->tail += static_cast<u32>(count * w);
}

void cut(const cell* v, i64 at, i64 count) {
  series_buffer* b = series::buffer(v);
  u32 w = b->unit();
  i64 total = b->used_units();
  count = std::clamp<i64>(count, 0, total - at);
  char* p = b->head() + at * w;
  std::memmove(p, p + count * w, static_cast<size_t>((total - at - count) * w));
  b->tail -= static_cast<u32>(count * w);
}

// The run of values an edit writes: the values of a block (or, for change, a path or a
// vector) from its head, at most `part` of them, else the value itself.
std::vector<cell> gather(const cell* value, i32 part, bool runs_of_paths) {
  std::vector<cell> out;
  u32 t = type_of(value);
  bool block = t == TYPE_BLOCK || t == TYPE_PAREN || t == TYPE_HASH ||
               (runs_of_paths && t >= TYPE_PATH && t <= TYPE_GET_PATH);
  if (block) {
    i64 total = total_of(value);
    for (i64 i = clipped(value); i < total; i++) out.push_back(series::buffer(value)->cells()[i]);
  } else if (runs_of_paths && t == TYPE_VECTOR) {
    for (i64 i = clipped(value); i < total_of(value); i++) out.push_back(get_value(value, i));
  } else {
    out.push_back(*value);
  }
  if (part != -1 && block) out.resize(std::min<size_t>(out.size(), size_t(std::max(part, 0))));
  return out;
}

// Writes the gathered values at `pos` and replicates that run `copies` times.
void write_run(const cell* v, i64 pos, const std::vector<cell>& vals, i64 copies) {
  i64 n = static_cast<i64>(vals.size());
  for (i64 i = 0; i < n; i++) set_value(v, pos + i, &vals[i]);
  u32 w = width_of(v);
  char* base = slot(v, pos);
  for (i64 c = 1; c < copies; c++) std::memcpy(base + c * n * w, base, static_cast<size_t>(n * w));
}

i32 int_op(i32 a, i32 b, i32 op) {
  u32 ua = static_cast<u32>(a), ub = static_cast<u32>(b);
  switch (op) {
    case math_op::ADD: return static_cast<i32>(ua + ub);
    case math_op::SUBTRACT: return static_cast<i32>(ua - ub);
    case math_op::MULTIPLY: return static_cast<i32>(ua * ub);
    case math_op::DIVIDE:
      if (b == 0) fire("math", "zero-divide");
      if (a == INT_MIN && b == -1) return INT_MIN;  // wraps like every other overflow
      return a / b;
    case math_op::REMAINDER:
      if (b == 0) fire("math", "zero-divide");
      if (b == -1) return 0;
      return a % b;
    case math_op::OR: return a | b;
    case math_op::AND: return a & b;
    default: return a ^ b;
  }
}

const char* op_word(i32 op) {
  switch (op) {
    case math_op::ADD: return "add";
    case math_op::SUBTRACT: return "subtract";
    case math_op::MULTIPLY: return "multiply";
    case math_op::DIVIDE: return "divide";
    case math_op::REMAINDER: return "remainder";
    case math_op::OR: return "or~";
    case math_op::AND: return "and~";
    default: return "xor~";
  }
}

double float_op(double a, double b, i32 op) {
  switch (op) {
    case math_op::ADD: return a + b;
    case math_op::SUBTRACT: return a - b;
    case math_op::MULTIPLY: return a * b;
    case math_op::DIVIDE:
      if (b == 0) fire("math", "zero-divide");
      return a / b;
    case math_op::REMAINDER:
      if (b == 0) fire("math", "zero-divide");
      return std::fmod(a, b);
    default:
      datatype::fire_word_type("not-related", op_word(op), TYPE_VECTOR);
  }
}

// The elements from the head changed in place by a scalar on the right (or, with
// `scalar_first`, on the left, as the dividend of a remainder).
void apply_scalar(const cell* v, const cell* scalar, i32 op, bool scalar_first) {
  u32 et = v->data3, w = width_of(v);
  i64 h = clipped(v), total = total_of(v);
  if (float_kind(et)) {
    double s = number_of(scalar);
    if (!float_kind(type_of(scalar)) && type_of(scalar) != TYPE_INTEGER &&
        type_of(scalar) != TYPE_CHAR)
      fire("internal", "not-done");
    if (!scalar_first && (op == math_op::DIVIDE || op == math_op::REMAINDER) && s == 0)
      fire("math", "zero-divide");
    if (!scalar_first && (((op == math_op::ADD || op == math_op::SUBTRACT) && s == 0) ||
                          ((op == math_op::MULTIPLY || op == math_op::DIVIDE) && s == 1)))
      return;
    for (i64 i = h; i < total; i++) {
      char* p = slot(v, i);
      double e = read_float(p, w);
      write_float(p, w, scalar_first ? float_op(s, e, op) : float_op(e, s, op));
    }
    return;
  }
  i32 s;
  if (type_of(scalar) == TYPE_FLOAT || type_of(scalar) == TYPE_PERCENT) {
    double d = cell_float(scalar);
    if (!(d > -2147483649.0 && d < 2147483648.0)) fire("math", "overflow");
    s = static_cast<i32>(d);
  } else {
    s = static_cast<i32>(scalar->data2);
  }
  if (!scalar_first && (op == math_op::DIVIDE || op == math_op::REMAINDER) && s == 0)
    fire("math", "zero-divide");
  if (!scalar_first && (((op == math_op::ADD || op == math_op::SUBTRACT) && s == 0) ||
                        ((op == math_op::MULTIPLY || op == math_op::DIVIDE) && s == 1)))
    return;
  if (w == 4) {
    // The common case, kept to a tight loop: nothing is allocated per element.
    char* p = slot(v, h);
    if (!scalar_first && (op == math_op::ADD || op == math_op::SUBTRACT)) {
      u32 d = op == math_op::ADD ? static_cast<u32>(s) : 0u - static_cast<u32>(s);
      for (i64 i = h; i < total; i++, p += 4) {
        u32 e;
        std::memcpy(&e, p, 4);
        e += d;
        std::memcpy(p, &e, 4);
      }
      return;
    }
    for (i64 i = h; i < total; i++, p += 4) {
      i32 e;
      std::memcpy(&e, p, 4);
      e = scalar_first ? int_op(s, e, op) : int_op(e, s, op);
      std::memcpy(p, &e, 4);
    }
    return;
  }
  for (i64 i = h; i < total; i++) {
    char* p = slot(v, i);
    i32 e = static_cast<i32>(read_int(p, w));
    write_int(p, w, scalar_first ? int_op(s, e, op) : int_op(e, s, op));
  }
}

void do_math(i32 op) {
  cell* a = stack::arg(0);
  cell b = *stack::arg(1);
  collector::root_guard bg(&b);
  u32 tb = type_of(&b);
  if (tb == TYPE_VECTOR) {
    cell x = *a;
    collector::root_guard xg(&x);
    if (x.data3 != b.data3) fire("script", "not-same-type");
    u32 et = x.data3;
    u32 w = std::max(width_of(&x), width_of(&b));
    i64 ha = clipped(&x), hb = clipped(&b);
    i64 n = std::min(total_of(&x) - ha, total_of(&b) - hb);
    cell out;
    make_at(&out, n, et, w);
    collector::root_guard og(&out);
    series::buffer(&out)->tail += static_cast<u32>(n * w);
    u32 wa = width_of(&x), wb = width_of(&b);
    for (i64 i = 0; i < n; i++) {
      if (float_kind(et)) {
        double r = float_op(read_float(slot(&x, ha + i), wa), read_float(slot(&b, hb + i), wb), op);
        write_float(slot(&out, i), w, r);
      } else {
        i32 r = int_op(static_cast<i32>(read_int(slot(&x, ha + i), wa)),
                       static_cast<i32>(read_int(slot(&b, hb + i), wb)), op);
        write_int(slot(&out, i), w, r);
      }
    }
    *stack::arg(0) = out;
    return;
  }
  if (tb != TYPE_INTEGER && tb != TYPE_FLOAT && tb != TYPE_PERCENT) fire("internal", "not-done");
  apply_scalar(a, &b, op, false);
}

// A find over element values: the absolute index of the match, or -1.
i64 find_in(const cell* v, const cell* value, const find_args& o) {
  if (!element_type_q(type_of(value))) return -1;
  double key = number_of(value);
  i64 total = total_of(v), h = clipped(v);
  i64 step = 1;
  if (o.skip) {
    if (type_of(o.skip) != TYPE_INTEGER) series::invalid_refine(&words::ref_skip, o.skip);
    step = integer::get(o.skip);
    if (step < 1) series::out_of_range(step);
  }
  i64 limit = total - 1;
  if (o.part) {
    i64 c = series::part_count(v, o.part);
    if (c < 1) return -1;
    limit = std::min(h + c - 1, total - 1);
  }
  auto matches = [&](i64 i) {
    if (i < 0 || i >= total) return false;
    cell e = get_value(v, i);
    return number_of(&e) == key;
  };
  if (o.match) {
    i64 at = o.reverse ? h - 1 : o.last ? limit : h;
    return matches(at) ? at : -1;
  }
  if (o.reverse) {
    for (i64 i = h - 1; i >= 0; i -= step) if (matches(i)) return i;
    return -1;
  }
  if (o.last) {
    for (i64 i = limit; i >= h; i -= step) if (matches(i)) return i;
    return -1;
  }
  for (i64 i = h; i <= limit; i += step) if (matches(i)) return i;
  return -1;
}

i64 position(const cell* v, i32 index) {
  i64 h = clipped(v);
  return index > 0 ? h + index - 1 : h + index;
}

}  // namespace

// ---- Elements -----------------------------------------------------------------------------

u32 width_of(const cell* v) { return series::buffer(v)->unit(); }

i32 rs_length_q(const cell* v) { return static_cast<i32>(total_of(v) - clipped(v)); }

cell slot_value(u32 et, u32 w, const char* p) {
  if (float_kind(et)) {
    cell c;
    float_::make_at(&c, read_float(p, w));
    set_type(&c, et);
    return c;
  }
  return cell{et, 0, static_cast<u32>(static_cast<i32>(read_int(p, w))), 0};
}

cell get_value(const cell* v, i64 index) { return slot_value(v->data3, width_of(v), slot(v, index)); }

i32 order_slots(u32 et, u32 w, const char* a, const char* b) {
  if (!float_kind(et)) {
    i64 x = read_int(a, w), y = read_int(b, w);
    return x < y ? -1 : x > y ? 1 : 0;
  }
  double x = read_float(a, w), y = read_float(b, w);
  if (std::isnan(x) || std::isnan(y)) return std::isnan(x) - std::isnan(y);
  return x < y ? -1 : x > y ? 1 : 0;
}

cell* from_slots(cell* out, u32 et, u32 w, const char* p, u32 n) {
  make_at(out, n, et, w);
  series_buffer* b = buffer_of(out->data2);
  std::memcpy(b->head(), p, size_t{n} * w);
  b->tail += n * w;
  return out;
}

void set_value(const cell* v, i64 index, const cell* value) {
  u32 et = v->data3, w = width_of(v);
  char* p = slot(v, index);
  if (float_kind(et)) {
    write_float(p, w, number_of(value));
  } else {
    write_int(p, w, static_cast<i32>(value->data2));
  }
}

cell* make_at(cell* c, i64 count, u32 element_type, u32 width) {
  u64 n = static_cast<u64>(std::max<i64>(count, 1));
  if (n * width > 0xFFFFFFFFull) fire("internal", "no-memory");
  memory::checked_size(n, width);
  u32 node = memory::alloc_series(static_cast<u32>(n), width, 0);
  *c = cell{TYPE_VECTOR, 0, node, element_type};
  return c;
}

cell to_block(const cell* value) {
  cell v = *value;
  collector::root_guard vg(&v);
  cell out;
  block::make_at(&out, std::max(rs_length_q(&v), 1));
  collector::root_guard og(&out);
  for (i64 i = clipped(&v); i < total_of(&v); i++) {
    cell e = get_value(&v, i);
    block::rs_append(&out, &e);
  }
  return out;
}

void number_first(i32 op) {
  cell* a = stack::arg(0);
  cell n = *a, v = *stack::arg(1);
  collector::root_guard ng(&n), vg(&v);
  if (op == math_op::SUBTRACT || op == math_op::DIVIDE)
    datatype::fire_word_type("not-related", op_word(op), TYPE_VECTOR);
  if (type_of(&n) == TYPE_CHAR) set_type(&n, TYPE_INTEGER);
  cell out;
  series::copy(&v, &out, nullptr, false, nullptr);
  collector::root_guard og(&out);
  apply_scalar(&out, &n, op, op == math_op::REMAINDER);
  *stack::arg(0) = out;
}

// ---- make -------------------------------------------------------------------------------

namespace {
u32 type_of_word(const cell* w) {
  std::string_view name = symbol::name(w->data2);
  if (name == "char!") return TYPE_CHAR;
  if (name == "integer!") return TYPE_INTEGER;
  if (name == "float!") return TYPE_FLOAT;
  if (name == "percent!") return TYPE_PERCENT;
  return 0;
}

// Fills a new vector: `count` elements (zeros past the values), the values checked first.
const cell* build(i64 count, u32 et, u32 width, const std::vector<cell>& values) {
  for (const cell& c : values) check_element(et, &c);
  i64 n = std::max<i64>(count, static_cast<i64>(values.size()));
  cell out;
  make_at(&out, n, et, width);
  collector::root_guard og(&out);
  if (n > 0) {
    series_buffer* b = series::buffer(&out);
    std::memset(b->head(), 0, static_cast<size_t>(n * width));
    b->tail = b->offset + static_cast<u32>(n * width);
    for (size_t i = 0; i < values.size(); i++) set_value(&out, static_cast<i64>(i), &values[i]);
  }
  return stack::set_result(&out);
}

std::vector<cell> block_values(const cell* blk) {
  std::vector<cell> out;
  for (i64 i = clipped(blk); i < total_of(blk); i++) out.push_back(series::buffer(blk)->cells()[i]);
  return out;
}
}  // namespace

const cell* make(const cell*, const cell* spec_in, u32) {
  cell spec = *spec_in;
  collector::root_guard sg(&spec);
  u32 t = type_of(&spec);
  if (t == TYPE_INTEGER || t == TYPE_FLOAT) {
    double d = t == TYPE_INTEGER ? integer::get(&spec) : cell_float(&spec);
    if (!(d > -2147483649.0 && d < 2147483648.0)) bad_make_arg(&spec);
    return build(static_cast<i64>(d), TYPE_INTEGER, 4, {});
  }
  if (t != TYPE_BLOCK) bad_make_arg(&spec);
  std::vector<cell> items = block_values(&spec);
  if (items.empty()) return build(0, TYPE_INTEGER, 4, {});
  if (type_of(&items[0]) == TYPE_WORD) {
    u32 et = type_of_word(&items[0]);
    if (!et || items.size() < 2) bad_make_arg(&spec);
    check_supported(et);
    size_t k = 1;
    u32 width;
    if (type_of(&items[1]) == TYPE_INTEGER) {
      i32 bits = integer::get(&items[1]);
      if (et == TYPE_PERCENT) bits = 64;
      bool ok = float_kind(et) ? bits == 32 || bits == 64 : bits == 8 || bits == 16 || bits == 32;
      if (!ok) bad_make_arg(&spec);
      width = static_cast<u32>(bits / 8);
      k = 2;
    } else if (et == TYPE_PERCENT) {
      width = 8;
    } else {
      invalid_spec_field(&items[1]);
    }
    if (k >= items.size()) invalid_spec_field(&items[k - 1]);
    i64 count = 0;
    std::vector<cell> values;
    if (type_of(&items[k]) == TYPE_INTEGER) {
      count = integer::get(&items[k]);
      if (k + 1 < items.size()) {
        if (type_of(&items[k + 1]) != TYPE_BLOCK) invalid_spec_field(&items[k + 1]);
        values = block_values(&items[k + 1]);
      }
    } else if (type_of(&items[k]) == TYPE_BLOCK) {
      values = block_values(&items[k]);
    } else {
      invalid_spec_field(&items[k]);
    }
    return build(count, et, width, values);
  }
  u32 et = type_of(&items[0]);
  if (!element_type_q(et)) datatype::fire_with_type("invalid-type", et);
  check_supported(et);
  return build(0, et, default_width(et), items);
}

// ---- mold and form ------------------------------------------------------------------------

namespace {
i32 element_text(const cell* v, i64 i, cell* out, bool molded, i32 budget) {
  u32 et = v->data3;
  cell e = get_value(v, i);
  if (et == TYPE_FLOAT) {
    const char* text = float_::form_float(cell_float(&e), width_of(v) == 8 ? float_::FORM_FLOAT
                                                                           : float_::FORM_VECTOR_FLOAT);
    return datatype::append_text(out, text, budget);
  }
  if (et == TYPE_PERCENT) {
    return molded ? percent::mold(&e, out, false, false, false, nullptr, budget, 0)
                  : percent::form(&e, out, nullptr, budget);
  }
  return molded ? actions::mold(&e, out, false, false, false, nullptr, budget, 0)
                : actions::form(&e, out, nullptr, budget);
}
}  // namespace

i32 mold(const cell* value, cell* out, bool only, bool, bool, const cell* part, i32 budget,
         i32) {
  cell v = *value;
  collector::root_guard vg(&v);
  u32 et = v.data3, w = width_of(&v);
  i64 h = clipped(&v), total = total_of(&v);
  bool plain = total > h && w == default_width(et);
  if (!only) budget = datatype::append_text(out, "make vector! [", budget);
  if (!plain) {
    std::string head = std::string(datatype::name_of(et)) + " " + std::to_string(w * 8) + " [";
    budget = datatype::append_text(out, head.c_str(), budget);
  }
  for (i64 i = h; i < total; i++) {
    if (part && budget < 1) return budget;
    if (i > h) budget = datatype::append_text(out, " ", budget);
    budget = element_text(&v, i, out, true, budget);
  }
  // The inner bracket closes under /only too, so the text stays loadable.
  if (!plain) budget = datatype::append_text(out, "]", budget);
  if (!only) budget = datatype::append_text(out, "]", budget);
  return budget;
}

i32 form(const cell* value, cell* out, const cell* part, i32 budget) {
  cell v = *value;
  collector::root_guard vg(&v);
  i64 h = clipped(&v), total = total_of(&v);
  for (i64 i = h; i < total; i++) {
    if (part && budget < 1) break;
    if (i > h) budget = datatype::append_text(out, " ", budget);
    budget = element_text(&v, i, out, false, budget);
  }
  return budget;
}

// ---- compare ------------------------------------------------------------------------------

i32 compare(const cell* a, const cell* b, i32 op) {
  if (type_of(b) != TYPE_VECTOR) return COMPARE_NOT_COMPARABLE;
  if (a->data3 != b->data3) fire("script", "not-same-type");
  bool same_place = a->data2 == b->data2 && a->data1 == b->data1;
  if (op == compare_op::SAME) return same_place ? 0 : 1;
  bool equality = op == 0 || op == 1 || op == 2 || op == compare_op::FIND;
  if (same_place && equality) return 0;
  i64 la = rs_length_q(a), lb = rs_length_q(b);
  if (equality && la != lb) return 1;
  i64 ha = clipped(a), hb = clipped(b);
  for (i64 i = 0; i < std::min(la, lb); i++) {
    cell x = get_value(a, ha + i), y = get_value(b, hb + i);
    if (float_kind(a->data3)) {
      double p = cell_float(&x), q = cell_float(&y);
      if (std::isnan(p) || std::isnan(q)) return 1;
      if (p != q) return p < q ? -1 : 1;
    } else {
      i32 p = static_cast<i32>(x.data2), q = static_cast<i32>(y.data2);
      if (p != q) return p < q ? -1 : 1;
    }
  }
  return la < lb ? -1 : la > lb ? 1 : 0;
}

// ---- Editing ------------------------------------------------------------------------------

const cell* append(cell* series, const cell* value, i32 part, bool, i32 dup, bool append_flag) {
  cell s = *series, v = *value;
  collector::root_guard sg(&s), vg(&v);
  std::vector<cell> vals = gather(&v, part, false);
  collector::root_guard kc(vals.data(), static_cast<u32>(vals.size()));
  for (const cell& c : vals) check_element(s.data3, &c);
  i64 copies = std::max(dup, 0);
  u64 added = static_cast<u64>(vals.size()) * static_cast<u64>(copies);
  memory::checked_size(u64(total_of(&s)) + added, width_of(&s));
  if (u64(total_of(&s)) + added > 0x7FFFFFFFull) fire("internal", "no-memory");
  i64 pos = append_flag ? total_of(&s) : clipped(&s);
  if (added > 0) {
    open_gap(&s, pos, static_cast<i64>(added));
    write_run(&s, pos, vals, copies);
  }
  s.data1 = append_flag ? 0 : static_cast<u32>(pos + static_cast<i64>(added));
  return stack::set_result(&s);
}

const cell* change(cell* series, const cell* value, i32 part, bool, i32 dup) {
  cell s = *series, v = *value;
  collector::root_guard sg(&s), vg(&v);
  std::vector<cell> vals = gather(&v, -1, true);
  collector::root_guard kc(vals.data(), static_cast<u32>(vals.size()));
  for (const cell& c : vals) check_element(s.data3, &c);
  i64 copies = std::max(dup, 0);
  i64 written = static_cast<i64>(vals.size()) * copies;
  memory::checked_size(u64(total_of(&s)) + u64(written), width_of(&s));
  i64 pos = clipped(&s);
  bool owned = series::notify(&s, &words::word_change, &v, static_cast<i32>(pos),
                              static_cast<i32>(std::min<i64>(written, INT32_MAX)));
  pos = clipped(&s);
  i64 remaining = total_of(&s) - pos;
  i64 replaced = part == -1 ? std::min(written, remaining) : std::clamp<i64>(part, 0, remaining);
  i64 delta = written - replaced;
  if (delta > 0) open_gap(&s, pos + replaced, delta);
  if (delta < 0) cut(&s, pos + written, -delta);
  if (written > 0) write_run(&s, pos, vals, copies);
  if (owned) series::notify(&s, &words::word_changed, &v, static_cast<i32>(pos),
                            static_cast<i32>(std::min<i64>(written, INT32_MAX)));
  s.data1 = static_cast<u32>(std::min(pos + written, total_of(&s)));
  return stack::set_result(&s);
}

// ---- Element access and searching ---------------------------------------------------------

const cell* pick(cell* series, i32 index, const cell*) {
  i64 d = position(series, index);
  if (index == 0 || d < 0 || d >= total_of(series)) return &none_value;
  cell e = get_value(series, d);
  return stack::set_result(&e);
}

const cell* poke(cell* series, i32 index, const cell* value, const cell*) {
  cell v = *value;
  collector::root_guard vg(&v);
  i64 d = position(series, index);
  if (index == 0 || d < 0 || d >= total_of(series)) series::out_of_range(index);
  check_element(series->data3, &v);
  set_value(series, d, &v);
  return stack::set_result(&v);
}

const cell* find(cell* series, const cell* value, const find_args& opts) {
  cell s = *series;
  i64 at = find_in(&s, value, opts);
  if (at < 0) return &none_value;
  if (opts.tail) at = std::min(at + 1, total_of(&s));
  s.data1 = static_cast<u32>(at);
  return stack::set_result(&s);
}

const cell* select(cell* series, const cell* value, const find_args& opts) {
  find_args o = opts;
  o.tail = o.match = false;
  i64 at = find_in(series, value, o);
  if (at < 0 || at + 1 >= total_of(series)) return &none_value;
  cell e = get_value(series, at + 1);
  return stack::set_result(&e);
}

const cell* take(cell* series, const cell* part, bool deep, bool last) {
  const cell* r = series::take(series, part, deep, last);
  if (part || type_of(r) != TYPE_VECTOR) return r;
  cell taken = *r;
  if (total_of(&taken) < 1) return &none_value;
  cell e = get_value(&taken, 0);
  return stack::set_result(&e);
}

namespace {
const cell* eval_path(cell* parent, cell* element, cell* value, const path_args& walk) {
  if (type_of(element) != TYPE_INTEGER) {
    cell p = walk.path ? *walk.path : none_value, e = *element;
    fire("script", "invalid-path", &p, &e);
  }
  i32 i = integer::get(element);
  i64 d = position(parent, i);
  if (!value) {
    if (i == 0 || d < 0 || d >= total_of(parent)) return &none_value;
    // The element cell lives in the result slot's neighbour: the walker copies it out.
    static cell element_cell;
    element_cell = get_value(parent, d);
    return &element_cell;
  }
  if (i == 0 || d < 0 || d >= total_of(parent)) series::out_of_range(i);
  check_element(parent->data3, value);
  set_value(parent, d, value);
  return value;
}

void add() { do_math(math_op::ADD); }
void subtract() { do_math(math_op::SUBTRACT); }
void multiply() { do_math(math_op::MULTIPLY); }
void divide() { do_math(math_op::DIVIDE); }
void remainder() { do_math(math_op::REMAINDER); }
void or_() { do_math(math_op::OR); }
void and_() { do_math(math_op::AND); }
void xor_() { do_math(math_op::XOR); }
}  // namespace

// ---- Registration -------------------------------------------------------------------------

void init() {
  action_row row;
  row.make = make;
  row.to = nullptr;
  row.form = form;
  row.mold = mold;
  row.compare = compare;
  row.eval_path = eval_path;
  row.add = add;
  row.subtract = subtract;
  row.multiply = multiply;
  row.divide = divide;
  row.remainder = remainder;
  row.or_ = or_;
  row.and_ = and_;
  row.xor_ = xor_;
  row.append = append;
  row.insert = append;
  row.change = change;
  row.pick = pick;
  row.poke = poke;
  row.find = find;
  row.select = select;
  row.take = take;
  row.trim = nullptr;
  row.swap = nullptr;
  datatype::register_(TYPE_VECTOR, TYPE_STRING, "vector!", row);
}

}  // namespace vyr::vector
