// What the runtime and the GUI module exchange beyond the host table's functions: the hook
// table the module fills for the runtime, the values its start-up writes into system/view,
// and the display choice it opens its display by. The executable's side (gui_entry/)
// includes this for the same definitions.
#pragma once
#include <string_view>

#include "runtime/api/platform_routines.h"
#include "runtime/cell.h"

namespace vyr::gui_module {

// What the runtime asks of the GUI once the module is in; every entry is null until then.
struct hooks {
  // send-event-os: posts (queued) or sends the event to its face's window.
  bool (*send_event)(const cell* event, bool queued) = nullptr;
  // wait's pass over the GUI messages that are already pending, without blocking.
  void (*pump_pending)() = nullptr;
  // Blocks in the message loop until the last window closes or the loop is ended.
  void (*do_events)(bool no_wait) = nullptr;
  // The code of the platform routines of system/view/platform, in the order of
  // VYR_PLATFORM_ROUTINES (runtime/api/platform_routines.h); a null entry raises internal
  // not-done. `gui_init` is the module's part of `gui-init`.
  using code_fn = void (*)(cell* args, u32 count);
  const code_fn* platform_routines = nullptr;
  code_fn gui_init = nullptr;
  // Shows an error report in a message box (decision 22: recorded on the headless display).
  void (*error_box)(const char* caption, const char* text) = nullptr;
  // The body of the routine gui/draw-image (DRAW on cairo).
  void (*draw_image)(cell* args, u32 count) = nullptr;
  // `to image!` of a face: its pixels, or none for a face without a native view; false
  // when the object cannot be drawn.
  bool (*face_to_image)(const cell* face, cell* out) = nullptr;
  // Whether the display the module opened is one a person sees (X11), not the headless one
  // it falls back to.
  bool (*real_display)() = nullptr;
  // The display's caret blink phase in milliseconds, -1 for a steady caret; false before
  // the module opened a display.
  bool (*caret_blink_time)(i32* ms) = nullptr;
};

// The values the GUI's start-up writes into system/view (platform version, DPI, metrics,
// system font), read by both sides.
struct startup_values {
  u8 version[3];           // system/view/platform/version
  i32 build, product;
  float scroller;          // logical pixels a scroll bar is wide, both ways
  u8 text[3], window[3], panel[3];   // metrics/colors: text, window, panel
  const char* system_font;   // the family of fonts/system where fontconfig is not asked
  i32 font_size;             // fonts/size, in points
};
inline constexpr startup_values startup{{10, 0, 0}, 0, 1, 17.0f, {0, 0, 0}, {255, 255, 255},
                                        {240, 240, 240}, "sans-serif", 9};

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
  // VYR_HEADLESS_SCREENS, the headless display's screens (base/screens.h); empty: one
  // 1920x1080 screen at 96 DPI.
  std::string_view screens;
  // VYR_HEADLESS_INPUT, the headless display's input script (empty: none).
  std::string_view input;
  // VYR_HEADLESS_BLINK, the headless display's caret blink phase (empty: the default).
  std::string_view blink;
};

}  // namespace vyr::gui_module
