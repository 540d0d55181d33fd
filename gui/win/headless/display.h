// The headless display: monitors from a description, a virtual clock, injected input, an
// idle hook that plays scripted steps or jumps the clock to the next timer, presented frames
// kept as images and a clipboard shared with the host's store. Tests and text-mode runs; its
// dialogs are the answer queue (gui/win/headless/answers.h).
#pragma once
#include <deque>
#include <functional>
#include <optional>

#include "gui/win/display.h"

namespace vyr::win {

class headless_display : public display {
 public:
  // `screens`: "WxH+X+Y@DPI" items, comma-separated; empty gives one 1920x1080 screen at 96.
  explicit headless_display(std::string_view screens = "");
  ~headless_display() override;
  static std::optional<std::vector<monitor>> parse_screens(std::string_view);

  int64_t now_us() override { return clock_us_; }
  std::vector<monitor> monitors() override { return monitors_; }
  POINT cursor_pos() override { return pointer_; }
  void set_cursor_pos(POINT p) override { pointer_ = p; }
  bool wait(int64_t deadline_us, int wake_fd) override;
  void pass_time(int64_t us) override { clock_us_ += us; }
  bool busy_halt(HWND top) override;
  void present(HWND top, cairo_surface_t* frame) override;
  void set_cursor(HWND, HCURSOR c) override { cursor_ = c; }
  void set_text_spot(HWND top, POINT p) override {
    spot_top = top;
    spot = p;
  }
  bool get_clipboard(clipboard_content* out) override;
  bool set_clipboard(const clipboard_content& in) override;
  bool dark_preference() override { return dark; }
  bool high_contrast() override { return contrast; }
  int32_t caret_blink_ms() override { return blink_ms; }
  cairo_surface_t* capture(RECT) override;
  // Start-up keeps the generic family: no fontconfig for text-mode runs and tests.
  bool names_system_font() override { return false; }

  // The clipboard the display shares: the host's store, handed over by the backend when it
  // opens the display, so that scripts, scripted input and controls see one clipboard. The
  // display keeps a record of its own until then.
  struct shared_clipboard {
    std::function<bool(clipboard_content*)> get;
    std::function<bool(const clipboard_content&)> set;
  };
  void share_clipboard(shared_clipboard s) { shared_ = std::move(s); }

  // The clock.
  void advance(int64_t us) { clock_us_ += us; }
  // Steps the idle hook plays, one per idle turn, after `delay_us` of virtual time.
  void script(std::function<void()> step, int64_t delay_us = 0, bool breaks_in = false);
  size_t script_left() const { return script_.size(); }
  // Set by an input script (input_script.h): the clock then moves only on the script's
  // waits, and the script's end ends the input even with timers pending.
  bool end_with_script = false;

  // Input, injected now.
  void key(uint32_t vk, bool down, std::string text = "", key_side side = key_side::none);
  void type(std::string_view text);   // presses and releases a key per character
  // A key pressed and released with modifiers held (MK_SHIFT, MK_CONTROL, and 0x100 for Alt).
  void chord(uint32_t modifiers, uint32_t vk, std::string text = "");
  void move(POINT screen);
  void button(int b, bool down);
  void click(POINT screen, int b = 1);
  void wheel(int delta, bool horizontal = false);
  // A touch gesture at the pointer (GID_ZOOM ... with its argument; GID_BEGIN, GID_END).
  void gesture(uint32_t id, uint64_t arguments = 0) { input_gesture(id, pointer_, arguments); }
  void close(HWND top) { input_close(top); }
  // The input method: composing starts or ends (the keys between are VK_PROCESSKEY, the
  // committed text the text of a key); `spot` is where it was last told to show.
  void compose(bool start) { input_composition(start); }
  void activate(HWND top, bool on = true) { input_activate(top, on); }
  void set_state(HWND top, int show_cmd) { input_state(top, show_cmd); }
  // A user move or resize: the window passes through `steps` (window rectangles).
  void move_size(HWND top, const std::vector<RECT>& steps, bool sizing);
  void set_monitors(std::vector<monitor>);
  void set_monitor_dpi(size_t index, uint32_t dpi);

  // Frames presented, oldest first (at most `frame_limit` kept).
  struct frame { HWND top; int64_t time_us; cairo_surface_t* image; };
  const std::deque<frame>& frames() const { return frames_; }
  cairo_surface_t* last_frame(HWND top) const;
  // 0xAARRGGBB of the last frame of `top` at pixel (x, y) of what it shows (the client
  // area, below the menu bar when it has one); 0 when none.
  uint32_t pixel(HWND top, int x, int y) const;
  size_t frame_limit = 32;
  size_t presented = 0;

  HCURSOR cursor() const { return cursor_; }
  // The last text spot the layer gave.
  HWND spot_top{};
  POINT spot{-1, -1};
  bool dark = false, contrast = false;
  int32_t blink_ms = 500;   // VYR_HEADLESS_BLINK (gui_entry/display_choice.h)

 private:
  // `breaks_in`: a halt key or a close, which a busy program polls for (poll_busy).
  struct step { std::function<void()> fn; int64_t delay_us; bool breaks_in = false; };
  int64_t clock_us_ = 1000000;
  std::vector<monitor> monitors_;
  POINT pointer_;
  std::deque<step> script_;
  std::deque<frame> frames_;
  clipboard_content clipboard_;
  shared_clipboard shared_;
  HCURSOR cursor_{};
};

}  // namespace vyr::win
