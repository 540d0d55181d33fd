// The X11 display: each top-level window is an X window that shows the composed frame;
// children live only in the layer. Input comes through one poll over the X connection,
// the layer's eventfd and the next timer. Its files split by concern: the connection and
// the wait loop (display.cpp), top levels (top.cpp), input and the input method
// (input.cpp), the clipboard (clipboard.cpp).
#pragma once
#include "gui/win/display.h"

namespace vyr::win {

class x11_display : public display {
 public:
  // Null when no X server answers at `name` (null: $DISPLAY).
  static std::unique_ptr<x11_display> open(const char* name = nullptr);
  ~x11_display() override;

  int64_t now_us() override;
  std::vector<monitor> monitors() override;
  POINT cursor_pos() override;
  void set_cursor_pos(POINT) override;
  bool wait(int64_t deadline_us, int wake_fd) override;
  void create_top(HWND) override;
  void destroy_top(HWND) override;
  void show_top(HWND, bool shown) override;
  void place_top(HWND) override;
  void activate_top(HWND) override;
  void grab(HWND top, bool on) override;
  void present(HWND top, cairo_surface_t* frame) override;
  void set_cursor(HWND top, HCURSOR) override;
  void set_text_spot(HWND top, POINT) override;
  RECT frame_extents(uint32_t style, uint32_t exstyle) override;
  bool get_clipboard(clipboard_content* out) override;
  bool set_clipboard(const clipboard_content& in) override;
  cairo_surface_t* capture(RECT) override;
  int32_t caret_blink_ms() override;
  bool busy_halt(HWND top) override;

  // The clipboard outside the message loop. While the process waits elsewhere (wait,
  // ask): the connection to watch, and a pass that answers other programs' requests for
  // the clipboard we hold, leaving other input queued. Before the display closes (the
  // destructor does it too): a running clipboard manager is asked to keep what we hold.
  int connection_fd() const;
  void serve_clipboard();
  void hand_over_clipboard();

  // The X window of a top level (0 when none); for tests and the window manager glue.
  unsigned long native(HWND) const;
  bool mapped(HWND) const;
  uint32_t xft_dpi() const;
  // The pre-edit style of a top level's input context: "position" (over the spot),
  // "nothing" (the fall-back), or "" without one.
  const char* preedit_style(HWND) const;

  struct impl;
 private:
  explicit x11_display(impl*);
  impl* p_;
};

}  // namespace vyr::win
