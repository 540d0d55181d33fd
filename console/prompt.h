// The prompt's model, one for both front ends: the characters that end a word, the word-wise
// step, and the step through the history. The text console's line editor calls it from C++;
// the GUI console's terminal through the routines `console-word-span` and
// `console-history-step` (registered with the console's routines).
#pragma once
#include <cstddef>
#include <optional>

namespace vyr::console {

// True for the 15 characters that end a word for word-wise moves and deletions.
bool word_delimiter(char32_t c);

// How many characters a word-wise step passes over the `n` characters `at(0)`, `at(1)` ...
// (read from the caret outwards, either way): delimiters, then word characters.
template <class At>
std::size_t word_span(std::size_t n, At at) {
  std::size_t i = 0;
  while (i < n && word_delimiter(at(i))) i++;
  while (i < n && !word_delimiter(at(i))) i++;
  return i;
}

// Browsing a history of `count` entries (1 the newest) from entry `index` (0: the line being
// typed): the entry an older or newer step shows, at most the oldest; nothing when a newer
// step is asked of the line being typed.
std::optional<std::size_t> history_step(std::size_t index, std::size_t count, bool older);

// Registers `console-word-span` and `console-history-step`.
void register_prompt_routines();

}  // namespace vyr::console
