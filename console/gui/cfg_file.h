// The GUI console's settings file on disk: the routines `console-cfg-unsafe`,
// `console-cfg-make-dir`, `console-cfg-write` and `console-cfg-warn` (see cfg_file.cpp).
#pragma once

namespace vyr::cfg_file {

void register_routines();  // once; with the other routines, before the environment is built

}  // namespace vyr::cfg_file
