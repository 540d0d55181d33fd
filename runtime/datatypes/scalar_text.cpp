// The hook through which make/to of the scalar types reach the lexer.
#include "runtime/datatypes/scalar_text.h"

#include "runtime/fire.h"

namespace vyr::scalar_text {

loader_fn loader = nullptr;

bool load_first(const cell* text, u32 type, cell* out) {
  if (!loader) fire("internal", "not-done");
  return loader(text, type, out);
}

bool text_q(u32 type) {
  return type == TYPE_STRING || type == TYPE_FILE || type == TYPE_URL || type == TYPE_TAG ||
         type == TYPE_EMAIL || type == TYPE_REF;
}

}  // namespace vyr::scalar_text
