// The window classes of faces and the procedure of `window` and `panel` faces: closing,
// moving and sizing, minimising and restoring, activation and scroll bars become events.
#include <algorithm>

#include "runtime/api/values.h"
#include "runtime/datatypes/event.h"
#include "gui/backend/base_face.h"
#include "gui/backend/draw_face.h"
#include "gui/face/face_values.h"
#include "gui/backend/lifecycle.h"
#include "runtime/collector.h"
#include "runtime/datatypes/object.h"
#include "runtime/interpreter/interpreter.h"
#include "runtime/stack.h"
#include "gui/backend/events.h"
#include "gui/backend/platform.h"
#include "runtime/datatypes/pair.h"
#include "runtime/datatypes/point.h"
#include "runtime/datatypes/integer.h"
#include "runtime/fire.h"
#include "runtime/collector.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/series.h"
#include "gui/backend/fonts.h"
#include "gui/backend/menus.h"
#include "gui/win/theme.h"
#include "gui/win/controls/controls.h"
#include <cstdio>

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

// Timer 1 of every face, whatever its class: the control's own procedure never sees it.
static void rate_timer(HWND h, u32 msg, uintptr_t id, u32) {
  dispatch_event(message_record(h, msg, WPARAM(id), 0), 0, ev::TIME);
}

void set_rate(HWND h, const cell* rate) {
  cell r = *rate;
  i64 ms;
  switch (type_of(&r)) {
    case TYPE_NONE:
      KillTimer(h, 1);
      return;
    case TYPE_INTEGER: {
      i32 n = integer::get(&r);
      if (n <= 0) api::fire("script", "invalid-facet-type", &r);
      ms = 1000 / n;
      break;
    }
    case TYPE_TIME: {
      double t = cell_float(&r);
      if (!(t > 0)) api::fire("script", "invalid-facet-type", &r);
      double m = t * 1000.0;
      ms = m >= 2147483647.0 ? 2147483647 : i64(m);
      break;
    }
    default:
      api::fire("script", "invalid-facet-type", &r);
  }
  // A rate above 1000 would ask for 0 ms: the timer never goes below 10 ms, so nothing spins.
  if (ms < i64(USER_TIMER_MINIMUM)) ms = USER_TIMER_MINIMUM;
  SetTimer(h, 1, u32(ms), rate_timer);
}

// The classes of the face types' records; types that share a class register it once. A
// record over a control of the windowing layer superclasses it: the control's class with
// the record's name, 80 extra bytes, and the record's procedure when it has one.
void register_classes() {
  register_control_classes();
  for (u32 i = 1; i <= face_types::count; i++) {
    const face_type_record* r = face_types::record_of(face_type(i));
    if (!r) continue;
    WNDCLASSEX wc;
    if (r->base_class) {
      if (!GetClassInfoEx(r->base_class, wc)) std::fprintf(stderr, "*** Error in GetClassInfoEx\n");
    } else {
      wc.style = CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS;
      wc.hCursor = LoadCursor(IDC_ARROW);
      wc.hbrBackground = GetSysColor(COLOR_BTNFACE);
    }
    if (r->procedure) wc.lpfnWndProc = r->procedure;
    wc.cbWndExtra = 80;
    wc.cbClsExtra = 0;
    wc.lpszClassName = r->window_class;
    RegisterClassEx(wc);
  }
}

void unregister_classes() {
  for (u32 i = 1; i <= face_types::count; i++)
    if (const face_type_record* r = face_types::record_of(face_type(i))) UnregisterClass(r->window_class);
  unregister_control_classes();
}

// A control's notification (WM_COMMAND with a control, WM_NOTIFY, a control's scroll
// message) goes to the record of the control's face; answers whether one took it.
static bool control_notification(HWND control, u32 msg, WPARAM w, LPARAM l, LRESULT& answer) {
  const cell* held = face_of_window(control);
  const face_type_record* r = held ? record_of_face(held) : nullptr;
  if (!r || !r->notify) return false;
  // A copy: the slot's cell may move when the handlers allocate.
  cell face = *held;
  collector::root_guard guard(&face);
  answer = r->notify(&face, control, msg, w, l);
  return true;
}

// WM_CTLCOLOR* for the control in lParam, by the record of its face (or of its parent's
// face, for the parts of a control that have none); 0 leaves the control its own colours.
static LRESULT control_colours(u32 msg, WPARAM w, LPARAM l) {
  HWND control{u32(l)};
  const cell* face = face_of_window(control);
  if (!face) face = face_of_window(GetParent(control));
  const face_type_record* r = face ? record_of_face(face) : nullptr;
  return r && r->colour ? r->colour(face, control, msg, w, l) : 0;
}

void paint_draw_facet(HWND h) {
  const cell* face = face_of_window(h);
  cell* draw = face ? facet(face, facet_index::draw) : nullptr;
  if (!draw) return;
  cell block = *draw;
  PAINTSTRUCT ps;
  BeginPaint(h, ps);
  try {
    run_draw(h, &block, true);
  } catch (...) {
    EndPaint(h, ps);
    throw;
  }
  EndPaint(h, ps);
}

namespace {
// A field of system/view, none when there is none.
cell view_field(const char* name) {
  cell view;
  if (!object::system_field({"view"}, &view)) return cell{TYPE_NONE, 0, 0, 0};
  const cell* f = object::field_named(&view, name);
  return f ? *f : cell{TYPE_NONE, 0, 0, 0};
}

bool has_draw_block(const cell* face) {
  const cell* d = facet(face, facet_index::draw);
  return d && type_of(d) == TYPE_BLOCK;
}
}  // namespace

LRESULT window_wndproc(HWND h, u32 msg, WPARAM w, LPARAM l) {
  if (msg == WM_NCCREATE) {
    auto* cs = reinterpret_cast<CREATESTRUCT*>(l);
    if (cs && cs->lpCreateParams) attach_face(h, static_cast<const cell*>(cs->lpCreateParams));
    return DefWindowProc(h, msg, w, l);
  }
  const cell* face = face_of_window(h);
  if (!face) return DefWindowProc(h, msg, w, l);
  bool window = slots_of(face).top_level;
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
        if (!L.in_size_move) dispatch_event(message_record(h, msg, w, MAKELPARAM(p.x, p.y)), 0, ev::MOVE);
        return 0;
      }
      set_geometry(h, facet_index::size, p);
      dispatch_event(message_record(h, msg, w, l), 0, ev::RESIZE);
      // Once more for a shown face, unless a user's sizing runs (it ends in one `resize` of
      // its own) and the window was not maximised. The face's state may be gone after the
      // handler (the window was closed).
      face = face_of_window(h);
      cell* state = face ? facet(face, facet_index::state) : nullptr;
      if (state && type_of(state) == TYPE_BLOCK && (!L.in_size_move || w == SIZE_MAXIMIZED))
        dispatch_event(message_record(h, msg, w, l), 0, ev::RESIZE);
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
      dispatch_event(message_record(h, msg, w, MAKELPARAM(p.x, p.y)), 0, type);
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
        dispatch_event(message_record(h, msg, w, lp), 0, type);
      }
      return 0;
    case WM_ACTIVATE:
      if (!window) break;
      if (LOWORD(w)) {
        set_dpi_from_window(h);
        dispatch_event(message_record(h, msg, w, l), 0, ev::FOCUS);
        focus_selected(h);
      } else {
        dispatch_event(message_record(h, msg, w, l), 0, ev::UNFOCUS);
      }
      return 0;
    case WM_WINDOWPOSCHANGED: {
      auto* pos = reinterpret_cast<WINDOWPOS*>(l);
      if (window && pos && (pos->flags & SWP_STATECHANGED)) {
        u32 style = u32(GetWindowLong(h, GWL_STYLE));
        // The handler of the new state sees the new size and offset (a minimised window
        // keeps the ones it had).
        if (!(style & WS_MINIMIZE)) {
          RECT wr, cr;
          GetWindowRect(h, wr);
          GetClientRect(h, cr);
          set_geometry(h, facet_index::size, POINT{cr.width(), cr.height()});
          set_geometry(h, facet_index::offset, POINT{wr.left, wr.top});
        }
        u32 type = (style & WS_MINIMIZE) ? ev::MINIMIZE : (style & WS_MAXIMIZE) ? ev::MAXIMIZE : ev::RESTORE;
        dispatch_event(message_record(h, msg, w, l), 0, type);
        if (!IsWindow(h)) return 0;
      }
      // WM_MOVE and WM_SIZE follow, with their events.
      return DefWindowProc(h, msg, w, l);
    }
    case WM_CLOSE: {
      window_extra* x = extra(h);
      if (x && x->type_slot == 0xFFFFFFFFu) return DefWindowProc(h, msg, w, l);
      if (!window) return DefWindowProc(h, msg, w, l);
      SetFocus(h);
      // Closing never destroys the window here: the View engine does, reacting to `close`.
      if (dispatch_event(message_record(h, msg, w, l), 0, ev::CLOSE) == 0) PostQuitMessage(0);
      return 0;
    }
    case WM_HSCROLL: case WM_VSCROLL: {
      if (l == 0) {
        dispatch_event(message_record(h, msg, w, l), 0, ev::SCROLL);
        return 0;
      }
      LRESULT answer = 0;
      if (!control_notification(HWND(u32(l)), msg, w, l, answer))
        dispatch_event(message_record(h, msg, w, l), 0, ev::CHANGE);
      return 0;
    }
    case WM_COMMAND: {
      if (menu_command(h, w, l)) return 0;
      LRESULT answer = 0;
      if (l != 0 && control_notification(HWND(u32(l)), msg, w, l, answer)) return answer;
      break;
    }
    case WM_ENTERMENULOOP:
      menu_loop_entered(w);
      break;
    case WM_MENUSELECT:
      menu_selected(w, l);
      return 0;
    case WM_NOTIFY: {
      auto* hdr = reinterpret_cast<const NMHDR*>(l);
      LRESULT answer = 0;
      if (hdr && control_notification(hdr->hwndFrom, msg, w, l, answer)) return answer;
      break;
    }
    case WM_CTLCOLOREDIT: case WM_CTLCOLORLISTBOX: case WM_CTLCOLORSTATIC: {
      LRESULT answer = control_colours(msg, w, l);
      if (answer) return answer;
      break;
    }
    case WM_LBUTTONDOWN:
      SetCapture(h);
      return 0;
    case WM_LBUTTONUP:
      ReleaseCapture();
      return 0;
    case WM_USER + 2:
      window_command(h, u32(w));
      return 0;
    case WM_SETCURSOR: {
      // The window under the pointer: its cursor slot holds the cursor its face's option
      // chose, or 0 for the class cursor. A base face whose slot lacks bit 31 has the
      // pointer off its client area: its own procedure says what shows there.
      HWND under{u32(w)};
      window_extra* x = extra(under);
      u32 slot = x ? x->cursor : 0;
      if (!(slot & ~CURSOR_FROM_OPTION)) break;
      const cell* uf = face_of_window(under);
      if (!(slot & CURSOR_FROM_OPTION) && slots_of(uf).own_cursor) return 0;
      SetCursor(HCURSOR(slot & ~CURSOR_FROM_OPTION));
      return 1;
    }
    case WM_PAINT:
      if (!has_draw_block(face)) break;
      paint_draw_facet(h);
      return 0;
    case WM_ERASEBKGND: {
      if (has_draw_block(face)) return 1;   // the paint clears with the colour itself
      // A page of a tab-panel takes its own colour, else the tab-panel's, else the colour of
      // the tab control's page: children coloured like their page do not show as patches.
      const cell* parent = facet(face, facet_index::parent);
      if (parent && type_of(parent) == TYPE_OBJECT && slots_of(parent).place_page) {
        RECT r;
        GetClientRect(h, r);
        i64 colour = color_of(facet(face, 0), facet_index::color);
        if (colour < 0) colour = color_of(facet(parent, 0), facet_index::color);
        FillRect(HDC(u32(w)), r, colour >= 0 ? COLORREF(colour & 0xFFFFFF) : theme_color(h, theme::part::page));
        return 1;
      }
      fill_background(h, HDC(u32(w)), face);
      return 1;
    }
    case WM_THEMECHANGED:
      if (!window) break;
      load_default_font(h);
      layout_children(face);
      RedrawWindow(h, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
      return 0;
    case WM_GETMINMAXINFO:
      if (!window || !l) break;
      apply_min_max(h, reinterpret_cast<MINMAXINFO*>(l));
      return 0;
    case WM_DPICHANGED: {
      // Handlers run on the way (the new size gives resize): the face is held here.
      cell f = *face;
      collector::root_guard guard(&f);
      const cell* state = facet(&f, facet_index::state);
      if (!state || type_of(state) != TYPE_BLOCK) return 0;
      if (window) {
        const cell* parent = facet(&f, facet_index::parent);
        if (parent && type_of(parent) == TYPE_OBJECT) {
          cell current = *parent, screens = view_field("screens");
          collector::root_guard g1(&current), g2(&screens);
          move_window_to_screen(u32(MonitorFromWindow(h, MONITOR_DEFAULTTONEAREST)), &f, &current, &screens);
        }
      }
      set_dpi(LOWORD(w));
      if (auto* r = reinterpret_cast<RECT*>(l))
        SetWindowPos(h, 0, r->left, r->top, r->width(), r->height(), SWP_NOZORDER | SWP_NOACTIVATE);
      if (!IsWindow(h)) return 0;
      if (window) {
        load_default_font(h);
        layout_children(&f);
        fill_metrics();
      }
      RedrawWindow(h, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
      return 0;
    }
    case WM_GESTURE: {
      // Touch gestures go to the child under the gesture's point; a new gesture has no
      // zoom distance to compare with yet.
      const GESTUREINFO& g = gesture_info(l);
      if (g.dwID == GID_BEGIN || g.dwID == GID_END) {
        loop().zoom_base = -1;
        break;
      }
      if (g.dwID < GID_ZOOM || g.dwID > GID_PRESSANDTAP) break;
      POINT p{g.ptsLocation.x, g.ptsLocation.y};
      ScreenToClient(h, p);
      dispatch_event(message_record(child_at(h, p), msg, w, l), 0, ev::ZOOM + (g.dwID - GID_ZOOM));
      return 0;
    }
    case WM_DISPLAYCHANGE:
      // The screens are listed again, then everything is drawn anew.
      refresh_screens();
      if (IsWindow(h)) RedrawWindow(h, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN);
      return 0;
    default:
      break;
  }
  return DefWindowProc(h, msg, w, l);
}

}  // namespace vyr::gui
