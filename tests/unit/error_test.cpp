// error!: the catalogue as read from errors.vyr, errors from codes, blocks and strings, the
// report texts, errors raised by fire, and the pre-built fatal errors.
#include <gtest/gtest.h>

#include "runtime/collector.h"
#include "runtime/datatypes/context.h"
#include "runtime/datatypes/error.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/object.h"
#include "tests/unit/stack_values.h"
#include "tests/unit/value_helpers.h"

namespace vyr::test {
namespace {

class ErrorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ensure_runtime();
    fresh_stack();
  }
  void TearDown() override { error::stack_trace = 0; error::call_words_hook = nullptr; }
  cell* from(const cell& spec) {
    cell* out = stack::push_slot();
    *out = none_value;
    error::make_from(&spec, out);
    return out;
  }
  cell* create(const char* cat, const char* id, const cell* a1 = nullptr,
               const cell* a2 = nullptr, const cell* a3 = nullptr) {
    cell* out = stack::push_slot();
    *out = none_value;
    error::create(cat, id, a1, a2, a3, out);
    return out;
  }
  static std::string head(const cell& e) {
    std::string t = form_text(e);
    return t.substr(0, t.find('\n'));
  }
};

TEST_F(ErrorTest, CatalogueShape) {
  struct row { const char* name; const char* title; i32 code; u32 ids; };
  const row rows[] = {{"throw", "Throw Error", 0, 5},       {"note", "note", 100, 1},
                      {"syntax", "Syntax Error", 200, 7},    {"script", "Script Error", 300, 94},
                      {"math", "Math Error", 400, 3},        {"access", "Access Error", 500, 15},
                      {"reserved1", "Reserved1 Error", 600, 0},
                      {"reserved2", "Reserved2 Error", 700, 0},
                      {"user", "User Error", 800, 1},        {"internal", "Internal Error", 900, 14}};
  u32 ctx = error::catalog.data1;
  ASSERT_EQ(_context::word_count(ctx), 10u);
  for (u32 i = 0; i < 10; i++) {
    EXPECT_EQ(form_text(*_context::word_at(ctx, i)), rows[i].name);
    cell cat = object::get_values(&error::catalog)[i];
    EXPECT_EQ(_context::word_count(cat.data1), rows[i].ids + 2) << rows[i].name;
    EXPECT_EQ(describe(object::get_values(&cat)[0]), "integer! " + std::to_string(rows[i].code));
    EXPECT_EQ(string::to_utf8(&object::get_values(&cat)[1]), rows[i].title);
  }
}

TEST_F(ErrorTest, FromCodes) {
  stack::guard g;
  cell* e = from(int_cell(300));
  EXPECT_EQ(type_of(e), u32(TYPE_ERROR));
  EXPECT_EQ(e->data2, object::ERROR_CLASS_ID);
  EXPECT_EQ(form_text(cell(*error::field_of(e, error::FIELD_TYPE))), "script");
  EXPECT_EQ(form_text(cell(*error::field_of(e, error::FIELD_ID))), "no-value");
  EXPECT_EQ(describe(cell(*error::field_of(e, error::FIELD_CODE))), "integer! 300");
  // The type word is bound to the catalogue, the id word to its category.
  EXPECT_EQ(error::field_of(e, error::FIELD_TYPE)->data1, error::catalog.data1);
  EXPECT_EQ(form_text(cell(*error::field_of(from(int_cell(393)), error::FIELD_ID))), "vb-invalid-record");
  EXPECT_EQ(form_text(cell(*error::field_of(from(int_cell(400)), error::FIELD_ID))), "zero-divide");
  for (i32 bad : {399, -1, 1000, 600})
    EXPECT_EQ(error_of([&] { from(int_cell(bad)); }), "script/out-of-range") << bad;
}

TEST_F(ErrorTest, FromBlocksAndStrings) {
  stack::guard g;
  cell* e = from(*block_of({word_cell("math"), word_cell("zero-divide")}));
  EXPECT_EQ(describe(cell(*error::field_of(e, error::FIELD_CODE))), "integer! 400");
  EXPECT_EQ(form_text(*e),
            "*** Math Error: attempt to divide by zero\n*** Where: ???\n*** Near : none");
  cell* u = from(*string_of("boom"));
  EXPECT_EQ(form_text(cell(*error::field_of(u, error::FIELD_TYPE))), "user");
  EXPECT_EQ(string::to_utf8(error::field_of(u, error::FIELD_ARG1)), "boom");
  EXPECT_EQ(head(*u), "*** User Error: boom");
  struct bad { cell spec; const char* error; };
  const bad cases[] = {
      {*block_of({word_cell("nonsense"), word_cell("x")}), "script/invalid-spec-field"},
      {*block_of({word_cell("script"), word_cell("nonsense")}), "script/invalid-spec-field"},
      {*block_of({word_cell("script")}), "script/invalid-spec-field"},
      {*block_of({word_cell("script"), word_cell("code")}), "script/invalid-spec-field"},
      {*block_of({word_cell("script"), int_cell(5)}), "script/invalid-arg"},
      {*block_of({int_cell(5)}), "internal/invalid-error"},
      {none_value, "script/bad-make-arg"},
  };
  for (const bad& c : cases) EXPECT_EQ(error_of([&] { from(c.spec); }), c.error);
}

TEST_F(ErrorTest, ReportTexts) {
  stack::guard g;
  cell foo = word_cell("foo");
  cell bar = word_cell("bar");
  cell five = int_cell(5);
  cell seven = int_cell(7);
  struct row { cell* err; const char* text; };
  const row rows[] = {
      {create("script", "no-value", &foo), "*** Script Error: foo has no value"},
      {create("script", "invalid-path", &foo, &bar), "*** Script Error: cannot access bar in path foo"},
      {create("script", "expect-arg", &foo, &bar, &five),
       "*** Script Error: foo does not allow bar for its 5 argument"},
      {create("script", "past-end"), "*** Script Error: out of range or past end"},
      {create("syntax", "bad-char", &five, &seven), "*** Syntax Error: 5 invalid character at 7"},
      {create("throw", "throw", &five), "*** Throw Error: no catch for throw: 5"},
      {create("access", "no-connect", &foo, &bar), "*** Access Error: cannot connect: foo reason: bar"},
      {create("access", "bad-media"), "*** Access Error: bad media data (corrupt image, sound, video)"},
      {create("user", "message", &five), "*** User Error: 5"},
      {create("internal", "deprecated", &foo, &bar),
       "*** Internal Error: foo is DEPRECATED, please use bar instead"},
      {create("script", "bad-op-spec"),
       "*** Script Error: making an op! requires a function with only 2 arguments and no "
       "lit/get-word on left argument"},
  };
  for (const row& r : rows) EXPECT_EQ(head(*r.err), r.text);
  // Where: a word is formed, anything else is "???".
  cell* e = create("math", "overflow");
  error::set_where(e, &foo);
  EXPECT_EQ(form_text(*e), "*** Math Error: math or number overflow\n*** Where: foo\n*** Near : none");
  EXPECT_EQ(error::set_where(e, &bar), u32(TYPE_WORD));  // only a none! where is replaced
  // Stack only with a trace depth above 0; Files only with a block.
  *error::field_of(e, error::FIELD_STACK) = int_cell(3);
  EXPECT_EQ(form_text(*e).find("Stack"), std::string::npos);
  error::stack_trace = 2;
  error::call_words_hook = [](i32 pos, i32 max, cell* out, i32 budget) {
    return datatype::append_text(out, "do foo", budget);
  };
  EXPECT_EQ(form_text(*e),
            "*** Math Error: math or number overflow\n*** Where: foo\n*** Near : none\n"
            "*** Stack: do foo");
}

TEST_F(ErrorTest, FormingNeverRewritesTheError) {
  stack::guard g;
  cell* e = create("math", "overflow");
  cell bogus = word_cell("bogus");
  *error::field_of(e, error::FIELD_TYPE) = bogus;
  EXPECT_EQ(head(*e), "*** Internal Error: invalid error object field value: bogus");
  EXPECT_EQ(form_text(cell(*error::field_of(e, error::FIELD_TYPE))), "bogus");
  EXPECT_EQ(type_of(error::field_of(e, error::FIELD_ARG1)), u32(TYPE_NONE));
  cell* f = create("math", "overflow");
  *error::field_of(f, error::FIELD_ID) = bogus;
  EXPECT_EQ(head(*f), "*** Internal Error: invalid error object field value: bogus");
  EXPECT_EQ(form_text(cell(*error::field_of(f, error::FIELD_ID))), "bogus");
}

TEST_F(ErrorTest, MoldAndCompare) {
  stack::guard g;
  cell* e = create("math", "zero-divide");
  EXPECT_EQ(mold_text(*e),
            "make error! [\n    code: 400\n    type: 'math\n    id: 'zero-divide\n"
            "    arg1: none\n    arg2: none\n    arg3: none\n    near: none\n    where: none\n"
            "    stack: none\n    files: none\n]");
  cell* f = create("math", "zero-divide");
  EXPECT_TRUE(actions::compare(e, f, compare_op::EQUAL));
  EXPECT_FALSE(actions::compare(e, create("math", "overflow"), compare_op::EQUAL));
  cell* o = stack::push_slot();
  *o = none_value;
  object::make_at(o, 1);
  EXPECT_EQ(error::compare(e, o, compare_op::EQUAL), -2);
  EXPECT_STREQ(datatype::name_of(TYPE_ERROR), "error!");
  EXPECT_EQ(datatype::parent_of(TYPE_ERROR), u32(TYPE_OBJECT));
}

TEST_F(ErrorTest, FireRaisesErrorValues) {
  cell foo = word_cell("foo");
  try {
    fire("script", "no-value", &foo);
    FAIL();
  } catch (const thrown& t) {
    cell e = t.value;
    collector::root_guard g(&e);  // a catcher roots what it keeps
    ASSERT_EQ(type_of(&e), u32(TYPE_ERROR));
    EXPECT_EQ(describe(cell(*error::field_of(&e, error::FIELD_CODE))), "integer! 300");
    EXPECT_EQ(form_text(cell(*error::field_of(&e, error::FIELD_ARG1))), "foo");
  }
}

TEST_F(ErrorTest, FatalErrorsArePrebuilt) {
  u32 before = memory::node_frame_count();
  (void)before;
  cell first{}, second{};
  try {
    fire_no_memory();
  } catch (const thrown& t) {
    first = t.value;
  }
  ASSERT_EQ(type_of(&first), u32(TYPE_ERROR));
  EXPECT_EQ(describe(cell(*error::field_of(&first, error::FIELD_CODE))), "integer! 902");
  EXPECT_EQ(first.data1, error::prebuilt("no-memory")->data1);
  try {
    fire("internal", "stack-overflow");
  } catch (const thrown& t) {
    second = t.value;
  }
  ASSERT_EQ(type_of(&second), u32(TYPE_ERROR));
  EXPECT_EQ(second.data1, error::prebuilt("stack-overflow")->data1);
  EXPECT_EQ(head(second), "*** Internal Error: stack overflow");
}

}  // namespace
}  // namespace vyr::test
