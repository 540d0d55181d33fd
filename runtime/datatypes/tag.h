// tag!, email! and ref!: string kinds that hold their text as string! does (without the
// delimiters) and differ in how they are written and, for email!, in path access to the
// two halves of an address. Each registers after string! and inherits the rest from it.
#pragma once
#include "runtime/datatypes/action_slots.h"

namespace vyr::tag {
i32 form(const cell* value, cell* out, const cell* part, i32 budget);  // "<" text ">"
i32 mold(const cell* value, cell* out, bool only, bool all, bool flat, const cell* part,
         i32 budget, i32 indent);
cell* push(const cell* value);
void init();  // registers tag! (after string!)
}  // namespace vyr::tag

namespace vyr::email {
i32 mold(const cell* value, cell* out, bool only, bool all, bool flat, const cell* part,
         i32 budget, i32 indent);  // the text as it is, no quotes
// `user`, `host` (get and set) or an integer! (a character, as string! answers it).
const cell* eval_path(cell* parent, cell* element, cell* value, const path_args& walk);
void init();  // registers email! (after string!)
}  // namespace vyr::email

namespace vyr::ref {
i32 mold(const cell* value, cell* out, bool only, bool all, bool flat, const cell* part,
         i32 budget, i32 indent);  // "@" text
cell* push(const cell* value);
void init();  // registers ref! (after string!)
}  // namespace vyr::ref
