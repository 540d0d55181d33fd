// BUTTON: push buttons, check boxes (two and three states, automatic or not), radio
// buttons, push-like checks, group boxes and image-list buttons. A click is a release of the
// left button over the button it went down on, or Space released; automatic styles change
// their state before BN_CLICKED goes to the parent. NM_CUSTOMDRAW's pre-paint comes after
// the body and the glyph are drawn and before the caption: CDRF_SKIPDEFAULT leaves the
// caption to the parent.
#include <algorithm>
#include <cmath>

#include <cairo.h>

#include "gui/win/controls/common.h"
#include "gui/win/controls/controls.h"

namespace vyr::win {
using namespace ctl;

namespace {
struct button : state {
  uint32_t check = BST_UNCHECKED;
  bool highlighted = false;   // BM_SETSTATE
  BUTTON_IMAGELIST images{NO_IMAGELIST, {}, 0};
};

enum class kind { push, check, radio, group };

kind kind_of(uint32_t style) {
  switch (style & BS_TYPEMASK) {
    case BS_CHECKBOX: case BS_AUTOCHECKBOX: case BS_3STATE: case BS_AUTO3STATE:
      return (style & BS_PUSHLIKE) ? kind::push : kind::check;
    case BS_RADIOBUTTON: case BS_AUTORADIOBUTTON:
      return (style & BS_PUSHLIKE) ? kind::push : kind::radio;
    case BS_GROUPBOX: return kind::group;
  }
  return kind::push;
}

bool checkable(uint32_t style) {
  uint32_t t = style & BS_TYPEMASK;
  return t != BS_PUSHBUTTON && t != BS_DEFPUSHBUTTON && t != BS_GROUPBOX;
}

bool three_state(uint32_t style) {
  uint32_t t = style & BS_TYPEMASK;
  return t == BS_3STATE || t == BS_AUTO3STATE;
}

bool looks_pressed(const button& b) { return b.parts.shows_pressed(0) || b.highlighted; }

void clicked(HWND h, button& b) {
  uint32_t style = style_of(h);
  switch (style & BS_TYPEMASK) {
    case BS_AUTOCHECKBOX: b.check = b.check == BST_UNCHECKED ? BST_CHECKED : BST_UNCHECKED; break;
    case BS_AUTO3STATE: b.check = (b.check + 1) % 3; break;
    case BS_AUTORADIOBUTTON:
      b.check = BST_CHECKED;
      // The other automatic radio buttons of the parent are cleared.
      for (HWND s : children(GetParent(h))) {
        if (s == h || reinterpret_cast<WNDPROC>(GetWindowLong(s, GWLP_WNDPROC)) != button_proc) continue;
        if ((style_of(s) & BS_TYPEMASK) == BS_AUTORADIOBUTTON) SendMessage(s, BM_SETCHECK, BST_UNCHECKED, 0);
      }
      break;
  }
  InvalidateRect(h, nullptr, false);
  command(h, BN_CLICKED);
}

uint32_t item_state(HWND h, const button& b) {
  uint32_t s = 0;
  if (!IsWindowEnabled(h)) s |= CDIS_DISABLED;
  if (b.focused) s |= CDIS_FOCUS;
  if (b.parts.shows_hot(0)) s |= CDIS_HOT;
  if (looks_pressed(b)) s |= CDIS_SELECTED;
  if (b.check == BST_CHECKED) s |= CDIS_CHECKED;
  if (b.check == BST_INDETERMINATE) s |= CDIS_INDETERMINATE;
  if ((style_of(h) & BS_TYPEMASK) == BS_DEFPUSHBUTTON) s |= CDIS_DEFAULT;
  return s;
}

// Answers whether the parent drew the caption itself.
bool custom_draw(HWND h, const button& b, HDC dc, const RECT& rc) {
  NMCUSTOMDRAW cd;
  cd.dwDrawStage = CDDS_PREPAINT;
  cd.hdc = dc;
  cd.rc = rc;
  cd.uItemState = item_state(h, b);
  return (notify(h, cd.hdr, NM_CUSTOMDRAW) & CDRF_SKIPDEFAULT) != 0;
}

// The caption in r, centred vertically; wrapped with BS_MULTILINE.
RECT caption(HDC dc, HWND h, const std::string& text, RECT r, uint32_t align) {
  uint32_t style = style_of(h);
  if (!(style & BS_MULTILINE)) {
    RECT calc = r;
    DrawText(dc, text, calc, align | DT_SINGLELINE | DT_CALCRECT);
    DrawText(dc, text, r, align | DT_SINGLELINE | DT_VCENTER);
    int w = calc.width(), x = (align & DT_CENTER) ? r.left + (r.width() - w) / 2 : r.left;
    int y = r.top + (r.height() - calc.height()) / 2;
    return RECT{x, y, x + w, y + calc.height()};
  }
  RECT calc = r;
  DrawText(dc, text, calc, align | DT_WORDBREAK | DT_CALCRECT);
  int y = r.top + std::max(0, (r.height() - calc.height()) / 2);
  RECT out{r.left, y, r.right, y + calc.height()};
  DrawText(dc, text, out, align | DT_WORDBREAK);
  return out;
}

void check_glyph(cairo_t* cr, HWND h, const button& b, RECT box, bool radio) {
  bool enabled = IsWindowEnabled(h);
  bool on = b.check != BST_UNCHECKED;
  COLORREF frame = !enabled ? theme_color(h, part::frame_disabled)
                 : b.parts.shows_hot(0) || looks_pressed(b) ? theme_color(h, part::frame_hot)
                                                            : theme_color(h, part::field_frame);
  COLORREF inside = looks_pressed(b) ? theme_color(h, part::face_pressed)
                  : enabled ? theme_color(h, part::field) : theme_color(h, part::field_disabled);
  COLORREF accent = !enabled ? theme_color(h, part::frame_disabled)
                  : looks_pressed(b) ? theme_color(h, part::accent_pressed)
                  : b.parts.shows_hot(0) ? theme_color(h, part::accent_hot) : theme_color(h, part::accent);
  double x = box.left, y = box.top, s = box.width();
  if (radio) {
    double cx = x + s / 2, cy = y + s / 2, r = s / 2 - 0.5;
    set_color(cr, on ? accent : inside);
    cairo_arc(cr, cx, cy, r, 0, 2 * M_PI);
    cairo_fill(cr);
    set_color(cr, on ? accent : frame);
    cairo_set_line_width(cr, 1);
    cairo_arc(cr, cx, cy, r, 0, 2 * M_PI);
    cairo_stroke(cr);
    if (on) {
      set_color(cr, theme_color(h, part::accent_text));
      cairo_arc(cr, cx, cy, s / 5, 0, 2 * M_PI);
      cairo_fill(cr);
    }
    return;
  }
  if (b.check == BST_CHECKED) {
    fill(cr, box, accent);
    set_color(cr, theme_color(h, part::accent_text));
    cairo_set_line_width(cr, std::max(1.0, s / 8));
    cairo_move_to(cr, x + s * 0.22, y + s * 0.52);
    cairo_line_to(cr, x + s * 0.42, y + s * 0.72);
    cairo_line_to(cr, x + s * 0.78, y + s * 0.30);
    cairo_stroke(cr);
    return;
  }
  fill(cr, box, inside);
  outline(cr, box, frame);
  if (b.check == BST_INDETERMINATE) {
    int m = std::max(2, box.width() / 4);
    fill(cr, RECT{box.left + m, box.top + m, box.right - m, box.bottom - m}, accent);
  }
}

void paint_group(HWND h, button& b, HDC dc, cairo_t* cr, const RECT& rc, const std::string& text) {
  // Nothing filled: what lies under the box shows through; the caption breaks the line.
  ask_colors(h, dc, WM_CTLCOLORSTATIC, part::face);
  SetBkMode(dc, TRANSPARENT);
  int lh = line_height(font_or_default(h, b.font));
  int top = lh / 2, pad = px(h, 6);
  RECT tr{rc.left + pad + px(h, 2), rc.top, rc.right - pad, rc.top + lh};
  RECT calc = tr;
  if (!text.empty()) DrawText(dc, text, calc, DT_SINGLELINE | DT_CALCRECT);
  double gap0 = text.empty() ? 0 : tr.left - px(h, 2), gap1 = text.empty() ? 0 : std::min<int>(calc.right, tr.right) + px(h, 2);
  set_color(cr, theme_color(h, IsWindowEnabled(h) ? part::frame : part::frame_disabled));
  cairo_set_line_width(cr, 1);
  double l = rc.left + 0.5, t = rc.top + top + 0.5, r = rc.right - 0.5, bo = rc.bottom - 0.5;
  cairo_move_to(cr, gap0 > 0 ? gap0 : l, t);
  cairo_line_to(cr, l, t);
  cairo_line_to(cr, l, bo);
  cairo_line_to(cr, r, bo);
  cairo_line_to(cr, r, t);
  cairo_line_to(cr, gap1 > 0 ? gap1 : l, t);
  cairo_stroke(cr);
  if (!text.empty()) DrawText(dc, text, tr, DT_SINGLELINE | DT_LEFT);
}

void paint(HWND h, button& b) {
  painting pt(h, b.font);
  HDC dc = pt.dc;
  cairo_t* cr = pt.cr;
  const RECT& rc = pt.rc;
  clear(cr);
  uint32_t style = style_of(h);
  std::string text = GetWindowText(h);
  bool enabled = IsWindowEnabled(h);
  switch (kind_of(style)) {
    case kind::group:
      paint_group(h, b, dc, cr, rc, text);
      break;
    case kind::check:
    case kind::radio: {
      COLORREF bg = ask_colors(h, dc, WM_CTLCOLORSTATIC, part::face);
      fill(cr, rc, bg);
      int box = px(h, 13);
      RECT gb{rc.left, rc.top + (rc.height() - box) / 2, rc.left + box, rc.top + (rc.height() - box) / 2 + box};
      check_glyph(cr, h, b, gb, kind_of(style) == kind::radio);
      if (custom_draw(h, b, dc, rc)) break;
      SetBkMode(dc, TRANSPARENT);
      RECT tr{rc.left + px(h, 16), rc.top, rc.right, rc.bottom};
      RECT shown = caption(dc, h, text, tr, DT_LEFT);
      if (b.focused && !text.empty())
        outline(cr, RECT{shown.left - 1, shown.top, std::min(shown.right + 1, rc.right), shown.bottom},
                theme_color(h, part::focus));
      break;
    }
    case kind::push: {
      bool on = looks_pressed(b) || (checkable(style) && b.check != BST_UNCHECKED);
      part face = !enabled ? part::face_disabled : on ? part::face_pressed
                : b.parts.shows_hot(0) ? part::face_hot : part::face;
      COLORREF answered = ask_colors(h, dc, WM_CTLCOLORBTN, face);
      fill(cr, rc, answered);
      bool is_default = (style & BS_TYPEMASK) == BS_DEFPUSHBUTTON;
      COLORREF frame = !enabled ? theme_color(h, part::frame_disabled)
                     : b.focused || is_default || b.parts.shows_hot(0) ? theme_color(h, part::frame_hot)
                                                                       : theme_color(h, part::frame);
      outline(cr, rc, frame, b.focused ? std::max(1, px(h, 2)) : 1);
      int count = ImageList_GetImageCount(b.images.himl);
      if ((style & BS_BITMAP) && count > 0) {
        // The image of the state (normal, hot, pressed, disabled, defaulted), centred.
        int state = !enabled ? PBS_DISABLED : on ? PBS_PRESSED : b.parts.shows_hot(0) ? PBS_HOT
                  : b.focused || is_default ? PBS_DEFAULTED : PBS_NORMAL;
        int index = state - 1 < count ? state - 1 : 0;
        int cx = 0, cy = 0;
        ImageList_GetIconSize(b.images.himl, cx, cy);
        ImageList_Draw(b.images.himl, index, dc, rc.left + (rc.width() - cx) / 2, rc.top + (rc.height() - cy) / 2,
                       ILD_NORMAL);
        break;
      }
      if (custom_draw(h, b, dc, rc)) break;
      SetBkMode(dc, TRANSPARENT);
      int pad = px(h, 3);
      caption(dc, h, text, RECT{rc.left + pad, rc.top + pad, rc.right - pad, rc.bottom - pad}, DT_CENTER);
      break;
    }
  }
}
}  // namespace

LRESULT button_proc(HWND h, uint32_t msg, WPARAM wp, LPARAM lp) {
  button& b = state_of<button>(h);
  LRESULT answer = 0;
  if (common_message(h, b, msg, wp, lp, answer)) return answer;
  uint32_t style = style_of(h);
  auto inside = [&](LPARAM l) {
    RECT rc;
    GetClientRect(h, rc);
    return rc.contains(POINT{GET_X_LPARAM(l), GET_Y_LPARAM(l)}) ? 0 : -1;
  };
  switch (msg) {
    case WM_NCHITTEST:
      // A group box is only a frame: the pointer goes to what lies under it.
      if (kind_of(style) == kind::group) return HTTRANSPARENT;
      break;
    case WM_PAINT:
      paint(h, b);
      return 0;
    case WM_SETTEXT: {
      LRESULT r = DefWindowProc(h, msg, wp, lp);
      InvalidateRect(h, nullptr, false);
      return r;
    }
    case BM_GETCHECK:
      return checkable(style) ? b.check : BST_UNCHECKED;
    case BM_SETCHECK: {
      if (!checkable(style)) return 0;
      uint32_t c = wp == BST_INDETERMINATE && !three_state(style) ? BST_CHECKED : uint32_t(std::min<WPARAM>(wp, 2));
      if (c != b.check) {
        b.check = c;
        InvalidateRect(h, nullptr, false);
      }
      return 0;
    }
    case BM_GETSTATE:
      return (checkable(style) ? b.check : 0) | (looks_pressed(b) ? BST_PUSHED : 0) |
             (b.focused ? BST_FOCUS : 0) | (b.parts.shows_hot(0) ? BST_HOT : 0);
    case BM_SETSTATE:
      b.highlighted = wp != 0;
      InvalidateRect(h, nullptr, false);
      return 0;
    case BM_SETSTYLE:
      SetWindowLong(h, GWL_STYLE, (style & 0xFFFF0000u) | (wp & 0xFFFF));
      if (LOWORD(lp)) InvalidateRect(h, nullptr, false);
      return 0;
    case BM_CLICK:
      clicked(h, b);
      return 0;
    case BCM_SETIMAGELIST:
      if (!lp) return 0;
      b.images = *reinterpret_cast<const BUTTON_IMAGELIST*>(lp);
      InvalidateRect(h, nullptr, false);
      return 1;
    case BCM_GETIMAGELIST:
      if (!lp) return 0;
      *reinterpret_cast<BUTTON_IMAGELIST*>(lp) = b.images;
      return 1;
    case WM_SETFOCUS:
      if (style & BS_NOTIFY) command(h, BN_SETFOCUS);
      return 0;
    case WM_KILLFOCUS:
      b.parts.cancel();
      if (GetCapture() == h) ReleaseCapture();
      if (style & BS_NOTIFY) command(h, BN_KILLFOCUS);
      return 0;
    case WM_MOUSEMOVE:
      hover(h, b, inside(lp));
      return 0;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
      if (kind_of(style) == kind::group) return 0;
      SetFocus(h);
      if (!IsWindow(h)) return 0;
      SetCapture(h);
      redraw_if(h, b.parts.press(0));
      return 0;
    case WM_LBUTTONUP: {
      if (kind_of(style) == kind::group) return 0;
      behavior::answer a = redraw_if(h, b.parts.release(inside(lp)));
      if (GetCapture() == h) ReleaseCapture();
      if (a.activated == 0) clicked(h, b);
      return 0;
    }
    case WM_KEYDOWN:
      if (wp == VK_SPACE && !(lp & (1 << 30))) redraw_if(h, b.parts.key_press(0));
      return 0;
    case WM_KEYUP:
      if (wp == VK_SPACE && redraw_if(h, b.parts.key_release()).activated == 0) clicked(h, b);
      return 0;
  }
  return DefWindowProc(h, msg, wp, lp);
}

}  // namespace vyr::win
