// Fuzz target for load-json and unescape. The bytes go to `unescape` directly (any outcome
// but a language error is a fault) and, as text, to load-json, whose native fast path must
// agree with the grammar alone (the same value, or the same error); whatever load-json
// accepts must come back through to-json as JSON that load-json accepts again.
#include <cstdint>
#include <string>

#include "boot/environment.h"
#include "boot/init.h"
#include "environment/routines/routines.h"
#include "runtime/collector.h"
#include "runtime/datatypes/string.h"
#include "runtime/fire.h"
#include "runtime/stack.h"

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
  static bool ready = [] {
    boot::init_runtime();
    boot::build_environment();
    std::string pre =
        "dec: context? first find body-of :load-json 'fast-decode fast: :dec/fast-decode "
        "slow-json: func [t /local r] [dec/fast-decode: func [x] [none] "
        "set/any 'r try [load-json t] dec/fast-decode: :fast :r] "
        "same-json: func [t /local a b] [set/any 'a try [load-json t] set/any 'b slow-json t "
        "either all [error? :a error? :b] [all [a/id = b/id a/arg1 = b/arg1]] "
        "[equal? mold/all :a mold/all :b]]";
    cell r{TYPE_UNSET, 0, 0, 0};
    collector::root_guard g(&r);
    boot::do_source(pre.data(), static_cast<u32>(pre.size()), false, &r);
    stack::reset();
    return true;
  }();
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
                    "}] either string? t [r: load-json t all [same-json t any [error? :r not error? "
                    "load-json to-json :r]]] [true]";
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
