// The stack entries of the 62 actions: read the arguments at stack::arguments, turn the
// refinement integers into flags or argument cells, dispatch by the first argument's type
// and leave the result in the result slot.
#include <charconv>
#include <cstring>

#include "runtime/collector.h"
#include "runtime/datatypes/binary.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/string_actions.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/series.h"
#include "runtime/datatypes/word.h"
#include "runtime/fire.h"
#include "runtime/datatypes/actions.h"
#include "runtime/stack.h"

namespace vyr::actions {

namespace {
using stack::arguments;

inline bool on(const i32* refs, u32 i) { return refs[i] != -1; }
inline cell* ref_arg(const i32* refs, u32 i) { return refs[i] < 0 ? nullptr : arguments + refs[i]; }

inline void result(const cell* r) {
  if (r != arguments) copy_cell(r, arguments);
  stack::keep_first();
}

// "<action> does not allow <type> for its <argument> argument", naming the current call.
[[noreturn]] void expect(const char* action, const cell* value, const char* arg) {
  datatype::fire_expect_arg(action, type_of(value), arg);
}

bool series_q(u32 t) {
  switch (t) {
    case TYPE_BLOCK: case TYPE_PAREN: case TYPE_PATH: case TYPE_LIT_PATH: case TYPE_SET_PATH:
    case TYPE_GET_PATH: case TYPE_HASH: case TYPE_STRING: case TYPE_FILE: case TYPE_URL:
    case TYPE_TAG: case TYPE_EMAIL: case TYPE_REF: case TYPE_BINARY: case TYPE_VECTOR:
    case TYPE_IMAGE: case TYPE_MAP:
      return true;
    default:
      return false;
  }
}

// /part of append, insert and change: a count, or a position in the target's own series.
i32 part_count(const cell* target, const cell* part, bool check_series) {
  if (!part) return -1;
  if (type_of(part) == TYPE_INTEGER) return integer::get(part);
  if (check_series && !series_q(type_of(part))) fire("script", "invalid-part", part);
  if (type_of(part) != type_of(target) || series::node(part) != series::node(target) ||
      type_of(target) == TYPE_PORT) {
    cell name, v = *part;
    datatype::word_of_name("part", &name);
    fire("script", "invalid-refine-arg", &name, &v);
  }
  return static_cast<i32>(series::index(part)) - static_cast<i32>(series::index(target));
}

i32 pick_index(const cell* index) {
  switch (type_of(index)) {
    case TYPE_LOGIC: return logic::get(index) ? 1 : 2;
    case TYPE_INTEGER: case TYPE_CHAR: return integer::get(index);
    default: return 0;
  }
}

// The text of an integer, the commonest form of all, when integer! forms as it was built to:
// its at most eleven digits go straight into a new string with room for sixteen, as
// integer::form would append them to one. The argument stays on the stack while the string
// is made, and nothing else needs keeping.
bool form_integer(const i32* refs) {
  if (type_of(arguments) != TYPE_INTEGER || refs[0] != -1 ||
      datatype::entry(TYPE_INTEGER, slot::form) != reinterpret_cast<datatype::generic_fn>(&integer::form))
    return false;
  char digits[12];
  u32 n = static_cast<u32>(std::to_chars(digits, digits + sizeof digits, integer::get(arguments)).ptr - digits);
  u32 node = memory::alloc_units(16, 1);
  series_buffer* b = buffer_of(node);
  std::memcpy(b->tail_ptr(), digits, n);
  b->tail += n;
  *arguments = cell{TYPE_STRING, 0, node, 0};
  stack::keep_first();
  return true;
}

// form and mold with /part: a limit below 1 gives an empty string; otherwise the text is
// cut to the limit.
void to_text(bool mold_it, const i32* refs, u32 part_ref, bool only, bool all, bool flat) {
  cell value = *arguments;
  collector::root_guard g(&value);
  const cell* part = ref_arg(refs, part_ref);
  i32 limit = NO_LIMIT;
  if (part) {
    if (type_of(part) != TYPE_INTEGER) expect(mold_it ? "mold" : "form", part, "limit");
    limit = integer::get(part);
  }
  cell out{TYPE_UNSET, 0, 0, 0};
  collector::root_guard og(&out);
  string::make_at(&out, 16);
  if (!part || limit >= 1) {
    if (mold_it) {
      mold(&value, &out, only, all, flat, part, limit, 0);
    } else {
      form(&value, &out, part, limit);
    }
    if (part) {
      i32 n = string::rs_length_q(&out);
      if (n > limit) string::remove_chars(&out, static_cast<u32>(limit), static_cast<u32>(n - limit));
    }
  }
  *arguments = out;
  stack::keep_first();
}

void make_entry(const i32*) { result(make(arguments, arguments + 1)); }
void random_entry(const i32* r) { result(random(arguments, on(r, 0), on(r, 1), on(r, 2))); }
void reflect_entry(const i32*) {
  const cell* field = arguments + 1;
  result(lookup_for<slot::reflect>(arguments)(arguments, word::symbol_id(field)));
}
void to_entry(const i32*) { result(to(arguments, arguments + 1)); }
void form_entry(const i32* r) {
  if (!form_integer(r)) to_text(false, r, 0, false, false, false);
}
void mold_entry(const i32* r) { to_text(true, r, 3, on(r, 0), on(r, 1), on(r, 2)); }
void compare_entry(const i32*) {
  bool b = compare(arguments, arguments + 1, integer::get(&arguments[2]));
  *arguments = cell{TYPE_LOGIC, b ? 1u : 0u, 0, 0};
  stack::keep_first();
}
// Integer sums, differences and products that fit are done without the dispatch.
template <void (*F)(), int OP> void int_fast(const i32*) {
  if (type_of(arguments) == TYPE_INTEGER && type_of(arguments + 1) == TYPE_INTEGER) {
    i64 a = integer::get(arguments), b = integer::get(&arguments[1]);
    i64 r = OP == 0 ? a + b : OP == 1 ? a - b : a * b;
    if (r >= INT32_MIN && r <= INT32_MAX) {
      integer::set(arguments, i32(r));
      stack::keep_first();
      return;
    }
  }
  F();
  stack::keep_first();
}
template <void (*F)()> void stack_form(const i32*) {
  F();
  stack::keep_first();
}
void negate_entry(const i32*) { result(negate(arguments)); }
void round_entry(const i32* r) {
  round_flags m;
  m.even = on(r, 1); m.down = on(r, 2); m.half_down = on(r, 3); m.floor = on(r, 4);
  m.ceiling = on(r, 5); m.half_ceiling = on(r, 6);
  result(round(arguments, ref_arg(r, 0), m));
}
void even_entry(const i32*) {
  bool b = even_q(arguments);
  *arguments = cell{TYPE_LOGIC, b ? 1u : 0u, 0, 0};
  stack::keep_first();
}
void odd_entry(const i32*) {
  bool b = odd_q(arguments);
  *arguments = cell{TYPE_LOGIC, b ? 1u : 0u, 0, 0};
  stack::keep_first();
}
void complement_entry(const i32*) { result(complement(arguments)); }
void append_insert(const i32* r, bool append) {
  i32 part = part_count(arguments, ref_arg(r, 0), true);
  const cell* dup = ref_arg(r, 2);
  i32 count = dup ? (type_of(dup) == TYPE_INTEGER ? integer::get(dup) : 1) : 1;
  auto f = append ? lookup_for<slot::append>(arguments) : lookup_for<slot::insert>(arguments);
  result(f(arguments, arguments + 1, part, on(r, 1), count, append));
}
// append without refinements to a block!, a string-like series or a binary! whose append is
// its type's own: a plain value that fits goes in at once (append_in_place). Answers
// whether it did; anything else takes the general way.
constexpr u64 type_bit(u32 t) { return u64{1} << t; }
constexpr u64 TEXT_TYPES = type_bit(TYPE_STRING) | type_bit(TYPE_FILE) | type_bit(TYPE_URL) |
                           type_bit(TYPE_TAG) | type_bit(TYPE_EMAIL) | type_bit(TYPE_REF);
constexpr u64 IN_PLACE_TYPES = TEXT_TYPES | type_bit(TYPE_BINARY) | type_bit(TYPE_BLOCK);
static_assert(datatype::MAX_TYPES <= 64);
inline bool append_plain(const i32* r) {
  u32 t = type_of(arguments);
  if (r[0] != -1 || r[1] != -1 || r[2] != -1) return false;
  datatype::generic_fn f = datatype::entry(t, slot::append);
  bool done;
  if (t == TYPE_BLOCK) {
    done = f == reinterpret_cast<datatype::generic_fn>(&block::append) &&
           block::append_in_place(arguments, arguments + 1);
  } else if (t == TYPE_BINARY) {
    done = f == reinterpret_cast<datatype::generic_fn>(&binary::append) &&
           binary::append_in_place(arguments, arguments + 1);
  } else {
    done = f == reinterpret_cast<datatype::generic_fn>(&string::append) &&
           string::append_in_place(arguments, arguments + 1);
  }
  if (done) stack::keep_first();
  return done;
}
void append_entry(const i32* r) {
  u32 t = type_of(arguments);
  // A block appended to a block is spliced: never in place, so not even looked at.
  if (t < 64 && ((IN_PLACE_TYPES >> t) & 1) &&
      !(t == TYPE_BLOCK && series::block_like_q(type_of(arguments + 1))) && append_plain(r))
    return;
  append_insert(r, true);
}
void insert_entry(const i32* r) { append_insert(r, false); }
void change_entry(const i32* r) {
  i32 part = part_count(arguments, ref_arg(r, 0), false);
  const cell* dup = ref_arg(r, 2);
  i32 count = dup ? (type_of(dup) == TYPE_INTEGER ? integer::get(dup) : 1) : 1;
  result(lookup_for<slot::change>(arguments)(arguments, arguments + 1, part, on(r, 1), count));
}
void clear_entry(const i32*) { result(lookup_for<slot::clear>(arguments)(arguments)); }
void copy_entry(const i32* r) {
  const cell* types = ref_arg(r, 2);
  if (types && type_of(types) != TYPE_DATATYPE && type_of(types) != TYPE_TYPESET)
    expect("copy", types, "kind");
  result(lookup_for<slot::copy>(arguments)(arguments, arguments, ref_arg(r, 0), on(r, 1), types));
}
void find_entry(const i32* r) {
  find_args a;
  a.part = ref_arg(r, 0); a.only = on(r, 1); a.case_sensitive = on(r, 2); a.same = on(r, 3);
  a.any = on(r, 4); a.with = ref_arg(r, 5); a.skip = ref_arg(r, 6); a.last = on(r, 7);
  a.reverse = on(r, 8); a.tail = on(r, 9); a.match = on(r, 10);
  result(lookup_for<slot::find>(arguments)(arguments, arguments + 1, a));
}
void select_entry(const i32* r) {
  find_args a;
  a.part = ref_arg(r, 0); a.only = on(r, 1); a.case_sensitive = on(r, 2); a.same = on(r, 3);
  a.any = on(r, 4); a.with = ref_arg(r, 5); a.skip = ref_arg(r, 6); a.last = on(r, 7);
  a.reverse = on(r, 8);
  result(lookup_for<slot::select>(arguments)(arguments, arguments + 1, a));
}
void length_entry(const i32*) {
  i32 n = lookup_for<slot::length_q>(arguments)(arguments);
  *arguments = n < 0 ? cell{TYPE_NONE, 0, 0, 0} : cell{TYPE_INTEGER, 0, static_cast<u32>(n), 0};
  stack::keep_first();
}
void move_entry(const i32* r) {
  result(lookup_for<slot::move>(arguments)(arguments, arguments + 1, ref_arg(r, 0)));
}
void pick_entry(const i32*) {
  result(lookup_for<slot::pick>(arguments)(arguments, pick_index(arguments + 1), arguments + 1));
}
void poke_entry(const i32*) {
  result(lookup_for<slot::poke>(arguments)(arguments, pick_index(arguments + 1), arguments + 2,
                                            arguments + 1));
}
void put_entry(const i32* r) {
  result(lookup_for<slot::put>(arguments)(arguments, arguments + 1, arguments + 2, on(r, 0)));
}
void remove_entry(const i32* r) {
  result(lookup_for<slot::remove>(arguments)(arguments, ref_arg(r, 0), ref_arg(r, 1)));
}
void reverse_entry(const i32* r) {
  result(lookup_for<slot::reverse>(arguments)(arguments, ref_arg(r, 0), ref_arg(r, 1)));
}
void sort_entry(const i32* r) {
  sort_args a;
  a.case_sensitive = on(r, 0); a.skip = ref_arg(r, 1); a.compare = ref_arg(r, 2);
  a.part = ref_arg(r, 3); a.all = on(r, 4); a.reverse = on(r, 5); a.stable = on(r, 6);
  result(lookup_for<slot::sort>(arguments)(arguments, a));
}
void swap_entry(const i32*) { result(lookup_for<slot::swap>(arguments)(arguments, arguments + 1)); }
void take_entry(const i32* r) {
  result(lookup_for<slot::take>(arguments)(arguments, ref_arg(r, 0), on(r, 1), on(r, 2)));
}
void trim_entry(const i32* r) {
  trim_args a;
  a.head = on(r, 0); a.tail = on(r, 1); a.auto_ = on(r, 2); a.lines = on(r, 3); a.all = on(r, 4);
  a.with = ref_arg(r, 5);
  result(lookup_for<slot::trim>(arguments)(arguments, a));
}
template <u32 N> void value_entry(const i32*) { result(lookup_for<N>(arguments)(arguments)); }
void modify_entry(const i32* r) {
  result(lookup_for<slot::modify>(arguments)(arguments, arguments + 1, arguments + 2, on(r, 0)));
}
void open_entry(const i32* r) {
  open_args a;
  a.new_ = on(r, 0); a.read = on(r, 1); a.write = on(r, 2); a.seek = ref_arg(r, 3);
  a.allow = ref_arg(r, 4);
  result(lookup_for<slot::open>(arguments)(arguments, a));
}
void read_entry(const i32* r) {
  read_args a;
  a.part = ref_arg(r, 0); a.seek = ref_arg(r, 1); a.binary = on(r, 2); a.lines = on(r, 3);
  a.info = on(r, 4); a.as = ref_arg(r, 5);
  result(lookup_for<slot::read>(arguments)(arguments, a));
}
void rename_entry(const i32*) {
  result(lookup_for<slot::rename>(arguments)(arguments, arguments + 1));
}
void write_entry(const i32* r) {
  write_args a;
  a.binary = on(r, 0); a.lines = on(r, 1); a.info = on(r, 2); a.append = on(r, 3);
  a.part = ref_arg(r, 4); a.seek = ref_arg(r, 5); a.allow = ref_arg(r, 6); a.as = ref_arg(r, 7);
  result(lookup_for<slot::write>(arguments)(arguments, arguments + 1, a));
}
void at_entry(const i32*) { lookup_first<slot::at>()(); stack::keep_first(); }
void back_entry(const i32*) { lookup_first<slot::back>()(); stack::keep_first(); }
void head_entry(const i32*) { lookup_first<slot::head>()(); stack::keep_first(); }
void head_q_entry(const i32*) { lookup_first<slot::head_q>()(); stack::keep_first(); }
void index_q_entry(const i32*) { lookup_first<slot::index_q>()(); stack::keep_first(); }
void next_entry(const i32*) { lookup_first<slot::next>()(); stack::keep_first(); }
void skip_entry(const i32*) { lookup_first<slot::skip>()(); stack::keep_first(); }
void tail_entry(const i32*) { lookup_first<slot::tail>()(); stack::keep_first(); }
void tail_q_entry(const i32*) { lookup_first<slot::tail_q>()(); stack::keep_first(); }

// ---- Plain calls of the hot actions -----------------------------------------------------
// The interpreter's commonest action calls name no refinement. For the hot actions such a
// call enters the implementation of the first argument's type at once, with the arguments
// the stack entry would pass: no look-up through the entry table, the port! forwarding and
// the refinement table. A port! (its actor answers) and a type without the action (the
// stack entry reports it) take the stack entry.

template <u32 N> inline typename slot_signature<N>::type plain_impl(u32 t) {
  return t == TYPE_PORT ? nullptr : datatype::entry_of<N>(t);
}

}  // namespace

bool pick_block(const cell* series, const cell* index, cell* out) {
  if (type_of(series) != TYPE_BLOCK || type_of(index) != TYPE_INTEGER ||
      datatype::entry(TYPE_BLOCK, slot::pick) != reinterpret_cast<datatype::generic_fn>(&series::pick))
    return false;
  // series::pick's own steps for a block.
  i32 i = integer::get(index);
  const series_buffer* b = read_buffer(series->data2);
  i64 total = b->used_bytes() >> 4, h = series::head_index(series);
  if (h > total) h = total;
  if (h < 0) h = 0;
  i64 d = i > 0 ? h + i - 1 : h + i;
  if (i == 0 || d < 0 || d >= total) *out = none_value;
  else *out = b->cells()[d];
  return true;
}

namespace {
bool pick_plain() {
  auto f = plain_impl<slot::pick>(type_of(arguments));
  if (!f) return false;
  const cell* i = arguments + 1;
  if (pick_block(arguments, i, arguments)) stack::keep_first();
  else result(f(arguments, pick_index(i), i));
  return true;
}
template <u32 N> bool find_plain() {  // find and select
  auto f = plain_impl<N>(type_of(arguments));
  if (!f) return false;
  result(f(arguments, arguments + 1, find_args{}));
  return true;
}
bool put_plain() {
  auto f = plain_impl<slot::put>(type_of(arguments));
  if (!f) return false;
  result(f(arguments, arguments + 1, arguments + 2, false));
  return true;
}
bool copy_plain() {
  auto f = plain_impl<slot::copy>(type_of(arguments));
  if (!f) return false;
  result(f(arguments, arguments, nullptr, false, nullptr));
  return true;
}
bool insert_plain() {
  auto f = plain_impl<slot::insert>(type_of(arguments));
  if (!f) return false;
  result(f(arguments, arguments + 1, -1, false, 1, false));
  return true;
}
}  // namespace

namespace {
entry_fn table[ACTION_COUNT];

// A hot action's lean entry: its plain call, or the stack entry (as set now) when that
// declines.
template <bool (*Plain)(), u32 N> void lean_hot(const i32* refs) {
  if (!Plain()) table[N - 1](refs);
}

// The lean entries of the hot actions, by slot number; null for the rest, whose lean
// entry is the stack entry. append and form keep their stack entries, whose own fast
// cases (an append in place, the form of an integer!) cost less than a second way in.
struct hot_table {
  entry_fn at[ACTION_COUNT + 1] = {};
  constexpr hot_table() {
    at[slot::copy] = lean_hot<copy_plain, slot::copy>;
    at[slot::find] = lean_hot<find_plain<slot::find>, slot::find>;
    at[slot::insert] = lean_hot<insert_plain, slot::insert>;
    at[slot::pick] = lean_hot<pick_plain, slot::pick>;
    at[slot::put] = lean_hot<put_plain, slot::put>;
    at[slot::select] = lean_hot<find_plain<slot::select>, slot::select>;
  }
};
constexpr hot_table hot_rows;
}  // namespace

entry_fn lean_entries[ACTION_COUNT];

entry_fn entry(u32 n) { return n >= 1 && n <= ACTION_COUNT ? table[n - 1] : nullptr; }
void set_entry(u32 n, entry_fn fn) {
  if (n < 1 || n > ACTION_COUNT) return;
  table[n - 1] = fn;
  if (!hot_rows.at[n]) lean_entries[n - 1] = fn;
}

void init_entries() {
  entry_fn t[ACTION_COUNT] = {
      make_entry, random_entry, reflect_entry, to_entry, form_entry, mold_entry, nullptr,
      nullptr, compare_entry, stack_form<absolute_entry>, int_fast<add_entry, 0>,
      stack_form<divide_entry>, int_fast<multiply_entry, 2>, negate_entry,
      stack_form<power_entry>, stack_form<remainder_entry>, round_entry,
      int_fast<subtract_entry, 1>, even_entry, odd_entry, stack_form<and_entry>,
      complement_entry, stack_form<or_entry>, stack_form<xor_entry>, append_entry, at_entry,
      back_entry, change_entry, clear_entry, copy_entry, find_entry, head_entry, head_q_entry,
      index_q_entry, insert_entry, length_entry, move_entry, next_entry, pick_entry,
      poke_entry, put_entry, remove_entry, reverse_entry, select_entry, sort_entry,
      skip_entry, swap_entry, tail_entry, tail_q_entry, take_entry, trim_entry,
      value_entry<slot::create>, value_entry<slot::close>, value_entry<slot::delete_>,
      modify_entry, open_entry, value_entry<slot::open_q>, value_entry<slot::query>,
      read_entry, rename_entry, value_entry<slot::update>, write_entry};
  for (u32 i = 0; i < ACTION_COUNT; i++) {
    table[i] = t[i];
    lean_entries[i] = hot_rows.at[i + 1] ? hot_rows.at[i + 1] : t[i];
  }
}

}  // namespace vyr::actions
