// Images of the local game, by catalogue number.

#include <cstdint>
#include <span>

#include "assets/catalog.h"
#include "embedded/image_100.h"
#include "embedded/image_101.h"
#include "embedded/image_110.h"
#include "embedded/image_111.h"
#include "embedded/image_150.h"
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
    case 100:
      return embedded::image_100();
    case 101:
      return embedded::image_101();
    case 110:
      return embedded::image_110();
    case 111:
      return embedded::image_111();
    case 150:
      return embedded::image_150();
    case 161:
      return embedded::image_161();
    case 162:
      return embedded::image_162();
    case 163:
      return embedded::image_163();
    case 164:
      return embedded::image_164();
    case 165:
      return embedded::image_165();
    case 166:
      return embedded::image_166();
    case 167:
      return embedded::image_167();
    case 168:
      return embedded::image_168();
    case 169:
      return embedded::image_169();
    case 170:
      return embedded::image_170();
    case 171:
      return embedded::image_171();
    case 172:
      return embedded::image_172();
    case 173:
      return embedded::image_173();
    case 174:
      return embedded::image_174();
    case 175:
      return embedded::image_175();
    case 176:
      return embedded::image_176();
    case 177:
      return embedded::image_177();
    case 178:
      return embedded::image_178();
    case 179:
      return embedded::image_179();
    case 200:
      return embedded::image_200();
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
      return {};
  }
}

}  // namespace assets
