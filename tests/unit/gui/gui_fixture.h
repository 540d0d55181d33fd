// A GUI backend started on the headless display for one test, with a "Plain" window class,
// and Vyr source run in the booted environment.
#pragma once
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "boot/environment.h"
#include "gui/backend.h"
#include "runtime/collector.h"
#include "tests/unit/fixture.h"

namespace vyr::test {

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
