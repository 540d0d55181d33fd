// system/state/interpreted?: false while the environment is being built, true for code the
// interpreter is given afterwards. A module added to a copy of the boot sources records
// the answer during the construction.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace {

std::string vyr_path() {
  char buf[4096];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return "";
  std::string self(buf, size_t(n));
  return self.substr(0, self.rfind('/')) + "/vyr";
}

std::string run_output(const std::string& cmd) {
  std::string out;
  if (FILE* p = popen(cmd.c_str(), "r")) {
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    pclose(p);
  }
  return out;
}

TEST(Interpreted, FalseDuringTheConstructionTrueFromAScript) {
  if (access(vyr_path().c_str(), X_OK) != 0) GTEST_SKIP() << "vyr not built";
  namespace fs = std::filesystem;
  fs::path top = fs::path(testing::TempDir()) / ("vyr_interpreted_" + std::to_string(getpid()));
  fs::path dir = top / "environment";
  fs::remove_all(top);
  // The manifest names the console's and the View engine's sources beside the
  // environment's directory.
  fs::create_directories(top);
  fs::copy(VYR_SOURCE_DIR "/environment", dir, fs::copy_options::recursive);
  fs::copy(VYR_SOURCE_DIR "/console", top / "console", fs::copy_options::recursive);
  fs::copy(VYR_SOURCE_DIR "/view", top / "view", fs::copy_options::recursive);
  std::ifstream in(dir / "manifest.txt");
  std::stringstream manifest;
  manifest << in.rdbuf();
  in.close();
  std::string text = manifest.str();
  size_t at = text.find("stage close-construction");
  ASSERT_NE(at, std::string::npos);
  text.insert(at, "probe-interpreted.vyr\n");
  std::ofstream(dir / "manifest.txt") << text;
  std::ofstream(dir / "probe-interpreted.vyr")
      << "Vyr []\nask-interpreted: does [system/state/interpreted?]\n"
         "during-build: reduce [system/state/interpreted? ask-interpreted]\n";
  std::string script = (dir / "script.vyr").string();
  std::ofstream(script) << "Vyr [] print [during-build system/state/interpreted? ask-interpreted]\n";
  std::string out = run_output("env VYR_BOOT_DIR=" + dir.string() + " " + vyr_path() + " " +
                               script + " 2>&1");
  fs::remove_all(top);
  EXPECT_EQ(out, "false false true true\n");
}

}  // namespace
