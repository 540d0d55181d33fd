// The symbol table: every name interned once for the run, ids 1-based and never reused.
// Invariant: a symbol's alias is -1 (canonical) or the id of a canonical symbol, never of
// another alias, whatever order the index's resizes leave its buckets in.
#pragma once
#include <string_view>

#include "runtime/memory.h"

namespace vyr::symbol {

extern u32 block;  // node of the symbol block (cell n-1 is symbol n)
extern u32 table;  // node of the symbol index (hash table of kind 2)

constexpr u32 INITIAL_CAPACITY = 2600;
void init();  // idempotent: the block (room for 2,600 at first) and the index, both roots

u32 make(const char* name);                             // exact interning with case aliases
u32 make_from_bytes(const char* bytes, u32 length);     // the same for a counted name
u32 make_any_case(const char* name);                    // an existing variant is returned
u32 from_string(const cell* value, u32 length);         // a string!'s characters as a name

// The entry, no allocation; valid until the next allocation.
inline cell* entry(u32 id) { return buffer_of(block)->unstamped_cells() + (id - 1); }
cell* get(u32 id);           // the entry after its string form is cached (may allocate)
cell* cache_string(u32 id);  // fills word 2 with a string! buffer of the name
u32 string_node(u32 id);     // the cached string! buffer (made on first need)
const char* get_c_string(u32 id);  // NUL-terminated UTF-8 bytes; valid until an allocation
std::string_view name(u32 id);     // the UTF-8 bytes; valid until the next allocation
// The canonical id (binding and every word comparison ask it: inline).
inline u32 resolve(u32 id) {
  i32 alias = i32(entry(id)->data1);
  return alias > 0 ? u32(alias) : id;
}
// Whether two ids name the same symbol up to case (the same canonical id).
inline bool same_q(u32 a, u32 b) { return resolve(a) == resolve(b); }
i32 get_alias(u32 id);
u32 count();                 // symbols interned so far

i32 compare(const cell* a, const cell* b, i32 op);  // the compare action of symbol!
void init_type();            // registers symbol! (compare only)

}  // namespace vyr::symbol
