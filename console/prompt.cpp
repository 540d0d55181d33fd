// The prompt's model (see prompt.h).
#include "console/prompt.h"

#include "runtime/datatypes/function.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/series.h"
#include "runtime/datatypes/string.h"

namespace vyr::console {

bool word_delimiter(char32_t c) {
  switch (c) {
    case '/': case '\\': case '^': case '[': case ']': case '(': case ')': case '{': case '}':
    case '"': case '@': case ':': case ';': case ' ': case '\t':
      return true;
    default:
      return false;
  }
}

std::optional<std::size_t> history_step(std::size_t index, std::size_t count, bool older) {
  if (!older && index == 0) return std::nullopt;
  std::size_t next = older ? index + 1 : index - 1;
  return next > count ? count : next;
}

namespace {
// `console-word-span s`: the characters a word-wise step passes from the position of `s`.
void word_span_code(cell* a, u32) {
  i32 len = string::rs_length_q(&a[0]);
  u32 unit = buffer_of(series::node(&a[0]))->unit();
  const char* p = string::rs_head(&a[0]);
  std::size_t n = word_span(len > 0 ? std::size_t(len) : 0, [&](std::size_t i) {
    return char32_t(string::get_char(p + u64(i) * unit, unit));
  });
  integer::make_at(&a[0], i32(n));
}

// `console-history-step index count older?`: the entry to show, or none to stay. A negative
// index or count counts as 0.
void history_step_code(cell* a, u32) {
  i32 index = integer::get(&a[0]), count = integer::get(&a[1]);
  std::optional<std::size_t> next = history_step(std::size_t(index < 0 ? 0 : index),
                                                 std::size_t(count < 0 ? 0 : count),
                                                 !logic::falsy(&a[2]));
  if (next) integer::make_at(&a[0], i32(*next));
  else a[0] = cell{TYPE_NONE, 0, 0, 0};
}
}  // namespace

void register_prompt_routines() {
  routine::register_("console-word-span", word_span_code);
  routine::register_("console-history-step", history_step_code);
}

}  // namespace vyr::console
