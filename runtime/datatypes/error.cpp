// error!: construction from codes, blocks and strings, the report text, mold, and the
// catalogue read from the embedded errors.vyr. The report never changes the error it
// describes: a type, id or template missing from the catalogue is reported from copies.
#include "runtime/datatypes/error.h"

#include <cstring>
#include <vector>

#include "runtime/collector.h"
#include "runtime/cycles.h"
#include "runtime/datatypes/context.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/object.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/word.h"
#include "runtime/fire.h"
#include "runtime/datatypes/actions.h"
#include "runtime/stack.h"

namespace vyr::embedded {
extern const char errors_vyr[];
}

namespace vyr::error {

cell catalog{TYPE_NONE, 0, 0, 0};
cell prototype{TYPE_NONE, 0, 0, 0};
near_fn near_hook = nullptr;
i32 stack_trace = 0;
call_words_fn call_words_hook = nullptr;

namespace {
cell fatal[2] = {{TYPE_NONE, 0, 0, 0}, {TYPE_NONE, 0, 0, 0}};  // no-memory, stack-overflow

const char* const FIELD_NAMES[FIELD_COUNT] = {"code", "type", "id", "arg1", "arg2",
                                              "arg3", "near", "where", "stack", "files"};

using _context::value_at;
using _context::value_count;

bool ready() { return type_of(&catalog) == TYPE_OBJECT && type_of(&prototype) == TYPE_OBJECT; }

cell global_word(const char* name) {
  cell w;
  word::make_at(symbol::make(name), &w);
  return w;
}

// Position of a category in the catalogue, or -1.
i32 category_pos(u32 symbol_id) { return _context::find_word(catalog.data1, symbol_id, true); }
cell category_at(i32 pos) { return *value_at(catalog.data1, u32(pos)); }
// Position of an id in its category (2 and above; code and type are not ids), or -1.
i32 id_pos(const cell& category, u32 symbol_id) {
  i32 p = _context::find_word(category.data1, symbol_id, true);
  return p >= 2 ? p : -1;
}

// A fresh copy of the standard error: type error!, class 1, no events, `near` filled.
void new_error(cell* out) {
  cell e{};
  collector::root_guard g(&e);
  object::clone(&prototype, &e, false, nullptr, false);
  e.header = TYPE_ERROR;
  e.data2 = object::ERROR_CLASS_ID;
  e.data3 = 0;
  *_context::owner_cell(e.data1) = e;
  if (near_hook) {
    if (const cell* n = near_hook()) *value_at(e.data1, FIELD_NEAR) = *n;
  }
  *out = e;
}

void set_field(const cell* err, u32 f, const cell* v) { *value_at(err->data1, f) = *v; }

// Fills code, type and id from catalogue positions (words bound to the catalogue).
void set_code(const cell* err, i32 cat, i32 id) {
  cell code{TYPE_INTEGER, 0, u32(cat * 100 + id - 2), 0};
  set_field(err, FIELD_CODE, &code);
}

[[noreturn]] void bad_spec_field(const char* which) {
  cell w = global_word(which);
  fire("script", "invalid-spec-field", &w);
}

// Checks the type and id words already stored in the error and computes its code.
void check_type_and_id(const cell* err) {
  cell t = *value_at(err->data1, FIELD_TYPE);
  if (type_of(&t) != TYPE_WORD) bad_spec_field("type");
  i32 cat = category_pos(t.data2);
  if (cat < 0) bad_spec_field("type");
  cell i = *value_at(err->data1, FIELD_ID);
  if (type_of(&i) != TYPE_WORD) bad_spec_field("id");
  i32 id = id_pos(category_at(cat), i.data2);
  if (id < 0) bad_spec_field("id");
  set_code(err, cat, id);
}

// ---- The catalogue reader ----------------------------------------------------------------
// Reads exactly the shapes errors.vyr uses: comments, blocks, strings (with ^ escapes),
// integers, words, set-words and get-words. Runs with collection off.

struct reader {
  const char* p;
  std::vector<u32> open;  // blocks being filled, innermost last

  static bool delimiter(char c) {
    return c == 0 || c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '[' ||
           c == ']' || c == '"' || c == ';';
  }
  cell* slot() {
    series_buffer* b = buffer_of(open.back());
    return memory::alloc_tail_cell(b);
  }
  [[noreturn]] void fail() {
    cell where{TYPE_INTEGER, 0, u32(p - text), 0};
    fire("script", "invalid-data", &where);
  }
  const char* text;

  u32 run() {
    u32 top = memory::alloc_cells(64);
    open.push_back(top);
    while (*p) {
      char c = *p;
      if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
        p++;
      } else if (c == ';') {
        while (*p && *p != '\n') p++;
      } else if (c == '[') {
        p++;
        u32 b = memory::alloc_cells(8);
        *slot() = cell{TYPE_BLOCK, 0, b, 0};
        open.push_back(b);
      } else if (c == ']') {
        p++;
        if (open.size() < 2) fail();
        open.pop_back();
      } else if (c == '"') {
        // Most texts hold no escape: those load straight from the catalogue text, which
        // start-up reads a few hundred of.
        const char* start = p + 1;
        const char* end = start;
        while (*end && *end != '"' && *end != '^') end++;
        if (*end == '"') {
          p = end + 1;
          cell str{};
          string::load_at(start, u32(end - start), &str, string::ENCODING_UTF8);
          *slot() = str;
          continue;
        }
        std::string s;
        for (p++; *p && *p != '"'; p++) {
          if (*p == '^' && p[1]) {
            p++;
            s += *p == '/' ? '\n' : *p;
          } else {
            s += *p;
          }
        }
        if (*p != '"') fail();
        p++;
        cell str{};
        string::load_at(s.data(), u32(s.size()), &str, string::ENCODING_UTF8);
        *slot() = str;
      } else if ((c >= '0' && c <= '9') || (c == '-' && p[1] >= '0' && p[1] <= '9')) {
        bool negative = c == '-';
        if (negative) p++;
        i64 n = 0;
        while (*p >= '0' && *p <= '9') n = n * 10 + (*p++ - '0');
        if (!delimiter(*p)) fail();
        *slot() = cell{TYPE_INTEGER, 0, u32(i32(negative ? -n : n)), 0};
      } else {
        bool get = c == ':';
        if (get) p++;
        const char* start = p;
        while (!delimiter(*p)) p++;
        u32 n = u32(p - start);
        bool set = !get && n > 1 && start[n - 1] == ':';
        if (set) n--;
        if (n == 0) fail();
        cell w;
        word::make_at(symbol::make_from_bytes(start, n), &w);
        set_type(&w, get ? TYPE_GET_WORD : set ? TYPE_SET_WORD : TYPE_WORD);
        *slot() = w;
      }
    }
    if (open.size() != 1) fail();
    return top;
  }
};

void build_catalog() {
  collector::no_collect off;
  u32 top = read_catalog_text(embedded::errors_vyr);
  series_buffer* b = buffer_of(top);
  u32 n = b->used_units();
  cell errors{};
  object::make_at(&errors, n / 2);
  errors.data2 = object::get_new_id();
  for (u32 i = 0; i + 1 < n; i += 2) {
    cell name = read_buffer(top)->cells()[i];
    cell body = read_buffer(top)->cells()[i + 1];
    if (type_of(&name) != TYPE_WORD || type_of(&body) != TYPE_BLOCK)
      fire("script", "invalid-data", &name);
    cell category{};
    object::make_at(&category, 16);
    category.data2 = object::get_new_id();
    object::construct_fields(category.data1, &body, true);
    object::clear_changed(category.data1);
    *_context::owner_cell(category.data1) = category;
    _context::put(errors.data1, &name, &category);
  }
  object::clear_changed(errors.data1);
  *_context::owner_cell(errors.data1) = errors;
  catalog = errors;

  cell proto{};
  object::make_at(&proto, FIELD_COUNT);
  proto.data2 = object::ERROR_CLASS_ID;
  for (u32 f = 0; f < FIELD_COUNT; f++) {
    cell w = global_word(FIELD_NAMES[f]);
    _context::put(proto.data1, &w, &none_value);
  }
  object::clear_changed(proto.data1);
  *_context::owner_cell(proto.data1) = proto;
  prototype = proto;
}

// ---- Report helpers ----------------------------------------------------------------------

// Appends the value's mold (or form) cut to `limit` characters.
i32 append_value(cell* out, const cell* value, bool mold, bool only, bool flat, i32 limit,
                 i32 budget) {
  cell v = *value;
  collector::root_guard vg(&v);
  if (!datatype::entry(type_of(&v), mold ? slot::mold : slot::form))
    return datatype::append_text(out, datatype::name_of(type_of(&v)), budget);
  cell tmp{};
  string::make_at(&tmp, limit > 0 && limit < 4096 ? u32(limit) : 64);
  collector::root_guard tg(&tmp);
  if (mold) actions::mold(&v, &tmp, only, false, flat, nullptr, limit, 0);
  else actions::form(&v, &tmp, nullptr, limit);
  i32 n = string::rs_length_q(&tmp);
  i32 take = limit > 0 && n > limit ? limit : n;
  string::concatenate(out, &tmp, take, 0, false, string::CONCAT_APPEND);
  return budget - take;
}

i32 append_string(cell* out, const cell* s, i32 budget) {
  cell v = *s;
  collector::root_guard vg(&v);
  i32 n = string::rs_length_q(&v);
  string::concatenate(out, &v, -1, 0, false, string::CONCAT_APPEND);
  return budget - n;
}

i32 field_index(u32 symbol_id) {
  u32 s = symbol::resolve(symbol_id);
  for (u32 f = 0; f < FIELD_COUNT; f++)
    if (symbol::resolve(symbol::make(FIELD_NAMES[f])) == s) return i32(f);
  return -1;
}

bool word_kind(u32 t) { return t == TYPE_WORD || t == TYPE_GET_WORD; }
}  // namespace

u32 read_catalog_text(const char* text) {
  reader r{text, {}, text};
  return r.run();
}

// ---------------------------------------------------------------------------------------
// Constructors

cell* create_sym(u32 category, u32 id, const cell* const* args, int argc, cell* out) {
  cell a[3] = {none_value, none_value, none_value};
  for (int i = 0; i < argc && i < 3; i++)
    if (args[i]) a[i] = *args[i];
  collector::root_guard ag(a, 3);
  cell e{};
  collector::root_guard eg(&e);
  new_error(&e);
  i32 cat = category_pos(category);
  if (cat < 0) bad_spec_field("type");
  i32 idp = id_pos(category_at(cat), id);
  if (idp < 0) bad_spec_field("id");
  cell cat_obj = category_at(cat);
  set_field(&e, FIELD_TYPE, _context::word_at(catalog.data1, u32(cat)));
  set_field(&e, FIELD_ID, _context::word_at(cat_obj.data1, u32(idp)));
  set_code(&e, cat, idp);
  for (u32 i = 0; i < 3; i++) set_field(&e, FIELD_ARG1 + i, &a[i]);
  *out = e;
  return out;
}

cell* create(const char* category, const char* id, const cell* a1, const cell* a2,
             const cell* a3, cell* out) {
  cell a[3] = {a1 ? *a1 : none_value, a2 ? *a2 : none_value, a3 ? *a3 : none_value};
  collector::root_guard ag(a, 3);
  u32 c = symbol::make(category);
  u32 i = symbol::make(id);
  const cell* args[3] = {&a[0], &a[1], &a[2]};
  return create_sym(c, i, args, 3, out);
}

cell* make_from(const cell* spec_in, cell* out) {
  cell spec = *spec_in;
  collector::root_guard sg(&spec);
  cell e{};
  collector::root_guard eg(&e);
  switch (type_of(&spec)) {
    case TYPE_INTEGER: {
      i32 n = i32(spec.data2);
      u32 categories = _context::word_count(catalog.data1);
      if (n < 0 || u32(n / 100) >= categories) fire("script", "out-of-range", &spec);
      cell cat = category_at(n / 100);
      if (u32(n % 100 + 2) >= _context::word_count(cat.data1))
        fire("script", "out-of-range", &spec);
      new_error(&e);
      set_field(&e, FIELD_CODE, &spec);
      set_field(&e, FIELD_TYPE, _context::word_at(catalog.data1, u32(n / 100)));
      set_field(&e, FIELD_ID, _context::word_at(cat.data1, u32(n % 100 + 2)));
      break;
    }
    case TYPE_BLOCK: {
      series_buffer* b = buffer_of(spec.data2);
      u32 len = b->used_units();
      cell first = spec.data1 < len ? b->cells()[spec.data1] : none_value;
      if (type_of(&first) == TYPE_WORD) {
        i32 cat = category_pos(first.data2);
        if (cat < 0) bad_spec_field("type");
        if (spec.data1 + 1 >= len) bad_spec_field("id");
        cell second = read_buffer(spec.data2)->cells()[spec.data1 + 1];
        if (type_of(&second) != TYPE_WORD) fire("script", "invalid-arg", &second);
        i32 idp = id_pos(category_at(cat), second.data2);
        if (idp < 0) bad_spec_field("id");
        new_error(&e);
        clear_new_line(&first);
        clear_new_line(&second);
        set_field(&e, FIELD_TYPE, &first);
        set_field(&e, FIELD_ID, &second);
        set_code(&e, cat, idp);
      } else if (type_of(&first) == TYPE_SET_WORD) {
        new_error(&e);
        _context::bind(&spec, e.data1, true);
        if (!object::evaluate) fire("internal", "not-done");
        object::evaluate(&spec);
        check_type_and_id(&e);
      } else {
        fire("internal", "invalid-error");
      }
      break;
    }
    case TYPE_STRING:
      return create("user", "message", &spec, nullptr, nullptr, out);
    default: {
      cell type{TYPE_DATATYPE, TYPE_ERROR, 0, 0};
      fire("script", "bad-make-arg", &type, &spec);
    }
  }
  *out = e;
  return out;
}

const cell* prebuilt(const char* id) {
  int k = std::strcmp(id, "no-memory") == 0 ? 0 : std::strcmp(id, "stack-overflow") == 0 ? 1 : -1;
  if (k < 0 || type_of(&fatal[k]) != TYPE_ERROR) return nullptr;
  // Reused for every raise: what an earlier raise recorded is cleared (no allocation).
  for (u32 f : {FIELD_NEAR, FIELD_WHERE, FIELD_STACK, FIELD_FILES})
    *value_at(fatal[k].data1, f) = none_value;
  return &fatal[k];
}

cell* field_of(const cell* err, u32 f) { return value_at(err->data1, f); }

u32 get_type(const cell* err) {
  cell* t = field_of(err, FIELD_TYPE);
  return word::kind_q(type_of(t)) ? t->data2 : 0;
}
u32 get_id(const cell* err) {
  cell* t = field_of(err, FIELD_ID);
  return word::kind_q(type_of(t)) ? t->data2 : 0;
}

u32 set_where(const cell* err, const cell* value) {
  cell* w = field_of(err, FIELD_WHERE);
  u32 t = type_of(w);
  if (t == TYPE_NONE) *w = *value;
  return t;
}

// ---------------------------------------------------------------------------------------
// The report

i32 report(const cell* err, cell* out, i32 budget) {
  // An error met again inside its own report (through a field holding it) forms as the
  // object cycle marker; mold of its fields sees it on the cycle stack too.
  if (cycles::find(err->data1)) return datatype::append_text(out, "...", budget);
  cycles::guard guard(err->data1);
  cell f[FIELD_COUNT];
  for (u32 i = 0; i < FIELD_COUNT; i++)
    f[i] = i < value_count(err->data1) ? *field_of(err, i) : none_value;
  collector::root_guard fg(f, FIELD_COUNT);
  cell category{}, tpl{};
  collector::root_guard cg(&category), tg(&tpl);
  bool from_field = false;
  // A type, id or template that the catalogue lacks turns the copy into internal
  // invalid-error naming the offending value; the second pass always succeeds.
  for (int pass = 0; pass < 3; pass++) {
    auto invalid = [&](const cell& culprit) {
      f[FIELD_ARG1] = culprit;
      f[FIELD_TYPE] = global_word("internal");
      f[FIELD_ID] = global_word("invalid-error");
    };
    i32 cat = word::kind_q(type_of(&f[FIELD_TYPE])) ? category_pos(f[FIELD_TYPE].data2) : -1;
    if (cat < 0) {
      invalid(f[FIELD_TYPE]);
      continue;
    }
    category = category_at(cat);
    i32 idp = word::kind_q(type_of(&f[FIELD_ID])) ? id_pos(category, f[FIELD_ID].data2) : -1;
    if (idp < 0) {
      invalid(f[FIELD_ID]);
      continue;
    }
    tpl = *value_at(category.data1, u32(idp));
    from_field = false;
    if (word_kind(type_of(&tpl))) {
      i32 fi = field_index(tpl.data2);
      tpl = fi >= 0 ? f[fi] : none_value;
      from_field = true;
    }
    if (!from_field && type_of(&tpl) != TYPE_STRING && type_of(&tpl) != TYPE_BLOCK) {
      invalid(f[FIELD_TYPE]);
      continue;
    }
    break;
  }
  bool syntax = symbol::same_q(f[FIELD_TYPE].data2, symbol::make("syntax"));
  budget = datatype::append_text(out, "*** ", budget);
  cell title = *value_at(category.data1, 1);
  collector::root_guard ttg(&title);
  if (type_of(&title) == TYPE_STRING) budget = append_string(out, &title, budget);
  budget = datatype::append_text(out, ": ", budget);
  if (from_field && type_of(&tpl) != TYPE_STRING) {
    // A template naming a field (the user category's message) shows that field formed.
    budget = append_value(out, &tpl, false, false, false, 0x7FFFFFFF, budget);
  } else if (type_of(&tpl) == TYPE_STRING) {
    budget = append_string(out, &tpl, budget);
  } else {
    u32 n = buffer_of(tpl.data2)->used_units();
    for (u32 i = tpl.data1; i < n; i++) {
      if (i > tpl.data1) budget = datatype::append_text(out, " ", budget);
      cell item = read_buffer(tpl.data2)->cells()[i];
      collector::root_guard ig(&item);
      if (type_of(&item) == TYPE_STRING) {
        budget = append_string(out, &item, budget);
      } else if (word_kind(type_of(&item))) {
        i32 fi = field_index(item.data2);
        cell v = fi >= 0 ? f[fi] : none_value;
        budget = syntax ? append_value(out, &v, false, false, false, 80, budget)
                        : append_value(out, &v, true, false, true, 80, budget);
      } else {
        budget = append_value(out, &item, false, false, false, 80, budget);
      }
    }
  }
  budget = datatype::append_text(out, "\n*** Where: ", budget);
  if (word::kind_q(type_of(&f[FIELD_WHERE]))) {
    budget = word::form(&f[FIELD_WHERE], out, budget);
  } else if (type_of(&f[FIELD_WHERE]) == TYPE_STRING) {
    budget = append_string(out, &f[FIELD_WHERE], budget);
  } else if (type_of(&f[FIELD_WHERE]) == TYPE_BLOCK) {
    // A block names a place that is no function, as the directive a preprocessor error
    // came from: its values are shown as written.
    budget = append_value(out, &f[FIELD_WHERE], true, true, true, 40, budget);
  } else {
    budget = datatype::append_text(out, "???", budget);
  }
  budget = datatype::append_text(out, "\n*** Near : ", budget);
  budget = append_value(out, &f[FIELD_NEAR], true, true, true, 40, budget);
  u32 st = type_of(&f[FIELD_STACK]);
  if (stack_trace > 0 && (st == TYPE_INTEGER || st == TYPE_BLOCK)) {
    budget = datatype::append_text(out, "\n*** Stack: ", budget);
    if (st == TYPE_BLOCK) {
      budget = append_value(out, &f[FIELD_STACK], false, false, false, 0x7FFFFFFF, budget);
    } else if (call_words_hook) {
      budget = call_words_hook(i32(f[FIELD_STACK].data2), stack_trace, out, budget);
    }
  }
  if (type_of(&f[FIELD_FILES]) == TYPE_BLOCK) {
    budget = datatype::append_text(out, "\n*** Files: ", budget);
    budget = append_value(out, &f[FIELD_FILES], true, true, true, 40, budget);
  }
  return budget;
}

// ---------------------------------------------------------------------------------------
// Actions

const cell* make(const cell* proto, const cell* spec, u32 type) {
  cell e{};
  collector::root_guard g(&e);
  make_from(spec, &e);
  return stack::set_result(&e);
}

i32 form(const cell* value, cell* out, const cell* part, i32 budget) {
  return report(value, out, budget);
}

i32 mold(const cell* value, cell* out, bool only, bool all, bool flat, const cell* part,
         i32 budget, i32 indent) {
  // An error may hold itself (or an object holding it) in any field: the inner occurrence
  // gets the object cycle marker instead of a walk without end.
  u32 ctx = value->data1;
  if (cycles::find(ctx)) return datatype::append_text(out, "make object! [...]", budget);
  cycles::guard guard(ctx);
  if (only) return object::serialize(value, out, true, all, flat, part, budget, true, indent);
  budget = datatype::append_text(out, "make error! [", budget);
  budget = object::serialize(value, out, false, all, flat, part, budget, true, indent + 1);
  if (!flat)
    for (i32 i = 0; i < indent; i++) budget = datatype::append_text(out, "    ", budget);
  return datatype::append_text(out, "]", budget);
}

const cell* eval_path(cell* parent, cell* element, cell* value, const path_args& walk) {
  return object::eval_path(parent, element, value, walk);
}

i32 compare(const cell* a, const cell* b, i32 op) {
  if (type_of(b) != TYPE_ERROR) return -2;
  return object::compare(a, b, op);
}

// ---------------------------------------------------------------------------------------
// Registration

namespace {
void build_for_fire(const char* category, const char* id, const cell* args, int argc,
                    cell* out) {
  if (!ready()) return;
  if (std::strcmp(category, "internal") == 0) {
    if (const cell* p = prebuilt(id)) {
      *out = *p;
      return;
    }
  }
  cell a[3] = {none_value, none_value, none_value};
  for (int i = 0; i < argc && i < 3; i++) a[i] = args[i];
  collector::root_guard ag(a, 3);
  cell e{};
  collector::root_guard eg(&e);
  create(category, id, argc > 0 ? &a[0] : nullptr, argc > 1 ? &a[1] : nullptr,
         argc > 2 ? &a[2] : nullptr, &e);
  *out = e;
}

}  // namespace

void init() {
  action_row row;
  row.make = make;
  row.to = nullptr;
  row.form = form;
  row.mold = mold;
  row.eval_path = eval_path;
  row.compare = compare;
  row.put = nullptr;
  row.modify = nullptr;
  datatype::register_(TYPE_ERROR, TYPE_OBJECT, "error!", row);
}

void init_catalog() {
  if (ready()) return;
  collector::add_root(&catalog);
  collector::add_root(&prototype);
  collector::add_root(&fatal[0]);
  collector::add_root(&fatal[1]);
  build_catalog();
  create("internal", "no-memory", nullptr, nullptr, nullptr, &fatal[0]);
  create("internal", "stack-overflow", nullptr, nullptr, nullptr, &fatal[1]);
  error_builder = build_for_fire;
  prebuilt_error = prebuilt;
}

}  // namespace vyr::error
