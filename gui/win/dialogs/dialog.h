// Modal dialogs: a top level of its own class made of the layer's controls, run in a loop of
// its own while every other top level is disabled (task-modal). The capture is released
// when it opens; it is centred on its owner (on the monitor without one) and kept above it
// (an X11 transient); Tab and Shift+Tab walk its WS_TABSTOP controls, Enter presses the
// default button, Esc cancels. Input that reaches a disabled top level meanwhile is dropped.
#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "gui/win/win.h"

namespace vyr::win::dialogs {

constexpr int IDOK = 1, IDCANCEL = 2;

class dialog {
 public:
  virtual ~dialog() = default;
  // Runs the dialog over `owner` (its top level; none: the active window) and answers the
  // code end() was given, IDCANCEL when the dialog was closed or the loop ended.
  int run(HWND owner);

 protected:
  // The client size at dpi(), the caption, and the controls (made in build()).
  virtual SIZE size() = 0;
  virtual std::string title() = 0;
  virtual void build() = 0;
  // A control's notification or a button (IDOK and IDCANCEL too, from Enter and Esc).
  // Without an override IDOK and IDCANCEL end the dialog with their code.
  virtual void command(int id, int code, HWND control);
  // Paints what the dialog shows beside its controls, over its background.
  virtual void paint(HDC) {}
  // Any other message to the dialog window; `handled` false lets the default run.
  virtual LRESULT message(uint32_t, WPARAM, LPARAM, bool& handled) {
    handled = false;
    return 0;
  }
  // Keys the dialog takes before its controls (the copy shortcut of a message box): true
  // when taken.
  virtual bool key(uint32_t vk) { return false; }
  // The control the keyboard starts in; none: the first that takes Tab.
  virtual HWND first_focus() { return HWND{}; }

  // A control of class `cls` at `r` (client pixels), in the dialog's font.
  HWND add(const char* cls, std::string_view text, uint32_t style, RECT r, int id, uint32_t exstyle = 0);
  HWND item(int id) const;
  void end(int code);
  HWND hwnd() const { return h_; }
  uint32_t dpi() const { return dpi_; }
  int px(double units) const;   // 96-DPI units at dpi()
  HFONT font() const { return font_; }

 private:
  friend LRESULT dialog_proc(HWND, uint32_t, WPARAM, LPARAM);
  bool pre_translate(const MSG&);
  void tab(bool back);
  HWND h_{};
  uint32_t dpi_ = 96;
  HFONT font_{};
  bool done_ = false;
  int code_ = IDCANCEL;
};

// The direct child of `dlg` that is or holds `h`; null when none.
HWND child_of(HWND dlg, HWND h);
// The windows of the dialogs that run now, the innermost last.
std::vector<HWND> running_dialogs();

}  // namespace vyr::win::dialogs
