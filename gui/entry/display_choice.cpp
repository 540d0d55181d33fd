// The choice of front end and display.
#include "gui/entry/display_choice.h"

#include <cstdlib>

#include "boot/construction.h"
#include "gui/win/screens.h"

namespace vyr::gui_module {

display_choice_t choose(const display_inputs& in) {
  display_choice_t c;
  c.front = front_end::text;
  c.display = c.front == front_end::gui ? display_kind::x11 : display_kind::headless;
  if (in.vyr_display == "x11") c.display = display_kind::x11;
  else if (in.vyr_display == "headless") c.display = display_kind::headless;
  return c;
}

bool cli_switch(const std::vector<std::string>& arguments) {
  for (size_t i = 1; i < arguments.size(); i++) {
    const std::string& a = arguments[i];
    if (a == "--" || a.compare(0, 2, "--") != 0) break;
    if (a == "--cli") return true;
  }
  return false;
}

display_choice_t display_choice() {
  auto env = [](const char* name) {
    const char* v = std::getenv(name);
    return std::string_view(v ? v : "");
  };
  display_inputs in;
  in.cli = cli_switch(boot::arguments());
  in.console = env("VYR_CONSOLE");
  in.display = env("DISPLAY");
  in.vyr_display = env("VYR_DISPLAY");
  display_choice_t c = choose(in);
  c.screens = env("VYR_HEADLESS_SCREENS");
  return c;
}

u32 headless_start_dpi(std::string_view screens) {
  auto parsed = win::screens::parse(screens);
  return parsed ? parsed->front().dpi : 96;
}

}  // namespace vyr::gui_module
