// Rich-text layouts kept in a face's `handles` facet, a block of four cells: the layout (a
// handle! of kind 5 whose entry in the external resource table holds it), the context it
// was made on, the text laid out, and the stale mark (logic!). A face's own layout is
// reused until a change of the face sets the mark; the collector releases it with the last
// block that holds its handle.
#pragma once
#include "gui/draw/internal.h"

namespace vyr::text_box {

// The external table's class of kept layouts, registered on first use.
u32 layout_class();
// Layouts made for faces' `handles` so far (tests and benchmarks count them).
u64 layouts_made();

// The face's layout as its `handles` keep it: the kept one when `trust` is set, the stale
// mark is clear and it was made on this context; otherwise a new one, which takes the kept
// one's place (and table entry) and clears the mark. Null when the face has no `handles`
// word: nothing can be kept, the caller lays the text out itself. A bad style list raises,
// leaving what was kept as it was.
const draw::laid_text* layout_of(draw::context& c, const cell* face, bool trust);

// gui/mark-layout-stale: sets the stale mark of the face's kept layout. Answers whether
// the face is not shown.
bool mark_stale(const cell* face);

// Whether a face is shown: its `state` block starts with the handle of a window.
bool shown_q(const cell* face);

// Whether the face's `handles` ask for a new layout before measuring: true unless they are
// a block whose last cell is false.
bool layout_needed_q(const cell* face);

}  // namespace vyr::text_box
