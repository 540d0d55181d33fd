// Dialogs: the file, folder, font and colour dialogs and the error box, behind one provider
// chosen once, when the display opens: the answer queue on the headless display
// (gui/win/headless/answers.h), the layer's own modal dialogs (below) elsewhere. A test may
// install the modal dialogs on the headless display to drive them with scripted input.
#pragma once
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vyr::win::dialogs {

// kind: "file", "folder", "font" or "colour"; what `title` holds depends on the kind.
struct request { std::string kind; std::string title; };
// `ok` false: the user cancelled. The values by kind (a font: name, point size, weight,
// italic? as "true" or "false").
struct answer { std::string kind; bool ok = false; std::vector<std::string> values; };

class provider {
 public:
  virtual ~provider() = default;
  // A modal dialog's answer; nullopt when none can be given.
  virtual std::optional<answer> run(const request&) = 0;
  // The runtime's fatal error box.
  virtual void error_box(const std::string& caption, const std::string& text) = 0;
};

// Installs the provider (owned here; null: none); the old one is destroyed.
void install(std::unique_ptr<provider>);
provider* current();

// The layer's own modal dialogs. None is built yet: every request answers nullopt, and the
// error box goes to standard error until the box itself exists.
class modal_dialogs : public provider {
 public:
  std::optional<answer> run(const request&) override;
  void error_box(const std::string& caption, const std::string& text) override;
};

}  // namespace vyr::win::dialogs
