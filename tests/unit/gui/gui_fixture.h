// A GUI backend started on the headless display for one test, with a "Plain" window class,
// and Vyr source run in the booted environment.
#pragma once
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <functional>
#include <string>

#include "boot/environment.h"
#include "gui/backend/backend.h"
#include "gui_entry/module.h"
#include "gui/backend/events.h"
#include "gui/module.h"
#include "gui/win/headless/display.h"
#include "runtime/collector.h"
#include "runtime/host/clipboard.h"
#include "tests/unit/fixture.h"
#include "gui/backend/displays.h"

namespace vyr::test {

// The GUI module as loading it leaves it, on a headless display of `screens`: the environment
// built, the backend started, the window classes registered, the module's hooks in place and
// the module counted as loaded. A display installed before (a test's X server) is kept;
// the headless display's record is then null.
inline win::headless_display* start_gui_module(const char* screens = "1920x1080+0+0@96") {
  ensure_runtime();
  boot::build_environment();
  setenv("VYR_HEADLESS_SCREENS", screens, 1);
  gui::init();
  gui::register_classes();
  gui_module::adopt(vyr_gui_module_init);
  return dynamic_cast<win::headless_display*>(win::current_display());
}

inline void stop_gui_module() {
  gui::shutdown();
  unsetenv("VYR_HEADLESS_SCREENS");
}

// Runs Vyr source in the booted environment; an error it throws fails the test, naming the
// source, and gives unset.
inline cell run_reporting(const std::string& text) {
  cell r{TYPE_UNSET, 0, 0, 0};
  collector::root_guard g(&r);
  try {
    boot::do_source(text.data(), u32(text.size()), false, &r);
  } catch (thrown& t) {
    ADD_FAILURE() << text << ": " << (t.category ? t.category : "") << " " << (t.id ? t.id : "");
  }
  return r;
}

// A clipboard shared with other programs, whose requests a waiting script answers between
// its sleeps: `look` runs at each such turn, a moment inside the wait.
class looking_store : public clipboard::store {
 public:
  explicit looking_store(std::function<void()> look) : look_(std::move(look)) {
    if (::pipe(fds_) != 0) fds_[0] = fds_[1] = -1;
  }
  ~looking_store() override {
    for (int fd : fds_)
      if (fd >= 0) ::close(fd);
  }
  bool get(clipboard::content*) override { return false; }
  bool set(const clipboard::content&) override { return false; }
  int serve_fd() override { return fds_[0]; }   // never readable: no request comes
  void serve() override { look_(); }

 private:
  std::function<void()> look_;
  int fds_[2];
};

class headless_gui : public ::testing::Test {
 protected:
  void SetUp() override { ensure_runtime(); }
  void TearDown() override {
    gui::shutdown();
    unsetenv("VYR_HEADLESS_SCREENS");
  }
  void start(const char* screens = "1000x1000+0+0@96") {
    gui::shutdown();
    setenv("VYR_HEADLESS_SCREENS", screens, 1);
    gui::init();
    win::WNDCLASSEX wc;
    wc.lpszClassName = "Plain";
    wc.lpfnWndProc = win::DefWindowProc;
    win::RegisterClassEx(wc);
  }
  cell run(const std::string& text) { return run_in_environment(text); }
};

}  // namespace vyr::test
