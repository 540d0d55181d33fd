// Fuzz target for parse over binary! input: random bytes against rules made of random
// bytes, bitsets (plain and complemented), datatype rules (the lexer's scan of the bytes),
// repetitions, to/thru, alternatives and nested blocks. Any outcome is fine except a
// crash, a hang, or an error that is not a language error. Each `to` or `thru` over a
// block multiplies the work by the input's length, so rules hold at most two of them and
// inputs stay short: the target looks for faults, not for slow grammars.
#include <cstdint>
#include <string>

#include "boot/environment.h"
#include "boot/init.h"
#include "runtime/collector.h"
#include "runtime/fire.h"
#include "runtime/stack.h"

using namespace vyr;

namespace {
const char* const words[] = {"skip", "end", "|", "integer!", "word!", "string!", "block!",
                             "float!", "some", "any", "opt", "to", "thru", "bs", "nb",
                             "not", "ahead", "2", "0 3", "char!"};

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
  if (size < 3 || size > 2048) return 0;
  size_t in_len = data[0] % (size - 2) % 48;
  size_t set_len = data[1] % 8;
  const uint8_t* in = data + 2;
  const uint8_t* rest = in + in_len;
  size_t left = size - 2 - in_len;
  if (set_len > left) set_len = left;
  std::string src = "bs: make bitset! #{" + hex(rest, set_len) + "} nb: complement bs parse #{" +
                    hex(in, in_len) + "} [";
  rest += set_len;
  left -= set_len;
  int depth = 0, seeks = 0;
  for (size_t i = 0; i < left && i < 64; i++) {
    uint8_t b = rest[i];
    switch (b >> 5) {
      case 0: src += " quote " + std::to_string(b & 31); break;
      case 1: src += " #{" + hex(&b, 1) + "}"; break;
      case 2:
        if (depth < 8) {
          src += " [";
          depth++;
        }
        break;
      case 3:
        if (depth > 0) {
          src += " ]";
          depth--;
        }
        break;
      default: {
        const char* w = words[b % 20];
        bool seek = std::string(w) == "to" || std::string(w) == "thru";
        if (seek && ++seeks > 2) break;
        src += std::string(" ") + w;
        break;
      }
    }
  }
  while (depth-- > 0) src += " ]";
  src += " ]";
  cell* top = stack::top;
  try {
    cell r{TYPE_UNSET, 0, 0, 0};
    collector::root_guard g(&r);
    boot::do_source(src.data(), static_cast<u32>(src.size()), false, &r);
  } catch (thrown&) {
  }
  stack::reset();
  (void)top;
  return 0;
}
