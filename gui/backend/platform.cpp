// The platform routines of system/view/platform: each checks or converts its arguments and
// runs one backend operation. The runtime registers stubs under the names of
// VYR_PLATFORM_ROUTINES that find the code here, by position, on their first call;
// `gui-init` starts the backend on the objects of system/view and connects the event road
// to system/view/awake.
#include <string>

#include "gui/draw/draw.h"
#include "gui/backend/draw_face.h"
#include "gui/backend/events.h"
#include "gui/backend/file_dialogs.h"
#include "gui/backend/fonts.h"
#include "gui/backend/lifecycle.h"
#include "gui/backend/platform.h"
#include "gui/text/text_box.h"
#include "gui/backend/text_measure.h"
#include "runtime/collector.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/context.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/function.h"
#include "runtime/datatypes/handle.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/object.h"
#include "runtime/datatypes/point.h"
#include "runtime/datatypes/series.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/word.h"
#include "runtime/fire.h"
#include "runtime/api/values.h"
#include "runtime/api/platform_routines.h"
#include "runtime/interpreter/interpreter.h"
#include "runtime/ownership.h"
#include "runtime/stack.h"
#include "gui/win/display.h"

namespace vyr::gui {

namespace {

using namespace win;

cell system_view() {
  cell v;
  return object::system_field({"view"}, &v) ? v : none_value;
}

// The View engine's `awake`, found by word at every event: with none there, the event is
// dropped and the message goes on.
cell view_awake(const cell* event) {
  cell view = system_view();
  cell* f = object::field_named(&view, "awake");
  if (!f) return none_value;
  cell fn = *f;
  u32 t = type_of(&fn);
  if (t != TYPE_FUNCTION && t != TYPE_ROUTINE && t != TYPE_NATIVE && t != TYPE_ACTION) return none_value;
  cell args[1] = {*event};
  cell result = none_value;
  collector::root_guard g1(&fn), g2(&args[0]), g3(&result);
  interpreter::call(&fn, args, 1, &result);
  return result;
}

[[noreturn]] void not_done() { api::fire("internal", "not-done"); }

[[noreturn]] void invalid_type(const cell* v) {
  cell t;
  datatype::make_at(&t, type_of(v));
  api::fire("script", "invalid-type", &t);
}

u32 handle_arg(const cell* c) { return type_of(c) == TYPE_HANDLE ? handle::get(c) : 0; }

void set_unset(cell* a) { *a = cell{TYPE_UNSET, 0, 0, 0}; }

void gui_init(cell* a, u32) {
  cell view = system_view();
  collector::root_guard g(&view);
  set_view_objects(object::field_named(&view, "metrics"), object::field_named(&view, "fonts"),
                   object::field_named(&view, "platform"));
  init();
  register_classes();
  if (!awake) awake = view_awake;
  logic::make_at(a, true);
}

// The routines' code, one function per name of VYR_PLATFORM_ROUTINES.
namespace code {

void make_null_handle(cell* a, u32) { handle::make_at(a, 0, 0); }
// A routine without arguments has its result slot above the stack's top, where the
// collector does not look: the block is built in a rooted cell.
void fetch_all_screens(cell* a, u32) {
  cell list{TYPE_NONE, 0, 0, 0};
  collector::root_guard g(&list);
  OS_fetch_all_screens(&list);
  *a = list;
}
void get_current_screen(cell* a, u32) { OS_get_current_screen(a); }
void get_screen_size(cell* a, u32) { gui::get_screen_size(a); }

void size_text(cell* a, u32) {
  cell text = a[1];
  u32 t = type_of(&text);
  if (t == TYPE_NONE) {
    cell* f = facet(&a[0], facet_index::text);
    text = f ? *f : none_value;
  } else if (t != TYPE_STRING) {
    invalid_type(&text);
  }
  if (type_of(&text) != TYPE_STRING) {
    *a = none_value;
    return;
  }
  cell face = a[0];
  collector::root_guard g1(&face), g2(&text);
  get_text_size(&face, &text, a);
}

// update-font font field: a change of the font's look makes its cached fonts again.
void update_font(cell* a, u32) {
  cell font = a[0];
  collector::root_guard g(&font);
  i32 field = type_of(&a[1]) == TYPE_INTEGER ? integer::get(&a[1]) : -1;
  if (field >= 0) gui::update_font(nullptr, &font, field);
  *a = none_value;
}

void update_para(cell* a, u32) {
  cell face = a[0];
  collector::root_guard g(&face);
  gui::update_para(&face);
  *a = none_value;
}

// request-font result font mono?: the dialog fills `result` (a new font!) or answers none.
void request_font(cell* a, u32) {
  cell result = a[0], font = a[1];
  collector::root_guard g1(&result), g2(&font);
  OS_request_font(&result, &font, type_of(&a[2]) == TYPE_LOGIC && logic::get(&a[2]));
  *a = result;
}

// draw-image image cmds: the body the drawing code put in the runtime's table.
void draw_image(cell* a, u32 count) {
  auto& t = api::gui_module::table();
  if (!t.draw_image) not_done();
  t.draw_image(a, count);
}

// on-change-facet owner word target action new index part; a none `new` goes as null.
void on_change_facet(cell* a, u32) {
  cell args[7];
  for (int i = 0; i < 7; i++) args[i] = a[i];
  collector::root_guard g(args, 7);
  i32 index = type_of(&args[5]) == TYPE_INTEGER ? integer::get(&args[5]) : 0;
  i32 part = type_of(&args[6]) == TYPE_INTEGER ? integer::get(&args[6]) : 0;
  OS_update_facet(&args[0], &args[1], &args[2], &args[3],
                  type_of(&args[4]) == TYPE_NONE ? nullptr : &args[4], index, part);
  set_unset(a);
}

// update-text face: the text of a control that edits it is read back into the face.
void update_text(cell* a, u32) {
  cell face = a[0];
  collector::root_guard g(&face);
  u32 h = face_handle_q(&face);
  auto read_text = slots_of(&face).read_text;
  if (h && IsWindow(HWND(h)) && read_text) read_text(&face, HWND(h));
  *a = none_value;
}

void destroy_view(cell* a, u32) {
  OS_destroy_view(&a[0], type_of(&a[1]) == TYPE_LOGIC && logic::get(&a[1]));
  *a = none_value;
}

void detach_image(cell* a, u32) {
  ownership::unbind(&a[0]);
  *a = none_value;
}

void update_view(cell* a, u32) {
  cell v = a[0];
  collector::root_guard g(&v);
  if (type_of(&v) == TYPE_BLOCK) {
    for (i32 i = 0; i < block::rs_length_q(&v); i++) {
      cell* item = block::rs_abs_at(&v, u32(series::head_index(&v)) + u32(i));
      if (type_of(item) != TYPE_OBJECT) invalid_type(item);
    }
    OS_update_views(&v);
  } else if (type_of(&v) == TYPE_OBJECT) {
    if (!screen_face_q(&v)) OS_update_view(&v);
  } else {
    invalid_type(&v);
  }
  *a = none_value;
}

void refresh_window(cell* a, u32) {
  if (u32 h = handle_arg(&a[0])) UpdateWindow(HWND(h));
  set_unset(a);
}

void redraw(cell* a, u32) {
  if (u32 h = face_handle_q(&a[0])) OS_redraw(HWND(h));
  set_unset(a);
}

void show_window(cell* a, u32) {
  if (u32 h = handle_arg(&a[0])) OS_show_window(HWND(h));
  *a = none_value;
}

void make_view(cell* a, u32) {
  cell face = a[0];
  collector::root_guard g(&face);
  u32 h = OS_make_view(&face, handle_arg(&a[1]));
  handle::make_at(a, h, HANDLE_WINDOW);
}

void draw_face(cell* a, u32) {
  cell* flags = facet(&a[0], facet_index::flags);
  if (flags) get_flags(flags);
  // Drawn on the paint in progress of the face's window; outside a paint, nothing.
  if (u32 h = face_handle_q(&a[0])) {
    cell cmds = a[1];
    collector::root_guard g(&cmds);
    OS_draw_face(HWND(h), &cmds);
  }
  set_unset(a);
}

void do_event_loop(cell* a, u32) {
  bool handled = do_events(type_of(&a[0]) == TYPE_LOGIC && logic::get(&a[0]));
  logic::make_at(a, handled);
}

void exit_event_loop(cell* a, u32) {
  PostQuitMessage(0);
  set_unset(a);
}

// request-file title name filter save? multi?
void request_file(cell* a, u32) {
  cell args[3] = {a[0], a[1], a[2]};
  collector::root_guard g(args, 3);
  bool save = type_of(&a[3]) == TYPE_LOGIC && logic::get(&a[3]);
  bool multi = type_of(&a[4]) == TYPE_LOGIC && logic::get(&a[4]);
  cell out{TYPE_NONE, 0, 0, 0};
  collector::root_guard g2(&out);
  OS_request_file(&args[0], &args[1], &args[2], save, multi, &out);
  *a = out;
}

// request-dir title dir filter keep? multi?: the filter and multi? are taken and not used.
void request_dir(cell* a, u32) {
  cell args[2] = {a[0], a[1]};
  collector::root_guard g(args, 2);
  bool keep = type_of(&a[3]) == TYPE_LOGIC && logic::get(&a[3]);
  cell out{TYPE_NONE, 0, 0, 0};
  collector::root_guard g2(&out);
  OS_request_dir(&args[0], &args[1], keep, &out);
  *a = out;
}

void text_box_metrics(cell* a, u32) {
  if (face_types::text_of(type_of_face(&a[0])) != face_text::box) {
    cell* t = facet(&a[0], facet_index::type);
    cell type = t ? *t : none_value;
    api::fire("script", "face-type", &type);
  }
  cell* text = facet(&a[0], facet_index::text);
  if (!text || type_of(text) != TYPE_STRING) {
    *a = none_value;
    return;
  }
  cell face = a[0], arg = a[1];
  collector::root_guard g1(&face), g2(&arg);
  i32 kind = type_of(&a[2]) == TYPE_INTEGER ? integer::get(&a[2]) : -1;
  text_box::metrics(&face, &arg, kind, a);
}

void update_scroller(cell* a, u32) {
  gui::update_scroller(&a[0], type_of(&a[1]) == TYPE_INTEGER ? integer::get(&a[1]) : 0);
  *a = none_value;
}

void set_dark_mode(cell* a, u32) {
  u32 h = face_handle_q(&a[0]);
  bool dark = type_of(&a[1]) == TYPE_LOGIC && logic::get(&a[1]);
  if (h) gui::set_dark_mode(HWND(h), dark, slots_of(&a[0]).top_level);
  set_unset(a);
}

void support_dark_mode_q(cell* a, u32) { logic::make_at(a, gui::support_dark_mode_q()); }

// The drawing device is cairo's image surfaces: there is no device to recreate, only
// what is kept between runs to let go of.
void toggle_gpu(cell* a, u32) {
  draw::drop_kept_layouts();
  set_unset(a);
}

}  // namespace code

const routine::code_fn codes[] = {
#define VYR_PLATFORM_CODE(member, name) code::member,
    VYR_PLATFORM_ROUTINES(VYR_PLATFORM_CODE)
#undef VYR_PLATFORM_CODE
};
static_assert(sizeof codes / sizeof codes[0] == gui_module::platform_routine_count,
              "code for every platform routine");

void error_box(const char* caption, const char* text) { error_message_box(caption, text); }

}  // namespace

// system/view/platform/refresh-screens, the View engine's function; an error in it is
// reported and dropped, as a handler's is.
void refresh_screens() {
  cell platform;
  if (!object::system_field({"view", "platform"}, &platform)) return;
  collector::root_guard gp(&platform);
  cell* f = object::field_named(&platform, "refresh-screens");
  if (!f || type_of(f) != TYPE_FUNCTION) return;
  cell fn = *f, result = none_value;
  collector::root_guard g1(&fn), g2(&result);
  cell* saved_top = stack::top;
  try {
    interpreter::call(&fn, nullptr, 0, &result);
  } catch (thrown& t) {
    stack::top = saved_top;
    if (t.level != THROW_ERROR) throw;
    report_handler_error(t, handler_site::event);
  }
}

void install_platform_routines() {
  auto& t = api::gui_module::table();
  t.platform_routines = codes;
  t.gui_init = gui_init;
  t.error_box = error_box;
  t.real_display = [] { return g().real_display; };
  t.caret_blink_time = [](i32* ms) {
    if (!win::current_display()) return false;
    *ms = i32(win::GetCaretBlinkTime());   // INFINITE reads as -1
    return true;
  };
}

}  // namespace vyr::gui
