// The PNG decoder alone: every image starts with the PNG signature.

#include <cstddef>
#include <cstdint>

#include "tests/fuzz/image_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const uint8_t magic[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  fuzzimage::CatchWithMagic(data, size, magic);
  return 0;
}
