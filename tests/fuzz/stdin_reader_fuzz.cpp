// Fuzz target for the console's standard-input reader: however the input is split into
// reads, the lines come out in order, valid UTF-8 (malformed bytes as U+FFFD), without
// their line ends, and together they hold all of the input.
#include <cstdint>
#include <string>

#include "console/text/editor.h"
#include "console/text/tty.h"

using namespace vyr::text;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  size_t chunk = data[0] % 17 + 1;
  std::string input(reinterpret_cast<const char*>(data + 1), size - 1);
  std::string buffer;
  size_t pos = 0;
  std::string joined;
  size_t fed = 0;
  for (;;) {
    bool at_end = fed >= input.size();
    std::optional<std::string> line = take_line(buffer, pos, at_end);
    if (line) {
      if (encode_utf8(decode_utf8(*line)) != *line) __builtin_trap();
      if (line->find('\n') != std::string::npos) __builtin_trap();
      joined += *line;
      joined += '\n';
      continue;
    }
    if (at_end) break;
    size_t n = input.size() - fed < chunk ? input.size() - fed : chunk;
    buffer.append(input, fed, n);
    fed += n;
  }
  // The same lines as reading the whole input at once.
  std::string expect;
  size_t start = 0;
  while (start < input.size()) {
    size_t nl = input.find('\n', start);
    std::string l = input.substr(start, nl == std::string::npos ? std::string::npos : nl - start);
    if (!l.empty() && l.back() == '\r') l.pop_back();
    expect += encode_utf8(decode_utf8(l));
    expect += '\n';
    if (nl == std::string::npos) break;
    start = nl + 1;
  }
  if (joined != expect) __builtin_trap();
  return 0;
}
