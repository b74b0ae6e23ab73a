// Reader of uncompressed BMP data held in memory.

#include <cstring>

#include "media/image_decoders.h"

namespace media {
namespace {

constexpr size_t kFileHeaderSize = 14;
constexpr size_t kInfoHeaderSize = 40;

uint32_t ReadU32(std::span<const uint8_t> d, size_t at) {
  return static_cast<uint32_t>(d[at]) | static_cast<uint32_t>(d[at + 1]) << 8 |
         static_cast<uint32_t>(d[at + 2]) << 16 | static_cast<uint32_t>(d[at + 3]) << 24;
}

uint16_t ReadU16(std::span<const uint8_t> d, size_t at) {
  return static_cast<uint16_t>(d[at] | d[at + 1] << 8);
}

}  // namespace

bool IsBmp(std::span<const uint8_t> data) {
  return data.size() >= 2 && data[0] == 'B' && data[1] == 'M';
}

bool ReadBmp(std::span<const uint8_t> data, bool keepIndices, DecodedImage* out) {
  if (!IsBmp(data) || data.size() < kFileHeaderSize + kInfoHeaderSize) return false;
  const uint64_t pixelOffset = ReadU32(data, 10);
  const uint64_t headerSize = ReadU32(data, 14);
  const int64_t width = static_cast<int32_t>(ReadU32(data, 18));
  const int64_t signedHeight = static_cast<int32_t>(ReadU32(data, 22));
  const int bits = ReadU16(data, 28);
  const uint32_t compression = ReadU32(data, 30);
  const uint32_t coloursUsed = ReadU32(data, 46);
  if (compression != 0 || headerSize < kInfoHeaderSize) return false;
  if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) return false;
  if (keepIndices && bits != 8) return false;
  const bool bottomUp = signedHeight > 0;
  const int64_t height = bottomUp ? signedHeight : -signedHeight;
  if (!ImageSizeAllowed(width, height)) return false;

  // Every source row is padded to a multiple of 4 bytes; all rows must be there.
  const uint64_t stride =
      (static_cast<uint64_t>(width) * static_cast<uint64_t>(bits) + 31) / 32 * 4;
  if (pixelOffset > data.size() ||
      stride * static_cast<uint64_t>(height) > data.size() - pixelOffset) {
    return false;
  }

  // The colour table follows the information header.
  uint8_t palette[256][3] = {};  // blue, green, red; indices beyond the table stay black
  if (bits <= 8 && !keepIndices) {
    const uint64_t maxEntries = uint64_t{1} << bits;
    uint64_t entries = coloursUsed == 0 ? maxEntries : coloursUsed;
    if (entries > maxEntries) entries = maxEntries;
    const uint64_t tableStart = kFileHeaderSize + headerSize;
    if (tableStart > data.size() || entries * 4 > data.size() - tableStart) return false;
    for (uint64_t i = 0; i < entries; ++i) {
      std::memcpy(palette[i], &data[static_cast<size_t>(tableStart + 4 * i)], 3);
    }
  }

  const int w = static_cast<int>(width);
  const int h = static_cast<int>(height);
  out->width = w;
  out->height = h;
  out->depth = bits <= 8 ? (keepIndices ? 8 : 24) : bits;
  out->kind = keepIndices ? DecodedImage::Kind::Index8
                          : (bits == 16 ? DecodedImage::Kind::Rgb555 : DecodedImage::Kind::Bgr24);
  const size_t outBpp = keepIndices ? 1 : (bits == 16 ? 2 : 3);
  const size_t outRow = static_cast<size_t>(w) * outBpp;
  out->pixels.assign(outRow * static_cast<size_t>(h), 0);

  for (int y = 0; y < h; ++y) {
    const int sourceRow = bottomUp ? h - 1 - y : y;
    const uint8_t* src = data.data() + pixelOffset + stride * static_cast<uint64_t>(sourceRow);
    uint8_t* dst = out->pixels.data() + outRow * static_cast<size_t>(y);
    switch (bits) {
      case 1:
      case 4:
      case 8: {
        for (int x = 0; x < w; ++x) {
          unsigned index;
          if (bits == 8) {
            index = src[x];
          } else if (bits == 4) {
            index = (x % 2 == 0) ? src[x / 2] >> 4 : src[x / 2] & 0x0F;
          } else {
            index = (src[x / 8] >> (7 - x % 8)) & 1;
          }
          if (keepIndices) {
            dst[x] = static_cast<uint8_t>(index);
          } else {
            std::memcpy(dst + 3 * x, palette[index], 3);
          }
        }
        break;
      }
      case 16:
        std::memcpy(dst, src, outRow);
        break;
      case 24:
        std::memcpy(dst, src, outRow);
        break;
      case 32:
        for (int x = 0; x < w; ++x) std::memcpy(dst + 3 * x, src + 4 * x, 3);
        break;
    }
  }
  return true;
}

}  // namespace media
