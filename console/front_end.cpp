// The choice between the console's front ends (see front_end.h).
#include "console/front_end.h"

#include "console/gui/front_end.h"
#include "console/prompt.h"
#include "console/text/natives.h"
#include "gui_entry/display_choice.h"
#include "runtime/collector.h"
#include "runtime/datatypes/cells.h"
#include "runtime/datatypes/path.h"
#include "runtime/datatypes/series.h"
#include "runtime/datatypes/word.h"
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

void call_global(std::initializer_list<const char*> names) {
  // A block holding the path, evaluated as a command line naming it would be.
  cell code{TYPE_NONE, 0, 0, 0};
  collector::root_guard cg(&code);
  cells::make_block(&code, 1);
  cell p{TYPE_NONE, 0, 0, 0};
  collector::root_guard pg(&p);
  path::make_at(&p, i32(names.size()));
  for (const char* name : names) {
    cell w = word::intern(name);
    cells::append(series::node(&p), &w);
  }
  cells::append(series::node(&code), &p);
  cell result{TYPE_UNSET, 0, 0, 0};
  collector::root_guard rg(&result);
  interpreter::do_block(&code, &result);
}

untraced::untraced() : was_(interpreter::tracing) { interpreter::tracing = false; }
untraced::~untraced() { interpreter::tracing = was_; }

}  // namespace vyr::console
