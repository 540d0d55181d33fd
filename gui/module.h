// The GUI module's entry point, which the runtime's loader finds by name (gui/entry).
#pragma once

extern "C" void vyr_gui_module_init();
