// The one UTF-8 decoder pair and encoder (base/utf8.h), driven from a table of well-formed
// and malformed inputs: the strict decoder's outcome, the fast decoder's answer and the
// well-formed reading shown text gets.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "base/utf8.h"

namespace {

using vyr::utf8::outcome;
constexpr uint32_t FFFD = vyr::utf8::REPLACEMENT;

struct row {
  const char* what;
  std::string_view bytes;
  outcome strict;  // decode()
  uint32_t cp, size;
  int32_t fast_cp;  // fast_decode(): code point (-1 rejected) and bytes consumed
  uint32_t fast_used;
  uint32_t shown, shown_size;  // next_well_formed()
};

const row rows[] = {
    {"ASCII", "A", outcome::ok, 0x41, 1, 0x41, 1, 0x41, 1},
    {"two bytes", "\xC3\xA9", outcome::ok, 0xE9, 2, 0xE9, 2, 0xE9, 2},
    {"three bytes", "\xE2\x82\xAC", outcome::ok, 0x20AC, 3, 0x20AC, 3, 0x20AC, 3},
    {"four bytes", "\xF0\x9F\x98\x80", outcome::ok, 0x1F600, 4, 0x1F600, 4, 0x1F600, 4},
    {"last code point", "\xF4\x8F\xBF\xBF", outcome::ok, 0x10FFFF, 4, 0x10FFFF, 4, 0x10FFFF, 4},
    // Overlong forms: the strict decoder reads what they spell, the others refuse them.
    {"overlong NUL", "\xC0\x80", outcome::ok, 0, 2, -1, 1, FFFD, 1},
    {"overlong slash", "\xE0\x80\xAF", outcome::ok, 0x2F, 3, -1, 2, FFFD, 3},
    {"overlong four bytes", "\xF0\x80\x80\x80", outcome::ok, 0, 4, -1, 2, FFFD, 4},
    // Surrogates: only DC00-DCFF is refused strictly.
    {"high surrogate", "\xED\xA0\x80", outcome::ok, 0xD800, 3, -1, 2, FFFD, 3},
    {"low surrogate", "\xED\xB2\x80", outcome::refused, 0xDC80, 3, -1, 2, FFFD, 3},
    {"last surrogate", "\xED\xBF\xBF", outcome::ok, 0xDFFF, 3, -1, 2, FFFD, 3},
    // Past U+10FFFF.
    {"above U+10FFFF", "\xF4\x90\x80\x80", outcome::refused, 0x110000, 4, -1, 2, FFFD, 4},
    {"lead F5", "\xF5\x80\x80\x80", outcome::refused, 0x140000, 4, -1, 1, FFFD, 1},
    {"lead F8", "\xF8\x80\x80\x80\x80", outcome::bad, 0, 1, -1, 1, FFFD, 1},
    // Truncated: cut by the end of the bytes.
    {"cut after one", "\xE2\x82", outcome::cut, 0, 2, -1, 2, FFFD, 2},
    {"cut lead alone", "\xF0", outcome::cut, 0, 1, -1, 1, FFFD, 1},
    {"cut with a bad byte", "\xE2\x41", outcome::cut, 0, 1, -1, 2, FFFD, 1},
    // Bad continuation bytes.
    {"stray continuation", "\x80", outcome::bad, 0, 1, -1, 1, FFFD, 1},
    {"bad second byte", "\xC3\x41", outcome::bad, 0, 1, -1, 2, FFFD, 1},
    {"bad third byte", "\xE2\x82\x41", outcome::bad, 0, 2, -1, 3, FFFD, 2},
};

TEST(BaseUtf8, DecodersTable) {
  for (const row& r : rows) {
    const auto* p = reinterpret_cast<const uint8_t*>(r.bytes.data());
    vyr::utf8::decoded d = vyr::utf8::decode(p, r.bytes.size());
    EXPECT_EQ(int(d.status), int(r.strict)) << r.what;
    if (d.status == outcome::ok || d.status == outcome::refused) EXPECT_EQ(d.cp, r.cp) << r.what;
    EXPECT_EQ(d.size, r.size) << r.what;

    int32_t cp = 0;
    const uint8_t* after = vyr::utf8::fast_decode(p, p + r.bytes.size(), &cp);
    EXPECT_EQ(cp, r.fast_cp) << r.what;
    EXPECT_EQ(uint32_t(after - p), r.fast_used) << r.what;

    vyr::utf8::decoded w = vyr::utf8::next_well_formed(p, r.bytes.size());
    EXPECT_EQ(w.cp, r.shown) << r.what;
    EXPECT_EQ(w.size, r.shown_size) << r.what;
  }
}

TEST(BaseUtf8, EncoderRoundTripsAndRefusesPastTheRange) {
  for (uint32_t cp : {0u, 0x7Fu, 0x80u, 0x7FFu, 0x800u, 0xD800u, 0xFFFFu, 0x10000u, 0x10FFFFu}) {
    uint8_t b[4];
    uint32_t n = vyr::utf8::encode(cp, b);
    EXPECT_EQ(n, vyr::utf8::encoded_size(cp)) << cp;
    vyr::utf8::decoded d = vyr::utf8::decode(b, n);
    EXPECT_EQ(d.cp, cp);
    EXPECT_EQ(d.size, n);
  }
  uint8_t b[4] = {1, 2, 3, 4};
  EXPECT_EQ(vyr::utf8::encode(0x110000u, b), 0u);
  EXPECT_EQ(b[0], 1);
  std::string s;
  vyr::utf8::append_scalar(s, 0xDC00);
  vyr::utf8::append(s, 0xDC00);
  EXPECT_EQ(s, "\xEF\xBF\xBD\xED\xB0\x80");
}

}  // namespace
