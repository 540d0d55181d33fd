// The modal dialogs' provider.
#include "gui/win/dialogs/modal.h"

namespace vyr::win::dialogs {

std::optional<std::vector<std::string>> modal_dialogs::request_file(const file_request& q) { return run_file_dialog(q); }
std::optional<std::string> modal_dialogs::request_folder(const folder_request& q) { return run_folder_dialog(q); }
std::optional<font_choice> modal_dialogs::request_font(const font_request& q) { return run_font_dialog(q); }
void modal_dialogs::message_box(const box_request& q) { show_message_box(q); }

}  // namespace vyr::win::dialogs
