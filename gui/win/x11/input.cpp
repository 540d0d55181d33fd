// The X11 display's input: X events become layer input; keys go through the input method
// when there is one, keysyms map to virtual keys (left and right modifiers told apart).
#include "gui/win/x11/internal.h"

namespace vyr::win {

static uint32_t vk_of(KeySym ks, key_side& side, bool& extended) {
  side = key_side::none;
  extended = false;
  if (ks >= XK_a && ks <= XK_z) return uint32_t('A' + (ks - XK_a));
  if (ks >= XK_A && ks <= XK_Z) return uint32_t('A' + (ks - XK_A));
  if (ks >= XK_0 && ks <= XK_9) return uint32_t('0' + (ks - XK_0));
  if (ks >= XK_F1 && ks <= XK_F24) return uint32_t(VK_F1 + (ks - XK_F1));
  if (ks >= XK_KP_0 && ks <= XK_KP_9) return uint32_t(VK_NUMPAD0 + (ks - XK_KP_0));
  struct { KeySym ks; uint32_t vk; key_side side; bool ext; } t[] = {
    {XK_Shift_L, VK_SHIFT, key_side::left, false}, {XK_Shift_R, VK_SHIFT, key_side::right, false},
    {XK_Control_L, VK_CONTROL, key_side::left, false}, {XK_Control_R, VK_CONTROL, key_side::right, true},
    {XK_Alt_L, VK_MENU, key_side::left, false}, {XK_Alt_R, VK_MENU, key_side::right, true},
    {XK_Meta_L, VK_MENU, key_side::left, false}, {XK_Meta_R, VK_MENU, key_side::right, true},
    {XK_ISO_Level3_Shift, VK_MENU, key_side::right, true},
    {XK_Super_L, VK_LWIN, key_side::none, true}, {XK_Super_R, VK_RWIN, key_side::none, true},
    {XK_Menu, VK_APPS, key_side::none, true}, {XK_Caps_Lock, VK_CAPITAL, key_side::none, false},
    {XK_Num_Lock, VK_NUMLOCK, key_side::none, true}, {XK_Scroll_Lock, VK_SCROLL, key_side::none, false},
    {XK_Return, VK_RETURN, key_side::none, false}, {XK_KP_Enter, VK_RETURN, key_side::none, true},
    {XK_Tab, VK_TAB, key_side::none, false}, {XK_ISO_Left_Tab, VK_TAB, key_side::none, false},
    {XK_BackSpace, VK_BACK, key_side::none, false}, {XK_Escape, VK_ESCAPE, key_side::none, false},
    {XK_space, VK_SPACE, key_side::none, false}, {XK_Delete, VK_DELETE, key_side::none, true},
    {XK_Insert, VK_INSERT, key_side::none, true}, {XK_Home, VK_HOME, key_side::none, true},
    {XK_End, VK_END, key_side::none, true}, {XK_Prior, VK_PRIOR, key_side::none, true},
    {XK_Next, VK_NEXT, key_side::none, true}, {XK_Left, VK_LEFT, key_side::none, true},
    {XK_Right, VK_RIGHT, key_side::none, true}, {XK_Up, VK_UP, key_side::none, true},
    {XK_Down, VK_DOWN, key_side::none, true}, {XK_KP_Delete, VK_DELETE, key_side::none, false},
    {XK_KP_Insert, VK_INSERT, key_side::none, false}, {XK_KP_Home, VK_HOME, key_side::none, false},
    {XK_KP_End, VK_END, key_side::none, false}, {XK_KP_Prior, VK_PRIOR, key_side::none, false},
    {XK_KP_Next, VK_NEXT, key_side::none, false}, {XK_KP_Left, VK_LEFT, key_side::none, false},
    {XK_KP_Right, VK_RIGHT, key_side::none, false}, {XK_KP_Up, VK_UP, key_side::none, false},
    {XK_KP_Down, VK_DOWN, key_side::none, false}, {XK_KP_Multiply, VK_MULTIPLY, key_side::none, false},
    {XK_KP_Add, VK_ADD, key_side::none, false}, {XK_KP_Subtract, VK_SUBTRACT, key_side::none, false},
    {XK_KP_Decimal, VK_DECIMAL, key_side::none, false}, {XK_KP_Divide, VK_DIVIDE, key_side::none, true},
    {XK_Pause, VK_PAUSE, key_side::none, false}, {XK_Print, VK_SNAPSHOT, key_side::none, true},
    {XK_minus, VK_OEM_MINUS, key_side::none, false}, {XK_equal, VK_OEM_PLUS, key_side::none, false},
    {XK_bracketleft, VK_OEM_4, key_side::none, false}, {XK_bracketright, VK_OEM_6, key_side::none, false},
    {XK_semicolon, VK_OEM_1, key_side::none, false}, {XK_apostrophe, VK_OEM_7, key_side::none, false},
    {XK_grave, VK_OEM_3, key_side::none, false}, {XK_backslash, VK_OEM_5, key_side::none, false},
    {XK_comma, VK_OEM_COMMA, key_side::none, false}, {XK_period, VK_OEM_PERIOD, key_side::none, false},
    {XK_slash, VK_OEM_2, key_side::none, false}};
  for (auto& e : t)
    if (e.ks == ks) { side = e.side; extended = e.ext; return e.vk; }
  return 0;
}

static std::string utf8_of(uint32_t cp) {
  std::u16string u;
  if (cp >= 0x10000) { cp -= 0x10000; u += char16_t(0xD800 + (cp >> 10)); u += char16_t(0xDC00 + (cp & 0x3FF)); }
  else u += char16_t(cp);
  return to_utf8(u);
}

void x11_display::impl::key_taken(XKeyEvent& e) {
  top_record* r = rec(e.window);
  if (!r || !r->ic) return;
  if (!r->composing) {
    r->composing = true;
    input_composition(true);
  }
  key_input k;
  k.vk = VK_PROCESSKEY;
  input_key(k);
}

void x11_display::impl::key_event(XKeyEvent& e) {
  bool down = e.type == KeyPress;
  KeySym base = XLookupKeysym(&e, 0);
  key_input k;
  k.down = down;
  k.vk = vk_of(base, k.side, k.extended);
  if (down) {
    top_record* r = rec(e.window);
    // A key the input method let through ends what it was composing; the text it
    // commits comes as the text of a key it took.
    bool committed = false;
    if (r && r->composing) {
      r->composing = false;
      committed = true;
      input_composition(false);
    }
    char buf[64];
    KeySym ks = 0;
    int n = 0;
    if (r && r->ic) {
      Status st;
      n = Xutf8LookupString(r->ic, &e, buf, sizeof buf - 1, &ks, &st);
      if (st != XLookupChars && st != XLookupBoth) n = 0;
    } else {
      n = XLookupString(&e, buf, sizeof buf - 1, &ks, nullptr);
      // Without an input method the bytes are Latin-1; take the keysym's code point.
      n = 0;
      uint32_t cp = 0;
      if ((ks >= 0x20 && ks <= 0x7E) || (ks >= 0xA0 && ks <= 0xFF)) cp = uint32_t(ks);
      else if ((ks & 0xFF000000) == 0x01000000) cp = uint32_t(ks & 0xFFFFFF);
      if (cp && !(e.state & ControlMask)) k.text = utf8_of(cp);
    }
    if (n > 0) k.text.assign(buf, size_t(n));
    if (k.vk == VK_DELETE) k.text.clear();   // Delete types nothing
    // Ctrl+Alt with a key is a chord, not the control character Ctrl alone types (the
    // headless display types none either); what AltGr types is printable and still comes.
    if ((e.state & ControlMask) && (e.state & Mod1Mask) && k.text.size() == 1 &&
        (static_cast<unsigned char>(k.text[0]) < 0x20 || k.text[0] == 0x7F))
      k.text.clear();
    if (committed && e.keycode == 0 && !k.text.empty()) {
      k.vk = VK_PROCESSKEY;
    } else if (!k.vk && !k.text.empty()) {
      // A key the table does not know still types: give it the VK of its character.
      std::u16string u = to_utf16(k.text);
      int16_t s = u.empty() ? -1 : VkKeyScan(u[0]);
      k.vk = s >= 0 ? uint32_t(s & 0xFF) : VK_PROCESSKEY;
    }
  }
  // AltGr comes as a left Ctrl held with the right Alt, as the keyboards with that key give
  // it elsewhere: what it types is then text, and no Alt shortcut (Alt+A, Alt+O) of a window.
  key_input ctrl;
  ctrl.down = down;
  ctrl.vk = base == XK_ISO_Level3_Shift ? uint32_t(VK_CONTROL) : 0;
  ctrl.side = key_side::left;
  if (ctrl.vk && down) input_key(ctrl);
  if (k.vk) input_key(k);
  if (ctrl.vk && !down) input_key(ctrl);
}

void x11_display::impl::handle(XEvent& e) {
  if (have_rr && e.type == rr_event + RRScreenChangeNotify) {
    XRRUpdateConfiguration(&e);
    read_dpi();
    read_monitors();
    input_display_changed();
    return;
  }
  if (selection_event(e)) return;
  switch (e.type) {
    case MappingNotify: XRefreshKeyboardMapping(&e.xmapping); return;
  }
  top_record* r = rec(e.xany.window);
  if (!r) return;
  HWND h = r->hwnd;
  switch (e.type) {
    case MapNotify:
      r->mapped = true;
      if (GetActiveWindow() == h) XSetInputFocus(dpy, r->xid, RevertToParent, CurrentTime);
      RedrawWindow(h, nullptr, RDW_FRAME);   // compose and present again now that it shows
      return;
    case UnmapNotify: r->mapped = false; return;
    case Expose:
      if (e.xexpose.count == 0) RedrawWindow(h, nullptr, RDW_FRAME);
      return;
    case ConfigureNotify: {
      int x = e.xconfigure.x, y = e.xconfigure.y;
      if (!e.xconfigure.send_event) {
        Window child;
        XTranslateCoordinates(dpy, r->xid, root, 0, 0, &x, &y, &child);
      }
      RECT c{x, y, x + e.xconfigure.width, y + e.xconfigure.height};
      RECT prev = r->seen;
      r->seen = c;
      if (c == r->asked || c == prev) return;   // our own request, or no change
      RECT f = (GetWindowLong(h, GWL_STYLE) & WS_CAPTION) == WS_CAPTION ? wm_frame : RECT{};
      RECT wr{c.left - f.left, c.top - f.top, c.right + f.right, c.bottom + f.bottom};
      bool sizing = c.width() != prev.width() || c.height() != prev.height();
      int phase = r->in_move_size ? 1 : 0;
      r->in_move_size = true;
      r->sizing = r->sizing || sizing;
      r->last_configure_us = steady_us();
      r->asked = c;
      input_move_size(h, wr, sizing, phase);
      return;
    }
    case ClientMessage:
      if (e.xclient.message_type != WM_PROTOCOLS) return;
      if (Atom(e.xclient.data.l[0]) == WM_DELETE_WINDOW) input_close(h);
      if (Atom(e.xclient.data.l[0]) == WM_TAKE_FOCUS) {
        top_record* k = rec(input_key_window(h));
        if (k && k->mapped) {
          XSetInputFocus(dpy, k->xid, RevertToParent, Time(e.xclient.data.l[1]));
          if (k != r) XRaiseWindow(dpy, k->xid);
        }
      }
      return;
    case KeyPress:
    case KeyRelease:
      key_event(e.xkey);
      return;
    case ButtonPress:
    case ButtonRelease: {
      bool down = e.type == ButtonPress;
      POINT p{e.xbutton.x_root, e.xbutton.y_root};
      switch (e.xbutton.button) {
        case 1: input_button(1, down, p); break;
        case 2: input_button(2, down, p); break;
        case 3: input_button(3, down, p); break;
        case 8: input_button(4, down, p); break;
        case 9: input_button(5, down, p); break;
        case 4: if (down) input_wheel(WHEEL_DELTA, false, p); break;
        case 5: if (down) input_wheel(-WHEEL_DELTA, false, p); break;
        case 6: if (down) input_wheel(-WHEEL_DELTA, true, p); break;
        case 7: if (down) input_wheel(WHEEL_DELTA, true, p); break;
      }
      return;
    }
    case MotionNotify:
      input_pointer_move({e.xmotion.x_root, e.xmotion.y_root});
      return;
    // With the focus on the pointer's root, the window under the pointer is told it has the
    // keys (detail NotifyPointer), and told it lost them when a window is given the focus
    // itself: neither changes the active window (acting on that loss cleared the focused
    // field of a dialog as it was shown).
    case FocusIn:
      if (e.xfocus.detail == NotifyPointer) return;
      if (e.xfocus.mode == NotifyNormal || e.xfocus.mode == NotifyWhileGrabbed) {
        if (r->ic) XSetICFocus(r->ic);
        if (GetActiveWindow() != h && e.xfocus.serial >= focus_chosen) input_activate(h, true);
      }
      return;
    case FocusOut:
      if (e.xfocus.detail == NotifyPointer) return;
      if (e.xfocus.mode == NotifyNormal || e.xfocus.mode == NotifyWhileGrabbed) {
        if (r->ic) XUnsetICFocus(r->ic);
        if (e.xfocus.detail != NotifyInferior) input_activate(h, false);
      }
      return;
    case PropertyNotify:
      if (e.xproperty.atom == NET_WM_STATE) {
        Atom type;
        int format;
        unsigned long n = 0, after;
        unsigned char* data = nullptr;
        bool max_v = false, max_h = false, hidden = false;
        if (XGetWindowProperty(dpy, r->xid, NET_WM_STATE, 0, 64, False, XA_ATOM, &type, &format, &n, &after, &data) == Success && data) {
          Atom* a = reinterpret_cast<Atom*>(data);
          for (unsigned long i = 0; i < n; ++i) {
            max_v |= a[i] == NET_MAX_V;
            max_h |= a[i] == NET_MAX_H;
            hidden |= a[i] == NET_HIDDEN;
          }
          XFree(data);
        }
        if (hidden && !IsIconic(h)) input_state(h, SW_MINIMIZE);
        else if (!hidden && max_v && max_h && !IsZoomed(h)) input_state(h, SW_MAXIMIZE);
        else if (!hidden && !(max_v && max_h) && (IsZoomed(h) || IsIconic(h))) input_state(h, SW_RESTORE);
      } else if (e.xproperty.atom == NET_FRAME_EXTENTS) {
        Atom type;
        int format;
        unsigned long n = 0, after;
        unsigned char* data = nullptr;
        if (XGetWindowProperty(dpy, r->xid, NET_FRAME_EXTENTS, 0, 4, False, XA_CARDINAL, &type, &format, &n, &after, &data) == Success && data && n == 4) {
          long* l = reinterpret_cast<long*>(data);
          if ((GetWindowLong(h, GWL_STYLE) & WS_CAPTION) == WS_CAPTION)
            wm_frame = {int32_t(l[0]), int32_t(l[2]), int32_t(l[1]), int32_t(l[3])};
        }
        if (data) XFree(data);
      }
      return;
  }
}

}  // namespace vyr::win
