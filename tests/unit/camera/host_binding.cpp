// The converters reach the JPEG decoder through the host API: bound here, before any test
// runs, as the module's entry point binds it.
#include "gui_entry/module.h"

static const bool bound = vyr::api::bind(&vyr::gui_module::host_api());
