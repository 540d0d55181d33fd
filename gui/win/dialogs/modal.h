// The layer's own modal dialogs, the provider of a real display: the message box and the
// file, folder and font dialogs, built of the layer's controls, each running its own loop
// with its owner disabled (gui/win/dialogs/dialog.h).
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

}  // namespace vyr::win::dialogs
