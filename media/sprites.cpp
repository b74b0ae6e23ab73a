#include "media/sprites.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "media/image_decoders.h"
#include "media/surface.h"

namespace {

struct SpriteState {
  std::vector<const media::ImageDecoder*> decoders;
};

SpriteState& State() {
  static SpriteState state;
  return state;
}

void RegisterDecoder(const media::ImageDecoder& decoder) {
  auto& list = State().decoders;
  if (std::find(list.begin(), list.end(), &decoder) == list.end()) list.push_back(&decoder);
}

bool ValidMode(int32_t mode) {
  return mode == kSpriteModePlain || mode == kSpriteModeSystem || mode == kSpriteModeRaw ||
         mode == kSpriteModeTexture;
}

// Sizes a surface of the screen's format; false without a screen. Textures
// get rows laid out for reading down their columns too (see TexturePitch).
bool MakeScreenSurface(media::Surface* surface, int width, int height, int32_t mode) {
  const int code = media::DisplayPixelFormatCode();
  if (code != 3 && code != 7) return false;
  surface->width = width;
  surface->height = height;
  surface->bytesPerPixel = code == 3 ? 2 : 4;
  surface->pitch = mode == kSpriteModeTexture ? media::TexturePitch(width, surface->bytesPerPixel)
                                              : width * surface->bytesPerPixel;
  surface->pixels.assign(static_cast<size_t>(surface->pitch) * static_cast<size_t>(height), 0);
  return true;
}

// Converts top-first rows of the decoded picture into the surface.
void ConvertInto(const media::DecodedImage& image, media::Surface* surface) {
  const bool sixteen = surface->bytesPerPixel == 2;
  for (int y = 0; y < image.height; ++y) {
    uint8_t* dst = surface->Row(y);
    if (image.kind == media::DecodedImage::Kind::Rgb555) {
      const uint8_t* src = image.pixels.data() + static_cast<size_t>(y) * image.width * 2;
      for (int x = 0; x < image.width; ++x) {
        const uint16_t v = static_cast<uint16_t>(src[2 * x] | src[2 * x + 1] << 8);
        if (sixteen) {
          // Red and green one bit up into 5-6-5, blue kept.
          const uint16_t p = static_cast<uint16_t>(((v >> 5) << 6) | (v & 0x1F));
          std::memcpy(dst + 2 * x, &p, 2);
        } else {
          const uint32_t p = static_cast<uint32_t>(v & 0x1F) << 3 |
                             static_cast<uint32_t>((v >> 5) & 0x1F) << 11 |
                             static_cast<uint32_t>((v >> 10) & 0x1F) << 19;
          std::memcpy(dst + 4 * x, &p, 4);
        }
      }
    } else {
      const uint8_t* src = image.pixels.data() + static_cast<size_t>(y) * image.width * 3;
      for (int x = 0; x < image.width; ++x) {
        const uint32_t b = src[3 * x];
        const uint32_t g = src[3 * x + 1];
        const uint32_t r = src[3 * x + 2];
        if (sixteen) {
          // Very dark colours come out as 0, the transparent colour.
          const uint16_t p = static_cast<uint16_t>((r / 8) << 11 | (g / 4) << 5 | b / 8);
          std::memcpy(dst + 2 * x, &p, 2);
        } else {
          const uint32_t p = b | g << 8 | r << 16;
          std::memcpy(dst + 4 * x, &p, 4);
        }
      }
    }
  }
}

// Reads the data into a top-first picture, through the BMP reader or the
// first decoder that accepts it.
bool Decode(std::span<const uint8_t> data, bool raw, media::DecodedImage* image) {
  if (media::IsBmp(data)) return media::ReadBmp(data, raw, image);
  if (raw) return false;  // raw images come from 8-bit BMP data only
  for (const media::ImageDecoder* decoder : State().decoders) {
    int width = 0;
    int height = 0;
    if (!decoder->check(data, &width, &height)) continue;
    if (!media::ImageSizeAllowed(width, height)) return false;
    image->width = width;
    image->height = height;
    image->depth = 24;
    image->kind = media::DecodedImage::Kind::Bgr24;
    const size_t stride = static_cast<size_t>(width) * 3;
    image->pixels.assign(stride * static_cast<size_t>(height), 0);
    return decoder->decode(data, image->pixels.data(), stride, width, height);
  }
  return false;
}

// Draws the image with its top-left corner at (x, y), only where it falls
// inside within and the screen.
int32_t Show(int32_t number, int32_t x, int32_t y, bool keyed, const ScreenArea& within) {
  const media::ImageSlot* image = media::ImageFind(number);
  const ScreenArea screen = media::DisplayArea();
  if (image == nullptr || screen.width <= 0 || !media::DisplayActive() || image->depth == -2)
    return 0;
  const media::Surface& src = image->surface;
  if (src.bytesPerPixel != media::DisplayBytesPerPixel()) return 0;
  const ScreenArea clip = ScreenAreaClip(within, screen.width, screen.height);
  const ScreenArea place =
      ScreenAreaClip(ScreenArea{x, y, src.width, src.height}, screen.width, screen.height);
  // The part of the screen drawn: where the image and the clip overlap.
  const int64_t x0 = std::max(clip.x, place.x);
  const int64_t y0 = std::max(clip.y, place.y);
  const int64_t x1 = std::min<int64_t>(static_cast<int64_t>(clip.x) + clip.width,
                                       static_cast<int64_t>(place.x) + place.width);
  const int64_t y1 = std::min<int64_t>(static_cast<int64_t>(clip.y) + clip.height,
                                       static_cast<int64_t>(place.y) + place.height);
  if (place.width == 0 || x1 <= x0 || y1 <= y0) return 0;
  const int left = static_cast<int>(x0 - x);  // first column and row of the image
  const int top = static_cast<int>(y0 - y);
  const int right = static_cast<int>(x1 - x);
  const int bottom = static_cast<int>(y1 - y);
  const int destX = static_cast<int>(x0);
  const int destY = static_cast<int>(y0);
  media::Surface* back = media::DisplayDrawInto(destX, destY, right - left, bottom - top);
  if (back == nullptr) return 0;
  media::DisplayDamage(destX, destY, right - left, bottom - top);
  const int bpp = src.bytesPerPixel;
  const size_t count = static_cast<size_t>(right - left);
  for (int row = top; row < bottom; ++row) {
    const uint8_t* s = src.Row(row) + static_cast<size_t>(left) * bpp;
    uint8_t* d = back->Row(destY + row - top) + static_cast<size_t>(destX) * bpp;
    if (!keyed) {
      std::memcpy(d, s, count * static_cast<size_t>(bpp));
    } else if (bpp == 2) {
      for (size_t i = 0; i < count; ++i) {
        if (s[2 * i] != 0 || s[2 * i + 1] != 0) std::memcpy(d + 2 * i, s + 2 * i, 2);
      }
    } else {
      for (size_t i = 0; i < count; ++i) {
        uint32_t p;
        std::memcpy(&p, s + 4 * i, 4);
        if (p != 0) std::memcpy(d + 4 * i, &p, 4);
      }
    }
  }
  return 1;
}

bool Solid(const media::Surface& s, int x, int y) {
  const uint8_t* p = s.Row(y) + static_cast<size_t>(x) * s.bytesPerPixel;
  if (s.bytesPerPixel == 2) return (p[0] | p[1]) != 0;
  return (p[0] | p[1] | p[2]) != 0;  // the top byte carries no colour
}

// Where two spans along one axis overlap: the offset into each span and the
// length of the shared part. The spans start at p1 and p2 and are n1 and n2 long.
struct Overlap {
  int64_t first = 0;
  int64_t second = 0;
  int64_t length = 0;
};

Overlap OverlapOf(int64_t p1, int64_t n1, int64_t p2, int64_t n2) {
  if (p1 < p2) return {p2 - p1, 0, std::min(n1 - (p2 - p1), n2)};
  return {0, p1 - p2, std::min(n2 - (p1 - p2), n1)};
}

}  // namespace

void ImageDecoderPNG() {
  RegisterDecoder(media::PngImageDecoder());
}

void ImageDecoderJPEG() {
  RegisterDecoder(media::JpegImageDecoder());
}

void ImageReaderStartHook() {
  State().decoders.clear();
}

int32_t SpriteCatch(int32_t number, std::span<const uint8_t> data, int32_t mode) {
  media::ImageFree(number);
  if (number < 0 || number > media::kMaxImageNumber || !ValidMode(mode)) return 0;
  const bool raw = mode == kSpriteModeRaw;
  media::DecodedImage image;
  if (!Decode(data, raw, &image)) return 0;
  if (!raw && media::DisplayPixelFormatCode() == 0) return 0;  // no screen format to convert to
  media::ImageSlot* slot = media::ImageNew(number);
  if (slot == nullptr) return 0;
  slot->width = static_cast<int16_t>(image.width);
  slot->height = static_cast<int16_t>(image.height);
  slot->mode = static_cast<int16_t>(mode);
  if (raw) {
    slot->depth = -2;
    slot->surface.width = image.width;
    slot->surface.height = image.height;
    slot->surface.bytesPerPixel = 1;
    slot->surface.pitch = image.width;
    slot->surface.pixels = std::move(image.pixels);
  } else {
    slot->depth = static_cast<int16_t>(image.depth);
    if (!MakeScreenSurface(&slot->surface, image.width, image.height, mode)) {
      media::ImageFree(number);
      return 0;
    }
    ConvertInto(image, &slot->surface);
  }
  slot->used = true;
  return 1;
}

int32_t SpriteCreate(int32_t number, int32_t width, int32_t height, int32_t mode) {
  media::ImageFree(number);
  if (number < 0 || number > media::kMaxImageNumber || !ValidMode(mode)) return 0;
  if (!media::ImageSizeAllowed(width, height)) return 0;
  const int code = media::DisplayPixelFormatCode();
  const bool raw = mode == kSpriteModeRaw;
  // Raw images are one byte per pixel, which only exists without a 16- or 32-bit screen.
  if (raw && code != 0) return 0;
  media::ImageSlot* slot = media::ImageNew(number);
  if (slot == nullptr) return 0;
  slot->width = static_cast<int16_t>(width);
  slot->height = static_cast<int16_t>(height);
  slot->mode = static_cast<int16_t>(mode);
  if (raw) {
    slot->depth = -2;
    slot->surface.width = width;
    slot->surface.height = height;
    slot->surface.bytesPerPixel = 1;
    slot->surface.pitch = width;
    slot->surface.pixels.assign(static_cast<size_t>(width) * static_cast<size_t>(height), 0);
  } else {
    if (!MakeScreenSurface(&slot->surface, width, height, mode)) {
      media::ImageFree(number);
      return 0;
    }
    slot->depth = static_cast<int16_t>(code == 3 ? 16 : 32);
  }
  slot->used = true;
  return 1;
}

constexpr ScreenArea kEverywhere{INT32_MIN / 2, INT32_MIN / 2, INT32_MAX, INT32_MAX};

int32_t SpriteShow(int32_t number, int32_t x, int32_t y) {
  return Show(number, x, y, false, kEverywhere);
}

int32_t SpriteShowKeyed(int32_t number, int32_t x, int32_t y) {
  return Show(number, x, y, true, kEverywhere);
}

int32_t SpriteShowWithin(int32_t number, int32_t x, int32_t y, const ScreenArea& within) {
  return Show(number, x, y, false, within);
}

int32_t SpriteShowKeyedWithin(int32_t number, int32_t x, int32_t y, const ScreenArea& within) {
  return Show(number, x, y, true, within);
}

int32_t SpriteHit(int32_t image1, int32_t x1, int32_t y1, int32_t image2, int32_t x2, int32_t y2) {
  const media::ImageSlot* a = media::ImageFind(image1);
  const media::ImageSlot* b = media::ImageFind(image2);
  if (a == nullptr || b == nullptr || a->depth == -2 || b->depth == -2) return 0;
  const media::Surface& sa = a->surface;
  const media::Surface& sb = b->surface;
  const int64_t w1 = sa.width;
  const int64_t h1 = sa.height;
  const int64_t w2 = sb.width;
  const int64_t h2 = sb.height;
  // Rectangles first: touching edges are no overlap.
  if (!(x2 < x1 + w1 && x1 < x2 + w2 && y1 < y2 + h2 && y2 < y1 + h1)) return 0;
  const Overlap x = OverlapOf(x1, w1, x2, w2);
  const Overlap y = OverlapOf(y1, h1, y2, h2);
  for (int64_t row = 0; row < y.length; ++row) {
    for (int64_t col = 0; col < x.length; ++col) {
      if (Solid(sa, static_cast<int>(x.first + col), static_cast<int>(y.first + row)) &&
          Solid(sb, static_cast<int>(x.second + col), static_cast<int>(y.second + row))) {
        return 1;
      }
    }
  }
  return 0;
}
