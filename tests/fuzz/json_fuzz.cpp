// Fuzz target for load-json and unescape. The bytes go to `unescape` directly (any outcome
// but a language error is a fault) and, as text, to load-json; whatever load-json accepts
// must come back through to-json as JSON that load-json accepts again.
#include <cstdint>
#include <string>

#include "boot/environment.h"
#include "boot/init.h"
#include "environment/routines/routines.h"
#include "runtime/collector.h"
#include "runtime/datatypes/string.h"
#include "runtime/fire.h"
#include "runtime/interpreter/stack.h"

using namespace vyr;

namespace {
std::string hex(const uint8_t* p, size_t n) {
  static const char d[] = "0123456789ABCDEF";
  std::string s;
  for (size_t i = 0; i < n; i++) {
    s += d[p[i] >> 4];
    s += d[p[i] & 15];
  }
  return s;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool ready = (boot::init_runtime(), boot::build_environment(), true);
  (void)ready;
  if (size > 4096) return 0;
  try {
    cell s{TYPE_NONE, 0, 0, 0};
    collector::root_guard g(&s);
    string::load_at(reinterpret_cast<const char*>(data), static_cast<u32>(size), &s,
                    string::ENCODING_UTF8);
    routines::unescape_in_place(&s);
  } catch (thrown&) {
  }
  stack::reset();
  std::string src = "t: attempt [to string! #{" + hex(data, size) +
                    "}] either string? t [r: load-json t any [error? :r not error? load-json "
                    "to-json :r]] [true]";
  cell r{TYPE_UNSET, 0, 0, 0};
  collector::root_guard g(&r);
  try {
    boot::do_source(src.data(), static_cast<u32>(src.size()), false, &r);
  } catch (thrown&) {
    // to-json of a decoded value never raises; load-json returns its errors.
    __builtin_trap();
  }
  if (type_of(&r) != TYPE_LOGIC || r.data1 == 0) __builtin_trap();
  stack::reset();
  return 0;
}
