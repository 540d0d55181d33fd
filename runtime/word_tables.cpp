// The runtime word tables: filled after the symbol table and the global context exist and
// before anything is loaded. The words are bound in the global context, which the
// collector keeps, so their cells need no roots of their own; the refinements and the
// issue are held here and marked by a callback.
#include "runtime/word_tables.h"

#include "runtime/collector.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/word.h"

namespace vyr::words {

#define VYR_DEFINE_SYMBOL(var, text) u32 sym_##var = 0;
#define VYR_DEFINE_WORD(var, text) cell word_##var{TYPE_NONE, 0, 0, 0};
VYR_RUNTIME_SYMBOLS(VYR_DEFINE_SYMBOL)
VYR_RUNTIME_WORDS(VYR_DEFINE_WORD)
#undef VYR_DEFINE_SYMBOL
#undef VYR_DEFINE_WORD

cell ref_local, ref_extern, ref_compare, ref_part, ref_skip, ref_with;
cell issue_ooo;

}  // namespace vyr::words

namespace vyr::symbol {

namespace {
cell* const kept[] = {&words::ref_local, &words::ref_extern, &words::ref_compare,
                      &words::ref_part,  &words::ref_skip,   &words::ref_with,
                      &words::issue_ooo};
void mark_kept() {
  for (cell* c : kept) collector::mark_values(c, c + 1);
}
}  // namespace

void init_runtime_words() {
#define VYR_MAKE_SYMBOL(var, text) words::sym_##var = symbol::make(text);
#define VYR_MAKE_WORD(var, text) words::word_##var = word::intern(text);
  VYR_RUNTIME_SYMBOLS(VYR_MAKE_SYMBOL)
  VYR_RUNTIME_WORDS(VYR_MAKE_WORD)
#undef VYR_MAKE_SYMBOL
#undef VYR_MAKE_WORD
}

void init_refinement_words() {
  static bool registered = false;
  if (!registered) {
    collector::register_callback(mark_kept);
    registered = true;
  }
  const char* names[] = {"local", "extern", "compare", "part", "skip", "with"};
  cell* dst[] = {&words::ref_local, &words::ref_extern, &words::ref_compare,
                 &words::ref_part,  &words::ref_skip,   &words::ref_with};
  for (int i = 0; i < 6; i++)
    *dst[i] = cell{TYPE_REFINEMENT, 0, symbol::make(names[i]), word::NO_INDEX};
}

void init_issue_words() { issue::make_at(&words::issue_ooo, "ooo"); }

}  // namespace vyr::symbol
