// The host API's readers and makers of cells whose layout runtime/cell.h describes: plain
// header code, no call into the runtime. gui_entry/host_api.cpp checks the constants here
// against the runtime's own.
#pragma once
#include <string>

#include "runtime/api/host.h"

namespace vyr::api {

inline cell none() { return cell{TYPE_NONE, 0, 0, 0}; }

// logic!
inline bool logic_of(const cell* c) { return c->data1 != 0; }
inline cell* make_logic(cell* c, bool value) {
  *c = cell{TYPE_LOGIC, value ? 1u : 0u, 0, 0};
  return c;
}

// Series: the head index of a block!, string! or other series.
inline i32 head_index(const cell* series) { return static_cast<i32>(series->data1); }

// A string!'s text from its head, as UTF-8.
inline std::string text_of(const cell* string) {
  std::string out;
  host().text_of(string, [](void* to, const char* bytes, u64 n) {
    static_cast<std::string*>(to)->assign(bytes, n);
  }, &out);
  return out;
}

// pair! and point!: float axes (0 x, 1 y, 2 z) stored as their bits.
inline float point_axis(const cell* c, u32 axis) {
  u32 w = axis == 0 ? c->data1 : axis == 1 ? c->data2 : c->data3;
  float f;
  std::memcpy(&f, &w, sizeof f);
  return f;
}
inline cell make_point(float x, float y) {
  cell c{TYPE_POINT2D, 0, 0, 0};
  std::memcpy(&c.data1, &x, sizeof x);
  std::memcpy(&c.data2, &y, sizeof y);
  return c;
}

// handle!: a kind, the value, and the slot of the external table that owns what it names.
enum handle_kind : u32 { HANDLE_WINDOW = 3, HANDLE_RICH_TEXT = 5 };
inline cell* make_handle(cell* c, u32 value, u32 kind) {
  *c = cell{TYPE_HANDLE, kind, value, 0xFFFFFFFFu};
  return c;
}
inline u32 handle_kind_of(const cell* c) { return c->data1; }
inline u32 handle_value(const cell* c) { return c->data2; }
inline i32 handle_slot(const cell* c) { return static_cast<i32>(c->data3); }
inline void set_handle_slot(cell* c, i32 slot) { c->data3 = static_cast<u32>(slot); }

// Keeps `n` consecutive cells from `c` on alive across collections while it lives; guards
// nest strictly.
class root_guard {
 public:
  explicit root_guard(const cell* c, u32 n = 1) : c_(c) { host().root_push(c, n); }
  ~root_guard() { host().root_pop(c_); }
  root_guard(const root_guard&) = delete;
  root_guard& operator=(const root_guard&) = delete;

 private:
  const cell* c_;
};

// ---- Readers and calls the backend, face and draw files use ----

[[noreturn]] inline void fire(const char* category, const char* id) {
  host().fire(category, id, nullptr, 0);
  __builtin_unreachable();
}
[[noreturn]] inline void fire(const char* category, const char* id, const cell* a1) {
  const cell* args[] = {a1};
  host().fire(category, id, args, 1);
  __builtin_unreachable();
}
[[noreturn]] inline void fire(const char* category, const char* id, const cell* a1, const cell* a2) {
  const cell* args[] = {a1, a2};
  host().fire(category, id, args, 2);
  __builtin_unreachable();
}
[[noreturn]] inline void fire(const char* category, const char* id, const cell* a1, const cell* a2,
                              const cell* a3) {
  const cell* args[] = {a1, a2, a3};
  host().fire(category, id, args, 3);
  __builtin_unreachable();
}

namespace gui_module {
inline vyr::gui_module::hooks& table() { return host().gui_module_table(); }
inline void set_field(const cell* obj, const char* name, const cell* value) {
  host().gui_module_set_field(obj, name, value);
}
inline void put_in_map(const cell* obj, const char* field, const char* key, const cell* value) {
  host().gui_module_put_in_map(obj, field, key, value);
}
inline vyr::gui_module::display_choice_t display_choice() { return host().gui_module_display_choice(); }
inline std::optional<i32> headless_blink_ms(std::string_view text) {
  return host().gui_module_headless_blink_ms(text);
}
}  // namespace gui_module

namespace clipboard {
inline vyr::clipboard::store& current() { return host().clipboard_current(); }
inline void install(vyr::clipboard::store* s) { host().clipboard_install(s); }
}  // namespace clipboard

namespace symbol {
inline bool same_q(u32 a, u32 b) { return host().symbol_same_q(a, b); }
inline u32 resolve(u32 id) { return host().symbol_resolve(id); }
inline u32 make(const char* name) { return host().symbol_make(name); }
}  // namespace symbol

namespace _context {
inline cell* get(const cell* word) { return host().context_get(word); }
inline cell* set(cell* word, const cell* value) { return host().context_set(word, value); }
inline u32 value_count(u32 ctx) { return host().context_value_count(ctx); }
}  // namespace _context

// The head index of a series value, as written back.
namespace series {
constexpr u32 index(const cell* v) { return v->data1; }
constexpr u32& index(cell* v) { return v->data1; }
}  // namespace series

namespace tuple {
inline u32 count_of(const cell* t) { return host().tuple_count_of(t); }
inline u8 byte_at(const cell* t, u32 i) { return host().tuple_byte_at(t, i); }
}  // namespace tuple

namespace cycles {
inline bool find(u32 node) { return host().cycles_find(node); }
inline void push(u32 node) { host().cycles_push(node); }
inline void pop() { host().cycles_pop(); }
}  // namespace cycles

namespace ownership {
inline bool check(const cell* changed, const cell* action_word, const cell* new_value, i32 index, i32 part) {
  return host().ownership_check(changed, action_word, new_value, index, part);
}
}  // namespace ownership

namespace word {
constexpr u32 symbol_id(const cell* w) { return w->data2; }
inline bool any_word_q(u32 type) { return type >= TYPE_WORD && type <= TYPE_REFINEMENT; }
}  // namespace word

namespace cells {
inline u32 length(u32 node) { return host().cells_length(node); }
inline const cell* get(u32 node, u32 i) { return host().cells_get(node, i); }
inline cell* at(u32 node, u32 i) { return host().cells_at(node, i); }
inline cell* make_block(cell* out, u32 n, u32 type = TYPE_BLOCK) { return host().cells_make_block(out, n, type); }
inline void append(u32 node, const cell* value) { host().cells_append(node, value); }
// Cells from a block value's head index to its tail (0 when the head lies past it).
inline u32 remaining(const cell* block) {
  u32 n = length(block->data2);
  return block->data1 < n ? n - block->data1 : 0;
}
}  // namespace cells

namespace image {
inline vyr::image::pixel_view get_draw_target(u32 record) { return host().image_get_draw_target(record); }
inline void mark_changed(u32 record) { host().image_mark_changed(record); }
}  // namespace image

namespace object {
constexpr u32 context(const cell* o) { return o->data1; }
inline cell* get_values(const cell* o) { return host().object_get_values(o); }
}  // namespace object

namespace pair {
inline cell* make_at(cell* c, i32 x, i32 y) {
  *c = cell{TYPE_PAIR, 0, static_cast<u32>(x), static_cast<u32>(y)};
  return c;
}
}  // namespace pair

namespace block {
inline cell* make_at(cell* c, i32 n) { return host().make_block(c, n); }
inline i32 rs_length_q(const cell* b) { return host().block_length(b); }
inline cell* rs_abs_at(const cell* b, u32 index) { return host().block_at(b, index); }
inline cell* rs_append(cell* b, const cell* item) { return host().block_append(b, item); }
inline void rs_remove_last(cell* b) { host().block_rs_remove_last(b); }
inline void insert_value(cell* b, const cell* item, bool at_start, bool advance) {
  host().block_insert_value(b, item, at_start, advance);
}
}  // namespace block

namespace point {
inline void set(cell* c, u32 axis, float v) {
  u32& w = axis == 0 ? c->data1 : axis == 1 ? c->data2 : c->data3;
  std::memcpy(&w, &v, sizeof v);
}
}  // namespace point

namespace string {
inline i32 rs_length_q(const cell* s) { return host().string_rs_length_q(s); }
inline cell* load_utf8_strict(const char* bytes, u32 n, cell* out) { return host().string_load_utf8_strict(bytes, n, out); }
}  // namespace string

// ---- Readers and calls the widgets use ----

namespace stack {
inline cell*& top() { return *host().stack_top; }
}  // namespace stack

namespace word {
inline cell intern(const char* name) { return host().word_intern(name); }
}  // namespace word

namespace object {
inline cell* field_named(const cell* object, const char* name) { return host().object_field_named(object, name); }
inline void fire_on_set(const cell* object, const cell* word, const cell* old_value, const cell* new_value) {
  host().object_fire_on_set(object, word, old_value, new_value);
}
}  // namespace object

namespace ownership {
inline void set_owner(const cell* value, const cell* owner, const cell* word) {
  host().ownership_set_owner(value, owner, word);
}
}  // namespace ownership

namespace string {
constexpr i32 ENCODING_UTF8 = 0;
constexpr i32 CONCAT_APPEND = 0;
inline std::string to_utf8(const cell* string) { return host().string_to_utf8(string); }
inline cell* load_at(const char* text, u32 size, cell* c, i32 encoding) {
  return host().string_load_at(text, size, c, encoding);
}
inline cell* load_in_default(const char* text, u32 size, u32 block) {
  return host().string_load_in_default(text, size, block);
}
inline cell* rs_reset(cell* string) { return host().string_rs_reset(string); }
inline series_buffer* concatenate(cell* dst, const cell* src, i32 part, i32 offset, bool per_char, i32 mode) {
  return host().string_concatenate(dst, src, part, offset, per_char, mode);
}
}  // namespace string

namespace series {
constexpr u32 node(const cell* v) { return v->data2; }
}  // namespace series

namespace integer {
inline i32 get(const cell* c) { return static_cast<i32>(c->data2); }
inline cell* make_at(cell* c, i32 value) {
  *c = cell{TYPE_INTEGER, 0, static_cast<u32>(value), 0};
  return c;
}
}  // namespace integer

namespace logic {
inline u32 get(const cell* c) { return c->data1; }
inline cell* make_at(cell* c, bool value) { return make_logic(c, value); }
}  // namespace logic

namespace pair {
inline i32 x_of(const cell* c) { return static_cast<i32>(c->data2); }
inline i32 y_of(const cell* c) { return static_cast<i32>(c->data3); }
}  // namespace pair

// float! and percent!: a double in words 2-3.
namespace float_ {
inline cell* make_at(cell* c, double value) {
  *c = cell{TYPE_FLOAT, 0, 0, 0};
  set_cell_float(c, value);
  return c;
}
}  // namespace float_
namespace percent {
inline cell* make_at(cell* c, double value) {
  *c = cell{TYPE_PERCENT, 0, 0, 0};
  set_cell_float(c, value);
  return c;
}
}  // namespace percent

// date!: year, month and day packed in word 1.
namespace date {
inline u32 packed_of(const cell* c) { return c->data1; }
inline i32 year_of(u32 packed) { return static_cast<i32>(packed) >> 17; }
inline i32 month_of(u32 packed) { return static_cast<i32>((packed >> 12) & 0xF); }
inline i32 day_of(u32 packed) { return static_cast<i32>((packed >> 7) & 0x1F); }
inline cell* make_at(cell* c, i32 year, i32 month, i32 day, i32 zone_hours, i32 zone_minutes, double time,
                     bool has_time) {
  return host().date_make_at(c, year, month, day, zone_hours, zone_minutes, time, has_time);
}
}  // namespace date

namespace image {
inline u32 record_of(const cell* c) { return c->data2; }  // 0: no pixels
inline u32 width_of(const cell* c) { return c->data3 & 0xFFFF; }
inline u32 height_of(const cell* c) { return c->data3 >> 16; }
inline cell* make_at(cell* c, u32 record) { return host().image_make_at(c, record); }
inline u32 make_from_memory(u32 w, u32 h, u32 stride, const u8* pixels) {
  return host().image_make_from_memory(w, h, stride, pixels);
}
// The image's straight pixels, held (and the image rooted) for the lock's life.
class lock {
 public:
  lock(const cell* image, bool write) : lock_(host().image_lock(image, write)) {}
  ~lock() { host().image_unlock(lock_); }
  lock(const lock&) = delete;
  lock& operator=(const lock&) = delete;
  u32* data() const { return host().image_lock_data(lock_); }
  u64 count() const { return host().image_lock_count(lock_); }

 private:
  void* lock_;
};
}  // namespace image

// Event type codes (1-based, in the order of the type words).
namespace event {
enum code : u32 {
  DOWN = 1, UP, MID_DOWN, MID_UP, ALT_DOWN, ALT_UP, AUX_DOWN, AUX_UP, CLICK, DBL_CLICK,
  WHEEL, OVER, KEY, KEY_DOWN, KEY_UP, IME, FOCUS, UNFOCUS, ENTER, ZOOM, PAN, ROTATE, TWO_TAP,
  PRESS_TAP, SELECT, CHANGE, MENU, CLOSE, MOVE, RESIZE, MOVING, RESIZING, TIME, DRAWING,
  SCROLL, MINIMIZE, MAXIMIZE, RESTORE
};
}  // namespace event

}  // namespace vyr::api
