// The natives table and its registration: the fixed order that native! values (and the boot
// image) index by, and the entries each domain file installs at those indexes.
#include "runtime/natives/natives.h"

#include <cstring>

#include "runtime/fire.h"
#include "runtime/natives/domains.h"

namespace vyr::natives {

namespace {
const char* const names[COUNT] = {
    "if", "unless", "either", "any", "all", "while", "until", "loop", "repeat", "forever",
    "foreach", "forall", "remove-each", "func", "function", "does", "has", "switch", "case",
    "do", "get", "set", "print", "prin", "equal?", "not-equal?", "strict-equal?", "lesser?",
    "greater?", "lesser-or-equal?", "greater-or-equal?", "same?", "not", "type?", "reduce",
    "compose", "stats", "bind", "in", "parse", "union", "intersect", "unique", "difference",
    "exclude", "complement?", "dehex", "enhex", "negative?", "positive?", "max", "min",
    "shift", "to-hex", "sine", "cosine", "tangent", "arcsine", "arccosine", "arctangent",
    "arctangent2", "NaN?", "log-2", "log-10", "log-e", "exp", "square-root", "construct",
    "value?", "try", "uppercase", "lowercase", "as-pair", "as-point2D", "as-point3D",
    "as-money", "break", "continue", "exit", "return", "throw", "catch", "extend", "debase",
    "to-local-file", "wait", "checksum", "unset", "new-line", "new-line?", "enbase",
    "context?", "set-env", "get-env", "list-env", "now", "sign?", "as", "call", "zero?",
    "size?", "browse", "compress", "decompress", "recycle", "transcode", "apply"};

entry_fn table[TABLE_SIZE];
u32 counter = 1;

// A native not built yet: its slot exists so that indexes keep their meaning.
void not_done_entry(bool, const i32*) { fire("internal", "not-done"); }
}  // namespace

const char* name_of(u32 index) { return index >= 1 && index <= COUNT ? names[index - 1] : ""; }

u32 index_of(const char* name) {
  for (u32 i = 0; i < COUNT; i++)
    if (std::strcmp(names[i], name) == 0) return i + 1;
  return 0;
}

entry_fn entry(u32 index) {
  return index >= 1 && index < counter ? table[index - 1] : nullptr;
}
u32 registered() { return counter - 1; }

u32 register_(entry_fn f) {
  if (counter > TABLE_SIZE) fire("internal", "not-done");
  table[counter - 1] = f;
  return counter++;
}

void install(u32 index, entry_fn f) {
  if (index >= 1 && index < counter) table[index - 1] = f;
}
void install(const char* name, entry_fn f) { install(index_of(name), f); }

void init() {
  static bool done = false;
  if (done) return;
  done = true;
  for (u32 i = 0; i < COUNT; i++) register_(not_done_entry);
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
