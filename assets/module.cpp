// The tune, in the module layout the music player reads.

#include <cstdint>
#include <span>

#include "assets/catalog.h"
#include "embedded/tune.h"

namespace assets {

std::span<const uint8_t> Module() {
  return embedded::tune();
}

}  // namespace assets
