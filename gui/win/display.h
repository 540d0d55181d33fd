// The display contract: what the windowing layer asks of the display it runs on, and the
// calls through which a display reports input. A display is a driver (gui/win/x11/,
// gui/win/headless/): it keeps the clock, lists the monitors, shows the top levels'
// composed frames and turns what the user does into layer input. Nothing asks a display
// its name; where two displays differ, the difference is a method here.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/clipboard.h"
#include "gui/win/win.h"

namespace vyr::win {

struct monitor { RECT rect; RECT work; uint32_t dpi = 96; };

// What a clipboard holds: the record the host's clipboard store keeps as well.
using clipboard_content = vyr::clipboard_content;

class display {
 public:
  virtual ~display() = default;
  // Clock in microseconds (64-bit); virtual in the headless display.
  virtual int64_t now_us() = 0;
  virtual std::vector<monitor> monitors() = 0;
  virtual POINT cursor_pos() = 0;
  virtual void set_cursor_pos(POINT) {}
  // Waits for display input until the clock reaches `deadline_us` (-1: no deadline) or
  // `wake_fd` is readable, turning what arrives into layer input. Returns false when the
  // display failed or has no input left; the queue then answers GetMessage with -1.
  virtual bool wait(int64_t deadline_us, int wake_fd) = 0;
  // A program slept `us` without waiting here (wait's slices, a prompt's polls): a clock of
  // the display's own moves that far; a real clock has moved by itself.
  virtual void pass_time(int64_t us) {}
  // The program is busy and looks for input that would stop it, without blocking and
  // without taking any other input (taking it may run the program's handlers, which must
  // not run in the middle of its work): true when the display holds an Esc or Ctrl+Break
  // pressed in the top level `top`, which it drops, or a close of `top`, which it keeps
  // for the loop that runs next. A scripted display may hand such input to the layer.
  virtual bool busy_halt(HWND top) { return false; }
  // Top-level windows only.
  virtual void create_top(HWND) {}
  virtual void destroy_top(HWND) {}
  virtual void show_top(HWND, bool shown) {}
  virtual void place_top(HWND) {}   // position, size, style, title or state changed
  virtual void activate_top(HWND) {}
  // While a menu runs or a combo box's list is down the display gives the process all
  // pointer and keyboard input (`top`: a shown top level to grab with); off again after.
  virtual void grab(HWND top, bool on) {}
  virtual void present(HWND top, cairo_surface_t* frame) = 0;
  virtual void set_cursor(HWND top, HCURSOR) {}
  // Where typed text goes: the foot of the caret, in the client coordinates of the top level
  // that holds it. The input method's pre-edit and candidates show there.
  virtual void set_text_spot(HWND top, POINT) {}
  // Frame thickness around the client area of a top level with these styles.
  virtual RECT frame_extents(uint32_t style, uint32_t exstyle);
  // The clipboard: false when it cannot be had (another owner holds it, or the display
  // cannot carry that kind of content).
  virtual bool get_clipboard(clipboard_content* out) = 0;
  virtual bool set_clipboard(const clipboard_content& in) = 0;
  // The screen's pixels in a rectangle, as an ARGB32 surface (null when not possible).
  virtual cairo_surface_t* capture(RECT) { return nullptr; }
  virtual bool dark_preference() { return false; }
  // One phase of the caret's blinking (shown, or hidden) in milliseconds; -1 when the
  // desktop asks for a caret that does not blink.
  virtual int32_t caret_blink_ms() { return 500; }
  virtual bool high_contrast() { return false; }
  // Whether start-up names the system font as fontconfig resolves it. A display that keeps
  // the generic family instead (pango draws it with the same face) spares start-up the
  // milliseconds fontconfig takes to load.
  virtual bool names_system_font() { return true; }
};

// Installs the display the layer runs on (the layer owns it). Tearing down destroys every
// window and forgets classes, timers and the queue.
void install(std::unique_ptr<display>);
void shutdown();
display* current_display();

// ---- input from displays ------------------------------------------------------------------
enum class key_side : uint8_t { none, left, right };
struct key_input {
  uint32_t vk = 0;
  bool down = true;
  key_side side = key_side::none;
  bool extended = false;
  bool repeat = false;
  std::string text;   // UTF-8 text the key produced (from the input method), may be empty
};
void input_key(const key_input&);
// The input method starts or ends composing text for the window with the keyboard focus;
// the keys it takes meanwhile come as VK_PROCESSKEY, what it commits as the text of a key.
void input_composition(bool start);
void input_pointer_move(POINT screen);
// button: 1 left, 2 middle, 3 right, 4 X1, 5 X2.
void input_button(int button, bool down, POINT screen);
void input_wheel(int delta, bool horizontal, POINT screen);
// The input method shows `composition` (UTF-8) at the focus: WM_IME_COMPOSITION with
// GCS_COMPSTR; the window reads the text with ImmGetCompositionString.
void input_ime(std::string_view composition);
// A touch gesture at a point of the screen (id: GID_BEGIN ... GID_PRESSANDTAP), for the top
// level under it. Neither display reports touch today; tests inject gestures.
void input_gesture(uint32_t id, POINT screen, uint64_t arguments, uint32_t flags = 0);
// A window-manager request: closing, activation, new state or geometry of a top level.
void input_close(HWND top);
// The top level that takes the keys a window manager offers `top`: itself, or while it is
// disabled the enabled window it owns (the modal one it opened); null when there is none.
HWND input_key_window(HWND top);
void input_activate(HWND top, bool active);
void input_state(HWND top, int show_cmd);
// The window was moved or sized by the user (rect: window rectangle in screen pixels);
// phase 0 starts a move/size, 1 continues, 2 ends it.
void input_move_size(HWND top, RECT window_rect, bool sizing, int phase);
void input_dpi_changed(HWND top, uint32_t dpi);
void input_display_changed();
// Wakes a waiting GetMessage from another thread.
void wake();

}  // namespace vyr::win
