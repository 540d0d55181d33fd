// The numbers and records of the layer's control classes, with Win32's values: styles,
// messages, notifications and the records WM_NOTIFY and the item messages carry. Text in
// these records is UTF-8; lengths of text buffers are bytes; positions inside an EDIT's
// text count code points, with lines ending in a single line feed.
#pragma once
#include <cstdint>

#include "gui/win/win.h"

namespace vyr::win {

enum class HIMAGELIST : uint32_t {};
constexpr HIMAGELIST NO_IMAGELIST{0xFFFFFFFFu};   // what a button without images is given

constexpr WPARAM MAKEWPARAM(uint32_t lo, uint32_t hi) { return WPARAM((lo & 0xFFFF) | ((hi & 0xFFFF) << 16)); }

// ---- notifications through WM_NOTIFY ------------------------------------------------------
struct NMHDR {
  HWND hwndFrom{};
  uintptr_t idFrom = 0;
  int32_t code = 0;
};
constexpr int32_t NM_CLICK = -2, NM_DBLCLK = -3, NM_SETFOCUS = -7, NM_KILLFOCUS = -8, NM_CUSTOMDRAW = -12;

struct NMCUSTOMDRAW {
  NMHDR hdr;
  uint32_t dwDrawStage = 0;
  HDC hdc{};
  RECT rc;
  uintptr_t dwItemSpec = 0;
  uint32_t uItemState = 0;
  LPARAM lItemlParam = 0;
};
constexpr uint32_t CDDS_PREPAINT = 0x1, CDDS_POSTPAINT = 0x2;
constexpr LRESULT CDRF_DODEFAULT = 0x0, CDRF_SKIPDEFAULT = 0x4, CDRF_NOTIFYPOSTPAINT = 0x10;
constexpr uint32_t CDIS_SELECTED = 0x1, CDIS_DISABLED = 0x4, CDIS_CHECKED = 0x8, CDIS_FOCUS = 0x10,
  CDIS_DEFAULT = 0x20, CDIS_HOT = 0x40, CDIS_INDETERMINATE = 0x100;

// ---- BUTTON -------------------------------------------------------------------------------
constexpr uint32_t BS_PUSHBUTTON = 0x0, BS_DEFPUSHBUTTON = 0x1, BS_CHECKBOX = 0x2,
  BS_AUTOCHECKBOX = 0x3, BS_RADIOBUTTON = 0x4, BS_3STATE = 0x5, BS_AUTO3STATE = 0x6,
  BS_GROUPBOX = 0x7, BS_AUTORADIOBUTTON = 0x9, BS_TYPEMASK = 0xF, BS_LEFTTEXT = 0x20,
  BS_BITMAP = 0x80, BS_LEFT = 0x100, BS_RIGHT = 0x200, BS_CENTER = 0x300, BS_TOP = 0x400,
  BS_BOTTOM = 0x800, BS_VCENTER = 0xC00, BS_PUSHLIKE = 0x1000, BS_MULTILINE = 0x2000,
  BS_NOTIFY = 0x4000, BS_FLAT = 0x8000;
constexpr uint32_t BM_GETCHECK = 0x00F0, BM_SETCHECK = 0x00F1, BM_GETSTATE = 0x00F2,
  BM_SETSTATE = 0x00F3, BM_SETSTYLE = 0x00F4, BM_CLICK = 0x00F5;
constexpr uint32_t BCM_SETIMAGELIST = 0x1602, BCM_GETIMAGELIST = 0x1603;
constexpr uint32_t BST_UNCHECKED = 0x0, BST_CHECKED = 0x1, BST_INDETERMINATE = 0x2,
  BST_PUSHED = 0x4, BST_FOCUS = 0x8, BST_HOT = 0x200;
constexpr uint16_t BN_CLICKED = 0, BN_DOUBLECLICKED = 5, BN_SETFOCUS = 6, BN_KILLFOCUS = 7;
constexpr uint32_t BUTTON_IMAGELIST_ALIGN_LEFT = 0, BUTTON_IMAGELIST_ALIGN_RIGHT = 1,
  BUTTON_IMAGELIST_ALIGN_TOP = 2, BUTTON_IMAGELIST_ALIGN_BOTTOM = 3, BUTTON_IMAGELIST_ALIGN_CENTER = 4;
struct BUTTON_IMAGELIST {
  HIMAGELIST himl{};
  RECT margin;
  uint32_t uAlign = 0;
};
// The image of each state in a button's image list of six.
constexpr int PBS_NORMAL = 1, PBS_HOT = 2, PBS_PRESSED = 3, PBS_DISABLED = 4, PBS_DEFAULTED = 5,
  PBS_STYLUSHOT = 6;

// ---- EDIT ---------------------------------------------------------------------------------
constexpr uint32_t ES_LEFT = 0x0, ES_CENTER = 0x1, ES_RIGHT = 0x2, ES_MULTILINE = 0x4,
  ES_PASSWORD = 0x20, ES_AUTOVSCROLL = 0x40, ES_AUTOHSCROLL = 0x80, ES_NOHIDESEL = 0x100,
  ES_READONLY = 0x800, ES_WANTRETURN = 0x1000;
constexpr uint32_t EM_GETSEL = 0x00B0, EM_SETSEL = 0x00B1, EM_GETRECT = 0x00B2, EM_SCROLL = 0x00B5,
  EM_LINESCROLL = 0x00B6, EM_SCROLLCARET = 0x00B7, EM_GETMODIFY = 0x00B8, EM_SETMODIFY = 0x00B9,
  EM_GETLINECOUNT = 0x00BA, EM_LINEINDEX = 0x00BB, EM_LINELENGTH = 0x00C1, EM_REPLACESEL = 0x00C2,
  EM_GETLINE = 0x00C4, EM_LIMITTEXT = 0x00C5, EM_SETLIMITTEXT = 0x00C5, EM_CANUNDO = 0x00C6,
  EM_UNDO = 0x00C7, EM_LINEFROMCHAR = 0x00C9, EM_SETTABSTOPS = 0x00CB, EM_SETPASSWORDCHAR = 0x00CC,
  EM_EMPTYUNDOBUFFER = 0x00CD, EM_GETFIRSTVISIBLELINE = 0x00CE, EM_SETREADONLY = 0x00CF,
  EM_GETPASSWORDCHAR = 0x00D2, EM_GETLIMITTEXT = 0x00D5, EM_POSFROMCHAR = 0x00D6,
  EM_CHARFROMPOS = 0x00D7, EM_SETCUEBANNER = 0x1501, EM_GETCUEBANNER = 0x1502;
// The text's length in characters (code points), without copying it out.
constexpr uint32_t EM_GETTEXTLENGTHEX = WM_USER + 95;
constexpr uint16_t EN_SETFOCUS = 0x0100, EN_KILLFOCUS = 0x0200, EN_CHANGE = 0x0300,
  EN_UPDATE = 0x0400, EN_MAXTEXT = 0x0501, EN_HSCROLL = 0x0601, EN_VSCROLL = 0x0602;
constexpr uint32_t EDIT_DEFAULT_LIMIT = 32767;
constexpr char32_t PASSWORD_CHAR = 0x25CF;

// ---- STATIC -------------------------------------------------------------------------------
constexpr uint32_t SS_LEFT = 0x0, SS_CENTER = 0x1, SS_RIGHT = 0x2, SS_SIMPLE = 0xB,
  SS_LEFTNOWORDWRAP = 0xC, SS_TYPEMASK = 0x1F, SS_NOPREFIX = 0x80, SS_NOTIFY = 0x100,
  SS_CENTERIMAGE = 0x200, SS_ENDELLIPSIS = 0x4000;
constexpr uint16_t STN_CLICKED = 0, STN_DBLCLK = 1;

// ---- ListBox ------------------------------------------------------------------------------
constexpr uint32_t LBS_NOTIFY = 0x1, LBS_SORT = 0x2, LBS_NOREDRAW = 0x4, LBS_MULTIPLESEL = 0x8,
  LBS_HASSTRINGS = 0x40, LBS_NOINTEGRALHEIGHT = 0x100, LBS_EXTENDEDSEL = 0x800,
  LBS_DISABLENOSCROLL = 0x1000, LBS_NOSEL = 0x4000;
constexpr uint32_t LB_ADDSTRING = 0x0180, LB_INSERTSTRING = 0x0181, LB_DELETESTRING = 0x0182,
  LB_RESETCONTENT = 0x0184, LB_SETSEL = 0x0185, LB_SETCURSEL = 0x0186, LB_GETSEL = 0x0187, LB_GETCURSEL = 0x0188,
  LB_GETTEXT = 0x0189, LB_GETTEXTLEN = 0x018A, LB_GETCOUNT = 0x018B, LB_SELECTSTRING = 0x018C,
  LB_GETTOPINDEX = 0x018E, LB_FINDSTRING = 0x018F, LB_GETSELCOUNT = 0x0190, LB_GETSELITEMS = 0x0191,
  LB_GETHORIZONTALEXTENT = 0x0193,
  LB_SETHORIZONTALEXTENT = 0x0194, LB_SETTOPINDEX = 0x0197, LB_GETITEMRECT = 0x0198,
  LB_GETITEMDATA = 0x0199, LB_SETITEMDATA = 0x019A, LB_SETCARETINDEX = 0x019E,
  LB_GETCARETINDEX = 0x019F, LB_SETITEMHEIGHT = 0x01A0, LB_GETITEMHEIGHT = 0x01A1,
  LB_FINDSTRINGEXACT = 0x01A2, LB_ITEMFROMPOINT = 0x01A9;
constexpr LRESULT LB_OKAY = 0, LB_ERR = -1;
constexpr uint16_t LBN_SELCHANGE = 1, LBN_DBLCLK = 2, LBN_SELCANCEL = 3, LBN_SETFOCUS = 4,
  LBN_KILLFOCUS = 5;

// ---- ComboBox -----------------------------------------------------------------------------
constexpr uint32_t CBS_SIMPLE = 0x1, CBS_DROPDOWN = 0x2, CBS_DROPDOWNLIST = 0x3, CBS_TYPEMASK = 0x3,
  CBS_AUTOHSCROLL = 0x40, CBS_SORT = 0x100, CBS_HASSTRINGS = 0x200, CBS_NOINTEGRALHEIGHT = 0x400;
constexpr uint32_t CB_GETEDITSEL = 0x0140, CB_LIMITTEXT = 0x0141, CB_SETEDITSEL = 0x0142,
  CB_ADDSTRING = 0x0143, CB_DELETESTRING = 0x0144, CB_GETCOUNT = 0x0146, CB_GETCURSEL = 0x0147,
  CB_GETLBTEXT = 0x0148, CB_GETLBTEXTLEN = 0x0149, CB_INSERTSTRING = 0x014A,
  CB_RESETCONTENT = 0x014B, CB_FINDSTRING = 0x014C, CB_SELECTSTRING = 0x014D, CB_SETCURSEL = 0x014E,
  CB_SHOWDROPDOWN = 0x014F, CB_GETITEMDATA = 0x0150, CB_SETITEMDATA = 0x0151,
  CB_GETDROPPEDCONTROLRECT = 0x0152, CB_SETITEMHEIGHT = 0x0153, CB_GETITEMHEIGHT = 0x0154,
  CB_GETDROPPEDSTATE = 0x0157, CB_FINDSTRINGEXACT = 0x0158, CB_SETMINVISIBLE = 0x1701,
  CB_GETMINVISIBLE = 0x1702;
constexpr LRESULT CB_OKAY = 0, CB_ERR = -1;
constexpr uint16_t CBN_SELCHANGE = 1, CBN_DBLCLK = 2, CBN_SETFOCUS = 3, CBN_KILLFOCUS = 4,
  CBN_EDITCHANGE = 5, CBN_EDITUPDATE = 6, CBN_DROPDOWN = 7, CBN_CLOSEUP = 8, CBN_SELENDOK = 9,
  CBN_SELENDCANCEL = 10;
constexpr uint32_t COMBO_EDIT_ID = 1001;   // the id of a drop-down's edit field

// ---- msctls_progress32 --------------------------------------------------------------------
constexpr uint32_t PBS_SMOOTH = 0x1, PBS_VERTICAL = 0x4;
constexpr uint32_t PBM_SETRANGE = 0x0401, PBM_SETPOS = 0x0402, PBM_DELTAPOS = 0x0403,
  PBM_SETSTEP = 0x0404, PBM_STEPIT = 0x0405, PBM_SETRANGE32 = 0x0406, PBM_GETRANGE = 0x0407,
  PBM_GETPOS = 0x0408, PBM_SETBARCOLOR = 0x0409, PBM_SETBKCOLOR = 0x2001;
constexpr COLORREF CLR_DEFAULT = 0xFF000000;

// ---- msctls_trackbar32 --------------------------------------------------------------------
constexpr uint32_t TBS_HORZ = 0x0, TBS_VERT = 0x2, TBS_NOTICKS = 0x10, TBS_DOWNISLEFT = 0x400;
constexpr uint32_t TBM_GETPOS = 0x0400, TBM_GETRANGEMIN = 0x0401, TBM_GETRANGEMAX = 0x0402,
  TBM_SETPOS = 0x0405, TBM_SETRANGE = 0x0406, TBM_SETRANGEMIN = 0x0407, TBM_SETRANGEMAX = 0x0408,
  TBM_SETPAGESIZE = 0x0415, TBM_GETPAGESIZE = 0x0416, TBM_SETLINESIZE = 0x0417,
  TBM_GETLINESIZE = 0x0418, TBM_GETTHUMBRECT = 0x0419, TBM_GETCHANNELRECT = 0x041A;
constexpr uint32_t TB_LINEUP = 0, TB_LINEDOWN = 1, TB_PAGEUP = 2, TB_PAGEDOWN = 3,
  TB_THUMBPOSITION = 4, TB_THUMBTRACK = 5, TB_TOP = 6, TB_BOTTOM = 7, TB_ENDTRACK = 8;

// ---- SCROLLBAR ----------------------------------------------------------------------------
constexpr uint32_t SBS_HORZ = 0x0, SBS_VERT = 0x1;

// ---- SysTabControl32 ----------------------------------------------------------------------
constexpr uint32_t TCIF_TEXT = 0x1, TCIF_IMAGE = 0x2, TCIF_PARAM = 0x8;
struct TCITEM {
  uint32_t mask = 0;
  uint32_t dwState = 0, dwStateMask = 0;
  char* pszText = nullptr;   // UTF-8; for TCM_GETITEM a buffer of cchTextMax bytes
  int32_t cchTextMax = 0;
  int32_t iImage = -1;
  LPARAM lParam = 0;
};
struct TCHITTESTINFO {
  POINT pt;
  uint32_t flags = 0;
};
constexpr uint32_t TCHT_NOWHERE = 0x1, TCHT_ONITEM = 0x6;
constexpr uint32_t TCM_GETITEMCOUNT = 0x1304, TCM_DELETEITEM = 0x1308, TCM_DELETEALLITEMS = 0x1309,
  TCM_GETITEMRECT = 0x130A, TCM_GETCURSEL = 0x130B, TCM_SETCURSEL = 0x130C, TCM_HITTEST = 0x130D,
  TCM_ADJUSTRECT = 0x1328, TCM_GETCURFOCUS = 0x132F, TCM_SETCURFOCUS = 0x1330,
  TCM_GETITEM = 0x133C, TCM_SETITEM = 0x133D, TCM_INSERTITEM = 0x133E;
constexpr uint32_t TCM_GETITEMW = TCM_GETITEM, TCM_SETITEMW = TCM_SETITEM, TCM_INSERTITEMW = TCM_INSERTITEM;
constexpr int32_t TCN_SELCHANGE = -551, TCN_SELCHANGING = -552;

// ---- SysMonthCal32 ------------------------------------------------------------------------
struct SYSTEMTIME {
  uint16_t wYear = 0, wMonth = 0, wDayOfWeek = 0, wDay = 0, wHour = 0, wMinute = 0, wSecond = 0,
    wMilliseconds = 0;
};
struct NMSELCHANGE {
  NMHDR nmhdr;
  SYSTEMTIME stSelStart, stSelEnd;
};
constexpr uint32_t MCS_DAYSTATE = 0x1, MCS_MULTISELECT = 0x2, MCS_WEEKNUMBERS = 0x4,
  MCS_NOTODAYCIRCLE = 0x8, MCS_NOTODAY = 0x10, MCS_SHORTDAYSOFWEEK = 0x80,
  MCS_NOSELCHANGEONNAV = 0x100;
constexpr uint32_t MCM_GETCURSEL = 0x1001, MCM_SETCURSEL = 0x1002, MCM_GETMINREQRECT = 0x1009,
  MCM_SETCOLOR = 0x100A, MCM_GETCOLOR = 0x100B, MCM_SETTODAY = 0x100C, MCM_GETTODAY = 0x100D,
  MCM_GETFIRSTDAYOFWEEK = 0x1010;
constexpr uint32_t MCSC_BACKGROUND = 0, MCSC_TEXT = 1, MCSC_TITLEBK = 2, MCSC_TITLETEXT = 3,
  MCSC_MONTHBK = 4, MCSC_TRAILINGTEXT = 5;
// The selection notification: the calendar sends this one code, on every click on a day
// and every move of the selection by the keyboard.
constexpr int32_t MCN_SELECT = -749;

}  // namespace vyr::win
