// The BMP reader alone: every image starts with "BM".

#include <cstddef>
#include <cstdint>

#include "tests/fuzz/image_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const uint8_t magic[] = {'B', 'M'};
  fuzzimage::CatchWithMagic(data, size, magic);
  return 0;
}
