// Print capture for the GUI console, with a stand-in `terminal/vprint` that logs what it
// gets: the line flags of prin and print, the reused raw-text buffer, a NUL-terminated
// text, and the room check before printing.
#include <gtest/gtest.h>

#include <string>

#include "boot/environment.h"
#include "console/gui/print_capture.h"
#include "runtime/datatypes/string.h"
#include "runtime/fire.h"
#include "runtime/stack.h"
#include "tests/unit/fixture.h"

using namespace vyr;

namespace {

class PrintCapture : public testing::Test {
 protected:
  void SetUp() override {
    test::ensure_runtime();
    boot::build_environment();
    print_capture::install();
    stack::reset();
    run("terminal: make object! [log: copy [] vprint: func [s lf] [append log reduce [copy s lf]]]\n"
        "gui-console-ctx: object compose [terminal: (terminal)]");
    print_capture::add_gui_print();
  }
  void TearDown() override { stack::reset(); }
  std::string run(const std::string& text) {
    cell r{TYPE_UNSET, 0, 0, 0};
    collector::root_guard g(&r);
    boot::do_source(text.data(), u32(text.size()), false, &r);
    if (type_of(&r) == TYPE_UNSET) return "";
    cell m{TYPE_UNSET, 0, 0, 0};
    collector::root_guard mg(&m);
    std::string src = "mold/flat (" + text + ")";
    boot::do_source(src.data(), u32(src.size()), false, &m);
    return string::to_utf8(&m);
  }
};

TEST_F(PrintCapture, PrinPrinPrintGiveFalseFalseTrue) {
  run("clear terminal/log prin \"a\" prin 1 print [\"b\" 2]");
  EXPECT_EQ(run("terminal/log"), "[\"a\" false \"1\" false \"b 2\" true]");
  EXPECT_EQ(run("get-caret-blink-time"), "500");
}

TEST_F(PrintCapture, RawTextReusesOneBuffer) {
  run("clear terminal/log");
  print_capture::rs_print_gui("first text", 5, false);
  const cell* b = print_capture::gui_console_buffer();
  ASSERT_EQ(type_of(b), u32(TYPE_STRING));
  u32 node = b->data2;
  cell copy = *b;
  EXPECT_EQ(string::to_utf8(&copy), "first");
  // A length of -1: measured up to the NUL; the same buffer takes the new text.
  print_capture::rs_print_gui("\xc3\xa9t\xc3\xa9", -1, true);
  b = print_capture::gui_console_buffer();
  EXPECT_EQ(b->data2, node);
  copy = *b;
  EXPECT_EQ(string::to_utf8(&copy), "\xc3\xa9t\xc3\xa9");
  EXPECT_EQ(run("terminal/log"), "[\"first\" false \"\xc3\xa9t\xc3\xa9\" true]");
}

TEST_F(PrintCapture, NearlyFullStacksRefuseToPrint) {
  cell s{TYPE_UNSET, 0, 0, 0};
  collector::root_guard g(&s);
  string::load_at("x", 1, &s, string::ENCODING_UTF8);
  u32 saved = stack::frame_top;
  stack::frame_top = stack::FRAME_COUNT - 60;
  bool raised = false;
  try {
    print_capture::vyr_print_gui(&s, true);
  } catch (const thrown& t) {
    raised = t.id && std::string(t.id) == "stack-overflow";
  }
  stack::frame_top = saved;
  EXPECT_TRUE(raised);
  run("clear terminal/log");
  print_capture::vyr_print_gui(&s, true);  // with room again it prints
  EXPECT_EQ(run("terminal/log"), "[\"x\" true]");
}

}  // namespace
