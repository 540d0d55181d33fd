// Print hooks: where printed values and texts go. The console (text or GUI) registers its
// callbacks; `print` fires the value hooks, the console output fires the text hooks.
#pragma once
#include <string_view>

#include "runtime/cell.h"

namespace vyr::platform {

using value_print_fn = void (*)(const cell* value, bool flag);
using text_print_fn = void (*)(std::string_view utf8, u32 mode);

void init_print_hooks();
void register_print_hooks(value_print_fn v, text_print_fn t);
void unregister_print_hooks(value_print_fn v, text_print_fn t);
void fire_value_print_hooks(const cell* value, bool flag);
void fire_text_print_hooks(std::string_view utf8, u32 mode);
u32 value_hook_count();
u32 text_hook_count();

}  // namespace vyr::platform
