// handle!: an opaque operating-system handle (a window, font, monitor, text layout or file
// descriptor) as a 32-bit value in word 2 with its kind in word 1; word 3 is always -1.
// Scripts can only form, mold and compare handles; GUI kinds hold ids into the GUI layer's
// tables, `fd` the descriptor itself.
#pragma once
#include "runtime/datatypes/action_slots.h"

namespace vyr::handle {

enum kind : u32 { NULL_KIND = 0, FD = 1, MONITOR = 2, WINDOW = 3, FONT = 4, RICH_TEXT = 5 };
constexpr u32 KIND_COUNT = 6;
const char* kind_name(u32 kind);  // "null", "fd", ... ; "" for a kind beyond the table

// Constructors
cell* make_at(cell* c, u32 handle, u32 kind);
cell* box(u32 handle, u32 kind);  // into the result slot at stack::arguments
cell* make_in(const cell* block, u32 handle, u32 kind);
cell* push(u32 handle, u32 kind);
cell* push_null();
inline u32 get(const cell* c) { return c->data2; }
inline u32 kind_of(const cell* c) { return c->data1; }
// The entry of the external resource table a GUI handle keeps alive, -1 for none: the
// collector marks it while the handle is reachable.
inline i32 external_of(const cell* c) { return static_cast<i32>(c->data3); }
inline void set_external(cell* c, i32 slot) { c->data3 = static_cast<u32>(slot); }

// Actions: form "00010A2Ch"; mold "handle!", with /all "#[handle! 00010A2Ch window]";
// compare against another handle as signed 32-bit values (kinds ignored), else 1.
i32 form(const cell* value, cell* out, const cell* part, i32 budget);
i32 mold(const cell* value, cell* out, bool only, bool all, bool flat, const cell* part,
         i32 budget, i32 indent);
i32 compare(const cell* a, const cell* b, i32 op);

void init();  // registers handle! (parent integer!, nothing inherited)

}  // namespace vyr::handle
