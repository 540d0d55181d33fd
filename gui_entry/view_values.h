// The values the GUI's start-up writes into system/view (platform version, DPI, metrics,
// system font), and the writers both sides use: the runtime writes them itself on the
// headless display without loading the module (gui_entry/view_routines.cpp), the module
// writes them on its own start-up (gui/backend/init.cpp). One record, read by both.
#pragma once
#include "runtime/api/gui_module.h"
#include "runtime/cell.h"

namespace vyr::gui_module {

// The object of system/view/`name`, or none.
cell view_field(const char* name);
// Sets field `name` of an object; a missing field is left alone.
void set_field(const cell* obj, const char* name, const cell* value);
// Puts key `key` into the map held by field `field` of an object (left alone when the field
// holds no map).
void put_in_map(const cell* obj, const char* field, const char* key, const cell* value);

}  // namespace vyr::gui_module
