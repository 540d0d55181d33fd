// The modal dialogs' provider.
#include "gui/win/dialogs/modal.h"

#include <cstdio>

namespace vyr::win::dialogs {

std::optional<std::vector<std::string>> modal_dialogs::request_file(const file_request&) { return std::nullopt; }
std::optional<std::string> modal_dialogs::request_folder(const folder_request&) { return std::nullopt; }
std::optional<font_choice> modal_dialogs::request_font(const font_request&) { return std::nullopt; }

void modal_dialogs::message_box(const box_request& q) {
  std::fprintf(stderr, "%s: %s\n", q.caption.c_str(), q.text.c_str());
}

}  // namespace vyr::win::dialogs
