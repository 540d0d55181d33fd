// The console and the script runner as processes: piped console input (no prompts, exact
// results), the end of input with a command pending, script statuses, header errors,
// --catch, "--", switches only before the script's name, a missing script, and scripts
// under a cap on the address space.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <string>

namespace {

std::string vyr_path() {
  char buf[4096];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return "";
  std::string self(buf, size_t(n));
  return self.substr(0, self.rfind('/')) + "/vyr";
}

struct outcome {
  std::string out;
  int status;
};

// Runs `vyr ARGS` in DIR with INPUT on stdin, after the shell command SETUP when one is
// given; stdout and stderr together, and the status.
outcome run(const std::string& dir, const std::string& args, const std::string& input,
            const std::string& setup = "") {
  std::string in = dir + "/stdin.txt";
  std::ofstream(in, std::ios::binary) << input;
  outcome r{"", -1};
  std::string cmd = "cd '" + dir + "' && " + (setup.empty() ? "" : setup + " && ") + "'" +
                    vyr_path() + "' " + args + " < stdin.txt 2>&1";
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return r;
  std::array<char, 4096> buf;
  size_t n;
  while ((n = fread(buf.data(), 1, buf.size(), p)) > 0) r.out.append(buf.data(), n);
  int s = pclose(p);
  r.status = WIFEXITED(s) ? WEXITSTATUS(s) : -1;
  return r;
}

class ConsoleProcess : public testing::Test {
 protected:
  std::string dir;
  void SetUp() override {
    if (access(vyr_path().c_str(), X_OK) != 0) GTEST_SKIP() << "vyr not built";
    dir = testing::TempDir() + "vyr_console_" + std::to_string(getpid());
    std::string mk = "mkdir -p '" + dir + "'";
    ASSERT_EQ(system(mk.c_str()), 0);
    file("ok.vyr", "Vyr [] print \"ok\"\n");
    file("err.vyr", "Vyr []\nprint \"before\"\n1 / 0\nprint \"after\"\n");
    file("--dash.vyr", "Vyr [] print \"dash\"\n");
  }
  void TearDown() override {
    if (!dir.empty()) (void)!system(("rm -rf '" + dir + "'").c_str());
  }
  void file(const std::string& name, const std::string& text) {
    std::ofstream(dir + "/" + name, std::ios::binary) << text;
  }
};

TEST_F(ConsoleProcess, PipedInputShowsOnlyResults) {
  EXPECT_EQ(run(dir, "", "1 + 2\n").out, "== 3\n");
  outcome r = run(dir, "--cli", "[\n]\n0.1 + 0.2\n");
  EXPECT_EQ(r.out, "== []\n== 0.3\n");
  EXPECT_EQ(r.status, 0);
  // CR LF line ends and a last line without one.
  EXPECT_EQ(run(dir, "", "1 + 1\r\n2 + 2").out, "== 2\n== 4\n");
  // Malformed UTF-8 becomes U+FFFD.
  EXPECT_EQ(run(dir, "", "\"a\xff\"\n").out, "== \"a\xef\xbf\xbd\"\n");
}

TEST_F(ConsoleProcess, NulIsTextNotTheEndOfIt) {
  // A NUL that no token takes is refused at once: the next line runs.
  using namespace std::string_literals;
  for (const std::string& line : {"x: {a\0b}\n"s, "x: {a\0b\n"s, "[a \0 b\n"s, "<a\0>\n"s}) {
    outcome r = run(dir, "", line + "print \"alive\"\n");
    EXPECT_EQ(r.out.rfind("*** Syntax Error: ", 0), 0u) << r.out;
    EXPECT_NE(r.out.find("\nalive\n"), std::string::npos) << r.out;
  }
  // Inside a string a NUL is just another character.
  EXPECT_EQ(run(dir, "", "length? \"a^@b\"\nlength? {a\tb}\n").out, "== 3\n== 3\n");
}

TEST_F(ConsoleProcess, EndOfInputWithACommandPending) {
  // The pending text is loaded once, its error shown, and the session ends normally.
  outcome r = run(dir, "", "[1\n");
  EXPECT_EQ(r.out.rfind("*** Syntax Error: (line 2) missing ] at [1\n", 0), 0u) << r.out;
  EXPECT_EQ(r.status, 0);
  // `ask` at the end of input answers "quit".
  EXPECT_EQ(run(dir, "", "ask \"?\"\n").out, "== \"quit\"\n");
}

TEST_F(ConsoleProcess, ScriptStatusesAndHeaderErrors) {
  outcome r = run(dir, "ok.vyr", "");
  EXPECT_EQ(r.out, "ok\n");
  EXPECT_EQ(r.status, 0);
  r = run(dir, "err.vyr", "print \"RAN\"\n");
  EXPECT_EQ(r.out.rfind("before\n*** Math Error: attempt to divide by zero\n", 0), 0u) << r.out;
  EXPECT_EQ(r.out.find("RAN"), std::string::npos);
  EXPECT_EQ(r.status, 1);
  struct row { const char* text; const char* report; };
  const row rows[] = {
      {"print 1\n", "*** Error: Vyr header not found!\n"},
      {"Vyr\nprint 1\n", "*** Error: Vyr header not found!\n"},
      {"vyr [] print 1\n", "*** Error: Vyr header not found!\n"},  // letter case counts
      {"Vyr/System [] 1\n", "*** Error: contains Vyr/System code which requires compilation!\n"},
      {"; a comment\nVyr\t\n [title: \"x\"] print \"late\"\n", "late\n"},
      {"Vyr [] [\n", nullptr},  // a load error: reported, status 1
  };
  for (const row& c : rows) {
    file("h.vyr", c.text);
    r = run(dir, "h.vyr", "");
    if (c.report) EXPECT_EQ(r.out, c.report) << c.text;
    EXPECT_EQ(r.status, std::string(c.text).find("late") != std::string::npos ? 0 : 1) << c.text;
  }
}

TEST_F(ConsoleProcess, CatchDashDashAndSwitchPlacement) {
  // --catch: the prompt follows the script, after an error too.
  outcome r = run(dir, "--catch err.vyr", "1 + 1\n");
  EXPECT_EQ(r.out.rfind("before\n*** Math Error", 0), 0u) << r.out;
  EXPECT_NE(r.out.find("\n== 2\n"), std::string::npos) << r.out;
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(run(dir, "--catch ok.vyr", "1 + 1\n").out, "ok\n== 2\n");
  // "--" ends the switches: the name after it is the script even with its dashes.
  EXPECT_EQ(run(dir, "-- --dash.vyr", "").out, "dash\n");
  EXPECT_EQ(run(dir, "--cli -- --dash.vyr", "").out, "dash\n");
  // After the script's name nothing is a switch: no prompt follows.
  r = run(dir, "ok.vyr --catch", "print \"RAN\"\n");
  EXPECT_EQ(r.out, "ok\n");
  // halt in a script: reported, not an error; with --catch the prompt follows.
  file("halt.vyr", "Vyr [] print 1 halt print 2\n");
  r = run(dir, "halt.vyr", "");
  EXPECT_EQ(r.out, "1\n(halted)\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(run(dir, "--catch halt.vyr", "3\n").out, "1\n(halted)\n== 3\n");
  // A preprocessor failure stops the script before any of its body runs.
  file("pp.vyr", "Vyr [] print 1 #either true [x] print 2\n");
  r = run(dir, "pp.vyr", "");
  EXPECT_EQ(r.out, "*** Preprocessor Error: Syntax error\n*** Where: #either true [x]\n(halted)\n");
  EXPECT_EQ(r.status, 1);  // a script the preprocessor stopped failed; a halt does not
  file("pp-ok.vyr", "Vyr [] #if true [print \"yes\"]\n");
  r = run(dir, "pp-ok.vyr", "");
  EXPECT_EQ(r.out, "yes\n");
  EXPECT_EQ(r.status, 0);
  // Unknown switches before the name are ignored.
  EXPECT_EQ(run(dir, "--unknown ok.vyr", "").out, "ok\n");
}

TEST_F(ConsoleProcess, MissingScriptNeverFallsIntoThePrompt) {
  for (const char* args : {"missing.vyr", "--catch missing.vyr", "--catch ."}) {
    outcome r = run(dir, args, "print \"RAN\"\n");
    EXPECT_EQ(r.out.find("RAN"), std::string::npos) << args << ": " << r.out;
    EXPECT_NE(r.out.find("*** Access Error: cannot open"), std::string::npos) << r.out;
    EXPECT_EQ(r.status, 1) << args;
  }
}

// Under `ulimit -v` the arena and the interpreter's stack are cut to what the cap leaves:
// scripts run, the arena's end is the language's no-memory error, and endless recursion
// still ends in the stack-overflow error, never in a fault of the machine stack.
TEST_F(ConsoleProcess, ScriptsRunUnderAnAddressSpaceCap) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the sanitizers reserve more address space than the cap";
#endif
  const std::string cap = "ulimit -v 1000000";
  file("big.vyr", "Vyr [] b: append/dup copy [] 0 6553600 print length? b\n");  // 100 MB
  file("huge.vyr", "Vyr [] print \"before\" b: make binary! 900000000 print \"after\"\n");
  file("deep.vyr", "Vyr [] f: func [n] [f n + 1] f 1\n");
  outcome r = run(dir, "big.vyr", "", cap);
  EXPECT_EQ(r.out, "6553600\n");
  EXPECT_EQ(r.status, 0);
  r = run(dir, "huge.vyr", "", cap);
  EXPECT_EQ(r.out.rfind("before\n*** Internal Error: not enough memory\n*** Where: make\n", 0), 0u)
      << r.out;
  EXPECT_EQ(r.status, 1);
  for (std::string limit : {cap, std::string("ulimit -v 200000")}) {  // fewer frames there
    r = run(dir, "deep.vyr", "", limit);
    EXPECT_EQ(r.out.rfind("*** Internal Error: stack overflow\n", 0), 0u) << limit << r.out;
    EXPECT_EQ(r.status, 1);
  }
}

}  // namespace

TEST_F(ConsoleProcess, ScriptArgumentsAndDirectory) {
  ASSERT_EQ(system(("mkdir -p '" + dir + "/sub'").c_str()), 0);
  file("sub/args.vyr",
       "Vyr [] print mold system/options/args print mold system/script/args\n"
       "d: get-current-dir print find/last/tail copy/part d back tail d #\"/\"\n"
       "print system/options/script\n");
  // The switches and the script's name are taken out of both; the script's directory
  // becomes the current one.
  outcome r = run(dir, "--cli -- sub/args.vyr a \"b c\" --catch", "");
  EXPECT_EQ(r.out, "[\"a\" \"b c\" \"--catch\"]\n{a \"b c\" --catch}\nsub\nsub/args.vyr\n");
  EXPECT_EQ(r.status, 0);
  // A script that cannot be read moves nowhere and ends with status 1.
  r = run(dir, "sub/missing.vyr", "");
  EXPECT_EQ(r.out.rfind("*** Access Error: cannot open: %sub/missing.vyr\n", 0), 0u) << r.out;
  EXPECT_EQ(r.status, 1);
}
