// The X11 display's private state, shared by its files: display.cpp (the connection,
// monitors, the wait loop, the screen), top.cpp (top-level windows, frames, cursors),
// input.cpp (events, keys and the input method) and clipboard.cpp (the CLIPBOARD selection).
#pragma once
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>

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

#include "gui/win/internal.h"
#include "gui/win/x11/display.h"

namespace vyr::win {

struct top_record {
  HWND hwnd{};
  Window xid = 0;
  XIC ic = nullptr;
  bool over_the_spot = false;   // the input method shows its pre-edit text at the spot
  bool composing = false;       // it has taken keys and not committed them yet
  GC gc = nullptr;
  bool mapped = false;
  RECT asked;             // client rectangle last asked of the server
  RECT seen;              // client rectangle last reported by the server
  int64_t last_configure_us = -1;
  bool in_move_size = false;
  bool sizing = false;
  cairo_surface_t* last = nullptr;
  Cursor cursor = 0;
  bool grabbed = false;
};

// The steady clock in microseconds.
int64_t steady_us();

struct x11_display::impl {
  Display* dpy = nullptr;
  bool dead = false;
  int screen = 0;
  Window root = 0;
  Window helper = 0;
  Visual* visual = nullptr;
  int depth = 24;
  XIM im = nullptr;
  XFontSet preedit_fonts = nullptr;   // what an over-the-spot input method draws with
  int rr_event = -1, rr_error = 0;
  bool have_rr = false;
  uint32_t dpi = 96;
  int32_t blink_ms = 500;   // the caret's blink phase the settings daemon gives (-1: steady)
  std::map<HWND, top_record> tops;
  std::map<Window, HWND> by_xid;
  struct selection;            // the clipboard's state (clipboard.cpp)
  selection* sel = nullptr;
  std::map<uint32_t, Cursor> cursors;   // by HCURSOR
  std::vector<monitor> monitors;
  RECT wm_frame{};
  // The first request sent after the layer last chose its active window. A focus change
  // the server reports with an older serial happened before that choice (the focus given
  // to a window shown just before): acting on it would take the activation back.
  unsigned long focus_chosen = 0;
  Atom WM_PROTOCOLS, WM_DELETE_WINDOW, WM_TAKE_FOCUS, NET_WM_STATE, NET_MAX_V, NET_MAX_H, NET_HIDDEN, NET_WM_NAME,
      UTF8_STRING, MOTIF_HINTS, NET_FRAME_EXTENTS, CLIPBOARD, TARGETS, VYR_SEL, TEXT;

  top_record* rec(HWND h) {
    auto it = tops.find(h);
    return it == tops.end() ? nullptr : &it->second;
  }
  top_record* rec(Window w) {
    auto it = by_xid.find(w);
    return it == by_xid.end() ? nullptr : rec(it->second);
  }
  // The X window's rectangle: what the layer shows of the top level (its client area and
  // menu bar), at least one pixel each way.
  RECT client_screen(HWND h) {
    RECT c = shown_rect(h);
    return {c.left, c.top, c.left + std::max(1, c.width()), c.top + std::max(1, c.height())};
  }
  void read_monitors();
  void read_dpi();
  void read_blink();
  void handle(XEvent& e);
  void key_event(XKeyEvent& e);
  // The input context of a top level: over-the-spot pre-edit where the input method
  // offers it, else none (only committed text arrives).
  XIC make_ic(top_record& r);
  // A key the input method filtered: it composes.
  void key_taken(XKeyEvent& e);
  // The clipboard (clipboard.cpp). selection_event takes the events that serve ours
  // (requests, the loss of it, INCR parts taken) and tells whether it took this one;
  // serve_pending answers those waiting, leaving other events queued.
  void open_selection();
  void close_selection();
  bool selection_event(XEvent& e);
  bool selection_work(const XEvent& e);
  void serve_pending();
  void serve_request(XSelectionRequestEvent& q);
  std::vector<Atom> data_targets();
  bool convert(Atom target, std::string* data, Atom* type);
  bool converted(Atom target, std::shared_ptr<const std::string>* data, Atom* type);
  bool write_target(Window requestor, Atom property, Atom target);
  void next_part(size_t transfer);
  size_t request_room() const;
  bool wait_for(const std::function<bool(const XEvent&)>& want, XEvent* out, int64_t timeout_us,
                int64_t give_up_at_us = INT64_MAX);
  std::function<bool(const XEvent&)> answer_to(Atom selection);
  Time server_time();
  std::optional<std::string> fetch(Atom target, Atom* type, bool* gave_up = nullptr);
  void set_hints(HWND h, top_record& r);
};

}  // namespace vyr::win
