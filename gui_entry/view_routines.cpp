// The routines through which scripts reach the GUI. The platform routines of
// system/view/platform live in the GUI module: each is registered here as a stub that loads
// the module on its first call and then runs the module's code, so start-up never loads the
// module. `gui-init` fills the DPI, metrics, fonts and platform version itself on the
// headless display (the values the module's own start-up would write), and loads the module
// only for a real display; there fetch-all-screens, too, answers without the module.
#include <cstring>
#include <string_view>
#include <utility>

#include "gui_entry/display_choice.h"
#include "gui_entry/module.h"
#include "gui_entry/platform_routines.h"
#include "gui_entry/view_values.h"
#include "base/screens.h"
#include "runtime/collector.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/context.h"
#include "runtime/datatypes/event.h"
#include "runtime/datatypes/float.h"
#include "runtime/datatypes/function.h"
#include "runtime/datatypes/handle.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/map.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/object.h"
#include "runtime/datatypes/pair.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/tuple.h"
#include "runtime/datatypes/word.h"
#include "runtime/fire.h"
#include "runtime/hooks.h"
#include "runtime/interpreter/interpreter.h"

namespace vyr::gui_module {

cell view_field(const char* name) {
  cell out;
  return object::system_field({"view", name}, &out) ? out : none_value;
}

void set_field(const cell* obj, const char* name, const cell* value) {
  if (cell* f = object::field_named(obj, name)) *f = *value;
}

void put_in_map(const cell* obj, const char* field, const char* key_name, const cell* value) {
  cell key = word::intern(key_name);
  cell v = *value;
  collector::root_guard g1(&key), g2(&v);
  cell* f = object::field_named(obj, field);
  if (!f || type_of(f) != TYPE_MAP) return;
  cell m = *f;   // the map's node stays reachable through the object
  map::put(&m, &key, &v, false);
}

namespace {

using code_fn = routine::code_fn;

constexpr const char* platform_names[] = {
#define VYR_PLATFORM_NAME(member, name) name,
    VYR_PLATFORM_ROUTINES(VYR_PLATFORM_NAME)
#undef VYR_PLATFORM_NAME
};
static_assert(sizeof platform_names / sizeof platform_names[0] == platform_routine_count,
              "a stub for every platform routine");

void start(bool list_screens = true);

code_fn resolve(u32 index) {
  start();
  code_fn f = table().platform_routines ? table().platform_routines[index] : nullptr;
  if (!f) fire("internal", "not-done");
  return f;
}

// The routine with the most arguments (on-change-facet) has seven.
constexpr u32 MAX_PLATFORM_ARGS = 8;

constexpr u32 platform_index(std::string_view name) {
  for (u32 i = 0; i < platform_routine_count; i++)
    if (std::string_view(platform_names[i]) == name) return i;
  return platform_routine_count;
}
constexpr u32 FETCH_ALL_SCREENS = platform_index("fetch-all-screens");
static_assert(FETCH_ALL_SCREENS < platform_routine_count);

bool wants_real_display();

// fetch-all-screens on the headless display before the module is in: the displays the
// module would list, read from the same descriptions ([offset size scale handle], handles
// 1 up, of kind 2, a display), so that the screen faces exist from start-up and the
// module's own list later finds them again.
void headless_screens(cell* out) {
  std::string_view text = display_choice().screens;
  auto parsed = win::screens::parse(text.empty() ? win::screens::fallback : text);
  if (!parsed) parsed = win::screens::parse(win::screens::fallback);
  block::make_at(out, 2);
  u32 handle = 0;
  for (const win::screens::screen& d : *parsed) {
    cell entry = *block::make_in(out, 4);   // reachable through `out`, which the caller holds
    collector::root_guard g(&entry);
    pair::make_in(&entry, d.x, d.y);
    pair::make_in(&entry, d.width, d.height);
    cell scale;
    float_::make_at(&scale, static_cast<float>(d.dpi) / 96.0f);
    block::rs_append(&entry, &scale);
    handle::make_in(&entry, ++handle, 2);
  }
}

template <u32 I>
void platform_stub(cell* a, u32 n) {
  static code_fn f = nullptr;
  if constexpr (I == FETCH_ALL_SCREENS) {
    if (!f && !loaded() && !wants_real_display()) {
      headless_screens(a);
      return;
    }
  }
  if (!f) {
    // The module's start-up runs script code, whose frames may reuse the cells that hold
    // this call's arguments: they are kept aside, rooted, and put back.
    cell saved[MAX_PLATFORM_ARGS];
    u32 kept = n < MAX_PLATFORM_ARGS ? n : MAX_PLATFORM_ARGS;
    for (u32 i = 0; i < kept; i++) saved[i] = a[i];
    collector::root_guard g(saved, kept);
    f = resolve(I);
    for (u32 i = 0; i < kept; i++) a[i] = saved[i];
  }
  f(a, n);
}

template <u32... I>
void register_platform(std::integer_sequence<u32, I...>) {
  (routine::register_(platform_names[I], platform_stub<I>), ...);
}

// The module's start-up, once, on the first routine that needs the module: the backend takes
// over system/view's objects and writes its values, then the screens are listed (unless
// the caller, system/view/platform/init, lists them itself).
void start(bool list_screens) {
  static bool started = false;
  if (started) return;
  require();
  started = true;
  code_fn init = table().gui_init;
  if (!init) fire("internal", "not-done");
  cell r{TYPE_NONE, 0, 0, 0};
  collector::root_guard g(&r);
  init(&r, 0);
  if (!list_screens) return;
  cell platform = view_field("platform");
  collector::root_guard g2(&platform);
  cell* refresh = object::field_named(&platform, "refresh-screens");
  if (refresh && type_of(refresh) == TYPE_FUNCTION) {
    cell fn = *refresh;
    collector::root_guard g3(&fn);
    interpreter::call(&fn, nullptr, 0, &r);
  }
}

bool wants_real_display() { return display_choice().display != display_kind::headless; }

// What the module's start-up writes on the headless display, without the module: the DPI of
// the screen under the pointer, the scroller size in pixels, the system colours, the system
// font and the platform's version.
void light_init() {
  i32 dpi = i32(headless_start_dpi(display_choice().screens));
  cell metrics = view_field("metrics"), fonts = view_field("fonts"), platform = view_field("platform");
  collector::root_guard g1(&metrics), g2(&fonts), g3(&platform);
  cell v;
  tuple::make_at(&v, startup.version, 3);
  set_field(&platform, "version", &v);
  integer::make_at(&v, startup.build);
  set_field(&platform, "build", &v);
  integer::make_at(&v, startup.product);
  set_field(&platform, "product", &v);
  integer::make_at(&v, dpi);
  set_field(&metrics, "dpi", &v);
  // The scroller's logical size, rounded the way the backend's to-pixels rounds.
  i32 scroller = static_cast<i32>(startup.scroller * (static_cast<float>(dpi) / 96.0f) + 0.5f);
  pair::make_at(&v, scroller, scroller);
  put_in_map(&metrics, "misc", "scroller", &v);
  tuple::make_at(&v, startup.text, 3);
  put_in_map(&metrics, "colors", "text", &v);
  tuple::make_at(&v, startup.window, 3);
  put_in_map(&metrics, "colors", "window", &v);
  tuple::make_at(&v, startup.panel, 3);
  put_in_map(&metrics, "colors", "panel", &v);
  cell name{TYPE_NONE, 0, 0, 0};
  collector::root_guard g4(&name);
  string::load_utf8_strict(startup.system_font, u32(std::strlen(startup.system_font)), &name);
  set_field(&fonts, "system", &name);
  integer::make_at(&v, startup.font_size);
  set_field(&fonts, "size", &v);
}

// `gui-init`: true when the module is in (init then lists the screens), false after the
// headless start-up values were written without it.
void gui_init_code(cell* a, u32) {
  if (loaded() || wants_real_display()) {
    start(false);
    logic::make_at(a, true);
    return;
  }
  light_init();
  logic::make_at(a, false);
}

void send_event_os_code(cell* a, u32) {
  bool ok = send_event_os(&a[0], type_of(&a[1]) == TYPE_LOGIC && logic::get(&a[1]));
  logic::make_at(a, ok);
}

// gui-error-box caption text: a script's uncaught error in a message box, next to its report
// on standard output, once the GUI module is in; true when it was shown.
void error_box_code(cell* a, u32) {
  bool shown = loaded() && table().error_box;
  if (shown) {
    std::string caption = string::to_utf8(&a[0]), text = string::to_utf8(&a[1]);
    table().error_box(caption.c_str(), text.c_str());
  }
  logic::make_at(a, shown);
}

void event_q_code(cell* a, u32) { logic::make_at(a, event::event_q(a)); }

void find_flag_q_code(cell* a, u32) { logic::make_at(a, event::find_flag_q(&a[0], &a[1])); }

// `to image!` of an object: a face, as `face?` tells, is drawn by the module, which starts
// on this call when no GUI call came before; any other object is no image.
bool face_to_image_code(const cell* object, cell* out) {
  cell obj = *object, test = none_value, answer = none_value;
  collector::root_guard g1(&obj), g2(&test), g3(&answer);
  cell word = _context::global_word(symbol::make("face?"));
  test = *_context::get(&word);
  if (type_of(&test) != TYPE_FUNCTION) return false;
  interpreter::call(&test, &obj, 1, &answer);
  if (type_of(&answer) != TYPE_LOGIC || !logic::get(&answer)) return false;
  start();
  return table().face_to_image && table().face_to_image(&obj, out);
}

}  // namespace

void register_routines() {
  static bool done = false;
  if (done) return;
  done = true;
  register_platform(std::make_integer_sequence<u32, platform_routine_count>{});
  routine::register_("gui-init", gui_init_code);
  routine::register_("send-event-os", send_event_os_code);
  routine::register_("event?", event_q_code);
  routine::register_("find-flag?", find_flag_q_code);
  image::face_to_image = face_to_image_code;
  routine::register_("gui-error-box", error_box_code);
}

}  // namespace vyr::gui_module
