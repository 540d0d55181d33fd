// The empty boot image of programs linked without one (vyr-mkboot, tools, benchmarks of
// single modules). Weak: the generated image that vyr and the tests link replaces it.
#include "boot/environment.h"

namespace vyr::boot {

[[gnu::weak]] extern const environment_file environment_files[] = {{"", 0, "", false}};
[[gnu::weak]] extern const unsigned environment_file_count = 0;
[[gnu::weak]] extern const char boot_image[] = {0};
[[gnu::weak]] extern const unsigned boot_image_size = 0;

}  // namespace vyr::boot
