// Sorting: order and stability against the standard library, the shapes the adaptive paths
// key on, and safety with callbacks that lie, throw or scribble on the records.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <random>
#include <stdexcept>
#include <vector>

#include "runtime/fire.h"
#include "runtime/sorting.h"

using namespace vyr;

namespace {

// A record of 16 bytes like a cell: the key and the record's original position.
struct rec {
  i32 key;
  u32 id;
  u32 pad[2];
};

i32 by_key(const void* a, const void* b, uintptr_t calls, uintptr_t) {
  if (calls) ++*reinterpret_cast<u64*>(calls);
  i32 x = static_cast<const rec*>(a)->key, y = static_cast<const rec*>(b)->key;
  return x < y ? -1 : x > y ? 1 : 0;
}

using sort_fn = void (*)(void*, u32, u32, uintptr_t, uintptr_t, sorting::compare_fn);

std::vector<rec> make(const std::vector<i32>& keys) {
  std::vector<rec> v;
  for (size_t i = 0; i < keys.size(); i++) v.push_back({keys[i], static_cast<u32>(i), {0, 0}});
  return v;
}

// The shapes that steer the adaptive paths.
std::vector<std::vector<i32>> shapes(std::mt19937& rng) {
  std::vector<std::vector<i32>> out;
  for (size_t n : {0, 1, 2, 3, 7, 8, 9, 23, 24, 25, 100, 511, 512, 1000, 5000, 20000, 70000}) {
    std::vector<i32> random(n), few(n), sorted(n), reversed(n), nearly(n), saw(n), organ(n);
    for (size_t i = 0; i < n; i++) {
      random[i] = static_cast<i32>(rng());
      few[i] = static_cast<i32>(rng() % 4);
      sorted[i] = static_cast<i32>(i / 3);
      reversed[i] = static_cast<i32>(n - i);
      saw[i] = static_cast<i32>(i % 50);
      organ[i] = static_cast<i32>(i < n / 2 ? i : n - i);
    }
    nearly = sorted;
    for (size_t k = 0; k < n / 50 + 1 && n > 1; k++) std::swap(nearly[rng() % n], nearly[rng() % n]);
    std::vector<i32> nearly_desc(nearly.rbegin(), nearly.rend());
    out.insert(out.end(), {random, few, sorted, reversed, nearly, nearly_desc, saw, organ});
  }
  return out;
}

}  // namespace

TEST(Sorting, MergeSortIsStableAndMatchesStableSort) {
  std::mt19937 rng(1);
  for (auto& keys : shapes(rng)) {
    auto v = make(keys), want = v;
    std::stable_sort(want.begin(), want.end(), [](const rec& a, const rec& b) { return a.key < b.key; });
    sorting::merge_sort(v.data(), static_cast<u32>(v.size()), sizeof(rec), 0, 0, by_key);
    for (size_t i = 0; i < v.size(); i++) {
      ASSERT_EQ(v[i].key, want[i].key) << keys.size() << " at " << i;
      ASSERT_EQ(v[i].id, want[i].id) << keys.size() << " at " << i;
    }
  }
}

TEST(Sorting, QuickSortOrders) {
  std::mt19937 rng(2);
  for (auto& keys : shapes(rng)) {
    auto v = make(keys);
    sorting::quick_sort(v.data(), static_cast<u32>(v.size()), sizeof(rec), 0, 0, by_key);
    std::vector<i32> got, want = keys;
    std::sort(want.begin(), want.end());
    for (auto& r : v) got.push_back(r.key);
    ASSERT_EQ(got, want) << keys.size();
  }
}

// A descending run with equal records is split at the equal pair, so equal records keep
// their order.
TEST(Sorting, MergeSortKeepsEqualsInsideDescendingRuns) {
  std::vector<i32> keys;
  for (int i = 0; i < 40; i++) keys.insert(keys.end(), {3, 2, 2, 1});
  auto v = make(keys);
  sorting::merge_sort(v.data(), static_cast<u32>(v.size()), sizeof(rec), 0, 0, by_key);
  for (size_t i = 1; i < v.size(); i++)
    if (v[i].key == v[i - 1].key) {
      ASSERT_LT(v[i - 1].id, v[i].id);
    }
}

TEST(Sorting, ComparisonCounts) {
  for (sort_fn sort : {sort_fn(sorting::merge_sort), sort_fn(sorting::quick_sort)}) {
    u64 calls = 0;
    rec one{1, 0, {0, 0}};
    sort(&one, 1, sizeof(rec), reinterpret_cast<uintptr_t>(&calls), 0, by_key);
    sort(nullptr, 0, sizeof(rec), reinterpret_cast<uintptr_t>(&calls), 0, by_key);
    EXPECT_EQ(calls, 0u);
    // Ordered and reversed input stay linear.
    for (bool reversed : {false, true}) {
      std::vector<i32> keys(100000);
      for (size_t i = 0; i < keys.size(); i++) keys[i] = static_cast<i32>(reversed ? -i : i);
      auto v = make(keys);
      calls = 0;
      sort(v.data(), static_cast<u32>(v.size()), sizeof(rec), reinterpret_cast<uintptr_t>(&calls), 0, by_key);
      EXPECT_LT(calls, 2 * keys.size()) << reversed;
      for (size_t i = 1; i < v.size(); i++) ASSERT_LE(v[i - 1].key, v[i].key);
    }
  }
}

// Width 6 is swapped byte by byte; width 1 and 2 as string units.
TEST(Sorting, OddWidths) {
  std::mt19937 rng(3);
  auto cmp6 = [](const void* a, const void* b, uintptr_t, uintptr_t) -> i32 {
    return std::memcmp(a, b, 6);
  };
  auto cmp1 = [](const void* a, const void* b, uintptr_t, uintptr_t) -> i32 {
    return *static_cast<const u8*>(a) - *static_cast<const u8*>(b);
  };
  for (sort_fn sort : {sort_fn(sorting::merge_sort), sort_fn(sorting::quick_sort)}) {
    std::vector<std::array<u8, 6>> v(3000);
    for (auto& r : v)
      for (auto& b : r) b = static_cast<u8>(rng() % 3);
    auto want = v;
    std::sort(want.begin(), want.end());
    sort(v.data(), static_cast<u32>(v.size()), 6, 0, 0, cmp6);
    EXPECT_EQ(v, want);
    std::vector<u8> bytes(777);
    for (auto& b : bytes) b = static_cast<u8>(rng());
    auto bytes_want = bytes;
    std::sort(bytes_want.begin(), bytes_want.end());
    sort(bytes.data(), static_cast<u32>(bytes.size()), 1, 0, 0, cmp1);
    EXPECT_EQ(bytes, bytes_want);
  }
  u8 a[6] = {1, 2, 3, 4, 5, 6}, b[6] = {9, 8, 7, 6, 5, 4};
  sorting::swap(a, b, 6, true);
  EXPECT_EQ(a[0], 9);
  EXPECT_EQ(b[5], 6);
}

namespace {

struct chaos {
  std::mt19937 rng;
  int mode;      // 0 random answers, 1 always "after", 2 always "before", 3 throws eventually
  u64 calls = 0;
  u64 throw_at = 0;
  rec* base = nullptr;
  size_t n = 0;
};

i32 chaotic(const void* a, const void* b, uintptr_t state, uintptr_t) {
  chaos& c = *reinterpret_cast<chaos*>(state);
  c.calls++;
  switch (c.mode) {
    case 0: return static_cast<i32>(c.rng() % 3) - 1;
    case 1: return 1;
    case 2: return -1;
    case 3:
      if (c.calls == c.throw_at) throw std::runtime_error("callback failed");
      return by_key(a, b, 0, 0);
    case 4:  // edits a record's key while the sort runs
      c.base[c.rng() % c.n].key = static_cast<i32>(c.rng());
      return by_key(a, b, 0, 0);
    default: return c.rng() % 2 ? INT32_MIN : INT32_MAX;
  }
}

// The multiset of ids still holds every record once.
bool is_permutation_of_ids(const std::vector<rec>& v) {
  std::vector<bool> seen(v.size());
  for (auto& r : v) {
    if (r.id >= v.size() || seen[r.id]) return false;
    seen[r.id] = true;
  }
  return true;
}

}  // namespace

TEST(Sorting, SafeWithInconsistentCallbacks) {
  std::mt19937 rng(4);
  for (sort_fn sort : {sort_fn(sorting::merge_sort), sort_fn(sorting::quick_sort)}) {
    for (int mode : {0, 1, 2, 5}) {
      for (size_t n : {2, 9, 30, 600, 5000, 40000}) {
        std::vector<i32> keys(n);
        for (auto& k : keys) k = static_cast<i32>(rng() % 100);
        auto v = make(keys);
        chaos c{std::mt19937(static_cast<u32>(n + mode)), mode};
        sort(v.data(), static_cast<u32>(n), sizeof(rec), reinterpret_cast<uintptr_t>(&c), 0, chaotic);
        ASSERT_TRUE(is_permutation_of_ids(v)) << mode << " " << n;
        // No comparator can make either sort quadratic.
        ASSERT_LT(c.calls, 64 * n * 17 + 64) << mode << " " << n;
      }
    }
  }
}

TEST(Sorting, ThrowingCallbackLeavesAPermutation) {
  std::mt19937 rng(5);
  for (sort_fn sort : {sort_fn(sorting::merge_sort), sort_fn(sorting::quick_sort)}) {
    for (size_t n : {50, 3000}) {
      for (u64 at : {1, 7, 100, 1000, 5000, 20000}) {
        std::vector<i32> keys(n);
        for (auto& k : keys) k = static_cast<i32>(rng() % 1000);
        auto v = make(keys);
        chaos c{std::mt19937(1), 3};
        c.throw_at = at;
        bool threw = false;
        try {
          sort(v.data(), static_cast<u32>(n), sizeof(rec), reinterpret_cast<uintptr_t>(&c), 0, chaotic);
        } catch (const std::runtime_error&) {
          threw = true;
        }
        EXPECT_EQ(threw, c.calls >= at) << n << " " << at;
        ASSERT_TRUE(is_permutation_of_ids(v)) << n << " " << at;
      }
    }
  }
}

// A callback that writes into the records: the sort finishes without leaving the array.
TEST(Sorting, CallbackEditingRecords) {
  for (sort_fn sort : {sort_fn(sorting::merge_sort), sort_fn(sorting::quick_sort)}) {
    std::vector<i32> keys(4000);
    for (size_t i = 0; i < keys.size(); i++) keys[i] = static_cast<i32>(i * 7919 % 4000);
    auto v = make(keys);
    chaos c{std::mt19937(6), 4};
    c.base = v.data();
    c.n = v.size();
    sort(v.data(), static_cast<u32>(v.size()), sizeof(rec), reinterpret_cast<uintptr_t>(&c), 0, chaotic);
    EXPECT_TRUE(is_permutation_of_ids(v));
  }
}

TEST(Sorting, MergeSortRefusesAScratchBufferPast31Bits) {
  try {
    sorting::merge_sort(reinterpret_cast<void*>(16), 0x80000000u, 2, 0, 0, by_key);
    FAIL() << "no error";
  } catch (const thrown& t) {
    EXPECT_STREQ(t.category, "script");
    EXPECT_STREQ(t.id, "too-long");
  }
}
