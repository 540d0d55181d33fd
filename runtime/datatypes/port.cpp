// port!: make from a spec and a registered scheme, form and mold, the forwarding of the
// series and port actions to the actor, and `read` and `write` composed of the port's own
// actions. The forwarding sits in front of the action entries, where the refinement table
// still tells which refinements were given, so the actor sees them exactly.
#include "runtime/datatypes/port.h"

#include <initializer_list>
#include <utility>

#include "runtime/collector.h"
#include "runtime/datatypes/context.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/object.h"
#include "runtime/datatypes/series.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/fire.h"
#include "runtime/datatypes/actions.h"
#include "runtime/hooks.h"
#include "runtime/stack.h"

namespace vyr::port {

namespace {

cell word_of(const char* name) { return cell{TYPE_WORD, 0, symbol::make(name), 0xFFFFFFFFu}; }

// A field of an object by name, or none!.
cell field(const cell* obj, const char* name) {
  if (type_of(obj) != TYPE_OBJECT && type_of(obj) != TYPE_PORT) return none_value;
  cell w = word_of(name);
  return *object::get_field(obj, &w);
}

void set_field(const cell* obj, const char* name, const cell* value) {
  i32 i = object::field_index(obj, symbol::make(name));
  if (i >= 0) *_context::value_at(obj->data1, u32(i)) = *value;
}

// `system/standard/<name>` (the standard prototypes), or none!.
cell standard(const char* name) {
  cell w = _context::global_word(symbol::make("system"));
  cell sys = *_context::get(&w);
  cell std = field(&sys, "standard");
  return field(&std, name);
}

cell schemes() {
  cell w = _context::global_word(symbol::make("system"));
  cell sys = *_context::get(&w);
  return field(&sys, "schemes");
}

// The argument layout of each forwarded action after the port: its fixed arguments, then
// per refinement the number of its arguments.
struct layout {
  u32 slot;
  const char* word;
  u32 fixed;            // arguments after the port
  u32 ref_count;
  u8 refs[12];          // arguments of each refinement
};

const layout layouts[] = {
    {25, "append", 1, 3, {1, 0, 1}},
    {26, "at", 1, 0, {}},
    {27, "back", 0, 0, {}},
    {28, "change", 1, 3, {1, 0, 1}},
    {29, "clear", 0, 0, {}},
    {30, "copy", 0, 3, {1, 0, 1}},
    {31, "find", 1, 11, {1, 0, 0, 0, 0, 1, 1, 0, 0, 0, 0}},
    {32, "head", 0, 0, {}},
    {33, "head?", 0, 0, {}},
    {34, "index?", 0, 0, {}},
    {35, "insert", 1, 3, {1, 0, 1}},
    {36, "length?", 0, 0, {}},
    {37, "move", 1, 1, {1}},
    {38, "next", 0, 0, {}},
    {39, "pick", 1, 0, {}},
    {40, "poke", 2, 0, {}},
    {41, "put", 2, 1, {0}},
    {42, "remove", 0, 2, {1, 1}},
    {43, "reverse", 0, 2, {1, 1}},
    {44, "select", 1, 9, {1, 0, 0, 0, 0, 1, 1, 0, 0}},
    {45, "sort", 0, 7, {0, 1, 1, 1, 0, 0, 0}},
    {46, "skip", 1, 0, {}},
    {47, "swap", 1, 0, {}},
    {48, "tail", 0, 0, {}},
    {49, "tail?", 0, 0, {}},
    {50, "take", 0, 3, {1, 0, 0}},
    {51, "trim", 0, 6, {0, 0, 0, 0, 0, 1}},
    {52, "create", 0, 0, {}},
    {53, "close", 0, 0, {}},
    {54, "delete", 0, 0, {}},
    {55, "modify", 2, 1, {0}},
    {56, "open", 0, 5, {0, 0, 0, 1, 1}},
    {58, "query", 0, 0, {}},
    {60, "rename", 1, 0, {}},
    {61, "update", 0, 0, {}},
};

const layout* layout_of(u32 slot) {
  for (const layout& l : layouts)
    if (l.slot == slot) return &l;
  return nullptr;
}

constexpr cell NONE{TYPE_NONE, 0, 0, 0};
cell flag(bool on) { return cell{TYPE_LOGIC, on ? 1u : 0u, 0, 0}; }
cell int_cell(i32 v) { return cell{TYPE_INTEGER, 0, static_cast<u32>(v), 0}; }

// One call of the port's own forwarding, by action word, with the slots after the port.
void forward_call(const cell* port, const char* action, std::initializer_list<cell> rest,
                  cell* result) {
  cell slots[16];
  u32 n = 0;
  slots[n++] = *port;
  for (const cell& c : rest) slots[n++] = c;
  collector::root_guard g(slots, n);
  cell actor = get_actor(port);
  collector::root_guard ag(&actor);
  cell w = word_of(action);
  call_actor(&actor, &w, slots, n, result);
}

void forward(const layout& l, const i32* refs) {
  cell* args = stack::arguments;
  cell slots[32];
  u32 n = 0;
  for (u32 i = 0; i <= l.fixed; i++) slots[n++] = args[i];
  for (u32 r = 0; r < l.ref_count; r++) {
    bool on = refs[r] != -1;
    slots[n++] = flag(on);
    for (u32 j = 0; j < l.refs[r]; j++) slots[n++] = on ? args[refs[r] + j] : NONE;
  }
  collector::root_guard g(slots, n);
  cell port = slots[0];
  cell actor = get_actor(&port);
  collector::root_guard ag(&actor);
  cell w = word_of(l.word);
  cell result = NONE;
  collector::root_guard rg(&result);
  call_actor(&actor, &w, slots, n, &result);
  *stack::arguments = result;
  stack::keep_first();
}

// Runs `close` after a step that raised, then lets the step's error go on; an error from
// that close is dropped (the first error is the one worth reporting).
template <class F> void closing_on_error(const cell* port, F step) {
  try {
    step();
  } catch (thrown& t) {
    if (t.level == THROW_ERROR) {
      // The error travels in the exception, where the collector cannot see it.
      collector::root_guard vg(&t.value), ng(&t.name), ag(t.args, 3);
      try {
        cell ignored;
        forward_call(port, "close", {}, &ignored);
      } catch (const thrown& inner) {
        if (inner.level != THROW_ERROR) throw;
      }
    }
    throw;
  }
}

// open (/write for a write, /seek when a position was given), the steps, close: each call
// through the actor; close also runs after a step that raised.
template <class F> void opened(const cell* port, bool for_write, const cell* seek, F steps) {
  cell ignored;
  forward_call(port, "open",
               {flag(false), flag(false), flag(for_write), flag(seek), seek ? *seek : NONE,
                flag(false), NONE},
               &ignored);
  closing_on_error(port, steps);
  forward_call(port, "close", {}, &ignored);
}

void put_result(const cell& result) {
  *stack::arguments = result;
  stack::keep_first();
}

void read_port(const i32* refs) {
  cell* a = stack::arguments;
  put_result(read(a, refs[0] != -1 ? a + refs[0] : nullptr, refs[1] != -1 ? a + refs[1] : nullptr));
}

void write_port(const i32* refs) {
  cell* a = stack::arguments;
  put_result(write(a, a + 1, refs[4] != -1 ? a + refs[4] : nullptr,
                   refs[5] != -1 ? a + refs[5] : nullptr));
}

actions::entry_fn original[63];

template <u32 N> void port_entry(const i32* refs) {
  if (type_of(stack::arguments) != TYPE_PORT) return original[N](refs);
  native_action(stack::arguments, N);
  if (N == 59) return read_port(refs);
  if (N == 62) return write_port(refs);
  forward(*layout_of(N), refs);
}

template <u32 N> void install() {
  original[N] = actions::entry(N);
  actions::set_entry(N, port_entry<N>);
}

template <u32... Ns> void install_all(std::integer_sequence<u32, Ns...>) {
  ((layout_of(Ns + 25) || Ns + 25 == 59 || Ns + 25 == 62 ? install<Ns + 25>() : void()), ...);
}

}  // namespace

// ---- Actor calls ----------------------------------------------------------------------------

cell get_actor(const cell* port) {
  cell actor = field(port, "actor");
  if (type_of(&actor) != TYPE_OBJECT) fire("access", "invalid-port");
  return actor;
}

void native_action(const cell* port, u32 slot_number) {
  cell actor = field(port, "actor");
  if (type_of(&actor) != TYPE_HANDLE || slot_number < 25) return;
  // A scheme the runtime implements would fill a table of port actions for its handle;
  // no such scheme exists, so every entry of it is empty.
  cell w = word_of(actions::name_of(slot_number));
  fire("access", "no-port-action", &w);
}

void call_actor(const cell* actor_in, const cell* word_in, const cell* slots, u32 n,
                cell* result) {
  cell actor = *actor_in, w = *word_in;
  collector::root_guard g1(&actor), g2(&w);
  if (type_of(&actor) != TYPE_OBJECT) fire("access", "invalid-port");
  cell fn = *object::get_field(&actor, &w);
  if (type_of(&fn) != TYPE_FUNCTION) fire("access", "no-port-action", &w);
  collector::root_guard fg(&fn);
  if (!hooks::call_slots) fire("internal", "not-done");
  hooks::call_slots(&fn, slots, n, &w, result);
}

// ---- read, write, open ----------------------------------------------------------------------

cell read(const cell* port_in, const cell* part_in, const cell* seek_in) {
  cell port = *port_in;
  cell part = part_in ? *part_in : NONE, seek = seek_in ? *seek_in : NONE;
  collector::root_guard g1(&port), g2(&part), g3(&seek);
  native_action(&port, 59);
  cell result = NONE;
  collector::root_guard rg(&result);
  opened(&port, false, seek_in ? &seek : nullptr, [&] {
    forward_call(&port, "copy", {flag(part_in), part, flag(false), flag(false), NONE}, &result);
  });
  return result;
}

cell write(const cell* port_in, const cell* data_in, const cell* part_in, const cell* seek_in) {
  cell port = *port_in, data = *data_in;
  cell part = part_in ? *part_in : NONE, seek = seek_in ? *seek_in : NONE;
  collector::root_guard g1(&port), g2(&data), g3(&part), g4(&seek);
  native_action(&port, 62);
  i32 length = type_of(&part) == TYPE_INTEGER ? static_cast<i32>(part.data2) : -1;
  cell ignored, result = NONE;
  collector::root_guard rg(&result);
  opened(&port, true, seek_in ? &seek : nullptr, [&] {
    forward_call(&port, "insert",
                 {data, flag(true), int_cell(length), flag(false), flag(true), int_cell(1)},
                 &ignored);
    forward_call(&port, "copy", {flag(part_in), part, flag(false), flag(false), NONE}, &result);
  });
  return result;
}

cell open(const cell* port_in, const open_args& opts) {
  cell port = *port_in;
  cell seek = opts.seek ? *opts.seek : NONE, allow = opts.allow ? *opts.allow : NONE;
  collector::root_guard g1(&port), g2(&seek), g3(&allow);
  native_action(&port, 56);
  cell result = NONE;
  collector::root_guard rg(&result);
  forward_call(&port, "open",
               {flag(opts.new_), flag(opts.read), flag(opts.write), flag(opts.seek), seek,
                flag(opts.allow), allow},
               &result);
  return result;
}

// ---- make, form, mold -----------------------------------------------------------------------

const cell* make(const cell*, const cell* spec_in, u32) {
  cell port = make_value(spec_in);
  return stack::set_result(&port);
}

cell make_value(const cell* spec_in) {
  cell spec_arg = *spec_in;
  collector::root_guard sg(&spec_arg);
  cell spec{TYPE_NONE, 0, 0, 0};
  collector::root_guard sog(&spec);
  if (type_of(&spec_arg) == TYPE_OBJECT) {
    object::clone(&spec_arg, &spec, false, nullptr, false);
  } else {
    cell parts = standard("url-parts");
    collector::root_guard pg(&parts);
    if (type_of(&parts) != TYPE_OBJECT) fire("internal", "not-done");
    spec = *object::make(&parts, &spec_arg, TYPE_OBJECT);
  }
  cell scheme = _context::value_count(spec.data1) > 0 ? *_context::value_at(spec.data1, 0)
                                                      : none_value;
  if (type_of(&scheme) != TYPE_WORD) fire("access", "no-scheme", &spec);
  collector::root_guard kg(&scheme);
  cell proto = standard("port");
  collector::root_guard protog(&proto);
  if (type_of(&proto) != TYPE_OBJECT) fire("internal", "not-done");
  cell port{TYPE_NONE, 0, 0, 0};
  collector::root_guard portg(&port);
  object::clone(&proto, &port, false, nullptr, false);
  set_type(&port, TYPE_PORT);
  port.data2 = CLASS_ID;
  set_field(&port, "spec", &spec);
  set_field(&port, "scheme", &scheme);
  // The scheme's definition: the value after its name in system/schemes.
  cell list = schemes();
  cell definition = NONE;
  if (series::block_like_q(type_of(&list))) {
    series_buffer* b = series::buffer(&list);
    for (u32 i = list.data1; i + 1 < b->used_units(); i += 2) {
      const cell* name = b->cells() + i;
      if ((type_of(name) == TYPE_WORD || type_of(name) == TYPE_LIT_WORD ||
           type_of(name) == TYPE_SET_WORD) &&
          symbol::same_q(name->data2, scheme.data2)) {
        definition = b->cells()[i + 1];
        break;
      }
    }
  }
  if (type_of(&definition) != TYPE_OBJECT) fire("access", "unknown-scheme", &spec);
  collector::root_guard dg(&definition);
  cell actor = field(&definition, "actor");
  if (type_of(&actor) != TYPE_OBJECT && type_of(&actor) != TYPE_HANDLE)
    fire("access", "invalid-actor", &spec);
  set_field(&port, "actor", &actor);
  return port;
}

i32 mold(const cell*, cell* out, bool, bool, bool, const cell*, i32 budget, i32 indent) {
  budget = datatype::append_text(out, "make port! [", budget);
  for (i32 i = 0; i < indent; i++) budget = datatype::append_text(out, "    ", budget);
  return datatype::append_text(out, "]", budget);
}

i32 form(const cell* value, cell* out, const cell* part, i32 budget) {
  return mold(value, out, false, false, false, part, budget, 0);
}

// ---- Registration ---------------------------------------------------------------------------

void init() {
  action_row row;
  row.make = make;
  row.form = form;
  row.mold = mold;
  row.random = nullptr;
  row.to = nullptr;
  row.copy = nullptr;
  row.select = nullptr;
  row.put = nullptr;
  row.modify = nullptr;
  datatype::register_(TYPE_PORT, TYPE_OBJECT, "port!", row);
}

void init_entries() { install_all(std::make_integer_sequence<u32, 62 - 25 + 1>{}); }

}  // namespace vyr::port
