// Exit statuses of the `vyr` executable built beside this test binary: 0 after a script
// that ends normally, 1 after an uncaught error or a missing header; and the message box of
// an uncaught error once the GUI is in use.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

namespace {

std::string vyr_path() {
  char buf[4096];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return "";
  std::string self(buf, size_t(n));
  return self.substr(0, self.rfind('/')) + "/vyr";
}

int status_of(const std::string& script) {
  std::string file = testing::TempDir() + "vyr_exit_" + std::to_string(getpid()) + ".vyr";
  std::ofstream(file) << script;
  std::string cmd = vyr_path() + " " + file + " >/dev/null 2>&1";
  int r = std::system(cmd.c_str());
  std::remove(file.c_str());
  return WIFEXITED(r) ? WEXITSTATUS(r) : -1;
}

TEST(ExitStatus, ScriptsEndWithZeroOrOne) {
  if (access(vyr_path().c_str(), X_OK) != 0) GTEST_SKIP() << "vyr not built";
  EXPECT_EQ(status_of("Vyr [] print 1"), 0);
  EXPECT_EQ(status_of("Vyr [] 1 / 0"), 1);
  EXPECT_EQ(status_of("Vyr [] f: func [] [throw 1] f"), 1);
  EXPECT_EQ(status_of("Vyr [] d: func [n] [d n + 1] d 1"), 1);  // stack overflow, reported
  EXPECT_EQ(status_of("print 1"), 1);                          // no header
}

// The requests the headless display's dialogs were asked, after running `script` with them
// logged.
std::string boxes_of(const std::string& script, int* status) {
  std::string base = testing::TempDir() + "vyr_box_" + std::to_string(getpid());
  std::ofstream(base + ".vyr") << script;
  std::remove((base + ".log").c_str());
  std::string cmd = "VYR_DISPLAY=headless VYR_HEADLESS_REQUESTS=" + base + ".log " + vyr_path() + " " + base +
                    ".vyr >/dev/null 2>&1";
  int r = std::system(cmd.c_str());
  *status = WIFEXITED(r) ? WEXITSTATUS(r) : -1;
  std::ifstream in(base + ".log");
  std::string log((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::remove((base + ".vyr").c_str());
  std::remove((base + ".log").c_str());
  return log;
}

TEST(ExitStatus, AnUncaughtErrorShowsInABoxOnceTheGuiIsInUse) {
  if (access(vyr_path().c_str(), X_OK) != 0) GTEST_SKIP() << "vyr not built";
  int status = 0;
  EXPECT_EQ(boxes_of("Vyr [Title: \"Boxed\"] system/view/platform/make-null-handle 1 / 0", &status),
            "message-box\tBoxed\t*** Math Error: attempt to divide by zero\\n*** Where: /\\n*** Near : 1 / 0\n");
  EXPECT_EQ(status, 1);
  std::string untitled = boxes_of("Vyr [] system/view/platform/make-null-handle do make error! \"no\"", &status);
  EXPECT_EQ(untitled.substr(0, untitled.find('*')), "message-box\tVyr NoName App\t");
  // Without the GUI there is no box.
  EXPECT_EQ(boxes_of("Vyr [] 1 / 0", &status), "");
  EXPECT_EQ(status, 1);
}

}  // namespace
