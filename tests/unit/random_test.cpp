// The generator's sequence after seeding, the range draws, the one-half logic draw and the
// secure source.
#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "runtime/random.h"
#include "tests/unit/fixture.h"

using namespace vyr;

namespace {
struct Random : ::testing::Test {
  void SetUp() override { test::ensure_runtime(); }
};

std::vector<i32> outputs(u32 seed, u32 n) {
  random::seed(seed);
  std::vector<i32> v(n);
  for (auto& x : v) x = random::next();
  return v;
}
}  // namespace

TEST_F(Random, SequenceAfterSeed) {
  // Outputs 0-623 are the tempered seed words, 624 on come from the first regeneration
  // (its last word wraps to words 0 and 396), far ones from many regenerations.
  struct {
    u32 seed;
    std::vector<std::pair<u32, i32>> at;
  } cases[] = {
      {0, {{0, 0}, {1, 4194449}, {623, 382253902}, {624, 503881347}, {1247, 555893184},
           {1248, 82993632}, {100000, 408252249}}},
      {random::START_SEED, {{0, 1573102752}, {1, 2054623780}, {623, 779737127}, {624, 299300835},
                            {1247, 864815447}, {1248, 141349932}, {100000, 51590726}}},
      {0xDEADBEEFu, {{0, 1879674021}, {623, 1586406473}, {624, 413905397}, {100000, 386751206}}},
  };
  for (auto& c : cases) {
    auto v = outputs(c.seed, 100001);
    for (auto [i, want] : c.at) EXPECT_EQ(v[i], want) << "seed " << c.seed << " output " << i;
    for (i32 x : v) ASSERT_GE(x, 0);
  }
}

TEST_F(Random, InitSeedsTheStartSeedAndSeedingRestarts) {
  random::init();
  i32 first = random::next();
  EXPECT_EQ(first, 1573102752);
  // Seeding mid-sequence (and mid-regeneration cycle) restarts it exactly.
  for (u32 i = 0; i < 1000; i++) random::next();
  auto a = outputs(12345, 1500);
  auto b = outputs(12345, 1500);
  EXPECT_EQ(a, b);
  EXPECT_NE(a, outputs(12346, 1500));
}

TEST_F(Random, IntInRange) {
  random::seed(7);
  for (bool secure : {false, true}) {
    for (int i = 0; i < 200; i++) {
      EXPECT_EQ(random::int_in_range(secure, 1), 1);
      EXPECT_EQ(random::int_in_range(secure, 0), 0);
      EXPECT_EQ(random::int_in_range(secure, -1), -1);
      i32 m = random::int_in_range(secure, INT32_MIN);
      EXPECT_LE(m, -1);
      i32 big = random::int_in_range(secure, INT32_MAX);
      EXPECT_GE(big, 1);
    }
    // Every value of a small range turns up, and nothing outside it.
    for (i32 n : {6, -6}) {
      std::set<i32> seen;
      for (int i = 0; i < 2000; i++) {
        i32 r = random::int_in_range(secure, n);
        if (n > 0) {
          ASSERT_TRUE(r >= 1 && r <= n) << r;
        } else {
          ASSERT_TRUE(r >= n && r <= -1) << r;
        }
        seen.insert(r);
      }
      EXPECT_EQ(seen.size(), 6u) << n << " secure " << secure;
    }
  }
}

TEST_F(Random, IntInRangeIsReproducibleAfterSeed) {
  std::vector<i32> a, b;
  random::seed(99);
  for (int i = 0; i < 500; i++) a.push_back(random::int_in_range(false, 1000));
  random::seed(99);
  for (int i = 0; i < 500; i++) b.push_back(random::int_in_range(false, 1000));
  EXPECT_EQ(a, b);
  // The draw is the generator's output reduced: 0 and 4194449 after seed 0.
  random::seed(0);
  EXPECT_EQ(random::int_in_range(false, 10), 1);
  EXPECT_EQ(random::int_in_range(false, -10), -10);
}

TEST_F(Random, LogicIsTrueHalfTheTime) {
  random::seed(2024);
  for (bool secure : {false, true}) {
    int trues = 0, n = 100000;
    for (int i = 0; i < n; i++) trues += random::logic(secure);
    EXPECT_NEAR(trues / double(n), 0.5, 0.01) << "secure " << secure;
  }
}

TEST_F(Random, SecureOutputsAreNonNegativeAndVary) {
  std::set<i32> seen;
  bool high = false;
  for (int i = 0; i < 2000; i++) {
    i32 r = random::next_secure();
    ASSERT_GE(r, 0);
    high |= r > 0x3FFFFFFF;
    seen.insert(r);
  }
  EXPECT_TRUE(high);
  EXPECT_GT(seen.size(), 1990u);
}

TEST_F(Random, Floats) {
  random::seed(0);
  EXPECT_EQ(random::float_in_range(false, 10.0), 0.0);
  EXPECT_DOUBLE_EQ(random::float_in_range(false, 10.0), 10.0 * 4194449 / 2147483647.0);
  random::seed(0);
  random::next();
  EXPECT_DOUBLE_EQ(random::fraction(false), 4194449 / 2147483647.0);
  for (bool secure : {false, true}) {
    for (int i = 0; i < 1000; i++) {
      double f = random::fraction(secure);
      ASSERT_TRUE(f >= 0.0 && f <= 1.0) << f;
      double v = random::float_in_range(secure, -3.5);
      ASSERT_TRUE(v <= 0.0 && v >= -3.5) << v;
    }
  }
}
