// Which front end the console runs and which display the GUI opens, decided in one place
// from the command line's --cli, VYR_CONSOLE, DISPLAY and VYR_DISPLAY. It lives on the
// executable's side, so the runtime can answer without loading the GUI module; the module
// asks it too when it opens its display.
#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "runtime/cell.h"

namespace vyr::gui_module {

enum class front_end : u8 { text, gui };
enum class display_kind : u8 { headless, x11 };

// What the choice is made of: the --cli switch (before the script's name), and the
// environment's VYR_CONSOLE, DISPLAY and VYR_DISPLAY (empty when unset).
struct display_inputs {
  bool cli = false;
  std::string_view console, display, vyr_display;
};

struct display_choice_t {
  front_end front = front_end::text;
  display_kind display = display_kind::headless;
  // VYR_HEADLESS_SCREENS, the headless display's screens (gui/win/screens.h); empty: one
  // 1920x1080 screen at 96 DPI.
  std::string_view screens;
};

// The rule, on plain inputs. The console has only its text front end so far: every input
// chooses it, and with it the headless display unless VYR_DISPLAY names one (x11 or
// headless).
display_choice_t choose(const display_inputs& in);
// The choice for this process: its arguments and environment, read at each call.
display_choice_t display_choice();
// Whether the switches of a command line (arguments after the program, up to "--" or the
// script's name) hold --cli.
bool cli_switch(const std::vector<std::string>& arguments);

// The first screen's DPI of the headless display's description: the pointer starts at that
// screen's centre, so it is the start-up DPI; 96 without a valid description.
u32 headless_start_dpi(std::string_view screens);

}  // namespace vyr::gui_module
