// Images of the network programs, by catalogue number. They are the local
// game's pictures, except the shot (150), which is a 24-bit BMP here.

#include <cstdint>
#include <span>

#include "assets/catalog.h"
#include "assets/shared_images.h"
#include "embedded/image_150_net.h"

namespace assets {

std::span<const uint8_t> NetworkImage(int number) {
  if (number == 150) return embedded::image_150_net();
  return SharedImage(number);
}

}  // namespace assets
