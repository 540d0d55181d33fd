// Text-box layouts on pango: the metrics a face's text answers (caret positions, the
// character under a point, line heights, sizes and line counts), counted in code points.
#pragma once
#include "runtime/cell.h"

namespace vyr::text_box {

enum metric_kind : i32 {
  CARET_TO_OFFSET = 0, OFFSET_TO_CARET = 1, LINE_HEIGHT = 2, SIZE_TEXT = 3, LINE_COUNT = 4,
  OFFSET_TO_CHAR = 5, CARET_TO_OFFSET_LOWER = 6
};

// gui/OS-text-box-metrics: the face's layout is made (font, text, size, style list) and
// asked; the answer goes to `out` (point2D!, integer! or none! when there is no text).
void metrics(const cell* face, const cell* argument, i32 kind, cell* out);

// gui/get-text-size of a face's text (or of `text` when it is a string!): a point2D! of the
// laid-out width and height, trailing blanks left out of the width.
void text_size(const cell* face, const cell* text, cell* out);

}  // namespace vyr::text_box
