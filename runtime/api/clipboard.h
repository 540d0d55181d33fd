// The clipboard's store interface, which the GUI module implements over the X11 selection
// and installs through the host table (runtime/host/clipboard.h keeps the rest).
#pragma once
#include "base/clipboard.h"

namespace vyr::clipboard {

using content = clipboard_content;

class store {
 public:
  virtual ~store() = default;
  // False when the clipboard cannot be had (another owner holds it).
  virtual bool get(content* out) = 0;
  virtual bool set(const content& in) = 0;
  // A store shared with other programs answers their requests while the process waits
  // (wait, ask): the descriptor that becomes readable when one may have come (-1: none),
  // and the pass that answers them.
  virtual int serve_fd() { return -1; }
  virtual void serve() {}
  // At the end of the process: hands what the store holds to whatever keeps it after the
  // process (a clipboard manager), when something does.
  virtual void hand_over() {}
};

}  // namespace vyr::clipboard
