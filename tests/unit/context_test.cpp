// Contexts: global case variants sharing a slot, binding, reading and writing with their
// errors, stack-valued contexts, and change notification that grows the value block.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "runtime/cycles.h"
#include "runtime/datatypes/context.h"
#include "runtime/datatypes/function.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/fire.h"
#include "runtime/hashtable.h"
#include "runtime/stack.h"
#include "tests/unit/value_helpers.h"

using namespace vyr;
using namespace vyr::test;
namespace ctx = vyr::_context;

namespace {
struct ContextTest : ::testing::Test {
  void SetUp() override { test::ensure_runtime(); }
};

// A block of cells built from (type, name) pairs.
cell make_block(std::initializer_list<std::pair<u32, const char*>> items) {
  cell b{TYPE_BLOCK, 0, memory::alloc_cells(u32(items.size()) + 1), 0};
  collector::root_guard g(&b);
  for (auto& [type, name] : items) {
    u32 sym = symbol::make(name);
    series_buffer* buf = buffer_of(b.data2);
    *memory::alloc_tail_cell(buf) = cell{type, 0, sym, 0xFFFFFFFFu};
  }
  return b;
}
// A function's body cell (word 0 of its more-block).
cell cells_body(const cell& f) {
  return read_buffer(function::more(&f))->cells()[function::MORE_BODY];
}
}  // namespace

TEST_F(ContextTest, GlobalCaseVariantsShareOneSlot) {
  cell foo = ctx::add_global(symbol::make("ctx-foo"), false, false);
  cell one = int_cell(1);
  ctx::set(&foo, &one);
  cell FOO = ctx::add_global(symbol::make("CTX-FOO"), false, false);
  EXPECT_EQ(FOO.data2, symbol::make("CTX-FOO"));  // carries its own spelling
  EXPECT_EQ(ctx::get(&FOO)->data2, 1u);
  cell two = int_cell(2);
  ctx::set(&FOO, &two);
  EXPECT_EQ(ctx::get(&foo)->data2, 2u);
  // A third spelling found case-insensitively with the copy flag also shares the slot,
  // and so does a word indexed by a case-insensitive add.
  cell Foo = ctx::add_global(symbol::make("Ctx-Foo"), true, true);
  EXPECT_EQ(Foo.data2, symbol::make("Ctx-Foo"));
  EXPECT_EQ(ctx::get(&Foo)->data2, 2u);
  i32 idx = ctx::add_word(ctx::global, symbol::make("CTX-FOO"));
  EXPECT_EQ(u32(idx), foo.data3);
  EXPECT_EQ(ctx::get_value_cell(symbol::make("cTX-fOO"), ctx::global)->data2, 2u);
}

TEST_F(ContextTest, ReadAndWriteErrors) {
  u32 c = ctx::create(0, false, false, 0, ctx::KIND_OBJECT);
  collector::node_guard g(&c);
  EXPECT_EQ(buffer_of(ctx::words_of(c))->size >= 16, true);  // room for one even at 0
  cell loose{TYPE_WORD, c, symbol::make("loose"), 0xFFFFFFFFu};
  EXPECT_EQ(error_id([&] { ctx::get(&loose); }), "script/no-value");
  EXPECT_EQ(error_id([&] { ctx::get_value_cell(symbol::make("never-added"), c); }),
            "script/not-defined");
  // Writing an absent word adds it; an object context marks the field changed.
  cell v = int_cell(5);
  ctx::set_in(&loose, &v, c, false);
  EXPECT_EQ(loose.data3, 0u);
  EXPECT_EQ(ctx::get(&loose)->data2, 5u);
  EXPECT_TRUE(ctx::word_at(c, 0)->header & ctx::WORD_CHANGED);
  // self with index -1 reads the owner cell.
  *ctx::owner_cell(c) = cell{TYPE_OBJECT, c, 0, 0};
  cell self{TYPE_WORD, c, symbol::make("self"), 0xFFFFFFFFu};
  EXPECT_EQ(type_of(ctx::get(&self)), u32(TYPE_OBJECT));
}

namespace {
cell frame[3];
cell* frame_of(u32 ref, u32* count) {
  *count = 2;  // the call has cells for its first two words only
  return ref == 77 ? frame : nullptr;
}
}  // namespace

TEST_F(ContextTest, StackValuedContextsStayInsideTheCall) {
  cell spec = make_block({{TYPE_WORD, "a"}, {TYPE_SET_WORD, "return"}, {TYPE_REFINEMENT, "b"},
                          {TYPE_WORD, "A"}});
  collector::root_guard sg(&spec);
  u32 c = ctx::make_from_spec(&spec, true, false, ctx::KIND_FUNCTION);
  collector::node_guard g(&c);
  EXPECT_EQ(ctx::word_count(c), 2u);  // set-words skipped, A is a and keeps the first entry
  cell a{TYPE_WORD, c, symbol::make("a"), 0};
  EXPECT_EQ(error_id([&] { ctx::get(&a); }), "script/not-in-context");
  cell one = int_cell(1);
  EXPECT_EQ(error_id([&] { ctx::set(&a, &one); }), "script/not-defined");
  auto saved = ctx::frame_cells;
  ctx::frame_cells = frame_of;
  ctx::context_cell(c)->data2 = 77;
  ctx::set(&a, &one);
  EXPECT_EQ(frame[0].data2, 1u);
  frame[2] = int_cell(99);
  cell absent{TYPE_WORD, c, symbol::make("not-in-spec"), 0xFFFFFFFFu};
  EXPECT_EQ(error_id([&] { ctx::set(&absent, &one); }), "script/not-defined");
  EXPECT_EQ(frame[2].data2, 99u);
  EXPECT_EQ(ctx::word_count(c), 2u);
  ctx::context_cell(c)->data2 = 0;
  ctx::frame_cells = saved;
}

TEST_F(ContextTest, BindingIsDeepStopsAtCyclesAndTreatsSelf) {
  cell spec = make_block({{TYPE_WORD, "bx"}, {TYPE_WORD, "by"}});
  collector::root_guard sg(&spec);
  u32 c = ctx::make_from_spec(&spec, false, false, ctx::KIND_OBJECT);
  collector::node_guard g(&c);
  cell body = make_block({{TYPE_SET_WORD, "BY"}, {TYPE_WORD, "self"}, {TYPE_SET_WORD, "self"},
                          {TYPE_GET_WORD, "other"}});
  collector::root_guard bg(&body);
  cell inner = make_block({{TYPE_LIT_WORD, "bx"}});
  {
    collector::root_guard ig(&inner);
    series_buffer* b = buffer_of(body.data2);
    *memory::alloc_tail_cell(b) = inner;
    b = buffer_of(inner.data2);
    *memory::alloc_tail_cell(b) = body;  // the body inside itself
  }
  ctx::bind(&body, c, true);
  cell* w = buffer_of(body.data2)->cells();
  EXPECT_EQ(w[0].data1, c);
  EXPECT_EQ(w[0].data3, 1u);
  EXPECT_EQ(w[1].data1, c);
  EXPECT_EQ(w[1].data3, 0xFFFFFFFFu);  // self
  EXPECT_EQ(w[2].data1, 0u);           // a set-word named self is not special: not in context
  EXPECT_EQ(w[3].data1, 0u);           // unknown names keep their binding
  EXPECT_EQ(read_buffer(inner.data2)->cells()[0].data1, c);
}

// More words than a scan suits: the symbol-indexed table binds, any spelling of a name to
// its one slot, a refinement and a nested block too; other names keep their binding.
TEST_F(ContextTest, BindingToALargeContextFindsEverySpelling) {
  std::vector<std::string> names;
  for (int i = 0; i < 40; i++) names.push_back("lc-" + std::to_string(i));
  cell spec{TYPE_BLOCK, 0, memory::alloc_cells(41), 0};
  collector::root_guard sg(&spec);
  for (const std::string& n : names) {
    u32 sym = symbol::make(n.c_str());
    series_buffer* b = buffer_of(spec.data2);
    *memory::alloc_tail_cell(b) = cell{TYPE_WORD, 0, sym, 0xFFFFFFFFu};
  }
  u32 c = ctx::make_from_spec(&spec, false, false, ctx::KIND_OBJECT);
  collector::node_guard g(&c);
  cell body = make_block({{TYPE_WORD, "lc-39"}, {TYPE_SET_WORD, "LC-7"}, {TYPE_REFINEMENT, "Lc-0"},
                          {TYPE_WORD, "lc-40"}});
  collector::root_guard bg(&body);
  cell inner = make_block({{TYPE_GET_WORD, "lc-12"}});
  {
    series_buffer* b = buffer_of(body.data2);
    *memory::alloc_tail_cell(b) = inner;
  }
  ctx::bind(&body, c, false);
  const cell* w = read_buffer(body.data2)->cells();
  EXPECT_EQ(w[0].data1, c);
  EXPECT_EQ(w[0].data3, 39u);
  EXPECT_EQ(w[1].data1, c);
  EXPECT_EQ(w[1].data3, 7u);
  EXPECT_EQ(w[2].data1, c);
  EXPECT_EQ(w[2].data3, 0u);
  EXPECT_EQ(w[3].data1, 0u);  // not a word of the context
  EXPECT_EQ(read_buffer(inner.data2)->cells()[0].data3, 12u);
  // A block nested deeper than the cycle stack holds raises, and the table is left empty
  // all the same: a later bind to another context sees none of these slots.
  cell deep = make_block({{TYPE_WORD, "lc-1"}});
  collector::root_guard dg(&deep);
  cell at = deep;
  for (int i = 0; i < 1100; i++) {
    cell next = make_block({{TYPE_WORD, "lc-2"}});
    series_buffer* b = buffer_of(at.data2);
    *memory::alloc_tail_cell(b) = next;
    at = next;
  }
  EXPECT_EQ(error_id([&] { ctx::bind(&deep, c, false); }), "internal/too-deep");
  cycles::reset();
  u32 small = ctx::create(1, false, false, 0, ctx::KIND_OBJECT);
  collector::node_guard g2(&small);
  ctx::add_word(small, symbol::make("lc-x"));
  cell other = make_block({{TYPE_WORD, "lc-39"}, {TYPE_WORD, "lc-x"}});
  collector::root_guard og(&other);
  ctx::bind(&other, small, false);
  EXPECT_EQ(read_buffer(other.data2)->cells()[0].data1, 0u);
  EXPECT_EQ(read_buffer(other.data2)->cells()[1].data1, small);
}

// A body literal marked as evaluated once (start-up marks those of the environment) is
// taken uncopied by the first function made from it, and only by that one.
TEST_F(ContextTest, ABodyMarkedOnceIsTakenByOneFunctionOnly) {
  cell spec = make_block({{TYPE_WORD, "fa"}});
  collector::root_guard sg(&spec);
  cell body = make_block({{TYPE_WORD, "fa"}, {TYPE_WORD, "fb"}});
  collector::root_guard bg(&body);
  buffer_of(body.data2)->flags |= SERIES_BODY_ONCE;
  stack::guard guard;
  u32 c1 = function::push(&spec, &body, 0, 0, 0, 0);
  cell f1 = *(stack::top - 1);
  collector::root_guard g1(&f1);
  EXPECT_EQ(cells_body(f1).data2, body.data2);
  EXPECT_FALSE(buffer_of(body.data2)->flags & SERIES_BODY_ONCE);
  EXPECT_EQ(read_buffer(body.data2)->cells()[0].data1, c1);
  u32 c2 = function::push(&spec, &body, 0, 0, 0, 0);
  cell f2 = *(stack::top - 1);
  EXPECT_NE(cells_body(f2).data2, body.data2);
  EXPECT_EQ(read_buffer(cells_body(f2).data2)->cells()[0].data1, c2);
  EXPECT_EQ(read_buffer(body.data2)->cells()[0].data1, c1);  // the first body is left alone
}

// The notification handler adds many words, so the value block moves under the slot.
TEST_F(ContextTest, NotificationMayGrowTheContext) {
  static u32 c;
  c = ctx::create(1, false, false, 0, ctx::KIND_OBJECT);
  collector::node_guard g(&c);
  u32 events = memory::alloc_cells(1);  // word 3 of the owner: its change handlers
  *ctx::owner_cell(c) = cell{TYPE_OBJECT, c, 0, events};
  static int calls;
  calls = 0;
  auto saved = ctx::on_set_hook;
  ctx::on_set_hook = [](const cell*, const cell*, const cell* old_value, const cell*) {
    calls++;
    EXPECT_EQ(type_of(old_value), u32(TYPE_UNSET));
    for (int i = 0; i < 200; i++) {
      std::string n = "grown-" + std::to_string(i);
      ctx::add_word(c, symbol::make(n.c_str()));
    }
  };
  cell w{TYPE_WORD, c, symbol::make("watched"), 0xFFFFFFFFu};
  cell v = int_cell(42);
  cell* slot = ctx::set(&w, &v);
  ctx::on_set_hook = saved;
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(slot->data2, 42u);
  EXPECT_EQ(slot, ctx::get(&w));
}

TEST_F(ContextTest, CloneAndCollectSetWords) {
  cell spec = make_block({{TYPE_WORD, "ca"}});
  collector::root_guard sg(&spec);
  u32 c = ctx::make_from_spec(&spec, false, true, ctx::KIND_OBJECT);
  collector::node_guard g(&c);
  cell body = make_block({{TYPE_SET_WORD, "cb"}, {TYPE_WORD, "cc"}, {TYPE_SET_WORD, "CA"}});
  collector::root_guard bg(&body);
  EXPECT_TRUE(ctx::collect_set_words(c, &body));
  EXPECT_FALSE(ctx::collect_set_words(c, &body));
  EXPECT_EQ(ctx::word_count(c), 2u);
  u32 d = ctx::clone(c, ctx::KIND_OBJECT);
  collector::node_guard gd(&d);
  collector::do_cycle();
  ASSERT_EQ(ctx::word_count(d), 2u);
  EXPECT_EQ(ctx::word_at(d, 1)->data1, d);
  EXPECT_TRUE(ctx::context_cell(d)->header & ctx::RUNTIME_OBJECT);
  EXPECT_EQ(ctx::find_word(d, symbol::make("CB"), true), 1);
  EXPECT_EQ(ctx::find_word(d, symbol::make("CB"), false), -1);
  // Adding to the clone leaves the original alone.
  ctx::add_word(d, symbol::make("only-in-clone"));
  EXPECT_EQ(ctx::find_word(c, symbol::make("only-in-clone"), true), -1);
}

// Many words through several resizes of a context's word table, under collections.
TEST_F(ContextTest, GrowingContextFindsEveryWord) {
  u32 c = ctx::create(2, false, false, 0, ctx::KIND_OBJECT);
  collector::node_guard g(&c);
  for (int i = 0; i < 3000; i++) {
    std::string n = "cw-" + std::to_string(i);
    cell w{TYPE_WORD, c, symbol::make(n.c_str()), 0xFFFFFFFFu};
    cell v = int_cell(i);
    ctx::set_in(&w, &v, c, false);
    if (i % 500 == 0) collector::do_cycle();
  }
  for (int i = 0; i < 3000; i++) {
    std::string n = "CW-" + std::to_string(i);
    u32 sym = symbol::make(n.c_str());
    ASSERT_EQ(ctx::find_word(c, sym, true), i);
    ASSERT_EQ(ctx::get_value_cell(sym, c)->data2, u32(i));
  }
}
