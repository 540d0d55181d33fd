// DRAW and SHAPE on cairo: the drawing context of one run, its brushes, transformations and
// saved states, the parser of both dialects, the rendering of shapes, text and images, and
// the entry points that run a DRAW block on an image (and, later, on a window's surface).
#pragma once
#include <cairo.h>
#include <pango/pangocairo.h>

#include <string>
#include <vector>

#include "runtime/cell.h"

namespace vyr::draw {

// Brush kinds: none, solid colour, gradient at given positions, gradient fitted to each
// shape, image brush (pattern or bitmap).
enum brush_kind : u32 { BRUSH_NONE = 0, BRUSH_SOLID, BRUSH_GRADIENT, BRUSH_FITTED, BRUSH_IMAGE };
enum gradient_kind : u32 { GRADIENT_NONE = 0, GRADIENT_LINEAR, GRADIENT_RADIAL };

// A pen or fill brush. `pattern` is a reference this brush owns; `matrix` maps brush space
// to user space (the brush's own transformation, composed by 'pen/'fill-pen).
struct brush {
  u32 kind = BRUSH_NONE;
  u32 colour = 0;  // colour word of a solid brush (R bits 0-7 ... stored alpha 24-31)
  u32 gradient = GRADIENT_NONE;
  cairo_pattern_t* pattern = nullptr;
  cairo_matrix_t matrix{1, 0, 0, 1, 0, 0};
  // A fitted gradient keeps its stops and spread; its geometry is made per shape.
  std::vector<double> stops;  // offset, r, g, b, a per stop
  cairo_extend_t extend = CAIRO_EXTEND_PAD;

  brush() = default;
  brush(const brush& o) { *this = o; }
  brush& operator=(const brush& o);
  ~brush() { release(); }
  void release();
  void set_pattern(cairo_pattern_t* p);  // takes the reference
};

struct shadow {
  double x = 0, y = 0, blur = 0, spread = 0;
  u32 colour = 0;
  bool inset = false;
};

// Everything `push` saves and restores.
struct drawing_state {
  brush pen, fill;
  u32 saved_pen_kind = BRUSH_NONE;
  double line_width = 1.0;
  cairo_line_join_t join = CAIRO_LINE_JOIN_MITER;
  cairo_line_cap_t cap = CAIRO_LINE_CAP_BUTT;
  std::vector<double> dashes;
  u32 text_colour = 0;
  bool text_colour_fixed = false;
  std::string font_family = "DejaVu Sans";
  double font_size = 9;  // points
  u32 text_style = 0;    // bit 0 bold, 1 italic, 2 underline, 3 strike
  u32 v_align = 0;       // of a face's text: 0 top, 1 middle, 2 bottom
  double text_angle = 0; // the font's angle, degrees counter-clockwise
  bool anti_alias = true;
  cairo_matrix_t matrix{1, 0, 0, 1, 0, 0};  // user space to device space
  std::vector<shadow> shadows;
};

constexpr u32 STYLE_BOLD = 1, STYLE_ITALIC = 2, STYLE_UNDERLINE = 4, STYLE_STRIKE = 8;

// The record of one DRAW run.
struct context {
  cairo_t* cr = nullptr;
  cairo_surface_t* surface = nullptr;
  u32 image_record = 0;       // the image drawn on, 0 for a window surface
  u32 width = 0, height = 0;  // of the surface in pixels
  double dpi = 96;            // 1 unit = 1 pixel on an image
  double scale = 1;           // device pixels per unit: a window's DPI / 96
  drawing_state st;
  u32 clip_depth = 0;  // clips pushed (each a cairo save) and not popped; any depth
  // SHAPE state.
  bool shape_drawing = true;
  double cx = 0, cy = 0;      // current point
  bool curve = false;         // the last segment was a curve
  double lcx = 0, lcy = 0;    // last control point
  double fx = 0, fy = 0;      // start of the current figure
  bool reported = false;      // the error in flight was reported by the dialects
  PangoContext* pango = nullptr;
};

// Starts a run on an image! value's pixels (premultiplied ARGB32, which is cairo's format);
// `image` must stay reachable until `end`.
void begin_on_image(context& c, const cell* image);
// Starts a run on a caller's cairo surface (a window's back buffer); the surface is
// referenced for the run.
void begin_on_surface(context& c, cairo_surface_t* surface, double dpi);
// The run's matrix with the device scale after it: user units to surface pixels.
cairo_matrix_t device_matrix(const context& c);
void end(context& c);  // pops every clip, flushes, releases what the run made

// Draws a DRAW block from its index on the context. Errors of the dialect raise
// script draw-invalid / draw-infinite with the block at the offending value.
void parse(context& c, const cell* block);
// Applies a rich-text style list to a pango layout of `text` (UTF-8); backdrops are
// painted by the caller from `backdrops` (byte start, byte end, colour word).
struct backdrop {
  u32 start, end, colour;
};
void parse_styles(context* c, PangoLayout* layout, const cell* styles, const std::string& text,
                  std::vector<backdrop>* backdrops);

// gui/run-draw on an image: begin, parse inside a catch, end always; an error is raised
// again, unless the dialects reported it and `system/view/silent?` drops it.
void run_draw_on_image(const cell* image, const cell* commands);

// Lets go of the shaped text layouts kept between runs.
void drop_kept_layouts();

// Whether system/view/silent? is true: DRAW errors are then dropped.
bool silent_q();

// UTF-8 byte offset of code point `index` (0-based) in `text`, clamped to its length.
u32 byte_of_char(const std::string& text, i64 index);
// Code point index of a UTF-8 byte offset.
i64 char_of_byte(const std::string& text, u32 byte);

void init_names();  // interns the field names text reading uses (before any lookup)
// Puts the body of gui/draw-image in the runtime's hook table (see gui_entry/draw.h).
void install_hooks();

}  // namespace vyr::draw
