// The host API: everything the GUI module (vyr-gui.so) may ask of the runtime. The
// executable fills one table of functions (gui_entry/host_api.cpp) and hands it to the
// module's entry point, the mirror of the hook table the module fills for the runtime
// (gui_module::hooks). Module code includes this folder, runtime/cell.h (cell layouts and
// type ids stay header-only) and base/, never another runtime header, and it binds to no
// runtime symbol: a runtime header edit does not change the interface between the two.
// A slot is added at the end, so that the table only grows.
#pragma once
#include <optional>
#include <string>
#include <string_view>

#include "runtime/api/clipboard.h"
#include "runtime/api/gui_module.h"
#include "runtime/api/pixels.h"
#include "runtime/cell.h"

namespace vyr {
struct series_buffer;
}

namespace vyr::api {

struct host_table {
  // sizeof(host_table) as the executable was built: a module built against a longer table
  // refuses to start instead of calling past its end.
  u64 size;

  // ---- Image pixels ----
  // Decodes JPEG file bytes into `out`, a picture of width x height opaque BGRA pixels.
  // False, with `out` in an unspecified state, when the bytes
  // are no JPEG, do not decode, or decode to another size: never raises, so a capture
  // thread may call it.
  bool (*decode_jpeg)(const u8* bytes, u64 n, u32 width, u32 height, u32* out);

  // ---- Rooting ----
  // Keeps n consecutive cells from `c` on alive across collections until the matching pop;
  // pushes and pops nest strictly (root_guard in values.h pairs them).
  void (*root_push)(const cell* c, u32 n);
  void (*root_pop)(const cell* c);

  // ---- Words and object fields ----
  // The symbol of a word's name, interned on first use (interning may allocate).
  u32 (*symbol_of)(const char* name);
  // The value cell of an object's field, null when `object` is no object or has no such
  // field.
  cell* (*field_of)(const cell* object, u32 symbol);

  // ---- Series walking ----
  // An empty block! with room for `capacity` cells.
  cell* (*make_block)(cell* out, i32 capacity);
  // Cells from a block's head to its tail; negative past the tail.
  i32 (*block_length)(const cell* block);
  // The cell at an absolute index of a block's buffer.
  cell* (*block_at)(const cell* block, u32 index);
  cell* (*block_append)(cell* block, const cell* value);
  // A string!'s text from its head as UTF-8, handed to `sink` in one piece.
  void (*text_of)(const cell* string, void (*sink)(void* to, const char* bytes, u64 n), void* to);

  // ---- External resources (what a handle! names, released with its last holder) ----
  u32 (*register_external_class)(const char* name, void (*release)(u64 resource));
  i32 (*add_external)(u64 resource, u32 class_id);
  void (*set_external)(i32 slot, u64 resource);
  u64 (*external_of)(i32 slot);
  // Whether a slot holds a live resource of the class (of any class when class_id is 0).
  bool (*external_live)(i32 slot, u32 class_id);

  // ---- What the backend, face and draw files use ----
  // Raises the catalogue error category/id with `count` (0 to 3) arguments.
  // Never returns (a pointer cannot carry the attribute: api::fire says it for callers).
  void (*fire)(const char* category, const char* id, const cell* const* args, u32 count);
  // The hook table the module fills for the runtime.
  gui_module::hooks& (*gui_module_table)();
  // Sets field `name` of an object (a missing field is left alone); puts key `key` into the
  // map held by field `field` of an object (left alone when the field holds no map).
  void (*gui_module_set_field)(const cell* obj, const char* name, const cell* value);
  void (*gui_module_put_in_map)(const cell* obj, const char* field, const char* key, const cell* value);
  // The display choice of this process, and the headless caret blink phase of its text.
  gui_module::display_choice_t (*gui_module_display_choice)();
  std::optional<i32> (*gui_module_headless_blink_ms)(std::string_view text);
  // The clipboard store in use, and the one installed in its place (null: the in-process one).
  clipboard::store& (*clipboard_current)();
  void (*clipboard_install)(clipboard::store* s);
  // Whether two symbol ids name the same symbol up to case.
  bool (*symbol_same_q)(u32 a, u32 b);
  // A cell series' buffer by node: its cells from the buffer's start, and one of them.
  u32 (*cells_length)(u32 node);
  const cell* (*cells_get)(u32 node, u32 i);
  // The same cell for writing: the buffer's write stamp moves on.
  cell* (*cells_at)(u32 node, u32 i);
  // The premultiplied copy of an image record's pixels that drawing reads and writes.
  image::pixel_view (*image_get_draw_target)(u32 record);
  // Drawing changed the copy: the straight pixels are rebuilt from it on the next access.
  void (*image_mark_changed)(u32 record);
  // The canonical id of a symbol (the same for every spelling up to case).
  u32 (*symbol_resolve)(u32 id);
  // The value cell a word is bound to (null when unbound); sets it (raising as `set` does).
  cell* (*context_get)(const cell* word);
  cell* (*context_set)(cell* word, const cell* value);
  // A tuple!'s count of bytes, 3 to 12.
  u32 (*tuple_count_of)(const cell* tuple);
  // The stack of blocks being walked, that catches a block entered within itself; a push
  // past its room raises internal too-deep.
  bool (*cycles_find)(u32 node);
  void (*cycles_push)(u32 node);
  void (*cycles_pop)();
  // Notifies the owner of a changed series; true when it did (user code may have run).
  bool (*ownership_check)(const cell* changed, const cell* action_word, const cell* new_value,
                          i32 index, i32 part);
  // The byte i of a tuple!.
  u8 (*tuple_byte_at)(const cell* tuple, u32 i);
  // Drops a block's last cell; inserts a copy of `item` at its head or tail, moving the head
  // past it when `advance`.
  void (*block_rs_remove_last)(cell* block);
  void (*block_insert_value)(cell* block, const cell* item, bool at_start, bool advance);
  // The symbol of a name, interned exactly (a new spelling becomes an alias of its case-fold).
  u32 (*symbol_make)(const char* name);
  // The number of values of a context, and an object's (or error's) first value cell.
  u32 (*context_value_count)(u32 ctx);
  cell* (*object_get_values)(const cell* object);
  // A string!'s length in characters from its head (0 past its tail).
  i32 (*string_rs_length_q)(const cell* string);
  // A new string! in `out` from UTF-8 bytes, raising on bytes that are no UTF-8.
  cell* (*string_load_utf8_strict)(const char* bytes, u32 n, cell* out);
  // A new empty block (or another cell series of `type`) with room for n cells; appends a
  // copy of a value to a cell series' buffer.
  cell* (*cells_make_block)(cell* out, u32 n, u32 type);
  void (*cells_append)(u32 node, const cell* value);

  // ---- What the widgets use ----
  // The value stack's next free cell, saved before a handler runs and put back after it
  // raised.
  cell** stack_top;
  // The global word for a name, as written.
  cell (*word_intern)(const char* name);
  // The value cell of an object's field by its name, null when it has none.
  cell* (*object_field_named)(const cell* object, const char* name);
  // Runs the object's change handler for a field set from `old_value` to `new_value`.
  void (*object_fire_on_set)(const cell* object, const cell* word, const cell* old_value,
                             const cell* new_value);
  // Makes `owner` (through its field `word`) the owner of a series value.
  void (*ownership_set_owner)(const cell* value, const cell* owner, const cell* word);
  std::string (*string_to_utf8)(const cell* string);
  // A new string! in `c` from text of `size` bytes in an encoding (ENCODING_UTF8...).
  cell* (*string_load_at)(const char* text, u32 size, cell* c, i32 encoding);
  // A new string! from UTF-8 text appended to the block whose node is `block`.
  cell* (*string_load_in_default)(const char* text, u32 size, u32 block);
  // The string emptied: unit 1, head index 0.
  cell* (*string_rs_reset)(cell* string);
  // `src` (`part` characters, -1 all) added to `dst` by `mode` (CONCAT_APPEND...).
  series_buffer* (*string_concatenate)(cell* dst, const cell* src, i32 part, i32 offset,
                                       bool per_char, i32 mode);
  cell* (*date_make_at)(cell* c, i32 year, i32 month, i32 day, i32 zone_hours,
                        i32 zone_minutes, double time, bool has_time);
  // An image! in `c` over a pixel record (0: an image without pixels).
  cell* (*image_make_at)(cell* c, u32 record);
  // A record over a copy of BGRA pixels (stride 0: w x 4 bytes); may collect.
  u32 (*image_make_from_memory)(u32 w, u32 h, u32 stride, const u8* pixels);
  // A lock over an image's straight pixels, the image rooted while it is held; raises
  // access bad-media for an image without pixels or one locked for writing.
  void* (*image_lock)(const cell* image, bool write);
  u32* (*image_lock_data)(const void* lock);
  u64 (*image_lock_count)(const void* lock);
  void (*image_unlock)(void* lock);

};

namespace detail {
extern const host_table* bound;
}

// The table the module was started with (bind), valid for the module's life.
inline const host_table& host() { return *detail::bound; }
// Binds the module's code to the executable's table: run by the module's entry point, and
// by a program that links module code in itself (a test), before that code runs. False when
// the table is shorter than the one this code was built against.
bool bind(const host_table* table);

}  // namespace vyr::api
