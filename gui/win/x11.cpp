// The X11 display over Xlib, XRandR and Xcursor. Frames are put with XPutImage; a burst of
// ConfigureNotify the layer did not ask for is a user move or resize, which ends after
// 200 ms without another; keys go through the input method when there is one.
#include "gui/win/x11.h"
#include "gui/win/internal.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <map>

#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xcursor/Xcursor.h>
#include <X11/Xlib.h>
#include <X11/Xresource.h>
#include <X11/Xutil.h>
#include <X11/cursorfont.h>
#include <X11/extensions/Xrandr.h>
#include <X11/keysym.h>
#include <cairo.h>
#include <clocale>
#include <poll.h>

namespace vyr::win {

namespace {

struct top_record {
  HWND hwnd{};
  Window xid = 0;
  XIC ic = nullptr;
  GC gc = nullptr;
  bool mapped = false;
  bool want_focus = false;
  RECT asked;             // client rectangle last asked of the server
  RECT seen;              // client rectangle last reported by the server
  int64_t last_configure_us = -1;
  bool in_move_size = false;
  bool sizing = false;
  cairo_surface_t* last = nullptr;
  Cursor cursor = 0;
};

int ignore_errors(Display*, XErrorEvent*) { return 0; }

MINMAXINFO detail_min_max(HWND h) { return detail::min_max_of(h); }
// A lost connection must not end the process: the exit handler below marks the display
// dead instead, and the queue then answers GetMessage with -1.
int io_error(Display*) { return 0; }

int64_t steady_us() {
  return std::chrono::duration_cast<std::chrono::microseconds>(
             std::chrono::steady_clock::now().time_since_epoch()).count();
}

}  // namespace

struct x11_display::impl {
  Display* dpy = nullptr;
  bool dead = false;
  int screen = 0;
  Window root = 0;
  Window helper = 0;
  Visual* visual = nullptr;
  int depth = 24;
  XIM im = nullptr;
  int rr_event = -1, rr_error = 0;
  bool have_rr = false;
  uint32_t dpi = 96;
  std::map<HWND, top_record> tops;
  std::map<Window, HWND> by_xid;
  std::optional<std::string> owned_clipboard;
  std::map<uint32_t, Cursor> cursors;   // by HCURSOR
  std::vector<monitor> monitors;
  RECT wm_frame{};
  Atom WM_PROTOCOLS, WM_DELETE_WINDOW, NET_WM_STATE, NET_MAX_V, NET_MAX_H, NET_HIDDEN, NET_WM_NAME,
      UTF8_STRING, MOTIF_HINTS, NET_FRAME_EXTENTS, CLIPBOARD, TARGETS, VYR_SEL, TEXT;

  top_record* rec(HWND h) {
    auto it = tops.find(h);
    return it == tops.end() ? nullptr : &it->second;
  }
  top_record* rec(Window w) {
    auto it = by_xid.find(w);
    return it == by_xid.end() ? nullptr : rec(it->second);
  }
  RECT client_screen(HWND h) {
    RECT c;
    GetClientRect(h, c);
    POINT o{0, 0};
    ClientToScreen(h, o);
    return {o.x, o.y, o.x + std::max(1, c.width()), o.y + std::max(1, c.height())};
  }
  void read_monitors();
  void read_dpi();
  void handle(XEvent& e);
  void key_event(XKeyEvent& e);
  void serve_selection(XSelectionRequestEvent& r);
  void set_hints(HWND h, top_record& r);
};

void x11_display::impl::read_dpi() {
  dpi = 96;
  if (const char* rm = XResourceManagerString(dpy)) {
    XrmDatabase db = XrmGetStringDatabase(rm);
    char* type = nullptr;
    XrmValue v;
    if (db && XrmGetResource(db, "Xft.dpi", "Xft.Dpi", &type, &v) && v.addr) {
      long d = std::strtol(v.addr, nullptr, 10);
      if (d >= 24 && d <= 1920) dpi = uint32_t(d);
    }
    if (db) XrmDestroyDatabase(db);
  }
}

void x11_display::impl::read_monitors() {
  monitors.clear();
  if (have_rr) {
    int n = 0;
    XRRMonitorInfo* m = XRRGetMonitors(dpy, root, True, &n);
    for (int i = 0; i < n; ++i) {
      monitor mo;
      mo.rect = {m[i].x, m[i].y, m[i].x + m[i].width, m[i].y + m[i].height};
      mo.work = mo.rect;
      mo.dpi = dpi;
      if (m[i].primary) monitors.insert(monitors.begin(), mo);
      else monitors.push_back(mo);
    }
    if (m) XRRFreeMonitors(m);
  }
  if (monitors.empty()) {
    monitor mo;
    mo.rect = {0, 0, DisplayWidth(dpy, screen), DisplayHeight(dpy, screen)};
    mo.work = mo.rect;
    mo.dpi = dpi;
    monitors.push_back(mo);
  }
}

std::unique_ptr<x11_display> x11_display::open(const char* name) {
  Display* dpy = XOpenDisplay(name);
  if (!dpy) return nullptr;
  XSetErrorHandler(ignore_errors);
  XSetIOErrorHandler(io_error);
  auto* p = new impl;
  p->dpy = dpy;
  XSetIOErrorExitHandler(dpy, [](Display*, void* d) { static_cast<impl*>(d)->dead = true; }, p);
  p->screen = DefaultScreen(dpy);
  p->root = RootWindow(dpy, p->screen);
  p->visual = DefaultVisual(dpy, p->screen);
  p->depth = DefaultDepth(dpy, p->screen);
  Bool ok;
  XkbSetDetectableAutoRepeat(dpy, True, &ok);   // held keys: no release between repeats
  const char* names[] = {"WM_PROTOCOLS", "WM_DELETE_WINDOW", "_NET_WM_STATE", "_NET_WM_STATE_MAXIMIZED_VERT",
                         "_NET_WM_STATE_MAXIMIZED_HORZ", "_NET_WM_STATE_HIDDEN", "_NET_WM_NAME", "UTF8_STRING",
                         "_MOTIF_WM_HINTS", "_NET_FRAME_EXTENTS", "CLIPBOARD", "TARGETS", "VYR_SELECTION", "TEXT"};
  Atom a[14];
  XInternAtoms(dpy, const_cast<char**>(names), 14, False, a);
  p->WM_PROTOCOLS = a[0]; p->WM_DELETE_WINDOW = a[1]; p->NET_WM_STATE = a[2]; p->NET_MAX_V = a[3];
  p->NET_MAX_H = a[4]; p->NET_HIDDEN = a[5]; p->NET_WM_NAME = a[6]; p->UTF8_STRING = a[7];
  p->MOTIF_HINTS = a[8]; p->NET_FRAME_EXTENTS = a[9]; p->CLIPBOARD = a[10]; p->TARGETS = a[11];
  p->VYR_SEL = a[12]; p->TEXT = a[13];
  int major, minor;
  if (XRRQueryExtension(dpy, &p->rr_event, &p->rr_error) && XRRQueryVersion(dpy, &major, &minor) &&
      (major > 1 || minor >= 5)) {
    p->have_rr = true;
    XRRSelectInput(dpy, p->root, RRScreenChangeNotifyMask);
  }
  XSelectInput(dpy, p->root, PropertyChangeMask);
  p->helper = XCreateSimpleWindow(dpy, p->root, -10, -10, 1, 1, 0, 0, 0);
  XSelectInput(dpy, p->helper, PropertyChangeMask);
  // The input method works in the user's character set; the process keeps the C locale
  // otherwise, so LC_CTYPE is the user's only while the method is opened.
  {
    const char* prev = setlocale(LC_CTYPE, nullptr);
    std::string saved = prev ? prev : "C";
    if (setlocale(LC_CTYPE, "") && XSupportsLocale()) {
      XSetLocaleModifiers("");
      p->im = XOpenIM(dpy, nullptr, nullptr, nullptr);
    }
    setlocale(LC_CTYPE, saved.c_str());
  }
  p->read_dpi();
  p->read_monitors();
  return std::unique_ptr<x11_display>(new x11_display(p));
}

x11_display::x11_display(impl* p) : p_(p) {}

x11_display::~x11_display() {
  if (p_->dead) {
    for (auto& [h, r] : p_->tops)
      if (r.last) cairo_surface_destroy(r.last);
    XCloseDisplay(p_->dpy);
    delete p_;
    return;
  }
  for (auto& [h, r] : p_->tops) {
    if (r.ic) XDestroyIC(r.ic);
    if (r.gc) XFreeGC(p_->dpy, r.gc);
    if (r.last) cairo_surface_destroy(r.last);
    XDestroyWindow(p_->dpy, r.xid);
  }
  for (auto& [id, c] : p_->cursors) XFreeCursor(p_->dpy, c);
  if (p_->im) XCloseIM(p_->im);
  XDestroyWindow(p_->dpy, p_->helper);
  XCloseDisplay(p_->dpy);
  delete p_;
}

int64_t x11_display::now_us() { return steady_us(); }
std::vector<monitor> x11_display::monitors() { return p_->monitors; }

POINT x11_display::cursor_pos() {
  if (p_->dead) return {};
  Window r, c;
  int rx = 0, ry = 0, wx, wy;
  unsigned m;
  XQueryPointer(p_->dpy, p_->root, &r, &c, &rx, &ry, &wx, &wy, &m);
  return {rx, ry};
}

void x11_display::set_cursor_pos(POINT p) {
  if (p_->dead) return;
  XWarpPointer(p_->dpy, None, p_->root, 0, 0, 0, 0, p.x, p.y);
  XFlush(p_->dpy);
}

unsigned long x11_display::native(HWND h) const {
  auto it = p_->tops.find(h);
  return it == p_->tops.end() ? 0 : it->second.xid;
}

bool x11_display::mapped(HWND h) const {
  auto it = p_->tops.find(h);
  return it != p_->tops.end() && it->second.mapped;
}

RECT x11_display::frame_extents(uint32_t style, uint32_t exstyle) {
  // What the window manager draws around a decorated window; nothing without one.
  if ((style & WS_CAPTION) == WS_CAPTION) return p_->wm_frame;
  return {};
}

// ---- top levels -----------------------------------------------------------------------------

void x11_display::impl::set_hints(HWND h, top_record& r) {
  uint32_t style = uint32_t(GetWindowLong(h, GWL_STYLE));
  RECT c = client_screen(h);
  XSizeHints* sh = XAllocSizeHints();
  sh->flags = PPosition | PSize | USPosition;
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
  r.xid = XCreateWindow(p.dpy, p.root, c.left, c.top, c.width(), c.height(), 0, p.depth, InputOutput, p.visual,
                        CWBackPixel | CWEventMask | CWBitGravity, &a);
  r.asked = r.seen = c;
  r.gc = XCreateGC(p.dpy, r.xid, 0, nullptr);
  XSetWMProtocols(p.dpy, r.xid, &p.WM_DELETE_WINDOW, 1);
  if (p.im)
    r.ic = XCreateIC(p.im, XNInputStyle, XIMPreeditNothing | XIMStatusNothing, XNClientWindow, r.xid,
                     XNFocusWindow, r.xid, nullptr);
  p.by_xid[r.xid] = h;
  p.tops[h] = r;
  p.set_hints(h, p.tops[h]);
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
  r->want_focus = true;
  if (r->mapped) {
    XRaiseWindow(p_->dpy, r->xid);
    XSetInputFocus(p_->dpy, r->xid, RevertToParent, CurrentTime);
    XFlush(p_->dpy);
  }
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

// ---- input ----------------------------------------------------------------------------------

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

void x11_display::impl::key_event(XKeyEvent& e) {
  bool down = e.type == KeyPress;
  KeySym base = XLookupKeysym(&e, 0);
  key_input k;
  k.down = down;
  k.vk = vk_of(base, k.side, k.extended);
  if (down) {
    top_record* r = rec(e.window);
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
    if (!k.vk && !k.text.empty()) {
      // A key the table does not know still types: give it the VK of its character.
      std::u16string u = to_utf16(k.text);
      int16_t s = u.empty() ? -1 : VkKeyScan(u[0]);
      k.vk = s >= 0 ? uint32_t(s & 0xFF) : 0xE5;   // 0xE5: a key processed by the input method
    }
  }
  if (k.vk) input_key(k);
}

void x11_display::impl::serve_selection(XSelectionRequestEvent& q) {
  XSelectionEvent n{};
  n.type = SelectionNotify;
  n.requestor = q.requestor;
  n.selection = q.selection;
  n.target = q.target;
  n.time = q.time;
  n.property = None;
  Atom prop = q.property ? q.property : q.target;
  if (q.selection == CLIPBOARD && owned_clipboard) {
    if (q.target == TARGETS) {
      Atom t[] = {TARGETS, UTF8_STRING, XA_STRING, TEXT};
      XChangeProperty(dpy, q.requestor, prop, XA_ATOM, 32, PropModeReplace, reinterpret_cast<unsigned char*>(t), 4);
      n.property = prop;
    } else if (q.target == UTF8_STRING || q.target == XA_STRING || q.target == TEXT) {
      const std::string& s = *owned_clipboard;
      XChangeProperty(dpy, q.requestor, prop, q.target == TEXT ? UTF8_STRING : q.target, 8, PropModeReplace,
                      reinterpret_cast<const unsigned char*>(s.data()), int(s.size()));
      n.property = prop;
    }
  }
  XSendEvent(dpy, q.requestor, False, 0, reinterpret_cast<XEvent*>(&n));
  XFlush(dpy);
}

void x11_display::impl::handle(XEvent& e) {
  if (have_rr && e.type == rr_event + RRScreenChangeNotify) {
    XRRUpdateConfiguration(&e);
    read_dpi();
    read_monitors();
    input_display_changed();
    return;
  }
  switch (e.type) {
    case SelectionRequest: serve_selection(e.xselectionrequest); return;
    case SelectionClear:
      if (e.xselectionclear.selection == CLIPBOARD) owned_clipboard.reset();
      return;
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
      if (e.xclient.message_type == WM_PROTOCOLS && Atom(e.xclient.data.l[0]) == WM_DELETE_WINDOW) input_close(h);
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
    case FocusIn:
      if (e.xfocus.mode == NotifyNormal || e.xfocus.mode == NotifyWhileGrabbed) {
        if (r->ic) XSetICFocus(r->ic);
        if (GetActiveWindow() != h) input_activate(h, true);
      }
      return;
    case FocusOut:
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

bool x11_display::wait(int64_t deadline, int wake_fd) {
  impl& p = *p_;
  int xfd = ConnectionNumber(p.dpy);
  for (;;) {
    if (p.dead) return false;
    bool any = false;
    while (!p.dead && XPending(p.dpy)) {
      XEvent e;
      XNextEvent(p.dpy, &e);
      if (XFilterEvent(&e, None)) continue;
      p.handle(e);
      any = true;
    }
    int64_t now = steady_us();
    int64_t next = deadline;
    // A move or resize ends after 200 ms without another ConfigureNotify.
    for (auto& [h, r] : p.tops) {
      if (!r.in_move_size) continue;
      int64_t end = r.last_configure_us + 200000;
      if (now >= end) {
        r.in_move_size = false;
        r.sizing = false;
        HWND hw = h;
        RECT wr;
        GetWindowRect(hw, wr);
        input_move_size(hw, wr, false, 2);
        return true;
      }
      if (next < 0 || end < next) next = end;
    }
    if (p.dead) return false;
    if (any) return true;
    if (deadline >= 0 && now >= deadline) return true;
    int timeout = -1;
    if (next >= 0) timeout = int(std::min<int64_t>((next - now + 999) / 1000, 1000000));
    // The caret blinks on its own.
    if (timeout < 0 || timeout > int(GetCaretBlinkTime())) {
      POINT cp;
      if (GetCaretPos(cp)) timeout = int(GetCaretBlinkTime());
    }
    pollfd fds[2] = {{xfd, POLLIN, 0}, {wake_fd, POLLIN, 0}};
    int r = poll(fds, wake_fd >= 0 ? 2 : 1, timeout);
    if (r < 0) continue;
    if (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) return false;
    if (r == 0) {
      // Only the caret changed: compose again so that it blinks.
      POINT cp;
      if (GetCaretPos(cp)) {
        HWND f = GetFocus();
        if (!is_null(f)) RedrawWindow(f, nullptr, RDW_FRAME);
      }
      return true;
    }
    if (wake_fd >= 0 && (fds[1].revents & POLLIN)) return true;
  }
}

// ---- clipboard and screen -------------------------------------------------------------------

void x11_display::set_clipboard_text(const std::string& s) {
  if (p_->dead) return;
  p_->owned_clipboard = s;
  XSetSelectionOwner(p_->dpy, p_->CLIPBOARD, p_->helper, CurrentTime);
  XFlush(p_->dpy);
}

std::optional<std::string> x11_display::clipboard_text() {
  if (p_->dead) return std::nullopt;
  impl& p = *p_;
  if (p.owned_clipboard && XGetSelectionOwner(p.dpy, p.CLIPBOARD) == p.helper) return p.owned_clipboard;
  p.owned_clipboard.reset();
  if (XGetSelectionOwner(p.dpy, p.CLIPBOARD) == None) return std::nullopt;
  XDeleteProperty(p.dpy, p.helper, p.VYR_SEL);
  XConvertSelection(p.dpy, p.CLIPBOARD, p.UTF8_STRING, p.VYR_SEL, p.helper, CurrentTime);
  XFlush(p.dpy);
  int64_t until = steady_us() + 1000000;
  XEvent e;
  for (;;) {
    if (XCheckTypedWindowEvent(p.dpy, p.helper, SelectionNotify, &e)) break;
    int64_t left = until - steady_us();
    if (left <= 0) return std::nullopt;
    pollfd f{ConnectionNumber(p.dpy), POLLIN, 0};
    poll(&f, 1, int(std::min<int64_t>(left / 1000 + 1, 50)));
  }
  if (e.xselection.property == None) return std::nullopt;
  Atom type;
  int format;
  unsigned long n = 0, after = 0;
  unsigned char* data = nullptr;
  // At most 16 MiB of text is taken from another program's clipboard.
  if (XGetWindowProperty(p.dpy, p.helper, p.VYR_SEL, 0, 4 * 1024 * 1024, True, AnyPropertyType, &type, &format, &n,
                         &after, &data) != Success || !data)
    return std::nullopt;
  std::string s;
  if (format == 8) s.assign(reinterpret_cast<char*>(data), n);
  XFree(data);
  if (format != 8) return std::nullopt;
  return s;
}

cairo_surface_t* x11_display::capture(RECT r) {
  if (p_->dead) return nullptr;
  if (r.empty()) return nullptr;
  XSync(p_->dpy, False);
  XImage* img = XGetImage(p_->dpy, p_->root, r.left, r.top, unsigned(r.width()), unsigned(r.height()), AllPlanes, ZPixmap);
  if (!img) return nullptr;
  cairo_surface_t* out = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, r.width(), r.height());
  unsigned char* d = cairo_image_surface_get_data(out);
  int stride = cairo_image_surface_get_stride(out);
  for (int y = 0; y < r.height(); ++y)
    for (int x = 0; x < r.width(); ++x) {
      unsigned long px = XGetPixel(img, x, y);
      uint32_t v = 0xFF000000u | uint32_t(px & 0xFFFFFF);
      std::memcpy(d + size_t(y) * stride + size_t(x) * 4, &v, 4);
    }
  cairo_surface_mark_dirty(out);
  XDestroyImage(img);
  return out;
}

}  // namespace vyr::win

namespace vyr::win {
uint32_t x11_display::xft_dpi() const { return p_->dpi; }
}  // namespace vyr::win
