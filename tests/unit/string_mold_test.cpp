// string! mold, form, compare, make and to: the escape table, the choice between quotes
// and braces, the brace nesting rule on large texts, and cross-type comparison.
#include <gtest/gtest.h>

#include "runtime/unicode.h"
#include "tests/unit/text_helpers.h"

namespace vyr {
namespace {

class StringMoldTest : public ::testing::Test {
 protected:
  void SetUp() override { test::fresh_stack(); }
  std::string mold(const std::string& s, bool all = false, u32 unit = 0) {
    return test::mold_text(*test::text(s, TYPE_STRING, unit), all);
  }
};

TEST_F(StringMoldTest, EveryEscapeLetterInQuotedForm) {
  // 0x00-0x1F except 0x1E, which is written in hexadecimal.
  const char* letters = "@ABCDEFGH-/KLMNOPQRSTUVWXYZ[\\]^_";
  for (u32 c = 0; c < 0x20; c++) {
    std::string expected = c == 0x1E ? "\"^(1E)\"" : std::string("\"^") + letters[c] + "\"";
    EXPECT_EQ(mold(std::string(1, static_cast<char>(c))), expected) << c;
  }
  EXPECT_EQ(mold("^"), "\"^^\"");
  EXPECT_EQ(mold("\x7F"), "\"^~\"");
  EXPECT_EQ(mold("\xC2\x80"), "\"^(80)\"");      // 0x80-0x9F always in hexadecimal
  EXPECT_EQ(mold("\xC3\xA9"), "\"\xC3\xA9\"");   // 0xE9 as itself ...
  EXPECT_EQ(mold("\xC3\xA9", true), "\"^(E9)\"");  // ... and in hexadecimal with /all
  EXPECT_EQ(mold("{a}"), "\"{a}\"");             // braces are ordinary between quotes
  EXPECT_EQ(mold("abc"), "\"abc\"");
  EXPECT_EQ(mold(""), "\"\"");
}

TEST_F(StringMoldTest, ChoosesBracesByQuotesLinesAndLength) {
  EXPECT_EQ(mold("a\"b"), "{a\"b}");               // a quote is written as itself
  EXPECT_EQ(mold("a\nb\nc"), "\"a^/b^/c\"");        // two line feeds: quotes
  EXPECT_EQ(mold("a\nb\nc\n"), "{a^/b^/c^/}");      // three: braces, still escaped
  EXPECT_EQ(mold(std::string(49, 'x')), "\"" + std::string(49, 'x') + "\"");
  EXPECT_EQ(mold(std::string(50, 'x')), "{" + std::string(50, 'x') + "}");
  EXPECT_EQ(mold("\"^\t"), "{\"^^^-}");
  // The whole string from the head decides, not the /part range.
  cell part = test::int_cell(3);
  cell* s = test::text(std::string(60, 'y'));
  cell* out = stack::push_slot();
  out->header = TYPE_UNSET;
  string::make_at(out, 16);
  actions::mold(s, out, false, false, false, &part, 3);
  EXPECT_EQ(test::utf8(out), "{yyy}");
}

TEST_F(StringMoldTest, BracesFollowTheNestingRule) {
  struct { const char* in; const char* out; } cases[] = {
      {"\"{a}", "{\"{a}}"},
      {"\"a}b{", "{\"a^}b^{}"},
      {"\"{{}", "{\"^{^{^}}"},          // the first "{" has no match: all escaped after it
      {"\"{x}{", "{\"{x}^{}"},           // balanced part stays, the lone "{" is escaped
      {"\"}{}", "{\"^}{}}"},
      {"\"{a{b}c}", "{\"{a{b}c}}"},
  };
  for (const auto& c : cases) EXPECT_EQ(mold(c.in), c.out) << c.in;
}

TEST_F(StringMoldTest, LargeBracedTextsMoldInLinearTime) {
  // Many "{" without a match: a search per brace would take quadratic time here.
  std::string big = "\"" + std::string(200000, '{');
  std::string m = mold(big);
  ASSERT_EQ(m.size(), 2 + 1 + 2 * 200000u);
  EXPECT_EQ(m.substr(0, 6), "{\"^{^{");
  std::string nested = "\"" + std::string(100000, '{') + std::string(100000, '}');
  EXPECT_EQ(mold(nested), "{" + nested + "}");
}

TEST_F(StringMoldTest, MoldKeepsWideCharactersAndMultiLineText) {
  std::string line = "\xE4\xB8\xAD\xF0\x9F\x98\x80 line\n";
  std::string text;
  for (int i = 0; i < 5; i++) text += line;
  std::string expected = "{";
  for (int i = 0; i < 5; i++) expected += "\xE4\xB8\xAD\xF0\x9F\x98\x80 line^/";
  EXPECT_EQ(mold(text), expected + "}");
  EXPECT_EQ(mold("abc", false, 4), "\"abc\"");
}

TEST_F(StringMoldTest, FormWritesTextAndHonoursPart) {
  EXPECT_EQ(test::form_text(*test::text("a\"^\n")), "a\"^\n");
  cell* s = test::text("abcdef");
  cell* out = stack::push_slot();
  out->header = TYPE_UNSET;
  string::make_at(out, 16);
  cell part = test::int_cell(4);
  EXPECT_EQ(actions::form(s, out, &part, 4), 0);
  EXPECT_EQ(test::utf8(out), "abcd");
}

TEST_F(StringMoldTest, ComparesFoldingCaseAcrossTypesAndWidths) {
  cell* abc = test::text("abc");
  cell* ABC = test::text("ABC", TYPE_STRING, 4);
  cell* ab = test::text("ab");
  cell* file = test::text("abc", TYPE_FILE);
  EXPECT_TRUE(actions::compare(abc, ABC, compare_op::EQUAL));
  EXPECT_FALSE(actions::compare(abc, ABC, compare_op::STRICT_EQUAL));
  EXPECT_TRUE(actions::compare(ab, abc, compare_op::LESSER));
  EXPECT_TRUE(actions::compare(abc, file, compare_op::EQUAL));
  EXPECT_EQ(actions::compare_value(abc, file, compare_op::LESSER), COMPARE_NOT_COMPARABLE);
  EXPECT_EQ(actions::compare_value(abc, file, compare_op::FIND), COMPARE_NOT_COMPARABLE);
  cell e1 = *test::text("\xC3\xA9");
  cell* e2 = test::text("\xC3\x89", TYPE_STRING, 2);
  EXPECT_TRUE(actions::compare(&e1, e2, compare_op::EQUAL));
  cell same = *abc;
  EXPECT_EQ(actions::compare_value(abc, &same, compare_op::SAME), 0);
  EXPECT_EQ(actions::compare_value(abc, file, compare_op::SAME), COMPARE_NOT_COMPARABLE);
}

TEST_F(StringMoldTest, MakeAndTo) {
  cell proto{TYPE_DATATYPE, TYPE_STRING, 0, 0};
  cell n = test::int_cell(10);
  cell made = *actions::make(&proto, &n);
  EXPECT_EQ(type_of(&made), TYPE_STRING);
  EXPECT_EQ(string::rs_length_q(&made), 0);
  cell neg = test::int_cell(-1);
  EXPECT_EQ(test::error_of([&] { actions::make(&proto, &neg); }), "script/out-of-range");
  EXPECT_EQ(test::error_of([&] { actions::to(&proto, &none_value); }), "script/bad-to-arg");
  cell file_proto{TYPE_DATATYPE, TYPE_FILE, 0, 0};
  cell* src = test::text("a b");
  cell f = *actions::to(&file_proto, src);
  EXPECT_EQ(type_of(&f), TYPE_FILE);
  EXPECT_EQ(test::utf8(&f), "a b");
  EXPECT_NE(f.data2, src->data2);  // a copy
  cell i = test::int_cell(42);
  EXPECT_EQ(test::utf8(actions::to(&proto, &i)), "42");
  cell c = test::char_cell(0xE9);
  EXPECT_EQ(test::utf8(actions::to(&proto, &c)), "\xC3\xA9");
}

TEST_F(StringMoldTest, ToStringFromBinaryIsStrict) {
  cell proto{TYPE_DATATYPE, TYPE_STRING, 0, 0};
  const u8 good[] = {'a', 0xC3, 0xA9};
  cell* bin = stack::push_slot();
  *bin = unicode::small_binary(good, 3);
  EXPECT_EQ(test::utf8(actions::to(&proto, bin)), "a\xC3\xA9");
  const u8 cut[] = {'a', 0xE2, 0x82};
  *bin = unicode::small_binary(cut, 3);
  EXPECT_EQ(test::error_of([&] { actions::to(&proto, bin); }), "access/invalid-utf8");
}

}  // namespace
}  // namespace vyr
