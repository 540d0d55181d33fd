// The global routines: process exit, quiet setters, bit shifts, the current directory,
// directories, the OS description, colour and address tuples, UTF-8 counting, the data
// stack and call frames, the tracer state, the clipboard and standard output.
#include "environment/routines/routines.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "runtime/codecs/vyrbin.h"
#include "runtime/collector.h"
#include "runtime/datatypes/binary.h"
#include "runtime/datatypes/context.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/file.h"
#include "runtime/datatypes/float.h"
#include "runtime/datatypes/function.h"
#include "runtime/datatypes/object.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/tuple.h"
#include "runtime/datatypes/word.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/series.h"
#include "runtime/fire.h"
#include "runtime/host/clipboard.h"
#include "runtime/host/http.h"
#include "runtime/host/simple_io.h"
#include "runtime/host/os.h"
#include "runtime/datatypes/actions.h"
#include "runtime/datatypes/cells.h"
#include "runtime/interpreter/interpreter.h"
#include "runtime/stack.h"
#include "runtime/interpreter/trace.h"
#include "runtime/lexer/lexer_load.h"
#include "runtime/natives/math_helpers.h"
#include "runtime/natives/output.h"
#include "runtime/platform.h"

namespace vyr::routines {

namespace {
const cell NONE{TYPE_NONE, 0, 0, 0};
inline cell logic(bool b) { return cell{TYPE_LOGIC, b ? 1u : 0u, 0, 0}; }
inline cell integer(i32 v) { return cell{TYPE_INTEGER, 0, u32(v), 0}; }
inline i32 int_of(const cell* c) { return integer::get(c); }

// script expect-arg naming the routine, a datatype and the routine's first argument.
[[noreturn]] void expect_first(const char* routine, u32 type, const char* arg) {
  cell fn = word::intern(routine);
  collector::root_guard g1(&fn);
  cell t;
  datatype::make_at(&t, type);
  cell a = word::intern(arg);
  fire("script", "expect-arg", &fn, &t, &a);
}

void quit_return_code(cell* a, u32) { quit_return(int_of(a)); }

// Whether user code (not library code) is somewhere below on the call-frame stack: false
// while the environment is built, true under the console or a script.
void interpreted_code(cell* a, u32) { *a = cell{TYPE_LOGIC, stack::eval_q(-1, false) ? 1u : 0u, 0, 0}; }

void set_quiet_code(cell* a, u32) {
  u32 t = type_of(a);
  if (t != TYPE_WORD && t != TYPE_SET_WORD && t != TYPE_GET_WORD && t != TYPE_LIT_WORD)
    expect_first("set-quiet", t, "word");
  cell w = a[0];
  cell v = a[1];
  // The checks of `set` stay: an unbound word, or the word of a call that has ended, raises
  // not-defined; only the change notification is left out.
  if (!word::context(&w)) fire("script", "not-defined", &w);
  _context::set_in(&w, &v, word::context(&w), false);
  a[0] = v;
}

void set_slot_quiet_code(cell* a, u32) {
  u32 t = type_of(a);
  if (t != TYPE_BLOCK && t != TYPE_PAREN && !(t >= TYPE_PATH && t <= TYPE_GET_PATH))
    expect_first("set-slot-quiet", TYPE_BLOCK, "series");
  u32 node = series::node(a), at = series::index(a);
  if (at < cells::length(node)) *cells::at(node, at) = a[1];
}

void shift_right_code(cell* a, u32) { a[0] = integer(natives::shift(int_of(a), int_of(a + 1), false, false)); }
void shift_left_code(cell* a, u32) { a[0] = integer(natives::shift(int_of(a), int_of(a + 1), true, false)); }
void shift_logical_code(cell* a, u32) { a[0] = integer(natives::shift(int_of(a), int_of(a + 1), false, true)); }

void last_lf_code(cell* a, u32) { a[0] = logic(natives::last_print_line_break); }

void get_current_dir_code(cell* a, u32) {
  stack::guard g;
  a[0] = *file::get_current_dir();
}

void set_current_dir_code(cell* a, u32) {
  std::string path = file::to_OS_path(a);
  if (path.empty() || !platform::set_current_dir(path)) fire("access", "cannot-open", a);
}

void create_dir_code(cell* a, u32) {
  std::string path = file::to_OS_path(a);
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  if (path.empty() || ::mkdir(path.c_str(), 0777) != 0) fire("access", "no-create", a);
}

void exists_code(cell* a, u32) {
  std::string path = file::to_OS_path(a);
  struct stat st;
  a[0] = logic(!path.empty() && ::stat(path.c_str(), &st) == 0);
}

void os_info_code(cell* a, u32) {
  cell out{TYPE_NONE, 0, 0, 0};
  collector::root_guard g(&out);
  os::os_info(&out);
  a[0] = out;
}

// The first negative component raises invalid-arg with it.
void refuse_negative(const cell* a, u32 n) {
  for (u32 i = 0; i < n; i++)
    if (int_of(a + i) < 0) fire("script", "invalid-arg", a + i);
}

void as_color_code(cell* a, u32) {
  refuse_negative(a, 3);
  cell t;
  tuple::make_colour(&t, u8(int_of(a)), u8(int_of(a + 1)), u8(int_of(a + 2)));
  a[0] = t;
}

// The four components are OR-ed into one 32-bit word without reduction, so a component
// above 255 sets bits of the next byte (256 0 0 0 gives 0.1.0.0).
void as_ipv4_code(cell* a, u32) {
  refuse_negative(a, 4);
  u32 word = u32(int_of(a + 3)) << 24 | u32(int_of(a + 2)) << 16 | u32(int_of(a + 1)) << 8 |
             u32(int_of(a));
  u8 bytes[4] = {u8(word), u8(word >> 8), u8(word >> 16), u8(word >> 24)};
  cell t;
  tuple::make_at(&t, bytes, 4);
  a[0] = t;
}

// The characters between two positions of one binary's buffer. A `pos` of another series
// is refused; a position past the tail counts to the tail.
void count_chars_code(cell* a, u32) {
  if (series::node(&a[0]) != series::node(&a[1])) fire("script", "invalid-arg", a + 1);
  series_buffer* b = buffer_of(series::node(&a[0]));
  u32 used = b->used_bytes();
  u32 from = series::index(&a[0]) < used ? series::index(&a[0]) : used;
  u32 to = series::index(&a[1]) < used ? series::index(&a[1]) : used;
  const u8* p = reinterpret_cast<const u8*>(b->head());
  i32 n = 0;
  for (u32 i = from; i < to; n++) {
    u8 lead = p[i];
    i += lead < 0xC0 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
  }
  a[0] = integer(n);
}

void stack_size_code(cell* a, u32) { a[0] = integer(i32(stack::top - stack::base)); }

void pick_stack_code(cell* a, u32) {
  i32 idx = int_of(a);
  i32 size = i32(stack::top - stack::base);
  a[0] = idx > 0 && idx < size ? stack::base[idx - 1] : NONE;
}

void frame_index_code(cell* a, u32) { a[0] = integer(i32(a - stack::base)); }

void collect_calls_code(cell* a, u32) {
  cell blk = a[0];
  collector::root_guard g(&blk);
  stack::collect_calls(&blk);
  a[0] = blk;
}

void tracing_code(cell* a, u32) { a[0] = logic(trace::active); }

// `trace on` / `trace off`: delivery inside a running trace; outside one nothing changes.
void trace_switch_code(cell* a, u32) {
  trace::switch_delivery(type_of(a) == TYPE_LOGIC && logic::get(a) != 0);
  a[0] = cell{TYPE_UNSET, 0, 0, 0};
}


// system/options/float's switches: the field word and the truth of its new value.
void float_option_code(cell* a, u32) {
  if (type_of(a) != TYPE_WORD) return;
  u32 t = type_of(a + 1);
  u32 on = t != TYPE_NONE && !(t == TYPE_LOGIC && logic::get(&a[1]) == 0) ? 1u : 0u;
  std::string name(symbol::name(word::symbol_id(a)));
  if (name == "pretty?") float_::pretty_print_q = on;
  else if (name == "full?") float_::full_support_q = on;
  a[0] = NONE;
}

void read_clipboard_code(cell* a, u32) {
  cell out{TYPE_NONE, 0, 0, 0};
  collector::root_guard g(&out);
  clipboard::read(&out);
  a[0] = out;
}

void write_clipboard_code(cell* a, u32) { a[0] = logic(clipboard::write(a)); }

void write_stdout_code(cell* a, u32) {
  cell v = a[0];
  collector::root_guard g(&v);
  std::string bytes;
  if (type_of(&v) == TYPE_BINARY) {
    bytes = binary::utf8_of(&v);
  } else {
    stack::guard sg;
    cell text = type_of(&v) == TYPE_STRING ? v : *actions::form_to_string(&v);
    bytes = string::to_utf8(&text);
  }
  platform::print_text(bytes, false);
  natives::last_print_line_break = false;
}

// The collector's state for system/state/GC.
void gc_active_code(cell* a, u32) { a[0] = logic(collector::state.enabled == 1); }
void gc_series_cycles_code(cell* a, u32) { a[0] = integer(i32(collector::state.series_cycles)); }
void gc_nodes_cycles_code(cell* a, u32) { a[0] = integer(i32(collector::state.nodes_cycles)); }

// `read/binary` of a file! or url! payload, for the VYRBIN codec's decode.
void read_binary(const cell* source, cell* out) {
  if (type_of(source) == TYPE_URL) {
    cell url = *source;
    collector::root_guard g(&url);
    *out = *http::read(&url, true, false, false);
  } else {
    simple_io::read_file(source, nullptr, nullptr, true, false, out);
  }
}

// `make-routine 'name [spec]`: the routine registered under the name, with the argument
// block; its reflected body is a block naming it.
void make_routine_code(cell* a, u32) {
  u32 t = type_of(a);
  if (t != TYPE_WORD && t != TYPE_LIT_WORD && t != TYPE_STRING)
    expect_first("make-routine", t, "name");
  // A string names the routines of a module ("image/decode"), which no word can spell.
  std::string name =
      t == TYPE_STRING ? string::to_utf8(a) : std::string(symbol::name(word::symbol_id(a)));
  if (!routine::find(name.c_str())) fire("script", "invalid-arg", a);
  cell spec = a[1];
  a[0] = *routine::push_named(name.c_str(), &spec, false);
}

struct row {
  const char* name;
  routine::code_fn fn;
};
const row rows[] = {
    {"quit-return", quit_return_code},       {"set-quiet", set_quiet_code},
    {"set-slot-quiet", set_slot_quiet_code}, {"shift-right", shift_right_code},
    {"shift-left", shift_left_code},         {"shift-logical", shift_logical_code},
    {"last-lf?", last_lf_code},              {"get-current-dir", get_current_dir_code},
    {"set-current-dir", set_current_dir_code}, {"create-dir", create_dir_code},
    {"exists?", exists_code},                {"os-info", os_info_code},
    {"as-color", as_color_code},             {"as-ipv4", as_ipv4_code},
    {"as-rgba", as_ipv4_code},               {"count-chars", count_chars_code},
    {"stack-size?", stack_size_code},        {"pick-stack", pick_stack_code},
    {"frame-index?", frame_index_code},      {"collect-calls", collect_calls_code},
    {"tracing?", tracing_code},              {"read-clipboard", read_clipboard_code},
    {"write-clipboard", write_clipboard_code}, {"write-stdout", write_stdout_code},
    {"make-routine", make_routine_code},     {"interpreted?", interpreted_code},
    {"float-option", float_option_code},     {"trace-switch", trace_switch_code},
    {"gc-active?", gc_active_code},          {"gc-series-cycles", gc_series_cycles_code},
    {"gc-nodes-cycles", gc_nodes_cycles_code},
};

}  // namespace

void (*before_quit)() = nullptr;

void quit_return(i32 status) {
  if (before_quit) before_quit();
  std::fflush(stdout);
  std::fflush(stderr);
  clipboard::at_exit();
  _exit(status & 255);
}

void init() {
  static bool done = false;
  if (done) return;
  done = true;
  for (const row& r : rows) routine::register_(r.name, r.fn);
  register_predicates();
  vyrbin::register_routines();
  vyrbin::read_binary_hook = read_binary;
  register_codec_routines();
  register_text_fast();
}

void open_construction() {
  const char spec_text[] = "name [word! lit-word! string!] spec [block!]";
  cell spec{TYPE_NONE, 0, 0, 0};
  collector::root_guard g(&spec);
  lexer::scan(&spec, reinterpret_cast<const u8*>(spec_text), u32(sizeof spec_text - 1));
  stack::guard sg;
  cell r = *routine::push_named("make-routine", &spec, false);
  collector::root_guard rg(&r);
  cell w = word::intern("make-routine");
  _context::set(&w, &r);
}

void close_construction() {
  cell w = word::intern("make-routine");
  cell u{TYPE_UNSET, 0, 0, 0};
  _context::set(&w, &u);
}

}  // namespace vyr::routines
