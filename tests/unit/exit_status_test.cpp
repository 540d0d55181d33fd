// Exit statuses of the `vyr` executable built beside this test binary: 0 after a script
// that ends normally, 1 after an uncaught error or a missing header.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
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

}  // namespace
