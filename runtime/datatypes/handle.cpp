// handle!: constructors, the text, the comparison and registration.
#include "runtime/datatypes/handle.h"

#include <cstdio>
#include <string>

#include "runtime/datatypes/datatype.h"
#include "runtime/stack.h"
#include "runtime/memory.h"

namespace vyr::handle {

namespace {
const char* const kind_names[KIND_COUNT] = {"null", "fd", "monitor", "window", "font",
                                            "rich-text"};
}  // namespace

const char* kind_name(u32 kind) { return kind < KIND_COUNT ? kind_names[kind] : ""; }

// ---- Constructors -----------------------------------------------------------------------

cell* make_at(cell* c, u32 handle, u32 kind) {
  *c = cell{TYPE_HANDLE, kind, handle, 0xFFFFFFFFu};
  return c;
}
cell* box(u32 handle, u32 kind) { return make_at(stack::arguments, handle, kind); }
cell* make_in(const cell* block, u32 handle, u32 kind) {
  series_buffer* b = buffer_of(block->data2);
  return make_at(memory::alloc_tail_cell(b), handle, kind);
}
cell* push(u32 handle, u32 kind) { return make_at(stack::push_slot(), handle, kind); }
cell* push_null() { return push(0, NULL_KIND); }

// ---- Actions ----------------------------------------------------------------------------

i32 form(const cell* value, cell* out, const cell* part, i32 budget) {
  char text[16];
  std::snprintf(text, sizeof text, "%08Xh", get(value));
  return datatype::append_text(out, text, budget);
}

i32 mold(const cell* value, cell* out, bool only, bool all, bool flat, const cell* part,
         i32 budget, i32 indent) {
  if (!all) return datatype::append_text(out, "handle!", budget);
  char text[16];
  std::snprintf(text, sizeof text, "%08Xh", get(value));
  std::string s = std::string("#[handle! ") + text;
  if (kind_of(value) > 0) s += std::string(" ") + kind_name(kind_of(value));
  s += "]";
  return datatype::append_text(out, s.c_str(), budget);
}

i32 compare(const cell* a, const cell* b, i32 op) {
  if (type_of(b) != TYPE_HANDLE) return 1;
  i32 x = static_cast<i32>(get(a)), y = static_cast<i32>(get(b));
  return x < y ? -1 : x > y ? 1 : 0;
}

// ---- Registration -----------------------------------------------------------------------

void init() {
  action_row row;  // integer! is the parent by name only: nothing is inherited
#define VYR_NO_ENTRY(n, name, sig) row.name = nullptr;
  VYR_ACTION_SLOTS(VYR_NO_ENTRY)
#undef VYR_NO_ENTRY
  row.form = form;
  row.mold = mold;
  row.compare = compare;
  datatype::register_(TYPE_HANDLE, TYPE_INTEGER, "handle!", row);
}

}  // namespace vyr::handle
