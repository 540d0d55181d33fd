// The clipboard for read-clipboard and write-clipboard: text, lists of files and images
// (as PNG bytes) exchanged with a store behind `clipboard::store`. The default store keeps
// them in this process; the X11 selection implements the same interface with the GUI. The
// store holds plain C++ data only, so nothing in it needs rooting.
#pragma once
#include "base/clipboard.h"
#include "runtime/api/clipboard.h"
#include "runtime/cell.h"

namespace vyr::clipboard {

// The store in use (the in-process one unless another was installed); install null to
// go back to it.
store& current();
void install(store* s);
// Called before the first read or write while no store is installed: a desktop clipboard
// that lives in a module yet to be loaded connects there, so that a script that never
// touches the clipboard never loads it.
void connect_on_first_use(void (*connect)());

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
