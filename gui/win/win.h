// The windowing layer: Win32-shaped windows, classes, a message queue, timers, input state,
// paint and fonts, over a display (gui/win/display.h: headless or X11). It never sees
// language values; every handle is 32 bits (index and generation), so a handle kept after
// its object died is refused.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "gui/win/winnum.h"

typedef struct _cairo cairo_t;
typedef struct _cairo_surface cairo_surface_t;
typedef struct _PangoLayout PangoLayout;

namespace vyr::win {

enum class HWND : uint32_t {};
enum class HMENU : uint32_t {};
enum class HFONT : uint32_t {};
enum class HCURSOR : uint32_t {};
enum class HDC : uint32_t {};
enum class HMONITOR : uint32_t {};
enum class HDWP : uint32_t {};
enum class HBRUSH : uint32_t {};
enum class HBITMAP : uint32_t {};

using WPARAM = uint64_t;
using LPARAM = int64_t;
using LRESULT = int64_t;
using WNDPROC = LRESULT (*)(HWND, uint32_t, WPARAM, LPARAM);

constexpr uint32_t raw(HWND h) { return static_cast<uint32_t>(h); }
template <class H>
  requires std::is_enum_v<H>
constexpr bool is_null(H h) { return static_cast<uint32_t>(h) == 0; }

struct POINT { int32_t x = 0, y = 0; };
// Coordinate sums saturate at the 32-bit range instead of overflowing.
constexpr int32_t add32(int64_t a, int64_t b) {
  int64_t v = a + b;
  return v < INT32_MIN ? INT32_MIN : v > INT32_MAX ? INT32_MAX : int32_t(v);
}
struct SIZE { int32_t cx = 0, cy = 0; };
struct RECT {
  int32_t left = 0, top = 0, right = 0, bottom = 0;
  int32_t width() const { return clamp32(int64_t(right) - left); }
  int32_t height() const { return clamp32(int64_t(bottom) - top); }
  static constexpr int32_t clamp32(int64_t v) {
    return v < INT32_MIN ? INT32_MIN : v > INT32_MAX ? INT32_MAX : int32_t(v);
  }
  bool empty() const { return right <= left || bottom <= top; }
  bool contains(POINT p) const { return p.x >= left && p.x < right && p.y >= top && p.y < bottom; }
  bool operator==(const RECT&) const = default;
};

constexpr LPARAM MAKELPARAM(int32_t lo, int32_t hi) {
  return static_cast<LPARAM>(static_cast<uint32_t>((lo & 0xFFFF) | (static_cast<uint32_t>(hi & 0xFFFF) << 16)));
}
constexpr uint16_t LOWORD(uint64_t v) { return static_cast<uint16_t>(v & 0xFFFF); }
constexpr uint16_t HIWORD(uint64_t v) { return static_cast<uint16_t>((v >> 16) & 0xFFFF); }
constexpr int16_t GET_X_LPARAM(LPARAM l) { return static_cast<int16_t>(l & 0xFFFF); }
constexpr int16_t GET_Y_LPARAM(LPARAM l) { return static_cast<int16_t>((l >> 16) & 0xFFFF); }

struct MSG {
  HWND hwnd{};
  uint32_t message = 0;
  WPARAM wParam = 0;
  LPARAM lParam = 0;
  uint32_t time = 0;  // milliseconds of the layer's clock
  POINT pt;           // pointer position (screen) when the message was made
  uint32_t lPrivate = 0;  // input sequence number; TranslateMessage finds the key's text by it
};

// The creation record handed to WM_NCCREATE and WM_CREATE (lParam points at it).
struct CREATESTRUCT {
  void* lpCreateParams = nullptr;
  HMENU hMenu{};
  HWND hwndParent{};
  int32_t cy = 0, cx = 0, y = 0, x = 0;
  uint32_t style = 0;
  std::string lpszName;
  std::string lpszClass;
  uint32_t dwExStyle = 0;
};

struct WINDOWPOS {
  HWND hwnd{};
  uint32_t hwndInsertAfter = 0;
  int32_t x = 0, y = 0, cx = 0, cy = 0;
  uint32_t flags = 0;
};

// What a touch gesture did (WM_GESTURE's lParam is its handle): which gesture, where on the
// screen and its argument (zoom: the distance between the fingers; pan: the distance
// moved; rotate: the angle).
struct GESTUREINFO {
  uint32_t dwFlags = 0, dwID = 0;
  HWND hwndTarget{};
  POINT ptsLocation;
  uint32_t dwInstanceID = 0, dwSequenceID = 0;
  uint64_t ullArguments = 0;
  uint32_t cbExtraArgs = 0;
};
struct MINMAXINFO { POINT ptReserved, ptMaxSize, ptMaxPosition, ptMinTrackSize, ptMaxTrackSize; };

struct PAINTSTRUCT { HDC hdc{}; bool fErase = false; RECT rcPaint; };

struct SCROLLINFO {
  uint32_t cbSize = 28, fMask = 0;
  int32_t nMin = 0, nMax = 0;
  uint32_t nPage = 0;
  int32_t nPos = 0, nTrackPos = 0;
};

struct TRACKMOUSEEVENT { uint32_t cbSize = 24, dwFlags = 0; HWND hwndTrack{}; uint32_t dwHoverTime = 0; };

// A colour as 0x00BBGGRR, as GDI keeps it; 0xFFFFFFFF means "none" (no background brush).
using COLORREF = uint32_t;
constexpr COLORREF RGB(uint8_t r, uint8_t g, uint8_t b) { return r | (g << 8) | (uint32_t(b) << 16); }
constexpr COLORREF NO_COLOR = 0xFFFFFFFF;

struct WNDCLASSEX {
  uint32_t cbSize = 48;
  uint32_t style = 0;
  WNDPROC lpfnWndProc = nullptr;
  int32_t cbClsExtra = 0, cbWndExtra = 0;
  HCURSOR hCursor{};
  COLORREF hbrBackground = NO_COLOR;
  std::string lpszClassName;
};

// The 80 bytes of extra data every backend window carries, as a typed record of 32-bit
// slots at their byte offsets (GetWindowLong with a non-negative index reads them).
struct window_extra {
  uint32_t system_record = 0;   // 0: unused (owning_control names a control's own windows)
  uint32_t slot4 = 0, slot8 = 0;
  uint32_t shown = 0;           // 12
  uint32_t cursor_icon = 0;     // 16
  uint32_t draw_context = 0;    // 20
  uint32_t render_target = 0;   // 24
  uint32_t font_or_count = 0;   // 28
  uint32_t cursor = 0;          // 32
  uint32_t last_sizing = 0;     // 36
  uint32_t companion = 0;       // 40
  uint32_t frame_size = 0;      // 44
  uint32_t flags = 0;           // 48
  uint32_t move_offset = 0;     // 52
  uint32_t type_slot = 0;       // 56
  uint32_t face_slot = 0;       // 60
  uint32_t slot64 = 0, slot68 = 0, slot72 = 0;
  uint32_t face_flags = 0;      // 76
};
static_assert(sizeof(window_extra) == 80);

struct LOGFONT {
  int32_t lfHeight = 0;    // negative: character height in pixels; positive: cell height
  int32_t lfWidth = 0;
  int32_t lfWeight = FW_NORMAL;
  bool lfItalic = false, lfUnderline = false, lfStrikeOut = false;
  uint8_t lfQuality = 0;
  std::string lfFaceName;  // UTF-8
};

struct TEXTMETRIC { int32_t tmHeight = 0, tmAscent = 0, tmDescent = 0, tmAveCharWidth = 0, tmExternalLeading = 0; };

struct MONITORINFO { RECT rcMonitor, rcWork; bool primary = false; uint32_t dpi = 96; };

// What a control class keeps for one of its windows (its own extra bytes); the window owns
// it and frees it when it dies.
struct control_state {
  virtual ~control_state() = default;
};

// ---- classes and windows ------------------------------------------------------------------
bool RegisterClassEx(const WNDCLASSEX&);
bool UnregisterClass(std::string_view name);
bool GetClassInfoEx(std::string_view name, WNDCLASSEX& out);
HWND CreateWindowEx(uint32_t exstyle, std::string_view cls, std::string_view text, uint32_t style,
                    int32_t x, int32_t y, int32_t cx, int32_t cy, HWND parent, HMENU menu,
                    void* param);
bool DestroyWindow(HWND);
bool IsWindow(HWND);
bool IsWindowVisible(HWND);
bool IsWindowEnabled(HWND);
bool IsChild(HWND parent, HWND h);
bool EnableWindow(HWND, bool enable);
LRESULT SendMessage(HWND, uint32_t, WPARAM, LPARAM);
LRESULT CallWindowProc(WNDPROC, HWND, uint32_t, WPARAM, LPARAM);
LRESULT DefWindowProc(HWND, uint32_t, WPARAM, LPARAM);
int64_t GetWindowLong(HWND, int index);
int64_t SetWindowLong(HWND, int index, int64_t value);
window_extra* extra(HWND);      // null for a dead handle
control_state* GetControlState(HWND);
void SetControlState(HWND, std::unique_ptr<control_state>);
template <class T> T* control_of(HWND h) { return dynamic_cast<T*>(GetControlState(h)); }
std::string GetClassName(HWND);
// Text is UTF-8 throughout: WM_GETTEXTLENGTH answers bytes, WM_GETTEXT (wParam: the
// buffer's size in bytes) copies whole characters and a NUL, answering the bytes copied.
bool SetWindowText(HWND, std::string_view);
std::string GetWindowText(HWND);
LRESULT copy_text(std::string_view text, WPARAM capacity, LPARAM buffer);
HWND GetParent(HWND);
HWND SetParent(HWND child, HWND parent);
HWND GetAncestor(HWND, int flags);
HWND GetWindow(HWND, uint32_t cmd);
HWND GetDesktopWindow();
std::vector<HWND> children(HWND);   // top of the z-order first
bool GetWindowRect(HWND, RECT&);    // screen coordinates
bool GetClientRect(HWND, RECT&);    // {0, 0, width, height}
bool ClientToScreen(HWND, POINT&);
bool ScreenToClient(HWND, POINT&);
int MapWindowPoints(HWND from, HWND to, POINT* pts, int n);
// The window rectangle for a client rectangle; a menu counts as a bar of one row.
bool AdjustWindowRectEx(RECT&, uint32_t style, bool menu, uint32_t exstyle);
bool AdjustWindowRectExForDpi(RECT&, uint32_t style, bool menu, uint32_t exstyle, uint32_t dpi);
// The same with the bar of `menu` (none: no bar) as tall as it is laid out over the client
// rectangle's width: a narrow window's bar wraps to more than one row, and a window made
// from this rectangle gets the client rectangle it was asked for.
bool AdjustWindowRectForMenu(RECT&, uint32_t style, HMENU menu, uint32_t exstyle, uint32_t dpi);
// A top level's menu bar (gui/win/menubar.h): setting one (or none) changes the frame, so
// the client area shrinks or grows within the same window rectangle. A child has none.
bool SetMenu(HWND, HMENU);
HMENU GetMenu(HWND);
bool DrawMenuBar(HWND);
// What the display shows of a top level, in screen coordinates: its client area, with the
// menu bar above it when it has one.
RECT shown_rect(HWND top);
bool SetWindowPos(HWND, uint32_t insert_after, int32_t x, int32_t y, int32_t cx, int32_t cy, uint32_t flags);
bool MoveWindow(HWND, int32_t x, int32_t y, int32_t cx, int32_t cy, bool repaint);
HDWP BeginDeferWindowPos(int n);
HDWP DeferWindowPos(HDWP, HWND, uint32_t insert_after, int32_t x, int32_t y, int32_t cx, int32_t cy, uint32_t flags);
bool EndDeferWindowPos(HDWP);
bool ShowWindow(HWND, int cmd);
bool IsIconic(HWND);
bool IsZoomed(HWND);
HWND WindowFromPoint(POINT screen);
HWND ChildWindowFromPointEx(HWND, POINT client, uint32_t flags);
constexpr uint32_t CWP_ALL = 0, CWP_SKIPINVISIBLE = 1, CWP_SKIPDISABLED = 2, CWP_SKIPTRANSPARENT = 4;
std::vector<HWND> top_levels();     // top of the z-order first

// ---- messages -----------------------------------------------------------------------------
// Thread-safe: may be called from any thread.
bool PostMessage(HWND, uint32_t, WPARAM, LPARAM);
void PostQuitMessage(int code);
// 1: a message, 0: WM_QUIT, -1: the display failed or has no input left.
int GetMessage(MSG&, HWND filter, uint32_t min, uint32_t max);
bool PeekMessage(MSG&, HWND filter, uint32_t min, uint32_t max, uint32_t remove);
bool TranslateMessage(const MSG&);
LRESULT DispatchMessage(const MSG&);
bool WaitMessage();
// Keys aimed at a window `held` answers true for stay queued, in their order and aimed at
// that window whatever gets the focus meanwhile, until it answers false: a loop that runs
// while a window has no use for keys (a program's own, under a console that shows no
// prompt) leaves them for the loop that has. Null: no key is held.
void set_key_hold(bool (*held)(HWND target));
// While the program is busy outside every loop: turns what the display holds into input
// without waiting, then takes the first Esc or Ctrl+Break pressed in the top level `top`
// (the press and its release) out of the queue and answers true; a close of `top` waiting
// in the queue answers true too and stays queued, for the loop that runs next. Other input
// stays queued in its order.
bool take_halt_input(HWND top);
int16_t GetKeyState(uint32_t vk);
uint32_t MapVirtualKey(uint32_t code, uint32_t type);
int16_t VkKeyScan(char16_t ch);
uint32_t GetMessageTime();
uint32_t GetDoubleClickTime();
int64_t now_us();
// The program slept `us` outside the queue's own waits (display::pass_time).
void pass_time(int64_t us);
// The composition string the input method reported last (UTF-8).
std::string ImmGetCompositionString(HWND);

// ---- timers -------------------------------------------------------------------------------
// A timer with a procedure: DispatchMessage hands its WM_TIMER (lParam = the procedure) to
// the procedure instead of the window's, whatever the window's class.
using TIMERPROC = void (*)(HWND, uint32_t message, uintptr_t id, uint32_t time);
uintptr_t SetTimer(HWND, uintptr_t id, uint32_t ms, TIMERPROC procedure = nullptr);
bool KillTimer(HWND, uintptr_t id);
// The clock time of the next due timer, or -1.
int64_t next_timer_due();

// ---- focus, activation, capture, pointer -------------------------------------------------
HWND SetFocus(HWND);
HWND GetFocus();
HWND SetActiveWindow(HWND);
HWND GetActiveWindow();
bool SetForegroundWindow(HWND);
HWND GetForegroundWindow();
HWND SetCapture(HWND);
bool ReleaseCapture();
HWND GetCapture();
bool TrackMouseEvent(TRACKMOUSEEVENT&);
bool GetCursorPos(POINT&);
bool SetCursorPos(int32_t x, int32_t y);

// ---- paint --------------------------------------------------------------------------------
bool InvalidateRect(HWND, const RECT* r, bool erase);
bool ValidateRect(HWND, const RECT* r);
bool GetUpdateRect(HWND, RECT* r, bool erase);
bool UpdateWindow(HWND);
bool RedrawWindow(HWND, const RECT* r, uint32_t flags);
HDC BeginPaint(HWND, PAINTSTRUCT&);
bool EndPaint(HWND, const PAINTSTRUCT&);
HDC GetDC(HWND);         // null window: the screen
HDC GetWindowDC(HWND);
int ReleaseDC(HWND, HDC);
int GetDeviceCaps(HDC, int index);
cairo_t* cairo_of(HDC);  // the DC's drawing context
HFONT SelectObject(HDC, HFONT);
COLORREF SetTextColor(HDC, COLORREF);
COLORREF GetTextColor(HDC);
COLORREF SetBkColor(HDC, COLORREF);
int SetBkMode(HDC, int mode);
bool FillRect(HDC, const RECT&, COLORREF);
// Brushes: solid colours, the system colours' brushes and the stock DC brush, whose colour
// is the DC's (SetDCBrushColor) when it fills. Stock and system brushes are never deleted.
constexpr int WHITE_BRUSH = 0, NULL_BRUSH = 5, DC_BRUSH = 18;
HBRUSH CreateSolidBrush(COLORREF);
HBRUSH GetSysColorBrush(int index);
HBRUSH GetStockBrush(int id);
COLORREF SetDCBrushColor(HDC, COLORREF);
bool DeleteObject(HBRUSH);
bool FillRect(HDC, const RECT&, HBRUSH);
// The colour a brush fills with in this DC: NO_COLOR for NULL_BRUSH or a dead handle.
COLORREF brush_color(HBRUSH, HDC);
// Bitmaps: 32-bit pixels, straight alpha (0xAARRGGBB), as an image list takes them.
HBITMAP CreateBitmapARGB(int width, int height, const uint32_t* pixels);
bool DeleteObject(HBITMAP);
cairo_surface_t* bitmap_surface(HBITMAP);   // premultiplied; owned by the bitmap
// The window's client pixels (ARGB32, device pixels); null before its first paint.
cairo_surface_t* window_surface(HWND);
// Composes a top level (its surface and its children's, clipped to their parents, in
// z-order, alpha-blended) into a new ARGB32 surface of its client size.
cairo_surface_t* compose(HWND top);
bool PrintWindow(HWND, cairo_t* target);
// Presents every top level whose pixels changed since it was last presented.
void present_all();

// ---- scroll bars, caret, cursors ----------------------------------------------------------
int SetScrollInfo(HWND, int bar, const SCROLLINFO&, bool redraw);
bool GetScrollInfo(HWND, int bar, SCROLLINFO&);
bool ShowScrollBar(HWND, int bar, bool show);
bool scroll_bar_shown(HWND, int bar);
// A window's own scroll bar, in its client coordinates (beside the client area); empty when
// the bar is not shown.
RECT scroll_bar_rect(HWND, int bar);
bool CreateCaret(HWND, int width, int height);
bool DestroyCaret();
bool SetCaretPos(int x, int y);
bool GetCaretPos(POINT&);
bool ShowCaret(HWND);
bool HideCaret(HWND);
// The display's blink phase in milliseconds; INFINITE when the caret does not blink.
constexpr uint32_t INFINITE = 0xFFFFFFFFu;
uint32_t GetCaretBlinkTime();
// The gesture a WM_GESTURE names; false once the handle is too old (the layer keeps the
// last 64).
bool GetGestureInfo(LPARAM handle, GESTUREINFO&);
HCURSOR LoadCursor(uint32_t id);
// A cursor from straight-alpha ARGB pixels (0xAARRGGBB, width x height).
HCURSOR CreateCursorFromARGB(int width, int height, int hot_x, int hot_y, const uint32_t* pixels);
bool DestroyCursor(HCURSOR);
HCURSOR SetCursor(HCURSOR);
HCURSOR GetCursor();
uint32_t cursor_shape(HCURSOR);   // the IDC_ id of a shared cursor, 0 for an image cursor
bool cursor_image(HCURSOR, int& width, int& height, int& hot_x, int& hot_y, std::vector<uint32_t>& pixels);

// ---- fonts and text -----------------------------------------------------------------------
HFONT CreateFontIndirect(const LOGFONT&);
bool DeleteObject(HFONT);
bool GetObject(HFONT, LOGFONT&);
HFONT GetStockFont(int id);
// The message font at a DPI: fontconfig's sans-serif at 9 points. Without `resolve` the
// face stays the generic "sans-serif" and fontconfig is not loaded.
LOGFONT message_font(uint32_t dpi, bool resolve = true);
bool GetTextExtentPoint32(HDC, std::string_view utf8, SIZE&);
uint32_t GetTabbedTextExtent(HDC, std::string_view utf8);   // cy << 16 | cx
bool GetTextMetrics(HDC, TEXTMETRIC&);
int DrawText(HDC, std::string_view utf8, RECT& r, uint32_t flags);
bool TextOut(HDC, int x, int y, std::string_view utf8);
// A pango layout of the text in the DC's font, at the layer's resolution; the caller unrefs.
PangoLayout* CreateTextLayout(HDC, std::string_view utf8);
std::string font_family_of(HFONT);   // the family fontconfig chose

// ---- system values ------------------------------------------------------------------------
int GetSystemMetricsForDpi(int index, uint32_t dpi);
int GetSystemMetrics(int index);
uint32_t GetDpiForWindow(HWND);
HMONITOR MonitorFromPoint(POINT, uint32_t flags);
HMONITOR MonitorFromRect(const RECT&, uint32_t flags);
HMONITOR MonitorFromWindow(HWND, uint32_t flags);
bool GetMonitorInfo(HMONITOR, MONITORINFO&);
uint32_t GetDpiForMonitor(HMONITOR);
std::vector<HMONITOR> EnumDisplayMonitors();
COLORREF GetSysColor(int index);
constexpr int COLOR_WINDOW = 5, COLOR_WINDOWTEXT = 8, COLOR_BTNFACE = 15, COLOR_HIGHLIGHT = 13,
  COLOR_HIGHLIGHTTEXT = 14, COLOR_GRAYTEXT = 17;
// The display's clipboard as text (gui/win/display.h has the whole record): setting puts
// text on it; getting answers nullopt unless it holds text.
bool OpenClipboard(HWND);
bool CloseClipboard();
bool SetClipboardText(const std::string& utf8);
std::optional<std::string> GetClipboardText();

// UTF-8 <-> UTF-16 for WM_CHAR, and <-> code points for the text of controls. Malformed
// input becomes U+FFFD.
std::u16string to_utf16(std::string_view utf8);
std::string to_utf8(std::u16string_view utf16);
std::u32string to_utf32(std::string_view utf8);
std::string to_utf8(std::u32string_view code_points);

}  // namespace vyr::win
