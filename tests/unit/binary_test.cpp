// The byte routines of binary! that other modules build and read byte series with: they
// must copy a source that lies in a moving buffer, zero-fill gaps, keep the tail right,
// and never let a pattern match past the input's tail.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "runtime/collector.h"
#include "runtime/datatypes/binary.h"
#include "runtime/datatypes/bitset.h"
#include "runtime/datatypes/string.h"
#include "runtime/stack.h"
#include "tests/unit/fixture.h"
#include "tests/unit/value_helpers.h"

namespace vyr::test {
namespace {

std::vector<u8> bytes(const cell& v) { return binary::bytes_of(&v); }

class Binary : public ::testing::Test {
 protected:
  void SetUp() override {
    ensure_runtime();
    fresh_stack();
  }
  // A binary! holding the bytes, on the data stack (a root).
  cell& make(std::vector<u8> b) {
    cell* c = stack::push_slot();
    c->header = TYPE_UNSET;
    binary::make_at(c, static_cast<u32>(b.size()));
    binary::rs_append(c, b.data(), static_cast<u32>(b.size()));
    return *c;
  }
};

TEST_F(Binary, WritersKeepTheTailAndFillGaps) {
  cell& b = make({1, 2, 3});
  binary::append_int32(&b, -2);
  EXPECT_EQ(bytes(b), (std::vector<u8>{1, 2, 3, 0xFF, 0xFF, 0xFF, 0xFE}));
  u8 run[2] = {9, 9};
  binary::rs_insert(&b, 1, run, 2);
  EXPECT_EQ(bytes(b), (std::vector<u8>{1, 9, 9, 2, 3, 0xFF, 0xFF, 0xFF, 0xFE}));
  binary::rs_insert(&b, 100, run, 1);  // clipped to the tail
  EXPECT_EQ(binary::rs_length_q(&b), 10);
  cell& c = make({1, 2});
  c.data1 = 1;
  binary::write_at(&c, 3, run, 2);  // from the head: a gap of two zero bytes first
  c.data1 = 0;
  EXPECT_EQ(bytes(c), (std::vector<u8>{1, 2, 0, 0, 9, 9}));
  binary::write_at(&c, 0, run, 1);  // inside: the tail stays
  EXPECT_EQ(bytes(c), (std::vector<u8>{9, 2, 0, 0, 9, 9}));
  EXPECT_EQ(binary::get_byte(&c, 1), 2);
  EXPECT_EQ(binary::get_byte(&c, 6), 0);  // past the tail
}

TEST_F(Binary, ASourceInsideTheGrowingBufferIsCopiedFirst) {
  // Appending a binary to itself, many times: every grow moves the buffer the source
  // pointer points into; the bytes must still arrive whole.
  cell& b = make({1, 2, 3, 4});
  for (int i = 0; i < 12; i++) {
    series_buffer* buf = buffer_of(b.data2);
    binary::rs_append(&b, reinterpret_cast<const u8*>(buf->head()), buf->used_bytes());
  }
  std::vector<u8> got = bytes(b);
  ASSERT_EQ(got.size(), 4u << 12);
  for (size_t i = 0; i < got.size(); i++) ASSERT_EQ(got[i], i % 4 + 1) << i;
  series_buffer* buf = buffer_of(b.data2);
  binary::write_at(&b, buf->used_bytes() + 10, reinterpret_cast<const u8*>(buf->head()), 4);
  got = bytes(b);
  EXPECT_EQ(std::vector<u8>(got.end() - 4, got.end()), (std::vector<u8>{1, 2, 3, 4}));
}

TEST_F(Binary, MatchModeNeverReadsPastTheInput) {
  cell& in = make({1, 2});
  cell& pat = make({1, 2, 3});
  cell& empty = make({});
  EXPECT_FALSE(binary::match_q(&in, &pat));
  in.data1 = 1;
  cell& two = make({2});
  EXPECT_TRUE(binary::match_q(&in, &two));
  EXPECT_TRUE(binary::match_q(&in, &empty));
  in.data1 = 2;
  EXPECT_FALSE(binary::match_q(&in, &two));
  cell byte = int_cell(2), ch = char_cell(2);
  EXPECT_FALSE(binary::match_q(&in, &byte));
  in.data1 = 1;
  EXPECT_TRUE(binary::match_q(&in, &byte));
  EXPECT_TRUE(binary::match_q(&in, &ch));
  // A text pattern is compared as its UTF-8 bytes.
  cell& text = make({0xC3, 0xA9});
  cell* e = push_string("");
  string::append_char(buffer_of(e->data2), 0xE9);
  EXPECT_TRUE(binary::match_q(&text, e));
  EXPECT_EQ(binary::compare_bytes(&text, &byte, 0, false), -2);  // not comparable
}

TEST_F(Binary, BitsetTestReadsTheFlagBeyondTheArray) {
  cell& in = make({7, 200});
  cell& plain = *stack::push_slot();
  bitset::make_at(&plain, 1, false);
  cell& comp = *stack::push_slot();
  bitset::make_at(&comp, 1, true);
  bitset::rs_head(&plain)[0] = 0x01;  // value 7 in
  bitset::rs_head(&comp)[0] = 0xFE;   // value 7 out
  EXPECT_TRUE(binary::match_bitset_q(&in, &plain));
  EXPECT_FALSE(binary::match_bitset_q(&in, &comp));  // 7 is inside the array: its bit
  in.data1 = 1;
  EXPECT_FALSE(binary::match_bitset_q(&in, &plain));
  EXPECT_TRUE(binary::match_bitset_q(&in, &comp));   // 200 is beyond: the flag
  in.data1 = 2;
  EXPECT_FALSE(binary::match_bitset_q(&in, &comp));  // at the tail nothing matches
}

TEST_F(Binary, LoadersCopyTheBytes) {
  u8 src[3] = {5, 6, 7};
  cell* pushed = binary::load(src, 3);
  src[0] = 0;
  EXPECT_EQ(bytes(*pushed), (std::vector<u8>{5, 6, 7}));
  cell* blk = block_of({int_cell(1)});
  cell b = *blk;
  collector::root_guard keep(&b);
  cell* slot = binary::load_in(src, 2, b.data2);
  EXPECT_EQ(bytes(*slot), (std::vector<u8>{0, 6}));
  EXPECT_EQ(buffer_of(b.data2)->used_units(), 2u);
}

}  // namespace
}  // namespace vyr::test
