// The executable's side of the host API: the table of runtime functions the GUI module is
// started with.
#include "runtime/api/host.h"

#include "gui_entry/display_choice.h"
#include "gui_entry/module.h"
#include "gui_entry/view_values.h"
#include "runtime/api/values.h"
#include "runtime/codecs/images.h"
#include "runtime/collector.h"
#include "runtime/cycles.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/cells.h"
#include "runtime/datatypes/context.h"
#include "runtime/datatypes/date.h"
#include "runtime/datatypes/event.h"
#include "runtime/datatypes/handle.h"
#include "runtime/datatypes/image.h"
#include "runtime/datatypes/object.h"
#include "runtime/datatypes/series.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/tuple.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/word.h"
#include "runtime/externals.h"
#include "runtime/fire.h"
#include "runtime/host/clipboard.h"
#include "runtime/imaging/imaging.h"
#include "runtime/ownership.h"
#include "runtime/stack.h"

namespace vyr::gui_module {

// The host API's header-only copies of runtime constants.
static_assert(api::string::ENCODING_UTF8 == string::ENCODING_UTF8 && api::string::CONCAT_APPEND == string::CONCAT_APPEND);
static_assert(u32(api::event::CLICK) == event::CLICK && u32(api::event::SELECT) == event::SELECT &&
              u32(api::event::CHANGE) == event::CHANGE && u32(api::event::FOCUS) == event::FOCUS &&
              u32(api::event::UNFOCUS) == event::UNFOCUS && u32(api::event::RESTORE) == event::TYPE_COUNT);
static_assert(int(api::HANDLE_WINDOW) == int(handle::WINDOW) && int(api::HANDLE_RICH_TEXT) == int(handle::RICH_TEXT));

namespace {

bool decode_jpeg(const u8* bytes, u64 n, u32 width, u32 height, u32* out) {
  image::raster r;
  if (image_codecs::decode_jpeg(bytes, n, r) != image_codecs::OK) return false;
  if (r.width != width || r.height != height) return false;
  for (u64 i = 0, count = r.count(); i < count; i++) out[i] = r.pixels[i] | 0xFF000000u;
  return true;
}

void root_push(const cell* c, u32 n) { collector::guards.push_back({c, n}); }
void root_pop([[maybe_unused]] const cell* c) {
  VYR_ASSERT(!collector::guards.empty() && collector::guards.back().c == c);  // strictly nested
  collector::guards.pop_back();
}

u32 symbol_of(const char* name) {
  cell w = word::intern(name);
  return word::symbol_id(&w);
}

cell* field_of(const cell* object, u32 symbol) {
  if (type_of(object) != TYPE_OBJECT) return nullptr;
  u32 ctx = object::context(object);
  i32 i = _context::find_word(ctx, symbol, true);
  if (i < 0 || u32(i) >= _context::value_count(ctx)) return nullptr;
  return _context::value_at(ctx, u32(i));
}

void text_of(const cell* s, void (*sink)(void*, const char*, u64), void* to) {
  std::string text = string::to_utf8(s);
  sink(to, text.data(), text.size());
}

[[noreturn]] void fire_args(const char* category, const char* id, const cell* const* args, u32 count) {
  switch (count) {
    case 0: fire(category, id);
    case 1: fire(category, id, args[0]);
    case 2: fire(category, id, args[0], args[1]);
    default: fire(category, id, args[0], args[1], args[2]);
  }
}

void* image_lock(const cell* img, bool write) { return new image::lock(img, write); }

}  // namespace

const api::host_table& host_api() {
  static const api::host_table table = {
      .size = sizeof(api::host_table),
      .decode_jpeg = decode_jpeg,
      .root_push = root_push,
      .root_pop = root_pop,
      .symbol_of = symbol_of,
      .field_of = field_of,
      .make_block = block::make_at,
      .block_length = block::rs_length_q,
      .block_at = block::rs_abs_at,
      .block_append = block::rs_append,
      .text_of = text_of,
      .register_external_class = externals::register_class,
      .add_external = externals::add,
      .set_external = externals::set_handle,
      .external_of = externals::handle_of,
      .external_live = [](i32 slot, u32 class_id) { return externals::live_q(slot, class_id); },

      // What the backend, face and draw files use
      .fire = fire_args,
      .gui_module_table = gui_module::table,
      .gui_module_set_field = set_field,
      .gui_module_put_in_map = put_in_map,
      .gui_module_display_choice = display_choice,
      .gui_module_headless_blink_ms = headless_blink_ms,
      .clipboard_current = clipboard::current,
      .clipboard_install = clipboard::install,
      .symbol_same_q = symbol::same_q,
      .cells_length = cells::length,
      .cells_get = cells::get,
      .cells_at = cells::at,
      .image_get_draw_target = image::get_draw_target,
      .image_mark_changed = image::mark_changed,
      .symbol_resolve = symbol::resolve,
      .context_get = _context::get,
      .context_set = _context::set,
      .tuple_count_of = tuple::count_of,
      .cycles_find = cycles::find,
      .cycles_push = cycles::push,
      .cycles_pop = cycles::pop,
      .ownership_check = ownership::check,
      .tuple_byte_at = tuple::byte_at,
      .block_rs_remove_last = block::rs_remove_last,
      .block_insert_value = block::insert_value,
      .symbol_make = symbol::make,
      .context_value_count = _context::value_count,
      .object_get_values = object::get_values,
      .string_rs_length_q = string::rs_length_q,
      .string_load_utf8_strict = string::load_utf8_strict,
      .cells_make_block = cells::make_block,
      .cells_append = cells::append,

      // What the widgets use
      .stack_top = &stack::top,
      .word_intern = [](const char* name) { return word::intern(name); },
      .object_field_named = object::field_named,
      .object_fire_on_set = object::fire_on_set,
      .ownership_set_owner = ownership::set_owner,
      .string_to_utf8 = string::to_utf8,
      .string_load_at = string::load_at,
      .string_load_in_default = string::load_in_default,
      .string_rs_reset = string::rs_reset,
      .string_concatenate = string::concatenate,
      .date_make_at = date::make_at,
      .image_make_at = image::make_at,
      .image_make_from_memory = image::make_from_memory,
      .image_lock = image_lock,
      .image_lock_data = [](const void* l) { return static_cast<const image::lock*>(l)->data(); },
      .image_lock_count = [](const void* l) { return static_cast<const image::lock*>(l)->count(); },
      .image_unlock = [](void* l) { delete static_cast<image::lock*>(l); },

  };
  return table;
}

}  // namespace vyr::gui_module
