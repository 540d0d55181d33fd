// Value slots, external resource slots, the cycle stack, print hooks and int checks.
#include <gtest/gtest.h>

#include <map>

#include "runtime/cell_checks.h"
#include "runtime/cycles.h"
#include "runtime/externals.h"
#include "runtime/fire.h"
#include "runtime/print_hooks.h"
#include "runtime/value_slots.h"
#include "tests/unit/fixture.h"

using namespace vyr;

namespace {
struct SlotsTest : ::testing::Test {
  void SetUp() override { test::ensure_runtime(); }
};

template <class F> std::string error_id(F f) {
  try {
    f();
  } catch (const thrown& t) {
    return t.id;
  }
  return "";
}

std::map<u64, int> releases;
void count_release(u64 h) { releases[h]++; }
}  // namespace

TEST_F(SlotsTest, ValueSlots) {
  value_slots::init();
  cell v{TYPE_INTEGER, 0, 7, 0};
  EXPECT_EQ(value_slots::add(&v), 1u);
  value_slots::free(1);
  EXPECT_EQ(value_slots::add(&v), 1u);
  for (u32 i = 2; i <= 100; i++) EXPECT_EQ(value_slots::add(&v), i);
  cell s{TYPE_INTEGER, 0, 101, 0};
  EXPECT_EQ(value_slots::add(&s), 101u);
  EXPECT_EQ(value_slots::capacity(), 200u);
  EXPECT_EQ(value_slots::get(101)->data2, 101u);
  EXPECT_EQ(value_slots::get(1)->data2, 7u);
  value_slots::free(0);  // ignored
  value_slots::free(5);
  EXPECT_EQ(error_id([] { value_slots::free(5); }), "wrong-mem");    // double free
  EXPECT_EQ(error_id([] { value_slots::free(999); }), "wrong-mem");  // out of range
  EXPECT_EQ(error_id([] { value_slots::get(5); }), "wrong-mem");     // not live
  EXPECT_EQ(value_slots::add(&v), 5u);
  collector::do_cycle();
  EXPECT_EQ(value_slots::get(101)->data2, 101u);
}

TEST_F(SlotsTest, ExternalSlots) {
  // Raising an error builds an error! value, which may collect: only the explicit cycles
  // below may release the unmarked slots.
  collector::no_collect off;
  externals::init();
  releases.clear();
  u32 k = externals::register_class("test", count_release);
  std::vector<i32> ids;
  for (u64 h = 1; h <= 1000; h++) ids.push_back(externals::add(h, k));
  EXPECT_EQ(externals::capacity(), 2000u);  // the add that takes the last free slot grows first
  EXPECT_EQ(ids[0], 0);
  externals::remove(ids[10], false);
  EXPECT_EQ(externals::add(5000, k), ids[10]);  // reuse
  externals::set_handle(ids[0], 1);             // same handle: nothing released
  EXPECT_EQ(releases.count(1), 0u);
  externals::set_handle(ids[0], 7001);
  EXPECT_EQ(releases[1], 1);
  // Re-marking with a new handle releases the old one.
  externals::mark(ids[1], 7002, true);
  EXPECT_EQ(releases[2], 1);
  EXPECT_EQ(error_id([] { externals::remove(-1, false); }), "wrong-mem");
  EXPECT_EQ(error_id([&] { externals::remove(1999, false); }), "wrong-mem");  // free slot
  externals::remove(ids[20], true);
  EXPECT_EQ(error_id([&] { externals::remove(ids[20], true); }), "wrong-mem");

  // A handle! value keeps its slot alive; everything unmarked is released exactly once.
  cell h{TYPE_HANDLE, 0, 0, static_cast<u32>(ids[5])};
  collector::root_guard g(&h);
  collector::do_cycle();
  collector::do_cycle();
  EXPECT_EQ(externals::live_count(), 1u);
  EXPECT_EQ(releases.count(6), 0u);
  for (auto& [handle, n] : releases) EXPECT_EQ(n, 1) << handle;
  EXPECT_EQ(releases[21], 1);
}

TEST_F(SlotsTest, ExternalClassLimit) {
  externals::init();
  for (u32 i = 0; i < externals::MAX_CLASSES; i++) externals::register_class("c", nullptr);
  EXPECT_EQ(error_id([] { externals::register_class("one too many", nullptr); }), "limit-hit");
  externals::init();
}

TEST_F(SlotsTest, CycleStack) {
  cycles::reset();
  EXPECT_EQ(error_id([] {
              for (u32 i = 1; i <= cycles::CAPACITY; i++) cycles::push(i);
            }), "too-deep");
  EXPECT_EQ(cycles::depth(), 0u);
  try {
    cycles::guard a(1);
    cycles::guard b(2);
    EXPECT_TRUE(cycles::find(2));
    fire("script", "no-value");
  } catch (const thrown&) {
  }
  EXPECT_EQ(cycles::depth(), 0u);
}

namespace {
int text_calls = 0;
void text_hook(std::string_view, u32) { text_calls++; }
}  // namespace

TEST_F(SlotsTest, PrintHooks) {
  platform::init_print_hooks();
  platform::register_print_hooks(nullptr, nullptr);
  EXPECT_EQ(platform::text_hook_count(), 0u);
  for (int i = 0; i < 6; i++) platform::register_print_hooks(nullptr, text_hook);
  platform::fire_text_print_hooks("x", 0);
  EXPECT_EQ(text_calls, 6);
  platform::unregister_print_hooks(nullptr, text_hook);
  EXPECT_EQ(platform::text_hook_count(), 5u);
  platform::init_print_hooks();
}

TEST_F(SlotsTest, GetIntChecked) {
  struct { double d; i32 want; bool fails; } cases[] = {
      {2147483647.5, 0, true}, {-2147483648.0, INT32_MIN, false}, {-1.9, -1, false},
      {2147483647.0, INT32_MAX, false}, {0.0 / 0.0, 0, true}, {-2147483649.0, 0, true},
  };
  for (auto& c : cases) {
    cell v{TYPE_FLOAT, 0, 0, 0};
    set_cell_float(&v, c.d);
    if (c.fails) {
      EXPECT_EQ(error_id([&] { cell_::get_int_checked(&v); }), "out-of-range") << c.d;
    } else {
      EXPECT_EQ(cell_::get_int_checked(&v), c.want) << c.d;
    }
  }
  cell i{TYPE_INTEGER, 0, static_cast<u32>(-5), 0};
  EXPECT_EQ(cell_::get_int_checked(&i), -5);
}
