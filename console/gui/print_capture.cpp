// Print capture for the GUI console (see print_capture.h).
#include "console/gui/print_capture.h"

#include <cstring>

#include "boot/environment.h"
#include "console/front_end.h"
#include "boot/init.h"
#include "gui_entry/display_choice.h"
#include "gui_entry/module.h"
#include "runtime/collector.h"
#include "runtime/datatypes/context.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/object.h"
#include "runtime/datatypes/series.h"
#include "runtime/fire.h"
#include "runtime/datatypes/cells.h"
#include "runtime/interpreter/interpreter.h"
#include "runtime/stack.h"
#include "runtime/natives/natives.h"
#include "runtime/print_hooks.h"

namespace vyr::print_capture {

namespace {
constexpr u32 NO_BUFFER = 0xFFFFFFFFu;
u32 buffer_index = NO_BUFFER;  // the buffer cell's index in the root block

// Room a print needs: the hook calls into Vyr code.
constexpr u32 FRAMES_NEEDED = 60;
constexpr i64 CELLS_NEEDED = 80;

cell* buffer_cell() { return cells::at(series::node(&boot::root), buffer_index); }

// `gui-console-ctx/terminal/vprint`, or nothing when there is no terminal object or no such
// function.
bool find_vprint(cell* out) {
  cell fn;
  if (!object::global_field({"gui-console-ctx", "terminal", "vprint"}, &fn)) return false;
  u32 ft = type_of(&fn);
  if (ft != TYPE_FUNCTION && ft != TYPE_ROUTINE && ft != TYPE_NATIVE) return false;
  *out = fn;
  return true;
}

void text_hook(std::string_view utf8, u32) {
  rs_print_gui(utf8.data(), i64(utf8.size()), false);
}

void add_gui_print_entry(bool, const i32*) {
  add_gui_print();
  stack::set_last(cell{TYPE_UNSET, 0, 0, 0});
}

void blink_entry(bool, const i32*) {
  stack::set_last(cell{TYPE_INTEGER, 0, u32(get_caret_blink_time()), 0});
}
}  // namespace

void add_gui_print() {
  if (buffer_index != NO_BUFFER) return;
  cell unset{TYPE_UNSET, 0, 0, 0};
  buffer_index = cells::length(series::node(&boot::root));
  cells::append(series::node(&boot::root), &unset);
  platform::register_print_hooks(vyr_print_gui, text_hook);
}

void vyr_print_gui(const cell* str, bool lf) {
  if (stack::frame_top + FRAMES_NEEDED >= stack::frame_count ||
      stack::limit - stack::top <= CELLS_NEEDED)
    fire("internal", "stack-overflow");
  console::untraced quiet;
  cell fn;
  if (!find_vprint(&fn)) return;  // no terminal: the text goes nowhere
  collector::root_guard fg(&fn);
  cell args[2] = {*str, cell{TYPE_LOGIC, lf ? 1u : 0u, 0, 0}};
  collector::root_guard ag(&args[0]);
  cell result{TYPE_UNSET, 0, 0, 0};
  collector::root_guard rg(&result);
  stack::guard g;
  interpreter::call(&fn, args, 2, &result);
}

void rs_print_gui(const char* text, i64 len, bool lf) {
  if (len < 0) len = i64(std::strlen(text));
  if (len > i64(0x7FFFFFFF)) len = 0x7FFFFFFF;
  if (buffer_index == NO_BUFFER) add_gui_print();
  cell s = *buffer_cell();
  collector::root_guard sg(&s);
  if (type_of(&s) == TYPE_STRING) {
    // The same buffer every time: emptied, then the new text.
    string::rs_reset(&s);
    cell piece{TYPE_NONE, 0, 0, 0};
    collector::root_guard pg(&piece);
    string::load_at(text, u32(len), &piece, string::ENCODING_UTF8);
    string::concatenate(&s, &piece, -1, 0, false, string::CONCAT_APPEND);
  } else {
    string::load_at(text, u32(len), &s, string::ENCODING_UTF8);
  }
  series::index(&s) = 0;
  *buffer_cell() = s;
  vyr_print_gui(&s, lf);
}

const cell* gui_console_buffer() {
  static const cell unset{TYPE_UNSET, 0, 0, 0};
  return buffer_index == NO_BUFFER ? &unset : buffer_cell();
}

i32 get_caret_blink_time() {
  i32 ms;
  if (gui_module::loaded() && gui_module::table().caret_blink_time && gui_module::table().caret_blink_time(&ms))
    return ms;
  // No display open yet (the console asks before its first window, and the headless
  // display starts without the module): the headless display's value, read as it reads it.
  // A real display opens with the module, at start-up.
  return gui_module::headless_blink_ms(gui_module::display_choice().blink).value_or(500);
}

void install() {
  static bool done = false;
  if (done) return;
  done = true;
  natives::install(natives::id::add_gui_print, add_gui_print_entry);
  natives::install(natives::id::get_caret_blink_time, blink_entry);
}

}  // namespace vyr::print_capture
