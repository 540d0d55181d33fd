// The layer's own modal dialogs, the provider of a real display: the message box and the
// file, folder and font dialogs, made of the layer's controls, each over the active window
// with every top level disabled until it closes (gui/win/dialogs/dialog.h).
#pragma once
#include "gui/win/dialogs/provider.h"

namespace vyr::win::dialogs {

class modal_dialogs : public provider {
 public:
  std::optional<std::vector<std::string>> request_file(const file_request&) override;
  std::optional<std::string> request_folder(const folder_request&) override;
  std::optional<font_choice> request_font(const font_request&) override;
  void message_box(const box_request&) override;
};

// The dialogs themselves, over the active window.
void show_message_box(const box_request&);
std::optional<std::vector<std::string>> run_file_dialog(const file_request&);
std::optional<std::string> run_folder_dialog(const folder_request&);
std::optional<font_choice> run_font_dialog(const font_request&);
// The font families the font dialog lists.
std::vector<std::string> font_families(bool mono);

}  // namespace vyr::win::dialogs
