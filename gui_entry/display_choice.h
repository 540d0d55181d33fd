// Which front end the console runs and which display the GUI opens, decided in one place
// from the command line's --cli, VYR_CONSOLE, DISPLAY and VYR_DISPLAY. It lives on the
// executable's side, so the runtime can answer without loading the GUI module; the module
// asks it too when it opens its display.
#pragma once
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/api/gui_module.h"
#include "runtime/cell.h"

namespace vyr::gui_module {

// The rule, on plain inputs. The front end: --cli gives text mode; else VYR_CONSOLE=gui
// gives the GUI console; else a DISPLAY (with VYR_DISPLAY not headless) gives the GUI
// console on X11; else text mode. The GUI console's display: headless when VYR_DISPLAY
// says so, X11 when VYR_DISPLAY says so or a DISPLAY is set, else headless. Text mode's
// display is the one VYR_DISPLAY names, headless by default. Whether an X server answers
// is not known here: the console falls back to text mode when it does not (boot/main.cpp).
display_choice_t choose(const display_inputs& in);
// The choice for this process: its arguments and environment, read at each call.
display_choice_t display_choice();
// Whether the switches of a command line (arguments after the program, up to "--" or the
// script's name) hold --cli.
bool cli_switch(const std::vector<std::string>& arguments);

// Whether this process runs the GUI console: the choice's front end, when its display is
// the headless one or the X server answered (the module, loaded by start-up for a real
// display, says which it opened; #34's warning was printed when it fell back).
bool gui_console();

// The caret blink phase in milliseconds of a VYR_HEADLESS_BLINK text: a whole number from 0
// to 100000, or -1 for a caret that does not blink; nullopt for any other text. Unset, the
// headless display blinks at 500 ms.
std::optional<i32> headless_blink_ms(std::string_view text);

// The first screen's DPI of the headless display's description: the pointer starts at that
// screen's centre, so it is the start-up DPI; 96 without a valid description.
u32 headless_start_dpi(std::string_view screens);

}  // namespace vyr::gui_module
