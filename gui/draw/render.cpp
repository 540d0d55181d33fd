// Rendering of the DRAW shapes, text, images, clips and shadows on cairo. Every operation
// sets the run's own matrix on cairo first; a singular matrix draws nothing (cairo would
// otherwise fall into an error state for the rest of the run).
#include <algorithm>
#include <cmath>
#include <cstring>

#include "gui/draw/internal.h"
#include "runtime/api/values.h"

namespace vyr::draw {

namespace {
constexpr u64 MAX_OFFSCREEN = 16u << 20;  // pixels of a shadow or perspective buffer

bool invertible(const cairo_matrix_t& m) {
  double det = m.xx * m.yy - m.xy * m.yx;
  return std::isfinite(det) && std::fabs(det) > 1e-12 && std::isfinite(m.x0) &&
         std::isfinite(m.y0);
}

bool use_matrix(context& c) {
  cairo_matrix_t m = device_matrix(c);
  if (!invertible(m)) return false;
  cairo_set_matrix(c.cr, &m);
  cairo_set_antialias(c.cr, c.st.anti_alias ? CAIRO_ANTIALIAS_DEFAULT : CAIRO_ANTIALIAS_NONE);
  return true;
}

// Makes the brush the cairo source. A fitted gradient gets its geometry from the bounds;
// a fitted or image brush is moved to the bounds' corner. Answers false when nothing can
// be painted with it.
bool apply(context& c, const brush& b, double x1, double y1, double x2, double y2) {
  if (b.kind == BRUSH_SOLID) {
    double rgba[4];
    colour_rgba(b.colour, rgba);
    cairo_set_source_rgba(c.cr, rgba[0], rgba[1], rgba[2], rgba[3]);
    return true;
  }
  if (x1 > x2) std::swap(x1, x2);
  if (y1 > y2) std::swap(y1, y2);
  cairo_pattern_t* p = nullptr;
  cairo_matrix_t m = b.matrix;
  if (b.kind == BRUSH_FITTED) {
    double w = x2 - x1, h = y2 - y1;
    if (b.gradient == GRADIENT_LINEAR) p = cairo_pattern_create_linear(0, 0, w, 0);
    else p = cairo_pattern_create_radial(w / 2, h / 2, 0, w / 2, h / 2, std::min(w, h) / 2);
    for (size_t i = 0; i + 4 < b.stops.size(); i += 5)
      cairo_pattern_add_color_stop_rgba(p, b.stops[i], b.stops[i + 1], b.stops[i + 2],
                                        b.stops[i + 3], b.stops[i + 4]);
    cairo_pattern_set_extend(p, b.extend);
  } else if (b.pattern) {
    p = cairo_pattern_reference(b.pattern);
  } else {
    return false;
  }
  if (b.kind >= BRUSH_FITTED) {
    cairo_matrix_t t;
    cairo_matrix_init_translate(&t, x1, y1);
    cairo_matrix_multiply(&m, &m, &t);
  }
  if (cairo_matrix_invert(&m) != CAIRO_STATUS_SUCCESS) {
    cairo_pattern_destroy(p);
    return false;
  }
  cairo_pattern_set_matrix(p, &m);
  cairo_set_source(c.cr, p);
  cairo_pattern_destroy(p);
  return true;
}

void stroke_settings(context& c) {
  cairo_set_line_width(c.cr, c.st.line_width);
  cairo_set_line_join(c.cr, c.st.join);
  cairo_set_line_cap(c.cr, c.st.cap);
  cairo_set_miter_limit(c.cr, 10.0);
  if (c.st.dashes.empty()) {
    cairo_set_dash(c.cr, nullptr, 0, 0);
  } else {
    // Dashes count in line widths; a pattern of zeros alone would put cairo in error.
    std::vector<double> d(c.st.dashes);
    double sum = 0;
    for (double& x : d) sum += (x = std::max(0.0, x * c.st.line_width));
    if (sum > 0) cairo_set_dash(c.cr, d.data(), int(d.size()), 0);
    else cairo_set_dash(c.cr, nullptr, 0, 0);
  }
}

// Fills and strokes the current path with bounds for fitting (box-like shapes pass their
// own box; others use the path's extents).
void paint(context& c, bool even_odd, const double* box) {
  double b[4];
  if (box) std::memcpy(b, box, sizeof b);
  else cairo_path_extents(c.cr, &b[0], &b[1], &b[2], &b[3]);
  cairo_set_fill_rule(c.cr, even_odd ? CAIRO_FILL_RULE_EVEN_ODD : CAIRO_FILL_RULE_WINDING);
  if (c.st.fill.kind != BRUSH_NONE && apply(c, c.st.fill, b[0], b[1], b[2], b[3]))
    cairo_fill_preserve(c.cr);
  if (c.st.pen.kind != BRUSH_NONE && c.st.line_width > 0 &&
      apply(c, c.st.pen, b[0], b[1], b[2], b[3])) {
    stroke_settings(c);
    cairo_stroke_preserve(c.cr);
  }
  cairo_new_path(c.cr);
}

// Separable gaussian blur of an A8 surface in place.
void blur_alpha(cairo_surface_t* s, double sigma) {
  if (sigma <= 0) return;
  cairo_surface_flush(s);
  int w = cairo_image_surface_get_width(s), h = cairo_image_surface_get_height(s);
  int stride = cairo_image_surface_get_stride(s);
  u8* d = cairo_image_surface_get_data(s);
  int r = std::max(1, int(std::ceil(sigma * 3)));
  std::vector<double> k(size_t(2 * r + 1));
  double sum = 0;
  for (int i = -r; i <= r; i++) sum += k[size_t(i + r)] = std::exp(-(i * i) / (2 * sigma * sigma));
  for (double& x : k) x /= sum;
  std::vector<double> line(size_t(std::max(w, h)));
  for (int y = 0; y < h; y++) {
    u8* row = d + size_t(y) * stride;
    for (int x = 0; x < w; x++) {
      double a = 0;
      for (int i = -r; i <= r; i++) {
        int xx = x + i;
        if (xx >= 0 && xx < w) a += k[size_t(i + r)] * row[xx];
      }
      line[size_t(x)] = a;
    }
    for (int x = 0; x < w; x++) row[x] = u8(std::lround(std::min(255.0, line[size_t(x)])));
  }
  for (int x = 0; x < w; x++) {
    for (int y = 0; y < h; y++) {
      double a = 0;
      for (int i = -r; i <= r; i++) {
        int yy = y + i;
        if (yy >= 0 && yy < h) a += k[size_t(i + r)] * d[size_t(yy) * stride + x];
      }
      line[size_t(y)] = a;
    }
    for (int y = 0; y < h; y++)
      d[size_t(y) * stride + x] = u8(std::lround(std::min(255.0, line[size_t(y)])));
  }
  cairo_surface_mark_dirty(s);
}

// A box-like shape with the shadows in force: the shape is drawn off screen, each shadow
// is its alpha scaled by the spread, blurred and tinted, then the shape goes on top.
template <typename F>
void with_shadows(context& c, double x, double y, double w, double h, F shape) {
  if (!use_matrix(c)) return;
  if (c.st.shadows.empty()) {
    shape(c.cr, 0.0, 0.0);
    return;
  }
  if (w < 0) x += w, w = -w;
  if (h < 0) y += h, h = -h;
  double lw = c.st.pen.kind != BRUSH_NONE ? c.st.line_width : 0;
  double bw = std::ceil(w + lw) + 2, bh = std::ceil(h + lw) + 2;
  if (!(bw * bh < double(MAX_OFFSCREEN))) {
    shape(c.cr, 0.0, 0.0);
    return;
  }
  cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, int(bw), int(bh));
  cairo_t* main = c.cr;
  c.cr = cairo_create(s);
  cairo_set_antialias(c.cr, c.st.anti_alias ? CAIRO_ANTIALIAS_DEFAULT : CAIRO_ANTIALIAS_NONE);
  double ox = lw / 2 + 1 - x, oy = lw / 2 + 1 - y;
  cairo_translate(c.cr, ox, oy);
  shape(c.cr, 0.0, 0.0);
  cairo_destroy(c.cr);
  c.cr = main;
  cairo_surface_flush(s);
  for (const shadow& sh : c.st.shadows) {
    double sigma = sh.blur / 1.8799711;
    double pad = std::ceil(sigma * 3) + 2;
    double sx = w > 0 ? (w + 2 * sh.spread) / w : 1, sy = h > 0 ? (h + 2 * sh.spread) / h : 1;
    double mw = bw * std::fabs(sx) + 2 * pad, mh = bh * std::fabs(sy) + 2 * pad;
    if (!(mw * mh < double(MAX_OFFSCREEN)) || sx <= 0 || sy <= 0) continue;
    cairo_surface_t* m = cairo_image_surface_create(CAIRO_FORMAT_A8, int(mw), int(mh));
    cairo_t* mc = cairo_create(m);
    cairo_translate(mc, pad, pad);
    cairo_scale(mc, sx, sy);
    cairo_set_source_surface(mc, s, 0, 0);
    cairo_paint(mc);
    cairo_destroy(mc);
    blur_alpha(m, sigma);
    double rgba[4];
    colour_rgba(sh.colour, rgba);
    cairo_set_source_rgba(c.cr, rgba[0], rgba[1], rgba[2], rgba[3]);
    cairo_mask_surface(c.cr, m, -ox + sh.x - sh.spread - pad, -oy + sh.y - sh.spread - pad);
    cairo_surface_destroy(m);
  }
  cairo_set_source_surface(c.cr, s, -ox, -oy);
  cairo_paint(c.cr);
  cairo_surface_destroy(s);
}
}  // namespace

void fill_and_stroke_path(context& c, bool even_odd) { paint(c, even_odd, nullptr); }

// ---- Shapes ----------------------------------------------------------------------------------
void line(context& c, const std::vector<pt>& p, bool closed) {
  if (!use_matrix(c) || p.empty()) return;
  cairo_move_to(c.cr, p[0].x, p[0].y);
  for (size_t i = 1; i < p.size(); i++) cairo_line_to(c.cr, p[i].x, p[i].y);
  if (closed) {
    cairo_close_path(c.cr);
    paint(c, true, nullptr);
  } else {
    // An open line is only stroked.
    u32 fk = c.st.fill.kind;
    c.st.fill.kind = p.size() > 2 ? fk : BRUSH_NONE;
    paint(c, true, nullptr);
    c.st.fill.kind = fk;
  }
}

void box(context& c, pt a, pt b, double r) {
  double x1 = std::min(a.x, b.x), y1 = std::min(a.y, b.y);
  double x2 = std::max(a.x, b.x), y2 = std::max(a.y, b.y);
  double w = x2 - x1, h = y2 - y1;
  r = std::min(std::fabs(r), std::min(w, h) / 2);
  double bounds[4] = {x1, y1, x2, y2};
  with_shadows(c, x1, y1, w, h, [&](cairo_t* cr, double, double) {
    if (r > 0) {
      cairo_new_sub_path(cr);
      cairo_arc(cr, x2 - r, y1 + r, r, -M_PI / 2, 0);
      cairo_arc(cr, x2 - r, y2 - r, r, 0, M_PI / 2);
      cairo_arc(cr, x1 + r, y2 - r, r, M_PI / 2, M_PI);
      cairo_arc(cr, x1 + r, y1 + r, r, M_PI, 3 * M_PI / 2);
      cairo_close_path(cr);
    } else {
      cairo_rectangle(cr, x1, y1, w, h);
    }
    paint(c, true, bounds);
  });
}

void ellipse_box(context& c, double x, double y, double w, double h) {
  double bounds[4] = {x, y, x + w, y + h};
  with_shadows(c, x, y, w, h, [&](cairo_t* cr, double, double) {
    if (w == 0 || h == 0) return;
    cairo_save(cr);
    cairo_translate(cr, x + w / 2, y + h / 2);
    cairo_scale(cr, w / 2, h / 2);
    cairo_new_sub_path(cr);
    cairo_arc(cr, 0, 0, 1, 0, 2 * M_PI);
    cairo_close_path(cr);
    cairo_restore(cr);
    paint(c, true, bounds);
  });
}

void arc(context& c, pt ctr, pt r, double start, double sweep, bool closed) {
  if (float(sweep) >= 359.999f || float(sweep) <= -359.999f) {
    ellipse_box(c, ctr.x - r.x, ctr.y - r.y, 2 * r.x, 2 * r.y);
    return;
  }
  if (!use_matrix(c) || r.x == 0 || r.y == 0) return;
  double a1 = start * M_PI / 180, a2 = (start + sweep) * M_PI / 180;
  if (r.x != r.y) {
    // Angles are given on the ellipse; cairo's are parametric.
    a1 = std::atan2(std::sin(a1) * r.x, std::cos(a1) * r.y);
    a2 = std::atan2(std::sin(a2) * r.x, std::cos(a2) * r.y);
    if (sweep >= 0) while (a2 < a1) a2 += 2 * M_PI;
    else while (a2 > a1) a2 -= 2 * M_PI;
  }
  if (closed) cairo_move_to(c.cr, ctr.x, ctr.y);
  cairo_save(c.cr);
  cairo_translate(c.cr, ctr.x, ctr.y);
  cairo_scale(c.cr, r.x, r.y);
  if (!closed) cairo_new_sub_path(c.cr);
  if (sweep >= 0) cairo_arc(c.cr, 0, 0, 1, a1, a2);
  else cairo_arc_negative(c.cr, 0, 0, 1, a1, a2);
  cairo_restore(c.cr);
  if (closed) cairo_close_path(c.cr);
  u32 fk = c.st.fill.kind;
  if (!closed) c.st.fill.kind = BRUSH_NONE;
  paint(c, true, nullptr);
  c.st.fill.kind = fk;
}

void curve(context& c, const std::vector<pt>& p) {
  if (!use_matrix(c)) return;
  cairo_move_to(c.cr, p[0].x, p[0].y);
  if (p.size() == 3) {
    pt c1{p[0].x + 2.0 / 3 * (p[1].x - p[0].x), p[0].y + 2.0 / 3 * (p[1].y - p[0].y)};
    pt c2{p[2].x + 2.0 / 3 * (p[1].x - p[2].x), p[2].y + 2.0 / 3 * (p[1].y - p[2].y)};
    cairo_curve_to(c.cr, c1.x, c1.y, c2.x, c2.y, p[2].x, p[2].y);
  } else {
    cairo_curve_to(c.cr, p[1].x, p[1].y, p[2].x, p[2].y, p[3].x, p[3].y);
  }
  paint(c, true, nullptr);
}

namespace {
void span(cairo_t* cr, pt p0, pt p1, pt p2, pt p3) {
  for (int i = 1; i <= 25; i++) {
    double t = i * 0.04, t2 = t * t, t3 = t2 * t;
    auto f = [&](double a, double b, double cc, double d) {
      return 0.5 * (2 * b + (cc - a) * t + (2 * a - 5 * b + 4 * cc - d) * t2 +
                    (3 * (b - cc) + d - a) * t3);
    };
    cairo_line_to(cr, f(p0.x, p1.x, p2.x, p3.x), f(p0.y, p1.y, p2.y, p3.y));
  }
}
}  // namespace

void spline(context& c, const std::vector<pt>& q, bool closed) {
  size_t n = q.size();
  if (n == 2) {
    line(c, q, false);
    return;
  }
  if (!use_matrix(c)) return;
  cairo_move_to(c.cr, q[0].x, q[0].y);
  span(c.cr, closed ? q[n - 1] : q[0], q[0], q[1], q[2]);
  for (size_t i = 0; i + 3 < n; i++) span(c.cr, q[i], q[i + 1], q[i + 2], q[i + 3]);
  if (closed) {
    span(c.cr, q[n - 3], q[n - 2], q[n - 1], q[0]);
    span(c.cr, q[n - 2], q[n - 1], q[0], q[1]);
    cairo_close_path(c.cr);
  } else {
    span(c.cr, q[n - 3], q[n - 2], q[n - 1], q[n - 1]);
  }
  paint(c, true, nullptr);
}

// ---- SHAPE arcs ------------------------------------------------------------------------------
// The endpoint form (radii, rotation, large and sweep flags) turned into a centre, radii and
// angles, the one helper both SHAPE's arc and any endpoint arc go through.
void arc_to(context& c, double x0, double y0, double rx, double ry, double angle, bool large,
            bool sweep, double x, double y) {
  rx = std::fabs(rx);
  ry = std::fabs(ry);
  if ((x0 == x && y0 == y)) return;
  if (rx == 0 || ry == 0) {
    cairo_line_to(c.cr, x, y);
    return;
  }
  double phi = angle * M_PI / 180, cs = std::cos(phi), sn = std::sin(phi);
  double dx = (x0 - x) / 2, dy = (y0 - y) / 2;
  double x1 = cs * dx + sn * dy, y1 = -sn * dx + cs * dy;
  double l = x1 * x1 / (rx * rx) + y1 * y1 / (ry * ry);
  if (l > 1) {
    double s = std::sqrt(l);
    rx *= s;
    ry *= s;
  }
  double num = rx * rx * ry * ry - rx * rx * y1 * y1 - ry * ry * x1 * x1;
  double den = rx * rx * y1 * y1 + ry * ry * x1 * x1;
  double co = den > 0 ? std::sqrt(std::max(0.0, num / den)) : 0;
  if (large == sweep) co = -co;
  double cx1 = co * rx * y1 / ry, cy1 = -co * ry * x1 / rx;
  double cx = cs * cx1 - sn * cy1 + (x0 + x) / 2, cy = sn * cx1 + cs * cy1 + (y0 + y) / 2;
  double t1 = std::atan2((y1 - cy1) / ry, (x1 - cx1) / rx);
  double t2 = std::atan2((-y1 - cy1) / ry, (-x1 - cx1) / rx);
  double dt = t2 - t1;
  if (sweep && dt < 0) dt += 2 * M_PI;
  if (!sweep && dt > 0) dt -= 2 * M_PI;
  cairo_save(c.cr);
  cairo_translate(c.cr, cx, cy);
  cairo_rotate(c.cr, phi);
  cairo_scale(c.cr, rx, ry);
  if (sweep) cairo_arc(c.cr, 0, 0, 1, t1, t1 + dt);
  else cairo_arc_negative(c.cr, 0, 0, 1, t1, t1 + dt);
  cairo_restore(c.cr);
}

// ---- Clips -----------------------------------------------------------------------------------
void clip_rect(context& c, pt a, pt b) {
  cairo_save(c.cr);
  c.clip_depth++;
  if (!use_matrix(c)) {
    // Nothing can show through a clip under a singular matrix.
    cairo_reset_clip(c.cr);
    cairo_identity_matrix(c.cr);
    cairo_rectangle(c.cr, 0, 0, 0, 0);
    cairo_clip(c.cr);
    return;
  }
  cairo_rectangle(c.cr, std::min(a.x, b.x), std::min(a.y, b.y), std::fabs(b.x - a.x),
                  std::fabs(b.y - a.y));
  cairo_clip(c.cr);
}

void pop_clip(context& c) {
  if (!c.clip_depth) return;
  c.clip_depth--;
  cairo_restore(c.cr);
}

// ---- Images ----------------------------------------------------------------------------------
namespace {
// A cairo surface over an image!'s premultiplied pixels; a copy when the image is the
// surface being drawn on. Null for an image without pixels.
cairo_surface_t* image_surface(context& c, const cell* img) {
  u32 record = img->data2;
  if (!record) return nullptr;
  image::pixel_view v = api::image::get_draw_target(record);
  if (!v.pixels || !v.width || !v.height) return nullptr;
  cairo_surface_t* s = cairo_image_surface_create_for_data(
      reinterpret_cast<unsigned char*>(v.pixels), CAIRO_FORMAT_ARGB32, int(v.width),
      int(v.height), int(v.stride));
  if (record != c.image_record) return s;
  cairo_surface_flush(c.surface);
  cairo_surface_t* copy = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, int(v.width), int(v.height));
  cairo_t* t = cairo_create(copy);
  cairo_set_operator(t, CAIRO_OPERATOR_SOURCE);
  cairo_set_source_surface(t, s, 0, 0);
  cairo_paint(t);
  cairo_destroy(t);
  cairo_surface_destroy(s);
  return copy;
}

// Perspective: each device pixel of the quadrilateral's bounds is mapped back into the
// source through the inverse homography and sampled bilinearly.
void perspective(context& c, cairo_surface_t* src, double sx, double sy, double sw, double sh,
                 const pt q[4]) {
  double x0 = q[0].x, y0 = q[0].y, x1 = q[1].x, y1 = q[1].y, x2 = q[2].x, y2 = q[2].y,
         x3 = q[3].x, y3 = q[3].y;
  double dx1 = x1 - x2, dx2 = x3 - x2, dx3 = x0 - x1 + x2 - x3;
  double dy1 = y1 - y2, dy2 = y3 - y2, dy3 = y0 - y1 + y2 - y3;
  double a, b, cc, d, e, f, g = 0, h = 0;
  if (dx3 == 0 && dy3 == 0) {
    a = x1 - x0, b = x2 - x1, cc = x0, d = y1 - y0, e = y2 - y1, f = y0;
  } else {
    double den = dx1 * dy2 - dx2 * dy1;
    if (std::fabs(den) < 1e-12) return;  // a flat quadrilateral covers nothing
    g = (dx3 * dy2 - dx2 * dy3) / den;
    h = (dx1 * dy3 - dx3 * dy1) / den;
    a = x1 - x0 + g * x1, b = x3 - x0 + h * x3, cc = x0;
    d = y1 - y0 + g * y1, e = y3 - y0 + h * y3, f = y0;
  }
  // Unit square -> user space (H), then user -> device (M): D = M * H as 3x3.
  const cairo_matrix_t m = device_matrix(c);
  double H[9] = {a, b, cc, d, e, f, g, h, 1};
  double D[9] = {m.xx * H[0] + m.xy * H[3] + m.x0 * H[6], m.xx * H[1] + m.xy * H[4] + m.x0 * H[7],
                 m.xx * H[2] + m.xy * H[5] + m.x0 * H[8], m.yx * H[0] + m.yy * H[3] + m.y0 * H[6],
                 m.yx * H[1] + m.yy * H[4] + m.y0 * H[7], m.yx * H[2] + m.yy * H[5] + m.y0 * H[8],
                 H[6],                                    H[7],
                 H[8]};
  double det = D[0] * (D[4] * D[8] - D[5] * D[7]) - D[1] * (D[3] * D[8] - D[5] * D[6]) +
               D[2] * (D[3] * D[7] - D[4] * D[6]);
  if (!std::isfinite(det) || std::fabs(det) < 1e-12) return;
  double I[9] = {(D[4] * D[8] - D[5] * D[7]) / det, (D[2] * D[7] - D[1] * D[8]) / det,
                 (D[1] * D[5] - D[2] * D[4]) / det, (D[5] * D[6] - D[3] * D[8]) / det,
                 (D[0] * D[8] - D[2] * D[6]) / det, (D[2] * D[3] - D[0] * D[5]) / det,
                 (D[3] * D[7] - D[4] * D[6]) / det, (D[1] * D[6] - D[0] * D[7]) / det,
                 (D[0] * D[4] - D[1] * D[3]) / det};
  double bx0 = 1e300, by0 = 1e300, bx1 = -1e300, by1 = -1e300;
  for (int i = 0; i < 4; i++) {
    double ux = m.xx * q[i].x + m.xy * q[i].y + m.x0, uy = m.yx * q[i].x + m.yy * q[i].y + m.y0;
    bx0 = std::min(bx0, ux), by0 = std::min(by0, uy), bx1 = std::max(bx1, ux), by1 = std::max(by1, uy);
  }
  int ix0 = int(std::max(0.0, std::floor(bx0))), iy0 = int(std::max(0.0, std::floor(by0)));
  int ix1 = int(std::min(double(c.width), std::ceil(bx1)));
  int iy1 = int(std::min(double(c.height), std::ceil(by1)));
  if (ix1 <= ix0 || iy1 <= iy0) return;
  int ow = ix1 - ix0, oh = iy1 - iy0;
  if (u64(ow) * u64(oh) > MAX_OFFSCREEN) return;
  cairo_surface_t* out = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, ow, oh);
  cairo_surface_flush(src);
  const u8* sp = cairo_image_surface_get_data(src);
  int ss = cairo_image_surface_get_stride(src);
  int iw = cairo_image_surface_get_width(src), ih = cairo_image_surface_get_height(src);
  u8* op = cairo_image_surface_get_data(out);
  int os = cairo_image_surface_get_stride(out);
  auto texel = [&](int x, int y) -> u32 {
    x = std::clamp(x, int(sx), int(sx + sw) - 1);
    y = std::clamp(y, int(sy), int(sy + sh) - 1);
    x = std::clamp(x, 0, iw - 1);
    y = std::clamp(y, 0, ih - 1);
    u32 p;
    std::memcpy(&p, sp + size_t(y) * ss + size_t(x) * 4, 4);
    return p;
  };
  for (int y = 0; y < oh; y++) {
    for (int x = 0; x < ow; x++) {
      double px = ix0 + x + 0.5, py = iy0 + y + 0.5;
      double w = I[6] * px + I[7] * py + I[8];
      if (w == 0) continue;
      double u = (I[0] * px + I[1] * py + I[2]) / w, v = (I[3] * px + I[4] * py + I[5]) / w;
      if (!(u >= 0 && u <= 1 && v >= 0 && v <= 1)) continue;
      double fx = sx + u * sw - 0.5, fy = sy + v * sh - 0.5;
      int ax = int(std::floor(fx)), ay = int(std::floor(fy));
      double tx = fx - ax, ty = fy - ay;
      u32 p00 = texel(ax, ay), p10 = texel(ax + 1, ay), p01 = texel(ax, ay + 1),
          p11 = texel(ax + 1, ay + 1);
      u32 r = 0;
      for (int ch = 0; ch < 32; ch += 8) {
        double v0 = ((p00 >> ch) & 0xFF) * (1 - tx) + ((p10 >> ch) & 0xFF) * tx;
        double v1 = ((p01 >> ch) & 0xFF) * (1 - tx) + ((p11 >> ch) & 0xFF) * tx;
        r |= u32(std::lround(v0 * (1 - ty) + v1 * ty)) << ch;
      }
      std::memcpy(op + size_t(y) * os + size_t(x) * 4, &r, 4);
    }
  }
  cairo_surface_mark_dirty(out);
  cairo_identity_matrix(c.cr);
  cairo_set_source_surface(c.cr, out, ix0, iy0);
  cairo_paint(c.cr);
  cairo_surface_destroy(out);
}
}  // namespace

void image(context& c, const cell* img, const std::vector<pt>& p, bool crop, pt co, pt cs) {
  if (!invertible(device_matrix(c))) return;
  cairo_surface_t* src = image_surface(c, img);
  if (!src) return;
  double w = cairo_image_surface_get_width(src), h = cairo_image_surface_get_height(src);
  double sx = 0, sy = 0, sw = w, sh = h, mx = 0, my = 0;
  if (crop) {
    double l = std::min(co.x, co.x + cs.x), t = std::min(co.y, co.y + cs.y);
    double r = std::max(co.x, co.x + cs.x), b = std::max(co.y, co.y + cs.y);
    if (r <= 0 || b <= 0) {
      cairo_surface_destroy(src);
      return;
    }
    if (l < 0) mx = -l, l = 0;
    if (t < 0) my = -t, t = 0;
    r = std::min(r, w), b = std::min(b, h);
    sx = l, sy = t, sw = r - l, sh = b - t;
  }
  if (sw <= 0 || sh <= 0) {
    cairo_surface_destroy(src);
    return;
  }
  use_matrix(c);
  if (p.size() >= 3) {
    pt q[4] = {p[0], p[1], p[2], p.size() == 4 ? p[3] : pt{p[0].x, p[2].y}};
    perspective(c, src, sx, sy, sw, sh, q);
    cairo_surface_destroy(src);
    return;
  }
  double dx = mx, dy = my, dw = sw, dh = sh;
  if (p.size() == 1) dx += p[0].x, dy += p[0].y;
  if (p.size() == 2) {
    dx = std::min(p[0].x, p[1].x), dy = std::min(p[0].y, p[1].y);
    dw = std::fabs(p[1].x - p[0].x), dh = std::fabs(p[1].y - p[0].y);
  }
  if (dw > 0 && dh > 0) {
    cairo_save(c.cr);
    cairo_translate(c.cr, dx, dy);
    cairo_scale(c.cr, dw / sw, dh / sh);
    cairo_set_source_surface(c.cr, src, -sx, -sy);
    cairo_pattern_set_filter(cairo_get_source(c.cr),
                             dw == sw && dh == sh ? CAIRO_FILTER_NEAREST : CAIRO_FILTER_GOOD);
    // Edge pixels are repeated outward, so a scaled image keeps solid edges.
    cairo_pattern_set_extend(cairo_get_source(c.cr), CAIRO_EXTEND_PAD);
    cairo_rectangle(c.cr, 0, 0, sw, sh);
    cairo_fill(c.cr);
    cairo_restore(c.cr);
  }
  cairo_surface_destroy(src);
}

}  // namespace vyr::draw
