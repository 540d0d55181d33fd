// Operations shared by the DRAW parser and the renderer.
#pragma once
#include "gui/draw/draw.h"

namespace vyr::draw {

struct pt {
  double x, y;
};

// Colours: the colour word of a tuple, and its cairo channels (stored alpha inverted).
u32 tuple_colour(const cell* tuple);
void colour_rgba(u32 colour, double rgba[4]);

// Brushes.
void pen_colour(context& c, u32 colour, bool off);
void fill_colour(context& c, u32 colour, bool off);
void set_line_width(context& c, double w);
void set_gradient(context& c, bool fill, u32 kind, const std::vector<double>& stops,
                  const std::vector<pt>* geometry, double radius, bool focal,
                  cairo_extend_t extend);
void set_positional_gradient(context& c, bool fill, u32 kind, pt offset, double start,
                             double stop, double angle, double sx, double sy,
                             const std::vector<double>& stops);
// An image brush over a tile surface (referenced); `mode` 0 tile, 1 flip-x, 2 flip-y,
// 3 flip-xy, 4 clamp.
void set_image_brush(context& c, bool fill, cairo_surface_t* tile, pt start, pt end, bool has_start,
                     bool has_end, u32 mode);

// Transformations: compose T before the current matrix of the surface or of a brush
// (target 0 surface, 1 pen, 2 fill-pen).
void transform(context& c, u32 target, const cairo_matrix_t& t);
void reset_matrix(context& c, u32 target);
void invert_matrix(context& c, u32 target);

// Saved states: push copies the state and remembers the clip depth; pop restores both.
struct saved {
  drawing_state st;
  u32 clip_depth;
};
class state_guard {
 public:
  explicit state_guard(context& c) : c_(c), s_{c.st, c.clip_depth} {}
  ~state_guard();
  state_guard(const state_guard&) = delete;
  state_guard& operator=(const state_guard&) = delete;

 private:
  context& c_;
  saved s_;
};

// Shapes.
void line(context& c, const std::vector<pt>& p, bool closed);
void box(context& c, pt a, pt b, double radius);
void ellipse_box(context& c, double x, double y, double w, double h);
void arc(context& c, pt centre, pt radii, double start, double sweep, bool closed);
void curve(context& c, const std::vector<pt>& p);
void spline(context& c, const std::vector<pt>& p, bool closed);
void text(context& c, pt at, const cell* value);
// A window face's own text over the face's box: its font, size, para and wrapping, without
// the face's colour (painted already) or a style list unless it is rich text.
void face_text(context& c, const cell* face);
void font(context& c, const cell* font_object);
// The pango layout of a face (its font, text, size and style list) over the state `s`,
// which the face's font updates; the caller unrefs it.
// With `pieces_ok`, a text that lay_out_face lays out in pieces is left out of the layout.
PangoLayout* face_layout(context& c, const cell* face, drawing_state& s,
                         std::vector<backdrop>* bds, std::string* text, double* width,
                         double* height, bool pieces_ok = false);
// Rows of a long wrapped text laid out on their own: the piece's layout holds the text's
// bytes from `byte0` on, and stands `y0` pango units below the text's top. The rows were
// decided by the bytes before `decided_to` alone (past the text's end for the last piece),
// so a text that keeps those bytes keeps the piece.
struct text_piece {
  PangoLayout* layout;   // one reference for each laid_text that holds the piece
  u32 byte0;
  u32 decided_to;
  int y0;
};
// A face's text laid out for drawing and measuring: the shaped layout and what drawing it
// takes beyond the layout. It is made from the face alone (its font, para, size, text and
// style list, the default font without a font object), never from a run's state. A long
// wrapped text is laid out in pieces of whole rows instead (`layout` is null): an edit
// shapes again only the rows from the piece it touches, and a paint only the pieces shown.
struct laid_text {
  PangoLayout* layout = nullptr;   // one reference, owned
  std::vector<text_piece> pieces;
  std::vector<backdrop> backdrops;
  std::string text;                // UTF-8, as laid out
  double width = 0, height = 0;    // the face's size; 0 when it has none
  bool font_object = false;        // the face has a font: its colour, if any, is the text's
  bool colour_fixed = false;
  u32 colour = 0;
  double angle = 0;
  u32 v_align = 0;
  laid_text() = default;
  laid_text(const laid_text&) = delete;
  laid_text& operator=(const laid_text&) = delete;
  ~laid_text() {
    if (layout) g_object_unref(layout);
    for (text_piece& p : pieces) g_object_unref(p.layout);
  }
  size_t piece_count() const { return pieces.empty() ? 1 : pieces.size(); }
  text_piece piece(size_t i) const { return pieces.empty() ? text_piece{layout, 0, 0, 0} : pieces[i]; }
  // The piece that holds byte `b` (a piece's first byte starts its first row).
  size_t piece_of_byte(u32 b) const;
  // The piece whose rows lie at `y` pango units from the top (the first or the last one
  // beyond either end).
  size_t piece_of_y(int y) const;
  // Logical height of the whole text, in pango units.
  int height_units() const;
  PangoContext* context() const { return pango_layout_get_context(piece(0).layout); }
};
void lay_out_face(context& c, const cell* face, laid_text& out);
// The kept twin of a fresh, not yet shaped layout of `text` (whose reference passes to
// the keeper), or the layout itself, kept from now on; one reference to the answer is the
// caller's. A kept layout is shared: it is never changed.
PangoLayout* kept_twin(PangoLayout* l, const std::string& text);

// Draws an image! value; points: 0-4 corners; `crop` given as offset and size.
void image(context& c, const cell* img, const std::vector<pt>& points, bool crop, pt crop_at,
           pt crop_size);
void clip_rect(context& c, pt a, pt b);
void pop_clip(context& c);
void fill_and_stroke_path(context& c, bool even_odd);  // the current cairo path

// The SVG-style arc from the current point (endpoint form) into the current cairo path.
void arc_to(context& c, double x0, double y0, double rx, double ry, double angle, bool large,
            bool sweep, double x, double y);

}  // namespace vyr::draw
