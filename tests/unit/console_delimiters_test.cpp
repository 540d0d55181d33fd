// The console's delimiter check: which gathered text waits for another line (and with
// which pending openers) and which is evaluated at once for the loader to report.
#include <gtest/gtest.h>

#include <string>

#include "console/text/delimiters.h"
#include "tests/unit/fixture.h"

using namespace vyr;

namespace {

TEST(ConsoleDelimiters, WaitOrEvaluate) {
  test::ensure_runtime();
  struct row { const char* text; bool more; const char* open; };
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
  };
  for (const row& r : rows) {
    text::delimiter_check c = text::check_delimiters(r.text);
    EXPECT_EQ(c.more, r.more) << r.text;
    if (c.more) EXPECT_EQ(c.open, r.open) << r.text;
  }
}

}  // namespace
