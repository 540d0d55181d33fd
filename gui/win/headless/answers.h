// The headless display's dialogs: answers queued by a test or an input script, taken in
// order. A request with none queued, or with one of another kind, fails (the dialog gives
// nothing, as a cancel does), is counted and says so on standard error. Error boxes are
// recorded, to be read back.
#pragma once
#include <deque>

#include "gui/win/dialogs/provider.h"

namespace vyr::win {

class answer_queue : public dialogs::provider {
 public:
  std::optional<dialogs::answer> run(const dialogs::request&) override;
  void error_box(const std::string& caption, const std::string& text) override;

  void queue(dialogs::answer a) { answers_.push_back(std::move(a)); }
  size_t unexpected = 0;
  std::vector<std::string> boxes;   // "caption: text", oldest first

 private:
  std::deque<dialogs::answer> answers_;
};

}  // namespace vyr::win
