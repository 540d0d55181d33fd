// date!: the day-number calendar both ways (negative years included), normalisation
// across day boundaries with zones, and the month-name list the text depends on.
#include <gtest/gtest.h>

#include "runtime/collector.h"
#include "runtime/datatypes/date.h"
#include "tests/unit/value_helpers.h"

using namespace vyr;
using namespace vyr::test;

namespace {
struct Date : ::testing::Test {
  void SetUp() override {
    ensure_runtime();
    stack::reset();
  }
};

cell date_of(i32 y, i32 m, i32 d) {
  cell c;
  date::make_at(&c, y, m, d, 0, 0, 0, false);
  return c;
}
}  // namespace

TEST_F(Date, DayNumbersRoundTripForEveryDayOfNegativeAndPositiveYears) {
  // Consecutive day numbers give consecutive calendar dates, one date per number.
  for (i64 days = date::to_days(-401, 1, 1); days < date::to_days(401, 12, 31); days++) {
    u32 p = date::from_days(days, 0, false);
    ASSERT_EQ(date::to_days(date::year_of(p), date::month_of(p), date::day_of(p)), days);
    u32 next = date::from_days(days + 1, 0, false);
    bool same_month = date::month_of(next) == date::month_of(p);
    ASSERT_EQ(date::day_of(next), same_month ? date::day_of(p) + 1 : 1);
  }
  EXPECT_EQ(date::to_days(0, 3, 1), 0);
  EXPECT_EQ(date::to_days(0, 2, 29), -1);  // year 0 is a leap year
}

TEST_F(Date, NormaliseCarriesTheLocalTimeIntoOneDay) {
  struct Case {
    double time;
    u32 zone;
    i64 days_moved;
    double time_after;
  } cases[] = {
      {90000, 0, 1, 3600},                        // 25:00 UTC
      {-3600, 0, -1, 82800},                      // -1:00
      {-3600, 2 << 2, 0, -3600},                  // 23:00 UTC the day before is 1:00 at +2
      {82800, 2 << 2, 1, -3600},                  // 23:00 UTC is 1:00 the next day at +2
      {3600, date::ZONE_WEST | 5 << 2, -1, 90000},  // 1:00 UTC is 20:00 the day before at -5
  };
  for (const Case& k : cases) {
    i64 days = 1000;
    double t = k.time;
    date::normalize(&days, &t, k.zone);
    EXPECT_EQ(days, 1000 + k.days_moved) << k.time;
    EXPECT_DOUBLE_EQ(t, k.time_after) << k.time;
    double local = t + date::zone_seconds(k.zone);
    EXPECT_TRUE(local >= 0 && local < 86400) << k.time;
  }
}

TEST_F(Date, MonthNamesMissingOrNotStringsRaiseInvalidMonths) {
  cell saved = date::months;
  collector::root_guard keep(&saved);  // the names stay alive while replaced
  cell d = date_of(2024, 2, 5);
  EXPECT_EQ(mold_text(d), "5-Feb-2024");
  date::months = *block_of({int_cell(1), int_cell(2)});  // February is no string
  EXPECT_EQ(error_of([&] { mold_text(d); }), "script/invalid-months");
  date::months = *block_of({});
  EXPECT_EQ(error_of([&] { mold_text(d); }), "script/invalid-months");
  date::months = saved;
  EXPECT_EQ(mold_text(d), "5-Feb-2024");
}

TEST_F(Date, LiteralTextNeedsTheWholeToken) {
  cell d;
  const char* bad[] = {"5-Jan-2024/", "5-Jan-2024/10:00+", "2024-W01-", "5-Jan", "5--2024",
                       "20240101T10", "5-Jan-2024/-1:00", "5-Jan/2024"};
  for (const char* t : bad)
    EXPECT_FALSE(date::scan_text(t, t + std::strlen(t), &d)) << t;
}
