// integer!: arithmetic that turns into float! instead of wrapping, the math errors,
// rounding, conversions, comparison codes, random and text.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "runtime/collector.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/none.h"
#include "tests/unit/value_helpers.h"

using namespace vyr;
using namespace vyr::test;

namespace {
struct Integer : ::testing::Test {
  void SetUp() override {
    ensure_runtime();
    stack::reset();
  }
};

constexpr i32 MIN = INT32_MIN;
constexpr i32 MAX = INT32_MAX;
cell typed(u32 type) { return cell{type, 0, 0, 0}; }

// A binary! of the given bytes, kept on the data stack.
cell* push_binary(std::initializer_list<u8> bytes, u32 head = 0) {
  cell* c = stack::push_slot();
  c->header = TYPE_UNSET;
  u32 node = memory::alloc_bytes(static_cast<u32>(bytes.size()) + 1);
  *c = cell{TYPE_BINARY, head, node, 0};
  series_buffer* b = buffer_of(node);
  char* dst = memory::alloc_tail_bytes(b, static_cast<u32>(bytes.size()));
  if (bytes.size()) std::memcpy(dst, bytes.begin(), bytes.size());
  return c;
}

cell to_integer(const cell& spec) {
  cell proto{TYPE_DATATYPE, TYPE_INTEGER, 0, 0};
  stack::reset();
  stack::push_copy(&proto);
  return *actions::to(&proto, &spec);
}
}  // namespace

TEST_F(Integer, Arithmetic) {
  using namespace actions;
  struct { void (*entry)(); cell a, b; const char* expected; } cases[] = {
      {add_entry, int_cell(2), int_cell(3), "integer! 5"},
      {add_entry, int_cell(MAX), int_cell(1), "float! 2147483648.0"},
      {add_entry, int_cell(MIN), int_cell(-1), "float! -2147483649.0"},
      {subtract_entry, int_cell(MIN), int_cell(1), "float! -2147483649.0"},
      {subtract_entry, int_cell(0), int_cell(MIN), "float! 2147483648.0"},
      {multiply_entry, int_cell(65536), int_cell(65536), "float! 4294967296.0"},
      {multiply_entry, int_cell(-65536), int_cell(32768), "integer! -2147483648"},
      {divide_entry, int_cell(7), int_cell(2), "float! 3.5"},
      {divide_entry, int_cell(6), int_cell(2), "integer! 3"},
      {divide_entry, int_cell(-7), int_cell(7), "integer! -1"},
      {divide_entry, int_cell(1), int_cell(0), "math/zero-divide"},
      {divide_entry, int_cell(MIN), int_cell(-1), "math/overflow"},
      {remainder_entry, int_cell(-7), int_cell(2), "integer! -1"},
      {remainder_entry, int_cell(7), int_cell(-2), "integer! 1"},
      {remainder_entry, int_cell(7), int_cell(0), "math/zero-divide"},
      {remainder_entry, int_cell(MIN), int_cell(-1), "math/overflow"},
      {power_entry, int_cell(2), int_cell(10), "integer! 1024"},
      {power_entry, int_cell(2), int_cell(31), "float! 2147483648.0"},
      {power_entry, int_cell(-2), int_cell(31), "integer! -2147483648"},
      {power_entry, int_cell(46341), int_cell(2), "float! 2147488281.0"},
      {power_entry, int_cell(2), int_cell(-1), "float! 0.5"},
      {power_entry, int_cell(4), float_cell(0.5), "float! 2.0"},
      {power_entry, int_cell(7), int_cell(0), "integer! 1"},
      {power_entry, int_cell(2), none_value, "script/expect-arg"},
      {and_entry, int_cell(12), int_cell(10), "integer! 8"},
      {or_entry, int_cell(12), int_cell(10), "integer! 14"},
      {xor_entry, int_cell(12), int_cell(10), "integer! 6"},
      {add_entry, int_cell(1), char_cell(97), "integer! 98"},
      {add_entry, int_cell(1), float_cell(2.5), "float! 3.5"},
      {divide_entry, int_cell(1), float_cell(0.0), "float! 1.#INF"},
      {add_entry, int_cell(1), none_value, "script/invalid-type"},
      {divide_entry, int_cell(1), typed(TYPE_PAIR), "script/not-related"},
      {subtract_entry, int_cell(1), typed(TYPE_TUPLE), "script/not-related"},
      {multiply_entry, int_cell(1), typed(TYPE_DATE), "script/not-related"},
  };
  for (auto& c : cases)
    EXPECT_EQ(outcome(c.entry, c.a, c.b), c.expected)
        << form_text(c.a) << " " << form_text(c.b);
}

TEST_F(Integer, SignAndBits) {
  struct { const cell* (*fn)(cell*); i32 value; const char* expected; } cases[] = {
      {actions::negate, 5, "integer! -5"},
      {actions::negate, MAX, "integer! -2147483647"},
      {actions::negate, MIN, "math/overflow"},
      {actions::complement, 0, "integer! -1"},
      {actions::complement, MIN, "integer! 2147483647"},
  };
  for (auto& c : cases) {
    cell v = int_cell(c.value);
    EXPECT_EQ(outcome_of([&] { return *c.fn(&v); }), c.expected) << c.value;
  }
  EXPECT_EQ(outcome(actions::absolute_entry, int_cell(-5), none_value), "integer! 5");
  EXPECT_EQ(outcome(actions::absolute_entry, int_cell(MIN), none_value), "math/overflow");
  for (i32 v : {2, 0, -4, MIN}) {
    cell c = int_cell(v);
    EXPECT_TRUE(actions::even_q(&c));
    EXPECT_FALSE(actions::odd_q(&c));
  }
  cell m3 = int_cell(-3);
  EXPECT_TRUE(actions::odd_q(&m3));
}

TEST_F(Integer, Round) {
  struct { i32 value; cell scale; round_flags mode; const char* expected; } cases[] = {
      {17, int_cell(5), {}, "integer! 15"},
      {18, int_cell(5), {}, "integer! 20"},
      {-18, int_cell(5), {}, "integer! -20"},
      {25, int_cell(10), {}, "integer! 30"},
      {-25, int_cell(10), {}, "integer! -30"},
      {25, int_cell(10), {.even = true}, "integer! 20"},
      {35, int_cell(10), {.even = true}, "integer! 40"},
      {25, int_cell(10), {.half_down = true}, "integer! 20"},
      {25, int_cell(10), {.half_ceiling = true}, "integer! 30"},
      {-25, int_cell(10), {.half_ceiling = true}, "integer! -20"},
      {-11, int_cell(5), {.floor = true}, "integer! -15"},
      {-11, int_cell(5), {.ceiling = true}, "integer! -10"},
      {11, int_cell(5), {.ceiling = true}, "integer! 15"},
      {-17, int_cell(5), {.down = true}, "integer! -15"},
      {17, int_cell(-5), {}, "integer! 15"},
      {7, int_cell(0), {}, "integer! 7"},
      {7, int_cell(MIN), {}, "math/overflow"},
      {7, float_cell(2.5), {}, "float! 7.5"},
      {7, typed(TYPE_MONEY), {}, "script/not-related"},
      // The smallest integer is rounded like any other value, in 64 bits.
      {MIN, none_value, {}, "integer! -2147483648"},
      {MIN, int_cell(10), {}, "math/overflow"},
      {MIN, int_cell(10), {.down = true}, "integer! -2147483640"},
      {MIN, int_cell(10), {.ceiling = true}, "integer! -2147483640"},
      {MIN, int_cell(7), {}, "integer! -2147483646"},
      {MIN, int_cell(3), {}, "math/overflow"},
      {MAX, int_cell(10), {}, "math/overflow"},
      {MAX, int_cell(10), {.floor = true}, "integer! 2147483640"},
      {MAX, int_cell(100), {.down = true}, "integer! 2147483600"},
  };
  for (auto& c : cases) {
    cell v = int_cell(c.value);
    const cell* scale = type_of(&c.scale) == TYPE_NONE ? nullptr : &c.scale;
    EXPECT_EQ(outcome_of([&] { return *actions::round(&v, scale, c.mode); }), c.expected)
        << c.value << " /to " << mold_text(c.scale);
  }
}

TEST_F(Integer, ToAndMake) {
  struct { cell spec; const char* expected; } cases[] = {
      {int_cell(-5), "integer! -5"},
      {char_cell(0x20AC), "integer! 8364"},
      {float_cell(2.9), "integer! 2"},
      {float_cell(-2.9), "integer! -2"},
      {float_cell(2147483647.0), "integer! 2147483647"},
      {float_cell(-2147483648.0), "integer! -2147483648"},
      {float_cell(2147483647.5), "script/type-limit"},
      {float_cell(1e10), "script/type-limit"},
      {float_cell(std::nan("")), "script/type-limit"},
      {float_cell(0.5, TYPE_PERCENT), "integer! 0"},
      // time! seconds: halves away from zero on both sides, with a range check.
      {float_cell(1.5, TYPE_TIME), "integer! 2"},
      {float_cell(-1.5, TYPE_TIME), "integer! -2"},
      {float_cell(-2.4, TYPE_TIME), "integer! -2"},
      {float_cell(-2147483648.4, TYPE_TIME), "integer! -2147483648"},
      {float_cell(2147483647.6, TYPE_TIME), "script/type-limit"},
      {true_value, "script/bad-to-arg"},
      {none_value, "script/bad-to-arg"},
  };
  for (auto& c : cases)
    EXPECT_EQ(outcome_of([&] { return to_integer(c.spec); }), c.expected) << mold_text(c.spec);

  cell proto{TYPE_DATATYPE, TYPE_INTEGER, 0, 0};
  EXPECT_EQ(describe(*actions::make(&proto, &true_value)), "integer! 1");
  EXPECT_EQ(describe(*actions::make(&proto, &false_value)), "integer! 0");
  cell f = float_cell(3.7);
  EXPECT_EQ(describe(*actions::make(&proto, &f)), "integer! 3");
}

TEST_F(Integer, FromBinary) {
  stack::guard g;
  cell* two = push_binary({1, 2});
  cell* five = push_binary({1, 2, 3, 4, 5});
  cell* offset = push_binary({9, 0xFF, 0xFF, 0xFF, 0xFE}, 1);
  cell* empty = push_binary({});
  collector::do_cycle();  // the binaries live on the stack and may move
  EXPECT_EQ(integer::from_binary(two), 258);
  EXPECT_EQ(integer::from_binary(five), 0x01020304);
  EXPECT_EQ(integer::from_binary(offset), -2);
  EXPECT_EQ(integer::from_binary(empty), 0);
  cell spec = *two;
  EXPECT_EQ(describe(to_integer(spec)), "integer! 258");
}

TEST_F(Integer, FromText) {
  // The lexer's reader does the scanning; the action hands it the characters from the
  // head and turns its failures into bad-to-arg.
  auto saved = integer::text_reader;
  integer::text_reader = [](const char* first, i32 count, u32 unit, i32* error) -> i32 {
    std::string s(first, static_cast<size_t>(count) * unit);
    if (s == "12") return 12;
    *error = s == "99999999999" ? -2 : -1;
    return 0;
  };
  stack::guard g;
  auto text = [](const char* s, u32 head) { return *push_string(s, TYPE_STRING, head); };
  EXPECT_EQ(outcome_of([&] { return to_integer(text("x12", 1)); }), "integer! 12");
  EXPECT_EQ(outcome_of([&] { return to_integer(text("1.5", 0)); }), "script/bad-to-arg");
  EXPECT_EQ(outcome_of([&] { return to_integer(text("99999999999", 0)); }), "script/bad-to-arg");
  EXPECT_EQ(outcome_of([&] { return to_integer(text("12", 2)); }), "script/bad-to-arg");
  EXPECT_EQ(outcome_of([&] { return to_integer(text("12", 5)); }), "script/bad-to-arg");
  integer::text_reader = saved;
}

TEST_F(Integer, Text) {
  struct { i32 v; const char* text; } cases[] = {
      {0, "0"}, {-1, "-1"}, {MAX, "2147483647"}, {MIN, "-2147483648"}};
  for (auto& c : cases) {
    EXPECT_STREQ(integer::form_signed(c.v), c.text);
    EXPECT_EQ(form_text(int_cell(c.v)), c.text);
    EXPECT_EQ(mold_text(int_cell(c.v), true), c.text);
  }
}

TEST_F(Integer, Compare) {
  using namespace compare_op;
  struct { cell a, b; i32 op; i32 expected; } cases[] = {
      {int_cell(1), int_cell(2), LESSER, -1},
      {int_cell(MIN), int_cell(MAX), SORT, -1},
      {int_cell(1), float_cell(1.0), EQUAL, 0},
      {int_cell(1), float_cell(1.0), STRICT_EQUAL, 1},
      {int_cell(1), float_cell(1.0), SAME, 1},
      {float_cell(1.0), int_cell(1), SAME, 1},
      {int_cell(2), float_cell(1.5), GREATER, 1},
      {int_cell(97), char_cell(97), EQUAL, 0},
      {int_cell(97), char_cell(97), FIND, 1},
      {int_cell(1), float_cell(1.0, TYPE_PERCENT), FIND, 1},
      {int_cell(1), none_value, EQUAL, -2},
      // find [1 2.0 3] 2: the key is the first operand (its type's compare is used) and
      // the element the second; either order matches, find/case (strict) does not.
      {int_cell(2), float_cell(2.0), FIND, 0},
      {float_cell(2.0), int_cell(2), FIND, 0},
      {int_cell(2), float_cell(2.0), STRICT_EQUAL, 1},
      {float_cell(2.0), int_cell(2), STRICT_EQUAL, 1},
      {int_cell(2), float_cell(2.5), FIND, 1},
  };
  for (auto& c : cases)
    EXPECT_EQ(actions::compare_value(&c.a, &c.b, c.op), c.expected)
        << describe(c.a) << " / " << describe(c.b) << " op " << c.op;
  cell one = int_cell(1), s = none_value;
  EXPECT_FALSE(actions::compare(&one, &s, EQUAL));
  EXPECT_EQ(error_of([&] { actions::compare(&one, &s, GREATER); }), "script/invalid-compare");
}

TEST_F(Integer, Random) {
  auto draw = [](i32 n, bool secure) {
    stack::reset();
    cell* v = integer::push(n);
    return *actions::random(v, false, secure, false);
  };
  for (int i = 0; i < 200; i++) {
    EXPECT_EQ(describe(draw(1, false)), "integer! 1");
    EXPECT_EQ(describe(draw(0, true)), "integer! 0");
    i32 r = integer::get(&(const cell&)draw(-3, i % 2));
    EXPECT_TRUE(r >= -3 && r <= -1) << r;
    EXPECT_LT(integer::get(&(const cell&)draw(MIN, false)), 0);
  }
  stack::reset();
  cell* v = integer::push(42);
  EXPECT_EQ(type_of(actions::random(v, true, false, false)), u32{TYPE_UNSET});
  cell a = draw(1000000, false);
  stack::reset();
  v = integer::push(42);
  actions::random(v, true, false, false);
  EXPECT_EQ(describe(draw(1000000, false)), describe(a)) << "seeding restarts the sequence";
}
