// The registry's pointers (see hooks.h), null until boot/hooks.cpp fills them.
#include "runtime/hooks.h"

namespace vyr::hooks {

cache_spec_fn cache_spec = nullptr;
same_call_shape_fn same_call_shape = nullptr;
native_exists_fn native_exists = nullptr;
call_slots_fn call_slots = nullptr;

}  // namespace vyr::hooks

namespace vyr::boot {

cell root{TYPE_NONE, 0, 0, 0};

}  // namespace vyr::boot
