// `drop-list` faces: combo boxes that show the selected item of `data`, chosen from the
// list below.
#include "gui/widgets/lists.h"

namespace vyr::gui::widgets {

namespace {
win::HWND make(const cell* face, win::HWND parent, u32 flags) { return make_combo(face, parent, flags, true); }
}  // namespace

extern const face_type_record drop_list_record = {
    "VyrCombo", combo_wndproc, make, sync_combo, combo_notify, control_colour, false, "ComboBox",
    combo_data_changed};

}  // namespace vyr::gui::widgets
