// The ownership table: an object with an on-deep-change* handler owns the series of its
// fields (nested blocks too, self-containing blocks once), changes notify it, and the table
// is weak: entries never keep their series or their owner alive.
#include <gtest/gtest.h>

#include <vector>

#include "runtime/collector.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/object.h"
#include "runtime/hashtable.h"
#include "runtime/ownership.h"
#include "tests/unit/stack_values.h"
#include "tests/unit/value_helpers.h"

namespace vyr::test {
namespace {

std::vector<std::vector<cell>> deep_calls;
void record(const cell* fn, const cell* name, const cell* args, u32 argc, u32 locals) {
  deep_calls.emplace_back(args, args + argc);
}

class OwnershipTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ensure_runtime();
    fresh_stack();
    saved_handler = object::call_handler;
    saved_locals = object::count_locals;
    object::call_handler = record;  // the interpreter's caller, replaced by a recorder
    object::count_locals = nullptr;
    deep_calls.clear();
  }
  void TearDown() override {
    object::call_handler = saved_handler;
    object::count_locals = saved_locals;
  }
  object::call_handler_fn saved_handler = nullptr;
  object::count_locals_fn saved_locals = nullptr;
  // An object [b: <block> on-deep-change*: <function>] on the data stack.
  cell* owner_of(const cell& block) {
    cell fn{TYPE_FUNCTION, 0, 0, 0};
    cell* spec = block_of({word_cell("b", TYPE_SET_WORD), block,
                           word_cell("on-deep-change*", TYPE_SET_WORD), fn});
    cell* out = stack::push_slot();
    *out = none_value;
    object::construct(spec, nullptr, true, out);
    return out;
  }
  static u32 live_entries() { return hashtable::rec(ownership::table)->count; }
};

TEST_F(OwnershipTest, ChangesNotifyTheOwner) {
  stack::guard g;
  cell* inner = block_of({int_cell(1)});
  cell* outer = block_of({*inner, int_cell(2)});
  block_item(outer, 1)[0] = *outer;  // the block contains itself: bound once
  cell* o = owner_of(*outer);
  EXPECT_TRUE(buffer_of(outer->data2)->flags & SERIES_OWNED);
  EXPECT_EQ(describe(*object::reflect(o, symbol::make("owner"))), "logic! true");
  EXPECT_NE(ownership::find_owner(outer->data2), nullptr);
  EXPECT_NE(ownership::find_owner(inner->data2), nullptr);
  EXPECT_TRUE(buffer_of(inner->data2)->flags & SERIES_OWNED);
  cell append = word_cell("append");
  cell one = int_cell(1);
  EXPECT_TRUE(ownership::check(outer, &append, &one, 0, 1));
  EXPECT_TRUE(ownership::check(inner, &append, &one, 0, 1));
  ASSERT_EQ(deep_calls.size(), 2u);
  for (const auto& args : deep_calls) {
    ASSERT_EQ(args.size(), 7u);
    EXPECT_EQ(args[0].data1, o->data1);
    EXPECT_EQ(form_text(args[1]), "b");
    EXPECT_EQ(form_text(args[3]), "append");
    EXPECT_EQ(describe(args[5]), "integer! 0");
  }
  EXPECT_EQ(deep_calls[1][2].data2, inner->data2);
  // A series already owned keeps its first owner.
  cell* other = owner_of(*inner);
  EXPECT_EQ(ownership::find_owner(inner->data2)[1].data1, o->data1);
  EXPECT_NE(other->data1, o->data1);
  // Unbound, nothing is notified.
  ownership::unbind(outer);
  deep_calls.clear();
  EXPECT_FALSE(ownership::check(outer, &append, &one, 0, 1));
  EXPECT_FALSE(ownership::check(inner, &append, &one, 0, 1));
  EXPECT_TRUE(deep_calls.empty());
  // An object without handlers is never notified.
  cell* plain = block_of({int_cell(3)});
  cell* spec = block_of({word_cell("p", TYPE_SET_WORD), *plain});
  cell* po = stack::push_slot();
  *po = none_value;
  object::construct(spec, nullptr, true, po);
  EXPECT_FALSE(ownership::check(plain, &append, &one, 0, 1));
}

TEST_F(OwnershipTest, EntriesDoNotKeepOwnersOrSeriesAlive) {
  collector::do_cycle();
  u32 baseline = live_entries();
  u32 dropped = 0, kept = 0;
  {
    stack::guard g;
    cell* series = block_of({int_cell(1)});
    owner_of(*series);
    dropped = series->data2;
    EXPECT_NE(ownership::find_owner(dropped), nullptr);
  }
  collector::do_cycle();
  EXPECT_EQ(live_entries(), baseline);  // owner and series both unreachable: swept
  {
    stack::guard g;
    cell* series = block_of({int_cell(2)});
    kept = series->data2;
    {
      stack::guard inner;
      owner_of(*series);
    }
    // Only the series is still held: the owner died, so its entry goes.
    collector::do_cycle();
    EXPECT_EQ(ownership::find_owner(kept), nullptr);
    EXPECT_EQ(live_entries(), baseline);
    cell append = word_cell("append");
    EXPECT_FALSE(ownership::check(series, &append, nullptr, 0, 0));
    // A new owner may take it once the old entry is gone.
    cell* o = owner_of(*series);
    ASSERT_NE(ownership::find_owner(kept), nullptr);
    EXPECT_EQ(ownership::find_owner(kept)[1].data1, o->data1);
  }
  collector::do_cycle();
  EXPECT_EQ(live_entries(), baseline);
}

}  // namespace
}  // namespace vyr::test
