// The layer's control classes, registered under Win32's names: what a program of the layer
// calls to use them. One row per class in the list below; each class is one file of this
// folder with its window procedure.
#pragma once
#include "gui/win/controls/ctlnum.h"

namespace vyr::win {

// X(class name, window procedure, class styles, cursor)
#define VYR_CONTROL_CLASSES(X)                                                       \
  X("BUTTON", button_proc, CS_DBLCLKS | CS_PARENTDC, IDC_ARROW)                      \
  X("EDIT", edit_proc, CS_DBLCLKS | CS_PARENTDC, IDC_IBEAM)                          \
  X("STATIC", static_proc, CS_PARENTDC, IDC_ARROW)                                   \
  X("ListBox", listbox_proc, CS_DBLCLKS | CS_PARENTDC, IDC_ARROW)                    \
  X("ComboBox", combobox_proc, CS_DBLCLKS | CS_PARENTDC, IDC_ARROW)                  \
  X("ComboLBox", combolbox_proc, CS_DBLCLKS, IDC_ARROW)                              \
  X("msctls_progress32", progress_proc, CS_PARENTDC, IDC_ARROW)                      \
  X("msctls_trackbar32", trackbar_proc, CS_DBLCLKS | CS_PARENTDC, IDC_ARROW)         \
  X("SCROLLBAR", scrollbar_proc, CS_DBLCLKS | CS_PARENTDC, IDC_ARROW)                \
  X("SysTabControl32", tab_proc, CS_DBLCLKS | CS_PARENTDC, IDC_ARROW)                \
  X("SysMonthCal32", calendar_proc, CS_DBLCLKS | CS_PARENTDC, IDC_ARROW)

#define VYR_DECLARE_CONTROL_PROC(name, proc, styles, cursor) LRESULT proc(HWND, uint32_t, WPARAM, LPARAM);
VYR_CONTROL_CLASSES(VYR_DECLARE_CONTROL_PROC)
#undef VYR_DECLARE_CONTROL_PROC

// Registers every control class with the installed layer (80 extra bytes each, so that
// superclasses keep the layout of Win32's). Answers how many were registered.
int register_control_classes();
void unregister_control_classes();

// The list-box item under a screen point: its index, or -1 (also for a window that is not
// a list box). With auto-scroll, a point just above or below scrolls the list one item.
int LBItemFromPt(HWND list, POINT screen, bool auto_scroll);

// The control a window was made for by the controls themselves (a combo box for its
// dropped list), or null: events in such a window belong to that control.
HWND owning_control(HWND);

// Image lists: images of one size, drawn by index.
constexpr uint32_t ILC_COLOR32 = 0x20, ILD_NORMAL = 0;
HIMAGELIST ImageList_Create(int cx, int cy, uint32_t flags, int initial, int grow);
bool ImageList_Destroy(HIMAGELIST);
// Adds the bitmap (scaled to the list's size when it differs); answers its index or -1.
int ImageList_Add(HIMAGELIST, HBITMAP image, HBITMAP mask);
int ImageList_GetImageCount(HIMAGELIST);
bool ImageList_GetIconSize(HIMAGELIST, int& cx, int& cy);
bool ImageList_Draw(HIMAGELIST, int index, HDC, int x, int y, uint32_t style);

}  // namespace vyr::win
