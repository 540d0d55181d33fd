// The layer's private state: the handle tables, windows, classes, the queue and the input
// state. One instance lives from `install` to `shutdown`; it belongs to the GUI thread,
// except for the posted queue, which its own mutex guards.
#pragma once
#include <deque>
#include <map>
#include <mutex>
#include <unordered_map>

#include "gui/win/display.h"
#include "gui/win/win.h"

typedef struct _cairo_region cairo_region_t;

namespace vyr::win {
struct menu_bar_ops;
}

namespace vyr::win::detail {

// A table of objects reached by 32-bit handles: low 20 bits the 1-based index, bits 20-30
// a generation that changes whenever the slot is reused. Bit 31 stays clear, so a handle
// is a positive 32-bit integer and callers may keep a flag there.
template <class T>
class handle_table {
  struct slot { uint32_t gen = 0; std::unique_ptr<T> obj; };
  std::vector<slot> slots_;
  std::vector<uint32_t> free_;

 public:
  uint32_t add(std::unique_ptr<T> obj) {
    uint32_t i;
    if (!free_.empty()) { i = free_.back(); free_.pop_back(); }
    else {
      if (slots_.size() >= 0xFFFFF) return 0;
      i = static_cast<uint32_t>(slots_.size());
      slots_.emplace_back();
    }
    slot& s = slots_[i];
    s.gen = (s.gen + 1) & 0x7FF;
    if (s.gen == 0) s.gen = 1;
    s.obj = std::move(obj);
    return (s.gen << 20) | (i + 1);
  }
  T* get(uint32_t h) const {
    uint32_t i = (h & 0xFFFFF);
    if (i == 0 || i > slots_.size()) return nullptr;
    const slot& s = slots_[i - 1];
    return s.obj && s.gen == (h >> 20) ? s.obj.get() : nullptr;
  }
  void remove(uint32_t h) {
    if (!get(h)) return;
    uint32_t i = (h & 0xFFFFF) - 1;
    slots_[i].obj.reset();
    free_.push_back(i);
  }
  template <class F> void each(F f) {
    for (size_t i = 0; i < slots_.size(); ++i)
      if (slots_[i].obj) f((slots_[i].gen << 20) | uint32_t(i + 1), *slots_[i].obj);
  }
  void clear() { slots_.clear(); free_.clear(); }
};

struct window_class {
  WNDCLASSEX wc;
};

struct scroll_bar { SCROLLINFO info; bool shown = false; };

struct window {
  HWND self{};
  HWND parent{};   // null for a top level
  HWND owner{};
  std::vector<HWND> children;   // z-order: index 0 is the top
  std::string cls;
  uint32_t cls_style = 0;
  WNDPROC proc = nullptr;
  uint32_t style = 0, exstyle = 0;
  RECT rect;        // window rectangle: parent's client coordinates (screen for a top level)
  RECT restore;     // rectangle before minimize/maximize
  // The client rectangle (in window coordinates) the window was last told of: a frame that
  // changes before SetWindowPos(SWP_FRAMECHANGED) is learnt of (a menu bar set or taken
  // away, a style) is measured against it, so that the client's new size comes as WM_SIZE.
  RECT client_told;
  std::string text;
  window_extra extra;
  int64_t user_data = 0;
  uint32_t id = 0;  // child id (HMENU of CreateWindowEx for a child)
  HMENU menu{};
  HCURSOR cls_cursor{};
  COLORREF background = NO_COLOR;
  cairo_region_t* invalid = nullptr;   // client coordinates
  bool erase = false;
  bool internal_paint = false;
  bool destroying = false;
  cairo_surface_t* surface = nullptr;  // client pixels
  bool dirty = false;                  // top level: compose and present again
  scroll_bar bars[2];
  uint32_t dpi = 96;
  int8_t theme = -1;    // SetWindowTheme: -1 as the parent, 0 light, 1 dark
  std::unique_ptr<control_state> control;
  ~window();
};

struct dc {
  HWND hwnd{};
  cairo_t* cr = nullptr;
  cairo_surface_t* scratch = nullptr;  // screen DC: a 1x1 surface for measuring
  HFONT font{};
  COLORREF text_color = 0, bk_color = 0xFFFFFF;
  int bk_mode = OPAQUE;
  COLORREF dc_brush = 0xFFFFFF;
  bool paint = false;
};

struct brush { COLORREF color = 0; int stock = -1; };
struct bitmap { cairo_surface_t* surface = nullptr; ~bitmap(); };

// The press on a scroll bar being followed (at most one at a time).
struct scroll_track {
  HWND hwnd{};
  int bar = -1;         // SB_HORZ, SB_VERT or SB_CTL
  int part = -1;        // the part pressed (scrollbar::part)
  bool over = false;    // the pointer is over that part now
  int32_t track_pos = 0;
};

struct font { LOGFONT lf; void* desc = nullptr; bool stock = false; ~font(); };
struct cursor { uint32_t shape = 0; int w = 0, h = 0, hx = 0, hy = 0; std::vector<uint32_t> px; };

struct timer {
  HWND hwnd{};
  uintptr_t id = 0;
  int64_t period_us = 0;
  int64_t due_us = 0;
  TIMERPROC procedure = nullptr;
};

struct input_msg {
  MSG msg;
  std::string text;     // key messages: what the display said the key typed
  uint32_t key_vk = 0;  // key-state change carried by this message
  bool key_down = false;
  key_side side = key_side::none;
  bool pinned = false;  // held once: aimed at its window for good (set_key_hold)
};

struct caret_state {
  HWND hwnd{};
  int w = 0, h = 0, x = 0, y = 0;
  int hide = 1;         // ShowCaret count: shown at 0
  int paint_hide = 0;   // of those, the hides of paints under way, which their ends take back
  int64_t epoch_us = 0;
};

struct state {
  std::unique_ptr<display> disp;
  handle_table<window> windows;
  handle_table<font> fonts;
  handle_table<cursor> cursors;
  handle_table<dc> dcs;
  handle_table<brush> brushes;
  handle_table<bitmap> bitmaps;
  std::map<int, HBRUSH> stock_brushes;   // key: system colour index, or 1000 + stock id
  scroll_track sb_track;
  std::map<std::string, window_class> classes;   // key: lower-case name
  std::vector<HWND> tops;                        // z-order of top levels, top first
  // The posted queue: the only state other threads touch.
  std::mutex post_mutex;
  std::deque<MSG> posted;
  int wake_fd = -1;
  bool quit = false;
  int quit_code = 0;
  std::deque<input_msg> input;
  std::vector<timer> timers;
  uint32_t input_seq = 0;
  std::deque<std::pair<uint32_t, std::string>> key_texts;   // recent keys' text, by sequence
  std::string composition;   // the input method's composition string, as last reported
  std::deque<GESTUREINFO> gestures;   // recent gestures, their handle their sequence number
  uint8_t keys[256] = {};          // key state as of the last input message retrieved
  uint8_t live_keys[256] = {};     // key state as the display reports it now
  HWND focus{}, active{}, capture{}, tracking{};
  HWND nc_hover{};                 // the top level whose menu bar the pointer is over
  bool alt_alone = false;          // Alt went down with no key or press since
  bool f10_down = false;
  uint32_t track_flags = 0;
  HWND hover{};
  POINT cursor_pos;
  // Double clicks: the last button press.
  HWND last_click_hwnd{};
  int last_click_button = 0;
  int64_t last_click_us = -1000000000;
  POINT last_click_pt;
  uint32_t message_time = 0;
  caret_state caret;
  HCURSOR current_cursor{};
  std::unordered_map<uint32_t, HCURSOR> shared_cursors;
  HFONT stock_font{};
  std::vector<std::vector<std::pair<HWND, WINDOWPOS>>> defer_batches;
  bool failed = false;
};

state& st();
bool installed();
window* win_of(HWND);
window* top_of(window*);
void mark_dirty(window*);
int64_t clock_us();
void free_window_paint(window*);
RECT client_rect_in_window(const window*);   // client area inside the window rectangle
RECT frame_of(const window*);                // frame thickness (left, top, right, bottom)
RECT menu_band(const window*);               // the menu bar in window coordinates; empty without one
RECT shown_in_window(const window*);         // client area and menu bar, in window coordinates
const menu_bar_ops* menu_ops();
POINT client_origin_screen(const window*);
void caret_hide_for_paint(HWND);
void text_shutdown();
std::string lower(std::string_view);
MINMAXINFO min_max_of(HWND);

}  // namespace vyr::win::detail
