// tuple!: the byte store behind path sets (clamping, truncation by none, the 3-byte floor)
// and the count kept in the header.
#include <gtest/gtest.h>

#include "runtime/datatypes/none.h"
#include "runtime/datatypes/tuple.h"
#include "tests/unit/value_helpers.h"

using namespace vyr;
using namespace vyr::test;

namespace {
struct Tuple : ::testing::Test {
  void SetUp() override {
    ensure_runtime();
    stack::reset();
  }
};

cell tuple_of(std::initializer_list<u8> bytes) {
  cell c;
  tuple::make_at(&c, bytes.begin(), static_cast<u32>(bytes.size()));
  return c;
}

std::vector<int> bytes_of(const cell& c) {
  std::vector<int> v;
  for (u32 i = 0; i < tuple::count_of(&c); i++) v.push_back(tuple::byte_at(&c, i));
  return v;
}
}  // namespace

TEST_F(Tuple, PokeClampsAndNoneTruncatesToAtLeastThreeBytes) {
  struct Case {
    std::initializer_list<u8> start;
    i32 index;
    bool none;
    i32 value;
    std::vector<int> want;
  } cases[] = {
      {{1, 2, 3, 4, 5}, 4, true, 0, {1, 2, 3}},
      {{1, 2, 3}, 2, true, 0, {1, 0, 0}},
      {{1, 2, 3, 4}, 1, true, 0, {0, 0, 0}},
      {{1, 2, 3}, 2, false, 300, {1, 255, 3}},
      {{1, 2, 3}, 2, false, -5, {1, 0, 3}},
      {{1, 2, 3, 4, 5, 6}, 6, false, 9, {1, 2, 3, 4, 5, 9}},
  };
  for (const Case& k : cases) {
    cell t = tuple_of(k.start);
    cell v = k.none ? none_value : int_cell(k.value);
    tuple::poke_byte(&t, k.index, &v);
    EXPECT_EQ(bytes_of(t), k.want) << "index " << k.index;
  }
  // Truncated bytes are zero, so the tuple grows back without old bytes.
  cell t = tuple_of({1, 2, 3, 4, 5});
  cell v = none_value;
  tuple::poke_byte(&t, 4, &v);
  for (u32 i = 3; i < tuple::MAX_BYTES; i++) EXPECT_EQ(tuple::byte_at(&t, i), 0);
}

TEST_F(Tuple, PokeOutsideTheCountRaises) {
  cell t = tuple_of({1, 2, 3});
  cell v = int_cell(1);
  EXPECT_THROW(tuple::poke_byte(&t, 4, &v), thrown);
  EXPECT_THROW(tuple::poke_byte(&t, 0, &v), thrown);
  cell f = cell{TYPE_STRING, 0, 0, 0};
  EXPECT_THROW(tuple::poke_byte(&t, 1, &f), thrown);
}
