// A clipboard manager for the X11 clipboard test, written against Xlib alone: it owns
// CLIPBOARD_MANAGER and, asked to SAVE_TARGETS, takes the clipboard's text from its owner,
// answers, owns the CLIPBOARD itself and serves that text until it has been read once.
// Prints "ready" once it owns CLIPBOARD_MANAGER, "saved N" when it took N bytes, "served"
// at the end. Gives up after 300 seconds: the test kills it sooner, and the limit only has
// to outlast the two vyr runs it serves, which the test waits for up to 120 seconds each.
#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "xlib_client.h"

namespace {
using namespace xlib_client;

Display* d;
Window w;
Atom CLIPBOARD, MANAGER, SAVE_TARGETS, TARGETS, UTF8, PROP;

// The clipboard's text from its owner (small texts only: no INCR here).
bool take_text(std::string* out, deadline until) {
  XConvertSelection(d, CLIPBOARD, UTF8, PROP, w, CurrentTime);
  XFlush(d);
  XEvent e;
  while (next_event(d, &e, until)) {
    if (e.type != SelectionNotify) continue;
    if (e.xselection.property == None) return false;
    Atom type;
    int format;
    unsigned long n = 0, after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(d, w, PROP, 0, 1 << 20, True, AnyPropertyType, &type, &format, &n, &after, &data) != Success ||
        !data)
      return false;
    out->assign(reinterpret_cast<char*>(data), n);
    XFree(data);
    return true;
  }
  return false;
}
}  // namespace

int main() {
  d = XOpenDisplay(nullptr);
  if (!d) return 2;
  w = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 1, 1, 0, 0, 0);
  CLIPBOARD = XInternAtom(d, "CLIPBOARD", False);
  MANAGER = XInternAtom(d, "CLIPBOARD_MANAGER", False);
  SAVE_TARGETS = XInternAtom(d, "SAVE_TARGETS", False);
  TARGETS = XInternAtom(d, "TARGETS", False);
  UTF8 = XInternAtom(d, "UTF8_STRING", False);
  PROP = XInternAtom(d, "MANAGER_PROP", False);
  XSetSelectionOwner(d, MANAGER, w, CurrentTime);
  if (XGetSelectionOwner(d, MANAGER) != w) return 3;
  std::printf("ready\n");
  std::fflush(stdout);
  auto until = std::chrono::steady_clock::now() + std::chrono::seconds(300);
  std::string saved;
  bool have = false;
  XEvent e;
  while (next_event(d, &e, until)) {
    if (e.type != SelectionRequest) continue;
    XSelectionRequestEvent q = e.xselectionrequest;
    if (q.selection == MANAGER && q.target == SAVE_TARGETS) {
      have = take_text(&saved, until);
      reply(d, q, have ? q.property : None);
      if (have) {
        XSetSelectionOwner(d, CLIPBOARD, w, CurrentTime);
        std::printf("saved %zu\n", saved.size());
        std::fflush(stdout);
      }
    } else if (q.selection == CLIPBOARD && have && q.target == TARGETS) {
      Atom t[] = {TARGETS, UTF8};
      XChangeProperty(d, q.requestor, q.property, XA_ATOM, 32, PropModeReplace, reinterpret_cast<unsigned char*>(t), 2);
      reply(d, q, q.property);
    } else if (q.selection == CLIPBOARD && have && q.target == UTF8) {
      XChangeProperty(d, q.requestor, q.property, UTF8, 8, PropModeReplace,
                      reinterpret_cast<const unsigned char*>(saved.data()), int(saved.size()));
      reply(d, q, q.property);
      std::printf("served\n");
      std::fflush(stdout);
      break;
    } else {
      reply(d, q, None);
    }
  }
  XCloseDisplay(d);
  return 0;
}
