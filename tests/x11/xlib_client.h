// What the Xlib clients of the X11 tests share: waiting for the next event up to a
// deadline, and answering a selection request.
#pragma once
#include <X11/Xlib.h>
#include <poll.h>

#include <chrono>

namespace xlib_client {

using deadline = std::chrono::steady_clock::time_point;

// The next event of `d` into `e`; false once `until` has passed with none.
inline bool next_event(Display* d, XEvent* e, deadline until) {
  while (!XPending(d)) {
    if (std::chrono::steady_clock::now() >= until) return false;
    pollfd p{ConnectionNumber(d), POLLIN, 0};
    poll(&p, 1, 50);
  }
  XNextEvent(d, e);
  return true;
}

// Tells the requestor of `q` where its conversion is: `property`, or None when refused.
inline void reply(Display* d, const XSelectionRequestEvent& q, Atom property) {
  XSelectionEvent n{};
  n.type = SelectionNotify;
  n.requestor = q.requestor;
  n.selection = q.selection;
  n.target = q.target;
  n.time = q.time;
  n.property = property;
  XSendEvent(d, q.requestor, False, 0, reinterpret_cast<XEvent*>(&n));
  XFlush(d);
}

}  // namespace xlib_client
