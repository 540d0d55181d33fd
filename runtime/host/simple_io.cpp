// simple-io on POSIX: whole-file reads and writes, directory listings, delete, rename and
// modification times. Descriptors are closed on every exit (errors included) by a guard.
#include "runtime/host/simple_io.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "base/utf8.h"
#include "runtime/collector.h"
#include "runtime/datatypes/binary.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/file.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/string_actions.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/series.h"
#include "runtime/fire.h"
#include "runtime/datatypes/actions.h"
#include "runtime/memory.h"
#include "runtime/unicode.h"

namespace vyr::simple_io {

namespace {

class fd_guard {
 public:
  explicit fd_guard(int fd) : fd_(fd) {}
  ~fd_guard() {
    if (fd_ >= 0) ::close(fd_);
  }
  fd_guard(const fd_guard&) = delete;
  fd_guard& operator=(const fd_guard&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

[[noreturn]] void cannot_open(const cell* file) {
  cell f = *file;
  fire("access", "cannot-open", &f);
}

[[noreturn]] void refuse_refinement(const char* refinement, const cell* arg) {
  cell v = *arg, w;
  datatype::word_of_name(refinement, &w);
  set_type(&w, TYPE_REFINEMENT);
  fire("script", "invalid-refine-arg", &w, &v);
}

// A /part or /seek argument: an integer! (invalid-refine-arg for any other type).
i64 integer_arg(const char* refinement, const cell* arg) {
  if (type_of(arg) != TYPE_INTEGER) refuse_refinement(refinement, arg);
  return integer::get(arg);
}

// A byte count or offset on read: an integer! not below 0.
i64 byte_arg(const char* refinement, const cell* arg) {
  i64 n = integer_arg(refinement, arg);
  if (n < 0) {
    cell v = *arg;
    fire("script", "out-of-range", &v);
  }
  return n;
}

// The longest series a read may make.
constexpr u64 READ_LIMIT = SERIES_MAX_BYTES;

[[noreturn]] void too_big(const cell* file) {
  cell f = *file;
  (void)f;
  fire("script", "too-long");
}

bool write_all(int fd, const char* p, size_t n) {
  while (n > 0) {
    ssize_t k = ::write(fd, p, n);
    if (k < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += k;
    n -= static_cast<size_t>(k);
  }
  return true;
}

// Appends a cell to the block `blk` (rooted by the caller).
void append_cell(cell* blk, const cell* value) {
  series_buffer* b = buffer_of(series::node(blk));
  cell v = *value;
  cell* slot = memory::alloc_tail_cell(b);
  *slot = v;
}

// The length of the valid UTF-8 sequence at p (n bytes available), or 0.
u32 utf8_sequence(const u8* p, size_t n) {
  utf8::decoded d = utf8::decode(p, n);
  return utf8::well_formed(d) ? d.size : 0;
}

// A name from the platform as a file!. A name that is not valid UTF-8 still names its
// file: each byte outside a valid sequence is held as file::ESCAPED_BYTE + byte, which
// file::to_OS_path turns back into that byte.
void load_name(const std::string& name, cell* out) {
  const u8* p = reinterpret_cast<const u8*>(name.data());
  size_t n = name.size(), i = 0;
  while (i < n) {
    u32 len = utf8_sequence(p + i, n - i);
    if (!len) break;
    i += len;
  }
  if (i == n) {
    string::load_at(name.data(), static_cast<u32>(n), out, string::ENCODING_UTF8);
  } else {
    string::make_at_unit(out, static_cast<u32>(n), 2);
    for (i = 0; i < n;) {
      u32 len = utf8_sequence(p + i, n - i);
      i32 cp = 0;
      if (len) {
        i32 count = static_cast<i32>(len);
        cp = unicode::decode_utf8_char(p + i, &count);
      } else {
        cp = static_cast<i32>(file::ESCAPED_BYTE + p[i]);
        len = 1;
      }
      string::append_char(buffer_of(series::node(out)), static_cast<u32>(cp));
      i += len;
    }
  }
  set_type(out, TYPE_FILE);
}

void list_directory(const cell* file, const std::string& path, cell* out) {
  DIR* dir = ::opendir(path.c_str());
  if (!dir) cannot_open(file);
  std::vector<std::string> names;
  while (dirent* e = ::readdir(dir)) {
    std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    struct stat st;
    std::string full = path + (path.empty() || path.back() == '/' ? "" : "/") + name;
    if (::stat(full.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) name += '/';
    names.push_back(std::move(name));
  }
  ::closedir(dir);
  std::sort(names.begin(), names.end());
  *out = cell{TYPE_BLOCK, 0, memory::alloc_cells(static_cast<u32>(names.size()) + 1), 0};
  cell name{TYPE_UNSET, 0, 0, 0};
  collector::root_guard keep(&name);
  for (const std::string& n : names) {
    load_name(n, &name);
    append_cell(out, &name);
  }
}

// Splits a string at its line feeds into a block of strings (no final empty line).
void split_lines(const cell* text, cell* out) {
  cell src = *text;
  collector::root_guard keep_src(&src);
  *out = cell{TYPE_BLOCK, 0, memory::alloc_cells(16), 0};
  cell line{TYPE_UNSET, 0, 0, 0};
  collector::root_guard keep_line(&line);
  u32 n = static_cast<u32>(string::rs_length_q(&src));
  u32 start = 0;
  for (u32 i = 0; i <= n; i++) {
    bool end = i == n;
    if (!end && string::rs_abs_at(&src, series::index(&src) + i) != '\n') continue;
    if (end && start == n) break;
    cell from = src;
    series::index(&from) = series::index(&src) + start;
    string::make_at(&line, i - start);
    string::concatenate(&line, &from, static_cast<i32>(i - start), 0, false,
                        string::CONCAT_APPEND);
    append_cell(out, &line);
    start = i + 1;
  }
}

}  // namespace

cell* read_file(const cell* file_in, const cell* part, const cell* seek, bool binary,
                bool lines, cell* out) {
  cell file = *file_in;
  collector::root_guard keep_file(&file);
  collector::root_guard keep_out(out);
  std::string path = file::to_OS_path(&file);
  i64 limit = part ? byte_arg("part", part) : -1;
  i64 offset = seek ? byte_arg("seek", seek) : 0;
  struct stat st;
  if (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
    list_directory(&file, path, out);
    return out;
  }
  fd_guard fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0) cannot_open(&file);
  // The bytes go straight into a byte series. A regular file's size is known and bounded
  // before anything is allocated; a stream (a pipe, a device, /proc) is read to its end in
  // chunks, as is a file that reports size 0 (/proc). Either way the value holds the
  // bytes actually read.
  cell bytes{TYPE_UNSET, 0, 0, 0};
  collector::root_guard keep_bytes(&bytes);
  if (S_ISREG(st.st_mode) && st.st_size > 0) {
    if (offset > 0 && ::lseek(fd.get(), offset, SEEK_SET) < 0) cannot_open(&file);
    i64 size = st.st_size > offset ? st.st_size - offset : 0;
    if (limit >= 0 && limit < size) size = limit;
    if (static_cast<u64>(size) > READ_LIMIT) too_big(&file);
    bytes = cell{TYPE_BINARY, 0, memory::alloc_bytes(static_cast<u32>(size)), 0};
    u64 got = 0;
    while (got < static_cast<u64>(size)) {
      series_buffer* b = buffer_of(series::node(&bytes));  // read() allocates nothing
      ssize_t k = ::read(fd.get(), b->head() + got, static_cast<size_t>(size) - got);
      if (k < 0) {
        if (errno == EINTR) continue;
        cannot_open(&file);
      }
      if (k == 0) break;  // the file shrank
      got += static_cast<u64>(k);
    }
    series_buffer* b = buffer_of(series::node(&bytes));
    b->tail = b->offset + static_cast<u32>(got);
  } else {
    // A stream cannot seek: the offset's bytes are read and dropped.
    u64 skip = static_cast<u64>(offset);
    u64 want_total = limit >= 0 ? skip + static_cast<u64>(limit) : ~u64{0};
    std::string data;
    std::vector<char> chunk(65536);
    while (data.size() < want_total) {
      size_t want = static_cast<size_t>(std::min<u64>(chunk.size(), want_total - data.size()));
      ssize_t k = ::read(fd.get(), chunk.data(), want);
      if (k < 0) {
        if (errno == EINTR) continue;
        cannot_open(&file);
      }
      if (k == 0) break;
      // An endless stream (/dev/zero) stops at the series limit.
      if (data.size() + static_cast<u64>(k) > READ_LIMIT + skip) too_big(&file);
      try {
        data.append(chunk.data(), static_cast<size_t>(k));
      } catch (const std::bad_alloc&) {
        fire_no_memory();
      }
    }
    size_t from = static_cast<size_t>(std::min<u64>(skip, data.size()));
    size_t n = data.size() - from;
    bytes = cell{TYPE_BINARY, 0, memory::alloc_bytes(static_cast<u32>(n)), 0};
    series_buffer* b = buffer_of(series::node(&bytes));
    std::memcpy(b->head(), data.data() + from, n);
    b->tail = b->offset + static_cast<u32>(n);
  }
  return bytes_to_value(&bytes, binary, lines, out, &file);
}

bool ascii_q(const char* p, size_t n) {
  size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    u64 w;
    std::memcpy(&w, p + i, 8);
    if (w & 0x8080808080808080ull) return false;
  }
  for (; i < n; i++)
    if (static_cast<u8>(p[i]) & 0x80) return false;
  return true;
}

size_t to_lf(char* dst, const char* src, size_t n, bool* after_cr) {
  size_t k = 0, i = 0;
  if (*after_cr && n > 0 && src[0] == '\n') i = 1;  // the LF of a CR LF cut between chunks
  *after_cr = false;
  while (i < n) {
    const void* cr = std::memchr(src + i, '\r', n - i);
    size_t run = cr ? static_cast<size_t>(static_cast<const char*>(cr) - (src + i)) : n - i;
    if (dst + k != src + i) std::memmove(dst + k, src + i, run);
    k += run;
    i += run;
    if (i >= n) break;
    dst[k++] = '\n';
    i++;
    if (i < n && src[i] == '\n') i++;
    else if (i == n) *after_cr = true;
  }
  return k;
}

cell* bytes_to_value(const cell* bytes_in, bool binary, bool lines, cell* out,
                     const cell* source) {
  cell bytes = *bytes_in;
  collector::root_guard keep_bytes(&bytes);
  collector::root_guard keep_out(out);
  if (binary) {
    *out = bytes;
    return out;
  }
  series_buffer* b = buffer_of(series::node(&bytes));
  if (lines && b->used_units() == 0) lines = false;  // nothing read gives an empty string
  out->header = TYPE_UNSET;
  if (ascii_q(b->head(), b->used_bytes())) {
    // ASCII is its own one-unit text: the line ends are mended in place and the bytes
    // become the string, with no second copy.
    bool after_cr = false;
    size_t k = to_lf(b->head(), b->head(), b->used_bytes(), &after_cr);
    b->tail = b->offset + static_cast<u32>(k);
    *out = cell{TYPE_STRING, 0, series::node(&bytes), 0};
  } else {
    // The loader holds collection off while it reads from the arena.
    u32 node = 0;
    try {
      node = unicode::load_utf8_buffer(reinterpret_cast<const u8*>(b->head()),
                                       b->used_units(), 0, nullptr, true);
    } catch (const thrown& t) {
      // The bytes alone do not say where they came from: the error names the source first.
      if (!source || t.level != THROW_ERROR || !t.id || std::strcmp(t.id, "invalid-utf8") != 0)
        throw;
      cell where = t.argc > 0 ? t.args[0] : cell{TYPE_NONE, 0, 0, 0};
      cell from = *source;
      fire("access", "invalid-utf8", &from, &where);
    }
    *out = cell{TYPE_STRING, 0, node, 0};
  }
  if (lines) {
    cell text = *out;
    split_lines(&text, out);
  }
  return out;
}

namespace {

// Appends a value's bytes: a string-like value as UTF-8 (at most `limit` characters when
// limit >= 0), a binary! as its bytes (at most `limit`), any other value molded.
void append_bytes(std::string& bytes, const cell* value_in, i64 limit) {
  cell value = *value_in;
  collector::root_guard keep(&value);
  u32 tv = type_of(&value);
  if (tv == TYPE_BINARY) {
    series_buffer* b = buffer_of(series::node(&value));
    u32 used = b->used_units();
    u32 head = series::index(&value) < used ? series::index(&value) : used;
    u64 n = used - head;
    if (limit >= 0 && static_cast<u64>(limit) < n) n = static_cast<u64>(limit);
    bytes.append(b->head() + head, n);
    return;
  }
  if (string::text_q(tv)) {
    bytes += binary::utf8_of(&value, limit);
    return;
  }
  cell text{TYPE_UNSET, 0, 0, 0};
  collector::root_guard keep_text(&text);
  string::make_at(&text, 64);
  actions::mold(&value, &text);
  bytes += binary::utf8_of(&text, limit);
}

}  // namespace

void write_stdout(const cell* file_in, const cell* value_in, const cell* part,
                  const cell* seek, bool binary, bool append, bool lines) {
  cell file = file_in ? *file_in : cell{TYPE_NONE, 0, 0, 0};
  cell value = *value_in;
  collector::root_guard keep_file(&file);
  collector::root_guard keep_value(&value);
  i64 limit = part ? integer_arg("part", part) : -1;
  if (limit < 0 && part) return;  // a negative part writes nothing
  i64 offset = seek ? byte_arg("seek", seek) : -1;
  (void)binary;  // text is written as UTF-8 with LF line ends either way
  std::string bytes;
  u32 tv = type_of(&value);
  if (lines && (tv == TYPE_BLOCK || tv == TYPE_PAREN)) {
    for (u32 i = series::index(&value);; i++) {
      series_buffer* b = buffer_of(series::node(&value));
      if (i >= b->used_units()) break;
      cell e = b->cells()[i];
      append_bytes(bytes, &e, -1);
      bytes += '\n';
    }
  } else {
    append_bytes(bytes, &value, limit);
    if (lines) bytes += '\n';
  }
  if (type_of(&file) == TYPE_NONE) {
    std::fflush(stdout);
    if (!write_all(STDOUT_FILENO, bytes.data(), bytes.size())) {
      cell none{TYPE_NONE, 0, 0, 0};
      cannot_open(&none);
    }
    return;
  }
  std::string path = file::to_OS_path(&file);
  int flags = O_WRONLY | O_CREAT | O_CLOEXEC;
  if (append) flags |= O_APPEND;
  else if (offset < 0) flags |= O_TRUNC;
  fd_guard fd(::open(path.c_str(), flags, 0666));
  if (fd.get() < 0) cannot_open(&file);
  if (offset >= 0 && !append && ::lseek(fd.get(), offset, SEEK_SET) < 0) cannot_open(&file);
  if (!write_all(fd.get(), bytes.data(), bytes.size())) cannot_open(&file);
}

i64 size_of(const cell* file) {
  std::string path = file::to_OS_path(file);
  // Non-blocking, so that opening a FIFO with no writer does not wait for one.
  fd_guard fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (fd.get() < 0) return -1;
  struct stat st;
  if (::fstat(fd.get(), &st) != 0 || S_ISDIR(st.st_mode)) return -1;
  return st.st_size;
}

bool delete_file(const cell* file) {
  std::string path = file::to_OS_path(file);
  if (dir_q(file)) return ::rmdir(path.c_str()) == 0;
  return ::unlink(path.c_str()) == 0;
}

bool rename_file(const cell* file, const cell* new_name) {
  std::string from = file::to_OS_path(file);
  std::string to = file::to_OS_path(new_name);
  // A bare new name stays in the old name's directory.
  if (to.find('/') == std::string::npos) {
    std::string probe = from;
    while (!probe.empty() && probe.back() == '/') probe.pop_back();
    size_t slash = probe.rfind('/');
    if (slash != std::string::npos) to = probe.substr(0, slash + 1) + to;
  }
  while (to.size() > 1 && to.back() == '/') to.pop_back();
  while (from.size() > 1 && from.back() == '/') from.pop_back();
  // An existing target is refused, never replaced. A file system that cannot do that
  // atomically gets a test first.
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
    return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
  struct stat st;
  if (::lstat(to.c_str(), &st) == 0) return false;
  return ::rename(from.c_str(), to.c_str()) == 0;
}

bool make_dir(const cell* file) {
  std::string path = file::to_OS_path(file);
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return ::mkdir(path.c_str(), 0777) == 0;
}

bool exists_q(const cell* file) {
  std::string path = file::to_OS_path(file);
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

bool file_modified_time(const cell* file, i64* seconds, i64* nanoseconds) {
  std::string path = file::to_OS_path(file);
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return false;
  if (dir_q(file) && !S_ISDIR(st.st_mode)) return false;
  *seconds = st.st_mtim.tv_sec;
  if (nanoseconds) *nanoseconds = st.st_mtim.tv_nsec;
  return true;
}

i32 open_file(const std::string& path, i32 flags) {
  if (path.find('\0') != std::string::npos) return -1;
  return ::open(path.c_str(), flags | O_CLOEXEC);
}

i64 file_size_q(i32 handle) {
  struct stat st;
  if (::fstat(handle, &st) != 0) return -1;
  return st.st_size;
}

void close_file(i32 handle) {
  if (handle >= 0) ::close(handle);
}

bool dir_q(const cell* file) {
  i32 n = string::rs_length_q(file);
  if (n == 0) return false;
  u32 h = series::index(file);
  u32 last = string::rs_abs_at(file, h + n - 1);
  if (last == '/' || last == '\\') return true;
  // "." or ".." as the whole name or after a separator.
  auto at = [&](i32 i) { return string::rs_abs_at(file, h + static_cast<u32>(i)); };
  i32 i = n - 1;
  i32 dots = 0;
  while (i >= 0 && at(i) == '.' && dots < 3) {
    dots++;
    i--;
  }
  return (dots == 1 || dots == 2) && (i < 0 || at(i) == '/' || at(i) == '\\');
}

}  // namespace vyr::simple_io
