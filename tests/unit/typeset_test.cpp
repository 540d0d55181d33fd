// typeset!: make rules, mold and form texts with /only, compare, the bitwise and set
// operations, complement, find, and the builder of argument type masks.
#include <gtest/gtest.h>

#include "runtime/datatypes/context.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/typeset.h"
#include "tests/unit/stack_values.h"
#include "tests/unit/value_helpers.h"

namespace vyr::test {
namespace {

class TypesetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ensure_runtime();
    fresh_stack();
  }
  static cell dt(u32 t) { return cell{TYPE_DATATYPE, t, 0, 0}; }
  cell make(const cell& spec) {
    cell proto = dt(TYPE_TYPESET);
    return *actions::make(&proto, &spec);
  }
};

TEST_F(TypesetTest, MakeAndMold) {
  stack::guard g;
  cell ts = make(*block_of({dt(TYPE_FLOAT), dt(TYPE_INTEGER)}));
  EXPECT_EQ(mold_text(ts), "make typeset! [integer! float!]");
  EXPECT_EQ(form_text(ts), "make typeset! [integer! float!]");
  EXPECT_TRUE(typeset::has_q(&ts, TYPE_INTEGER));
  // The bit of type id t is in map byte t / 8 under 0x80 >> t % 8.
  EXPECT_EQ(reinterpret_cast<const u8*>(&ts.data1)[TYPE_INTEGER / 8], 0x80u >> (TYPE_INTEGER % 8) | 0x80u >> (TYPE_FLOAT % 8));
  cell empty = make(*block_of({}));
  EXPECT_EQ(mold_text(empty), "make typeset! []");
  stack::guard g2;
  cell* out = string_of("");
  actions::mold(&empty, out, true);
  EXPECT_EQ(string::to_utf8(out), "");
  cell* only = string_of("");
  actions::mold(&ts, only, true);
  EXPECT_EQ(string::to_utf8(only), "integer! float!");
  // A typeset gives itself; a word in the block stands for its value.
  EXPECT_EQ(mold_text(make(ts)), mold_text(ts));
  cell w = word_cell("ts-test-type");
  cell logic_type = dt(TYPE_LOGIC);
  _context::set(&w, &logic_type);
  EXPECT_EQ(mold_text(make(*block_of({w, ts}))), "make typeset! [logic! integer! float!]");
  EXPECT_EQ(error_of([&] { make(int_cell(1)); }), "script/bad-to-arg");
  EXPECT_EQ(error_of([&] { make(*block_of({int_cell(1)})); }), "script/invalid-arg");
  cell unset_word = word_cell("ts-test-unset");
  EXPECT_EQ(error_of([&] { make(*block_of({unset_word})); }), "script/invalid-arg");
}

TEST_F(TypesetTest, DefaultComplementAndFind) {
  stack::guard g;
  cell def;
  typeset::make_default(&def);
  EXPECT_FALSE(typeset::has_q(&def, TYPE_UNSET));
  EXPECT_TRUE(typeset::has_q(&def, TYPE_ERROR));
  cell c = def;
  actions::complement(&c);
  EXPECT_EQ(mold_text(c), "make typeset! [unset!]");
  EXPECT_EQ(typeset::count(&c), 1u);
  find_args opts;
  cell integer_type = dt(TYPE_INTEGER);
  EXPECT_EQ(typeset::find(&c, &integer_type, opts), &false_value);
  EXPECT_EQ(typeset::find(&def, &integer_type, opts), &true_value);
  cell w = word_cell("integer!");
  EXPECT_EQ(error_of([&] { typeset::find(&c, &w, opts); }), "script/invalid-arg");
}

TEST_F(TypesetTest, CompareAndBitwise) {
  stack::guard g;
  cell a = make(*block_of({dt(TYPE_INTEGER), dt(TYPE_FLOAT)}));
  cell b = make(*block_of({dt(TYPE_FLOAT), dt(TYPE_LOGIC)}));
  EXPECT_TRUE(actions::compare(&a, &a, compare_op::EQUAL));
  EXPECT_FALSE(actions::compare(&a, &b, compare_op::EQUAL));
  EXPECT_EQ(typeset::compare(&a, &b, compare_op::SORT), 0);  // two types each
  cell one = int_cell(1);
  EXPECT_EQ(typeset::compare(&a, &one, compare_op::EQUAL), -2);
  EXPECT_EQ(typeset::compare(&a, &b, compare_op::LESSER), -2);
  struct row { i32 op; const char* text; };
  const row rows[] = {
      {math_op::OR, "make typeset! [logic! integer! float!]"},
      {math_op::AND, "make typeset! [float!]"},
      {math_op::XOR, "make typeset! [logic! integer!]"},
      {typeset::OP_EXCLUDE, "make typeset! [integer!]"},
      {typeset::OP_UNIQUE, "make typeset! [integer! float!]"},
  };
  for (const row& r : rows) {
    stack::reset();
    stack::push_copy(&a);
    stack::push_copy(&b);
    typeset::do_bitwise(r.op);
    EXPECT_EQ(mold_text(*stack::arguments), r.text);
  }
  cell logic_type = dt(TYPE_LOGIC);
  EXPECT_EQ(mold_text(call2(typeset::or_, a, logic_type)), "make typeset! [logic! integer! float!]");
  EXPECT_EQ(error_of([&] { call2(typeset::and_, a, one); }), "script/invalid-arg");
  stack::reset();
}

TEST_F(TypesetTest, FromFunctionSpecTypes) {
  stack::guard g;
  cell w = word_cell("ts-spec-type");
  cell logic_type = dt(TYPE_LOGIC);
  _context::set(&w, &logic_type);
  cell wv = word_cell("ts-spec-word");
  cell target = word_cell("anything");
  _context::set(&wv, &target);
  cell ts;
  typeset::make_with(&ts, block_of({dt(TYPE_INTEGER), w, *block_of({}), wv}));
  EXPECT_EQ(mold_text(ts), "make typeset! [logic! integer! object!]");
  EXPECT_EQ(error_of([&] { typeset::make_with(&ts, block_of({int_cell(3)})); }),
            "script/invalid-type-spec");
  cell* types = stack::push_slot();
  *types = cell{TYPE_BLOCK, 0, typeset::to_block(&ts), 0};
  EXPECT_EQ(buffer_of(types->data2)->used_units(), 3u);
  EXPECT_EQ(block_item(types, 0)->data1, u32(TYPE_LOGIC));
}

}  // namespace
}  // namespace vyr::test
