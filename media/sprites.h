#pragma once
// Images: numbered rectangles of pixels kept in the screen's own pixel format,
// made from BMP, PNG or JPEG data in memory, drawn opaquely or with black as
// transparent, and tested for pixel-exact overlap. Black (pixel value 0) is
// every image's transparent colour.

#include <cstdint>
#include <span>

#include "media/display.h"

// Creation modes of SpriteCatch and SpriteCreate.
constexpr int32_t kSpriteModePlain = 0;
constexpr int32_t kSpriteModeSystem = 1;
constexpr int32_t kSpriteModeRaw = 2;  // 1 byte per pixel, never drawn; 8-bit BMP only
constexpr int32_t kSpriteModeTexture = 4;

// Registers the PNG / JPEG decoder (once; later calls do nothing). The first
// registered decoder that accepts the data decodes it.
void ImageDecoderPNG();
void ImageDecoderJPEG();

// Makes image number from image data: BMP (uncompressed, 1 to 32 bits per
// pixel) or a format of a registered decoder. Any image under the number is
// freed first. Non-zero on success; 0 leaves no image under the number.
int32_t SpriteCatch(int32_t number, std::span<const uint8_t> data, int32_t mode = 0);

// Makes a black image of width x height. Non-zero on success.
int32_t SpriteCreate(int32_t number, int32_t width, int32_t height, int32_t mode = 0);

// Copies the image to the back buffer with its top-left corner at (x, y),
// clipped to the screen; the keyed form skips black pixels. 1 when drawn.
int32_t SpriteShow(int32_t number, int32_t x, int32_t y);
int32_t SpriteShowKeyed(int32_t number, int32_t x, int32_t y);

// As SpriteShow and SpriteShowKeyed, drawing only the pixels that fall inside
// within: a part of the screen redrawn without touching the rest. 1 when
// something was drawn.
int32_t SpriteShowWithin(int32_t number, int32_t x, int32_t y, const ScreenArea& within);
int32_t SpriteShowKeyedWithin(int32_t number, int32_t x, int32_t y, const ScreenArea& within);

// 1 when the two images, placed at their positions, have a position where
// both have a non-black pixel.
int32_t SpriteHit(int32_t image1, int32_t x1, int32_t y1, int32_t image2, int32_t x2, int32_t y2);

// Start-up hook of the image-file reader: empties the decoder registry.
void ImageReaderStartHook();
