// event!'s helpers that scripts reach through routines: find-flag? and event?.
#include <gtest/gtest.h>

#include <cstring>

#include "boot/environment.h"
#include "runtime/collector.h"
#include "runtime/datatypes/event.h"
#include "tests/unit/fixture.h"

namespace vyr::test {

namespace {
cell run(const char* text) {
  boot::build_environment();
  cell r{TYPE_UNSET, 0, 0, 0};
  collector::root_guard g(&r);
  boot::do_source(text, u32(std::strlen(text)), false, &r);
  return r;
}
}  // namespace

TEST(event_helpers, FindFlagLooksAtAWordOrTheWordsOfABlock) {
  ensure_runtime();
  struct { const char* facet; bool found; } cases[] = {
    {"'modal", true}, {"'Modal", true}, {"'popup", false}, {"[resize modal]", true},
    {"['modal]", true}, {"next [modal resize]", false}, {"[\"modal\"]", false}, {"5", false},
    {"none", false}};
  cell flag = run("'modal");
  collector::root_guard g(&flag);
  for (auto& c : cases) {
    cell f = run(c.facet);
    EXPECT_EQ(event::find_flag_q(&f, &flag), c.found) << c.facet;
  }
}

TEST(event_helpers, EventQIsTrueForEventsOnly) {
  ensure_runtime();
  cell e = run("make event! []"), n = run("none");
  EXPECT_TRUE(event::event_q(&e));
  EXPECT_FALSE(event::event_q(&n));
}

}  // namespace vyr::test
