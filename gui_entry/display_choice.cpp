// The choice of front end and display.
#include "gui_entry/display_choice.h"

#include <cstdlib>

#include "boot/construction.h"
#include "gui_entry/module.h"
#include "base/screens.h"

namespace vyr::gui_module {

display_choice_t choose(const display_inputs& in) {
  display_choice_t c;
  bool headless = in.vyr_display == "headless";
  bool x11 = in.vyr_display == "x11" || (!in.display.empty() && !headless);
  if (!in.cli && (in.console == "gui" || (!in.display.empty() && !headless))) {
    c.front = front_end::gui;
    c.display = x11 ? display_kind::x11 : display_kind::headless;
    return c;
  }
  c.front = front_end::text;
  c.display = in.vyr_display == "x11" ? display_kind::x11 : display_kind::headless;
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
  c.input = env("VYR_HEADLESS_INPUT");
  c.blink = env("VYR_HEADLESS_BLINK");
  return c;
}

bool gui_console() {
  display_choice_t c = display_choice();
  if (c.front != front_end::gui) return false;
  if (c.display == display_kind::headless) return true;
  return loaded() && table().real_display && table().real_display();
}

std::optional<i32> headless_blink_ms(std::string_view text) {
  if (text.empty()) return 500;
  if (text == "-1") return -1;
  if (text.size() > 6 || text.find_first_not_of("0123456789") != std::string_view::npos) return std::nullopt;
  i32 ms = 0;
  for (char c : text) ms = ms * 10 + (c - '0');
  if (ms > 100000) return std::nullopt;
  return ms;
}

u32 headless_start_dpi(std::string_view screens) {
  auto parsed = win::screens::parse(screens);
  return parsed ? parsed->front().dpi : 96;
}

}  // namespace vyr::gui_module
