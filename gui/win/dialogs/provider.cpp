// The dialog provider in use, and the layer's own modal dialogs.
#include "gui/win/dialogs/provider.h"

#include <cstdio>

namespace vyr::win::dialogs {

namespace {
std::unique_ptr<provider>& installed() {
  static std::unique_ptr<provider> p;
  return p;
}
}  // namespace

void install(std::unique_ptr<provider> p) { installed() = std::move(p); }
provider* current() { return installed().get(); }

std::optional<answer> modal_dialogs::run(const request&) { return std::nullopt; }

void modal_dialogs::error_box(const std::string& caption, const std::string& text) {
  std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
}

}  // namespace vyr::win::dialogs
