// The headless display's dialogs: answers queued by a test or read from a file
// (VYR_HEADLESS_ANSWERS), taken in order, one per dialog or pop-up menu; message boxes take
// none and are recorded. A request whose next answer is of another kind, or that finds none,
// is cancelled, says so on standard error and leaves the queue as it was; `cancel` cancels
// any. Each request can be logged, one tab-separated line, to a file (VYR_HEADLESS_REQUESTS).
#pragma once
#include <deque>
#include <string>
#include <vector>

#include "gui/win/dialogs/provider.h"

namespace vyr::win {

class answer_queue : public dialogs::provider {
 public:
  // An answer: its kind ("cancel", "file", "dir", "font" or "menu") and its fields.
  struct answer {
    std::string kind;
    std::vector<std::string> values;
  };

  std::optional<std::vector<std::string>> request_file(const dialogs::file_request&) override;
  std::optional<std::string> request_folder(const dialogs::folder_request&) override;
  std::optional<dialogs::font_choice> request_font(const dialogs::font_request&) override;
  void message_box(const dialogs::box_request&) override;
  menus::popup_answer popup_menu(const std::vector<std::string>& captions) override;

  void queue_dialog(answer a) { answers_.push_back(std::move(a)); }
  // Reads an answer file, one answer a line (fields separated by tabs, blank lines skipped),
  // and queues its answers. A line that is no answer is left out and named in `errors`.
  bool load(const std::string& path, std::vector<std::string>* errors);
  // Checks one line of an answer file; the reason when it is no answer.
  static std::optional<std::string> bad_line(const std::vector<std::string>& fields);

  std::string request_log;   // the file requests are appended to; empty: none
  size_t unexpected = 0;
  std::vector<std::string> boxes;   // "caption: text", oldest first
  size_t left() const { return answers_.size(); }

 private:
  // The next answer for a request of `request_kind` when it is of `answer_kind`; nullopt
  // (cancelled) otherwise.
  std::optional<answer> take(const char* request_kind, const char* answer_kind);
  void log(std::vector<std::string> fields);
  std::deque<answer> answers_;
};

}  // namespace vyr::win
