// string! searching and editing: append/insert/change with every kind of value, find and
// select folding case at every width, sort, take, trim, swap, the set operations and the
// shared /skip error.
#include <gtest/gtest.h>

#include "runtime/datatypes/string_actions.h"
#include "runtime/memory.h"
#include "runtime/unicode.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/collector.h"
#include "tests/unit/text_helpers.h"

namespace vyr {
namespace {

using test::text;
using test::utf8;

class StringSeriesTest : public ::testing::Test {
 protected:
  void SetUp() override { test::fresh_stack(); }
  // A block of values on the stack.
  cell* block(std::initializer_list<cell> values) {
    cell* b = stack::push_slot();
    *b = cell{TYPE_BLOCK, 0, memory::alloc_cells(static_cast<u32>(values.size()) + 1), 0};
    for (const cell& v : values) {
      series_buffer* buf = buffer_of(b->data2);
      *memory::alloc_tail_cell(buf) = v;
    }
    return b;
  }
  // Index (1-based) of a find result, 0 for none.
  i32 found_at(const cell* r) { return type_of(r) == TYPE_NONE ? 0 : static_cast<i32>(r->data1) + 1; }
};

TEST_F(StringSeriesTest, AppendInsertChangeWithEveryKindOfValue) {
  cell* s = text("abc");
  cell twelve = test::int_cell(12);
  const cell* r = string::append(s, &twelve, -1, false, 1, false);  // insert
  EXPECT_EQ(utf8(s), "12abc");
  EXPECT_EQ(r->data1, 2u);  // positioned after the insertion
  cell* a = text("a");
  cell* x = text("x");
  cell* blk = block({test::int_cell(1), *x, test::char_cell('y')});
  r = string::append(a, blk, -1, false, 1, true);
  EXPECT_EQ(utf8(a), "a1xy");
  EXPECT_EQ(r->data1, 0u);
  // /part: at most 2 characters of a text, /dup repeats.
  cell* d = text("-");
  cell* src = text("\xC3\xA9" "fgh");
  string::append(d, src, 2, false, 3, true);
  EXPECT_EQ(utf8(d), "-\xC3\xA9" "f\xC3\xA9" "f\xC3\xA9" "f");
  // append without /only counts whole values of a block under /part.
  cell* p = text("");
  cell* two = block({test::int_cell(123), test::int_cell(45), test::int_cell(6)});
  string::append(p, two, 2, false, 1, true);
  EXPECT_EQ(utf8(p), "12345");
  // insert limits the formed characters.
  cell* q = text("Z");
  string::append(q, two, 4, false, 1, false);
  EXPECT_EQ(utf8(q), "1234Z");
  // change overwrites as much as it writes, or replaces a /part range.
  cell* c = text("abcdef");
  cell xy = *text("XY");
  r = string::change(c, &xy, -1, false, 1);
  EXPECT_EQ(utf8(c), "XYcdef");
  EXPECT_EQ(r->data1, 2u);
  cell* c2 = text("abcdef");
  string::change(c2, &xy, 4, false, 1);
  EXPECT_EQ(utf8(c2), "XYef");
  cell* c3 = text("ab");
  cell long_text = *text("12345");
  string::change(c3, &long_text, -1, false, 1);
  EXPECT_EQ(utf8(c3), "12345");
  // A wide character widens the target; an emoji goes to four bytes.
  cell* w = text("ab");
  cell emoji = test::char_cell(0x1F600);
  string::append(w, &emoji, -1, false, 1, true);
  EXPECT_EQ(buffer_of(w->data2)->unit(), 4u);
  EXPECT_EQ(utf8(w), "ab\xF0\x9F\x98\x80");
}

TEST_F(StringSeriesTest, AppendToItselfAndOversizedDup) {
  cell* s = text("ab");
  cell self = *s;
  string::append(s, &self, -1, false, 3, true);
  EXPECT_EQ(utf8(s), "abababab");
  cell* t = text("xy");
  cell big = *text("0123456789");
  EXPECT_EQ(test::error_of([&] { string::append(t, &big, -1, false, 0x7FFFFFFF, true); }),
            "internal/no-memory");
  EXPECT_EQ(utf8(t), "xy");  // nothing changed
}

TEST_F(StringSeriesTest, FindFoldsCaseAtEveryWidth) {
  for (u32 unit : {1u, 2u, 4u}) {
    cell* s = text("abcd\xC3\xA9z", TYPE_STRING, unit);
    cell* bc = text("BC", TYPE_STRING, unit == 1 ? 4 : 1);
    EXPECT_EQ(found_at(string::find(s, bc, find_args{})), 2) << unit;
    find_args exact;
    exact.case_sensitive = true;
    EXPECT_EQ(found_at(string::find(s, bc, exact)), 0) << unit;
    cell e_upper = test::char_cell(0xC9);
    EXPECT_EQ(found_at(string::find(s, &e_upper, find_args{})), 5) << unit;
  }
  cell* s = text("abcabc");
  cell c = test::char_cell('c');
  find_args o;
  o.last = true;
  EXPECT_EQ(found_at(string::find(s, &c, o)), 6);
  o = find_args{};
  o.tail = true;
  EXPECT_EQ(found_at(string::find(s, &c, o)), 4);
  o = find_args{};
  cell two = test::int_cell(2);
  o.part = &two;
  EXPECT_EQ(found_at(string::find(s, &c, o)), 0);  // beyond the /part range
  o = find_args{};
  o.match = true;
  cell* ab = text("AB");
  EXPECT_EQ(found_at(string::find(s, ab, o)), 3);
  cell* at_end = text("abcabc");
  at_end->data1 = 6;
  o = find_args{};
  o.reverse = true;
  cell a = test::char_cell('a');
  EXPECT_EQ(found_at(string::find(at_end, &a, o)), 4);
  cell* num = text("x12y");
  cell twelve = test::int_cell(12);
  EXPECT_EQ(found_at(string::find(num, &twelve, find_args{})), 2);
}

TEST_F(StringSeriesTest, FindErrors) {
  cell* s = text("abcd");
  cell c = *text("c");
  cell zero = test::int_cell(0);
  find_args o;
  o.skip = &zero;
  EXPECT_EQ(test::error_of([&] { string::find(s, &c, o); }), "script/out-of-range");
  o = find_args{};
  o.any = true;
  EXPECT_EQ(test::error_of([&] { string::find(s, &c, o); }), "internal/not-done");
  o = find_args{};
  o.part = &none_value;
  EXPECT_EQ(test::error_of([&] { string::find(s, &c, o); }), "script/invalid-refine-arg");
  cell* bin = stack::push_slot();
  const u8 bytes[] = {'a'};
  *bin = unicode::small_binary(bytes, 1);
  EXPECT_EQ(test::error_of([&] { string::find(s, bin, find_args{}); }), "script/invalid-arg");
}

TEST_F(StringSeriesTest, SelectReadsAfterTheWholeMatch) {
  cell* s = text("abc");
  cell* b = text("b");
  const cell* r = string::select(s, b, find_args{});
  ASSERT_EQ(type_of(r), TYPE_CHAR);
  EXPECT_EQ(r->data2, static_cast<u32>('c'));
  cell* c = text("c");
  EXPECT_EQ(type_of(string::select(s, c, find_args{})), TYPE_NONE);
  cell* num = text("a12b");
  cell twelve = test::int_cell(12);
  r = string::select(num, &twelve, find_args{});
  EXPECT_EQ(r->data2, static_cast<u32>('b'));  // after "12", not after its first character
}

TEST_F(StringSeriesTest, SortFoldsTheSameWayAtEveryWidth) {
  cell* s = text("cBa");
  string::sort(s, sort_args{});
  EXPECT_EQ(utf8(s), "aBc");
  cell* t = text("cBa");
  sort_args cs;
  cs.case_sensitive = true;
  string::sort(t, cs);
  EXPECT_EQ(utf8(t), "Bac");
  // The same visible text sorts the same whatever width its buffer has.
  std::string results[3];
  int k = 0;
  for (u32 unit : {1u, 2u, 4u}) {
    cell* u = text("\xC3\xA9_Z\xC3\x89" "a", TYPE_STRING, unit);
    sort_args stable;
    stable.stable = true;
    string::sort(u, stable);
    results[k++] = utf8(u);
  }
  // Folded to upper case: A < Z < _ < É, and the stable sort keeps é before É.
  EXPECT_EQ(results[0], "aZ_\xC3\xA9\xC3\x89");
  EXPECT_EQ(results[1], results[0]);
  EXPECT_EQ(results[2], results[0]);
  cell* r = text("abc");
  sort_args rev;
  rev.reverse = true;
  string::sort(r, rev);
  EXPECT_EQ(utf8(r), "cba");
  cell* recs = text("b2a1c3");
  cell two = test::int_cell(2);
  sort_args by_record;
  by_record.skip = &two;
  string::sort(recs, by_record);
  EXPECT_EQ(utf8(recs), "a1b2c3");
  cell* recs2 = text("a3b1c2");
  by_record.compare = &two;
  string::sort(recs2, by_record);
  EXPECT_EQ(utf8(recs2), "b1c2a3");
}

TEST_F(StringSeriesTest, SortErrors) {
  cell* s = text("ab");
  cell three = test::int_cell(3), zero = test::int_cell(0), one = test::int_cell(1);
  sort_args o;
  o.skip = &three;
  EXPECT_EQ(test::error_of([&] { string::sort(s, o); }), "script/invalid-refine-arg");
  o = sort_args{};
  o.all = true;
  EXPECT_EQ(test::error_of([&] { string::sort(s, o); }), "script/bad-refines");
  o = sort_args{};
  o.compare = &one;
  EXPECT_EQ(test::error_of([&] { string::sort(s, o); }), "script/bad-refines");
  o.skip = &one;
  o.compare = &three;
  EXPECT_EQ(test::error_of([&] { string::sort(s, o); }), "script/out-of-range");
  o = sort_args{};
  o.compare = &none_value;
  EXPECT_EQ(test::error_of([&] { string::sort(s, o); }), "script/invalid-refine-arg");
  // A bad /skip reads the same in sort and in the set operations.
  std::string texts[2];
  for (int i = 0; i < 2; i++) {
    try {
      if (i == 0) {
        o = sort_args{};
        o.skip = &zero;
        string::sort(s, o);
      } else {
        stack::reset();
        stack::push_copy(s);
        stack::push_copy(s);
        string::do_set_op(false, &zero, string::SET_UNIQUE);
      }
    } catch (const thrown& t) {
      texts[i] = std::string(t.category) + "/" + t.id + " " +
                 std::string(symbol::name(t.args[0].data2)) + " " + test::form_text(t.args[1]);
    }
  }
  EXPECT_EQ(texts[0], "script/invalid-refine-arg skip 0");
  EXPECT_EQ(texts[1], texts[0]);
}

TEST_F(StringSeriesTest, TakeSwapAndCase) {
  cell* s = text("abc");
  const cell* r = string::take(s, nullptr, false, false);
  EXPECT_EQ(type_of(r), TYPE_CHAR);
  EXPECT_EQ(r->data2, static_cast<u32>('a'));
  EXPECT_EQ(utf8(s), "bc");
  cell* t = text("abc");
  cell two = test::int_cell(2);
  r = string::take(t, &two, false, false);
  EXPECT_EQ(utf8(r), "ab");
  EXPECT_EQ(utf8(t), "c");
  cell* l = text("abc");
  r = string::take(l, nullptr, false, true);
  EXPECT_EQ(r->data2, static_cast<u32>('c'));
  cell* e = text("");
  EXPECT_EQ(type_of(string::take(e, nullptr, false, false)), TYPE_NONE);
  cell* a = text("ab");
  cell* b = text("\xC3\xA9z");
  string::swap(a, b);
  EXPECT_EQ(utf8(a), "\xC3\xA9" "b");
  EXPECT_EQ(utf8(b), "az");
  cell n = test::int_cell(1);
  EXPECT_EQ(test::error_of([&] { string::swap(a, &n); }), "script/invalid-arg");
  cell* u = text("stra e \xC3\xA9");
  string::change_case(u, nullptr, true);
  EXPECT_EQ(utf8(u), "STRA E \xC3\x89");
  cell* lo = text("ABC");
  string::change_case(lo, &two, false);
  EXPECT_EQ(utf8(lo), "abC");
}

TEST_F(StringSeriesTest, TrimModes) {
  struct { const char* in; trim_args o; const char* out; } cases[] = {
      {"  a  \n  b  \n ", {}, "a\nb\n"},
      {"  a b  ", {}, "a b"},
      {" a \n b ", {false, false, false, true, false, nullptr}, "a b"},
      {"  a  ", {true, false, false, false, false, nullptr}, "a  "},
      {"  a  ", {false, true, false, false, false, nullptr}, "  a"},
      {" a\tb\nc ", {false, false, false, false, true, nullptr}, "abc"},
      {"\xE3\x80\x80" "a\xC2\xA0", {}, "a"},
  };
  for (const auto& c : cases) {
    cell* s = text(c.in);
    string::trim(s, c.o);
    EXPECT_EQ(utf8(s), c.out) << c.in;
  }
  cell* w = text("a-b-c");
  cell* dash = text("-");
  trim_args with;
  with.all = true;
  with.with = dash;
  string::trim(w, with);
  EXPECT_EQ(utf8(w), "abc");
  trim_args a;
  a.auto_ = true;
  EXPECT_EQ(test::error_of([&] { string::trim(w, a); }), "internal/not-done");
}

TEST_F(StringSeriesTest, SetOperations) {
  struct { const char* a; const char* b; bool cs; i32 op; const char* out; } cases[] = {
      {"aAbB", "", false, string::SET_UNIQUE, "ab"},
      {"aA", "ab", true, string::SET_UNION, "aAb"},
      {"abc", "CD", false, string::SET_INTERSECT, "c"},
      {"abc", "CD", false, string::SET_EXCLUDE, "ab"},
      {"abc", "CD", false, string::SET_DIFFERENCE, "abD"},
      {"\xC3\xA9\xC3\x89x", "", false, string::SET_UNIQUE, "\xC3\xA9x"},
  };
  for (const auto& c : cases) {
    stack::reset();
    stack::push_slot()->header = TYPE_UNSET;
    cell* a = text(c.a, TYPE_FILE);
    cell* b = text(c.b);
    stack::arguments = a;
    (void)b;
    const cell* r = string::do_set_op(c.cs, nullptr, c.op);
    EXPECT_EQ(utf8(r), c.out) << c.a << " " << c.op;
    EXPECT_EQ(type_of(r), TYPE_FILE);  // keeps the first argument's type
    stack::arguments = stack::base;
  }
  stack::reset();
  stack::push_copy(text("a1b2a3"));
  stack::push_copy(text(""));
  cell two = test::int_cell(2);
  EXPECT_EQ(utf8(string::do_set_op(false, &two, string::SET_UNIQUE)), "a1b2");
}

TEST_F(StringSeriesTest, EditsSurviveCollectionsOnEveryAllocation) {
  bool was = collector::stress();
  collector::set_stress(true);
  cell* s = text("start");
  cell* blk = block({test::int_cell(1), *text("\xC3\xA9"), test::char_cell(0x1F600)});
  for (int i = 0; i < 20; i++) string::append(s, blk, -1, false, 2, i % 2 == 0);
  string::sort(s, sort_args{});
  collector::set_stress(was);
  EXPECT_EQ(string::rs_length_q(s), 5 + 20 * 2 * 3);
}

}  // namespace
}  // namespace vyr
