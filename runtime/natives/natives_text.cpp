// The set, text and conversion natives. They check what the argument types allow and hand
// the work to the owning module: the block, string and typeset set engines, the case
// change of the string module, the url! encoder and decoder, the file! local-path writer
// and the lexer's transcode.
#include "runtime/natives/natives_text.h"

#include "runtime/collector.h"
#include "runtime/datatypes/bitset.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/date.h"
#include "runtime/datatypes/file.h"
#include "runtime/datatypes/map.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/string_actions.h"
#include "runtime/datatypes/typeset.h"
#include "runtime/datatypes/url.h"
#include "runtime/fire.h"
#include "runtime/lexer/lexer_load.h"
#include "runtime/natives/natives.h"
#include "runtime/stack.h"
#include "runtime/datatypes/word.h"

namespace vyr::natives {

namespace {
using stack::arguments;

inline bool present(const i32* refs, u32 i) { return refs[i] != -1; }

cell datatype_of(u32 type) {
  cell t;
  datatype::make_at(&t, type);
  return t;
}

// ---- Set operations -----------------------------------------------------------------------

inline bool block_kind(u32 t) { return t == TYPE_BLOCK || t == TYPE_HASH; }

// Refinements of every set native: /case, then /skip with its size.
void set_op(i32 op, const i32* refs) {
  bool case_sensitive = present(refs, 0);
  cell skip = present(refs, 1) ? arguments[refs[1]] : cell{TYPE_NONE, 0, 0, 0};
  const cell* skip_arg = present(refs, 1) ? &skip : nullptr;
  u32 ta = type_of(arguments);
  // The engines read the cell after the first set even for unique, where it holds the
  // /case flag: it is given the set itself (the refinements are read by now).
  if (op == block::SET_UNIQUE) arguments[1] = arguments[0];
  if (op != block::SET_UNIQUE) {
    u32 tb = type_of(arguments + 1);
    bool agree = block_kind(ta) ? block_kind(tb) : ta == tb;
    if (!agree) {
      cell a = datatype_of(ta), b = datatype_of(tb);
      fire("script", "expect-val", &a, &b);
    }
  }
  switch (ta) {
    case TYPE_BLOCK:
    case TYPE_HASH:
      block::do_set_op(case_sensitive, skip_arg, op);
      break;
    case TYPE_STRING:
      string::do_set_op(case_sensitive, skip_arg, op);
      break;
    case TYPE_TYPESET:
      typeset::do_bitwise(op);
      break;
    case TYPE_BITSET:
      bitset::do_bitwise(op);
      break;
    case TYPE_DATE:
      if (op == block::SET_DIFFERENCE) {
        // The time between two dates.
        cell r;
        date::difference(arguments, arguments + 1, &r);
        *arguments = r;
        break;
      }
      [[fallthrough]];
    default: {
      cell fn = stack::current_call_word();
      cell t = datatype_of(ta);
      cell arg;
      datatype::word_of_name(op == block::SET_UNIQUE ? "set" : "set1", &arg);
      fire("script", "expect-arg", &fn, &t, &arg);
    }
  }
  stack::keep_first();
}

void union_entry(bool, const i32* refs) { set_op(block::SET_UNION, refs); }
void intersect_entry(bool, const i32* refs) { set_op(block::SET_INTERSECT, refs); }
void unique_entry(bool, const i32* refs) { set_op(block::SET_UNIQUE, refs); }
void difference_entry(bool, const i32* refs) { set_op(block::SET_DIFFERENCE, refs); }
void exclude_entry(bool, const i32* refs) { set_op(block::SET_EXCLUDE, refs); }

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

// Objects are not extended by this native; map! brings its own routine.
void extend_entry(bool, const i32* refs) {
  if (type_of(arguments) != TYPE_MAP) fire("internal", "not-done");
  cell m = arguments[0];
  collector::root_guard g(&m);
  map::extend(&m, arguments + 1, present(refs, 0));
  stack::set_last(m);
}

// ---- Conversion -----------------------------------------------------------------------------

inline bool block_family(u32 t) {
  return t == TYPE_BLOCK || t == TYPE_PAREN || t == TYPE_PATH || t == TYPE_LIT_PATH ||
         t == TYPE_SET_PATH || t == TYPE_GET_PATH;
}
inline bool string_family(u32 t) {
  return t == TYPE_STRING || t == TYPE_FILE || t == TYPE_URL || t == TYPE_TAG ||
         t == TYPE_EMAIL || t == TYPE_REF;
}

// The same series, seen as another type of its family: no data is copied.
void as_entry(bool, const i32*) {
  u32 target = type_of(arguments) == TYPE_DATATYPE ? arguments->data1 : type_of(arguments);
  cell spec = arguments[1];
  u32 from = type_of(&spec);
  bool related = (block_family(target) && block_family(from)) ||
                 (string_family(target) && string_family(from));
  if (!related) {
    cell a = datatype_of(target), b = datatype_of(from);
    fire("script", "not-related", &a, &b);
  }
  set_type(&spec, target);
  stack::set_last(spec);
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

void init_text() {
  install("union", union_entry);
  install("intersect", intersect_entry);
  install("unique", unique_entry);
  install("difference", difference_entry);
  install("exclude", exclude_entry);
  install("dehex", dehex_entry);
  install("enhex", enhex_entry);
  install("uppercase", uppercase_entry);
  install("lowercase", lowercase_entry);
  install("extend", extend_entry);
  install("to-local-file", to_local_file_entry);
  install("as", as_entry);
  install("transcode", transcode_entry);
  install_codecs();
  install_compress();
}

}  // namespace vyr::natives
