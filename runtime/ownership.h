// Series ownership: an object whose field holds a series is told when the series changes
// in place. Series edits call `check` twice: before the change with the action's word and
// after it with the word's past form (`append`/`appended`, `clear`/`cleared`, ...).
// Only series whose buffer carries SERIES_OWNED (or owner contexts) have entries.
#pragma once
#include "runtime/cell.h"

namespace vyr::ownership {

void init();
void bind(const cell* value, const cell* owner, const cell* word);
void set_owner(const cell* value, const cell* owner, const cell* word);
void unbind(const cell* value);
void unbind_range(const cell* block, i32 index, i32 n);
// Notifies the owner of `changed` (when it has one with change handlers) and answers
// whether it did. The handler may run user code: callers must re-read positions and
// lengths of the series after a `check` that answered true.
bool check(const cell* changed, const cell* action_word, const cell* new_value, i32 index,
           i32 part);

}  // namespace vyr::ownership
