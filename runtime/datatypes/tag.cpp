// tag!, email! and ref!: their text forms, the email! path and the registrations.
#include "runtime/datatypes/tag.h"

#include "runtime/collector.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/string_actions.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/fire.h"
#include "runtime/stack.h"
#include "runtime/word_tables.h"

namespace vyr {

namespace tag {

i32 form(const cell* value, cell* out, const cell* part, i32 budget) {
  budget = datatype::append_text(out, "<", budget);
  budget = string::form(value, out, part, budget);
  return datatype::append_text(out, ">", budget);
}

i32 mold(const cell* value, cell* out, bool, bool, bool, const cell* part, i32 budget, i32) {
  return form(value, out, part, budget);
}

cell* push(const cell* value) { return stack::push_copy(value); }

void init() {
  action_row row;  // everything else from string!
  row.form = form;
  row.mold = mold;
  row.random = nullptr;
  row.sort = nullptr;
  row.trim = nullptr;
  datatype::register_(TYPE_TAG, TYPE_STRING, "tag!", row);
}

}  // namespace tag

namespace email {

i32 mold(const cell* value, cell* out, bool, bool, bool, const cell* part, i32 budget, i32) {
  return string::form(value, out, part, budget);
}

namespace {
// Characters from the head to the first "@" (the whole length when there is none).
i32 split_of(const cell* e) {
  i32 at = string::rs_find_char(e, '@');
  return at < 0 ? string::rs_length_q(e) : at;
}
}  // namespace

const cell* eval_path(cell* parent, cell* element, cell* value, const path_args& walk) {
  u32 te = type_of(element);
  bool user = te == TYPE_WORD && symbol::same_q(element->data2, words::sym_user);
  bool host = te == TYPE_WORD && symbol::same_q(element->data2, words::sym_host);
  if (te == TYPE_INTEGER) return string::eval_path(parent, element, value, walk);
  if (!user && !host) {
    cell path = walk.path ? *walk.path : cell{TYPE_NONE, 0, 0, 0}, e = *element;
    fire("script", "invalid-path", &path, &e);
  }
  cell e = *parent;
  collector::root_guard keep_e(&e);
  i32 split = split_of(&e);
  i32 length = string::rs_length_q(&e);
  bool has_at = split < length;
  if (!value) {
    cell part = e;
    i32 count = split;
    if (host) {
      part.data1 = e.data1 + static_cast<u32>(has_at ? split + 1 : length);
      count = -1;
    }
    cell out{TYPE_UNSET, 0, 0, 0};
    collector::root_guard keep(&out);
    string::copy_text(&part, count, TYPE_STRING, &out);
    return stack::set_result(&out);
  }
  cell v = *value;
  collector::root_guard keep_v(&v);
  cell at = e;
  i32 count = split;
  if (host) {
    if (!has_at) {
      // An address without "@" gains one, so that the host stays apart from the user.
      string::concatenate_literal(&e, "@");
      length++;
    }
    at.data1 = e.data1 + static_cast<u32>(split + 1);
    count = length - split - 1;
  }
  {
    // The change answers in a result slot of its own: the caller's slot gets the email.
    stack::guard g;
    stack::arguments = stack::top;
    *stack::push_slot() = cell{TYPE_NONE, 0, 0, 0};
    string::change(&at, &v, count, false, 1);
  }
  return stack::set_result(&e);
}

void init() {
  action_row row;
  row.mold = mold;
  row.eval_path = eval_path;
  row.random = nullptr;
  row.sort = nullptr;
  row.trim = nullptr;
  datatype::register_(TYPE_EMAIL, TYPE_STRING, "email!", row);
}

}  // namespace email

namespace ref {

i32 mold(const cell* value, cell* out, bool, bool, bool, const cell* part, i32 budget, i32) {
  budget = datatype::append_text(out, "@", budget);
  return string::form(value, out, part, budget);
}

cell* push(const cell* value) { return stack::push_copy(value); }

void init() {
  action_row row;
  row.mold = mold;
  row.eval_path = nullptr;
  row.append = nullptr;
  row.random = nullptr;
  row.sort = nullptr;
  row.trim = nullptr;
  datatype::register_(TYPE_REF, TYPE_STRING, "ref!", row);
}

}  // namespace ref

}  // namespace vyr
