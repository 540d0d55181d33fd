// Symbol table: exact interning with case aliases that always name the canonical symbol,
// also after the index has been resized many times.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "runtime/datatypes/string.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/hashtable.h"
#include "tests/unit/fixture.h"

using namespace vyr;

namespace {
struct SymbolTest : ::testing::Test {
  void SetUp() override { test::ensure_runtime(); }
};
}  // namespace

TEST_F(SymbolTest, CaseVariantsAliasTheFirstSpelling) {
  u32 foo = symbol::make("sym-foo");
  u32 Foo = symbol::make("Sym-Foo");
  u32 FOO = symbol::make("SYM-FOO");
  EXPECT_NE(foo, Foo);
  EXPECT_NE(Foo, FOO);
  EXPECT_EQ(symbol::get_alias(foo), -1);
  EXPECT_EQ(symbol::get_alias(Foo), i32(foo));
  EXPECT_EQ(symbol::get_alias(FOO), i32(foo));
  EXPECT_EQ(symbol::make("sym-foo"), foo);
  EXPECT_EQ(symbol::make("Sym-Foo"), Foo);
  EXPECT_EQ(symbol::resolve(foo), foo);
  EXPECT_EQ(symbol::resolve(FOO), foo);
  u32 before = symbol::count();
  EXPECT_EQ(symbol::make_any_case("SYM-fOO"), foo);
  EXPECT_EQ(symbol::count(), before);
  EXPECT_EQ(symbol::name(FOO), "SYM-FOO");
}

TEST_F(SymbolTest, OnlyAsciiLettersFoldAndLengthsMustMatch) {
  u32 cafe = symbol::make("caf\xC3\xA9");
  EXPECT_EQ(symbol::get_alias(symbol::make("CAF\xC3\x89")), -1);  // é and É differ
  EXPECT_EQ(symbol::get_alias(symbol::make("CAF\xC3\xA9")), i32(cafe));
  u32 a = symbol::make("len-x");
  EXPECT_EQ(symbol::get_alias(symbol::make("len-x ")), -1);
  EXPECT_EQ(symbol::get_alias(symbol::make("LEN-X")), i32(a));
  u32 empty = symbol::make("");
  EXPECT_EQ(symbol::name(empty).size(), 0u);
  EXPECT_EQ(symbol::get_c_string(empty)[0], '\0');
  EXPECT_EQ(symbol::make(""), empty);
}

TEST_F(SymbolTest, CachedStringIsTheNameAsWritten) {
  u32 id = symbol::make("Caf\xC3\xA9-\xE2\x98\xBA");
  cell s{TYPE_STRING, 0, symbol::string_node(id), 0};
  EXPECT_EQ(string::to_utf8(&s), "Caf\xC3\xA9-\xE2\x98\xBA");
  EXPECT_EQ(buffer_of(s.data2)->unit(), 2u);
  EXPECT_EQ(symbol::string_node(id), s.data2);  // made once
  EXPECT_STREQ(symbol::get_c_string(id), "Caf\xC3\xA9-\xE2\x98\xBA");
  cell str{};
  string::make_at(&str, 4);
  collector::root_guard g(&str);
  string::concatenate_literal(&str, "from-string-x");
  EXPECT_EQ(symbol::from_string(&str, 11), symbol::make("from-string"));
}

// Interleave new names with case variants of old ones while the index grows: every alias
// must be the canonical id, and every spelling must come back as its own id.
TEST_F(SymbolTest, AliasesStayCanonicalAcrossResizes) {
  u32 start_buckets = hashtable::rec(symbol::table)->buckets;
  std::vector<std::string> names;
  std::vector<u32> ids;
  auto variant = [](const std::string& s, u32 mask) {
    std::string v = s;
    for (size_t i = 0; i < v.size(); i++)
      if ((mask >> (i % 31)) & 1) v[i] = char(std::toupper(u8(v[i])));
    return v;
  };
  // At least 10,000 names, and on until the table has grown (it may start large when
  // other tests ran first in the same process).
  for (u32 i = 0; i < 10000 || hashtable::rec(symbol::table)->buckets == start_buckets; i++) {
    ASSERT_LT(i, 2000000u);
    std::string base = "rz" + std::to_string(i * 7919u) + "ab";
    names.push_back(base);
    ids.push_back(symbol::make(base.c_str()));
    if (i >= 3) {
      // Variants of older names, in several spellings, after their tables grew.
      const std::string& old = names[i / 3];
      for (u32 m : {i, i * 3u + 1, ~i}) {
        std::string v = variant(old, m);
        u32 id = symbol::make(v.c_str());
        if (v == old) {
          ASSERT_EQ(id, ids[i / 3]);
        } else {
          ASSERT_EQ(symbol::get_alias(id), i32(ids[i / 3])) << v;
        }
      }
    }
  }
  EXPECT_GT(hashtable::rec(symbol::table)->buckets, start_buckets);
  for (u32 k = 1; k <= symbol::count(); k++) {
    i32 alias = symbol::get_alias(k);
    if (alias > 0) {
      ASSERT_EQ(symbol::get_alias(u32(alias)), -1) << symbol::name(k);
    }
    std::string nm(symbol::name(k));
    ASSERT_EQ(symbol::make(nm.c_str()), k);
  }
}

// A deterministic case of the fault: in a small table a later spelling sits at a lower
// bucket than the first one (its probe wrapped around), so the resize puts it first in
// the shared probe sequence. A third spelling must still alias the first.
TEST_F(SymbolTest, ResizeReorderingStillAliasesTheCanonical) {
  auto home = [](const std::string& s) {
    return hashtable::murmur3_32(hashtable::lowercase_ascii(s.data(), u32(s.size())), u32(s.size())) & 7;
  };
  auto find_name = [&](const char* prefix, auto ok) {
    for (u32 n = 0;; n++) {
      std::string s = prefix + std::to_string(n);
      if (ok(home(s))) return s;
    }
  };
  std::string x = find_name("x", [](u32 h) { return h == 3; });
  std::string y = find_name("y", [](u32 h) { return h == 4; });
  std::string c = find_name("qa", [](u32 h) { return h == 3; });
  std::string f1 = find_name("f", [](u32 h) { return h == 0; });
  std::string f2 = find_name("g", [](u32 h) { return h == 2; });
  std::string alias = c, third = c;
  alias[0] = 'Q';
  alias[1] = 'A';
  third[0] = 'Q';
  cell blk{TYPE_BLOCK, 0, memory::alloc_cells(8), 0};
  collector::root_guard g(&blk);
  cell holder{TYPE_HASH, 0, 0, hashtable::init(0, &blk, hashtable::KIND_SYMBOLS, 0)};
  collector::root_guard gh(&holder);
  u32 t = holder.data3;
  ASSERT_EQ(hashtable::rec(t)->buckets, 8u);
  auto put = [&](const std::string& s) { return hashtable::put_symbol(t, s.data(), u32(s.size()), false); };
  put(x);
  put(y);
  u32 canon = put(c);
  u32 first_alias = put(alias);
  ASSERT_TRUE(hashtable::in_use_q(t, 6));  // canonical: 3, 4, then 6
  ASSERT_TRUE(hashtable::in_use_q(t, 1));  // the alias wrapped round to 1
  put(f1);
  put(f2);
  u32 last = put(third);
  EXPECT_GT(hashtable::rec(t)->buckets, 8u);
  cell* syms = buffer_of(blk.data2)->cells();
  EXPECT_EQ(i32(syms[first_alias - 1].data1), i32(canon));
  EXPECT_EQ(i32(syms[last - 1].data1), i32(canon));
}
