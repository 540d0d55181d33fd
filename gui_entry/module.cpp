// Loading the GUI module with dlopen on first use.
#include "gui_entry/module.h"

#include "boot/runtime_error.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

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
  auto init = reinterpret_cast<entry_fn>(dlsym(h, "vyr_gui_module_init"));
  if (!init) {
    if (error) *error = path + ": no vyr_gui_module_init";
    dlclose(h);
    return false;
  }
  if (!init(&host_api())) {
    if (error) *error = path + ": built for a newer vyr";
    dlclose(h);
    return false;
  }
  is_loaded = true;
  // From now on the runtime's fatal report shows in a message box too.
  runtime_error::report_box = [](const char* report) {
    if (table().error_box) table().error_box("Vyr App Error", report);
  };
  return true;
}

bool loaded() { return is_loaded; }

void adopt(entry_fn entry) {
  entry(&host_api());
  is_loaded = true;
}

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
