// String storage: widening rules of each writer, growth, concatenate modes, loaders and
// their errors, the hexadecimal routines and the shared tables.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "runtime/datatypes/string.h"
#include "runtime/fire.h"
#include "runtime/unicode.h"
#include "tests/unit/fixture.h"

using namespace vyr;

namespace {

struct StringTest : ::testing::Test {
  cell v[4] = {};
  collector::root_guard* keep = nullptr;
  void SetUp() override {
    test::ensure_runtime();
    for (cell& c : v) c.header = TYPE_NONE;
    keep = new collector::root_guard(v, 4);
  }
  void TearDown() override { delete keep; }

  // Loads UTF-8 text into v[i] and, when unit > 1, widens it to that unit.
  cell* str(int i, const std::string& text, u32 unit = 0) {
    string::load_at(text.data(), u32(text.size()), &v[i], string::ENCODING_UTF8);
    series_buffer* b = buffer_of(v[i].data2);
    if (unit) string::widen_to(b, b->unit(), unit);
    return &v[i];
  }
  u32 unit(int i) { return buffer_of(v[i].data2)->unit(); }
  std::string text(int i) { return string::to_utf8(&v[i]); }
};

std::string error_of(void (*f)(cell*), cell* c) {
  try {
    f(c);
  } catch (const thrown& t) {
    return std::string(t.category) + "/" + t.id;
  }
  return "";
}

}  // namespace

TEST_F(StringTest, WideningRulesOfEachWriter) {
  enum op { APPEND, POKE, SET, INSERT };
  struct { op what; u32 start_unit; u32 cp; u32 want_unit; std::string want; } cases[] = {
      {APPEND, 1, 0x41, 1, "abcA"},
      {APPEND, 1, 0xE9, 2, "abc\xC3\xA9"},          // 0x7F is the limit when appending
      {APPEND, 1, 0x20AC, 2, "abc\xE2\x82\xAC"},
      {APPEND, 1, 0x1F600, 4, "abc\xF0\x9F\x98\x80"},
      {APPEND, 2, 0x1F600, 4, "abc\xF0\x9F\x98\x80"},
      {APPEND, 2, 0xFFFF, 2, "abc\xEF\xBF\xBF"},
      {POKE, 1, 0xE9, 1, "a\xC3\xA9" "c"},           // writing at a position keeps Latin-1
      {POKE, 1, 0x100, 2, "a\xC4\x80" "c"},
      {POKE, 1, 0x1F600, 4, "a\xF0\x9F\x98\x80" "c"},
      {POKE, 2, 0x10000, 4, "a\xF0\x90\x80\x80" "c"},
      {SET, 1, 0xFF, 1, "a\xC3\xBF" "c"},
      {SET, 1, 0x20AC, 2, "a\xE2\x82\xAC" "c"},
      {INSERT, 1, 0xE9, 1, "a\xC3\xA9" "bc"},
      {INSERT, 1, 0x20AC, 2, "a\xE2\x82\xAC" "bc"},
      {INSERT, 4, 'x', 4, "axbc"},
  };
  for (auto& c : cases) {
    str(0, "abc", c.start_unit > 1 ? c.start_unit : 0);
    series_buffer* b = buffer_of(v[0].data2);
    switch (c.what) {
      case APPEND: b = string::append_char(b, c.cp); break;
      case POKE: b = string::poke_char(b, b->head() + b->unit(), c.cp); break;
      case SET: b = string::set_char_at(b, 1, c.cp); break;
      case INSERT: b = string::insert_char_at(b, 1, c.cp); break;
    }
    EXPECT_EQ(b, buffer_of(v[0].data2)) << "the returned buffer is the series' buffer";
    EXPECT_EQ(unit(0), c.want_unit) << c.what << " " << std::hex << c.cp;
    EXPECT_EQ(text(0), c.want) << c.what << " " << std::hex << c.cp;
  }
}

TEST_F(StringTest, AppendInALoopGrowsAndKeepsEveryCharacter) {
  string::make_at(&v[0], 0);
  std::u32string want;
  for (u32 i = 0; i < 3000; i++) {
    u32 cp = i < 1000 ? 'a' + i % 26 : i < 2000 ? 0x400 + i % 64 : 0x1F300 + i % 200;
    string::append_char(buffer_of(v[0].data2), cp);
    want.push_back(cp);
  }
  EXPECT_EQ(unit(0), 4u);
  series_buffer* b = buffer_of(v[0].data2);
  ASSERT_EQ(b->used_units(), 3000u);
  for (u32 i = 0; i < 3000; i++) ASSERT_EQ(string::rs_abs_at(&v[0], i), u32(want[i])) << i;
}

TEST_F(StringTest, SetCharAtGrowsUntilTheIndexFits) {
  string::make_at(&v[0], 4);  // 16 bytes of room
  series_buffer* b = string::set_char_at(buffer_of(v[0].data2), 5000, 'z');
  EXPECT_GE(b->size, 5001u);
  EXPECT_EQ(string::rs_length_q(&v[0]), 5001);
  EXPECT_EQ(string::rs_abs_at(&v[0], 5000), u32('z'));
  EXPECT_EQ(string::rs_abs_at(&v[0], 4999), 0u);  // the gap holds no stale bytes
  b = string::set_char_at(b, 70000, 0x1F600);
  EXPECT_EQ(b->unit(), 4u);
  EXPECT_EQ(string::rs_length_q(&v[0]), 70001);
  EXPECT_EQ(string::rs_abs_at(&v[0], 5000), u32('z'));
}

TEST_F(StringTest, AccessorsClipAHeadPastTheTail) {
  str(0, "hello");
  v[1] = v[0];
  v[1].data1 = 3;
  string::remove_chars(&v[0], 1, 10);  // cleared through another value: "h"
  EXPECT_EQ(string::rs_length_q(&v[1]), 0);
  EXPECT_TRUE(string::rs_tail_q(&v[1]));
  EXPECT_EQ(string::rs_head(&v[1]), string::rs_tail(&v[1]));
  EXPECT_EQ(v[1].data1, 1u);  // rewritten to the length
  EXPECT_EQ(string::rs_abs_length_q(&v[1]), 1);

  str(0, "abcabc");
  v[0].data1 = 1;
  EXPECT_EQ(string::rs_find_char(&v[0], 'a'), 2);
  EXPECT_EQ(string::rs_find_char(&v[0], 'z'), -1);
  EXPECT_TRUE(string::rs_find_char_step(&v[0], 'C', 1, false));
  EXPECT_FALSE(string::rs_find_char_step(&v[0], 'C', 1, true));
  EXPECT_TRUE(string::rs_find_char_step(&v[0], 'b', 3, true));   // positions 1 and 4
  EXPECT_FALSE(string::rs_find_char_step(&v[0], 'c', 3, true));
  string::rs_skip(&v[0], 2);
  EXPECT_EQ(v[0].data1, 3u);
  string::rs_skip(&v[0], 10);  // would leave the text: ignored
  EXPECT_EQ(v[0].data1, 3u);
  string::rs_next(&v[0]);
  EXPECT_EQ(v[0].data1, 4u);
  string::rs_reset(&v[0]);
  EXPECT_EQ(v[0].data1, 0u);
  EXPECT_EQ(string::rs_length_q(&v[0]), 0);
}

TEST_F(StringTest, StartsWithIsExact) {
  struct { std::string text; const char* prefix; bool want; } cases[] = {
      {"http://x", "http", true}, {"HTTP://x", "http", false}, {"htt", "http", false},
      {"anything", "", true}, {"h\xC4\x80ttp", "h\xC4", false},
  };
  for (auto& c : cases) {
    str(0, c.text);
    EXPECT_EQ(string::starts_with_q(&v[0], c.prefix), c.want) << c.text;
  }
  str(0, "http", 4);
  EXPECT_TRUE(string::starts_with_q(&v[0], "http"));
}

TEST_F(StringTest, ConcatenateModes) {
  struct { std::string dst; std::string src; i32 part, offset, mode; std::string want; } cases[] = {
      {"abcd", "xy", -1, 0, string::CONCAT_APPEND, "abcdxy"},
      {"abcd", "xyz", 2, 0, string::CONCAT_APPEND, "abcdxy"},
      {"abcd", "xyz", 0, 0, string::CONCAT_APPEND, "abcd"},
      {"abcd", "xy", -1, 1, string::CONCAT_INSERT, "axybcd"},
      {"abcd", "xy", -1, 9, string::CONCAT_INSERT, "abcdxy"},   // offset clipped to the tail
      {"abcd", "xy", -1, 0, string::CONCAT_OVERWRITE, "xycd"},  // tail kept
      {"abcd", "vwxyz", -1, 2, string::CONCAT_OVERWRITE, "abvwxyz"},  // tail extended
      {"ab", "\xE2\x82\xAC", -1, 1, string::CONCAT_INSERT, "a\xE2\x82\xAC" "b"},
  };
  for (auto& c : cases) {
    str(0, c.dst);
    str(1, c.src);
    string::concatenate(&v[0], &v[1], c.part, c.offset, false, c.mode);
    EXPECT_EQ(text(0), c.want) << c.dst << " " << c.src << " mode " << c.mode;
  }
  // Offsets count from the destination's head.
  str(0, "abcd");
  v[0].data1 = 2;
  str(1, "XY");
  string::overwrite(&v[0], &v[1], -1, 1, false);
  v[0].data1 = 0;
  EXPECT_EQ(text(0), "abcXY");
}

TEST_F(StringTest, ConcatenateOnlyReadsTheSource) {
  for (bool per_char : {true, false}) {
    str(0, "\xE2\x82\xAC");  // unit 2
    str(1, "abc\xC3\xA9");    // unit 1
    string::concatenate(&v[0], &v[1], -1, 0, per_char, string::CONCAT_APPEND);
    EXPECT_EQ(text(0), "\xE2\x82\xAC" "abc\xC3\xA9");
    EXPECT_EQ(unit(1), 1u) << "the source keeps its unit, per-char " << per_char;
    EXPECT_EQ(text(1), "abc\xC3\xA9");
  }
  // A wider source widens the destination.
  str(0, "ab");
  str(1, "\xF0\x9F\x98\x80");
  string::concatenate(&v[0], &v[1], -1, 1, false, string::CONCAT_INSERT);
  EXPECT_EQ(unit(0), 4u);
  EXPECT_EQ(text(0), "a\xF0\x9F\x98\x80" "b");
}

TEST_F(StringTest, ConcatenateIntoItself) {
  str(0, "abc");
  string::concatenate(&v[0], &v[0], -1, 1, false, string::CONCAT_INSERT);
  EXPECT_EQ(text(0), "aabcbc");
  str(0, "abc");
  string::concatenate(&v[0], &v[0], -1, 0, false, string::CONCAT_APPEND);
  EXPECT_EQ(text(0), "abcabc");
}

TEST_F(StringTest, ConcatenateLiteral) {
  string::make_at(&v[0], 0);
  std::string big(1000, 'q');
  string::concatenate_literal(&v[0], big.c_str());
  EXPECT_EQ(unit(0), 1u);
  string::concatenate_literal(&v[0], "caf\xE9");  // Latin-1 byte 0xE9 appended: widens
  EXPECT_EQ(unit(0), 2u);
  EXPECT_EQ(text(0), big + "caf\xC3\xA9");
  string::concatenate_literal_part(&v[0], "xyz", 2);
  EXPECT_EQ(text(0), big + "caf\xC3\xA9xy");
}

TEST_F(StringTest, RemoveTruncateAndMove) {
  str(0, "abcdef");
  string::remove_chars(&v[0], 1, 2);
  EXPECT_EQ(text(0), "adef");
  string::remove_char(&v[0], 9);
  EXPECT_EQ(text(0), "adef");
  series_buffer* b = string::truncate_buffer(buffer_of(v[0].data2), 2);
  EXPECT_EQ(text(0), "ad");
  string::truncate_buffer(b, 1u << 30);  // beyond the buffer: unchanged
  EXPECT_EQ(text(0), "ad");

  str(0, "12345");
  v[0].data1 = 1;
  str(1, "ab", 2);
  v[1].data1 = 1;
  string::move_chars(&v[0], &v[1], 2);  // two one-byte characters
  v[0].data1 = v[1].data1 = 0;
  EXPECT_EQ(text(0), "145");
  EXPECT_EQ(text(1), "a23b");

  str(0, "abcdef");
  v[0].data1 = 3;
  v[1] = v[0];
  v[1].data1 = 0;
  string::move_chars(&v[0], &v[1], 2);  // within one series, to before the source
  v[0].data1 = 0;
  EXPECT_EQ(text(0), "deabcf");
}

TEST_F(StringTest, SwapChunks) {
  std::string s = "abcXYZZ--";
  string::swap_chunks(&s[0], 3, &s[3], 4, 0);
  EXPECT_EQ(s, "XYZZabc--");
  s = "abcdXY--";
  string::swap_chunks(&s[0], 4, &s[4], 2, 0);
  EXPECT_EQ(s, "XYabcd--");
  // Runs longer than the scratch buffer.
  std::string big(100000, 'a');
  big += std::string(70000, 'b');
  string::swap_chunks(&big[0], 100000, &big[100000], 70000, 0);
  EXPECT_EQ(big, std::string(70000, 'b') + std::string(100000, 'a'));
}

TEST_F(StringTest, CopyWidened) {
  str(0, "xyz");
  str(1, "a\xC4\x80", 0);  // unit 2 target
  series_buffer* t = string::copy_widened(buffer_of(v[0].data2), buffer_of(v[1].data2), 0, 2,
                                          1, 2, 0, false);
  EXPECT_EQ(t, buffer_of(v[1].data2));
  EXPECT_EQ(text(1), "a\xC4\x80yz");
  EXPECT_EQ(unit(0), 1u);

  // Without a target the source's series moves to a wider buffer holding the copy.
  str(0, "h\xC3\xA9llo");
  u32 node = v[0].data2;
  t = string::copy_widened(buffer_of(node), nullptr, 64, 4, 0, 0, 0, false);
  EXPECT_EQ(v[0].data2, node);
  EXPECT_EQ(t, buffer_of(node));
  EXPECT_EQ(t->unit(), 4u);
  EXPECT_GE(t->size, 256u);
  EXPECT_EQ(text(0), "h\xC3\xA9llo");
}

TEST_F(StringTest, LoadersAndTheirErrors) {
  EXPECT_EQ(error_of([](cell* c) { string::load_at("abc", 3, c, 7); }, &v[0]), "internal/not-done");
  EXPECT_EQ(error_of([](cell* c) { string::load_at("abc", 3, nullptr, 0); }, &v[0]),
            "internal/not-done");

  const u16 w[] = {'h', 0x20AC, 0xD83D, 0xDE00};
  string::load_at(reinterpret_cast<const char*>(w), sizeof w + 1, &v[0], string::ENCODING_UTF16LE);
  EXPECT_EQ(text(0), "h\xE2\x82\xAC\xF0\x9F\x98\x80");
  EXPECT_EQ(type_of(&v[0]), TYPE_STRING);

  try {
    string::load_utf8_strict("A\xE2\x82", 3, &v[0]);
    FAIL() << "an incomplete sequence must be refused";
  } catch (const thrown& t) {
    EXPECT_STREQ(t.id, "invalid-utf8");
    series_buffer* b = buffer_of(t.args[0].data2);
    EXPECT_EQ(std::string(b->head(), b->used_bytes()), "\xE2\x82");
  }
  string::load_utf8_strict("ok \xC3\xA9", 5, &v[0]);
  EXPECT_EQ(text(0), "ok \xC3\xA9");

  // Into a block: the new cell sits at its tail.
  u32 blk = memory::alloc_cells(4);
  v[2] = cell{TYPE_BLOCK, 0, blk, 0};
  string::load_in_default("one", 3, blk);
  cell* c = string::load_in("two", 3, blk, string::ENCODING_UTF8);
  EXPECT_EQ(buffer_of(blk)->used_units() * 16, buffer_of(blk)->used_bytes());
  EXPECT_EQ(buffer_of(blk)->used_bytes(), 32u);
  EXPECT_EQ(string::to_utf8(c), "two");
  EXPECT_EQ(string::to_utf8(read_buffer(blk)->cells()), "one");
}

TEST(StringHex, Tables) {
  struct { i32 value; bool short_form; const char* want; } cases[] = {
      {0, true, "00"}, {0, false, "00000000"}, {-1, false, "FFFFFFFF"}, {0x1E, true, "1E"},
      {5, true, "5"}, {0x100, true, "100"}, {0x1E, false, "0000001E"},
      {-2, true, "E"}, {-1, true, "F"}, {-0x100, true, "00"}, {i32(0x80000000), true, "80000000"},
      {0x7FFFFFFF, true, "7FFFFFFF"}, {0xABCDEF, false, "00ABCDEF"},
  };
  for (auto& c : cases)
    EXPECT_STREQ(string::to_hex(c.value, c.short_form), c.want) << c.value << c.short_form;
  EXPECT_STREQ(string::byte_to_hex(0), "00");
  EXPECT_STREQ(string::byte_to_hex(0xAF), "AF");
  EXPECT_STREQ(string::byte_to_hex(0x0F), "0F");
}

TEST(StringTables, EscapeLettersAndTrimSet) {
  struct { u32 cp; char letter; } cases[] = {
      {0x00, '@'}, {0x01, 'A'}, {0x08, 'H'}, {0x09, '-'}, {0x0A, '/'}, {0x0B, 'K'}, {0x1A, 'Z'},
      {0x1B, '['}, {0x1C, '\\'}, {0x1D, ']'}, {0x1E, '^'}, {0x1F, '_'}, {0x22, '"'}, {0x5E, '^'},
      {0x20, 0}, {0x21, 0}, {0x41, 0}, {0x5D, 0},
  };
  for (auto& c : cases) EXPECT_EQ(string::escape_letters[c.cp], c.letter) << c.cp;
  EXPECT_EQ(std::vector<u32>(string::default_trim_set, string::default_trim_set + 4),
            (std::vector<u32>{9, 10, 13, 32}));
}
