// image!: constructors, the actions, channel access, the foreach step and the codec
// routines. Pixel memory lives in the imaging backend outside the arena; every access goes
// through a backend lock that keeps the image rooted, and every byte run taken from a
// binary! is read before anything is allocated (or re-fetched after a notice that may run
// user code).
#include "runtime/datatypes/image.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "runtime/codecs/images.h"
#include "runtime/collector.h"
#include "runtime/datatypes/binary.h"
#include "runtime/datatypes/context.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/function.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/pair.h"
#include "runtime/datatypes/series.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/tuple.h"
#include "runtime/datatypes/word.h"
#include "runtime/fire.h"
#include "runtime/imaging/imaging.h"
#include "runtime/datatypes/cells.h"
#include "runtime/stack.h"
#include "runtime/word_tables.h"

namespace vyr::image {

face_to_image_fn face_to_image = nullptr;

namespace {

cell path_result{TYPE_UNSET, 0, 0, 0};  // rooted: the answer of a path read

i64 head_of(const cell* c) { return std::clamp<i64>(static_cast<i32>(c->data1), 0, pixel_count(c)); }

// Stored pixel <-> R.G.B.T tuple.
cell pixel_tuple(u32 p) {
  cell t;
  tuple::make_colour(&t, static_cast<u8>(p >> 16), static_cast<u8>(p >> 8), static_cast<u8>(p),
                     static_cast<i32>(255 - (p >> 24)));
  return t;
}
u32 tuple_pixel(const cell* t) {
  u32 a = tuple::count_of(t) > 3 ? 255u - tuple::byte_at(t, 3) : 255u;
  return a << 24 | u32(tuple::byte_at(t, 0)) << 16 | u32(tuple::byte_at(t, 1)) << 8 |
         tuple::byte_at(t, 2);
}

bool is_symbol(const cell* w, u32 sym) {
  return word::any_word_q(type_of(w)) && symbol::resolve(w->data2) == symbol::resolve(sym);
}

// A side from a pair component: negative counts as 0, above 65,535 raises out-of-range.
u32 side(i64 v, const cell* culprit) {
  if (v < 0) return 0;
  if (v > MAX_SIDE) {
    cell c = *culprit;
    fire("script", "out-of-range", &c);
  }
  return static_cast<u32>(v);
}

cell empty_image() { return cell{TYPE_IMAGE, 0, 0, 0}; }

// A record answered by the backend as an image! (0: without pixels, size 0).
cell image_of(u32 record) {
  cell c;
  make_at(&c, record);
  return c;
}

// The position of an index for pick, poke, at (at_like) and skip: clamped to 0..count;
// `out` is set when it was clamped or computed as 0.
i64 index_of(const cell* img, const cell* index, bool at_like, bool* out) {
  i64 w = width_of(img), count = pixel_count(img), head = head_of(img), n;
  if (type_of(index) == TYPE_PAIR) {
    i64 x = pair::x_of(index), y = pair::y_of(index);
    n = at_like ? x + w * (y >= 1 ? y - 1 : y) : x + w * y;
  } else if (type_of(index) == TYPE_INTEGER) {
    n = integer::get(index);
  } else {
    cell v = *index;
    fire("script", "invalid-arg", &v);
  }
  i64 pos = at_like ? head + (n > 0 ? n - 1 : n) : head + n;
  i64 clamped = std::clamp<i64>(pos, 0, count);
  if (out) *out = clamped != pos || (at_like && n == 0) || clamped >= count;
  return clamped;
}

// The pixel position of pick and poke: pair! indexes at-like; an integer! i counts from the
// head as in every series (i > 0: head + i - 1, i < 0: head + i, 0: none), so pick and poke
// of one index reach the same pixel.
i64 element_of(const cell* img, i32 index, const cell* index_cell, bool* out) {
  if (type_of(index_cell) == TYPE_PAIR) return index_of(img, index_cell, true, out);
  i64 pos = head_of(img) + (index > 0 ? i64(index) - 1 : i64(index));
  *out = index == 0 || pos < 0 || pos >= pixel_count(img);
  return pos;
}

// A new image! of a rectangle (clipped) into `out`.
void crop_into(const cell* img, i64 x, i64 y, i64 w, i64 h, cell* out) {
  u32 rec = record_of(img);
  *out = rec ? image_of(crop_record(rec, x, y, w, h)) : empty_image();
}

const cell* result(const cell* c) { return stack::set_result(c); }

}  // namespace

// ---- Constructors -------------------------------------------------------------------------

cell* make_at(cell* c, u32 record) {
  *c = cell{TYPE_IMAGE, 0, record, record ? size_word(record) : 0};
  return c;
}

// ---- make and to ----------------------------------------------------------------------------

namespace {

// A filled image of w x h from the optional rgb and alpha binaries or colour tuple.
cell make_filled(u32 w, u32 h, const cell* rgb, const cell* alpha, const cell* colour) {
  cell out = cell{TYPE_IMAGE, 0, 0, h << 16 | w};
  if (w == 0 || h == 0) return out;
  const u8* rgb_bytes = nullptr;
  const u8* alpha_bytes = nullptr;
  u64 rgb_len = 0, alpha_len = 0;
  if (rgb) {
    rgb_len = static_cast<u64>(binary::rs_length_q(rgb));
    rgb_bytes = rgb_len ? binary::rs_head(const_cast<cell*>(rgb)) : nullptr;
  }
  if (alpha) {
    alpha_len = static_cast<u64>(binary::rs_length_q(alpha));
    alpha_bytes = alpha_len ? binary::rs_head(const_cast<cell*>(alpha)) : nullptr;
  }
  u8 tuple_bytes[4] = {};
  u32 tuple_len = 0;
  if (colour) {
    tuple_len = tuple::count_of(colour);
    for (u32 i = 0; i < 4 && i < tuple_len; i++) tuple_bytes[i] = tuple::byte_at(colour, i);
  }
  // The backend reads the byte runs before it allocates anything in the arena.
  u32 rec = make_bitmap(w, h, rgb_bytes, rgb_len, alpha_bytes, alpha_len,
                        colour ? tuple_bytes : nullptr, tuple_len);
  make_at(&out, rec);
  return out;
}

cell copy_whole(const cell* img) {
  u32 rec = record_of(img);
  return rec ? image_of(copy_record(rec)) : empty_image();
}

}  // namespace

const cell* to(const cell*, const cell* spec_in, u32) {
  cell spec = *spec_in;
  collector::root_guard keep(&spec);
  if (type_of(&spec) == TYPE_IMAGE) {
    cell out = copy_whole(&spec);
    return result(&out);
  }
  if (type_of(&spec) == TYPE_OBJECT && face_to_image) {
    cell out{TYPE_UNSET, 0, 0, 0};
    collector::root_guard ko(&out);
    if (face_to_image(&spec, &out)) return result(&out);
  }
  datatype::fire_with_type("bad-to-arg", TYPE_IMAGE, &spec);
}

const cell* make(const cell* proto_in, const cell* spec_in, u32 type) {
  cell proto = *proto_in, spec = *spec_in;
  collector::root_guard kp(&proto), ks(&spec);
  if (type_of(&spec) == TYPE_PAIR) {
    u32 w = side(pair::x_of(&spec), &spec), h = side(pair::y_of(&spec), &spec);
    cell out = make_filled(w, h, nullptr, nullptr, nullptr);
    return result(&out);
  }
  if (type_of(&spec) != TYPE_BLOCK) return to(&proto, &spec, type);
  series_buffer* b = series::buffer(&spec);
  i64 n = std::max<i64>(0, i64(b->used_units()) - series::head_index(&spec));
  if (n == 0) {
    if (type_of(&proto) == TYPE_IMAGE) {
      cell out = copy_whole(&proto);
      return result(&out);
    }
    fire("script", "invalid-arg", &spec);
  }
  // Up to three values, copied out of the block: the size, rgb data or a colour, alpha data.
  cell v[3];
  for (i64 i = 0; i < 3; i++)
    v[i] = i < n ? *cells::get(spec.data2, static_cast<u32>(series::head_index(&spec) + i)) : none_value;
  collector::root_guard kv(v, 3);
  if (type_of(&v[0]) != TYPE_PAIR) fire("script", "invalid-arg", &v[0]);
  const cell* rgb = nullptr;
  const cell* colour = nullptr;
  const cell* alpha = nullptr;
  if (n > 1) {
    if (type_of(&v[1]) == TYPE_BINARY) rgb = &v[1];
    else if (type_of(&v[1]) == TYPE_TUPLE) colour = &v[1];
    else fire("script", "invalid-arg", &v[1]);
  }
  if (n > 2) {
    if (type_of(&v[2]) != TYPE_BINARY) fire("script", "invalid-arg", &v[2]);
    alpha = &v[2];
  }
  u32 w = side(pair::x_of(&v[0]), &v[0]), h = side(pair::y_of(&v[0]), &v[0]);
  cell out = make_filled(w, h, rgb, alpha, colour);
  return result(&out);
}

// ---- form and mold --------------------------------------------------------------------------

i32 mold(const cell* value, cell* out, bool only, bool, bool flat, const cell* part, i32 budget,
         i32 indent) {
  cell img = *value;
  collector::root_guard keep(&img);
  std::string text;
  static const char digits[] = "0123456789ABCDEF";
  auto hex = [&](u32 byte) {
    text.push_back(digits[(byte >> 4) & 15]);
    text.push_back(digits[byte & 15]);
  };
  auto line_break = [&](i32 level) {
    text.push_back('\n');
    for (i32 i = 0; i < level; i++) text.append("    ");
  };
  if (!only) text.append("make image! [");
  text.append(std::to_string(width_of(&img)) + "x" + std::to_string(height_of(&img)));
  i64 from = head_of(&img), count = pixel_count(&img);
  if (!record_of(&img)) {
    text.append(" #{}");
  } else {
    lock pixels(&img, false);
    const u32* px = pixels.data();
    i64 n = count - from;
    bool lines = !flat && n * 3 >= 31;
    bool transparent = false;
    text.reserve(text.size() + static_cast<u64>(n) * 9 + 64);
    text.append(" #{");
    if (lines) line_break(indent + 1);
    // With /part the text stops once the budget is spent (a huge image is not written out).
    auto spent = [&] { return part && static_cast<i64>(text.size()) > static_cast<i64>(budget); };
    for (i64 i = 0; i < n && !spent(); i++) {
      u32 p = px[from + i];
      if ((p >> 24) != 255) transparent = true;
      hex(p >> 16);
      hex(p >> 8);
      hex(p);
      if (lines && (i + 1) % 10 == 0 && i + 1 < n) line_break(indent + 1);
    }
    // The brace closes on a line of its own at the value's level.
    if (lines) line_break(indent);
    text.push_back('}');
    if (transparent) {
      text.append(" #{");
      if (!flat) line_break(indent + 1);
      for (i64 i = 0; i < n && !spent(); i++) {
        hex(255 - (px[from + i] >> 24));
        if (!flat && (i + 1) % 10 == 0 && i + 1 < n) line_break(indent + 1);
      }
      if (!flat) line_break(indent);
      text.push_back('}');
    }
  }
  if (!only) text.push_back(']');
  if (part && budget < static_cast<i64>(text.size())) text.resize(static_cast<u64>(std::max(budget, 0)));
  if (!text.empty())
    string::concatenate_literal_part(out, text.data(), static_cast<u32>(text.size()));
  return budget - static_cast<i32>(text.size());
}

// form writes the molded text without the outer brackets (as mold/only).
i32 form(const cell* value, cell* out, const cell* part, i32 budget) {
  return mold(value, out, true, false, false, part, budget, 0);
}

// ---- Comparison -----------------------------------------------------------------------------

i32 compare(const cell* a_in, const cell* b_in, i32 op) {
  if (type_of(b_in) != TYPE_IMAGE) return COMPARE_NOT_COMPARABLE;
  cell a = *a_in, b = *b_in;
  bool same_place = a.data2 == b.data2 && a.data1 == b.data1;
  if (op == compare_op::SAME) return same_place ? 0 : 1;
  switch (op) {
    case compare_op::EQUAL: case compare_op::NOT_EQUAL: case compare_op::STRICT_EQUAL:
    case compare_op::SORT: case compare_op::CASE_SORT: case compare_op::FIND:
      break;
    default:
      return COMPARE_NOT_COMPARABLE;
  }
  if (same_place && op != compare_op::SORT && op != compare_op::CASE_SORT) return 0;
  i64 na = pixel_count(&a), nb = pixel_count(&b);
  if (na != nb) return na < nb ? -1 : 1;
  if (!record_of(&a) || !record_of(&b) || na == 0) return 0;
  lock la(&a, false);
  lock lb(&b, false);
  int r = std::memcmp(la.data(), lb.data(), static_cast<size_t>(la.size()));
  return r < 0 ? -1 : r > 0 ? 1 : 0;
}

// ---- Positions ------------------------------------------------------------------------------

namespace {

void at() {
  cell* v = stack::arguments;
  v->data1 = static_cast<u32>(index_of(v, stack::arg(1), true, nullptr));
}
void skip() {
  cell* v = stack::arguments;
  v->data1 = static_cast<u32>(index_of(v, stack::arg(1), false, nullptr));
}
void next() {
  cell* v = stack::arguments;
  i64 h = head_of(v);
  if (h < pixel_count(v)) v->data1 = static_cast<u32>(h + 1);
}
void back() {
  cell* v = stack::arguments;
  i64 h = head_of(v);
  if (h > 0) v->data1 = static_cast<u32>(h - 1);
}
void tail() {
  cell* v = stack::arguments;
  v->data1 = static_cast<u32>(pixel_count(v));
}
void tail_q() { logic::box(static_cast<i32>(stack::arguments->data1) >= pixel_count(stack::arguments)); }
void index_q() { integer::box(static_cast<i32>(head_of(stack::arguments) + 1)); }

}  // namespace

i32 length_q(const cell* value) { return static_cast<i32>(pixel_count(value)); }

const cell* pick(cell* series, i32 index, const cell* index_cell) {
  bool out = false;
  i64 pos = element_of(series, index, index_cell, &out);
  if (out || !record_of(series)) return &none_value;
  cell t = pixel_tuple(get_pixel(record_of(series), static_cast<u64>(pos)));
  return result(&t);
}

namespace {

void poke_pixel(cell* series, i32 index, const cell* index_cell, const cell* value) {
  cell img = *series, v = *value, at = *index_cell;
  collector::root_guard ki(&img), kv(&v), ka(&at);
  bool out = false;
  i64 pos = element_of(&img, index, &at, &out);
  if (out || !record_of(&img)) {
    if (type_of(&at) == TYPE_PAIR) fire("script", "out-of-range", &at);
    series::out_of_range(index);
  }
  if (type_of(&v) != TYPE_TUPLE) fire("script", "invalid-arg", &v);
  bool owned = series::notify(&img, &words::word_poke, &v, static_cast<i32>(pos), 1);
  set_pixel(record_of(&img), static_cast<u64>(pos), tuple_pixel(&v));
  if (owned) series::notify(&img, &words::word_poked, &v, static_cast<i32>(pos), 1);
}

}  // namespace

const cell* poke(cell* series, i32 index, const cell* value, const cell* index_cell) {
  cell v = *value;
  collector::root_guard kv(&v);
  poke_pixel(series, index, index_cell, &v);
  return result(&v);
}

// ---- change ---------------------------------------------------------------------------------

const cell* change(cell* series, const cell* value, i32 part, bool, i32 dup) {
  if (part != -1 || dup > 1) fire("internal", "not-done");
  cell img = *series, v = *value;
  collector::root_guard ki(&img), kv(&v);
  i64 w = width_of(&img), h = height_of(&img), count = pixel_count(&img), head = head_of(&img);
  if (type_of(&v) == TYPE_TUPLE) {
    if (head >= count || !record_of(&img)) series::out_of_range(static_cast<i32>(head + 1));
    bool owned = series::notify(&img, &words::word_change, &v, static_cast<i32>(head), 1);
    set_pixel(record_of(&img), static_cast<u64>(head), tuple_pixel(&v));
    if (owned) series::notify(&img, &words::word_changed, &v, static_cast<i32>(head), 1);
    img.data1 = static_cast<u32>(head + 1);
    return result(&img);
  }
  if (type_of(&v) != TYPE_IMAGE) datatype::fire_with_type("invalid-type", type_of(&v));
  if (head >= count || !record_of(&v) || !record_of(&img)) return result(&img);
  i64 col = head % w, row = head / w;
  i64 sw = width_of(&v), sh = height_of(&v);
  i64 rows = std::min(sh, h - row), cols = std::min(sw, w - col);
  // The source rows are copied out first: the source may be the image itself.
  std::vector<u32> src(static_cast<u64>(rows * cols));
  {
    lock ls(&v, false);
    for (i64 r = 0; r < rows; r++)
      std::memcpy(&src[static_cast<u64>(r * cols)], ls.data() + r * sw, static_cast<u64>(cols) * 4);
  }
  bool owned = series::notify(&img, &words::word_change, &v, static_cast<i32>(head),
                              static_cast<i32>(rows * cols));
  if (owned && pixel_count(&img) != count) fire("access", "bad-media");
  {
    lock ld(&img, true);
    for (i64 r = 0; r < rows; r++)
      std::memcpy(ld.data() + (row + r) * w + col, &src[static_cast<u64>(r * cols)],
                  static_cast<u64>(cols) * 4);
  }
  if (owned)
    series::notify(&img, &words::word_changed, &v, static_cast<i32>(head), static_cast<i32>(rows * cols));
  img.data1 = static_cast<u32>((row + rows - 1) * w + std::min(col + sw, w));
  return result(&img);
}

// ---- copy -----------------------------------------------------------------------------------

const cell* copy(const cell* value, cell* dest, const cell* part_in, bool, const cell*) {
  cell img = *value;
  collector::root_guard ki(&img);
  cell out = empty_image();
  collector::root_guard ko(&out);
  i64 w = width_of(&img), count = pixel_count(&img), head = head_of(&img);
  if (!record_of(&img)) {
    // no pixels: an empty image
  } else if (part_in) {
    cell part = *part_in;
    collector::root_guard kp(&part);
    if (type_of(&part) == TYPE_INTEGER) fire("internal", "not-done");
    if (type_of(&part) == TYPE_PAIR) {
      i64 pw = pair::x_of(&part), ph = pair::y_of(&part);
      if (pw >= 1 && ph >= 1 && head < count) crop_into(&img, head % w, head / w, pw, ph, &out);
    } else if (type_of(&part) == TYPE_IMAGE && part.data2 == img.data2) {
      i64 other = std::clamp<i64>(static_cast<i32>(part.data1), 0, count);
      // The two positions are corners in either order.
      i64 x0 = std::min(head % w, other % w), x1 = std::max(head % w, other % w);
      i64 y0 = std::min(head / w, other / w), y1 = std::max(head / w, other / w);
      crop_into(&img, x0, y0, x1 - x0, y1 - y0, &out);
    } else {
      series::invalid_refine(&words::ref_part, &part);
    }
  } else if (head == 0) {
    out = copy_whole(&img);
  } else {
    crop_into(&img, head % w, head / w, w - head % w, height_of(&img) - head / w, &out);
  }
  *dest = out;
  return dest;
}

// ---- Paths ----------------------------------------------------------------------------------

const cell* eval_path(cell* parent, cell* element, cell* value, const path_args& walk) {
  u32 te = type_of(element);
  if (te == TYPE_INTEGER || te == TYPE_PAIR) {
    i32 index = te == TYPE_INTEGER ? integer::get(element) : 0;
    if (value) {
      poke_pixel(parent, index, element, value);
      return value;
    }
    bool out = false;
    i64 pos = element_of(parent, index, element, &out);
    if (out || !record_of(parent)) return &none_value;
    path_result = pixel_tuple(get_pixel(record_of(parent), static_cast<u64>(pos)));
    return &path_result;
  }
  i32 mode = -1;
  if (is_symbol(element, words::sym_rgb)) mode = MODE_RGB;
  else if (is_symbol(element, words::sym_alpha)) mode = MODE_ALPHA;
  else if (is_symbol(element, words::sym_argb)) mode = MODE_ARGB;
  bool size = is_symbol(element, words::sym_size);
  if ((mode < 0 && !size) || (size && value)) {
    cell p = walk.path ? *walk.path : none_value, e = *element;
    fire("script", "invalid-path", &p, &e);
  }
  if (size) {
    pair::make_at(&path_result, static_cast<i32>(width_of(parent)), static_cast<i32>(height_of(parent)));
    return &path_result;
  }
  if (value) {
    set_data(parent, value, mode);
    return value;
  }
  cell img = *parent;
  collector::root_guard ki(&img);
  extract_data(&img, mode, &path_result);
  return &path_result;
}

// ---- Channels -------------------------------------------------------------------------------

void extract_data(const cell* image_in, i32 mode, cell* out) {
  cell img = *image_in;
  collector::root_guard ki(&img);
  u64 count = static_cast<u64>(pixel_count(&img));
  if (!record_of(&img)) count = 0;
  u64 unit = mode == MODE_ARGB ? 4 : mode == MODE_RGB ? 3 : 1;
  u64 bytes = memory::checked_size(count, unit);
  cell bin{TYPE_UNSET, 0, 0, 0};
  collector::root_guard kb(&bin);
  binary::make_at(&bin, static_cast<u32>(bytes));
  if (count) {
    lock px(&img, false);
    series_buffer* b = series::buffer(&bin);
    u8* dst = reinterpret_cast<u8*>(b->head());
    const u32* src = px.data();
    if (mode == MODE_ARGB) {
      std::memcpy(dst, src, bytes);
    } else if (mode == MODE_RGB) {
      for (u64 i = 0; i < count; i++) {
        dst[3 * i] = static_cast<u8>(src[i] >> 16);
        dst[3 * i + 1] = static_cast<u8>(src[i] >> 8);
        dst[3 * i + 2] = static_cast<u8>(src[i]);
      }
    } else {
      for (u64 i = 0; i < count; i++) dst[i] = static_cast<u8>(255 - (src[i] >> 24));
    }
    b->tail = b->offset + static_cast<u32>(bytes);
  }
  *out = bin;
}

void set_data(const cell* image_in, const cell* value_in, i32 mode) {
  cell img = *image_in, v = *value_in;
  collector::root_guard ki(&img), kv(&v);
  u32 tv = type_of(&v);
  bool fits = tv == TYPE_BINARY || (tv == TYPE_TUPLE && mode != MODE_ALPHA) ||
              (tv == TYPE_INTEGER && mode == MODE_ALPHA);
  if (!fits) fire("script", "invalid-arg", &v);
  if (!record_of(&img)) return;
  u64 count = static_cast<u64>(pixel_count(&img));
  bool owned = series::notify(&img, &words::word_change, &v, 0,
                              static_cast<i32>(std::min<u64>(count, INT32_MAX)));
  {
    lock px(&img, true);
    u32* dst = px.data();
    count = std::min<u64>(count, px.count());
    if (tv == TYPE_BINARY) {
      u64 n = static_cast<u64>(binary::rs_length_q(&v));
      const u8* src = n ? binary::rs_head(&v) : nullptr;
      if (mode == MODE_ARGB) {
        std::memcpy(dst, src, std::min(n, count * 4));
      } else if (mode == MODE_RGB) {
        for (u64 i = 0, k = std::min(n / 3, count); i < k; i++)
          dst[i] = (dst[i] & 0xFF000000u) | u32(src[3 * i]) << 16 | u32(src[3 * i + 1]) << 8 | src[3 * i + 2];
      } else {
        for (u64 i = 0, k = std::min(n, count); i < k; i++)
          dst[i] = (dst[i] & 0x00FFFFFFu) | (255u - src[i]) << 24;
      }
    } else if (tv == TYPE_TUPLE) {
      u32 p = tuple_pixel(&v);
      if (mode == MODE_ARGB) std::fill(dst, dst + count, p);
      else for (u64 i = 0; i < count; i++) dst[i] = (dst[i] & 0xFF000000u) | (p & 0xFFFFFF);
    } else {
      u32 a = 255u - static_cast<u32>(std::clamp<i32>(integer::get(&v), 0, 255));
      for (u64 i = 0; i < count; i++) dst[i] = (dst[i] & 0x00FFFFFFu) | a << 24;
    }
  }
  if (owned)
    series::notify(&img, &words::word_changed, &v, 0, static_cast<i32>(std::min<u64>(count, INT32_MAX)));
}

void set_many(cell* image_in, const cell* words_in, u32 n) {
  cell img = *image_in, ws = *words_in;
  collector::root_guard ki(&img), kw(&ws);
  i64 head = head_of(&img), count = pixel_count(&img);
  for (u32 i = 0; i < n; i++) {
    cell w = type_of(&ws) == TYPE_BLOCK ? *cells::get(ws.data2, ws.data1 + i) : ws;
    cell v = none_value;
    if (head + i < count && record_of(&img)) v = pixel_tuple(get_pixel(record_of(&img), static_cast<u64>(head + i)));
    _context::set(&w, &v);
  }
}

// ---- Codecs and the backend's calls ---------------------------------------------------------

void decode(const cell* data_in, cell* out) {
  cell data = *data_in;
  collector::root_guard kd(&data);
  if (type_of(&data) == TYPE_BINARY) {
    u64 n = static_cast<u64>(binary::rs_length_q(&data));
    const u8* bytes = n ? binary::rs_head(&data) : nullptr;
    i32 format = bytes ? image_codecs::format_of(bytes, n) : image_codecs::UNKNOWN;
    if (format == image_codecs::UNKNOWN) {
      *out = none_value;
      return;
    }
    // Decoding allocates nothing in the arena: the bytes stay where they are.
    raster r = image_codecs::decode(bytes, n, format);
    *out = image_of(make_record(std::move(r)));
    return;
  }
  std::string path = binary::utf8_of(&data);
  std::FILE* f = std::fopen(path.c_str(), "rb");
  std::vector<u8> bytes;
  if (f) {
    u8 chunk[65536];
    size_t k;
    while ((k = std::fread(chunk, 1, sizeof chunk, f)) > 0) bytes.insert(bytes.end(), chunk, chunk + k);
    bool failed = std::ferror(f);
    std::fclose(f);
    if (failed) f = nullptr;
  }
  if (!f) fire("access", "cannot-open", &data);
  i32 format = image_codecs::format_of(bytes.data(), bytes.size());
  if (format == image_codecs::UNKNOWN) fire("access", "cannot-open", &data);
  raster r = image_codecs::decode(bytes.data(), bytes.size(), format);
  bytes = {};
  *out = image_of(make_record(std::move(r)));
}

void encode(const cell* image_in, i32 format, cell* out) {
  cell img = *image_in;
  collector::root_guard ki(&img);
  if (format < image_codecs::BMP || format > image_codecs::TIFF) {
    cell number;
    integer::make_at(&number, format);
    fire("script", "invalid-arg", &number);
  }
  if (img.data3 == 0 || !record_of(&img)) fire("access", "bad-media");
  std::vector<u8> bytes;
  {
    lock px(&img, false);
    bytes = image_codecs::encode(px.data(), width_of(&img), height_of(&img), format);
  }
  if (bytes.size() > SERIES_MAX_BYTES) fire_no_memory();
  cell bin{TYPE_UNSET, 0, 0, 0};
  collector::root_guard kb(&bin);
  binary::make_at(&bin, static_cast<u32>(bytes.size()));
  binary::rs_append(&bin, bytes.data(), static_cast<u32>(bytes.size()));
  *out = bin;
}

void resize(const cell* image_in, i64 w, i64 h, cell* out) {
  cell img = *image_in;
  collector::root_guard ki(&img);
  cell size;
  pair::make_at(&size, static_cast<i32>(std::clamp<i64>(w, INT32_MIN, INT32_MAX)),
                static_cast<i32>(std::clamp<i64>(h, INT32_MIN, INT32_MAX)));
  u32 sw = side(w, &size), sh = side(h, &size);
  if (!record_of(&img) || sw == 0 || sh == 0) {
    *out = cell{TYPE_IMAGE, 0, 0, 0};
    return;
  }
  *out = image_of(scale(record_of(&img), sw, sh));
}

void delete_(const cell* image_in) {
  if (record_of(image_in)) delete_record(record_of(image_in));
}

// ---- Registration ---------------------------------------------------------------------------

namespace {

void mark_cache(const cell* c) {
  if (c->data2) mark_record(c->data2);
}

// The codec routines: args[0] is the first argument and the result slot.
void decode_routine(cell* args, u32) {
  cell out{TYPE_UNSET, 0, 0, 0};
  collector::root_guard ko(&out);
  decode(&args[0], &out);
  args[0] = out;
}
template <i32 FORMAT> void encode_routine(cell* args, u32) {
  if (type_of(&args[0]) != TYPE_IMAGE) fire("script", "invalid-arg", &args[0]);
  cell out{TYPE_UNSET, 0, 0, 0};
  collector::root_guard ko(&out);
  encode(&args[0], FORMAT, &out);
  args[0] = out;
}

}  // namespace

void init() {
  image::init_backend();
  collector::add_root(&path_result);
  collector::hooks.mark_image = mark_cache;
  if (!routine::find("image/decode")) {
    routine::register_("image/decode", decode_routine);
    routine::register_("image/encode-bmp", encode_routine<image_codecs::BMP>);
    routine::register_("image/encode-png", encode_routine<image_codecs::PNG>);
    routine::register_("image/encode-gif", encode_routine<image_codecs::GIF>);
    routine::register_("image/encode-jpeg", encode_routine<image_codecs::JPEG>);
    routine::register_("image/encode-tiff", encode_routine<image_codecs::TIFF>);
  }
  action_row row;
  row.make = make;
  row.to = to;
  row.form = form;
  row.mold = mold;
  row.eval_path = eval_path;
  row.compare = compare;
  row.at = at;
  row.back = back;
  row.change = change;
  row.copy = copy;
  row.index_q = index_q;
  row.length_q = length_q;
  row.next = next;
  row.pick = pick;
  row.poke = poke;
  row.skip = skip;
  row.tail = tail;
  row.tail_q = tail_q;
  // back, head, head?, index? and modify come from series! (back and index? are re-done
  // here: series! clips the head to the record's bytes, not to the pixel count).
  row.random = nullptr;
  row.reflect = nullptr;
  row.clear = nullptr;
  row.remove = nullptr;
  row.reverse = nullptr;
  row.take = nullptr;
  row.move = nullptr;
  datatype::register_(TYPE_IMAGE, TYPE_SERIES, "image!", row);
}

}  // namespace vyr::image
