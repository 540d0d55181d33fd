// Fuzz target for the host's text parsers that take input from outside: HTTP reply
// headers, command lines and environment entries. Any bytes must parse within the input,
// never crash or read past it, and a joined command line must split back into its pieces.
#include <cstdint>
#include <string>
#include <vector>

#include "runtime/host/call.h"
#include "runtime/host/http.h"
#include "runtime/host/os.h"
#include "runtime/host/simple_io.h"

using namespace vyr;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  for (const auto& [name, value] : http::parse_headers(text)) {
    if (name.empty() || name.find(':') != std::string::npos) __builtin_trap();
    if (value.find('\n') != std::string::npos) __builtin_trap();
  }
  std::vector<std::string> pieces = call::split_command_line(text);
  // Pieces without quotes survive a join and a split unchanged.
  std::vector<std::string> plain;
  for (const std::string& p : pieces)
    if (p.find('"') == std::string::npos) plain.push_back(p);
  if (call::split_command_line(os::join_command_line(plain)) != plain) __builtin_trap();
  os::split_env_entry(text);
  std::string copy = text;
  bool after_cr = false;
  size_t k = simple_io::to_lf(copy.data(), copy.data(), copy.size(), &after_cr);
  if (k > size || copy.substr(0, k).find('\r') != std::string::npos) __builtin_trap();
  return 0;
}
