// Opening the display the GUI runs on (start-up, and the tests of its choice).
#pragma once
#include <memory>
#include <string>

#include "gui/win/dialogs/provider.h"
#include "gui/win/display.h"

namespace vyr::gui {

// The display the GUI runs on, as the executable's display_choice() says (gui_entry), with
// the dialogs that go with it: X11 and the layer's modal dialogs; when no X server answers,
// or when the headless display is chosen, the headless display (its screens from
// VYR_HEADLESS_SCREENS, sharing the host's clipboard) and the answer queue. What went
// wrong on the way is in `warning`.
struct opened_display {
  std::unique_ptr<win::display> display;
  std::unique_ptr<win::dialogs::provider> dialogs;
  std::string warning;
  bool real = false;   // a display a person sees (X11), not the headless one
};
opened_display open_display();

}  // namespace vyr::gui
