// float! texts that come from the shortest-digits formatter: mold, and form of time!
// seconds. Kept apart from float_test.cpp because they need the float text module.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "tests/unit/value_helpers.h"

using namespace vyr;
using namespace vyr::test;

namespace {
struct FloatText : ::testing::Test {
  void SetUp() override {
    ensure_runtime();
    stack::reset();
  }
};
}  // namespace

TEST_F(FloatText, Mold) {
  const double inf = std::numeric_limits<double>::infinity();
  struct { double v; const char* text; } cases[] = {
      {1.0, "1.0"},
      {0.1 + 0.2, "0.30000000000000004"},  // mold keeps every digit, form hides them
      {-2.5, "-2.5"},
      {1e16, "10000000000000000.0"},
      {1e17, "1.0e17"},
      {1e-7, "0.0000001"},
      {1.5e-8, "1.5e-8"},
      {1e-17, "1.0e-17"},                  // not subject to pretty printing
      {inf, "1.#INF"},
      {-inf, "-1.#INF"},
      {std::nan(""), "1.#NaN"},
  };
  for (auto& c : cases) {
    EXPECT_EQ(mold_text(float_cell(c.v)), c.text) << c.v;
    EXPECT_EQ(mold_text(float_cell(c.v), true), c.text) << c.v;
  }
  EXPECT_EQ(form_text(float_cell(0.1 + 0.2)), "0.3");
}

TEST_F(FloatText, TimeSeconds) {
  struct { double v; const char* text; } cases[] = {
      {1.5, "1.5"}, {3.0, "3"}, {1.23456789, "1.23457"}, {59.999999, "60"}};
  for (auto& c : cases)
    EXPECT_STREQ(float_::form_float(c.v, float_::FORM_TIME), c.text) << c.v;
}
