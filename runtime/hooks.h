// The registry of upward calls: what the modules below the interpreter (the core and the
// datatypes) ask of the layers above them. A lower module never includes an upper one's
// header (tools/check_layers.py holds the table), so each such call is a function pointer
// declared here, grouped by caller, and filled at start-up by boot/hooks.cpp. A null
// pointer means the upper layer is not linked in (a unit test of the lower layers alone).
#pragma once
#include "runtime/cell.h"

namespace vyr::hooks {

// ---- native!, action! and op! (runtime/datatypes/native.cpp) ---------------------------
// The interpreter's argument cache of a function-like value (interpreter::cache_spec).
using cache_spec_fn = u32 (*)(const cell* fn);
extern cache_spec_fn cache_spec;
// True when two argument caches gather the same arguments (interpreter::same_call_shape).
using same_call_shape_fn = bool (*)(u32 cache_a, u32 cache_b);
extern same_call_shape_fn same_call_shape;
// How many entries the natives table has registered (natives::registered).
using registered_fn = u32 (*)();
extern registered_fn natives_registered;

// ---- port! (runtime/datatypes/port.cpp) ------------------------------------------------
// Calls an actor function with every slot of its argument list (interpreter::call_slots).
using call_slots_fn = void (*)(const cell* fn, const cell* slots, u32 n, const cell* name,
                               cell* result);
extern call_slots_fn call_slots;

}  // namespace vyr::hooks

namespace vyr::boot {

// The root block: values that live for the whole run. Made and rooted by
// boot::init_runtime before any datatype is set up; the datatypes and the codecs place
// values in it.
extern cell root;

}  // namespace vyr::boot
