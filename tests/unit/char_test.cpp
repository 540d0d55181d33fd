// char!: conversions with their range checks, the UTF-8 reader bounded by the data, mold
// escapes, comparison and arithmetic that stays in the code point range.
#include <gtest/gtest.h>

#include <cmath>

#include "runtime/datatypes/char.h"
#include "tests/unit/text_helpers.h"

namespace vyr {
namespace {

using test::char_cell;

class CharTest : public ::testing::Test {
 protected:
  void SetUp() override { test::fresh_stack(); }
  cell to_char(const cell& spec) {
    cell proto{TYPE_DATATYPE, TYPE_CHAR, 0, 0};
    return *actions::to(&proto, &spec);
  }
};

TEST_F(CharTest, ConvertsNumbersAndTextWithRangeChecks) {
  EXPECT_EQ(to_char(test::int_cell(97)).data2, 97u);
  EXPECT_EQ(to_char(test::float_cell(65.9)).data2, 65u);
  EXPECT_EQ(to_char(test::float_cell(-0.5)).data2, 0u);
  EXPECT_EQ(to_char(*test::text("abc")).data2, static_cast<u32>('a'));
  EXPECT_EQ(to_char(*test::text("\xC3\xA9")).data2, 0xE9u);
  struct bad { cell spec; const char* error; };
  const bad cases[] = {
      {test::int_cell(1114112), "script/out-of-range"},
      {test::int_cell(-1), "script/out-of-range"},
      // Floats are checked before they are truncated, NaN and huge values included.
      {test::float_cell(1114112.0), "script/out-of-range"},
      {test::float_cell(1e300), "script/out-of-range"},
      {test::float_cell(-1.0), "script/out-of-range"},
      {test::float_cell(std::nan("")), "script/out-of-range"},
      {*test::text(""), "script/bad-to-arg"},
      {none_value, "script/bad-to-arg"},
  };
  for (const bad& c : cases)
    EXPECT_EQ(test::error_of([&] { to_char(c.spec); }), c.error) << test::describe(c.spec);
}

TEST_F(CharTest, Utf8ReaderIsBoundedByTheData) {
  cell spec = none_value;
  const u8 ascii[] = {'A'};
  EXPECT_EQ(char_::from_utf8(ascii, 1, &spec), 65u);  // one byte counts one, not zero
  const u8 e_acute[] = {0xC3, 0xA9, 'x'};
  EXPECT_EQ(char_::from_utf8(e_acute, 3, &spec), 0xE9u);
  const u8 emoji[] = {0xF0, 0x9F, 0x98, 0x80};
  EXPECT_EQ(char_::from_utf8(emoji, 4, &spec), 0x1F600u);
  // A sequence cut by the end of the data is an error, never a read past it.
  const u8 cut[] = {0xE2, 0x82};
  EXPECT_EQ(test::error_of([&] { char_::from_utf8(cut, 2, &spec); }), "access/invalid-utf8");
  EXPECT_EQ(test::error_of([&] { char_::from_utf8(cut, 0, &spec); }), "script/bad-to-arg");
  const u8 bad_continuation[] = {0xC3, 0x41};
  EXPECT_EQ(test::error_of([&] { char_::from_utf8(bad_continuation, 2, &spec); }),
            "access/invalid-utf8");
}

TEST_F(CharTest, MoldEscapesAndForm) {
  struct { u32 cp; bool all; const char* text; } cases[] = {
      {'a', false, "#\"a\""},       {'"', false, "#\"^\"\""},   {'^', false, "#\"^^\""},
      {'\t', false, "#\"^-\""},     {'\n', false, "#\"^/\""},   {0, false, "#\"^@\""},
      {0x1E, false, "#\"^(1E)\""},  {0x7F, false, "#\"^~\""},   {0x80, false, "#\"^(80)\""},
      {0xE9, false, "#\"\xC3\xA9\""}, {0xE9, true, "#\"^(E9)\""}, {0x1B, false, "#\"^[\""},
      {0x10FFFF, true, "#\"^(10FFFF)\""}, {'{', false, "#\"{\""},
  };
  for (const auto& c : cases)
    EXPECT_EQ(test::mold_text(char_cell(c.cp), c.all), c.text) << c.cp;
  EXPECT_EQ(test::form_text(char_cell(0xE9)), "\xC3\xA9");
}

TEST_F(CharTest, ComparesCodePointsWithoutFolding) {
  cell a = char_cell('a');
  cell big_a = char_cell('A');
  cell n97 = test::int_cell(97);
  EXPECT_EQ(char_::compare(&a, &n97, compare_op::EQUAL), 0);
  EXPECT_EQ(char_::compare(&a, &n97, compare_op::STRICT_EQUAL), 1);
  EXPECT_EQ(char_::compare(&a, &n97, compare_op::FIND), 1);
  EXPECT_NE(char_::compare(&a, &big_a, compare_op::EQUAL), 0);
  EXPECT_EQ(char_::compare(&big_a, &a, compare_op::LESSER), -1);
  EXPECT_EQ(char_::compare(&a, test::text("a"), compare_op::EQUAL), COMPARE_NOT_COMPARABLE);
}

TEST_F(CharTest, ArithmeticStaysInTheCodePointRange) {
  EXPECT_EQ(test::call2(actions::add_entry, char_cell('a'), test::int_cell(1)).data2, 98u);
  EXPECT_EQ(test::call2(actions::add_entry, char_cell('a'), test::float_cell(1.9)).data2, 98u);
  cell sum = test::call2(actions::add_entry, char_cell('a'), test::int_cell(1));
  EXPECT_EQ(type_of(&sum), TYPE_CHAR);
  EXPECT_EQ(test::call2(actions::divide_entry, char_cell('a'), test::int_cell(2)).data2, 48u);
  EXPECT_EQ(test::call2(actions::xor_entry, char_cell('a'), test::int_cell(32)).data2,
            static_cast<u32>('A'));
  struct { void (*op)(); cell b; const char* error; } bad[] = {
      {actions::subtract_entry, test::int_cell(98), "math/overflow"},
      {actions::add_entry, test::int_cell(0x10FFFF), "math/overflow"},
      {actions::multiply_entry, test::int_cell(0x7FFFFFFF), "math/overflow"},
      {actions::divide_entry, test::int_cell(0), "math/zero-divide"},
      // A float is checked before it is truncated to an integer.
      {actions::add_entry, test::float_cell(1e12), "math/overflow"},
      {actions::add_entry, test::float_cell(std::nan("")), "math/overflow"},
      {actions::add_entry, none_value, "script/invalid-type"},
  };
  for (const auto& c : bad)
    EXPECT_EQ(test::error_of([&] { test::call2(c.op, char_cell('a'), c.b); }), c.error);
  cell big = char_cell(0x10FFFF);
  EXPECT_EQ(test::error_of([&] { test::call2(actions::add_entry, big, test::int_cell(1)); }),
            "math/overflow");
}

TEST_F(CharTest, RefusesWhatIntegerHasButCharDoesNot) {
  cell a = char_cell('a');
  EXPECT_EQ(test::error_of([&] { actions::negate(&a); }), "script/expect-arg");
  EXPECT_EQ(test::error_of([&] { actions::complement(&a); }), "script/expect-arg");
  EXPECT_TRUE(actions::odd_q(&a));  // inherited from integer!
}

}  // namespace
}  // namespace vyr
