// The `vyr` executable built beside this test binary, run as a process: scripts and
// console input that start with a UTF-8 byte-order mark, errors that name the script,
// and the heap running out under a memory cap while the session goes on.
#include <gtest/gtest.h>
#include <sys/stat.h>
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

// Runs a shell command line; stdout and stderr together, and the exit status.
outcome run(const std::string& command) {
  outcome r{"", -1};
  FILE* p = popen((command + " 2>&1").c_str(), "r");
  if (!p) return r;
  std::array<char, 4096> buf;
  size_t n;
  while ((n = fread(buf.data(), 1, buf.size(), p)) > 0) r.out.append(buf.data(), n);
  int s = pclose(p);
  r.status = WIFEXITED(s) ? WEXITSTATUS(s) : -1;
  return r;
}

std::string temp_name(const char* tag) {
  return testing::TempDir() + "vyr_" + tag + "_" + std::to_string(getpid());
}

void write_bytes(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

const std::string BOM = "\xEF\xBB\xBF";

class ProcessInput : public testing::Test {
 protected:
  void SetUp() override {
    if (access(vyr_path().c_str(), X_OK) != 0) GTEST_SKIP() << "vyr not built";
  }
};

TEST_F(ProcessInput, ScriptWithByteOrderMarkRuns) {
  std::string file = temp_name("bom") + ".vyr";
  write_bytes(file, BOM + "Vyr [] print 1 + 1");
  outcome r = run(vyr_path() + " " + file);
  EXPECT_EQ(r.out, "2\n");
  EXPECT_EQ(r.status, 0);
  // A mark before text without a header: the header error.
  write_bytes(file, BOM + "print 1");
  r = run(vyr_path() + " " + file);
  EXPECT_EQ(r.out, "*** Error: Vyr header not found!\n");
  EXPECT_EQ(r.status, 1);
  std::remove(file.c_str());
}

TEST_F(ProcessInput, ScriptErrorsNameTheFile) {
  std::string dir = temp_name("dir") + ".vyr";
  mkdir(dir.c_str(), 0700);
  outcome r = run(vyr_path() + " " + dir);
  EXPECT_EQ(r.out.rfind("*** Access Error: cannot open: %" + dir + "\n", 0), 0u) << r.out;
  EXPECT_EQ(r.status, 1);
  rmdir(dir.c_str());
  r = run(vyr_path() + " " + dir);  // gone now
  EXPECT_EQ(r.out.rfind("*** Access Error: cannot open: %" + dir + "\n", 0), 0u) << r.out;
  EXPECT_EQ(r.status, 1);
}

TEST_F(ProcessInput, ReadOfBadUtf8NamesTheFile) {
  std::string file = temp_name("utf8") + ".txt";
  write_bytes(file, "A\xFF" "B");
  std::string in = temp_name("utf8_in");
  write_bytes(in, "read %" + file + "\n1 + 1\n");
  outcome r = run(vyr_path() + " --cli < " + in);
  EXPECT_EQ(r.out.rfind("*** Access Error: invalid UTF-8 encoding: %" + file + "\n", 0), 0u)
      << r.out;
  EXPECT_NE(r.out.find("\n== 2\n"), std::string::npos) << r.out;
  EXPECT_EQ(r.status, 0);
  std::remove(file.c_str());
  std::remove(in.c_str());
}

TEST_F(ProcessInput, ConsoleInputWithByteOrderMark) {
  std::string in = temp_name("stdin");
  // Only the mark at the very start of the input is skipped.
  write_bytes(in, BOM + "print 1 + 1\nlength? \"" + BOM + "\"\n");
  outcome r = run(vyr_path() + " --cli < " + in);
  EXPECT_EQ(r.out, "2\n== 1\n");
  EXPECT_EQ(r.status, 0);
  std::remove(in.c_str());
}

#if defined(__SANITIZE_ADDRESS__)
#define VYR_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VYR_UNDER_ASAN 1
#endif
#endif

TEST_F(ProcessInput, HeapExhaustionUnderMemoryCapIsNoMemory) {
#ifdef VYR_UNDER_ASAN
  GTEST_SKIP() << "the sanitizer's shadow memory does not fit a memory cap";
#endif
  // The arena reserves 4 GiB of address space and the interpreter thread 1 GiB of stack:
  // the cap leaves the C++ heap a few hundred MiB, well under the series limit, so reading
  // an endless file runs out of heap before it reaches that limit. The smallest cap that
  // lets the arena be reserved keeps the test's memory use low.
  std::string in = temp_name("cap_in");
  write_bytes(in, "read %/dev/zero\n1 + 1\n");
  outcome r{"", -1};
  for (const char* cap : {"5600000", "6000000", "6600000"}) {
    r = run(std::string("ulimit -v ") + cap + "; " + vyr_path() + " --cli < " + in);
    if (r.out.find("cannot reserve the memory arena") == std::string::npos) break;
  }
  std::remove(in.c_str());
  if (r.out.find("cannot reserve the memory arena") != std::string::npos)
    GTEST_SKIP() << "this machine needs more address space for the arena";
  EXPECT_EQ(r.out.rfind("*** Internal Error: not enough memory\n", 0), 0u) << r.out;
  EXPECT_NE(r.out.find("\n== 2\n"), std::string::npos) << r.out;
  EXPECT_EQ(r.status, 0);
}

}  // namespace
