// `group-box` faces: panels (VyrPanel) framed by a group box: a BUTTON of that style filling
// the panel, lowest of its children, that the pointer passes through. The frame carries the
// face's text and comes and goes with it; its handle is in the panel's type slot.
#include "gui/backend/events.h"
#include "gui/backend/fonts.h"
#include "gui/widgets/controls.h"
#include "runtime/api/values.h"

namespace vyr::gui::widgets {

using namespace win;

namespace {
HWND frame_of(HWND h) {
  window_extra* x = extra(h);
  return x ? HWND{x->type_slot} : HWND{};
}

void fit_frame(HWND h) {
  RECT r;
  GetClientRect(h, r);
  SetWindowPos(frame_of(h), HWND_BOTTOM, 0, 0, r.width(), r.height(), SWP_NOACTIVATE);
}

HWND make(const cell* face, HWND parent, u32 flags) {
  HWND h = create_child(face, parent, flags, "VyrPanel", 0);
  if (is_null(h)) return h;
  attach(h, face, flags);
  RECT r;
  GetClientRect(h, r);
  HWND frame = CreateWindowEx(0, "BUTTON", text_of(facet(face, facet_index::text)),
                              WS_CHILD | WS_VISIBLE | BS_GROUPBOX, 0, 0, r.width(), r.height(), h, HMENU{},
                              nullptr);
  if (window_extra* x = extra(h)) x->type_slot = raw(frame);
  set_control_font(frame, face);
  fit_frame(h);
  return h;
}

void sync(const cell* face_in, HWND h, u32 mask) {
  cell face = *face_in;
  api::root_guard guard(&face);
  auto bit = [&](u32 n) { return (mask >> n) & 1; };
  // The text is the frame's, not the panel's.
  sync_window(&face, h, mask & ~(1u << facet_index::text));
  HWND frame = frame_of(h);
  if (!IsWindow(h) || !IsWindow(frame)) return;
  if (bit(facet_index::text)) SetWindowText(frame, text_of(facet(&face, facet_index::text)));
  if (bit(facet_index::size)) fit_frame(h);
  if (bit(facet_index::visible)) ShowWindow(frame, logic_true(facet(&face, facet_index::visible)) ? SW_SHOW : SW_HIDE);
  if (bit(facet_index::font)) {
    set_control_font(frame, &face);
    InvalidateRect(frame, nullptr, true);
  }
  // The frame stays below the children as they come and go.
  if (bit(facet_index::pane)) SetWindowPos(frame, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}
}  // namespace

void keep_frame_lowest(HWND parent) {
  const cell* face = face_of_window(parent);
  if (!face || !face_type_is(face, face_type::group_box)) return;
  HWND frame = frame_of(parent);
  if (IsWindow(frame)) SetWindowPos(frame, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

namespace {
// The frame goes with the group box.
void release(const cell*, HWND h) {
  u32 frame = extra(h)->type_slot;
  if (frame) DestroyWindow(HWND(frame));
}
}  // namespace

extern const face_type_record group_box_record = {
    .window_class = "VyrPanel",
    .procedure = window_wndproc,
    .make = make,
    .sync = sync,
    .colour = control_colour,
    .composed = true,
    .release = release,
    .geometry = geometry_batch::alone,
    .child_window_made = keep_frame_lowest,
};

}  // namespace vyr::gui::widgets
