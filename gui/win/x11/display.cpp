// The X11 display over Xlib, XRandR and Xcursor: the connection, the monitors and their
// DPI, the pointer, the wait loop and the screen's pixels. A burst of ConfigureNotify the
// layer did not ask for is a user move or resize, which ends after 200 ms without another.
#include "gui/win/x11/internal.h"
#include "gui/win/x11/xsettings.h"

namespace vyr::win {

namespace {

int ignore_errors(Display*, XErrorEvent*) { return 0; }

// A lost connection must not end the process: the exit handler below marks the display
// dead instead, and the queue then answers GetMessage with -1.
int io_error(Display*) { return 0; }

}  // namespace

int64_t steady_us() {
  return std::chrono::duration_cast<std::chrono::microseconds>(
             std::chrono::steady_clock::now().time_since_epoch()).count();
}

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

// The settings daemon's XSETTINGS, read once at start: the property of the owner of the
// screen's _XSETTINGS_S selection. Without a daemon, or with a property that is no settings,
// the caret blinks at 500 ms.
void x11_display::impl::read_blink() {
  blink_ms = 500;
  std::string name = "_XSETTINGS_S" + std::to_string(screen);
  Window owner = XGetSelectionOwner(dpy, XInternAtom(dpy, name.c_str(), False));
  if (!owner) return;
  Atom prop = XInternAtom(dpy, "_XSETTINGS_SETTINGS", False);
  Atom type = 0;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  // At most 256 KiB: a property of settings is a few kilobytes.
  if (XGetWindowProperty(dpy, owner, prop, 0, 65536, False, prop, &type, &format, &count, &after, &data) != Success)
    return;
  if (data && type == prop && format == 8)
    if (auto s = xsettings::parse(std::string_view(reinterpret_cast<const char*>(data), count)))
      blink_ms = xsettings::caret_blink_ms(*s);
  if (data) XFree(data);
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
                         "_MOTIF_WM_HINTS", "_NET_FRAME_EXTENTS", "CLIPBOARD", "TARGETS", "VYR_SELECTION", "TEXT",
                         "WM_TAKE_FOCUS"};
  Atom a[15];
  XInternAtoms(dpy, const_cast<char**>(names), 15, False, a);
  p->WM_PROTOCOLS = a[0]; p->WM_DELETE_WINDOW = a[1]; p->NET_WM_STATE = a[2]; p->NET_MAX_V = a[3];
  p->NET_MAX_H = a[4]; p->NET_HIDDEN = a[5]; p->NET_WM_NAME = a[6]; p->UTF8_STRING = a[7];
  p->MOTIF_HINTS = a[8]; p->NET_FRAME_EXTENTS = a[9]; p->CLIPBOARD = a[10]; p->TARGETS = a[11];
  p->VYR_SEL = a[12]; p->TEXT = a[13]; p->WM_TAKE_FOCUS = a[14];
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
  p->read_blink();
  p->read_monitors();
  p->open_selection();
  return std::unique_ptr<x11_display>(new x11_display(p));
}

x11_display::x11_display(impl* p) : p_(p) {}

x11_display::~x11_display() {
  hand_over_clipboard();
  p_->close_selection();
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
  if (p_->preedit_fonts) XFreeFontSet(p_->dpy, p_->preedit_fonts);
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

namespace {
struct halt_probe {
  x11_display::impl* p;
  Window w;
};

// An Esc or Ctrl+Break pressed in the window, or its close.
Bool halt_event(Display* dpy, XEvent* e, XPointer arg) {
  auto* a = reinterpret_cast<halt_probe*>(arg);
  if (e->type == ClientMessage)
    return e->xclient.window == a->w && e->xclient.message_type == a->p->WM_PROTOCOLS &&
           Atom(e->xclient.data.l[0]) == a->p->WM_DELETE_WINDOW;
  if (e->type != KeyPress || e->xkey.window != a->w) return False;
  KeySym k = XkbKeycodeToKeysym(dpy, KeyCode(e->xkey.keycode), 0, 0);
  if (k == XK_Escape) return !(e->xkey.state & (ShiftMask | ControlMask | Mod1Mask));
  return k == XK_Break || (k == XK_Pause && (e->xkey.state & ControlMask));
}
}  // namespace

bool x11_display::busy_halt(HWND top) {
  impl& p = *p_;
  top_record* r = p.rec(top);
  if (p.dead || !r) return false;
  halt_probe probe{&p, r->xid};
  XEvent e;
  if (!XCheckIfEvent(p.dpy, &e, halt_event, reinterpret_cast<XPointer>(&probe))) return false;
  if (e.type == ClientMessage) XPutBackEvent(p.dpy, &e);
  return true;
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
      if (XFilterEvent(&e, None)) {
        if (e.type == KeyPress) p.key_taken(e.xkey);
        continue;
      }
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
    // The caret blinks on its own, unless the desktop wants it steady.
    int blink = p.blink_ms;
    if (blink > 0 && (timeout < 0 || timeout > blink)) {
      POINT cp;
      if (GetCaretPos(cp)) timeout = blink;
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


uint32_t x11_display::xft_dpi() const { return p_->dpi; }

int32_t x11_display::caret_blink_ms() { return p_->blink_ms; }

}  // namespace vyr::win
