// The road from a window message to the View engine's `awake` and back.
#include "gui/backend/events.h"
#include "gui/backend/menus.h"

#include "gui/draw/draw.h"
#include "gui/win/controls/controls.h"


#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>
#include <utility>

#include "runtime/collector.h"
#include "runtime/datatypes/actions.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/char.h"
#include "runtime/datatypes/context.h"
#include "runtime/datatypes/error.h"
#include "runtime/datatypes/event.h"
#include "runtime/datatypes/float.h"
#include "runtime/datatypes/handle.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/object.h"
#include "runtime/datatypes/pair.h"
#include "runtime/datatypes/percent.h"
#include "runtime/datatypes/point.h"
#include "runtime/datatypes/series.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/word.h"
#include "runtime/fire.h"
#include "runtime/halt.h"
#include "runtime/api/values.h"
#include "runtime/stack.h"
#include "runtime/interpreter/trace.h"
#include "runtime/natives/host.h"
#include "runtime/platform.h"

namespace vyr::gui {

using namespace win;
namespace ev = vyr::event;

awake_fn awake = nullptr;
std::vector<std::string> caught_errors;
bool quiet_errors = false;

loop_state& loop() {
  static loop_state s;
  return s;
}

namespace {
cell native_event{TYPE_EVENT, 0, 0, 0};
std::vector<MSG> records;   // the records being dispatched, innermost last

bool is_mouse_message(u32 m) { return m >= WM_MOUSEFIRST && m <= WM_MOUSELAST; }

// Signed 16-bit coordinates of an lParam.
POINT point_of(LPARAM l) { return POINT{GET_X_LPARAM(l), GET_Y_LPARAM(l)}; }

cell* logical_point(POINT p, cell* out) {
  return point2D::make_at(out, to_logical(p.x), to_logical(p.y));
}

cell* word_cell(const char* name, cell* out) { return &(*out = word::intern(name)); }

const char* special_key_name(i32 vk) {
  switch (vk) {
    case 0x13: return "pause";
    case 0x14: return "caps-lock";
    case 0x21: return "page-up";
    case 0x22: return "page-down";
    case 0x23: return "end";
    case 0x24: return "home";
    case 0x25: return "left";
    case 0x26: return "up";
    case 0x27: return "right";
    case 0x28: return "down";
    case 0x2D: return "insert";
    case 0x2E: return "delete";
    case 0x5B: return "left-command";
    case 0x5C: return "right-command";
    case 0x90: return "num-lock";
    case 0x91: return "scroll-lock";
    case 0xA0: return "left-shift";
    case 0xA1: return "right-shift";
    case 0xA2: return "left-control";
    case 0xA3: return "right-control";
    case 0xA4: return "left-alt";
    case 0xA5: return "right-alt";
    default: break;
  }
  static const char* const fkeys[] = {"F1", "F2", "F3", "F4", "F5", "F6", "F7", "F8", "F9",
                                      "F10", "F11", "F12"};
  if (vk >= 0x70 && vk <= 0x7B) return fkeys[vk - 0x70];
  return nullptr;
}

// A zoom gesture's `picked`: its distance against the one before it in the same gesture
// (none for the first), as a percent!. The message's answer is kept, so that reading the
// field again gives it again rather than comparing the distance with itself.
cell* zoom_ratio(const MSG& m, cell* out) {
  loop_state& L = loop();
  const GESTUREINFO& g = gesture_info(m.lParam);
  if (g.dwSequenceID != L.zoom_message) {
    L.zoom_message = g.dwSequenceID;
    L.zoom_ratio = L.zoom_base > 0 ? double(g.ullArguments) / double(L.zoom_base) : -1;
    L.zoom_base = i64(g.ullArguments);
  }
  if (L.zoom_ratio < 0) return &(*out = none_value);
  return percent::make_at(out, L.zoom_ratio);
}

// The fields of a native event that need the window system.
cell* native_field(const cell* e, u32 index, cell* out) {
  const MSG* m = event_record(e);
  if (!m) return &(*out = none_value);
  u32 type = ev::type_code(e), w3 = ev::key_flags(e);
  u32 wnd = event_window(*m);
  switch (index) {
    case ev::F_FACE: case ev::F_WINDOW: {
      if (wnd == NO_WINDOW) return &(*out = none_value);
      HWND h{wnd};
      if (index == ev::F_WINDOW) h = GetAncestor(h, GA_ROOTOWNER);
      const cell* f = face_of_window(h);
      return &(*out = f ? *f : none_value);
    }
    case ev::F_OFFSET: {
      if (type == ev::WHEEL) {
        POINT p = point_of(m->lParam);
        ScreenToClient(m->hwnd, p);
        return logical_point(p, out);
      }
      if ((type >= ev::DOWN && type <= ev::OVER) || (type >= ev::MOVE && type <= ev::RESIZING)) {
        POINT p;
        if (w3 & ev::FLAG_AWAY) {
          POINT origin;
          ClientToScreen(m->hwnd, origin);
          p = POINT{add32(m->pt.x, -int64_t(origin.x)), add32(m->pt.y, -int64_t(origin.y))};
        } else {
          p = point_of(m->lParam);
        }
        logical_point(p, out);
        window_extra* x = extra(m->hwnd);
        if ((type == ev::RESIZE || type == ev::RESIZING) && x && (x->flags & WINDOW_SIZE_IS_PAIR))
          pair::make_at(out, i32(to_logical(p.x)), i32(to_logical(p.y)));
        return out;
      }
      if (type == ev::KEY || type == ev::KEY_DOWN || type == ev::KEY_UP) {
        POINT p = m->pt;
        ScreenToClient(m->hwnd, p);
        return logical_point(p, out);
      }
      if (type == ev::MENU) return logical_point(loop().menu_point, out);
      if (type >= ev::ZOOM && type <= ev::PRESS_TAP) {
        // Where the gesture was, in the client area of its face as other events give it.
        const GESTUREINFO& g = gesture_info(m->lParam);
        POINT p{g.ptsLocation.x, g.ptsLocation.y};
        ScreenToClient(m->hwnd, p);
        return logical_point(p, out);
      }
      return &(*out = none_value);
    }
    case ev::F_KEY: {
      if (type == ev::KEY || type == ev::KEY_DOWN || type == ev::KEY_UP) {
        i32 sk = loop().special_key;
        if (sk == -1) return char_::make_at(out, w3 & ev::KEY_MASK);
        if (const char* name = special_key_name(sk)) return word_cell(name, out);
        if (type == ev::KEY) return &(*out = none_value);
        return char_::make_at(out, w3 & 0xFFFF);
      }
      if (type == ev::SCROLL) {
        bool vertical = m->message == WM_VSCROLL;
        static const char* const v[] = {"up", "down", "page-up", "page-down"};
        static const char* const h[] = {"left", "right", "page-left", "page-right"};
        u32 code = LOWORD(m->wParam);
        if (code < 4) return word_cell(vertical ? v[code] : h[code], out);
        return word_cell(code == 5 ? "track" : "end", out);
      }
      if (type == ev::WHEEL) return word_cell("wheel", out);
      return &(*out = none_value);
    }
    case ev::F_PICKED: {
      switch (type) {
        case ev::DOWN: case ev::MID_DOWN: case ev::ALT_DOWN: case ev::AUX_DOWN: case ev::DBL_CLICK: {
          // The list item under the point, counted from 1.
          POINT p = point_of(m->lParam);
          ClientToScreen(m->hwnd, p);
          int item = LBItemFromPt(m->hwnd, p, false);
          return item < 0 ? &(*out = none_value) : integer::make_at(out, item + 1);
        }
        case ev::WHEEL: {
          i32 d = int16_t(HIWORD(m->wParam));
          if (d < -24000) d += 30720;
          else if (d > 24000) d -= 30720;
          return float_::make_at(out, d / 120.0);
        }
        case ev::MENU:
          // The symbol id travels whole; all ones means no item.
          if (w3 == 0xFFFFFFFFu) return &(*out = none_value);
          return word::make_at(w3, out);
        case ev::IME: {
          // The text the input method composes, as it reported it last.
          std::string text = ImmGetCompositionString(m->hwnd);
          return string::load_utf8_strict(text.data(), u32(text.size()), out);
        }
        case ev::ZOOM: return zoom_ratio(*m, out);
        case ev::PAN: case ev::ROTATE: case ev::TWO_TAP: case ev::PRESS_TAP:
          return integer::make_at(out, i32(u32(gesture_info(m->lParam).ullArguments)));
        case ev::SCROLL: {
          // While the thumb is dragged the bar's position stays where the drag began: the
          // event carries where the thumb is, so that the view can follow it.
          SCROLLINFO si;
          si.fMask = SIF_POS | SIF_TRACKPOS;
          GetScrollInfo(m->hwnd, m->message == WM_VSCROLL ? SB_VERT : SB_HORZ, si);
          return integer::make_at(out, LOWORD(m->wParam) == SB_THUMBTRACK ? si.nTrackPos : si.nPos);
        }
        default:
          return integer::make_at(out, int16_t(w3 & 0xFFFF));
      }
    }
    case ev::F_ORIENTATION:
      if (type == ev::SCROLL) return word_cell(m->message == WM_VSCROLL ? "vertical" : "horizontal", out);
      return &(*out = none_value);
    default:
      return &(*out = none_value);
  }
}

// Keys typed into the GUI console's window while its terminal shows no prompt wait in the
// queue for the next prompt, as keys typed ahead at the text console wait in the terminal:
// a command that serves the windows itself (wait, a view of its own) would hand them to a
// terminal that has no use for keys outside a prompt, and they would be lost.
bool console_keys_wait(HWND target) {
  cell ctx;
  if (!object::global_field({"gui-console-ctx"}, &ctx) || type_of(&ctx) != TYPE_OBJECT) return false;
  const cell* console = object::field_named(&ctx, "console");
  u32 h = console ? face_handle_q(console) : 0;
  if (!h || !IsWindow(HWND(h)) || GetAncestor(HWND(h), GA_ROOT) != GetAncestor(target, GA_ROOT)) return false;
  const cell* t = object::field_named(&ctx, "terminal");
  if (!t || type_of(t) != TYPE_OBJECT) return false;
  const cell* ask = object::field_named(t, "ask?");
  return !(ask && type_of(ask) == TYPE_LOGIC && logic::get(ask));
}

// Blocking loops running now: outside all of them, the program is busy and nothing reads
// the windows' input.
int waiting_loops = 0;

// The GUI console's top level while its terminal runs a command outside every loop: an Esc
// or Ctrl+Break typed there, or its close, halts the command as Ctrl+C does at the text
// console. Reads the console's state in place: it runs at a call or a loop iteration of
// that command, where nothing may allocate.
bool console_halt_poll() {
  if (waiting_loops > 0) return false;
  cell ctx;
  if (!object::global_field({"gui-console-ctx"}, &ctx) || type_of(&ctx) != TYPE_OBJECT) return false;
  const cell* console = object::field_named(&ctx, "console");
  u32 h = console ? face_handle_q(console) : 0;
  if (!h || !IsWindow(HWND(h)) || console_keys_wait(HWND(h)) == false) return false;
  return take_halt_input(GetAncestor(HWND(h), GA_ROOT));
}

// Asks the evaluator to poll every 50 ms; the poll costs nothing until it is due.
void start_halt_polls() {
  static bool started = false;
  if (started) return;
  started = true;
  halt::set_poller(console_halt_poll);
  std::thread([] {
    for (;;) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      halt::request_poll();
    }
  }).detach();
}

bool send_event_hook(const cell* e, bool queued) { return OS_send_event(e, queued); }
void pump_pending_hook() { while (do_events(true)) {} }
// wait's pass: the time its caller slept moves a display's own clock first, so that the
// windows' timers fall due while a script waits on the headless display as on a real one.
void wait_pass_hook(std::int64_t slept_us) {
  if (slept_us > 0) pass_time(slept_us);
  pump_pending_hook();
}
void do_events_hook(bool no_wait) { do_events(no_wait); }

const cell* face_of_event_window(const MSG& m) {
  u32 h = event_window(m);
  return h == NO_WINDOW ? nullptr : face_of_window(HWND(h));
}

bool face_flag_q(HWND h, u32 bit) {
  window_extra* x = extra(h);
  return x && (x->face_flags & bit);
}
}  // namespace

const MSG* event_record(const cell* e) {
  if (type_of(e) != TYPE_EVENT || (e->header & ev::SYNTHETIC)) return nullptr;
  u32 i = ev::record(e);
  return i >= 1 && i <= records.size() ? &records[i - 1] : nullptr;
}

void install_event_hooks() {
  ev::native_field = native_field;
  auto& t = api::gui_module::table();
  t.send_event = send_event_hook;
  t.pump_pending = pump_pending_hook;
  t.do_events = do_events_hook;
  // wait's pass over the messages already pending, so windows stay alive while it waits.
  natives::wait_hook = wait_pass_hook;
  set_key_hold(console_keys_wait);
  start_halt_polls();
}

// ---- flags and keys ---------------------------------------------------------------------------

u32 modifier_flags(bool keys_only) {
  u32 f = 0;
  if (GetKeyState(VK_CONTROL) < 0) f |= ev::FLAG_CONTROL;
  if (GetKeyState(VK_SHIFT) < 0) f |= ev::FLAG_SHIFT;
  if (GetKeyState(VK_MENU) < 0) f |= ev::FLAG_ALT;
  if (!keys_only) {
    if (GetKeyState(VK_LBUTTON) < 0) f |= ev::FLAG_DOWN;
    if (GetKeyState(VK_RBUTTON) < 0) f |= ev::FLAG_ALT_DOWN;
    if (GetKeyState(VK_MBUTTON) < 0) f |= ev::FLAG_MID_DOWN;
    if (GetKeyState(VK_XBUTTON1) < 0) f |= ev::FLAG_AUX_DOWN;
  }
  return f;
}

u32 current_flags() {
  i64 c = loop().cached_flags;
  return c != -1 ? u32(c) : modifier_flags(false);
}

u32 mouse_flags(WPARAM w) {
  u32 f = 0;
  if (w & MK_LBUTTON) f |= ev::FLAG_DOWN;
  if (w & MK_RBUTTON) f |= ev::FLAG_ALT_DOWN;
  if (w & MK_SHIFT) f |= ev::FLAG_SHIFT;
  if (w & MK_CONTROL) f |= ev::FLAG_CONTROL;
  if (w & MK_MBUTTON) f |= ev::FLAG_MID_DOWN;
  if (w & (MK_XBUTTON1 | MK_XBUTTON2)) f |= ev::FLAG_AUX_DOWN;
  return f;
}

u32 refine_key(u32 vk, LPARAM l) {
  bool extended = (l >> 24) & 1;
  if (vk == VK_SHIFT) {
    u32 r = MapVirtualKey((u32(l) >> 16) & 0xFF, MAPVK_VSC_TO_VK_EX);
    return r ? r : VK_LSHIFT;
  }
  if (vk == VK_CONTROL) return extended ? VK_RCONTROL : VK_LCONTROL;
  if (vk == VK_MENU) return extended ? VK_RMENU : VK_LMENU;
  return vk;
}

bool char_key_q(u32 vk) {
  return vk == 0x08 || vk == 0x09 || vk == 0x0D || vk == 0x1B || vk == 0x20 ||
         (vk >= 0x30 && vk <= 0x39) || (vk >= 0x41 && vk <= 0x5A) || (vk >= 0x60 && vk <= 0x6B) ||
         (vk >= 0x6D && vk <= 0x6F) || (vk >= 0xBA && vk <= 0xC0) || (vk >= 0xDB && vk <= 0xDF) ||
         (vk >= 0xE2 && vk <= 0xE4) || (vk >= 0xE9 && vk <= 0xF5);
}

// ---- dispatch --------------------------------------------------------------------------------

MSG message_record(HWND h, u32 msg, WPARAM w, LPARAM l) {
  MSG m;
  m.hwnd = h;
  m.message = msg;
  m.wParam = w;
  m.lParam = l;
  m.time = GetMessageTime();
  GetCursorPos(m.pt);
  return m;
}

int dispatch_event(const MSG& m, u32 extra_word, u32 type) {
  loop_state& L = loop();
  u32 w3 = 0;
  switch (type) {
    case ev::OVER: w3 = extra_word; break;
    case ev::KEY_DOWN: case ev::KEY_UP: {
      u32 vk = LOWORD(m.wParam);
      if (type == ev::KEY_DOWN && vk == 229) {   // the input method owns the key
        L.special_key = -1;
        return 1;
      }
      if ((type == ev::KEY_DOWN && L.ime_active) || char_key_q(vk)) L.special_key = -1;
      else L.special_key = i32(refine_key(vk, m.lParam));
      if (L.special_key == -1) {
        u32 c = MapVirtualKey(vk, MAPVK_VK_TO_CHAR);
        if (c) vk = c & 0xFFFF;
      }
      w3 = current_flags() | vk;
      break;
    }
    case ev::KEY: {
      u32 flags = current_flags();
      u32 c = u32(m.wParam);
      if (c >= 0xD800 && c <= 0xDBFF) {
        L.pending_surrogate = c;
        return 1;
      }
      if (c >= 0xDC00 && c <= 0xDFFF) {
        c = ((L.pending_surrogate & 0x3FF) << 10) + 0x10000 + (c & 0x3FF);
        L.last_code_point = c;
        L.pending_surrogate = 0;
        flags = 0;
      } else {
        L.pending_surrogate = 0;
      }
      // Ctrl with a lowercase letter is its control code, as typing gives.
      if ((flags & ev::FLAG_CONTROL) && c >= 0x61 && c <= 0x7A) {
        c -= 0x60;
        L.special_key = -1;
      }
      if ((L.ime_active && (flags & ev::FLAG_SHIFT)) || L.special_key == 0xA4 || L.special_key == 0xA5)
        L.special_key = -1;
      w3 = (c & ev::KEY_MASK) | flags;
      break;
    }
    case ev::SELECT: w3 = (extra_word + 1) & 0xFFFF; break;
    case ev::CHANGE: w3 = extra_word & 0xFFFF; break;
    case ev::WHEEL: case ev::DBL_CLICK: case ev::DOWN: case ev::UP: case ev::MID_DOWN:
    case ev::MID_UP: case ev::ALT_DOWN: case ev::ALT_UP:
      w3 = extra_word | modifier_flags(false);
      break;
    case ev::CLICK: w3 = modifier_flags(true); break;
    case ev::MENU: w3 = extra_word; break;
    default: w3 = 0; break;
  }
  if (!awake) return 1;
  records.push_back(m);
  u32 record = u32(records.size());
  ev::make_native_at(&native_event, type, record, w3);
  cell copy = native_event;
  i32 depth = L.depth;
  cell* saved_top = stack::top;
  cell result = none_value;
  // Handlers run untraced; the trace state comes back however they end.
  struct untraced {
    bool saved = trace::active;
    untraced() { trace::active = false; }
    ~untraced() { trace::active = saved; }
  };
  try {
    untraced off;
    result = awake(&copy);
  } catch (thrown& t) {
    stack::top = saved_top;
    if (t.level != THROW_ERROR) {
      records.pop_back();
      throw;   // halt and quit go on out of the loop
    }
    report_handler_error(t, handler_site::event);
  }
  records.pop_back();
  if (L.depth < depth) PostQuitMessage(0);
  if (type_of(&result) == TYPE_WORD) {
    std::string_view name = symbol::name(word::symbol_id(&result));
    if (name == "stop") return 0;
  }
  return 1;
}

void report_handler_error(const thrown& t, handler_site where, bool reported) {
  if (where == handler_site::event) {
    std::string text = std::string(t.category ? t.category : "") + " " + (t.id ? t.id : "");
    caught_errors.push_back(text);
    if (!quiet_errors) std::fprintf(stderr, "*** GUI handler error: %s\n", text.c_str());
    return;
  }
  // The error lives only in the exception: keep it while the checks below allocate.
  cell err = t.value;
  collector::root_guard ge(&err);
  if (reported && draw::silent_q()) return;
  stack::guard sg;
  platform::print_text(string::to_utf8(actions::form_to_string(&err)), true);
}

int pre_filter(const MSG& m) {
  loop_state& L = loop();
  u32 flags = mouse_flags(m.wParam) | modifier_flags(true);
  switch (m.message) {
    case WM_MOUSEMOVE: {
      if (m.lParam == L.last_mouse) return 0;
      L.last_mouse = m.lParam;
      bool fresh = L.hovered != raw(m.hwnd);
      if (IsWindowEnabled(m.hwnd) && (fresh || face_flag_q(m.hwnd, face_flag::all_over))) {
        if (fresh) {
          TRACKMOUSEEVENT t;
          t.dwFlags = TME_LEAVE;
          t.hwndTrack = m.hwnd;
          TrackMouseEvent(t);
        }
        dispatch_event(m, flags, ev::OVER);
      }
      L.hovered = raw(m.hwnd);
      return 1;
    }
    case WM_MOUSELEAVE:
      L.last_mouse = -1;
      dispatch_event(m, flags | ev::FLAG_AWAY, ev::OVER);
      if (L.hovered == raw(m.hwnd)) L.hovered = 0;
      return 1;
    case WM_MOUSEWHEEL: return dispatch_event(m, mouse_flags(m.wParam), ev::WHEEL);
    case WM_LBUTTONDOWN: {
      L.down_window = raw(m.hwnd);
      L.down_dropped = false;
      int r = dispatch_event(m, flags, ev::DOWN);
      L.down_window = 0;
      // A dialog the handler opened took the release: the press must not capture now.
      if (std::exchange(L.down_dropped, false)) return 0;
      return r;
    }
    case WM_LBUTTONUP: {
      L.up_window = raw(m.hwnd);
      if (GetCapture() == m.hwnd && slots_of(face_of_window(m.hwnd)).counts_presses) ReleaseCapture();
      int r = dispatch_event(m, flags, ev::UP);
      L.up_window = 0;
      return r;
    }
    // A second right press within the double-click time is a press like the first: the
    // context menu opens again (or, in mouse copy&paste, it pastes again).
    case WM_RBUTTONDBLCLK:
    case WM_RBUTTONDOWN: {
      if (!is_null(GetCapture())) return 1;
      L.menu_point = point_of(m.lParam);
      L.menu_screen_point = L.menu_point;
      ClientToScreen(m.hwnd, L.menu_screen_point);
      int answer = dispatch_event(m, flags, ev::ALT_DOWN);
      // The face's context menu takes the press; without one the answer decides.
      if (IsWindow(m.hwnd) && show_context_menu(m, L.menu_screen_point.x, L.menu_screen_point.y)) return 0;
      return answer;
    }
    case WM_RBUTTONUP: return dispatch_event(m, flags, ev::ALT_UP);
    case WM_MBUTTONDOWN: return dispatch_event(m, flags, ev::MID_DOWN);
    case WM_MBUTTONUP: return dispatch_event(m, flags, ev::MID_UP);
    case WM_XBUTTONDOWN: return dispatch_event(m, flags, ev::AUX_DOWN);
    case WM_XBUTTONUP: return dispatch_event(m, flags, ev::AUX_UP);
    case WM_LBUTTONDBLCLK:
      dispatch_event(m, 0, ev::DOWN);
      dispatch_event(m, flags, ev::DBL_CLICK);
      return 1;
    case WM_KEYDOWN: {
      int r = dispatch_event(m, 0, ev::KEY_DOWN);
      i32 sk = L.special_key;
      if (r == 1 && sk != -1 && sk != 0x10 && sk != 0x11 && !(sk >= 0xA0 && sk <= 0xA5))
        r = dispatch_event(m, 0, ev::KEY);
      return r;
    }
    case WM_SYSKEYDOWN: return dispatch_event(m, 0, ev::KEY_DOWN);
    case WM_KEYUP: case WM_SYSKEYUP: return dispatch_event(m, 0, ev::KEY_UP);
    case WM_CHAR: {
      L.special_key = -1;
      int r = dispatch_event(m, 0, ev::KEY);
      // Enter in a field or a drop-down is also `enter`, unless its `key` was stopped.
      if (r != 0 && m.wParam == '\r') {
        const cell* face = face_of_event_window(m);
        if (slots_of(face).enter_event)
          r = dispatch_event(m, 0, ev::ENTER);
      }
      return r;
    }
    default:
      return 1;
  }
}

bool do_events(bool no_wait) {
  loop_state& L = loop();
  i64 saved_flags = L.cached_flags;
  L.cached_flags = -1;
  bool handled = false;
  if (!no_wait) L.depth++;
  struct counted {
    bool on;
    explicit counted(bool w) : on(w) { if (on) waiting_loops++; }
    ~counted() { if (on) waiting_loops--; }
  } in_loop(!no_wait);
  MSG m;
  for (;;) {
    if (no_wait) {
      if (!PeekMessage(m, HWND{}, 0, 0, PM_REMOVE)) break;
      if (m.message == WM_QUIT) {
        // A quit seen by a pass that does not own a loop belongs to the loop outside it.
        PostQuitMessage(int(m.wParam));
        break;
      }
    } else if (GetMessage(m, HWND{}, 0, 0) <= 0) {
      break;
    }
    handled = true;
    if (pre_filter(m) >= 1) {
      TranslateMessage(m);
      DispatchMessage(m);
    }
    if (no_wait) {
      L.cached_flags = saved_flags;
      return true;
    }
  }
  if (!no_wait) {
    // Never below 0: a later double close must not end one loop too many.
    if (L.pending_exits > 0) L.pending_exits--;
    if (L.pending_exits > 0) PostQuitMessage(0);
  }
  L.cached_flags = saved_flags;
  return handled;
}

void loop_owner_destroyed() {
  loop_state& L = loop();
  if (L.depth > 0) L.depth--;
  L.pending_exits++;
}

// ---- synthetic events ------------------------------------------------------------------------

void window_command(HWND h, u32 type) {
  if (type == ev::MINIMIZE) SendMessage(h, WM_SYSCOMMAND, SC_MINIMIZE, 0);
  else if (type == ev::MAXIMIZE) SendMessage(h, WM_SYSCOMMAND, SC_MAXIMIZE, 0);
  else if (type == ev::RESTORE) {
    u32 style = u32(GetWindowLong(h, GWL_STYLE));
    if (style & (WS_MINIMIZE | WS_MAXIMIZE)) ShowWindow(h, SW_SHOWNORMAL);
    if (has_face_q(h)) {
      SetForegroundWindow(h);
      focus_selected(h);
    }
  }
}

bool OS_send_event(const cell* event, bool queued) {
  cell e = *event;
  if (type_of(&e) != TYPE_EVENT || !(e.header & ev::SYNTHETIC) || !ev::record(&e)) return false;
  series_buffer* b = buffer_of(ev::record(&e));
  if (b->used_units() < 4) return false;
  cell face = b->cells()[0], offset = b->cells()[2], picked = b->cells()[3];
  u32 target = face_handle_q(&face);
  if (!target || !IsWindow(HWND(target))) return false;
  HWND h{target};
  u32 type = ev::type_code(&e), fl = ev::key_flags(&e);
  if (type == ev::MINIMIZE || type == ev::MAXIMIZE || type == ev::RESTORE) {
    if (!slots_of(&face).top_level) return false;
    u32 style = u32(GetWindowLong(h, GWL_STYLE));
    if (type == ev::MINIMIZE && !(style & WS_MINIMIZEBOX)) return false;
    if (type == ev::MAXIMIZE && !(style & WS_MAXIMIZEBOX)) return false;
    if (queued) return PostMessage(h, WM_USER + 2, type, 0);
    window_command(h, type);
    return true;
  }
  if (type >= 36 || type == 0) return false;
  MSG m;
  m.hwnd = h;
  WPARAM wp = 0;
  switch (type) {
    case ev::DOWN: m.message = WM_LBUTTONDOWN; wp = MK_LBUTTON; break;
    case ev::UP: m.message = WM_LBUTTONUP; break;
    case ev::MID_DOWN: m.message = WM_MBUTTONDOWN; wp = MK_MBUTTON; break;
    case ev::MID_UP: m.message = WM_MBUTTONUP; break;
    case ev::ALT_DOWN: m.message = WM_RBUTTONDOWN; wp = MK_RBUTTON; break;
    case ev::ALT_UP: m.message = WM_RBUTTONUP; break;
    case ev::AUX_DOWN: m.message = WM_XBUTTONDOWN; wp = 0x10020; break;
    case ev::AUX_UP: m.message = WM_XBUTTONUP; wp = 0x10000; break;
    case ev::DBL_CLICK: m.message = WM_LBUTTONDBLCLK; wp = MK_LBUTTON; break;
    case ev::WHEEL: m.message = WM_MOUSEWHEEL; break;
    case ev::OVER: m.message = (fl & ev::FLAG_AWAY) ? WM_MOUSELEAVE : WM_MOUSEMOVE; break;
    case ev::KEY: m.message = WM_CHAR; break;
    case ev::KEY_DOWN: m.message = WM_KEYDOWN; break;
    case ev::KEY_UP: m.message = WM_KEYUP; break;
    default: return false;
  }
  bool mouse = is_mouse_message(m.message) || m.message == WM_MOUSELEAVE;
  if (m.message == WM_CHAR) {
    u32 cp = fl & ev::KEY_MASK;
    if (cp > 0xFFFF) {
      // A code point beyond the 16-bit units goes as its surrogate pair.
      u32 v = cp - 0x10000;
      MSG hi = m;
      hi.wParam = 0xD800 + (v >> 10);
      m.wParam = 0xDC00 + (v & 0x3FF);
      if (queued) PostMessage(h, WM_CHAR, hi.wParam, 0);
      else {
        i64 saved = loop().cached_flags;
        loop().cached_flags = fl & 0x73C00000u;
        pre_filter(hi);
        loop().cached_flags = saved;
      }
    } else {
      m.wParam = cp;
    }
  } else if (m.message == WM_KEYDOWN || m.message == WM_KEYUP) {
    m.wParam = u32(VkKeyScan(char16_t(fl & 0xFFFF))) & 0xFF;
  }
  if (mouse) {
    if (fl & ev::FLAG_CONTROL) wp |= MK_CONTROL;
    if (fl & ev::FLAG_SHIFT) wp |= MK_SHIFT;
    // The buttons the event holds down, as a real move with buttons held reports them.
    if (fl & ev::FLAG_DOWN) wp |= MK_LBUTTON;
    if (fl & ev::FLAG_ALT_DOWN) wp |= MK_RBUTTON;
    if (fl & ev::FLAG_MID_DOWN) wp |= MK_MBUTTON;
    if (fl & ev::FLAG_AUX_DOWN) wp |= MK_XBUTTON1;
    POINT p;
    if (type_of(&offset) == TYPE_PAIR) p = POINT{to_pixels(float(pair::x_of(&offset))), to_pixels(float(pair::y_of(&offset)))};
    else if (type_of(&offset) == TYPE_POINT2D) p = POINT{to_pixels(point::get(&offset, 0)), to_pixels(point::get(&offset, 1))};
    if (type == ev::WHEEL) {
      ClientToScreen(h, p);
      if (type_of(&picked) == TYPE_INTEGER) wp += WPARAM(u32(integer::get(&picked) * 0x780000));
    }
    m.lParam = MAKELPARAM(p.x, p.y);
    if (m.message == WM_MOUSELEAVE) {
      ClientToScreen(h, p);
      m.pt = p;
    }
    if (m.message == WM_MOUSEMOVE) loop().last_mouse = -1;
    m.wParam = wp;
  }
  if (queued) return PostMessage(h, m.message, m.wParam, m.lParam);
  bool key = !mouse;
  i64 saved = loop().cached_flags;
  if (key) loop().cached_flags = fl & 0x73C00000u;
  pre_filter(m);
  loop().cached_flags = saved;
  return true;
}

}  // namespace vyr::gui
