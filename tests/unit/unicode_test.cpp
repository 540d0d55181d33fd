// Unicode conversion: decoders bounded by their input, UTF-8 loading and widening, UTF-16
// both ways, round trips over every plane, the conversion buffer.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "runtime/datatypes/string.h"
#include "runtime/fire.h"
#include "runtime/unicode.h"
#include "tests/unit/fixture.h"

using namespace vyr;

namespace {

struct UnicodeTest : ::testing::Test {
  void SetUp() override { test::ensure_runtime(); }
};

using bytes = std::vector<u8>;

// An exact-size heap copy, so that a read past the end is caught under ASan.
std::unique_ptr<u8[]> exact(const bytes& b) {
  auto p = std::make_unique<u8[]>(b.size() ? b.size() : 1);
  std::copy(b.begin(), b.end(), p.get());
  return p;
}

std::vector<u32> chars_of(u32 node, u32 from = 0) {
  series_buffer* b = buffer_of(node);
  std::vector<u32> out;
  for (u32 i = from; i < b->used_units(); i++)
    out.push_back(string::get_char(b->head() + i * b->unit(), b->unit()));
  return out;
}

std::string encode(const std::vector<u32>& cps) {
  std::string s;
  char seq[4];
  for (u32 cp : cps) s.append(seq, unicode::cp_to_utf8(cp, seq));
  return s;
}

// Runs f; returns "category/id" of the error it raised, or "" when it raised none.
template <class F>
std::string error_of(F f, thrown* out = nullptr) {
  try {
    f();
  } catch (const thrown& t) {
    if (out) *out = t;
    return std::string(t.category) + "/" + t.id;
  }
  return "";
}

bytes binary_bytes(const cell& c) {
  series_buffer* b = buffer_of(c.data2);
  return bytes(b->head(), b->head() + b->used_bytes());
}

}  // namespace

TEST_F(UnicodeTest, FastDecoderAgreesWithTheEncoderOnEveryCodePoint) {
  char seq[4];
  for (u32 cp = 0; cp <= 0x10FFFF; cp++) {
    u32 n = unicode::cp_to_utf8(cp, seq);
    const u8* p = reinterpret_cast<const u8*>(seq);
    i32 got = -2;
    const u8* after = unicode::fast_decode_utf8_char(p, p + n, &got);
    bool surrogate = cp >= 0xD800 && cp <= 0xDFFF;
    ASSERT_EQ(got, surrogate ? -1 : i32(cp)) << std::hex << cp;
    if (!surrogate) {
      ASSERT_EQ(after, p + n) << std::hex << cp;
    }
  }
}

TEST_F(UnicodeTest, FastDecoderRejectsAndStopsAtTheEnd) {
  struct { bytes in; i32 cp; u32 consumed; } cases[] = {
      {{0x80}, -1, 1},                    // stray continuation byte
      {{0xC0, 0x80}, -1, 1},              // overlong lead rejected at once
      {{0xE0, 0x80, 0x80}, -1, 2},        // overlong three-byte form
      {{0xED, 0xA0, 0x80}, -1, 2},        // surrogate
      {{0xF4, 0x90, 0x80, 0x80}, -1, 2},  // above 0x10FFFF
      {{0xF5, 0x80, 0x80, 0x80}, -1, 1},
      {{0xE2, 0x41}, -1, 2},              // bad second byte consumed with the lead
      {{0xE2, 0x82}, -1, 2},              // cut by the end of the input: no read past it
      {{0xF0, 0x9F, 0x98}, -1, 3},
      {{0xF0, 0x9F, 0x98, 0x80}, 0x1F600, 4},
  };
  for (auto& c : cases) {
    auto p = exact(c.in);
    i32 cp = 0;
    const u8* after = unicode::fast_decode_utf8_char(p.get(), p.get() + c.in.size(), &cp);
    EXPECT_EQ(cp, c.cp);
    EXPECT_EQ(u32(after - p.get()), c.consumed);
  }
  bytes text = {'a', 0xC3, 0xA9, 0xE2, 0x82, 0xAC, 'b', 0xF0, 0x9F};
  auto p = exact(text);
  EXPECT_EQ(unicode::count_utf8_chars(p.get(), p.get() + text.size()), 5);
  EXPECT_EQ(unicode::skip_utf8_chars(p.get(), p.get() + text.size(), 3) - p.get(), 6);
  EXPECT_EQ(unicode::skip_utf8_chars(p.get(), p.get() + text.size(), 99) - p.get(), 9);
}

TEST_F(UnicodeTest, Utf8CharSize) {
  EXPECT_EQ(unicode::utf8_char_size(0x41), 0u);
  EXPECT_EQ(unicode::utf8_char_size(0x80), 0u);
  EXPECT_EQ(unicode::utf8_char_size(0xC3), 2u);
  EXPECT_EQ(unicode::utf8_char_size(0xE2), 3u);
  EXPECT_EQ(unicode::utf8_char_size(0xF0), 4u);
  EXPECT_EQ(unicode::utf8_char_size(0xFF), 4u);
}

TEST_F(UnicodeTest, StrictDecoderTable) {
  // bytes, expected code point (-1: truncated), expected error ("" for none), error bytes
  struct { bytes in; i32 cp; const char* err; bytes arg; } cases[] = {
      {{0x41}, 0x41, "", {}},
      {{0xC0, 0x80}, 0, "", {}},              // two-byte overlong NUL accepted
      {{0xE0, 0x80, 0xAF}, 0x2F, "", {}},     // overlong "/" decodes to "/"
      {{0xED, 0xA0, 0x80}, 0xD800, "", {}},   // high surrogate accepted
      {{0xED, 0xB4, 0x80}, 0xDD00, "", {}},
      {{0xED, 0xB2, 0x80}, 0, "access/invalid-utf8", {0xED, 0xB2, 0x80}},  // DC80 refused
      {{0xF4, 0x8F, 0xBF, 0xBF}, 0x10FFFF, "", {}},
      {{0xF4, 0x90, 0x80, 0x80}, 0, "access/invalid-utf8", {0xF4, 0x90, 0x80, 0x80}},
      {{0x80, 0x41, 0x42, 0x43, 0x44}, 0, "access/invalid-utf8", {0x80, 0x41, 0x42, 0x43}},
      {{0xF8, 0x80, 0x80, 0x80}, 0, "access/invalid-utf8", {0xF8, 0x80, 0x80, 0x80}},
      {{0xC3, 0x41}, 0, "access/invalid-utf8", {0xC3, 0x41}},  // never more than there is
      {{0xC3}, -1, "", {}},
      {{0xE2, 0x82}, -1, "", {}},
      {{0xF0, 0x9F, 0x98}, -1, "", {}},
  };
  for (auto& c : cases) {
    auto p = exact(c.in);
    i32 n = i32(c.in.size());
    i32 cp = 0;
    thrown t{};
    std::string err = error_of([&] { cp = unicode::decode_utf8_char(p.get(), &n); }, &t);
    EXPECT_EQ(err, c.err);
    if (err.empty()) {
      EXPECT_EQ(cp, c.cp);
    } else {
      ASSERT_EQ(type_of(&t.args[0]), TYPE_BINARY);
      EXPECT_EQ(binary_bytes(t.args[0]), c.arg);
    }
  }
}

TEST_F(UnicodeTest, LoadUtf8PicksTheNarrowestUnit) {
  struct { bytes in; u32 unit; std::vector<u32> cps; i32 left; } cases[] = {
      {{}, 1, {}, 0},
      {{0xEF, 0xBB, 0xBF}, 1, {}, 0},                      // a lone mark is an empty string
      {{0xEF, 0xBB, 0xBF, 0x41}, 1, {0x41}, 0},
      {{0xEF, 0xBB}, 1, {}, 2},                            // too short to be the mark
      {{0xC3, 0xA9}, 1, {0xE9}, 0},                        // Latin-1 stays narrow
      {{0xE2, 0x82, 0xAC}, 2, {0x20AC}, 0},
      {{0x61, 0xF0, 0x9F, 0x98, 0x80}, 4, {0x61, 0x1F600}, 0},
      {{0x61, 0xE2, 0x82}, 1, {0x61}, 2},                  // cut sequence left for the next chunk
      {{0x61, 0xE2, 0x82, 0xAC, 0xF0, 0x9F}, 2, {0x61, 0x20AC}, 2},
  };
  for (auto& c : cases) {
    auto p = exact(c.in);
    i32 left = -1;
    u32 node = unicode::load_utf8_buffer(p.get(), u32(c.in.size()), 0, &left, false);
    EXPECT_EQ(buffer_of(node)->unit(), c.unit);
    EXPECT_EQ(chars_of(node), c.cps);
    EXPECT_EQ(left, c.left);
  }
}

TEST_F(UnicodeTest, LoadUtf8LineEnds) {
  std::string text = "a\r\nb\rc\n\r";
  const u8* p = reinterpret_cast<const u8*>(text.data());
  u32 node = unicode::load_utf8_buffer(p, u32(text.size()), 0, nullptr, true);
  EXPECT_EQ(chars_of(node), (std::vector<u32>{'a', '\n', 'b', '\n', 'c', '\n', '\n'}));
  node = unicode::load_utf8(p, u32(text.size()));
  EXPECT_EQ(chars_of(node).size(), text.size());

  // Long ASCII runs take a faster path; line ends inside them must still be seen.
  std::string lines, want;
  for (int i = 0; i < 20; i++) {
    lines += "line one\r\nline two\rthree\n";
    want += "line one\nline two\nthree\n";
  }
  lines += "\xE2\x82\xAC\r";
  want += "\xE2\x82\xAC\n";
  cell s{TYPE_STRING, 0,
         unicode::load_utf8_buffer(reinterpret_cast<const u8*>(lines.data()), u32(lines.size()),
                                   0, nullptr, true),
         0};
  EXPECT_EQ(string::to_utf8(&s), want);
}

TEST_F(UnicodeTest, LoadUtf8IntoATargetKeepsItsUnitAndLeavesItAloneOnError) {
  cell s{TYPE_NONE, 0, 0, 0};
  collector::root_guard keep(&s);
  string::make_at_unit(&s, 4, 2);
  string::concatenate_literal(&s, "old text that is longer than the new one");
  std::string text = "h\xC3\xA9llo";
  unicode::load_utf8_into(reinterpret_cast<const u8*>(text.data()), u32(text.size()), &s, nullptr);
  EXPECT_EQ(buffer_of(s.data2)->unit(), 2u);
  EXPECT_EQ(string::to_utf8(&s), text);

  bytes bad = {'x', 'y', 0xFF};
  EXPECT_EQ(error_of([&] { unicode::load_utf8_into(bad.data(), 3, &s, nullptr); }),
            "access/invalid-utf8");
  EXPECT_EQ(string::to_utf8(&s), text);  // validation comes before any change
}

TEST_F(UnicodeTest, LoadFromTextInsideAnArenaBuffer) {
  // The source bytes live in a series buffer behind a dead one: a collection during the
  // load would slide them down and let the new string be written over them.
  struct stress_on {
    bool was = collector::stress();
    stress_on() { collector::set_stress(true); }
    ~stress_on() { collector::set_stress(was); }
  } stress;
  std::string text;
  for (int i = 0; i < 200; i++) text += "z\xF0\x9F\x98\x80";
  cell bin{TYPE_NONE, 0, 0, 0};
  collector::root_guard keep(&bin);
  for (u32 dead : {48u, 1000u, 16u}) {
    memory::alloc_bytes(dead);  // garbage at the next collection
    u32 node = memory::alloc_bytes(u32(text.size()));
    bin = cell{TYPE_BINARY, 0, node, 0};
    series_buffer* b = buffer_of(node);
    std::memcpy(b->data(), text.data(), text.size());
    b->tail = b->offset + u32(text.size());
    cell s{TYPE_NONE, 0, 0, 0};
    collector::root_guard keep_s(&s);
    string::load_utf8_strict(buffer_of(node)->head(), u32(text.size()), &s);
    EXPECT_EQ(string::to_utf8(&s), text) << dead;
    u32 loaded = unicode::load_utf8(reinterpret_cast<const u8*>(buffer_of(node)->head()),
                                    u32(text.size()));
    cell t{TYPE_STRING, 0, loaded, 0};
    EXPECT_EQ(string::to_utf8(&t), text) << dead;
  }
}

TEST_F(UnicodeTest, RoundTripsOverEveryPlane) {
  // Every plane, sampled densely, plus the edges of each encoding length.
  std::vector<u32> cps = {0x1, 0x7F, 0x80, 0xFF, 0x100, 0x7FF, 0x800, 0xD7FF, 0xE000, 0xFFFD,
                          0xFFFF, 0x10000, 0x1F600, 0x10FFFF};
  for (u32 cp = 1; cp <= 0x10FFFF; cp += 97)
    if (cp < 0xD800 || cp > 0xDFFF) cps.push_back(cp);
  std::string utf8 = encode(cps);

  cell s{TYPE_NONE, 0, 0, 0};
  cell back{TYPE_NONE, 0, 0, 0};
  collector::root_guard keep_s(&s);
  collector::root_guard keep_back(&back);
  string::load_at(utf8.data(), u32(utf8.size()), &s, string::ENCODING_UTF8);
  EXPECT_EQ(buffer_of(s.data2)->unit(), 4u);
  EXPECT_EQ(chars_of(s.data2), cps);

  i32 units = -1;
  u16* w = unicode::to_utf16_len(&s, &units, false);
  ASSERT_NE(w, nullptr);
  std::vector<u16> utf16(w, w + units);
  EXPECT_EQ(w[units], 0);
  string::load_at(reinterpret_cast<const char*>(utf16.data()), u32(utf16.size() * 2), &back,
                  string::ENCODING_UTF16LE);
  EXPECT_EQ(chars_of(back.data2), cps);

  i32 len = -1;
  char* out = unicode::to_utf8(&back, &len);
  EXPECT_EQ(std::string(out, len), utf8);
  EXPECT_EQ(out[len], 0);
  EXPECT_EQ(unicode::utf8_size(buffer_of(back.data2)->head(), buffer_of(back.data2)->tail_ptr(), 4),
            utf8.size());
}

TEST_F(UnicodeTest, SupplementaryAndLineEndConversions) {
  cell s{TYPE_NONE, 0, 0, 0};
  collector::root_guard keep(&s);
  std::string u10000 = "\xF0\x90\x80\x80";
  string::load_at(u10000.data(), 4, &s, string::ENCODING_UTF8);
  i32 n = -1;
  u16* w = unicode::to_utf16_len(&s, &n, false);
  EXPECT_EQ(std::vector<u16>(w, w + n), (std::vector<u16>{0xD800, 0xDC00}));

  string::load_at("a\nb", 3, &s, string::ENCODING_UTF8);
  w = unicode::to_utf16(&s);
  EXPECT_EQ(std::vector<u16>(w, w + 5), (std::vector<u16>{'a', '\r', '\n', 'b', 0}));
  n = -1;
  w = unicode::to_utf16_len(&s, &n, false);
  EXPECT_EQ(std::vector<u16>(w, w + n + 1), (std::vector<u16>{'a', '\n', 'b', 0}));
  n = 2;  // at most two code points
  w = unicode::to_utf16_len(&s, &n, true);
  EXPECT_EQ(std::vector<u16>(w, w + n), (std::vector<u16>{'a', '\r', '\n'}));
  n = -1;
  char* u = unicode::to_utf8_eol(&s, &n, true);
  EXPECT_EQ(std::string(u, n), "a\r\nb");
  n = 1;
  u = unicode::to_utf8(&s, &n);
  EXPECT_EQ(std::string(u), "a");

  // From the head: a value moved along its series converts only its rest.
  s.data1 = 2;
  n = -1;
  EXPECT_EQ(std::string(unicode::to_utf8(&s, &n)), "b");
  s.data1 = 9;  // past the tail
  n = -1;
  EXPECT_EQ(std::string(unicode::to_utf8(&s, &n)), "");
}

TEST_F(UnicodeTest, LoadUtf16) {
  struct { std::vector<u16> in; bool drop_cr; u32 unit; std::vector<u32> cps; } cases[] = {
      {{}, false, 2, {}},
      {{'a', 'b'}, false, 1, {'a', 'b'}},
      {{'a', 0xE9}, false, 1, {'a', 0xE9}},
      {{'a', 0x20AC}, false, 2, {'a', 0x20AC}},
      {{0xD83D, 0xDE00, 'x'}, false, 4, {0x1F600, 'x'}},
      {{0xDC00, 'x'}, false, 4, {0xDC00, 'x'}},  // a lone low half passes through
      {{'a', '\r', '\n', '\r', 'b'}, true, 1, {'a', '\n', 'b'}},
      {{'a', '\r', '\n'}, false, 1, {'a', '\r', '\n'}},
  };
  for (auto& c : cases) {
    u32 node = unicode::load_utf16(c.in.data(), u32(c.in.size()), nullptr, c.drop_cr);
    EXPECT_EQ(buffer_of(node)->unit(), c.unit);
    EXPECT_EQ(chars_of(node), c.cps);
  }
  EXPECT_EQ(unicode::utf16_unit_size(nullptr, 0), 1u);
}

TEST_F(UnicodeTest, BadUtf16RaisesInsteadOfExiting) {
  std::vector<u16> cases[] = {{'a', 0xD800, 'b'}, {'a', 0xDBFF}, {0xD800, 0xD800, 0xDC00}};
  for (auto& in : cases) {
    thrown t{};
    EXPECT_EQ(error_of([&] { unicode::load_utf16(in.data(), u32(in.size()), nullptr, false); }, &t),
              "script/invalid-data");
    ASSERT_EQ(type_of(&t.args[0]), TYPE_BINARY);
    EXPECT_EQ(binary_bytes(t.args[0]).size(), 2u);
  }
}

TEST_F(UnicodeTest, LoadUtf16FromTheConversionBuffer) {
  cell s{TYPE_NONE, 0, 0, 0};
  collector::root_guard keep(&s);
  string::make_at(&s, 4);
  // A platform call leaves its answer in the value's conversion buffer.
  u16* w = reinterpret_cast<u16*>(unicode::get_cache(&s, 64));
  const u16 text[] = {'h', 0x20AC, '!'};
  std::memcpy(w, text, sizeof text);
  u32 node = unicode::load_utf16(nullptr, 3, &s, false);
  EXPECT_EQ(node, s.data2);
  EXPECT_EQ(string::to_utf8(&s), "h\xE2\x82\xAC!");
}

TEST_F(UnicodeTest, EncodingSizesAndErrors) {
  struct { u32 cp; u32 size; } sizes[] = {{0, 1}, {0x7F, 1}, {0x80, 2}, {0x7FF, 2}, {0x800, 3},
                                          {0xFFFF, 3}, {0x10000, 4}, {0x10FFFF, 4}};
  for (auto& c : sizes) EXPECT_EQ(unicode::cp_utf8_size(c.cp), c.size) << c.cp;
  thrown t{};
  EXPECT_EQ(error_of([] { unicode::cp_utf8_size(0x110000); }, &t), "script/invalid-char");
  EXPECT_EQ(type_of(&t.args[0]), TYPE_INTEGER);
  EXPECT_EQ(t.args[0].data2, 0x110000u);
  char buf[4];
  EXPECT_EQ(error_of([&] { unicode::cp_to_utf8(0xFFFFFFFF, buf); }), "script/invalid-char");

  u16 w[3] = {9, 9, 9};
  EXPECT_EQ(unicode::cp_to_utf16(0x41, w), 1u);
  EXPECT_EQ(unicode::cp_to_utf16(0x10437, w), 2u);
  EXPECT_EQ(w[0], 0xD801);
  EXPECT_EQ(w[1], 0xDC37);
  EXPECT_EQ(unicode::cp_to_utf16(0x110000, w), 0u);
  u16 box[4];
  unicode::ascii_to_utf16("ok!", box);
  EXPECT_EQ(std::vector<u16>(box, box + 4), (std::vector<u16>{'o', 'k', '!', 0}));
}

TEST_F(UnicodeTest, BoundedWritersWriteWholeSequencesOnly) {
  char out[8] = {};
  EXPECT_EQ(unicode::cp_to_utf8_bounded(0x20AC, out, 2), 0u);  // does not fit: nothing
  EXPECT_EQ(out[0], 0);
  EXPECT_EQ(unicode::cp_to_utf8_bounded(0x20AC, out, 3), 3u);
  EXPECT_EQ(std::string(out, 3), "\xE2\x82\xAC");

  cell s{TYPE_NONE, 0, 0, 0};
  collector::root_guard keep(&s);
  std::string text = "a\xE2\x82\xAC" "b";
  string::load_at(text.data(), u32(text.size()), &s, string::ENCODING_UTF8);
  struct { u32 capacity; i32 limit; std::string want; } cases[] = {
      {3, -1, "a"}, {4, -1, "a\xE2\x82\xAC"}, {8, -1, text}, {8, 2, "a\xE2\x82\xAC"},
      {8, 0, text}, {0, -1, ""},
  };
  for (auto& c : cases) {
    char dest[9];
    std::memset(dest, 'Z', sizeof dest);
    u32 n = unicode::to_utf8_bounded(&s, dest, c.capacity, c.limit, true);
    EXPECT_EQ(std::string(dest, n), c.want);
    EXPECT_EQ(dest[n], 0);
    EXPECT_EQ(dest[c.capacity + 1 < 9 ? c.capacity + 1 : 8], 'Z');
  }
  char dest[16];
  EXPECT_EQ(unicode::to_utf8_into(&s, dest, 2, true), 4u);
  EXPECT_STREQ(dest, "a\xE2\x82\xAC");
  EXPECT_EQ(unicode::to_utf8_into(&s, dest, -1, false), 5u);
}

TEST_F(UnicodeTest, ConversionBufferIsReusedAndGrows) {
  cell s{TYPE_NONE, 0, 0, 0};
  collector::root_guard keep(&s);
  string::make_at(&s, 4);
  EXPECT_EQ(s.data3, 0u);
  unicode::get_cache(&s, 10);
  u32 node = s.data3;
  ASSERT_NE(node, 0u);
  unicode::get_cache(&s, 5);
  EXPECT_EQ(s.data3, node);
  unicode::get_cache(&s, 5000);
  EXPECT_EQ(s.data3, node);  // grown under the same node
  EXPECT_GE(buffer_of(node)->size, 5000u);
}

TEST_F(UnicodeTest, WideningInPlaceKeepsTheCharacters) {
  cell s{TYPE_NONE, 0, 0, 0};
  collector::root_guard keep(&s);
  std::string text = "h\xC3\xA9llo w\xC3\xB6rld, exactly full!";  // Latin-1 after loading
  string::load_at(text.data(), u32(text.size()), &s, string::ENCODING_UTF8);
  series_buffer* b = buffer_of(s.data2);
  ASSERT_EQ(b->unit(), 1u);
  b = unicode::latin1_to_ucs2(b);
  EXPECT_EQ(b->unit(), 2u);
  EXPECT_EQ(string::to_utf8(&s), text);
  b = unicode::ucs2_to_ucs4(buffer_of(s.data2));
  EXPECT_EQ(b->unit(), 4u);
  EXPECT_EQ(string::to_utf8(&s), text);
  string::load_at(text.data(), u32(text.size()), &s, string::ENCODING_UTF8);
  unicode::latin1_to_ucs4(buffer_of(s.data2));
  EXPECT_EQ(string::to_utf8(&s), text);
}
