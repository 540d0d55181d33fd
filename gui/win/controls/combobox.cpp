// ComboBox: a field with a list that drops below it. CBS_DROPDOWNLIST shows the selected
// item; CBS_DROPDOWN edits its text in an EDIT child (id 1001) whose changes become
// CBN_EDITUPDATE and CBN_EDITCHANGE. The dropped list is a ComboLBox pop-up owned by the
// combo box (owning_control names it); while it is down the combo box holds the pointer: a
// release on an item picks it, a press outside closes the list unchanged. CB_ messages
// change nothing that the parent is told of; the user's changes are CBN_SELCHANGE.
#include <algorithm>

#include <cairo.h>

#include "gui/win/controls/common.h"
#include "gui/win/display.h"
#include "gui/win/controls/controls.h"

namespace vyr::win {
using namespace ctl;

namespace {
enum { BUTTON = 0 };

struct combo : state {
  HWND edit{}, list{};
  // active: the focus is in the combo box, on itself or on its edit.
  bool dropped = false, active = false, quiet_edit = false, pressed_in_list = false;
  int sel_at_drop = -1, told_sel = -1;
  int min_visible = 30;
  WNDPROC edit_proc = nullptr;
};

uint32_t kind(HWND h) { return style_of(h) & CBS_TYPEMASK; }
bool editable(HWND h) { return kind(h) != CBS_DROPDOWNLIST; }

RECT button_rect(HWND h) {
  RECT rc;
  GetClientRect(h, rc);
  int w = std::min(rc.width(), GetSystemMetricsForDpi(SM_CXVSCROLL, dpi_of(h)));
  return RECT{rc.right - w, rc.top, rc.right, rc.bottom};
}

LRESULT to_list(combo& c, uint32_t msg, WPARAM wp = 0, LPARAM lp = 0) {
  return IsWindow(c.list) ? SendMessage(c.list, msg, wp, lp) : CB_ERR;
}

int current(combo& c) { return int(to_list(c, LB_GETCURSEL)); }

std::string item_text(combo& c, int i) {
  LRESULT n = to_list(c, LB_GETTEXTLEN, WPARAM(i));
  if (n < 0) return {};
  std::string s(size_t(n) + 1, '\0');
  to_list(c, LB_GETTEXT, WPARAM(i), reinterpret_cast<LPARAM>(s.data()));
  s.resize(size_t(n));
  return s;
}

// The edit field of a drop-down shows the selected item, without telling anyone.
void show_selection(HWND h, combo& c) {
  if (IsWindow(c.edit)) {
    int i = current(c);
    c.quiet_edit = true;
    SetWindowText(c.edit, i >= 0 ? item_text(c, i) : std::string());
    c.quiet_edit = false;
    SendMessage(c.edit, EM_SETSEL, 0, -1);
  }
  InvalidateRect(h, nullptr, false);
}

// A selection the user made, told once.
void tell_selection(HWND h, combo& c) {
  int i = current(c);
  if (i == c.told_sel) return;
  c.told_sel = i;
  command(h, CBN_SELCHANGE);
}

void place_list(HWND h, combo& c) {
  RECT wr;
  GetWindowRect(h, wr);
  int n = std::max(1, std::min(int(to_list(c, LB_GETCOUNT)), c.min_visible));
  int ih = int(to_list(c, LB_GETITEMHEIGHT));
  int height = n * std::max(1, ih) + 2;
  MONITORINFO mi;
  GetMonitorInfo(MonitorFromRect(wr, MONITOR_DEFAULTTONEAREST), mi);
  int y = wr.bottom;
  // No room below: the list opens upwards.
  if (int64_t(y) + height > mi.rcWork.bottom && wr.top - height >= mi.rcWork.top) y = wr.top - height;
  SetWindowPos(c.list, HWND_TOPMOST, wr.left, y, wr.width(), height, SWP_NOACTIVATE);
}

void drop(HWND h, combo& c) {
  if (c.dropped || !IsWindow(c.list)) return;
  command(h, CBN_DROPDOWN);
  if (!IsWindow(h)) return;
  c.dropped = true;
  c.sel_at_drop = c.told_sel = current(c);
  c.pressed_in_list = false;
  place_list(h, c);
  ShowWindow(c.list, SW_SHOWNA);
  SetCapture(h);
  // The pointer and the keys stay with the process while the list is down, as for a menu:
  // a window manager whose focus follows the pointer would otherwise take the activation
  // away as the pointer enters the list, and the list would close under it.
  if (display* d = current_display()) d->grab(GetAncestor(h, GA_ROOT), true);
  InvalidateRect(h, nullptr, false);
}

// Closes the list: with `accept` the item shown selected is taken, else the selection the
// list had when it dropped comes back.
void close(HWND h, combo& c, bool accept) {
  if (!c.dropped) return;
  c.dropped = false;
  if (display* d = current_display()) d->grab(HWND{}, false);
  ShowWindow(c.list, SW_HIDE);
  if (GetCapture() == h) ReleaseCapture();
  InvalidateRect(h, nullptr, false);
  if (!accept) {
    to_list(c, LB_SETCURSEL, WPARAM(c.sel_at_drop));
    command(h, CBN_SELENDCANCEL);
    if (IsWindow(h)) command(h, CBN_CLOSEUP);
    return;
  }
  command(h, CBN_SELENDOK);
  if (!IsWindow(h)) return;
  command(h, CBN_CLOSEUP);
  if (!IsWindow(h)) return;
  if (current(c) != c.told_sel) {
    show_selection(h, c);
    tell_selection(h, c);
  }
}

// A step of the selection by a key, with the list down or not.
void step(HWND h, combo& c, uint32_t vk) {
  int n = int(to_list(c, LB_GETCOUNT));
  if (n <= 0) return;
  int at = current(c), page = std::max(1, std::min(n, c.min_visible) - 1);
  switch (vk) {
    case VK_UP: at = at < 0 ? 0 : at - 1; break;
    case VK_DOWN: at = at < 0 ? 0 : at + 1; break;
    case VK_PRIOR: at -= page; break;
    case VK_NEXT: at += page; break;
    case VK_HOME: at = 0; break;
    case VK_END: at = n - 1; break;
    default: return;
  }
  to_list(c, LB_SETCURSEL, WPARAM(std::clamp(at, 0, n - 1)));
  show_selection(h, c);
  tell_selection(h, c);
}

// Keys of the combo box itself, or of its edit field: true when taken.
bool combo_key(HWND h, combo& c, uint32_t msg, uint32_t vk) {
  bool alt = msg == WM_SYSKEYDOWN || GetKeyState(VK_MENU) < 0;
  if (vk == VK_F4 || (alt && (vk == VK_DOWN || vk == VK_UP))) {
    if (c.dropped) close(h, c, true);
    else drop(h, c);
    return true;
  }
  if (msg != WM_KEYDOWN) return false;
  switch (vk) {
    case VK_RETURN:
      if (!c.dropped) return false;
      close(h, c, true);
      return true;
    case VK_ESCAPE:
      if (!c.dropped) return false;
      close(h, c, false);
      return true;
    case VK_UP: case VK_DOWN: case VK_PRIOR: case VK_NEXT:
      step(h, c, vk);
      return true;
    case VK_HOME: case VK_END:
      if (editable(h) && !c.dropped) return false;
      step(h, c, vk);
      return true;
  }
  return false;
}

// The edit field of a drop-down: its keys for the list go to the combo box.
LRESULT edit_subclass(HWND e, uint32_t msg, WPARAM wp, LPARAM lp) {
  HWND h = GetParent(e);
  combo* c = control_of<combo>(h);
  WNDPROC base = c && c->edit_proc ? c->edit_proc : edit_proc;
  if (c && (msg == WM_KEYDOWN || msg == WM_SYSKEYDOWN) && combo_key(h, *c, msg, uint32_t(wp))) return 0;
  return CallWindowProc(base, e, msg, wp, lp);
}

void focus_gone(HWND h, combo& c) {
  HWND now = GetFocus();
  if (now == h || (!is_null(now) && (now == c.edit || now == c.list))) return;
  c.active = false;
  close(h, c, false);
  if (!IsWindow(h)) return;
  InvalidateRect(h, nullptr, false);
  command(h, CBN_KILLFOCUS);
}

void paint(HWND h, combo& c) {
  painting pt(h, c.font);
  HDC dc = pt.dc;
  cairo_t* cr = pt.cr;
  const RECT& rc = pt.rc;
  bool enabled = IsWindowEnabled(h);
  COLORREF bg = ask_colors(h, dc, WM_CTLCOLORLISTBOX, enabled ? part::field : part::field_disabled);
  fill(cr, rc, bg);
  RECT b = button_rect(h);
  bool hot = c.parts.shows_hot(BUTTON) || c.dropped;
  if (!editable(h)) {
    int pad = px(h, 3);
    RECT tr{rc.left + pad, rc.top + pad, b.left - pad, rc.bottom - pad};
    if (c.active && !c.dropped) {
      fill(cr, tr, theme_color(h, part::selection));
      SetTextColor(dc, theme_color(h, part::selection_text));
    }
    int i = current(c);
    SetBkMode(dc, TRANSPARENT);
    RECT text_r{tr.left + px(h, 2), tr.top, tr.right, tr.bottom};
    if (i >= 0) DrawText(dc, item_text(c, i), text_r, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
  }
  if (hot) fill(cr, b, theme_color(h, c.parts.shows_pressed(BUTTON) || c.dropped ? part::face_pressed : part::face_hot));
  // The chevron of the button.
  double cx = b.left + b.width() / 2.0, cy = b.top + b.height() / 2.0, s = std::max(2, px(h, 4));
  set_color(cr, theme_color(h, enabled ? part::glyph : part::glyph_disabled));
  cairo_set_line_width(cr, std::max(1, px(h, 1)));
  cairo_move_to(cr, cx - s, cy - s / 2);
  cairo_line_to(cr, cx, cy + s / 2);
  cairo_line_to(cr, cx + s, cy - s / 2);
  cairo_stroke(cr);
  COLORREF frame = !enabled ? theme_color(h, part::frame_disabled)
                 : c.active || hot ? theme_color(h, part::frame_hot) : theme_color(h, part::field_frame);
  outline(cr, rc, frame);
}

void make_children(HWND h, combo& c) {
  uint32_t style = style_of(h);
  RECT rc;
  GetClientRect(h, rc);
  if (editable(h)) {
    RECT b = button_rect(h);
    int m = px(h, 2);
    uint32_t es = WS_CHILD | WS_VISIBLE | ((style & CBS_AUTOHSCROLL) ? ES_AUTOHSCROLL : 0);
    c.edit = CreateWindowEx(0, "EDIT", "", es, m, m, std::max(1, b.left - 2 * m), std::max(1, rc.height() - 2 * m), h,
                            HMENU{COMBO_EDIT_ID}, nullptr);
    if (IsWindow(c.edit)) {
      c.edit_proc = reinterpret_cast<WNDPROC>(GetWindowLong(c.edit, GWLP_WNDPROC));
      SetWindowLong(c.edit, GWLP_WNDPROC, reinterpret_cast<int64_t>(edit_subclass));
    }
  }
  c.list = CreateWindowEx(WS_EX_TOOLWINDOW | WS_EX_TOPMOST | WS_EX_NOACTIVATE, "ComboLBox", "",
                          WS_POPUP | WS_BORDER | WS_VSCROLL, 0, 0, 10, 10, h, HMENU{}, nullptr);
  if (IsWindow(c.list)) set_combo_of(c.list, h);
}
}  // namespace

LRESULT combobox_proc(HWND h, uint32_t msg, WPARAM wp, LPARAM lp) {
  combo& c = state_of<combo>(h);
  LRESULT answer = 0;
  if (msg == WM_SETFONT) {
    if (IsWindow(c.edit)) SendMessage(c.edit, msg, wp, lp);
    to_list(c, msg, wp, lp);
  } else if (msg == WM_ENABLE && IsWindow(c.edit)) {
    EnableWindow(c.edit, wp != 0);
  }
  if (common_message(h, c, msg, wp, lp, answer)) return answer;
  POINT p{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
  switch (msg) {
    case WM_CREATE:
      make_children(h, c);
      return 0;
    case WM_DESTROY:
      if (IsWindow(c.list)) DestroyWindow(c.list);
      c.list = HWND{};
      return 0;
    case WM_PAINT:
      paint(h, c);
      return 0;
    case WM_SIZE:
      if (IsWindow(c.edit)) {
        RECT rc, b = button_rect(h);
        GetClientRect(h, rc);
        int m = px(h, 2);
        MoveWindow(c.edit, m, m, std::max(1, b.left - 2 * m), std::max(1, rc.height() - 2 * m), true);
      }
      InvalidateRect(h, nullptr, false);
      return 0;
    // The list's own messages, by their combo names.
    case CB_ADDSTRING: return to_list(c, LB_ADDSTRING, wp, lp);
    case CB_INSERTSTRING: return to_list(c, LB_INSERTSTRING, wp, lp);
    case CB_DELETESTRING: {
      LRESULT r = to_list(c, LB_DELETESTRING, wp, lp);
      InvalidateRect(h, nullptr, false);
      return r;
    }
    case CB_GETCOUNT: return to_list(c, LB_GETCOUNT);
    case CB_GETCURSEL: return to_list(c, LB_GETCURSEL);
    case CB_GETLBTEXT: return to_list(c, LB_GETTEXT, wp, lp);
    case CB_GETLBTEXTLEN: return to_list(c, LB_GETTEXTLEN, wp, lp);
    case CB_FINDSTRING: return to_list(c, LB_FINDSTRING, wp, lp);
    case CB_FINDSTRINGEXACT: return to_list(c, LB_FINDSTRINGEXACT, wp, lp);
    case CB_GETITEMDATA: return to_list(c, LB_GETITEMDATA, wp, lp);
    case CB_SETITEMDATA: return to_list(c, LB_SETITEMDATA, wp, lp);
    case CB_GETITEMHEIGHT: return to_list(c, LB_GETITEMHEIGHT, wp, lp);
    case CB_SETITEMHEIGHT: return to_list(c, LB_SETITEMHEIGHT, wp, lp);
    case CB_RESETCONTENT:
      to_list(c, LB_RESETCONTENT);
      c.told_sel = -1;
      if (IsWindow(c.edit)) {
        c.quiet_edit = true;
        SetWindowText(c.edit, "");
        c.quiet_edit = false;
      }
      InvalidateRect(h, nullptr, false);
      return CB_OKAY;
    case CB_SETCURSEL:
    case CB_SELECTSTRING: {
      LRESULT r = msg == CB_SETCURSEL ? to_list(c, LB_SETCURSEL, wp, lp) : to_list(c, LB_SELECTSTRING, wp, lp);
      c.told_sel = current(c);
      show_selection(h, c);
      return r;
    }
    case CB_SHOWDROPDOWN:
      if (wp) drop(h, c);
      else close(h, c, true);
      return 1;
    case CB_GETDROPPEDSTATE:
      return c.dropped;
    case CB_GETDROPPEDCONTROLRECT:
      if (lp) {
        RECT r;
        GetWindowRect(IsWindow(c.list) && c.dropped ? c.list : h, r);
        *reinterpret_cast<RECT*>(lp) = r;
      }
      return 1;
    case CB_SETMINVISIBLE:
      if (int32_t(wp) < 1) return 0;
      c.min_visible = int32_t(wp);
      return 1;
    case CB_GETMINVISIBLE:
      return c.min_visible;
    case CB_LIMITTEXT:
      if (IsWindow(c.edit)) SendMessage(c.edit, EM_LIMITTEXT, wp, 0);
      return 1;
    case CB_GETEDITSEL:
      return IsWindow(c.edit) ? SendMessage(c.edit, EM_GETSEL, wp, lp) : CB_ERR;
    case CB_SETEDITSEL:
      if (!IsWindow(c.edit)) return CB_ERR;
      SendMessage(c.edit, EM_SETSEL, WPARAM(int16_t(LOWORD(lp))), LPARAM(int16_t(HIWORD(lp))));
      return 1;
    case WM_SETTEXT: {
      const char* text = lp ? reinterpret_cast<const char*>(lp) : "";
      if (IsWindow(c.edit)) {
        c.quiet_edit = true;
        SetWindowText(c.edit, text);
        c.quiet_edit = false;
        return 1;
      }
      // A drop-down list shows only its items: the text selects the item that has it.
      LRESULT i = to_list(c, LB_FINDSTRINGEXACT, WPARAM(-1), lp);
      if (i < 0) return CB_ERR;
      to_list(c, LB_SETCURSEL, WPARAM(i));
      c.told_sel = int(i);
      InvalidateRect(h, nullptr, false);
      return 1;
    }
    case WM_GETTEXTLENGTH:
    case WM_GETTEXT: {
      std::string t;
      if (IsWindow(c.edit)) t = GetWindowText(c.edit);
      else if (current(c) >= 0) t = item_text(c, current(c));
      return msg == WM_GETTEXTLENGTH ? LRESULT(t.size()) : copy_text(t, wp, lp);
    }
    case WM_COMMAND:
      if (HWND(uint32_t(lp)) == c.edit) {
        switch (HIWORD(wp)) {
          case EN_CHANGE:
            if (!c.quiet_edit) {
              command(h, CBN_EDITUPDATE);
              if (IsWindow(h)) command(h, CBN_EDITCHANGE);
            }
            break;
          case EN_SETFOCUS:
            if (!c.active) {
              c.active = true;
              InvalidateRect(h, nullptr, false);
              command(h, CBN_SETFOCUS);
            }
            break;
          case EN_KILLFOCUS:
            focus_gone(h, c);
            break;
        }
      }
      return 0;
    // The edit field's colours are asked of the combo box's parent.
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORSTATIC: {
      HWND parent = GetParent(h);
      return is_null(parent) ? 0 : SendMessage(parent, msg, wp, lp);
    }
    case WM_SETFOCUS:
      if (IsWindow(c.edit)) {
        SetFocus(c.edit);
        SendMessage(c.edit, EM_SETSEL, 0, -1);
        return 0;
      }
      if (!c.active) {
        c.active = true;
        InvalidateRect(h, nullptr, false);
        command(h, CBN_SETFOCUS);
      }
      return 0;
    case WM_KILLFOCUS:
      focus_gone(h, c);
      return 0;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
      if (combo_key(h, c, msg, uint32_t(wp))) return 0;
      break;
    case WM_CHAR:
      if (!editable(h) && wp >= 0x20) {
        // Typing in a drop-down list picks the next item starting with the character.
        std::string ch = to_utf8(std::u16string(1, char16_t(wp)));
        LRESULT i = to_list(c, LB_FINDSTRING, WPARAM(current(c)), reinterpret_cast<LPARAM>(ch.c_str()));
        if (i >= 0) {
          to_list(c, LB_SETCURSEL, WPARAM(i));
          show_selection(h, c);
          tell_selection(h, c);
        }
      }
      return 0;
    case WM_MOUSEWHEEL:
      if (c.dropped) return to_list(c, msg, wp, lp);
      step(h, c, int16_t(HIWORD(wp)) > 0 ? VK_UP : VK_DOWN);
      return 0;
    case WM_MOUSEMOVE: {
      RECT b = button_rect(h), rc;
      GetClientRect(h, rc);
      hover(h, c, (editable(h) ? b : rc).contains(p) ? BUTTON : -1);
      if (c.dropped && IsWindow(c.list)) {
        POINT q = p;
        MapWindowPoints(h, c.list, &q, 1);
        SendMessage(c.list, WM_MOUSEMOVE, wp, MAKELPARAM(q.x, q.y));
      }
      return 0;
    }
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
      if (c.dropped) {
        POINT q = p;
        MapWindowPoints(h, c.list, &q, 1);
        RECT lr, rc;
        GetClientRect(c.list, lr);
        GetClientRect(h, rc);
        if (lr.contains(q)) {
          c.pressed_in_list = true;
        } else if (!rc.contains(p)) {
          close(h, c, false);   // a press elsewhere closes the list unchanged
        } else {
          close(h, c, true);
        }
        return 0;
      }
      if (!IsWindow(c.edit) || GetFocus() != c.edit) SetFocus(h);
      if (!IsWindow(h)) return 0;
      RECT b = button_rect(h), rc;
      GetClientRect(h, rc);
      if (!(editable(h) ? b : rc).contains(p)) return 0;
      redraw_if(h, c.parts.press(BUTTON));
      drop(h, c);
      return 0;
    }
    case WM_LBUTTONUP: {
      redraw_if(h, c.parts.release(-1));
      if (!c.dropped) return 0;
      POINT q = p;
      MapWindowPoints(h, c.list, &q, 1);
      RECT lr;
      GetClientRect(c.list, lr);
      if (lr.contains(q)) {
        // A release on an item picks it.
        LRESULT at = SendMessage(c.list, LB_ITEMFROMPOINT, 0, MAKELPARAM(q.x, q.y));
        if (HIWORD(at) == 0) {
          to_list(c, LB_SETCURSEL, LOWORD(at));
          close(h, c, true);
        }
      }
      return 0;
    }
    case WM_CAPTURECHANGED:
      if (c.dropped && HWND(uint32_t(lp)) != h) close(h, c, false);
      return 0;
  }
  return DefWindowProc(h, msg, wp, lp);
}

}  // namespace vyr::win
