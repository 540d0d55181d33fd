// `area` faces: multi-line EDIT controls (VyrArea) with a vertical bar; without a para they
// scroll sideways instead of wrapping. Their bars follow their text.
#include "gui/backend/text_measure.h"
#include "gui/widgets/edits.h"

namespace vyr::gui::widgets {

using namespace win;

namespace {
HWND make_area(const cell* face, HWND parent, u32 flags) {
  u32 style = ES_MULTILINE | ES_AUTOVSCROLL | WS_VSCROLL | WS_TABSTOP;
  const cell* para = facet(face, facet_index::para);
  if (!para || type_of(para) != TYPE_OBJECT) style |= ES_AUTOHSCROLL | WS_HSCROLL | ES_NOHIDESEL;
  u32 exstyle = (flags & face_flag::no_border) ? 0 : WS_EX_CLIENTEDGE;
  std::string text = text_of(facet(face, facet_index::text));
  HWND h = make_control(face, parent, flags, "VyrArea", style, exstyle, text);
  if (is_null(h)) return h;
  set_tabs(h, facet(face, facet_index::options));
  paste_size(h, i64(to_utf32(text).size()));
  update_area_scrollbars(h, nullptr);
  const cell* sel = facet(face, facet_index::selected);
  if (sel && type_of(sel) == TYPE_PAIR) set_edit_selection(h, sel);
  return h;
}
}  // namespace

extern const face_type_record area_record = {
    .window_class = "VyrArea",
    .procedure = area_wndproc,
    .make = make_area,
    .sync = sync_edit,
    .notify = edit_notify,
    .colour = control_colour,
    .base_class = "EDIT",
    .para = &edit_para,
    .remade_on_para = true,
    .geometry = geometry_batch::alone,
    .read_text = read_text,
};

}  // namespace vyr::gui::widgets
