// time!: text in both directions (carry of rounded seconds, the sign in the /part budget),
// make/to, fields of positive and negative times, the time rules over float!'s math,
// comparison, rounding, even?/odd?, random, and the range every time! must keep.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>

#include "runtime/collector.h"
#include "runtime/datatypes/time.h"
#include "runtime/datatypes/word.h"
#include "tests/unit/value_helpers.h"

using namespace vyr;
using namespace vyr::test;

namespace {
struct Time : ::testing::Test {
  void SetUp() override {
    ensure_runtime();
    stack::reset();
  }
};

constexpr double H = 3600.0;
const double NaN = std::numeric_limits<double>::quiet_NaN();

cell time_of(double seconds) { return float_cell(seconds, TYPE_TIME); }

// `to time!` of a value (make is the same routine).
cell to_time(const cell* spec) {
  cell proto{TYPE_DATATYPE, TYPE_TIME, 0, 0};
  cell s = *spec;
  stack::guard g;
  stack::arguments = stack::top;
  stack::push_copy(&proto);
  return *actions::to(&proto, &s);
}

cell* push_value(cell c) { return stack::push_copy(&c); }

cell word_cell(const char* name) { return word::intern(name); }

cell date_cell() { return cell{TYPE_DATE, 0, 0, 0}; }
}  // namespace

TEST_F(Time, Registration) {
  EXPECT_STREQ(datatype::name_of(TYPE_TIME), "time!");
  EXPECT_EQ(datatype::parent_of(TYPE_TIME), TYPE_FLOAT);
  // Inherited from float!
  for (u32 s : {slot::random, slot::compare, slot::absolute, slot::negate})
    EXPECT_EQ(datatype::entry(TYPE_TIME, s), datatype::entry(TYPE_FLOAT, s)) << s;
  // Refused although float! has them
  EXPECT_EQ(datatype::entry(TYPE_TIME, slot::power), nullptr);
  EXPECT_EQ(datatype::entry(TYPE_TIME, slot::append), nullptr);
  EXPECT_NE(datatype::entry(TYPE_TIME, slot::pick), nullptr);
}

TEST_F(Time, Text) {
  struct { double seconds; const char* text; } cases[] = {
      {0, "0:00:00"},
      {3725.5, "1:02:05.5"},
      {30 * H, "30:00:00"},
      {-90, "-0:01:30"},
      {0.5, "0:00:00.5"},
      {5, "0:00:05"},
      {12.3456789, "0:00:12.3457"},
      {0.0000004, "0:00:00"},              // below a microsecond
      {0.000001, "0:00:00.000001"},
      {-0.0, "0:00:00"},
      // Six digits round these up to a whole minute: the minute (and hour) takes the carry.
      {59.9999995, "0:01:00"},
      {119.99999999, "0:02:00"},
      {H - 0.0000001, "1:00:00"},
      {-(H - 0.0000001), "-1:00:00"},
      {59.99994, "0:00:59.9999"},
      {2147483647.0 * H, "2147483647:00:00"},
      {-2147483647.0 * H - 59, "-2147483647:00:59"},
  };
  for (auto& c : cases) {
    cell t = time_of(c.seconds);
    EXPECT_EQ(mold_text(t), c.text) << c.seconds;
    EXPECT_EQ(form_text(t), c.text) << c.seconds;
  }
}

TEST_F(Time, BudgetCountsTheSign) {
  struct { double seconds; i32 budget, left; } cases[] = {
      {-90, 5, 5 - 8},  // "-0:01:30"
      {90, 5, 5 - 7},
      {-3725.5, 100, 100 - 10},  // "-1:02:05.5"
  };
  for (auto& c : cases) {
    stack::guard g;
    cell* out = stack::push_slot();
    out->header = TYPE_UNSET;
    string::make_at(out, 16);
    EXPECT_EQ(time::serialize(out, c.seconds, c.budget), c.left) << c.seconds;
  }
}

TEST_F(Time, Scan) {
  struct { const char* text; time::scan_result result; double seconds; } cases[] = {
      {"12:30", time::SCAN_OK, 12 * H + 30 * 60},
      {"1:30.5", time::SCAN_OK, 90.5},  // m:s.f
      {"1:30,5", time::SCAN_OK, 90.5},
      {"1:02:03.5", time::SCAN_OK, 3723.5},
      {"1:02:03.", time::SCAN_OK, 3723},
      {"-1:30", time::SCAN_OK, -5400},
      {"+0:10", time::SCAN_OK, 600},
      {"1:75", time::SCAN_OK, 2 * H + 15 * 60},  // no clock limits
      {"0:0:0.1", time::SCAN_OK, 0.1},
      {"2147483647:00", time::SCAN_OK, 2147483647.0 * H},
      {"2147483648:00", time::SCAN_RANGE, 0},
      {"0:99999999999999", time::SCAN_RANGE, 0},
      {"", time::SCAN_BAD, 0},
      {"1", time::SCAN_BAD, 0},
      {"1:", time::SCAN_BAD, 0},  // trailing colon
      {"1:2:", time::SCAN_BAD, 0},
      {":30", time::SCAN_BAD, 0},
      {"1.5", time::SCAN_BAD, 0},
      {"1.5:00", time::SCAN_BAD, 0},
      {"1:2:3:4", time::SCAN_BAD, 0},
      {"1:30.5:2", time::SCAN_BAD, 0},
      {"1:30e2", time::SCAN_BAD, 0},  // exponent
      {"1:-30", time::SCAN_BAD, 0},   // negative later field
      {"1:30:-5", time::SCAN_BAD, 0},
      {"--1:30", time::SCAN_BAD, 0},
      {"1 :30", time::SCAN_BAD, 0},
  };
  for (auto& c : cases) {
    double s = -1;
    EXPECT_EQ(time::scan_seconds(c.text, c.text + std::strlen(c.text), &s), c.result)
        << c.text;
    if (c.result == time::SCAN_OK) {
      EXPECT_EQ(s, c.seconds) << c.text;
    }
  }
}

TEST_F(Time, PartsAndRoundTrip) {
  time::time_parts p;
  const char* t = "-1:02:03.25";
  ASSERT_EQ(time::scan_text(t, t + std::strlen(t), &p), time::SCAN_OK);
  EXPECT_TRUE(p.negative);
  EXPECT_EQ(p.hours, 1);
  EXPECT_EQ(p.minutes, 2);
  EXPECT_EQ(p.seconds, 3.25);
  cell c;
  time::make_at_parts(&c, p.hours, p.minutes, p.seconds, p.negative);
  EXPECT_EQ(mold_text(c), "-1:02:03.25");
  EXPECT_EQ(error_of([&] { time::from_parts(2147483648.0, 0, 0, true); }), "script/type-limit");

  // What mold writes scans back to the same time (to the six digits shown).
  for (double s : {0.0, 1.5, 3725.5, -90.0, 86399.25, -0.125, 1e9, 59.9999995}) {
    cell v = time_of(s);
    std::string text = mold_text(v);
    double back = NaN;
    ASSERT_EQ(time::scan_seconds(text.data(), text.data() + text.size(), &back), time::SCAN_OK)
        << text;
    EXPECT_NEAR(back, s, 1e-5) << text;
  }
}

TEST_F(Time, MakeAndTo) {
  struct { const char* name; std::function<cell*()> spec; const char* expected; } cases[] = {
      {"[1 30]", [] { return block_of({int_cell(1), int_cell(30)}); }, "time! 1:30:00"},
      {"[-1 30 0]", [] { return block_of({int_cell(-1), int_cell(30), int_cell(0)}); },
       "time! -1:30:00"},
      {"[1 2 3.5]", [] { return block_of({int_cell(1), int_cell(2), float_cell(3.5)}); },
       "time! 1:02:03.5"},
      {"[]", [] { return block_of({}); }, "time! 0:00:00"},
      {"[1 -30]", [] { return block_of({int_cell(1), int_cell(-30)}); }, "script/bad-to-arg"},
      {"[1 2 -3]", [] { return block_of({int_cell(1), int_cell(2), int_cell(-3)}); },
       "script/bad-to-arg"},
      {"[1 2.5]", [] { return block_of({int_cell(1), float_cell(2.5)}); },
       "script/bad-to-arg"},
      {"[1 2 3 4]",
       [] { return block_of({int_cell(1), int_cell(2), int_cell(3), int_cell(4)}); },
       "script/bad-to-arg"},
      {"[0 0 NaN]", [] { return block_of({int_cell(0), int_cell(0), float_cell(NaN)}); },
       "script/type-limit"},
      {"[2147483647 60]", [] { return block_of({int_cell(2147483647), int_cell(60)}); },
       "script/type-limit"},
      {"[-2147483648]", [] { return block_of({int_cell(INT32_MIN)}); }, "script/type-limit"},
      {"90", [] { return push_value(int_cell(90)); }, "time! 0:01:30"},
      {"1.5", [] { return push_value(float_cell(1.5)); }, "time! 0:00:01.5"},
      {"50%", [] { return push_value(float_cell(0.5, TYPE_PERCENT)); },
       "time! 0:00:00.5"},
      {"1e300", [] { return push_value(float_cell(1e300)); },
       "script/type-limit"},
      {"NaN", [] { return push_value(float_cell(NaN)); },
       "script/type-limit"},
      {"-1:00", [] { return push_value(time_of(-H)); }, "time! -1:00:00"},
      {"\"1:02\"", [] { return push_string("1:02"); }, "time! 1:02:00"},
      {"\" -0:00:30 \"", [] { return push_string(" -0:00:30 "); }, "time! -0:00:30"},
      {"%1:02", [] { return push_string("1:02", TYPE_FILE); }, "time! 1:02:00"},
      {"\"12\"", [] { return push_string("12"); }, "script/bad-to-arg"},
      {"\"1:2:3:4\"", [] { return push_string("1:2:3:4"); }, "script/bad-to-arg"},
      {"\"\"", [] { return push_string(""); }, "script/bad-to-arg"},
      {"\"9999999999:00\"", [] { return push_string("9999999999:00"); }, "script/type-limit"},
      {"true", [] { return push_value(cell{TYPE_LOGIC, 1, 0, 0}); },
       "script/bad-to-arg"},
  };
  for (auto& c : cases) {
    stack::reset();
    cell* spec = c.spec();
    EXPECT_EQ(outcome_of([&] { return to_time(spec); }), c.expected) << c.name;
  }
}

TEST_F(Time, ToIntegerRoundsHalfAwayFromZero) {
  cell proto{TYPE_DATATYPE, TYPE_INTEGER, 0, 0};
  struct { double seconds; const char* expected; } cases[] = {
      {3600.5, "integer! 3601"},
      {-0.5, "integer! -1"},
      {1.4, "integer! 1"},
      {-1.6, "integer! -2"},
      {2147483647.4, "integer! 2147483647"},
      {2147483647.5, "script/type-limit"},
      {-2147483648.5, "script/type-limit"},
      {2147483647.0 * H, "script/type-limit"},
  };
  for (auto& c : cases) {
    cell t = time_of(c.seconds);
    stack::reset();
    stack::push_copy(&proto);
    EXPECT_EQ(outcome_of([&] { return *actions::to(&proto, &t); }), c.expected) << c.seconds;
  }
}

TEST_F(Time, ReadFields) {
  struct { double seconds; const char* hour; const char* minute; const char* second; } cases[] = {
      {H + 2 * 60 + 3, "integer! 1", "integer! 2", "float! 3.0"},
      {-(H + 30 * 60 + 15), "integer! -1", "integer! 30", "float! -15.0"},
      {-30, "integer! 0", "integer! 0", "float! -30.0"},
      {30 * H + 59 * 60 + 59.5, "integer! 30", "integer! 59", "float! 59.5"},
      {H - 0.5, "integer! 0", "integer! 59", "float! 59.5"},
  };
  const char* names[] = {"hour", "minute", "second"};
  for (auto& c : cases) {
    const char* expected[] = {c.hour, c.minute, c.second};
    for (int f = 0; f < 3; f++) {
      cell t = time_of(c.seconds);
      cell by_word = word_cell(names[f]);
      cell by_index = int_cell(f + 1);
      path_args walk;
      stack::reset();
      EXPECT_EQ(describe(*time::eval_path(&t, &by_word, nullptr, walk)), expected[f])
          << c.seconds << " " << names[f];
      EXPECT_EQ(describe(*time::eval_path(&t, &by_index, nullptr, walk)), expected[f]);
      for (const cell* index : {&by_word, &by_index}) {
        stack::reset();
        stack::push_copy(&t);  // pick leaves the field in the value's own slot
        EXPECT_EQ(describe(*time::pick(stack::arguments, f + 1, index)), expected[f]);
      }
    }
  }
  // Field words match without regard to case.
  cell t = time_of(2 * H), upper = word_cell("HOUR");
  EXPECT_EQ(describe(*time::eval_path(&t, &upper, nullptr, path_args{})), "integer! 2");
}

TEST_F(Time, SetFields) {
  struct { double seconds; const char* field; cell value; const char* expected; } cases[] = {
      {1.5 * H, "minute", int_cell(45), "1:45:00"},
      {-1.5 * H, "minute", int_cell(45), "-1:45:00"},  // |t| split, sign restored
      {-(H + 30 * 60 + 15), "second", int_cell(20), "-1:30:20"},
      {-(H + 30 * 60 + 15), "second", float_cell(2.5), "-1:30:02.5"},
      {-1.5 * H, "hour", int_cell(3), "3:30:00"},      // the hour carries the sign
      {1.5 * H, "hour", int_cell(-2), "-2:30:00"},
      {-0.5 * H, "hour", int_cell(0), "-0:30:00"},
      {1.5 * H, "minute", int_cell(75), "2:15:00"},    // carries into the hours
      {1.5 * H, "hour", int_cell(2147483647), "2147483647:30:00"},
      {1.5 * H, "hour", int_cell(INT32_MIN), "script/type-limit"},
      {1.5 * H, "second", float_cell(NaN), "script/type-limit"},
      {1.5 * H, "hour", float_cell(2.0), "script/invalid-arg"},
      {1.5 * H, "minute", cell{TYPE_NONE, 0, 0, 0}, "script/invalid-arg"},
  };
  for (auto& c : cases) {
    cell t = time_of(c.seconds), w = word_cell(c.field), v = c.value;
    std::string got = error_of([&] { time::eval_path(&t, &w, &v, path_args{}); });
    if (got.empty()) got = mold_text(t);
    EXPECT_EQ(got, c.expected) << c.seconds << " " << c.field;
  }
}

TEST_F(Time, BadFieldElements) {
  cell t = time_of(H);
  cell four = int_cell(4), zero = int_cell(0), foo = word_cell("foo"), text{TYPE_NONE, 0, 0, 0};
  for (cell* e : {&four, &zero, &foo, &text})
    EXPECT_EQ(error_of([&] { time::eval_path(&t, e, nullptr, path_args{}); }),
              "script/invalid-path");
  stack::push_copy(&t);
  EXPECT_EQ(error_of([&] { time::pick(stack::arguments, 4, &four); }), "script/out-of-range");
  EXPECT_EQ(error_of([&] { time::pick(stack::arguments, 0, &zero); }), "script/out-of-range");
  EXPECT_EQ(error_of([&] { time::pick(stack::arguments, 0, &foo); }), "script/cannot-use");
}

TEST_F(Time, Arithmetic) {
  using namespace actions;
  const double MAXT = 2147483647.0 * H;
  struct { void (*entry)(); cell a, b; const char* expected; } cases[] = {
      {add_entry, time_of(H), time_of(1800), "time! 1:30:00"},
      {add_entry, time_of(H), int_cell(30), "time! 1:00:30"},
      {add_entry, time_of(H), float_cell(0.5), "time! 1:00:00.5"},
      {add_entry, int_cell(30), time_of(H), "time! 1:00:30"},
      {subtract_entry, time_of(H), time_of(2 * H), "time! -1:00:00"},
      {multiply_entry, time_of(H), int_cell(2), "time! 2:00:00"},
      {multiply_entry, int_cell(2), time_of(H), "time! 2:00:00"},
      {multiply_entry, time_of(H), time_of(2), "script/not-related"},
      {divide_entry, time_of(H), time_of(1800), "float! 2.0"},
      {divide_entry, time_of(H), int_cell(4), "time! 0:15:00"},
      {divide_entry, time_of(H), int_cell(0), "script/type-limit"},
      {divide_entry, time_of(0), int_cell(0), "script/type-limit"},  // NaN
      {remainder_entry, time_of(5400), time_of(H), "time! 0:30:00"},
      {remainder_entry, time_of(5400), int_cell(0), "script/type-limit"},
      {add_entry, time_of(MAXT), time_of(H), "script/type-limit"},
      {subtract_entry, time_of(-MAXT), time_of(H), "script/type-limit"},
      {multiply_entry, int_cell(2147483647), time_of(10 * H), "script/type-limit"},
      {multiply_entry, float_cell(1e300), time_of(H), "script/type-limit"},
      {subtract_entry, time_of(H), date_cell(), "script/not-related"},
      {add_entry, time_of(H), cell{TYPE_NONE, 0, 0, 0}, "script/invalid-type"},
      {absolute_entry, time_of(-H), time_of(0), "time! 1:00:00"},
  };
  for (auto& c : cases) EXPECT_EQ(outcome(c.entry, c.a, c.b), c.expected)
      << describe(c.a) << ", " << describe(c.b);

  cell t = time_of(-MAXT);
  EXPECT_EQ(mold_text(*actions::negate(&t)), "2147483647:00:00");
}

TEST_F(Time, Compare) {
  using namespace compare_op;
  struct { cell a, b; i32 op; bool expected; } cases[] = {
      {time_of(H), time_of(H), EQUAL, true},
      {time_of(H), time_of(H + 1), LESSER, true},
      {time_of(-H), time_of(0), LESSER, true},
      {time_of(H), time_of(-H), GREATER_OR_EQUAL, true},
      {time_of(H), int_cell(3600), EQUAL, true},
      {time_of(H), float_cell(3600), STRICT_EQUAL, false},
      {time_of(H), time_of(H), STRICT_EQUAL, true},
      {time_of(0.0), time_of(-0.0), SAME, false},
      {time_of(H), time_of(H + 1e-9), NOT_EQUAL, true},
  };
  for (auto& c : cases)
    EXPECT_EQ(actions::compare(&c.a, &c.b, c.op), c.expected)
        << describe(c.a) << " op " << c.op << " " << describe(c.b);
}

TEST_F(Time, Round) {
  round_flags plain, down, floor_, even;
  down.down = true;
  floor_.floor = true;
  even.even = true;
  cell quarter = time_of(900), sixty = int_cell(60), half = float_cell(1.5), one = int_cell(1);
  cell money{TYPE_MONEY, 0, 0, 0};
  struct { double seconds; const cell* scale; round_flags mode; const char* expected; } cases[] = {
      {H + 0.5, nullptr, plain, "time! 1:00:01"},
      {-0.5, nullptr, plain, "time! -0:00:01"},
      {H + 0.5, nullptr, down, "time! 1:00:00"},
      {-0.25, nullptr, floor_, "time! -0:00:01"},
      {2.5, nullptr, even, "time! 0:00:02"},
      {H + 500, &quarter, plain, "time! 1:15:00"},
      {H + 95, &sixty, plain, "time! 1:02:00"},   // integer! scale: still a time!
      {2.3, &half, plain, "time! 0:00:03"},       // float! scale: still a time!
      {1e6 * H + 0.4, &one, plain, "time! 1000000:00:00"},  // beyond integer range: no overflow
      {H, &money, plain, "script/not-related"},
  };
  for (auto& c : cases) {
    cell t = time_of(c.seconds);
    EXPECT_EQ(outcome_of([&] { return *actions::round(&t, c.scale, c.mode); }), c.expected)
        << c.seconds;
  }
}

TEST_F(Time, EvenOdd) {
  struct { double seconds; bool even; } cases[] = {
      {2, true}, {61, false}, {2.9999999, false},  // nudged to 3
      {-3, false}, {-4, true}, {H + 58, true}, {0, true},
  };
  for (auto& c : cases) {
    cell t = time_of(c.seconds);
    EXPECT_EQ(actions::even_q(&t), c.even) << c.seconds;
    EXPECT_EQ(actions::odd_q(&t), !c.even) << c.seconds;
  }
}

TEST_F(Time, RandomStaysWithinTheValue) {
  for (int i = 0; i < 50; i++) {
    cell t = time_of(H);
    const cell* r = actions::random(&t, false, false, false);
    ASSERT_EQ(type_of(r), TYPE_TIME);
    double s = cell_float(r);
    EXPECT_TRUE(s >= 0 && s <= H) << s;
  }
}
