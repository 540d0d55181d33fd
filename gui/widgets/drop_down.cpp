// `drop-down` faces: combo boxes whose text is edited in a field, with the items of `data`
// in the list below.
#include "gui/widgets/lists.h"

namespace vyr::gui::widgets {

namespace {
win::HWND make(const cell* face, win::HWND parent, u32 flags) { return make_combo(face, parent, flags, false); }
}  // namespace

extern const face_type_record drop_down_record = {
    .window_class = "VyrCombo",
    .procedure = combo_wndproc,
    .make = make,
    .sync = sync_combo,
    .notify = combo_notify,
    .colour = control_colour,
    .base_class = "ComboBox",
    .data_changed = combo_data_changed,
    .read_text = read_text,
    .enter_event = true,
};

}  // namespace vyr::gui::widgets
