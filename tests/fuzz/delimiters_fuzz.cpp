// Fuzz target for the console's delimiter check: any text ends the scan with an answer
// (wait or evaluate), never a crash, a hang or a read outside the text; and the text fed a
// line at a time, as the console feeds it, gets after every line the answer of a scan of
// the whole text so far (the resumed scan leaves nothing behind and misses nothing).
#include <cstdint>
#include <string>

#include "boot/init.h"
#include "console/text/delimiters.h"

using namespace vyr;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool up = false;
  if (!up) {
    boot::init_runtime();
    up = true;
  }
  // Gathered console text always ends with a line feed.
  std::string text(reinterpret_cast<const char*>(data), size);
  text += '\n';
  text::delimiter_scan lines;
  size_t from = 0;
  while (from < text.size()) {
    size_t nl = text.find('\n', from);
    text::delimiter_check a = lines.append(std::string_view(text).substr(from, nl + 1 - from));
    text::delimiter_check b = text::check_delimiters(std::string_view(text).substr(0, nl + 1));
    if (a.more != b.more || a.refused != b.refused || a.open != b.open) __builtin_trap();
    if (!a.more) break;
    from = nl + 1;
  }
  return 0;
}
