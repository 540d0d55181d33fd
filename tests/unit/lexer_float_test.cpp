// Float text of `to float!`: needs the float text converter (runtime/dtoa.cpp), so the
// cases compile only once it is part of the tree.
#if __has_include("runtime/dtoa.cpp")
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "runtime/lexer/lexer_numbers.h"

using namespace vyr;
using namespace vyr::lexer;

TEST(LexerFloat, StringToFloatTable) {
  struct { const char* text; double value; } ok[] = {
      {"1.5", 1.5}, {"1,5", 1.5}, {"1'000.5", 1000.5}, {"-2e3", -2000}, {".25", 0.25},
      {"1.", 1.0}, {"0.1", 0.1}, {"+7", 7},
  };
  for (auto& c : ok) {
    i32 err = 0;
    double d = string_to_float(c.text, static_cast<i32>(std::strlen(c.text)), 1, &err);
    EXPECT_EQ(err, 0) << c.text;
    EXPECT_EQ(d, c.value) << c.text;
  }
  std::string long_ok = "1." + std::string(310, '0');   // 312 characters
  std::string too_long = long_ok + "0";                  // 313
  for (const std::string& bad : {std::string("1.5.2"), std::string("1e"), std::string(""),
                                 std::string("-"), std::string("1.#INF"), too_long}) {
    i32 err = 0;
    double d = string_to_float(bad.data(), static_cast<i32>(bad.size()), 1, &err);
    EXPECT_EQ(err, -1) << bad;
    EXPECT_TRUE(std::isnan(d)) << bad;
  }
  i32 err = 0;
  EXPECT_EQ(string_to_float(long_ok.data(), static_cast<i32>(long_ok.size()), 1, &err), 1.0);
  EXPECT_EQ(err, 0);
  // Wider units and a character past ASCII.
  const char16_t wide[] = u"2,5";
  EXPECT_EQ(string_to_float(reinterpret_cast<const char*>(wide), 3, 2, &err), 2.5);
  const char16_t accented[] = u"2\u00E9";
  string_to_float(reinterpret_cast<const char*>(accented), 2, 2, &err);
  EXPECT_EQ(err, -1);
}
#endif
