// Hash tables: sizing, the hash functions, and every kind under random edit sequences
// checked against a standard container model, with the collector running in between.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <unordered_map>
#include <vector>

#include "runtime/datatypes/string.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/fire.h"
#include "runtime/hashtable.h"
#include "tests/unit/value_helpers.h"

using namespace vyr;
using namespace vyr::test;
namespace ht = vyr::hashtable;

namespace {
struct HashTableTest : ::testing::Test {
  void SetUp() override { test::ensure_runtime(); }
};

cell str_cell(const char* s) {
  cell c{};
  string::make_at(&c, 8);
  collector::root_guard g(&c);
  string::concatenate_literal(&c, s);
  return c;
}

// A values block held in a rooted cell, with the table node beside it.
struct table_fixture {
  cell value{TYPE_HASH, 0, 0, 0};
  collector::root_guard g{&value};
  u32 table() const { return value.data3; }
  u32 block() const { return value.data2; }
  cell* cells() { return buffer_of(value.data2)->cells(); }
  u32 length() { return buffer_of(value.data2)->used_units(); }
  explicit table_fixture(u32 kind, u32 size = 0) {
    value.data2 = memory::alloc_cells(4);
    cell b{TYPE_BLOCK, 0, value.data2, 0};
    value.data3 = ht::init(size, &b, kind, 0);
  }
  void append(const cell& c) {
    cell k = c;
    collector::root_guard kg(&k);
    series_buffer* b = buffer_of(value.data2);
    *memory::alloc_tail_cell(b) = k;
  }
  void insert_at(u32 pos, const cell& c) {
    append(c);
    series_buffer* b = buffer_of(value.data2);
    cell* cs = b->cells();
    u32 n = b->used_units();
    cell k = cs[n - 1];
    std::memmove(cs + pos + 1, cs + pos, (n - 1 - pos) * 16);
    cs[pos] = k;
  }
  void remove_at(u32 pos) {
    series_buffer* b = buffer_of(value.data2);
    cell* cs = b->cells();
    u32 n = b->used_units();
    std::memmove(cs + pos, cs + pos + 1, (n - 1 - pos) * 16);
    b->tail -= 16;
  }
};

i32 pos_of(table_fixture& f, const cell* c) { return c ? i32(c - f.cells()) : -1; }
}  // namespace

TEST_F(HashTableTest, SizesFollowTheLoadFactor) {
  struct { u32 size, buckets, upper; } cases[] = {{0, 8, 6}, {4, 8, 6}, {100, 256, 197}};
  for (auto& c : cases) {
    u32 t = ht::init(c.size, nullptr, ht::KIND_MAP, 0);
    EXPECT_EQ(ht::rec(t)->buckets, c.buckets) << c.size;
    EXPECT_EQ(ht::rec(t)->upper, c.upper) << c.size;
    EXPECT_EQ(ht::rec(t)->count, 0u);
  }
  EXPECT_EQ(ht::round_up_pow2(129), 256u);
  EXPECT_EQ(ht::round_up_pow2(256), 256u);
}

TEST_F(HashTableTest, HashFunctions) {
  EXPECT_EQ(ht::hash_int(0), 0u);
  EXPECT_EQ(ht::hash_int(1), 0x514E28B7u);
  EXPECT_NE(ht::murmur3_32("abc", 3), ht::murmur3_32("abd", 3));
  EXPECT_NE(ht::murmur3_32("abc", 3), ht::murmur3_32("abc\0", 4));
  // Strings fold case unless asked not to; the width of the buffer does not matter.
  cell a = str_cell("Hello");
  collector::root_guard ga(&a);
  cell b = str_cell("hELLO");
  collector::root_guard gb(&b);
  EXPECT_EQ(ht::hash_string(&a, false), ht::hash_string(&b, false));
  EXPECT_NE(ht::hash_string(&a, true), ht::hash_string(&b, true));
  cell wide = str_cell("Hello");
  collector::root_guard gw(&wide);
  string::append_char(buffer_of(wide.data2), 0x263A);
  buffer_of(wide.data2)->tail -= 2;  // drop the wide char again, keep the 2-byte unit
  ASSERT_EQ(buffer_of(wide.data2)->unit(), 2u);
  EXPECT_EQ(ht::hash_string(&wide, true), ht::hash_string(&a, true));
  // Folding follows the Unicode case map, not only ASCII.
  cell lo = str_cell("caf");
  collector::root_guard glo(&lo);
  string::append_char(buffer_of(lo.data2), 0xE9);
  cell up = str_cell("CAF");
  collector::root_guard gup(&up);
  string::append_char(buffer_of(up.data2), 0xC9);
  EXPECT_EQ(ht::hash_string(&lo, false), ht::hash_string(&up, false));
  // A string! and a file! of the same text hash alike; words hash by canonical symbol.
  cell f = a;
  f.header = TYPE_FILE;
  EXPECT_EQ(ht::hash_value(&a, false), ht::hash_value(&f, false));
  cell w1{TYPE_WORD, 0, symbol::make("hash-me"), 0}, w2{TYPE_SET_WORD, 0, symbol::make("HASH-ME"), 0};
  EXPECT_EQ(ht::hash_value(&w1, false), ht::hash_value(&w2, false));
}

// hash!: appends, inserts and removals in the middle, moves; every distinct value's
// first, last and reverse positions must match the model.
TEST_F(HashTableTest, HashMatchesModelUnderRandomEdits) {
  std::mt19937 rng(1234);
  table_fixture f(ht::KIND_HASH);
  std::vector<i32> model;
  auto check = [&] {
    ASSERT_EQ(f.length(), model.size());
    std::map<i32, std::vector<u32>> where;
    for (u32 i = 0; i < model.size(); i++) where[model[i]].push_back(i);
    EXPECT_EQ(ht::rec(f.table())->count, where.size());
    for (auto& [v, ps] : where) {
      cell k = int_cell(v);
      EXPECT_EQ(pos_of(f, ht::find(f.table(), &k, ht::OP_EQUAL)), i32(ps.front())) << v;
      EXPECT_EQ(pos_of(f, ht::get(f.table(), &k, 0, 1, ht::OP_EQUAL, true, false)), i32(ps.back()));
      u32 head = ps.back();
      i32 want = ps.size() > 1 ? i32(ps[ps.size() - 2]) : -1;
      EXPECT_EQ(pos_of(f, ht::get(f.table(), &k, head, 1, ht::OP_EQUAL, false, true)), want);
    }
    cell absent = int_cell(-99);
    EXPECT_EQ(ht::find(f.table(), &absent, ht::OP_EQUAL), nullptr);
  };
  for (int step = 0; step < 3000; step++) {
    int op = rng() % 10;
    i32 v = i32(rng() % 60);
    u32 n = u32(model.size());
    if (op < 4 || n == 0) {
      f.append(int_cell(v));
      ht::put(f.table(), n);
      model.push_back(v);
    } else if (op < 6) {
      u32 p = rng() % (n + 1);
      f.insert_at(p, int_cell(v));
      ASSERT_EQ(ht::shift_indexes(f.table(), 1, p, n - p, true), 0);
      ht::put(f.table(), p);
      model.insert(model.begin() + p, v);
    } else if (op < 9) {
      u32 p = rng() % n;
      ASSERT_EQ(ht::shift_indexes(f.table(), -1, p, n - p - 1, true), 0);
      f.remove_at(p);
      model.erase(model.begin() + p);
    } else {
      u32 from = rng() % n, len = 1 + rng() % std::min<u32>(3, n - from), to = rng() % (n + 1);
      if (to >= from && to <= from + len) continue;
      std::vector<cell> run(f.cells() + from, f.cells() + from + len);
      std::vector<cell> all(f.cells(), f.cells() + n);
      std::vector<i32> mrun(model.begin() + from, model.begin() + from + len);
      ht::move(f.table(), to, from, len);
      u32 at = to > from ? to - len : to;
      all.erase(all.begin() + from, all.begin() + from + len);
      all.insert(all.begin() + at, run.begin(), run.end());
      std::copy(all.begin(), all.end(), f.cells());
      model.erase(model.begin() + from, model.begin() + from + len);
      model.insert(model.begin() + at, mrun.begin(), mrun.end());
    }
    if (step % 97 == 0) collector::do_cycle();
    if (step % 50 == 0) check();
  }
  check();
}

TEST_F(HashTableTest, HashKeepsTypesApartAndFindsByMode) {
  table_fixture f(ht::KIND_HASH);
  const char* texts[] = {"abc", "ABC", "abc"};
  for (const char* t : texts) {
    f.append(str_cell(t));
    ht::put(f.table(), f.length() - 1);
  }
  cell file = str_cell("abc");
  file.header = TYPE_FILE;
  f.append(file);
  ht::put(f.table(), f.length() - 1);
  // Equal strings of one type share a bucket; the file! is a key of its own.
  EXPECT_EQ(ht::rec(f.table())->count, 2u);
  cell key = str_cell("ABC");
  collector::root_guard g(&key);
  EXPECT_EQ(pos_of(f, ht::find(f.table(), &key, ht::OP_EQUAL)), 0);
  EXPECT_EQ(pos_of(f, ht::find(f.table(), &key, ht::OP_STRICT_EQUAL)), 1);
  EXPECT_EQ(pos_of(f, ht::get(f.table(), &key, 1, 1, ht::OP_EQUAL, false, false)), 1);
  EXPECT_EQ(pos_of(f, ht::get(f.table(), &key, 0, 2, ht::OP_EQUAL, false, false)), 0);
  EXPECT_EQ(pos_of(f, ht::get(f.table(), &key, 1, 2, ht::OP_EQUAL, false, false)), 1);
  // equal? compares a file! with a string! by their characters, so under it the file! in
  // its own bucket is the last equal value; find equality keeps the types apart.
  EXPECT_EQ(pos_of(f, ht::get(f.table(), &key, 0, 1, ht::OP_EQUAL, true, false)), 3);
  EXPECT_EQ(pos_of(f, ht::get(f.table(), &key, 0, 1, ht::OP_FIND, true, false)), 2);
  key.header = TYPE_FILE;
  EXPECT_EQ(pos_of(f, ht::find(f.table(), &key, ht::OP_FIND)), 3);
}

TEST_F(HashTableTest, HashCopyIsIndependent) {
  table_fixture f(ht::KIND_HASH);
  for (i32 v : {7, 7, 8}) {
    f.append(int_cell(v));
    ht::put(f.table(), f.length() - 1);
  }
  cell other{TYPE_HASH, 0, memory::copy_series(buffer_of(f.block())), 0};
  collector::root_guard g(&other);
  other.data3 = ht::copy(f.table(), other.data2);
  // A further duplicate in the copy must not appear in the original's list.
  series_buffer* b = buffer_of(other.data2);
  *memory::alloc_tail_cell(b) = int_cell(7);
  ht::put(other.data3, 3);
  collector::do_cycle();
  cell k = int_cell(7);
  EXPECT_EQ(pos_of(f, ht::get(f.table(), &k, 0, 1, ht::OP_EQUAL, true, false)), 1);
  const cell* last = ht::get(other.data3, &k, 0, 1, ht::OP_EQUAL, true, false);
  EXPECT_EQ(last - read_buffer(other.data2)->cells(), 3);
}

TEST_F(HashTableTest, MapMatchesModelAndRevivesRemovedKeys) {
  std::mt19937 rng(99);
  table_fixture f(ht::KIND_MAP);
  std::unordered_map<i32, i32> model;
  for (int step = 0; step < 4000; step++) {
    i32 k = i32(rng() % 300), v = i32(rng());
    cell key = int_cell(k);
    if (rng() % 3) {
      cell val = int_cell(v);
      ht::map_put(f.table(), &key, &val);
      model[k] = v;
    } else {
      const cell* c = ht::find(f.table(), &key, ht::OP_STRICT_EQUAL);
      if (c) ht::remove(f.table(), u32(c - f.cells()));
      if (c) ht::remove(f.table(), u32(c - f.cells()));  // a second removal changes nothing
      model.erase(k);
    }
    if (step % 131 == 0) collector::do_cycle();
  }
  EXPECT_EQ(ht::rec(f.table())->count, model.size());
  for (i32 k = 0; k < 300; k++) {
    cell key = int_cell(k);
    const cell* c = ht::find(f.table(), &key, ht::OP_STRICT_EQUAL);
    bool present = c && !ht::map_removed_q(c);
    ASSERT_EQ(present, model.count(k) == 1) << k;
    if (present) {
      EXPECT_EQ(i32(c[1].data2), model[k]);
    }
  }
}

TEST_F(HashTableTest, MapBuildsFromBlockMergingRepeatedKeys) {
  cell blk{TYPE_BLOCK, 0, memory::alloc_cells(8), 0};
  collector::root_guard g(&blk);
  i32 pairs[][2] = {{1, 10}, {2, 20}, {1, 11}, {3, 30}, {2, 21}};
  for (auto& p : pairs) {
    series_buffer* b = buffer_of(blk.data2);
    *memory::alloc_tail_cell(b) = int_cell(p[0]);
    *memory::alloc_tail_cell(b) = int_cell(p[1]);
  }
  cell m{TYPE_MAP, 0, blk.data2, 0};
  collector::root_guard gm(&m);
  m.data3 = ht::init(5, &blk, ht::KIND_MAP, 0);
  EXPECT_EQ(buffer_of(blk.data2)->used_units(), 6u);
  EXPECT_EQ(ht::rec(m.data3)->count, 3u);
  cell k = int_cell(2);
  EXPECT_EQ(ht::find(m.data3, &k, ht::OP_EQUAL)[1].data2, 21u);
}

// Looking a word up in a map! uses it as a set-word! without touching the caller's cell,
// also when the comparison throws.
TEST_F(HashTableTest, MapLookupLeavesTheKeyAlone) {
  table_fixture f(ht::KIND_MAP);
  cell key{TYPE_WORD, 0, symbol::make("map-key"), 0};
  cell val = int_cell(5);
  ht::map_put(f.table(), &key, &val);
  EXPECT_EQ(type_of(f.cells()), u32(TYPE_SET_WORD));
  cell probe{TYPE_LIT_WORD, 0, symbol::make("MAP-KEY"), 0};
  ASSERT_NE(ht::find(f.table(), &probe, ht::OP_EQUAL), nullptr);
  EXPECT_EQ(type_of(&probe), u32(TYPE_LIT_WORD));
  auto saved = ht::compare_hook;
  ht::compare_hook = [](const cell*, const cell*, i32) -> i32 { fire("script", "boom"); };
  EXPECT_THROW(ht::find(f.table(), &probe, ht::OP_EQUAL), thrown);
  ht::compare_hook = saved;
  EXPECT_EQ(type_of(&probe), u32(TYPE_LIT_WORD));
}

// Node-keyed tables against a model; deleted buckets pile up so that rebuilds at the same
// bucket count and doublings both happen.
TEST_F(HashTableTest, NodeKeyedMatchesModel) {
  std::mt19937 rng(7);
  cell keep{TYPE_BLOCK, 0, memory::alloc_cells(200), 0};
  collector::root_guard g(&keep);
  std::vector<u32> nodes;
  for (int i = 0; i < 200; i++) {
    u32 n = memory::alloc_bytes(8);
    series_buffer* b = buffer_of(keep.data2);
    *memory::alloc_tail_cell(b) = cell{TYPE_BINARY, 0, n, 0};
    nodes.push_back(n);
  }
  cell t{TYPE_HASH, 0, 0, ht::init(16, nullptr, ht::KIND_NODES, 2)};
  collector::root_guard gt(&t);
  std::unordered_map<u32, i32> model;
  u32 same_size_rebuilds = 0, doublings = 0;
  for (int step = 0; step < 5000; step++) {
    u32 n = step < 1000 ? nodes[(step / 2) % 200] : nodes[rng() % 200];
    u32 occupied = ht::rec(t.data3)->occupied, buckets = ht::rec(t.data3)->buckets;
    if (step < 1000 ? step % 2 == 0 : rng() % 2) {
      cell* v = ht::put_key(t.data3, n);
      if (ht::rec(t.data3)->buckets == buckets && ht::rec(t.data3)->occupied < occupied) same_size_rebuilds++;
      if (ht::rec(t.data3)->buckets == 2 * buckets) doublings++;
      v[0] = int_cell(step);
      model[n] = step;
    } else {
      ht::delete_key(t.data3, n);
      model.erase(n);
    }
    if (step % 211 == 0) collector::do_cycle();
  }
  EXPECT_GT(same_size_rebuilds, 0u);
  EXPECT_GT(doublings, 0u);
  EXPECT_EQ(ht::rec(t.data3)->count, model.size());
  for (u32 n : nodes) {
    cell* v = ht::get_key(t.data3, n);
    ASSERT_EQ(v != nullptr, model.count(n) == 1);
    if (v) {
      EXPECT_EQ(i32(v[0].data2), model[n]);
      EXPECT_EQ(type_of(v + 1), u32(TYPE_UNSET));
    }
  }
}

// The ownership kind keeps nothing alive: entries whose key or owner died are swept.
TEST_F(HashTableTest, OwnershipTableIsWeak) {
  static u32 table;
  table = ht::init(8, nullptr, ht::KIND_OWNERSHIP, 3);
  auto mark = [] { ht::mark(table); };
  collector::register_callback(mark);
  ht::register_weak(&table);
  u32 live_key = memory::alloc_bytes(8);
  collector::node_guard k1(&live_key);
  u32 owner_ctx = memory::alloc_cells(2);
  collector::node_guard k2(&owner_ctx);
  cell* e = ht::put_key(table, live_key);
  e[1] = cell{TYPE_OBJECT, owner_ctx, 0, 0};
  u32 dead_key = memory::alloc_bytes(8);
  e = ht::put_key(table, dead_key);
  e[1] = cell{TYPE_OBJECT, owner_ctx, 0, 0};
  u32 live_key2 = memory::alloc_bytes(8);
  collector::node_guard k3(&live_key2);
  u32 dead_owner = memory::alloc_cells(2);
  e = ht::put_key(table, live_key2);
  e[0] = cell{TYPE_BINARY, 0, live_key2, 0};  // the value cell alone keeps nothing alive
  e[1] = cell{TYPE_OBJECT, dead_owner, 0, 0};
  collector::do_cycle();
  EXPECT_NE(ht::get_key(table, live_key), nullptr);
  EXPECT_EQ(ht::get_key(table, dead_key), nullptr);
  EXPECT_EQ(ht::get_key(table, live_key2), nullptr);
  EXPECT_EQ(ht::rec(table)->count, 1u);
  ht::unregister_weak(&table);
  collector::unregister_callback(mark);
}

TEST_F(HashTableTest, ClearAndDeleteRange) {
  table_fixture f(ht::KIND_HASH);
  for (i32 v = 0; v < 20; v++) {
    f.append(int_cell(v % 7));
    ht::put(f.table(), f.length() - 1);
  }
  ht::delete_range(f.table(), 0, 14);  // the values 0-6 twice: one of each remains
  EXPECT_EQ(ht::rec(f.table())->count, 6u);
  cell k = int_cell(3), gone = int_cell(6);
  EXPECT_EQ(pos_of(f, ht::find(f.table(), &k, ht::OP_EQUAL)), 17);
  EXPECT_EQ(pos_of(f, ht::find(f.table(), &gone, ht::OP_EQUAL)), -1);
  ht::delete_range(f.table(), 0, 20);
  EXPECT_EQ(ht::rec(f.table())->count, 0u);
  EXPECT_EQ(f.length(), 0u);
}
