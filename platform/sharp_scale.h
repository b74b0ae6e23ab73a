#pragma once
// Scaling a picture to fit a window with its shape kept and its pixels even.
// The picture is centred in the largest rectangle of its own shape that fits
// (bars where the shapes differ). Where that rectangle is a whole multiple of
// the picture, every pixel becomes a block of that many nearest texels. Where
// it is not, the picture is scaled as if by nearest texels up to the next
// whole multiple and then smoothly down to the fit: each output pixel is the
// area-weighted mix of the one or two picture pixels it covers, so that every
// picture pixel covers the same width and height on screen and none comes
// out wider than its neighbour. Pure functions and a small reusable scaler,
// shared by every presentation path and the tests.

#include <cstdint>
#include <vector>

#include "platform/platform.h"

namespace platform {

// The largest rectangle of the picture's shape inside the window, centred.
// Empty (zero size) when either size is not positive.
Rect FitPicture(int pictureWidth, int pictureHeight, int windowWidth, int windowHeight);

// The whole multiple a fitted picture of pictureSize is first scaled up to
// with nearest texels before it is brought down to fitSize: fitSize /
// pictureSize rounded up, and 1 when the picture is shrunk.
int SharpMultiple(int pictureSize, int fitSize);

// One axis of a scaling: for each output pixel, the picture pixel it starts
// in and the weight (out of 256) of the following picture pixel; weight 0 is
// the pure pixel.
struct ScaleAxis {
  std::vector<int32_t> source;
  std::vector<uint16_t> next;
};

constexpr int kScaleWeightOne = 256;

// The plan for scaling pictureSize pixels to outputSize pixels as described
// above. Shrinking (outputSize below pictureSize) samples linearly between
// the two nearest pixels.
ScaleAxis PlanScaleAxis(int pictureSize, int outputSize);

// The blend of two 32-bit pixels (any byte order: each of the four bytes is
// mixed on its own), weight of b out of 256.
inline uint32_t BlendPixels(uint32_t a, uint32_t b, uint32_t weightB) {
  const uint32_t weightA = kScaleWeightOne - weightB;
  const uint32_t rb =
      ((a & 0x00FF00FFu) * weightA + (b & 0x00FF00FFu) * weightB + 0x00800080u) >> 8 & 0x00FF00FFu;
  const uint32_t ag =
      (((a >> 8) & 0x00FF00FFu) * weightA + ((b >> 8) & 0x00FF00FFu) * weightB + 0x00800080u) &
      0xFF00FF00u;
  return rb | ag;
}

// A 5-6-5 pixel as 32-bit blue-lowest, each channel widened by repeating its
// top bits, so that full intensity stays full.
inline uint32_t WidenRgb565(uint16_t p) {
  const uint32_t r = (p >> 11) & 0x1F, g = (p >> 5) & 0x3F, b = p & 0x1F;
  return ((r << 3 | r >> 2) << 16) | ((g << 2 | g >> 4) << 8) | (b << 3 | b >> 2);
}

// Rows [first, end) of a picture.
struct RowSpan {
  int first = 0;
  int end = 0;
  bool Empty() const { return end <= first; }
};

// Fills everything of a 32-bit width x height picture outside keep with
// black: the bars around a fitted picture.
void ClearOutside(void* pixels, int width, int height, int pitch, const Rect& keep);

// Copies a picture 1:1 into 32-bit (blue in the lowest byte) output, 5-6-5
// widened, but only where it differs from what the output holds already
// (everything with all). The picture is looked at in tiles of tileWidth x
// tileHeight pixels from its top-left corner; returns the tiles written, as
// rectangles of the picture, neighbours in a row of tiles joined.
std::vector<Rect> CopyChangedTiles(const void* pixels, int width, int height, int pitch,
                                   PixelLayout layout, void* out, int outPitch, bool all,
                                   int tileWidth, int tileHeight);

// out[x] = BlendPixels(a[x], b[x], weightB) for a row, several at a time.
void BlendRows(const uint32_t* a, const uint32_t* b, uint32_t weightB, uint32_t* out, int width);

// A row of 5-6-5 pixels widened as WidenRgb565 does, several at a time.
void WidenRow565(const uint16_t* in, uint32_t* out, int width);

// Scales pictures into 32-bit (blue in the lowest byte) output; keeps its
// plans and row buffers between calls, so a steady size costs no allocation.
class SharpScaler {
 public:
  // Writes the picture (width x height, layout, pitch in bytes) scaled to
  // outWidth x outHeight at out (pitch outPitch bytes). Writes nothing
  // outside that rectangle. With changed, only the output rows made from
  // those picture rows are written. Returns the output rows written.
  RowSpan Scale(const void* pixels, int width, int height, int pitch, PixelLayout layout, void* out,
                int outWidth, int outHeight, int outPitch, RowSpan changed = {0, 1 << 30});

 private:
  const uint32_t* WideRow(const uint8_t* row, int width, PixelLayout layout);
  const uint32_t* ScaledRow(const uint8_t* pixels, int pitch, PixelLayout layout, int width,
                            int sourceRow, int slotHint);

  int planWidth_ = 0, planHeight_ = 0, planOutWidth_ = 0, planOutHeight_ = 0;
  void ScaleAcross(const uint32_t* in, uint32_t* out) const;

  ScaleAxis columns_;
  ScaleAxis rows_;
  std::vector<int32_t> second_;     // per output column, the pixel blended in
  std::vector<uint16_t> lanes_;     // per output column, its weight four times
  std::vector<uint32_t> wide_;      // one picture row widened to 32 bits
  std::vector<uint32_t> cache_[2];  // two picture rows scaled across
  int cached_[2] = {-1, -1};        // which picture rows they hold
};

}  // namespace platform
