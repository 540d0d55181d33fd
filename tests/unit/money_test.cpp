// money!: the cell bytes the VYRBIN codec carries, the digit services, the currency index
// limit of one byte, and the float conversions at their edges.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "runtime/collector.h"
#include "runtime/datatypes/money.h"
#include "runtime/datatypes/word.h"
#include "tests/unit/value_helpers.h"

using namespace vyr;
using namespace vyr::test;

namespace {
struct Money : ::testing::Test {
  void SetUp() override { fresh_stack(); }
};

cell money_of(const char* int_digits, const char* fraction, bool negative = false,
              const char* currency = nullptr) {
  cell m;
  cell* r = money::make_at(&m, negative, currency, int_digits, u32(std::strlen(int_digits)),
                           fraction, u32(std::strlen(fraction)));
  EXPECT_NE(r, nullptr) << int_digits << "." << fraction;
  return m;
}
}  // namespace

TEST_F(Money, CellBytesAsStored) {
  // -USD$1234.5: sign in header bit 14, the currency's index in byte 4, then 22 packed
  // digits, the earlier digit in the high nibble.
  cell m = money_of("1'234", "5", true, "USD");
  const u8* bytes = reinterpret_cast<const u8*>(&m);
  EXPECT_EQ(m.header & 0xFF, u32{TYPE_MONEY});
  EXPECT_EQ(m.header & money::SIGN_MASK, money::SIGN_MASK);
  EXPECT_EQ(bytes[4], 155);  // USD's place in the currency list
  const u8 digits[11] = {0, 0, 0, 0, 0, 0, 0x01, 0x23, 0x45, 0x00, 0x00};
  EXPECT_EQ(std::memcmp(bytes + 5, digits, 11), 0);
  // load_at gives the same cell back from its parts, as the codec decodes it.
  cell loaded;
  money::load_at(&loaded, true, 155, digits);
  EXPECT_EQ(std::memcmp(&loaded, &m, sizeof m), 0);
  EXPECT_EQ(mold_text(loaded, true), "-USD$1234.50000");
  stack::reset();
  const cell* pushed = money::push(false, 0, digits);
  EXPECT_EQ(form_text(*pushed), "$1'234.50");
}

TEST_F(Money, DigitServices) {
  u8 d[11] = {};
  money::set_digit(d, 1, 9);
  money::set_digit(d, 22, 7);
  money::set_digit(d, 17, 5);
  EXPECT_EQ(d[0], 0x90);
  EXPECT_EQ(d[10], 0x07);
  EXPECT_EQ(d[8], 0x50);
  EXPECT_EQ(money::get_digit(d, 17), 5u);
  EXPECT_EQ(money::digit_count(d), 22u);
  money::shift_left(d, 11, 1);  // the 9 falls off the top
  EXPECT_EQ(money::get_digit(d, 1), 0u);
  EXPECT_EQ(money::get_digit(d, 16), 5u);
  EXPECT_EQ(money::get_digit(d, 21), 7u);
  EXPECT_EQ(money::get_digit(d, 22), 0u);
  EXPECT_EQ(money::digit_count(d), 7u);
  money::shift_right(d, 11, 3);
  EXPECT_EQ(money::get_digit(d, 19), 5u);
  EXPECT_EQ(money::get_digit(d, 22), 0u);  // the 7 went out at the bottom
  u8 zero[11] = {};
  EXPECT_EQ(money::digit_count(zero), 1u);
  EXPECT_EQ(money::compare_digits(zero, d), -1);
  EXPECT_EQ(money::compare_digits(d, d), 0);
  EXPECT_EQ(money::sign_pair(-1, -1), 0u);
  EXPECT_EQ(money::sign_pair(1, 1), 34u);
  EXPECT_EQ(money::sign_pair(0, 0), 17u);
}

TEST_F(Money, ZeroIsUnsignedWhateverBit14Holds) {
  u8 zero[11] = {};
  cell z;
  money::load_at(&z, true, 0, zero);
  EXPECT_EQ(money::sign_q(&z), 0);
  EXPECT_FALSE(money::negative_q(&z));
  EXPECT_EQ(mold_text(z), "$0.00");
}

TEST_F(Money, LimitsOfTheTextAndTheIntegers) {
  cell m;
  EXPECT_EQ(money::make_at(&m, false, nullptr, "123456789012345678", 18, "", 0), nullptr);
  EXPECT_NE(money::make_at(&m, false, nullptr, "00012345678901234567", 20, "", 0), nullptr)
      << "leading zeros are not counted";
  EXPECT_EQ(money::make_at(&m, false, nullptr, "1", 1, "123456", 6), nullptr);
  EXPECT_EQ(money::make_at(&m, false, "XYZ", "1", 1, "", 0), nullptr);
  money::from_integer(&m, INT32_MIN);
  EXPECT_EQ(mold_text(m), "-$2147483648.00");
  EXPECT_EQ(money::to_integer(&m), INT32_MIN);
  m = money_of("2147483647", "99999");
  EXPECT_EQ(money::to_integer(&m), INT32_MAX);
  m = money_of("2147483648", "");
  EXPECT_EQ(error_of([&] { money::to_integer(&m); }), "script/type-limit");
}

TEST_F(Money, FloatConversionsUseTheShortestDigits) {
  struct { double value; bool strict; const char* mold; } cases[] = {
      {0.1, true, "$0.10000"},       {1.1, true, "$1.10000"},
      {0.3, false, "$0.30000"},      {1.123456, false, "$1.12345"},
      {-2.5, true, "-$2.50000"},     {1e-5, true, "$0.00001"},
      {99999999999999984.0, true, "$99999999999999984.00000"},
      {-0.0, true, "$0.00000"},
  };
  for (const auto& c : cases) {
    cell m;
    money::from_float(&m, c.value, c.strict);
    EXPECT_EQ(mold_text(m, true), c.mold) << c.value;
  }
  for (double bad : {1.123456, 1e17, 9e-6, 1.0 / 0.0, -1.0 / 0.0}) {
    cell m;
    EXPECT_EQ(error_of([&] { money::from_float(&m, bad, true); }), "script/bad-make-arg") << bad;
  }
  cell m = money_of("0", "1");
  EXPECT_EQ(money::to_float(&m), 0.1);
  m = money_of("12345678901234567", "89012");
  EXPECT_EQ(money::to_float(&m), 12345678901234567.89012);
}

TEST_F(Money, CurrencyBeyondTheIndexByteIsUnknown) {
  // A list of 300 codes: the 255th is addressable, the 256th would wrap to index 0.
  cell saved = money::currencies;
  collector::root_guard keep(&saved);
  cell* list = block_of({});
  collector::root_guard keep_list(list);
  std::string codes[300];
  for (int i = 0; i < 300; i++) {
    codes[i] = std::string(1, char('A' + i / 26 % 26)) + char('A' + i % 26) + "Q";
    cell w = word::intern(codes[i].c_str());
    series_buffer* b = buffer_of(list->data2);
    *memory::alloc_tail_cell(b) = w;
  }
  money::set_currencies(list);
  cell w255 = word::intern(codes[254].c_str()), w256 = word::intern(codes[255].c_str());
  EXPECT_EQ(money::get_currency_index(&w255), 255);
  EXPECT_EQ(money::get_currency_index(&w256), -1);
  cell m;
  EXPECT_NE(money::make_at(&m, false, codes[254].c_str(), "1", 1, "", 0), nullptr);
  EXPECT_EQ(money::get_currency(&m), 255u);
  EXPECT_EQ(money::make_at(&m, false, codes[255].c_str(), "1", 1, "", 0), nullptr);
  money::set_currencies(&saved);
}
