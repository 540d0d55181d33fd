// Two ordered callback lists, unbounded; null callbacks are not registered.
#include "runtime/print_hooks.h"

#include <algorithm>
#include <vector>

namespace vyr::platform {

namespace {
std::vector<value_print_fn> value_hooks;
std::vector<text_print_fn> text_hooks;
bool enabled = false;
}  // namespace

void init_print_hooks() {
  value_hooks.clear();
  text_hooks.clear();
  value_hooks.reserve(5);
  text_hooks.reserve(5);
  enabled = true;
}

void register_print_hooks(value_print_fn v, text_print_fn t) {
  if (v) value_hooks.push_back(v);
  if (t) text_hooks.push_back(t);
}

void unregister_print_hooks(value_print_fn v, text_print_fn t) {
  if (auto it = std::find(value_hooks.begin(), value_hooks.end(), v); v && it != value_hooks.end())
    value_hooks.erase(it);
  if (auto it = std::find(text_hooks.begin(), text_hooks.end(), t); t && it != text_hooks.end())
    text_hooks.erase(it);
}

void fire_value_print_hooks(const cell* value, bool flag) {
  if (!enabled) return;
  for (size_t i = 0; i < value_hooks.size(); i++) value_hooks[i](value, flag);
}

void fire_text_print_hooks(std::string_view utf8, u32 mode) {
  if (!enabled) return;
  for (size_t i = 0; i < text_hooks.size(); i++) text_hooks[i](utf8, mode);
}

u32 value_hook_count() { return static_cast<u32>(value_hooks.size()); }
u32 text_hook_count() { return static_cast<u32>(text_hooks.size()); }

}  // namespace vyr::platform
