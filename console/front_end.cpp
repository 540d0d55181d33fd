// The choice between the console's front ends (see front_end.h).
#include "console/front_end.h"

#include "console/gui/front_end.h"
#include "console/prompt.h"
#include "console/text/natives.h"
#include "gui/entry/display_choice.h"
#include "runtime/collector.h"
#include "runtime/datatypes/object.h"
#include "runtime/datatypes/word.h"
#include "runtime/fire.h"
#include "runtime/interpreter/interpreter.h"

namespace vyr::console {

void register_routines() {
  register_prompt_routines();
  text::register_routines();
  gui_console::register_routines();
}

const front_end& chosen() {
  static const front_end& one = gui_module::gui_console() ? gui_console::front() : text::front();
  return one;
}

void call_global(std::initializer_list<const char*> path) {
  cell fn;
  if (!object::global_field(path, &fn)) {
    cell w = word::intern(*(path.end() - 1));
    fire("script", "no-value", &w);
  }
  collector::root_guard g(&fn);
  cell result{TYPE_UNSET, 0, 0, 0};
  collector::root_guard rg(&result);
  interpreter::call(&fn, nullptr, 0, &result);
}

}  // namespace vyr::console
