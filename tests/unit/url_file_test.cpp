// url! and file!: percent-decoding and -encoding round trips, mold of both, building a
// url! from parts, joining path elements, and the platform form of file names.
#include <gtest/gtest.h>

#include "runtime/datatypes/file.h"
#include "runtime/datatypes/url.h"
#include "runtime/memory.h"
#include "tests/unit/text_helpers.h"

namespace vyr {
namespace {

using test::text;
using test::utf8;

class UrlFileTest : public ::testing::Test {
 protected:
  void SetUp() override { test::fresh_stack(); }
  std::string decoded(const std::string& in) {
    cell* src = text(in);
    cell* out = text("");
    url::decode(src, -1, out);
    return utf8(out);
  }
  std::string encoded(const std::string& in, u32 type, u32 mode) {
    cell* src = text(in, type);
    cell* out = text("");
    url::encode(src, -1, mode, out);
    return utf8(out);
  }
};

TEST_F(UrlFileTest, DecodesEscapesWholeOrNotAtAll) {
  struct { const char* in; const char* out; } cases[] = {
      {"a%20b", "a b"},        {"%C3%A9", "\xC3\xA9"}, {"%E9", "%E9"},
      {"50%", "50%"},          {"%41", "A"},           {"%zz", "%zz"},
      {"%A9", "\xC2\xA9"},     {"%4", "%4"},           {"%F0%9F%98%80", "\xF0\x9F\x98\x80"},
      {"\xC3\xA9%2F", "\xC3\xA9/"}, {"%E2%82", "%E2\xC2\x82"},  // a lone continuation escape is its code point
  };
  for (const auto& c : cases) EXPECT_EQ(decoded(c.in), c.out) << c.in;
  EXPECT_EQ(test::error_of([&] { decoded("%C3%41"); }), "access/invalid-utf8");
}

TEST_F(UrlFileTest, EncodingRoundTrips) {
  EXPECT_EQ(encoded("a/b c", TYPE_STRING, url::KEEP_UNRESERVED), "a%2Fb%20c");
  EXPECT_EQ(encoded("a/b: c", TYPE_URL, url::KEEP_SAFE), "a/b:%20c");
  const char* samples[] = {"http://h/a b?q=\xC3\xA9&x=%25", "[]{}\"<>^`|\\;", "\xF0\x9F\x98\x80~",
                           "100%", ""};
  for (const char* s : samples) {
    for (u32 mode : {url::KEEP_SAFE, url::KEEP_UNRESERVED}) {
      std::string e = encoded(s, TYPE_URL, mode);
      EXPECT_EQ(decoded(e), s) << s << " " << mode;
    }
  }
}

TEST_F(UrlFileTest, UrlMoldEscapesOutsideTheSafeSet) {
  EXPECT_EQ(test::mold_text(*text("http://a.b/c d", TYPE_URL)), "http://a.b/c%20d");
  EXPECT_EQ(test::mold_text(*text("x\xC3\xA9[]~?#", TYPE_URL)), "x%C3%A9%5B%5D~?#");
  EXPECT_EQ(test::form_text(*text("a b", TYPE_URL)), "a b");
  // mold, then decode as the lexer does: the same text.
  std::string odd = "h://x/%41 \"q\"\xE2\x82\xAC";
  EXPECT_EQ(decoded(test::mold_text(*text(odd, TYPE_URL))), odd);
}

TEST_F(UrlFileTest, FileMold) {
  struct { const char* in; const char* out; } cases[] = {
      {"a/b.txt", "%a/b.txt"},
      {"a b", "%\"a b\""},
      {"a;b", "%\"a;b\""},
      {"a\\b", "%\"a\\b\""},
      {"", "%\"\""},
      {"\xC3\xA9t\xC3\xA9", "%\xC3\xA9t\xC3\xA9"},  // non-ASCII alone needs no quotes
      // Characters that would end the quoted name or start an escape get a caret.
      {"a \"b\"", "%\"a ^\"b^\"\""},
      {"50% ^", "%\"50% ^^\""},
  };
  for (const auto& c : cases) EXPECT_EQ(test::mold_text(*text(c.in, TYPE_FILE)), c.out) << c.in;
}

TEST_F(UrlFileTest, ToUrlFromParts) {
  cell* b = stack::push_slot();
  *b = cell{TYPE_BLOCK, 0, memory::alloc_cells(8), 0};
  auto add = [&](const cell& v) {
    series_buffer* buf = buffer_of(b->data2);
    *memory::alloc_tail_cell(buf) = v;
  };
  add(*text("http"));
  add(*text("host"));
  add(test::int_cell(8080));
  add(*text("a"));
  add(*text("b"));
  cell proto{TYPE_DATATYPE, TYPE_URL, 0, 0};
  const cell* r = actions::to(&proto, b);
  EXPECT_EQ(type_of(r), TYPE_URL);
  EXPECT_EQ(utf8(r), "http://host:8080/a/b");
  cell* empty = stack::push_slot();
  *empty = cell{TYPE_BLOCK, 0, memory::alloc_cells(1), 0};
  EXPECT_EQ(test::error_of([&] { actions::to(&proto, empty); }), "script/bad-to-arg");
}

TEST_F(UrlFileTest, PathJoinPutsOneSlash) {
  struct { const char* base; u32 type; const char* element; const char* out; } cases[] = {
      {"http://h/dir", TYPE_URL, "x", "http://h/dir/x"},
      {"http://h/dir/", TYPE_URL, "/x", "http://h/dir/x"},
      {"dir/", TYPE_FILE, "/x", "dir/x"},
      {"dir/", TYPE_FILE, "x", "dir/x"},
  };
  for (const auto& c : cases) {
    cell* base = text(c.base, c.type);
    cell* e = text(c.element);
    const cell* r = actions::lookup_for<slot::eval_path>(base)(base, e, nullptr, path_args{});
    EXPECT_EQ(utf8(r), c.out);
    EXPECT_EQ(type_of(r), c.type);
    EXPECT_EQ(utf8(base), c.base);  // never changed
  }
  cell* u = text("http://h", TYPE_URL);
  cell* e = text("x");
  EXPECT_EQ(test::error_of([&] { url::eval_path(u, e, e, path_args{}); }),
            "script/bad-path-set");
  // Other schemes go to a port, through the library's URL parser, which is not here.
  cell* f = text("ftp://h", TYPE_URL);
  EXPECT_EQ(test::error_of([&] { url::read(f, read_args{}); }), "internal/not-done");
}

TEST_F(UrlFileTest, PlatformPathsAreTheTextAsUtf8) {
  cell* f = text("dir/a\nb \xC3\xA9.txt", TYPE_FILE);
  EXPECT_EQ(file::to_OS_path(f), "dir/a\nb \xC3\xA9.txt");  // line ends untouched
  cell* nul = text("", TYPE_FILE);
  cell* bad = text("a%00b");
  url::decode(bad, -1, nul);
  EXPECT_EQ(test::error_of([&] { file::to_OS_path(nul); }), "script/invalid-arg");
  cell* back = text("a\\b\\c", TYPE_FILE);
  file::from_local_slashes(back);
  EXPECT_EQ(utf8(back), "a/b/c");
  cell* rel = text("a/b", TYPE_FILE);
  cell* out = text("");
  file::to_local_path(rel, out, true);
  std::string full = utf8(out);
  ASSERT_GE(full.size(), 4u);
  EXPECT_EQ(full.front(), '/');
  EXPECT_EQ(full.substr(full.size() - 4), "/a/b");
  cell* abs = text("/x/y", TYPE_FILE);
  cell* out2 = text("");
  file::to_local_path(abs, out2, true);
  EXPECT_EQ(utf8(out2), "/x/y");
}

}  // namespace
}  // namespace vyr
