// The message box: the error icon, the text wrapped to a readable width, and OK, which
// Enter, Esc and Space press. Ctrl+C copies the caption and the text.
#include <algorithm>
#include <cmath>

#include <cairo.h>

#include "base/colour.h"
#include "gui/win/controls/controls.h"
#include "gui/win/dialogs/dialog.h"
#include "gui/win/dialogs/modal.h"
#include "gui/win/theme.h"

namespace vyr::win::dialogs {

namespace {

class message_box_dialog : public dialog {
 public:
  explicit message_box_dialog(const box_request& q) : q_(q) {}

 protected:
  std::string title() override { return q_.caption; }

  SIZE size() override {
    HDC dc = GetDC(HWND{});
    SelectObject(dc, font());
    RECT t{0, 0, px(360), 0};
    DrawText(dc, q_.text, t, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX | DT_EXPANDTABS);
    ReleaseDC(HWND{}, dc);
    text_ = t;
    int icon = px(32), margin = px(20), gap = px(12);
    int top = std::max(icon, t.height()) + 2 * margin;
    band_ = top;
    int w = std::max(margin + icon + gap + t.width() + margin, px(200));
    return SIZE{w, top + px(48)};
  }

  void build() override {
    RECT rc{0, 0, 0, 0};
    SIZE s{0, 0};
    GetClientRect(hwnd(), rc);
    s = SIZE{rc.width(), rc.height()};
    int bw = px(88), bh = px(26);
    RECT r{s.cx - px(12) - bw, band_ + (s.cy - band_ - bh) / 2, 0, 0};
    r.right = r.left + bw;
    r.bottom = r.top + bh;
    add("BUTTON", "OK", BS_DEFPUSHBUTTON | WS_TABSTOP, r, IDOK);
  }

  void command(int id, int, HWND) override {
    // OK is the only answer: Esc and closing the box give it too.
    if (id == IDOK || id == IDCANCEL) end(IDOK);
  }

  void paint(HDC dc) override {
    RECT rc;
    GetClientRect(hwnd(), rc);
    FillRect(dc, RECT{0, 0, rc.right, band_}, theme_color(hwnd(), theme::part::page));
    int icon = px(32), margin = px(20), gap = px(12);
    int top = std::max(icon, text_.height());
    // The error icon: a red disc with a white cross.
    cairo_t* cr = cairo_of(dc);
    double cx = margin + icon / 2.0, cy = margin + icon / 2.0, r = icon / 2.0;
    COLORREF red = theme_color(hwnd(), theme::part::error), white = theme_color(hwnd(), theme::part::selection_text);
    auto colour = [&](COLORREF c) { colour::set_source(cr, c); };
    colour(red);
    cairo_arc(cr, cx, cy, r, 0, 2 * M_PI);
    cairo_fill(cr);
    colour(white);
    cairo_set_line_width(cr, std::max(2.0, icon / 10.0));
    double k = r * 0.4;
    cairo_move_to(cr, cx - k, cy - k);
    cairo_line_to(cr, cx + k, cy + k);
    cairo_move_to(cr, cx + k, cy - k);
    cairo_line_to(cr, cx - k, cy + k);
    cairo_stroke(cr);
    SelectObject(dc, font());
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, theme_color(hwnd(), theme::part::text));
    int tx = margin + icon + gap, ty = margin + (top - text_.height()) / 2;
    RECT t{tx, ty, tx + text_.width(), ty + text_.height()};
    DrawText(dc, q_.text, t, DT_WORDBREAK | DT_NOPREFIX | DT_EXPANDTABS);
  }

  bool key(uint32_t vk) override {
    if (vk != 'C' || GetKeyState(VK_CONTROL) >= 0) return false;
    const char* line = "---------------------------\n";
    SetClipboardText(std::string(line) + q_.caption + "\n" + line + q_.text + "\n" + line + "OK\n" + line);
    return true;
  }

 private:
  box_request q_;
  RECT text_;
  int band_ = 0;
};

}  // namespace

void show_message_box(const box_request& q) {
  message_box_dialog d(q);
  d.run(GetForegroundWindow());
}

}  // namespace vyr::win::dialogs
