// series!, block!, the path kinds and paren!: navigation, element access, the edits, mold
// and form layouts, compare, find/select/put, sort, the set operations and path
// evaluation, at the level of the C++ entry points. Cases are tables of (source, arguments,
// expected mold).
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>

#include "runtime/cycles.h"
#include "runtime/datatypes/path.h"
#include "runtime/ownership.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/word_tables.h"
#include "tests/unit/block_helpers.h"

using namespace vyr;
using namespace vyr::test;

namespace {

struct BlockTest : ::testing::Test {
  void SetUp() override {
    ensure_runtime();
    release_kept();
    stack::reset();
  }
  void TearDown() override {
    release_kept();
    stack::reset();
    series::owner_check = ownership::check;
  }
};

// Runs a stack-form series action on (value, argument) and molds the result.
std::string stack_form(void (*entry)(), const char* src, cell arg) {
  stack::reset();
  stack::push_copy(keep(val(src)));
  stack::push_copy(&arg);
  entry();
  std::string s = mold_with(*stack::arguments);
  stack::reset();
  return s;
}

template <class F> std::string err(F&& f) {
  std::string e = error_of(f);
  stack::reset();
  return e;
}

}  // namespace

// ---- Navigation -------------------------------------------------------------------------

TEST_F(BlockTest, Navigation) {
  struct { void (*entry)(); const char* src; i32 n; const char* index_after; } cases[] = {
      {series::at, "[a b c d]", 0, "1"},   {series::at, "[a b c d]", 1, "1"},
      {series::at, "[a b c d]", 3, "3"},   {series::at, "[a b c d]", 9, "5"},
      {series::skip, "[a b c d]", 2, "3"}, {series::skip, "[a b c d]", -3, "1"},
      // Index arithmetic never wraps: huge offsets clip to the ends.
      {series::skip, "[a b c d]", 2147483647, "5"},
      {series::skip, "[a b c d]", -2147483647 - 1, "1"},
      {series::at, "[a b c d]", 2147483647, "5"},
      {series::at, "[a b c d]", -2147483647 - 1, "1"},
  };
  for (auto& c : cases) {
    stack::reset();
    stack::push_copy(keep(val(c.src)));
    cell n = int_cell(c.n);
    stack::push_copy(&n);
    c.entry();
    stack::keep_first();
    series::index_q();
    EXPECT_EQ(form_text(*stack::arguments), c.index_after) << c.src << " " << c.n;
  }
  // at from one unit in: `at next s -1` is the first unit.
  stack::reset();
  stack::push_copy(keep(val("[a b c d]")));
  series::next();
  cell m1 = int_cell(-1);
  stack::push_copy(&m1);
  series::at();
  EXPECT_EQ(mold_with(*stack::arguments), "[a b c d]");
  EXPECT_EQ(err([] { stack_form(series::at, "[a b]", val("x")); }), "script/invalid-arg");
}

TEST_F(BlockTest, BackNextClipAndLength) {
  cell s = *keep(val("[a b c]"));
  stack::reset();
  stack::push_copy(&s);
  series::back();
  EXPECT_EQ(series::head_index(stack::arguments), 0);
  series::tail();
  series::next();
  EXPECT_EQ(static_cast<i32>(stack::arguments->data1), 3);
  // A head left past the tail by a shrink is clipped by every action.
  cell far = s;
  far.data1 = 10;
  EXPECT_EQ(series::length_q(&far), 0);
  EXPECT_EQ(far.data1, 3u);
  stack::reset();
}

// ---- pick and poke ----------------------------------------------------------------------

TEST_F(BlockTest, PickAndPoke) {
  struct { const char* src; i32 skip, index; const char* want; } picks[] = {
      {"[a b c]", 0, 1, "a"}, {"[a b c]", 0, 3, "c"}, {"[a b c]", 0, 0, "none"},
      {"[a b c]", 0, 4, "none"}, {"[a b c]", 1, -1, "a"}, {"[a b c]", 1, -2, "none"},
      {"[a b c]", 0, 2147483647, "none"}, {"[a b c]", 2, -2147483647 - 1, "none"},
  };
  for (auto& c : picks) {
    cell s = *keep(val(c.src));
    s.data1 = c.skip;
    EXPECT_EQ(on_stack(s, [&](cell* v) { return series::pick(v, c.index, nullptr); }), c.want)
        << c.src << " " << c.index;
  }
  cell s = *keep(val("[a b c]"));
  cell x = val("x");
  EXPECT_EQ(on_stack(s, [&](cell* v) { return series::poke(v, 2, &x, nullptr); }), "x");
  EXPECT_EQ(mold_with(s), "[a x c]");
  for (i32 bad : {0, 4, -1, 2147483647})
    EXPECT_EQ(err([&] { on_stack(s, [&](cell* v) { return series::poke(v, bad, &x, nullptr); }); }),
              "script/out-of-range") << bad;
}

// ---- Edits ------------------------------------------------------------------------------

namespace {
// One edit: the series text, the edit applied at the stack cell, the result's mold and the
// series' mold (from its head) afterwards.
struct edit_case {
  const char* name;
  const char* src;
  std::function<const cell*(cell*)> apply;
  const char* result;
  const char* after;
};

void run_edits(const std::vector<edit_case>& cases) {
  for (auto& c : cases) {
    release_kept();
    cell s = *keep(val(c.src));
    std::string got = on_stack(s, c.apply);
    s.data1 = 0;
    EXPECT_EQ(got, c.result) << c.name;
    EXPECT_EQ(mold_with(s), c.after) << c.name;
  }
}

const cell* app(cell* s, const char* v, i32 part = -1, bool only = false, i32 dup = 1) {
  cell x = *keep(val(v));
  return block::append(s, &x, part, only, dup, true);
}
const cell* ins(cell* s, const char* v, i32 part = -1, bool only = false, i32 dup = 1) {
  cell x = *keep(val(v));
  return block::append(s, &x, part, only, dup, false);
}
const cell* chg(cell* s, const char* v, i32 part = -1, bool only = false, i32 dup = 1) {
  cell x = *keep(val(v));
  return block::change(s, &x, part, only, dup);
}
cell* skipped(cell* s, i32 n) {
  s->data1 = n;
  return s;
}
const cell* ip(i32 n) { return keep(int_cell(n)); }
}  // namespace

TEST_F(BlockTest, AppendInsertChange) {
  run_edits({
      {"append block", "[1]", [](cell* s) { return app(s, "[2 3]"); }, "[1 2 3]", "[1 2 3]"},
      {"append/only", "[1]", [](cell* s) { return app(s, "[2 3]", -1, true); }, "[1 [2 3]]", "[1 [2 3]]"},
      {"append/dup", "[]", [](cell* s) { return app(s, "0", -1, false, 3); }, "[0 0 0]", "[0 0 0]"},
      {"append/part", "[]", [](cell* s) { return app(s, "[a b c]", 2); }, "[a b]", "[a b]"},
      {"append/dup 0", "[a]", [](cell* s) { return app(s, "b", -1, false, 0); }, "[a]", "[a]"},
      {"append/dup run", "[x]", [](cell* s) { return app(s, "[a b]", -1, false, 3); }, "[x a b a b a b]", "[x a b a b a b]"},
      {"insert returns after", "[3]", [](cell* s) { return ins(s, "[1 2]"); }, "[3]", "[1 2 3]"},
      {"insert mid", "[a d]", [](cell* s) { return ins(skipped(s, 1), "[b c]"); }, "[d]", "[a b c d]"},
      {"insert self", "[a b]", [](cell* s) { cell me = *s; return block::append(s, &me, -1, false, 1, false); }, "[a b]", "[a b a b]"},
      {"append self", "[a b]", [](cell* s) { cell me = *s; return block::append(s, &me, -1, false, 2, true); }, "[a b a b a b]", "[a b a b a b]"},
      {"change same size", "[a b c]", [](cell* s) { return chg(s, "[x y]"); }, "[c]", "[x y c]"},
      {"change past tail", "[a b]", [](cell* s) { return chg(skipped(s, 1), "[x y z]"); }, "[]", "[a x y z]"},
      {"change/part shrink", "[a b c d]", [](cell* s) { return chg(s, "x", 3); }, "[d]", "[x d]"},
      {"change/part grow", "[a b]", [](cell* s) { return chg(s, "[x y z]", 1); }, "[b]", "[x y z b]"},
      {"change/dup", "[a b c d e]", [](cell* s) { return chg(s, "x", 1, false, 3); }, "[b c d e]", "[x x x b c d e]"},
      {"change self", "[a b c]", [](cell* s) { cell me = *s; me.data1 = 1; return block::change(skipped(s, 2), &me, -1, false, 1); }, "[]", "[a b b c]"},
  });
  EXPECT_EQ(err([] {
    cell s = *keep(val("[a]"));
    on_stack(s, [](cell* v) { return app(v, "[a b c]", -1, false, 2147483647); });
  }), "internal/no-memory");
}

TEST_F(BlockTest, RemoveReverseTakeClear) {
  run_edits({
      {"remove", "[a b c]", [](cell* s) { return series::remove(s, nullptr, nullptr); }, "[b c]", "[b c]"},
      {"remove/part", "[a b c d]", [](cell* s) { return series::remove(skipped(s, 1), ip(2), nullptr); }, "[d]", "[a d]"},
      {"remove/part past", "[a b c]", [](cell* s) { return series::remove(s, ip(2147483647), nullptr); }, "[]", "[]"},
      {"remove/part 0", "[a b]", [](cell* s) { return series::remove(s, ip(0), nullptr); }, "[a b]", "[a b]"},
      {"remove/key", "[a 1 b 2 c 3]", [](cell* s) { return series::remove(s, nullptr, keep(val("b"))); }, "[c 3]", "[a 1 c 3]"},
      {"remove/key absent", "[a 1]", [](cell* s) { return series::remove(s, nullptr, keep(val("z"))); }, "none", "[a 1]"},
      {"reverse", "[1 2 3 4]", [](cell* s) { return series::reverse(s, nullptr, nullptr); }, "[4 3 2 1]", "[4 3 2 1]"},
      {"reverse/part", "[1 2 3 4]", [](cell* s) { return series::reverse(s, ip(2), nullptr); }, "[2 1 3 4]", "[2 1 3 4]"},
      {"reverse/skip", "[1 2 3 4 5 6]", [](cell* s) { return series::reverse(s, nullptr, ip(2)); }, "[5 6 3 4 1 2]", "[5 6 3 4 1 2]"},
      {"take", "[1 2 3]", [](cell* s) { return block::take(s, nullptr, false, false); }, "1", "[2 3]"},
      {"take/last", "[1 2 3]", [](cell* s) { return block::take(s, nullptr, false, true); }, "3", "[1 2]"},
      {"take/part", "[1 2 3]", [](cell* s) { return block::take(s, ip(2), false, false); }, "[1 2]", "[3]"},
      {"take/part/last", "[1 2 3]", [](cell* s) { return block::take(s, ip(2), false, true); }, "[2 3]", "[1]"},
      {"take/part negative", "[1 2 3]", [](cell* s) { return block::take(skipped(s, 2), ip(-1), false, false); }, "[2]", "[1 3]"},
      // A count of 0 takes nothing: an empty block, the series untouched.
      {"take/part 0", "[1 2 3]", [](cell* s) { return block::take(skipped(s, 1), ip(0), false, false); }, "[]", "[1 2 3]"},
      {"take empty", "[]", [](cell* s) { return block::take(s, nullptr, false, false); }, "none", "[]"},
      {"take at tail", "[1]", [](cell* s) { return block::take(skipped(s, 1), nullptr, false, false); }, "none", "[1]"},
      {"clear", "[1 2 3]", [](cell* s) { return series::clear(skipped(s, 1)); }, "[]", "[1]"},
  });
  cell s = *keep(val("[1 2 3]"));
  EXPECT_EQ(err([&] { on_stack(s, [](cell* v) { return series::reverse(v, nullptr, ip(2)); }); }),
            "script/invalid-refine-arg");
  EXPECT_EQ(err([&] { on_stack(s, [](cell* v) { return series::reverse(v, nullptr, ip(0)); }); }),
            "script/out-of-range");
  EXPECT_EQ(err([&] { on_stack(s, [](cell* v) { return series::remove(v, keep(val("x")), nullptr); }); }),
            "script/invalid-refine-arg");
  EXPECT_EQ(mold_with(s), "[1 2 3]");  // no edit before the checks pass
}

TEST_F(BlockTest, TakeDeepCopiesNestedSeries) {
  cell inner = *keep(val("[x y]"));
  cell s = *keep(load("a"));
  block::rs_append(&s, &inner);
  cell taken = *keep(cell{});
  on_stack(s, [&](cell* v) {
    const cell* r = block::take(v, nullptr, true, true);
    taken = *r;
    return r;
  });
  EXPECT_NE(taken.data2, inner.data2);
  EXPECT_EQ(mold_with(taken), "[x y]");
}

TEST_F(BlockTest, Move) {
  struct { i32 from, to; const char* part; const char* want; } cases[] = {
      {0, 3, nullptr, "[b c d a e]"}, {0, 5, nullptr, "[b c d e a]"},
      {3, 1, nullptr, "[a d b c e]"}, {1, 1, nullptr, "[a b c d e]"},
      {3, 0, "2", "[d e a b c]"},     {0, 3, "3", "[a b c d e]"},
      {0, 2, "2", "[c d a b e]"},     {4, 0, "9", "[e a b c d]"},
  };
  for (auto& c : cases) {
    cell s = *keep(val("[a b c d e]"));
    cell o = s, t = s;
    o.data1 = c.from;
    t.data1 = c.to;
    stack::reset();
    cell* po = stack::push_copy(&o);
    cell* pt = stack::push_copy(&t);
    cell part = c.part ? val(c.part) : cell{};
    series::move(po, pt, c.part ? &part : nullptr);
    stack::reset();
    EXPECT_EQ(mold_with(s), c.want) << c.from << " -> " << c.to;
  }
  cell a = *keep(val("[1 2 3]")), b = *keep(val("[x y]"));
  cell bt = b;
  bt.data1 = 1;
  series::move(&a, &bt, keep(int_cell(2)));
  EXPECT_EQ(mold_with(a), "[3]");
  EXPECT_EQ(mold_with(b), "[x 1 2 y]");
  cell n = int_cell(3);
  EXPECT_EQ(err([&] { series::move(&a, &n, nullptr); }), "script/expect-arg");
}

TEST_F(BlockTest, RandomShufflesInPlace) {
  cell s = *keep(val("[1 2 3 4 5 6 7 8 9 10]"));
  series::random(&s, false, false, false);
  cell sorted = s;
  sort_args o;
  block::sort(&sorted, o);
  EXPECT_EQ(mold_with(s), "[1 2 3 4 5 6 7 8 9 10]");  // a permutation of the same cells
  cell e = *keep(val("[]"));
  EXPECT_EQ(type_of(series::random(&e, false, false, true)), u32{TYPE_NONE});
}

TEST_F(BlockTest, CopyPartAndDeep) {
  struct { const char* src; i32 skip; const char* part; const char* want; } cases[] = {
      {"[1 2 3]", 1, "-1", "[1]"},  {"[1 2 3]", 0, "2", "[1 2]"},
      {"[1 2 3]", 1, "-9", "[1]"},  {"[1 2 3]", 3, nullptr, "[]"},
      {"[1 2 3]", 0, "2147483647", "[1 2 3]"},
  };
  for (auto& c : cases) {
    cell s = *keep(val(c.src));
    s.data1 = c.skip;
    cell part = c.part ? *keep(val(c.part)) : cell{};
    cell out = *keep(cell{});
    block::copy(&s, &out, c.part ? &part : nullptr, false, nullptr);
    EXPECT_EQ(mold_with(out), c.want) << c.src << " " << (c.part ? c.part : "");
  }
  cell nested = *keep(val("[a [b [c]] (d)]"));
  cell deep = *keep(cell{});
  block::copy(&nested, &deep, nullptr, true, nullptr);
  EXPECT_EQ(mold_with(deep), "[a [b [c]] (d)]");
  EXPECT_NE(block::rs_head(&deep)[1].data2, block::rs_head(&nested)[1].data2);
  // A block containing itself cannot be copied deeply.
  cell self = *keep(val("[a]"));
  block::rs_append(&self, &self);
  EXPECT_EQ(err([&] { block::copy(&self, &deep, nullptr, true, nullptr); }), "internal/no-cycle");
  EXPECT_EQ(cycles::depth(), 0u);
}

// ---- mold and form ----------------------------------------------------------------------

TEST_F(BlockTest, MoldLayouts) {
  struct { const char* src; bool only, flat; i32 part; const char* want; } cases[] = {
      {"[a b]", false, false, -1, "[a b]"},
      {"[a b]", true, false, -1, "a b"},
      {"[]", false, false, -1, "[]"},
      {"[a [b c] (d e) f/g 'h :i j: 1 2.5 #none]", false, false, -1,
       "[a [b c] (d e) f/g 'h :i j: 1 2.5 none]"},
      // "[" then a line break: each value on its own line, four spaces in, "]" at column 0.
      {"[\na\nb\n]", false, false, -1, "[\n    a\n    b\n]"},
      {"[\na\n[\nb\nc\n]\n]", false, false, -1, "[\n    a\n    [\n        b\n        c\n    ]\n]"},
      {"[\na\nb\n]", false, true, -1, "[a b]"},
      // A first value without the marker never gets a closing line.
      {"[a\nb c]", false, false, -1, "[a\nb c]"},
      {"[\na b]", true, false, -1, "a b"},
      {"[a\nb]", true, false, -1, "a\nb"},
      {"[1 2 3]", false, false, 3, "[1 "},
      {"[1 2 3]", false, false, 0, ""},
      {"[[1 2] [3 4]]", false, false, 5, "[[1 2"},
  };
  for (auto& c : cases) {
    cell b = val(c.src);
    EXPECT_EQ(mold_with(b, c.only, c.flat, c.part), c.want) << c.src;
  }
}

TEST_F(BlockTest, MoldStopsAtBudgetWithoutClosing) {
  // The walk stops once the budget is spent: a huge block molds only its beginning.
  cell big = *keep(load(""));
  for (i32 i = 0; i < 10000; i++) {
    cell n = int_cell(i);
    block::rs_append(&big, &n);
  }
  stack::reset();
  cell* out = stack::push_slot();
  out->header = TYPE_UNSET;
  string::make_at(out, 16);
  cell part = int_cell(20);
  i32 left = block::mold(&big, out, false, false, false, &part, 20, 0);
  EXPECT_LE(left, 0);
  EXPECT_LT(string::to_utf8(out).size(), 30u);
  stack::reset();
}

TEST_F(BlockTest, RecursiveBlocksMoldFormAndCompare) {
  cell b = *keep(val("[a]"));
  block::rs_append(&b, &b);
  EXPECT_EQ(mold_with(b), "[a [...]]");
  EXPECT_EQ(form_text(b), "a ");
  cell p = *keep(val("(x)"));
  block::rs_append(&p, &p);
  EXPECT_EQ(mold_with(p), "(x (...))");
  cell other = *keep(val("[a]"));
  block::rs_append(&other, &other);
  EXPECT_TRUE(actions::compare(&b, &b, compare_op::EQUAL));
  actions::compare(&b, &other, compare_op::EQUAL);  // terminates
  EXPECT_EQ(cycles::depth(), 0u);
}

TEST_F(BlockTest, Form) {
  struct { const char* src; const char* want; } cases[] = {
      {"[1 [2 3] a]", "1 2 3 a"},
      {"[]", ""},
      {"[[] a]", " a"},
      {"[a/b (c d)]", "a/b c d"},
  };
  for (auto& c : cases) EXPECT_EQ(form_text(val(c.src)), c.want) << c.src;
}

TEST_F(BlockTest, PathAndParenText) {
  struct { const char* src; u32 type; bool only; const char* mold; const char* form; } cases[] = {
      {"[a b c]", TYPE_PATH, false, "a/b/c", "a/b/c"},
      {"[a b]", TYPE_LIT_PATH, false, "'a/b", "a/b"},
      {"[a b]", TYPE_SET_PATH, false, "a/b:", "a/b"},
      {"[a b]", TYPE_GET_PATH, false, ":a/b", "a/b"},
      {"[a [1 2]]", TYPE_PATH, false, "a/[1 2]", "a/1 2"},
      {"[a (1 + 2)]", TYPE_PATH, false, "a/(1 + 2)", "a/1 + 2"},
      {"[a [b c]]", TYPE_PATH, true, "a/b c", "a/b c"},
      {"[a\nb]", TYPE_PATH, false, "a/b", "a/b"},
      {"[1 2]", TYPE_PAREN, false, "(1 2)", "1 2"},
      {"[1 2]", TYPE_PAREN, true, "1 2", "1 2"},
      {"[\n1 2]", TYPE_PAREN, false, "(\n    1 2\n)", "1 2"},
  };
  for (auto& c : cases) {
    cell spec = val(c.src);
    cell t;
    datatype::make_at(&t, c.type);
    stack::reset();
    stack::push_copy(&t);
    cell made = *keep(*actions::to(&t, &spec));
    stack::reset();
    EXPECT_EQ(mold_with(made, c.only), c.mold) << c.src;
    EXPECT_EQ(form_text(made), c.form) << c.src;
  }
}

TEST_F(BlockTest, MakeAndTo) {
  auto make = [](u32 type, cell spec) {
    cell t;
    datatype::make_at(&t, type);
    stack::reset();
    stack::push_copy(&t);
    cell r = *keep(*actions::make(&t, &spec));
    stack::reset();
    return r;
  };
  EXPECT_EQ(mold_with(make(TYPE_BLOCK, val("[a b]"))), "[a b]");
  EXPECT_EQ(mold_with(make(TYPE_PAREN, val("[a b]"))), "(a b)");
  cell e = make(TYPE_BLOCK, int_cell(-5));
  EXPECT_EQ(mold_with(e), "[]");
  EXPECT_EQ(mold_with(make(TYPE_BLOCK, float_cell(2.9))), "[]");
  // Sizes are checked: a float out of the integer range, NaN, and a size beyond what a
  // buffer may hold are refused rather than wrapped.
  EXPECT_EQ(err([&] { make(TYPE_BLOCK, float_cell(1e300)); }), "script/bad-make-arg");
  EXPECT_EQ(err([&] { make(TYPE_BLOCK, float_cell(std::nan(""))); }), "script/bad-make-arg");
  EXPECT_EQ(err([&] { make(TYPE_BLOCK, int_cell(2147483647)); }), "internal/no-memory");
  // A path made from a negative size follows the block rule.
  cell p = make(TYPE_PATH, int_cell(-7));
  EXPECT_EQ(type_of(&p), u32{TYPE_PATH});
  EXPECT_EQ(block::rs_length_q(&p), 0);
  EXPECT_EQ(mold_with(make(TYPE_PATH, int_cell(3))), "");
  EXPECT_EQ(err([&] { make(TYPE_PATH, val("x")); }), "script/bad-make-arg");
  cell t;
  datatype::make_at(&t, TYPE_BLOCK);
  cell one = int_cell(1);
  stack::reset();
  stack::push_copy(&t);
  EXPECT_EQ(mold_with(*actions::to(&t, &one)), "[1]");
  stack::reset();
}

// ---- compare ----------------------------------------------------------------------------

TEST_F(BlockTest, CompareOrdering) {
  struct { const char* a; const char* b; i32 op; bool want; } cases[] = {
      {"[1 2]", "[1 2.0]", compare_op::EQUAL, true},
      {"[1]", "[1 2]", compare_op::EQUAL, false},
      {"[1 2]", "[1 3]", compare_op::LESSER, true},
      {"[1 3]", "[1 2]", compare_op::GREATER, true},
      {"[1]", "[1 2]", compare_op::LESSER, true},
      // An empty block orders below a non-empty one, whichever side asks.
      {"[]", "[1]", compare_op::LESSER, true},
      {"[1]", "[]", compare_op::GREATER, true},
      {"[]", "[1]", compare_op::GREATER_OR_EQUAL, false},
      {"[]", "[]", compare_op::EQUAL, true},
      {"[]", "[]", compare_op::LESSER, false},
      {"[a b]", "[A B]", compare_op::EQUAL, true},
      {"[a b]", "[A B]", compare_op::STRICT_EQUAL, false},
      {"[1 a]", "[1 2]", compare_op::GREATER, true},  // word! after integer! by type id
      {"[[1 2] x]", "[[1 2] x]", compare_op::EQUAL, true},
      {"[[1 2] x]", "[[1 3] x]", compare_op::LESSER, true},
  };
  for (auto& c : cases) {
    cell a = val(c.a), b = val(c.b);
    EXPECT_EQ(actions::compare(&a, &b, c.op), c.want) << c.a << " op " << c.op << " " << c.b;
  }
  cell b = *keep(val("[1 2]"));
  cell copied = *keep(cell{});
  block::copy(&b, &copied, nullptr, false, nullptr);
  EXPECT_FALSE(actions::compare(&b, &copied, compare_op::SAME));
  EXPECT_TRUE(actions::compare(&b, &b, compare_op::SAME));
  cell p = val("(1 2)");
  EXPECT_FALSE(actions::compare(&b, &p, compare_op::EQUAL));
}

// ---- find, select, put ------------------------------------------------------------------

namespace {
struct find_case {
  const char* src;
  const char* value;
  std::function<void(find_args&)> opts;
  const char* find;    // mold of find's result
};
auto none_opts = [](find_args&) {};
}  // namespace

TEST_F(BlockTest, Find) {
  std::vector<find_case> cases = {
      {"[a b c d]", "[b c]", none_opts, "[b c d]"},
      {"[a b c d]", "[b d]", none_opts, "none"},
      {"[a b [b c]]", "[b c]", [](find_args& o) { o.only = true; }, "[[b c]]"},
      {"[a b c]", "b", [](find_args& o) { o.tail = true; }, "[c]"},
      {"[a b c]", "[a b]", [](find_args& o) { o.tail = true; }, "[c]"},
      {"[a b c]", "a", [](find_args& o) { o.match = true; }, "[a b c]"},
      {"[a b c]", "b", [](find_args& o) { o.match = true; }, "none"},
      {"[a 1 b 2]", "b", [](find_args& o) { o.skip = keep(int_cell(2)); }, "[b 2]"},
      {"[a b 1 b]", "b", [](find_args& o) { o.skip = keep(int_cell(2)); }, "none"},
      {"[a b a c]", "a", [](find_args& o) { o.last = true; }, "[a c]"},
      {"[1 2.0 3]", "2", none_opts, "[2.0 3]"},
      {"[1 2.0 3]", "2", [](find_args& o) { o.case_sensitive = true; }, "none"},
      {"[a B]", "b", none_opts, "[B]"},
      {"[a B]", "b", [](find_args& o) { o.case_sensitive = true; }, "none"},
      {"[a b c d]", "c", [](find_args& o) { o.part = keep(int_cell(2)); }, "none"},
      {"[a b c d]", "b", [](find_args& o) { o.part = keep(int_cell(2)); }, "[b c d]"},
      {"[a b c d]", "a", [](find_args& o) { o.part = keep(int_cell(0)); }, "none"},
      {"[]", "a", none_opts, "none"},
  };
  for (auto& c : cases) {
    release_kept();
    cell s = *keep(val(c.src));
    cell v = *keep(val(c.value));
    find_args o;
    c.opts(o);
    EXPECT_EQ(on_stack(s, [&](cell* x) { return block::find(x, &v, o); }), c.find)
        << c.src << " " << c.value;
  }
  // /reverse searches before the head.
  cell s = *keep(val("[a b a c]"));
  s.data1 = 2;
  cell a = val("a");
  find_args rev;
  rev.reverse = true;
  EXPECT_EQ(on_stack(s, [&](cell* x) { return block::find(x, &a, rev); }), "[a b a c]");
  // A datatype! finds a value of that type.
  cell t;
  datatype::make_at(&t, TYPE_INTEGER);
  cell mixed = *keep(val("[a 1 b]"));
  EXPECT_EQ(on_stack(mixed, [&](cell* x) { return block::find(x, &t, find_args{}); }), "[1 b]");
  // Refinements that mean nothing for cells are refused, never ignored.
  find_args any;
  any.any = true;
  EXPECT_EQ(err([&] { block::find(&mixed, &a, any); }), "internal/not-done");
  find_args with;
  with.with = &a;
  EXPECT_EQ(err([&] { block::find(&mixed, &a, with); }), "internal/not-done");
  find_args bad_skip;
  bad_skip.skip = keep(int_cell(0));
  EXPECT_EQ(err([&] { block::find(&mixed, &a, bad_skip); }), "script/out-of-range");
}

TEST_F(BlockTest, SelectAndPut) {
  struct { const char* src; const char* key; const char* want; } selects[] = {
      {"[a 1 b 2]", "b", "2"}, {"[a 1 b]", "b", "none"}, {"[a b c d]", "[b c]", "d"},
      {"[x]", "y", "none"},
  };
  for (auto& c : selects) {
    cell s = *keep(val(c.src));
    cell k = *keep(val(c.key));
    EXPECT_EQ(on_stack(s, [&](cell* x) { return block::select(x, &k, find_args{}); }), c.want)
        << c.src;
  }
  struct { const char* src; const char* key; const char* value; const char* after; } puts[] = {
      {"[a 1]", "a", "2", "[a 2]"},
      {"[a 1]", "b", "3", "[a 1 b 3]"},
      {"[a]", "a", "9", "[a 9]"},
      // An equal value is still replaced: the new value is stored.
      {"[a b]", "a", "B", "[a B]"},
      {"[a 1]", "a", "1.0", "[a 1.0]"},
  };
  for (auto& c : puts) {
    cell s = *keep(val(c.src));
    cell k = *keep(val(c.key)), v = *keep(val(c.value));
    EXPECT_EQ(on_stack(s, [&](cell* x) { return block::put(x, &k, &v, false); }), c.value);
    EXPECT_EQ(mold_with(s), c.after) << c.src;
  }
}

// ---- sort -------------------------------------------------------------------------------

TEST_F(BlockTest, Sort) {
  struct sort_case {
    const char* src;
    std::function<void(sort_args&)> opts;
    const char* want;
  };
  std::vector<sort_case> cases = {
      {"[3 1 2]", [](sort_args&) {}, "[1 2 3]"},
      {"[c a B b A]", [](sort_args& o) { o.stable = true; }, "[a A B b c]"},
      {"[c a B]", [](sort_args& o) { o.case_sensitive = true; }, "[B a c]"},
      {"[3 1 2]", [](sort_args& o) { o.reverse = true; }, "[3 2 1]"},
      {"[c 1 a 2 b 3]", [](sort_args& o) { o.skip = keep(int_cell(2)); }, "[a 2 b 3 c 1]"},
      {"[c 1 a 3 b 2]", [](sort_args& o) { o.skip = keep(int_cell(2)); o.compare = keep(int_cell(2)); }, "[c 1 b 2 a 3]"},
      {"[b 2 b 1 a 9]", [](sort_args& o) { o.skip = keep(int_cell(2)); o.all = true; o.stable = true; }, "[a 9 b 1 b 2]"},
      {"[4 3 2 1]", [](sort_args& o) { o.part = keep(int_cell(2)); }, "[3 4 2 1]"},
      {"[x 1 a]", [](sort_args&) {}, "[1 a x]"},  // integer! before word! by type id
      {"[]", [](sort_args&) {}, "[]"},
  };
  for (auto& c : cases) {
    release_kept();
    cell s = *keep(val(c.src));
    sort_args o;
    c.opts(o);
    on_stack(s, [&](cell* x) { return block::sort(x, o); });
    EXPECT_EQ(mold_with(s), c.want) << c.src;
  }
  cell s = *keep(val("[1 2 3 4]"));
  auto refused = [&](std::function<void(sort_args&)> f) {
    sort_args o;
    f(o);
    return err([&] { block::sort(&s, o); });
  };
  EXPECT_EQ(refused([](sort_args& o) { o.all = true; }), "script/bad-refines");
  EXPECT_EQ(refused([](sort_args& o) { o.skip = keep(int_cell(3)); }), "script/invalid-refine-arg");
  EXPECT_EQ(refused([](sort_args& o) { o.compare = keep(int_cell(1)); }), "script/bad-refines");
  EXPECT_EQ(refused([](sort_args& o) { o.skip = keep(int_cell(2)); o.compare = keep(int_cell(3)); }),
            "script/out-of-range");
  EXPECT_EQ(refused([](sort_args& o) { o.compare = keep(val("x")); }), "script/invalid-refine-arg");
  // path! has no sort; paren! inherits block!'s.
  EXPECT_EQ(datatype::entry(TYPE_PATH, slot::sort), nullptr);
  EXPECT_EQ(datatype::entry(TYPE_LIT_PATH, slot::sort), nullptr);
  EXPECT_NE(datatype::entry(TYPE_PAREN, slot::sort), nullptr);
}

namespace {
i32 calls = 0;
// A comparator that allocates and collects on every call, as user code may.
i32 allocating_compare(const cell*, const cell* a, const cell* b) {
  cell junk;
  block::make_at(&junk, 64);
  collector::do_cycle();
  calls++;
  return integer::get(a) - integer::get(b);
}
i32 throwing_compare(const cell*, const cell* a, const cell* b) {
  if (++calls > 5) fire("script", "invalid-arg", a);
  return integer::get(a) - integer::get(b);
}
// Shrinks the series being sorted from inside the comparator.
cell* sorted_series = nullptr;
i32 clearing_compare(const cell*, const cell* a, const cell* b) {
  block::rs_clear(sorted_series);
  return integer::get(a) - integer::get(b);
}
}  // namespace

TEST_F(BlockTest, SortWithFunctionComparators) {
  cell fn{TYPE_FUNCTION, 0, 0, 0};
  sort_args o;
  o.compare = &fn;
  cell s = *keep(val("[5 3 9 1 7 2 8 6 4 10 12 11]"));
  auto installed = block::sort_call_hook;  // the interpreter's, replaced by test comparators
  block::sort_call_hook = nullptr;
  EXPECT_EQ(err([&] { block::sort(&s, o); }), "internal/not-done");  // no comparator caller
  block::sort_call_hook = allocating_compare;
  block::sort(&s, o);
  EXPECT_EQ(mold_with(s), "[1 2 3 4 5 6 7 8 9 10 11 12]");
  EXPECT_GT(calls, 0);
  // A throwing comparator leaves the series a permutation of its cells.
  calls = 0;
  block::sort_call_hook = throwing_compare;
  cell t = *keep(val("[5 3 9 1 7 2 8 6 4]"));
  EXPECT_EQ(err([&] { block::sort(&t, o); }), "script/invalid-arg");
  cell check = t;
  block::sort_call_hook = nullptr;
  block::sort(&check, sort_args{});
  EXPECT_EQ(mold_with(t), "[1 2 3 4 5 6 7 8 9]");
  // A comparator that empties the series: nothing is written past its tail.
  block::sort_call_hook = clearing_compare;
  cell u = *keep(val("[3 2 1]"));
  sorted_series = &u;
  block::sort(&u, o);
  EXPECT_EQ(mold_with(u), "[]");
  block::sort_call_hook = installed;
}

// ---- Set operations ---------------------------------------------------------------------

TEST_F(BlockTest, SetOperations) {
  struct { i32 op; const char* a; const char* b; i32 skip; bool case_; const char* want; } cases[] = {
      {block::SET_UNIQUE, "[a b a]", "[]", 0, false, "[a b]"},
      {block::SET_UNIQUE, "[a A b]", "[]", 0, false, "[a b]"},
      {block::SET_UNIQUE, "[a A b]", "[]", 0, true, "[a A b]"},
      {block::SET_UNION, "[a b]", "[b c]", 0, false, "[a b c]"},
      {block::SET_INTERSECT, "[a b c]", "[b c d]", 0, false, "[b c]"},
      {block::SET_EXCLUDE, "[a b c]", "[b]", 0, false, "[a c]"},
      {block::SET_DIFFERENCE, "[a b]", "[b c]", 0, false, "[a c]"},
      {block::SET_UNIQUE, "[[1] [1] [2]]", "[]", 0, false, "[[1] [2]]"},
      {block::SET_INTERSECT, "[[1] x [2]]", "[[2]]", 0, false, "[[2]]"},
      {block::SET_UNIQUE, "[a 1 b 2 a 3]", "[]", 2, false, "[a 1 b 2]"},
      {block::SET_UNION, "[a 1]", "[a 2 c 3]", 2, false, "[a 1 c 3]"},
      {block::SET_EXCLUDE, "[a 1 b 2]", "[a]", 2, false, "[b 2]"},
      {block::SET_UNION, "[]", "[]", 0, false, "[]"},
  };
  for (auto& c : cases) {
    release_kept();
    stack::reset();
    stack::push_copy(keep(val(c.a)));
    stack::push_copy(keep(val(c.b)));
    cell skip = int_cell(c.skip);
    block::do_set_op(c.case_, c.skip ? &skip : nullptr, c.op);
    EXPECT_EQ(mold_with(*stack::arguments), c.want) << c.op << " " << c.a << " " << c.b;
    stack::reset();
  }
  stack::push_copy(keep(val("[a]")));
  stack::push_copy(keep(val("[a]")));
  cell zero = int_cell(0);
  EXPECT_EQ(err([&] { block::do_set_op(false, &zero, block::SET_UNION); }),
            "script/invalid-refine-arg");
}

// ---- Path evaluation, swap, trim and the buffer operations ---------------------------------

TEST_F(BlockTest, EvalPath) {
  cell b = *keep(val("[a 1 B 2 [x] 3]"));
  path_args walk;
  auto get = [&](cell element) { return mold_with(*block::eval_path(&b, &element, nullptr, walk)); };
  EXPECT_EQ(get(int_cell(2)), "1");
  EXPECT_EQ(get(int_cell(9)), "none");
  EXPECT_EQ(get(val("b")), "2");
  EXPECT_EQ(get(val("[x]")), "3");
  walk.case_sensitive = true;
  EXPECT_EQ(get(val("b")), "none");
  walk.case_sensitive = false;
  cell v = val("z");
  cell e = int_cell(1);
  block::eval_path(&b, &e, &v, walk);
  cell key = val("B");
  block::eval_path(&b, &key, &v, walk);
  EXPECT_EQ(mold_with(b), "[z 1 B z [x] 3]");
  cell absent = val("q");
  EXPECT_EQ(err([&] { block::eval_path(&b, &absent, &v, walk); }), "script/bad-path-set");
  cell far = int_cell(99);
  EXPECT_EQ(err([&] { block::eval_path(&b, &far, &v, walk); }), "script/out-of-range");
}

TEST_F(BlockTest, SwapTrimAndBufferOperations) {
  cell a = *keep(val("[1 2]")), b = *keep(val("[x y]"));
  b.data1 = 1;
  block::swap(&a, &b);
  EXPECT_EQ(mold_with(a), "[y 2]");
  b.data1 = 0;
  EXPECT_EQ(mold_with(b), "[x 1]");
  cell n = int_cell(1);
  EXPECT_EQ(err([&] { block::swap(&a, &n); }), "script/invalid-arg");

  cell t = *keep(val("[1 #none 2 #none]"));
  block::trim(&t, trim_args{});
  EXPECT_EQ(mold_with(t), "[1 2]");
  for (auto set : std::vector<std::function<void(trim_args&)>>{
           [](trim_args& o) { o.head = true; }, [](trim_args& o) { o.tail = true; },
           [](trim_args& o) { o.auto_ = true; }, [](trim_args& o) { o.lines = true; },
           [](trim_args& o) { o.all = true; }, [&](trim_args& o) { o.with = &n; }}) {
    trim_args o;
    set(o);
    EXPECT_EQ(err([&] { block::trim(&t, o); }), "internal/not-done");
  }

  // remove-value answers 1 exactly when the buffer's first cell went.
  struct { const char* src; i32 head; const char* item; bool from_start; i32 want; const char* after; } rv[] = {
      {"[a b c]", 0, "a", false, 1, "[b c]"},
      {"[a b c]", 0, "c", false, 0, "[a b]"},
      {"[a b c]", 0, "z", false, 0, "[a b c]"},
      {"[a b c]", 1, "b", false, 0, "[a c]"},
      {"[a b c]", 2, "a", true, 1, "[b c]"},
      {"[a b c d e]", 4, "b", true, 0, "[a c d e]"},
  };
  for (auto& c : rv) {
    cell s = *keep(val(c.src));
    s.data1 = c.head;
    cell item = val(c.item);
    EXPECT_EQ(block::remove_value(&s, &item, c.from_start), c.want) << c.src << " " << c.item;
    s.data1 = 0;
    EXPECT_EQ(mold_with(s), c.after);
  }

  cell s = *keep(val("[a 1 b 2]"));
  cell w = val("B");
  EXPECT_EQ(mold_with(*block::select_word(&s, &w, false)), "2");
  EXPECT_EQ(block::select_word(&s, &w, true), nullptr);
  EXPECT_EQ(mold_with(*block::rs_select(&s, &w)), "2");
  cell ins = *keep(val("[x y]"));
  block::insert_block(&s, &ins);
  EXPECT_EQ(series::head_index(&s), 2);
  s.data1 = 0;
  EXPECT_EQ(mold_with(s), "[x y a 1 b 2]");
  stack::reset();
  cell* deep = block::clone(keep(val("[a [b [c]]]")), true, false);
  EXPECT_EQ(mold_with(*deep), "[a [b [c]]]");
  stack::reset();
}

// ---- Owner handlers that change the series ------------------------------------------------

namespace {
enum class handler_mode { clear, grow, collect };
handler_mode mode;
cell* handled = nullptr;
int notifications = 0;

// Stands in for an owner whose deep-change handler edits the series it is told about.
bool editing_owner(const cell* changed, const cell*, const cell*, i32, i32) {
  if (notifications++ == 0 && handled) {
    switch (mode) {
      case handler_mode::clear:
        handled->data1 = 0;
        block::rs_clear(handled);
        break;
      case handler_mode::grow:
        for (i32 i = 0; i < 200; i++) {
          cell n = int_cell(100 + i);
          block::rs_append(handled, &n);
        }
        break;
      case handler_mode::collect:
        collector::do_cycle();
        break;
    }
  }
  return true;
}
}  // namespace

TEST_F(BlockTest, EditsStayInBoundsWhenTheOwnerEditsTheSeries) {
  using edit = std::function<void(cell*)>;
  std::vector<std::pair<const char*, edit>> edits = {
      {"remove/part", [](cell* s) { s->data1 = 3; series::remove(s, ip(4), nullptr); }},
      {"take/part", [](cell* s) { s->data1 = 3; block::take(s, ip(4), false, false); }},
      {"take/last", [](cell* s) { s->data1 = 3; block::take(s, ip(4), false, true); }},
      {"take", [](cell* s) { s->data1 = 5; block::take(s, nullptr, false, false); }},
      {"reverse", [](cell* s) { s->data1 = 2; series::reverse(s, ip(5), nullptr); }},
      {"reverse/skip", [](cell* s) { series::reverse(s, nullptr, ip(2)); }},
      {"move", [](cell* s) {
         cell t = *s;
         t.data1 = 6;
         s->data1 = 1;
         series::move(s, &t, ip(3));
       }},
      {"poke", [](cell* s) { series::poke(s, 7, keep(int_cell(0)), nullptr); }},
      {"clear", [](cell* s) { s->data1 = 4; series::clear(s); }},
      {"random", [](cell* s) { s->data1 = 2; series::random(s, false, false, false); }},
      {"append", [](cell* s) { app(s, "[x y]"); }},
      {"insert", [](cell* s) { s->data1 = 6; ins(s, "[x y]", -1, false, 3); }},
      {"change", [](cell* s) { s->data1 = 6; chg(s, "[x y]", 1); }},
      {"sort", [](cell* s) { s->data1 = 1; block::sort(s, sort_args{}); }},
      {"trim", [](cell* s) { s->data1 = 1; block::trim(s, trim_args{}); }},
      {"put", [](cell* s) { block::put(s, keep(int_cell(7)), keep(val("q")), false); }},
  };
  for (handler_mode m : {handler_mode::clear, handler_mode::grow, handler_mode::collect}) {
    for (auto& [name, run] : edits) {
      release_kept();
      stack::reset();
      cell* s = stack::push_copy(keep(val("[1 2 3 4 5 6 7 8]")));
      cell watched = *s;
      handled = keep(watched);
      mode = m;
      notifications = 0;
      series::owner_check = editing_owner;
      std::string e = error_of([&] { run(s); });
      series::owner_check = ownership::check;
      series_buffer* b = series::buffer(&watched);
      EXPECT_LE(b->offset, b->tail) << name;
      EXPECT_LE(b->tail, b->end_offset()) << name;
      EXPECT_EQ((b->tail - b->offset) % 16, 0u) << name;
      EXPECT_GT(notifications, 0) << name;
      // Only an index that the handler made invalid may be refused.
      if (!e.empty()) {
        EXPECT_EQ(e, "script/out-of-range") << name;
      }
      watched.data1 = 0;
      mold_with(watched);  // every cell still readable
      handled = nullptr;
    }
  }
  stack::reset();
}

TEST_F(BlockTest, OwnerClearedSeriesIsNotWrittenPastItsTail) {
  // The handler empties the block: the planned removal of four cells must not run.
  stack::reset();
  cell* s = stack::push_copy(keep(val("[1 2 3 4 5 6 7 8]")));
  cell watched = *s;
  handled = keep(watched);
  mode = handler_mode::clear;
  notifications = 0;
  series::owner_check = editing_owner;
  s->data1 = 3;
  series::remove(s, ip(4), nullptr);
  series::owner_check = ownership::check;
  EXPECT_EQ(block::rs_length_q(&watched), 0);
  EXPECT_EQ(mold_with(watched), "[]");
  handled = nullptr;
  stack::reset();
}

TEST_F(BlockTest, ModifyOwnedNeedsOwnerAndWord) {
  cell s = *keep(val("[1 2]"));
  cell owned = word::intern("owned");
  EXPECT_EQ(err([&] { series::modify(&s, &owned, keep(val("[x]")), false); }), "script/invalid-arg");
  EXPECT_EQ(err([&] { series::modify(&s, &owned, keep(val("[]")), false); }), "script/invalid-arg");
  EXPECT_EQ(err([&] { series::modify(&s, &owned, keep(int_cell(1)), false); }), "script/invalid-arg");
  cell none{TYPE_NONE, 0, 0, 0};
  EXPECT_EQ(series::modify(&s, &owned, &none, false), &s);
  cell other = word::intern("other");
  EXPECT_EQ(err([&] { series::modify(&s, &other, &none, false); }), "internal/not-done");
  EXPECT_EQ(type_of(series::reflect(&s, words::sym_owned)), u32{TYPE_NONE});
  EXPECT_EQ(err([&] { series::reflect(&s, symbol::make("spec")); }), "internal/not-done");
}
