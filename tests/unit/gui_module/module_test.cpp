// The GUI module through the runtime's loader: the shared module is opened, binds to this
// program's runtime and installs its hooks.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "runtime/datatypes/event.h"
#include "gui_entry/module.h"
#include "runtime/api/platform_routines.h"
#include "runtime/natives/host.h"
#include "tests/unit/fixture.h"

namespace vyr::test {

TEST(gui_module, AMissingModuleIsReportedAndLeavesTheHooksEmpty) {
  ensure_runtime();
  setenv("VYR_GUI_MODULE", "/nonexistent/vyr-gui.so", 1);
  std::string why;
  EXPECT_FALSE(gui_module::load(&why));
  EXPECT_NE(why.find("nonexistent"), std::string::npos);
  EXPECT_FALSE(gui_module::loaded());
  EXPECT_EQ(event::native_field, nullptr);
  // A native event read without the module answers none.
  cell e, out;
  event::make_native_at(&e, event::KEY, 1, 'a');
  EXPECT_EQ(type_of(event::get_field(&e, event::F_KEY, &out)), u32(TYPE_NONE));
  unsetenv("VYR_GUI_MODULE");
}

TEST(gui_module, TheModuleLoadsOnceAndInstallsItsHooks) {
  ensure_runtime();
  setenv("VYR_GUI_MODULE", VYR_GUI_MODULE_PATH, 1);
  std::string why;
  ASSERT_TRUE(gui_module::load(&why)) << why;
  EXPECT_TRUE(gui_module::load());
  EXPECT_NE(event::native_field, nullptr);
  EXPECT_NE(natives::wait_hook, nullptr);
  ASSERT_NE(gui_module::table().send_event, nullptr);
  // Code for every platform routine the runtime has a stub for, and for gui-init.
  ASSERT_NE(gui_module::table().platform_routines, nullptr);
  for (u32 i = 0; i < gui_module::platform_routine_count; i++)
    EXPECT_NE(gui_module::table().platform_routines[i], nullptr) << i;
  EXPECT_NE(gui_module::table().gui_init, nullptr);
  // Through the module: a record no dispatch holds reads none; a synthetic event with
  // no face goes nowhere.
  cell e, out;
  event::make_native_at(&e, event::KEY, 7, 'a');
  EXPECT_EQ(type_of(event::get_field(&e, event::F_KEY, &out)), u32(TYPE_NONE));
  cell s{TYPE_EVENT | event::SYNTHETIC, event::KEY, 0, 'a'};
  EXPECT_FALSE(gui_module::table().send_event(&s, false));
  EXPECT_FALSE(gui_module::send_event_os(&s, true));
  unsetenv("VYR_GUI_MODULE");
}

}  // namespace vyr::test
