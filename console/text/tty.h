// The terminal side of the text console: lines from standard input, edited in raw mode
// when stdin and stdout are terminals (and TERM is set and not "dumb"), plain reads
// otherwise. Raw mode lasts only while a line is read and is undone on every way out:
// the line ends, input ends, the process is suspended, or a signal ends it.
#pragma once
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "console/text/editor.h"

namespace vyr::text {

// True when lines are edited (see above); fixed at the first call.
bool editing();
// True when stdin is a terminal: prompts and the banner are shown only then.
bool stdin_terminal();

// A completion: the new line and caret, or (several) the common part and the choices.
struct completion {
  std::u32string line;
  std::size_t caret = 0;
  std::vector<std::u32string> choices;
};
using completer_fn = std::function<std::optional<completion>(const std::u32string& line,
                                                             std::size_t caret)>;

struct question {
  std::string prompt;                  // UTF-8, shown when stdin is a terminal
  bool hidden = false;                 // echo "*" per character
  const history_view* history = nullptr;
  completer_fn complete;
};

// Reads one line (UTF-8, without its line end; malformed bytes become U+FFFD). Nothing at
// the end of input. Ctrl+C at the prompt answers the line followed by the escape
// character (27).
std::optional<std::string> read_line(const question& q);

// Takes the next line out of bytes read so far (from `pos`): through its line feed, or
// the rest when the input has ended. A CR before the line feed goes too; malformed UTF-8
// becomes U+FFFD. Nothing when no whole line is there yet.
std::optional<std::string> take_line(std::string& buffer, std::size_t& pos, bool at_end);

// True when the last question was answered by the end of standard input (or Ctrl+D on
// an empty line), not by a line.
bool input_ended();

// Text written to standard output: the part after its last line end is the start of the
// row the next question continues.
void note_output(std::string_view utf8);

// The text console's title: the OSC 0 sequence for `title` (control characters dropped,
// so the title cannot end the sequence early), written only when stdout is a terminal.
// A terminal that ignores it changes nothing; the console never exits over a title.
std::string title_sequence(std::string_view title);
void set_title(std::string_view title);

// The terminal's size in columns and rows: 80x24 for a pipe or a reported 0.
std::pair<int, int> size();

// Puts the terminal back as it was (async-signal-safe; nothing when it is not raw).
void restore_terminal();

// Signal handling for a console with a prompt to follow: Ctrl+C during a command asks
// for a halt, a second one before the first is delivered ends the process with 130.
void catch_interrupts();

}  // namespace vyr::text
