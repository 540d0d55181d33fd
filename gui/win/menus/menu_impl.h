// The menus' private parts: the table of menu objects, captions taken apart, and the
// geometry and painting of bars and pop-ups. The geometry is computed once per menu, DPI
// and width and kept until the menu changes; the painter and the hit test both read it, so
// they cannot disagree.
#pragma once
#include <string>
#include <vector>

#include "gui/win/menus/menus.h"

namespace vyr::win::menus::detail {

struct item {
  uint32_t type = MFT_STRING, state = MFS_ENABLED, id = 0, data = 0;
  HMENU sub{};
  std::string text;
  bool separator() const { return type & MFT_SEPARATOR; }
  bool disabled() const { return state & MFS_DISABLED; }
};

// A caption taken apart: what it shows, its shortcut text, and its mnemonic (folded to
// lower case; 0 for none) with the bytes of `label` that show it.
struct caption {
  std::string label, accel;
  uint32_t mnemonic = 0;
  size_t mnemonic_at = std::string::npos, mnemonic_len = 0;
};
caption parse_caption(std::string_view);
uint32_t fold(uint32_t code_point);

struct popup_geometry {
  SIZE size;
  std::vector<RECT> items;   // client coordinates of the pop-up
};
struct bar_geometry {
  int height = 0;
  std::vector<RECT> items;   // coordinates of the band
};

struct menu {
  bool popup = false;
  std::vector<item> items;
  uint32_t version = 0;   // changes with every item change; the kept geometry follows it
  // Kept geometry, with what it was computed for.
  uint32_t popup_version = ~0u, popup_dpi = 0;
  popup_geometry popup_geo;
  uint32_t bar_version = ~0u, bar_dpi = 0;
  int bar_width = -1;
  bar_geometry bar_geo;
};

menu* menu_of(HMENU);
const popup_geometry& popup_layout(menu&, uint32_t dpi);
const bar_geometry& bar_layout(menu&, int width, uint32_t dpi);
// The item whose rectangle holds `p` (separators included), or -1.
int item_at(const std::vector<RECT>& items, POINT p);

// How a menu shows now: the lit item, whether the bar's lit item is open, whether the
// mnemonics are underlined (the keyboard is in use), the dark palette.
struct look {
  int hot = -1;
  bool open = false;
  bool cues = false;
  bool dark = false;
};
void paint_popup(HDC, menu&, uint32_t dpi, const look&);
void paint_bar(HDC, RECT band, menu&, uint32_t dpi, const look&);

// Hands the layer the bar's operations (gui/win/menubar.h); the first menu made does.
void register_bar();

}  // namespace vyr::win::menus::detail
