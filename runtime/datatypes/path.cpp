// path!, lit-path!, set-path! and get-path!: block storage, "/"-separated text. A path never
// spans lines: new-line markers inside it are ignored by mold.
#include "runtime/datatypes/path.h"

#include "runtime/collector.h"
#include "runtime/cycles.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/actions.h"
#include "runtime/stack.h"

namespace vyr::path {

namespace {
cell* push_as(cell* c, u32 type) {
  set_type(c, type);
  return stack::push_copy(c);
}

i64 total_of(const cell* v) { return buffer_of(v->data2)->used_units(); }
}  // namespace

// ---- Constructors -------------------------------------------------------------------------

cell* push(cell* c) { return push_as(c, TYPE_PATH); }

cell* make_at(cell* c, i32 n) {
  block::make_at(c, n);
  set_type(c, TYPE_PATH);
  return c;
}

// ---- Actions ------------------------------------------------------------------------------

// make from a size follows the block rule (room for at least one cell); the block
// constructor also takes percent! sizes for the path kinds.
const cell* make(const cell* proto, const cell* spec, u32 type) {
  return block::make(proto, spec, type);
}

const cell* to(const cell* proto, const cell* spec, u32 type) {
  return block::to(proto, spec, type);
}

const cell* copy(const cell* value, cell* dest, const cell* part, bool deep,
                 const cell* types) {
  return block::copy(value, dest, part, deep, types);
}

i32 form(const cell* value, cell* out, const cell* part, i32 budget) {
  cell v = *value;
  collector::root_guard keep(&v);
  if (cycles::find(v.data2)) return budget;
  cycles::guard g(v.data2);
  i64 h = static_cast<i64>(v.data1);
  for (i64 i = h; i < total_of(&v); i++) {
    cell c = read_buffer(v.data2)->cells()[i];
    budget = actions::form(&c, out, part, budget);
    if (part && budget < 1) break;
    if (i + 1 < total_of(&v)) budget = datatype::append_text(out, "/", budget);
  }
  return budget;
}

i32 mold(const cell* value, cell* out, bool only, bool all, bool flat, const cell* part,
         i32 budget, i32) {
  cell v = *value;
  collector::root_guard keep(&v);
  if (cycles::find(v.data2)) return datatype::append_text(out, "...", budget);
  cycles::guard g(v.data2);
  i64 h = static_cast<i64>(v.data1);
  for (i64 i = h; i < total_of(&v); i++) {
    cell c = read_buffer(v.data2)->cells()[i];
    budget = actions::mold(&c, out, only, all, flat, part, budget, 0);
    if (part && budget < 1) break;
    if (i + 1 < total_of(&v)) budget = datatype::append_text(out, "/", budget);
  }
  return budget;
}

// ---- Registration -------------------------------------------------------------------------

void init() {
  action_row row;
  row.make = make;
  row.to = to;
  row.form = form;
  row.mold = mold;
  row.copy = copy;
  row.random = nullptr;
  row.sort = nullptr;
  row.trim = nullptr;
  datatype::register_(TYPE_PATH, TYPE_BLOCK, "path!", row);
  action_row lit;
  lit.mold = lit_path::mold;
  datatype::register_(TYPE_LIT_PATH, TYPE_PATH, "lit-path!", lit);
  action_row set;
  set.mold = set_path::mold;
  datatype::register_(TYPE_SET_PATH, TYPE_PATH, "set-path!", set);
  action_row get;
  get.mold = get_path::mold;
  datatype::register_(TYPE_GET_PATH, TYPE_PATH, "get-path!", get);
}

}  // namespace vyr::path

namespace vyr::lit_path {
cell* push(cell* c) {
  set_type(c, TYPE_LIT_PATH);
  return stack::push_copy(c);
}
i32 mold(const cell* value, cell* out, bool only, bool all, bool flat, const cell* part,
         i32 budget, i32 indent) {
  budget = datatype::append_text(out, "'", budget);
  return path::mold(value, out, only, all, flat, part, budget, indent);
}
}  // namespace vyr::lit_path

namespace vyr::set_path {
cell* push(cell* c) {
  set_type(c, TYPE_SET_PATH);
  return stack::push_copy(c);
}
i32 mold(const cell* value, cell* out, bool only, bool all, bool flat, const cell* part,
         i32 budget, i32 indent) {
  budget = path::mold(value, out, only, all, flat, part, budget, indent);
  return datatype::append_text(out, ":", budget);
}
}  // namespace vyr::set_path

namespace vyr::get_path {
cell* push(cell* c) {
  set_type(c, TYPE_GET_PATH);
  return stack::push_copy(c);
}
i32 mold(const cell* value, cell* out, bool only, bool all, bool flat, const cell* part,
         i32 budget, i32 indent) {
  budget = datatype::append_text(out, ":", budget);
  return path::mold(value, out, only, all, flat, part, budget, indent);
}
}  // namespace vyr::get_path
