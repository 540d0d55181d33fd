// The window classes of faces and the procedure of `window` and `panel` faces: closing,
// moving and sizing, minimising and restoring, activation and scroll bars become events.
#include <algorithm>

#include "runtime/datatypes/event.h"
#include "gui/base_face.h"
#include "gui/events.h"
#include "gui/platform.h"
#include "runtime/datatypes/pair.h"
#include "runtime/datatypes/point.h"
#include "runtime/datatypes/integer.h"
#include "runtime/fire.h"

namespace vyr::gui {

using namespace win;
namespace ev = vyr::event;

namespace {

// Writes a logical position or size into a face's facet, as a pair! when the facet
// holds one, else as a point2D!.
void set_geometry(HWND h, u32 index, POINT device) {
  const cell* f = face_of_window(h);
  cell* c = f ? facet(f, index) : nullptr;
  if (!c) return;
  if (type_of(c) == TYPE_PAIR) pair::make_at(c, i32(to_logical(device.x)), i32(to_logical(device.y)));
  else point2D::make_at(c, to_logical(device.x), to_logical(device.y));
}

// No facet of a window names size limits: the face's own limit is a client area of at
// least one pixel each way, which the frame around it makes the smallest track size.
void apply_min_max(HWND h, MINMAXINFO* mm) {
  RECT r{0, 0, 1, 1};
  AdjustWindowRectEx(r, u32(GetWindowLong(h, GWL_STYLE)), false, u32(GetWindowLong(h, GWL_EXSTYLE)));
  mm->ptMinTrackSize = POINT{r.width(), r.height()};
  mm->ptMaxTrackSize.x = std::max(mm->ptMaxTrackSize.x, r.width());
  mm->ptMaxTrackSize.y = std::max(mm->ptMaxTrackSize.y, r.height());
}

// The frame size (window minus client), cached in slot 44.
SIZE frame_size(HWND h) {
  window_extra* x = extra(h);
  if (x && x->frame_size) return SIZE{i32(x->frame_size & 0xFFFF), i32(x->frame_size >> 16)};
  RECT w, c;
  GetWindowRect(h, w);
  GetClientRect(h, c);
  SIZE s{w.width() - c.width(), w.height() - c.height()};
  if ((x = extra(h))) x->frame_size = (u32(s.cy & 0xFFFF) << 16) | u32(s.cx & 0xFFFF);
  return s;
}
}  // namespace

void set_rate(HWND h, const cell* rate) {
  cell r = *rate;
  i64 ms;
  switch (type_of(&r)) {
    case TYPE_NONE:
      KillTimer(h, 1);
      return;
    case TYPE_INTEGER: {
      i32 n = integer::get(&r);
      if (n <= 0) fire("script", "invalid-facet-type", &r);
      ms = 1000 / n;
      break;
    }
    case TYPE_TIME: {
      double t = cell_float(&r);
      if (!(t > 0)) fire("script", "invalid-facet-type", &r);
      double m = t * 1000.0;
      ms = m >= 2147483647.0 ? 2147483647 : i64(m);
      break;
    }
    default:
      fire("script", "invalid-facet-type", &r);
  }
  // A rate above 1000 would ask for 0 ms: the timer never goes below 10 ms, so nothing spins.
  if (ms < i64(USER_TIMER_MINIMUM)) ms = USER_TIMER_MINIMUM;
  SetTimer(h, 1, u32(ms));
}

// The classes of the face types' records; types that share a class register it once.
void register_classes() {
  for (u32 i = 1; i <= face_types::count; i++) {
    const face_type_record* r = face_types::record_of(face_type(i));
    if (!r) continue;
    WNDCLASSEX wc;
    wc.style = CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS;
    wc.lpfnWndProc = r->procedure;
    wc.cbWndExtra = 80;
    wc.hCursor = LoadCursor(IDC_ARROW);
    wc.hbrBackground = GetSysColor(COLOR_BTNFACE);
    wc.lpszClassName = r->window_class;
    RegisterClassEx(wc);
  }
}

void unregister_classes() {
  for (u32 i = 1; i <= face_types::count; i++)
    if (const face_type_record* r = face_types::record_of(face_type(i))) UnregisterClass(r->window_class);
}

LRESULT window_wndproc(HWND h, u32 msg, WPARAM w, LPARAM l) {
  if (msg == WM_NCCREATE) {
    auto* cs = reinterpret_cast<CREATESTRUCT*>(l);
    if (cs && cs->lpCreateParams) attach_face(h, static_cast<const cell*>(cs->lpCreateParams));
    return DefWindowProc(h, msg, w, l);
  }
  const cell* face = face_of_window(h);
  if (!face) return DefWindowProc(h, msg, w, l);
  bool window = face_type_is(face, face_type::window);
  loop_state& L = loop();
  switch (msg) {
    case WM_DESTROY:
      release_window_extras(h);
      break;
    case WM_SIZE:
      InvalidateRect(h, nullptr, true);
      [[fallthrough]];
    case WM_MOVE: {
      if (!window || (msg == WM_SIZE && w == SIZE_MINIMIZED)) break;
      POINT p = POINT{GET_X_LPARAM(l), GET_Y_LPARAM(l)};
      if (msg == WM_MOVE) {
        if (p.x < -9999 && p.y < -9999) return 0;   // a minimised window
        // The client area's origin on the screen: the point a window is made and moved
        // at, so that an offset read back and set again leaves the window where it is.
        p = POINT{0, 0};
        ClientToScreen(h, p);
        set_geometry(h, facet_index::offset, p);
        // A user's drag gives `moving` on the way and one `move` when it ends.
        if (!L.in_size_move) dispatch_event(record_of(h, msg, w, MAKELPARAM(p.x, p.y)), 0, ev::MOVE);
        return 0;
      }
      set_geometry(h, facet_index::size, p);
      if (L.in_size_move) return 0;   // `resizing` on the way, one `resize` at the end
      dispatch_event(record_of(h, msg, w, l), 0, ev::RESIZE);
      // The face's state may be gone after the handler (the window was closed).
      face = face_of_window(h);
      cell* state = face ? facet(face, facet_index::state) : nullptr;
      if (state && type_of(state) == TYPE_BLOCK)
        dispatch_event(record_of(h, msg, w, l), 0, ev::RESIZE);
      return 0;
    }
    case WM_SIZING: case WM_MOVING: {
      if (!window) break;
      RECT* r = reinterpret_cast<RECT*>(l);
      SIZE fr = frame_size(h);
      u32 type;
      POINT p;
      if (msg == WM_MOVING) {
        type = ev::MOVING;
        p = POINT{r->left, r->top};
        if (window_extra* x = extra(h))
          x->move_offset = (u32((r->top - fr.cy) & 0xFFFF) << 16) | u32((r->left - fr.cx) & 0xFFFF);
        set_geometry(h, facet_index::offset, p);
      } else {
        type = ev::RESIZING;
        p = POINT{r->width() - fr.cx, r->height() - fr.cy};
        set_geometry(h, facet_index::size, p);
      }
      if (window_extra* x = extra(h)) x->last_sizing = type;
      dispatch_event(record_of(h, msg, w, MAKELPARAM(p.x, p.y)), 0, type);
      return 1;
    }
    case WM_ENTERSIZEMOVE:
      if (window) L.in_size_move = true;
      break;
    case WM_EXITSIZEMOVE:
      if (!window) break;
      L.in_size_move = false;
      {
        window_extra* x = extra(h);
        u32 type = x && x->last_sizing == ev::MOVING ? ev::MOVE : ev::RESIZE;
        RECT wr;
        GetWindowRect(h, wr);
        RECT cr;
        GetClientRect(h, cr);
        LPARAM lp = type == ev::MOVE ? MAKELPARAM(wr.left, wr.top) : MAKELPARAM(cr.width(), cr.height());
        dispatch_event(record_of(h, msg, w, lp), 0, type);
      }
      return 0;
    case WM_ACTIVATE:
      if (!window) break;
      if (LOWORD(w)) {
        set_dpi_from_window(h);
        dispatch_event(record_of(h, msg, w, l), 0, ev::FOCUS);
        focus_selected(h);
      } else {
        dispatch_event(record_of(h, msg, w, l), 0, ev::UNFOCUS);
      }
      return 0;
    case WM_WINDOWPOSCHANGED: {
      auto* pos = reinterpret_cast<WINDOWPOS*>(l);
      LRESULT r = DefWindowProc(h, msg, w, l);
      if (window && pos && (pos->flags & SWP_STATECHANGED)) {
        u32 style = u32(GetWindowLong(h, GWL_STYLE));
        u32 type = (style & WS_MINIMIZE) ? ev::MINIMIZE : (style & WS_MAXIMIZE) ? ev::MAXIMIZE : ev::RESTORE;
        dispatch_event(record_of(h, msg, w, l), 0, type);
      }
      return r;
    }
    case WM_CLOSE: {
      window_extra* x = extra(h);
      if (x && x->type_slot == 0xFFFFFFFFu) return DefWindowProc(h, msg, w, l);
      if (!window) return DefWindowProc(h, msg, w, l);
      SetFocus(h);
      // Closing never destroys the window here: the View engine does, reacting to `close`.
      if (dispatch_event(record_of(h, msg, w, l), 0, ev::CLOSE) == 0) PostQuitMessage(0);
      return 0;
    }
    case WM_HSCROLL: case WM_VSCROLL:
      if (l == 0) {
        dispatch_event(record_of(h, msg, w, l), 0, ev::SCROLL);
        return 0;
      }
      dispatch_event(record_of(h, msg, w, l), 0, ev::CHANGE);
      return 0;
    case WM_LBUTTONDOWN:
      SetCapture(h);
      return 0;
    case WM_LBUTTONUP:
      ReleaseCapture();
      return 0;
    case WM_TIMER:
      if (w != 1) break;
      dispatch_event(record_of(h, msg, w, l), 0, ev::TIME);
      return 0;
    case WM_USER + 2:
      window_command(h, u32(w));
      return 0;
    case WM_GETMINMAXINFO:
      if (!window || !l) break;
      apply_min_max(h, reinterpret_cast<MINMAXINFO*>(l));
      return 0;
    case WM_DISPLAYCHANGE:
      refresh_screens();
      if (IsWindow(h)) RedrawWindow(h, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN);
      return 0;
    case WM_DPICHANGED: {
      set_dpi(LOWORD(w));
      if (auto* r = reinterpret_cast<RECT*>(l))
        SetWindowPos(h, 0, r->left, r->top, r->width(), r->height(), SWP_NOZORDER | SWP_NOACTIVATE);
      RedrawWindow(h, nullptr, RDW_INVALIDATE | RDW_ERASE);
      return 0;
    }
    default:
      break;
  }
  return DefWindowProc(h, msg, w, l);
}

}  // namespace vyr::gui
