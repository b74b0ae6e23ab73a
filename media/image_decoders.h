#pragma once
// Readers of the image formats the sprite library takes from memory. Not for
// use outside media/.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace media {

// Largest image we agree to decode: each side, and the pixel count.
constexpr int kMaxImageSide = 16384;
constexpr int64_t kMaxImagePixels = 16 * 1024 * 1024;

inline bool ImageSizeAllowed(int64_t width, int64_t height) {
  return width > 0 && height > 0 && width <= kMaxImageSide && height <= kMaxImageSide &&
         width * height <= kMaxImagePixels;
}

// A format that a decoder of the registry understands.
struct ImageDecoder {
  // True when the data is of this format and its header is readable; gives its size.
  bool (*check)(std::span<const uint8_t> data, int* width, int* height);
  // Decodes into height rows of 8-bit blue, green, red, top row first, each
  // row stride bytes after the previous one. False on damaged data.
  bool (*decode)(std::span<const uint8_t> data, uint8_t* rows, size_t stride, int width,
                 int height);
};

const ImageDecoder& PngImageDecoder();
const ImageDecoder& JpegImageDecoder();

// A picture read from BMP data, top row first, tightly packed.
struct DecodedImage {
  enum class Kind {
    Bgr24,   // 3 bytes per pixel: blue, green, red
    Rgb555,  // 2 bytes per pixel, little-endian 5-5-5 values
    Index8,  // 1 byte per pixel: palette indices as stored
  };
  int width = 0;
  int height = 0;
  int depth = 0;  // bits per pixel the image counts as: 16, 24, 32 or 8 (indices)
  Kind kind = Kind::Bgr24;
  std::vector<uint8_t> pixels;
};

// True when the data starts with the BMP signature.
bool IsBmp(std::span<const uint8_t> data);

// Reads uncompressed BMP data of 1, 4, 8, 16, 24 or 32 bits per pixel, bottom-up
// or top-down. With keepIndices, 8-bit images keep their palette indices
// (other depths fail); otherwise images of 8 bits or fewer are expanded through
// their colour table to 24 bits. False for compressed, truncated or
// inconsistent data and absurd sizes.
bool ReadBmp(std::span<const uint8_t> data, bool keepIndices, DecodedImage* out);

}  // namespace media
