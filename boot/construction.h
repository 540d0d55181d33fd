// The boot construction: the manifest's entries run in order. A source entry is a Vyr
// file evaluated in the global context; a stage entry is a named C++ step of the
// construction. Later modules add stages with `add_stage` before the environment is built
// and name them in environment/manifest.txt.
#pragma once
#include <string>
#include <vector>

#include "runtime/cell.h"

namespace vyr::boot {

// One manifest line: "NAME.vyr" (evaluated), "data NAME" (read by a module, not evaluated),
// "stage NAME" (a C++ stage), "gui NAME" (evaluated only when a display is up; skipped
// headless), "start NAME" (evaluated in place by the construction, and again at every
// start-up from the saved environment: it reads the process, the command line or the
// display), ';' starts a comment.
enum class entry_kind { source, data, stage, gui, start };
struct manifest_entry {
  entry_kind kind;
  std::string name;
};
std::vector<manifest_entry> parse_manifest(const std::string& text);

using stage_fn = void (*)();
// Registers a named stage (a later registration of the same name replaces it).
void add_stage(const char* name, stage_fn fn);
// Runs a stage; an unknown name raises internal not-done naming nothing (a manifest error).
void run_stage(const std::string& name);

// The command line as the process received it (argv), kept for `system/script/args` and
// `system/options`. Set by the entry before the environment is built.
void set_arguments(int argc, char** argv);
const std::vector<std::string>& arguments();
// argv joined by spaces; a piece that is empty or holds a blank or a tab is quoted.
std::string join_arguments(size_t from);

// The cache root for a HOME value: HOME with "/.vyr/" appended (one "/" between them);
// /tmp/.vyr/ when HOME is unset, empty or relative.
std::string cache_root(const char* home);

// Where start-up spends its time, in seconds: the runtime initialisation, turning the
// environment's sources into blocks (the image's decode once the boot image exists), and
// evaluating the construction. `VYR_BOOT_TIMES=1` prints them to standard error, with the
// monotonic clock's reading when start-up began (CLOCK_MONOTONIC, as another process reads
// it), so that a benchmark can place them on its own clock.
struct boot_times {
  double start = 0, init = 0, decode = 0, construction = 0;
};
extern boot_times times;
double seconds_now();

// Registers the construction's own stages and the `boot-value` routine.
void init_construction();

}  // namespace vyr::boot
