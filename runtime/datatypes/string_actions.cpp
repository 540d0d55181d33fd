// string! actions: make, to, form, mold, compare, eval-path and the registration. Mold
// counts its output first and reserves it once, so molding never re-reads a moved buffer.
#include <algorithm>

#include "runtime/collector.h"
#include "runtime/datatypes/char.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/float.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/string_actions.h"
#include "runtime/datatypes/word.h"
#include "runtime/fire.h"
#include "runtime/datatypes/actions.h"
#include "runtime/stack.h"
#include "runtime/unicode.h"

namespace vyr::string {

call_comparator_fn call_comparator = nullptr;

namespace {
u32 head_of(const cell* v, const series_buffer* b) {
  return std::min(v->data1, b->used_units());
}
}  // namespace

// ---- Helpers ----------------------------------------------------------------------------

u32 escape_char(u32 cp, bool all, bool braced, u32* out) {
  if (cp == 0x1E || (cp >= 0x80 && cp <= 0x9F) || (cp > 0x7F && all)) {
    const char* hex = to_hex(static_cast<i32>(cp), true);
    u32 n = 0;
    out[n++] = '^';
    out[n++] = '(';
    while (*hex) out[n++] = static_cast<u8>(*hex++);
    out[n++] = ')';
    return n;
  }
  if (cp < 0x5F && escape_letters[cp]) {
    if (braced && cp == '"') {
      out[0] = cp;
      return 1;
    }
    out[0] = '^';
    out[1] = static_cast<u8>(escape_letters[cp]);
    return 2;
  }
  if (cp == 0x7F) {
    out[0] = '^';
    out[1] = '~';
    return 2;
  }
  out[0] = cp;
  return 1;
}

cell* copy_text(const cell* text, i32 count, u32 type, cell* out) {
  cell src = *text;
  collector::root_guard keep(&src);
  series_buffer* b = buffer_of(src.data2);
  u32 head = head_of(&src, b);
  u32 n = b->used_units() - head;
  if (count >= 0 && static_cast<u32>(count) < n) n = static_cast<u32>(count);
  u32 unit = b->unit();
  make_at_unit(out, n ? n : 1, unit);
  b = buffer_of(src.data2);
  series_buffer* d = buffer_of(out->data2);
  std::memcpy(d->head(), b->head() + u64{head} * unit, u64{n} * unit);
  d->tail = d->offset + n * unit;
  set_type(out, type);
  return out;
}

i32 compare_strings(const cell* a, const cell* b, i32 op) {
  const series_buffer* ba = read_buffer(a->data2);
  const series_buffer* bb = read_buffer(b->data2);
  u32 ha = head_of(a, ba), hb = head_of(b, bb);
  u32 la = ba->used_units() - ha, lb = bb->used_units() - hb;
  bool equality = op == compare_op::EQUAL || op == compare_op::NOT_EQUAL ||
                  op == compare_op::STRICT_EQUAL || op == compare_op::FIND;
  if (la != lb && (equality || lb == 0)) return 1;
  if (la == 0 && lb == 0) return 0;
  bool exact = op == compare_op::STRICT_EQUAL || op == compare_op::CASE_SORT;
  u32 ua = ba->unit(), ub = bb->unit();
  const char* pa = ba->head() + u64{ha} * ua;
  const char* pb = bb->head() + u64{hb} * ub;
  u32 n = std::min(la, lb);
  for (u32 i = 0; i < n; i++) {
    u32 x = get_char(pa + u64{i} * ua, ua), y = get_char(pb + u64{i} * ub, ub);
    if (x == y) continue;
    if (!exact) {
      x = unicode::char_to_upper(x);
      y = unicode::char_to_upper(y);
      if (x == y) continue;
    }
    return x < y ? -1 : 1;
  }
  return la < lb ? -1 : la > lb ? 1 : 0;
}

cell* pick_at(const cell* series, i32 i, cell* out) {
  series_buffer* b = buffer_of(series->data2);
  i64 d = i64{series->data1} + (i > 0 ? i - 1 : i);
  if (i == 0 || d < 0 || d >= b->used_units()) return copy_cell(&none_value, out);
  return char_::make_at(out, rs_abs_at(series, static_cast<u32>(d)));
}

void poke_at(cell* series, i32 i, const cell* value) {
  series_buffer* b = buffer_of(series->data2);
  i64 d = i64{series->data1} + (i > 0 ? i - 1 : i);
  if (i == 0 || d < 0 || d >= b->used_units()) {
    cell n{TYPE_INTEGER, 0, static_cast<u32>(i), 0};
    fire("script", "out-of-range", &n);
  }
  if (type_of(value) != TYPE_CHAR) {
    cell v = *value;
    fire("script", "invalid-arg", &v);
  }
  poke_char(b, b->head() + d * b->unit(), char_::get(value));
}

// ---- Actions ----------------------------------------------------------------------------

const cell* to(const cell* proto, const cell* spec_in, u32 type) {
  cell spec = *spec_in;
  collector::root_guard keep_spec(&spec);
  cell out{TYPE_UNSET, 0, 0, 0};
  collector::root_guard keep_out(&out);
  u32 ts = type_of(&spec);
  if (ts == TYPE_NONE) datatype::fire_with_type("bad-to-arg", TYPE_STRING, &spec);
  if (text_q(ts)) {
    copy_text(&spec, -1, type, &out);
  } else if (ts == TYPE_BLOCK || ts == TYPE_PAREN || ts == TYPE_HASH) {
    make_at(&out, 16);
    append(&out, &spec, -1, false, 1, true);
  } else if (ts == TYPE_REFINEMENT) {
    make_at(&out, 16);
    if (type == TYPE_STRING) {
      actions::form(&spec, &out);
    } else {
      actions::mold(&spec, &out, true, true);
    }
  } else if (ts == TYPE_BINARY) {
    series_buffer* b = buffer_of(spec.data2);
    u32 head = head_of(&spec, b);
    // The bytes are copied out first: the load allocates and may move the binary.
    std::string bytes(b->head() + head, b->used_units() - head);
    load_utf8_strict(bytes.data(), static_cast<u32>(bytes.size()), &out);
  } else {
    make_at(&out, 16);
    actions::form(&spec, &out);
  }
  set_type(&out, type);
  return stack::set_result(&out);
}

const cell* make(const cell* proto, const cell* spec, u32 type) {
  u32 ts = type_of(spec);
  if (ts == TYPE_INTEGER || ts == TYPE_FLOAT) {
    i64 n;
    if (ts == TYPE_FLOAT) {
      double d = cell_float(spec);
      if (!(d > -2147483649.0 && d < 2147483648.0)) {
        cell v = *spec;
        fire("script", "out-of-range", &v);
      }
      n = static_cast<i64>(d);
    } else {
      n = static_cast<i32>(spec->data2);
    }
    if (n < 0) {
      cell v = *spec;
      fire("script", "out-of-range", &v);
    }
    cell out{TYPE_UNSET, 0, 0, 0};
    make_at(&out, static_cast<u32>(n));
    set_type(&out, type);
    return stack::set_result(&out);
  }
  if (type == TYPE_BINARY) fire("internal", "not-done");  // binary! brings its own `to`
  return to(proto, spec, type);
}

i32 form(const cell* value, cell* out, const cell* part, i32 budget) {
  i32 limit = -1;
  if (part) limit = budget < 0 ? 0 : budget;
  i32 n = std::min(rs_length_q(value), limit < 0 ? 0x7FFFFFFF : limit);
  if (n > 0) concatenate(out, value, n, 0, false, CONCAT_APPEND);
  return budget - n;
}

i32 mold(const cell* value, cell* out, bool only, bool all, bool flat, const cell* part,
         i32 budget, i32 indent) {
  cell v = *value;
  collector::root_guard keep(&v);
  // A string molded into itself would widen under its own reader: mold a copy.
  if (v.data2 == out->data2) copy_text(&v, -1, type_of(&v), &v);
  series_buffer* s = buffer_of(v.data2);
  u32 head = head_of(&v, s);
  v.data1 = head;
  u32 whole = s->used_units() - head;
  u32 n = whole;
  if (part) n = budget < 0 ? 0 : std::min<u64>(n, static_cast<u64>(budget));

  // One pass: quotes, line feeds and the net brace count of the range.
  u32 unit = s->unit();
  const char* p = s->head() + u64{head} * unit;
  u32 quotes = 0, lines = 0;
  i64 net = 0;
  for (u32 i = 0; i < n; i++) {
    u32 c = get_char(p + u64{i} * unit, unit);
    if (c == '"') quotes++;
    else if (c == '\n') lines++;
    else if (c == '{') net++;
    else if (c == '}') net--;
  }
  bool braced = lines >= 3 || quotes > 0 || whole >= 50;

  // The first "{" without a matching "}" after it ends the balanced part: from there on
  // every "{" is escaped. A "{" at i is matched when the running brace count after it
  // comes back to its value before it, so one backward pass with the suffix minimum finds
  // it (a search per brace would be quadratic).
  u32 cutoff = n;
  if (braced) {
    i64 level = net, lowest = net;
    for (u32 i = n; i-- > 0;) {
      u32 c = get_char(p + u64{i} * unit, unit);
      if (c == '{') {
        level--;
        if (lowest > level) cutoff = i;
      } else if (c == '}') {
        level++;
      }
      lowest = std::min(lowest, level);
    }
  }

  // The escaped text is produced twice: once to size it, once to write it.
  auto walk = [&](const char* text, auto&& emit) {
    i64 depth = 0;
    u32 buf[12];
    emit(braced ? '{' : '"');
    for (u32 i = 0; i < n; i++) {
      u32 c = get_char(text + u64{i} * unit, unit);
      if (braced && c == '{') {
        if (i < cutoff) {
          depth++;
          emit('{');
        } else {
          emit('^');
          emit('{');
        }
        continue;
      }
      if (braced && c == '}') {
        if (depth > 0) {
          depth--;
          emit('}');
        } else {
          emit('^');
          emit('}');
        }
        continue;
      }
      u32 k = escape_char(c, all, braced, buf);
      for (u32 j = 0; j < k; j++) emit(buf[j]);
    }
    emit(braced ? '}' : '"');
  };

  u64 count = 0;
  u32 widest = 1;
  walk(p, [&](u32 c) {
    count++;
    widest = std::max(widest, unit_for_append(c));
  });

  series_buffer* d = buffer_of(out->data2);
  if (d->unit() < widest) d = widen_to(d, d->unit(), widest);
  u32 du = d->unit();
  u64 used = d->used_units();
  d = reserve(d, memory::checked_size(used + count, du));
  s = buffer_of(v.data2);  // the reservation may have moved the source
  char* w = d->head() + used * du;
  walk(s->head() + u64{head} * unit, [&](u32 c) {
    put_unit(w, du, c);
    w += du;
  });
  d->tail = d->offset + static_cast<u32>((used + count) * du);
  i64 left = i64{budget} - static_cast<i64>(count);
  return left < INT32_MIN ? INT32_MIN : static_cast<i32>(left);
}

i32 compare(const cell* a, const cell* b, i32 op) {
  u32 ta = type_of(a), tb = type_of(b);
  if (ta != tb && !(text_q(tb) && (op == compare_op::EQUAL || op == compare_op::NOT_EQUAL)))
    return COMPARE_NOT_COMPARABLE;
  bool same_position = a->data2 == b->data2 && a->data1 == b->data1;
  if (op == compare_op::SAME) return same_position ? 0 : -1;
  if (same_position && (op == compare_op::EQUAL || op == compare_op::NOT_EQUAL ||
                        op == compare_op::STRICT_EQUAL || op == compare_op::FIND))
    return 0;
  return compare_strings(a, b, op);
}

const cell* eval_path(cell* parent, cell* element, cell* value, const path_args& walk) {
  u32 te = type_of(element);
  if (te == TYPE_INTEGER) {
    i32 i = static_cast<i32>(element->data2);
    if (!value) return pick_at(parent, i, stack::arguments);
    poke_at(parent, i, value);
    return value;
  }
  if (te == TYPE_WORD) {
    cell path = walk.path ? *walk.path : none_value, e = *element;
    fire("script", "invalid-path", &path, &e);
  }
  if (!value) return select(parent, element, find_args{});
  cell v = *value;
  collector::root_guard keep(&v);
  const cell* found = find(parent, element, find_args{});
  if (type_of(found) == TYPE_NONE) {
    cell path = walk.path ? *walk.path : none_value, e = *element;
    fire("script", "bad-path-set", &path, &e);
  }
  cell at = *found;
  // The character after the match (a char or a formed value counts one; a text its length).
  i32 skip = 2;
  if (text_q(type_of(element))) skip = rs_length_q(element) + 1;
  poke_at(&at, skip, &v);
  return stack::set_result(&v);
}

// ---- Registration -----------------------------------------------------------------------

void init() {
  action_row row;  // navigation and the unit-wise edits come from series!
  row.make = make;
  row.to = to;
  row.form = form;
  row.mold = mold;
  row.eval_path = eval_path;
  row.compare = compare;
  row.append = append;
  row.change = change;
  row.find = find;
  row.insert = append;
  row.select = select;
  row.sort = sort;
  row.swap = swap;
  row.take = take;
  row.trim = trim;
  // Not supported, even where series! would offer them.
  row.absolute = nullptr;
  row.add = nullptr;
  row.divide = nullptr;
  row.multiply = nullptr;
  row.negate = nullptr;
  row.power = nullptr;
  row.remainder = nullptr;
  row.round = nullptr;
  row.subtract = nullptr;
  row.even_q = nullptr;
  row.odd_q = nullptr;
  row.and_ = nullptr;
  row.complement = nullptr;
  row.or_ = nullptr;
  row.xor_ = nullptr;
  row.put = nullptr;
  row.create = nullptr;
  row.close = nullptr;
  row.delete_ = nullptr;
  row.open = nullptr;
  row.open_q = nullptr;
  row.query = nullptr;
  row.read = nullptr;
  row.rename = nullptr;
  row.update = nullptr;
  row.write = nullptr;
  datatype::register_(TYPE_STRING, TYPE_SERIES, "string!", row);
}

}  // namespace vyr::string
