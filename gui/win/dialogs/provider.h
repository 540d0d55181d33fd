// Dialogs: the message box, the open and save file dialogs, the folder and font dialogs,
// and who answers a pop-up menu, behind one provider chosen once, when the display opens:
// the answer queue on the headless display (gui/win/headless/answers.h), the layer's own
// modal dialogs (modal.h) elsewhere. A test may install the modal dialogs on the headless
// display and drive them with injected input.
#pragma once
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "gui/win/menus/menus.h"

namespace vyr::win::dialogs {

// One entry of a file dialog's filter list: what it shows, and its patterns (globs
// separated by ";", matched without regard to case).
struct filter {
  std::string description, patterns;
  bool operator==(const filter&) const = default;
};

// The file dialog: `folder` is where it opens (absolute, or empty: the current directory),
// `name` the name it proposes.
struct file_request {
  std::string title, folder, name;
  std::string asked_folder;   // the folder as the caller gave it, before it was resolved
  std::vector<filter> filters;
  bool save = false, multi = false;
};
// The folder dialog: `start` where it opens (absolute, or empty: the current directory).
struct folder_request {
  std::string title, start;
  std::string asked_start;    // the start as the caller gave it, before it was resolved
};
struct font_choice {
  std::string family;
  int points = 0;
  bool bold = false, italic = false;
};
struct font_request {
  font_choice initial;
  bool mono = false;
};
struct box_request {
  std::string caption, text;
};

class provider {
 public:
  virtual ~provider() = default;
  // Absolute paths of the chosen files (one unless the request is `multi`), the folder
  // (ending in "/"), the font; nullopt when the user cancelled.
  virtual std::optional<std::vector<std::string>> request_file(const file_request&) = 0;
  virtual std::optional<std::string> request_folder(const folder_request&) = 0;
  virtual std::optional<font_choice> request_font(const font_request&) = 0;
  // A message box with the error icon and OK; returns when it is dismissed.
  virtual void message_box(const box_request&) = 0;
  // Who runs a pop-up menu about to open (its own captions): the user, unless answered.
  virtual menus::popup_answer popup_menu(const std::vector<std::string>&) { return {}; }
};

// Installs the provider (owned here; null: none); the old one is destroyed. The provider
// answers the pop-up menus too.
void install(std::unique_ptr<provider>);
provider* current();

// The default filters of a file dialog.
std::vector<filter> default_filters();
// Whether a file name matches a pattern list (";"-separated globs, "*" and "?", without
// regard to case); an empty list matches everything.
bool matches(std::string_view name, std::string_view patterns);
// Text compared with ASCII letters folded to lower case: below 0, 0 or above.
int compare_without_case(std::string_view, std::string_view);

}  // namespace vyr::win::dialogs
