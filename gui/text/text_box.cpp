// Text-box metrics on pango. The language counts code points and pango counts UTF-8 bytes:
// every position crosses through draw::byte_of_char / char_of_byte, and line lengths are
// counted in code points too, so an index and a length are always in the same unit.
#include "gui/text/text_box.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <string_view>

#include "gui/draw/internal.h"
#include "gui/text/handles.h"
#include "runtime/api/values.h"

namespace vyr::text_box {

namespace {
// One measuring surface for all queries, 1 unit = 1 pixel at 96 DPI.
draw::context& measurer() {
  static draw::context c = [] {
    draw::context m;
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 1, 1);
    draw::begin_on_surface(m, s, 96);
    cairo_surface_destroy(s);
    return m;
  }();
  return c;
}

cell make_point(double x, double y) { return api::make_point(float(x), float(y)); }

double px(int units) { return double(units) / PANGO_SCALE; }

struct layout_guard {
  PangoLayout* l;
  ~layout_guard() { if (l) g_object_unref(l); }
};

// Width of the laid-out text without the blanks that end each line: the widest line's
// extent from its first to its last character, wherever alignment puts it in the box.
double width_without_trailing_blanks(PangoLayout* l, std::string_view text) {
  double w = 0;
  int n = pango_layout_get_line_count(l);
  for (int i = 0; i < n; i++) {
    PangoLayoutLine* line = pango_layout_get_line_readonly(l, i);
    int start = line->start_index, end = line->start_index + line->length;
    while (end > start && (text[size_t(end - 1)] == ' ' || text[size_t(end - 1)] == '\t' ||
                           text[size_t(end - 1)] == '\n' || text[size_t(end - 1)] == '\r'))
      end--;
    if (end <= start) continue;
    int* ranges = nullptr;
    int count = 0;
    pango_layout_line_get_x_ranges(line, start, end, &ranges, &count);
    if (count > 0) {
      int left = ranges[0], right = ranges[1];
      for (int k = 1; k < count; k++) {
        left = std::min(left, ranges[2 * k]);
        right = std::max(right, ranges[2 * k + 1]);
      }
      w = std::max(w, px(right - left));
    }
    g_free(ranges);
  }
  return w;
}
}  // namespace

void metrics(const cell* face_in, const cell* arg_in, i32 kind, cell* out) {
  draw::init_names();
  cell face = *face_in, arg = *arg_in;
  api::root_guard g1(&face), g2(&arg);
  draw::context& c = measurer();
  // The layout the face's `handles` keep, unless they ask for a new one; a face without
  // `handles` is laid out for this query alone.
  draw::laid_text fresh;
  const draw::laid_text* t = text_box::layout_of(c, &face, !layout_needed_q(&face));
  if (!t) {
    draw::lay_out_face(c, &face, fresh);
    t = &fresh;
  }
  const std::string& text = t->text;
  auto caret_rect = [&](i64 index) {
    PangoRectangle r;
    // Past the end stops at the end: no count of the whole text at each key.
    u32 b = draw::byte_of_char(text, index - 1);
    draw::text_piece p = t->piece(t->piece_of_byte(b));
    pango_layout_index_to_pos(p.layout, int(b - p.byte0), &r);
    r.y += p.y0;
    return r;
  };
  auto at_point = [&](bool trailing_half) -> i64 {
    double x = 0, y = 0;
    if (type_of(&arg) == TYPE_PAIR) x = i32(arg.data2), y = i32(arg.data3);
    else if (type_of(&arg) == TYPE_POINT2D) x = api::point_axis(&arg, 0), y = api::point_axis(&arg, 1);
    if (!std::isfinite(x)) x = 0;
    if (!std::isfinite(y)) y = 0;
    x = std::clamp(x, -1e6, 1e6), y = std::clamp(y, -1e6, 1e6);
    int index = 0, trailing = 0;
    draw::text_piece p = t->piece(t->piece_of_y(int(y * PANGO_SCALE)));
    pango_layout_xy_to_index(p.layout, int(x * PANGO_SCALE), int(y * PANGO_SCALE) - p.y0, &index, &trailing);
    i64 ch = draw::char_of_byte(text, u32(index) + p.byte0);
    if (trailing_half && trailing > 0) ch += 1;  // pango counts the grapheme's characters
    return std::min(ch, draw::char_of_byte(text, u32(text.size()))) + 1;
  };
  switch (kind) {
    case CARET_TO_OFFSET:
    case CARET_TO_OFFSET_LOWER: {
      i64 index = type_of(&arg) == TYPE_INTEGER ? i32(arg.data2) : 1;
      PangoRectangle r = caret_rect(index);
      double x = px(r.x), y = std::max(0.0, px(r.y));
      if (kind == CARET_TO_OFFSET_LOWER) x += px(r.width), y += px(r.height);
      *out = make_point(x, y);
      return;
    }
    case OFFSET_TO_CARET: *out = cell{TYPE_INTEGER, 0, u32(i32(at_point(true))), 0}; return;
    case OFFSET_TO_CHAR: *out = cell{TYPE_INTEGER, 0, u32(i32(at_point(false))), 0}; return;
    case LINE_HEIGHT: {
      i64 index = type_of(&arg) == TYPE_INTEGER ? i32(arg.data2) : 1;
      double height = 0;
      bool done = false;
      for (size_t k = 0; k < t->piece_count() && !done; k++) {
        draw::text_piece p = t->piece(k);
        u32 piece_end = k + 1 < t->piece_count() ? t->piece(k + 1).byte0 : u32(text.size());
        PangoLayout* l = p.layout;
        int n = pango_layout_get_line_count(l);
        PangoLayoutIter* it = pango_layout_get_iter(l);
        for (int i = 0; i < n; i++) {
          PangoRectangle lr;
          pango_layout_iter_get_line_extents(it, nullptr, &lr);
          height = px(lr.height);
          // A line runs to the next line's start, its break included, counted in code
          // points like the index.
          PangoLayoutLine* line = pango_layout_iter_get_line_readonly(it);
          u32 next = i + 1 < n ? p.byte0 + u32(pango_layout_get_line_readonly(l, i + 1)->start_index) : piece_end;
          i64 chars = draw::char_of_byte(text, next) - draw::char_of_byte(text, p.byte0 + u32(line->start_index));
          index -= chars;
          if (index < 1) done = true;
          if (done || !pango_layout_iter_next_line(it)) break;
        }
        pango_layout_iter_free(it);
      }
      *out = cell{TYPE_FLOAT, 0, 0, 0};
      set_cell_float(out, height);
      return;
    }
    case SIZE_TEXT: {
      double width = 0;
      for (size_t k = 0; k < t->piece_count(); k++) {
        draw::text_piece p = t->piece(k);
        width = std::max(width, width_without_trailing_blanks(p.layout, std::string_view(text).substr(p.byte0)));
      }
      *out = make_point(width, px(t->height_units()));
      return;
    }
    case LINE_COUNT: {
      int rows = 0;
      for (size_t k = 0; k < t->piece_count(); k++) rows += pango_layout_get_line_count(t->piece(k).layout);
      *out = cell{TYPE_INTEGER, 0, u32(rows), 0};
      return;
    }
    default:
      *out = cell{TYPE_NONE, 0, 0, 0};
  }
}

void text_size(const cell* face_in, const cell* text_in, cell* out) {
  draw::init_names();
  cell face = *face_in, t = *text_in;
  api::root_guard g1(&face), g2(&t);
  draw::context& c = measurer();
  draw::drawing_state s;
  std::string text;
  layout_guard lg{draw::face_layout(c, &face, s, nullptr, &text, nullptr, nullptr)};
  if (type_of(&t) == TYPE_STRING) {
    text = api::text_of(&t);
    pango_layout_set_text(lg.l, text.data(), int(text.size()));
    pango_layout_set_attributes(lg.l, nullptr);
  }
  PangoRectangle logical;
  pango_layout_get_extents(lg.l, nullptr, &logical);
  *out = make_point(width_without_trailing_blanks(lg.l, text), px(logical.height));
}

}  // namespace vyr::text_box
