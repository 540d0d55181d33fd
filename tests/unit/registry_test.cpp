// The datatype registry: inheritance resolved at registration, the rows of the core
// types, the name table, and the data stack it hands arguments through.
#include <gtest/gtest.h>

#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/unset.h"
#include "tests/unit/value_helpers.h"

using namespace vyr;
using namespace vyr::test;

namespace {
struct Registry : ::testing::Test {
  void SetUp() override {
    ensure_runtime();
    stack::reset();
  }
};

// The supported slots of a type as their action words, in slot order.
std::string row_of(u32 type) {
  std::string s;
  for (u32 n = 1; n <= ACTION_COUNT; n++)
    if (datatype::entry(type, n)) s += std::string(s.empty() ? "" : " ") + actions::name_of(n);
  return s;
}

i32 parent_compare(const cell*, const cell*, i32) { return 7; }
i32 child_compare(const cell*, const cell*, i32) { return 8; }
void parent_add() {}
bool parent_even(const cell*) { return true; }
}  // namespace

TEST_F(Registry, CoreRows) {
  // A snapshot: a slot that appears or disappears here is a registration fault.
  struct { u32 type; const char* row; } cases[] = {
      {TYPE_DATATYPE, "form mold compare"},
      {TYPE_UNSET, "make to form mold compare"},
      {TYPE_NONE, "make to form mold compare clear find length? remove select take"},
      {TYPE_LOGIC, "make random to form mold compare and~ complement or~ xor~"},
      {TYPE_INTEGER, "make random to form mold compare absolute add divide multiply negate "
                     "power remainder round subtract even? odd? and~ complement or~ xor~"},
      {TYPE_FLOAT, "make random to form mold compare absolute add divide multiply negate "
                   "power remainder round subtract even? odd?"},
  };
  for (auto& c : cases) EXPECT_EQ(row_of(c.type), c.row) << datatype::name_of(c.type);
  EXPECT_EQ(datatype::entry(TYPE_FLOAT, slot::to), datatype::entry(TYPE_FLOAT, slot::make));
}

TEST_F(Registry, InheritanceIsResolvedOnceParentFirst) {
  // Ids 55 and 56 are never used by a real type.
  action_row parent;
  parent.compare = parent_compare;
  parent.add = parent_add;
  parent.even_q = parent_even;  // form stays INHERIT with no parent: not supported
  datatype::register_(55, 0, "parent!", parent);

  action_row child;
  child.compare = child_compare;  // own entry wins
  child.add = nullptr;            // refuses what the parent has
  // even? and form inherit: the parent's implementation and the parent's 0
  datatype::register_(56, 55, "child!", child);

  EXPECT_EQ(row_of(55), "compare add even?");
  EXPECT_EQ(row_of(56), "compare even?");
  EXPECT_EQ(datatype::entry_of<slot::compare>(56), &child_compare);
  EXPECT_EQ(datatype::entry_of<slot::even_q>(56), &parent_even);
  EXPECT_EQ(datatype::parent_of(56), 55u);
  EXPECT_EQ(datatype::highest_id, 56);
  EXPECT_EQ(datatype::form_length(56), 5u);

  // A grandchild (55 registered again) sees entries its parent inherited, already
  // resolved; the child keeps what it copied from the old 55.
  datatype::register_(55, 56, "grandchild!", action_row{});
  EXPECT_EQ(datatype::entry_of<slot::even_q>(55), &parent_even);
  EXPECT_EQ(datatype::entry(55, slot::add), nullptr);
  EXPECT_EQ(row_of(56), "compare even?");
  EXPECT_EQ(datatype::highest_id, 56);  // a lower id leaves it alone
}

TEST_F(Registry, AChildBeforeItsParentStopsStartUp) {
  // Ids past the last type are never registered: a child naming one as parent is an orphan.
  ASSERT_FALSE(datatype::registered_q(TYPE_TOTAL_COUNT + 1));
  EXPECT_EXIT(datatype::register_(TYPE_TOTAL_COUNT, TYPE_TOTAL_COUNT + 1, "orphan!", action_row{}),
              testing::ExitedWithCode(98), "orphan! registered before its parent");
}

TEST_F(Registry, NameTable) {
  EXPECT_STREQ(datatype::name_of(TYPE_INTEGER), "integer!");
  EXPECT_EQ(datatype::form_length(TYPE_INTEGER), 7u);
  EXPECT_STREQ(datatype::name_of(TYPE_VALUE), "");  // never registered
  EXPECT_FALSE(datatype::registered_q(TYPE_VALUE));
  EXPECT_EQ(type_of(datatype::word_of(TYPE_INTEGER)), u32{TYPE_WORD});  // made at start-up
  EXPECT_EQ(datatype::entry(TYPE_INTEGER, 0), nullptr);
  EXPECT_EQ(datatype::entry(TYPE_INTEGER, 63), nullptr);
  EXPECT_EQ(datatype::entry(200, slot::make), nullptr);
}

TEST_F(Registry, UnsupportedActionIsATypeErrorOfTheArgument) {
  cell n = none_value;
  EXPECT_EQ(error_of([&] { actions::negate(&n); }), "script/expect-arg");
  EXPECT_EQ(error_of([&] { call2(actions::add_entry, true_value, true_value); }),
            "script/expect-arg");
  // Comparing what cannot be ordered: only the ordering codes complain.
  cell one = int_cell(1);
  EXPECT_FALSE(actions::compare(&none_value, &one, compare_op::EQUAL));
  EXPECT_TRUE(actions::compare(&none_value, &one, compare_op::NOT_EQUAL));
  EXPECT_EQ(error_of([&] { actions::compare(&none_value, &one, compare_op::LESSER); }),
            "script/invalid-compare");
}

TEST_F(Registry, DataStack) {
  EXPECT_EQ(stack::last_pushed(), stack::base);  // empty: the base cell
  cell one = int_cell(1);
  stack::push_copy(&one);
  stack::push_copy(&one);
  stack::pop_cells(5);  // more than the height: stops at base
  EXPECT_EQ(stack::top, stack::base);

  // Filling the stack raises stack-overflow and leaves room to build the error: the guard
  // gives it, and the cells below the top stay as they were (the calls under a catching
  // point go on with them).
  stack::top = stack::limit - 2;
  *stack::push_slot() = int_cell(7);  // the last usable cell
  EXPECT_EQ(error_of([] { stack::push_slot(); }), "internal/stack-overflow");
  EXPECT_EQ(stack::top, stack::limit - 1);
  EXPECT_EQ(type_of(stack::limit - 2), TYPE_INTEGER);
  EXPECT_EQ(integer::get(stack::limit - 2), 7);
  EXPECT_NE(stack::push_slot(), nullptr);
  stack::reset();

  // Cells on the stack are roots: a string pushed there survives a collection.
  cell* s = stack::push_slot();
  s->header = TYPE_UNSET;
  string::make_at(s, 4);
  string::concatenate_literal(s, "kept");
  collector::do_cycle();
  EXPECT_EQ(string::to_utf8(stack::base), "kept");
  stack::reset();
}
