// The menu bar's place in the layer: a band of a top level's non-client area, between the
// frame's top and the client area, kept for every top level that has a menu (SetMenu,
// CreateWindowEx). What the bar holds, how it lays out, paints and is tracked belongs to
// the menus (gui/win/menus/), which hand the layer these operations with their first menu;
// until then no window can have a bar.
#pragma once
#include "gui/win/win.h"

namespace vyr::win {

struct menu_bar_ops {
  bool (*valid)(HMENU);
  // The height in pixels of the bar of `menu` laid out `width` pixels wide at `dpi`.
  int (*height)(HMENU, int width, uint32_t dpi);
  // Paints the bar of `top` into `band` of the DC (device pixels).
  void (*paint)(HWND top, HMENU, HDC, RECT band);
  // The pointer moved over the bar at a screen point (`over`), or left it.
  void (*hover)(HWND top, POINT screen, bool over);
  // The left button went down on the bar at a screen point.
  void (*press)(HWND top, POINT screen);
  // SC_KEYMENU reached the top level: `key` 0 for F10 or a lone Alt, else the character
  // typed with Alt.
  void (*key)(HWND top, uint32_t key);
  // The window whose bar this is goes: the bar goes with it.
  void (*destroy)(HMENU);
};
void set_menu_bar_ops(const menu_bar_ops*);

}  // namespace vyr::win
