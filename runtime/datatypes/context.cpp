// Contexts: creation, lookup, growth, value access with its errors, binding of blocks.
// Every value slot is reached through the context node and an index, never a kept pointer:
// user code run by change notification may grow the value block.
#include "runtime/datatypes/context.h"

#include <vector>

#include "runtime/collector.h"
#include "runtime/cycles.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/series.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/word.h"
#include "runtime/fire.h"
#include "runtime/hashtable.h"

namespace vyr::_context {

u32 global = 0;
frame_fn frame_cells = nullptr;
on_set_fn on_set_hook = nullptr;

namespace {
cell unset_cell{TYPE_UNSET, 0, 0, 0};  // what a slot past the value block's tail reads as

u32 self_symbol() {
  static u32 id = 0;
  if (!id) id = symbol::make("self");
  return id;
}

bool on_stack(u32 ctx) { return context_cell(ctx)->header & ON_STACK; }

using series::block_like_q;

// Makes the value block at least n cells long (new cells unset!).
void ensure_values(u32 ctx, u32 n) {
  u32 vals = values_node(ctx);
  series_buffer* b = buffer_of(vals);
  while (b->used_units() < n) memory::alloc_tail_cell(b);
}

// The value cells of a running call, or an error naming the word.
cell* stack_slot(u32 ctx, i32 index, const cell* word, const char* absent_id) {
  u32 ref = context_cell(ctx)->data2;
  u32 count = 0;
  cell* base = (ref && frame_cells) ? frame_cells(ref, &count) : nullptr;
  if (!base) fire("script", absent_id, word);
  // A word added after the call was set up has no cell in it: never reach past its cells.
  if (index < 0 || u32(index) >= count) fire("script", "not-defined", word);
  return base + index;
}

void mark_global() { collector::mark_block(global); }
}  // namespace

void init_global() {
  if (global) return;
  symbol::init();
  global = create(symbol::INITIAL_CAPACITY, false, false, 0, KIND_GLOBAL);
  collector::register_callback(mark_global);
}

u32 words_of(u32 ctx) { return hashtable::rec(table_of(ctx))->values; }
u32 word_count(u32 ctx) { return buffer_of(words_of(ctx))->used_units(); }
cell* word_at(u32 ctx, u32 pos) {
  VYR_ASSERT(pos < word_count(ctx));
  return buffer_of(words_of(ctx))->unstamped_cells() + pos;
}
u32 kind_of(u32 ctx) { return (context_cell(ctx)->header & KIND_MASK) >> KIND_SHIFT; }

u32 create(u32 n, bool stack, bool object, u32 source, u32 kind) {
  u32 src = source;
  collector::node_guard sg(&src);
  u32 ctx = memory::alloc_unset_cells(2);
  collector::node_guard cg(&ctx);
  buffer_of(ctx)->tail = buffer_of(ctx)->offset + 32;
  u32 size = std::max<u32>(n, 1);
  u32 table;
  if (src) {
    u32 words = memory::copy_series(buffer_of(words_of(src)));
    collector::node_guard wg(&words);
    table = hashtable::copy(table_of(src), words);
  } else {
    table = hashtable::init(size, nullptr, hashtable::KIND_SYMBOLS, 0);
  }
  context_cell(ctx)->data1 = table;
  context_cell(ctx)->header = TYPE_CONTEXT | ON_STACK;  // marks the table, not yet values
  u32 vals = 0;
  if (!stack) {
    vals = memory::alloc_unset_cells(size);
    buffer_of(vals)->tail = buffer_of(vals)->offset;
  }
  cell* c = context_cell(ctx);
  c->data2 = vals;
  c->header = TYPE_CONTEXT | ((kind & 3) << KIND_SHIFT) | (stack ? ON_STACK : 0) |
              (object ? RUNTIME_OBJECT : 0);
  return ctx;
}

u32 make_from_spec(const cell* spec_in, bool stack, bool object, u32 kind) {
  cell spec = *spec_in;
  collector::root_guard g(&spec);
  u32 n = 0;
  {
    series_buffer* b = buffer_of(spec.data2);
    for (u32 i = spec.data1; i < b->used_units(); i++) {
      u32 t = type_of(b->cells() + i);
      if (t == TYPE_WORD || t == TYPE_LIT_WORD || t == TYPE_GET_WORD || t == TYPE_REFINEMENT) n++;
    }
  }
  u32 ctx = create(n, stack, object, 0, kind);
  collector::node_guard cg(&ctx);
  for (u32 i = spec.data1; i < buffer_of(spec.data2)->used_units(); i++) {
    cell* c = buffer_of(spec.data2)->cells() + i;
    u32 t = type_of(c);
    if (t == TYPE_WORD || t == TYPE_LIT_WORD || t == TYPE_GET_WORD || t == TYPE_REFINEMENT)
      add_word(ctx, c->data2);
  }
  return ctx;
}

i32 find_word(u32 ctx, u32 symbol_id, bool any_case) {
  i32 pos = hashtable::find_context_word(table_of(ctx), symbol_id, any_case, 0, nullptr);
  return pos < 0 ? -1 : i32(word_at(ctx, u32(pos))->data3);
}

i32 find_or_add(u32 ctx, u32 symbol_id, bool any_case, i32* out_index) {
  i32 pos = -1;
  i32 r = hashtable::find_context_word(table_of(ctx), symbol_id, any_case, ctx, &pos);
  if (r >= 0) return i32(word_at(ctx, u32(r))->data3);
  if (out_index) *out_index = pos;
  return -1;
}

i32 add_word(u32 ctx, u32 symbol_id) {
  collector::node_guard cg(&ctx);
  i32 index = -1;
  i32 found = find_or_add(ctx, symbol_id, true, &index);
  if (found >= 0) return found;
  if (!on_stack(ctx)) ensure_values(ctx, u32(index) + 1);
  return index;
}

cell* add_with_value(u32 ctx, const cell* word, const cell* value_in) {
  if (find_word(ctx, word->data2, true) >= 0) return nullptr;
  cell value = *value_in;
  collector::root_guard g(&value);
  i32 index = add_word(ctx, word->data2);
  if (on_stack(ctx)) return nullptr;
  cell* slot = value_at(ctx, u32(index));
  *slot = value;
  return slot;
}

cell* put(u32 ctx, const cell* word, const cell* value_in) {
  cell value = *value_in;
  collector::root_guard g(&value);
  i32 index = add_word(ctx, word->data2);
  if (on_stack(ctx)) {
    cell w{TYPE_WORD, ctx, word->data2, u32(index)};
    cell* slot = stack_slot(ctx, index, &w, "not-defined");
    *slot = value;
    return slot;
  }
  ensure_values(ctx, u32(index) + 1);
  cell* slot = value_at(ctx, u32(index));
  *slot = value;
  return slot;
}

cell add_global(u32 symbol_id, bool any_case, bool copy) {
  i32 pos = hashtable::find_context_word(table_of(global), symbol_id, any_case, 0, nullptr);
  if (pos >= 0) {
    cell w = *word_at(global, u32(pos));
    if (any_case && copy) w.data2 = symbol_id;  // the written form asked for
    return w;
  }
  i32 variant = any_case ? -1 : hashtable::find_context_word(table_of(global), symbol_id, true, 0, nullptr);
  i32 index = -1;
  find_or_add(global, symbol_id, any_case, &index);
  ensure_values(global, u32(index) + 1);  // the new spelling's own (unread) cell
  if (variant >= 0) word_at(global, u32(index))->data3 = word_at(global, u32(variant))->data3;
  return *word_at(global, u32(index));
}

cell global_word(u32 symbol_id) { return add_global(symbol_id, false, false); }

cell* get_value_cell(u32 symbol_id, u32 ctx) {
  if (on_stack(ctx)) ctx = global;
  i32 index = find_word(ctx, symbol_id, true);
  if (index < 0) {
    // An absent name has no value cell to hand out.
    cell w{TYPE_WORD, ctx, symbol_id, 0xFFFFFFFFu};
    fire("script", "not-defined", &w);
  }
  series_buffer* b = buffer_of(values_node(ctx));
  if (u32(index) >= b->used_units()) {
    collector::node_guard cg(&ctx);
    ensure_values(ctx, u32(index) + 1);
    b = buffer_of(values_node(ctx));
  }
  return b->unstamped_cells() + index;  // a value slot: no stamp
}

cell* get(const cell* word) {
  i32 index = i32(word->data3);
  u32 ctx = word->data1;
  if (index == -1) {
    if (word->data2 == self_symbol() && ctx) return owner_cell(ctx);
    fire("script", "no-value", word);
  }
  if (!ctx) fire("script", "not-defined", word);
  if (on_stack(ctx)) return stack_slot(ctx, index, word, "not-in-context");
  series_buffer* b = buffer_of(values_node(ctx));
  if (u32(index) >= b->used_units()) return &unset_cell;  // added but never given a value
  return b->unstamped_cells() + index;  // a value slot: no stamp
}

namespace {
// set_in's every other case: unbound words, stack frames, objects, owners, growth.
[[gnu::noinline]] cell* set_in_slow(cell* word, const cell* value_in, u32 ctx, bool notify) {
  cell value = *value_in;
  cell w = *word;
  collector::root_guard vg(&value);
  collector::root_guard wg(&w);
  collector::node_guard cg(&ctx);
  if (on_stack(ctx) && (!context_cell(ctx)->data2 || !frame_cells))
    fire("script", "not-defined", &w);
  i32 index = i32(w.data3);
  if (index == -1) {
    index = find_word(ctx, w.data2, false);
    if (index < 0) index = find_word(ctx, w.data2, true);
    if (index < 0) {
      // Adding a name to a running call would give it no cell there.
      if (on_stack(ctx)) fire("script", "not-defined", &w);
      index = i32(word_count(ctx));  // the position the new entry is about to take
    }
    w.data3 = u32(index);
    word->data3 = u32(index);  // written before anything below may move the word's buffer
    if (index == i32(word_count(ctx)) && find_word(ctx, w.data2, true) < 0)
      index = add_word(ctx, w.data2);
  }
  if (on_stack(ctx)) {
    cell* slot = stack_slot(ctx, index, &w, "not-defined");
    *slot = value;
    return slot;
  }
  if (u32(index) >= value_count(ctx)) ensure_values(ctx, u32(index) + 1);
  if (kind_of(ctx) == KIND_OBJECT && u32(index) < word_count(ctx))
    word_at(ctx, u32(index))->header |= WORD_CHANGED;
  cell* slot = value_at(ctx, u32(index));
  if (notify && owner_cell(ctx)->data3 && on_set_hook) {
    cell old = *slot;
    cell owner = *owner_cell(ctx);
    collector::root_guard og(&old);
    collector::root_guard ow(&owner);
    *slot = value;
    on_set_hook(&owner, &w, &old, &value);
    // The handler may have grown the value block: fetch the slot again.
    return value_at(ctx, u32(index));
  }
  *slot = value;
  return slot;
}
}  // namespace

cell* set_in(cell* word, const cell* value_in, u32 ctx, bool notify) {
  if (cell* slot = quiet_slot(word, ctx, notify)) [[likely]] {
    *slot = *value_in;
    return slot;
  }
  return set_in_slow(word, value_in, ctx, notify);
}

cell* set(cell* word, const cell* value) {
  if (!word->data1) fire("script", "not-defined", word);
  return set_in(word, value, word->data1, true);
}

u32 clone(u32 ctx, u32 kind) {
  cell* c = context_cell(ctx);
  bool stack = c->header & ON_STACK;
  bool object = c->header & RUNTIME_OBJECT;
  u32 n = word_count(ctx);
  u32 fresh = create(n, stack, object, ctx, kind);
  for (u32 i = 0, m = word_count(fresh); i < m; i++) word_at(fresh, i)->data1 = fresh;
  return fresh;
}

i32 bind_word(u32 ctx, cell* word) {
  i32 index = find_word(ctx, word->data2, true);
  if (index < 0) return -1;
  word->data1 = ctx;
  word->data3 = u32(index);
  return index;
}

namespace {
// A context's words as a table from canonical symbol to slot + 1, filled for one bind and
// cleared after: a lookup per word of the body costs an index, not a hash probe. Binding
// neither allocates nor runs code, so one table serves every bind. Only the global context
// is meant to hold two spellings of one name; a small context (up to SMALL words, such as a
// function's arguments and locals) that has them binds the first in word order, a larger
// one binds as its hash table finds them.
constexpr u32 SMALL = 16;
std::vector<u32>& direct_table() {
  static std::vector<u32> table;
  return table;
}

// Whether the block, its nested blocks included, holds fewer than `cap` values: the walk
// stops as soon as it has seen that many (a block that holds itself stops it too).
bool fewer_values(const cell* block, u32& cap) {
  series_buffer* b = buffer_of(block->data2);
  for (u32 i = block->data1; i < b->used_units(); i++) {
    if (cap == 0) return false;
    cap--;
    const cell* c = b->cells() + i;
    if (block_like_q(type_of(c)) && !fewer_values(c, cap)) return false;
  }
  return cap > 0;
}

void bind_in(const cell* block, u32 ctx, bool self, u32 self_id, const u32* direct) {
  u32 node = block->data2;
  if (cycles::find(node)) return;
  cycles::guard guard(node);
  // Binding never allocates, so the cells may be walked in place; it writes the block's
  // words, which is one write to its stamp.
  series_buffer* b = buffer_of(node);
  b->bump();
  for (u32 i = block->data1; i < b->used_units(); i++) {
    cell* c = b->unstamped_cells() + i;
    u32 t = type_of(c);
    if (block_like_q(t)) {
      bind_in(c, ctx, self, self_id, direct);
    } else if (word::any_word_q(t)) {
      if (self && t == TYPE_WORD && c->data2 == self_id) {
        c->data1 = ctx;
        c->data3 = 0xFFFFFFFFu;
      } else if (direct) {
        if (u32 slot = direct[symbol::resolve(c->data2)]) {
          c->data1 = ctx;
          c->data3 = slot - 1;
        }
      } else {
        bind_word(ctx, c);
      }
    }
  }
}
}  // namespace

void bind(const cell* block, u32 ctx, bool self) {
  u32 self_id = self ? self_symbol() : 0;
  u32 n = word_count(ctx);
  if (ctx == global) return bind_in(block, ctx, self, self_id, nullptr);
  // Filling the table costs a step per word of the context: a small block bound to a large
  // context probes the context's hash table per word instead.
  if (n > SMALL) {
    u32 cap = n / 8;
    if (fewer_values(block, cap)) return bind_in(block, ctx, self, self_id, nullptr);
  }
  std::vector<u32>& table = direct_table();
  if (table.size() <= symbol::count()) table.resize(symbol::count() + 1);
  // The entries filled are cleared however the bind ends (a block nested too deep raises).
  struct clear_after {
    std::vector<u32>& table;
    u32 ctx, filled = 0;
    ~clear_after() {
      for (u32 j = 0; j < filled; j++) table[symbol::resolve(word_at(ctx, j)->data2)] = 0;
    }
  } filled{table, ctx};
  for (; filled.filled < n; filled.filled++) {
    const cell* w = word_at(ctx, filled.filled);
    u32& slot = table[symbol::resolve(w->data2)];
    if (!slot) slot = w->data3 + 1;
    else if (n > SMALL) return bind_in(block, ctx, self, self_id, nullptr);  // two spellings
  }
  bind_in(block, ctx, self, self_id, table.data());
}

bool collect_set_words(u32 ctx, const cell* block_in) {
  cell block = *block_in;
  collector::root_guard g(&block);
  collector::node_guard cg(&ctx);
  u32 before = word_count(ctx);
  for (u32 i = block.data1; i < buffer_of(block.data2)->used_units(); i++) {
    cell* c = buffer_of(block.data2)->cells() + i;
    if (type_of(c) == TYPE_SET_WORD) add_word(ctx, c->data2);
  }
  return word_count(ctx) > before;
}

// context! is never a value the user holds: it has no actions.
void init() { datatype::register_(TYPE_CONTEXT, 0, "context!", action_row{}); }

}  // namespace vyr::_context
