// Start-up construction of the bootstrap environment: datatype words and typesets made
// here, natives, actions and operators evaluated from their Vyr sources.
#include "boot/environment.h"
#include "gui_entry/draw.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>

#include "boot/construction.h"
#include "runtime/datatypes/environment_text.h"
#include "boot/snapshot_image.h"
#include "boot/hooks.h"
#include "boot/init.h"
#include "runtime/codecs/vyrbin.h"
#include "runtime/lexer/lexer_load.h"
#include "runtime/collector.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/context.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/native.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/word.h"
#include "runtime/datatypes/series.h"
#include "runtime/fire.h"
#include "runtime/datatypes/actions.h"
#include "runtime/datatypes/cells.h"
#include "runtime/interpreter/interpreter.h"
#include "runtime/snapshot.h"
#include "runtime/stack.h"
#include "runtime/interpreter/typecheck.h"

namespace vyr::boot {

namespace {

void set_global(const char* name, const cell& value_in) {
  cell value = value_in;
  collector::root_guard g(&value);  // interning the name may collect
  cell w = word::intern(name);
  _context::set(&w, &value);
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
  // `make` checks its arguments against any-type! before constants.vyr builds the
  // typesets: it starts as every type.
  cell any{TYPE_TYPESET, 0, 0, 0};
  typecheck::set_mask(&any, typecheck::ALL_TYPES);
  set_global("any-type!", any);
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
  if (type_of(&fn) == TYPE_UNSET) return;  // its function comes with a later module
  collector::root_guard g(&fn);
  cell made;
  op::make_at(&made, &fn);
  set_global(name, made);
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
  u32 n = cells::length(series::node(&block));
  bool has_header = n >= 2 && type_of(cells::get(series::node(&block), 0)) == TYPE_WORD &&
                    symbol::resolve(word::symbol_id(cells::get(series::node(&block), 0))) ==
                        symbol::resolve(symbol::make("Vyr")) &&
                    type_of(cells::get(series::node(&block), 1)) == TYPE_BLOCK;
  if (header_required && !has_header) {
    cell text;
    if (source) text = *source; else cells::make_block(&text, 1);
    fire("syntax", "no-header", &text);
  }
  if (has_header) series::index(&block) = 2;
  cell r;
  interpreter::do_block(&block, &r);
  if (result) *result = r;
}

// Marks every block and paren of a loaded source as the library's (tracing stays out).
void mark_library(u32 node) {
  // Marking allocates nothing: the buffer's cells are walked in place.
  series_buffer* b = buffer_of(node);
  b->flags |= SERIES_LIBRARY;
  const cell* c = b->cells();
  for (u32 i = 0, n = b->used_units(); i < n; i++) {
    u32 t = type_of(c + i);
    if (!cells::block_like_q(t) || t == TYPE_HASH) continue;
    if (buffer_of(series::node(c + i))->flags & SERIES_LIBRARY) continue;  // shared or cyclic
    mark_library(series::node(c + i));
  }
}

namespace {
const environment_file* embedded(const std::string& name) {
  for (unsigned i = 0; i < environment_file_count; i++)
    if (name == environment_files[i].name) return &environment_files[i];
  return nullptr;
}

// A source file's text: from VYR_BOOT_DIR when set, else the embedded copy.
std::string source_text(const char* dir, const std::string& name) {
  if (dir) {
    std::optional<std::string> t = read_file(std::string(dir) + "/" + name);
    if (!t) {
      cell n;
      string::load_at(name.data(), u32(name.size()), &n, string::ENCODING_UTF8);
      fire("access", "cannot-open", &n);
    }
    return *t;
  }
  // A program linked without the boot image has no sources: it cannot start the environment.
  const environment_file* f = embedded(name);
  if (!f) {
    cell n;
    string::load_at(name.data(), u32(name.size()), &n, string::ENCODING_UTF8);
    fire("access", "cannot-open", &n);
  }
  return std::string(f->text, f->size);
}

// Whether the word is a global one of this name (ASCII letters in any case) whose value
// has the type given.
bool global_named(const cell* c, std::string_view name, u32 value_type) {
  if (type_of(c) != TYPE_WORD || word::context(c) != _context::global) return false;
  std::string_view n = symbol::name(word::symbol_id(c));
  if (n.size() != name.size()) return false;
  for (size_t i = 0; i < n.size(); i++)
    if ((n[i] | 0x20) != name[i]) return false;
  return type_of(_context::get(c)) == value_type;
}

bool fresh_block(const cell* c) { return type_of(c) == TYPE_BLOCK && series::index(c) == 0; }

// Marks the function bodies written in place in a block that is evaluated at most once (a
// file's block, and the body of an object made at its top level, recursively): `func args
// body`, `function args body`, `has words body`, `does body`. Each such body is reached only
// through this block and evaluated as that call's argument once, so its function may take
// it uncopied (function::push). Anything else (a block held by a word, a loop's body, a
// function's body) is left to be copied.
void mark_bodies_once(u32 node) {
  series_buffer* b = buffer_of(node);
  const cell* c = b->cells();
  u32 n = b->used_units();
  auto once = [&](u32 i) { buffer_of(series::node(c + i))->flags |= SERIES_BODY_ONCE; };
  for (u32 i = 0; i < n; i++) {
    const cell* w = c + i;
    if (type_of(w) != TYPE_WORD) continue;
    if (i + 2 < n && fresh_block(c + i + 1) && fresh_block(c + i + 2) &&
        (global_named(w, "func", TYPE_NATIVE) || global_named(w, "function", TYPE_NATIVE) ||
         global_named(w, "has", TYPE_NATIVE))) {
      once(i + 2);
      i += 2;
    } else if (i + 1 < n && fresh_block(c + i + 1) && global_named(w, "does", TYPE_NATIVE)) {
      once(i + 1);
      i += 1;
    } else if (i + 1 < n && fresh_block(c + i + 1) &&
               (global_named(w, "context", TYPE_FUNCTION) ||
                global_named(w, "object", TYPE_FUNCTION))) {
      mark_bodies_once(series::node(c + i + 1));
      i += 1;
    } else if (i + 2 < n && fresh_block(c + i + 2) && global_named(w, "make", TYPE_ACTION) &&
               type_of(c + i + 1) == TYPE_WORD && word::context(c + i + 1) == _context::global &&
               type_of(_context::get(c + i + 1)) == TYPE_DATATYPE &&
               datatype::id(_context::get(c + i + 1)) == TYPE_OBJECT) {
      mark_bodies_once(series::node(c + i + 2));
      i += 2;
    }
  }
}

void evaluate_block(cell block) {
  collector::root_guard g(&block);
  u32 node = series::node(&block);
  mark_library(node);
  mark_bodies_once(node);
  if (cells::length(node) >= 2 && type_of(cells::get(node, 0)) == TYPE_WORD &&
      type_of(cells::get(node, 1)) == TYPE_BLOCK)
    series::index(&block) = 2;  // the Vyr [...] header
  cell r;
  interpreter::do_block(&block, &r);
  stack::reset();
}

// Copies of the start entries' blocks, in manifest order, taken before the construction
// evaluates them: the saved environment evaluates them again at every start-up.
cell start_blocks{TYPE_NONE, 0, 0, 0};

// The steps of the construction that read the process (the command line, the environment
// variables, the current directory, the display): after the saved environment is restored.
void redo_start_entries() {
  if (type_of(&start_blocks) != TYPE_BLOCK) return;
  run_stage("open-construction");
  for (u32 i = 0, n = cells::length(series::node(&start_blocks)); i < n; i++)
    evaluate_block(*cells::get(series::node(&start_blocks), i));
  run_stage("close-construction");
}

void finish(double t1) {
  stack::reset();
  times.construction = seconds_now() - t1 - times.decode;
  if (const char* v = std::getenv("VYR_BOOT_TIMES"); v && *v)
    std::fprintf(stderr, "init %.3f ms, decode %.3f ms, construction %.3f ms, started at %.6f s\n",
                 times.init * 1e3, times.decode * 1e3, times.construction * 1e3, times.start);
  if (const char* to = std::getenv("VYR_DUMP_ENVIRONMENT"); to && *to) {
    std::string text = environment_text();
    FILE* f = std::fopen(to, "wb");
    if (f) {
      std::fwrite(text.data(), 1, text.size(), f);
      std::fclose(f);
    }
  }
}

void register_stages() {
  add_stage("base-values", make_type_words);
  add_stage("first-make", make_first_action);
  add_stage("operators", [] {
    make_op("<>", "not-equal?");
    make_op("<=", "lesser-or-equal?");
    make_op("%", "remainder");
    make_op("//", "modulo");
    make_op("<<", "shift-left");
    make_op(">>", "shift-right");
    make_op(">>>", "shift-logical");
  });
}
}  // namespace

void build_environment() {
  static bool done = false;
  if (done) return;
  done = true;
  init_runtime();
  double t1 = seconds_now();
  if (!interpreter::load_hook) interpreter::load_hook = load_utf8;
  install_hooks();
  init_construction();
  register_stages();
  const char* dir = std::getenv("VYR_BOOT_DIR");
  if (dir && !*dir) dir = nullptr;
  static bool kept = false;
  if (!kept) {
    kept = true;
    collector::add_root(&start_blocks);
    snapshot::keep("boot.start-blocks", &start_blocks);
  }
  // The saved environment, unless the construction is asked for: from the sources
  // (VYR_BOOT_DIR), another boot image (VYR_BOOT_IMAGE), the embedded image
  // (VYR_CONSTRUCT=1), or to save it (VYR_WRITE_SNAPSHOT=file). VYR_SNAPSHOT=file starts from
  // another saved environment.
  const char* write_to = std::getenv("VYR_WRITE_SNAPSHOT");
  if (write_to && !*write_to) write_to = nullptr;
  auto set = [](const char* name) {
    const char* v = std::getenv(name);
    return v && *v && std::strcmp(v, "0") != 0;
  };
  if (!dir && !write_to && !set("VYR_BOOT_IMAGE") && !set("VYR_CONSTRUCT")) {
    const char* file = std::getenv("VYR_SNAPSHOT");
    double t0 = seconds_now();
    snapshot_status st = load_snapshot(file && *file ? file : nullptr);
    // Another image that cannot be loaded ends the run; the executable's own (cut by a
    // tool, or larger than an arena under an address-space cap) leaves the construction.
    if (st == snapshot_status::refused && file && *file) std::exit(99);
    if (st == snapshot_status::loaded) {
      times.decode = seconds_now() - t0;
      redo_start_entries();
      finish(t1);
      return;
    }
  }
  // Display detection belongs to the GUI; until it exists every run is headless.
  const bool gui = false;
  // The evaluated files as blocks, in manifest order: the image's root blocks, or the
  // sources scanned all before any is evaluated, so that both paths meet the words in the
  // same order (the image also sets the datatype, action and native words as it is
  // decoded, after its root blocks).
  std::vector<manifest_entry> entries = parse_manifest(source_text(dir, "manifest.txt"));
  const bool image = !dir && boot_image_size > 0;
  cell scanned{TYPE_NONE, 0, 0, 0};
  collector::root_guard gs(&scanned);
  double t0 = seconds_now();
  if (image) {
    // VYR_BOOT_IMAGE=file starts from another image (one written with other flags, or a
    // damaged one in the tests); a failure to decode it ends the process with status 99.
    const char* other = std::getenv("VYR_BOOT_IMAGE");
    std::optional<std::string> bytes;
    if (other && *other) {
      bytes = read_file(other);
      if (!bytes) {
        std::fprintf(stderr, "Error: cannot read the boot image %s\n", other);
        std::exit(99);
      }
    }
    if (bytes)
      vyrbin::boot_load(reinterpret_cast<const u8*>(bytes->data()), bytes->size(), false);
    else
      vyrbin::boot_load(reinterpret_cast<const u8*>(boot_image), boot_image_size, false);
  } else {
    cells::make_block(&scanned, 16);
    for (const manifest_entry& e : entries) {
      if (e.kind == entry_kind::data || e.kind == entry_kind::stage) continue;
      std::string text = source_text(dir, e.name);
      cell block{TYPE_NONE, 0, 0, 0};
      collector::root_guard gb(&block);  // appending may collect
      load_utf8(text.data(), u32(text.size()), &block);
      cells::append(series::node(&scanned), &block);
    }
  }
  times.decode += seconds_now() - t0;
  u32 next = 0;
  auto evaluate = [&](bool run, bool start = false) {
    u32 k = next++;
    cell block = image ? *vyrbin::root_cell(k) : *cells::get(series::node(&scanned), k);
    collector::root_guard gb(&block);
    if (start) {
      if (type_of(&start_blocks) != TYPE_BLOCK) cells::make_block(&start_blocks, 4);
      cell copy = block;
      collector::root_guard gc(&copy);
      block::deep_copy_cell(&copy);
      cells::append(series::node(&start_blocks), &copy);
    }
    if (run) evaluate_block(block);
  };
  for (const manifest_entry& e : entries) {
    switch (e.kind) {
      case entry_kind::data: break;
      case entry_kind::stage: run_stage(e.name); break;
      case entry_kind::gui: evaluate(gui); break;
      case entry_kind::source: evaluate(true); break;
      case entry_kind::start: evaluate(true, true); break;
    }
  }
  draw::install();  // `draw` and its routine
  if (write_to) {
    stack::reset();
    std::fflush(nullptr);
    _exit(write_snapshot(write_to) ? 0 : 99);
  }
  finish(t1);
}

std::string error_report(const thrown& t) {
  if (type_of(&t.value) == TYPE_ERROR) {
    stack::guard g;
    return string::to_utf8(actions::form_to_string(&t.value));
  }
  // Only what is raised before the error module is up arrives without an error! value.
  return std::string("*** ") + (t.category ? t.category : "?") + ": " + (t.id ? t.id : "?");
}

}  // namespace vyr::boot
