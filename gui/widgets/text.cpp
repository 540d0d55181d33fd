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

extern const face_type_record text_record = {
    "VyrFace", face_wndproc, make_text, sync_control, nullptr, control_colour, false, "STATIC", nullptr};

}  // namespace vyr::gui::widgets
