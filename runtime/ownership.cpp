// Ownership entry points. Until objects with change handlers exist nothing is ever owned,
// so every check answers false and binding records nothing.
#include "runtime/ownership.h"

namespace vyr::ownership {

void init() {}
void bind(const cell*, const cell*, const cell*) {}
void set_owner(const cell*, const cell*, const cell*) {}
void unbind(const cell*) {}
void unbind_range(const cell*, i32, i32) {}
bool check(const cell*, const cell*, const cell*, i32, i32) { return false; }

}  // namespace vyr::ownership
