// The host's clipboard store as a display's clipboard: the two records carry the same
// fields, copied across.
#include "gui/clipboard.h"

#include "runtime/host/clipboard.h"

namespace vyr::gui {

namespace {
// The kinds are listed in the same order on both sides.
static_assert(int(clipboard::content::EMPTY) == int(win::clipboard_content::EMPTY) &&
              int(clipboard::content::TEXT) == int(win::clipboard_content::TEXT) &&
              int(clipboard::content::FILES) == int(win::clipboard_content::FILES) &&
              int(clipboard::content::PNG) == int(win::clipboard_content::PNG));

template <class To, class From>
To copied(const From& from) {
  To to;
  to.kind = static_cast<typename To::kind_t>(from.kind);
  to.text = from.text;
  to.files = from.files;
  to.png = from.png;
  return to;
}
}  // namespace

win::headless_display::shared_clipboard host_clipboard() {
  win::headless_display::shared_clipboard s;
  s.get = [](win::clipboard_content* out) {
    clipboard::content c;
    if (!clipboard::current().get(&c)) return false;
    *out = copied<win::clipboard_content>(c);
    return true;
  };
  s.set = [](const win::clipboard_content& in) {
    return clipboard::current().set(copied<clipboard::content>(in));
  };
  return s;
}

}  // namespace vyr::gui
