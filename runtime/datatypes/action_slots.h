// The 62 action slots: the C++ signature of every per-type implementation and the row a
// datatype module fills to register. The slot list below is the only place the slots are
// enumerated; the row struct, the slot numbers and the typed look-ups are generated from it,
// and the count is checked at compile time.
#pragma once
#include <cstddef>

#include "runtime/cell.h"

namespace vyr {

// ---- Implementation signatures --------------------------------------------------------
//
// Conventions shared by every slot:
// - Results that are values are returned as a cell address: normally the result slot
//   (`stack::arguments`), the value cell itself for in-place actions (negate, round,
//   complement), or one of the static cells (`none_value`, ...). Never write through it.
// - A refinement without an argument arrives as a bool; one with an argument arrives as a
//   cell address that is null when the refinement is absent.
// - A value cell may lie inside a series buffer that moves when the implementation
//   allocates: read what you need from it before allocating, or re-fetch it.

// Stack form: operands at `stack::arguments` and the cells after it, result into
// `stack::arguments`. (absolute, add, divide, multiply, power, remainder, subtract, and~,
// or~, xor~, at, back, head, head?, index?, next, skip, tail, tail?)
using stack_fn = void (*)();

// make, to: `proto` is a prototype value or a datatype!, `type` the id of the type to make.
// The new value goes to `stack::arguments` (which may be `proto` itself: read `spec` and
// `proto` before writing the result).
using make_fn = const cell* (*)(const cell* proto, const cell* spec, u32 type);

// random: shuffles in place, picks one element, or seeds (result unset!).
using random_fn = const cell* (*)(cell* value, bool seed, bool secure, bool only);

// reflect: `field` is the symbol id of the field word.
using reflect_fn = const cell* (*)(const cell* value, u32 field);

// form: appends the value's text to the string! `out` (rooted by the caller) and returns
// `budget` minus the characters appended. `part` is the /part cell or null.
using form_fn = i32 (*)(const cell* value, cell* out, const cell* part, i32 budget);

// mold: as form, with /only, /all, /flat, and the indent level (0 at the top). The budget
// is 2147483647 when /part is absent.
using mold_fn = i32 (*)(const cell* value, cell* out, bool only, bool all, bool flat,
                        const cell* part, i32 budget, i32 indent);

// eval-path: the walk state besides parent, element and value; the interpreter owns it.
struct path_args {
  cell* path = nullptr;         // the path being walked
  i32 position = 0;             // index of the element in the path
  cell* grandparent = nullptr;  // the value before the parent, or null
  bool owner_flag = false;      // the grandparent owns the series being changed
  bool case_sensitive = false;
  bool get_only = false;
};
// `value` is the value to store, null when reading. Returns the value reached.
//
// Setting a field of an immediate value (a time!'s minute, a pair!'s x): the parent cell
// is the walk's own copy, so write the changed value into `parent` and return `parent`
// itself. That answer is the opt-in: the path walk then stores the changed value back
// where the parent was read from (the word, the object field with its on-change*, the
// block cell with its owner told), at any depth, and through enclosing scalars whose own
// eval-path opts in the same way (a date!'s time). Never return `parent` for any other
// set. A parent that is held nowhere is changed and dropped.
using eval_path_fn = const cell* (*)(cell* parent, cell* element, cell* value,
                                     const path_args& walk);

// The empty eighth slot: never filled.
using unused_fn = void (*)();

// compare: the ordering of a against b (-1, 0, 1) under `op` (see compare_op), or
// COMPARE_NOT_COMPARABLE (-2).
using compare_fn = i32 (*)(const cell* a, const cell* b, i32 op);

// negate, complement, clear, create, close, delete, open?, query, update.
using value_fn = const cell* (*)(cell* value);

// round: `scale` is the /to cell or null.
struct round_flags {
  bool even = false, down = false, half_down = false, floor = false, ceiling = false,
       half_ceiling = false;
};
using round_fn = const cell* (*)(cell* value, const cell* scale, const round_flags& mode);

// even?, odd?
using test_fn = bool (*)(const cell* value);

// append and insert (`append` true for append): `part` -1 and `dup` 1 when absent.
using append_fn = const cell* (*)(cell* series, const cell* value, i32 part, bool only,
                                  i32 dup, bool append);
using change_fn = const cell* (*)(cell* series, const cell* value, i32 part, bool only,
                                  i32 dup);
using copy_fn = const cell* (*)(const cell* value, cell* dest, const cell* part, bool deep,
                                const cell* types);

// find and select (select ignores tail and match).
struct find_args {
  const cell* part = nullptr;
  bool only = false, case_sensitive = false, same = false, any = false;
  const cell* with = nullptr;
  const cell* skip = nullptr;
  bool last = false, reverse = false, tail = false, match = false;
};
using find_fn = const cell* (*)(cell* series, const cell* value, const find_args& opts);

// length?: a count, or -1 (none! answers none).
using length_fn = i32 (*)(const cell* value);
using move_fn = const cell* (*)(cell* origin, cell* target, const cell* part);
// pick: the element, or `none_value`. `index_cell` is the index as given.
using pick_fn = const cell* (*)(cell* series, i32 index, const cell* index_cell);
using poke_fn = const cell* (*)(cell* series, i32 index, const cell* value,
                                const cell* index_cell);
using put_fn = const cell* (*)(cell* series, const cell* key, const cell* value,
                               bool case_sensitive);
using remove_fn = const cell* (*)(cell* series, const cell* part, const cell* key);
using reverse_fn = const cell* (*)(cell* series, const cell* part, const cell* skip);

struct sort_args {
  bool case_sensitive = false;
  const cell* skip = nullptr;
  const cell* compare = nullptr;
  const cell* part = nullptr;
  bool all = false, reverse = false, stable = false;
};
using sort_fn = const cell* (*)(cell* series, const sort_args& opts);
using swap_fn = const cell* (*)(cell* series1, cell* series2);
using take_fn = const cell* (*)(cell* series, const cell* part, bool deep, bool last);

struct trim_args {
  bool head = false, tail = false, auto_ = false, lines = false, all = false;
  const cell* with = nullptr;
};
using trim_fn = const cell* (*)(cell* series, const trim_args& opts);

using modify_fn = const cell* (*)(cell* value, const cell* field, const cell* new_value,
                                  bool case_sensitive);

struct open_args {
  bool new_ = false, read = false, write = false;
  const cell* seek = nullptr;
  const cell* allow = nullptr;
};
using open_fn = const cell* (*)(cell* value, const open_args& opts);

struct read_args {
  const cell* part = nullptr;
  const cell* seek = nullptr;
  bool binary = false, lines = false, info = false;
  const cell* as = nullptr;
};
using read_fn = const cell* (*)(cell* source, const read_args& opts);

struct write_args {
  bool binary = false, lines = false, info = false, append = false;
  const cell* part = nullptr;
  const cell* seek = nullptr;
  const cell* allow = nullptr;
  const cell* as = nullptr;
};
using write_fn = const cell* (*)(cell* destination, const cell* value,
                                 const write_args& opts);
using rename_fn = const cell* (*)(cell* value, const cell* new_name);

// ---- The slot list --------------------------------------------------------------------
// X(number, member, signature). Members are the action words mapped to C++ (`?` -> `_q`,
// `~` and C++ keywords take a trailing `_`).
#define VYR_ACTION_SLOTS(X)                                                               \
  X(1, make, make_fn) X(2, random, random_fn) X(3, reflect, reflect_fn) X(4, to, make_fn)  \
  X(5, form, form_fn) X(6, mold, mold_fn) X(7, eval_path, eval_path_fn)                    \
  X(8, unused, unused_fn) X(9, compare, compare_fn) X(10, absolute, stack_fn)              \
  X(11, add, stack_fn) X(12, divide, stack_fn) X(13, multiply, stack_fn)                   \
  X(14, negate, value_fn) X(15, power, stack_fn) X(16, remainder, stack_fn)                \
  X(17, round, round_fn) X(18, subtract, stack_fn) X(19, even_q, test_fn)                  \
  X(20, odd_q, test_fn) X(21, and_, stack_fn) X(22, complement, value_fn)                  \
  X(23, or_, stack_fn) X(24, xor_, stack_fn) X(25, append, append_fn) X(26, at, stack_fn)  \
  X(27, back, stack_fn) X(28, change, change_fn) X(29, clear, value_fn)                    \
  X(30, copy, copy_fn) X(31, find, find_fn) X(32, head, stack_fn) X(33, head_q, stack_fn)  \
  X(34, index_q, stack_fn) X(35, insert, append_fn) X(36, length_q, length_fn)             \
  X(37, move, move_fn) X(38, next, stack_fn) X(39, pick, pick_fn) X(40, poke, poke_fn)     \
  X(41, put, put_fn) X(42, remove, remove_fn) X(43, reverse, reverse_fn)                   \
  X(44, select, find_fn) X(45, sort, sort_fn) X(46, skip, stack_fn) X(47, swap, swap_fn)   \
  X(48, tail, stack_fn) X(49, tail_q, stack_fn) X(50, take, take_fn) X(51, trim, trim_fn)  \
  X(52, create, value_fn) X(53, close, value_fn) X(54, delete_, value_fn)                  \
  X(55, modify, modify_fn) X(56, open, open_fn) X(57, open_q, value_fn)                    \
  X(58, query, value_fn) X(59, read, read_fn) X(60, rename, rename_fn)                     \
  X(61, update, value_fn) X(62, write, write_fn)

constexpr u32 ACTION_COUNT = 62;

// Slot numbers by name: `slot::add` is 11.
namespace slot {
#define VYR_SLOT_NUMBER(n, name, sig) constexpr u32 name = n;
VYR_ACTION_SLOTS(VYR_SLOT_NUMBER)
#undef VYR_SLOT_NUMBER
}  // namespace slot

namespace detail {
#define VYR_SLOT_LISTED(n, name, sig) n,
constexpr u32 listed_slots[] = {VYR_ACTION_SLOTS(VYR_SLOT_LISTED)};
#undef VYR_SLOT_LISTED
consteval bool slots_in_order() {
  for (u32 i = 0; i < sizeof listed_slots / sizeof listed_slots[0]; i++)
    if (listed_slots[i] != i + 1) return false;
  return true;
}
}  // namespace detail
static_assert(sizeof detail::listed_slots / sizeof detail::listed_slots[0] == ACTION_COUNT,
              "an action row has exactly 62 slots");
static_assert(detail::slots_in_order(), "slots are listed once each, in number order");

// The signature of slot N: `slot_signature<slot::add>::type` is stack_fn.
template <u32 N> struct slot_signature;
#define VYR_SLOT_SIGNATURE(n, name, sig) \
  template <> struct slot_signature<n> { using type = sig; };
VYR_ACTION_SLOTS(VYR_SLOT_SIGNATURE)
#undef VYR_SLOT_SIGNATURE

// ---- Registration rows ----------------------------------------------------------------

struct inherit_tag {};
inline constexpr inherit_tag INHERIT{};  // take the parent's entry (0 when there is none)

// One entry of a registration row: an implementation, not supported (nullptr), or INHERIT.
template <class F> struct slot_entry {
  F fn = nullptr;
  bool inherit = true;
  constexpr slot_entry() = default;
  constexpr slot_entry(F f) : fn(f), inherit(false) {}
  constexpr slot_entry(std::nullptr_t) : fn(nullptr), inherit(false) {}
  constexpr slot_entry(inherit_tag) : fn(nullptr), inherit(true) {}
};

// A registration row: every entry starts as INHERIT, which for a type without a parent
// resolves to "not supported". Fill the slots the type implements:
//   action_row row;
//   row.make = integer::make;  row.sort = nullptr;  // own entry; refuse the parent's
struct action_row {
#define VYR_ROW_MEMBER(n, name, sig) slot_entry<sig> name;
  VYR_ACTION_SLOTS(VYR_ROW_MEMBER)
#undef VYR_ROW_MEMBER
};

// ---- Compare operation codes ----------------------------------------------------------

namespace compare_op {
constexpr i32 EQUAL = 0;
constexpr i32 NOT_EQUAL = 1;
constexpr i32 STRICT_EQUAL = 2;
constexpr i32 LESSER = 3;
constexpr i32 LESSER_OR_EQUAL = 4;
constexpr i32 GREATER = 5;
constexpr i32 GREATER_OR_EQUAL = 6;
constexpr i32 SORT = 7;
constexpr i32 CASE_SORT = 8;
constexpr i32 SAME = 9;
constexpr i32 FIND = 12;  // equality of find and select
}  // namespace compare_op
constexpr i32 COMPARE_NOT_COMPARABLE = -2;

// Operation codes of the number types' math cores.
namespace math_op {
constexpr i32 ADD = 0;
constexpr i32 SUBTRACT = 1;
constexpr i32 MULTIPLY = 2;
constexpr i32 DIVIDE = 3;
constexpr i32 REMAINDER = 4;
constexpr i32 OR = 5;
constexpr i32 AND = 6;
constexpr i32 XOR = 7;
}  // namespace math_op

}  // namespace vyr
