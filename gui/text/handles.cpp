// Kept rich-text layouts. The block is made before the layout, so that nothing allocates
// between the layout's entry in the external table and the handle that keeps it reachable:
// a collection in between would release it.
#include "gui/text/handles.h"

#include <memory>

#include "runtime/api/values.h"

namespace vyr::text_box {

namespace {
constexpr i32 CELLS = 4;   // layout, context, text, stale mark
u64 made = 0;

void release(u64 record) { delete reinterpret_cast<draw::laid_text*>(record); }

struct names {
  u32 handles, state, text;
};
// Interned before any pointer into a face is taken: interning may allocate.
const names& words() {
  const api::host_table& h = api::host();
  static const names n{h.symbol_of("handles"), h.symbol_of("state"), h.symbol_of("text")};
  return n;
}

cell* field_of(const cell* object, u32 symbol) { return api::host().field_of(object, symbol); }
i32 length_of(const cell* block) { return api::host().block_length(block); }
// The cell `offset` cells past a block's head.
cell* at(const cell* block, i32 offset) { return api::host().block_at(block, u32(api::head_index(block) + offset)); }

// The cells of a `handles` block of the kept shape, from its head; null otherwise.
cell* cells_of(cell* handles) {
  if (!handles || type_of(handles) != TYPE_BLOCK || length_of(handles) != CELLS) return nullptr;
  return at(handles, 0);
}

// The table entry of a kept layout's handle, -1 when the cell holds none.
i32 entry_of(const cell* h) {
  if (type_of(h) != TYPE_HANDLE || api::handle_kind_of(h) != api::HANDLE_RICH_TEXT) return -1;
  i32 slot = api::handle_slot(h);
  return api::host().external_live(slot, layout_class()) ? slot : -1;
}

const draw::laid_text* current(cell* handles, const draw::context& c) {
  cell* cells = cells_of(handles);
  if (!cells || type_of(&cells[3]) != TYPE_LOGIC || api::logic_of(&cells[3])) return nullptr;
  i32 slot = entry_of(&cells[0]);
  if (slot < 0) return nullptr;
  auto* t = reinterpret_cast<const draw::laid_text*>(api::host().external_of(slot));
  return t && t->piece(0).layout && t->context() == c.pango ? t : nullptr;
}
}  // namespace

u32 layout_class() {
  static u32 id = api::host().register_external_class("com-object", release);
  return id;
}

u64 layouts_made() { return made; }

const draw::laid_text* layout_of(draw::context& c, const cell* face_in, bool trust) {
  const names& n = words();
  layout_class();
  cell face = *face_in;
  api::root_guard guard(&face);
  cell* h = field_of(&face, n.handles);
  if (!h) return nullptr;
  if (trust)
    if (const draw::laid_text* t = current(h, c)) return t;
  if (!cells_of(h)) {
    const api::host_table& host = api::host();
    cell b;
    host.make_block(&b, CELLS);
    api::root_guard gb(&b);
    cell none = api::none(), no_layout, no;
    api::make_handle(&no_layout, 0, api::HANDLE_RICH_TEXT);
    host.block_append(&b, &none);
    host.block_append(&b, &no_layout);
    host.block_append(&b, &none);
    host.block_append(&b, api::make_logic(&no, false));
    if (!(h = field_of(&face, n.handles))) return nullptr;
    *h = b;
  }
  auto fresh = std::make_unique<draw::laid_text>();
  draw::lay_out_face(c, &face, *fresh);
  // The same text laid out again (each query of a key after the text was set anew)
  // takes the layout already shaped.
  if (fresh->layout) fresh->layout = draw::kept_twin(fresh->layout, fresh->text);
  made++;
  // From here to the handle nothing allocates.
  cell* cells = cells_of(field_of(&face, n.handles));
  if (!cells) return nullptr;
  const draw::laid_text* out = fresh.get();
  i32 slot = entry_of(&cells[0]);
  if (slot >= 0) {
    // The entry keeps its index and lets the layout it held go.
    api::host().set_external(slot, u64(reinterpret_cast<uintptr_t>(fresh.release())));
  } else {
    slot = api::host().add_external(u64(reinterpret_cast<uintptr_t>(fresh.get())), layout_class());
    fresh.release();
    api::make_handle(&cells[0], u32(slot) + 1, api::HANDLE_RICH_TEXT);
    api::set_handle_slot(&cells[0], slot);
  }
  api::make_handle(&cells[1], u32(c.dpi), api::HANDLE_RICH_TEXT);
  const cell* text = field_of(&face, n.text);
  cells[2] = text ? *text : api::none();
  api::make_logic(&cells[3], false);
  return out;
}

bool mark_stale(const cell* face_in) {
  const names& n = words();
  cell* h = field_of(face_in, n.handles);
  if (h && type_of(h) == TYPE_BLOCK && length_of(h) > 0) {
    cell* last = at(h, length_of(h) - 1);
    if (type_of(last) == TYPE_LOGIC) api::make_logic(last, true);
  }
  return !shown_q(face_in);
}

bool shown_q(const cell* face) {
  cell* state = field_of(face, words().state);
  if (!state || type_of(state) != TYPE_BLOCK || length_of(state) < 1) return false;
  const cell* first = at(state, 0);
  return type_of(first) == TYPE_HANDLE && api::handle_kind_of(first) == api::HANDLE_WINDOW &&
         api::handle_value(first);
}

bool layout_needed_q(const cell* face) {
  cell* h = field_of(face, words().handles);
  if (!h || type_of(h) != TYPE_BLOCK || length_of(h) < 1) return true;
  const cell* last = at(h, length_of(h) - 1);
  return type_of(last) != TYPE_LOGIC || api::logic_of(last);
}

}  // namespace vyr::text_box
