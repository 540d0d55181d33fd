// Linux services behind the platform interface. Every failure the caller cannot see in a
// result is raised; nothing here returns made-up data.
#include "runtime/platform.h"

#include <errno.h>
#include <sys/random.h>
#include <time.h>
#include <unistd.h>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/utf8.h"
#include "runtime/fire.h"
#include "runtime/memory.h"

extern char** environ;

namespace vyr::platform {

namespace {

bool terminal = false;
bool initialised = false;

void write_all(int fd, const char* p, size_t n) {
  while (n > 0) {
    ssize_t w = ::write(fd, p, n);
    if (w < 0) {
      if (errno == EINTR) continue;
      return;  // a closed or full output loses the text, as a console write would
    }
    p += w;
    n -= static_cast<size_t>(w);
  }
}

// Copies UTF-8 text, each ill-formed sequence (overlong, surrogate, past U+10FFFF,
// truncated) becoming U+FFFD.
std::string valid_utf8(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  const u8* p = reinterpret_cast<const u8*>(s.data());
  for (size_t i = 0; i < s.size();) {
    utf8::decoded d = utf8::next_well_formed(p + i, s.size() - i);
    if (d.status == utf8::outcome::ok) out.append(s.substr(i, d.size));
    else utf8::append(out, utf8::REPLACEMENT);
    i += d.size;
  }
  return out;
}

bool valid_env_name(std::string_view name) {
  return !name.empty() && name.find('=') == std::string_view::npos &&
         name.find('\0') == std::string_view::npos;
}

void fire_text(std::string& text, bool new_line) {
  if (new_line) text.push_back('\n');
  fire_text_print_hooks(text, 0);
}

// Code units of any width as UTF-8 to the print hooks.
template <class Unit>
void print_units(const Unit* text, size_t length, bool new_line) {
  std::string out;
  out.reserve(length + 1);
  for (size_t i = 0; i < length; i++) utf8::append_scalar(out, text[i]);
  fire_text(out, new_line);
}

}  // namespace

void init() {
  if (initialised) return;
  initialised = true;
  terminal = ::isatty(STDOUT_FILENO) == 1;
  unregister_print_hooks(nullptr, stdout_text_hook);
  register_print_hooks(nullptr, stdout_text_hook);
}

// ---- console output ----

void stdout_text_hook(std::string_view utf8, u32 mode) {
  write_all(STDOUT_FILENO, utf8.data(), utf8.size());
}

bool stdout_is_terminal() { return terminal; }

void print_text(std::string_view utf8, bool new_line) {
  if (!new_line) {
    fire_text_print_hooks(utf8, 0);
    return;
  }
  std::string text(utf8);
  fire_text(text, true);
}

void print_latin1(const u8* text, size_t length, bool new_line) {
  print_units(text, length, new_line);
}

void print_ucs2(const u16* text, size_t length, bool new_line) {
  print_units(text, length, new_line);
}

void print_ucs4(const u32* text, size_t length, bool new_line) {
  print_units(text, length, new_line);
}

void print_ascii(const char* text) {
  if (text) fire_text_print_hooks(text, 0);
}

void print_integer(i32 value) {
  char b[16];
  fire_text_print_hooks(std::string_view(b, std::to_chars(b, b + sizeof b, value).ptr - b), 0);
}

void print_hex_byte(u8 value) {
  char b[8];
  int n = std::snprintf(b, sizeof b, "%02X", static_cast<unsigned>(value));
  fire_text_print_hooks(std::string_view(b, static_cast<size_t>(n)), 0);
}

void print_hex(u32 value) {
  char b[16];
  int n = std::snprintf(b, sizeof b, "%08X", static_cast<unsigned>(value));
  fire_text_print_hooks(std::string_view(b, static_cast<size_t>(n)), 0);
}

// %g by to_chars: the same digits and layout as printf, whatever the C locale says.
void print_float(double value) {
  char b[64];
  auto r = std::to_chars(b, b + sizeof b, value, std::chars_format::general, 16);
  fire_text_print_hooks(std::string_view(b, static_cast<size_t>(r.ptr - b)), 0);
}

void print_float32(float value) {
  char b[64];
  auto r = std::to_chars(b, b + sizeof b, value, std::chars_format::general, 7);
  fire_text_print_hooks(std::string_view(b, static_cast<size_t>(r.ptr - b)), 0);
}

// ---- clock ----

double time_of_day(i64 unix_seconds, i64 nanoseconds, bool precise) {
  i64 s = unix_seconds % 86400;
  if (s < 0) s += 86400;
  double t = static_cast<double>(s);
  if (precise) t += static_cast<double>(nanoseconds / 100) * 1e-7;
  return t;
}

double get_time(bool precise) {
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  return time_of_day(ts.tv_sec, ts.tv_nsec, precise);
}

u32 pack_zone(int offset_minutes) {
  int hours = offset_minutes / 60;  // toward zero
  int rest = offset_minutes % 60;
  u32 h = static_cast<u32>(hours < 0 ? -hours : hours) & 0xF;
  if (offset_minutes < 0) h |= 0x10;
  u32 quarters = static_cast<u32>(rest < 0 ? -rest : rest) / 15;
  return (h << 2) | quarters;
}

u32 pack_date(int year, int month, int day, int offset_minutes) {
  return (static_cast<u32>(year) << 17) | (static_cast<u32>(month) << 12) |
         (static_cast<u32>(day) << 7) | pack_zone(offset_minutes);
}

int zone_offset_minutes() {
  time_t now = ::time(nullptr);
  tm local{};
  localtime_r(&now, &local);
  return static_cast<int>(local.tm_gmtoff / 60);
}

u32 get_date(bool utc) {
  time_t now = ::time(nullptr);
  tm t{};
  if (utc) gmtime_r(&now, &t);
  else localtime_r(&now, &t);
  int offset = utc ? 0 : static_cast<int>(t.tm_gmtoff / 60);
  return pack_date(t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, offset);
}

// ---- environment ----

std::optional<std::string> get_env(std::string_view name) {
  if (!valid_env_name(name)) return std::nullopt;
  const char* v = ::getenv(std::string(name).c_str());
  if (!v) return std::nullopt;
  return valid_utf8(v);
}

bool set_env(std::string_view name, std::optional<std::string_view> value) {
  if (!valid_env_name(name)) return false;
  std::string n(name);
  if (!value) return ::unsetenv(n.c_str()) == 0;
  if (value->find('\0') != std::string_view::npos) return false;
  return ::setenv(n.c_str(), std::string(*value).c_str(), 1) == 0;
}

std::vector<std::pair<std::string, std::string>> list_env() {
  std::vector<std::pair<std::string, std::string>> out;
  for (char** e = environ; e && *e; e++) {
    std::string_view entry(*e);
    size_t eq = entry.find('=');
    if (eq == 0 || eq == std::string_view::npos) continue;
    out.emplace_back(valid_utf8(entry.substr(0, eq)), valid_utf8(entry.substr(eq + 1)));
  }
  return out;
}

// ---- current directory ----

std::optional<std::string> query_current_dir() {
  std::string buf(256, '\0');
  for (;;) {
    if (::getcwd(buf.data(), buf.size())) {
      buf.resize(std::strlen(buf.c_str()));
      return valid_utf8(buf);
    }
    if (errno != ERANGE || buf.size() > (1u << 20)) return std::nullopt;
    buf.resize(buf.size() * 2);
  }
}

bool set_current_dir(std::string_view path) {
  if (path.empty() || path.find('\0') != std::string_view::npos) return false;
  return ::chdir(std::string(path).c_str()) == 0;
}

// ---- sleeping ----

u32 sleep_milliseconds(double seconds) {
  if (std::isnan(seconds)) {
    cell arg{TYPE_FLOAT, 0, 0, 0};
    set_cell_float(&arg, seconds);
    fire("script", "invalid-arg", &arg);
  }
  double ms = seconds * 1000.0;
  if (!(ms >= 1.0)) return 1;
  if (ms >= 2147483647.0) return 0x7FFFFFFF;
  return static_cast<u32>(ms);
}

void sleep(double seconds) {
  u32 ms = sleep_milliseconds(seconds);
  timespec want{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
  timespec rest{};
  while (::nanosleep(&want, &rest) != 0 && errno == EINTR) want = rest;
}

// ---- pages and random bytes ----

u32 allocate_pages(u64 size, bool executable) {
  // Nothing here generates machine code, so a writable page is never made executable.
  if (executable) fire("internal", "not-done");
  if (size > (u64{1} << 32)) fire_no_memory();  // more than the arena holds
  return memory::allocate_virtual(size);
}

void free_pages(u32 area) { memory::free_virtual(area); }

void secure_random_bytes(void* out, size_t n) {
  char* p = static_cast<char*>(out);
  size_t done = 0;
  while (done < n) {
    ssize_t got = ::getrandom(p + done, n - done, 0);
    if (got < 0) {
      if (errno == EINTR) continue;
      std::memset(out, 0, n);
      fire("internal", "feature-na");
    }
    done += static_cast<size_t>(got);
  }
}

}  // namespace vyr::platform
