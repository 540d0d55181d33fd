// Collector cycle: mark (explicit roots only, never the C++ stack), sweep the external
// slots and weak tables, then sweep and compact memory. A cycle never nests.
#include "runtime/collector.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "runtime/externals.h"

namespace vyr::collector {

state_t state;
hooks_t hooks;
std::vector<guarded> guards;
std::vector<const u32*> node_guards;

int stress_flag = -1;

namespace {
std::vector<mark_fn> callbacks;
std::vector<cell*> root_cells;
std::vector<u32*> root_nodes;
std::vector<u32> pending;  // newly marked unit-16 buffers whose cells still need marking

void drain() {
  while (!pending.empty()) {
    u32 node = pending.back();
    pending.pop_back();
    const series_buffer* b = read_buffer(node);
    mark_values(b->cells(), b->tail_cell());
  }
}
}  // namespace

bool read_stress() {
  const char* v = std::getenv("VYR_GC_STRESS");
  stress_flag = (v && v[0] == '1') ? 1 : 0;
  return stress_flag == 1;
}
void set_stress(bool on) { stress_flag = on ? 1 : 0; }

bool in_progress() { return state.busy == 1; }

namespace {
// Debug builds and the stress switch stop on a stale reference; otherwise it is skipped.
void stale_reference(u32 node) {
#ifdef NDEBUG
  if (!stress()) return;
#endif
  std::fprintf(stderr, "collector: stale reference to node %u\n", node);
  std::abort();
}
}  // namespace

bool mark_node(u32 node) {
  if (!node) return false;
  u32 buf = node_word(node);
  if (!buf) return false;
  series_buffer* b = arena::at<series_buffer>(buf);
  // A node whose buffer does not name it back is stale (freed, maybe reused): marking
  // through it would set a bit in a node frame's free list.
  if (b->node != node || !(b->flags & SERIES_IN_USE)) [[unlikely]] {
    stale_reference(node);
    return false;
  }
  return memory::set_mark(b);
}

void mark_block(u32 node) {
  if (mark_node(node) && buffer_of(node)->unit() == 16) pending.push_back(node);
}

void mark_block_value(const cell* c) { mark_block(c->data2); }

void mark_context(u32 node) { mark_block(node); }

void clear_mark(u32 node) {
  if (node && node_word(node)) memory::unmark(buffer_of(node));
}

void mark_values(const cell* from, const cell* to) {
  VYR_ASSERT(from <= to);
  for (const cell* c = from; c < to; c++) {
    switch (type_of(c)) {
      case TYPE_BLOCK: case TYPE_PAREN: case TYPE_PATH: case TYPE_LIT_PATH:
      case TYPE_SET_PATH: case TYPE_GET_PATH:
        mark_block(c->data2);
        break;
      case TYPE_STRING: case TYPE_FILE: case TYPE_URL: case TYPE_TAG: case TYPE_EMAIL:
      case TYPE_REF:
        mark_node(c->data2);
        mark_node(c->data3);
        break;
      case TYPE_SYMBOL:
        mark_node(c->data3);
        mark_node(c->data2);
        break;
      case TYPE_CONTEXT:
        if (c->data1) {
          if (hooks.mark_table) hooks.mark_table(c->data1); else mark_node(c->data1);
        }
        if (!(c->header & (1u << 22))) mark_block(c->data2);
        break;
      case TYPE_WORD: case TYPE_SET_WORD: case TYPE_LIT_WORD: case TYPE_GET_WORD:
      case TYPE_REFINEMENT:
        mark_context(c->data1);
        break;
      case TYPE_NATIVE: case TYPE_ACTION:
        mark_block(c->data2);
        mark_block(c->data3);
        break;
      case TYPE_OP: {
        mark_block(c->data2);
        mark_block(c->data3);
        u32 wrapped = (c->header >> 16) & 0xFF;
        if (wrapped == TYPE_FUNCTION || wrapped == TYPE_ROUTINE) mark_context(c->data1);
        break;
      }
      case TYPE_FUNCTION: case TYPE_ROUTINE:
        mark_context(c->data1);
        mark_block(c->data2);
        mark_block(c->data3);
        break;
      case TYPE_BITSET: case TYPE_VECTOR: case TYPE_BINARY:
        mark_node(c->data2);
        break;
      case TYPE_OBJECT: case TYPE_ERROR: case TYPE_PORT:
        mark_context(c->data1);
        mark_block(c->data3);
        break;
      case TYPE_HASH: case TYPE_MAP:
        mark_block(c->data2);
        if (c->data3) {
          if (hooks.mark_table) hooks.mark_table(c->data3); else mark_node(c->data3);
        }
        break;
      case TYPE_HANDLE:
        if (static_cast<i32>(c->data3) >= 0) externals::mark(static_cast<i32>(c->data3), 0, false);
        break;
      case TYPE_IMAGE:
        if (c->data2) mark_node(c->data2);
        if (hooks.mark_image) hooks.mark_image(c);
        break;
      case TYPE_EVENT:
        if ((c->header & (1u << 12)) && c->data2) mark_block(c->data2);
        break;
      default:
        break;
    }
  }
}

void register_callback(mark_fn f) {
  VYR_ASSERT(f != nullptr);
  callbacks.push_back(f);
}
void unregister_callback(mark_fn f) {
  auto it = std::find(callbacks.begin(), callbacks.end(), f);
  if (it != callbacks.end()) *it = nullptr;
}

void add_root(cell* c) {
  VYR_ASSERT(c != nullptr);
  root_cells.push_back(c);
}
void remove_root(cell* c) {
  auto it = std::find(root_cells.begin(), root_cells.end(), c);
  if (it != root_cells.end()) root_cells.erase(it);
}
void add_root_node(u32* n) {
  VYR_ASSERT(n != nullptr);
  root_nodes.push_back(n);
}
void remove_root_node(u32* n) {
  auto it = std::find(root_nodes.begin(), root_nodes.end(), n);
  if (it != root_nodes.end()) root_nodes.erase(it);
}


void collect() {
  if (state.enabled == 1 && state.busy == 0) do_cycle();
}

void do_cycle() {
  if (state.busy) return;
  state.busy = 1;
  struct busy_reset { ~busy_reset() { state.busy = 0; } } reset;
  pending.clear();
  for (cell* c : root_cells) { mark_values(c, c + 1); drain(); }
  for (u32* n : root_nodes) { mark_block(*n); drain(); }
  for (const guarded& g : guards) { mark_values(g.c, g.c + g.n); drain(); }
  for (const u32* n : node_guards) { mark_block(*n); drain(); }
  for (size_t i = 0; i < callbacks.size(); i++) {
    if (callbacks[i]) callbacks[i]();
    drain();
  }
  VYR_ASSERT(pending.empty());  // every marked block's cells were marked before the sweep
  externals::sweep();
  if (hooks.sweep_weak) hooks.sweep_weak();
  memory::sweep_frames();
  memory::update_node_frames();
  memory::clear_fixed_marks();
  state.series_cycles++;
}

}  // namespace vyr::collector
