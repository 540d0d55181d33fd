// The platform routines of system/view/platform that the GUI module implements, listed once:
// the runtime registers a stub under each name (gui_entry/view_routines.cpp) and the module
// gives each its code (gui/backend/platform.cpp), both from this list, in system/view/platform's
// order, and each side checks its count against it.
#pragma once
#include "runtime/cell.h"

namespace vyr::gui_module {

// X(member, name): members are the names mapped to C++ (`-` -> `_`, `?` -> `_q`).
#define VYR_PLATFORM_ROUTINES(X)                 \
  X(make_null_handle, "make-null-handle")        \
  X(fetch_all_screens, "fetch-all-screens")      \
  X(get_current_screen, "get-current-screen")    \
  X(get_screen_size, "get-screen-size")          \
  X(size_text, "size-text")                      \
  X(on_change_facet, "on-change-facet")          \
  X(update_text, "update-text")                  \
  X(update_font, "update-font")                  \
  X(update_para, "update-para")                  \
  X(destroy_view, "destroy-view")                \
  X(detach_image, "detach-image")                \
  X(update_view, "update-view")                  \
  X(refresh_window, "refresh-window")            \
  X(redraw, "redraw")                            \
  X(show_window, "show-window")                  \
  X(make_view, "make-view")                      \
  X(draw_image, "draw-image")                    \
  X(draw_face, "draw-face")                      \
  X(do_event_loop, "do-event-loop")              \
  X(exit_event_loop, "exit-event-loop")          \
  X(request_font, "request-font")                \
  X(request_file, "request-file")                \
  X(request_dir, "request-dir")                  \
  X(text_box_metrics, "text-box-metrics")        \
  X(update_scroller, "update-scroller")          \
  X(set_dark_mode, "set-dark-mode")              \
  X(support_dark_mode_q, "support-dark-mode?")   \
  X(toggle_gpu, "toggle-GPU")

#define VYR_PLATFORM_ROUTINE_ONE(member, name) +1
constexpr u32 platform_routine_count = 0 VYR_PLATFORM_ROUTINES(VYR_PLATFORM_ROUTINE_ONE);
#undef VYR_PLATFORM_ROUTINE_ONE

}  // namespace vyr::gui_module
