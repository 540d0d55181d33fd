// The math natives' value-level helpers: sign tests, zero?, NaN?, max/min across scalar
// and composite types, shift, to-hex, degree folding in the trigonometric functions, logs.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "runtime/datatypes/word.h"
#include "runtime/natives/math_helpers.h"
#include "tests/unit/value_helpers.h"

using namespace vyr;
using namespace vyr::test;

namespace {
struct MathHelpers : ::testing::Test {
  void SetUp() override {
    ensure_runtime();
    stack::reset();
  }
};

const double NaN = std::numeric_limits<double>::quiet_NaN();
const double INF = std::numeric_limits<double>::infinity();
constexpr double PI = 3.141592653589793;

cell pair(i32 x, i32 y) { return cell{TYPE_PAIR, 0, static_cast<u32>(x), static_cast<u32>(y)}; }
cell point2(float x, float y) {
  cell c{TYPE_POINT2D, 0, 0, 0};
  std::memcpy(&c.data1, &x, 4);
  std::memcpy(&c.data2, &y, 4);
  return c;
}
cell point3(float x, float y, float z) {
  cell c = point2(x, y);
  c.header = TYPE_POINT3D;
  std::memcpy(&c.data3, &z, 4);
  return c;
}
cell tuple(std::initializer_list<u8> parts) {
  cell c{TYPE_TUPLE | (static_cast<u32>(parts.size()) << 19), 0, 0, 0};
  std::memcpy(&c.data1, parts.begin(), parts.size());
  return c;
}

// A result as text that does not need those types' own form: "pair! 3x5",
// "point2D! 1e10 1e10", "tuple! 1.2.2", else the value's type and form.
std::string text_of(const cell& c) {
  char buf[96];
  switch (type_of(&c)) {
    case TYPE_PAIR:
      std::snprintf(buf, sizeof buf, "pair! %dx%d", static_cast<i32>(c.data2),
                    static_cast<i32>(c.data3));
      return buf;
    case TYPE_POINT2D: case TYPE_POINT3D: {
      float f[3];
      std::memcpy(f, &c.data1, 12);
      std::string s = type_of(&c) == TYPE_POINT2D ? "point2D!" : "point3D!";
      for (int i = 0; i < (type_of(&c) == TYPE_POINT2D ? 2 : 3); i++) {
        std::snprintf(buf, sizeof buf, " %g", static_cast<double>(f[i]));
        s += buf;
      }
      return s;
    }
    case TYPE_TUPLE: {
      std::string s = "tuple! ";
      const u8* b = reinterpret_cast<const u8*>(&c.data1);
      for (u32 i = 0; i < ((c.header >> 19) & 0xF); i++) s += (i ? "." : "") + std::to_string(b[i]);
      return s;
    }
    default:
      return describe(c);
  }
}
}  // namespace

TEST_F(MathHelpers, SignTests) {
  struct { cell v; i32 sign; } cases[] = {
      {int_cell(-5), -1}, {int_cell(0), 0}, {int_cell(7), 1},
      {float_cell(-0.5), -1}, {float_cell(-0.0), 0}, {float_cell(NaN), 0},
      {float_cell(0.25, TYPE_PERCENT), 1}, {float_cell(-3600, TYPE_TIME), -1},
  };
  for (auto& c : cases) {
    EXPECT_EQ(natives::sign_of(&c.v, "sign?"), c.sign) << describe(c.v);
    EXPECT_EQ(natives::negative_q(&c.v), c.sign < 0) << describe(c.v);
    EXPECT_EQ(natives::positive_q(&c.v), c.sign > 0) << describe(c.v);
  }
  cell none{TYPE_NONE, 0, 0, 0};
  EXPECT_EQ(error_of([&] { natives::sign_of(&none, "sign?"); }), "script/expect-arg");
}

TEST_F(MathHelpers, ZeroAndNaN) {
  struct { cell v; bool zero, nan; } cases[] = {
      {int_cell(0), true, false},
      {int_cell(-1), false, false},
      {int_cell(static_cast<i32>(0x7FF80001)), false, false},  // NaN-looking bits in an integer!
      {cell{TYPE_CHAR, 0, 0, 0}, true, false},
      {float_cell(-0.0), true, false},
      {float_cell(NaN), false, true},
      {float_cell(INF), false, false},
      {float_cell(NaN, TYPE_PERCENT), false, true},
      {float_cell(0, TYPE_TIME), true, false},
      {pair(0, 0), true, false},
      {pair(0, 1), false, false},
      {point2(0, 0), true, false},
      {point3(0, 0, 1), false, false},
      {tuple({0, 0, 0}), true, false},
      {tuple({0, 0, 1}), false, false},
      {cell{TYPE_NONE, 0, 0, 0}, false, false},
  };
  for (auto& c : cases) {
    EXPECT_EQ(natives::zero_q(&c.v), c.zero) << text_of(c.v);
    EXPECT_EQ(natives::nan_value_q(&c.v), c.nan) << text_of(c.v);
  }
}

TEST_F(MathHelpers, MaxMin) {
  struct { cell a, b; const char* max; const char* min; } cases[] = {
      {int_cell(1), int_cell(2), "integer! 2", "integer! 1"},
      {int_cell(2), float_cell(2.0), "integer! 2", "float! 2.0"},  // ties: max v1, min v2
      {int_cell(1), float_cell(NaN), "float! 1.#NaN", "float! 1.#NaN"},
      {float_cell(NaN), int_cell(1), "float! 1.#NaN", "float! 1.#NaN"},
      {pair(1, 5), int_cell(3), "pair! 3x5", "pair! 1x3"},
      {int_cell(3), pair(1, 5), "pair! 3x5", "pair! 1x3"},  // swapped: the pair's type
      {pair(1, 2), float_cell(2.5), "pair! 2x2", "pair! 1x2"},
      {pair(1, 2), float_cell(1e10), "point2D! 1e+10 1e+10", "point2D! 1 2"},
      {pair(1, 8), pair(4, 2), "pair! 4x8", "pair! 1x2"},
      {pair(1, 8), point2(4.5f, 2), "point2D! 4.5 8", "point2D! 1 2"},
      {point2(1, 8), float_cell(NaN), "point2D! nan nan", "point2D! nan nan"},
      {point3(1, 2, 3), int_cell(2), "point3D! 2 2 3", "point3D! 1 2 2"},
      {tuple({1, 2, 3}), int_cell(300), "tuple! 255.255.255", "tuple! 1.2.3"},
      {tuple({1, 2, 3}), int_cell(2), "tuple! 2.2.3", "tuple! 1.2.2"},
      {tuple({1, 2, 3}), int_cell(-4), "tuple! 1.2.3", "tuple! 0.0.0"},
      {tuple({1, 9, 3}), tuple({4, 5, 6}), "tuple! 4.9.6", "tuple! 1.5.3"},
      {tuple({1, 2, 3}), float_cell(1e10), "script/type-limit", "script/type-limit"},
      {int_cell(1), cell{TYPE_NONE, 0, 0, 0}, "script/invalid-compare",
       "script/invalid-compare"},
  };
  for (auto& c : cases) {
    for (bool max : {true, false}) {
      cell a = c.a, b = c.b;
      std::string got = error_of([&] { natives::max_min(&a, &b, max); });
      if (got.empty()) got = text_of(a);
      EXPECT_EQ(got, max ? c.max : c.min) << text_of(c.a) << (max ? " max " : " min ")
                                           << text_of(c.b);
    }
  }
}

TEST_F(MathHelpers, Shift) {
  struct { i32 data, bits; bool left, logical; i32 expected; } cases[] = {
      {-8, 1, false, false, -4},     {-8, 28, false, true, 15},   {1, 32, true, false, 0},
      {-1, 40, false, false, -1},    {5, 40, false, false, 0},    {-1, 32, false, true, 0},
      {1, 31, true, false, INT32_MIN}, {3, -2, true, false, 3},   {1, 4, true, true, 16},
  };
  for (auto& c : cases)
    EXPECT_EQ(natives::shift(c.data, c.bits, c.left, c.logical), c.expected)
        << c.data << " " << c.bits << " " << c.left << c.logical;
}

TEST_F(MathHelpers, ToHex) {
  EXPECT_EQ(natives::to_hex_digits(255, false, 0), "000000FF");
  EXPECT_EQ(natives::to_hex_digits(255, true, 2), "FF");
  EXPECT_EQ(natives::to_hex_digits(255, true, 12), "000000FF");
  EXPECT_EQ(natives::to_hex_digits(-1, false, 0), "FFFFFFFF");
  EXPECT_EQ(error_of([] { natives::to_hex_digits(1, true, 0); }), "script/invalid-arg");
  cell issue = natives::to_hex(255, true, 2);
  EXPECT_EQ(type_of(&issue), TYPE_ISSUE);
}

TEST_F(MathHelpers, Trigonometry) {
  using namespace natives;
  EXPECT_EQ(sine(180, false), 0.0);
  EXPECT_EQ(sine(-180, false), 0.0);
  EXPECT_EQ(cosine(90, false), 0.0);
  EXPECT_EQ(cosine(270, false), 0.0);
  EXPECT_EQ(sine(150, false), sine(30, false));
  EXPECT_EQ(sine(390, false), sine(30, false));
  EXPECT_DOUBLE_EQ(sine(90, false), 1.0);
  EXPECT_EQ(tangent(90, false), INF);
  EXPECT_EQ(tangent(-90, false), -INF);
  EXPECT_EQ(tangent(270, false), -INF);
  EXPECT_EQ(tangent(135, false), tangent(-45, false));
  EXPECT_DOUBLE_EQ(tangent(45, false), 1.0);
  EXPECT_EQ(tangent(PI / 2, true), INF);
  EXPECT_EQ(arctangent2(1, 0, false), 90.0);
  EXPECT_EQ(arcsine(1, true), PI / 2);
  EXPECT_DOUBLE_EQ(arcsine(1, false), 90.0);
  EXPECT_DOUBLE_EQ(arccosine(-1, false), 180.0);
  EXPECT_DOUBLE_EQ(arctangent(1, false), 45.0);
  EXPECT_TRUE(std::isnan(arcsine(2, false)));  // C library domain rules, no error
}

TEST_F(MathHelpers, LogarithmsAndPowers) {
  using namespace natives;
  EXPECT_EQ(log_2(8), 3.0);
  EXPECT_DOUBLE_EQ(log_10(1000), 3.0);
  EXPECT_EQ(log_e(1), 0.0);
  EXPECT_EQ(log_e(0), -INF);
  EXPECT_TRUE(std::isnan(square_root(-1)));
  EXPECT_DOUBLE_EQ(natives::exp(1), 2.718281828459045);
  cell pct = float_cell(0.5, TYPE_PERCENT), text{TYPE_NONE, 0, 0, 0};
  EXPECT_EQ(number_of(&pct, "exp"), 0.5);
  EXPECT_EQ(error_of([&] { number_of(&text, "exp"); }), "script/expect-arg");
}
