// Case maps and display widths: the documented facts of the generated tables, and
// uppercase/lowercase on strings with /part and widening.
#include <gtest/gtest.h>

#include <string>

#include "runtime/datatypes/string.h"
#include "runtime/fire.h"
#include "runtime/unicode.h"
#include "tests/unit/fixture.h"

using namespace vyr;

namespace {

struct CaseTest : ::testing::Test {
  cell s{TYPE_NONE, 0, 0, 0};
  void SetUp() override { test::ensure_runtime(); }
  void load(const std::string& text) {
    string::load_at(text.data(), u32(text.size()), &s, string::ENCODING_UTF8);
  }
};

}  // namespace

TEST_F(CaseTest, CodePointFacts) {
  struct { u32 cp; bool upper; u32 want; } cases[] = {
      {'a', true, 'A'}, {'A', false, 'a'}, {'A', true, 'A'}, {'1', true, '1'},
      {0xDF, true, 'S'},          // sharp s upper-cases to a single S
      {0x1E9E, false, 0xDF},      // capital sharp s lower-cases to sharp s
      {0xFF, true, 0x178},
      {0x1C5, true, 0x1C4}, {0x1C5, false, 0x1C6}, {0x1C6, true, 0x1C4},  // title case
      {0x10D0, true, 0x1C90}, {0x1C90, false, 0x10D0},                  // Georgian Mtavruli
      {0xAB70, true, 0x13A0}, {0x13A0, false, 0xAB70},                  // Cherokee small letters
      {0x10428, true, 0x10400}, {0x10400, false, 0x10428},              // Deseret
      {0x1E922, true, 0x1E900}, {0x1E943, true, 0x1E921}, {0x1E921, false, 0x1E943},  // Adlam
      {0x103FF, true, 0x103FF},   // below the supplementary list
      {0x1F600, true, 0x1F600},   // above it
      {0x10FFFF, false, 0x10FFFF},
      {0x3A3, false, 0x3C3}, {0x3C2, true, 0x3A3},
  };
  for (auto& c : cases)
    EXPECT_EQ(unicode::change_char_case(c.cp, c.upper), c.want) << std::hex << c.cp;
  EXPECT_EQ(unicode::char_to_upper(0x1E922), 0x1E900u);
  EXPECT_EQ(unicode::toggle_char_case('a'), u32('A'));
  EXPECT_EQ(unicode::toggle_char_case('A'), u32('a'));
  EXPECT_EQ(unicode::toggle_char_case('5'), u32('5'));
}

TEST_F(CaseTest, ChangeCaseOfStrings) {
  collector::root_guard keep(&s);
  load("stra\xC3\x9F" "e");
  unicode::change_case(&s, nullptr, true);
  EXPECT_EQ(string::to_utf8(&s), "STRASE");

  load("abc");
  cell part{TYPE_INTEGER, 0, 2, 0};
  unicode::change_case(&s, &part, true);
  EXPECT_EQ(string::to_utf8(&s), "ABc");
  load("abc");
  part.data2 = u32(-3);
  unicode::change_case(&s, &part, true);
  EXPECT_EQ(string::to_utf8(&s), "abc");
  part.data2 = 99;
  unicode::change_case(&s, &part, true);
  EXPECT_EQ(string::to_utf8(&s), "ABC");

  // /part as a position in the same series; a head past the tail is pulled back.
  load("abcd");
  s.data1 = 1;
  cell pos = s;
  pos.data1 = 3;
  unicode::change_case(&s, &pos, true);
  s.data1 = 0;
  EXPECT_EQ(string::to_utf8(&s), "aBCd");
  s.data1 = 10;
  unicode::change_case(&s, nullptr, true);
  EXPECT_EQ(s.data1, 4u);
}

TEST_F(CaseTest, ChangeCaseWidensOnlyWhenNeeded) {
  collector::root_guard keep(&s);
  load("\xC3\xA0\xC3\xA9z");  // a-grave, e-acute, z: Latin-1
  ASSERT_EQ(buffer_of(s.data2)->unit(), 1u);
  unicode::change_case(&s, nullptr, true);
  EXPECT_EQ(buffer_of(s.data2)->unit(), 1u);
  EXPECT_EQ(string::to_utf8(&s), "\xC3\x80\xC3\x89Z");

  load("a\xC3\xBF" "b");  // y-diaeresis upper-cases to U+0178
  unicode::change_case(&s, nullptr, true);
  EXPECT_EQ(buffer_of(s.data2)->unit(), 2u);
  EXPECT_EQ(string::to_utf8(&s), "A\xC5\xB8" "B");

  load("\xF0\x9E\xA4\xA2x");  // U+1E922 x
  unicode::change_case(&s, nullptr, true);
  EXPECT_EQ(string::to_utf8(&s), "\xF0\x9E\xA4\x80X");
  unicode::change_case(&s, nullptr, false);
  EXPECT_EQ(string::to_utf8(&s), "\xF0\x9E\xA4\xA2x");
}

TEST_F(CaseTest, ChangeCaseOfCharsAndBadPart) {
  cell c{TYPE_CHAR, 0, 0x1E9E, 0};
  unicode::change_case(&c, nullptr, false);
  EXPECT_EQ(c.data2, 0xDFu);
  c.data2 = 0x1C6;
  unicode::change_case(&c, nullptr, true);
  EXPECT_EQ(c.data2, 0x1C4u);

  collector::root_guard keep(&s);
  load("abc");
  cell other{TYPE_NONE, 0, 0, 0};
  collector::root_guard keep_other(&other);
  string::load_at("abc", 3, &other, string::ENCODING_UTF8);
  cell word{TYPE_REFINEMENT, 0, 0, 0};
  try {
    unicode::change_case(&s, &other, true, &word);
    FAIL() << "a position in another series must be refused";
  } catch (const thrown& t) {
    EXPECT_STREQ(t.category, "script");
    EXPECT_STREQ(t.id, "invalid-refine-arg");
    EXPECT_EQ(type_of(&t.args[0]), TYPE_REFINEMENT);
    EXPECT_EQ(t.args[1].data2, other.data2);
  }
  EXPECT_EQ(string::to_utf8(&s), "abc");
}

TEST(DisplayWidth, DocumentedFacts) {
  struct { u32 cp; u32 width; u32 east_asian; } cases[] = {
      {'a', 1, 1}, {0, 0, 0}, {0x09, 1, 1}, {0x7F, 1, 1}, {0x9F, 1, 1},
      {0x0301, 0, 0},         // combining acute accent
      {0x4E00, 2, 2}, {0x1F600, 2, 2}, {0x231A, 2, 2}, {0x3FFFD, 2, 2}, {0x2A6E0, 2, 2},
      {0x00A1, 1, 2},         // ambiguous
      {0x00AD, 1, 1},         // the soft hyphen shows, in one column
      {0x00E9, 1, 2},
      {0x1160, 0, 0}, {0x200B, 0, 0}, {0xE0100, 0, 0}, {0xE01EF, 0, 0},
      {0x10FFFD, 1, 2}, {0xF0000, 1, 2},  // private use planes are ambiguous
      {0x10FFFF, 1, 1}, {0x0041, 1, 1}, {0x0300, 0, 0},  // marks stay zero-width
  };
  for (auto& c : cases) {
    EXPECT_EQ(unicode::char_width(c.cp), c.width) << std::hex << c.cp;
    EXPECT_EQ(unicode::char_width_east_asian(c.cp), c.east_asian) << std::hex << c.cp;
  }
  const u32 table[] = {10, 20, 30, 30, 40, 50};
  struct { u32 cp; u32 in; } probes[] = {{9, 0}, {10, 1}, {20, 1}, {21, 0}, {30, 1}, {31, 0},
                                         {45, 1}, {50, 1}, {51, 0}};
  for (auto& p : probes) EXPECT_EQ(unicode::in_ranges_q(p.cp, table, 6), p.in) << p.cp;
  EXPECT_EQ(unicode::in_ranges_q(5, table, 0), 0u);
}
