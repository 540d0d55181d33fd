// The GUI backend's start-up, DPI state and core helpers: what every other backend module
// uses to go between logical and device coordinates, between a window and its face, and
// between a face and its facets. The current DPI is one backend-wide value, never 0.
#pragma once
#include <string>
#include <vector>

#include "runtime/api/gui_module.h"
#include "gui/face/face.h"
#include "gui/win/win.h"
#include "runtime/cell.h"

namespace vyr::gui {

// Window extra slots by byte offset.
namespace slot {
constexpr int system_record = 0, shown = 12, cursor_icon = 16, draw_context = 20, render_target = 24,
  own_font = 28, cursor = 32, caret_owner = 36, last_sizing = 36, frame_size = 44, flags = 48,
  move_offset = 52, type = 56, face = 60, face_flags = 76;
}  // namespace slot
constexpr u32 WINDOW_OWNS_CARET = 0x08, WINDOW_SIZE_IS_PAIR = 0x10;
constexpr u32 CURSOR_FROM_OPTION = 0x80000000u;

// Handle kinds of handle! values the backend makes.
constexpr u32 HANDLE_MONITOR = 2, HANDLE_WINDOW = 3;

struct monitor_record { win::HMONITOR monitor{}; float scale = 1.0f; i32 dpi = 96; };

struct metrics_values {
  i32 dpi = 96;
  i32 scroller_x = i32(gui_module::startup.scroller), scroller_y = i32(gui_module::startup.scroller);
  u8 text[3] = {gui_module::startup.text[0], gui_module::startup.text[1], gui_module::startup.text[2]};
  u8 window[3] = {gui_module::startup.window[0], gui_module::startup.window[1],
                  gui_module::startup.window[2]};
  u8 panel[3] = {gui_module::startup.panel[0], gui_module::startup.panel[1], gui_module::startup.panel[2]};
};

struct globals {
  bool initialised = false;
  bool real_display = false;   // the display opened is one a person sees
  i32 process_id = 0;
  win::HDC screen_dc{};
  // The platform's version as the backend's flags see it.
  u32 major = gui_module::startup.version[0], minor = gui_module::startup.version[1];
  u32 build = u32(gui_module::startup.build), product = u32(gui_module::startup.product);
  bool windows10 = true, windows8 = true, legacy = false, windows11 = false;
  bool composition = true;
  bool dark_query = true;    // the dark preference can be asked (VYR_DARK_MODE)
  bool dark_mode = false;    // the preference at start-up
  // The current DPI; 96 until a query says otherwise, and never 0.
  i32 dpi_x = 96, dpi_y = 96;
  float dpi = 96.0f, scale = 1.0f;
  i32 scope_depth = 0;
  std::vector<monitor_record> monitors;   // grows with the monitors found
  i32 screen_width = 0, screen_height = 0;
  metrics_values metrics;
  win::HFONT default_font{};
  std::string default_face;   // resolved on first need (fontconfig loads then)
  i32 default_size = gui_module::startup.font_size;
  win::HWND console_window{};
  const void* current_event = nullptr;
  u32 font_kind = 0, com_kind = 0;   // external resource classes
  u32 value_block = 0;               // the GUI's own values, marked by its callback
  i64 event_time_base_us = 0;
  std::string display_warning;
  // The View engine's objects the backend writes into (system/view/metrics, fonts and
  // platform); none until start-up hands them over.
  cell view_metrics{TYPE_NONE, 0, 0, 0}, view_fonts{TYPE_NONE, 0, 0, 0}, view_platform{TYPE_NONE, 0, 0, 0};
};
globals& g();

// ---- start-up and displays -------------------------------------------------------------------
void init();
// Hands over system/view/metrics, system/view/fonts and system/view/platform (objects, or
// none); `init`, `fill-metrics` and `load-default-font` then write their values there.
void set_view_objects(const cell* metrics, const cell* fonts, const cell* platform);
void shutdown();
void init_common_controls();

// ---- DPI -------------------------------------------------------------------------------------
void set_dpi(i32 dpi);
i32 window_dpi(win::HWND);
i32 enter_dpi_scope(win::HWND);
void leave_dpi_scope(i32 saved);
void set_dpi_from_window(win::HWND);
void set_dpi_from_cursor();
void set_dpi_from_rect(float x, float y, float w, float h);
void fill_metrics();
bool system_dark_mode_q();
bool support_dark_mode_q();
void set_dark_mode(win::HWND, bool dark, bool frame);
bool dark_mode_of(win::HWND);
bool composition_enabled_q();
win::SIZE get_screen_size();
cell* get_screen_size(cell* out);          // as a pair!
cell* OS_get_current_screen(cell* out);    // a handle! of kind 2
cell* OS_fetch_all_screens(cell* out);     // a block of [offset size scale handle] blocks
void screen_enum_proc(win::HMONITOR, cell* block);
void set_cursor_option(win::HWND, const cell* options);

// ---- coordinates -----------------------------------------------------------------------------
i32 to_pixels(float value);
float to_logical(i32 pixels);

// ---- windows and faces -----------------------------------------------------------------------
u32 has_face_q(win::HWND);                      // the face slot, 0 when none
const cell* face_of_window(win::HWND);          // null without a face
cell* face_values(win::HWND);
u32 face_handle_q(const cell* face);            // the native handle of a shown face, or 0
u32 get_face_handle(const cell* face);
u32 selected_face_handle(win::HWND);
void focus_selected(win::HWND);
void attach_face(win::HWND, const cell* face);
constexpr u32 NO_WINDOW = 0xFFFFFFFFu;
u32 event_window(const win::MSG&);              // NO_WINDOW when none qualifies
cell* event_facet(const win::MSG&, u32 index);
cell* event_face_values(const win::MSG&);
win::HWND child_at(win::HWND, win::POINT client);
void clear_current_event();
// The gesture a WM_GESTURE's lParam names, in one record kept by the backend (an empty
// record, dwID 0, when the layer no longer knows it).
const win::GESTUREINFO& gesture_info(win::LPARAM);
void window_frame(win::HWND, i32* x, i32* y, i32* dx, i32* dy);
void clear_window_slots(win::HWND);

// ---- values ----------------------------------------------------------------------------------
const cell* ratio_of(const cell* object);
double scale_by(const cell* value, double x);
double unit_value(const cell* value);
bool transparent_color_q(const cell* c);

// ---- text fields, scroller, caret, release ---------------------------------------------------
void set_hint(win::HWND, const cell* options);
u32 accelerated_style(const cell* options, bool windows8);
void set_tabs(win::HWND, const cell* options);
void get_area_selection(win::HWND, const cell* face);
void update_scroller(const cell* scroller, i32 field);
void create_caret(win::HWND, const cell* caret_values);
void release_window_extras(win::HWND);
void free_face(const cell* face, bool close);
void load_default_font(win::HWND);
const std::string& default_font_face();

}  // namespace vyr::gui
