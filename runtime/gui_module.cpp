// Loading the GUI module with dlopen on first use.
#include "runtime/gui_module.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "runtime/fire.h"

namespace vyr::gui_module {

namespace {
bool is_loaded = false;
}

hooks& table() {
  static hooks h;
  return h;
}

std::string module_path() {
  const char* env = std::getenv("VYR_GUI_MODULE");
  if (env && *env) return env;
  char buf[4096];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return "vyr-gui.so";
  std::string exe(buf, size_t(n));
  size_t slash = exe.rfind('/');
  return (slash == std::string::npos ? std::string() : exe.substr(0, slash + 1)) + "vyr-gui.so";
}

bool load(std::string* error) {
  if (is_loaded) return true;
  std::string path = module_path();
  // RTLD_GLOBAL: the module's symbols stay reachable for the module's own later lookups;
  // its references to the runtime resolve against the executable's exported symbols.
  void* h = dlopen(path.c_str(), RTLD_NOW | RTLD_GLOBAL);
  if (!h) {
    if (error) *error = dlerror();
    return false;
  }
  auto init = reinterpret_cast<void (*)()>(dlsym(h, "vyr_gui_module_init"));
  if (!init) {
    if (error) *error = path + ": no vyr_gui_module_init";
    dlclose(h);
    return false;
  }
  init();
  is_loaded = true;
  return true;
}

bool loaded() { return is_loaded; }

void require() {
  std::string why;
  if (load(&why)) return;
  std::fprintf(stderr, "vyr: the GUI module could not be loaded: %s\n", why.c_str());
  fire("internal", "not-done");
}

bool send_event_os(const cell* event, bool queued) {
  require();
  return table().send_event && table().send_event(event, queued);
}

}  // namespace vyr::gui_module

namespace vyr::gui_module {

int headless_start_dpi(const char* screens) {
  if (!screens || !*screens) return 96;
  std::string_view s(screens);
  size_t i = 0;
  auto num = [&](long long& v) {
    size_t start = i;
    v = 0;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9' && i - start < 7) v = v * 10 + (s[i++] - '0');
    return i != start && !(i < s.size() && s[i] >= '0' && s[i] <= '9');
  };
  auto offset = [&]() {
    if (i >= s.size() || (s[i] != '+' && s[i] != '-')) return false;
    ++i;
    if (i < s.size() && s[i] == '-') ++i;
    long long v;
    return num(v);
  };
  int first = 0;
  while (i < s.size()) {
    long long w, h, dpi;
    if (!num(w) || i >= s.size() || s[i++] != 'x' || !num(h)) return 96;
    if (!offset() || !offset()) return 96;
    if (i >= s.size() || s[i++] != '@' || !num(dpi)) return 96;
    if (w <= 0 || h <= 0 || w > 100000 || h > 100000 || dpi < 24 || dpi > 1920) return 96;
    if (!first) first = int(dpi);
    if (i < s.size() && (s[i++] != ',' || i == s.size())) return 96;
  }
  return first ? first : 96;
}

}  // namespace vyr::gui_module
