// Pictures that both catalogues share, by catalogue number.

#include "assets/shared_images.h"

#include "embedded/image_100.h"
#include "embedded/image_101.h"
#include "embedded/image_110.h"
#include "embedded/image_111.h"
#include "embedded/image_161.h"
#include "embedded/image_162.h"
#include "embedded/image_163.h"
#include "embedded/image_164.h"
#include "embedded/image_165.h"
#include "embedded/image_166.h"
#include "embedded/image_167.h"
#include "embedded/image_168.h"
#include "embedded/image_169.h"
#include "embedded/image_170.h"
#include "embedded/image_171.h"
#include "embedded/image_172.h"
#include "embedded/image_173.h"
#include "embedded/image_174.h"
#include "embedded/image_175.h"
#include "embedded/image_176.h"
#include "embedded/image_177.h"
#include "embedded/image_178.h"
#include "embedded/image_179.h"
#include "embedded/image_200.h"

namespace assets {
namespace {

using Picture = std::span<const unsigned char> (*)();

constexpr Picture kExplosion[] = {
    embedded::image_161, embedded::image_162, embedded::image_163, embedded::image_164,
    embedded::image_165, embedded::image_166, embedded::image_167, embedded::image_168,
    embedded::image_169, embedded::image_170, embedded::image_171, embedded::image_172,
    embedded::image_173, embedded::image_174, embedded::image_175, embedded::image_176,
    embedded::image_177, embedded::image_178, embedded::image_179,
};

}  // namespace

std::span<const uint8_t> SharedImage(int number) {
  switch (number) {
    case 100:
      return embedded::image_100();
    case 101:
      return embedded::image_101();
    case 110:
      return embedded::image_110();
    case 111:
      return embedded::image_111();
    case 200:
      return embedded::image_200();
    default:
      break;
  }
  if (number >= 161 && number <= 179) return kExplosion[number - 161]();
  return {};
}

}  // namespace assets
