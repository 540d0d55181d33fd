// Start-up construction of the bootstrap environment: datatype words and typesets made
// here, natives, actions and operators evaluated from their Vyr sources.
#include "boot/environment.h"
#include "gui/draw/draw.h"

#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "boot/hooks.h"
#include "boot/init.h"
#include "runtime/lexer/lexer_load.h"
#include "runtime/collector.h"
#include "runtime/datatypes/context.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/native.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/word.h"
#include "runtime/fire.h"
#include "runtime/interpreter/cells.h"
#include "runtime/interpreter/interpreter.h"
#include "runtime/interpreter/stack.h"
#include "runtime/interpreter/typecheck.h"

namespace vyr::boot {

namespace {
using typecheck::bit;

void set_global(const char* name, const cell& value_in) {
  cell value = value_in;
  collector::root_guard g(&value);  // interning the name may collect
  cell w = word::intern(name);
  _context::set(&w, &value);
}

cell typeset(u64 mask) {
  cell t{TYPE_TYPESET, 0, 0, 0};
  typecheck::set_mask(&t, mask);
  t.data3 = 0;
  return t;
}

void make_typesets() {
  u64 number = bit(TYPE_INTEGER) | bit(TYPE_FLOAT) | bit(TYPE_PERCENT) | bit(TYPE_MONEY);
  u64 any_word = bit(TYPE_WORD) | bit(TYPE_SET_WORD) | bit(TYPE_LIT_WORD) |
                 bit(TYPE_GET_WORD) | bit(TYPE_REFINEMENT) | bit(TYPE_ISSUE);
  u64 any_path = bit(TYPE_PATH) | bit(TYPE_LIT_PATH) | bit(TYPE_SET_PATH) | bit(TYPE_GET_PATH);
  u64 any_block = bit(TYPE_BLOCK) | bit(TYPE_PAREN) | bit(TYPE_HASH) | any_path;
  u64 any_string = bit(TYPE_STRING) | bit(TYPE_FILE) | bit(TYPE_URL) | bit(TYPE_TAG) |
                   bit(TYPE_EMAIL) | bit(TYPE_REF);
  u64 series = any_block | any_string | bit(TYPE_BINARY) | bit(TYPE_VECTOR) | bit(TYPE_IMAGE);
  u64 any_function = bit(TYPE_NATIVE) | bit(TYPE_ACTION) | bit(TYPE_OP) |
                     bit(TYPE_FUNCTION) | bit(TYPE_ROUTINE);
  u64 any_object = bit(TYPE_OBJECT) | bit(TYPE_ERROR) | bit(TYPE_PORT);
  u64 scalar = number | bit(TYPE_CHAR) | bit(TYPE_PAIR) | bit(TYPE_TUPLE) | bit(TYPE_TIME) |
               bit(TYPE_DATE) | bit(TYPE_POINT2D) | bit(TYPE_POINT3D);
  set_global("any-type!", typeset(typecheck::ALL_TYPES));
  set_global("number!", typeset(number));
  set_global("scalar!", typeset(scalar));
  set_global("any-point!", typeset(bit(TYPE_POINT2D) | bit(TYPE_POINT3D)));
  set_global("any-word!", typeset(any_word));
  set_global("all-word!", typeset(any_word));
  set_global("any-path!", typeset(any_path));
  set_global("any-block!", typeset(any_block));
  set_global("any-list!", typeset(any_block & ~any_path));
  set_global("any-string!", typeset(any_string));
  set_global("series!", typeset(series));
  set_global("any-function!", typeset(any_function));
  set_global("any-object!", typeset(any_object));
  set_global("default!", typeset(typecheck::ALL_TYPES & ~bit(TYPE_UNSET)));
}

void make_type_words() {
  for (u32 t = 1; t < TYPE_TOTAL_COUNT; t++) {
    if (!datatype::registered_q(t)) continue;
    cell dt;
    datatype::make_at(&dt, t);
    set_global(datatype::name_of(t), dt);
  }
  set_global("none", cell{TYPE_NONE, 0, 0, 0});
  set_global("true", cell{TYPE_LOGIC, 1, 0, 0});
  set_global("false", cell{TYPE_LOGIC, 0, 0, 0});
  set_global("yes", cell{TYPE_LOGIC, 1, 0, 0});
  set_global("no", cell{TYPE_LOGIC, 0, 0, 0});
  set_global("on", cell{TYPE_LOGIC, 1, 0, 0});
  set_global("off", cell{TYPE_LOGIC, 0, 0, 0});
}

// Text to a block through the lexer's loading layer.
void load_utf8(const char* utf8, u32 length, cell* out) {
  lexer::scan(out, reinterpret_cast<const u8*>(utf8), length);
}

// `make` is what the sources use to build every other value, so it comes first, from
// C++; actions.vyr then defines it again with its documented argument block.
void make_first_action() {
  const char spec_text[] = "type [any-type!] spec [any-type!]";
  cell spec;
  load_utf8(spec_text, sizeof spec_text - 1, &spec);
  collector::root_guard g(&spec);
  cell make;
  native::make_at(&make, &spec, slot::make, TYPE_ACTION);
  set_global("make", make);
}

void make_op(const char* name, const char* function_name) {
  cell fw = word::intern(function_name);
  cell fn = *_context::get(&fw);
  collector::root_guard g(&fn);
  stack::guard sg;
  cell* slot = stack::push_slot();
  *slot = fn;
  stack::arguments = slot;
  op::make(slot, slot, TYPE_OP);
  cell result = *slot;
  set_global(name, result);
}
}  // namespace

std::optional<std::string> read_file(const std::string& path) {
  // A directory opens as a stream that reads nothing: it is no script.
  struct stat st;
  if (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return std::nullopt;
  std::ifstream f(path, std::ios::binary);
  if (!f) return std::nullopt;
  std::ostringstream s;
  s << f.rdbuf();
  std::string text = s.str();
  // One leading UTF-8 byte-order mark is skipped, as `read` skips it.
  if (text.size() >= 3 && static_cast<unsigned char>(text[0]) == 0xEF &&
      static_cast<unsigned char>(text[1]) == 0xBB && static_cast<unsigned char>(text[2]) == 0xBF)
    text.erase(0, 3);
  return text;
}

void do_source(const char* utf8, u32 length, bool header_required, cell* result,
               const cell* source) {
  cell block;
  interpreter::load_hook(utf8, length, &block);
  collector::root_guard g(&block);
  u32 n = cells::length(block.data2);
  bool has_header = n >= 2 && type_of(cells::at(block.data2, 0)) == TYPE_WORD &&
                    symbol::resolve(cells::at(block.data2, 0)->data2) ==
                        symbol::resolve(symbol::make("Vyr")) &&
                    type_of(cells::at(block.data2, 1)) == TYPE_BLOCK;
  if (header_required && !has_header) {
    cell text;
    if (source) text = *source; else cells::make_block(&text, 1);
    fire("syntax", "no-header", &text);
  }
  if (has_header) block.data1 = 2;
  cell r;
  interpreter::do_block(&block, &r);
  if (result) *result = r;
}

void build_environment() {
  static bool done = false;
  if (done) return;
  done = true;
  init_runtime();
  if (!interpreter::load_hook) interpreter::load_hook = load_utf8;
  install_hooks();
  make_type_words();
  make_typesets();
  make_first_action();
  const char* dir = std::getenv("VYR_BOOT_DIR");
  for (unsigned i = 0; i < environment_file_count; i++) {
    const environment_file& f = environment_files[i];
    if (!f.evaluate) continue;
    if (dir && *dir) {
      std::string text = read_file(std::string(dir) + "/" + f.name).value_or("");
      do_source(text.data(), u32(text.size()), true, nullptr);
    } else {
      do_source(f.text, f.size, true, nullptr);
    }
  }
  // The operators whose names the source syntax cannot set.
  make_op("<>", "not-equal?");
  make_op("<=", "lesser-or-equal?");
  make_op("%", "remainder");
  draw::install();  // `draw` and its routine
  stack::reset();
}

}  // namespace vyr::boot
