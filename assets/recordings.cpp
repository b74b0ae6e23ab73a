// The three recordings, as 8-bit mono PCM WAV files.

#include <cstdint>
#include <span>

#include "assets/catalog.h"
#include "embedded/recording_a.h"
#include "embedded/recording_b.h"
#include "embedded/recording_c.h"

namespace assets {

std::span<const uint8_t> Recording(char which) {
  switch (which) {
    case 'A':
      return embedded::recording_a();
    case 'B':
      return embedded::recording_b();
    case 'C':
      return embedded::recording_c();
    default:
      return {};
  }
}

}  // namespace assets
