// The path kinds (path!, lit-path!, set-path!, get-path!) and paren!: blocks with another
// type id. Their cells are stored as a block's; what is their own is how they are made
// and how they print (punctuation follows from the type id, it is never stored).
#pragma once
#include "runtime/datatypes/action_slots.h"

namespace vyr::path {

// Constructors
cell* push(cell* c);               // retypes c to path! and pushes a copy (the lexer)
cell* make_at(cell* c, i32 n);     // an empty path! with room for n cells

// Actions (path!; the other kinds inherit all but mold)
const cell* make(const cell* proto, const cell* spec, u32 type);
const cell* to(const cell* proto, const cell* spec, u32 type);
i32 form(const cell* value, cell* out, const cell* part, i32 budget);
i32 mold(const cell* value, cell* out, bool only, bool all, bool flat, const cell* part,
         i32 budget, i32 indent);
const cell* copy(const cell* value, cell* dest, const cell* part, bool deep,
                 const cell* types);

void init();  // registers path!, lit-path!, set-path! and get-path!, in that order

}  // namespace vyr::path

namespace vyr::lit_path {
cell* push(cell* c);
i32 mold(const cell* value, cell* out, bool only, bool all, bool flat, const cell* part,
         i32 budget, i32 indent);
}  // namespace vyr::lit_path

namespace vyr::set_path {
cell* push(cell* c);
i32 mold(const cell* value, cell* out, bool only, bool all, bool flat, const cell* part,
         i32 budget, i32 indent);
}  // namespace vyr::set_path

namespace vyr::get_path {
cell* push(cell* c);
i32 mold(const cell* value, cell* out, bool only, bool all, bool flat, const cell* part,
         i32 budget, i32 indent);
}  // namespace vyr::get_path

namespace vyr::paren {
cell* push(cell* c);
i32 mold(const cell* value, cell* out, bool only, bool all, bool flat, const cell* part,
         i32 budget, i32 indent);
void init();  // registers paren!
}  // namespace vyr::paren
