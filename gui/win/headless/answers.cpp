// The answer queue.
#include "gui/win/headless/answers.h"

#include <cstdio>

namespace vyr::win {

std::optional<dialogs::answer> answer_queue::run(const dialogs::request& q) {
  if (answers_.empty() || answers_.front().kind != q.kind) {
    ++unexpected;
    std::fprintf(stderr, "headless display: no answer queued for a %s dialog\n", q.kind.c_str());
    return std::nullopt;
  }
  dialogs::answer a = std::move(answers_.front());
  answers_.pop_front();
  return a;
}

void answer_queue::error_box(const std::string& caption, const std::string& text) {
  boxes.push_back(caption + ": " + text);
}

}  // namespace vyr::win
