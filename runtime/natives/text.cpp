// The text and conversion natives: dehex, enhex, uppercase, lowercase, to-local-file and
// transcode. They hand the work to the owning module: the url! encoder and decoder, the case
// change of the string module, the file! local-path writer and the lexer's transcode.
#include "runtime/collector.h"
#include "runtime/datatypes/bitset.h"
#include "runtime/datatypes/file.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/string_actions.h"
#include "runtime/datatypes/url.h"
#include "runtime/fire.h"
#include "runtime/lexer/lexer_load.h"
#include "runtime/natives/natives.h"
#include "runtime/stack.h"
#include "runtime/natives/domains.h"
#include "runtime/datatypes/word.h"

namespace vyr::natives {

namespace {
using stack::arguments;

inline bool present(const i32* refs, u32 i) { return refs[i] != -1; }

// ---- Text -----------------------------------------------------------------------------------

// A new string! with room for the value's characters from its index.
cell new_text_for(const cell* value) {
  cell out{TYPE_UNSET, 0, 0, 0};
  string::make_at(&out, static_cast<u32>(string::rs_length_q(value)));
  return out;
}

void dehex_entry(bool, const i32*) {
  cell v = arguments[0];
  collector::root_guard gv(&v);
  cell out = new_text_for(&v);
  collector::root_guard go(&out);
  url::decode(&v, -1, &out);
  stack::set_last(out);
}

// A string! keeps only the unreserved characters; the locator types (file!, url!, ...)
// keep their separators too.
void enhex_entry(bool, const i32*) {
  cell v = arguments[0];
  collector::root_guard gv(&v);
  cell out = new_text_for(&v);
  collector::root_guard go(&out);
  url::encode(&v, -1, type_of(&v) == TYPE_STRING ? url::KEEP_UNRESERVED : url::KEEP_SAFE, &out);
  stack::set_last(out);
}

// The argument is changed in place and is the result (a char! in its cell).
void change_case(bool upper, const i32* refs) {
  cell part = present(refs, 0) ? arguments[refs[0]] : cell{TYPE_NONE, 0, 0, 0};
  collector::root_guard gp(&part);
  string::change_case(arguments, present(refs, 0) ? &part : nullptr, upper);
  stack::keep_first();
}
void uppercase_entry(bool, const i32* refs) { change_case(true, refs); }
void lowercase_entry(bool, const i32* refs) { change_case(false, refs); }

void to_local_file_entry(bool, const i32* refs) {
  cell v = arguments[0];
  collector::root_guard gv(&v);
  cell out = new_text_for(&v);
  collector::root_guard go(&out);
  file::to_local_path(&v, &out, present(refs, 0));
  stack::set_last(out);
}

// Refinements: /next /one /prescan /scan /part length /into dst /trace callback.
void transcode_entry(bool, const i32* refs) {
  cell src = arguments[0];
  cell part = present(refs, 4) ? arguments[refs[4]] : cell{TYPE_NONE, 0, 0, 0};
  cell into = present(refs, 5) ? arguments[refs[5]] : cell{TYPE_NONE, 0, 0, 0};
  cell trace = present(refs, 6) ? arguments[refs[6]] : cell{TYPE_NONE, 0, 0, 0};
  cell out{TYPE_NONE, 0, 0, 0};
  collector::root_guard g1(&src), g2(&part), g3(&into), g4(&trace), g5(&out);
  lexer::transcode_options o;
  o.next = present(refs, 0);
  o.one = present(refs, 1);
  o.prescan = present(refs, 2);
  o.scan = present(refs, 3);
  if (present(refs, 4)) o.part = &part;
  if (present(refs, 5)) o.into = &into;
  if (present(refs, 6)) o.trace = &trace;
  lexer::transcode(&src, o, &out);
  stack::set_last(out);
}

}  // namespace

void install_text() {
  install(id::dehex, dehex_entry);
  install(id::enhex, enhex_entry);
  install(id::uppercase, uppercase_entry);
  install(id::lowercase, lowercase_entry);
  install(id::to_local_file, to_local_file_entry);
  install(id::transcode, transcode_entry);
}

}  // namespace vyr::natives
