// The datatype registry and datatype!. The tables are filled once at start-up, each type
// after its parent, and are read-only afterwards.
#include "runtime/datatypes/datatype.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "runtime/collector.h"
#include "runtime/datatypes/string.h"
#include "runtime/fire.h"
#include "runtime/stack.h"

namespace vyr::datatype {

i32 highest_id = 0;
word_maker_fn word_maker = nullptr;

generic_fn rows[MAX_TYPES][ACTION_COUNT];

namespace {
name_record names[MAX_TYPES];
u32 parents[MAX_TYPES];
bool words_made = false;
bool callback_registered = false;

void mark_words() {
  for (const name_record& r : names) collector::mark_values(&r.word, &r.word + 1);
}

void check_id(u32 type) {
  if (type == 0 || type >= MAX_TYPES) {
    std::fprintf(stderr, "*** Datatype Error: invalid type id: %u\n", type);
    std::_Exit(98);  // the runtime error "assertion failed", as for a missing parent
  }
}
}  // namespace

// ---- Registry ---------------------------------------------------------------------------

void init() {
  for (name_record& r : names) r = name_record{};
  for (auto& row : rows)
    for (generic_fn& e : row) e = nullptr;
  for (u32& p : parents) p = 0;
  highest_id = 0;
  words_made = false;
  if (!callback_registered) {
    collector::register_callback(mark_words);
    callback_registered = true;
  }
}

void register_(u32 id, u32 parent, const char* name, const action_row& row) {
  check_id(id);
  if (parent) check_id(parent);
  // A child copies its parent's resolved entries: before the parent there are none to copy.
  if (parent && !registered_q(parent)) {
    std::fprintf(stderr, "*** Datatype Error: %s registered before its parent (type id %u)\n",
                 name, parent);
    std::_Exit(98);  // the runtime error "assertion failed"
  }
  if (static_cast<i32>(id) > highest_id) highest_id = static_cast<i32>(id);
  parents[id] = parent;
  name_record& rec = names[id];
  rec.name = name;
  rec.form_length = static_cast<u32>(std::strlen(name)) - 1;
  rec.word.header = TYPE_UNSET;
  if (words_made) word_of_name(name, &rec.word);

  generic_fn* out = rows[id];
  const generic_fn* from = parent ? rows[parent] : nullptr;
  // An inherited entry arrives already resolved, because the parent registered first.
#define VYR_RESOLVE(n, member, sig)                                          \
  out[n - 1] = row.member.inherit ? (from ? from[n - 1] : nullptr)           \
                                  : reinterpret_cast<generic_fn>(row.member.fn);
  VYR_ACTION_SLOTS(VYR_RESOLVE)
#undef VYR_RESOLVE
  out[slot::unused - 1] = nullptr;
}

void make_words() {
  if (!word_maker) return;
  for (i32 t = 1; t <= highest_id; t++)
    if (names[t].name) word_of_name(names[t].name, &names[t].word);
  words_made = true;
}

void word_of_name(const char* name, cell* out) {
  if (word_maker) {
    word_maker(name, out);
  } else {
    *out = cell{TYPE_NONE, 0, 0, 0};
  }
}

const name_record& record(u32 type) { return names[type < MAX_TYPES ? type : 0]; }
const char* name_of(u32 type) {
  const char* n = record(type).name;
  return n ? n : "";
}
u32 form_length(u32 type) { return record(type).form_length; }
const cell* word_of(u32 type) { return &record(type).word; }
bool registered_q(u32 type) { return record(type).name != nullptr; }
u32 parent_of(u32 type) { return type < MAX_TYPES ? parents[type] : 0; }

i32 append_text(cell* out, const char* text, i32 budget) {
  string::concatenate_literal(out, text);
  i64 left = i64{budget} - static_cast<i64>(std::strlen(text));
  return left < INT32_MIN ? INT32_MIN : static_cast<i32>(left);
}

// ---- datatype! constructors -------------------------------------------------------------

cell* make_at(cell* c, u32 type) {
  *c = cell{TYPE_DATATYPE, type, 0, 0};
  return c;
}

cell* make_in(const cell* block, u32 type) {
  series_buffer* b = buffer_of(block->data2);
  return make_at(memory::alloc_tail_cell(b), type);
}

cell* push(u32 type) { return make_at(stack::push_slot(), type); }

// ---- datatype! actions ------------------------------------------------------------------

namespace {
// Every type id has its name, registered or not: error texts may name a type whose module
// is not there (a literal the lexer cannot load yet).
const char* const fixed_names[TYPE_TOTAL_COUNT] = {
    "", "datatype!", "unset!", "none!", "logic!", "block!", "paren!", "string!", "file!",
    "url!", "char!", "integer!", "float!", "symbol!", "context!", "word!", "set-word!",
    "lit-word!", "get-word!", "refinement!", "issue!", "native!", "action!", "op!",
    "function!", "path!", "lit-path!", "set-path!", "get-path!", "routine!", "bitset!",
    "triple!", "object!", "typeset!", "error!", "vector!", "hash!", "pair!", "percent!",
    "tuple!", "map!", "binary!", "series!", "time!", "tag!", "email!", "handle!", "date!",
    "port!", "money!", "ref!", "point2D!", "point3D!", "image!", "event!"};

const char* any_name(u32 type) {
  const char* n = name_of(type);
  return *n || type >= TYPE_TOTAL_COUNT ? n : fixed_names[type];
}
}  // namespace

i32 form(const cell* value, cell* out, const cell* part, i32 budget) {
  // The name without its final "!".
  const char* name = any_name(value->data1);
  std::string text(name, *name ? std::strlen(name) - 1 : 0);
  return append_text(out, text.c_str(), budget);
}

i32 mold(const cell* value, cell* out, bool only, bool all, bool flat, const cell* part,
         i32 budget, i32 indent) {
  const char* name = any_name(value->data1);
  if (!all) return append_text(out, name, budget);
  budget = append_text(out, "#(", budget);
  budget = append_text(out, name, budget);
  return append_text(out, ")", budget);
}

i32 compare(const cell* a, const cell* b, i32 op) {
  switch (op) {
    case compare_op::EQUAL: case compare_op::NOT_EQUAL: case compare_op::STRICT_EQUAL:
    case compare_op::SAME: case compare_op::FIND:
      return type_of(b) == TYPE_DATATYPE && b->data1 == a->data1 ? 0 : 1;
    default:
      return COMPARE_NOT_COMPARABLE;
  }
}

// ---- Registration -----------------------------------------------------------------------

void init_type() {
  action_row row;
  row.form = form;
  row.mold = mold;
  row.compare = compare;
  register_(TYPE_DATATYPE, 0, "datatype!", row);
}

void fire_expect_arg(const char* action, u32 type, const char* argument) {
  cell w, t, arg;
  word_of_name(action, &w);
  make_at(&t, type);
  word_of_name(argument, &arg);
  fire("script", "expect-arg", &w, &t, &arg);
}

void fire_with_type(const char* id, u32 type, const cell* value) {
  cell t;
  make_at(&t, type);
  if (!value) fire("script", id, &t);
  cell v = *value;
  fire("script", id, &t, &v);
}

void fire_word_type(const char* id, const char* word, u32 type) {
  cell w, t;
  word_of_name(word, &w);
  make_at(&t, type);
  fire("script", id, &w, &t);
}

}  // namespace vyr::datatype
