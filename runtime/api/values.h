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

[[noreturn]] inline void fire(const char* category, const char* id) { host().fire(category, id, nullptr, 0); }
[[noreturn]] inline void fire(const char* category, const char* id, const cell* a1) {
  const cell* args[] = {a1};
  host().fire(category, id, args, 1);
}
[[noreturn]] inline void fire(const char* category, const char* id, const cell* a1, const cell* a2) {
  const cell* args[] = {a1, a2};
  host().fire(category, id, args, 2);
}
[[noreturn]] inline void fire(const char* category, const char* id, const cell* a1, const cell* a2,
                              const cell* a3) {
  const cell* args[] = {a1, a2, a3};
  host().fire(category, id, args, 3);
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

// (end of the backend's readers)

// ---- Readers and calls the widgets use ----

// (end of the widgets' readers)

}  // namespace vyr::api
