// The natives table and its registration: the fixed order that native! values (and the boot
// image) index by, and the entries each domain file installs at those indexes.
#include "runtime/natives/natives.h"

#include "runtime/assert.h"
#include "runtime/fire.h"
#include "runtime/natives/domains.h"

namespace vyr::natives {

namespace {
const char* const names[COUNT] = {
#define VYR_NATIVE_NAME(n, member, word) word,
    VYR_NATIVE_LIST(VYR_NATIVE_NAME)
#undef VYR_NATIVE_NAME
};

entry_fn table[TABLE_SIZE];
}  // namespace

const char* name_of(u32 index) { return index >= 1 && index <= COUNT ? names[index - 1] : ""; }

entry_fn entry(u32 index) {
  return index >= 1 && index <= TABLE_SIZE ? table[index - 1] : nullptr;
}

void install(u32 index, entry_fn f) {
  if (index < 1 || index > COUNT) fire("internal", "not-done");
  VYR_ASSERT(f != nullptr);
  VYR_ASSERT(!table[index - 1]);  // one installer per native
  table[index - 1] = f;
}

u32 register_(entry_fn f) {
  VYR_ASSERT(f != nullptr);
  for (u32 i = COUNT; i < TABLE_SIZE; i++) {
    if (table[i]) continue;
    table[i] = f;
    return i + 1;
  }
  fire("internal", "not-done");
}

void init() {
  static bool done = false;
  if (done) return;
  done = true;
  install_control();
  install_output();
  install_comparison();
  install_series_sets();
  install_math();
  install_loops();
  install_functions();
  install_host();
  install_text();
  install_codecs();
  install_compress();
}

}  // namespace vyr::natives
