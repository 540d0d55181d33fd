// The GUI console's settings file keeps the input history, so it is private to its user:
// its folder is made 0700 and the file 0600, and the file is replaced through a temporary
// file in the same folder, so that a crash or a full disk never leaves half a file. A folder
// or file owned by another user, or writable by group or others, is neither read nor
// written, nor is anything at those paths that is neither a file nor a folder. The
// routines (but the warning's) answer none when all went well, else the reason as a
// string, for the console to warn with: the settings are never worth an error that stops
// `quit`.
#include "console/gui/cfg_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "runtime/datatypes/binary.h"
#include "runtime/datatypes/file.h"
#include "runtime/datatypes/function.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/string.h"

namespace vyr::cfg_file {

namespace {

void answer(cell* slot, const std::string& why) {
  if (why.empty()) {
    *slot = none_value;
  } else {
    string::load_at(why.data(), u32(why.size()), slot, string::ENCODING_UTF8);
  }
}

std::string failed(const char* what, const std::string& path) {
  return std::string(what) + " " + path + ": " + std::strerror(errno);
}

// Drops the trailing "/" of a folder name ("/" itself stays).
std::string trimmed(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

// `console-cfg-unsafe path`: why the folder or file may not be used (another owner, or
// writable by group or others), none when it is private to this user or does not exist.
void unsafe_code(cell* a, u32) {
  std::string path = trimmed(file::to_OS_path(&a[0]));
  struct stat st;
  std::string why;
  if (stat(path.c_str(), &st) == 0) {
    if (st.st_uid != geteuid()) {
      why = path + " is owned by another user";
    } else if (st.st_mode & (S_IWGRP | S_IWOTH)) {
      why = path + " is writable by others";
    } else if (!S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)) {
      // A pipe or a device would hold the start on its open, or feed it without end.
      why = path + " is not a file";
    }
  } else if (errno != ENOENT) {
    why = failed("cannot check", path);
  }
  answer(&a[0], why);
}

// `console-cfg-make-dir dir`: makes the folder (0700) with its missing parents (as the
// umask allows); an existing folder is left as it is.
void make_dir_code(cell* a, u32) {
  std::string path = trimmed(file::to_OS_path(&a[0]));
  std::string why;
  for (size_t at = 1; why.empty() && at <= path.size(); at++) {
    if (at < path.size() && path[at] != '/') continue;
    std::string part = path.substr(0, at);
    bool last = at == path.size();
    if (mkdir(part.c_str(), last ? 0700 : 0777) != 0 && errno != EEXIST) {
      why = failed("cannot make", part);
    }
  }
  struct stat st;
  if (why.empty() && (stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))) {
    why = path + " is not a folder";
  }
  answer(&a[0], why);
}

// `console-cfg-write file data`: writes the binary to a new 0600 file beside `file`, then
// renames it over `file`. On any failure the temporary file goes and `file` is untouched.
void write_code(cell* a, u32) {
  std::string path = file::to_OS_path(&a[0]);
  std::string temp = path + ".XXXXXX";
  std::string why;
  int fd = mkstemp(temp.data());   // 0600
  if (fd < 0) {
    answer(&a[0], failed("cannot write", temp));
    return;
  }
  i32 n = binary::rs_length_q(&a[1]);
  const u8* p = binary::rs_head(&a[1]);
  for (i32 done = 0; done < n;) {
    ssize_t w = ::write(fd, p + done, size_t(n - done));
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) {
      if (w == 0) errno = ENOSPC;
      why = failed("cannot write", temp);
      break;
    }
    done += i32(w);
  }
  if (close(fd) != 0 && why.empty()) why = failed("cannot write", temp);
  if (why.empty() && rename(temp.c_str(), path.c_str()) != 0) {
    why = failed("cannot replace", path);
  }
  if (!why.empty()) unlink(temp.c_str());
  answer(&a[0], why);
}

// `console-cfg-warn text`: one line on standard error.
void warn_code(cell* a, u32) {
  std::string text = string::to_utf8(&a[0]);
  std::fprintf(stderr, "vyr: console settings: %s\n", text.c_str());
  a[0] = none_value;
}

}  // namespace

void register_routines() {
  if (routine::find("console-cfg-write")) return;
  routine::register_("console-cfg-unsafe", unsafe_code);
  routine::register_("console-cfg-make-dir", make_dir_code);
  routine::register_("console-cfg-write", write_code);
  routine::register_("console-cfg-warn", warn_code);
}

}  // namespace vyr::cfg_file
