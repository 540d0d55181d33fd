// Menus of faces: the menu dialect built into native menus, the menu bar of `window` faces,
// context menus, and the `menu` event of a chosen item. The state of an open context menu
// (its menu, the face window it belongs to) and the last selection the menus reported live
// here, one of each: one menu runs at a time.
#include "gui/backend/menus.h"

#include <vector>

#include "gui/backend/events.h"
#include "gui/win/menus/menus.h"
#include "runtime/api/values.h"

namespace vyr::gui {

using namespace win;
namespace ev = vyr::api::event;

namespace {

struct menu_state {
  HMENU popup{};          // the context menu built for the face window below
  HWND face_window{};     // the window of the face whose context menu runs
  i32 chosen = -1;        // the item last lit, by position, and its menu
  HMENU chosen_menu{};
};
menu_state& state() {
  static menu_state s;
  return s;
}

constexpr u32 NO_DATA = 0xFFFFFFFFu;
constexpr int MAX_DEPTH = 100;

// The two words of the dialect, interned once (interning may allocate: before any walk).
u32 separator_word() {
  static u32 id = api::symbol::make("---");
  return id;
}
u32 popup_word() {
  static u32 id = api::symbol::make("popup");
  return id;
}

bool word_is(const cell* c, u32 id) { return type_of(c) == TYPE_WORD && api::symbol::same_q(api::word::symbol_id(c), id); }

void add_item(HMENU menu, MENUITEMINFO& mi) {
  u32 pos = u32(GetMenuItemCount(menu));
  mi.fMask |= MIIM_ID | MIIM_DATA;
  mi.wID = pos;   // an item's identifier is its position
  InsertMenuItem(menu, pos, true, mi);
}

void build(const cell* block_in, HMENU menu, std::vector<u32>& open) {
  cell block = *block_in;
  api::root_guard guard(&block);
  u32 node = api::series::node(&block);
  open.push_back(node);
  i32 n = api::block::rs_length_q(&block);
  u32 head = u32(api::head_index(&block));
  for (i32 i = 0; i < n; i++) {
    cell v = *api::block::rs_abs_at(&block, head + u32(i));
    if (type_of(&v) == TYPE_STRING) {
      MENUITEMINFO mi;
      mi.fMask = MIIM_STRING;
      mi.dwTypeData = text_of(&v);
      mi.dwItemData = NO_DATA;
      cell next = i + 1 < n ? *api::block::rs_abs_at(&block, head + u32(i + 1)) : api::none();
      if (type_of(&next) == TYPE_BLOCK) {
        // A block already open above this one counts as none: it would never end.
        bool cycle = open.size() >= size_t(MAX_DEPTH);
        for (u32 o : open) cycle |= o == api::series::node(&next);
        if (!cycle) {
          HMENU sub = CreatePopupMenu();
          build(&next, sub, open);
          mi.fMask |= MIIM_SUBMENU;
          mi.hSubMenu = sub;
          i++;
        }
      } else if (type_of(&next) == TYPE_WORD) {
        mi.dwItemData = api::word::symbol_id(&next);
        i++;
      }
      add_item(menu, mi);
    } else if (word_is(&v, separator_word())) {
      MENUITEMINFO mi;
      mi.fMask = MIIM_FTYPE;
      mi.fType = MFT_SEPARATOR;
      mi.dwItemData = NO_DATA;
      add_item(menu, mi);
    }
  }
  open.pop_back();
}

}  // namespace

HMENU build_menu(const cell* block, HMENU menu) {
  if (!block || type_of(block) != TYPE_BLOCK || !IsMenu(menu)) return HMENU{};
  separator_word();
  std::vector<u32> open;
  build(block, menu, open);
  return menu;
}

bool menu_bar_q(const cell* menu, face_type type) {
  const face_type_record* record = face_types::record_of(type);
  if (!menu || type_of(menu) != TYPE_BLOCK || !record || !record->top_level) return false;
  cell m = *menu;
  api::root_guard guard(&m);
  u32 popup = popup_word();
  if (api::block::rs_length_q(&m) <= 0) return false;
  return !word_is(api::block::rs_abs_at(&m, u32(api::head_index(&m))), popup);
}

HMENU make_menu_bar(const cell* face) {
  // The dialect's words are interned before the facet is read: a first interning may
  // collect, and the collector moves the face's values.
  popup_word();
  separator_word();
  face_type type = type_of_face(face);
  const cell* menu = facet(face, facet_index::menu);
  if (!menu_bar_q(menu, type)) return HMENU{};
  cell m = *menu;
  api::root_guard guard(&m);
  return build_menu(&m, CreateMenu());
}

void update_menu_bar(const cell* face, HWND h) {
  HMENU old = GetMenu(h);
  HMENU bar = make_menu_bar(face);
  SetMenu(h, bar);
  if (!is_null(old)) DestroyMenu(old);
}

u32 menu_item_data(HMENU menu, i32 position) {
  MENUITEMINFO mi;
  mi.fMask = MIIM_DATA;
  if (position < 0 || !GetMenuItemInfo(menu, u32(position), true, mi)) return NO_DATA;
  return mi.dwItemData;
}

int show_context_menu(const MSG& m, i32 x, i32 y) {
  menu_state& s = state();
  s.chosen = -1;
  s.chosen_menu = HMENU{};
  u32 fw = event_window(m);
  const cell* face = fw == NO_WINDOW ? nullptr : face_of_window(HWND(fw));
  if (!face) return 0;
  const cell* menu = facet(face, facet_index::menu);
  if (!menu || type_of(menu) != TYPE_BLOCK) return 0;
  cell block = *menu;
  api::root_guard guard(&block);
  if (menu_bar_q(&block, type_of_face(face))) return 0;
  HWND owner = GetParent(m.hwnd);
  if (is_null(owner)) owner = m.hwnd;
  // A context menu left unchosen before goes now.
  if (!is_null(s.popup)) DestroyMenu(s.popup);
  s.face_window = HWND(fw);
  s.popup = build_menu(&block, CreatePopupMenu());
  TrackPopupMenuEx(s.popup, TPM_LEFTBUTTON, x, y, owner);
  return 1;
}

void menu_chosen(HWND hwnd) {
  menu_state& s = state();
  u32 data = menu_item_data(s.chosen_menu, s.chosen);
  HWND target = !is_null(s.face_window) && IsWindow(s.face_window) ? s.face_window : hwnd;
  s.chosen = -1;
  s.chosen_menu = HMENU{};
  HMENU popup = s.popup;
  s.popup = HMENU{};
  s.face_window = HWND{};
  dispatch_event(message_record(target, WM_COMMAND, 0, 0), data, ev::MENU);
  if (!is_null(popup)) DestroyMenu(popup);
}

void menu_loop_entered(WPARAM w) {
  if (w == 0) {
    state().chosen = -1;
    state().chosen_menu = HMENU{};
  }
}

void menu_selected(WPARAM w, LPARAM l) {
  if (u32(w) == 0xFFFF0000u) return;   // the menu closed
  state().chosen = int16_t(LOWORD(w));
  state().chosen_menu = HMENU(u32(l));
}

bool menu_command(HWND h, WPARAM w, LPARAM l) {
  if (l != 0 || LOWORD(w) >= 1000 || state().chosen < 0) return false;
  menu_chosen(h);
  return true;
}

}  // namespace vyr::gui
