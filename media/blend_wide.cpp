// One colour blended thirty-two bytes at a time (see blend_wide.h). Compiled
// for AVX2; everything but the two pointers has internal linkage, so no code
// of this file can stand in for code of another.

#include "media/blend_wide.h"

#if defined(__AVX2__)
#include <immintrin.h>
#endif

namespace media::wide {
namespace {

#if defined(__AVX2__)

// Eight 32-bit pixels at a time: round(colour x a / 255 + pixel x (255 - a) / 255)
// per channel, the colour's part worked out once.
int BlendOneColour32(void* out, int count, uint32_t colour, uint32_t alpha) {
  auto* dst = static_cast<uint32_t*>(out);
  const __m256i zero = _mm256_setzero_si256();
  const __m256i ia = _mm256_set1_epi16(static_cast<int16_t>(255 - alpha));
  const __m256i m257 = _mm256_set1_epi16(257);
  const __m256i src = _mm256_set1_epi32(static_cast<int>(colour));
  const __m256i term =
      _mm256_add_epi16(_mm256_mullo_epi16(_mm256_unpacklo_epi8(src, zero),
                                          _mm256_set1_epi16(static_cast<int16_t>(alpha))),
                       _mm256_set1_epi16(128));
  int i = 0;
  for (; i + 8 <= count; i += 8) {
    auto* where = reinterpret_cast<__m256i*>(dst + i);
    const __m256i d = _mm256_loadu_si256(where);
    const __m256i lo = _mm256_mulhi_epu16(
        _mm256_add_epi16(term, _mm256_mullo_epi16(_mm256_unpacklo_epi8(d, zero), ia)), m257);
    const __m256i hi = _mm256_mulhi_epu16(
        _mm256_add_epi16(term, _mm256_mullo_epi16(_mm256_unpackhi_epi8(d, zero), ia)), m257);
    _mm256_storeu_si256(where, _mm256_packus_epi16(lo, hi));
  }
  return i;
}

// Sixteen 5-6-5 pixels at a time, alpha in 32nds, each channel in its own
// 16-bit lanes.
int BlendOneColour16(void* out, int count, uint32_t colour, uint32_t alpha) {
  auto* dst = static_cast<uint16_t*>(out);
  const int a5 = static_cast<int>((alpha + 4) >> 3);
  const __m256i a = _mm256_set1_epi16(static_cast<int16_t>(a5));
  const __m256i ia = _mm256_set1_epi16(static_cast<int16_t>(32 - a5));
  const __m256i m5 = _mm256_set1_epi16(31), m6 = _mm256_set1_epi16(63);
  const __m256i src = _mm256_set1_epi16(static_cast<int16_t>(colour));
  const __m256i sr = _mm256_mullo_epi16(_mm256_srli_epi16(src, 11), a);
  const __m256i sg = _mm256_mullo_epi16(_mm256_and_si256(_mm256_srli_epi16(src, 5), m6), a);
  const __m256i sb = _mm256_mullo_epi16(_mm256_and_si256(src, m5), a);
  int i = 0;
  for (; i + 16 <= count; i += 16) {
    auto* where = reinterpret_cast<__m256i*>(dst + i);
    const __m256i d = _mm256_loadu_si256(where);
    const __m256i dr = _mm256_mullo_epi16(_mm256_srli_epi16(d, 11), ia);
    const __m256i dg = _mm256_mullo_epi16(_mm256_and_si256(_mm256_srli_epi16(d, 5), m6), ia);
    const __m256i db = _mm256_mullo_epi16(_mm256_and_si256(d, m5), ia);
    const __m256i r = _mm256_srli_epi16(_mm256_add_epi16(sr, dr), 5);
    const __m256i g = _mm256_srli_epi16(_mm256_add_epi16(sg, dg), 5);
    const __m256i b = _mm256_srli_epi16(_mm256_add_epi16(sb, db), 5);
    _mm256_storeu_si256(
        where,
        _mm256_or_si256(_mm256_or_si256(_mm256_slli_epi16(r, 11), _mm256_slli_epi16(g, 5)), b));
  }
  return i;
}

#endif

}  // namespace

#if defined(__AVX2__)
const OneColourBlend kBlendOneColour32 = &BlendOneColour32;
const OneColourBlend kBlendOneColour16 = &BlendOneColour16;
#else
const OneColourBlend kBlendOneColour32 = nullptr;
const OneColourBlend kBlendOneColour16 = nullptr;
#endif

}  // namespace media::wide
