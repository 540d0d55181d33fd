// DRAW on window surfaces: the DPI scope, the face's background, colour, image and text,
// then the block; the end always runs.
#include "gui/backend/draw_face.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "gui/draw/internal.h"
#include "gui/backend/events.h"
#include "gui/win/theme.h"
#include "runtime/collector.h"
#include "runtime/datatypes/image.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/word.h"
#include "runtime/datatypes/pair.h"
#include "runtime/fire.h"
#include "runtime/datatypes/actions.h"
#include "runtime/stack.h"
#include "runtime/platform.h"

namespace vyr::gui {

std::optional<u32> background_colour(win::HWND h, const cell* face) {
  const cell* colour = face ? facet(face, facet_index::color) : nullptr;
  if (colour && type_of(colour) == TYPE_TUPLE) return draw::tuple_colour(colour);
  // Nothing lies below a top level: without a colour it is the panel colour of its palette
  // (under the dark theme its labels, drawn in the dark palette's text colour, stay readable).
  if (!(win::GetWindowLong(h, win::GWL_STYLE) & win::WS_CHILD))
    return win::theme_color(h, win::theme::part::face) & 0xFFFFFF;
  return std::nullopt;
}

void fill_background(win::HWND h, win::HDC dc, const cell* face) {
  if (auto colour = background_colour(h, face)) {
    win::RECT r;
    win::GetClientRect(h, r);
    win::FillRect(dc, r, win::COLORREF(*colour & 0xFFFFFF));
  }
}

namespace {
void paint_face(window_run& r) {
  const cell* face_ptr = face_of_window(r.hwnd);
  draw::context& c = r.ctx;
  cairo_save(c.cr);
  cairo_set_operator(c.cr, CAIRO_OPERATOR_SOURCE);
  double rgba[4] = {1, 1, 1, 0};  // no colour: transparent white, what lies below shows
  if (auto colour = background_colour(r.hwnd, face_ptr)) draw::colour_rgba(*colour, rgba);
  cairo_set_source_rgba(c.cr, rgba[0], rgba[1], rgba[2], rgba[3]);
  cairo_paint(c.cr);
  cairo_restore(c.cr);
  if (!face_ptr) return;
  cell face = *face_ptr;
  collector::root_guard g(&face);
  const cell* img = facet(&face, facet_index::image);
  logical_xy size = xy_of(facet(&face, facet_index::size));
  if (img && type_of(img) == TYPE_IMAGE && size.x > 0 && size.y > 0) {
    cell iv = *img;
    collector::root_guard gi(&iv);
    draw::image(c, &iv, {{0, 0}, {double(size.x), double(size.y)}}, false, {0, 0}, {0, 0});
  }
  bool window = slots_of(&face).top_level;
  cell text{TYPE_NONE, 0, 0, 0};
  if (const cell* p = facet(&face, facet_index::text)) text = *p;
  if (!window && type_of(&text) == TYPE_STRING) {
    cell t = text;
    collector::root_guard gt(&t);
    const cell* font = facet(&face, facet_index::font);
    if (font && type_of(font) == TYPE_OBJECT) draw::font(c, font);
    if (!c.st.text_colour_fixed) {
      win::COLORREF w = win::GetSysColor(win::COLOR_WINDOWTEXT);
      c.st.pen.colour = u32(w) & 0xFFFFFF;
      c.st.pen.kind = draw::BRUSH_SOLID;
    }
    try {
      draw::face_text(c, &face);
    } catch (const thrown& t) {
      // A faulty style list of a rich-text face: reported like a faulty draw block, and the
      // paint goes on.
      if (t.level != THROW_ERROR) throw;
      report_handler_error(t, handler_site::draw, c.reported);
    }
    draw::pen_colour(c, 0, false);
    c.st.text_colour = 0;
  }
}
}  // namespace

bool draw_begin(window_run& r, win::HWND h) {
  r.hwnd = h;
  i32 saved = enter_dpi_scope(h);
  cairo_surface_t* s = win::window_surface(h);
  if (!s) {
    // The surface is made with the window's first device context.
    win::HDC dc = win::GetDC(h);
    if (!win::is_null(dc)) win::ReleaseDC(h, dc);
    s = win::window_surface(h);
  }
  if (!s) {
    leave_dpi_scope(saved);
    r.saved_dpi = -1;
    return false;
  }
  r.saved_dpi = saved;
  draw::begin_on_surface(r.ctx, s, 96);
  r.ctx.scale = double(g().dpi_x) / 96.0;
  try {
    paint_face(r);
  } catch (...) {
    // A failed begin leaves nothing behind: the caller runs no end for it.
    draw_end(r);
    throw;
  }
  return true;
}

void draw_end(window_run& r) {
  // A window destroyed while its paint ran cannot clear its slot: the run's entry goes here.
  set_paint_run(win::HWND{}, &r, false);
  if (r.saved_dpi != -1) leave_dpi_scope(r.saved_dpi);
  r.saved_dpi = -1;
  draw::end(r.ctx);
}

void run_draw(win::HWND h, const cell* commands_in, bool catch_errors) {
  cell commands = *commands_in;
  collector::root_guard g(&commands);
  window_run r;
  if (!draw_begin(r, h)) return;
  try {
    if (type_of(&commands) == TYPE_BLOCK) draw::parse(r.ctx, &commands);
  } catch (const thrown& t) {
    draw_end(r);
    if (t.level != THROW_ERROR) throw;
    if (!catch_errors) {
      // The error lives only in the exception: keep it while the check allocates.
      cell err = t.value;
      collector::root_guard ge(&err);
      if (r.ctx.reported && draw::silent_q()) return;
      throw;
    }
    report_handler_error(t, handler_site::draw, r.ctx.reported);
    return;
  } catch (...) {
    draw_end(r);
    throw;
  }
  draw_end(r);
}

namespace {
// The slot holds a 1-based index into this table: a run's address does not fit 32 bits.
std::vector<window_run*>& runs() {
  static std::vector<window_run*> r;
  return r;
}
}  // namespace

void set_paint_run(win::HWND h, window_run* run, bool keep) {
  auto& r = runs();
  if (!keep) {
    if (run && run->slot && run->slot <= r.size() && r[run->slot - 1] == run) r[run->slot - 1] = nullptr;
    if (run) run->slot = 0;
    return;
  }
  win::window_extra* ex = win::extra(h);
  if (!ex) return;
  if (ex->draw_context && ex->draw_context <= r.size()) {
    if (window_run* old = r[ex->draw_context - 1]) old->slot = 0;
    r[ex->draw_context - 1] = nullptr;
  }
  ex->draw_context = 0;
  if (!run) return;
  auto free_slot = std::find(r.begin(), r.end(), nullptr);
  if (free_slot == r.end()) free_slot = r.insert(r.end(), nullptr);
  *free_slot = run;
  run->slot = u32(free_slot - r.begin()) + 1;
  ex->draw_context = run->slot;
}

window_run* paint_run(win::HWND h) {
  win::window_extra* ex = win::extra(h);
  if (!ex || !ex->draw_context || ex->draw_context > runs().size()) return nullptr;
  window_run* r = runs()[ex->draw_context - 1];
  return r && r->hwnd == h ? r : nullptr;
}

void OS_draw_face(win::HWND h, const cell* commands_in) {
  window_run* r = paint_run(h);
  if (!r || !r->ctx.cr || type_of(commands_in) != TYPE_BLOCK) return;
  cell commands = *commands_in;
  collector::root_guard g(&commands);
  r->ctx.reported = false;
  try {
    draw::parse(r->ctx, &commands);
  } catch (const thrown& t) {
    if (t.level != THROW_ERROR) throw;
    report_handler_error(t, handler_site::draw, r->ctx.reported);
  }
}

}  // namespace vyr::gui
