// The pages of `tab-panel` faces: the faces of its pane, each a window of the tab control's
// parent over the tab control's display area (gui/widgets/tab_panel.cpp).
#pragma once
#include "gui/backend/backend.h"

namespace vyr::gui::widgets {

// gui/select-tab: TCN_SELCHANGING to the parent, the tab selected, TCN_SELCHANGE.
void select_tab(win::HWND tab, i32 index);
// gui/current-tab-page: the window of the pane face at `selected` - 1.
win::HWND current_tab_page(win::HWND tab);
// gui/place-tab-page: the page becomes a window of the tab control's parent at the tab
// control's offset plus (x, y).
void place_tab_page(win::HWND page, win::HWND tab, float x, float y);
// gui/fit-tab-page: a page of a tab-panel takes the display area as its offset and size.
void fit_tab_page(const cell* page, win::HWND tab);
// A face made with a tab-panel as its parent: fitted to the display area and placed over it.
void place_in_tab_panel(const cell* page, win::HWND);

}  // namespace vyr::gui::widgets
