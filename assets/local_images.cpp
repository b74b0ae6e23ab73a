// Images of the local game, by catalogue number.

#include <cstdint>
#include <span>

#include "assets/catalog.h"
#include "assets/shared_images.h"
#include "embedded/image_150.h"
#include "embedded/image_201.h"
#include "embedded/image_499.h"
#include "embedded/image_500.h"
#include "embedded/image_501.h"
#include "embedded/image_502.h"
#include "embedded/image_503.h"
#include "embedded/image_504.h"
#include "embedded/image_505.h"
#include "embedded/image_506.h"
#include "embedded/image_507.h"

namespace assets {

std::span<const uint8_t> LocalImage(int number) {
  switch (number) {
    case 150:
      return embedded::image_150();
    case 201:
      return embedded::image_201();
    case 499:
      return embedded::image_499();
    case 500:
      return embedded::image_500();
    case 501:
      return embedded::image_501();
    case 502:
      return embedded::image_502();
    case 503:
      return embedded::image_503();
    case 504:
      return embedded::image_504();
    case 505:
      return embedded::image_505();
    case 506:
      return embedded::image_506();
    case 507:
      return embedded::image_507();
    default:
      return SharedImage(number);
  }
}

}  // namespace assets
