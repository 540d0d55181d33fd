// Brings the modules up in the order they depend on each other: print hooks, platform,
// random numbers, memory, external slots, the first frames, the root block, value slots,
// checksums, case folding, symbols, the global context and the runtime word tables.
#include "boot/init.h"

#include "runtime/collector.h"
#include "runtime/datatypes/context.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/externals.h"
#include "runtime/interpreter/checksum.h"
#include "runtime/interpreter/random.h"
#include "runtime/memory.h"
#include "runtime/platform.h"
#include "runtime/print_hooks.h"
#include "runtime/unicode.h"
#include "runtime/value_slots.h"
#include "runtime/word_tables.h"

namespace vyr::boot {

cell root{TYPE_NONE, 0, 0, 0};

void init_runtime() {
  static bool done = false;
  if (done) return;
  done = true;
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
  unicode::init_case_folding();
  symbol::init();
  _context::init_global();
  symbol::init_runtime_words();
  symbol::init_refinement_words();
  symbol::init_issue_words();
  collector::state.enabled = 1;
}

}  // namespace vyr::boot
