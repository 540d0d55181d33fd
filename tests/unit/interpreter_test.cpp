// The frame stack, non-local exits across C++ code, routines and the interpreter's C++
// entry points.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "boot/environment.h"
#include "runtime/collector.h"
#include "runtime/halt.h"
#include "runtime/datatypes/context.h"
#include "runtime/datatypes/function.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/word.h"
#include "runtime/datatypes/cells.h"
#include "runtime/interpreter/interpreter.h"
#include "runtime/natives/natives.h"
#include "runtime/stack.h"
#include "runtime/word_tables.h"
#include "tests/unit/value_helpers.h"

namespace vyr::test {
namespace {

class Interpreter : public ::testing::Test {
 protected:
  void SetUp() override {
    ensure_runtime();
    boot::build_environment();
    stack::reset();
  }
  void TearDown() override { stack::reset(); }

  // Evaluates source text and answers the result (errors propagate).
  cell run(const std::string& text) {
    cell r{TYPE_UNSET, 0, 0, 0};
    collector::root_guard g(&r);
    boot::do_source(text.data(), u32(text.size()), false, &r);
    return r;
  }
  i32 run_int(const std::string& text) {
    cell r = run(text);
    EXPECT_EQ(type_of(&r), u32(TYPE_INTEGER)) << text;
    return i32(r.data2);
  }
};

TEST_F(Interpreter, StacksAreBalancedAfterEveryKindOfExit) {
  const char* cases[] = {
      "1 + 2", "try [1 / 0]", "catch [throw 1]", "loop 3 [break]",
      "f: func [] [loop 2 [return 1]] f", "try/all [break]", "all [1 none]",
  };
  for (const char* c : cases) {
    cell* top = stack::top;
    u32 frames = stack::frame_top;
    run(c);
    EXPECT_EQ(stack::top, top) << c;
    EXPECT_EQ(stack::frame_top, frames) << c;
    EXPECT_EQ(interpreter::pending, 0u) << c;
  }
  for (const char* c : {"1 / 0", "throw 1", "break", "undefined-word", "f: func [x] [f x] f 1"}) {
    cell* top = stack::top;
    u32 frames = stack::frame_top;
    EXPECT_THROW(run(c), thrown) << c;
    stack::state_guard g;  // what a catching point does: nothing may be left behind
    EXPECT_EQ(stack::frame_top, frames) << c;
    (void)top;
  }
}

TEST_F(Interpreter, RecursionRestoresEachCallsArguments) {
  // After the inner call returns, the outer call's words see the outer frame again,
  // including when the inner call ends in an error caught inside the outer one.
  EXPECT_EQ(run_int("g: func [n] [either n = 0 [0] [n + g n - 1]] g 50"), 1275);
  EXPECT_EQ(run_int("h: func [n] [if n > 0 [try [h n - 1 1 / 0]] n] h 5"), 5);
}

TEST_F(Interpreter, FrameOverflowIsCatchableAndLeavesTheGuardClosed) {
  // Deep recursion raises stack-overflow; the frames are unwound and the guard region is
  // closed again, so a second overflow is reported the same way (not as no-memory).
  for (int round = 0; round < 2; round++) {
    try {
      run("deep: func [n] [deep n + 1] deep 1");
      FAIL() << "no overflow";
    } catch (const thrown& t) {
      EXPECT_STREQ(t.id, "stack-overflow");
    }
    stack::state_guard g;
  }
  stack::reset();
  EXPECT_EQ(stack::frame_end, stack::FRAME_COUNT);
  EXPECT_EQ(stack::push_limit, stack::limit);
  EXPECT_EQ(run_int("1 + 1"), 2);
}

TEST_F(Interpreter, FramesKeepTheFullSymbolId) {
  // Symbol ids above 16 bits: the walks read the full id the frame keeps.
  u32 sym = 0;
  while (symbol::count() < 70000) sym = symbol::make(("s" + std::to_string(symbol::count())).c_str());
  ASSERT_GT(sym, 0xFFFFu);
  stack::guard g;
  cell w;
  word::make_at(sym, &w);
  stack::push_frame(&w, stack::HEADER_INTERP_NATIVE);
  cell named = stack::current_call_word();
  EXPECT_EQ(named.data2, sym);
  stack::unwind_frames(stack::frame_top - 1);
}

TEST_F(Interpreter, WalksOnAnEmptyFrameStackReadNothing) {
  stack::reset();
  EXPECT_EQ(stack::top_frame(), nullptr);
  EXPECT_FALSE(stack::eval_q(-1, false));
  EXPECT_FALSE(stack::eval_q(-1, true));
  cell w = stack::current_call_word();
  EXPECT_EQ(w.data2, words::word_not_found.data2);
}

TEST_F(Interpreter, PendingExitsBecomeExceptionsAtTheCppBoundary) {
  // A C++ caller of do_block inside a loop: `break` in the block reaches the loop as an
  // exception and the loop still ends normally.
  static cell saved_block{TYPE_NONE, 0, 0, 0};
  collector::add_root(&saved_block);
  natives::entry_fn probe = [](bool, const i32*) {
    cell b = *stack::arguments;
    cell r;
    interpreter::do_block(&b, &r);
    *stack::arguments = r;
    stack::keep_first();
  };
  // A slot of its own past the environment's natives, so no real native is borrowed.
  static u32 index = natives::register_(probe);
  run("probe: make native! [[b [block!]] " + std::to_string(index) + "]");
  EXPECT_EQ(run_int("x: 0 loop 5 [x: x + 1 probe [if x = 3 [break]]] x"), 3);
  EXPECT_EQ(run_int("f: func [] [probe [return 7] 8] f"), 7);
  EXPECT_EQ(run_int("catch [probe [throw 9]]"), 9);
}

TEST_F(Interpreter, CallAppliesFunctionValuesFromCpp) {
  cell fn = run("func [a [integer!] b] [a * 10 + b]");
  collector::root_guard g(&fn);
  cell args[2] = {int_cell(4), int_cell(2)};
  cell r;
  interpreter::call(&fn, args, 2, &r);
  EXPECT_EQ(i32(r.data2), 42);
  cell bad[2] = {float_cell(1.5), int_cell(2)};
  EXPECT_EQ(error_of([&] { interpreter::call(&fn, bad, 2, &r); }), "script/expect-arg");
  EXPECT_EQ(error_of([&] { interpreter::call(&fn, args, 1, &r); }), "script/no-arg");
  // Refinements are off, their arguments none!, locals set up, as for a call from a block.
  cell refined = run("func [a /r b /local c] [c: 1 reduce [a r b c]]");
  collector::root_guard rg(&refined);
  interpreter::call(&refined, args, 1, &r);
  EXPECT_EQ(mold_text(r), "[4 false none 1]");
  cell append_fn = run(":append");
  collector::root_guard ag(&append_fn);
  cell target = run("[1]");
  collector::root_guard tg(&target);
  cell pair[2] = {target, int_cell(5)};
  interpreter::call(&append_fn, pair, 2, &r);
  EXPECT_EQ(mold_text(target), "[1 5]");
}

// ---- Routines -----------------------------------------------------------------------------

void add_code(cell* args, u32) { args[0] = int_cell(i32(args[0].data2) + i32(args[1].data2)); }
void nothing_code(cell*, u32) {}

TEST_F(Interpreter, RoutinesCheckTypesAndNeverReturnStaleCells) {
  routine::register_("test-add", add_code);
  routine::register_("test-nothing", nothing_code);
  cell spec = run("[a [integer!] b [integer!] return: [integer!]]");
  collector::root_guard sg(&spec);
  cell* r = routine::push_named("test-add", &spec, false);
  EXPECT_EQ(routine::get_arity(r), 2u);
  cell w = word::intern("test-add");
  _context::set(&w, r);
  EXPECT_EQ(run_int("test-add 40 2"), 42);
  EXPECT_EQ(error_of([&] { run("test-add 1 2.5"); }), "script/expect-arg");
  EXPECT_EQ(std::string(string::to_utf8(actions::mold_to_string(r))), "routine [a [integer!] b [integer!] return: [integer!]][test-add]");
  // A call from C++ takes the general path: the same result and the same check.
  cell add_fn = run(":test-add");
  collector::root_guard ag(&add_fn);
  cell sum, two[2] = {int_cell(40), int_cell(2)}, bad[2] = {int_cell(1), run("2.5")};
  interpreter::call(&add_fn, two, 2, &sum);
  EXPECT_EQ(mold_text(sum), "42");
  EXPECT_EQ(error_of([&] { interpreter::call(&add_fn, bad, 2, &sum); }), "script/expect-arg");
  // Indexes are 1-based: 0 and any index past the last registered name no code.
  EXPECT_EQ(routine::code(0), nullptr);
  EXPECT_EQ(routine::code(routine::find("test-add")), &add_code);
  EXPECT_EQ(routine::code(0xFFFFFFFFu), nullptr);

  // Without a result type the result is the first argument's cell as the code left it;
  // with no argument it is unset!, whatever the stack held there before.
  cell spec2 = run("[a [integer!]]");
  collector::root_guard sg2(&spec2);
  cell* r2 = routine::push_named("test-nothing", &spec2, false);
  cell w2 = word::intern("test-nothing");
  _context::set(&w2, r2);
  EXPECT_EQ(run_int("test-nothing 5"), 5);
  cell spec3 = run("[]");
  collector::root_guard sg3(&spec3);
  cell* r3 = routine::push_named("test-nothing", &spec3, false);
  cell w3 = word::intern("test-nothing-0");
  _context::set(&w3, r3);
  cell result = run("1 test-nothing-0");
  EXPECT_EQ(type_of(&result), u32(TYPE_UNSET));
}

TEST_F(Interpreter, RoutinesRefuseMoreThan31Arguments) {
  std::string text = "[";
  for (int i = 0; i < 32; i++) text += " a" + std::to_string(i);
  text += "]";
  cell spec = run(text);
  collector::root_guard g(&spec);
  stack::guard sg;
  EXPECT_EQ(error_of([&] { routine::push(&spec, nullptr, 1, 0, false); }), "script/bad-func-def");
}

TEST_F(Interpreter, SurvivesCollectionsBetweenEverySteps) {
  collector::set_stress(true);
  EXPECT_EQ(run_int("f: function [n] [acc: 0 repeat i n [acc: acc + i] acc] f 20"), 210);
  EXPECT_EQ(run_int("g: func [a /r b] [either r [a + b] [a]] g/r 1 2"), 3);
  EXPECT_EQ(run_int("catch/name [loop 2 [try [throw/name 4 'x]]] 'x"), 4);
  collector::set_stress(false);
}


// Frames pushed while library code runs are not interpreted: system/state/interpreted? is
// false when only library blocks are below (the environment's construction), true as soon
// as user code is, also inside a library block that user code called, and the state comes
// back after an error leaves a library block.
TEST_F(Interpreter, OnlyUserCodeFramesCountAsInterpreted) {
  auto in_library = [&](const std::string& text, const std::string& user = "") {
    cell block{TYPE_NONE, 0, 0, 0}, u{TYPE_NONE, 0, 0, 0}, r{TYPE_NONE, 0, 0, 0};
    collector::root_guard gb(&block), gu(&u), gr(&r);
    interpreter::load_hook(text.data(), u32(text.size()), &block);
    boot::mark_library(block.data2);
    if (!user.empty()) {
      interpreter::load_hook(user.data(), u32(user.size()), &u);
      cell w = word::intern("user-code");
      _context::set(&w, &u);
    }
    interpreter::do_block(&block, &r);
    return r;
  };
  struct row {
    const char* library;
    const char* user;
    bool expected;
  } rows[] = {
      {"system/state/interpreted?", "", false},
      {"f: func [] [system/state/interpreted?] f", "", false},
      {"attempt [system/state/interpreted?]", "", false},
      {"do user-code", "system/state/interpreted?", true},
      {"do user-code", "f: func [] [system/state/interpreted?] f", true},
      {"error? try [do user-code] system/state/interpreted?", "1 / 0", false},
  };
  for (const row& r : rows) {
    cell v = in_library(r.library, r.user);
    EXPECT_EQ(type_of(&v), u32(TYPE_LOGIC)) << r.library;
    EXPECT_EQ(v.data1 != 0, r.expected) << r.library << " / " << r.user;
    stack::reset();
  }
  EXPECT_TRUE(run("system/state/interpreted?").data1);
  EXPECT_TRUE(run("attempt [system/state/interpreted?]").data1);
  EXPECT_EQ(stack::frame_mask, ~0u);
}

// A display's poll thread stores its request, then zeroes frame_end; a loop iteration may
// serve the poll between the two stores. The push that then traps must go on, not report
// a stack overflow (it did, at random, on a loaded machine).
TEST_F(Interpreter, PollsThatFindNoHaltNeverLookLikeAnOverflow) {
  halt::set_poller([] { return false; });
  halt::requested = halt::POLL;
  halt::check();
  stack::frame_end = 0;
  EXPECT_EQ(run_int("f: func [x] [x + 1] f 1"), 2);
  EXPECT_EQ(stack::frame_end, stack::frame_room);

  std::atomic<bool> done{false};
  std::thread poller([&] {
    while (!done) {
      halt::request_poll();
      std::this_thread::yield();
    }
  });
  auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(300);
  while (std::chrono::steady_clock::now() < until)
    EXPECT_EQ(run_int("g: func [x] [x + 1] n: 0 loop 2000 [n: g n] n"), 2000);
  done = true;
  poller.join();
  halt::set_poller(nullptr);
  halt::clear();
}

}  // namespace
}  // namespace vyr::test
