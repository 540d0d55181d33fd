// The X11 display's top levels: each top-level window is an X window that shows the
// composed frame (children live only in the layer), with size hints, decorations, title,
// state and cursor kept in step with the layer's window.
#include "gui/win/x11/internal.h"

namespace vyr::win {

namespace {
MINMAXINFO detail_min_max(HWND h) { return detail::min_max_of(h); }
}  // namespace

void x11_display::impl::set_hints(HWND h, top_record& r) {
  uint32_t style = uint32_t(GetWindowLong(h, GWL_STYLE));
  RECT c = client_screen(h);
  XSizeHints* sh = XAllocSizeHints();
  // The position is the user's (a saved one, say): window managers honour it as given,
  // and static gravity makes it the place of the client area itself, not of the frame the
  // manager adds around it; otherwise a position read back and set again would move the
  // window by the frame's height on every run.
  sh->flags = PPosition | PSize | USPosition | PWinGravity;
  sh->win_gravity = StaticGravity;
  sh->x = c.left;
  sh->y = c.top;
  sh->width = c.width();
  sh->height = c.height();
  if (!(style & WS_THICKFRAME)) {
    sh->flags |= PMinSize | PMaxSize;
    sh->min_width = sh->max_width = c.width();
    sh->min_height = sh->max_height = c.height();
  } else {
    // The window's own limits, as client sizes.
    MINMAXINFO mm = detail_min_max(h);
    RECT f = (style & WS_CAPTION) == WS_CAPTION ? wm_frame : RECT{};
    int fw = f.left + f.right, fh = f.top + f.bottom;
    sh->flags |= PMinSize | PMaxSize;
    sh->min_width = std::max(1, mm.ptMinTrackSize.x - fw);
    sh->min_height = std::max(1, mm.ptMinTrackSize.y - fh);
    sh->max_width = std::max(sh->min_width, mm.ptMaxTrackSize.x - fw);
    sh->max_height = std::max(sh->min_height, mm.ptMaxTrackSize.y - fh);
  }
  XSetWMNormalHints(dpy, r.xid, sh);
  XFree(sh);
  // Windows without a caption ask for no decorations.
  struct { unsigned long flags, functions, decorations; long input_mode; unsigned long status; } mh{2, 0, 0, 0, 0};
  mh.decorations = (style & WS_CAPTION) == WS_CAPTION ? 1 : 0;
  XChangeProperty(dpy, r.xid, MOTIF_HINTS, MOTIF_HINTS, 32, PropModeReplace, reinterpret_cast<unsigned char*>(&mh), 5);
  std::string title = GetWindowText(h);
  XChangeProperty(dpy, r.xid, NET_WM_NAME, UTF8_STRING, 8, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(title.data()), int(title.size()));
  XStoreName(dpy, r.xid, title.c_str());
  HWND owner = GetWindow(h, GW_OWNER);
  if (top_record* o = rec(owner)) XSetTransientForHint(dpy, r.xid, o->xid);
}

XIC x11_display::impl::make_ic(top_record& r) {
  XIMStyles* styles = nullptr;
  bool position = false;
  if (!XGetIMValues(im, XNQueryInputStyle, &styles, nullptr) && styles) {
    for (unsigned i = 0; i < styles->count_styles; ++i)
      position |= styles->supported_styles[i] == (XIMPreeditPosition | XIMStatusNothing);
    XFree(styles);
  }
  if (position && !preedit_fonts) {
    char** missing = nullptr;
    int n = 0;
    char* fallback = nullptr;
    preedit_fonts = XCreateFontSet(dpy, "-*-*-medium-r-normal--14-*-*-*-*-*-*-*,*", &missing, &n, &fallback);
    if (missing) XFreeStringList(missing);
  }
  if (position && preedit_fonts) {
    XPoint spot{0, 0};
    XVaNestedList pre = XVaCreateNestedList(0, XNSpotLocation, &spot, XNFontSet, preedit_fonts, nullptr);
    XIC ic = XCreateIC(im, XNInputStyle, XIMPreeditPosition | XIMStatusNothing, XNClientWindow, r.xid,
                       XNFocusWindow, r.xid, XNPreeditAttributes, pre, nullptr);
    XFree(pre);
    if (ic) {
      r.over_the_spot = true;
      return ic;
    }
  }
  // The fall-back every input method has: it composes out of sight, text comes committed.
  return XCreateIC(im, XNInputStyle, XIMPreeditNothing | XIMStatusNothing, XNClientWindow, r.xid,
                   XNFocusWindow, r.xid, nullptr);
}

void x11_display::set_text_spot(HWND h, POINT spot) {
  if (p_->dead) return;
  top_record* r = p_->rec(h);
  // With the fall-back style the input method composes out of sight: no spot to give.
  if (!r || !r->ic || !r->over_the_spot) return;
  XPoint at{short(std::clamp(spot.x, -32768, 32767)), short(std::clamp(spot.y, -32768, 32767))};
  XVaNestedList attrs = XVaCreateNestedList(0, XNSpotLocation, &at, nullptr);
  XSetICValues(r->ic, XNPreeditAttributes, attrs, nullptr);
  XFree(attrs);
  XFlush(p_->dpy);
}

const char* x11_display::preedit_style(HWND h) const {
  auto it = p_->tops.find(h);
  if (it == p_->tops.end() || !it->second.ic) return "";
  return it->second.over_the_spot ? "position" : "nothing";
}

void x11_display::create_top(HWND h) {
  if (p_->dead) return;
  impl& p = *p_;
  top_record r;
  r.hwnd = h;
  RECT c = p.client_screen(h);
  XSetWindowAttributes a{};
  a.background_pixel = WhitePixel(p.dpy, p.screen);
  a.event_mask = ExposureMask | KeyPressMask | KeyReleaseMask | ButtonPressMask | ButtonReleaseMask |
                 PointerMotionMask | EnterWindowMask | LeaveWindowMask | StructureNotifyMask |
                 FocusChangeMask | PropertyChangeMask;
  a.bit_gravity = NorthWestGravity;
  // A pop-up that never takes the activation (a dropped list, a menu) is placed and stacked
  // by the layer alone: the window manager leaves it be.
  uint32_t style = uint32_t(GetWindowLong(h, GWL_STYLE)), ex = uint32_t(GetWindowLong(h, GWL_EXSTYLE));
  a.override_redirect = (style & WS_POPUP) && (ex & WS_EX_NOACTIVATE) ? True : False;
  r.xid = XCreateWindow(p.dpy, p.root, c.left, c.top, c.width(), c.height(), 0, p.depth, InputOutput, p.visual,
                        CWBackPixel | CWEventMask | CWBitGravity | CWOverrideRedirect, &a);
  r.asked = r.seen = c;
  r.gc = XCreateGC(p.dpy, r.xid, 0, nullptr);
  // The window takes the keys when given them, and when offered them it takes them itself
  // (or hands them to the modal window it opened): a manager whose focus follows the
  // pointer gives keys only to windows that say so, and leaves the others without them.
  Atom protocols[] = {p.WM_DELETE_WINDOW, p.WM_TAKE_FOCUS};
  XSetWMProtocols(p.dpy, r.xid, protocols, 2);
  if (XWMHints* wh = XAllocWMHints()) {
    wh->flags = InputHint | StateHint;
    wh->input = True;
    wh->initial_state = NormalState;
    XSetWMHints(p.dpy, r.xid, wh);
    XFree(wh);
  }
  if (p.im) r.ic = p.make_ic(r);
  p.by_xid[r.xid] = h;
  p.tops[h] = r;
  p.set_hints(h, p.tops[h]);
  XFlush(p.dpy);
}

// While a menu runs, the pointer and the keyboard go to the process alone, wherever the
// pointer is: events over its own windows come as usual, the others to the grabbing window.
void x11_display::grab(HWND h, bool on) {
  if (p_->dead) return;
  impl& p = *p_;
  if (!on) {
    bool any = false;
    for (auto& [hw, r] : p.tops) any |= std::exchange(r.grabbed, false);
    if (any) {
      XUngrabPointer(p.dpy, CurrentTime);
      XUngrabKeyboard(p.dpy, CurrentTime);
      XFlush(p.dpy);
    }
    return;
  }
  top_record* r = p.rec(h);
  if (!r || !r->mapped) return;
  unsigned mask = ButtonPressMask | ButtonReleaseMask | PointerMotionMask | EnterWindowMask | LeaveWindowMask;
  if (XGrabPointer(p.dpy, r->xid, True, mask, GrabModeAsync, GrabModeAsync, None, None, CurrentTime) == GrabSuccess)
    r->grabbed = true;
  XGrabKeyboard(p.dpy, r->xid, True, GrabModeAsync, GrabModeAsync, CurrentTime);
  XFlush(p.dpy);
}

void x11_display::destroy_top(HWND h) {
  top_record* r = p_->rec(h);
  if (!r) return;
  if (p_->dead) {
    if (r->last) cairo_surface_destroy(r->last);
    p_->by_xid.erase(r->xid);
    p_->tops.erase(h);
    return;
  }
  if (r->ic) XDestroyIC(r->ic);
  if (r->gc) XFreeGC(p_->dpy, r->gc);
  if (r->last) cairo_surface_destroy(r->last);
  XDestroyWindow(p_->dpy, r->xid);
  p_->by_xid.erase(r->xid);
  p_->tops.erase(h);
  XFlush(p_->dpy);
}

void x11_display::show_top(HWND h, bool shown) {
  if (p_->dead) return;
  top_record* r = p_->rec(h);
  if (!r) return;
  if (shown) {
    p_->set_hints(h, *r);
    XMapRaised(p_->dpy, r->xid);
    RECT c = p_->client_screen(h);
    XMoveWindow(p_->dpy, r->xid, c.left, c.top);
    r->asked = c;
  } else {
    XUnmapWindow(p_->dpy, r->xid);
    r->mapped = false;
  }
  XFlush(p_->dpy);
}

void x11_display::place_top(HWND h) {
  if (p_->dead) return;
  impl& p = *p_;
  top_record* r = p.rec(h);
  if (!r) return;
  uint32_t style = uint32_t(GetWindowLong(h, GWL_STYLE));
  RECT c = p.client_screen(h);
  p.set_hints(h, *r);
  if (!(c == r->seen) && !(style & WS_MINIMIZE)) {
    r->asked = c;
    XMoveResizeWindow(p.dpy, r->xid, c.left, c.top, c.width(), c.height());
  }
  // Maximized and minimized states go to the window manager.
  XEvent e{};
  e.xclient.type = ClientMessage;
  e.xclient.window = r->xid;
  e.xclient.message_type = p.NET_WM_STATE;
  e.xclient.format = 32;
  e.xclient.data.l[0] = (style & WS_MAXIMIZE) ? 1 : 0;
  e.xclient.data.l[1] = long(p.NET_MAX_V);
  e.xclient.data.l[2] = long(p.NET_MAX_H);
  XSendEvent(p.dpy, p.root, False, SubstructureRedirectMask | SubstructureNotifyMask, &e);
  if ((style & WS_MINIMIZE) && r->mapped) XIconifyWindow(p.dpy, r->xid, p.screen);
  XFlush(p.dpy);
}

void x11_display::activate_top(HWND h) {
  if (p_->dead) return;
  top_record* r = p_->rec(h);
  if (!r) return;
  p_->focus_chosen = NextRequest(p_->dpy);
  if (r->mapped) {
    XRaiseWindow(p_->dpy, r->xid);
    XSetInputFocus(p_->dpy, r->xid, RevertToParent, CurrentTime);
  } else {
    XNoOp(p_->dpy);   // the focus comes at its mapping; this request marks the choice
  }
  XFlush(p_->dpy);
}

void x11_display::present(HWND h, cairo_surface_t* frame) {
  if (p_->dead) return;
  top_record* r = p_->rec(h);
  if (!r || !frame) return;
  if (r->last) cairo_surface_destroy(r->last);
  r->last = cairo_surface_reference(frame);
  if (!r->mapped) return;
  cairo_surface_flush(frame);
  int w = cairo_image_surface_get_width(frame), hh = cairo_image_surface_get_height(frame);
  XImage* img = XCreateImage(p_->dpy, p_->visual, p_->depth, ZPixmap, 0,
                             reinterpret_cast<char*>(cairo_image_surface_get_data(frame)), w, hh, 32,
                             cairo_image_surface_get_stride(frame));
  if (!img) return;
  img->byte_order = LSBFirst;
  XPutImage(p_->dpy, r->xid, r->gc, img, 0, 0, 0, 0, w, hh);
  img->data = nullptr;   // the surface owns the pixels
  XDestroyImage(img);
  XFlush(p_->dpy);
}

void x11_display::set_cursor(HWND h, HCURSOR hc) {
  if (p_->dead) return;
  impl& p = *p_;
  top_record* r = p.rec(h);
  if (!r) return;
  uint32_t id = uint32_t(hc);
  Cursor c = 0;
  auto it = p.cursors.find(id);
  if (it != p.cursors.end()) c = it->second;
  else {
    if (uint32_t shape = cursor_shape(hc)) {
      const char* name = "left_ptr";
      switch (shape) {
        case IDC_IBEAM: name = "xterm"; break;
        case IDC_WAIT: name = "watch"; break;
        case IDC_CROSS: name = "crosshair"; break;
        case IDC_UPARROW: name = "sb_up_arrow"; break;
        case IDC_SIZENWSE: name = "bottom_right_corner"; break;
        case IDC_SIZENESW: name = "bottom_left_corner"; break;
        case IDC_SIZEWE: name = "sb_h_double_arrow"; break;
        case IDC_SIZENS: name = "sb_v_double_arrow"; break;
        case IDC_SIZEALL: name = "fleur"; break;
        case IDC_NO: name = "X_cursor"; break;
        case IDC_HAND: name = "hand2"; break;
        case IDC_APPSTARTING: name = "left_ptr_watch"; break;
        case IDC_HELP: name = "question_arrow"; break;
      }
      c = XcursorLibraryLoadCursor(p.dpy, name);
      if (!c) c = XCreateFontCursor(p.dpy, XC_left_ptr);
    } else {
      int w, hh, hx, hy;
      std::vector<uint32_t> px;
      if (!cursor_image(hc, w, hh, hx, hy, px)) return;
      XcursorImage* img = XcursorImageCreate(w, hh);
      img->xhot = hx;
      img->yhot = hy;
      for (size_t i = 0; i < px.size(); ++i) {
        uint32_t v = px[i], a = v >> 24;
        // Xcursor wants premultiplied alpha.
        uint32_t r8 = ((v >> 16) & 0xFF) * a / 255, g8 = ((v >> 8) & 0xFF) * a / 255, b8 = (v & 0xFF) * a / 255;
        img->pixels[i] = (a << 24) | (r8 << 16) | (g8 << 8) | b8;
      }
      c = XcursorImageLoadCursor(p.dpy, img);
      XcursorImageDestroy(img);
    }
    p.cursors[id] = c;
  }
  if (c != r->cursor) {
    r->cursor = c;
    XDefineCursor(p.dpy, r->xid, c);
    XFlush(p.dpy);
  }
}

}  // namespace vyr::win
