// The ownership table: node-keyed (kind 4), one entry per owned series or object context,
// three cells each. It is weak on both sides: the collector marks only the table's own
// buffers, then sweeps the entries whose key or owner context was left unmarked.
#include "runtime/ownership.h"

#include "runtime/collector.h"
#include "runtime/cycles.h"
#include "runtime/datatypes/context.h"
#include "runtime/hashtable.h"
#include "runtime/memory.h"
#include "runtime/datatypes/series.h"

namespace vyr::ownership {

u32 table = 0;
notify_fn notify = nullptr;

namespace {
void mark_table() { hashtable::mark(table); }

// Types whose word 2 is the node of an ownable buffer.
bool series_like(u32 t) {
  switch (t) {
    case TYPE_BLOCK: case TYPE_PAREN: case TYPE_HASH: case TYPE_PATH: case TYPE_LIT_PATH:
    case TYPE_SET_PATH: case TYPE_GET_PATH: case TYPE_STRING: case TYPE_FILE: case TYPE_URL:
    case TYPE_TAG: case TYPE_EMAIL: case TYPE_REF: case TYPE_BINARY: case TYPE_VECTOR:
    case TYPE_BITSET: case TYPE_IMAGE:  // image!: its record's node
      return true;
    default:
      return false;
  }
}
bool object_like(u32 t) { return t == TYPE_OBJECT || t == TYPE_ERROR || t == TYPE_PORT; }

// Enters {value, owner, word} under the node unless a live entry exists already.
void enter(u32 node, const cell* value, const cell* owner, const cell* word) {
  if (!node || !node_word(node)) return;
  if (hashtable::get_key(table, node)) return;  // the first owner stays
  cell v = *value, o = *owner, w = *word;
  collector::root_guard g1(&v), g2(&o), g3(&w);
  cell* e = hashtable::put_key(table, node);
  e[0] = v;
  e[1] = o;
  e[2] = w;
  buffer_of(node)->flags |= SERIES_OWNED;
}

void bind_cells(u32 node, u32 from, const cell* owner, const cell* word) {
  cell o = *owner, w = *word;
  collector::root_guard g1(&o), g2(&w);
  collector::node_guard ng(&node);
  // Positions are re-read after every entry: entering may move the block's buffer.
  for (u32 i = from; i < buffer_of(node)->used_units(); i++) {
    cell c = read_buffer(node)->cells()[i];
    bind(&c, &o, &w);
  }
}

void bind_object(const cell* obj, const cell* owner) {
  u32 ctx = obj->data1;
  if (_context::context_cell(ctx)->header & _context::OWNER_MARK) return;
  if (cycles::find(ctx)) return;
  cycles::guard guard(ctx);
  cell o = *owner;
  collector::root_guard og(&o);
  collector::node_guard cg(&ctx);
  u32 n = _context::word_count(ctx);
  for (u32 i = 0; i < n; i++) {
    u32 vals = _context::context_cell(ctx)->data2;
    if (!vals || i >= buffer_of(vals)->used_units()) break;
    cell v = read_buffer(vals)->cells()[i];
    // A field holding the owner itself is not walked again.
    if (object_like(type_of(&v)) && v.data1 == o.data1) continue;
    cell w = *_context::word_at(ctx, i);
    set_type(&w, TYPE_WORD);
    w.header &= HEADER_TYPE_MASK;
    collector::root_guard vg(&v), wg(&w);
    bind(&v, &o, &w);
  }
}

void unbind_object(const cell* obj) {
  u32 ctx = obj->data1;
  if (_context::context_cell(ctx)->header & _context::OWNER_MARK) return;
  if (cycles::find(ctx)) return;
  cycles::guard guard(ctx);
  u32 vals = _context::context_cell(ctx)->data2;
  if (!vals) return;
  for (u32 i = 0; i < buffer_of(vals)->used_units(); i++) {
    cell v = read_buffer(vals)->cells()[i];
    unbind(&v);
  }
}
}  // namespace

void init() {
  if (table) return;
  hashtable::init_module();
  // A handful of owners at start-up (the reactive objects); the table grows as they come.
  table = hashtable::init(16, nullptr, hashtable::KIND_OWNERSHIP, ENTRY_CELLS);
  collector::register_callback(mark_table);
  hashtable::register_weak(&table);
}

void bind(const cell* value, const cell* owner, const cell* word) {
  if (!table) init();
  u32 t = type_of(value);
  if (series_like(t)) {
    u32 node = value->data2;
    enter(node, value, owner, word);
    if (series::block_like_q(t) && node && !cycles::find(node)) {
      cycles::guard guard(node);
      bind_cells(node, value->data1, owner, word);
    }
  } else if (object_like(t)) {
    bind_object(value, owner);
  }
}

void set_owner(const cell* value, const cell* owner, const cell* word) {
  cell o = *owner;
  collector::root_guard g(&o);
  bind(value, &o, word);
  _context::context_cell(o.data1)->header |= _context::OWNER_MARK;
}

void unbind(const cell* value) {
  if (!table) return;
  u32 t = type_of(value);
  if (series_like(t)) {
    u32 node = value->data2;
    if (!node || !node_word(node)) return;
    buffer_of(node)->flags &= ~SERIES_OWNED;
    if (cell* e = hashtable::delete_key(table, node)) {
      for (u32 i = 0; i < ENTRY_CELLS; i++) e[i] = cell{TYPE_UNSET, 0, 0, 0};
    }
    if (series::block_like_q(t) && !cycles::find(node)) {
      cycles::guard guard(node);
      for (u32 i = value->data1; i < buffer_of(node)->used_units(); i++) {
        cell c = read_buffer(node)->cells()[i];
        unbind(&c);
      }
    }
  } else if (object_like(t)) {
    unbind_object(value);
  }
}

void unbind_range(const cell* block, i32 index, i32 n) {
  u32 node = block->data2;
  for (i32 i = index; i < index + n; i++) {
    if (i < 0 || u32(i) >= buffer_of(node)->used_units()) break;
    cell c = read_buffer(node)->cells()[i];
    unbind(&c);
  }
}

cell* find_owner(u32 node) {
  if (!table || !node) return nullptr;
  return hashtable::get_key(table, node);
}

bool check(const cell* changed, const cell* action_word, const cell* new_value, i32 index,
           i32 part) {
  if (!table) return false;
  u32 t = type_of(changed);
  u32 node = object_like(t) ? changed->data1 : series_like(t) ? changed->data2 : 0;
  if (!node || !node_word(node)) return false;
  if (!object_like(t) && !(buffer_of(node)->flags & SERIES_OWNED)) return false;
  cell* e = hashtable::get_key(table, node);
  if (!e || !e[1].data3 || !notify) return false;
  cell owner = e[1], word = e[2], target = *changed, action = *action_word;
  cell nv = new_value ? *new_value : cell{TYPE_NONE, 0, 0, 0};
  collector::root_guard g1(&owner), g2(&word), g3(&target), g4(&action), g5(&nv);
  notify(&owner, &word, &target, &action, new_value ? &nv : nullptr, index, part);
  return true;
}

}  // namespace vyr::ownership
