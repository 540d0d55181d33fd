// Whether console input is complete: the lexer scans the gathered lines and reports every
// opening and closing and the first error; open brackets, parens, braced strings, tags,
// binaries, raw strings and paths wait for more lines, anything more lines cannot mend is
// evaluated at once so that the loader reports it. A refusal before the end of the text
// (a NUL or another character no token takes) is one of those: only what runs into the
// end of the text waits.
//
// The console checks its text again after every line, and the text only grows: the
// incremental check keeps the scanner's state at the token where the last scan stopped
// and goes on from there, so a command of n lines costs O(n), not O(n^2). Its answer is
// always the one a scan of the whole text gives (`check_delimiters`).
#pragma once
#include <memory>
#include <string>
#include <string_view>

namespace vyr::text {

struct delimiter_check {
  bool more;         // wait for another line
  bool refused;      // something more lines cannot mend: evaluate, the loader reports it
  std::string open;  // the pending opening characters, innermost last ('\0' for a type
                     // without one)
};

// The whole text at once.
delimiter_check check_delimiters(std::string_view buffer);

class delimiter_scan {
 public:
  delimiter_scan();
  ~delimiter_scan();
  delimiter_scan(const delimiter_scan&) = delete;
  delimiter_scan& operator=(const delimiter_scan&) = delete;

  // Appends `more` (UTF-8) to the text and checks the whole text; the scan goes on from
  // the resume point of the last check.
  delimiter_check append(std::string_view more);
  // Starts again with an empty text.
  void reset();
  const std::string& text() const { return text_; }

 private:
  struct state;
  std::string text_;
  std::unique_ptr<state> state_;
};

}  // namespace vyr::text
