// Menu objects and their items: made, filled by position or identifier, read back and
// destroyed with their submenus; captions taken apart; items found by caption paths. A menu
// never holds itself, however deep: such an insertion is refused, so walks end.
#include <cstdio>

#include "base/utf8.h"
#include "gui/win/internal.h"
#include "gui/win/menus/menu_impl.h"

namespace vyr::win {

namespace menus::detail {

namespace {
win::detail::handle_table<menu>& table() {
  static win::detail::handle_table<menu> t;
  return t;
}

HMENU make(bool popup) {
  register_bar();
  auto m = std::make_unique<menu>();
  m->popup = popup;
  uint32_t h = table().add(std::move(m));
  return HMENU{h};
}

// The item `item` of `m` by position or identifier; null when there is none.
item* find_item(menu* m, uint32_t which, bool by_position) {
  if (!m) return nullptr;
  if (by_position) return which < m->items.size() ? &m->items[which] : nullptr;
  for (auto& i : m->items)
    if (is_null(i.sub) && i.id == which) return &i;
  return nullptr;
}

// Whether `inner` is `outer` or lies anywhere under it.
bool holds(HMENU outer, HMENU inner, int depth = 0) {
  if (outer == inner) return true;
  menu* m = menu_of(outer);
  if (!m || depth > 64) return false;
  for (auto& i : m->items)
    if (!is_null(i.sub) && holds(i.sub, inner, depth + 1)) return true;
  return false;
}

// One UTF-8 character at `s[i]`: its code point, and its length in bytes. A malformed
// sequence is one byte long and reads as U+FFFD, which no key types.
uint32_t decode(std::string_view s, size_t i, size_t& len) {
  utf8::decoded d = utf8::decode(reinterpret_cast<const uint8_t*>(s.data()) + i, s.size() - i);
  if (d.status != utf8::outcome::ok) {
    len = 1;
    return utf8::REPLACEMENT;
  }
  len = d.size;
  return d.cp;
}
}  // namespace

menu* menu_of(HMENU h) { return table().get(uint32_t(h)); }

// Upper-case letters of ASCII and Latin-1 fold to lower case; mnemonics compare so.
uint32_t fold(uint32_t cp) {
  if (cp >= 'A' && cp <= 'Z') return cp + 32;
  if (cp >= 0xC0 && cp <= 0xDE && cp != 0xD7) return cp + 32;
  return cp;
}

caption parse_caption(std::string_view s) {
  caption c;
  size_t tab = s.find('\t');
  auto strip = [&](std::string_view part, bool main) {
    std::string out;
    for (size_t i = 0; i < part.size(); ++i) {
      if (part[i] != '&') {
        out += part[i];
        continue;
      }
      if (i + 1 >= part.size()) break;   // a lone "&" at the end shows nothing
      if (part[i + 1] == '&') {
        out += '&';
        ++i;
        continue;
      }
      size_t len;
      uint32_t cp = decode(part, i + 1, len);
      if (main && c.mnemonic == 0) {
        c.mnemonic = fold(cp);
        c.mnemonic_at = out.size();
        c.mnemonic_len = len;
      }
      out.append(part.substr(i + 1, len));
      i += len;
    }
    return out;
  };
  c.label = strip(s.substr(0, tab), true);
  if (tab != std::string_view::npos) c.accel = strip(s.substr(tab + 1), false);
  return c;
}

}  // namespace menus::detail

using namespace menus::detail;

HMENU CreateMenu() { return make(false); }
HMENU CreatePopupMenu() { return make(true); }

bool IsMenu(HMENU h) { return menu_of(h) != nullptr; }

bool DestroyMenu(HMENU h) {
  menu* m = menu_of(h);
  if (!m) return false;
  for (HWND t : top_levels())
    if (GetMenu(t) == h) SetMenu(t, HMENU{});
  std::vector<HMENU> subs;
  if ((m = menu_of(h)))
    for (auto& i : m->items)
      if (!is_null(i.sub)) subs.push_back(i.sub);
  table().remove(uint32_t(h));
  for (HMENU s : subs) DestroyMenu(s);
  return true;
}

bool InsertMenuItem(HMENU h, uint32_t where, bool by_position, const MENUITEMINFO& mi) {
  menu* m = menu_of(h);
  if (!m) return false;
  item it;
  if (mi.fMask & MIIM_FTYPE) it.type = mi.fType;
  if (mi.fMask & MIIM_STATE) it.state = mi.fState;
  if (mi.fMask & MIIM_ID) it.id = mi.wID;
  if (mi.fMask & MIIM_DATA) it.data = mi.dwItemData;
  if (mi.fMask & MIIM_STRING) it.text = mi.dwTypeData;
  if (mi.fMask & MIIM_SUBMENU) {
    if (!is_null(mi.hSubMenu) && (!menu_of(mi.hSubMenu) || holds(mi.hSubMenu, h))) return false;
    it.sub = mi.hSubMenu;
  }
  size_t at = m->items.size();
  if (by_position) {
    if (where < at) at = where;
  } else {
    for (size_t k = 0; k < m->items.size(); ++k)
      if (m->items[k].id == where && is_null(m->items[k].sub)) { at = k; break; }
  }
  m->items.insert(m->items.begin() + long(at), std::move(it));
  m->version++;
  return true;
}

bool GetMenuItemInfo(HMENU h, uint32_t which, bool by_position, MENUITEMINFO& mi) {
  item* it = find_item(menu_of(h), which, by_position);
  if (!it) return false;
  if (mi.fMask & MIIM_FTYPE) mi.fType = it->type;
  if (mi.fMask & MIIM_STATE) mi.fState = it->state;
  if (mi.fMask & MIIM_ID) mi.wID = it->id;
  if (mi.fMask & MIIM_DATA) mi.dwItemData = it->data;
  if (mi.fMask & MIIM_STRING) mi.dwTypeData = it->text;
  if (mi.fMask & MIIM_SUBMENU) mi.hSubMenu = it->sub;
  return true;
}

int GetMenuItemCount(HMENU h) {
  menu* m = menu_of(h);
  return m ? int(m->items.size()) : -1;
}

HMENU GetSubMenu(HMENU h, int position) {
  menu* m = menu_of(h);
  if (!m || position < 0 || size_t(position) >= m->items.size()) return HMENU{};
  return m->items[size_t(position)].sub;
}

namespace menus {

std::string plain_caption(std::string_view s) { return parse_caption(s).label; }

std::vector<std::string> captions(HMENU h) {
  std::vector<std::string> out;
  if (menu* m = menu_of(h))
    for (auto& i : m->items) {
      if (i.separator()) {
        out.push_back("---");
        continue;
      }
      caption c = parse_caption(i.text);
      out.push_back(c.accel.empty() ? c.label : c.label + "\t" + c.accel);
    }
  return out;
}

// Captions may hold "/" themselves: every split the menu allows is tried.
static bool walk(HMENU h, std::string_view path, std::vector<int>& out, int depth) {
  menu* m = menu_of(h);
  if (!m || depth > 64) return false;
  for (size_t k = 0; k < m->items.size(); ++k) {
    const item& i = m->items[k];
    if (i.separator()) continue;
    std::string c = plain_caption(i.text);
    if (path == c && is_null(i.sub)) {
      out.push_back(int(k));
      return true;
    }
    if (!is_null(i.sub) && path.size() > c.size() && path.substr(0, c.size()) == c && path[c.size()] == '/') {
      out.push_back(int(k));
      if (walk(i.sub, path.substr(c.size() + 1), out, depth + 1)) return true;
      out.pop_back();
    }
  }
  return false;
}

std::vector<int> find_path(HMENU h, std::string_view path) {
  std::vector<int> out;
  if (!walk(h, path, out, 0)) out.clear();
  return out;
}

}  // namespace menus

}  // namespace vyr::win
