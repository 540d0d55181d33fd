// Raising language errors. Every raise names its catalogue category and id by word;
// non-local exits travel as C++ exceptions of type `thrown`, tagged with their throw level.
#pragma once
#include "runtime/api/thrown.h"
#include "runtime/cell.h"
#include "runtime/hooks.h"

namespace vyr {

[[noreturn]] void fire(const char* category, const char* id);
[[noreturn]] void fire(const char* category, const char* id, const cell* a1);
[[noreturn]] void fire(const char* category, const char* id, const cell* a1, const cell* a2);
[[noreturn]] void fire(const char* category, const char* id, const cell* a1, const cell* a2,
                       const cell* a3);

// Raised without building anything: safe when memory or stack is exhausted.
[[noreturn]] void fire_no_memory();

}  // namespace vyr
