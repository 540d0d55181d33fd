// The console's delimiter check: which gathered text waits for another line (and with
// which pending openers) and which is evaluated at once for the loader to report; and the
// incremental check, which must answer as a scan of the whole text does.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "console/text/delimiters.h"
#include "tests/unit/fixture.h"

using namespace vyr;

namespace {

TEST(ConsoleDelimiters, WaitOrEvaluate) {
  test::ensure_runtime();
  struct row { std::string text; bool more; const char* open; };
  const row rows[] = {
      {"1 + 2\n", false, ""},
      {"[\n", true, "["},
      {"[1 (2\n", true, "[("},
      {"[1 (2)\n", true, "["},
      {"{abc\n", true, "{"},
      {"[{a\n", true, "[{"},
      {"<a\n", true, "<"},
      {"#{00\n", true, "{"},
      {"a/(b\n", true, "/("},
      // A raw string waits wherever it starts, until a run of "%" as long as its own.
      {"%{a\n", true, "{"},
      {"x: %%{a\n", true, "{"},
      {"x: %%{a}%\n", true, "{"},
      {"x: %%{a}%%\n", false, ""},
      {"%\n", false, ""},
      // Brackets in strings, chars and comments are text.
      {"\"[\"\n", false, ""},
      {"#\"[\"\n", false, ""},
      {"1 ; [\n", false, ""},
      // Nothing more lines could mend: evaluate now.
      {"1 + 2)\n", false, ""},
      {"[a}\n", false, "["},
      {"\"abc\n", false, ""},
      {"1.2.\n", false, ""},
      // A NUL is a character like any other, refused where no token takes it: never the
      // end of the text that more lines could continue.
      {std::string("x: {a\0b}\n", 9), false, ""},
      {std::string("{a\0b\n", 5), false, ""},
      {std::string("[a \0\n", 5), false, ""},
      {std::string("<a\0\n", 4), false, ""},
      {std::string("#{0\0\n", 5), false, ""},
      {std::string("%{a\0\n", 5), false, ""},
  };
  for (const row& r : rows) {
    text::delimiter_check c = text::check_delimiters(r.text);
    EXPECT_EQ(c.more, r.more) << r.text;
    if (c.more) {
      EXPECT_EQ(c.open, r.open) << r.text;
    }
  }
}

// Texts fed a line at a time get, after every line, the answer of a scan of the whole
// text so far: the resumed scan reads tokens cut by the old end, multi-line strings,
// binaries, tags, raw strings, paths and points as the whole scan does.
TEST(ConsoleDelimiters, IncrementalAgreesWithWholeScans) {
  test::ensure_runtime();
  const std::string bits[] = {
      "[", "]", "(", ")", "{", "}", "\"", "%{", "}%", "%%{", "}%%", "#{", "0F", "<a", ">",
      "a/", "a/(", "b", "(1, ", "2)", "(,", "1", "x:", "'y", ":z", ";c", "^{", "^}", " ", " ",
      "#\"[\"", "#(", "#[", "a/b", "1.2.", "\t", std::string("\0", 1), "é", "@r"};
  const size_t nbits = sizeof bits / sizeof bits[0];
  // Whether "(" opens a point looks up to 3 bytes ahead, across a short text's end.
  {
    text::delimiter_scan inc;
    EXPECT_TRUE(inc.append("*(,\n").more);
    text::delimiter_check a = inc.append("*:\n"), b = text::check_delimiters("*(,\n*:\n");
    EXPECT_EQ(a.more, b.more);
    EXPECT_EQ(a.refused, b.refused);
    EXPECT_EQ(a.open, b.open);
  }
  std::mt19937 rng(54);
  for (int round = 0; round < 3000; round++) {
    text::delimiter_scan inc;
    std::string whole;
    int lines = 1 + int(rng() % 6);
    for (int l = 0; l < lines; l++) {
      std::string line;
      int n = int(rng() % 7);
      for (int k = 0; k < n; k++) {
        line += bits[rng() % nbits];
      }
      line += '\n';
      whole += line;
      text::delimiter_check a = inc.append(line);
      text::delimiter_check b = text::check_delimiters(whole);
      ASSERT_EQ(a.more, b.more) << testing::PrintToString(whole);
      ASSERT_EQ(a.refused, b.refused) << testing::PrintToString(whole);
      ASSERT_EQ(a.open, b.open) << testing::PrintToString(whole);
      // The console stops gathering once the text is complete or refused.
      if (!a.more) break;
    }
  }
}

// Long input stays linear: a block of many lines and one long line, fed as the console
// feeds them, each scanned about once.
TEST(ConsoleDelimiters, LongInputResumes) {
  test::ensure_runtime();
  text::delimiter_scan inc;
  text::delimiter_check c = inc.append("x: [\n");
  for (int i = 0; i < 20000; i++) c = inc.append("[" + std::to_string(i) + " [a b] {s}]\n");
  EXPECT_TRUE(c.more);
  EXPECT_EQ(c.open, "[");
  c = inc.append("]\n");
  EXPECT_FALSE(c.more);
  text::delimiter_scan str;
  str.append("{\n");
  for (int i = 0; i < 20000; i++) c = str.append(std::string(60, 'a') + "\n");
  EXPECT_TRUE(c.more);
  EXPECT_EQ(c.open, "{");
  EXPECT_FALSE(str.append("}\n").more);
}

}  // namespace
