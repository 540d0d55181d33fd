// object!: construction, cloning, copying, the event record, serialization, paths,
// comparison and reflection. Every field is reached through the context node and an index;
// a value cell is copied out (and rooted) before anything that may allocate.
#include "runtime/datatypes/object.h"
#include "runtime/snapshot.h"

#include <string>
#include <vector>

#include "runtime/collector.h"
#include "runtime/cycles.h"
#include "runtime/datatypes/context.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/hash.h"
#include "runtime/datatypes/image.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/series.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/typeset.h"
#include "runtime/datatypes/word.h"
#include "runtime/fire.h"
#include "runtime/hashtable.h"
#include "runtime/datatypes/actions.h"
#include "runtime/stack.h"
#include "runtime/ownership.h"
#include "runtime/word_tables.h"

namespace vyr::object {

evaluate_fn evaluate = nullptr;
call_handler_fn call_handler = nullptr;
count_locals_fn count_locals = nullptr;
rebind_method_fn rebind_method = nullptr;
u32 class_counter = FIRST_CLASS_ID;

namespace {
const cell unset_cell{TYPE_UNSET, 0, 0, 0};


bool object_like(u32 t) { return t == TYPE_OBJECT || t == TYPE_ERROR || t == TYPE_PORT; }
using series::block_like_q;
using series::string_like_q;
// The series copied by `copy-values` and by extending.
bool copied_series(u32 t) {
  return block_like_q(t) || string_like_q(t) || t == TYPE_VECTOR || t == TYPE_BINARY ||
         t == TYPE_IMAGE;
}
// The series a deep clone replaces (no hash!, vector! or binary!).
bool cloned_series(u32 t) { return (block_like_q(t) && t != TYPE_HASH) || string_like_q(t); }

using _context::value_at;
using _context::value_count;
using _context::values_node;

// A copy of the series from its head (deeply for blocks when `deep`), written into `v`.
void copy_series_value(cell* v, bool deep) {
  u32 t = type_of(v);
  if (t == TYPE_IMAGE) {  // its pixels live outside the arena: the image module copies them
    cell out;
    *v = *image::copy(v, &out, nullptr, false, nullptr);
    return;
  }
  u32 src = v->data2;
  if (!src || !node_word(src)) return;
  collector::node_guard sg(&src);
  series_buffer* b = buffer_of(src);
  u32 unit = b->unit();
  u32 used = b->used_units();
  u32 head = t == TYPE_HASH ? 0 : std::min(v->data1, used);
  u32 n = used - head;
  u32 node = memory::alloc_series(n ? n : 1, unit, 0);
  collector::node_guard ng(&node);
  b = buffer_of(src);
  series_buffer* nb = buffer_of(node);
  std::memcpy(nb->head(), b->head() + u64{head} * unit, u64{n} * unit);
  nb->tail = nb->offset + n * unit;
  if (t != TYPE_HASH) v->data1 = 0;
  v->data2 = node;
  if (string_like_q(t)) v->data3 = 0;  // the conversion buffer is the source's own
  if (t == TYPE_HASH && v->data3) {
    v->data3 = hashtable::copy(v->data3, node);
  }
  if (!deep || !block_like_q(t)) return;
  // A block that contains itself keeps its inner occurrence as a reference.
  if (cycles::find(src)) return;
  cycles::guard guard(src);
  for (u32 i = 0; i < n; i++) {
    cell c = read_buffer(node)->cells()[i];
    if (!block_like_q(type_of(&c)) && !string_like_q(type_of(&c))) continue;
    if (block_like_q(type_of(&c)) && cycles::find(c.data2)) continue;
    collector::root_guard cg(&c);
    copy_series_value(&c, true);
    buffer_of(node)->cells()[i] = c;
  }
  // The copied series are new values: a hash! indexes them again.
  if (t == TYPE_HASH) hash::reindex(v);
}

void write_owner(const cell* obj) {
  cell* o = _context::owner_cell(obj->data1);
  *o = *obj;
  clear_new_line(o);
}

// The canonical symbols of the two handler fields.
u32 change_symbol() { return symbol::resolve(words::word_on_change_star.data2); }
u32 deep_symbol() { return symbol::resolve(words::word_on_deep_change_star.data2); }

bool handler_field(u32 symbol_id) {
  u32 s = symbol::resolve(symbol_id);
  return s == change_symbol() || s == deep_symbol();
}

// The record cell of a handler (0 on-change*, 1 on-deep-change*), or null.
cell* record_cell(const cell* obj, u32 which) {
  if (!obj->data3 || !node_word(obj->data3)) return nullptr;
  return buffer_of(obj->data3)->cells() + which;
}
i32 handler_index(const cell* obj, u32 which) {
  cell* r = record_cell(obj, which);
  if (!r) return -1;
  u32 index = r->data2 >> 16;
  return index == NO_HANDLER ? -1 : i32(index);
}

// Refreshes the recorded local count when the handler's argument block changed.
u32 refresh_locals(const cell* obj, u32 which, const cell* fn) {
  cell* r = record_cell(obj, which);
  if (!r) return 0;
  if (r->data3 != fn->data2) {
    u32 locals = count_locals ? count_locals(fn) : 0;
    if (locals > MAX_HANDLER_INDEX) {
      cell w{TYPE_WORD, 0, which ? deep_symbol() : change_symbol(), 0xFFFFFFFFu};
      fire("internal", "limit-hit", &w);
    }
    r = record_cell(obj, which);
    r->data2 = (r->data2 & 0xFFFF0000u) | locals;
    r->data3 = fn->data2;
  }
  return r->data2 & 0xFFFFu;
}

void cycle_marker(cell* out, bool mold_form, i32& budget) {
  budget = datatype::append_text(out, mold_form ? "make object! [...]" : "...", budget);
}

void indent_to(cell* out, i32 level, i32& budget) {
  for (i32 i = 0; i < level; i++) budget = datatype::append_text(out, "    ", budget);
}
}  // namespace

// ---------------------------------------------------------------------------------------
// Constructors

u32 get_new_id() { return ++class_counter; }

cell* make_at(cell* c, u32 slots) {
  u32 ctx = _context::create(slots, false, true, 0, _context::KIND_OBJECT);
  *c = cell{TYPE_OBJECT, ctx, 0, 0};
  write_owner(c);
  return c;
}

cell* push(u32 ctx, u32 class_id) { return push_with_events(ctx, class_id, 0); }

cell* push_with_events(u32 ctx, u32 class_id, u32 events) {
  series_buffer* vb = buffer_of(values_node(ctx));
  if (vb->used_units() == 0) {
    collector::node_guard g(&ctx);
    u32 n = _context::word_count(ctx);
    for (u32 i = 0; i < n; i++) *memory::alloc_tail_cell(vb) = unset_cell;
  }
  cell* c = stack::push_slot();
  *c = cell{TYPE_OBJECT, ctx, class_id, events};
  write_owner(c);
  return c;
}

void set_events(cell* obj, i32 change_index, i32 change_locals, i32 deep_index,
                i32 deep_locals) {
  auto check = [&](i32 index, i32 locals, u32 s) {
    if (index > i32(MAX_HANDLER_INDEX) || locals > i32(MAX_HANDLER_INDEX) || locals < 0) {
      cell w{TYPE_WORD, 0, s, 0xFFFFFFFFu};
      fire("internal", "limit-hit", &w);
    }
  };
  if (change_index >= 0) check(change_index, change_locals, change_symbol());
  if (deep_index >= 0) check(deep_index, deep_locals, deep_symbol());
  cell o = *obj;
  collector::root_guard og(&o);
  u32 rec = memory::alloc_cells(2);
  series_buffer* b = buffer_of(rec);
  auto word2 = [](i32 index, i32 locals) {
    return index < 0 ? 0xFFFF0000u : (u32(index) << 16) | (u32(locals) & 0xFFFFu);
  };
  *memory::alloc_tail_cell(b) = cell{TYPE_PAIR, 0, word2(change_index, change_locals), 0};
  *memory::alloc_tail_cell(b) = cell{TYPE_PAIR, 0, word2(deep_index, deep_locals), 0};
  o.data3 = rec;
  write_owner(&o);
  if (deep_index >= 0) {
    cell w{TYPE_WORD, 0, deep_symbol(), 0xFFFFFFFFu};
    ownership::set_owner(&o, &o, &w);
  }
  *obj = o;
}

void build_events(cell* obj) {
  cell o = *obj;
  collector::root_guard og(&o);
  i32 change = field_index(&o, change_symbol());
  i32 deep = field_index(&o, deep_symbol());
  if (change < 0 && deep < 0) {
    o.data3 = 0;
    write_owner(&o);
    *obj = o;
    return;
  }
  i32 locals[2] = {0, 0};
  i32 index[2] = {change, deep};
  for (u32 k = 0; k < 2; k++) {
    if (index[k] < 0) continue;
    cell v = *value_at(o.data1, u32(index[k]));
    u32 t = type_of(&v);
    if (t != TYPE_FUNCTION && t != TYPE_ROUTINE) {
      cell w = *_context::word_at(o.data1, u32(index[k]));
      w.header = TYPE_WORD;
      cell type{TYPE_DATATYPE, t, 0, 0};
      fire("script", "bad-field-set", &w, &type);
    }
    locals[k] = count_locals ? i32(count_locals(&v)) : 0;
  }
  set_events(&o, change, locals[0], deep, locals[1]);
  *obj = o;
}

const cell* get_field(const cell* obj, const cell* word) {
  i32 i = _context::find_word(obj->data1, word->data2, true);
  if (i < 0 || u32(i) >= value_count(obj->data1)) return &none_value;
  return value_at(obj->data1, u32(i));
}

cell* get_word(u32 ctx, u32 n) { return _context::word_at(ctx, n); }
cell* get_values(const cell* obj) { return value_at(obj->data1, 0); }
i32 field_index(const cell* obj, u32 symbol_id) {
  return _context::find_word(obj->data1, symbol_id, true);
}
cell* field_named(const cell* obj, const char* name) {
  if (type_of(obj) != TYPE_OBJECT) return nullptr;
  i32 i = field_index(obj, symbol::make(name));
  return i < 0 ? nullptr : get_values(obj) + i;
}
u32 word_count(const cell* obj) { return _context::word_count(obj->data1); }

namespace {
// The value reached from `v` through the named fields [from, to), each step an object! or
// a port!.
bool walk_fields(cell v, const char* const* from, const char* const* to, cell* out) {
  for (; from != to; ++from) {
    if (type_of(&v) != TYPE_OBJECT && type_of(&v) != TYPE_PORT) return false;
    i32 i = field_index(&v, symbol::make(*from));
    if (i < 0 || u32(i) >= value_count(v.data1)) return false;
    v = *value_at(v.data1, u32(i));
  }
  *out = v;
  return true;
}
}  // namespace

bool system_field(std::initializer_list<const char*> names, cell* out) {
  cell w = _context::global_word(symbol::make("system"));
  return walk_fields(*_context::get(&w), names.begin(), names.end(), out);
}

bool global_field(std::initializer_list<const char*> names, cell* out) {
  if (names.size() == 0) return false;
  i32 i = _context::find_word(_context::global, symbol::make(*names.begin()), true);
  if (i < 0 || u32(i) >= value_count(_context::global)) return false;
  return walk_fields(*value_at(_context::global, u32(i)), names.begin() + 1, names.end(), out);
}

void clear_new_lines(const cell* block) {
  series_buffer* b = buffer_of(block->data2);
  for (u32 i = block->data1; i < b->used_units(); i++) clear_new_line(b->cells() + i);
}

void clear_changed(u32 ctx) {
  for (u32 i = 0, n = _context::word_count(ctx); i < n; i++)
    _context::word_at(ctx, i)->header &= ~_context::WORD_CHANGED;
}

bool construct_fields(u32 ctx, const cell* spec_in, bool only) {
  cell spec = *spec_in;
  collector::root_guard sg(&spec);
  collector::node_guard cg(&ctx);
  u32 before = _context::word_count(ctx);
  u32 i = spec.data1;
  while (i < buffer_of(spec.data2)->used_units()) {
    if (type_of(read_buffer(spec.data2)->cells() + i) != TYPE_SET_WORD) {
      i++;
      continue;
    }
    u32 j = i;
    u32 n = buffer_of(spec.data2)->used_units();
    while (j < n && type_of(read_buffer(spec.data2)->cells() + j) == TYPE_SET_WORD) j++;
    cell value = j < n ? read_buffer(spec.data2)->cells()[j] : none_value;
    clear_new_line(&value);
    if (!only && type_of(&value) == TYPE_WORD) {
      auto is = [&](u32 id) { return symbol::same_q(value.data2, id); };
      if (is(words::sym_true) || is(words::sym_yes) || is(words::sym_on)) value = true_value;
      else if (is(words::sym_false) || is(words::sym_no) || is(words::sym_off)) value = false_value;
      else if (is(words::sym_none)) value = none_value;
    }
    collector::root_guard vg(&value);
    for (u32 k = i; k < j; k++) {
      cell w = read_buffer(spec.data2)->cells()[k];
      w.header = TYPE_WORD;
      _context::put(ctx, &w, &value);
    }
    i = j;
  }
  return _context::word_count(ctx) > before;
}

cell* construct(const cell* spec_in, const cell* proto_in, bool only, cell* out) {
  cell spec = *spec_in;
  cell proto = proto_in ? *proto_in : none_value;
  collector::root_guard g1(&spec), g2(&proto);
  cell obj{};
  collector::root_guard g3(&obj);
  if (object_like(type_of(&proto))) {
    clone(&proto, &obj, true, nullptr, true);
    obj.data2 = get_new_id();
  } else {
    make_at(&obj, 4);
    obj.data2 = get_new_id();
  }
  write_owner(&obj);
  construct_fields(obj.data1, &spec, only);
  clear_changed(obj.data1);
  build_events(&obj);
  *out = obj;
  return out;
}

void set_many(cell* obj_in, const cell* value_in, bool any, bool only, bool some) {
  cell obj = *obj_in, value = *value_in;
  collector::root_guard g1(&obj), g2(&value);
  u32 ctx = obj.data1;
  u32 n = _context::word_count(ctx);
  i32 skip_a = obj.data3 ? handler_index(&obj, 0) : -1;
  i32 skip_b = obj.data3 ? handler_index(&obj, 1) : -1;
  auto assign = [&](u32 i, const cell* v) {
    if (i32(i) == skip_a || i32(i) == skip_b) return;
    cell nv = *v;
    collector::root_guard ng(&nv);
    cell w = *_context::word_at(ctx, i);
    w.header = TYPE_WORD;
    collector::root_guard wg(&w);
    cell old = *value_at(ctx, i);
    collector::root_guard og(&old);
    _context::set_in(&w, &nv, ctx, false);
    if (obj.data3) fire_on_set(&obj, &w, &old, &nv);
  };
  u32 t = type_of(&value);
  if ((t == TYPE_BLOCK || object_like(t)) && !only) {
    if (object_like(t)) {
      if (!some && !any) {
        for (u32 i = 0; i < n; i++) {
          i32 k = _context::find_word(value.data1, _context::word_at(ctx, i)->data2, true);
          if (k >= 0 && type_of(value_at(value.data1, u32(k))) == TYPE_UNSET) {
            cell w = *_context::word_at(ctx, i);
            w.header = TYPE_WORD;
            fire("script", "need-value", &w);
          }
        }
      }
      for (u32 i = 0; i < n; i++) {
        i32 k = _context::find_word(value.data1, _context::word_at(ctx, i)->data2, true);
        if (k < 0) continue;
        cell v = *value_at(value.data1, u32(k));
        if (some && type_of(&v) == TYPE_NONE) continue;
        assign(i, &v);
      }
    } else {
      u32 len = buffer_of(value.data2)->used_units();
      u32 head = value.data1;
      if (!some && !any) {
        for (u32 i = 0; i < n && head + i < len; i++) {
          if (type_of(read_buffer(value.data2)->cells() + head + i) == TYPE_UNSET) {
            cell w = *_context::word_at(ctx, i);
            w.header = TYPE_WORD;
            fire("script", "need-value", &w);
          }
        }
      }
      for (u32 i = 0; i < n; i++) {
        len = buffer_of(value.data2)->used_units();
        cell v = head + i < len ? read_buffer(value.data2)->cells()[head + i] : none_value;
        if (some && type_of(&v) == TYPE_NONE) continue;
        assign(i, &v);
      }
    }
  } else {
    for (u32 i = 0; i < n; i++) assign(i, &value);
  }
}

i32 serialize(const cell* obj_in, cell* out, bool only, bool all, bool flat,
              const cell* part, i32 budget, bool mold_form, i32 indent) {
  cell obj = *obj_in;
  collector::root_guard og(&obj);
  u32 ctx = obj.data1;
  std::vector<u32> fields;
  for (u32 i = 0, n = _context::word_count(ctx); i < n; i++) {
    if (!all && handler_field(_context::word_at(ctx, i)->data2)) continue;
    fields.push_back(i);
  }
  if (fields.empty()) return budget;
  bool indent_mode = mold_form && !only && !flat;
  const char* sep = flat ? " " : "\n";
  if (indent_mode) budget = datatype::append_text(out, "\n", budget);
  for (size_t k = 0; k < fields.size() && budget > 0; k++) {
    u32 i = fields[k];
    if (indent_mode) indent_to(out, indent, budget);
    cell w = *_context::word_at(ctx, i);
    w.header = TYPE_WORD;
    budget = word::form(&w, out, budget);
    budget = datatype::append_text(out, ": ", budget);
    cell v = i < value_count(ctx) ? *value_at(ctx, i) : unset_cell;
    if (type_of(&v) == TYPE_VALUE) v = unset_cell;
    collector::root_guard vg(&v);
    // Values that evaluate to something else are quoted, so the text reloads as itself.
    switch (type_of(&v)) {
      case TYPE_WORD: case TYPE_PATH:
        budget = datatype::append_text(out, "'", budget);
        break;
      case TYPE_SET_WORD: case TYPE_GET_WORD: case TYPE_LIT_WORD: case TYPE_SET_PATH:
      case TYPE_GET_PATH: case TYPE_LIT_PATH:
        budget = datatype::append_text(out, "quote ", budget);
        break;
      default:
        break;
    }
    budget = actions::mold(&v, out, false, all, flat, part, budget, indent);
    if (k + 1 < fields.size() || indent_mode) budget = datatype::append_text(out, sep, budget);
  }
  return budget;
}

void copy_values(const cell* proto_in, const cell* obj_in, bool plain) {
  cell proto = *proto_in, obj = *obj_in;
  collector::root_guard g1(&proto), g2(&obj);
  u32 n = std::min(value_count(proto.data1), value_count(obj.data1));
  for (u32 i = 0; i < n; i++) {
    cell v = *value_at(proto.data1, i);
    collector::root_guard vg(&v);
    if (copied_series(type_of(&v))) {
      copy_series_value(&v, true);
      if (block_like_q(type_of(&v))) _context::bind(&v, obj.data1, true);
      *value_at(obj.data1, i) = v;
    } else if (plain) {
      *value_at(obj.data1, i) = v;
    }
  }
}

bool extend(cell* obj_in, const cell* source_in) {
  cell obj = *obj_in, src = *source_in;
  collector::root_guard g1(&obj), g2(&src);
  u32 before = _context::word_count(obj.data1);
  for (u32 i = 0, n = _context::word_count(src.data1); i < n; i++) {
    cell w = *_context::word_at(src.data1, i);
    cell v = i < value_count(src.data1) ? *value_at(src.data1, i) : unset_cell;
    collector::root_guard wg(&w), vg(&v);
    _context::put(obj.data1, &w, &v);
  }
  for (u32 i = 0; i < value_count(obj.data1); i++) {
    cell v = *value_at(obj.data1, i);
    collector::root_guard vg(&v);
    if (copied_series(type_of(&v))) {
      copy_series_value(&v, true);
      if (block_like_q(type_of(&v))) _context::bind(&v, obj.data1, true);
      *value_at(obj.data1, i) = v;
    } else if (type_of(&v) == TYPE_FUNCTION && rebind_method) {
      rebind_method(&v, obj.data1);
      *value_at(obj.data1, i) = v;
    }
  }
  *obj_in = obj;
  return _context::word_count(obj.data1) > before;
}

void clone(const cell* proto_in, cell* dest, bool deep, const cell* types_in,
           bool rebuild_events) {
  cell proto = *proto_in;
  cell types = types_in ? *types_in : none_value;
  collector::root_guard g1(&proto), g2(&types);
  u32 pctx = proto.data1;
  u32 ctx = _context::clone(pctx, _context::KIND_OBJECT);
  collector::node_guard cg(&ctx);
  _context::context_cell(ctx)->header |= _context::RUNTIME_OBJECT;
  _context::context_cell(ctx)->header &= ~_context::OWNER_MARK;
  u32 n = value_count(pctx);
  for (u32 i = 0; i < n; i++) {
    cell v = *value_at(pctx, i);
    series_buffer* b = buffer_of(values_node(ctx));
    *memory::alloc_tail_cell(b) = v;
  }
  cell obj{type_of(&proto), ctx, proto.data2, rebuild_events ? 0u : proto.data3};
  collector::root_guard og(&obj);
  write_owner(&obj);
  bool has_types = type_of(&types) == TYPE_TYPESET || type_of(&types) == TYPE_DATATYPE;
  auto wanted = [&](u32 t) {
    return type_of(&types) == TYPE_TYPESET ? typeset::has_q(&types, t) : types.data1 == t;
  };
  if (has_types && cycles::find(pctx)) {
    cycles::reset();
    fire("internal", "no-cycle");
  }
  cycles::guard guard(pctx);
  for (u32 i = 0; i < n; i++) {
    cell v = *value_at(ctx, i);
    collector::root_guard vg(&v);
    u32 t = type_of(&v);
    if (t == TYPE_FUNCTION && rebind_method) {
      rebind_method(&v, ctx);
    } else if (deep && !has_types) {
      if (!cloned_series(t)) continue;
      copy_series_value(&v, true);
    } else if (has_types && wanted(t)) {
      if (copied_series(t)) {
        copy_series_value(&v, deep);
      } else if (object_like(t)) {
        if (cycles::find(v.data1)) {
          cycles::reset();
          fire("internal", "no-cycle");
        }
        cell c{};
        collector::root_guard ccg(&c);
        clone(&v, &c, deep, &types, true);
        v = c;
      } else {
        continue;
      }
    } else {
      continue;
    }
    *value_at(ctx, i) = v;
  }
  if (rebuild_events) build_events(&obj);
  *dest = obj;
}

// ---------------------------------------------------------------------------------------
// Change notification

void fire_on_set(const cell* obj_in, const cell* word_in, const cell* old_in,
                 const cell* new_in) {
  cell obj = *obj_in;
  if (!obj.data3) return;
  i32 index = handler_index(&obj, 0);
  if (index < 0) return;
  cell word = *word_in, old = *old_in, nv = *new_in;
  collector::root_guard g1(&obj), g2(&word), g3(&old), g4(&nv);
  cell fn = u32(index) < value_count(obj.data1) ? *value_at(obj.data1, u32(index)) : unset_cell;
  collector::root_guard fg(&fn);
  if (type_of(&fn) != TYPE_FUNCTION) fire("script", "invalid-obj-evt", &fn);
  u32 locals = refresh_locals(&obj, 0, &fn);
  if (word.data1 != obj.data1) {
    word.header = type_of(&word);
    _context::bind_word(obj.data1, &word);
  }
  cell args[3] = {word, old, nv};
  collector::root_guard ag(args, 3);
  cell name{TYPE_WORD, 0, change_symbol(), 0xFFFFFFFFu};
  if (call_handler) call_handler(&fn, &name, args, 3, locals);
}

void fire_on_deep_change(const cell* owner_in, const cell* word_in, const cell* target_in,
                         const cell* action_in, const cell* new_in, i32 index, i32 part) {
  cell owner = *owner_in;
  collector::root_guard g0(&owner);
  if (!owner.data3) fire("script", "invalid-obj-evt", &owner);
  i32 hi = handler_index(&owner, 1);
  if (hi < 0 || u32(hi) >= value_count(owner.data1)) return;
  cell fn = *value_at(owner.data1, u32(hi));
  if (type_of(&fn) != TYPE_FUNCTION) return;
  collector::root_guard fg(&fn);
  u32 locals = refresh_locals(&owner, 1, &fn);
  cell args[7] = {owner, *word_in, *target_in, *action_in,
                  new_in ? *new_in : none_value,
                  cell{TYPE_INTEGER, 0, u32(index), 0}, cell{TYPE_INTEGER, 0, u32(part), 0}};
  collector::root_guard ag(args, 7);
  cell name{TYPE_WORD, 0, deep_symbol(), 0xFFFFFFFFu};
  if (call_handler) call_handler(&fn, &name, args, 7, locals);
}

// ---------------------------------------------------------------------------------------
// Actions

const cell* make(const cell* proto_in, const cell* spec_in, u32 type) {
  cell proto = *proto_in, spec = *spec_in;
  collector::root_guard g1(&proto), g2(&spec);
  cell obj{};
  collector::root_guard g3(&obj);
  bool from_object = object_like(type_of(&proto));
  if (from_object) clone(&proto, &obj, true, nullptr, false);
  else make_at(&obj, 4);
  u32 class_id = from_object ? proto.data2 : 0;
  if (object_like(type_of(&spec))) {
    bool grew = extend(&obj, &spec);
    class_id = grew || !from_object ? get_new_id() : proto.data2;
  } else if (type_of(&spec) == TYPE_BLOCK) {
    bool grew = _context::collect_set_words(obj.data1, &spec);
    _context::bind(&spec, obj.data1, true);
    if (from_object) copy_values(&proto, &obj, false);
    write_owner(&obj);
    if (!evaluate) fire("internal", "not-done");
    evaluate(&spec);
    clear_changed(obj.data1);
    for (u32 i = 0; i < value_count(obj.data1); i++) clear_new_line(value_at(obj.data1, i));
    class_id = grew || !from_object ? get_new_id() : proto.data2;
  } else {
    fire("syntax", "malconstruct", &spec);
  }
  obj.data2 = class_id;
  build_events(&obj);
  write_owner(&obj);
  return stack::set_result(&obj);
}

const cell* reflect(const cell* value, u32 field) {
  cell obj = *value;
  collector::root_guard og(&obj);
  u32 ctx = obj.data1;
  u32 n = _context::word_count(ctx);
  cell result{};
  collector::root_guard rg(&result);
  auto new_block = [&](u32 size) {
    result = cell{TYPE_BLOCK, 0, memory::alloc_cells(size ? size : 1), 0};
  };
  auto append = [&](const cell& c) {
    series_buffer* b = buffer_of(result.data2);
    *memory::alloc_tail_cell(b) = c;
  };
  if (symbol::same_q(field, words::word_changed.data2)) {
    new_block(n);
    for (u32 i = 0; i < n; i++) {
      cell w = *_context::word_at(ctx, i);
      if (!(w.header & _context::WORD_CHANGED)) continue;
      w.header &= ~_context::WORD_CHANGED;
      append(w);
    }
  } else if (symbol::same_q(field, words::sym_class)) {
    result = cell{TYPE_INTEGER, 0, obj.data2, 0};
  } else if (symbol::same_q(field, words::sym_words)) {
    new_block(n);
    for (u32 i = 0; i < n; i++) {
      cell w = *_context::word_at(ctx, i);
      w.header = TYPE_WORD;
      w.data1 = ctx;
      append(w);
    }
  } else if (symbol::same_q(field, words::sym_values)) {
    new_block(value_count(ctx));
    for (u32 i = 0; i < value_count(ctx); i++) append(*value_at(ctx, i));
  } else if (symbol::same_q(field, words::sym_body)) {
    new_block(2 * n);
    for (u32 i = 0; i < n; i++) {
      cell w = *_context::word_at(ctx, i);
      w.header = TYPE_SET_WORD | HEADER_NEW_LINE;
      w.data1 = ctx;
      append(w);
      cell v = i < value_count(ctx) ? *value_at(ctx, i) : unset_cell;
      if (type_of(&v) == TYPE_WORD) set_type(&v, TYPE_LIT_WORD);
      else if (type_of(&v) == TYPE_PATH) set_type(&v, TYPE_LIT_PATH);
      append(v);
    }
  } else if (symbol::same_q(field, words::sym_owner)) {
    result = *logic::of(_context::context_cell(ctx)->header & _context::OWNER_MARK);
  } else if (symbol::same_q(field, words::sym_events_q)) {
    result = *logic::of(obj.data3 != 0);
  } else {
    fire("internal", "not-done");
  }
  return stack::set_result(&result);
}

i32 form(const cell* value, cell* out, const cell* part, i32 budget) {
  u32 ctx = value->data1;
  if (cycles::find(ctx)) {
    cycle_marker(out, false, budget);
    return budget;
  }
  cycles::guard guard(ctx);
  return serialize(value, out, false, false, false, part, budget, false, 0);
}

i32 mold(const cell* value, cell* out, bool only, bool all, bool flat, const cell* part,
         i32 budget, i32 indent) {
  u32 ctx = value->data1;
  if (cycles::find(ctx)) {
    cycle_marker(out, true, budget);
    return budget;
  }
  cycles::guard guard(ctx);
  if (only) return serialize(value, out, true, all, flat, part, budget, true, indent);
  budget = datatype::append_text(out, "make object! [", budget);
  budget = serialize(value, out, false, all, flat, part, budget, true, indent + 1);
  if (!flat && indent > 0) indent_to(out, indent, budget);
  return datatype::append_text(out, "]", budget);
}

namespace {
// The path walk on an object; `missing_unset`: a missing field reads as unset!.
const cell* walk(cell* parent, cell* element, cell* value, const cell* path,
                 bool missing_unset) {
  cell obj = *parent, elem = *element;
  cell p = path ? *path : none_value;
  collector::root_guard g1(&obj), g2(&elem), g3(&p);
  u32 t = type_of(&elem);
  if (t != TYPE_WORD && t != TYPE_SET_WORD && t != TYPE_LIT_WORD && t != TYPE_GET_WORD)
    fire("script", "invalid-path", &p, &elem);
  u32 ctx = obj.data1;
  if (elem.data1 != ctx || elem.data3 == 0xFFFFFFFFu) {
    i32 index = _context::find_word(ctx, elem.data2, true);
    if (index >= 0) {
      elem.data1 = ctx;
      elem.data3 = u32(index);
      element->data1 = ctx;  // the path keeps the binding for the next walk
      element->data3 = u32(index);
    } else {
      elem.data3 = 0xFFFFFFFFu;
    }
  }
  bool found = elem.data1 == ctx && elem.data3 != 0xFFFFFFFFu;
  if (!value) {
    if (found && elem.data3 < value_count(ctx) && type_of(value_at(ctx, elem.data3)) != TYPE_UNSET &&
        type_of(value_at(ctx, elem.data3)) != TYPE_VALUE) {
      return stack::set_result(value_at(ctx, elem.data3));
    }
    if (missing_unset) {
      return stack::set_result(&unset_cell);
    }
    fire("script", "invalid-path", &p, &elem);
  }
  if (!found) fire("script", "invalid-path", &p, &elem);
  cell nv = *value;
  collector::root_guard ng(&nv);
  cell old = elem.data3 < value_count(ctx) ? *value_at(ctx, elem.data3) : unset_cell;
  collector::root_guard oldg(&old);
  cell w = elem;
  w.header = TYPE_WORD;
  collector::root_guard wg(&w);
  _context::set_in(&w, &nv, ctx, false);
  if (obj.data3) fire_on_set(&obj, &w, &old, &nv);
  return stack::set_result(&nv);
}
}  // namespace

const cell* eval_path(cell* parent, cell* element, cell* value, const path_args& args) {
  return walk(parent, element, value, args.path, args.get_only);
}

i32 compare(const cell* a, const cell* b, i32 op) {
  if (!object_like(type_of(b))) return -2;
  if (a->data1 == b->data1) return 0;
  if (op == compare_op::SAME) return -1;
  u32 ca = a->data1, cb = b->data1;
  if (cycles::find(ca)) return cycles::find(cb) ? 0 : -1;
  u32 na = _context::word_count(ca), nb = _context::word_count(cb);
  if (na != nb) return na > nb ? 1 : -1;
  cycles::guard g1(ca);
  cycles::guard g2(cb);
  auto number = [](u32 t) { return t == TYPE_INTEGER || t == TYPE_FLOAT || t == TYPE_PERCENT; };
  for (u32 i = 0; i < na; i++) {
    u32 sa = symbol::resolve(_context::word_at(ca, i)->data2);
    u32 sb = symbol::resolve(_context::word_at(cb, i)->data2);
    if (sa != sb) return sa < sb ? -1 : 1;
    cell va = i < value_count(ca) ? *value_at(ca, i) : unset_cell;
    cell vb = i < value_count(cb) ? *value_at(cb, i) : unset_cell;
    collector::root_guard ga(&va), gb(&vb);
    u32 ta = type_of(&va), tb = type_of(&vb);
    bool related = ta == tb || (word::any_word_q(ta) && word::any_word_q(tb)) ||
                   (number(ta) && number(tb));
    if (!related) return ta < tb ? -1 : 1;
    i32 r = actions::compare_value(&va, &vb, op);
    if (r == -2) r = 1;
    if (r != 0) return r;
  }
  return 0;
}

const cell* copy(const cell* value, cell* dest, const cell* part, bool deep,
                 const cell* types) {
  if (part) {
    cell refinement{TYPE_REFINEMENT, 0, symbol::make("part"), 0xFFFFFFFFu};
    cell arg = *part;
    fire("script", "invalid-refine-arg", &refinement, &arg);
  }
  cell result{};
  collector::root_guard rg(&result);
  clone(value, &result, deep, types, true);
  stack::set_result(&result);
  if (dest && dest != stack::arguments) *dest = result;
  return stack::arguments;
}

const cell* select(cell* obj, const cell* key, const find_args& opts) {
  if (!word::any_word_q(type_of(key))) {
    cell type{TYPE_DATATYPE, type_of(key), 0, 0};
    fire("script", "invalid-type", &type);
  }
  cell v = *get_field(obj, key);
  if (type_of(&v) == TYPE_VALUE) v = unset_cell;
  return stack::set_result(&v);
}

const cell* put(cell* obj, const cell* key, const cell* value, bool case_sensitive) {
  if (type_of(key) != TYPE_WORD) {
    cell type{TYPE_DATATYPE, type_of(key), 0, 0};
    fire("script", "invalid-key-type", &type);
  }
  cell k = *key, v = *value, o = *obj;
  collector::root_guard g1(&k), g2(&v), g3(&o);
  walk(&o, &k, &v, &none_value, false);
  return stack::set_result(&v);
}

const cell* modify(cell* obj_in, const cell* field, const cell* new_value, bool case_sensitive) {
  cell obj = *obj_in, f = *field, nv = *new_value;
  collector::root_guard g1(&obj), g2(&f), g3(&nv);
  if (word::kind_q(type_of(&f))) {
    if (symbol::same_q(f.data2, words::word_changed.data2)) {
      if (type_of(&nv) != TYPE_NONE) fire("script", "invalid-arg", &nv);
      clear_changed(obj.data1);
    } else if (symbol::same_q(f.data2, words::sym_owner)) {
      cell w{TYPE_WORD, 0, symbol::make("owner"), 0xFFFFFFFFu};
      ownership::set_owner(&obj, &obj, &w);
    } else if (symbol::same_q(f.data2, words::sym_owned)) {
      if (type_of(&nv) == TYPE_NONE) {
        ownership::unbind(&obj);
      } else if (type_of(&nv) == TYPE_BLOCK) {
        series_buffer* b = buffer_of(nv.data2);
        if (b->used_units() >= nv.data1 + 2) {
          cell owner = b->cells()[nv.data1], w = b->cells()[nv.data1 + 1];
          collector::root_guard og(&owner), wg(&w);
          if (object_like(type_of(&owner)) && word::kind_q(type_of(&w)))
            ownership::bind(&obj, &owner, &w);
        }
      }
    }
  }
  return stack::set_result(&obj);
}

// ---------------------------------------------------------------------------------------
// Registration

void init() {
  snapshot::keep("object.class-counter", &class_counter);
  action_row row;
  row.make = make;
  row.reflect = reflect;
  row.form = form;
  row.mold = mold;
  row.eval_path = eval_path;
  row.compare = compare;
  row.copy = copy;
  row.put = put;
  row.select = select;
  row.modify = modify;
  datatype::register_(TYPE_OBJECT, 0, "object!", row);
  _context::on_set_hook = fire_on_set;
  ownership::notify = fire_on_deep_change;
  ownership::init();
}

}  // namespace vyr::object
