// The host API: everything the GUI module (vyr-gui.so) may ask of the runtime. The
// executable fills one table of functions (gui_entry/host_api.cpp) and hands it to the
// module's entry point, the mirror of the hook table the module fills for the runtime
// (gui_module::hooks). Module code includes this folder, runtime/cell.h (cell layouts and
// type ids stay header-only) and base/, never another runtime header, and it binds to no
// runtime symbol: a runtime header edit does not change the interface between the two.
// A slot is added at the end, so that the table only grows.
#pragma once
#include "runtime/cell.h"

namespace vyr::api {

struct host_table {
  // sizeof(host_table) as the executable was built: a module built against a longer table
  // refuses to start instead of calling past its end.
  u64 size;

  // ---- Image pixels ----
  // Decodes JPEG file bytes into `out`, a picture of width x height opaque BGRA pixels.
  // False, with `out` in an unspecified state, when the bytes
  // are no JPEG, do not decode, or decode to another size: never raises, so a capture
  // thread may call it.
  bool (*decode_jpeg)(const u8* bytes, u64 n, u32 width, u32 height, u32* out);
};

namespace detail {
extern const host_table* bound;
}

// The table the module was started with (bind), valid for the module's life.
inline const host_table& host() { return *detail::bound; }
// Binds the module's code to the executable's table: run by the module's entry point, and
// by a program that links module code in itself (a test), before that code runs. False when
// the table is shorter than the one this code was built against.
bool bind(const host_table* table);

}  // namespace vyr::api
