// Collector: reachability, compaction moving buffers under stable nodes, self-reference,
// abandoned buffers, fixed buffers, callbacks, and the enabled switch.
#include <gtest/gtest.h>

#include "runtime/fire.h"
#include "tests/unit/fixture.h"

using namespace vyr;

namespace {
struct CollectorTest : ::testing::Test {
  void SetUp() override { test::ensure_runtime(); }
};

u32 make_string(const char* s) {
  u32 n = memory::alloc_bytes(static_cast<u32>(std::strlen(s)));
  collector::node_guard keep(&n);
  series_buffer* b = buffer_of(n);
  std::memcpy(memory::alloc_tail_bytes(b, static_cast<u32>(std::strlen(s))), s, std::strlen(s));
  return n;
}
std::string text_of(u32 node) { return std::string(buffer_of(node)->head(), buffer_of(node)->used_bytes()); }
bool live(u32 node) { return node_word(node) != 0 && (buffer_of(node)->flags & SERIES_IN_USE); }
}  // namespace

TEST_F(CollectorTest, ReachableSurvivesAndMovesUnreachableIsReclaimed) {
  collector::do_cycle();
  // garbage first, so that the kept series sits above a gap and must slide down
  for (int i = 0; i < 50; i++) make_string("garbage garbage garbage");
  u32 kept_str = make_string("kept text");
  collector::node_guard keep(&kept_str);
  cell blk{TYPE_BLOCK, 0, memory::alloc_cells(4), 0};
  collector::root_guard g(&blk);
  series_buffer* b = buffer_of(blk.data2);
  *memory::alloc_tail_cell(b) = cell{TYPE_STRING, 0, kept_str, 0};
  *memory::alloc_tail_cell(b) = cell{TYPE_INTEGER, 0, 42, 0};
  u32 dead = make_string("dead");

  u32 before = node_word(kept_str);
  collector::do_cycle();
  if (!collector::stress()) {
    EXPECT_NE(node_word(kept_str), before);  // slid down by compaction
  }
  EXPECT_EQ(text_of(kept_str), "kept text");
  EXPECT_EQ(read_buffer(blk.data2)->cells()[1].data2, 42u);
  EXPECT_EQ(buffer_of(kept_str)->node, kept_str);
  EXPECT_FALSE(live(dead));  // its node went back to the free list
}

TEST_F(CollectorTest, SelfContainingBlockAndNesting) {
  cell blk{TYPE_BLOCK, 0, memory::alloc_cells(2), 0};
  collector::root_guard g(&blk);
  series_buffer* b = buffer_of(blk.data2);
  *memory::alloc_tail_cell(b) = blk;  // contains itself
  // A deep chain of nested blocks: marking must not recurse on the C++ stack.
  cell chain = blk;
  collector::root_guard g2(&chain);
  int depth = collector::stress() ? 2000 : 200000;
  for (int i = 0; i < depth; i++) {
    u32 outer = memory::alloc_cells(1);
    series_buffer* ob = buffer_of(outer);
    *memory::alloc_tail_cell(ob) = chain;
    chain = cell{TYPE_BLOCK, 0, outer, 0};
  }
  collector::do_cycle();
  EXPECT_TRUE(live(blk.data2));
  EXPECT_TRUE(live(chain.data2));
  EXPECT_EQ(read_buffer(blk.data2)->cells()[0].data2, blk.data2);
}

TEST_F(CollectorTest, AbandonedBufferIsReclaimedWithoutTouchingNodes) {
  cell s{TYPE_STRING, 0, make_string("grow me"), 0};
  collector::root_guard g(&s);
  series_buffer* b = buffer_of(s.data2);
  u32 old = node_word(s.data2);
  memory::expand_series(b, 4096);
  collector::do_cycle();
  EXPECT_EQ(text_of(s.data2), "grow me");
  EXPECT_EQ(buffer_of(s.data2)->node, s.data2);
  (void)old;
}

TEST_F(CollectorTest, EnabledSwitchAndBigBuffers) {
  u32 frames = memory::node_frame_count();
  (void)frames;
  {
    collector::no_collect off;
    u32 cycles = collector::state.series_cycles;
    for (int i = 0; i < 3000; i++) memory::alloc_bytes(2000);  // more than a frame holds
    EXPECT_EQ(collector::state.series_cycles, cycles);
  }
  u32 bigs = memory::big_count();
  u32 big = memory::alloc_bytes(0x300000);
  EXPECT_EQ(memory::big_count(), bigs + 1);
  (void)big;
  collector::do_cycle();
  EXPECT_EQ(memory::big_count(), bigs);  // unreachable big buffer freed
}

TEST_F(CollectorTest, FixedBuffersLoseTheirMarksEveryCycle) {
  // A fixed block referencing a movable string: if the fixed buffer kept its mark, the
  // next cycle would not scan it and the string would be swept.
  cell fixed{TYPE_BLOCK, 0, memory::alloc_fixed_series(4, 16, 0), 0};
  collector::root_guard g(&fixed);
  series_buffer* fb = buffer_of(fixed.data2);
  *memory::alloc_tail_cell(fb) = cell{TYPE_STRING, 0, make_string("inside fixed"), 0};
  for (int i = 0; i < 3; i++) collector::do_cycle();
  EXPECT_FALSE(buffer_of(fixed.data2)->flags & SERIES_MARK);
  EXPECT_EQ(text_of(read_buffer(fixed.data2)->cells()[0].data2), "inside fixed");
  memory::free_fixed_series(fixed.data2);
  fixed.header = TYPE_NONE;
}

namespace {
u32 callback_node = 0;
void mark_cb() { collector::mark_node(callback_node); }
}  // namespace

TEST_F(CollectorTest, CallbacksBeyondAHundredAllRun) {
  callback_node = make_string("held by a callback");
  for (int i = 0; i < 150; i++) collector::register_callback(mark_cb);
  collector::do_cycle();
  EXPECT_EQ(text_of(callback_node), "held by a callback");
  for (int i = 0; i < 150; i++) collector::unregister_callback(mark_cb);
  collector::do_cycle();
  EXPECT_FALSE(live(callback_node));
}

TEST_F(CollectorTest, EmptyNodeFramesAreReleased) {
  collector::do_cycle();
  u32 frames = memory::node_frame_count();
  {
    collector::no_collect off;
    for (int i = 0; i < 25000; i++) memory::alloc_bytes(0);
  }
  EXPECT_GT(memory::node_frame_count(), frames);
  collector::do_cycle();
  EXPECT_LE(memory::node_frame_count(), frames + 1);
}
