// Runtime initialisation in dependency order; safe to call more than once.
#pragma once
#include "runtime/cell.h"

namespace vyr::boot {

void init_runtime();
extern cell root;  // the root block: values that live for the whole run

}  // namespace vyr::boot
