// `text` faces: labels on STATIC (VyrFace) that take the pointer (a press captures it until
// the release), aligned and wrapped as their para says.
#include "gui/widgets/controls.h"
#include "gui/win/controls/controls.h"

namespace vyr::gui::widgets {

using namespace win;

namespace {
LRESULT face_wndproc(HWND h, u32 msg, WPARAM w, LPARAM l) {
  switch (msg) {
    case WM_LBUTTONDOWN:
      SetCapture(h);
      return 0;
    case WM_LBUTTONUP:
      ReleaseCapture();
      return 0;
    case WM_NCHITTEST:
      return HTCLIENT;
  }
  return CallWindowProc(static_proc, h, msg, w, l);
}

HWND make_text(const cell* face, HWND parent, u32 flags) {
  return make_control(face, parent, flags, "VyrFace", 0, 0, text_of(facet(face, facet_index::text)));
}
}  // namespace

// The para's style bits: SS_LEFT/CENTER/RIGHT, SS_CENTERIMAGE for `middle`, and
// SS_LEFTNOWORDWRAP for a text that does not wrap.
constexpr para_style text_para{{0, 1, 2, 0}, {0, 0x200, 0, 0}, 0, 0x4000, 0x4203};

extern const face_type_record text_record = {
    .window_class = "VyrFace",
    .procedure = face_wndproc,
    .make = make_text,
    .sync = sync_control,
    .colour = control_colour,
    .base_class = "STATIC",
    .para = &text_para,
};

}  // namespace vyr::gui::widgets
