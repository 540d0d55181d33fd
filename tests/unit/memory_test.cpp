// Memory manager: size rules, growth, copying, tail allocation, big buffers and write stamps.
#include <gtest/gtest.h>

#include "runtime/collector.h"
#include "runtime/datatypes/cells.h"
#include "runtime/fire.h"
#include "runtime/stamp_check.h"
#include "tests/unit/fixture.h"

using namespace vyr;

namespace {
struct MemoryTest : ::testing::Test {
  void SetUp() override { test::ensure_runtime(); }
};

bool raises(const char* id, void (*f)()) {
  try {
    f();
  } catch (const thrown& t) {
    return std::string(t.id) == id;
  }
  return false;
}
}  // namespace

TEST_F(MemoryTest, SizeRules) {
  struct { u32 units, unit; u32 size; bool big; } cases[] = {
      {0, 1, 16, false},          // alloc-bytes 0 still gives 16 bytes
      {3, 1, 16, false},
      {17, 1, 32, false},
      {5, 16, 80, false},
      {0x1FFFE0, 1, 0x1FFFE0, false},  // footprint just below the big threshold
      {0x1FFFF0, 1, 0x1FFFF0, true},   // footprint reaches it
  };
  for (auto& c : cases) {
    // Below the threshold, a large buffer goes alone only when no frame has room for it.
    bool room = memory::find_frame(c.size + sizeof(series_buffer) + 4) != 0;
    u32 node = c.units == 0 ? memory::alloc_bytes(0) : memory::alloc_series(c.units, c.unit, 0);
    series_buffer* b = buffer_of(node);
    EXPECT_EQ(b->size, c.size) << c.units;
    EXPECT_EQ(bool(b->flags & SERIES_BIG), c.big || (c.size >= 0x40000 && !room)) << c.units;
    EXPECT_EQ(b->flags & ~(SERIES_BIG | SERIES_STAMP_MASK), c.unit | SERIES_MADE | SERIES_IN_USE);
    EXPECT_EQ(b->offset, b->data_offset());
    EXPECT_EQ(b->tail, b->offset);
  }
  EXPECT_EQ(buffer_of(memory::alloc_units(0, 4))->size / 4, 4u);
  EXPECT_EQ(buffer_of(memory::alloc_units(0, 2))->size / 2, 8u);
}

TEST_F(MemoryTest, FootprintInFrame) {
  collector::no_collect nc;
  u32 a = memory::alloc_series(3, 1, 0);
  u32 b = memory::alloc_series(3, 1, 0);
  EXPECT_EQ(node_word(b) - node_word(a), 40u);  // 20 header + 16 data + 4 spare
}

TEST_F(MemoryTest, CentredHead) {
  u32 n = memory::alloc_series(64, 1, -1);
  series_buffer* b = buffer_of(n);
  EXPECT_TRUE(b->flags & SERIES_CENTRED);
  EXPECT_EQ(b->offset - b->data_offset(), 32u);
}

TEST_F(MemoryTest, OversizedRequestsRaiseNoMemory) {
  EXPECT_TRUE(raises("no-memory", [] { memory::alloc_series(0x40000000, 16, 0); }));
  EXPECT_TRUE(raises("no-memory", [] { memory::alloc_series(0xFFFFFFFF, 4, 0); }));
  EXPECT_TRUE(raises("no-memory", [] { memory::checked_size(1ull << 40, 16); }));
  // A product that wraps past 64 bits is past the cap as well, never a small size.
  EXPECT_TRUE(raises("no-memory", [] { memory::checked_size(1ull << 60, 16); }));
  EXPECT_TRUE(raises("no-memory", [] { memory::checked_size(SERIES_MAX_BYTES + 1, 1); }));
  EXPECT_EQ(memory::checked_size(SERIES_MAX_BYTES, 1), SERIES_MAX_BYTES);
  EXPECT_EQ(memory::checked_size(SERIES_MAX_BYTES / 16, 16), SERIES_MAX_BYTES / 16 * 16);
  EXPECT_EQ(memory::checked_size(0, 16), 0u);
  EXPECT_EQ(memory::checked_size(1ull << 62, 0), 0u);
}

TEST_F(MemoryTest, GrowthKeepsDataAndFixesFlags) {
  u32 node = memory::alloc_series(64, 1, -1);  // centred
  collector::node_guard keep(&node);
  series_buffer* b = buffer_of(node);
  for (int i = 0; i < 20; i++) *memory::alloc_tail_bytes(b, 1) = char('a' + i);
  u32 old_offset = node_word(node);
  b = memory::expand_series(b, 0);
  EXPECT_EQ(b->size, 128u);
  EXPECT_NE(node_word(node), old_offset);
  EXPECT_EQ(b->node, node);
  EXPECT_FALSE(b->flags & SERIES_CENTRED);  // data now starts at the data start
  EXPECT_EQ(b->offset, b->data_offset());
  EXPECT_EQ(std::string(b->head(), b->used_bytes()), "abcdefghijklmnopqrst");
  series_buffer* old = arena::at<series_buffer>(old_offset);
  EXPECT_EQ(old->node, 0u);
  EXPECT_FALSE(old->flags & SERIES_IN_USE);

  // A grow to less than the used data still holds all of it.
  b = memory::expand_series(b, 4);
  EXPECT_GE(b->size, 20u);
  EXPECT_EQ(std::string(b->head(), b->used_bytes()), "abcdefghijklmnopqrst");

  // Growing a big buffer to a small one drops the big bit; the reverse sets it.
  u32 big = memory::alloc_series(0x200000, 1, 0);
  collector::node_guard keep_big(&big);
  b = memory::expand_series(buffer_of(big), 64);
  EXPECT_FALSE(b->flags & SERIES_BIG);
  b = memory::expand_series(b, 0x300000);
  EXPECT_TRUE(b->flags & SERIES_BIG);
}

// A large buffer that no frame has room for takes a block of its own and leaves the
// collection to the big buffers' budget: rebuilding one long text must not mark the
// whole heap.
TEST_F(MemoryTest, LargeBufferBeyondFrameRoomDoesNotCollect) {
  if (collector::stress()) GTEST_SKIP() << "every allocation collects under stress";
  u32 was_enabled = collector::state.enabled;
  collector::state.enabled = 1;
  collector::do_cycle();  // a fresh budget
  constexpr u32 units = 0x100000;
  const u32 footprint = units + sizeof(series_buffer) + 4;
  while (memory::find_frame(footprint)) memory::alloc_series(0x10000, 1, 0);
  u32 cycles = collector::state.series_cycles;
  u32 node = memory::alloc_series(units, 1, 0);
  EXPECT_EQ(collector::state.series_cycles, cycles);
  EXPECT_TRUE(buffer_of(node)->flags & SERIES_BIG);
  EXPECT_GE(buffer_of(node)->size, units);
  collector::do_cycle();  // unreferenced, it goes back with the others
  collector::state.enabled = was_enabled;
}

TEST_F(MemoryTest, TailAllocation) {
  u32 node = memory::alloc_bytes(16);
  collector::node_guard keep(&node);
  series_buffer* b = buffer_of(node);
  memory::alloc_tail_bytes(b, 100);  // n larger than the size: grows to exactly 2n
  EXPECT_EQ(b->size, 208u);          // 200 rounded to 16
  EXPECT_EQ(b->used_bytes(), 100u);

  u32 blk = memory::alloc_cells(1);
  collector::node_guard keep_blk(&blk);
  series_buffer* cb = buffer_of(blk);
  for (int i = 0; i < 5; i++) {
    cell* c = memory::alloc_tail_cell(cb);
    EXPECT_EQ(c->header, u32(TYPE_UNSET));
    *c = cell{TYPE_INTEGER, 0, u32(i), 0};
  }
  ASSERT_EQ(cb->used_units(), 5u);
  for (int i = 0; i < 5; i++) EXPECT_EQ(cb->cells()[i].data2, u32(i));
}

TEST_F(MemoryTest, CopySeriesAndReplicate) {
  u32 node = memory::alloc_bytes(32);
  collector::node_guard keep(&node);
  series_buffer* b = buffer_of(node);
  std::memcpy(memory::alloc_tail_bytes(b, 5), "hello", 5);
  b->flags |= SERIES_OWNED;
  u32 copy = memory::copy_series(buffer_of(node));
  collector::node_guard keep_copy(&copy);
  EXPECT_EQ(std::string(buffer_of(copy)->head(), 5), "hello");
  EXPECT_NE(node_word(copy), node_word(node));

  char buf[32] = "ab";
  char* end = memory::replicate(buf, 2, 5);
  EXPECT_EQ(end, buf + 10);
  EXPECT_EQ(std::string(buf, 10), "ababababab");
  EXPECT_EQ(memory::replicate(buf, 0, 5), buf);
}

TEST_F(MemoryTest, OneMillionIntegersFitIn17MB) {
  u64 before = memory::mem.total;
  u32 node = memory::alloc_cells(1000000);
  series_buffer* b = buffer_of(node);
  for (u32 i = 0; i < 1000000; i++) b->cells()[i] = cell{TYPE_INTEGER, 0, i, 0};
  b->tail = b->offset + 16000000;
  EXPECT_LE(memory::mem.total - before, 17u * 1000 * 1000);
}

// Every way to write a buffer bumps its write stamp; reading leaves it alone; a stamp that
// wraps bumps the epoch.
TEST_F(MemoryTest, WriteStamp) {
  cell blk;
  cells::make_block(&blk, 4);
  collector::root_guard g(&blk);
  u32 node = series::node(&blk);
  auto stamp = [&] { return read_buffer(node)->stamp(); };
  struct { const char* what; void (*write)(u32); } writers[] = {
      {"cells::at", [](u32 n) { cells::at(n, 0)->header = TYPE_NONE; }},
      {"cells()", [](u32 n) { buffer_of(n)->cells()->header = TYPE_NONE; }},
      {"head()", [](u32 n) { buffer_of(n)->head()[0] = 1; }},
      {"tail", [](u32 n) { buffer_of(n)->tail -= 0; }},
      {"offset", [](u32 n) { series_buffer* b = buffer_of(n); b->offset = b->offset; }},
      {"append", [](u32 n) { cell v{TYPE_NONE, 0, 0, 0}; cells::append(n, &v); }},
      {"grow", [](u32 n) { memory::expand_series(buffer_of(n), 4096); }},
  };
  for (auto& w : writers) {
    u32 before = stamp();
    w.write(node);
    EXPECT_NE(stamp(), before) << w.what;
  }
  u32 before = stamp();
  (void)cells::get(node, 0)->header;
  (void)read_buffer(node)->cells()->header;
  EXPECT_EQ(stamp(), before);
  u32 epoch = stamp_epoch, rest = read_buffer(node)->flags & ~SERIES_STAMP_MASK;
  for (u32 i = 0; i < 0x10000; i++) buffer_of(node)->bump();
  EXPECT_EQ(stamp(), before);
  EXPECT_EQ(stamp_epoch, epoch + 1);
  EXPECT_EQ(read_buffer(node)->flags & ~SERIES_STAMP_MASK, rest);  // nothing carried out
}

#if VYR_ASSERTIONS
// A body written behind the stamp's back fails the shadow check where it is next trusted.
TEST_F(MemoryTest, StampCheckCatchesAnUnstampedWrite) {
  cell blk;
  cells::make_block(&blk, 2);
  collector::root_guard g(&blk);
  u32 node = series::node(&blk);
  cell v{TYPE_NONE, 0, 0, 0};
  cells::append(node, &v);
  memory::check_stamp(node);
  cells::at(node, 0)->header = TYPE_UNSET;  // stamped: a new copy is taken
  memory::check_stamp(node);
  EXPECT_DEATH(
      {
        buffer_of(node)->unstamped_cells()->header = TYPE_NONE;
        memory::check_stamp(node);
      },
      "changed under an unchanged write stamp");
}
#endif

// What the arena holds when a start-up image is adopted keeps its place through ordinary
// collections (its pages stay the file's) while its marks go to the side bitmap; its dead
// buffers are counted and, once they are a large enough share, the image compacts like
// any other memory.
TEST_F(MemoryTest, ImageKeepsPlaceUntilEnoughOfItDies) {
  constexpr u32 N = 256;  // 256 blocks of 4 KiB: more than a quarter of the image dies
  cell keep;
  cells::make_block(&keep, N);
  collector::root_guard g(&keep);
  for (u32 i = 0; i < N; i++) {
    cell item{TYPE_BLOCK, 0, memory::alloc_cells(256), 0};
    cells::append(keep.data2, &item);
  }
  // The last live block of all, so that dead ones lie below it in its frame.
  u32 last = memory::alloc_cells(4);
  cell last_cell{TYPE_BLOCK, 0, last, 0};
  collector::root_guard g2(&last_cell);
  collector::do_cycle();
  memory::adopt_image();
  const u32 where = node_word(last);
  std::vector<u32> nodes;
  for (u32 i = 0; i < N; i++) nodes.push_back(read_buffer(keep.data2)->cells()[i].data2);

  collector::do_cycle();  // nothing died: no buffer moves and no flag carries a mark
  EXPECT_EQ(node_word(last), where);
  EXPECT_EQ(memory::image_dead_bytes(), 0u);
  EXPECT_FALSE(read_buffer(last)->flags & SERIES_MARK);

  buffer_of(keep.data2)->tail = buffer_of(keep.data2)->offset;  // the blocks die
  collector::do_cycle();
  EXPECT_EQ(node_word(last), where) << "the image compacted at its first dead buffers";
  EXPECT_GE(memory::image_dead_bytes(), u64{N} * 4096);
  for (u32 n : nodes) EXPECT_EQ(read_buffer(n)->node, n);  // held in place, node and all

  collector::do_cycle();  // enough died: this one compacts
  EXPECT_NE(node_word(last), where);
  EXPECT_EQ(read_buffer(last)->node, last);
  EXPECT_EQ(memory::image_dead_bytes(), 0u);
}
