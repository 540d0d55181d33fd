// The natives list against what the environment makes of it: every listed native is
// installed, and the word of each names a native! of the list's number (environment/natives.vyr
// and the console's natives make them by number, so a number that drifted shows here).
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <set>
#include <string>

#include "boot/environment.h"
#include "runtime/datatypes/context.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/natives/natives.h"
#include "tests/unit/fixture.h"

namespace vyr::test {
namespace {

TEST(NativesList, EveryListedNativeIsInstalledAndMadeUnderItsNumber) {
  ensure_runtime();
  boot::build_environment();
  for (u32 i = 1; i <= natives::COUNT; i++) {
    std::string name = natives::name_of(i);
    if (name.empty()) continue;  // a retired number
    SCOPED_TRACE(name);
    EXPECT_NE(natives::entry(i), nullptr);
    cell w = _context::global_word(symbol::make(name.c_str()));
    const cell* v = _context::get(&w);
    ASSERT_EQ(type_of(v), u32(TYPE_NATIVE));
    EXPECT_EQ(v->data1, i);
  }
  EXPECT_STREQ(natives::name_of(natives::id::if_), "if");
  EXPECT_STREQ(natives::name_of(natives::COUNT + 1), "");
}

// Each native natives.vyr makes is a listed one under the list's number, made once.
TEST(NativesList, NativesFileNumbersAgreeWithTheList) {
  std::ifstream in(VYR_SOURCE_DIR "/environment/natives.vyr");
  ASSERT_TRUE(in);
  const std::regex head(R"(^(\S+): make native! \[\[.*)"), tail(R"(^\] (\d+)\]\s*$)");
  std::string line, name;
  std::set<u32> seen;
  std::smatch m;
  while (std::getline(in, line)) {
    if (std::regex_match(line, m, head)) {
      name = m[1];
    } else if (!name.empty() && std::regex_match(line, m, tail)) {
      u32 n = u32(std::stoul(m[1]));
      EXPECT_STREQ(natives::name_of(n), name.c_str()) << "number " << n;
      EXPECT_TRUE(seen.insert(n).second) << name << " reuses number " << n;
      name.clear();
    }
  }
  EXPECT_EQ(seen.size(), size_t(natives::id::apply));  // the console makes the rest
}

TEST(NativesList, ProbesGoPastTheListAndNativesNeedAnEntry) {
  ensure_runtime();
  boot::build_environment();
  natives::entry_fn probe = [](bool, const i32*) {};
  u32 index = natives::register_(probe);
  EXPECT_GT(index, natives::COUNT);
  EXPECT_EQ(natives::entry(index), probe);
  EXPECT_EQ(natives::entry(index + 1), nullptr);
  EXPECT_EQ(natives::entry(0), nullptr);
  EXPECT_EQ(natives::entry(natives::TABLE_SIZE + 1), nullptr);
}

}  // namespace
}  // namespace vyr::test
