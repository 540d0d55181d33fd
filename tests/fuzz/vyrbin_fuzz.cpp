// Fuzz target for the VYRBIN decoder in load mode, collector on: any bytes must decode or
// raise a language error, never crash, hang or read outside the input, nor leave a value
// unrooted while it allocates. Whatever decodes is
// molded and written again by both writers, and what they write must decode again.
#include <cstdint>
#include <vector>

#include "boot/environment.h"
#include "boot/init.h"
#include "runtime/codecs/vyrbin.h"
#include "runtime/collector.h"
#include "runtime/datatypes/binary.h"
#include "runtime/fire.h"
#include "runtime/datatypes/actions.h"
#include "runtime/datatypes/cells.h"
#include "runtime/stack.h"

using namespace vyr;

namespace {

bool raises_language_error(void (*f)(const cell*, cell*), const cell* in, cell* out) {
  try {
    f(in, out);
    return false;
  } catch (const thrown& t) {
    if (t.level != THROW_ERROR) __builtin_trap();
    return true;
  }
}

void encode_decode(const cell* v, bool compact) {
  cell doc{TYPE_NONE, 0, 0, 0};
  collector::root_guard g(&doc);
  try {
    if (compact) vyrbin::encode_compact(v, &doc); else vyrbin::encode(v, &doc);
  } catch (const thrown& t) {
    if (t.level != THROW_ERROR) __builtin_trap();
    return;  // too deep, or a value no writer takes
  }
  cell again{TYPE_NONE, 0, 0, 0};
  collector::root_guard ga(&again);
  // What a writer produced must decode. Not under the stress switch: that decode takes the
  // paths the input's own decode took under it, and would triple a stressed input's time.
  bool stressed = collector::stress();
  collector::set_stress(false);
  bool raised = raises_language_error(vyrbin::decode_value, &doc, &again);
  collector::set_stress(stressed);
  if (raised) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool ready = (boot::init_runtime(), boot::build_environment(), true);
  (void)ready;
  if (size > 65536) return 0;
  stack::reset();
  // One input in sixteen is decoded, molded and written with every allocation collecting,
  // so that a value the decoder or a writer holds unrooted across an allocation is found.
  struct stress_scope {
    explicit stress_scope(bool on) : on_(on) { if (on_) collector::set_stress(true); }
    ~stress_scope() { if (on_) collector::set_stress(false); }
    bool on_;
  } stress(size % 16 == 0 && size <= 4096);
  cell bin{TYPE_NONE, 0, 0, 0};
  collector::root_guard gb(&bin);
  bin = *binary::load(data, u32(size));
  stack::pop_cells(1);
  cell out{TYPE_NONE, 0, 0, 0};
  collector::root_guard go(&out);
  if (raises_language_error(vyrbin::decode_value, &bin, &out)) return 0;
  try {
    stack::guard sg;
    actions::mold_to_string(&out, true);
  } catch (const thrown& t) {
    if (t.level != THROW_ERROR) __builtin_trap();
  }
  encode_decode(&out, true);
  encode_decode(&out, false);
  stack::reset();
  return 0;
}
