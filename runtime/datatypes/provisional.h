// Stand-in registrations for the datatypes the interpreter needs to print and compare
// before their own modules exist: block!, paren!, the path kinds, string!, the word kinds,
// issue!, char! and typeset!. Each registers only when its type is still unregistered, so
// the real module, registered earlier in start-up, always wins.
#pragma once
#include "runtime/cell.h"

namespace vyr::provisional {
void init();
}  // namespace vyr::provisional
