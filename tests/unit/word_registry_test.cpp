// The word kinds, issue!, symbol! and context! as registered: dispatch by type reaches the
// word implementations, inheritance gives every kind word!'s entries, and issue! keeps its own.
#include <gtest/gtest.h>

#include "runtime/datatypes/word.h"
#include "tests/unit/value_helpers.h"

namespace vyr::test {
namespace {

class WordRegistryTest : public ::testing::Test {
 protected:
  void SetUp() override { ensure_runtime(); }
};

TEST_F(WordRegistryTest, NamesParentsAndMoldThroughDispatch) {
  struct row { u32 type; const char* name; u32 parent; const char* molded; };
  const row rows[] = {
      {TYPE_WORD, "word!", TYPE_SYMBOL, "abc"},
      {TYPE_LIT_WORD, "lit-word!", TYPE_WORD, "'abc"},
      {TYPE_SET_WORD, "set-word!", TYPE_WORD, "abc:"},
      {TYPE_GET_WORD, "get-word!", TYPE_WORD, ":abc"},
      {TYPE_REFINEMENT, "refinement!", TYPE_WORD, "/abc"},
      {TYPE_ISSUE, "issue!", TYPE_WORD, "#abc"},
  };
  for (const row& r : rows) {
    EXPECT_STREQ(datatype::name_of(r.type), r.name);
    EXPECT_EQ(datatype::parent_of(r.type), r.parent);
    cell w = word::intern("abc");
    set_type(&w, r.type);
    EXPECT_EQ(mold_text(w), r.molded) << r.name;
    EXPECT_EQ(form_text(w), "abc") << r.name;
  }
  EXPECT_STREQ(datatype::name_of(TYPE_SYMBOL), "symbol!");
  EXPECT_STREQ(datatype::name_of(TYPE_CONTEXT), "context!");
  EXPECT_EQ(datatype::entry(TYPE_CONTEXT, slot::compare), nullptr);
  EXPECT_NE(datatype::entry(TYPE_SYMBOL, slot::compare), nullptr);
  EXPECT_EQ(datatype::entry(TYPE_SYMBOL, slot::mold), nullptr);
  // issue! has no index?; the kinds inherit word!'s.
  EXPECT_EQ(datatype::entry(TYPE_ISSUE, slot::index_q), nullptr);
  EXPECT_EQ(datatype::entry(TYPE_SET_WORD, slot::index_q), datatype::entry(TYPE_WORD, slot::index_q));
}

TEST_F(WordRegistryTest, CompareAndMakeThroughDispatch) {
  cell a = word::intern("Reg-Word");
  cell b = word::intern("reg-word");
  set_type(&b, TYPE_SET_WORD);
  EXPECT_TRUE(actions::compare(&a, &b, compare_op::EQUAL));
  EXPECT_FALSE(actions::compare(&a, &b, compare_op::STRICT_EQUAL));
  cell issue = a;
  set_type(&issue, TYPE_ISSUE);
  // An issue is not comparable with a word when it is the second value.
  EXPECT_EQ(actions::compare_value(&a, &issue, compare_op::EQUAL), -2);
  EXPECT_FALSE(actions::compare(&a, &issue, compare_op::EQUAL));

  stack::guard g;
  cell lit{TYPE_DATATYPE, TYPE_LIT_WORD, 0, 0};
  const cell* made = actions::make(&lit, &a);
  EXPECT_EQ(type_of(made), u32(TYPE_LIT_WORD));
  EXPECT_EQ(mold_text(*made), "'Reg-Word");
  // A datatype! gives the word of its name.
  cell wt{TYPE_DATATYPE, TYPE_WORD, 0, 0};
  cell integer_type{TYPE_DATATYPE, TYPE_INTEGER, 0, 0};
  EXPECT_EQ(form_text(*actions::to(&wt, &integer_type)), "integer!");
  cell five = int_cell(5);
  EXPECT_EQ(error_of([&] { actions::make(&wt, &five); }), "script/bad-to-arg");
}

}  // namespace
}  // namespace vyr::test
