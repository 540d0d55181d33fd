// The values the GUI's start-up writes into system/view (platform version, DPI, metrics,
// system font), and the writers both sides use: the runtime writes them itself on the
// headless display without loading the module (gui_entry/view_routines.cpp), the module
// writes them on its own start-up (gui/backend/init.cpp). One record, read by both.
#pragma once
#include "runtime/cell.h"

namespace vyr::gui_module {

struct startup_values {
  u8 version[3];           // system/view/platform/version
  i32 build, product;
  float scroller;          // logical pixels a scroll bar is wide, both ways
  u8 text[3], window[3], panel[3];   // metrics/colors: text, window, panel
  const char* system_font;   // the family of fonts/system where fontconfig is not asked
  i32 font_size;             // fonts/size, in points
};
inline constexpr startup_values startup{{10, 0, 0}, 0, 1, 17.0f, {0, 0, 0}, {255, 255, 255},
                                        {240, 240, 240}, "sans-serif", 9};

// The object of system/view/`name`, or none.
cell view_field(const char* name);
// Sets field `name` of an object; a missing field is left alone.
void set_field(const cell* obj, const char* name, const cell* value);
// Puts key `key` into the map held by field `field` of an object (left alone when the field
// holds no map).
void put_in_map(const cell* obj, const char* field, const char* key, const cell* value);

}  // namespace vyr::gui_module
