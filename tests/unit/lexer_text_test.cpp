// Text to number scanners (over 1-, 2- and 4-byte units), the number rules of token text,
// and caret escape decoding.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "runtime/lexer/lexer_escapes.h"
#include "runtime/lexer/lexer_numbers.h"

using namespace vyr;
using namespace vyr::lexer;

namespace {
// The text as code units of the given width.
std::vector<char> units(const std::string& s, u32 unit) {
  std::vector<char> out(s.size() * unit + 1, 0);
  for (size_t i = 0; i < s.size(); i++) out[i * unit] = s[i];  // little-endian, ASCII
  return out;
}
}  // namespace

TEST(LexerNumbers, StringToIntegerTable) {
  struct { const char* text; i32 value; i32 error; } cases[] = {
      {"0", 0, 0}, {"42", 42, 0}, {"+7", 7, 0}, {"-13", -13, 0}, {"1'000'000", 1000000, 0},
      {"2147483647", 2147483647, 0}, {"-2147483648", INT32_MIN, 0},
      {"2147483648", 0, -2}, {"-2147483649", 0, -2}, {"-21474836480", 0, -2},
      {"99999999999", 0, -2}, {"12a", 0, -1}, {"1.5", 0, -1}, {" 1", 0, -1},
      // Nothing to read is not zero.
      {"", 0, -1}, {"-", 0, -1}, {"+", 0, -1}, {"'", 0, -1},
  };
  for (u32 unit : {1u, 2u, 4u})
    for (auto& c : cases) {
      auto u = units(c.text, unit);
      i32 err = 0;
      i32 v = string_to_integer(u.data(), static_cast<i32>(std::strlen(c.text)), unit, &err);
      EXPECT_EQ(err, c.error) << c.text << " unit " << unit;
      if (c.error == 0) { EXPECT_EQ(v, c.value) << c.text; }
    }
  // The count bounds the read: "12" of "123".
  i32 err = 0;
  EXPECT_EQ(string_to_integer("123", 2, 1, &err), 12);
  EXPECT_EQ(err, 0);
  EXPECT_EQ(string_to_integer("-5", 1, 1, &err), 0);
  EXPECT_EQ(err, -1);
}

TEST(LexerNumbers, FloatSyntax) {
  for (const char* ok : {"1", "1.5", ".5", "1.", "-1.5e10", "+2E-3", "1'000.5", "1e5", "0.1'2"})
    EXPECT_TRUE(float_syntax_q(ok, ok + std::strlen(ok))) << ok;
  for (const char* bad : {"", ".", "-", "1.5.2", "1e", "1e+", "e5", "'1", "1x", "1,5", "1e5.5",
                          "--1", "1.#INF"})
    EXPECT_FALSE(float_syntax_q(bad, bad + std::strlen(bad))) << bad;
}

TEST(LexerNumbers, MoneyText) {
  struct { const char* text; bool ok; bool neg; const char* cur; const char* digits; u32 ints; } cases[] = {
      {"USD$1.50", true, false, "USD", "150", 1}, {"$1", true, false, "", "1", 1},
      {"-$0.5", true, true, "", "05", 1}, {"1.50", true, false, "", "150", 1},
      {"$1'000", true, false, "", "1000", 4}, {"eur$3", true, false, "eur", "3", 1},
      {"US$1", false, false, "", "", 0}, {"$", false, false, "", "", 0},
      {"1'.5", false, false, "", "", 0}, {"", false, false, "", "", 0},
      {"USD1", false, false, "", "", 0}, {"'1", false, false, "", "", 0},
      {"1'", false, false, "", "", 0}, {"1''0", false, false, "", "", 0},
      {".5", false, false, "", "", 0}, {"5.", false, false, "", "", 0},
      {"1.2.3", false, false, "", "", 0}, {"1.2'3", false, false, "", "", 0},
      {"$1a", false, false, "", "", 0}, {"-", false, false, "", "", 0},
  };
  for (auto& c : cases) {
    money_parts m;
    bool ok = string_to_money(c.text, static_cast<i32>(std::strlen(c.text)), 1, &m);
    EXPECT_EQ(ok, c.ok) << c.text;
    if (!ok || !c.ok) continue;
    EXPECT_EQ(m.negative, c.neg) << c.text;
    EXPECT_STREQ(m.currency, c.cur) << c.text;
    EXPECT_EQ(std::string(m.digits), c.digits) << c.text;
    EXPECT_EQ(m.int_digits, c.ints) << c.text;
  }
}

TEST(LexerNumbers, TupleText) {
  cell t{};
  string_to_tuple("1.2.255", 7, 1, &t);
  EXPECT_EQ(type_of(&t), TYPE_TUPLE);
  EXPECT_EQ((t.header >> 19) & 0xF, 3u);
  const u8* b = reinterpret_cast<const u8*>(&t.data1);
  EXPECT_EQ(b[0], 1); EXPECT_EQ(b[1], 2); EXPECT_EQ(b[2], 255); EXPECT_EQ(b[3], 0);
  string_to_tuple("1.2.3.4.5.6.7.8.9.10.11.12", 26, 1, &t);
  EXPECT_EQ((t.header >> 19) & 0xF, 12u);
  for (const char* bad : {"1.2.3.4.5.6.7.8.9.10.11.12.13", "1.256.3", "1..2", "1.2.", "", "1.a",
                          "99999999999999.1"}) {
    string_to_tuple(bad, static_cast<i32>(std::strlen(bad)), 1, &t);
    EXPECT_EQ(t.header, 0xFFFFFFFFu) << bad;
  }
}

TEST(LexerNumbers, IntegerAndHexTokens) {
  struct { const char* text; integer_text r; i32 v; } cases[] = {
      {"12", INTEGER_OK, 12}, {"-2147483648", INTEGER_OK, INT32_MIN}, {"+1'000", INTEGER_OK, 1000},
      {"2147483647", INTEGER_OK, INT32_MAX}, {"2147483648", INTEGER_AS_FLOAT, 0},
      {"12345678901", INTEGER_AS_FLOAT, 0}, {"-2147483649", INTEGER_AS_FLOAT, 0},
      {"00000000001", INTEGER_AS_FLOAT, 0}, {"1''000", INTEGER_BAD, 0}, {"-", INTEGER_BAD, 0},
  };
  for (auto& c : cases) {
    i32 v = 0;
    EXPECT_EQ(scan_integer_text(c.text, c.text + std::strlen(c.text), &v), c.r) << c.text;
    if (c.r == INTEGER_OK) { EXPECT_EQ(v, c.v) << c.text; }
  }
  i32 v = 0;
  const char* ok[] = {"FFh", "0FFh", "12h", "FFFFFFFFh"};
  i32 want[] = {255, 255, 0x12, -1};
  for (int i = 0; i < 4; i++) {
    EXPECT_TRUE(scan_hex_text(ok[i], ok[i] + std::strlen(ok[i]), &v)) << ok[i];
    EXPECT_EQ(v, want[i]) << ok[i];
  }
  for (const char* bad : {"Fh", "FFFFFFFFFh", "ffh", "-FFh", "F'Fh", "FF"})
    EXPECT_FALSE(scan_hex_text(bad, bad + std::strlen(bad), &v)) << bad;
}

TEST(LexerEscapes, CaretEscapesTable) {
  struct { const char* text; std::u32string cps; } cases[] = {
      {"a^/b", U"a\nb"}, {"^-", U"\t"}, {"^\"", U"\""}, {"^^", U"^"}, {"^{^}", U"{}"},
      {"^~", U"\x7F"}, {"^@", std::u32string(1, 0)}, {"^a^Z", U"\x01\x1A"}, {"^[^_", U"\x1B\x1F"},
      {"^(tab)^(LINE)^(Null)", std::u32string(U"\t\n") + char32_t(0)},
      {"^(back)^(page)^(esc)^(del)", U"\x08\x0C\x1B\x7F"},
      {"^(41)^(e9)^(1F600)^(10FFFF)", U"A\u00E9\U0001F600\U0010FFFF"},
      {"^q^1^\xC3\xA9", U"\x11" U"1\u00E9"}, {"\xE2\x82\xAC", U"\u20AC"},
  };
  for (auto& c : cases) {
    std::u32string out;
    const u8* p = reinterpret_cast<const u8*>(c.text);
    EXPECT_TRUE(decode_text(p, p + std::strlen(c.text), true, [&](u32 cp) { out += char32_t(cp); }))
        << c.text;
    EXPECT_EQ(out, c.cps) << c.text;
  }
  for (const char* bad : {"^(110000)", "^(D800)", "^(DFFF)", "^(FFFFFFF)", "^(1234567)", "^()",
                          "^(xyz)", "^(12", "a^", "\xC3", "\xC0\x80", "\xED\xA0\x80"}) {
    const u8* p = reinterpret_cast<const u8*>(bad);
    EXPECT_FALSE(decode_text(p, p + std::strlen(bad), true, [](u32) {})) << bad;
  }
  // Without escapes a caret is text.
  std::u32string out;
  const u8* p = reinterpret_cast<const u8*>("a^/");
  EXPECT_TRUE(decode_text(p, p + 3, false, [&](u32 cp) { out += char32_t(cp); }));
  EXPECT_EQ(out, U"a^/");
}

TEST(LexerEscapes, CharLiteralsAndUnits) {
  auto ch = [](const char* s, u32* cp) {
    const u8* p = reinterpret_cast<const u8*>(s);
    return decode_char(p, p + std::strlen(s), cp);
  };
  u32 cp = 0;
  EXPECT_TRUE(ch("a", &cp)); EXPECT_EQ(cp, u32('a'));
  EXPECT_TRUE(ch("^(1F600)", &cp)); EXPECT_EQ(cp, 0x1F600u);
  EXPECT_TRUE(ch("^\"", &cp)); EXPECT_EQ(cp, u32('"'));
  EXPECT_FALSE(ch("", &cp));
  EXPECT_FALSE(ch("ab", &cp));
  EXPECT_FALSE(ch("^(110000)", &cp));
  EXPECT_FALSE(ch("^(D800)", &cp));
  auto unit = [](const char* s) {
    const u8* p = reinterpret_cast<const u8*>(s);
    return decoded_unit(p, p + std::strlen(s), true);
  };
  EXPECT_EQ(unit("abc"), 1u);
  EXPECT_EQ(unit("^(e9)"), 2u);
  EXPECT_EQ(unit("x^(1F600)"), 4u);
  EXPECT_EQ(unit("^(110000)"), 0u);
}
