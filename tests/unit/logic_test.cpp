// datatype!, unset!, none! and logic!: texts, comparison codes, the truth rule, the
// conversions and the static cells.
#include <gtest/gtest.h>

#include <cmath>

#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/unset.h"
#include "runtime/random.h"
#include "tests/unit/value_helpers.h"

using namespace vyr;
using namespace vyr::test;

namespace {
struct Logic : ::testing::Test {
  void SetUp() override {
    ensure_runtime();
    stack::reset();
  }
};

cell type_cell(u32 t) {
  cell c;
  datatype::make_at(&c, t);
  return c;
}
}  // namespace

TEST_F(Logic, Texts) {
  struct { cell v; const char* form; const char* mold; const char* mold_all; } cases[] = {
      {type_cell(TYPE_INTEGER), "integer", "integer!", "#(integer!)"},
      {unset_value, "", "unset", "#(unset)"},
      {none_value, "none", "none", "#(none)"},
      {true_value, "true", "true", "#(true)"},
      {false_value, "false", "false", "#(false)"},
  };
  for (auto& c : cases) {
    EXPECT_EQ(form_text(c.v), c.form);
    EXPECT_EQ(mold_text(c.v), c.mold);
    EXPECT_EQ(mold_text(c.v, true), c.mold_all);
  }
  // The budget goes down by exactly the characters appended.
  stack::guard g;
  cell* out = stack::push_slot();
  out->header = TYPE_UNSET;
  string::make_at(out, 8);
  EXPECT_EQ(actions::mold(&false_value, out, false, true, false, nullptr, 100), 92);
  EXPECT_EQ(actions::form(&unset_value, out, nullptr, 100), 100);
  cell t = type_cell(TYPE_LOGIC);
  EXPECT_EQ(actions::form(&t, out, nullptr, 100), 95);
}

TEST_F(Logic, TruthRule) {
  cell odd_logic{TYPE_LOGIC, 2, 0, 0};  // only word 1 = 1 is true
  struct { cell v; bool truth; } cases[] = {
      {none_value, false}, {false_value, false}, {odd_logic, false}, {true_value, true},
      {unset_value, true}, {int_cell(0), true}, {float_cell(0.0), true},
      {type_cell(TYPE_NONE), true},
  };
  for (auto& c : cases) {
    EXPECT_EQ(logic::true_q(&c.v), c.truth) << mold_text(c.v);
    stack::reset();
    stack::push_copy(&c.v);
    EXPECT_EQ(logic::arg_false_q(), !c.truth);
    EXPECT_EQ(logic::top_true_q(), c.truth);
    if (type_of(&c.v) != TYPE_UNSET) {
      EXPECT_EQ(logic::arg_true_q(), c.truth);
    }
  }
  // An unset! condition is refused where a value is required.
  stack::reset();
  stack::push_copy(&unset_value);
  EXPECT_EQ(error_of([] { logic::arg_true_q(); }), "script/no-return");
  EXPECT_EQ(error_of([] { logic::true_q(&unset_value, true); }), "script/no-value");
  // top_true? reads the newest cell pushed after the arguments.
  stack::push_copy(&none_value);
  EXPECT_FALSE(logic::top_true_q());
}

TEST_F(Logic, Compare) {
  cell i = type_cell(TYPE_INTEGER), f = type_cell(TYPE_FLOAT), one = int_cell(1);
  struct { cell a, b; i32 op; i32 expected; } cases[] = {
      {i, i, compare_op::EQUAL, 0},          {i, f, compare_op::EQUAL, 1},
      {i, i, compare_op::SAME, 0},           {i, i, compare_op::FIND, 0},
      {i, f, compare_op::LESSER, -2},        {i, one, compare_op::EQUAL, 1},
      {none_value, none_value, compare_op::EQUAL, 0},
      {none_value, none_value, compare_op::SORT, 0},
      {none_value, none_value, compare_op::LESSER, -2},
      {none_value, one, compare_op::EQUAL, -2},
      {unset_value, unset_value, compare_op::STRICT_EQUAL, 0},
      {unset_value, none_value, compare_op::EQUAL, -2},
      {false_value, true_value, compare_op::SORT, -1},
      {true_value, false_value, compare_op::EQUAL, 1},
      {true_value, true_value, compare_op::FIND, 0},
      {true_value, true_value, compare_op::LESSER, -2},
      {true_value, one, compare_op::EQUAL, -2},
  };
  for (auto& c : cases)
    EXPECT_EQ(actions::compare_value(&c.a, &c.b, c.op), c.expected)
        << mold_text(c.a) << " " << mold_text(c.b) << " op " << c.op;
  // lesser? false true: logic! orders by the raw ordering of blocks.
  EXPECT_EQ(actions::compare_raw(&false_value, &true_value, compare_op::LESSER), -1);
  EXPECT_TRUE(actions::compare(&none_value, &none_value, compare_op::EQUAL));
}

TEST_F(Logic, MakeAndTo) {
  cell proto = type_cell(TYPE_LOGIC);
  struct { cell spec; bool made; bool converted; } cases[] = {
      {int_cell(0), false, true},  {int_cell(-3), true, true},
      {float_cell(0.0), false, true}, {float_cell(1.5), true, true},
      {float_cell(std::nan("")), true, true}, {float_cell(0.0, TYPE_PERCENT), false, true},
      {none_value, false, false},  {false_value, false, false}, {true_value, true, true},
      {unset_value, true, true},
  };
  for (auto& c : cases) {
    stack::reset();
    stack::push_copy(&proto);
    EXPECT_EQ(mold_text(*actions::make(&proto, &c.spec)), c.made ? "true" : "false")
        << mold_text(c.spec);
    EXPECT_EQ(mold_text(*actions::to(&proto, &c.spec)), c.converted ? "true" : "false")
        << mold_text(c.spec);
  }
  // unset! and none! make themselves whatever the argument.
  cell ut = type_cell(TYPE_UNSET), nt = type_cell(TYPE_NONE), one = int_cell(1);
  EXPECT_EQ(type_of(actions::make(&ut, &one)), u32{TYPE_UNSET});
  EXPECT_EQ(type_of(actions::to(&nt, &one)), u32{TYPE_NONE});
}

TEST_F(Logic, BitwiseAndComplement) {
  struct { void (*entry)(); cell a, b; bool expected; } cases[] = {
      {actions::and_entry, true_value, false_value, false},
      {actions::and_entry, true_value, true_value, true},
      {actions::or_entry, false_value, true_value, true},
      {actions::xor_entry, true_value, true_value, false},
  };
  for (auto& c : cases) {
    cell r = call2(c.entry, c.a, c.b);
    EXPECT_EQ(logic::true_q(&r), c.expected);
  }
  EXPECT_EQ(error_of([] { call2(actions::and_entry, true_value, int_cell(1)); }),
            "script/expect-arg");
  cell v = true_value;
  actions::complement(&v);
  EXPECT_EQ(mold_text(v), "false");
}

TEST_F(Logic, RandomIsFairAndSeedable) {
  cell v = true_value;
  for (bool secure : {false, true}) {
    int trues = 0;
    for (int i = 0; i < 4000; i++) {
      stack::reset();
      stack::push_copy(&v);
      trues += logic::true_q(actions::random(stack::arguments, false, secure, false));
    }
    // One half each; a quarter would be far outside this band.
    EXPECT_GT(trues, 1800) << secure;
    EXPECT_LT(trues, 2200) << secure;
  }
  stack::reset();
  stack::push_copy(&v);
  EXPECT_EQ(type_of(actions::random(stack::arguments, true, false, false)), u32{TYPE_UNSET});
  i32 first = random::next();
  random::seed(1);
  EXPECT_EQ(random::next(), first);  // seeded with word 1 of true
}

TEST_F(Logic, NoneSeriesActions) {
  cell n = none_value;
  stack::push_copy(&n);
  EXPECT_EQ(datatype::entry_of<slot::length_q>(TYPE_NONE)(&n), -1);
  EXPECT_EQ(type_of(datatype::entry_of<slot::clear>(TYPE_NONE)(stack::arguments)), u32{TYPE_NONE});
  EXPECT_EQ(type_of(datatype::entry_of<slot::select>(TYPE_NONE)(stack::arguments, &n, find_args{})),
            u32{TYPE_NONE});
  EXPECT_EQ(type_of(datatype::entry_of<slot::take>(TYPE_NONE)(stack::arguments, nullptr, false, false)),
            u32{TYPE_NONE});
}
