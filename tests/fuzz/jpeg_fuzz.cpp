// Fuzz target for the JPEG decoder (see image_fuzz.h).
#include "tests/fuzz/image_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return vyr::fuzz::decode_one(data, size, vyr::image_codecs::JPEG);
}
