// object!: construct runs, mold and form layouts with quoting, class ids, paths, select,
// put, modify, compare, reflection, copying, and the change-handler record with its limits.
#include <gtest/gtest.h>

#include <type_traits>
#include <vector>

#include "runtime/collector.h"
#include "runtime/datatypes/context.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/object.h"
#include "tests/unit/stack_values.h"
#include "tests/unit/value_helpers.h"

namespace vyr::test {
namespace {

// Stands in for the evaluator: each set-word takes the value that follows it.
void set_pairs(const cell* block) {
  cell b = *block;
  for (u32 i = b.data1; i + 1 < buffer_of(b.data2)->used_units(); i++) {
    cell c = read_buffer(b.data2)->cells()[i];
    if (type_of(&c) != TYPE_SET_WORD) continue;
    cell v = read_buffer(b.data2)->cells()[i + 1];
    _context::set(&c, &v);
  }
}

struct handler_call {
  std::string name;
  std::vector<cell> args;
};
std::vector<handler_call> calls;
void record_call(const cell* fn, const cell* name, const cell* args, u32 argc, u32 locals) {
  handler_call c{form_text(*name), {}};
  for (u32 i = 0; i < argc; i++) c.args.push_back(args[i]);
  calls.push_back(c);
}

class ObjectTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ensure_runtime();
    fresh_stack();
    // The interpreter's hooks are replaced by recording fakes (the functions here are
    // bare cells) and put back afterwards.
    saved = {object::evaluate, object::call_handler, object::count_locals,
             object::rebind_method};
    object::evaluate = set_pairs;
    object::call_handler = record_call;
    object::count_locals = nullptr;
    object::rebind_method = nullptr;
    calls.clear();
  }
  void TearDown() override {
    object::evaluate = saved.evaluate;
    object::call_handler = saved.call_handler;
    object::count_locals = saved.count_locals;
    object::rebind_method = saved.rebind_method;
    calls.clear();
  }
  struct {
    object::evaluate_fn evaluate;
    object::call_handler_fn call_handler;
    object::count_locals_fn count_locals;
    object::rebind_method_fn rebind_method;
  } saved{};
  // An object from construct, on the data stack.
  cell* construct(std::initializer_list<cell> spec, bool only = false) {
    cell* b = block_of(spec);
    cell* out = stack::push_slot();
    *out = none_value;
    object::construct(b, nullptr, only, out);
    return out;
  }
  cell field(const cell* obj, const char* name) {
    cell w = word_cell(name);
    return *object::get_field(obj, &w);
  }
};

TEST_F(ObjectTest, ConstructRunsAndWords) {
  stack::guard g;
  cell* o = construct({word_cell("a", TYPE_SET_WORD), word_cell("b", TYPE_SET_WORD), int_cell(1),
                       word_cell("c", TYPE_SET_WORD), word_cell("yes"),
                       word_cell("d", TYPE_SET_WORD)});
  EXPECT_EQ(describe(field(o, "a")), "integer! 1");
  EXPECT_EQ(describe(field(o, "b")), "integer! 1");
  EXPECT_EQ(describe(field(o, "c")), "logic! true");
  EXPECT_EQ(describe(field(o, "d")), "none! none");
  cell* only = construct({word_cell("c", TYPE_SET_WORD), word_cell("yes")}, true);
  EXPECT_EQ(describe(field(only, "c")), "word! yes");
  // The missing-field answer is the shared none!, handed out read-only.
  static_assert(std::is_same_v<decltype(object::get_field(o, o)), const cell*>);
  cell zz = word_cell("zz");
  EXPECT_EQ(object::get_field(o, &zz), &none_value);
}

TEST_F(ObjectTest, MoldAndFormLayouts) {
  stack::guard g;
  cell* inner = construct({word_cell("x", TYPE_SET_WORD), int_cell(2)});
  cell* o = construct({word_cell("a", TYPE_SET_WORD), int_cell(1),
                       word_cell("b", TYPE_SET_WORD), word_cell("none"),
                       word_cell("o", TYPE_SET_WORD), *inner});
  EXPECT_EQ(mold_text(*o),
            "make object! [\n    a: 1\n    b: none\n    o: make object! [\n        x: 2\n    ]\n]");
  // form writes the values molded, without the outer wrapper.
  EXPECT_EQ(form_text(*o), "a: 1\nb: none\no: make object! [\n    x: 2\n]");
  stack::guard g2;
  cell* out = string_of("");
  actions::mold(o, out, false, false, true);
  EXPECT_EQ(string::to_utf8(out), "make object! [a: 1 b: none o: make object! [x: 2]]");
  cell* only = string_of("");
  actions::mold(inner, only, true);
  EXPECT_EQ(string::to_utf8(only), "x: 2");
  cell* empty = construct({});
  EXPECT_EQ(mold_text(*empty), "make object! []");
}

TEST_F(ObjectTest, MoldQuotesValuesThatWouldEvaluate) {
  stack::guard g;
  cell* o = construct({word_cell("w", TYPE_SET_WORD), word_cell("x", TYPE_LIT_WORD),
                       word_cell("s", TYPE_SET_WORD), word_cell("y", TYPE_LIT_WORD),
                       word_cell("gw", TYPE_SET_WORD), word_cell("z", TYPE_LIT_WORD)},
                      true);
  // Turn the lit-words into the kinds under test (construct/only stores them as given).
  cell* values = object::get_values(o);
  set_type(&values[0], TYPE_WORD);
  set_type(&values[1], TYPE_SET_WORD);
  set_type(&values[2], TYPE_GET_WORD);
  EXPECT_EQ(form_text(*o), "w: 'x\ns: quote y:\ngw: quote :z");
}

TEST_F(ObjectTest, ClassIds) {
  stack::guard g;
  u32 first = object::get_new_id();
  EXPECT_EQ(object::get_new_id(), first + 1);
  EXPECT_GT(first, object::FIRST_CLASS_ID);
  cell dt{TYPE_DATATYPE, TYPE_OBJECT, 0, 0};
  cell* spec = block_of({word_cell("a", TYPE_SET_WORD), int_cell(1)});
  cell* p = stack::push_copy(actions::make(&dt, spec));
  cell* q = stack::push_copy(actions::make(&dt, spec));
  EXPECT_NE(p->data2, q->data2);
  EXPECT_EQ(describe(field(p, "a")), "integer! 1");
  // Setting existing fields keeps the prototype's class; adding one makes a new class.
  cell* same = stack::push_copy(actions::make(p, block_of({word_cell("a", TYPE_SET_WORD), int_cell(5)})));
  EXPECT_EQ(same->data2, p->data2);
  EXPECT_EQ(describe(field(same, "a")), "integer! 5");
  EXPECT_EQ(describe(field(p, "a")), "integer! 1");
  cell* grown = stack::push_copy(actions::make(p, block_of({word_cell("b", TYPE_SET_WORD), int_cell(2)})));
  EXPECT_NE(grown->data2, p->data2);
  EXPECT_EQ(describe(field(grown, "a")), "integer! 1");
  // From a block of fields: no new field keeps the class.
  cell* ext = stack::push_copy(actions::make(p, q));
  EXPECT_EQ(ext->data2, p->data2);
  cell five = int_cell(5);
  EXPECT_EQ(error_of([&] { actions::make(&dt, &five); }), "syntax/malconstruct");
  // A copy keeps the class id.
  cell* c = stack::push_copy(object::copy(p, nullptr, nullptr, true, nullptr));
  EXPECT_EQ(c->data2, p->data2);
  EXPECT_NE(c->data1, p->data1);
}

TEST_F(ObjectTest, SelectPutModifyAndPaths) {
  stack::guard g;
  cell* o = construct({word_cell("a", TYPE_SET_WORD), int_cell(1)});
  find_args none_args;
  cell a = word_cell("A");
  EXPECT_EQ(describe(*object::select(o, &a, none_args)), "integer! 1");
  cell missing = word_cell("nope");
  EXPECT_EQ(describe(*object::select(o, &missing, none_args)), "none! none");
  cell one = int_cell(1);
  EXPECT_EQ(error_of([&] { object::select(o, &one, none_args); }), "script/invalid-type");
  cell seven = int_cell(7);
  object::put(o, &a, &seven, false);
  EXPECT_EQ(describe(field(o, "a")), "integer! 7");
  EXPECT_EQ(error_of([&] { object::put(o, &missing, &seven, false); }), "script/invalid-path");
  EXPECT_EQ(error_of([&] { object::put(o, &one, &seven, false); }), "script/invalid-key-type");
  // The set marked the field changed; modify clears the marks.
  const cell* changed = object::reflect(o, symbol::make("changed"));
  EXPECT_EQ(buffer_of(changed->data2)->used_units(), 1u);
  cell changed_word = word_cell("changed");
  EXPECT_EQ(error_of([&] { object::modify(o, &changed_word, &one, false); }), "script/invalid-arg");
  object::modify(o, &changed_word, &none_value, false);
  EXPECT_EQ(buffer_of(object::reflect(o, symbol::make("changed"))->data2)->used_units(), 0u);

  path_args walk;
  cell elem = word_cell("a");
  EXPECT_EQ(describe(*object::eval_path(o, &elem, nullptr, walk)), "integer! 7");
  EXPECT_EQ(elem.data1, o->data1);  // the element is bound to the object for next time
  EXPECT_EQ(error_of([&] { object::eval_path(o, &missing, nullptr, walk); }), "script/invalid-path");
  EXPECT_EQ(error_of([&] { object::eval_path(o, &one, nullptr, walk); }), "script/invalid-path");
  cell self = word_cell("self");
  EXPECT_EQ(error_of([&] { object::eval_path(o, &self, &one, walk); }), "script/invalid-path");
  walk.get_only = true;
  EXPECT_EQ(type_of(object::eval_path(o, &missing, nullptr, walk)), u32(TYPE_UNSET));
  // Writing to a missing field never touches the shared none! cell.
  EXPECT_EQ(type_of(&none_value), u32(TYPE_NONE));
}

TEST_F(ObjectTest, CompareAndReflect) {
  stack::guard g;
  cell* a = construct({word_cell("x", TYPE_SET_WORD), int_cell(1), word_cell("y", TYPE_SET_WORD), word_cell("w", TYPE_LIT_WORD)});
  cell* b = construct({word_cell("x", TYPE_SET_WORD), int_cell(1), word_cell("y", TYPE_SET_WORD), word_cell("w", TYPE_LIT_WORD)});
  cell* c = construct({word_cell("x", TYPE_SET_WORD), int_cell(2)});
  EXPECT_TRUE(actions::compare(a, b, compare_op::EQUAL));
  EXPECT_FALSE(actions::compare(a, b, compare_op::SAME));
  EXPECT_TRUE(actions::compare(a, a, compare_op::SAME));
  EXPECT_FALSE(actions::compare(a, c, compare_op::EQUAL));
  EXPECT_EQ(object::compare(a, c, compare_op::SORT), 1);  // more words
  cell one = int_cell(1);
  EXPECT_EQ(object::compare(a, &one, compare_op::EQUAL), -2);

  cell* body = stack::push_copy(object::reflect(a, symbol::make("body")));
  ASSERT_EQ(buffer_of(body->data2)->used_units(), 4u);
  EXPECT_EQ(type_of(block_item(body, 0)), u32(TYPE_SET_WORD));
  EXPECT_TRUE(block_item(body, 0)->header & HEADER_NEW_LINE);
  set_type(block_item(body, 3), TYPE_WORD);  // reflect gave a lit-word for the word value
  cell* words = stack::push_copy(object::reflect(a, symbol::make("words")));
  EXPECT_EQ(block_item(words, 1)->data1, a->data1);
  EXPECT_EQ(describe(*object::reflect(a, symbol::make("events?"))), "logic! false");
  EXPECT_EQ(error_of([&] { object::reflect(a, symbol::make("spec")); }), "internal/not-done");
  cell part = int_cell(1);
  EXPECT_EQ(error_of([&] { object::copy(a, nullptr, &part, false, nullptr); }),
            "script/invalid-refine-arg");
}

TEST_F(ObjectTest, ChangeHandlers) {
  stack::guard g;
  cell fn{TYPE_FUNCTION, 0, 0, 0};
  cell* o = construct({word_cell("a", TYPE_SET_WORD), int_cell(1),
                       word_cell("on-change*", TYPE_SET_WORD), fn});
  // A handler field that is not a function is refused when the record is built.
  object::get_values(o)[1] = int_cell(0);
  EXPECT_EQ(error_of([&] { object::build_events(o); }), "script/bad-field-set");
  object::get_values(o)[1] = fn;
  object::build_events(o);
  EXPECT_NE(o->data3, 0u);
  EXPECT_EQ(describe(*object::reflect(o, symbol::make("events?"))), "logic! true");
  path_args walk;
  cell a = word_cell("a");
  cell two = int_cell(2);
  object::eval_path(o, &a, &two, walk);
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].name, "on-change*");
  ASSERT_EQ(calls[0].args.size(), 3u);
  EXPECT_EQ(form_text(calls[0].args[0]), "a");
  EXPECT_EQ(describe(calls[0].args[1]), "integer! 1");
  EXPECT_EQ(describe(calls[0].args[2]), "integer! 2");
  // `set` on the whole object never assigns the handler field itself.
  calls.clear();
  cell nine = int_cell(9);
  object::set_many(o, &nine, false, false, false);
  EXPECT_EQ(describe(field(o, "a")), "integer! 9");
  EXPECT_EQ(type_of(&object::get_values(o)[1]), u32(TYPE_FUNCTION));
  EXPECT_EQ(calls.size(), 1u);
}

TEST_F(ObjectTest, HandlerIndexesPastSixteenBitsAreRefused) {
  stack::guard g;
  cell* o = stack::push_slot();
  *o = none_value;
  object::make_at(o, 4);
  {
    collector::no_collect off;  // 65,536 fields: keep the test quick under the stress switch
    for (u32 i = 0; i <= object::MAX_HANDLER_INDEX; i++) {
      char name[16];
      std::snprintf(name, sizeof name, "f%u", i);
      cell w = word_cell(name);
      _context::put(o->data1, &w, &none_value);
    }
  }
  cell w = word_cell("on-change*");
  cell fn{TYPE_FUNCTION, 0, 0, 0};
  _context::put(o->data1, &w, &fn);
  EXPECT_EQ(error_of([&] { object::build_events(o); }), "internal/limit-hit");
  EXPECT_EQ(o->data3, 0u);
  EXPECT_EQ(error_of([&] { object::set_events(o, 0x10000, 0, -1, 0); }), "internal/limit-hit");
  EXPECT_EQ(error_of([&] { object::set_events(o, 1, 0x10000, -1, 0); }), "internal/limit-hit");
}

}  // namespace
}  // namespace vyr::test
