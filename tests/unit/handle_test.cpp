// handle! and triple!: their texts and handle!'s comparison. Nothing in the language makes
// either yet, so the cells are built here through their constructors.
#include <gtest/gtest.h>

#include "runtime/datatypes/handle.h"
#include "runtime/datatypes/triple.h"
#include "tests/unit/value_helpers.h"

using namespace vyr;
using namespace vyr::test;

namespace {
struct HandleTriple : ::testing::Test {
  void SetUp() override { fresh_stack(); }
};
}  // namespace

TEST_F(HandleTriple, HandleTextsByKind) {
  cell h;
  handle::make_at(&h, 0x10A2C, handle::WINDOW);
  EXPECT_EQ(form_text(h), "00010A2Ch");
  EXPECT_EQ(mold_text(h), "handle!");
  EXPECT_EQ(mold_text(h, true), "#[handle! 00010A2Ch window]");
  EXPECT_EQ(h.data3, 0xFFFFFFFFu);
  struct { u32 value, kind; const char* all; } cases[] = {
      {0, handle::NULL_KIND, "#[handle! 00000000h]"},  // kind 0 names no kind
      {3, handle::FD, "#[handle! 00000003h fd]"},
      {0xFFFFFFFFu, handle::RICH_TEXT, "#[handle! FFFFFFFFh rich-text]"},
      {7, handle::MONITOR, "#[handle! 00000007h monitor]"},
      {8, handle::FONT, "#[handle! 00000008h font]"},
  };
  for (const auto& c : cases) {
    handle::make_at(&h, c.value, c.kind);
    EXPECT_EQ(mold_text(h, true), c.all);
  }
  stack::reset();
  const cell* n = handle::push_null();
  EXPECT_EQ(mold_text(*n, true), "#[handle! 00000000h]");
}

TEST_F(HandleTriple, HandlesCompareAsSignedValuesIgnoringKinds) {
  cell a, b, m1;
  handle::make_at(&a, 5, handle::WINDOW);
  handle::make_at(&b, 5, handle::FONT);
  handle::make_at(&m1, 0xFFFFFFFFu, handle::FD);  // -1 as a signed value
  EXPECT_EQ(handle::compare(&a, &b, compare_op::EQUAL), 0);
  EXPECT_EQ(handle::compare(&m1, &a, compare_op::LESSER), -1);
  EXPECT_EQ(handle::compare(&a, &m1, compare_op::SORT), 1);
  cell five = int_cell(5);
  EXPECT_EQ(handle::compare(&a, &five, compare_op::EQUAL), 1);  // never equal to another type
  // Every other action is unsupported, the integer! ones included.
  EXPECT_EQ(datatype::entry(TYPE_HANDLE, slot::add), nullptr);
  EXPECT_EQ(datatype::entry(TYPE_HANDLE, slot::make), nullptr);
  EXPECT_EQ(datatype::parent_of(TYPE_HANDLE), u32{TYPE_INTEGER});
}

TEST_F(HandleTriple, TripleTextsWithSigns) {
  cell t;
  triple::make_at(&t, 1, 2, 3);
  EXPECT_EQ(form_text(t), "make triple! [1 2 3]");
  triple::make_at(&t, -1, 0, 2147483647);
  EXPECT_EQ(mold_text(t), "make triple! [-1 0 2147483647]");
  triple::make_at(&t, INT32_MIN, INT32_MIN, INT32_MIN);
  EXPECT_EQ(mold_text(t, true), "make triple! [-2147483648 -2147483648 -2147483648]");
  EXPECT_EQ(datatype::entry(TYPE_TRIPLE, slot::compare), nullptr);
  EXPECT_EQ(datatype::entry(TYPE_TRIPLE, slot::make), nullptr);
}
