// Symbol table storage: the symbol block (one symbol! cell per name) and its kind-2 index.
// Entries are never removed, so an id stays valid for the run; both are collector roots.
#include "runtime/datatypes/symbol.h"

#include <algorithm>
#include <string>

#include "runtime/collector.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/string.h"
#include "runtime/hashtable.h"
#include "runtime/unicode.h"

namespace vyr::symbol {

u32 block = 0;
u32 table = 0;

namespace {
void mark_roots() {
  collector::mark_block(block);
  hashtable::mark(table);
}

}  // namespace

void init() {
  if (block) return;
  hashtable::init_module();
  collector::register_callback(mark_roots);
  // Room for the environment's names (about 2,000 headless) and a script's first few
  // hundred: every page reserved here is one more to fault in at each start.
  block = memory::alloc_cells(INITIAL_CAPACITY);
  cell b{TYPE_BLOCK, 0, block, 0};
  collector::root_guard g(&b);
  table = hashtable::init(INITIAL_CAPACITY, &b, hashtable::KIND_SYMBOLS, 0);
}

u32 make_from_bytes(const char* bytes, u32 length) {
  if (!table) init();
  return hashtable::put_symbol(table, bytes, length, false);
}

u32 make(const char* name) { return make_from_bytes(name, u32(std::strlen(name))); }

u32 make_any_case(const char* name) {
  if (!table) init();
  return hashtable::put_symbol(table, name, u32(std::strlen(name)), true);
}

u32 from_string(const cell* value, u32 length) {
  series_buffer* b = buffer_of(value->data2);
  u32 unit = b->unit();
  u32 n = b->used_units();
  std::string utf8;
  char seq[4];
  for (u32 i = value->data1; i < n && i - value->data1 < length; i++)
    utf8.append(seq, unicode::cp_to_utf8(string::get_char(b->head() + u64{i} * unit, unit), seq));
  return make_from_bytes(utf8.data(), u32(utf8.size()));
}

cell* cache_string(u32 id) {
  if (entry(id)->data2) return entry(id);
  series_buffer* nb = buffer_of(entry(id)->data3);
  u32 node = unicode::load_utf8(reinterpret_cast<const u8*>(nb->head()), nb->used_bytes());
  entry(id)->data2 = node;  // the symbol block is a root: the buffer is held from here on
  return entry(id);
}

cell* get(u32 id) { return cache_string(id); }
u32 string_node(u32 id) { return cache_string(id)->data2; }

const char* get_c_string(u32 id) {
  // Every name buffer keeps a NUL just past its tail.
  return buffer_of(entry(id)->data3)->head();
}

std::string_view name(u32 id) {
  series_buffer* b = buffer_of(entry(id)->data3);
  return {b->head(), b->used_bytes()};
}

i32 get_alias(u32 id) { return i32(entry(id)->data1); }

u32 count() { return block ? buffer_of(block)->used_units() : 0; }

// ---------------------------------------------------------------------------------------
// Actions

i32 compare(const cell* a, const cell* b, i32 op) {
  if (type_of(b) != TYPE_SYMBOL) return -2;
  // Names compare as their UTF-8 bytes: letters fold in ASCII unless the case matters.
  series_buffer* x = buffer_of(a->data3);
  series_buffer* y = buffer_of(b->data3);
  u32 lx = x->used_bytes(), ly = y->used_bytes();
  bool fold = op != 2 && op != 8 && op != 9;
  for (u32 i = 0; i < std::min(lx, ly); i++) {
    u8 cx = u8(x->head()[i]), cy = u8(y->head()[i]);
    if (fold) {
      if (cx >= 'a' && cx <= 'z') cx = u8(cx - 32);
      if (cy >= 'a' && cy <= 'z') cy = u8(cy - 32);
    }
    if (cx != cy) return cx < cy ? -1 : 1;
  }
  return lx == ly ? 0 : lx < ly ? -1 : 1;
}

// ---------------------------------------------------------------------------------------
// Registration

void init_type() {
  action_row row;
  row.compare = compare;
  datatype::register_(TYPE_SYMBOL, 0, "symbol!", row);
}

}  // namespace vyr::symbol
