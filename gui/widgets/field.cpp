// `field` faces: single-line EDIT controls (VyrField), a password field with the `password`
// flag, a cue banner from the `hint` option.
#include "gui/widgets/edits.h"

namespace vyr::gui::widgets {

using namespace win;

namespace {
HWND make_field(const cell* face, HWND parent, u32 flags) {
  u32 style = WS_TABSTOP | ES_AUTOHSCROLL;
  if (flags & face_flag::password) style |= ES_PASSWORD;
  const cell* para = facet(face, facet_index::para);
  if (!para || type_of(para) != TYPE_OBJECT) style |= ES_NOHIDESEL;
  u32 exstyle = (flags & face_flag::no_border) ? 0 : WS_EX_CLIENTEDGE;
  HWND h = make_control(face, parent, flags, "VyrField", style, exstyle, text_of(facet(face, facet_index::text)));
  if (is_null(h)) return h;
  set_hint(h, facet(face, facet_index::options));
  const cell* sel = facet(face, facet_index::selected);
  if (sel && type_of(sel) == TYPE_PAIR) set_edit_selection(h, sel);
  return h;
}
}  // namespace

extern const face_type_record field_record = {
    .window_class = "VyrField",
    .procedure = area_wndproc,
    .make = make_field,
    .sync = sync_edit,
    .notify = edit_notify,
    .colour = control_colour,
    .base_class = "EDIT",
    .para = &edit_para,
    .read_text = read_text,
    .enter_event = true,
};

}  // namespace vyr::gui::widgets
