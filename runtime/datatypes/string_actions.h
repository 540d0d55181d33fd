// string! actions: make, to, form, mold, compare and eval-path (string_actions.cpp), and
// the searching and editing actions (string_series.cpp). url!, file! and the other
// string-like types inherit them, which is why several of them test for those types.
#pragma once
#include "runtime/datatypes/action_slots.h"
#include "runtime/hooks.h"

namespace vyr::string {

// string!, file!, url!, tag!, email!, ref!: the types whose text runs from a head index.
inline bool text_q(u32 type) {
  return type == TYPE_STRING || type == TYPE_FILE || type == TYPE_URL || type == TYPE_TAG ||
         type == TYPE_EMAIL || type == TYPE_REF;
}

// The escaped form of one code point as mold writes it (the braces' nesting rule is the
// caller's): at most 9 code points into `out`; returns how many.
u32 escape_char(u32 cp, bool all, bool braced, u32* out);

// A new string of `type` holding `count` characters (-1: all) of a text value from its
// head, in the same unit. `out` must not lie in a series buffer.
cell* copy_text(const cell* text, i32 count, u32 type, cell* out);

// The character comparison behind compare: -1, 0 or 1 (see compare).
i32 compare_strings(const cell* a, const cell* b, i32 op);

// The code point at 1-based index i from the head (negative i counts back from the head,
// 0 gives none!), as pick answers it, into `out`; returns out.
cell* pick_at(const cell* series, i32 i, cell* out);
// Stores a char! at that position; out of range raises script out-of-range.
void poke_at(cell* series, i32 i, const cell* value);

// Actions (arguments as the action slots define them)
const cell* make(const cell* proto, const cell* spec, u32 type);
const cell* to(const cell* proto, const cell* spec, u32 type);
i32 form(const cell* value, cell* out, const cell* part, i32 budget);
i32 mold(const cell* value, cell* out, bool only, bool all, bool flat, const cell* part,
         i32 budget, i32 indent);
i32 compare(const cell* a, const cell* b, i32 op);
const cell* eval_path(cell* parent, cell* element, cell* value, const path_args& walk);

const cell* append(cell* series, const cell* value, i32 part, bool only, i32 dup,
                   bool append);  // insert with append false
// `append` without refinements when it is plain: a character, an integer's digits, or a
// text of another buffer in a unit the series holds, appended to a series with room for it
// and no owner to tell. Writes exactly what append would and answers true, or changes
// nothing and answers false. Never allocates.
bool append_in_place(cell* series, const cell* value);
const cell* change(cell* series, const cell* value, i32 part, bool only, i32 dup);
const cell* find(cell* series, const cell* value, const find_args& opts);
const cell* select(cell* series, const cell* value, const find_args& opts);
const cell* sort(cell* series, const sort_args& opts);
const cell* swap(cell* series1, cell* series2);
const cell* take(cell* series, const cell* part, bool deep, bool last);
const cell* trim(cell* series, const trim_args& opts);

// Set operations over the text values at stack::arguments (A) and the cell after it (B):
// op 8 unique, 9 union, 10 intersect, 11 exclude, 12 difference. The result (a new text
// of A's type) replaces A and is returned.
constexpr i32 SET_UNIQUE = 8, SET_UNION = 9, SET_INTERSECT = 10, SET_EXCLUDE = 11,
              SET_DIFFERENCE = 12;
const cell* do_set_op(bool case_sensitive, const cell* skip, i32 op);

// uppercase / lowercase of a string in place (a char! is mapped), with the ownership
// notices of an edit. `part` as unicode::change_case takes it.
cell* change_case(cell* value, const cell* part, bool upper);

void init();  // registers string! (after series!)

}  // namespace vyr::string
