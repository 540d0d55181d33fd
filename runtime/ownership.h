// Series ownership: an object whose field holds a series is told when the series changes
// in place. Series edits call `check` twice: before the change with the action's word and
// after it with the word's past form (`append`/`appended`, `clear`/`cleared`, ...).
// The table is weak: an entry never keeps its series or its owner alive; entries whose
// series or owner died are swept by the collector. SERIES_OWNED on a buffer only says an
// entry may exist: the table is what decides.
#pragma once
#include "runtime/cell.h"
#include "runtime/hooks.h"

namespace vyr::ownership {

constexpr u32 ENTRY_CELLS = 3;  // the owned value, the owner object, the owner's field word

extern u32 table;  // node of the table (kind 4), 0 before `init`

void init();       // idempotent
// Gives ownership of the value (deeply for blocks and objects) to the owner's field; a
// series that already has a live owner keeps it.
void bind(const cell* value, const cell* owner, const cell* word);
// `bind`, then marks the owner's context as an owner.
void set_owner(const cell* value, const cell* owner, const cell* word);
void unbind(const cell* value);
void unbind_range(const cell* block, i32 index, i32 n);
// The entry of a series (or object context) node: its three cells (owned value, owner,
// word), valid until the next allocation; null when the node is not owned.
cell* find_owner(u32 node);
// Notifies the owner of `changed` (when it has one with change handlers) and answers
// whether it did. The handler may run user code: callers must re-read positions and
// lengths of the series after a `check` that answered true.
bool check(const cell* changed, const cell* action_word, const cell* new_value, i32 index,
           i32 part);

}  // namespace vyr::ownership
