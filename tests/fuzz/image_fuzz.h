#pragma once
// What the image fuzz targets share: the first input byte picks the screen
// depth and the mode, the rest is the image, handed to SpriteCatch with the
// JPEG and PNG decoders registered. Whatever is accepted is drawn and
// hit-tested.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "media/display.h"
#include "media/sprites.h"
#include "platform/headless.h"

namespace fuzzimage {

inline void CatchAndDraw(uint8_t flags, std::span<const uint8_t> image) {
  static const bool ready = [] {
    platform::UseHeadless();
    SpriteSystemInit();
    ImageReaderStartHook();
    ImageDecoderJPEG();
    ImageDecoderPNG();
    return true;
  }();
  (void)ready;
  const int depth = (flags & 1) != 0 ? 16 : 32;
  // Only BMP data is taken raw; for the others the raw mode would only waste runs.
  const bool bmp = image.size() >= 2 && image[0] == 'B' && image[1] == 'M';
  const int32_t mode = (flags & 2) != 0 && bmp ? kSpriteModeRaw : kSpriteModeTexture;
  ScreenOpen(160, 120, depth, "fuzz");
  if (SpriteCatch(1, image, mode) != 0) {
    SpriteShow(1, -3, -5);
    SpriteShowKeyed(1, 150, 110);
    SpriteCreate(2, 7, 9);
    SpriteHit(1, 0, 0, 2, 3, 4);
    SpriteHit(1, 0, 0, 1, 1, 1);
  }
  ScreenClose();
}

// Feeds the input with its image made to start with the format's magic bytes,
// so that every run reaches that one reader.
inline void CatchWithMagic(const uint8_t* data, size_t size, std::span<const uint8_t> magic) {
  if (size < 1) return;
  std::span<const uint8_t> rest(data + 1, size - 1);
  if (rest.size() >= magic.size() && std::equal(magic.begin(), magic.end(), rest.begin())) {
    CatchAndDraw(data[0], rest);
    return;
  }
  std::vector<uint8_t> image(magic.begin(), magic.end());
  image.insert(image.end(), rest.begin(), rest.end());
  CatchAndDraw(data[0], image);
}

}  // namespace fuzzimage
