// Events from window messages: the native event cell and its table of message records, the
// pre-filter, the dispatcher that hands events to the View engine's `awake`, the message
// loop with its nesting, synthetic events, and the window procedures of `window` and
// `panel` faces.
#pragma once
#include <string>
#include <vector>

#include "gui/backend/backend.h"
#include "runtime/fire.h"

namespace vyr::gui {

// Installs the event road's hooks into the runtime: the native event fields, send-event and
// wait's pass over pending messages (the GUI module's entry point runs it).
void install_event_hooks();

// The View engine's `awake`: gets a copy of the event cell, answers the handler's result
// (the word `stop` keeps the message from going on). Without one the event is dropped and
// the message goes on.
using awake_fn = cell (*)(const cell* event);
extern awake_fn awake;

// Errors raised by handlers are caught by the dispatcher; they are reported here (and on
// stderr unless `quiet_errors`), so a headless run can read them back.
extern std::vector<std::string> caught_errors;
extern bool quiet_errors;

// Where a script handler ran whose error the GUI reports and drops: an event handler's goes
// to `caught_errors` and standard error ("*** GUI handler error: category id"); a DRAW
// block's (a paint's) is printed as the console prints an error, unless the dialects
// reported it already (`reported`) and system/view/silent? is set.
enum class handler_site { event, draw };
void report_handler_error(const thrown& t, handler_site where, bool reported = false);

struct loop_state {
  i32 depth = 0;            // blocking loops running
  i32 pending_exits = 0;    // quit requests still owed to outer loops
  i64 cached_flags = -1;    // -1: the keyboard state is read live
  i32 special_key = -1;     // virtual key of the last non-character key-down, or -1
  u32 pending_surrogate = 0, last_code_point = 0;
  i64 last_mouse = -1;      // lParam of the last mouse move passed on
  u32 hovered = 0, down_window = 0, up_window = 0;
  bool down_dropped = false;   // a modal dialog ran in the `down` handler: the press stops there
  bool ime_active = false;
  bool in_size_move = false;
  i64 zoom_base = -1;       // the zoom gesture's last distance, -1 when a gesture begins
  u32 zoom_message = 0;     // the zoom whose `picked` was read last, and its answer
  double zoom_ratio = -1;
  win::POINT menu_point, menu_screen_point;
};
loop_state& loop();

// Message records being dispatched; a native event's word 2 is 1 + the index of its record.
const win::MSG* event_record(const cell* event);

u32 modifier_flags(bool keys_only);
u32 current_flags();
u32 mouse_flags(win::WPARAM);
u32 refine_key(u32 vk, win::LPARAM);
bool char_key_q(u32 vk);

// A message record for a message sent to `h` now, as dispatch takes it (the time and the
// pointer's position filled in).
win::MSG message_record(win::HWND h, u32 msg, win::WPARAM, win::LPARAM);

int pre_filter(const win::MSG&);
int dispatch_event(const win::MSG&, u32 extra, u32 type);
bool do_events(bool no_wait);
// A window that owned a blocking loop was destroyed: one loop fewer, one more exit owed.
void loop_owner_destroyed();
bool OS_send_event(const cell* event, bool queued);
void window_command(win::HWND, u32 type);

// A face's `rate` as the window's timer 1: an integer! n > 0 ticks every 1000 / n ms, a
// time! t > 0 every t seconds, none stops it; 10 ms is the shortest period. Any other
// value raises invalid-facet-type. Each tick dispatches `time`.
void set_rate(win::HWND, const cell* rate);

// Window classes and procedures.
void register_classes();
void unregister_classes();
win::LRESULT window_wndproc(win::HWND, u32 msg, win::WPARAM, win::LPARAM);

// gui/paint-draw-facet: a paint of the face's `draw` block over its colour, an error in it
// printed and dropped.
void paint_draw_facet(win::HWND);

}  // namespace vyr::gui
