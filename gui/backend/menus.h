// The `menu` facet as native menus: a window's menu bar, and the context menu of any other
// face, built from the menu dialect; a chosen item becomes a `menu` event whose `picked` is
// the word given for it. The window procedures feed the selection the menus report
// (WM_ENTERMENULOOP, WM_MENUSELECT) and hand over the command that follows (WM_COMMAND
// without a control).
#pragma once
#include "gui/backend/backend.h"

namespace vyr::gui {

// Fills `menu` from a menu block and answers it; null when the value is not a block. A
// caption (string!) followed by a block opens a submenu built from it, followed by a word!
// takes the word's symbol as its data, else -1; the word `---` is a separator; any other
// value is skipped. A block already being built further up counts as no block, so a block
// that holds itself ends.
win::HMENU build_menu(const cell* block, win::HMENU menu);
// True when `menu` is a non-empty block, the face is a `window` and the block does not
// start with the word `popup`.
bool menu_bar_q(const cell* menu, face_type type);
// A `window` face's bar as its `menu` facet makes it now (null when it makes none).
win::HMENU make_menu_bar(const cell* face);
// The `menu` facet changed: the window's bar is made again, or taken away.
void update_menu_bar(const cell* face, win::HWND);

// Right-button press on the window of `m` (after its `alt-down` event), at a screen point:
// shows the face's context menu and answers 1, or 0 when the face has none (its `menu` is
// not a block, or is a menu bar).
int show_context_menu(const win::MSG& m, i32 x, i32 y);
u32 menu_item_data(win::HMENU, i32 position);
// An item was chosen: the `menu` event goes to the face whose context menu it was, else to
// `hwnd`'s face.
void menu_chosen(win::HWND hwnd);

// What the window procedures pass on: a menu loop began (wParam), an item was lit (the
// WM_MENUSELECT), and a command came (WM_COMMAND); the last answers whether it was a menu
// item's, now dispatched.
void menu_loop_entered(win::WPARAM);
void menu_selected(win::WPARAM, win::LPARAM);
bool menu_command(win::HWND, win::WPARAM, win::LPARAM);

}  // namespace vyr::gui
