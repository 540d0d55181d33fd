// Menus: HMENU objects of captions, separators and submenus; a top level's menu bar (a band
// of its non-client area, gui/win/menubar.h) and pop-up menus, both run by one modal loop
// that keeps Win32's message order: WM_ENTERMENULOOP, a WM_MENUSELECT for every item that
// lights up (the chosen one included), WM_MENUSELECT(0xFFFF0000, 0) when the menu closes,
// WM_EXITMENULOOP, then WM_COMMAND(id, 0) posted to the owner. Items are addressed by
// position or by identifier; their data is 32 bits. Captions mark their mnemonic with "&"
// ("&&" shows "&"), and text after a tab is the right-aligned shortcut.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "gui/win/win.h"

namespace vyr::win {

// MENUITEMINFO masks, types and states.
constexpr uint32_t MIIM_STATE = 0x1, MIIM_ID = 0x2, MIIM_SUBMENU = 0x4, MIIM_DATA = 0x20,
  MIIM_STRING = 0x40, MIIM_FTYPE = 0x100;
constexpr uint32_t MFT_STRING = 0x0, MFT_SEPARATOR = 0x800;
constexpr uint32_t MFS_ENABLED = 0x0, MFS_GRAYED = 0x3, MFS_DISABLED = 0x3, MFS_CHECKED = 0x8,
  MFS_HILITE = 0x80;
// WM_MENUSELECT flags (the high word of wParam).
constexpr uint32_t MF_GRAYED = 0x1, MF_DISABLED = 0x2, MF_CHECKED = 0x8, MF_POPUP = 0x10,
  MF_HILITE = 0x80, MF_SEPARATOR = 0x800, MF_MOUSESELECT = 0x8000;
// TrackPopupMenuEx.
constexpr uint32_t TPM_LEFTBUTTON = 0x0, TPM_RIGHTBUTTON = 0x2, TPM_LEFTALIGN = 0x0,
  TPM_CENTERALIGN = 0x4, TPM_RIGHTALIGN = 0x8, TPM_TOPALIGN = 0x0, TPM_VCENTERALIGN = 0x10,
  TPM_BOTTOMALIGN = 0x20, TPM_NONOTIFY = 0x80, TPM_RETURNCMD = 0x100;
// The delay before a submenu opens, or closes, under a resting pointer.
constexpr uint32_t MENU_SHOW_DELAY_MS = 400;

struct MENUITEMINFO {
  uint32_t cbSize = 48;
  uint32_t fMask = 0, fType = 0, fState = 0, wID = 0;
  HMENU hSubMenu{};
  uint32_t dwItemData = 0;
  std::string dwTypeData;   // the caption, UTF-8
};

HMENU CreateMenu();
HMENU CreatePopupMenu();
// Destroys the menu and its submenus; a menu that is a window's bar is taken off it first.
bool DestroyMenu(HMENU);
bool IsMenu(HMENU);
bool InsertMenuItem(HMENU, uint32_t item, bool by_position, const MENUITEMINFO&);
bool GetMenuItemInfo(HMENU, uint32_t item, bool by_position, MENUITEMINFO&);
int GetMenuItemCount(HMENU);   // -1 for a dead handle
HMENU GetSubMenu(HMENU, int position);
// Runs `menu` as a pop-up at screen point (x, y) for `owner` until an item is chosen or the
// menu is cancelled. With TPM_RETURNCMD the chosen identifier comes back (0: none) and no
// WM_COMMAND is posted; otherwise true unless the menu could not run (another one runs).
int TrackPopupMenuEx(HMENU, uint32_t flags, int x, int y, HWND owner, const void* unused = nullptr);
// Ends the menu that runs (as a cancel).
bool EndMenu();

namespace menus {

// What a caption shows: "&" marks taken out ("&&" is one "&"), the text after the first tab
// cut off. The caption paths below name items so.
std::string plain_caption(std::string_view caption);
// The captions of a menu's own items as shown, each followed by a tab and its shortcut text
// when it has one, "---" for a separator.
std::vector<std::string> captions(HMENU);
// The positions, menu by menu, of the item a path of shown captions names ("File/Run...");
// empty when it names none.
std::vector<int> find_path(HMENU, std::string_view path);

// Where item `position` of `menu` shows now, in screen coordinates: in a pop-up of the
// menu that runs, or on a window's bar; empty when it shows nowhere.
RECT item_rect(HMENU, int position);

// Plays the messages a click on an item of `top`'s menu bar sends, the path naming the bar
// item and the items under it ("File/Run..."): the bar runs its loop on the queue's next
// turn and takes the path as clicks. False when `top` has no bar or the path names no item
// that can be chosen.
bool play_bar_path(HWND top, std::string_view path);

// Who may answer a pop-up menu in place of the user (the dialogs' provider, when it plays
// scripted answers): asked with the menu's own captions when the menu opens. `user`: the
// user's input runs it; `cancel`: it closes at once; `path`: the path is played into the
// running menu as keys.
struct popup_answer {
  enum kind_t { user, cancel, path } kind = user;
  std::string item_path;
};
using popup_answerer = std::function<popup_answer(const std::vector<std::string>& captions)>;
void set_popup_answerer(popup_answerer);

}  // namespace menus

}  // namespace vyr::win
