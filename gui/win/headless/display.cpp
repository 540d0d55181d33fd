// The headless display. Its clock moves only when told to or when the idle hook jumps to
// the next timer; with no input and no timer left, waiting fails so loops end. Under an
// input script the clock moves only on its waits, and its end is the end of input.
#include "gui/win/headless/display.h"
#include "base/screens.h"

#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <poll.h>

#include <cairo.h>

namespace vyr::win {

std::optional<std::vector<monitor>> headless_display::parse_screens(std::string_view s) {
  auto parsed = screens::parse(s);
  if (!parsed) return std::nullopt;
  std::vector<monitor> out;
  for (const screens::screen& d : *parsed) {
    monitor m;
    m.rect = {d.x, d.y, int32_t(int64_t(d.x) + d.width), int32_t(int64_t(d.y) + d.height)};
    m.work = m.rect;
    m.dpi = d.dpi;
    out.push_back(m);
  }
  return out;
}

headless_display::headless_display(std::string_view screens) {
  auto m = parse_screens(screens.empty() ? win::screens::fallback : screens);
  if (!m) m = parse_screens(win::screens::fallback);
  monitors_ = *m;
  const RECT& r = monitors_[0].rect;
  pointer_ = {r.left + r.width() / 2, r.top + r.height() / 2};
}

headless_display::~headless_display() {
  for (auto& f : frames_) cairo_surface_destroy(f.image);
}

bool headless_display::wait(int64_t deadline, int wake_fd) {
  if (wake_fd >= 0) {
    pollfd p{wake_fd, POLLIN, 0};
    if (poll(&p, 1, 0) > 0) return true;
  }
  if (deadline >= 0 && deadline <= clock_us_) return true;
  if (!script_.empty()) {
    step& s = script_.front();
    if (s.delay_us > 0) {
      int64_t until = clock_us_ + s.delay_us;
      if (deadline >= 0 && deadline < until) {
        s.delay_us = until - deadline;
        clock_us_ = deadline;
        return true;
      }
      clock_us_ = until;
    }
    auto fn = std::move(s.fn);
    script_.pop_front();
    if (fn) fn();
    return true;
  }
  if (end_with_script) return false;
  if (deadline > clock_us_) {
    clock_us_ = deadline;
    return true;
  }
  std::fputs("headless display: no input left\n", stderr);
  return false;
}

void headless_display::present(HWND top, cairo_surface_t* f) {
  ++presented;
  frames_.push_back({top, clock_us_, cairo_surface_reference(f)});
  while (frames_.size() > frame_limit && !frames_.empty()) {
    cairo_surface_destroy(frames_.front().image);
    frames_.pop_front();
  }
}

cairo_surface_t* headless_display::last_frame(HWND top) const {
  for (auto it = frames_.rbegin(); it != frames_.rend(); ++it)
    if (it->top == top) return it->image;
  return nullptr;
}

uint32_t headless_display::pixel(HWND top, int x, int y) const {
  cairo_surface_t* s = last_frame(top);
  if (!s || x < 0 || y < 0 || x >= cairo_image_surface_get_width(s) || y >= cairo_image_surface_get_height(s)) return 0;
  cairo_surface_flush(s);
  const unsigned char* d = cairo_image_surface_get_data(s);
  return *reinterpret_cast<const uint32_t*>(d + size_t(y) * cairo_image_surface_get_stride(s) + size_t(x) * 4);
}

cairo_surface_t* headless_display::capture(RECT r) {
  if (r.empty()) return nullptr;
  cairo_surface_t* out = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, r.width(), r.height());
  cairo_t* cr = cairo_create(out);
  cairo_set_source_rgb(cr, 0, 0, 0);
  cairo_paint(cr);
  auto tops = top_levels();
  for (auto it = tops.rbegin(); it != tops.rend(); ++it) {
    if (!IsWindowVisible(*it) || IsIconic(*it)) continue;
    cairo_surface_t* f = last_frame(*it);
    if (!f) continue;
    RECT o = shown_rect(*it);
    cairo_set_source_surface(cr, f, o.left - r.left, o.top - r.top);
    cairo_paint(cr);
  }
  cairo_destroy(cr);
  return out;
}

bool headless_display::get_clipboard(clipboard_content* out) {
  if (shared_.get) return shared_.get(out);
  *out = clipboard_;
  return true;
}

bool headless_display::set_clipboard(const clipboard_content& in) {
  if (shared_.set) return shared_.set(in);
  clipboard_ = in;
  return true;
}

void headless_display::script(std::function<void()> fn, int64_t delay_us, bool breaks_in) {
  script_.push_back({std::move(fn), delay_us, breaks_in});
}

// The virtual clock stands still while the program computes, so a busy program would
// never reach the script's next step. A halt key or a close that the script gives after a
// pause (`wait` then `key Esc`) comes to a busy program: the pause has passed while it
// worked. Anything else waits for the program's next loop, as before.
bool headless_display::busy_halt(HWND) {
  if (script_.size() < 2) return false;
  step& pause = script_.front();
  if (pause.fn || pause.delay_us <= 0 || !script_[1].breaks_in) return false;
  clock_us_ += pause.delay_us;
  script_.pop_front();
  auto fn = std::move(script_.front().fn);
  script_.pop_front();
  if (fn) fn();
  return false;   // the step gave its input to the layer's queue
}

void headless_display::key(uint32_t vk, bool down, std::string text, key_side side) {
  key_input k;
  k.vk = vk;
  k.down = down;
  k.side = side;
  k.text = std::move(text);
  input_key(k);
}

void headless_display::type(std::string_view text) {
  std::u16string u = to_utf16(text);
  for (size_t i = 0; i < u.size(); ++i) {
    char16_t c = u[i];
    size_t n = (c >= 0xD800 && c < 0xDC00 && i + 1 < u.size()) ? 2 : 1;
    std::string piece = to_utf8(u.substr(i, n));
    int16_t scan = VkKeyScan(c);
    uint32_t vk = scan >= 0 ? uint32_t(scan & 0xFF) : VK_SPACE;
    bool shift = scan >= 0 && (scan & 0x100);
    if (shift) key(VK_SHIFT, true, "", key_side::left);
    key(vk, true, piece);
    key(vk, false);
    if (shift) key(VK_SHIFT, false, "", key_side::left);
    i += n - 1;
  }
}

void headless_display::chord(uint32_t modifiers, uint32_t vk, std::string text) {
  const struct { uint32_t bit, vk; } mods[] = {{MK_SHIFT, VK_SHIFT}, {MK_CONTROL, VK_CONTROL}, {0x100, VK_MENU}};
  for (auto& m : mods) if (modifiers & m.bit) key(m.vk, true, "", key_side::left);
  key(vk, true, std::move(text));
  key(vk, false);
  for (auto it = std::rbegin(mods); it != std::rend(mods); ++it)
    if (modifiers & it->bit) key(it->vk, false, "", key_side::left);
}

void headless_display::move(POINT p) {
  pointer_ = p;
  input_pointer_move(p);
}

void headless_display::button(int b, bool down) { input_button(b, down, pointer_); }

void headless_display::click(POINT p, int b) {
  move(p);
  button(b, true);
  button(b, false);
}

void headless_display::wheel(int delta, bool horizontal) { input_wheel(delta, horizontal, pointer_); }

void headless_display::move_size(HWND top, const std::vector<RECT>& steps, bool sizing) {
  if (steps.empty()) return;
  for (size_t i = 0; i < steps.size(); ++i) input_move_size(top, steps[i], sizing, i == 0 ? 0 : 1);
  input_move_size(top, steps.back(), sizing, 2);
}

void headless_display::set_monitors(std::vector<monitor> m) {
  if (m.empty()) return;
  monitors_ = std::move(m);
  input_display_changed();
}

void headless_display::set_monitor_dpi(size_t index, uint32_t dpi) {
  if (index >= monitors_.size() || dpi == 0) return;
  monitors_[index].dpi = dpi;
  for (HWND t : top_levels()) {
    RECT r;
    GetWindowRect(t, r);
    if (uint32_t(MonitorFromRect(r, MONITOR_DEFAULTTONEAREST)) == index + 1) input_dpi_changed(t, dpi);
  }
}

}  // namespace vyr::win
