// float!: the form text, the shared math core with its result types, tolerant and strict
// comparison, rounding, conversions and random. (Mold texts are in float_text_test.cpp.)
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/none.h"
#include "tests/unit/value_helpers.h"

using namespace vyr;
using namespace vyr::test;

namespace {
struct Float : ::testing::Test {
  void SetUp() override {
    ensure_runtime();
    stack::reset();
  }
};

const double INF = std::numeric_limits<double>::infinity();
const double NaN = std::nan("");
cell typed(u32 type) { return cell{type, 0, 0, 0}; }
cell pct(double d) { return float_cell(d, TYPE_PERCENT); }
cell tim(double d) { return float_cell(d, TYPE_TIME); }

// "type form-float-text" for the float-layout types, "category/id" for an error.
std::string show(const cell& v) {
  u32 t = type_of(&v);
  if (t == TYPE_FLOAT || t == TYPE_PERCENT || t == TYPE_TIME)
    return std::string(t == TYPE_FLOAT ? "float! " : t == TYPE_PERCENT ? "percent! " : "time! ") +
           float_::form_float(cell_float(&v), float_::FORM_FLOAT);
  return describe(v);
}

cell convert(u32 type, const cell& spec, bool make = false) {
  cell proto{TYPE_DATATYPE, type, 0, 0};
  stack::push_copy(&proto);
  cell* arg = stack::top - 1;
  stack::arguments = arg;
  // percent! reaches float!'s routine through its own (later) registration.
  cell r = type == TYPE_PERCENT ? *float_::make(&proto, &spec, type)
           : make              ? *actions::make(&proto, &spec)
                               : *actions::to(&proto, &spec);
  stack::arguments = stack::base;
  return r;
}
}  // namespace

TEST_F(Float, FormText) {
  using namespace float_;
  struct { double v; i32 kind; const char* text; } cases[] = {
      {1.0, FORM_FLOAT, "1.0"},
      {-1.5, FORM_FLOAT, "-1.5"},
      {1e20, FORM_FLOAT, "1.0e20"},
      {1.5e-7, FORM_FLOAT, "1.5e-7"},
      {1e300, FORM_FLOAT, "1.0e300"},
      {1.2345678901234567e17, FORM_FLOAT, "1.234567890123457e17"},
      {4.35 * 100, FORM_FLOAT, "435.0"},  // 434.99999999999994: noise removed
      {1.0 / 3, FORM_FLOAT, "0.3333333333333333"},
      {0.1 + 0.2, FORM_FLOAT, "0.3"},
      {1e-17, FORM_FLOAT, "0.0"},
      {-0.0, FORM_FLOAT, "0.0"},
      {INF, FORM_FLOAT, "1.#INF"},
      {-INF, FORM_PERCENT, "-1.#INF"},
      {NaN, FORM_POINT, "1.#NaN"},
      {12.5, FORM_PERCENT, "12.5%"},
      {1e-20, FORM_VECTOR_PERCENT, "0%"},
      {1.0, FORM_POINT, "1"},
      {1e-20, FORM_POINT, "0"},
      {1.0, FORM_VECTOR_FLOAT, "1.0"},
      {0.1f, FORM_VECTOR_FLOAT, "0.1"},
      {2.5e10, FORM_POINT, "2.5e10"},
  };
  for (auto& c : cases) EXPECT_STREQ(form_float(c.v, c.kind), c.text) << c.v << " kind " << c.kind;

  pretty_print_q = 0;
  EXPECT_STREQ(form_float(1e-17, FORM_FLOAT), "1.0e-17");
  EXPECT_STREQ(form_float(4.35 * 100, FORM_FLOAT), "434.9999999999999");
  pretty_print_q = 1;
  EXPECT_EQ(form_text(float_cell(2.5)), "2.5");
}

TEST_F(Float, Arithmetic) {
  // The float module's entries themselves: percent! and time! reach them through their
  // own registrations, which come later.
  using namespace float_;
  using actions::and_entry;
  using actions::power_entry;
  auto add_entry = [] { float_::add(); };
  auto subtract_entry = [] { float_::subtract(); };
  auto multiply_entry = [] { float_::multiply(); };
  auto divide_entry = [] { float_::divide(); };
  auto remainder_entry = [] { float_::remainder(); };
  auto absolute_entry = [] { float_::absolute(); };
  struct { void (*entry)(); cell a, b; const char* expected; } cases[] = {
      {add_entry, float_cell(1.5), int_cell(2), "float! 3.5"},
      {subtract_entry, float_cell(1.5), float_cell(0.25), "float! 1.25"},
      {multiply_entry, float_cell(1.5), cell{TYPE_CHAR, 0, 2, 0}, "float! 3.0"},
      {divide_entry, float_cell(1.0), float_cell(0.0), "float! 1.#INF"},
      {divide_entry, float_cell(-1.0), int_cell(0), "float! -1.#INF"},
      {divide_entry, float_cell(0.0), float_cell(0.0), "float! 1.#NaN"},
      {remainder_entry, float_cell(5.0), float_cell(0.0), "float! 1.#NaN"},
      {remainder_entry, float_cell(5.0), float_cell(INF), "float! 5.0"},
      {remainder_entry, float_cell(INF), float_cell(INF), "float! 1.#NaN"},
      {remainder_entry, float_cell(5.0), float_cell(NaN), "float! 1.#NaN"},
      {remainder_entry, float_cell(-7.5), int_cell(2), "float! -1.5"},
      {multiply_entry, float_cell(1e300), float_cell(1e300), "float! 1.#INF"},
      // Result types: percent! from a percent! first operand, time! when one is time!.
      {add_entry, pct(0.5), float_cell(0.25), "percent! 0.75"},
      {add_entry, float_cell(0.5), pct(0.25), "float! 0.75"},
      {multiply_entry, pct(0.5), pct(0.5), "percent! 0.25"},
      {add_entry, float_cell(1.0), tim(2.0), "time! 3.0"},
      {add_entry, tim(1.0), int_cell(2), "time! 3.0"},
      {add_entry, int_cell(1), pct(0.5), "float! 1.5"},
      // Refused second operands.
      {add_entry, pct(0.5), cell{TYPE_CHAR, 0, 65, 0}, "script/invalid-type"},
      {add_entry, tim(1.0), cell{TYPE_CHAR, 0, 65, 0}, "script/invalid-type"},
      {add_entry, float_cell(1.0), none_value, "script/invalid-type"},
      {subtract_entry, float_cell(1.0), typed(TYPE_PAIR), "script/not-related"},
      {divide_entry, float_cell(1.0), typed(TYPE_POINT2D), "script/not-related"},
      {and_entry, float_cell(1.0), float_cell(1.0), "script/expect-arg"},
      // power keeps the value's type; a fractional power of a negative base is NaN.
      {power_entry, float_cell(2.0), int_cell(10), "float! 1024.0"},
      {power_entry, float_cell(-8.0), float_cell(0.5), "float! 1.#NaN"},
      {[] { float_::power(); }, pct(0.5), int_cell(2), "percent! 0.25"},
      {power_entry, float_cell(2.0), none_value, "script/expect-arg"},
      {absolute_entry, float_cell(-2.5), none_value, "float! 2.5"},
      {absolute_entry, float_cell(-INF), none_value, "float! 1.#INF"},
  };
  for (auto& c : cases)
    EXPECT_EQ(outcome(c.entry, c.a, c.b, show), c.expected) << show(c.a) << " , " << show(c.b);
  EXPECT_EQ(error_of([] { float_::do_op(1, 1, math_op::XOR); }), "script/cannot-use");

  cell z = float_cell(0.0);
  actions::negate(&z);
  EXPECT_FALSE(std::signbit(cell_float(&z)));  // 0.0 - 0.0: negating zero gives +0.0
  cell m = float_cell(2.5);
  actions::negate(&m);
  EXPECT_EQ(show(m), "float! -2.5");
}

TEST_F(Float, Compare) {
  using namespace compare_op;
  double third = 0.1 + 0.2;
  double next10 = 1.0, next11;
  for (int i = 0; i < 10; i++) next10 = std::nextafter(next10, 2.0);
  next11 = std::nextafter(next10, 2.0);
  struct { cell a, b; i32 op; i32 expected; } cases[] = {
      {float_cell(third), float_cell(0.3), EQUAL, 0},
      {float_cell(third), float_cell(0.3), STRICT_EQUAL, 1},
      {float_cell(third), float_cell(0.3), FIND, 0},
      {float_cell(1.0), float_cell(next10), EQUAL, 0},
      {float_cell(1.0), float_cell(next11), EQUAL, 1},
      {float_cell(1e-300), float_cell(-1e-300), EQUAL, 0},  // within the zero threshold
      {float_cell(0.0), float_cell(-0.0), EQUAL, 0},
      {float_cell(0.0), float_cell(-0.0), STRICT_EQUAL, 0},
      {float_cell(0.0), float_cell(-0.0), SAME, 1},
      {float_cell(NaN), float_cell(NaN), EQUAL, 1},
      {float_cell(NaN), float_cell(NaN), STRICT_EQUAL, 1},
      {float_cell(NaN), float_cell(1.0), LESSER, 1},
      {float_cell(NaN), float_cell(1.0), GREATER, -1},
      {float_cell(NaN), float_cell(1.0), SORT, 0},
      {float_cell(1.0), float_cell(2.0), LESSER, -1},
      {float_cell(1.0), int_cell(1), EQUAL, 0},
      {float_cell(0.5), pct(0.5), EQUAL, 0},
      {float_cell(0.5), pct(0.5), STRICT_EQUAL, 1},
      {float_cell(0.5), pct(0.5), FIND, 1},
      {pct(0.5), float_cell(0.5), SAME, 1},
      {float_cell(1.0), none_value, EQUAL, -2},
      {float_cell(1.0), true_value, LESSER, -2},
  };
  for (auto& c : cases)
    EXPECT_EQ(float_::compare(&c.a, &c.b, c.op), c.expected)
        << show(c.a) << " / " << show(c.b) << " op " << c.op;
  // Truth values: every ordering test with NaN is false.
  cell n = float_cell(NaN), one = float_cell(1.0);
  for (i32 op : {LESSER, LESSER_OR_EQUAL, GREATER, GREATER_OR_EQUAL, EQUAL})
    EXPECT_FALSE(actions::compare(&n, &one, op)) << op;
  EXPECT_TRUE(actions::compare(&n, &one, NOT_EQUAL));
}

TEST_F(Float, Round) {
  round_flags none_mode{};
  struct { cell v; cell scale; round_flags mode; const char* expected; } cases[] = {
      {float_cell(2.5), none_value, none_mode, "float! 3.0"},
      {float_cell(-2.5), none_value, none_mode, "float! -3.0"},
      {float_cell(2.4), none_value, none_mode, "float! 2.0"},
      {float_cell(2.5), none_value, {.even = true}, "float! 2.0"},
      {float_cell(3.5), none_value, {.even = true}, "float! 4.0"},
      {float_cell(2.5), none_value, {.half_down = true}, "float! 2.0"},
      {float_cell(-2.5), none_value, {.half_ceiling = true}, "float! -2.0"},
      {float_cell(2.5), none_value, {.half_ceiling = true}, "float! 3.0"},
      {float_cell(-2.5), none_value, {.floor = true}, "float! -3.0"},
      {float_cell(-2.5), none_value, {.ceiling = true}, "float! -2.0"},
      {float_cell(-2.7), none_value, {.down = true}, "float! -2.0"},
      {float_cell(3.14159), float_cell(0.01), none_mode, "float! 3.14"},
      {float_cell(1234.5), int_cell(100), none_mode, "integer! 1200"},
      {float_cell(7.3), int_cell(1), none_mode, "integer! 7"},
      {float_cell(7.3), float_cell(0.5), none_mode, "float! 7.5"},
      {float_cell(1e30), float_cell(1e-30), none_mode, "float! 1.0e30"},
      {float_cell(0.123), pct(0.01), none_mode, "percent! 0.12"},
      {pct(0.125), none_value, none_mode, "percent! 0.13"},
      {pct(0.12345), pct(0.01), none_mode, "percent! 0.1235"},
      {pct(0.12345), int_cell(1), none_mode, "integer! 0"},
      {pct(0.5), float_cell(0.5), none_mode, "float! 0.5"},
      {float_cell(1.0), typed(TYPE_MONEY), none_mode, "script/not-related"},
      {float_cell(1.0), true_value, none_mode, "script/invalid-type"},
      {float_cell(1e20), int_cell(1), none_mode, "float! 1.0e20"},  // below its precision
      {float_cell(1e10), int_cell(1), none_mode, "math/overflow"},     // no integer! for it
      {float_cell(1.7976931348623157e308), float_cell(std::ldexp(1.0, 972)), none_mode,
       "math/overflow"},  // rounds up past the largest double
  };
  for (auto& c : cases) {
    cell v = c.v;
    const cell* scale = type_of(&c.scale) == TYPE_NONE ? nullptr : &c.scale;
    std::string got = outcome_of([&] { return *float_::round(&v, scale, c.mode); }, show);
    EXPECT_EQ(got, c.expected) << show(c.v) << " /to " << show(c.scale);
  }
}

TEST_F(Float, RoundBySubnormalScale) {
  // The scale's mantissa and exponent are used apart; the value is scaled the same way.
  cell v = float_cell(2.5e-310);
  cell scale = float_cell(1e-310);
  float_::round(&v, &scale, round_flags{});
  EXPECT_DOUBLE_EQ(cell_float(&v) * 1e300, 3e-310 * 1e300);
}

TEST_F(Float, MakeAndTo) {
  stack::guard g;
  auto bin = [](std::initializer_list<u8> bytes) {
    cell* c = stack::push_slot();
    c->header = TYPE_UNSET;
    *c = cell{TYPE_BINARY, 0, memory::alloc_bytes(16), 0};
    series_buffer* b = buffer_of(c->data2);
    std::memcpy(memory::alloc_tail_bytes(b, static_cast<u32>(bytes.size())), bytes.begin(),
                bytes.size());
    return *c;
  };
  cell one = bin({0x3F, 0xF0, 0, 0, 0, 0, 0, 0, 0x55});
  cell short_bits = bin({0x3F, 0xF0});
  cell pair = *block_of({int_cell(2), int_cell(-3)});
  cell mixed = *block_of({float_cell(1.5), float_cell(3.9)});
  cell three = *block_of({int_cell(1), int_cell(2), int_cell(3)});
  cell wrong = *block_of({int_cell(1), none_value});
  struct { u32 type; cell spec; const char* expected; } cases[] = {
      {TYPE_FLOAT, int_cell(5), "float! 5.0"},
      {TYPE_PERCENT, int_cell(5), "percent! 5.0"},
      {TYPE_FLOAT, pct(0.5), "float! 0.5"},
      {TYPE_PERCENT, float_cell(0.5), "percent! 0.5"},
      {TYPE_FLOAT, cell{TYPE_CHAR, 0, 65, 0}, "float! 65.0"},
      {TYPE_FLOAT, tim(90.5), "float! 90.5"},
      {TYPE_FLOAT, one, "float! 1.0"},
      {TYPE_FLOAT, pair, "float! 0.002"},
      {TYPE_FLOAT, mixed, "float! 1500.0"},
      {TYPE_FLOAT, three, "script/bad-to-arg"},
      {TYPE_FLOAT, wrong, "script/bad-to-arg"},
      {TYPE_FLOAT, none_value, "script/bad-to-arg"},
      {TYPE_FLOAT, true_value, "script/bad-to-arg"},
  };
  for (auto& c : cases)
    EXPECT_EQ(outcome_of([&] { return convert(c.type, c.spec); }, show), c.expected)
        << "case " << &c - cases;
  EXPECT_EQ(show(convert(TYPE_FLOAT, pair, true)), "float! 0.002");
  // Fewer than 8 bytes are the low-order bytes of the pattern: a tiny subnormal.
  cell tiny = convert(TYPE_FLOAT, short_bits);
  EXPECT_EQ(tiny.data2, 0x3FF0u);
  EXPECT_EQ(tiny.data3, 0u);
}

TEST_F(Float, FromText) {
  auto saved = float_::text_reader;
  float_::text_reader = [](const char* first, i32 count, u32 unit, i32* error) -> double {
    std::string s(first, static_cast<size_t>(count) * unit);
    if (s == "1.5") return 1.5;
    *error = -1;
    return std::nan("");
  };
  stack::guard g;
  auto text = [](const char* s, u32 head) { return *push_string(s, TYPE_STRING, head); };
  EXPECT_EQ(outcome_of([&] { return convert(TYPE_FLOAT, text("x1.5", 1)); }, show), "float! 1.5");
  EXPECT_EQ(outcome_of([&] { return convert(TYPE_FLOAT, text("", 0)); }, show),
            "script/bad-to-arg");
  EXPECT_EQ(outcome_of([&] { return convert(TYPE_FLOAT, text("1.5.2", 0)); }, show),
            "script/bad-to-arg");
  float_::text_reader = saved;
}

TEST_F(Float, RandomParityAndSupport) {
  for (int i = 0; i < 100; i++) {
    stack::reset();
    cell* v = float_::push(10.0);
    for (bool secure : {false, true}) {
      cell r = *actions::random(v, false, secure, false);
      EXPECT_EQ(type_of(&r), u32{TYPE_FLOAT});
      EXPECT_TRUE(cell_float(&r) >= 0.0 && cell_float(&r) <= 10.0) << cell_float(&r);
    }
  }
  stack::reset();
  cell* v = float_::push(1.5);
  EXPECT_EQ(type_of(actions::random(v, true, false, false)), u32{TYPE_UNSET});

  struct { double v; bool odd; } parity[] = {
      {2.7, false}, {3.2, true}, {-3.9, true}, {-2.0, false}, {NaN, false}, {INF, false}};
  for (auto& p : parity) {
    cell c = float_cell(p.v);
    EXPECT_EQ(actions::odd_q(&c), p.odd) << p.v;
    EXPECT_EQ(actions::even_q(&c), !p.odd) << p.v;
  }
  EXPECT_EQ(float_::round_to_int(0.49999999999999994), 0);  // the bias is just below a half
  EXPECT_EQ(float_::round_to_int(2.6), 3);
  EXPECT_EQ(float_::round_to_int(-2.7), -2);
  EXPECT_EQ(float_::round_to_int(1e100), INT32_MIN);
  EXPECT_TRUE(float_::special_q(NaN));
  EXPECT_TRUE(float_::nan_bits_q(NaN));
  EXPECT_FALSE(float_::nan_bits_q(INF));
  EXPECT_EQ(error_of([] { float_::get_number(&none_value); }), "script/bad-to-arg");
}
