// The palette of the system colours (GetSysColor), as constants the rest of the GUI can
// check its own defaults against. Light only: the dark palette comes with the controls that
// paint from it.
#pragma once
#include "gui/win/win.h"

namespace vyr::win::theme {

constexpr COLORREF sys_color(int index) {
  switch (index) {
    case COLOR_WINDOW: return RGB(255, 255, 255);
    case COLOR_WINDOWTEXT: return RGB(0, 0, 0);
    case COLOR_BTNFACE: return RGB(240, 240, 240);
    case COLOR_HIGHLIGHT: return RGB(0, 120, 215);
    case COLOR_HIGHLIGHTTEXT: return RGB(255, 255, 255);
    case COLOR_GRAYTEXT: return RGB(109, 109, 109);
  }
  return 0;
}

}  // namespace vyr::win::theme
