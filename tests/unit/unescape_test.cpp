// `unescape`: JSON escapes decoded in place from the string's head, the buffer widened when
// a decoded character needs wider units, and every malformed escape refused with script
// invalid-data, including a lone surrogate of either half and an escape cut at the end.
#include <gtest/gtest.h>

#include "environment/routines/routines.h"
#include "runtime/fire.h"
#include "tests/unit/text_helpers.h"

namespace vyr {
namespace {

class UnescapeTest : public ::testing::Test {
 protected:
  void SetUp() override { test::fresh_stack(); }
  std::string run(const std::string& in, u32 unit = 0) {
    cell* s = test::text(in, TYPE_STRING, unit);
    routines::unescape_in_place(s);
    return test::utf8(s);
  }
  bool refused(const std::string& in) {
    try {
      run(in);
    } catch (thrown&) {
      return true;
    }
    return false;
  }
};

TEST_F(UnescapeTest, DecodesInPlaceAndWidens) {
  const struct {
    const char* in;
    const char* out;
  } cases[] = {
      {"plain", "plain"},
      {"a\\\"b\\\\c\\/d", "a\"b\\c/d"},
      {"\\b\\f\\n\\r\\t", "\b\f\n\r\t"},
      {"x\\u00e9y", "x\xC3\xA9y"},                 // 1-byte units widen to 2
      {"\\ud83d\\ude00!", "\xF0\x9F\x98\x80!"},    // a pair widens to 4
      {"", ""},
  };
  for (auto& c : cases) EXPECT_EQ(run(c.in), c.out) << c.in;
  EXPECT_EQ(run("\\u0000"), std::string("\0", 1));
  // Already wide text keeps its characters.
  EXPECT_EQ(run("\xF0\x9F\x98\x80\\n", 4), "\xF0\x9F\x98\x80\n");
}

TEST_F(UnescapeTest, StartsAtTheHeadAndKeepsWhatLiesBefore) {
  cell* s = test::text("ab\\u0041\\n");
  s->data1 = 2;  // from the third character
  routines::unescape_in_place(s);
  EXPECT_EQ(test::utf8(s), "A\n");
  s->data1 = 0;
  EXPECT_EQ(test::utf8(s), "abA\n");
}

TEST_F(UnescapeTest, RefusesMalformedEscapes) {
  for (const char* in : {"\\", "a\\x", "\\u12", "\\u12G4", "\\ud800", "\\ud800x", "\\ud800\\u0041",
                         "\\ud800\\ud800", "\\udc00", "\\ude00\\ud83d", "\\ud83d\\ude0"})
    EXPECT_TRUE(refused(in)) << in;
}

}  // namespace
}  // namespace vyr
