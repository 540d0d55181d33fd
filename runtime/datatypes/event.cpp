// event!: construction from a spec block, field reads, the type word, flags and registration.
#include "runtime/datatypes/event.h"

#include <cstring>

#include "runtime/collector.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/char.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/pair.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/word.h"
#include "runtime/fire.h"
#include "runtime/stack.h"
#include "runtime/memory.h"

namespace vyr::event {

native_field_fn native_field = nullptr;

namespace {
const char* const type_names[TYPE_COUNT] = {
  "down", "up", "mid-down", "mid-up", "alt-down", "alt-up", "aux-down", "aux-up", "click",
  "dbl-click", "wheel", "over", "key", "key-down", "key-up", "ime", "focus", "unfocus", "enter",
  "zoom", "pan", "rotate", "two-tap", "press-tap", "select", "change", "menu", "close", "move",
  "resize", "moving", "resizing", "time", "drawing", "scroll", "minimize", "maximize",
  "restore"};
const char* const field_names[FIELD_COUNT] = {
  "type", "face", "window", "offset", "key", "picked", "flags", "away?", "down?", "mid-down?",
  "alt-down?", "aux-down?", "ctrl?", "shift?", "orientation"};
struct flag_name { const char* name; u32 bit; };
const flag_name flag_names[] = {
  {"command", FLAG_COMMAND}, {"alt", FLAG_ALT}, {"shift", FLAG_SHIFT},
  {"control", FLAG_CONTROL}, {"away", FLAG_AWAY}, {"down", FLAG_DOWN},
  {"mid-down", FLAG_MID_DOWN}, {"alt-down", FLAG_ALT_DOWN}, {"aux-down", FLAG_AUX_DOWN}};
// The order `flags` lists the set bits in (command is never listed).
const flag_name listed_flags[] = {
  {"away", FLAG_AWAY}, {"down", FLAG_DOWN}, {"mid-down", FLAG_MID_DOWN},
  {"alt-down", FLAG_ALT_DOWN}, {"aux-down", FLAG_AUX_DOWN}, {"control", FLAG_CONTROL},
  {"shift", FLAG_SHIFT}, {"alt", FLAG_ALT}};
// Bit value of each predicate field, from F_AWAY to F_SHIFT.
const u32 predicate_bits[] = {FLAG_AWAY, FLAG_DOWN, FLAG_MID_DOWN, FLAG_ALT_DOWN,
                              FLAG_AUX_DOWN, FLAG_CONTROL, FLAG_SHIFT};

// Canonical symbol ids, interned on first use (the symbol table is up by then).
u32 canonical(const char* name) { return symbol::resolve(symbol::make(name)); }
struct symbols {
  u32 types[TYPE_COUNT], fields[FIELD_COUNT], flags[9];
  u32 sym_type, sym_key, sym_flags, sym_face, sym_window, sym_offset, sym_picked;
};
const symbols& syms() {
  static symbols s = [] {
    symbols r{};
    for (u32 i = 0; i < TYPE_COUNT; i++) r.types[i] = canonical(type_names[i]);
    for (u32 i = 0; i < FIELD_COUNT; i++) r.fields[i] = canonical(field_names[i]);
    for (u32 i = 0; i < 9; i++) r.flags[i] = canonical(flag_names[i].name);
    r.sym_type = r.fields[F_TYPE - 1];
    r.sym_key = r.fields[F_KEY - 1];
    r.sym_flags = r.fields[F_FLAGS - 1];
    r.sym_face = r.fields[F_FACE - 1];
    r.sym_window = r.fields[F_WINDOW - 1];
    r.sym_offset = r.fields[F_OFFSET - 1];
    r.sym_picked = r.fields[F_PICKED - 1];
    return r;
  }();
  return s;
}

u32 symbol_of(const cell* w) { return symbol::resolve(w->data2); }

bool synthetic_q(const cell* e) { return e->header & SYNTHETIC; }

// Cell n of a synthetic event's value block, or null when it has none.
const cell* value_cell(const cell* e, u32 n) {
  if (!synthetic_q(e) || !e->data2) return nullptr;
  series_buffer* b = buffer_of(e->data2);
  if (b->used_units() < 4) return nullptr;
  return b->cells() + n;
}

cell* flags_block(u32 bits, cell* out) {
  // A new block for every read: a block kept from an earlier read keeps its words.
  block::make_at(out, 8);
  collector::root_guard guard(out);
  for (const flag_name& f : listed_flags)
    if (bits & f.bit) {
      cell w = word::intern(f.name);
      block::rs_append(out, &w);
    }
  return out;
}
}  // namespace

const char* type_name(u32 code) { return code >= 1 && code <= TYPE_COUNT ? type_names[code - 1] : ""; }
u32 code_of_name(const char* name) {
  for (u32 i = 0; i < TYPE_COUNT; i++)
    if (std::strcmp(type_names[i], name) == 0) return i + 1;
  return 0;
}

i32 field_of_word(const cell* w, const cell* owner) {
  if (word::any_word_q(type_of(w))) {
    u32 id = symbol_of(w);
    for (u32 i = 0; i < FIELD_COUNT; i++)
      if (syms().fields[i] == id) return i32(i + 1);
  }
  if (owner && type_of(owner) == TYPE_EVENT) {
    cell a = *w, b = *owner;
    fire("script", "cannot-use", &a, &b);
  }
  return -1;
}

u32 flag_of_word(const cell* w) {
  if (!word::any_word_q(type_of(w))) return 0;
  u32 id = symbol_of(w);
  for (u32 i = 0; i < 9; i++)
    if (syms().flags[i] == id) return flag_names[i].bit;
  return 0;
}

void set_type(cell* e, const cell* w) {
  u32 id = word::any_word_q(type_of(w)) ? symbol_of(w) : 0;
  for (u32 i = 0; i < TYPE_COUNT; i++)
    if (id && syms().types[i] == id) {
      e->data1 = i + 1;
      return;
    }
  cell a = *w;
  if (word::any_word_q(type_of(&a))) set_type(&a, TYPE_WORD);
  fire("script", "not-event-type", &a);
}

cell* type_word(const cell* e, cell* out) {
  u32 code = e->data1;
  if (code < 1 || code > TYPE_COUNT) return &(*out = none_value);
  *out = word::intern(type_names[code - 1]);
  return out;
}

cell* make_native_at(cell* c, u32 type, u32 record, u32 word3) {
  *c = cell{TYPE_EVENT, type, record, word3};
  return c;
}

cell* get_field(const cell* event, u32 index, cell* out) {
  cell e = *event;
  switch (index) {
    case F_TYPE: return type_word(&e, out);
    case F_FLAGS: return flags_block(e.data3, out);
    case F_AWAY: case F_DOWN: case F_MID_DOWN: case F_ALT_DOWN: case F_AUX_DOWN: case F_CTRL:
    case F_SHIFT:
      return &(*out = *logic::of(e.data3 & predicate_bits[index - F_AWAY]));
    default: break;
  }
  if (!synthetic_q(&e)) {
    if (native_field) return native_field(&e, index, out);
    return &(*out = none_value);
  }
  const cell* v;
  switch (index) {
    case F_FACE: case F_WINDOW:
      v = value_cell(&e, index == F_FACE ? 0 : 1);
      return &(*out = v ? *v : none_value);
    case F_OFFSET:
      v = value_cell(&e, 2);
      return v ? &(*out = *v) : pair::make_at(out, 0, 0);
    case F_PICKED:
      v = value_cell(&e, 3);
      return v ? &(*out = *v) : integer::make_at(out, 0);
    case F_KEY: {
      u32 key = e.data3 & KEY_MASK;
      return key ? char_::make_at(out, key) : &(*out = none_value);
    }
    default:
      return &(*out = none_value);
  }
}

// ---- Actions ------------------------------------------------------------------------------

const cell* make(const cell* proto, const cell* spec, u32 type) {
  cell e{TYPE_EVENT | SYNTHETIC, 0, 0, 0};
  if (type_of(spec) != TYPE_BLOCK) return &(*stack::arguments = e);
  // Read every entry before the one allocation, so no value cell is held across it.
  cell face = none_value, window = none_value, offset, picked;
  pair::make_at(&offset, 0, 0);
  integer::make_at(&picked, 0);
  bool any_value = false;
  cell s = *spec;
  series_buffer* b = buffer_of(s.data2);
  u32 n = b->used_units();
  for (u32 i = s.data1; i + 1 < n; i++) {
    b = buffer_of(s.data2);
    const cell* key = b->cells() + i;
    if (type_of(key) != TYPE_SET_WORD) continue;
    cell value = key[1];
    u32 id = symbol_of(key);
    i++;
    u32 vt = type_of(&value);
    if ((vt == TYPE_WORD || vt == TYPE_GET_WORD) && value.data1 && value.data3 != word::NO_INDEX) {
      value = *word::get_value(&value);
      vt = type_of(&value);
    }
    const symbols& y = syms();
    if (id == y.sym_type) {
      if (vt == TYPE_WORD || vt == TYPE_LIT_WORD) set_type(&e, &value);
    } else if (id == y.sym_key) {
      if (vt == TYPE_CHAR) e.data3 |= value.data2 & KEY_MASK;
    } else if (id == y.sym_flags) {
      if (vt == TYPE_BLOCK) {
        series_buffer* fb = buffer_of(value.data2);
        u32 fn = fb->used_units();
        for (u32 j = value.data1; j < fn; j++) {
          const cell* f = read_buffer(value.data2)->cells() + j;
          if (type_of(f) == TYPE_WORD) e.data3 |= flag_of_word(f);
        }
      }
    } else if (id == y.sym_face || id == y.sym_window) {
      if (vt == TYPE_OBJECT) {
        (id == y.sym_face ? face : window) = value;
        any_value = true;
      }
    } else if (id == y.sym_offset) {
      if (vt == TYPE_PAIR || vt == TYPE_POINT2D) {
        offset = value;
        any_value = true;
      }
    } else if (id == y.sym_picked) {
      if (vt == TYPE_INTEGER) {
        picked = value;
        any_value = true;
      }
    }
  }
  if (any_value) {
    cell values;
    block::make_at(&values, 4);
    block::rs_append(&values, &face);
    block::rs_append(&values, &window);
    block::rs_append(&values, &offset);
    block::rs_append(&values, &picked);
    e.data2 = values.data2;
  }
  return &(*stack::arguments = e);
}

i32 form(const cell* value, cell* out, const cell* part, i32 budget) {
  return datatype::append_text(out, "event", budget);
}

i32 mold(const cell* value, cell* out, bool only, bool all, bool flat, const cell* part,
         i32 budget, i32 indent) {
  return datatype::append_text(out, "event", budget);
}

i32 compare(const cell* a, const cell* b, i32 op) {
  if (type_of(b) != TYPE_EVENT) return COMPARE_NOT_COMPARABLE;
  switch (op) {
    case compare_op::EQUAL: case compare_op::NOT_EQUAL: case compare_op::STRICT_EQUAL:
    case compare_op::SORT: case compare_op::CASE_SORT: case compare_op::SAME:
    case compare_op::FIND:
      return 0;
    default:
      return COMPARE_NOT_COMPARABLE;
  }
}

const cell* eval_path(cell* parent, cell* element, cell* value, const path_args& walk) {
  if (!value) {
    i32 index = field_of_word(element, nullptr);
    if (index < 0) {
      cell path = walk.path ? *walk.path : none_value, el = *element;
      fire("script", "invalid-path", &path, &el);
    }
    cell e = *parent, result;
    get_field(&e, u32(index), &result);
    return &(*stack::push_slot() = result);
  }
  cell path = walk.path ? *walk.path : none_value;
  if (!word::any_word_q(type_of(element)) || symbol_of(element) != syms().sym_type) {
    cell el = *element;
    fire("script", "bad-path-set", &path, &el);
  }
  if (type_of(value) != TYPE_WORD) {
    cell v = *value;
    fire("script", "bad-path-set", &path, &v);
  }
  set_type(parent, value);
  return parent;  // the changed event is written back where it was read from
}

const cell* pick(cell* value, i32 index, const cell* index_cell) {
  cell e = *value;
  cell sel = index_cell ? *index_cell : cell{TYPE_INTEGER, 0, u32(index), 0};
  i32 n;
  if (word::any_word_q(type_of(&sel))) {
    n = field_of_word(&sel, &e);
  } else {
    n = type_of(&sel) == TYPE_INTEGER ? i32(sel.data2) : index;
    if (n < 1 || n > i32(FIELD_COUNT)) fire("script", "out-of-range", &sel);
  }
  cell result;
  get_field(&e, u32(n), &result);
  return &(*stack::arguments = result);
}

bool find_flag_q(const cell* facet, const cell* flag) {
  if (!word::any_word_q(type_of(flag))) return false;
  u32 id = symbol_of(flag);
  u32 t = type_of(facet);
  if (t == TYPE_WORD) return symbol_of(facet) == id;
  if (t != TYPE_BLOCK) return false;
  series_buffer* b = buffer_of(facet->data2);
  u32 n = b->used_units();
  for (u32 i = facet->data1; i < n; i++) {
    const cell* c = b->cells() + i;
    if ((type_of(c) == TYPE_WORD || type_of(c) == TYPE_LIT_WORD) && symbol_of(c) == id)
      return true;
  }
  return false;
}

// ---- Registration -------------------------------------------------------------------------

void init() {
  action_row row;
#define VYR_NO_ENTRY(n, name, sig) row.name = nullptr;
  VYR_ACTION_SLOTS(VYR_NO_ENTRY)
#undef VYR_NO_ENTRY
  row.make = make;
  row.form = form;
  row.mold = mold;
  row.eval_path = eval_path;
  row.compare = compare;
  row.pick = pick;
  datatype::register_(TYPE_EVENT, 0, "event!", row);
}

}  // namespace vyr::event
