// Feeds arbitrary bytes to SpriteCatch, whichever of the BMP, PNG and JPEG
// readers they lead to, on both screen depths and in the raw mode.

#include <cstddef>
#include <cstdint>
#include <span>

#include "tests/fuzz/image_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size >= 1) fuzzimage::CatchAndDraw(data[0], std::span<const uint8_t>(data + 1, size - 1));
  return 0;
}
