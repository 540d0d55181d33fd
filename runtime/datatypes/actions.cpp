// Action dispatch through the registry's resolved rows; an empty entry is a type error of
// the first argument.
#include "runtime/datatypes/actions.h"

#include "runtime/collector.h"
#include "runtime/datatypes/context.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/string.h"
#include "runtime/fire.h"
#include "runtime/stack.h"

namespace vyr::actions {

namespace {
const char* const slot_names[ACTION_COUNT] = {
    "make", "random", "reflect", "to", "form", "mold", "eval-path", "", "compare",
    "absolute", "add", "divide", "multiply", "negate", "power", "remainder", "round",
    "subtract", "even?", "odd?", "and~", "complement", "or~", "xor~", "append", "at",
    "back", "change", "clear", "copy", "find", "head", "head?", "index?", "insert",
    "length?", "move", "next", "pick", "poke", "put", "remove", "reverse", "select",
    "sort", "skip", "swap", "tail", "tail?", "take", "trim", "create", "close", "delete",
    "modify", "open", "open?", "query", "read", "rename", "update", "write"};
}  // namespace

const char* name_of(u32 slot_number) {
  return slot_number >= 1 && slot_number <= ACTION_COUNT ? slot_names[slot_number - 1] : "";
}

namespace {
// The word of the first argument in the spec of the function a global word holds, or a
// none! cell when the word holds no function.
cell first_argument(u32 symbol_id) {
  i32 at = _context::find_word(_context::global, symbol_id, true);
  if (at < 0 || u32(at) >= _context::value_count(_context::global)) return none_value;
  const cell* fn = _context::value_at(_context::global, u32(at));
  u32 t = type_of(fn);
  if (t != TYPE_ACTION && t != TYPE_NATIVE && t != TYPE_FUNCTION && t != TYPE_OP &&
      t != TYPE_ROUTINE)
    return none_value;
  series_buffer* spec = buffer_of(fn->data2);
  for (u32 i = 0; i < spec->used_units(); i++) {
    cell c = spec->cells()[i];
    if (type_of(&c) == TYPE_REFINEMENT) break;
    if (type_of(&c) == TYPE_WORD || type_of(&c) == TYPE_LIT_WORD || type_of(&c) == TYPE_GET_WORD) {
      set_type(&c, TYPE_WORD);
      clear_new_line(&c);
      return c;
    }
  }
  return none_value;
}

// An unsupported action is a type error of the current call's first argument, named by
// that call's own spec ("append does not allow ref! for its series argument").
[[noreturn]] void fire_unsupported(u32 type, u32 slot_number) {
  cell call = stack::current_call_word();
  cell arg = first_argument(call.data2);
  if (type_of(&arg) == TYPE_NONE) datatype::fire_expect_arg(name_of(slot_number), type, "value");
  cell t;
  datatype::make_at(&t, type);
  fire("script", "expect-arg", &call, &t, &arg);
}
}  // namespace

datatype::generic_fn lookup(u32 type, u32 slot_number) {
  datatype::generic_fn f = datatype::entry(type, slot_number);
  if (!f) fire_unsupported(type, slot_number);
  return f;
}

// ---- Typed dispatchers ------------------------------------------------------------------

namespace {
u32 target_type(const cell* proto) {
  return type_of(proto) == TYPE_DATATYPE ? datatype::id(proto) : type_of(proto);
}
}  // namespace

const cell* make(const cell* proto, const cell* spec) {
  u32 t = target_type(proto);
  auto f = reinterpret_cast<make_fn>(lookup(t, slot::make));
  return f(proto, spec, t);
}

const cell* to(const cell* proto, const cell* spec) {
  u32 t = target_type(proto);
  auto f = reinterpret_cast<make_fn>(lookup(t, slot::to));
  return f(proto, spec, t);
}

const cell* random(cell* value, bool seed, bool secure, bool only) {
  return lookup_for<slot::random>(value)(value, seed, secure, only);
}

i32 form(const cell* value, cell* out, const cell* part, i32 budget) {
  return lookup_for<slot::form>(value)(value, out, part, budget);
}

i32 mold(const cell* value, cell* out, bool only, bool all, bool flat, const cell* part,
         i32 budget, i32 indent) {
  return lookup_for<slot::mold>(value)(value, out, only, all, flat, part, budget, indent);
}

namespace {
cell* to_string(const cell* value, bool do_mold, bool all) {
  // The value may sit in a series buffer that the new string's allocation moves.
  cell v = *value;
  collector::root_guard keep(&v);
  cell* out = stack::push_slot();
  out->header = TYPE_UNSET;  // the stack is marked up to top: keep the cell harmless
  string::make_at(out, 16);
  if (do_mold) {
    mold(&v, out, false, all);
  } else {
    form(&v, out);
  }
  return out;
}
}  // namespace

cell* form_to_string(const cell* value) { return to_string(value, false, false); }
cell* mold_to_string(const cell* value, bool all) { return to_string(value, true, all); }

i32 compare_value(const cell* a, const cell* b, i32 op) {
  compare_fn f = datatype::entry_of<slot::compare>(type_of(a));
  return f ? f(a, b, op) : COMPARE_NOT_COMPARABLE;
}

bool compare(const cell* a, const cell* b, i32 op) {
  i32 r = compare_value(a, b, op);
  if (r == COMPARE_NOT_COMPARABLE) {
    switch (op) {
      case compare_op::EQUAL: case compare_op::NOT_EQUAL: case compare_op::STRICT_EQUAL:
      case compare_op::SAME: case 10: case 11: case compare_op::FIND:
        break;
      default:
        fire("script", "invalid-compare", a, b);
    }
  }
  switch (op) {
    case compare_op::NOT_EQUAL: return r != 0;
    case compare_op::LESSER: return r < 0;
    case compare_op::LESSER_OR_EQUAL: return r < 1;
    case compare_op::GREATER: return r >= 1;
    case compare_op::GREATER_OR_EQUAL: return r >= 0;
    default: return r == 0;
  }
}

i32 compare_raw(const cell* a, const cell* b, i32 op) {
  if (type_of(a) == TYPE_LOGIC && type_of(b) == TYPE_LOGIC) {
    i64 d = i64{logic::get(a)} - i64{logic::get(b)};
    return d < 0 ? -1 : d > 0 ? 1 : 0;
  }
  return compare_value(a, b, op);
}

const cell* negate(cell* value) { return lookup_for<slot::negate>(value)(value); }
const cell* complement(cell* value) { return lookup_for<slot::complement>(value)(value); }
const cell* round(cell* value, const cell* scale, const round_flags& mode) {
  return lookup_for<slot::round>(value)(value, scale, mode);
}
bool even_q(const cell* value) { return lookup_for<slot::even_q>(value)(value); }
bool odd_q(const cell* value) { return lookup_for<slot::odd_q>(value)(value); }

// ---- Stack entries ----------------------------------------------------------------------

void absolute_entry() { lookup_first<slot::absolute>()(); }
void add_entry() { lookup_first<slot::add>()(); }
void subtract_entry() { lookup_first<slot::subtract>()(); }
void multiply_entry() { lookup_first<slot::multiply>()(); }
void divide_entry() { lookup_first<slot::divide>()(); }
void remainder_entry() { lookup_first<slot::remainder>()(); }
void power_entry() { lookup_first<slot::power>()(); }
void and_entry() { lookup_first<slot::and_>()(); }
void or_entry() { lookup_first<slot::or_>()(); }
void xor_entry() { lookup_first<slot::xor_>()(); }

}  // namespace vyr::actions
