// The saved environment: an image of the arena as the construction left it, with the C++
// state that refers into it (runtime/snapshot.h), written once at build time and appended
// to the executable. Start-up maps its pages into the arena instead of building the
// environment again, then redoes the steps that read the process (see environment.cpp).
#pragma once
#include <string>

namespace vyr::boot {

// Writes the current environment to `path`; false with a message on standard error.
bool write_snapshot(const char* path);

enum class snapshot_status { absent, loaded, refused };
// Restores the environment from `path`, or from the image appended to the executable when
// `path` is null. `refused` (with a message on standard error, nothing changed) for an image
// made by another build or a damaged one.
snapshot_status load_snapshot(const char* path);

// The executable's build id (the linker's note), as hexadecimal; empty when it has none.
std::string build_id();

}  // namespace vyr::boot
