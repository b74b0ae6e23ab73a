// Feeds arbitrary bytes to SpriteCatch (BMP, PNG and JPEG readers) on both
// screen depths and in the raw mode, then draws and hit-tests whatever was
// accepted.

#include <cstddef>
#include <cstdint>
#include <span>

#include "media/display.h"
#include "media/sprites.h"
#include "platform/headless.h"

namespace {

bool Setup() {
  platform::UseHeadless();
  SpriteSystemInit();
  ImageReaderStartHook();
  ImageDecoderJPEG();
  ImageDecoderPNG();
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool ready = Setup();
  (void)ready;
  if (size < 1) return 0;
  // The first byte picks the screen depth and the mode; the rest is the image.
  const int depth = (data[0] & 1) != 0 ? 16 : 32;
  const int32_t mode = (data[0] & 2) != 0 ? kSpriteModeRaw : kSpriteModeTexture;
  ScreenOpen(160, 120, depth, "fuzz");
  std::span<const uint8_t> image(data + 1, size - 1);
  if (SpriteCatch(1, image, mode) != 0) {
    SpriteShow(1, -3, -5);
    SpriteShowKeyed(1, 150, 110);
    SpriteCreate(2, 7, 9);
    SpriteHit(1, 0, 0, 2, 3, 4);
    SpriteHit(1, 0, 0, 1, 1, 1);
  }
  ScreenClose();
  return 0;
}
