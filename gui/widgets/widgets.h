// What the widget files share: the first and last steps of making a face's window, the
// child window most types are, and the sync of the facets every window takes.
#pragma once
#include <string_view>

#include "gui/backend/backend.h"

namespace vyr::gui::widgets {

// The face's offset for its window: a pair! offset facet becomes the point2D! it stands for.
logical_xy take_offset(const cell* face);
// A child window of class `cls` at the face's offset and size: visible with the face,
// disabled with it, with scroll bars for `scrollable`, clipping its children, on top of
// its siblings; `style` is added to that, `text` is its window text.
win::HWND create_child(const cell* face, win::HWND parent, u32 flags, const char* cls,
                       u32 exstyle, u32 style = 0, std::string_view text = {});
// A face whose window the backend draws shows both scroll bars from its creation when it is
// `scrollable`, as a window made with the scroll styles does; its scrollers set or hide them
// from then on. (A native control shows the bars it needs itself.)
void show_own_scroll_bars(win::HWND, u32 flags);
// The steps every made window takes: the flag mask into its slot, the link to its face and
// the face's `cursor` option.
void attach(win::HWND, const cell* face, u32 flags);
// A composed face's window paints again: a layered one at once, any other on its next paint.
void recompose(win::HWND);

// The facets every window takes, in their fixed order: geometry, text, enabled?, visible?,
// selected, flags, draw, color, pane, rate, font and para, image, options. A composed face
// (its record says so) is recomposed where a control would repaint.
void sync_window(const cell* face, win::HWND, u32 mask);

// A window was made in `parent`: when that is a group box, its frame stays below it.
void keep_frame_lowest(win::HWND parent);

// `base` and `rich-text` share the class of faces the backend draws.
win::HWND make_base(const cell* face, win::HWND parent, u32 flags);

}  // namespace vyr::gui::widgets
