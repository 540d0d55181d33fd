// Decimal text inside string buffers to float, through the float text conversion.
#include <gtest/gtest.h>

#include "runtime/datatypes/string.h"
#include "tests/unit/fixture.h"

using namespace vyr;

TEST(StringFloat, ReadsDecimalTextAtAPosition) {
  test::ensure_runtime();
  struct { const char* text; u32 start, len; double want; } cases[] = {
      {"x1.5y", 1, 3, 1.5}, {"-0.25", 0, 5, -0.25}, {"1e3", 0, 3, 1000.0},
  };
  for (auto& c : cases) {
    cell s;
    string::make_at(&s, 8);
    collector::root_guard g(&s);
    string::concatenate_literal(&s, c.text);
    i32 error = 0;
    series_buffer* b = buffer_of(s.data2);
    EXPECT_DOUBLE_EQ(string::to_float(b->head(), c.start, c.len, &error), c.want) << c.text;
    EXPECT_EQ(error, 0);
  }
}
