// The X11 display's clipboard: the CLIPBOARD selection, owned by a helper window and
// served from the wait loop, read from another owner through a conversion. Text only for
// now; other kinds of content are refused.
#include "gui/win/x11/internal.h"

namespace vyr::win {

void x11_display::impl::serve_selection(XSelectionRequestEvent& q) {
  XSelectionEvent n{};
  n.type = SelectionNotify;
  n.requestor = q.requestor;
  n.selection = q.selection;
  n.target = q.target;
  n.time = q.time;
  n.property = None;
  Atom prop = q.property ? q.property : q.target;
  if (q.selection == CLIPBOARD && owned_clipboard) {
    if (q.target == TARGETS) {
      Atom t[] = {TARGETS, UTF8_STRING, XA_STRING, TEXT};
      XChangeProperty(dpy, q.requestor, prop, XA_ATOM, 32, PropModeReplace, reinterpret_cast<unsigned char*>(t), 4);
      n.property = prop;
    } else if (q.target == UTF8_STRING || q.target == XA_STRING || q.target == TEXT) {
      const std::string& s = *owned_clipboard;
      XChangeProperty(dpy, q.requestor, prop, q.target == TEXT ? UTF8_STRING : q.target, 8, PropModeReplace,
                      reinterpret_cast<const unsigned char*>(s.data()), int(s.size()));
      n.property = prop;
    }
  }
  XSendEvent(dpy, q.requestor, False, 0, reinterpret_cast<XEvent*>(&n));
  XFlush(dpy);
}

bool x11_display::set_clipboard(const clipboard_content& in) {
  if (in.kind != clipboard_content::TEXT) return false;
  if (p_->dead) return true;
  p_->owned_clipboard = in.text;
  XSetSelectionOwner(p_->dpy, p_->CLIPBOARD, p_->helper, CurrentTime);
  XFlush(p_->dpy);
  return true;
}

bool x11_display::get_clipboard(clipboard_content* out) {
  *out = clipboard_content{};
  std::optional<std::string> text = p_->clipboard_text();
  if (!text) return false;
  out->kind = clipboard_content::TEXT;
  out->text = std::move(*text);
  return true;
}

std::optional<std::string> x11_display::impl::clipboard_text() {
  if (dead) return std::nullopt;
  impl& p = *this;
  if (p.owned_clipboard && XGetSelectionOwner(p.dpy, p.CLIPBOARD) == p.helper) return p.owned_clipboard;
  p.owned_clipboard.reset();
  if (XGetSelectionOwner(p.dpy, p.CLIPBOARD) == None) return std::nullopt;
  XDeleteProperty(p.dpy, p.helper, p.VYR_SEL);
  XConvertSelection(p.dpy, p.CLIPBOARD, p.UTF8_STRING, p.VYR_SEL, p.helper, CurrentTime);
  XFlush(p.dpy);
  int64_t until = steady_us() + 1000000;
  XEvent e;
  for (;;) {
    if (XCheckTypedWindowEvent(p.dpy, p.helper, SelectionNotify, &e)) break;
    int64_t left = until - steady_us();
    if (left <= 0) return std::nullopt;
    pollfd f{ConnectionNumber(p.dpy), POLLIN, 0};
    poll(&f, 1, int(std::min<int64_t>(left / 1000 + 1, 50)));
  }
  if (e.xselection.property == None) return std::nullopt;
  Atom type;
  int format;
  unsigned long n = 0, after = 0;
  unsigned char* data = nullptr;
  // At most 16 MiB of text is taken from another program's clipboard.
  if (XGetWindowProperty(p.dpy, p.helper, p.VYR_SEL, 0, 4 * 1024 * 1024, True, AnyPropertyType, &type, &format, &n,
                         &after, &data) != Success || !data)
    return std::nullopt;
  std::string s;
  if (format == 8) s.assign(reinterpret_cast<char*>(data), n);
  XFree(data);
  if (format != 8) return std::nullopt;
  return s;
}

}  // namespace vyr::win
