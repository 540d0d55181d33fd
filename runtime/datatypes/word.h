// Word kinds (word!, set-word!, lit-word!, get-word!, refinement!) and issue!: one cell
// layout (context node, symbol id as written, value index or -1). Kinds differ only in type.
// Writers never keep a cell pointer across an allocation: a target cell passed in must not
// live in a series buffer that the call could move (use a local or re-fetch after).
#pragma once
#include "runtime/memory.h"

namespace vyr::word {

constexpr u32 NO_INDEX = 0xFFFFFFFFu;

// The cell words of every word kind and issue!: the context node (0 unbound), the symbol
// id as written, the value index in the context (NO_INDEX when not looked up).
constexpr u32 context(const cell* w) { return w->data1; }
constexpr u32& context(cell* w) { return w->data1; }
constexpr u32 symbol_id(const cell* w) { return w->data2; }
constexpr u32& symbol_id(cell* w) { return w->data2; }
constexpr u32 index(const cell* w) { return w->data3; }
constexpr u32& index(cell* w) { return w->data3; }

inline bool kind_q(u32 type) { return type >= TYPE_WORD && type <= TYPE_ISSUE; }
inline bool any_word_q(u32 type) { return type >= TYPE_WORD && type <= TYPE_REFINEMENT; }

// Constructors
cell intern(const char* name);                 // the global word for a name, as written
cell* make_at(u32 symbol_id, cell* c);         // word! bound to the global context
cell* make_in(const char* name, u32 block);    // at the block's tail (valid until allocation)
cell* make_kind_in(const char* name, u32 block, u32 type);

// Reading and writing through a binding
cell* get_local_word(u32 ctx, u32 index);
cell* get_local_cell(u32 ctx, u32 index);
cell find_or_global(u32 ctx, u32 symbol_id);
const cell* get_value(const cell* w);          // no unset! check (a get-word's evaluation)
const cell* value_checked(const cell* w);      // unset! raises script no-value
void get_local(u32 ctx, u32 index, cell* out); // a context without values raises not-defined
cell* set_from_args(cell* w, const cell* value);   // unset! raises script need-value
cell* set_local(u32 ctx, u32 index, const cell* value);
cell* replace_local(u32 ctx, u32 index, const cell* value, cell* old_out);
cell* name_string(const cell* w, cell* out);   // the name as a string! (cached, head 0)

// Actions
i32 compare(const cell* a, const cell* b, i32 op);
cell* index_q(const cell* w, cell* out);       // none! when not looked up, else index + 1
i32 form(const cell* w, cell* buffer, i32 budget);
i32 mold(const cell* w, cell* buffer, i32 budget);  // punctuation by kind
cell* make(const cell* source, u32 target_type, cell* out);

// Registers word!, then lit-word!, set-word!, get-word! and refinement! (parent word!).
void init();

}  // namespace vyr::word

namespace vyr::refinement {
cell* make_in(const char* name, u32 block);    // unbound (context 0)
}  // namespace vyr::refinement

namespace vyr::issue {
cell* make_at(cell* c, const char* name);      // global context, index -1
cell intern(const char* name);
i32 compare(const cell* a, const cell* b, i32 op);
cell* make(const cell* source, cell* out);
void init();  // registers issue! (parent word!)
}  // namespace vyr::issue
