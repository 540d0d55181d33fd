// Brings the modules up in the order they depend on each other: print hooks, platform,
// random numbers, memory, external slots, the first frames, the root block, value slots,
// checksums, the data stack, the datatype registrations, symbols, the global
// context, the type-name words and the runtime word tables.
#include "boot/init.h"

#include <cstdlib>
#include <cstring>
#include <string>

#include "boot/environment.h"
#include "boot/hooks.h"
#include "console/front_end.h"
#include "environment/routines/routines.h"
#include "runtime/collector.h"
#include "runtime/datatypes/binary.h"
#include "runtime/datatypes/bitset.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/cells.h"
#include "runtime/datatypes/char.h"
#include "runtime/datatypes/context.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/error.h"
#include "runtime/datatypes/event.h"
#include "runtime/datatypes/file.h"
#include "runtime/datatypes/float.h"
#include "runtime/datatypes/function.h"
#include "runtime/datatypes/handle.h"
#include "runtime/datatypes/native.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/image.h"
#include "runtime/datatypes/hash.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/money.h"
#include "runtime/datatypes/map.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/object.h"
#include "runtime/datatypes/path.h"
#include "runtime/datatypes/percent.h"
#include "runtime/datatypes/port.h"
#include "runtime/datatypes/series.h"
#include "runtime/datatypes/string_actions.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/tag.h"
#include "runtime/datatypes/time.h"
#include "runtime/datatypes/pair.h"
#include "runtime/datatypes/point.h"
#include "runtime/datatypes/tuple.h"
#include "runtime/datatypes/date.h"
#include "runtime/datatypes/triple.h"
#include "runtime/datatypes/typeset.h"
#include "runtime/datatypes/unset.h"
#include "runtime/datatypes/url.h"
#include "runtime/datatypes/vector.h"
#include "runtime/datatypes/word.h"
#include "runtime/hashtable.h"
#include "runtime/datatypes/actions.h"
#include "runtime/externals.h"
#include "runtime/checksum.h"
#include "runtime/interpreter/interpreter.h"
#include "runtime/lexer/lexer_load.h"
#include "runtime/natives/natives.h"
#include "runtime/natives/parse.h"
#include "runtime/random.h"
#include "runtime/stack.h"
#include "runtime/interpreter/trace.h"
#include "runtime/memory.h"
#include "runtime/platform.h"
#include "runtime/print_hooks.h"
#include "runtime/unicode.h"
#include "runtime/value_slots.h"
#include "runtime/word_tables.h"
#include "gui_entry/draw.h"
#include "gui_entry/module.h"

namespace vyr::boot {

namespace {
// Hash tables compare keys through the compare action where the type has one.
i32 compare_for_tables(const cell* a, const cell* b, i32 op) {
  if (!datatype::entry(type_of(a), slot::compare)) return hashtable::default_compare(a, b, op);
  i32 r = actions::compare_value(a, b, op);
  return r == -2 ? 1 : r;
}

// money!'s currency list from its bootstrap source (the words after the header), read from
// VYR_BOOT_DIR when that is set, as the other environment sources are.
void load_currency_list() {
  const char* name = "currencies.vyr";
  std::string text;
  const char* dir = std::getenv("VYR_BOOT_DIR");
  if (dir && *dir) {
    text = read_file(std::string(dir) + "/" + name).value_or("");
  } else {
    for (unsigned i = 0; i < environment_file_count; i++)
      if (std::strcmp(environment_files[i].name, name) == 0)
        text.assign(environment_files[i].text, environment_files[i].size);
  }
  cell scanned;
  lexer::scan(&scanned, reinterpret_cast<const u8*>(text.data()), u32(text.size()));
  collector::root_guard g(&scanned);
  // The list is a block of its own, without `Vyr [...]`: its head is the first code.
  u32 n = cells::length(series::node(&scanned));
  cell list;
  cells::make_block(&list, n > 2 ? n - 2 : 1);
  for (u32 i = 2; i < n; i++) cells::append(series::node(&list), cells::get(series::node(&scanned), i));
  money::set_currencies(&list);
}
}  // namespace

void init_runtime() {
  static bool done = false;
  if (done) return;
  done = true;
  install_runtime_hooks();
  platform::init_print_hooks();
  platform::init();
  random::init();
  memory::init();
  externals::init();
  memory::new_node_frame(memory::NODES_PER_FRAME);
  memory::new_series_frame();
  root = cell{TYPE_BLOCK, 0, memory::alloc_fixed_series(1000, 16, 0), 0};
  collector::add_root(&root);
  value_slots::init();
  checksum::init();
  stack::init();
  // Datatypes, each after its parent.
  datatype::init();
  datatype::init_type();
  unset::init();
  none::init();
  logic::init();
  series::init();
  block::init();
  string::init();
  integer::init();
  symbol::init_type();
  _context::init();
  word::init();  // word! and the other word kinds
  char_::init();
  native::init();
  action::init();  // parent native!
  op::init();      // parent native!
  path::init();   // path!, lit-path!, set-path!, get-path!
  function::init();  // parent context!
  routine::init();   // parent function!
  paren::init();
  issue::init();
  url::init();
  file::init();
  binary::init();  // parent string!
  bitset::init();
  tag::init();    // tag!, email!, ref!: parent string!
  email::init();
  ref::init();
  object::init();
  triple::init();
  float_::init();
  typeset::init();
  error::init();  // parent object!
  percent::init();  // parent float!
  time::init();   // parent float!
  pair::init();
  point2D::init();
  point3D::init();
  tuple::init();
  date::init();
  handle::init();  // parent integer!
  money::init();
  vector::init();  // parent string!
  map::init();
  hash::init();  // parent block!
  port::init();  // parent object!
  image::init();  // parent series!; the imaging backend and the codec routines
  event::init();
  draw::init();   // the DRAW routines
  hashtable::compare_hook = compare_for_tables;
  symbol::init();
  _context::init_global();
  datatype::word_maker = [](const char* name, cell* out) { *out = word::intern(name); };
  datatype::make_words();
  symbol::init_runtime_words();
  symbol::init_refinement_words();
  symbol::init_issue_words();
  error::init_catalog();
  lexer::init();
  load_currency_list();
  actions::init_entries();
  port::init_entries();
  natives::init();
  routines::init();
  gui_module::register_routines();  // the routines that reach the GUI module
  console::register_routines();  // both front ends' routines and native entries
  interpreter::init();
  trace::init();  // after the interpreter: wraps its error builder
  parse::init();
  collector::state.enabled = 1;
}

}  // namespace vyr::boot
