// The clipboard for read-clipboard and write-clipboard: text, lists of files and images
// (as PNG bytes) exchanged with a store behind `clipboard::store`. The default store keeps
// them in this process; the X11 selection implements the same interface with the GUI. The
// store holds plain C++ data only, so nothing in it needs rooting.
#pragma once
#include "base/clipboard.h"
#include "runtime/cell.h"

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

// The store in use (the in-process one unless another was installed); install null to
// go back to it.
store& current();
void install(store* s);

// Sleeps `seconds`, answering other programs' requests for the clipboard meanwhile.
void sleep_serving(double seconds);
// Before the process ends.
void at_exit();

// A string!, a block! of file! values, an image! (decoded from the PNG held), none!
// (content of no value here) or false (the clipboard empty or not to be had) into `out`.
cell* read(cell* out);
// Puts none! (empties the clipboard), a string!, a block! of file! values (any other
// item: script invalid-arg) or an image! (as PNG; one without pixels: script invalid-arg);
// any other value raises script invalid-arg. False when the store would not take it.
bool write(const cell* value);

}  // namespace vyr::clipboard
