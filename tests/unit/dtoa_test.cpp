// Float text: the literal layout, the specials, parsing edge cases and the round trip.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>

#include "runtime/dtoa.h"

using namespace vyr;

namespace {

double parse(const std::string& s, int adjust = 0, i32* unconsumed = nullptr) {
  return dtoa::string_to_float(s.data(), s.data() + s.size(), adjust, unconsumed);
}

bool same_bits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

constexpr double INF = std::numeric_limits<double>::infinity();

}  // namespace

TEST(Dtoa, Layout) {
  struct { double v; int precision; bool keep; const char* text; } cases[] = {
      {0.1, 0, true, "0.1"},
      {1.0, 0, true, "1.0"},
      {1.0, 0, false, "1"},
      {100.0, 0, true, "100.0"},
      {100.0, 0, false, "100"},
      {123.456, 0, true, "123.456"},
      {-2.5, 0, true, "-2.5"},
      {1e16, 0, true, "10000000000000000.0"},
      {1e17, 0, true, "1.0e17"},
      {1e17, 0, false, "1e17"},
      {1e20, 0, false, "1e20"},
      {1.5e20, 0, true, "1.5e20"},
      {-1.5e20, 0, true, "-1.5e20"},
      {1e-7, 0, true, "0.0000001"},
      {1.5e-7, 0, true, "0.00000015"},  // above 1e-7: still plain
      {9e-8, 0, true, "9.0e-8"},
      {1e-8, 0, true, "1.0e-8"},
      {1e-8, 0, false, "1e-8"},
      {DBL_MAX, 0, true, "1.7976931348623157e308"},
      {5e-324, 0, true, "5.0e-324"},  // the smallest subnormal
      {0.0, 0, true, "0.0"},
      {-0.0, 0, true, "-0.0"},
      {0.0, 0, false, "0"},
      {-0.0, 0, false, "-0"},
      {INF, 0, true, "1.#INF"},
      {-INF, 0, true, "-1.#INF"},
      {std::numeric_limits<double>::quiet_NaN(), 0, true, "1.#NaN"},
      {-std::numeric_limits<double>::quiet_NaN(), 0, true, "1.#NaN"},
      {1.0 / 3, 6, false, "0.333333"},
      {2.0 / 3, 3, true, "0.667"},
      {1.25, 2, true, "1.2"},   // half-even on the exact binary value (1.25 is exact)
      {0.5, 6, false, "0.5"},   // trailing zeros are not produced
      {9.9999999, 3, true, "10.0"},
      {12.0, 6, false, "12"},
  };
  for (auto& c : cases)
    EXPECT_EQ(dtoa::form_float(c.v, c.precision, c.keep), c.text) << c.v << " p" << c.precision;
}

TEST(Dtoa, DigitsAndPointPosition) {
  auto d = dtoa::float_to_digits(-1234.5, 0, true);
  EXPECT_EQ(d.digits, "12345");
  EXPECT_EQ(d.point, 4);
  EXPECT_TRUE(d.negative);
  d = dtoa::float_to_digits(0.00125, 0, true);
  EXPECT_EQ(d.digits, "125");
  EXPECT_EQ(d.point, -2);
  EXPECT_EQ(dtoa::float_to_digits(INF, 0, true).point, dtoa::POINT_SPECIAL);
  EXPECT_EQ(dtoa::float_to_digits(std::nan(""), 0, true).point, dtoa::POINT_SPECIAL);
  EXPECT_EQ(dtoa::float_to_digits(-0.0, 0, true).point, dtoa::POINT_ZERO);
}

// Wide precisions and long layouts: no fixed buffer may overflow.
TEST(Dtoa, LongResults) {
  for (double v : {1e-6, -1.2345678901234567e-6, 1.0 / 3, -DBL_MAX, 5e-324, 123456789.125}) {
    for (int precision : {17, 22, 40, 767, 5000}) {
      std::string t = dtoa::form_float(v, precision, true);
      ASSERT_FALSE(t.empty());
      EXPECT_TRUE(same_bits(parse(t), v)) << t;
    }
  }
  // Money! asks for 22 digits of a value whose plain layout is long.
  EXPECT_EQ(dtoa::form_float(-3.3333333333333333e-06, 22, true), "-0.000003333333333333333323666");
  EXPECT_EQ(dtoa::form_float(0.1, 22, true), "0.1000000000000000055511");
  EXPECT_EQ(dtoa::form_float(5e-324, 30, true), "4.94065645841246544176568792868e-324");
}

TEST(Dtoa, Parsing) {
  struct { const char* text; int adjust; double v; i32 unconsumed; } cases[] = {
      {"0.1", 0, 0.1, 0},
      {"+2.5", 0, 2.5, 0},
      {"-2.5", 0, -2.5, 0},
      {"000123.4500", 0, 123.45, 0},
      {".5", 0, 0.5, 0},
      {"1.", 0, 1.0, 0},
      {"1e3", 0, 1000.0, 0},
      {"1E+3", 0, 1000.0, 0},
      {"25e-1", 0, 2.5, 0},
      {"1.5e", 0, 1.5, 1},       // an "e" that ends the text is no exponent
      {"2%", -2, 0.02, 1},       // the stop point is reported
      {"50", -2, 0.5, 0},
      {"1e400", 0, INF, 0},
      {"-1e400", 0, -INF, 0},
      {"1e-400", 0, 0.0, 0},
      {"1e99999999999", 0, INF, 0},
      {"1e-99999999999", 0, 0.0, 0},
      {"1e99999999999999999999999999", 0, INF, 0},
      {"0.000000000000000000000000001e99999999999", 0, INF, 0},
      {"1.7976931348623157e308", 0, DBL_MAX, 0},
      {"1.7976931348623159e308", 0, INF, 0},    // rounds past the largest double
      {"2.4703282292062328e-324", 0, 5e-324, 0}, // just above half the smallest subnormal
      {"2.4703282292062327e-324", 0, 0.0, 0},
      {"0e99999", 0, 0.0, 0},
      {"0.0", 0, 0.0, 0},
      {"9007199254740993", 0, 9007199254740992.0, 0},  // tie: half-even
      {"9007199254740993.00000000000000000000000000000000000000000001", 0,
       9007199254740994.0, 0},                           // just above the tie
      {"1.#INF", 0, INF, 0},
      {"-1.#INF", 0, -INF, 0},
      {"1.#inf", 0, INF, 0},
  };
  for (auto& c : cases) {
    i32 rest = -1;
    double v = parse(c.text, c.adjust, &rest);
    EXPECT_TRUE(same_bits(v, c.v)) << c.text << " gave " << v;
    EXPECT_EQ(rest, c.unconsumed) << c.text;
  }
  EXPECT_TRUE(std::isnan(parse("1.#NaN")));
  EXPECT_FALSE(std::signbit(parse("1.#NaN")));
  EXPECT_TRUE(std::isnan(parse("1.#nan")));
  EXPECT_TRUE(same_bits(parse("-0.0"), -0.0));
  EXPECT_TRUE(same_bits(parse("-1e-400"), -0.0));
}

// Digits far past what a double needs still round correctly.
TEST(Dtoa, VeryLongDigitStrings) {
  // 0.1 written with its exact expansion followed by many zeros and then a 1: the value is
  // just above the double nearest 0.1, which is still that double.
  std::string exact = "0.1000000000000000055511151231257827021181583404541015625";
  EXPECT_TRUE(same_bits(parse(exact + std::string(5000, '0') + "1"), 0.1));
  // The midpoint between 1 and the next double, then a non-zero digit far away: rounds up.
  std::string mid = "1.00000000000000011102230246251565404236316680908203125";
  EXPECT_TRUE(same_bits(parse(mid), 1.0));  // exact tie: to even
  EXPECT_TRUE(same_bits(parse(mid + std::string(3000, '0') + "1"), std::nextafter(1.0, 2.0)));
  // A long integer part moves the exponent even past the kept digits.
  EXPECT_TRUE(same_bits(parse("1" + std::string(1000, '0')), INF));
  EXPECT_TRUE(same_bits(parse("1" + std::string(300, '0')), 1e300));
  EXPECT_TRUE(same_bits(parse("0." + std::string(330, '0') + "1"), 0.0));
}

TEST(Dtoa, RoundTrip) {
  std::mt19937_64 rng(20261209);
  auto check = [](double v) {
    for (bool keep : {true, false}) {
      std::string t = dtoa::form_float(v, 0, keep);
      double back = parse(t);
      if (std::isnan(v)) {
        ASSERT_TRUE(std::isnan(back)) << t;
      } else {
        ASSERT_TRUE(same_bits(back, v)) << t;
      }
    }
  };
  for (int i = 0; i < 200000; i++) {
    u64 bits = rng();
    double v;
    std::memcpy(&v, &bits, sizeof v);
    check(v);
  }
  for (int i = 0; i < 20000; i++) {  // subnormals
    u64 bits = rng() & 0x800FFFFFFFFFFFFFull;
    double v;
    std::memcpy(&v, &bits, sizeof v);
    check(v);
  }
  for (int e = -330; e <= 310; e++) {
    double v = std::pow(10.0, e);
    check(v);
    check(std::nextafter(v, 0.0));
    check(std::nextafter(v, INF));
  }
  for (double v : {DBL_MAX, -DBL_MAX, DBL_MIN, 5e-324, -5e-324, 0.0, -0.0, INF, -INF, 1e16, 1e17,
                   1e-7, 9.999999999999999e16, 123456789012345678.0})
    check(v);
}
