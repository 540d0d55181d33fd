// `window` faces: top-level windows with a caption and the frame their flags ask for, sized
// for the DPI of the monitor they land on.
#include "gui/backend/events.h"
#include "gui/backend/menus.h"
#include "gui/win/menus/menus.h"
#include "gui/widgets/widgets.h"

namespace vyr::gui::widgets {

using namespace win;

namespace {
HWND make_window(const cell* face, HWND parent, u32 flags) {
  logical_xy offset = take_offset(face);
  logical_xy size = xy_of(facet(face, facet_index::size));
  u32 style = WS_CAPTION | WS_CLIPCHILDREN, exstyle = 0;
  if (!(flags & face_flag::no_min)) style |= WS_MINIMIZEBOX;
  if (!(flags & face_flag::no_max)) style |= WS_MAXIMIZEBOX;
  if (!(flags & face_flag::no_buttons)) style |= WS_SYSMENU;
  if (flags & face_flag::popup) exstyle |= WS_EX_TOOLWINDOW;
  if (flags & face_flag::resize) style |= WS_THICKFRAME;
  else style &= ~WS_MAXIMIZEBOX;
  if (flags & face_flag::no_title) style = WS_POPUP | WS_BORDER;
  if (flags & face_flag::no_border) style = WS_POPUP;
  if (size.x < 0) size.x = 200;
  if (size.y < 0) size.y = 200;
  HWND owner = parent;
  if (flags & face_flag::modal) owner = GetActiveWindow();
  set_dpi_from_rect(offset.x, offset.y, size.x, size.y);
  RECT r{to_pixels(offset.x), to_pixels(offset.y), 0, 0};
  r.right = add32(r.left, to_pixels(size.x));
  r.bottom = add32(r.top, to_pixels(size.y));
  i32 used_dpi = g().dpi_x;
  // A menu bar is part of the frame, and a window with one has its system menu.
  HMENU bar = make_menu_bar(face);
  if (!is_null(bar)) style |= WS_SYSMENU;
  // The bar as it wraps at this width: the client area keeps the offset and size asked for.
  AdjustWindowRectForMenu(r, style, bar, exstyle, u32(used_dpi));
  HWND h = CreateWindowEx(exstyle, "VyrWindow", text_of(facet(face, facet_index::text)), style,
                          r.left, r.top, r.width(), r.height(), owner, bar, const_cast<cell*>(face));
  if (is_null(h)) {
    if (!is_null(bar)) DestroyMenu(bar);
    return h;
  }
  i32 dpi = window_dpi(h);
  if (dpi != used_dpi) {
    // The monitor the window landed on has another DPI: size it for that one.
    set_dpi(dpi);
    RECT c{0, 0, to_pixels(size.x), to_pixels(size.y)};
    AdjustWindowRectForMenu(c, style, bar, exstyle, u32(dpi));
    SetWindowPos(h, 0, 0, 0, c.width(), c.height(), SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  if (size.pair) if (window_extra* x = extra(h)) x->flags |= WINDOW_SIZE_IS_PAIR;
  SetWindowPos(h, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  attach(h, face, flags);
  return h;
}

// The window's own font goes; the window forgets its selected face and is marked released.
void release(const cell* face, HWND h) {
  if (!IsWindow(h)) return;
  u32 own = extra(h)->font_or_count;
  if (own) DeleteObject(HFONT(own));
  extra(h)->font_or_count = 0;
  if (cell* sel = facet(face, facet_index::selected)) *sel = cell{TYPE_NONE, 0, 0, 0};
  extra(h)->type_slot = 0xFFFFFFFFu;
}
}  // namespace

extern const face_type_record window_record = {
    .window_class = "VyrWindow",
    .procedure = window_wndproc,
    .make = make_window,
    .sync = sync_window,
    .composed = true,
    .release = release,
    .geometry = geometry_batch::alone,
    .top_level = true,
};

}  // namespace vyr::gui::widgets
