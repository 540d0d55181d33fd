// The collector: precise mark from explicit roots, then sweep and compact the series
// frames, free unmarked big buffers and release empty node frames. Nodes never move.
// Roots: the root block, registered root cells and node words, RAII root guards, and the
// mark callbacks of other modules (stacks, symbol table, lexer, value slots...).
#pragma once
#include <vector>

#include "runtime/assert.h"
#include "runtime/memory.h"

namespace vyr::collector {

struct state_t {
  u32 enabled = 0;  // allocation collects only when this is 1
  u32 busy = 0;
  u32 series_cycles = 0;
  u32 nodes_cycles = 0;  // stays 0: nodes are never relocated
};
extern state_t state;

// VYR_GC_STRESS=1: every buffer allocation collects. Asked on every allocation, so the
// answer, once read from the environment, is a load.
extern int stress_flag;  // -1 until read, then 0 or 1
bool read_stress();
inline bool stress() { return stress_flag >= 0 ? stress_flag == 1 : read_stress(); }
void set_stress(bool on);
void collect();       // a cycle when enabled is 1 and none is running
void do_cycle();      // a cycle now, whatever the enabled flag
bool in_progress();

// Marking, for mark callbacks and per-type hooks. Each returns or acts at once; nested
// blocks are queued and drained by the cycle, so marking never recurses deeply.
bool mark_node(u32 node);            // true when newly marked
void mark_block(u32 node);           // the node and, when newly marked, its cells
void mark_block_value(const cell* c);
void mark_context(u32 node);
void mark_values(const cell* from, const cell* to);
void clear_mark(u32 node);

using mark_fn = void (*)();
void register_callback(mark_fn f);   // the table grows as needed
void unregister_callback(mark_fn f);

void add_root(cell* c);              // permanent root cells (module globals)
void remove_root(cell* c);
void add_root_node(u32* node_ref);   // a module global holding a block's node (0 = none)
void remove_root_node(u32* node_ref);

// Hooks filled by the modules that own those structures.
struct hooks_t {
  void (*mark_table)(u32 table_node) = nullptr;       // a hash table and its series
  void (*sweep_weak)() = nullptr;                     // weak tables (ownership) after marking
  void (*mark_image)(const cell* c) = nullptr;        // image! cache upkeep
};
extern hooks_t hooks;

// The guard stacks below (inline: they are taken on every hot path that may allocate).
struct guarded { const cell* c; u32 n; };
extern std::vector<guarded> guards;
extern std::vector<const u32*> node_guards;

// Keeps a cell that C++ code holds across an allocation alive. Strictly nested (LIFO).
class root_guard {
 public:
  explicit root_guard(const cell* c) : c_(c) { guards.push_back({c, 1}); }
  root_guard(const cell* c, u32 n) : c_(c) { guards.push_back({c, n}); }  // n consecutive cells
  ~root_guard() {
    VYR_ASSERT(!guards.empty() && guards.back().c == c_);  // strictly nested
    guards.pop_back();
  }
  root_guard(const root_guard&) = delete;
  root_guard& operator=(const root_guard&) = delete;
 private:
  [[maybe_unused]] const cell* c_;  // read by the nesting check of a Debug build
};

// Keeps a bare node (block or other series) alive; cells are marked for unit-16 buffers.
class node_guard {
 public:
  explicit node_guard(const u32* node_ref) : ref_(node_ref) { node_guards.push_back(node_ref); }
  ~node_guard() {
    VYR_ASSERT(!node_guards.empty() && node_guards.back() == ref_);  // strictly nested
    node_guards.pop_back();
  }
  node_guard(const node_guard&) = delete;
  node_guard& operator=(const node_guard&) = delete;
 private:
  [[maybe_unused]] const u32* ref_;
};

// Switches automatic collection off for a scope (restored on every exit).
class no_collect {
 public:
  no_collect() : saved_(state.enabled) { state.enabled = 0; }
  ~no_collect() { state.enabled = saved_; }
  no_collect(const no_collect&) = delete;
  no_collect& operator=(const no_collect&) = delete;
 private:
  u32 saved_;
};

}  // namespace vyr::collector
