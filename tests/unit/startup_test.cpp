// Start-up of the `vyr` executable built beside this test binary: the command line in
// system/script/args and system/options, the cache root from HOME, quit's statuses, and
// the environment built alike from the embedded sources and from VYR_BOOT_DIR.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "boot/construction.h"

namespace vyr {
namespace {

std::string vyr_path() {
  char buf[4096];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return "";
  std::string self(buf, size_t(n));
  return self.substr(0, self.rfind('/')) + "/vyr";
}

struct run_result {
  int status;
  std::string out;
};

// Runs a script with a shell prefix (environment settings) and arguments (shell words).
run_result run(const std::string& script, const std::string& prefix = "",
               const std::string& args = "") {
  std::string file = testing::TempDir() + "vyr_startup_" + std::to_string(getpid()) + ".vyr";
  std::ofstream(file) << "Vyr [] " << script;
  std::string cmd = prefix + " " + vyr_path() + " " + file + " " + args + " 2>&1";
  run_result r{-1, ""};
  if (FILE* p = popen(cmd.c_str(), "r")) {
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
    int s = pclose(p);
    r.status = WIFEXITED(s) ? WEXITSTATUS(s) : -1;
  }
  std::remove(file.c_str());
  return r;
}

#define NEED_VYR() \
  if (access(vyr_path().c_str(), X_OK) != 0) GTEST_SKIP() << "vyr not built"

TEST(Startup, QuitEndsWithItsStatusModulo256) {
  NEED_VYR();
  EXPECT_EQ(run("print 1 quit print 2").status, 0);
  EXPECT_EQ(run("print 1 quit print 2").out, "1\n");
  EXPECT_EQ(run("quit/return 3").status, 3);
  EXPECT_EQ(run("quit/return 300").status, 44);
  EXPECT_EQ(run("halt").status, 0);
  // Output written before quit-return is flushed first.
  run_result r = run("prin \"partial\" quit-return 256");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "partial");
}

// A script that ends on its own ends the process at once (_exit): what it wrote without a
// line end is flushed first.
TEST(Startup, AScriptsLastOutputIsWrittenBeforeTheEnd) {
  NEED_VYR();
  run_result r = run("prin \"no line end\" write-stdout \"!\"");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "no line end!");
}

TEST(Startup, CommandLinePiecesKeepBlanksQuotesAndEmptyOnes) {
  NEED_VYR();
  run_result r = run("print mold system/options/args print mold system/script/args",
                     "", "'a b' '' 'q\"x' plain");
  EXPECT_EQ(r.status, 0);
  // Once the console has taken the script's name, both hold only the script's own
  // arguments.
  EXPECT_EQ(r.out, "[\"a b\" \"\" {q\"x} \"plain\"]\n{\"a b\" \"\" q\"x plain}\n");
  EXPECT_EQ(run("print system/options/boot").out, vyr_path() + "\n");
}

TEST(Startup, CacheRootComesFromAnAbsoluteHome) {
  NEED_VYR();
  const char* script = "print system/options/cache";
  EXPECT_EQ(run(script, "env -u HOME").out, "/tmp/.vyr/\n");
  EXPECT_EQ(run(script, "env HOME=").out, "/tmp/.vyr/\n");
  EXPECT_EQ(run(script, "env HOME=relative/dir").out, "/tmp/.vyr/\n");
  EXPECT_EQ(run(script, "env HOME=/home/someone/").out, "/home/someone/.vyr/\n");
  EXPECT_EQ(run(script, "env HOME=/").out, "/.vyr/\n");
}

TEST(Startup, CacheRootAndArgumentJoining) {
  const char* argv[] = {"prog", "a b", "", "t\tab", "x"};
  boot::set_arguments(5, const_cast<char**>(argv));
  EXPECT_EQ(boot::join_arguments(0), "prog \"a b\" \"\" \"t\tab\" x");
  EXPECT_EQ(boot::join_arguments(1), "\"a b\" \"\" \"t\tab\" x");
  EXPECT_EQ(boot::join_arguments(5), "");
  EXPECT_EQ(boot::cache_root(nullptr), "/tmp/.vyr/");
  EXPECT_EQ(boot::cache_root("//"), "/.vyr/");
  EXPECT_EQ(boot::cache_root("/h"), "/h/.vyr/");
}

TEST(Startup, ManifestLinesNameSourcesStagesDataAndGui) {
  auto m = boot::parse_manifest("; comment\n a.vyr ; note\nstage  s1\ndata d.vyr\r\ngui v.vyr\n\n");
  ASSERT_EQ(m.size(), 4u);
  EXPECT_EQ(m[0].name, "a.vyr");
  EXPECT_EQ(m[0].kind, boot::entry_kind::source);
  EXPECT_EQ(m[1].name, "s1");
  EXPECT_EQ(m[1].kind, boot::entry_kind::stage);
  EXPECT_EQ(m[2].name, "d.vyr");
  EXPECT_EQ(m[2].kind, boot::entry_kind::data);
  EXPECT_EQ(m[3].name, "v.vyr");
  EXPECT_EQ(m[3].kind, boot::entry_kind::gui);
}

// Every global word: its type, and for functions their spec and body, for objects their
// words (a level deep), for everything else its molded value.
const char* dump_script = R"(
    foreach w words-of system/words [
        set/any 'v get/any w
        prin [w type? :v ""]
        case [
            any-function? :v [print mold spec-of :v print mold/flat body-of :v]
            any-object? :v [print mold words-of v foreach f words-of v [prin [f type? select v f ""]] print ""]
            w = 'v [print ""]
            true [print mold/flat/part :v 200]
        ]
    ]
)";

TEST(Startup, BothBootPathsBuildTheSameEnvironment) {
  NEED_VYR();
  run_result embedded = run(dump_script);
  run_result sources = run(dump_script, std::string("env VYR_BOOT_DIR=") + VYR_SOURCE_DIR "/environment");
  EXPECT_EQ(embedded.status, 0) << embedded.out.substr(0, 500);
  EXPECT_GT(embedded.out.size(), 10000u);
  EXPECT_EQ(embedded.out, sources.out);
}

// A damaged boot image is reported on standard error (nothing on standard output) and ends
// the process with status 99 before any script runs.
TEST(Startup, ADamagedBootImageEndsWithStatus99OnStandardError) {
  NEED_VYR();
  std::string image = testing::TempDir() + "vyr_image_" + std::to_string(getpid()) + ".bin";
  struct damaged {
    std::string bytes, message;
  } cases[] = {
      {"NOTVYRBIN", "Error: Not a Vyrbin file!"},
      {std::string("VYRBIN\x01\x05", 8) + "\x3f\xff\xff\xff\xff\x0f", "could not be loaded"},
      {std::string("VYRBIN\x01\x07", 8) + "garbage", "Error: Vyrbin compressed data corrupted!"},
  };
  for (const damaged& c : cases) {
    std::ofstream(image, std::ios::binary) << c.bytes;
    run_result r = run("print 1", "env VYR_BOOT_IMAGE=" + image);
    EXPECT_EQ(r.status, 99) << r.out;
    EXPECT_NE(r.out.find(c.message), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("1\n"), std::string::npos) << r.out;
    // Standard output stays empty.
    std::string cmd = "env VYR_BOOT_IMAGE=" + image + " " + vyr_path() + " --cli 2>/dev/null </dev/null";
    std::string out;
    if (FILE* p = popen(cmd.c_str(), "r")) {
      char buf[256];
      size_t n;
      while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
      int s = pclose(p);
      EXPECT_EQ(WIFEXITED(s) ? WEXITSTATUS(s) : -1, 99);
    }
    EXPECT_EQ(out, "");
  }
  std::remove(image.c_str());
}

TEST(Startup, AMissingBootSourceEndsWithTheUncaughtErrorStatus) {
  NEED_VYR();
  run_result r = run("print 1", "env VYR_BOOT_DIR=/nonexistent-boot-dir");
  EXPECT_EQ(r.status, 254);
  EXPECT_NE(r.out.find("cannot open"), std::string::npos) << r.out;
}

TEST(Startup, TheImageToolRefusesASourceWithASyntaxError) {
  std::string tool = vyr_path() + "-mkboot";
  if (access(tool.c_str(), X_OK) != 0) GTEST_SKIP() << "vyr-mkboot not built";
  std::string out = testing::TempDir() + "vyr_mkboot_" + std::to_string(getpid()) + ".cpp";
  std::string cmd = tool + " " VYR_SOURCE_DIR "/tests/fixtures/mkboot-bad " + out + " 2>&1";
  std::string text;
  int status = -1;
  if (FILE* p = popen(cmd.c_str(), "r")) {
    char buf[1024];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) text.append(buf, n);
    int s = pclose(p);
    status = WIFEXITED(s) ? WEXITSTATUS(s) : -1;
  }
  EXPECT_EQ(status, 1);
  EXPECT_EQ(text, VYR_SOURCE_DIR "/tests/fixtures/mkboot-bad/bad.vyr: *** Syntax Error: "
                                 "(line 5) missing ] at [1 2\n");
  EXPECT_NE(access(out.c_str(), F_OK), 0);  // nothing written
}

}  // namespace
}  // namespace vyr
