// Platform services: output through the hooks, environment and directory round trips,
// sleep conversion, zone packing, pages and random bytes.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <limits>
#include <string>

#include "runtime/fire.h"
#include "runtime/platform.h"
#include "tests/unit/fixture.h"

using namespace vyr;

namespace {

struct PlatformTest : ::testing::Test {
  void SetUp() override { test::ensure_runtime(); }
};

std::string captured;
u32 captured_mode = 99;
void capture_hook(std::string_view utf8, u32 mode) {
  captured.append(utf8);
  captured_mode = mode;
}

// Runs f with stdout sent into a pipe; returns what reached it.
template <class F>
std::string stdout_of(F f) {
  int fds[2];
  if (pipe(fds) != 0) return "<pipe failed>";
  fflush(stdout);
  int saved = dup(STDOUT_FILENO);
  dup2(fds[1], STDOUT_FILENO);
  f();
  dup2(saved, STDOUT_FILENO);
  close(saved);
  close(fds[1]);
  std::string out;
  char buf[256];
  for (ssize_t n; (n = read(fds[0], buf, sizeof buf)) > 0;) out.append(buf, static_cast<size_t>(n));
  close(fds[0]);
  return out;
}

}  // namespace

TEST_F(PlatformTest, PrintersGoThroughTheTextHooks) {
  platform::register_print_hooks(nullptr, capture_hook);
  struct { void (*print)(); const char* text; } cases[] = {
      {[] { platform::print_text("h\xC3\xA9", true); }, "h\xC3\xA9\n"},
      {[] { platform::print_text("\x1B[31mred\x1B[0m", false); }, "\x1B[31mred\x1B[0m"},
      {[] { const u8 t[] = {'a', 0xE9, 0xFF}; platform::print_latin1(t, 3, false); }, "a\xC3\xA9\xC3\xBF"},
      {[] { const u16 t[] = {0x20AC, 0xD800}; platform::print_ucs2(t, 2, true); }, "\xE2\x82\xAC\xEF\xBF\xBD\n"},
      {[] { const u32 t[] = {0x1F600, 0x110000}; platform::print_ucs4(t, 2, false); }, "\xF0\x9F\x98\x80\xEF\xBF\xBD"},
      {[] { platform::print_ascii("plain"); }, "plain"},
      {[] { platform::print_integer(-42); }, "-42"},
      {[] { platform::print_hex_byte(0x0A); }, "0A"},
      {[] { platform::print_hex(0xBEEF); }, "0000BEEF"},
      {[] { platform::print_float(0.1); }, "0.1"},
      {[] { platform::print_float(1.0 / 3); }, "0.3333333333333333"},
      {[] { platform::print_float(1e100); }, "1e+100"},
      {[] { platform::print_float32(3.14159265f); }, "3.141593"},
  };
  for (auto& c : cases) {
    captured.clear();
    captured_mode = 99;
    std::string out = stdout_of(c.print);
    EXPECT_EQ(captured, c.text);
    EXPECT_EQ(captured_mode, 0u);
    EXPECT_EQ(out, c.text);  // the default hook wrote the same bytes, escapes untouched
  }
  platform::unregister_print_hooks(nullptr, capture_hook);
  // Without the default hook nothing reaches stdout.
  platform::unregister_print_hooks(nullptr, platform::stdout_text_hook);
  EXPECT_EQ(stdout_of([] { platform::print_text("gone", true); }), "");
  platform::register_print_hooks(nullptr, platform::stdout_text_hook);
}

TEST_F(PlatformTest, EnvironmentRoundTrip) {
  const std::string name = "VYR_TEST_\xC3\xA9T\xC3\xA9";
  const std::string value = "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80";
  ASSERT_TRUE(platform::set_env(name, value));
  EXPECT_EQ(platform::get_env(name), value);
  bool listed = false;
  for (auto& [n, v] : platform::list_env()) listed |= n == name && v == value;
  EXPECT_TRUE(listed);
  ASSERT_TRUE(platform::set_env(name, std::nullopt));
  EXPECT_EQ(platform::get_env(name), std::nullopt);

  ASSERT_TRUE(platform::set_env("VYR_TEST_EMPTY", ""));
  EXPECT_EQ(platform::get_env("VYR_TEST_EMPTY"), "");  // set but empty is not absent
  platform::set_env("VYR_TEST_EMPTY", std::nullopt);

  EXPECT_FALSE(platform::set_env("", "x"));
  EXPECT_FALSE(platform::set_env("A=B", "x"));
  EXPECT_FALSE(platform::set_env(std::string_view("A\0B", 3), "x"));
  EXPECT_FALSE(platform::set_env("VYR_TEST_NUL", std::string_view("a\0b", 3)));
  EXPECT_EQ(platform::get_env("A=B"), std::nullopt);

  // Bytes that are not UTF-8 come back replaced, never as broken text.
  setenv("VYR_TEST_BAD", "a\xFF" "b\xC3", 1);
  EXPECT_EQ(platform::get_env("VYR_TEST_BAD"), "a\xEF\xBF\xBD" "b\xEF\xBF\xBD");
  setenv("VYR_TEST_BAD", "\xED\xA0\x80|\xC0\xAF|\xF4\x90\x80\x80", 1);  // surrogate, overlong, too big
  std::string got = platform::get_env("VYR_TEST_BAD").value_or("");
  EXPECT_EQ(got.find('\xED'), std::string::npos);
  EXPECT_EQ(got.find('\xC0'), std::string::npos);
  EXPECT_EQ(got.find('\xF4'), std::string::npos);
  unsetenv("VYR_TEST_BAD");
}

TEST_F(PlatformTest, CurrentDirectoryChangeAndRestore) {
  auto start = platform::query_current_dir();
  ASSERT_TRUE(start.has_value());
  char tmpl[] = "/tmp/vyr-dir-XXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  std::string dir = std::string(tmpl) + "/\xC3\xBC" "ber";
  ASSERT_EQ(mkdir(dir.c_str(), 0700), 0);
  ASSERT_TRUE(platform::set_current_dir(dir));
  EXPECT_EQ(platform::query_current_dir(), dir);
  EXPECT_FALSE(platform::set_current_dir(dir + "/missing"));
  EXPECT_FALSE(platform::set_current_dir(""));
  EXPECT_EQ(platform::query_current_dir(), dir);
  // A directory removed from under the process has no name any more.
  rmdir(dir.c_str());
  EXPECT_EQ(platform::query_current_dir(), std::nullopt);
  ASSERT_TRUE(platform::set_current_dir(*start));
  EXPECT_EQ(platform::query_current_dir(), start);
  rmdir(tmpl);
}

TEST_F(PlatformTest, SleepConversion) {
  const double inf = std::numeric_limits<double>::infinity();
  struct { double seconds; u32 ms; } cases[] = {
      {0, 1}, {-5, 1}, {-inf, 1}, {0.0015, 1}, {0.0019, 1}, {0.002, 2}, {1.5, 1500},
      {2147483.647, 2147483647u}, {1e12, 0x7FFFFFFFu}, {inf, 0x7FFFFFFFu},
  };
  for (auto& c : cases) EXPECT_EQ(platform::sleep_milliseconds(c.seconds), c.ms) << c.seconds;
  try {
    platform::sleep(std::nan(""));
    FAIL() << "NaN slept";
  } catch (const thrown& t) {
    EXPECT_STREQ(t.category, "script");
    EXPECT_STREQ(t.id, "invalid-arg");
    ASSERT_EQ(t.argc, 1);
    EXPECT_EQ(type_of(&t.args[0]), TYPE_FLOAT);
  }
  auto t0 = std::chrono::steady_clock::now();
  platform::sleep(-1);
  platform::sleep(0.01);
  auto took = std::chrono::steady_clock::now() - t0;
  EXPECT_GE(took, std::chrono::milliseconds(11));
  EXPECT_LT(took, std::chrono::seconds(2));
}

TEST_F(PlatformTest, TimeAndZone) {
  // 13:05:09.250 UTC on some day.
  i64 secs = 19000 * 86400LL + 47109;
  EXPECT_EQ(platform::time_of_day(secs, 250000000, false), 47109.0);
  double precise = platform::time_of_day(secs, 250000099, true);
  EXPECT_GE(precise, 47109.25);
  EXPECT_LT(precise, 47109.251);
  EXPECT_EQ(platform::time_of_day(-1, 0, false), 86399.0);  // before 1970 still wraps to a day

  struct { int minutes; u32 zone; } zones[] = {
      {0, 0},
      {-210, ((0x10u | 3) << 2) | 2},  // UTC-03:30
      {345, (5u << 2) | 3},            // UTC+05:45
      {60, 1u << 2},
      {-600, (0x10u | 10) << 2},
      {840, 14u << 2},                 // UTC+14
  };
  for (auto& z : zones) EXPECT_EQ(platform::pack_zone(z.minutes), z.zone) << z.minutes;
  EXPECT_EQ(platform::pack_date(2024, 2, 29, 60), (2024u << 17) | (2u << 12) | (29u << 7) | 4u);

  double now = platform::get_time(true);
  EXPECT_GE(now, 0.0);
  EXPECT_LT(now, 86400.0);

  // The local zone follows TZ.
  std::string old_tz = platform::get_env("TZ").value_or("");
  bool had_tz = platform::get_env("TZ").has_value();
  for (auto [tz, minutes] : {std::pair{"<-0330>3:30", -210}, std::pair{"<+0545>-5:45", 345},
                             std::pair{"UTC0", 0}}) {
    setenv("TZ", tz, 1);
    tzset();
    EXPECT_EQ(platform::zone_offset_minutes(), minutes) << tz;
    EXPECT_EQ(platform::get_date(false) & 0x7F, platform::pack_zone(minutes)) << tz;
    EXPECT_EQ(platform::get_date(true) & 0x7F, 0u);
  }
  if (had_tz) setenv("TZ", old_tz.c_str(), 1);
  else unsetenv("TZ");
  tzset();

  u32 date = platform::get_date(true);
  time_t t = time(nullptr);
  tm utc{};
  gmtime_r(&t, &utc);
  EXPECT_EQ(date >> 17, static_cast<u32>(utc.tm_year + 1900));
  EXPECT_EQ((date >> 12) & 0xF, static_cast<u32>(utc.tm_mon + 1));
}

TEST_F(PlatformTest, PagesAndRandomBytes) {
  u32 area = platform::allocate_pages(10000, false);
  char* p = arena::at<char>(area);
  for (int i = 0; i < 10000; i++) ASSERT_EQ(p[i], 0);
  p[9999] = 1;
  platform::free_pages(area);
  auto raises = [](auto f, const char* id) {
    try {
      f();
    } catch (const thrown& t) {
      return std::string(t.id) == id;
    }
    return false;
  };
  EXPECT_TRUE(raises([] { platform::allocate_pages(4096, true); }, "not-done"));
  EXPECT_TRUE(raises([] { platform::allocate_pages(~u64{0} - 2, false); }, "no-memory"));

  unsigned char a[64] = {}, b[64] = {};
  platform::secure_random_bytes(a, sizeof a);
  platform::secure_random_bytes(b, sizeof b);
  EXPECT_NE(std::memcmp(a, b, sizeof a), 0);
  platform::secure_random_bytes(nullptr, 0);
  std::string big(1 << 20, '\0');
  platform::secure_random_bytes(big.data(), big.size());
  EXPECT_LT(std::count(big.begin(), big.end(), '\0'), 8000);  // about 4096 expected
}
