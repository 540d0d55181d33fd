// Fuzz target for the console's delimiter check: any text ends the scan with an answer
// (wait or evaluate), never a crash, a hang or a read outside the text, and the same
// text always gets the same answer (the scan leaves nothing behind).
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
  text::delimiter_check a = text::check_delimiters(text);
  text::delimiter_check b = text::check_delimiters(text);
  if (a.more != b.more || a.open != b.open) __builtin_trap();
  return 0;
}
