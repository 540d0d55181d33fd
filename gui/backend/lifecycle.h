// The view lifecycle: making a face's native window, applying its changed facets,
// attaching, destroying, and turning a face into pixels.
#pragma once
#include <string>
#include <vector>

#include "gui/backend/backend.h"

namespace vyr::gui {

// Makes the face's window through its type's record (gui/face/face_types.h); a type
// without a record yet prints "*** View Error: CreateWindowEx failed!" and gives 0, as a
// failed creation does. A type that names no face type raises face-type.
u32 make_view_core(const cell* face, u32 parent);
u32 OS_make_view(const cell* face, u32 parent);   // inside the parent's DPI scope
// Applies the changed facets (the state block's mask, then cleared) in their fixed order.
void sync_face(const cell* face, win::HWND);
void OS_update_view(const cell* face);
void OS_update_views(const cell* faces);
// A face's window joins `parent`'s window (none: it leaves its own and hides); its
// `visible?` becomes whether it has a parent, unless the parent is a tab-panel.
void attach_child(const cell* face, const cell* parent);
// A change inside a series a shown face owns (`value`, changed by `action` at the 0-based
// `index`, `part` values): the faces a `pane` change added join the owner's window and the
// children are re-stacked in pane order; any other facet goes out as update-view sends it.
void OS_update_facet(const cell* owner, const cell* word, const cell* value, const cell* action,
                     const cell* new_value, i32 index, i32 part);
void OS_destroy_view(const cell* face, bool loop_owner);
void OS_show_window(win::HWND);
// gui/layout-children: the windows of the face's pane placed again from their logical
// offsets and sizes at the current DPI, and their own panes after them; the controls of
// faces without a `font` get the default font made anew (it follows the DPI and theme).
void layout_children(const cell* face);
// The children's windows stacked in the order of the face's pane, the last one uppermost
// (one deferred batch), and so in the panes of children whose pane holds pages.
void restack_children(const cell* face);
void OS_redraw(win::HWND);
// The pixels of a shown face as an ARGB32 surface (the caller destroys it); null for a
// face without a window.
cairo_surface_t* face_to_surface(const cell* face);
// `to image!` of a face: false for an object that is no face; none for a face without a
// window; else its pixels (a `screen` face: the screen's, from 0x0 over its size).
bool face_to_image(const cell* object, cell* out);
// Gives the runtime `to image!` of faces.
void install_lifecycle_hooks();
// The error box of a script's uncaught error and of the runtime's fatal report, shown by the
// dialogs in use (recorded by the headless display's answer queue); nothing before the GUI
// has started, since the report is on standard error already.
void error_message_box(const std::string& caption, const std::string& text);

}  // namespace vyr::gui
