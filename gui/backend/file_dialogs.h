// The file and folder dialogs behind the platform routines `request-file` and `request-dir`:
// their arguments read into a request for the dialog provider, and its answer turned into
// file! values. Paths are absolute and in the language's own form (the same text here).
#pragma once
#include <string>
#include <vector>

#include "gui/backend/backend.h"
#include "gui/win/dialogs/provider.h"

namespace vyr::gui {

// The filters of a filter block: each value a string! or file! (any other raises
// invalid-arg with it), taken as description and pattern pairs; an unpaired last
// description is dropped. Empty when the block gives none (the default filters are used).
std::vector<win::dialogs::filter> filter_list(const cell* block);
// Appends a file! for each path to `block`.
void append_selected_files(cell* block, const std::vector<std::string>& paths);
// A modal dialog opened while a `down` event is dispatched leaves no button held: a `base`
// face's count of presses drops by one, any other window's press goes no further.
void release_mouse_down();

// request-file title file filter save? multi?: a file!, a block of file! values (multi?),
// or none on cancel, into `out`.
void OS_request_file(const cell* title, const cell* file, const cell* filter, bool save, bool multi, cell* out);
// request-dir title dir filter keep? multi?: a file! ending in "/", or none on cancel.
void OS_request_dir(const cell* title, const cell* dir, bool keep, cell* out);

}  // namespace vyr::gui
