// Whether console input is complete: the lexer scans the gathered lines and reports every
// opening and closing and the first error; open brackets, parens, braced strings, tags,
// binaries, raw strings and paths wait for more lines, anything more lines cannot mend is
// evaluated at once so that the loader reports it. The whole text is scanned again for
// every line, so the answer always reflects the whole pending command.
#pragma once
#include <string>
#include <string_view>

namespace vyr::text {

struct delimiter_check {
  bool more;         // wait for another line
  std::string open;  // the pending opening characters, innermost last ('\0' for a type
                     // without one)
};

delimiter_check check_delimiters(std::string_view buffer);

}  // namespace vyr::text
