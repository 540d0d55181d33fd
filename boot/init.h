// Runtime initialisation in dependency order; safe to call more than once.
#pragma once
#include "runtime/cell.h"
#include "runtime/hooks.h"

namespace vyr::boot {

void init_runtime();

}  // namespace vyr::boot
