// Stand-in datatype rows (see provisional.h): mold, form and compare only.
#include "runtime/datatypes/provisional.h"

#include <string>

#include "runtime/collector.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/word.h"
#include "runtime/interpreter/actions.h"
#include "runtime/interpreter/cells.h"
#include "runtime/interpreter/typecheck.h"

namespace vyr::provisional {

namespace {
i32 text(cell* out, const std::string& s, i32 budget) {
  return datatype::append_text(out, s.c_str(), budget);
}

// Elements from the head, each molded (or formed), separated by single spaces.
i32 elements(const cell* v, cell* out, bool mold_it, bool all, i32 budget, const char* sep) {
  cell b = *v;
  collector::root_guard g(&b);
  for (u32 i = b.data1; i < cells::length(b.data2); i++) {
    if (i > b.data1) budget = datatype::append_text(out, sep, budget);
    cell e = *cells::at(b.data2, i);
    collector::root_guard eg(&e);
    budget = mold_it ? actions::mold(&e, out, false, all, false, nullptr, budget, 0)
                     : actions::form(&e, out, nullptr, budget);
  }
  return budget;
}

i32 block_mold(const cell* v, cell* out, bool only, bool all, bool flat, const cell* part,
               i32 budget, i32 indent) {
  u32 t = type_of(v);
  const char* open = t == TYPE_PAREN ? "(" : "[";
  const char* close = t == TYPE_PAREN ? ")" : "]";
  if (!only || t != TYPE_BLOCK) budget = datatype::append_text(out, open, budget);
  budget = elements(v, out, true, all, budget, " ");
  if (!only || t != TYPE_BLOCK) budget = datatype::append_text(out, close, budget);
  return budget;
}
i32 block_form(const cell* v, cell* out, const cell* part, i32 budget) {
  return elements(v, out, false, false, budget, " ");
}
i32 path_mold(const cell* v, cell* out, bool only, bool all, bool flat, const cell* part,
              i32 budget, i32 indent) {
  u32 t = type_of(v);
  if (t == TYPE_GET_PATH) budget = datatype::append_text(out, ":", budget);
  if (t == TYPE_LIT_PATH) budget = datatype::append_text(out, "'", budget);
  budget = elements(v, out, true, all, budget, "/");
  if (t == TYPE_SET_PATH) budget = datatype::append_text(out, ":", budget);
  return budget;
}
i32 path_form(const cell* v, cell* out, const cell* part, i32 budget) {
  return path_mold(v, out, false, false, false, part, budget, 0);
}
i32 block_compare(const cell* a, const cell* b, i32 op) {
  if (type_of(a) != type_of(b)) return COMPARE_NOT_COMPARABLE;
  if (op == compare_op::SAME) return a->data2 == b->data2 && a->data1 == b->data1 ? 0 : 1;
  u32 na = cells::remaining(a), nb = cells::remaining(b);
  for (u32 i = 0; i < na && i < nb; i++) {
    cell x = *cells::at(a->data2, a->data1 + i), y = *cells::at(b->data2, b->data1 + i);
    if (type_of(&x) != type_of(&y)) return type_of(&x) < type_of(&y) ? -1 : 1;
    i32 r = actions::compare_raw(&x, &y, op == compare_op::STRICT_EQUAL ? op : compare_op::EQUAL);
    if (r != 0) return r == COMPARE_NOT_COMPARABLE ? 1 : r;
  }
  return na == nb ? 0 : na < nb ? -1 : 1;
}

std::string utf8(const cell* v) { return string::to_utf8(v); }

i32 string_mold(const cell* v, cell* out, bool only, bool all, bool flat, const cell* part,
                i32 budget, i32 indent) {
  std::string s = utf8(v), r = "\"";
  for (unsigned char c : s) {
    if (c == '"') r += "^\"";
    else if (c == '^') r += "^^";
    else if (c == '\n') r += "^/";
    else if (c == '\t') r += "^-";
    else r += char(c);
  }
  r += '"';
  return text(out, r, budget);
}
i32 string_form(const cell* v, cell* out, const cell* part, i32 budget) {
  return text(out, utf8(v), budget);
}
i32 string_compare(const cell* a, const cell* b, i32 op) {
  if (type_of(b) != type_of(a)) return COMPARE_NOT_COMPARABLE;
  std::string x = utf8(a), y = utf8(b);
  if (op != compare_op::STRICT_EQUAL && op != compare_op::CASE_SORT) {
    for (char& c : x) c = char(std::toupper(static_cast<unsigned char>(c)));
    for (char& c : y) c = char(std::toupper(static_cast<unsigned char>(c)));
  }
  return x == y ? 0 : x < y ? -1 : 1;
}

i32 word_mold(const cell* v, cell* out, bool, bool, bool, const cell*, i32 budget, i32) {
  return word::mold(v, out, budget);
}
i32 word_form(const cell* v, cell* out, const cell*, i32 budget) { return word::form(v, out, budget); }
i32 issue_compare(const cell* a, const cell* b, i32 op) { return issue::compare(a, b, op); }

i32 char_mold(const cell* v, cell* out, bool, bool, bool, const cell*, i32 budget, i32) {
  budget = datatype::append_text(out, "#\"", budget);
  string::append_char(buffer_of(out->data2), v->data2);
  return datatype::append_text(out, "\"", budget - 1);
}
i32 char_form(const cell* v, cell* out, const cell*, i32 budget) {
  string::append_char(buffer_of(out->data2), v->data2);
  return budget - 1;
}
i32 char_compare(const cell* a, const cell* b, i32 op) {
  if (type_of(b) != TYPE_CHAR) return COMPARE_NOT_COMPARABLE;
  return a->data2 == b->data2 ? 0 : a->data2 < b->data2 ? -1 : 1;
}

i32 typeset_mold(const cell* v, cell* out, bool, bool, bool, const cell*, i32 budget, i32) {
  budget = datatype::append_text(out, "make typeset! [", budget);
  bool first = true;
  for (u32 t = 1; t < TYPE_TOTAL_COUNT; t++) {
    if (!typecheck::accepts(v, t) || !datatype::registered_q(t)) continue;
    if (!first) budget = datatype::append_text(out, " ", budget);
    budget = datatype::append_text(out, datatype::name_of(t), budget);
    first = false;
  }
  return datatype::append_text(out, "]", budget);
}
i32 typeset_form(const cell* v, cell* out, const cell* p, i32 b) {
  return typeset_mold(v, out, false, false, false, p, b, 0);
}
i32 typeset_compare(const cell* a, const cell* b, i32 op) {
  if (type_of(b) != TYPE_TYPESET) return COMPARE_NOT_COMPARABLE;
  return typecheck::mask_of(a) == typecheck::mask_of(b) ? 0 : 1;
}

void add(u32 type, u32 parent, const char* name, const action_row& row) {
  if (!datatype::registered_q(type)) datatype::register_(type, parent, name, row);
}
}  // namespace

void init() {
  action_row blocks;
  blocks.mold = block_mold;
  blocks.form = block_form;
  blocks.compare = block_compare;
  add(TYPE_BLOCK, 0, "block!", blocks);
  add(TYPE_PAREN, 0, "paren!", blocks);
  action_row paths = blocks;
  paths.mold = path_mold;
  paths.form = path_form;
  add(TYPE_PATH, 0, "path!", paths);
  add(TYPE_LIT_PATH, 0, "lit-path!", paths);
  add(TYPE_SET_PATH, 0, "set-path!", paths);
  add(TYPE_GET_PATH, 0, "get-path!", paths);
  action_row strings;
  strings.mold = string_mold;
  strings.form = string_form;
  strings.compare = string_compare;
  add(TYPE_STRING, 0, "string!", strings);
  action_row words;
  words.mold = word_mold;
  words.form = word_form;
  words.compare = word::compare;
  add(TYPE_WORD, 0, "word!", words);
  add(TYPE_SET_WORD, 0, "set-word!", words);
  add(TYPE_LIT_WORD, 0, "lit-word!", words);
  add(TYPE_GET_WORD, 0, "get-word!", words);
  add(TYPE_REFINEMENT, 0, "refinement!", words);
  words.compare = issue_compare;
  add(TYPE_ISSUE, 0, "issue!", words);
  action_row chars;
  chars.mold = char_mold;
  chars.form = char_form;
  chars.compare = char_compare;
  add(TYPE_CHAR, 0, "char!", chars);
  action_row typesets;
  typesets.mold = typeset_mold;
  typesets.form = typeset_form;
  typesets.compare = typeset_compare;
  add(TYPE_TYPESET, 0, "typeset!", typesets);
  // Types registered after the type-name words were made need their words now.
  datatype::make_words();
}

}  // namespace vyr::provisional
