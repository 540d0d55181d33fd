// The GUI module's entry point, which the runtime's loader finds by name (gui_entry).
#pragma once

#include "runtime/api/host.h"

// Binds the module to the executable's host table and installs its hooks; false, with
// nothing installed, when the table is shorter than the one the module was built against.
extern "C" bool vyr_gui_module_init(const vyr::api::host_table* host);
