// Word kinds and issue!: comparison codes, printing, index?, conversions and access errors.
#include <gtest/gtest.h>

#include <string>

#include "runtime/datatypes/context.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/word.h"
#include "runtime/fire.h"
#include "runtime/word_tables.h"
#include "tests/unit/value_helpers.h"

using namespace vyr;
using namespace vyr::test;

namespace {
struct WordTest : ::testing::Test {
  void SetUp() override { test::ensure_runtime(); }
};

cell w(u32 type, const char* name, u32 ctx = 0) {
  cell c = word::intern(name);
  set_type(&c, type);
  if (ctx) c.data1 = ctx;
  return c;
}
}  // namespace

TEST_F(WordTest, CompareCodes) {
  u32 other = _context::create(1, false, false, 0, _context::KIND_OBJECT);
  collector::node_guard g(&other);
  cell abc = w(TYPE_WORD, "abc"), ABC = w(TYPE_WORD, "ABC"), set_abc = w(TYPE_SET_WORD, "abc");
  cell lit_abc = w(TYPE_LIT_WORD, "abc"), lit_ABC = w(TYPE_LIT_WORD, "ABC");
  cell abc_other = w(TYPE_WORD, "abc", other), iss = w(TYPE_ISSUE, "abc"), xyz = w(TYPE_WORD, "xyz");
  cell num{TYPE_INTEGER, 0, 1, 0};
  struct { const cell *a, *b; i32 op, want; } cases[] = {
      {&abc, &ABC, 0, 0},   {&abc, &ABC, 2, 1},      {&abc, &set_abc, 0, 0},
      {&abc, &set_abc, 2, 1}, {&abc, &abc, 9, 0},    {&abc, &abc_other, 9, 1},
      {&abc, &abc_other, 0, 0}, {&abc, &lit_ABC, 10, 1}, {&abc, &lit_abc, 10, 0},
      {&abc, &lit_ABC, 11, 0}, {&abc, &set_abc, 11, 1}, {&abc, &ABC, 12, 0},
      {&abc, &xyz, 0, 1},   {&abc, &xyz, 3, -1},     {&xyz, &ABC, 3, 1},
      {&abc, &ABC, 3, 0},   {&abc, &ABC, 8, 1},      {&abc, &num, 0, -2},
      {&abc, &iss, 0, -2},  {&iss, &abc, 0, 0},
  };
  for (auto& c : cases)
    EXPECT_EQ(word::compare(c.a, c.b, c.op), c.want)
        << symbol::name(c.a->data2) << " " << symbol::name(c.b->data2) << " op " << c.op;
  EXPECT_EQ(issue::compare(&iss, &abc, 0), -2);
  EXPECT_EQ(issue::compare(&iss, &iss, 2), 0);
}

TEST_F(WordTest, MoldAndFormPunctuation) {
  struct { u32 type; const char* molded; } cases[] = {
      {TYPE_WORD, "Name"}, {TYPE_LIT_WORD, "'Name"}, {TYPE_SET_WORD, "Name:"},
      {TYPE_GET_WORD, ":Name"}, {TYPE_REFINEMENT, "/Name"}, {TYPE_ISSUE, "#Name"}};
  for (auto& c : cases) {
    cell word = w(c.type, "Name");
    cell out{};
    string::make_at(&out, 8);
    collector::root_guard g(&out);
    EXPECT_EQ(word::mold(&word, &out, 100), 100 - i32(std::strlen(c.molded)));
    EXPECT_EQ(string::to_utf8(&out), c.molded);
    cell formed{};
    string::make_at(&formed, 8);
    collector::root_guard g2(&formed);
    word::form(&word, &formed, 100);
    EXPECT_EQ(string::to_utf8(&formed), "Name");
  }
}

TEST_F(WordTest, ValuesThroughTheGlobalContext) {
  cell a = word::intern("wt-value");
  cell none{TYPE_NONE, 0, 0, 0};
  EXPECT_EQ(error_id([&] { word::value_checked(&a); }), "script/no-value");
  cell unset{TYPE_UNSET, 0, 0, 0};
  EXPECT_EQ(error_id([&] { word::set_from_args(&a, &unset); }), "script/need-value");
  word::set_from_args(&a, &none);
  cell A = word::intern("WT-VALUE");
  EXPECT_EQ(A.data2, symbol::make("WT-VALUE"));
  EXPECT_EQ(type_of(word::value_checked(&A)), u32(TYPE_NONE));
  cell idx;
  EXPECT_EQ(type_of(word::index_q(&a, &idx)), u32(TYPE_INTEGER));
  EXPECT_EQ(idx.data2, a.data3 + 1);
  cell r = w(TYPE_WORD, "x");
  r.data3 = word::NO_INDEX;
  EXPECT_EQ(type_of(word::index_q(&r, &idx)), u32(TYPE_NONE));
  // A compiled set-word through its context position.
  u32 slot = a.data3;
  cell seven{TYPE_INTEGER, 0, 7, 0};
  word::set_local(_context::global, slot, &seven);
  cell got;
  word::get_local(_context::global, slot, &got);
  EXPECT_EQ(got.data2, 7u);
}

TEST_F(WordTest, Conversions) {
  cell src = w(TYPE_GET_WORD, "conv");
  cell out;
  word::make(&src, TYPE_SET_WORD, &out);
  EXPECT_EQ(type_of(&out), u32(TYPE_SET_WORD));
  EXPECT_EQ(out.data3, src.data3);
  cell t{TYPE_LOGIC, 1, 0, 0};
  word::make(&t, TYPE_WORD, &out);
  EXPECT_EQ(symbol::name(out.data2), "true");
  cell n{TYPE_INTEGER, 0, 3, 0};
  EXPECT_EQ(error_id([&] { word::make(&n, TYPE_WORD, &out); }), "script/bad-to-arg");
  cell s{};
  string::make_at(&s, 4);
  collector::root_guard g(&s);
  string::concatenate_literal(&s, "xabc");
  s.data1 = 1;
  issue::make(&s, &out);
  EXPECT_EQ(type_of(&out), u32(TYPE_ISSUE));
  EXPECT_EQ(symbol::name(out.data2), "abc");
  EXPECT_EQ(out.data3, word::NO_INDEX);
  cell ch{TYPE_CHAR, 0, 0x263A, 0};
  issue::make(&ch, &out);
  EXPECT_EQ(symbol::name(out.data2), "\xE2\x98\xBA");
}

TEST_F(WordTest, MakeInBlocks) {
  cell blk{TYPE_BLOCK, 0, memory::alloc_cells(2), 0};
  collector::root_guard g(&blk);
  word::make_in("mb-one", blk.data2);
  word::make_kind_in("mb-two", blk.data2, TYPE_LIT_WORD);
  refinement::make_in("mb-ref", blk.data2);
  collector::do_cycle();
  cell* c = buffer_of(blk.data2)->cells();
  EXPECT_EQ(c[0].data1, _context::global);
  EXPECT_EQ(type_of(&c[1]), u32(TYPE_LIT_WORD));
  EXPECT_EQ(c[2].data1, 0u);
  EXPECT_EQ(symbol::name(c[2].data2), "mb-ref");
}

TEST_F(WordTest, RuntimeWordTables) {
  // Symbols are interned in exact case: Windows and windows are two symbols, one name.
  EXPECT_EQ(symbol::name(words::sym_os_windows), "Windows");
  u32 lower = symbol::make("windows");
  EXPECT_NE(lower, words::sym_os_windows);
  EXPECT_EQ(symbol::resolve(lower), symbol::resolve(words::sym_os_windows));
  // Names listed twice have two variables holding the same entry.
  EXPECT_EQ(words::sym_code, words::sym_money_code);
  EXPECT_EQ(words::word_throw.data2, words::word_category_throw.data2);
  EXPECT_EQ(symbol::name(words::word_swaped.data2), "swaped");
  EXPECT_EQ(symbol::name(words::word_put_ed.data2), "put-ed");
  EXPECT_EQ(words::word_on_deep_change_star.data1, _context::global);
  EXPECT_EQ(symbol::name(words::word_applied.data2), "<applied>");
  EXPECT_EQ(type_of(&words::ref_part), u32(TYPE_REFINEMENT));
  EXPECT_EQ(words::ref_part.data1, 0u);
  EXPECT_EQ(type_of(&words::issue_ooo), u32(TYPE_ISSUE));
  EXPECT_EQ(symbol::name(words::issue_ooo.data2), "ooo");
}
