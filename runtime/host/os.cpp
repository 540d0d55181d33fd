// Environment, command line and system description on Linux. Text from the system that is
// not valid UTF-8 is loaded as the UTF-8 loader takes it (an undecodable byte as its code).
#include "runtime/host/os.h"

#include <sys/utsname.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "runtime/collector.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/context.h"
#include "runtime/datatypes/map.h"
#include "runtime/datatypes/object.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/tuple.h"
#include "runtime/datatypes/word.h"
#include "runtime/datatypes/series.h"
#include "runtime/fire.h"
#include "runtime/datatypes/cells.h"
#include "runtime/platform.h"

extern char** environ;

namespace vyr::os {

namespace {

bool valid_name(const std::string& name) {
  return !name.empty() && name.find('=') == std::string::npos &&
         name.find('\0') == std::string::npos;
}

void append_text(u32 block, const std::string& text) {
  cell s{TYPE_UNSET, 0, 0, 0};
  collector::root_guard keep(&s);
  string::load_at(text.data(), static_cast<u32>(text.size()), &s, string::ENCODING_UTF8);
  cells::append(block, &s);
}

std::string read_all(const char* path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

void add_field(u32 ctx, const char* name, const cell* value) {
  cell v = *value;
  collector::root_guard keep(&v);
  cell w;
  w = word::intern(name);
  _context::put(ctx, &w, &v);
}

}  // namespace

bool set_env(const std::string& name, const std::string* value) {
  if (!valid_name(name)) return false;
  if (!value) return ::unsetenv(name.c_str()) == 0;
  if (value->find('\0') != std::string::npos) return false;
  return ::setenv(name.c_str(), value->c_str(), 1) == 0;
}

bool get_env(const std::string& name, std::string* value) {
  if (!valid_name(name)) return false;
  const char* v = ::getenv(name.c_str());
  if (!v) return false;
  *value = v;
  return true;
}

std::pair<std::string, std::string> split_env_entry(const std::string& entry) {
  size_t eq = entry.empty() ? std::string::npos : entry.find('=', 1);
  if (eq == std::string::npos) return {entry, ""};
  return {entry.substr(0, eq), entry.substr(eq + 1)};
}

cell* list_env(cell* out) {
  std::vector<std::string> entries;
  for (char** e = environ; e && *e; e++) entries.emplace_back(*e);
  cell pairs{TYPE_UNSET, 0, 0, 0};
  collector::root_guard keep(&pairs);
  cells::make_block(&pairs, static_cast<u32>(entries.size() * 2 + 1));
  for (const std::string& e : entries) {
    auto [name, value] = split_env_entry(e);
    append_text(series::node(&pairs), name);
    append_text(series::node(&pairs), value);
  }
  cell m{TYPE_UNSET, 0, 0, 0};
  collector::root_guard keep_m(&m);
  map::make_at(&m, &pairs, 0);
  *out = m;
  return out;
}

std::string join_command_line(const std::vector<std::string>& args) {
  std::string line;
  for (size_t i = 0; i < args.size(); i++) {
    const std::string& a = args[i];
    if (i) line += ' ';
    bool quote = a.empty() || a.find_first_of(" \t\"") != std::string::npos;
    if (quote) line += '"';
    line += a;
    if (quote) line += '"';
  }
  return line;
}

std::string command_line() {
  std::string raw = read_all("/proc/self/cmdline");
  std::vector<std::string> args;
  size_t start = 0;
  for (size_t i = 0; i < raw.size(); i++)
    if (raw[i] == '\0') {
      args.push_back(raw.substr(start, i - start));
      start = i + 1;
    }
  return join_command_line(args);
}

std::string os_name_from(const std::string& os_release) {
  std::istringstream in(os_release);
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("PRETTY_NAME=", 0) != 0) continue;
    std::string v = line.substr(12);
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
      v = v.substr(1, v.size() - 2);
    if (!v.empty()) return v;
  }
  return "Linux";
}

const char* arch_name(const std::string& m) {
  if (m == "x86_64" || m == "amd64") return "x86-64";
  if (m == "i386" || m == "i486" || m == "i586" || m == "i686") return "x86-32";
  if (m == "aarch64" || m == "arm64") return "ARM64";
  if (m.rfind("arm", 0) == 0) return "ARM";
  if (m == "ia64") return "IA-64";
  return "Unknown";
}

void kernel_version(const std::string& release, u8 version[3], i32* build) {
  version[0] = version[1] = version[2] = 0;
  *build = 0;
  size_t i = 0;
  for (int part = 0; part < 3 && i < release.size(); part++) {
    if (part > 0) {
      if (release[i] != '.') break;
      i++;
    }
    u64 n = 0;
    bool digits = false;
    while (i < release.size() && release[i] >= '0' && release[i] <= '9') {
      n = std::min<u64>(n * 10 + static_cast<u64>(release[i] - '0'), 1000000);
      i++;
      digits = true;
    }
    if (!digits) break;
    version[part] = static_cast<u8>(n > 255 ? 255 : n);
  }
  // The build: the number that follows, after one separator ("-", "+", "_" or ".").
  if (i < release.size() && (release[i] == '-' || release[i] == '.' || release[i] == '+' ||
                             release[i] == '_'))
    i++;
  u64 n = 0;
  while (i < release.size() && release[i] >= '0' && release[i] <= '9') {
    n = std::min<u64>(n * 10 + static_cast<u64>(release[i] - '0'), 0x7FFFFFFF);
    i++;
  }
  *build = static_cast<i32>(n);
}

cell* os_info(cell* out) {
  struct utsname u{};
  ::uname(&u);
  cell obj{TYPE_UNSET, 0, 0, 0};
  collector::root_guard keep(&obj);
  object::make_at(&obj, 8);
  u32 ctx = object::context(&obj);
  collector::node_guard keep_ctx(&ctx);
  std::string name = os_name_from(read_all("/etc/os-release"));
  cell v{TYPE_UNSET, 0, 0, 0};
  collector::root_guard keep_v(&v);
  string::load_at(name.data(), static_cast<u32>(name.size()), &v, string::ENCODING_UTF8);
  add_field(ctx, "name", &v);
  v = word::intern(arch_name(u.machine));
  add_field(ctx, "arch", &v);
  u8 version[3];
  i32 build;
  kernel_version(u.release, version, &build);
  tuple::make_at(&v, version, 3);
  add_field(ctx, "version", &v);
  v = cell{TYPE_INTEGER, 0, static_cast<u32>(build), 0};
  add_field(ctx, "build", &v);
  *out = obj;
  return out;
}

void expect_type(const cell* value, u32 type) {
  if (type_of(value) == type) return;
  cell v = *value;
  fire("script", "invalid-arg", &v);
}

}  // namespace vyr::os
