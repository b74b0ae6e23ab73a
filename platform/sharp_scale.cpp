// Fitting and sharp scaling of presented pictures: the plans per axis and the
// scaler that applies them row by row.
#include "platform/sharp_scale.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace platform {

Rect FitPicture(int pictureWidth, int pictureHeight, int windowWidth, int windowHeight) {
  Rect r;
  if (pictureWidth <= 0 || pictureHeight <= 0 || windowWidth <= 0 || windowHeight <= 0) return r;
  const int64_t pw = pictureWidth, ph = pictureHeight, ww = windowWidth, wh = windowHeight;
  // The side that limits the fit takes the window's whole size; the other
  // keeps the picture's shape, rounded to the nearest pixel.
  if (ww * ph <= wh * pw) {
    r.width = windowWidth;
    r.height = static_cast<int>(std::max<int64_t>(1, (ww * ph * 2 + pw) / (pw * 2)));
  } else {
    r.height = windowHeight;
    r.width = static_cast<int>(std::max<int64_t>(1, (wh * pw * 2 + ph) / (ph * 2)));
  }
  r.x = (windowWidth - r.width) / 2;
  r.y = (windowHeight - r.height) / 2;
  return r;
}

int SharpMultiple(int pictureSize, int fitSize) {
  if (pictureSize <= 0 || fitSize <= pictureSize) return 1;
  return (fitSize + pictureSize - 1) / pictureSize;
}

ScaleAxis PlanScaleAxis(int pictureSize, int outputSize) {
  ScaleAxis axis;
  if (pictureSize <= 0 || outputSize <= 0) return axis;
  const size_t n = static_cast<size_t>(outputSize);
  axis.source.resize(n);
  axis.next.assign(n, 0);
  const int64_t p = pictureSize, o = outputSize;
  for (int64_t x = 0; x < o; ++x) {
    int64_t first = 0;
    int64_t weight = 0;
    if (o >= p) {
      // Output pixel x covers [x, x + 1) * p / o of the picture, less than
      // one pixel: all in one pixel, or the end of one and the start of the
      // next, weighted by the share of each.
      const int64_t lo = x * p, hi = lo + p;  // in 1/o picture pixels
      first = lo / o;
      const int64_t boundary = (first + 1) * o;
      if (hi > boundary) weight = ((hi - boundary) * kScaleWeightOne * 2 + p) / (p * 2);
    } else {
      // Shrinking: linear between the two pixels nearest the output pixel's
      // centre, (x + 0.5) * p / o - 0.5 picture pixels.
      const int64_t centre = (2 * x + 1) * p - o;  // in 1/(2o) picture pixels
      if (centre > 0) {
        first = centre / (2 * o);
        weight = ((centre - first * 2 * o) * kScaleWeightOne + o) / (2 * o);
      }
    }
    if (weight >= kScaleWeightOne) {
      ++first;
      weight = 0;
    }
    if (first >= p - 1) {
      first = std::min(first, p - 1);
      weight = 0;
    }
    axis.source[static_cast<size_t>(x)] = static_cast<int32_t>(first);
    axis.next[static_cast<size_t>(x)] = static_cast<uint16_t>(weight);
  }
  return axis;
}

void ClearOutside(void* pixels, int width, int height, int pitch, const Rect& keep) {
  if (pixels == nullptr || width <= 0 || height <= 0) return;
  auto* base = static_cast<uint8_t*>(pixels);
  const int left = std::clamp(keep.x, 0, width),
            right = std::clamp(keep.x + keep.width, left, width);
  const int top = std::clamp(keep.y, 0, height),
            bottom = std::clamp(keep.y + keep.height, top, height);
  for (int y = 0; y < height; ++y) {
    uint8_t* row = base + static_cast<size_t>(pitch) * static_cast<size_t>(y);
    if (y < top || y >= bottom) {
      std::memset(row, 0, static_cast<size_t>(width) * 4);
      continue;
    }
    std::memset(row, 0, static_cast<size_t>(left) * 4);
    std::memset(row + static_cast<size_t>(right) * 4, 0, static_cast<size_t>(width - right) * 4);
  }
}

void WidenRow565(const uint16_t* in, uint32_t* out, int width) {
  int x = 0;
#if defined(__SSE2__)
  // Eight pixels at a time, the same arithmetic as WidenRgb565 in 16-bit lanes.
  const __m128i five = _mm_set1_epi16(0x1F), six = _mm_set1_epi16(0x3F);
  for (; x + 8 <= width; x += 8) {
    const __m128i p = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + x));
    const __m128i r = _mm_and_si128(_mm_srli_epi16(p, 11), five);
    const __m128i g = _mm_and_si128(_mm_srli_epi16(p, 5), six);
    const __m128i b = _mm_and_si128(p, five);
    const __m128i r8 = _mm_or_si128(_mm_slli_epi16(r, 3), _mm_srli_epi16(r, 2));
    const __m128i g8 = _mm_or_si128(_mm_slli_epi16(g, 2), _mm_srli_epi16(g, 4));
    const __m128i b8 = _mm_or_si128(_mm_slli_epi16(b, 3), _mm_srli_epi16(b, 2));
    const __m128i low = _mm_or_si128(b8, _mm_slli_epi16(g8, 8));  // blue, green
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), _mm_unpacklo_epi16(low, r8));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x + 4), _mm_unpackhi_epi16(low, r8));
  }
#endif
  for (; x < width; ++x) out[x] = WidenRgb565(in[x]);
}

void BlendRows(const uint32_t* a, const uint32_t* b, uint32_t weightB, uint32_t* out, int width) {
  int x = 0;
#if defined(__SSE2__)
  // Four pixels at a time in 16-bit lanes: (a x (256 - w) + b x w + 128) / 256
  // per byte, as BlendPixels; the sum stays below 65536.
  const __m128i zero = _mm_setzero_si128();
  const __m128i wb = _mm_set1_epi16(static_cast<int16_t>(weightB));
  const __m128i wa = _mm_set1_epi16(static_cast<int16_t>(kScaleWeightOne - weightB));
  const __m128i half = _mm_set1_epi16(128);
  for (; x + 4 <= width; x += 4) {
    const __m128i pa = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + x));
    const __m128i pb = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + x));
    const __m128i lo = _mm_srli_epi16(
        _mm_add_epi16(_mm_add_epi16(_mm_mullo_epi16(_mm_unpacklo_epi8(pa, zero), wa),
                                    _mm_mullo_epi16(_mm_unpacklo_epi8(pb, zero), wb)),
                      half),
        8);
    const __m128i hi = _mm_srli_epi16(
        _mm_add_epi16(_mm_add_epi16(_mm_mullo_epi16(_mm_unpackhi_epi8(pa, zero), wa),
                                    _mm_mullo_epi16(_mm_unpackhi_epi8(pb, zero), wb)),
                      half),
        8);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), _mm_packus_epi16(lo, hi));
  }
#endif
  for (; x < width; ++x) out[x] = BlendPixels(a[x], b[x], weightB);
}

std::vector<Rect> CopyChangedTiles(const void* pixels, int width, int height, int pitch,
                                   PixelLayout layout, void* out, int outPitch, bool all,
                                   int tileWidth, int tileHeight) {
  std::vector<Rect> written;
  if (pixels == nullptr || out == nullptr || width <= 0 || height <= 0 || tileWidth <= 0 ||
      tileHeight <= 0) {
    return written;
  }
  const int columns = (width + tileWidth - 1) / tileWidth;
  std::vector<uint8_t> dirty(static_cast<size_t>(columns));
  std::vector<uint32_t> wide(layout == PixelLayout::Rgb565 ? static_cast<size_t>(width) : 0);
  for (int top = 0; top < height; top += tileHeight) {
    const int bottom = std::min(height, top + tileHeight);
    std::fill(dirty.begin(), dirty.end(), all ? 1 : 0);
    for (int y = top; y < bottom; ++y) {
      const uint8_t* in =
          static_cast<const uint8_t*>(pixels) + static_cast<size_t>(pitch) * static_cast<size_t>(y);
      uint8_t* target =
          static_cast<uint8_t*>(out) + static_cast<size_t>(outPitch) * static_cast<size_t>(y);
      const uint8_t* row = in;
      if (layout == PixelLayout::Rgb565) {
        WidenRow565(reinterpret_cast<const uint16_t*>(in), wide.data(), width);
        row = reinterpret_cast<const uint8_t*>(wide.data());
      }
      for (int i = 0; i < columns; ++i) {
        const size_t at = static_cast<size_t>(i) * static_cast<size_t>(tileWidth) * 4;
        const size_t bytes = static_cast<size_t>(std::min(tileWidth, width - i * tileWidth)) * 4;
        // A tile known to be sent is copied without looking.
        if (!dirty[static_cast<size_t>(i)]) {
          if (std::memcmp(target + at, row + at, bytes) == 0) continue;
          dirty[static_cast<size_t>(i)] = 1;
        }
        std::memcpy(target + at, row + at, bytes);
      }
    }
    for (int i = 0; i < columns; ++i) {
      if (!dirty[static_cast<size_t>(i)]) continue;
      const int x = i * tileWidth;
      const int w = std::min(tileWidth, width - x);
      if (!written.empty() && written.back().y == top &&
          written.back().x + written.back().width == x) {
        written.back().width += w;
      } else {
        written.push_back(Rect{x, top, w, bottom - top});
      }
    }
  }
  return written;
}

const uint32_t* SharpScaler::WideRow(const uint8_t* row, int width, PixelLayout layout) {
  if (layout == PixelLayout::Xrgb8888) return reinterpret_cast<const uint32_t*>(row);
  wide_.resize(static_cast<size_t>(width));
  WidenRow565(reinterpret_cast<const uint16_t*>(row), wide_.data(), width);
  return wide_.data();
}

// Picture row sourceRow scaled across to the output width, kept in one of two
// slots so that the output rows sharing it scale it once.
const uint32_t* SharpScaler::ScaledRow(const uint8_t* pixels, int pitch, PixelLayout layout,
                                       int width, int sourceRow, int slotHint) {
  for (int i = 0; i < 2; ++i) {
    if (cached_[i] == sourceRow) return cache_[i].data();
  }
  // Replace the slot that does not hold the row the caller needs next to it.
  const int slot = slotHint & 1;
  std::vector<uint32_t>& out = cache_[slot];
  out.resize(static_cast<size_t>(planOutWidth_));
  const uint32_t* in =
      WideRow(pixels + static_cast<size_t>(pitch) * static_cast<size_t>(sourceRow), width, layout);
  ScaleAcross(in, out.data());
  cached_[slot] = sourceRow;
  return out.data();
}

// One picture row scaled across: each output pixel the blend of its two
// picture pixels (the second one repeats the first where the weight is 0).
void SharpScaler::ScaleAcross(const uint32_t* in, uint32_t* out) const {
  const int n = planOutWidth_;
  const int32_t* first = columns_.source.data();
  const int32_t* second = second_.data();
  int x = 0;
#if defined(__SSE2__)
  // Four pixels at a time, as BlendRows, with a weight of its own per pixel.
  const __m128i zero = _mm_setzero_si128();
  const __m128i one = _mm_set1_epi16(kScaleWeightOne);
  const __m128i half = _mm_set1_epi16(128);
  const uint16_t* lanes = lanes_.data();
  auto pixel = [in](int32_t at) { return static_cast<int>(in[at]); };
  for (; x + 4 <= n; x += 4) {
    const __m128i a = _mm_set_epi32(pixel(first[x + 3]), pixel(first[x + 2]), pixel(first[x + 1]),
                                    pixel(first[x]));
    const __m128i b = _mm_set_epi32(pixel(second[x + 3]), pixel(second[x + 2]),
                                    pixel(second[x + 1]), pixel(second[x]));
    const __m128i wlo = _mm_loadu_si128(reinterpret_cast<const __m128i*>(lanes + 4 * x));
    const __m128i whi = _mm_loadu_si128(reinterpret_cast<const __m128i*>(lanes + 4 * x + 8));
    const __m128i lo = _mm_srli_epi16(
        _mm_add_epi16(
            _mm_add_epi16(_mm_mullo_epi16(_mm_unpacklo_epi8(a, zero), _mm_sub_epi16(one, wlo)),
                          _mm_mullo_epi16(_mm_unpacklo_epi8(b, zero), wlo)),
            half),
        8);
    const __m128i hi = _mm_srli_epi16(
        _mm_add_epi16(
            _mm_add_epi16(_mm_mullo_epi16(_mm_unpackhi_epi8(a, zero), _mm_sub_epi16(one, whi)),
                          _mm_mullo_epi16(_mm_unpackhi_epi8(b, zero), whi)),
            half),
        8);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), _mm_packus_epi16(lo, hi));
  }
#endif
  const uint16_t* next = columns_.next.data();
  for (; x < n; ++x) {
    const uint32_t a = in[first[x]];
    out[x] = next[x] == 0 ? a : BlendPixels(a, in[second[x]], next[x]);
  }
}

RowSpan SharpScaler::Scale(const void* pixels, int width, int height, int pitch, PixelLayout layout,
                           void* out, int outWidth, int outHeight, int outPitch, RowSpan changed) {
  if (pixels == nullptr || out == nullptr || width <= 0 || height <= 0 || outWidth <= 0 ||
      outHeight <= 0) {
    return {};
  }
  changed.first = std::max(changed.first, 0);
  changed.end = std::min(changed.end, height);
  if (changed.Empty()) return {};
  const auto* in = static_cast<const uint8_t*>(pixels);
  auto* dest = static_cast<uint8_t*>(out);
  const size_t outRow = static_cast<size_t>(outWidth) * 4;
  if (width == outWidth && height == outHeight) {
    for (int y = changed.first; y < changed.end; ++y) {
      const uint32_t* row =
          WideRow(in + static_cast<size_t>(pitch) * static_cast<size_t>(y), width, layout);
      std::memcpy(dest + static_cast<size_t>(outPitch) * static_cast<size_t>(y), row, outRow);
    }
    return changed;
  }
  if (width != planWidth_ || height != planHeight_ || outWidth != planOutWidth_ ||
      outHeight != planOutHeight_) {
    columns_ = PlanScaleAxis(width, outWidth);
    rows_ = PlanScaleAxis(height, outHeight);
    second_.resize(static_cast<size_t>(outWidth));
    lanes_.resize(static_cast<size_t>(outWidth) * 4);
    for (size_t x = 0; x < static_cast<size_t>(outWidth); ++x) {
      const uint16_t w = columns_.next[x];
      second_[x] = w == 0 ? columns_.source[x] : columns_.source[x] + 1;
      for (size_t c = 0; c < 4; ++c) lanes_[4 * x + c] = w;
    }
    planWidth_ = width;
    planHeight_ = height;
    planOutWidth_ = outWidth;
    planOutHeight_ = outHeight;
  }
  // Each call starts afresh: the picture differs from the last one.
  cached_[0] = cached_[1] = -1;
  RowSpan written{outHeight, 0};
  for (int y = 0; y < outHeight; ++y) {
    const int32_t s = rows_.source[static_cast<size_t>(y)];
    const uint32_t w = rows_.next[static_cast<size_t>(y)];
    const int32_t last = w == 0 ? s : s + 1;
    if (last < changed.first) continue;
    if (s >= changed.end) break;
    written.first = std::min(written.first, y);
    written.end = y + 1;
    auto* target =
        reinterpret_cast<uint32_t*>(dest + static_cast<size_t>(outPitch) * static_cast<size_t>(y));
    const uint32_t* a = ScaledRow(in, pitch, layout, width, s, s);
    if (w == 0) {
      std::memcpy(target, a, outRow);
      continue;
    }
    const uint32_t* b = ScaledRow(in, pitch, layout, width, s + 1, s + 1);
    BlendRows(a, b, w, target, outWidth);
  }
  if (written.end == 0) written.first = 0;
  return written;
}

}  // namespace platform
