// Kept rich-text layouts. The block is made before the layout, so that nothing allocates
// between the layout's entry in the external table and the handle that keeps it reachable:
// a collection in between would release it.
#include "gui/text/handles.h"

#include <memory>

#include "runtime/collector.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/context.h"
#include "runtime/datatypes/handle.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/object.h"
#include "runtime/datatypes/series.h"
#include "runtime/datatypes/word.h"
#include "runtime/externals.h"

namespace vyr::text_box {

namespace {
constexpr i32 CELLS = 4;   // layout, context, text, stale mark
u64 made = 0;

void release(u64 record) { delete reinterpret_cast<draw::laid_text*>(record); }

u32 symbol_of(const char* name) {
  cell w = word::intern(name);
  return word::symbol_id(&w);
}

struct names {
  u32 handles, state, text;
};
// Interned before any pointer into a face is taken: interning may allocate.
const names& words() {
  static const names n{symbol_of("handles"), symbol_of("state"), symbol_of("text")};
  return n;
}

cell* field_of(const cell* object, u32 symbol) {
  if (type_of(object) != TYPE_OBJECT) return nullptr;
  u32 ctx = object::context(object);
  i32 i = _context::find_word(ctx, symbol, true);
  if (i < 0 || u32(i) >= _context::value_count(ctx)) return nullptr;
  return _context::value_at(ctx, u32(i));
}

// The cells of a `handles` block of the kept shape, from its head; null otherwise.
cell* cells_of(cell* handles) {
  if (!handles || type_of(handles) != TYPE_BLOCK || block::rs_length_q(handles) != CELLS) return nullptr;
  return block::rs_abs_at(handles, u32(series::head_index(handles)));
}

// The table entry of a kept layout's handle, -1 when the cell holds none.
i32 entry_of(const cell* h) {
  if (type_of(h) != TYPE_HANDLE || handle::kind_of(h) != handle::RICH_TEXT) return -1;
  i32 slot = handle::external_of(h);
  return externals::live_q(slot, layout_class()) ? slot : -1;
}

const draw::laid_text* current(cell* handles, const draw::context& c) {
  cell* cells = cells_of(handles);
  if (!cells || type_of(&cells[3]) != TYPE_LOGIC || logic::get(&cells[3])) return nullptr;
  i32 slot = entry_of(&cells[0]);
  if (slot < 0) return nullptr;
  auto* t = reinterpret_cast<const draw::laid_text*>(externals::handle_of(slot));
  return t && t->piece(0).layout && t->context() == c.pango ? t : nullptr;
}
}  // namespace

u32 layout_class() {
  static u32 id = externals::register_class("com-object", release);
  return id;
}

u64 layouts_made() { return made; }

const draw::laid_text* layout_of(draw::context& c, const cell* face_in, bool trust) {
  const names& n = words();
  layout_class();
  cell face = *face_in;
  collector::root_guard guard(&face);
  cell* h = field_of(&face, n.handles);
  if (!h) return nullptr;
  if (trust)
    if (const draw::laid_text* t = current(h, c)) return t;
  if (!cells_of(h)) {
    cell b;
    block::make_at(&b, CELLS);
    collector::root_guard gb(&b);
    cell none{TYPE_NONE, 0, 0, 0}, no_layout;
    handle::make_at(&no_layout, 0, handle::RICH_TEXT);
    block::rs_append(&b, &none);
    block::rs_append(&b, &no_layout);
    block::rs_append(&b, &none);
    block::rs_append(&b, logic::of(false));
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
    externals::set_handle(slot, u64(reinterpret_cast<uintptr_t>(fresh.release())));
  } else {
    slot = externals::add(u64(reinterpret_cast<uintptr_t>(fresh.get())), layout_class());
    fresh.release();
    handle::make_at(&cells[0], u32(slot) + 1, handle::RICH_TEXT);
    handle::set_external(&cells[0], slot);
  }
  handle::make_at(&cells[1], u32(c.dpi), handle::RICH_TEXT);
  const cell* text = field_of(&face, n.text);
  cells[2] = text ? *text : cell{TYPE_NONE, 0, 0, 0};
  logic::make_at(&cells[3], false);
  return out;
}

bool mark_stale(const cell* face_in) {
  const names& n = words();
  cell* h = field_of(face_in, n.handles);
  if (h && type_of(h) == TYPE_BLOCK && block::rs_length_q(h) > 0) {
    cell* last = block::rs_abs_at(h, u32(series::head_index(h)) + u32(block::rs_length_q(h)) - 1);
    if (type_of(last) == TYPE_LOGIC) logic::make_at(last, true);
  }
  return !shown_q(face_in);
}

bool shown_q(const cell* face) {
  cell* state = field_of(face, words().state);
  if (!state || type_of(state) != TYPE_BLOCK || block::rs_length_q(state) < 1) return false;
  const cell* first = block::rs_abs_at(state, u32(series::head_index(state)));
  return type_of(first) == TYPE_HANDLE && handle::kind_of(first) == handle::WINDOW && handle::get(first);
}

bool layout_needed_q(const cell* face) {
  cell* h = field_of(face, words().handles);
  if (!h || type_of(h) != TYPE_BLOCK || block::rs_length_q(h) < 1) return true;
  const cell* last = block::rs_abs_at(h, u32(series::head_index(h)) + u32(block::rs_length_q(h)) - 1);
  return type_of(last) != TYPE_LOGIC || logic::get(last);
}

}  // namespace vyr::text_box
