// A process started from the image embedded in `vyr` maps the image's pages from the
// executable, copy-on-write. A collection must leave them shared: a page copied by the
// collector alone (a mark bit, a compaction, a header rewritten with its own value) costs
// every program that collects a fault and a fresh page.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

namespace {

std::string vyr_path() {
  char buf[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return "";
  std::string p = std::string(buf, size_t(n));
  p = p.substr(0, p.rfind('/')) + "/vyr";
  char* real = realpath(p.c_str(), nullptr);
  if (!real) return "";
  std::string r = real;
  std::free(real);
  return r;
}

// Where the executable's image starts in the file (0: it carries none).
uint64_t image_start(const std::string& exe) {
  int fd = open(exe.c_str(), O_RDONLY);
  if (fd < 0) return 0;
  char t[24];
  off_t size = lseek(fd, 0, SEEK_END);
  uint64_t start = 0;
  if (size >= 24 && pread(fd, t, 24, size - 24) == 24 && std::memcmp(t, "VYRSNAPT", 8) == 0)
    std::memcpy(&start, t + 8, 8);
  close(fd);
  return start;
}

// The pages of the process's image mappings that are no longer the file's.
std::set<uint64_t> copied_pages(pid_t pid, const std::string& exe, uint64_t start) {
  std::set<uint64_t> out;
  std::ifstream maps("/proc/" + std::to_string(pid) + "/maps");
  int pm = open(("/proc/" + std::to_string(pid) + "/pagemap").c_str(), O_RDONLY);
  if (pm < 0) return out;
  std::string line;
  while (std::getline(maps, line)) {
    std::istringstream in(line);
    std::string range, perms, dev, path;
    uint64_t offset, inode;
    in >> range >> perms >> std::hex >> offset >> dev >> std::dec >> inode >> path;
    if (path != exe || offset < start) continue;
    uint64_t lo = std::stoull(range.substr(0, range.find('-')), nullptr, 16);
    uint64_t hi = std::stoull(range.substr(range.find('-') + 1), nullptr, 16);
    for (uint64_t a = lo; a < hi; a += 4096) {
      uint64_t e = 0;
      if (pread(pm, &e, 8, off_t(a / 4096 * 8)) != 8) continue;
      bool present = e >> 63 & 1, file = e >> 61 & 1;
      if (present && !file) out.insert(a);
    }
  }
  close(pm);
  return out;
}

struct child {
  pid_t pid = -1;
  int to = -1, from = -1;
  // Waits for the next "ready" line.
  bool ready() {
    std::string got;
    char c;
    while (read(from, &c, 1) == 1) {
      if (c == '\n') {
        if (got == "ready") return true;
        got.clear();
      } else {
        got += c;
      }
    }
    return false;
  }
  void go() { (void)!write(to, "\n", 1); }
};

child launch(const std::string& exe, const std::string& script) {
  int in[2], out[2];
  child c;
  if (pipe(in) != 0 || pipe(out) != 0) return c;
  c.pid = fork();
  if (c.pid == 0) {
    dup2(in[0], 0);
    dup2(out[1], 1);
    close(in[1]);
    close(out[0]);
    unsetenv("DISPLAY");
    unsetenv("VYR_DISPLAY");
    unsetenv("VYR_GC_STRESS");  // a collection at every allocation is not the case measured
    execl(exe.c_str(), exe.c_str(), script.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  close(in[0]);
  close(out[1]);
  c.to = in[1];
  c.from = out[0];
  return c;
}

TEST(ImagePages, CollectionLeavesTheImageShared) {
  std::string exe = vyr_path();
  if (exe.empty() || access(exe.c_str(), X_OK) != 0) GTEST_SKIP() << "vyr not built";
  uint64_t start = image_start(exe);
  if (!start) GTEST_SKIP() << "vyr carries no image";
  std::string script = testing::TempDir() + "vyr_image_pages_" + std::to_string(getpid()) + ".vyr";
  // The program's own work comes first (its writes are its own), and the first collection
  // of the process follows between the two looks at its pages.
  std::ofstream(script) << "Vyr []\n"
                           "x: copy [] loop 2000 [append x form random 1000]\n"
                           "print \"ready\" input\n"
                           "recycle\n"
                           "print \"ready\" input\n";
  // What the collector writes, it writes in every process; a page written by the program
  // at a moment the machine's load decides (seldom, between the two looks) may not come
  // back in a second process.
  std::string fresh;
  size_t copied_before = 0;
  int status = 0;
  for (int attempt = 0; attempt < 2; attempt++) {
    child c = launch(exe, script);
    ASSERT_GT(c.pid, 0);
    ASSERT_TRUE(c.ready());
    std::set<uint64_t> before = copied_pages(c.pid, exe, start);
    c.go();
    ASSERT_TRUE(c.ready());
    std::set<uint64_t> after = copied_pages(c.pid, exe, start);
    c.go();
    waitpid(c.pid, &status, 0);
    fresh.clear();
    for (uint64_t a : after)
      if (!before.count(a)) fresh += " " + std::to_string(a);
    copied_before = before.size();
    if (fresh.empty()) break;
  }
  std::remove(script.c_str());
  EXPECT_TRUE(fresh.empty()) << "image pages copied by the collection:" << fresh
                             << " (" << copied_before << " copied before it)";
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

}  // namespace
