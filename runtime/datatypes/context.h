// Contexts: a 2-cell block (the context cell, the owner cell) naming a word table of kind 2,
// whose key block is the word block, and a parallel value block (or a running call's cells).
// Invariant: a word cell's index (word 3) names its value slot; in the global context a
// later letter-case variant shares the slot of the first spelling.
#pragma once
#include "runtime/memory.h"
#include "runtime/hooks.h"

namespace vyr::_context {

constexpr u32 KIND_SHIFT = 11;
constexpr u32 KIND_MASK = 3u << KIND_SHIFT;
constexpr u32 KIND_GLOBAL = 0, KIND_FUNCTION = 1, KIND_OBJECT = 2;
constexpr u32 ON_STACK = 1u << 22;   // values are the running call's cells
constexpr u32 RUNTIME_OBJECT = 1u << 24;
constexpr u32 OWNER_MARK = 1u << 16;  // set by the ownership module
constexpr u32 WORD_CHANGED = 1u << 13;  // on a word cell of an object context

extern u32 global;  // the global context's node

void init_global();  // idempotent: the global context (room for 2,600 words at first), a root

// The words of a context cell: the word table's node, the value block's node (or the
// stack reference of a running call).
constexpr u32 table(const cell* c) { return c->data1; }
constexpr u32& table(cell* c) { return c->data1; }
constexpr u32 values(const cell* c) { return c->data2; }
constexpr u32& values(cell* c) { return c->data2; }
inline cell* context_cell(u32 ctx) { return buffer_of(ctx)->unstamped_cells(); }
inline cell* owner_cell(u32 ctx) { return buffer_of(ctx)->unstamped_cells() + 1; }
inline u32 table_of(u32 ctx) { return context_cell(ctx)->data1; }
u32 words_of(u32 ctx);   // node of the word block
u32 word_count(u32 ctx);
cell* word_at(u32 ctx, u32 pos);  // the word cell at a position of the word block
u32 kind_of(u32 ctx);
// The value block of a context whose values are not on the stack (word 2 of its cell).
inline u32 values_node(u32 ctx) { return context_cell(ctx)->data2; }
inline u32 value_count(u32 ctx) { return buffer_of(values_node(ctx))->used_units(); }
inline cell* value_at(u32 ctx, u32 pos) { return buffer_of(values_node(ctx))->unstamped_cells() + pos; }

u32 create(u32 n, bool on_stack, bool object, u32 source, u32 kind);
u32 make_from_spec(const cell* spec, bool on_stack, bool object, u32 kind);

// Lookups answer the word's value index (its slot), or -1.
i32 find_word(u32 ctx, u32 symbol_id, bool any_case);
i32 find_or_add(u32 ctx, u32 symbol_id, bool any_case, i32* out_index);
i32 add_word(u32 ctx, u32 symbol_id);
cell* add_with_value(u32 ctx, const cell* word, const cell* value);  // null when present
cell* put(u32 ctx, const cell* word, const cell* value);
cell add_global(u32 symbol_id, bool any_case, bool copy);
cell global_word(u32 symbol_id);

cell* get_value_cell(u32 symbol_id, u32 ctx);
cell* get(const cell* word);
cell* set_in(cell* word, const cell* value, u32 ctx, bool notify);
// set_in's common case: the value cell of a bound word of a context whose value block
// already has its slot, with no running call, no object and (with `notify`) no owner to
// tell, which takes the value with nothing more to do; else null. Nothing it does can
// allocate or run code.
inline cell* quiet_slot(const cell* word, u32 ctx, bool notify) {
  u32 bound = word->data3;
  const cell* cc = context_cell(ctx);
  if (bound != 0xFFFFFFFFu && !(cc->header & ON_STACK) &&
      (cc->header & KIND_MASK) != (KIND_OBJECT << KIND_SHIFT) &&
      !(notify && (cc + 1)->data3 && on_set_hook)) [[likely]] {
    series_buffer* vb = buffer_of(cc->data2);
    if (u64{vb->offset} + u64{bound} * sizeof(cell) < vb->tail) [[likely]]
      return vb->unstamped_cells() + bound;  // values are never evaluated: no stamp
  }
  return nullptr;
}
cell* set(cell* word, const cell* value);
u32 clone(u32 ctx, u32 kind);

i32 bind_word(u32 ctx, cell* word);
void bind(const cell* block, u32 ctx, bool self);
bool collect_set_words(u32 ctx, const cell* block);

void init();  // registers context! (no actions)

}  // namespace vyr::_context
