// Word kinds and issue!: constructors, access through bindings, and the action
// implementations (compare, index?, form, mold, make). Equality ignores letter case and
// kind by comparing canonical symbols; the written form is what prints.
#include "runtime/datatypes/word.h"

#include <algorithm>
#include <cstring>

#include "runtime/collector.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/action_slots.h"
#include "runtime/datatypes/context.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/fire.h"
#include "runtime/hashtable.h"
#include "runtime/stack.h"

namespace vyr::word {

namespace {
// Appends the symbol's name to a string! value; returns the number of characters added.
u32 append_name(cell* buffer, u32 symbol_id) {
  u32 src = symbol::string_node(symbol_id);
  u32 n = buffer_of(src)->used_units();
  for (u32 i = 0; i < n; i++) {
    series_buffer* s = buffer_of(src);
    u32 cp = string::get_char(s->head() + u64{i} * s->unit(), s->unit());
    string::append_char(buffer_of(buffer->data2), cp);
  }
  return n;
}

i32 compare_names(u32 a, u32 b, bool fold) {
  u32 na = symbol::string_node(a);
  u32 nb = symbol::string_node(b);
  series_buffer* x = buffer_of(na);
  series_buffer* y = buffer_of(nb);
  u32 lx = x->used_units(), ly = y->used_units();
  for (u32 i = 0; i < std::min(lx, ly); i++) {
    u32 cx = string::get_char(x->head() + u64{i} * x->unit(), x->unit());
    u32 cy = string::get_char(y->head() + u64{i} * y->unit(), y->unit());
    if (fold) {
      cx = hashtable::fold_upper_hook(cx);
      cy = hashtable::fold_upper_hook(cy);
    }
    if (cx != cy) return cx < cy ? -1 : 1;
  }
  return lx == ly ? 0 : lx < ly ? -1 : 1;
}

u32 true_symbol() {
  static u32 id = 0;
  if (!id) id = symbol::make("true");
  return id;
}
u32 false_symbol() {
  static u32 id = 0;
  if (!id) id = symbol::make("false");
  return id;
}
}  // namespace

// ---------------------------------------------------------------------------------------
// Constructors

cell intern(const char* name) {
  return _context::add_global(symbol::make(name), true, true);
}

cell* make_at(u32 symbol_id, cell* c) {
  i32 index = _context::add_word(_context::global, symbol_id);
  *c = cell{TYPE_WORD, _context::global, symbol_id, u32(index)};
  return c;
}

cell* make_kind_in(const char* name, u32 block, u32 type) {
  collector::node_guard bg(&block);
  cell w;
  make_at(symbol::make(name), &w);
  set_type(&w, type);
  series_buffer* b = buffer_of(block);
  cell* c = memory::alloc_tail_cell(b);  // w holds only the global context: no root needed
  *c = w;
  return c;
}

cell* make_in(const char* name, u32 block) { return make_kind_in(name, block, TYPE_WORD); }

// ---------------------------------------------------------------------------------------
// Access

cell* get_local_word(u32 ctx, u32 index) { return _context::word_at(ctx, index); }

cell* get_local_cell(u32 ctx, u32 index) {
  return buffer_of(_context::context_cell(ctx)->data2)->cells() + index;
}

cell find_or_global(u32 ctx, u32 symbol_id) {
  i32 pos = hashtable::find_context_word(_context::table_of(ctx), symbol_id, false, 0, nullptr);
  if (pos >= 0) return *_context::word_at(ctx, u32(pos));
  return _context::add_global(symbol_id, false, false);
}

const cell* get_value(const cell* w) { return _context::get(w); }

const cell* value_checked(const cell* w) {
  const cell* v = _context::get(w);
  if (type_of(v) == TYPE_UNSET) fire("script", "no-value", w);
  return v;
}

void get_local(u32 ctx, u32 index, cell* out) {
  cell w = *_context::word_at(ctx, index);
  w.data1 = ctx;
  w.data3 = index;
  if ((_context::context_cell(ctx)->header & _context::ON_STACK) &&
      !_context::context_cell(ctx)->data2)
    fire("script", "not-defined", &w);
  *out = *_context::get(&w);
}

cell* set_from_args(cell* w, const cell* value) {
  if (type_of(value) == TYPE_UNSET) fire("script", "need-value", w);
  return _context::set(w, value);
}

cell* set_local(u32 ctx, u32 index, const cell* value) {
  cell w = *_context::word_at(ctx, index);
  w.data1 = ctx;
  w.data3 = index;
  return _context::set_in(&w, value, ctx, false);
}

cell* replace_local(u32 ctx, u32 index, const cell* value, cell* old_out) {
  cell w = *_context::word_at(ctx, index);
  w.data1 = ctx;
  w.data3 = index;
  *old_out = *_context::get(&w);
  return _context::set_in(&w, value, ctx, false);
}

cell* name_string(const cell* w, cell* out) {
  u32 sym = w->data2;
  *out = cell{TYPE_STRING, 0, symbol::string_node(sym), 0};
  return out;
}

// ---------------------------------------------------------------------------------------
// Actions

i32 compare(const cell* a, const cell* b, i32 op) {
  u32 ta = type_of(a), tb = type_of(b);
  if (!kind_q(tb) || (tb == TYPE_ISSUE && ta != TYPE_ISSUE)) return -2;
  auto word_lit_pair = [&] {
    return (ta == TYPE_WORD && tb == TYPE_LIT_WORD) || (ta == TYPE_LIT_WORD && tb == TYPE_WORD);
  };
  switch (op) {
    case 9:
      return a->data2 == b->data2 && a->data1 == b->data1 && ta == tb ? 0 : 1;
    case 2:
      return ta == tb && a->data2 == b->data2 ? 0 : 1;
    case 10:
      if (word_lit_pair()) return a->data2 != b->data2 ? 1 : 0;
      return ta == tb && a->data2 == b->data2 ? 0 : 1;
    case 11:
      if (word_lit_pair())
        return symbol::same_q(a->data2, b->data2) ? 0 : 1;
      return ta == tb && symbol::same_q(a->data2, b->data2) ? 0 : 1;
    case 0: case 1: case 12:
      return symbol::same_q(a->data2, b->data2) ? 0 : 1;
    default:
      return compare_names(a->data2, b->data2, op != 8);
  }
}

cell* index_q(const cell* w, cell* out) {
  if (w->data3 == NO_INDEX) *out = cell{TYPE_NONE, 0, 0, 0};
  else *out = cell{TYPE_INTEGER, 0, w->data3 + 1, 0};
  return out;
}

i32 form(const cell* w, cell* buffer, i32 budget) {
  return budget - i32(append_name(buffer, w->data2));
}

i32 mold(const cell* w, cell* buffer, i32 budget) {
  u32 t = type_of(w);
  char before = t == TYPE_LIT_WORD ? '\'' : t == TYPE_GET_WORD ? ':' : t == TYPE_REFINEMENT ? '/'
              : t == TYPE_ISSUE ? '#' : 0;
  if (before) {
    string::append_char(buffer_of(buffer->data2), u8(before));
    budget--;
  }
  budget = form(w, buffer, budget);
  if (t == TYPE_SET_WORD) {
    string::append_char(buffer_of(buffer->data2), ':');
    budget--;
  }
  return budget;
}

namespace {
// The one value a text holds as the lexer loads it, or false when the text holds none,
// more than one, or does not load at all: the lexer is the only judge of what a word is.
// A text with more than one value is refused rather than cut, so no part of it is lost.
bool load_single(const cell* text, cell* out) {
  cell t = *text, block{TYPE_NONE, 0, 0, 0};
  collector::root_guard gt(&t), gb(&block);
  stack::state_guard sg;
  try {
    if (!block::load_hook) fire("internal", "not-done");
    block::load_hook(&t, &block);
  } catch (thrown& e) {
    if (e.level != THROW_ERROR || !e.category || std::strcmp(e.category, "syntax") != 0) {
      sg.release();
      throw;
    }
    sg.restore();
    sg.release();
    return false;
  }
  sg.release();
  series_buffer* b = buffer_of(block.data2);
  if (b->used_units() != 1) return false;
  *out = b->cells()[0];
  return true;
}

// A one-character string! of a char! value.
cell char_text(const cell* c) {
  cell s{};
  u32 cp = c->data2;
  string::make_at(&s, 4);
  collector::root_guard g(&s);
  string::append_char(buffer_of(s.data2), cp);
  return s;
}
}  // namespace

// make and to for every word kind. A text becomes a word when the lexer loads it as one
// word of any kind (then retyped: "a:" gives a); a refinement's or issue's name must load
// as a plain word, set-word, lit-word or get-word. The result is the global word.
cell* make(const cell* source, u32 target, cell* out) {
  u32 t = type_of(source);
  if (t >= TYPE_WORD && t <= TYPE_GET_WORD) {
    *out = *source;
    set_type(out, target);
    return out;
  }
  if (t == TYPE_LOGIC) {
    make_at(source->data1 ? true_symbol() : false_symbol(), out);
    set_type(out, target);
    return out;
  }
  if (t == TYPE_DATATYPE && datatype::registered_q(source->data1) &&
      word::kind_q(type_of(datatype::word_of(source->data1)))) {
    *out = *datatype::word_of(source->data1);
    set_type(out, target);
    return out;
  }
  cell type{TYPE_DATATYPE, target, 0, 0};
  if (t == TYPE_STRING || t == TYPE_CHAR) {
    cell text = t == TYPE_CHAR ? char_text(source) : *source;
    cell v;
    if (!load_single(&text, &v) || !kind_q(type_of(&v))) fire("script", "invalid-chars");
    make_at(v.data2, out);
    set_type(out, target);
    return out;
  }
  if (t == TYPE_REFINEMENT || t == TYPE_ISSUE) {
    cell src = *source, name{};
    collector::root_guard gs(&src);
    string::make_at(&name, 16);
    collector::root_guard gn(&name);
    append_name(&name, src.data2);
    cell v;
    if (!load_single(&name, &v) || type_of(&v) < TYPE_WORD || type_of(&v) > TYPE_GET_WORD)
      fire("script", "bad-to-arg", &type, &src);
    make_at(v.data2, out);
    set_type(out, target);
    return out;
  }
  if (t == TYPE_DATATYPE) fire("internal", "not-done");
  fire("script", "bad-to-arg", &type, source);
}

// ---------------------------------------------------------------------------------------
// Registration

namespace {
// The action-slot forms of the word implementations.
const cell* make_action(const cell* proto, const cell* spec, u32 type) {
  cell out;
  make(spec, type, &out);
  return stack::set_result(&out);
}
i32 form_action(const cell* value, cell* out, const cell* part, i32 budget) {
  return form(value, out, budget);
}
i32 mold_action(const cell* value, cell* out, bool only, bool all, bool flat,
                const cell* part, i32 budget, i32 indent) {
  return mold(value, out, budget);
}
void index_action() { index_q(stack::arguments, stack::arguments); }
}  // namespace

void init() {
  action_row row;
  row.make = make_action;
  row.to = make_action;
  row.form = form_action;
  row.mold = mold_action;
  row.compare = compare;
  row.index_q = index_action;
  datatype::register_(TYPE_WORD, TYPE_SYMBOL, "word!", row);
  // The other kinds take every entry from word! (their mold differs only by punctuation,
  // which word/mold reads from the type).
  action_row kind;
  datatype::register_(TYPE_LIT_WORD, TYPE_WORD, "lit-word!", kind);
  datatype::register_(TYPE_SET_WORD, TYPE_WORD, "set-word!", kind);
  datatype::register_(TYPE_GET_WORD, TYPE_WORD, "get-word!", kind);
  datatype::register_(TYPE_REFINEMENT, TYPE_WORD, "refinement!", kind);
}

}  // namespace vyr::word

namespace vyr::refinement {

cell* make_in(const char* name, u32 block) {
  collector::node_guard bg(&block);
  u32 sym = symbol::make(name);
  series_buffer* b = buffer_of(block);
  cell* c = memory::alloc_tail_cell(b);
  *c = cell{TYPE_REFINEMENT, 0, sym, word::NO_INDEX};
  return c;
}

}  // namespace vyr::refinement

namespace vyr::issue {

cell* make_at(cell* c, const char* name) {
  u32 sym = symbol::make(name);
  *c = cell{TYPE_ISSUE, _context::global, sym, word::NO_INDEX};
  return c;
}

cell intern(const char* name) {
  cell c;
  make_at(&c, name);
  return c;
}

i32 compare(const cell* a, const cell* b, i32 op) {
  if (type_of(b) != TYPE_ISSUE) return -2;
  return word::compare(a, b, op);
}

cell* make(const cell* source, cell* out) {
  u32 t = type_of(source);
  if (t == TYPE_STRING || t == TYPE_CHAR) {
    u32 sym;
    if (t == TYPE_CHAR) {
      cell s{};
      string::make_at(&s, 4);
      collector::root_guard g(&s);
      string::append_char(buffer_of(s.data2), source->data2);
      sym = symbol::from_string(&s, 1);
    } else {
      sym = symbol::from_string(source, 0xFFFFFFFFu);
    }
    *out = cell{TYPE_ISSUE, _context::global, sym, word::NO_INDEX};
    return out;
  }
  if (word::kind_q(t)) {
    *out = *source;
    set_type(out, TYPE_ISSUE);
    return out;
  }
  return word::make(source, TYPE_ISSUE, out);
}

namespace {
const cell* make_action(const cell* proto, const cell* spec, u32 type) {
  cell out;
  make(spec, &out);
  return stack::set_result(&out);
}
}  // namespace

void init() {
  action_row row;
  row.make = make_action;
  row.to = make_action;
  // form and mold come from word!: word/mold writes the number sign from the type.
  row.compare = compare;
  row.index_q = nullptr;
  datatype::register_(TYPE_ISSUE, TYPE_WORD, "issue!", row);
}

}  // namespace vyr::issue
