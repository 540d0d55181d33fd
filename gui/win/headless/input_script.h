// Input scripts of the headless display (VYR_HEADLESS_INPUT): one command a line, parsed
// whole before anything plays, then played one command per idle turn of the queue. With a
// script the clock moves only on `wait`, and the script's end ends the input even with
// timers pending. A `key Esc`, `key Ctrl+Break` or `close` right after a `wait` also
// reaches a program busy outside every loop, which polls for it (a halt key). Plain text
// in, display steps out: nothing here knows a language value.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "gui/win/win.h"

namespace vyr::win {

class headless_display;

struct script_command {
  enum verb_t {
    TEXT, KEY, DOWN, UP, MOVE, RDOWN, RUP, WHEEL, IME, WAIT, CLIP, CLIP_FILES, CLIP_IMAGE,
    RESIZE, MOVE_WINDOW, FOCUS, UNFOCUS, CLOSE, FRAME, MENU, CLICK_TEXT
  };
  verb_t verb = TEXT;
  int line = 0;                     // 1-based line of the script, for reports
  // TEXT, IME, CLIP (unescaped), FRAME (the file), MENU (the caption path), CLICK_TEXT
  std::string text;
  std::vector<std::string> files;   // CLIP_FILES
  uint32_t vk = 0;                  // KEY
  uint32_t modifiers = 0;           // KEY: MK_SHIFT, MK_CONTROL, 0x100 for Alt; WHEEL: MK_CONTROL
  double x = 0, y = 0;              // pointer commands (logical units), RESIZE, MOVE_WINDOW
  int wheel_delta = 0;              // WHEEL
  int64_t wait_us = 0;              // WAIT
};

struct script_parse {
  std::vector<script_command> commands;
  // Empty when the text parsed; else the report of the first bad line.
  std::string error;
};

// The commands of a script's text; '#' lines and blank lines are skipped.
script_parse parse_input_script(std::string_view text);

// The virtual key of a key name of the script ("Enter", "F5", "a", "7"), 0 when unknown.
uint32_t script_key(std::string_view name);

// The control of `top` (a descendant) that shows `text`: its window text as it is, or as
// shown with its "&" marks taken out; the first in the order of the tree, the top of the
// z-order first. Null when no visible control shows it.
HWND control_showing(HWND top, std::string_view text);

// Queues the commands on the display as its steps and makes the script's end the end of
// its input. A command that cannot be carried out when it plays (no window to aim at, a
// frame that cannot be written) is reported on stderr and the process ends with status 2.
void play_input_script(headless_display&, std::vector<script_command>);

}  // namespace vyr::win
