// `base` faces: windows the backend paints itself, with the face's `draw` block or by a
// `drawing` event; layered ones (colour with transparency, or none) are blended by the
// compositor. Paints are paced: after a layered window was drawn, the next paint waits for
// 16.6 ms of the frame clock.
#include "gui/backend/base_face.h"

#include "gui/backend/draw_face.h"
#include "gui/backend/events.h"
#include "gui/backend/menus.h"
#include "runtime/datatypes/event.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/series.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/tuple.h"
#include "runtime/datatypes/word.h"

namespace vyr::gui {

using namespace win;
namespace ev = vyr::event;

base_state& base() {
  static base_state s;
  return s;
}

namespace {
// Takes a window's invalid region off its paint queue, to give it back later.
void hold(HWND h) {
  RECT r;
  if (!GetUpdateRect(h, &r, false)) return;
  ValidateRect(h, &r);
  base().held.push_back({raw(h), r});
}

// Gives back the held regions of one window (or of all, with a null window).
void release_held(HWND only) {
  auto& held = base().held;
  for (size_t i = 0; i < held.size();) {
    HWND h{held[i].window};
    if (is_null(only) || h == only) {
      RECT r = held[i].rect;
      held.erase(held.begin() + long(i));
      if (IsWindow(h)) InvalidateRect(h, &r, false);
    } else {
      i++;
    }
  }
}

constexpr uintptr_t THROTTLE_TIMER = 0x7B01;   // repaints a paint the throttle held back

// The frame clock in microseconds since the last draw-begin.
i64 since_frame_us() { return now_us() - base().frame_start_us; }

void paint_face(HWND h, bool layered) {
  base_state& B = base();
  PAINTSTRUCT ps;
  BeginPaint(h, ps);
  B.painting = true;
  B.frame_start_us = now_us();   // draw-begin restarts the frame clock
  B.last_painted = raw(h);
  B.paints++;
  const cell* face = face_of_window(h);
  cell* draw = face ? facet(face, facet_index::draw) : nullptr;
  window_run run;
  bool begun = false;
  try {
    if (draw && type_of(draw) == TYPE_BLOCK) {
      // The face's `draw` block: an error in it is printed and the frame still shown.
      cell block = *draw;
      run_draw(h, &block, true);
    } else if (layered) {
      // No `drawing` event for a layered window: only what draw-begin paints for the face.
      cell none{TYPE_NONE, 0, 0, 0};
      run_draw(h, &none, true);
    } else {
      // The terminal's road: the handlers draw through draw-face on this paint's run,
      // which the window's draw-context slot names while the event is handled.
      begun = draw_begin(run, h);
      if (begun) set_paint_run(h, &run);
      MSG m;
      m.hwnd = h;
      m.message = WM_PAINT;
      dispatch_event(m, 0, ev::DRAWING);
      if (begun) set_paint_run(h, nullptr);
      begun = false;
      draw_end(run);
    }
  } catch (...) {
    if (begun) {
      set_paint_run(h, nullptr);
      draw_end(run);
    }
    B.painting = false;
    EndPaint(h, ps);
    release_held(HWND{});
    throw;
  }
  B.painting = false;
  EndPaint(h, ps);
  // Paints that came during this one (a handler's nested loop) go again now.
  release_held(HWND{});
}
}  // namespace

bool layered_q(HWND h) { return GetWindowLong(h, GWL_EXSTYLE) & WS_EX_LAYERED; }

bool needs_layered_q(const cell* color, const cell* image) {
  if (color && type_of(color) == TYPE_TUPLE) {
    u32 n = tuple::count_of(color);
    if (n == 3) return false;
    if (n == 4 && tuple::byte_at(color, 3) == 0) return false;
  }
  return true;
}

void compose_layered(HWND h) {
  // The compositor blends a layered window's pixels over what lies below: drawing its
  // `draw` block is all there is to do, and no `drawing` event goes out.
  InvalidateRect(h, nullptr, false);
  paint_face(h, true);
}

void init_base_window(HWND h, HWND parent, const cell* face) {
  window_extra* x = extra(h);
  if (!x) return;
  x->type_slot = 0;
  x->frame_size = raw(parent);   // a base window keeps its parent in this slot
  x->companion = 0;
  x->last_sizing = 0;            // caret owner
  x->font_or_count = 0;          // pressed count
  x->render_target = 0;
  cell* options = facet(face, facet_index::options);
  if (options && type_of(options) == TYPE_BLOCK) {
    cell opts = *options;
    const cell* caret = option_pair(&opts, "caret", false);
    if (caret && type_of(caret) == TYPE_OBJECT) {
      u32 owner = face_handle_q(caret);
      if ((x = extra(h))) {
        x->flags |= BASE_IS_CARET;
        x->last_sizing = owner;
      }
      if (owner) place_caret(h, face);
    }
  }
}

void place_caret(HWND h, const cell* face) {
  create_caret(h, facet(face, 0));
  window_extra* x = extra(h);
  HWND owner{x ? x->last_sizing : 0};
  // The caret counts in its owner's client area, where the face's offset is taken.
  logical_xy o = xy_of(facet(face, facet_index::offset));
  if (IsWindow(owner) && (u32(GetWindowLong(owner, slot::flags)) & WINDOW_OWNS_CARET))
    SetCaretPos(to_pixels(o.x), to_pixels(o.y));
}

void sync_caret(HWND h, const cell* face, u32 mask) {
  window_extra* x = extra(h);
  if (!x || !(x->flags & BASE_IS_CARET)) return;
  HWND owner{x->last_sizing};
  bool owns = IsWindow(owner) && (u32(GetWindowLong(owner, slot::flags)) & WINDOW_OWNS_CARET);
  if ((mask >> facet_index::visible) & 1) {
    if (logic_true(facet(face, facet_index::visible))) {
      place_caret(h, face);
      return;
    }
    if (owns) {
      SetWindowLong(owner, slot::flags, GetWindowLong(owner, slot::flags) & ~i64(WINDOW_OWNS_CARET));
      DestroyCaret();
    }
    return;
  }
  if (((mask >> facet_index::offset) & 1) && owns) {
    logical_xy o = xy_of(facet(face, facet_index::offset));
    SetCaretPos(to_pixels(o.x), to_pixels(o.y));
  }
}

LRESULT base_wndproc(HWND h, u32 msg, WPARAM w, LPARAM l) {
  base_state& B = base();
  switch (msg) {
    case WM_NCCREATE: {
      auto* cs = reinterpret_cast<CREATESTRUCT*>(l);
      if (cs && cs->lpCreateParams) attach_face(h, static_cast<const cell*>(cs->lpCreateParams));
      B.last_painted = raw(h);
      return DefWindowProc(h, msg, w, l);
    }
    case WM_DESTROY:
      release_window_extras(h);
      if (B.last_painted == raw(h)) B.last_painted = 0;
      KillTimer(h, THROTTLE_TIMER);
      break;
    case WM_SIZE:
      // No sleep for layered windows: the paint throttle paces them.
      if (layered_q(h) && has_face_q(h)) compose_layered(h);
      else InvalidateRect(h, nullptr, true);
      return 0;
    case WM_PAINT: case WM_DISPLAYCHANGE: case WM_PRINTCLIENT: {
      if (B.painting) {
        // A nested loop of a `drawing` handler: this paint comes again after it, and is
        // kept off the queue meanwhile so the nested loop does not spin on it.
        if (msg == WM_PAINT) hold(h);
        B.ignored++;
        return 0;
      }
      if (B.last_painted && IsWindow(HWND(B.last_painted)) && layered_q(HWND(B.last_painted))) {
        i64 left = THROTTLE_US - since_frame_us();
        if (left > 0) {
          // Held back, not lost: the region is kept and painted when the throttle ends.
          if (msg == WM_PAINT) hold(h);
          B.throttled++;
          SetTimer(h, THROTTLE_TIMER, u32((left + 999) / 1000));
          return 0;
        }
      }
      if (!has_face_q(h) || layered_q(h)) {
        if (has_face_q(h) && msg == WM_PAINT) {
          paint_face(h, true);
          return 0;
        }
        break;
      }
      if (msg != WM_PAINT) break;
      paint_face(h, false);
      return 0;
    }
    case WM_IME_COMPOSITION:
      // The composition shown so far: the console's terminal puts it in its input line.
      if (l & GCS_COMPSTR) {
        dispatch_event(message_record(h, msg, w, l), 0, ev::IME);
        return 0;
      }
      break;
    case WM_TIMER:
      if (w == THROTTLE_TIMER) {
        KillTimer(h, THROTTLE_TIMER);
        release_held(h);
        return 0;
      }
      return window_wndproc(h, msg, w, l);
    case WM_ERASEBKGND:
      return 1;
    case WM_SETCURSOR: {
      // Bit 31 of the slot is set while the pointer is over the client area (WM_NCHITTEST).
      window_extra* x = extra(HWND{u32(w)});
      u32 slot = x ? x->cursor : 0;
      if (!(slot & CURSOR_FROM_OPTION) || !(slot & ~CURSOR_FROM_OPTION)) break;
      SetCursor(HCURSOR(slot & ~CURSOR_FROM_OPTION));
      return 1;
    }
    case WM_NCHITTEST: {
      LRESULT r = DefWindowProc(h, msg, w, l);
      if (window_extra* x = extra(h)) {
        if (r == HTCLIENT) x->cursor |= 0x80000000u;
        else x->cursor &= ~0x80000000u;
      }
      return r;
    }
    case WM_LBUTTONDOWN: {
      window_extra* x = extra(h);
      if (!x) break;
      if (x->font_or_count++ == 0) {
        SetCapture(h);
        return 0;
      }
      break;
    }
    case WM_LBUTTONUP: {
      window_extra* x = extra(h);
      if (x && x->font_or_count >= 1) {
        x->font_or_count--;
        ReleaseCapture();
        return 0;
      }
      break;
    }
    case WM_MENUSELECT:
      menu_selected(w, l);
      return 0;
    case WM_HSCROLL: case WM_VSCROLL: case WM_COMMAND: case WM_CLOSE: case WM_NOTIFY:
    case WM_CTLCOLOREDIT: case WM_CTLCOLORLISTBOX: case WM_CTLCOLORSTATIC:
      return window_wndproc(h, msg, w, l);
    case WM_IME_STARTCOMPOSITION: case WM_IME_ENDCOMPOSITION: {
      // A face that owns the caret takes text from the input method: while it composes,
      // key-down events leave the keys it takes alone (the IME-active flag of the loop).
      window_extra* x = extra(h);
      if (x && (x->flags & WINDOW_OWNS_CARET)) loop().ime_active = msg == WM_IME_STARTCOMPOSITION;
      break;
    }
    default:
      break;
  }
  return DefWindowProc(h, msg, w, l);
}

}  // namespace vyr::gui
