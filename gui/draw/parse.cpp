// The DRAW dialect and its SHAPE sub-dialect: one walk over the block that checks each
// command's arguments and draws at once; the rich-text style list; the runs on images and
// the body of `draw-image`.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>

#include "gui/draw/internal.h"
#include "runtime/api/thrown.h"
#include "runtime/api/values.h"

namespace vyr::draw {

namespace {

#define KEYWORDS(X)                                                                         \
  X(line) X(triangle) X(polygon) X(box) X(circle) X(ellipse) X(arc) X(curve) X(spline)      \
  X(text) X(font) X(pen) X(fill_pen) X(line_width) X(line_join) X(line_cap) X(line_pattern) \
  X(anti_alias) X(image) X(shadow) X(clip) X(shape) X(rotate) X(scale) X(translate) X(skew) \
  X(transform) X(matrix) X(reset_matrix) X(invert_matrix) X(push) X(closed) X(off)          \
  X(linear) X(radial) X(diamond) X(pad) X(repeat) X(reflect) X(pattern) X(bitmap) X(tile)   \
  X(flip_x) X(flip_y) X(flip_xy) X(clamp) X(border) X(crop) X(inset) X(replace)             \
  X(intersect) X(union_) X(xor_) X(exclude) X(miter) X(miter_bevel) X(round) X(bevel)       \
  X(flat) X(square) X(move) X(hline) X(vline) X(curv) X(qcurve) X(qcurv) X(close) X(sweep)  \
  X(large) X(bold) X(italic) X(underline) X(strike) X(backdrop)

enum kw : i32 {
#define X(n) K_##n,
  KEYWORDS(X)
#undef X
      K_COUNT
};

u32 symbols[K_COUNT];  // canonical symbol ids

void make_symbols() {
  static bool done = false;
  if (done) return;
  done = true;
  init_names();
  const char* names[K_COUNT] = {
#define X(n) #n,
      KEYWORDS(X)
#undef X
  };
  for (i32 i = 0; i < K_COUNT; i++) {
    std::string n = names[i];
    for (char& ch : n) if (ch == '_') ch = '-';
    while (!n.empty() && n.back() == '-') n.pop_back();  // union_, xor_
    cell w = api::word::intern(n.c_str());
    symbols[i] = api::symbol::resolve(api::word::symbol_id(&w));
  }
}

i32 keyword_of(const cell* c) {
  u32 t = type_of(c);
  if (t != TYPE_WORD && t != TYPE_LIT_WORD) return -1;
  u32 s = api::symbol::resolve(api::word::symbol_id(c));
  for (i32 i = 0; i < K_COUNT; i++)
    if (symbols[i] == s) return i;
  return -1;
}

double sane(double v) {
  if (std::isnan(v)) return 0;
  return std::clamp(v, -1e7, 1e7);
}

bool is_point(const cell* c) { return type_of(c) == TYPE_PAIR || type_of(c) == TYPE_POINT2D; }
bool is_number(const cell* c) { return type_of(c) == TYPE_INTEGER || type_of(c) == TYPE_FLOAT; }
pt point_of(const cell* c) {
  if (type_of(c) == TYPE_PAIR) return {double(api::pair::x_of(c)), double(api::pair::y_of(c))};
  return {sane(api::point_axis(c, 0)), sane(api::point_axis(c, 1))};
}
double number_of(const cell* c) {
  if (type_of(c) == TYPE_INTEGER) return double(api::integer::get(c));
  double d = cell_float(c);
  return sane(type_of(c) == TYPE_PERCENT ? d : d);
}

}  // namespace

bool silent_q() {
  // Every word is interned before the first lookup, so no pointer below outlives an allocation.
  cell sys = api::word::intern("system"), view_word = api::word::intern("view"), silent_word = api::word::intern("silent?");
  u32 view = api::word::symbol_id(&view_word), silent = api::word::symbol_id(&silent_word);
  auto field = [](const cell* obj, u32 sym) -> const cell* { return api::host().field_of(obj, sym); };
  const cell* v = api::_context::get(&sys);
  if (!v || type_of(v) != TYPE_OBJECT) return false;
  const cell* vw = field(v, view);
  if (!vw || type_of(vw) != TYPE_OBJECT) return false;
  const cell* s = field(vw, silent);
  return s && type_of(s) == TYPE_LOGIC && api::logic::get(s);
}

namespace {

// One DRAW or SHAPE block being read. The block is rooted for the walk; cells are read
// through the node every time, so a set-word's change handler may edit the block safely.
class reader {
 public:
  reader(context& c, const cell* block) : c_(c), blk_(*block), guard_(&blk_) {}

  u32 tail() const { return api::cells::length(api::series::node(&blk_)); }
  bool more() const { return pos_ < tail(); }
  cell at(u32 i) const { return i < tail() ? *api::cells::get(api::series::node(&blk_), i) : cell{TYPE_UNSET, 0, 0, 0}; }
  cell peek() const { return at(pos_); }
  cell next() {
    if (!more()) invalid(pos_);
    return at(pos_++);
  }
  [[noreturn]] void invalid(u32 where) const {
    cell b = blk_;
    api::series::index(&b) = std::min(where, tail());
    c_.reported = true;
    api::fire("script", "draw-invalid", &b);
  }
  [[noreturn]] void invalid() const { invalid(pos_); }

  pt point() {
    cell v = next();
    if (!is_point(&v)) invalid(pos_ - 1);
    return point_of(&v);
  }
  double number() {
    cell v = next();
    if (!is_number(&v)) invalid(pos_ - 1);
    return number_of(&v);
  }
  bool peek_point() const { cell v = peek(); return more() && is_point(&v); }
  bool peek_number() const { cell v = peek(); return more() && is_number(&v); }
  i32 peek_keyword() const { cell v = peek(); return more() ? keyword_of(&v) : -1; }
  bool take_keyword(i32 k) {
    if (peek_keyword() == k && type_of(api::cells::get(api::series::node(&blk_), pos_)) == TYPE_WORD) {
      pos_++;
      return true;
    }
    return false;
  }
  // A colour: a tuple of 3 or 4 bytes, or a word holding one.
  bool colour_at(const cell& v, u32* out) const {
    const cell* t = &v;
    if (type_of(&v) == TYPE_WORD) {
      t = api::_context::get(&v);
      if (!t) return false;
    }
    if (type_of(t) != TYPE_TUPLE) return false;
    u32 n = api::tuple::count_of(t);
    if (n != 3 && n != 4) return false;
    *out = tuple_colour(t);
    return true;
  }
  bool peek_colour(u32* out) const {
    if (!more()) return false;
    cell v = peek();
    return colour_at(v, out);
  }
  void set_word(const cell& w) {
    cell target = blk_;
    api::series::index(&target) = pos_;
    cell word = w;
    set_type(&word, TYPE_SET_WORD);
    api::_context::set(&word, &target);
  }

  context& c_;
  cell blk_;
  api::root_guard guard_;
  u32 pos_ = 0;
};

void parse_block(context& c, const cell* block);
void parse_shape(context& c, const cell* block, bool drawing, bool nested);

// Enters a nested block: a block being drawn already reports draw-infinite.
struct recursion {
  explicit recursion(context& c, const cell* block) {
    if (api::cycles::find(api::series::node(block))) {
      c.reported = true;
      api::fire("script", "draw-infinite", block);
    }
    api::cycles::push(api::series::node(block));
  }
  ~recursion() { api::cycles::pop(); }
};

// Gradient stops: colours, each optionally followed by a float! offset.
void read_stops(reader& r, std::vector<double>& stops, bool at_least_two) {
  std::vector<std::pair<u32, double>> list;  // colour, offset (NaN: none given)
  u32 col;
  while (r.peek_colour(&col)) {
    r.pos_++;
    double off = NAN;
    cell v = r.peek();
    if (r.more() && type_of(&v) == TYPE_FLOAT) off = cell_float(&v), r.pos_++;
    list.push_back({col, off});
  }
  if (at_least_two && list.size() < 2) r.invalid();
  size_t n = list.size();
  double step = n > 1 ? 1.0 / double(n - 1) : 0, run = 0;
  for (auto& [colour, off] : list) {
    double o = run;
    if (!std::isnan(off)) run = o = std::clamp(off, 0.0, 1.0);
    run += step;
    double rgba[4];
    colour_rgba(colour, rgba);
    stops.insert(stops.end(), {o, rgba[0], rgba[1], rgba[2], rgba[3]});
  }
}

u32 tile_mode(reader& r) {
  switch (r.peek_keyword()) {
    case K_tile: r.pos_++; return 0;
    case K_flip_x: r.pos_++; return 1;
    case K_flip_y: r.pos_++; return 2;
    case K_flip_xy: r.pos_++; return 3;
    case K_clamp: r.pos_++; return 4;
    default: return 0;
  }
}

void brush_spec(context& c, reader& r, bool fill) {
  cell v = r.next();
  u32 col;
  if (r.colour_at(v, &col)) {
    fill ? fill_colour(c, col, false) : pen_colour(c, col, false);
    return;
  }
  i32 k = keyword_of(&v);
  if (type_of(&v) != TYPE_WORD) r.invalid(r.pos_ - 1);
  if (k == K_off) {
    fill ? fill_colour(c, 0, true) : pen_colour(c, 0, true);
    return;
  }
  if (k == K_linear || k == K_radial || k == K_diamond) {
    u32 kind = k == K_linear ? GRADIENT_LINEAR : GRADIENT_RADIAL;  // diamond draws as radial
    std::vector<double> stops;
    if (r.peek_point()) {
      pt o = r.point();
      cell s = r.next();
      if (type_of(&s) != TYPE_INTEGER) r.invalid(r.pos_ - 1);
      cell t = r.next();
      if (type_of(&t) != TYPE_INTEGER) r.invalid(r.pos_ - 1);
      double extra[3] = {0, 1, 1};
      for (int i = 0; i < 3 && r.peek_number(); i++) extra[i] = r.number();
      read_stops(r, stops, true);
      set_positional_gradient(c, fill, kind, o, api::integer::get(&s), api::integer::get(&t), extra[0], extra[1],
                              extra[2], stops);
      return;
    }
    read_stops(r, stops, true);
    std::vector<pt> geo;
    double radius = 0;
    bool focal = false;
    if (r.peek_point()) {
      geo.push_back(r.point());
      if (k == K_linear) {
        geo.push_back(r.point());
      } else if (k == K_radial) {
        radius = r.number();
        if (r.peek_point()) geo.push_back(r.point()), focal = true;
      } else {
        pt second = r.point();
        radius = std::hypot(second.x - geo[0].x, second.y - geo[0].y);
        if (r.peek_point()) geo.push_back(r.point()), focal = true;
      }
    }
    cairo_extend_t ext = CAIRO_EXTEND_PAD;
    if (r.take_keyword(K_pad)) ext = CAIRO_EXTEND_PAD;
    else if (r.take_keyword(K_repeat)) ext = CAIRO_EXTEND_REPEAT;
    else if (r.take_keyword(K_reflect)) ext = CAIRO_EXTEND_REFLECT;
    set_gradient(c, fill, kind, stops, geo.empty() ? nullptr : &geo, radius, focal, ext);
    return;
  }
  if (k == K_pattern) {
    pt size = r.point();
    bool hs = false, he = false;
    pt s{0, 0}, e{0, 0};
    if (r.peek_point()) s = r.point(), hs = true;
    if (r.peek_point()) e = r.point(), he = true;
    u32 mode = tile_mode(r);
    cell b = r.next();
    if (type_of(&b) != TYPE_BLOCK) r.invalid(r.pos_ - 1);
    double w = std::floor(size.x), h = std::floor(size.y);
    if (!(w >= 1 && h >= 1 && w * h <= double(16u << 20))) {
      (fill ? c.st.fill : c.st.pen).kind = BRUSH_NONE;
      return;
    }
    // The tile is drawn by its own run on a surface of the pattern's size.
    cairo_surface_t* tile = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, int(w), int(h));
    context sub;
    begin_on_surface(sub, tile, c.dpi);
    try {
      parse_block(sub, &b);
    } catch (...) {
      c.reported = sub.reported;
      end(sub);
      cairo_surface_destroy(tile);
      throw;
    }
    end(sub);
    set_image_brush(c, fill, tile, s, e, hs, he, mode);
    cairo_surface_destroy(tile);
    return;
  }
  if (k == K_bitmap) {
    cell w = r.next();
    const cell* img = type_of(&w) == TYPE_WORD ? api::_context::get(&w) : nullptr;
    if (!img || type_of(img) != TYPE_IMAGE) r.invalid(r.pos_ - 1);
    cell iv = *img;
    api::root_guard g(&iv);
    bool hs = false, he = false;
    pt s{0, 0}, e{0, 0};
    if (r.peek_point()) s = r.point(), hs = true;
    if (r.peek_point()) e = r.point(), he = true;
    u32 mode = tile_mode(r);
    image::pixel_view pv{};
    if (api::image::record_of(&iv)) pv = api::image::get_draw_target(api::image::record_of(&iv));
    if (!pv.pixels || !pv.width || !pv.height) {
      (fill ? c.st.fill : c.st.pen).kind = BRUSH_NONE;
      return;
    }
    cairo_surface_t* src = cairo_image_surface_create_for_data(
        reinterpret_cast<unsigned char*>(pv.pixels), CAIRO_FORMAT_ARGB32, int(pv.width),
        int(pv.height), int(pv.stride));
    if (c.image_record == api::image::record_of(&iv)) cairo_surface_flush(c.surface);
    set_image_brush(c, fill, src, s, e, hs, he, mode);
    cairo_surface_destroy(src);
    return;
  }
  r.invalid(r.pos_ - 1);
}

// A trailing block of a transformation: the state is saved, the block drawn and the state
// restored on every exit.
void maybe_block(context& c, reader& r, const cairo_matrix_t& m, u32 target) {
  cell b = r.peek();
  if (r.more() && type_of(&b) == TYPE_BLOCK) {
    r.pos_++;
    cairo_matrix_t kept;
    {
      state_guard g(c);
      transform(c, target, m);
      kept = target == 1 ? c.st.pen.matrix : c.st.fill.matrix;
      parse_block(c, &b);
    }
    // Aimed at a brush, the state comes back but the brush keeps its new transformation.
    if (target == 1) c.st.pen.matrix = kept;
    if (target == 2) c.st.fill.matrix = kept;
    return;
  }
  transform(c, target, m);
}

u32 brush_target(reader& r) {
  cell v = r.peek();
  if (r.more() && type_of(&v) == TYPE_LIT_WORD) {
    i32 k = keyword_of(&v);
    if (k == K_pen) return r.pos_++, 1;
    if (k == K_fill_pen) return r.pos_++, 2;
  }
  return 0;
}

cairo_matrix_t about(const cairo_matrix_t& m, pt ctr) {
  // translate(-c), m, translate(c): the centre stays in place.
  cairo_matrix_t a, b, r;
  cairo_matrix_init_translate(&a, -ctr.x, -ctr.y);
  cairo_matrix_init_translate(&b, ctr.x, ctr.y);
  cairo_matrix_multiply(&r, &a, &m);
  cairo_matrix_multiply(&r, &r, &b);
  return r;
}

double factor(reader& r) {
  cell v = r.next();
  if (type_of(&v) == TYPE_PERCENT) return sane(cell_float(&v));
  if (!is_number(&v)) r.invalid(r.pos_ - 1);
  return number_of(&v);
}

void command(context& c, reader& r, i32 k) {
  switch (k) {
    case K_line: case K_polygon: case K_triangle: {
      std::vector<pt> p;
      u32 need = k == K_line ? 2 : 3;
      if (k == K_triangle) {
        for (int i = 0; i < 3; i++) p.push_back(r.point());
      } else {
        while (r.peek_point()) p.push_back(r.point());
        if (p.size() < need) r.invalid();
      }
      line(c, p, k != K_line);
      return;
    }
    case K_box: {
      pt a = r.point(), b = r.point();
      double rad = r.peek_number() ? r.number() : 0;
      box(c, a, b, rad);
      return;
    }
    case K_circle: {
      pt ctr = r.point();
      double rx = r.number(), ry = r.peek_number() ? r.number() : rx;
      ellipse_box(c, ctr.x - rx, ctr.y - ry, 2 * rx, 2 * ry);
      return;
    }
    case K_ellipse: {
      pt p = r.point(), s = r.point();
      ellipse_box(c, p.x, p.y, s.x, s.y);
      return;
    }
    case K_arc: {
      pt ctr = r.point(), rad = r.point();
      double a = r.number(), s = r.number();
      bool closed = r.take_keyword(K_closed);
      arc(c, ctr, rad, a, s, closed);
      return;
    }
    case K_curve: {
      std::vector<pt> p;
      for (int i = 0; i < 3; i++) p.push_back(r.point());
      if (r.peek_point()) p.push_back(r.point());
      curve(c, p);
      return;
    }
    case K_spline: {
      std::vector<pt> p;
      while (r.peek_point()) p.push_back(r.point());
      if (p.size() < 2) r.invalid();
      bool closed = r.take_keyword(K_closed);
      spline(c, p, closed);
      return;
    }
    case K_text: {
      pt at = r.point();
      cell v = r.next();
      if (type_of(&v) != TYPE_STRING && type_of(&v) != TYPE_OBJECT) r.invalid(r.pos_ - 1);
      api::root_guard g(&v);
      text(c, at, &v);
      return;
    }
    case K_font: {
      cell v = r.next();
      const cell* f = type_of(&v) == TYPE_WORD ? api::_context::get(&v) : &v;
      if (!f || type_of(f) != TYPE_OBJECT) r.invalid(r.pos_ - 1);
      font(c, f);
      return;
    }
    case K_pen: brush_spec(c, r, false); return;
    case K_fill_pen: brush_spec(c, r, true); return;
    case K_line_width: set_line_width(c, std::max(0.0, r.number())); return;
    case K_line_join: {
      cell v = r.next();
      if (type_of(&v) != TYPE_WORD) r.invalid(r.pos_ - 1);
      i32 j = keyword_of(&v);
      c.st.join = j == K_round ? CAIRO_LINE_JOIN_ROUND
                  : j == K_bevel ? CAIRO_LINE_JOIN_BEVEL
                                 : CAIRO_LINE_JOIN_MITER;
      return;
    }
    case K_line_cap: {
      cell v = r.next();
      if (type_of(&v) != TYPE_WORD) r.invalid(r.pos_ - 1);
      i32 j = keyword_of(&v);
      c.st.cap = j == K_square ? CAIRO_LINE_CAP_SQUARE
                 : j == K_round ? CAIRO_LINE_CAP_ROUND
                                : CAIRO_LINE_CAP_BUTT;
      return;
    }
    case K_line_pattern: {
      c.st.dashes.clear();
      while (r.more()) {
        cell v = r.peek();
        if (type_of(&v) != TYPE_INTEGER) break;
        r.pos_++;
        if (c.st.dashes.size() < 4096) c.st.dashes.push_back(std::max(0, api::integer::get(&v)));
      }
      return;
    }
    case K_anti_alias: {
      cell v = r.next();
      if (type_of(&v) != TYPE_WORD) r.invalid(r.pos_ - 1);
      c.st.anti_alias = keyword_of(&v) != K_off;
      return;
    }
    case K_image: {
      u32 at_image = r.pos_;
      cell v = r.next();
      const cell* img = type_of(&v) == TYPE_WORD ? api::_context::get(&v) : &v;
      if (!img || type_of(img) != TYPE_IMAGE) r.invalid(at_image);
      cell iv = *img;
      api::root_guard g(&iv);
      std::vector<pt> p;
      while (r.peek_point() && p.size() < 4) p.push_back(r.point());
      if (r.peek_point()) r.invalid();
      u32 col;
      if (r.peek_colour(&col)) r.pos_++;
      bool crop = false;
      pt co{0, 0}, cs{0, 0};
      if (r.take_keyword(K_border)) {
      } else if (r.take_keyword(K_crop)) {
        crop = true;
        co = r.point();
        cs = r.point();
      }
      image(c, &iv, p, crop, co, cs);
      return;
    }
    case K_shadow: {
      cell v = r.next();
      if (type_of(&v) == TYPE_WORD) {
        if (keyword_of(&v) != K_off) r.invalid(r.pos_ - 1);
        c.st.shadows.clear();
        return;
      }
      if (type_of(&v) != TYPE_PAIR) r.invalid(r.pos_ - 1);
      shadow s;
      s.x = api::pair::x_of(&v), s.y = api::pair::y_of(&v);
      cell n = r.peek();
      if (r.more() && type_of(&n) == TYPE_INTEGER) {
        r.pos_++;
        s.blur = std::clamp(double(api::integer::get(&n)), 0.0, 1000.0);
        n = r.peek();
        if (r.more() && type_of(&n) == TYPE_INTEGER) {
          r.pos_++;
          s.spread = std::clamp(double(api::integer::get(&n)), -1000.0, 1000.0);
        }
      }
      u32 col;
      if (r.peek_colour(&col)) r.pos_++, s.colour = col;
      if (r.take_keyword(K_inset)) s.inset = true;
      if (c.st.shadows.size() < 64) c.st.shadows.push_back(s);
      return;
    }
    case K_clip: {
      cell v = r.peek();
      bool rect = r.peek_point();
      pt a{0, 0}, b{0, 0};
      cell shape_block{};
      if (rect) {
        a = r.point();
        b = r.point();
      } else {
        shape_block = r.next();
        if (type_of(&shape_block) != TYPE_BLOCK) r.invalid(r.pos_ - 1);
      }
      (void)v;
      i32 m = r.peek_keyword();
      if (m == K_replace || m == K_intersect || m == K_union_ || m == K_xor_ || m == K_exclude)
        r.pos_++;
      cell body = r.peek();
      bool has_body = r.more() && type_of(&body) == TYPE_BLOCK;
      if (has_body) r.pos_++;
      api::root_guard g1(&shape_block), g2(&body);
      // With a block the clip lasts for it alone: the state is restored on every exit.
      std::optional<state_guard> guard;
      if (has_body) guard.emplace(c);
      if (rect) clip_rect(c, a, b);
      else parse_shape(c, &shape_block, false, false);
      if (has_body) parse_block(c, &body);
      return;
    }
    case K_shape: {
      cell b = r.next();
      if (type_of(&b) != TYPE_BLOCK) r.invalid(r.pos_ - 1);
      parse_shape(c, &b, true, false);
      return;
    }
    case K_rotate: {
      u32 t = brush_target(r);
      double a = r.number();
      pt ctr{0, 0};
      if (r.peek_point()) ctr = r.point();
      cairo_matrix_t m;
      cairo_matrix_init_rotate(&m, a * M_PI / 180);
      maybe_block(c, r, about(m, ctr), t);
      return;
    }
    case K_scale: {
      u32 t = brush_target(r);
      double sx = factor(r), sy = factor(r);
      pt ctr{0, 0};
      if (r.peek_point()) ctr = r.point();
      cairo_matrix_t m;
      cairo_matrix_init_scale(&m, sx, sy);
      maybe_block(c, r, about(m, ctr), t);
      return;
    }
    case K_translate: {
      u32 t = brush_target(r);
      pt d = r.point();
      cairo_matrix_t m;
      cairo_matrix_init_translate(&m, d.x, d.y);
      maybe_block(c, r, m, t);
      return;
    }
    case K_skew: {
      u32 t = brush_target(r);
      double ax = r.number(), ay = r.peek_number() ? r.number() : 0;  // one angle leaves y at 0
      pt ctr{0, 0};
      if (r.peek_point()) ctr = r.point();
      cairo_matrix_t m;
      cairo_matrix_init(&m, 1, std::tan(ay * M_PI / 180), std::tan(ax * M_PI / 180), 1, 0, 0);
      maybe_block(c, r, about(m, ctr), t);
      return;
    }
    case K_transform: {
      u32 t = brush_target(r);
      pt ctr{0, 0};
      if (r.peek_point()) ctr = r.point();
      double a = r.number(), sx = factor(r), sy = factor(r);
      pt d = r.point();
      cairo_matrix_t rot, sc, tr, m;
      cairo_matrix_init_rotate(&rot, a * M_PI / 180);
      cairo_matrix_init_scale(&sc, sx, sy);
      cairo_matrix_init_translate(&tr, d.x, d.y);
      rot = about(rot, ctr);
      sc = about(sc, ctr);
      cairo_matrix_multiply(&m, &rot, &sc);
      cairo_matrix_multiply(&m, &m, &tr);
      maybe_block(c, r, m, t);
      return;
    }
    case K_matrix: {
      u32 t = brush_target(r);
      cell b = r.next();
      if (type_of(&b) != TYPE_BLOCK || api::cells::remaining(&b) != 6) r.invalid(r.pos_ - 1);
      double v[6];
      for (u32 i = 0; i < 6; i++) {
        const cell* x = api::cells::get(api::series::node(&b), u32(api::head_index(&b)) + i);
        if (!is_number(x)) r.invalid(r.pos_ - 1);
        v[i] = number_of(x);
      }
      cairo_matrix_t m;
      cairo_matrix_init(&m, v[0], v[1], v[2], v[3], v[4], v[5]);
      maybe_block(c, r, m, t);
      return;
    }
    case K_reset_matrix: reset_matrix(c, brush_target(r)); return;
    case K_invert_matrix: invert_matrix(c, brush_target(r)); return;
    case K_push: {
      cell b = r.next();
      if (type_of(&b) != TYPE_BLOCK) r.invalid(r.pos_ - 1);
      state_guard g(c);
      parse_block(c, &b);
      return;
    }
    default: r.invalid(r.pos_ - 1);
  }
}

void parse_block(context& c, const cell* block) {
  recursion guard(c, block);
  reader r(c, block);
  r.pos_ = u32(api::head_index(block));
  while (r.more()) {
    cell v = r.next();
    switch (type_of(&v)) {
      case TYPE_WORD: {
        i32 k = keyword_of(&v);
        if (k < 0 || k > K_push) r.invalid(r.pos_ - 1);
        command(c, r, k);
        break;
      }
      case TYPE_SET_WORD: r.set_word(v); break;
      case TYPE_BLOCK: parse_block(c, &v); break;
      default: r.invalid(r.pos_ - 1);
    }
  }
}

// ---- SHAPE ------------------------------------------------------------------------------------
void shape_points(reader& r, std::vector<pt>& p) {
  while (r.peek_point()) p.push_back(r.point());
}

void shape_command(context& c, reader& r, i32 k, bool rel) {
  cairo_t* cr = c.cr;
  switch (k) {
    case K_move: {
      pt p = r.point();
      if (rel) p.x += c.cx, p.y += c.cy;
      cairo_move_to(cr, p.x, p.y);
      c.cx = c.fx = p.x, c.cy = c.fy = p.y;
      c.curve = false;
      return;
    }
    case K_line: {
      std::vector<pt> p;
      shape_points(r, p);
      if (p.empty()) r.invalid();
      for (pt q : p) {
        if (rel) q.x += c.cx, q.y += c.cy;
        cairo_line_to(cr, q.x, q.y);
        c.cx = q.x, c.cy = q.y;
      }
      c.curve = false;
      return;
    }
    case K_hline: case K_vline: {
      double v = r.number();
      if (k == K_hline) c.cx = rel ? c.cx + v : v;
      else c.cy = rel ? c.cy + v : v;
      cairo_line_to(cr, c.cx, c.cy);
      return;
    }
    case K_arc: {
      pt e = r.point();
      double rx = r.number(), ry = r.number(), ang = r.number();
      bool sweep = false, large = false;
      for (int i = 0; i < 2; i++) {
        if (r.take_keyword(K_sweep)) sweep = true;
        else if (r.take_keyword(K_large)) large = true;
      }
      if (rel) e.x += c.cx, e.y += c.cy;
      arc_to(c, c.cx, c.cy, rx, ry, ang, large, sweep, e.x, e.y);
      c.cx = e.x, c.cy = e.y;
      return;
    }
    case K_curve: case K_curv: case K_qcurve: case K_qcurv: {
      u32 group = k == K_curve ? 3 : k == K_qcurv ? 1 : 2;
      std::vector<pt> p;
      u32 first = r.pos_;
      shape_points(r, p);
      // A trailing incomplete group is invalid, like a missing argument.
      if (p.empty() || p.size() % group) r.invalid(p.empty() ? first : r.pos_);
      for (size_t i = 0; i < p.size(); i += group) {
        double ox = rel ? c.cx : 0, oy = rel ? c.cy : 0;
        pt q[3];
        for (u32 j = 0; j < group; j++) q[j] = {p[i + j].x + ox, p[i + j].y + oy};
        pt refl = c.curve ? pt{2 * c.cx - c.lcx, 2 * c.cy - c.lcy} : pt{c.cx, c.cy};
        pt c1, c2, end;
        if (k == K_curve) {
          c1 = q[0], c2 = q[1], end = q[2];
          c.lcx = c2.x, c.lcy = c2.y;
        } else if (k == K_curv) {
          c1 = refl, c2 = q[0], end = q[1];
          c.lcx = c2.x, c.lcy = c2.y;
        } else {
          pt ctl = k == K_qcurve ? q[0] : refl;
          end = k == K_qcurve ? q[1] : q[0];
          c1 = {c.cx + 2.0 / 3 * (ctl.x - c.cx), c.cy + 2.0 / 3 * (ctl.y - c.cy)};
          c2 = {end.x + 2.0 / 3 * (ctl.x - end.x), end.y + 2.0 / 3 * (ctl.y - end.y)};
          c.lcx = ctl.x, c.lcy = ctl.y;
        }
        cairo_curve_to(cr, c1.x, c1.y, c2.x, c2.y, end.x, end.y);
        c.cx = end.x, c.cy = end.y;
        c.curve = true;
      }
      return;
    }
    case K_close:
      cairo_close_path(cr);
      // The next figure starts at the last point given, not at the closed figure's start.
      cairo_move_to(cr, c.cx, c.cy);
      return;
    default: r.invalid(r.pos_ - 1);
  }
}

void parse_shape(context& c, const cell* block, bool drawing, bool nested) {
  recursion guard(c, block);
  if (!nested) {
    cairo_new_path(c.cr);
    cairo_matrix_t dm = device_matrix(c);
    cairo_set_matrix(c.cr, &dm);
    c.cx = c.cy = c.fx = c.fy = 0;
    c.curve = false;
    cairo_move_to(c.cr, 0, 0);
  }
  reader r(c, block);
  r.pos_ = u32(api::head_index(block));
  while (r.more()) {
    cell v = r.next();
    switch (type_of(&v)) {
      case TYPE_WORD: case TYPE_LIT_WORD: {
        i32 k = keyword_of(&v);
        if (k != K_move && k != K_line && k != K_hline && k != K_vline && k != K_arc &&
            k != K_curve && k != K_curv && k != K_qcurve && k != K_qcurv && k != K_close)
          r.invalid(r.pos_ - 1);
        shape_command(c, r, k, type_of(&v) == TYPE_LIT_WORD);
        break;
      }
      case TYPE_SET_WORD: r.set_word(v); break;
      case TYPE_BLOCK: parse_shape(c, &v, drawing, true); break;
      default: r.invalid(r.pos_ - 1);
    }
  }
  if (nested) return;
  cairo_matrix_t m = device_matrix(c);
  double det = m.xx * m.yy - m.xy * m.yx;
  bool ok = std::isfinite(det) && std::fabs(det) > 1e-12;
  if (drawing) {
    if (ok) fill_and_stroke_path(c, true);
    cairo_new_path(c.cr);
    return;
  }
  // A clip: winding fill, narrowing the clips in force.
  cairo_path_t* path = cairo_copy_path(c.cr);
  cairo_new_path(c.cr);
  cairo_save(c.cr);
  c.clip_depth++;
  cairo_set_fill_rule(c.cr, CAIRO_FILL_RULE_WINDING);
  if (ok) {
    cairo_append_path(c.cr, path);
  } else {
    cairo_identity_matrix(c.cr);
    cairo_rectangle(c.cr, 0, 0, 0, 0);
  }
  cairo_clip(c.cr);
  cairo_path_destroy(path);
}

}  // namespace

void parse(context& c, const cell* block) {
  make_symbols();
  parse_block(c, block);
}

// ---- Style lists ------------------------------------------------------------------------------
void parse_styles(context* c, PangoLayout* layout, const cell* styles, const std::string& text,
                  std::vector<backdrop>* bds) {
  make_symbols();
  context dummy;
  reader r(c ? *c : dummy, styles);
  r.pos_ = u32(api::head_index(styles));
  PangoAttrList* attrs = pango_attr_list_new();
  u32 start = 0, end = 0;  // bytes
  bool empty = true;
  i64 length = char_of_byte(text, u32(text.size()));
  auto add = [&](PangoAttribute* a) {
    if (empty) {
      pango_attribute_destroy(a);
      return;
    }
    a->start_index = start;
    a->end_index = end;
    pango_attr_list_insert(attrs, a);
  };
  auto options = [&]() {
    u32 col;
    if (r.peek_colour(&col)) r.pos_++;
    cell v = r.peek();
    if (r.more() && type_of(&v) == TYPE_LIT_WORD) r.pos_++;
  };
  try {
    while (r.more()) {
      cell v = r.next();
      u32 col;
      switch (type_of(&v)) {
        case TYPE_PAIR: {
          // Ranges starting before the text or past it are clamped; an empty one is skipped.
          i64 s = i64(api::pair::x_of(&v)) - 1, n = api::pair::y_of(&v);
          i64 e = s + n;
          s = std::clamp<i64>(s, 0, length);
          e = std::clamp<i64>(e, 0, length);
          empty = e <= s;
          start = byte_of_char(text, s);
          end = byte_of_char(text, e);
          break;
        }
        case TYPE_TUPLE: {
          col = tuple_colour(&v);
          // Range colours are opaque: the alpha byte is dropped.
          add(pango_attr_foreground_new(guint16((col & 0xFF) * 257), guint16(((col >> 8) & 0xFF) * 257),
                                        guint16(((col >> 16) & 0xFF) * 257)));
          break;
        }
        case TYPE_STRING: add(pango_attr_family_new(api::string::to_utf8(&v).c_str())); break;
        case TYPE_INTEGER: case TYPE_FLOAT: {
          double size = std::clamp(number_of(&v), 1.0, 1000.0);
          add(pango_attr_size_new(int(size * PANGO_SCALE)));
          break;
        }
        case TYPE_WORD: {
          i32 k = keyword_of(&v);
          if (k == K_bold) add(pango_attr_weight_new(PANGO_WEIGHT_BOLD));
          else if (k == K_italic) add(pango_attr_style_new(PANGO_STYLE_ITALIC));
          else if (k == K_underline) add(pango_attr_underline_new(PANGO_UNDERLINE_SINGLE)), options();
          else if (k == K_strike) add(pango_attr_strikethrough_new(TRUE)), options();
          else if (k == K_border) options();
          else if (k == K_backdrop) {
            if (!r.peek_colour(&col)) r.invalid();
            r.pos_++;
            if (!empty && bds) bds->push_back({start, end, col});
          } else {
            r.invalid(r.pos_ - 1);
          }
          break;
        }
        default: r.invalid(r.pos_ - 1);
      }
    }
  } catch (...) {
    pango_attr_list_unref(attrs);
    throw;
  }
  pango_layout_set_attributes(layout, attrs);
  pango_attr_list_unref(attrs);
}

// ---- Runs on images ---------------------------------------------------------------------------
void begin_on_image(context& c, const cell* img) {
  init_names();  // before the pixels are taken: the first call allocates
  image::pixel_view v = api::image::get_draw_target(api::image::record_of(img));
  api::image::mark_changed(api::image::record_of(img));
  cairo_surface_t* s = cairo_image_surface_create_for_data(
      reinterpret_cast<unsigned char*>(v.pixels), CAIRO_FORMAT_ARGB32, int(v.width),
      int(v.height), int(v.stride));
  begin_on_surface(c, s, 96);
  cairo_surface_destroy(s);
  c.image_record = api::image::record_of(img);
}

void run_draw_on_image(const cell* img_in, const cell* commands) {
  cell img = *img_in, cmds = *commands;
  api::root_guard g1(&img), g2(&cmds);
  if (type_of(&cmds) != TYPE_BLOCK || !api::cells::remaining(&cmds)) return;
  if (type_of(&img) != TYPE_IMAGE || !api::image::record_of(&img)) return;
  if (!api::image::width_of(&img) || !api::image::height_of(&img)) return;
  context c;
  begin_on_image(c, &img);
  try {
    parse(c, &cmds);
  } catch (const thrown& t) {
    end(c);
    api::image::mark_changed(api::image::record_of(&img));
    if (t.level != THROW_ERROR) throw;
    // The error lives only in the exception: keep it while the checks below allocate.
    cell err = t.value;
    api::root_guard ge(&err);
    if (c.reported && silent_q()) return;
    throw;
  } catch (...) {
    end(c);
    api::image::mark_changed(api::image::record_of(&img));
    throw;
  }
  end(c);
  api::image::mark_changed(api::image::record_of(&img));
}

namespace {
// gui/draw-image: image cmds. Nothing for an empty image; the owner is told afterwards.
void draw_image_routine(cell* args, u32) {
  cell img = args[0], cmds = args[1];
  api::root_guard g1(&img), g2(&cmds);
  if (type_of(&img) == TYPE_IMAGE && api::image::width_of(&img) && api::image::height_of(&img)) {
    run_draw_on_image(&img, &cmds);
    cell poke = api::word::intern("poke");
    api::ownership::check(&img, &poke, nullptr, -1, -1);
  }
  args[0] = cell{TYPE_UNSET, 0, 0, 0};
}
}  // namespace

void install_hooks() { api::gui_module::table().draw_image = draw_image_routine; }

}  // namespace vyr::draw
