// GUI start-up, the DPI state and the screens: which display the GUI runs on, the current
// DPI that every coordinate conversion uses (it starts at 96 and is never set to 0), the
// monitor table, metrics, dark mode and the `cursor` option.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <unistd.h>

#include "gui/backend/backend.h"
#include "runtime/datatypes/handle.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/map.h"
#include "runtime/datatypes/object.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/word.h"
#include "runtime/datatypes/pair.h"
#include "runtime/datatypes/point.h"
#include "runtime/datatypes/tuple.h"
#include "runtime/datatypes/float.h"
#include "runtime/datatypes/percent.h"
#include "gui/backend/clipboard.h"
#include "runtime/api/values.h"
#include "gui/text/handles.h"
#include "gui/win/dialogs/modal.h"
#include "gui/win/headless/answers.h"
#include "gui/win/headless/display.h"
#include "gui/win/headless/input_script.h"
#include "base/screens.h"
#include "gui/win/theme.h"
#include "gui/win/x11/display.h"
#include "runtime/collector.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/series.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/externals.h"
#include "runtime/datatypes/image.h"
#include "runtime/fire.h"
#include "runtime/imaging/imaging.h"
#include "gui/backend/displays.h"

namespace vyr::gui {

globals& g() {
  static globals s;
  return s;
}

static void mark_gui_values() {
  if (g().value_block) collector::mark_block(g().value_block);
}

static void release_font(u64 h) { win::DeleteObject(win::HFONT(static_cast<u32>(h))); }

// The start-up values the runtime writes without the module are the module's defaults too.
static_assert(win::theme::sys_color(win::COLOR_WINDOWTEXT) ==
              win::RGB(gui_module::startup.text[0], gui_module::startup.text[1], gui_module::startup.text[2]));
static_assert(win::theme::sys_color(win::COLOR_WINDOW) ==
              win::RGB(gui_module::startup.window[0], gui_module::startup.window[1],
                       gui_module::startup.window[2]));
static_assert(win::theme::sys_color(win::COLOR_BTNFACE) ==
              win::RGB(gui_module::startup.panel[0], gui_module::startup.panel[1], gui_module::startup.panel[2]));

// VYR_HEADLESS_INPUT, read and checked whole before anything runs; the GUI console
// without a script plays an empty one, so that it ends at once. A file that cannot be read
// or holds a bad line ends the process with status 2.
static void play_input(win::headless_display& d, const gui_module::display_choice_t& choice) {
  if (choice.input.empty()) {
    if (choice.front == gui_module::front_end::gui) win::play_input_script(d, {});
    return;
  }
  std::string path(choice.input), text;
  FILE* f = std::fopen(path.c_str(), "rb");
  if (f) {
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
    if (std::ferror(f)) { std::fclose(f); f = nullptr; }
    else std::fclose(f);
  }
  if (!f) {
    std::fprintf(stderr, "VYR_HEADLESS_INPUT: cannot read %s\n", path.c_str());
    std::fflush(nullptr);
    _exit(2);
  }
  win::script_parse parsed = win::parse_input_script(text);
  if (!parsed.error.empty()) {
    std::fprintf(stderr, "%s\n", parsed.error.c_str());
    std::fflush(nullptr);
    _exit(2);
  }
  win::play_input_script(d, std::move(parsed.commands));
}

opened_display open_display() {
  opened_display o;
  gui_module::display_choice_t choice = api::gui_module::display_choice();
  if (choice.display == gui_module::display_kind::x11) {
    if ((o.display = win::x11_display::open())) {
      o.dialogs = std::make_unique<win::dialogs::modal_dialogs>();
      o.real = true;
      return o;
    }
    o.warning = "vyr: no X server answers, the GUI runs on the headless display";
  }
  std::string_view screens = choice.screens;
  if (!screens.empty() && !win::screens::parse(screens)) {
    if (!o.warning.empty()) o.warning += "\n";
    o.warning += "vyr: VYR_HEADLESS_SCREENS is not WxH+X+Y@DPI[,...], one 1920x1080 screen at 96 DPI is used";
    screens = {};
  }
  auto headless = std::make_unique<win::headless_display>(screens);
  headless->share_clipboard(host_clipboard());
  if (auto blink = api::gui_module::headless_blink_ms(choice.blink)) {
    headless->blink_ms = *blink;
  } else {
    if (!o.warning.empty()) o.warning += "\n";
    o.warning += "vyr: VYR_HEADLESS_BLINK is not -1 or 0 to 100000 milliseconds, the caret blinks at 500";
  }
  play_input(*headless, choice);
  o.display = std::move(headless);
  // The dialogs' answers, read now; and where their requests are logged.
  auto answers = std::make_unique<win::answer_queue>();
  if (const char* f = std::getenv("VYR_HEADLESS_ANSWERS"); f && *f) {
    std::vector<std::string> errors;
    answers->load(f, &errors);
    for (const std::string& e : errors) {
      if (!o.warning.empty()) o.warning += "\n";
      o.warning += "vyr: VYR_HEADLESS_ANSWERS: " + e;
    }
  }
  if (const char* f = std::getenv("VYR_HEADLESS_REQUESTS"); f && *f) answers->request_log = f;
  o.dialogs = std::move(answers);
  return o;
}

void set_view_objects(const cell* metrics, const cell* fonts, const cell* platform) {
  globals& s = g();
  s.view_metrics = metrics ? *metrics : cell{TYPE_NONE, 0, 0, 0};
  s.view_fonts = fonts ? *fonts : cell{TYPE_NONE, 0, 0, 0};
  s.view_platform = platform ? *platform : cell{TYPE_NONE, 0, 0, 0};
  static bool rooted = false;
  if (!rooted) {
    collector::add_root(&s.view_metrics);
    collector::add_root(&s.view_fonts);
    collector::add_root(&s.view_platform);
    rooted = true;
  }
}

static void write_platform_version() {
  globals& s = g();
  if (type_of(&s.view_platform) != TYPE_OBJECT) return;
  cell v;
  u8 parts[3] = {u8(s.major), u8(s.minor), 0};
  tuple::make_at(&v, parts, 3);
  api::gui_module::set_field(&s.view_platform, "version", &v);
  integer::make_at(&v, static_cast<i32>(s.build));
  api::gui_module::set_field(&s.view_platform, "build", &v);
  integer::make_at(&v, static_cast<i32>(s.product));
  api::gui_module::set_field(&s.view_platform, "product", &v);
}

static void write_fonts() {
  globals& s = g();
  if (type_of(&s.view_fonts) != TYPE_OBJECT) return;
  // Naming the face needs fontconfig, which costs milliseconds to load: a display may keep
  // the generic family instead (pango draws it with the same face).
  win::display* d = win::current_display();
  const std::string face = d && !d->names_system_font() ? gui_module::startup.system_font : default_font_face();
  cell name{TYPE_NONE, 0, 0, 0};
  collector::root_guard guard(&name);
  string::load_utf8_strict(face.data(), static_cast<u32>(face.size()), &name);
  api::gui_module::set_field(&s.view_fonts, "system", &name);
  cell size;
  integer::make_at(&size, s.default_size);
  api::gui_module::set_field(&s.view_fonts, "size", &size);
}

void init_common_controls() {
  // The controls are the layer's own window classes; nothing to load.
}

void init() {
  globals& s = g();
  if (s.initialised) return;
  s.process_id = static_cast<i32>(getpid());
  if (!win::current_display()) {
    opened_display o = open_display();
    win::install(std::move(o.display));
    win::dialogs::install(std::move(o.dialogs));
    s.real_display = o.real;
    if (auto* x11 = dynamic_cast<win::x11_display*>(win::current_display())) share_display_clipboard(x11);
    if (!o.warning.empty()) {
      std::fprintf(stderr, "%s\n", o.warning.c_str());
      s.display_warning = o.warning;
    }
  }
  s.screen_dc = win::GetDC(win::HWND{});
  init_common_controls();
  s.composition = composition_enabled_q();
  s.windows10 = s.major >= 10;
  s.windows8 = s.major >= 10 || (s.major >= 6 && s.minor >= 2);
  s.legacy = s.major < 6;
  write_platform_version();
  set_dpi_from_cursor();
  load_default_font(win::HWND{});
  write_fonts();
  s.windows11 = s.build >= 22000;
  s.monitors.clear();
  s.monitors.reserve(10);
  fill_metrics();
  if (s.windows10) {
    s.dark_query = true;
    s.dark_mode = system_dark_mode_q();
  }
  collector::add_root_node(&s.value_block);
  collector::register_callback(mark_gui_values);
  s.event_time_base_us = std::chrono::duration_cast<std::chrono::microseconds>(
      std::chrono::steady_clock::now().time_since_epoch()).count();
  if (!s.font_kind) s.font_kind = externals::register_class("font", release_font);
  // The "com-object" entries are the rich-text layouts faces keep (gui/text/handles.h).
  s.com_kind = text_box::layout_class();
  s.initialised = true;
}

void shutdown() {
  globals& s = g();
  if (!s.initialised) return;
  collector::unregister_callback(mark_gui_values);
  collector::remove_root_node(&s.value_block);
  u32 font_kind = s.font_kind, com_kind = s.com_kind;
  unshare_display_clipboard();
  win::shutdown();
  win::dialogs::install(nullptr);
  // The view objects' cells stay registered roots; the reset leaves them none.
  s = globals{};
  s.font_kind = font_kind;   // the resource classes stay registered for the run
  s.com_kind = com_kind;
}

// ---- DPI -------------------------------------------------------------------------------------

void set_dpi(i32 dpi) {
  if (dpi <= 0) return;   // a failed query keeps the DPI it had
  globals& s = g();
  s.dpi_x = s.dpi_y = dpi;
  s.dpi = static_cast<float>(dpi);
  s.scale = s.dpi / 96.0f;
}

i32 window_dpi(win::HWND h) {
  u32 d = win::GetDpiForWindow(win::GetAncestor(h, win::GA_ROOT));
  return d ? static_cast<i32>(d) : g().dpi_x;
}

i32 enter_dpi_scope(win::HWND h) {
  globals& s = g();
  ++s.scope_depth;
  i32 saved = s.dpi_x;
  if (!win::is_null(h)) set_dpi(window_dpi(h));
  return saved;
}

void leave_dpi_scope(i32 saved) {
  globals& s = g();
  --s.scope_depth;
  if (saved == s.dpi_x) return;
  if (s.scope_depth == 0) {
    win::HWND a = win::GetActiveWindow();
    if (!win::is_null(a) && win::IsWindowVisible(a)) saved = window_dpi(a);
  }
  set_dpi(saved);
}

void set_dpi_from_window(win::HWND h) { set_dpi(window_dpi(h)); }

void set_dpi_from_cursor() {
  win::POINT p;
  win::GetCursorPos(p);
  set_dpi(static_cast<i32>(win::GetDpiForMonitor(win::MonitorFromPoint(p, win::MONITOR_DEFAULTTONEAREST))));
}

void set_dpi_from_rect(float x, float y, float w, float h) {
  globals& s = g();
  bool changed = false;
  for (int round = 0; round < 4; ++round) {
    i32 before = s.dpi_x;
    win::RECT r{to_pixels(x), to_pixels(y), to_pixels(x + w), to_pixels(y + h)};
    set_dpi(static_cast<i32>(win::GetDpiForMonitor(win::MonitorFromRect(r, win::MONITOR_DEFAULTTONEAREST))));
    changed = s.dpi_x != before;
    if (!changed) return;
  }
  set_dpi_from_cursor();
}

void fill_metrics() {
  globals& s = g();
  metrics_values& m = s.metrics;
  m.dpi = s.dpi_x;
  m.scroller_x = to_pixels(gui_module::startup.scroller);
  m.scroller_y = to_pixels(gui_module::startup.scroller);
  auto rgb = [](u8* out, win::COLORREF c) {
    out[0] = c & 0xFF;
    out[1] = (c >> 8) & 0xFF;
    out[2] = (c >> 16) & 0xFF;
  };
  rgb(m.text, win::GetSysColor(win::COLOR_WINDOWTEXT));
  rgb(m.window, win::GetSysColor(win::COLOR_WINDOW));
  rgb(m.panel, win::GetSysColor(win::COLOR_BTNFACE));
  if (type_of(&s.view_metrics) != TYPE_OBJECT) return;
  cell v;
  integer::make_at(&v, m.dpi);
  api::gui_module::set_field(&s.view_metrics, "dpi", &v);
  pair::make_at(&v, m.scroller_x, m.scroller_y);
  api::gui_module::put_in_map(&s.view_metrics, "misc", "scroller", &v);
  tuple::make_at(&v, m.text, 3);
  api::gui_module::put_in_map(&s.view_metrics, "colors", "text", &v);
  tuple::make_at(&v, m.window, 3);
  api::gui_module::put_in_map(&s.view_metrics, "colors", "window", &v);
  tuple::make_at(&v, m.panel, 3);
  api::gui_module::put_in_map(&s.view_metrics, "colors", "panel", &v);
}

static bool high_contrast() {
  win::display* d = win::current_display();
  return d && d->high_contrast();
}

bool system_dark_mode_q() {
  globals& s = g();
  if (!s.windows10 || !s.dark_query) return false;
  if (high_contrast()) return false;
  const char* v = std::getenv("VYR_DARK_MODE");
  if (v && std::strcmp(v, "1") == 0) return true;
  win::display* d = win::current_display();
  return d && d->dark_preference();
}

bool support_dark_mode_q() { return g().windows10 && !high_contrast(); }

// The window's controls paint from the dark or the light palette; the frame is the window
// manager's, which follows the desktop's own theme.
void set_dark_mode(win::HWND h, bool dark, bool) {
  if (!win::IsWindow(h)) return;
  win::SetWindowTheme(h, dark ? "DarkMode_Explorer" : "Explorer");
}

bool dark_mode_of(win::HWND h) { return win::dark_theme(h); }

bool composition_enabled_q() { return true; }

win::SIZE get_screen_size() {
  globals& s = g();
  s.screen_width = win::GetDeviceCaps(s.screen_dc, win::HORZRES);
  s.screen_height = win::GetDeviceCaps(s.screen_dc, win::VERTRES);
  i32 d = s.dpi_x > 0 ? s.dpi_x : 96;
  return {static_cast<i32>(i64(s.screen_width) * 96 / d), static_cast<i32>(i64(s.screen_height) * 96 / d)};
}

cell* get_screen_size(cell* out) {
  win::SIZE z = get_screen_size();
  return pair::make_at(out, z.cx, z.cy);
}

cell* OS_get_current_screen(cell* out) {
  win::POINT p;
  win::GetCursorPos(p);
  return handle::make_at(out, static_cast<u32>(win::MonitorFromPoint(p, win::MONITOR_DEFAULTTONEAREST)), HANDLE_MONITOR);
}

cell* OS_fetch_all_screens(cell* out) {
  g().monitors.clear();
  block::make_at(out, 2);
  for (win::HMONITOR m : win::EnumDisplayMonitors()) screen_enum_proc(m, out);
  return out;
}

void screen_enum_proc(win::HMONITOR m, cell* result) {
  win::MONITORINFO mi;
  if (!win::GetMonitorInfo(m, mi)) return;
  i32 dpi = static_cast<i32>(win::GetDpiForMonitor(m));
  float scale = static_cast<float>(dpi) / 96.0f;
  cell items[4];
  pair::make_at(&items[0], mi.rcMonitor.left, mi.rcMonitor.top);
  pair::make_at(&items[1], mi.rcMonitor.width(), mi.rcMonitor.height());
  float_::make_at(&items[2], scale);
  handle::make_at(&items[3], static_cast<u32>(m), HANDLE_MONITOR);
  // The inner block lives in the result, which the caller keeps reachable.
  cell inner = *block::make_in(result, 4);
  for (const cell& c : items) block::rs_append(&inner, &c);
  g().monitors.push_back({m, scale, dpi});
}

static u32 cursor_id_of(u32 symbol_id) {
  static const struct { const char* name; u32 id; } words[] = {
    {"I-beam", win::IDC_IBEAM}, {"hand", win::IDC_HAND}, {"cross", win::IDC_CROSS},
    {"resize-ns", win::IDC_SIZENS}, {"resize-we", win::IDC_SIZEWE}, {"resize-ew", win::IDC_SIZEWE}};
  for (auto& w : words)
    if (symbol::same_q(symbol_id, symbol::make(w.name))) return w.id;
  return win::IDC_ARROW;
}

void set_cursor_option(win::HWND h, const cell* options) {
  win::window_extra* ex = win::extra(h);
  if (!ex) return;
  if (ex->cursor_icon) {
    win::DestroyCursor(win::HCURSOR(ex->cursor_icon));
    ex->cursor_icon = 0;
  }
  ex->cursor = 0;
  const cell* v = option_pair(options, "cursor", true);
  if (!v) return;
  cell value = *v;
  if (type_of(&value) == TYPE_WORD) {
    win::HCURSOR c = win::LoadCursor(cursor_id_of(word::symbol_id(&value)));
    if ((ex = win::extra(h))) ex->cursor = static_cast<u32>(c) | CURSOR_FROM_OPTION;
  } else if (type_of(&value) == TYPE_IMAGE && image::pixel_count(&value) > 0) {
    // The image's own pixels, the hot spot at its centre, as an icon taken for a cursor
    // has it. An image that holds no pixels any more leaves the default cursor.
    win::HCURSOR c{};
    try {
      image::lock pixels(&value, false);
      int w = int(image::width_of(&value)), hh = int(image::height_of(&value));
      c = win::CreateCursorFromARGB(w, hh, w / 2, hh / 2, pixels.data());
    } catch (const thrown& t) {
      if (t.level != THROW_ERROR) throw;
      return;
    }
    if (win::is_null(c)) return;
    if ((ex = win::extra(h))) {
      ex->cursor = static_cast<u32>(c) | CURSOR_FROM_OPTION;
      ex->cursor_icon = static_cast<u32>(c);   // destroyed with the window's face
    } else {
      win::DestroyCursor(c);
    }
  }
  // Any other value leaves the default cursor.
}

}  // namespace vyr::gui
