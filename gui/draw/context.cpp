// The drawing context of one DRAW run on cairo: brushes (solid, gradients, image tiles),
// stroke settings, transformations of the surface and of the brushes, and saved states.
// Brushes are cairo patterns owned by the state that holds them and released with it, so
// nothing is cached and nothing can pile up across runs.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "base/colour.h"
#include "gui/draw/internal.h"

namespace vyr::draw {

// ---- Brushes -------------------------------------------------------------------------------
brush& brush::operator=(const brush& o) {
  if (this == &o) return *this;
  release();
  kind = o.kind;
  colour = o.colour;
  gradient = o.gradient;
  pattern = o.pattern ? cairo_pattern_reference(o.pattern) : nullptr;
  matrix = o.matrix;
  stops = o.stops;
  extend = o.extend;
  return *this;
}

void brush::release() {
  if (pattern) cairo_pattern_destroy(pattern);
  pattern = nullptr;
}

void brush::set_pattern(cairo_pattern_t* p) {
  release();
  pattern = p;
}

u32 tuple_colour(const cell* t) {
  u8 b[12];
  std::memcpy(b, &t->data1, 12);
  u32 count = (t->header >> 19) & 0xF;
  u32 alpha = count >= 4 ? b[3] : 0;
  return u32(b[0]) | u32(b[1]) << 8 | u32(b[2]) << 16 | alpha << 24;
}

void colour_rgba(u32 colour, double rgba[4]) {
  colour::rgb v = colour::channels(colour);
  rgba[0] = v.r;
  rgba[1] = v.g;
  rgba[2] = v.b;
  rgba[3] = colour::opacity(colour);
}

namespace {
void solid(brush& b, u32 colour) {
  b.release();
  b.kind = BRUSH_SOLID;
  b.colour = colour;
  b.gradient = GRADIENT_NONE;
  b.stops.clear();
  cairo_matrix_init_identity(&b.matrix);
}
}  // namespace

void pen_colour(context& c, u32 colour, bool off) {
  drawing_state& s = c.st;
  if (off) {
    s.pen.kind = BRUSH_NONE;
    s.saved_pen_kind = BRUSH_NONE;
    return;
  }
  if (!s.text_colour_fixed) s.text_colour = colour;
  solid(s.pen, colour);
  if (s.line_width == 0) {
    s.saved_pen_kind = BRUSH_SOLID;
    s.pen.kind = BRUSH_NONE;
  }
}

void fill_colour(context& c, u32 colour, bool off) {
  if (off) {
    c.st.fill.kind = BRUSH_NONE;
    return;
  }
  solid(c.st.fill, colour);
}

void set_line_width(context& c, double w) {
  drawing_state& s = c.st;
  if (w == s.line_width) return;
  if (w == 0) {
    if (s.pen.kind != BRUSH_NONE) s.saved_pen_kind = s.pen.kind;
    s.pen.kind = BRUSH_NONE;
    s.line_width = 0;
    return;
  }
  if (s.line_width == 0 && s.saved_pen_kind != BRUSH_NONE) {
    s.pen.kind = s.saved_pen_kind;
    s.saved_pen_kind = BRUSH_NONE;
  }
  s.line_width = w;
}

namespace {
void add_stops(cairo_pattern_t* p, const std::vector<double>& stops) {
  for (size_t i = 0; i + 4 < stops.size(); i += 5)
    cairo_pattern_add_color_stop_rgba(p, stops[i], stops[i + 1], stops[i + 2], stops[i + 3],
                                      stops[i + 4]);
}

// A brush whose kind is set after a new pattern replaced the old one. A pen put aside by
// line-width 0 stays aside with its new kind.
void replace(context& c, bool fill, brush&& b) {
  brush& dst = fill ? c.st.fill : c.st.pen;
  dst = b;
  if (!fill && c.st.line_width == 0) {
    c.st.saved_pen_kind = dst.kind;
    dst.kind = BRUSH_NONE;
  }
}
}  // namespace

void set_gradient(context& c, bool fill, u32 kind, const std::vector<double>& stops,
                  const std::vector<pt>* geo, double radius, bool focal, cairo_extend_t extend) {
  brush b;
  b.gradient = kind;
  b.stops = stops;
  b.extend = extend;
  if (!geo) {
    b.kind = BRUSH_FITTED;  // the pattern is made for each shape
  } else {
    cairo_pattern_t* p;
    if (kind == GRADIENT_LINEAR) {
      p = cairo_pattern_create_linear((*geo)[0].x, (*geo)[0].y, (*geo)[1].x, (*geo)[1].y);
    } else {
      pt ctr = (*geo)[0];
      pt f = focal ? (*geo)[1] : ctr;
      p = cairo_pattern_create_radial(f.x, f.y, 0, ctr.x, ctr.y, std::fabs(radius));
    }
    add_stops(p, stops);
    cairo_pattern_set_extend(p, extend);
    b.set_pattern(p);
    b.kind = BRUSH_GRADIENT;
  }
  replace(c, fill, std::move(b));
}

void set_positional_gradient(context& c, bool fill, u32 kind, pt o, double s, double t,
                             double angle, double sx, double sy, const std::vector<double>& stops) {
  brush b;
  b.gradient = kind;
  b.stops = stops;
  cairo_pattern_t* p = kind == GRADIENT_LINEAR
                           ? cairo_pattern_create_linear(o.x + s, o.y, o.x + t, o.y)
                           : cairo_pattern_create_radial(o.x, o.y, 0, o.x, o.y, std::fabs(t - s));
  add_stops(p, stops);
  cairo_pattern_set_extend(p, CAIRO_EXTEND_PAD);
  b.set_pattern(p);
  cairo_matrix_init_identity(&b.matrix);
  if (angle != 0) cairo_matrix_rotate(&b.matrix, angle * M_PI / 180);
  if (sx != 1 || sy != 1) {
    cairo_matrix_t m;
    cairo_matrix_init_scale(&m, sx, sy);
    cairo_matrix_multiply(&b.matrix, &b.matrix, &m);
  }
  b.kind = BRUSH_GRADIENT;
  replace(c, fill, std::move(b));
}

void set_image_brush(context& c, bool fill, cairo_surface_t* src, pt start, pt end,
                     bool has_start, bool has_end, u32 mode) {
  int iw = cairo_image_surface_get_width(src), ih = cairo_image_surface_get_height(src);
  double x0 = has_start ? start.x : 0, y0 = has_start ? start.y : 0;
  double x1 = has_end ? std::min(end.x, double(iw)) : iw;
  double y1 = has_end ? std::min(end.y, double(ih)) : ih;
  x0 = std::clamp(x0, 0.0, double(iw));
  y0 = std::clamp(y0, 0.0, double(ih));
  int w = int(x1 - x0), h = int(y1 - y0);
  if (w <= 0 || h <= 0) {
    (fill ? c.st.fill : c.st.pen).kind = BRUSH_NONE;
    return;
  }
  // cairo mirrors only both axes at once: a tile mirrored on one axis is made twice as
  // wide (or high) with its mirror image beside it, and repeated.
  bool mx = mode == 1, my = mode == 2;
  int tw = mx ? 2 * w : w, th = my ? 2 * h : h;
  cairo_surface_t* tile = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, tw, th);
  cairo_t* t = cairo_create(tile);
  cairo_set_operator(t, CAIRO_OPERATOR_SOURCE);
  cairo_set_source_surface(t, src, -x0, -y0);
  cairo_rectangle(t, 0, 0, w, h);
  cairo_fill(t);
  if (mx || my) {
    cairo_matrix_t m;
    if (mx) cairo_matrix_init(&m, -1, 0, 0, 1, 2 * w, 0);
    else cairo_matrix_init(&m, 1, 0, 0, -1, 0, 2 * h);
    cairo_set_matrix(t, &m);
    cairo_set_source_surface(t, src, -x0, -y0);
    cairo_rectangle(t, 0, 0, w, h);
    cairo_fill(t);
  }
  cairo_destroy(t);
  brush b;
  cairo_pattern_t* p = cairo_pattern_create_for_surface(tile);
  cairo_surface_destroy(tile);
  cairo_pattern_set_extend(p, mode == 3 ? CAIRO_EXTEND_REFLECT
                              : mode == 4 ? CAIRO_EXTEND_PAD
                                          : CAIRO_EXTEND_REPEAT);
  cairo_pattern_set_filter(p, CAIRO_FILTER_BILINEAR);
  b.set_pattern(p);
  b.kind = BRUSH_IMAGE;
  replace(c, fill, std::move(b));
}

// ---- Transformations -----------------------------------------------------------------------
void transform(context& c, u32 target, const cairo_matrix_t& t) {
  cairo_matrix_t* m = target == 0 ? &c.st.matrix : target == 1 ? &c.st.pen.matrix : &c.st.fill.matrix;
  if (target != 0) {
    // A solid colour has nothing to transform.
    const brush& b = target == 1 ? c.st.pen : c.st.fill;
    if (b.kind <= BRUSH_SOLID && !(target == 1 && c.st.saved_pen_kind > BRUSH_SOLID)) return;
  }
  cairo_matrix_t r;
  cairo_matrix_multiply(&r, &t, m);  // t acts first, in the current coordinate system
  *m = r;
}

void reset_matrix(context& c, u32 target) {
  cairo_matrix_t id;
  cairo_matrix_init_identity(&id);
  if (target == 0) c.st.matrix = id;
  else if (target == 1) c.st.pen.matrix = id;
  else c.st.fill.matrix = id;
}

void invert_matrix(context& c, u32 target) {
  cairo_matrix_t* m = target == 0 ? &c.st.matrix : target == 1 ? &c.st.pen.matrix : &c.st.fill.matrix;
  cairo_matrix_t r = *m;
  // A singular matrix has no inverse: it is left as it is.
  if (cairo_matrix_invert(&r) == CAIRO_STATUS_SUCCESS) *m = r;
}

// ---- States ----------------------------------------------------------------------------------
state_guard::~state_guard() {
  while (c_.clip_depth > s_.clip_depth) pop_clip(c_);
  c_.st = s_.st;
}

// ---- Runs ------------------------------------------------------------------------------------
namespace {
// One pango context per resolution for every run: each run would otherwise make an
// identical one, and text layouts kept between runs (see text.cpp) stay valid only while
// their context is the same.
PangoContext* shared_pango(double dpi) {
  struct entry {
    double dpi;
    PangoContext* context;
  };
  static std::vector<entry> contexts;
  for (const entry& e : contexts)
    if (e.dpi == dpi) return e.context;
  PangoContext* p = pango_font_map_create_context(pango_cairo_font_map_get_default());
  pango_cairo_context_set_resolution(p, dpi);
  cairo_font_options_t* fo = cairo_font_options_create();
  // Grayscale, unhinted text: the same pixels on every machine.
  cairo_font_options_set_antialias(fo, CAIRO_ANTIALIAS_GRAY);
  cairo_font_options_set_hint_style(fo, CAIRO_HINT_STYLE_NONE);
  cairo_font_options_set_hint_metrics(fo, CAIRO_HINT_METRICS_OFF);
  pango_cairo_context_set_font_options(p, fo);
  cairo_font_options_destroy(fo);
  contexts.push_back({dpi, p});
  return p;
}

void start(context& c) {
  c.cr = cairo_create(c.surface);
  c.st = drawing_state{};
  solid(c.st.pen, 0);
  c.st.fill.kind = BRUSH_NONE;
  c.clip_depth = 0;
  c.pango = PANGO_CONTEXT(g_object_ref(shared_pango(c.dpi)));
}
}  // namespace

cairo_matrix_t device_matrix(const context& c) {
  cairo_matrix_t d, r;
  cairo_matrix_init_scale(&d, c.scale, c.scale);
  cairo_matrix_multiply(&r, &c.st.matrix, &d);
  return r;
}

void begin_on_surface(context& c, cairo_surface_t* surface, double dpi) {
  // Face fields are read by names interned once; a run's reads then allocate nothing.
  init_names();
  c.surface = cairo_surface_reference(surface);
  c.image_record = 0;
  c.width = u32(cairo_image_surface_get_width(surface));
  c.height = u32(cairo_image_surface_get_height(surface));
  c.dpi = dpi;
  start(c);
}

void end(context& c) {
  if (!c.cr) return;
  while (c.clip_depth) pop_clip(c);
  c.st = drawing_state{};
  if (c.pango) g_object_unref(c.pango);
  c.pango = nullptr;
  cairo_destroy(c.cr);
  c.cr = nullptr;
  cairo_surface_flush(c.surface);
  cairo_surface_destroy(c.surface);
  c.surface = nullptr;
}

}  // namespace vyr::draw
