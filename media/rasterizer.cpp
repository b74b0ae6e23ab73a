// Software rasteriser for textured quads (see rasterizer.h).
//
// Geometry is snapped to 1/16 pixel and walked with exact integer edge
// functions, one row at a time: for each row the covered columns follow from
// the three edge inequalities solved for x, so the fill rule is exact; the
// quotients are carried from row to row with their remainders, so there is
// no division per row. Texture coordinates and alpha come from plane
// equations evaluated in double at both ends of each row span and stepped in
// fixed point across it. Colours are blended a whole pixel at a time with the
// channels side by side in one 32-bit word, or, where SSE2 exists, four
// 32-bit or eight 16-bit pixels at a time with the same arithmetic. A texture
// of one colour (the fade overlay) is blended without fetching texels, and
// the keyed stretches at the ends of a span (the empty half of a cloud band)
// are passed over without fetching their texels: each texture keeps a summary
// of where its unkeyed texels lie, found once until its pixels change. Spans
// that run along a texture row or column at about one texel per pixel fetch
// neighbouring texels with one load (see RunFetch).

#include "media/rasterizer.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "media/blend_wide.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace media {
namespace {

constexpr int64_t kSub = 16;              // sub-pixel steps per pixel
constexpr float kMaxCoord = 16777216.0f;  // |coordinate| limit, keeps edge maths in 64 bits
constexpr int64_t kFix = 65536;           // 16.16 fixed point for texel and alpha steps

// --- Pixel formats --------------------------------------------------------------
//
// Every format offers: the key test, conversion to and from 0x00RRGGBB with
// 8-bit channels (filtering and the general blend), and the fast blends.

// round(t / 255) for t up to 65535, exact: (t + 128 + ((t + 128) >> 8)) >> 8.
// The 32-bit forms below do this on two or one 16-bit fields at once.

struct Format32 {
  using Pixel = uint32_t;
  static bool IsKey(Pixel p) { return (p & 0x00FFFFFFu) == 0; }
  static uint32_t ToRgb(Pixel p) { return p & 0x00FFFFFFu; }
  static Pixel FromRgb(uint32_t c) { return c; }

  // s x a / 255 + d x (255 - a) / 255, rounded, per channel.
  static Pixel Blend(Pixel s, Pixel d, uint32_t a) {
    const uint32_t ia = 255 - a;
    uint32_t rb = (s & 0x00FF00FFu) * a + (d & 0x00FF00FFu) * ia + 0x00800080u;
    rb = ((rb + ((rb >> 8) & 0x00FF00FFu)) >> 8) & 0x00FF00FFu;
    uint32_t g = (s & 0x0000FF00u) * a + (d & 0x0000FF00u) * ia + 0x00008000u;
    g = ((g + ((g >> 8) & 0x0000FF00u)) >> 8) & 0x0000FF00u;
    return rb | g;
  }
  // s x a / 255, rounded, per channel.
  static uint32_t Scale(Pixel s, uint32_t a) {
    uint32_t rb = (s & 0x00FF00FFu) * a + 0x00800080u;
    rb = ((rb + ((rb >> 8) & 0x00FF00FFu)) >> 8) & 0x00FF00FFu;
    uint32_t g = (s & 0x0000FF00u) * a + 0x00008000u;
    g = ((g + ((g >> 8) & 0x0000FF00u)) >> 8) & 0x0000FF00u;
    return rb | g;
  }
  // Per-channel sum, saturated at 255.
  static Pixel AddSat(Pixel s, Pixel d) {
    const uint32_t rb = (s & 0x00FF00FFu) + (d & 0x00FF00FFu);
    const uint32_t g = (s & 0x0000FF00u) + (d & 0x0000FF00u);
    const uint32_t over = (rb & 0x01000100u) | (g & 0x00010000u);
    const uint32_t sat = over - (over >> 8);  // 0xFF in every channel that overflowed
    return ((rb & 0x00FF00FFu) | (g & 0x0000FF00u)) | sat;
  }
  static Pixel Add(Pixel s, Pixel d, uint32_t a) { return AddSat(Scale(s, a), d); }
};

// 5-6-5 pixels are blended in their own channels: the pixel is spread to
// 0x07E0F81F (green in bits 21-26, red 11-15, blue 0-4) so that each channel
// has room for a product with a 5-bit alpha. Alpha counts in 32nds, rounded;
// 0 keeps the destination and 255 gives the source exactly.
struct Format16 {
  using Pixel = uint16_t;
  static constexpr uint32_t kSpread = 0x07E0F81Fu;
  static bool IsKey(Pixel p) { return p == 0; }
  static uint32_t ToRgb(Pixel p) {
    uint32_t c = ((p & 0xF800u) << 8) | ((p & 0x07E0u) << 5) | ((p & 0x001Fu) << 3);
    return c | ((c >> 5) & 0x00070007u) | ((c >> 6) & 0x00000300u);
  }
  static Pixel FromRgb(uint32_t c) {
    return static_cast<Pixel>(((c >> 8) & 0xF800u) | ((c >> 5) & 0x07E0u) | ((c >> 3) & 0x001Fu));
  }
  static uint32_t Spread(Pixel p) { return (p | (static_cast<uint32_t>(p) << 16)) & kSpread; }
  static Pixel Fold(uint32_t x) { return static_cast<Pixel>((x | (x >> 16)) & 0xFFFFu); }
  static uint32_t Alpha32(uint32_t a) { return (a + 4) >> 3; }

  static Pixel Blend(Pixel s, Pixel d, uint32_t a) {
    const uint32_t a5 = Alpha32(a);
    const uint32_t x = ((Spread(s) * a5 + Spread(d) * (32 - a5)) >> 5) & kSpread;
    return Fold(x);
  }
  static Pixel AddSat(Pixel s, Pixel d) {
    const uint32_t sum = Spread(s) + Spread(d);
    const uint32_t low = sum & 0x00010020u;   // carries out of red and blue
    const uint32_t high = sum & 0x08000000u;  // carry out of green
    const uint32_t sat = (low - (low >> 5)) | (high - (high >> 6));
    return Fold((sum | sat) & kSpread);
  }
  static Pixel Add(Pixel s, Pixel d, uint32_t a) {
    const uint32_t a5 = Alpha32(a);
    return AddSat(Fold(((Spread(s) * a5) >> 5) & kSpread), d);
  }
};

// How a span combines source and destination.
enum class Op {
  Opaque,   // source replaces destination
  Blend,    // source x alpha + destination x (1 - alpha)
  Add,      // source x alpha + destination, saturated
  AddFull,  // source + destination, saturated (Add at alpha 255)
  Generic,  // any pair of factors, evaluated per channel
};

// Factor kinds after folding the destination-alpha factors: the back buffer
// has no alpha, so destination alpha is 1.
enum class Factor {
  Zero,
  One,
  SrcColor,
  InvSrcColor,
  SrcAlpha,
  InvSrcAlpha,
  DstColor,
  InvDstColor
};

bool FoldFactor(int code, Factor* out) {
  switch (code) {
    case kBlendZero:
      *out = Factor::Zero;
      return true;
    case kBlendOne:
      *out = Factor::One;
      return true;
    case kBlendSrcColor:
      *out = Factor::SrcColor;
      return true;
    case kBlendInvSrcColor:
      *out = Factor::InvSrcColor;
      return true;
    case kBlendSrcAlpha:
      *out = Factor::SrcAlpha;
      return true;
    case kBlendInvSrcAlpha:
      *out = Factor::InvSrcAlpha;
      return true;
    case kBlendDestAlpha:
      *out = Factor::One;
      return true;
    case kBlendInvDestAlpha:
      *out = Factor::Zero;
      return true;
    case kBlendDestColor:
      *out = Factor::DstColor;
      return true;
    case kBlendInvDestColor:
      *out = Factor::InvDstColor;
      return true;
    // min(source alpha, 1 - destination alpha) with destination alpha 1.
    case kBlendSrcAlphaSat:
      *out = Factor::Zero;
      return true;
    default:
      return false;
  }
}

inline uint32_t FactorValue(Factor f, uint32_t s, uint32_t d, uint32_t a) {
  switch (f) {
    case Factor::Zero:
      return 0;
    case Factor::One:
      return 255;
    case Factor::SrcColor:
      return s;
    case Factor::InvSrcColor:
      return 255 - s;
    case Factor::SrcAlpha:
      return a;
    case Factor::InvSrcAlpha:
      return 255 - a;
    case Factor::DstColor:
      return d;
    case Factor::InvDstColor:
      return 255 - d;
  }
  return 0;
}

uint32_t GenericBlend(uint32_t s, uint32_t d, uint32_t a, Factor fs, Factor fd) {
  uint32_t out = 0;
  for (int shift = 0; shift <= 16; shift += 8) {
    const uint32_t sc = (s >> shift) & 0xFF;
    const uint32_t dc = (d >> shift) & 0xFF;
    const uint32_t t = sc * FactorValue(fs, sc, dc, a) + dc * FactorValue(fd, sc, dc, a);
    out |= std::min<uint32_t>(255, (2 * t + 255) / 510) << shift;
  }
  return out;
}

struct SpanTexture {
  const uint8_t* pixels;
  int64_t pitch;
  int width;
  int height;
  const uint8_t* columns;  // the texture transposed, column x as row x; may be null
  int64_t columnPitch;     // bytes from one column to the next there
};

// Everything one span needs besides where it writes.
struct SpanSetup {
  int64_t u, v, a;     // at the first pixel: texel x, texel y (16.16), alpha (16.16)
  int64_t du, dv, da;  // per pixel
  Factor fs, fd;
};

// The setup of the same span starting n pixels later, for texel lookups.
SpanSetup FromPixel(const SpanSetup& s, int n) {
  SpanSetup from = s;
  from.u += s.du * n;
  from.v += s.dv * n;
  from.a += s.da * n;
  return from;
}

template <class F>
inline typename F::Pixel TexelAt(const SpanTexture& t, int x, int y) {
  typename F::Pixel p;
  std::memcpy(&p, t.pixels + y * t.pitch + static_cast<int64_t>(x) * sizeof(p), sizeof(p));
  return p;
}

// Bilinear lerp of two 0x00RRGGBB colours by f/256.
inline uint32_t Lerp(uint32_t c0, uint32_t c1, uint32_t f) {
  const uint32_t rb = ((c0 & 0x00FF00FFu) * (256 - f) + (c1 & 0x00FF00FFu) * f) >> 8;
  const uint32_t g = ((c0 & 0x0000FF00u) * (256 - f) + (c1 & 0x0000FF00u) * f) >> 8;
  return (rb & 0x00FF00FFu) | (g & 0x0000FF00u);
}

#if defined(__SSE2__)
// Texture coordinates of four pixels of a span side by side in 32-bit lanes,
// giving their texel offsets v x pitch + u with one multiply-add on 16-bit
// halves. Needs textures under 32768 texels a side and pitch (see Walkable).
class TexelWalk {
 public:
  TexelWalk(const SpanSetup& s, int64_t pitchTexels)
      : u_(Lanes(s.u, s.du)),
        v_(Lanes(s.v, s.dv)),
        du_(_mm_set1_epi32(static_cast<int32_t>(4 * s.du))),
        dv_(_mm_set1_epi32(static_cast<int32_t>(4 * s.dv))),
        pitch_(_mm_set1_epi32(static_cast<int32_t>(1 | (pitchTexels << 16)))) {}

  // Offsets of the next four texels into `at`.
  void Next(int32_t* at) {
    Offsets(at);
    Advance();
  }
  // Offsets of the current four texels, and the step to the next four.
  void Offsets(int32_t* at) const {
    const __m128i uv =
        _mm_or_si128(_mm_srli_epi32(u_, 16), _mm_slli_epi32(_mm_srai_epi32(v_, 16), 16));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(at), _mm_madd_epi16(uv, pitch_));
  }
  void Advance() {
    u_ = _mm_add_epi32(u_, du_);
    v_ = _mm_add_epi32(v_, dv_);
  }

 private:
  // Lanes may wrap once past the end of the span; those are never used.
  static __m128i Lanes(int64_t q, int64_t dq) {
    return _mm_setr_epi32(static_cast<int32_t>(q), static_cast<int32_t>(q + dq),
                          static_cast<int32_t>(q + 2 * dq), static_cast<int32_t>(q + 3 * dq));
  }
  __m128i u_, v_, du_, dv_, pitch_;
};

// The wide one-colour blend for a pixel size, when the processor has AVX2 and
// it is not switched off; else null.
bool& WideAllowed() {
  static bool allowed = true;
  return allowed;
}

wide::OneColourBlend WideOneColourBlend(int bytesPerPixel) {
#if defined(__x86_64__) || defined(__i386__)
  static const bool avx2 = __builtin_cpu_supports("avx2");
  if (!avx2 || !WideAllowed()) return nullptr;
  return bytesPerPixel == 4 ? wide::kBlendOneColour32 : wide::kBlendOneColour16;
#else
  (void)bytesPerPixel;
  return nullptr;
#endif
}

bool Walkable(const SpanTexture& t, int bytesPerPixel) {
  return t.pitch / bytesPerPixel < 32768 && t.height < 32768;
}

// Neighbouring texels in one load. A span that runs close to a texture row at
// about one texel per pixel (a sprite turned by a multiple of a quarter turn,
// shown near its own size) shows neighbouring texels of one row in most groups
// of pixels; close to a column, the neighbours of one column, which lie side by
// side in the texture's transposed copy. A group is such a run exactly when its
// first and last texel lie in one line, n - 1 texels apart in the direction of
// travel: with less than two texels per pixel every step is then one texel.
class RunFetch {
 public:
  RunFetch(const SpanTexture& t, const SpanSetup& s, int bytesPerPixel) : bpp_(bytesPerPixel) {
    auto near = [](int64_t along, int64_t across) {
      const int64_t a = along < 0 ? -along : along;
      const int64_t c = across < 0 ? -across : across;
      return a >= kFix / 2 && a < 2 * kFix && 8 * c <= a;
    };
    if (near(s.du, s.dv)) {
      Set(t.pixels, t.pitch, s.u, s.v, s.du, s.dv);
    } else if (t.columns != nullptr && near(s.dv, s.du)) {
      Set(t.columns, t.columnPitch, s.v, s.u, s.dv, s.du);
    }
  }
  // The lowest of the n texels of the current group when they are a run (the
  // group shows them in increasing order when `Forward`), else null; always
  // null for a span that runs along neither rows nor columns.
  const uint8_t* Run(int n) const {
    if (base_ == nullptr) return nullptr;
    const int64_t a0 = along_ >> 16, a1 = (along_ + (n - 1) * dAlong_) >> 16;
    const int64_t line = across_ >> 16;
    if (line != (across_ + (n - 1) * dAcross_) >> 16) return nullptr;
    if (a1 - a0 != (dAlong_ > 0 ? n - 1 : 1 - n)) return nullptr;
    return base_ + line * pitch_ + std::min(a0, a1) * bpp_;
  }
  bool Forward() const { return dAlong_ > 0; }
  void Advance(int n) {
    along_ += n * dAlong_;
    across_ += n * dAcross_;
  }

 private:
  void Set(const uint8_t* base, int64_t pitch, int64_t along, int64_t across, int64_t dAlong,
           int64_t dAcross) {
    base_ = base;
    pitch_ = pitch;
    along_ = along;
    across_ = across;
    dAlong_ = dAlong;
    dAcross_ = dAcross;
  }
  int64_t bpp_;
  const uint8_t* base_ = nullptr;
  int64_t pitch_ = 0, along_ = 0, across_ = 0, dAlong_ = 0, dAcross_ = 0;
};

// Four 32-bit pixels at a time at one alpha; the same arithmetic as the
// scalar Format32 blends, so results are identical. Returns how many pixels
// it drew (a multiple of four); the caller finishes the rest. kOneTexel: the
// span shows texel (u, v) throughout and it is not the key.
template <Op kOp, bool kOneTexel>
int DrawSpanSse2(uint32_t* dst, int count, const SpanTexture& tex, const SpanSetup& s) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i rgbMask = _mm_set1_epi32(0x00FFFFFF);
  const uint32_t alpha = static_cast<uint32_t>(s.a >> 16);
  const __m128i a16 = _mm_set1_epi16(static_cast<int16_t>(alpha));
  const __m128i ia16 = _mm_set1_epi16(static_cast<int16_t>(255 - alpha));
  const __m128i half = _mm_set1_epi16(128);
  // (t + (t >> 8)) >> 8 in one step: t x 257 / 65536, floored, is the same for t < 65536.
  const __m128i m257 = _mm_set1_epi16(257);
  auto div255 = [&](__m128i t) { return _mm_mulhi_epu16(t, m257); };
  auto combine = [&](__m128i src, __m128i d) {
    if constexpr (kOp == Op::Opaque) {
      return src;
    } else if constexpr (kOp == Op::AddFull) {
      return _mm_adds_epu8(src, d);
    } else {
      const __m128i slo = _mm_unpacklo_epi8(src, zero), shi = _mm_unpackhi_epi8(src, zero);
      if constexpr (kOp == Op::Blend) {
        const __m128i dlo = _mm_unpacklo_epi8(d, zero), dhi = _mm_unpackhi_epi8(d, zero);
        const __m128i lo = div255(_mm_add_epi16(_mm_add_epi16(_mm_mullo_epi16(slo, a16), half),
                                                _mm_mullo_epi16(dlo, ia16)));
        const __m128i hi = div255(_mm_add_epi16(_mm_add_epi16(_mm_mullo_epi16(shi, a16), half),
                                                _mm_mullo_epi16(dhi, ia16)));
        return _mm_packus_epi16(lo, hi);
      } else {  // Add
        const __m128i lo = div255(_mm_add_epi16(_mm_mullo_epi16(slo, a16), half));
        const __m128i hi = div255(_mm_add_epi16(_mm_mullo_epi16(shi, a16), half));
        return _mm_adds_epu8(_mm_packus_epi16(lo, hi), d);
      }
    }
  };
  const auto* texels = reinterpret_cast<const uint32_t*>(tex.pixels);
  const int64_t pitch = tex.pitch / 4;
  int i = 0;
  if constexpr (kOneTexel) {
    // Everything about the source is worked out once, outside the loop.
    const __m128i src = _mm_set1_epi32(static_cast<int>(texels[(s.v >> 16) * pitch + (s.u >> 16)]));
    if constexpr (kOp == Op::Blend) {
      const __m128i term = _mm_add_epi16(_mm_mullo_epi16(_mm_unpacklo_epi8(src, zero), a16), half);
      for (; i + 4 <= count; i += 4) {
        __m128i* where = reinterpret_cast<__m128i*>(dst + i);
        const __m128i d = _mm_loadu_si128(where);
        const __m128i lo =
            div255(_mm_add_epi16(term, _mm_mullo_epi16(_mm_unpacklo_epi8(d, zero), ia16)));
        const __m128i hi =
            div255(_mm_add_epi16(term, _mm_mullo_epi16(_mm_unpackhi_epi8(d, zero), ia16)));
        _mm_storeu_si128(where, _mm_packus_epi16(lo, hi));
      }
      return i;
    }
    for (; i + 4 <= count; i += 4) {
      __m128i* where = reinterpret_cast<__m128i*>(dst + i);
      _mm_storeu_si128(where, combine(src, _mm_loadu_si128(where)));
    }
    return i;
  }
  auto keyedOf = [&](__m128i src) { return _mm_cmpeq_epi32(_mm_and_si128(src, rgbMask), zero); };
  // Four pixels from their texels: keyed texels leave the pixel as it is.
  auto group = [&](__m128i src, __m128i keyed, __m128i d) {
    return _mm_or_si128(_mm_and_si128(keyed, d), _mm_andnot_si128(keyed, combine(src, d)));
  };
  auto gather = [&](const TexelWalk& w) {
    int32_t at[4];
    w.Offsets(at);
    return _mm_setr_epi32(static_cast<int>(texels[at[0]]), static_cast<int>(texels[at[1]]),
                          static_cast<int>(texels[at[2]]), static_cast<int>(texels[at[3]]));
  };
  // A span that does not end on a whole group ends with a group overlapping
  // the last whole one, worked out from the pixels as they are before drawing
  // and stored after it: the pixels they share get the same value twice.
  const int tailAt = count > 4 && count % 4 != 0 ? count - 4 : -1;
  __m128i tail = zero;
  if (tailAt > 0) {
    const __m128i src = gather(TexelWalk(FromPixel(s, tailAt), pitch));
    tail =
        group(src, keyedOf(src), _mm_loadu_si128(reinterpret_cast<const __m128i*>(dst + tailAt)));
  }
  TexelWalk walk(s, pitch);
  RunFetch runs(tex, s, 4);
  for (; i + 4 <= count; i += 4) {
    __m128i src;
    if (const uint8_t* run = runs.Run(4)) {
      src = _mm_loadu_si128(reinterpret_cast<const __m128i*>(run));
      if (!runs.Forward()) src = _mm_shuffle_epi32(src, _MM_SHUFFLE(0, 1, 2, 3));
    } else {
      src = gather(walk);
    }
    walk.Advance();
    runs.Advance(4);
    const __m128i keyed = keyedOf(src);
    if (_mm_movemask_epi8(keyed) == 0xFFFF) continue;
    __m128i* where = reinterpret_cast<__m128i*>(dst + i);
    _mm_storeu_si128(where, group(src, keyed, _mm_loadu_si128(where)));
  }
  if (tailAt > 0) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + tailAt), tail);
    i = count;
  }
  return i;
}

// Eight 5-6-5 pixels at a time at one alpha, each channel in its own 16-bit
// lanes; the same arithmetic as the scalar Format16 blends.
template <Op kOp, bool kOneTexel>
int DrawSpanSse2Rgb565(uint16_t* dst, int count, const SpanTexture& tex, const SpanSetup& s) {
  const __m128i zero = _mm_setzero_si128();
  const int a5 = static_cast<int>(Format16::Alpha32(static_cast<uint32_t>(s.a >> 16)));
  const __m128i a = _mm_set1_epi16(static_cast<int16_t>(a5));
  const __m128i ia = _mm_set1_epi16(static_cast<int16_t>(32 - a5));
  const __m128i m5 = _mm_set1_epi16(31), m6 = _mm_set1_epi16(63);
  auto combine = [&](__m128i src, __m128i d) {
    if constexpr (kOp == Op::Opaque) {
      return src;
    } else {
      __m128i sr = _mm_srli_epi16(src, 11);
      __m128i sg = _mm_and_si128(_mm_srli_epi16(src, 5), m6);
      __m128i sb = _mm_and_si128(src, m5);
      const __m128i dr = _mm_srli_epi16(d, 11);
      const __m128i dg = _mm_and_si128(_mm_srli_epi16(d, 5), m6);
      const __m128i db = _mm_and_si128(d, m5);
      __m128i r, g, b;
      if constexpr (kOp == Op::Blend) {
        r = _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(sr, a), _mm_mullo_epi16(dr, ia)), 5);
        g = _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(sg, a), _mm_mullo_epi16(dg, ia)), 5);
        b = _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(sb, a), _mm_mullo_epi16(db, ia)), 5);
      } else {
        if constexpr (kOp == Op::Add) {
          sr = _mm_srli_epi16(_mm_mullo_epi16(sr, a), 5);
          sg = _mm_srli_epi16(_mm_mullo_epi16(sg, a), 5);
          sb = _mm_srli_epi16(_mm_mullo_epi16(sb, a), 5);
        }
        r = _mm_min_epi16(_mm_add_epi16(sr, dr), m5);
        g = _mm_min_epi16(_mm_add_epi16(sg, dg), m6);
        b = _mm_min_epi16(_mm_add_epi16(sb, db), m5);
      }
      return _mm_or_si128(_mm_or_si128(_mm_slli_epi16(r, 11), _mm_slli_epi16(g, 5)), b);
    }
  };
  const auto* texels = reinterpret_cast<const uint16_t*>(tex.pixels);
  const int64_t pitch = tex.pitch / 2;
  int i = 0;
  if constexpr (kOneTexel) {
    const __m128i src =
        _mm_set1_epi16(static_cast<int16_t>(texels[(s.v >> 16) * pitch + (s.u >> 16)]));
    if constexpr (kOp == Op::Blend) {
      const __m128i sr = _mm_mullo_epi16(_mm_srli_epi16(src, 11), a);
      const __m128i sg = _mm_mullo_epi16(_mm_and_si128(_mm_srli_epi16(src, 5), m6), a);
      const __m128i sb = _mm_mullo_epi16(_mm_and_si128(src, m5), a);
      for (; i + 8 <= count; i += 8) {
        __m128i* where = reinterpret_cast<__m128i*>(dst + i);
        const __m128i d = _mm_loadu_si128(where);
        const __m128i dr = _mm_mullo_epi16(_mm_srli_epi16(d, 11), ia);
        const __m128i dg = _mm_mullo_epi16(_mm_and_si128(_mm_srli_epi16(d, 5), m6), ia);
        const __m128i db = _mm_mullo_epi16(_mm_and_si128(d, m5), ia);
        const __m128i r = _mm_srli_epi16(_mm_add_epi16(sr, dr), 5);
        const __m128i g = _mm_srli_epi16(_mm_add_epi16(sg, dg), 5);
        const __m128i b = _mm_srli_epi16(_mm_add_epi16(sb, db), 5);
        _mm_storeu_si128(
            where, _mm_or_si128(_mm_or_si128(_mm_slli_epi16(r, 11), _mm_slli_epi16(g, 5)), b));
      }
      return i;
    }
    for (; i + 8 <= count; i += 8) {
      __m128i* where = reinterpret_cast<__m128i*>(dst + i);
      _mm_storeu_si128(where, combine(src, _mm_loadu_si128(where)));
    }
    return i;
  }
  // Eight pixels from their texels, as in the 32-bit spans.
  auto group = [&](__m128i src, __m128i keyed, __m128i d) {
    return _mm_or_si128(_mm_and_si128(keyed, d), _mm_andnot_si128(keyed, combine(src, d)));
  };
  // The next eight texels of a walk, which moves on past them.
  auto gather = [&](TexelWalk& w) {
    int32_t at[8];
    w.Next(at);
    w.Next(at + 4);
    return _mm_setr_epi16(static_cast<int16_t>(texels[at[0]]), static_cast<int16_t>(texels[at[1]]),
                          static_cast<int16_t>(texels[at[2]]), static_cast<int16_t>(texels[at[3]]),
                          static_cast<int16_t>(texels[at[4]]), static_cast<int16_t>(texels[at[5]]),
                          static_cast<int16_t>(texels[at[6]]), static_cast<int16_t>(texels[at[7]]));
  };
  // The overlapping last group, as in the 32-bit spans.
  const int tailAt = count > 8 && count % 8 != 0 ? count - 8 : -1;
  __m128i tail = zero;
  if (tailAt > 0) {
    TexelWalk tailWalk(FromPixel(s, tailAt), pitch);
    const __m128i src = gather(tailWalk);
    tail = group(src, _mm_cmpeq_epi16(src, zero),
                 _mm_loadu_si128(reinterpret_cast<const __m128i*>(dst + tailAt)));
  }
  TexelWalk walk(s, pitch);
  RunFetch runs(tex, s, 2);
  for (; i + 8 <= count; i += 8) {
    __m128i src;
    if (const uint8_t* run = runs.Run(8)) {
      walk.Advance();
      walk.Advance();
      src = _mm_loadu_si128(reinterpret_cast<const __m128i*>(run));
      if (!runs.Forward()) {
        src = _mm_shufflelo_epi16(src, _MM_SHUFFLE(0, 1, 2, 3));
        src = _mm_shufflehi_epi16(src, _MM_SHUFFLE(0, 1, 2, 3));
        src = _mm_shuffle_epi32(src, _MM_SHUFFLE(1, 0, 3, 2));
      }
    } else {
      src = gather(walk);
    }
    runs.Advance(8);
    const __m128i keyed = _mm_cmpeq_epi16(src, zero);
    if (_mm_movemask_epi8(keyed) == 0xFFFF) continue;
    __m128i* where = reinterpret_cast<__m128i*>(dst + i);
    _mm_storeu_si128(where, group(src, keyed, _mm_loadu_si128(where)));
  }
  if (tailAt > 0) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + tailAt), tail);
    i = count;
  }
  return i;
}
#endif

// kFlat: the span reads one texture row at one alpha (no v or alpha steps),
// as in every unrotated quad drawn at one alpha.
template <class F, bool kBilinear, Op kOp, bool kFlat>
void DrawSpan(typename F::Pixel* dst, int count, const SpanTexture& tex, const SpanSetup& s) {
  using Pixel = typename F::Pixel;
  int64_t u = s.u, v = s.v, a = s.a;
  const Pixel* flatRow = reinterpret_cast<const Pixel*>(tex.pixels + (v >> 16) * tex.pitch);
  const int64_t dv = kFlat ? 0 : s.dv;
  const int64_t da = kFlat ? 0 : s.da;
  int i = 0;
#if defined(__SSE2__)
  if constexpr (!kBilinear && kOp != Op::Generic) {
    if (da == 0 && Walkable(tex, sizeof(Pixel))) {
      const bool oneTexel = kFlat && s.du == 0;
      if (oneTexel && F::IsKey(flatRow[u >> 16])) return;
      if constexpr (kOp == Op::Blend) {
        if (oneTexel) {
          if (const wide::OneColourBlend blend = WideOneColourBlend(sizeof(Pixel))) {
            const int done = blend(dst, count, flatRow[u >> 16], static_cast<uint32_t>(s.a >> 16));
            dst += done;
            count -= done;
          }
        }
      }
      if constexpr (std::is_same_v<F, Format32>) {
        i = oneTexel ? DrawSpanSse2<kOp, true>(dst, count, tex, s)
                     : DrawSpanSse2<kOp, false>(dst, count, tex, s);
      } else {
        i = oneTexel ? DrawSpanSse2Rgb565<kOp, true>(dst, count, tex, s)
                     : DrawSpanSse2Rgb565<kOp, false>(dst, count, tex, s);
      }
      u += s.du * i;
      v += dv * i;
    }
  }
#endif
  for (; i < count; ++i, u += s.du, v += dv, a += da) {
    const int tx = static_cast<int>(u >> 16);
    Pixel src;
    if constexpr (kFlat && !kBilinear) {
      src = flatRow[tx];
    } else {
      src = TexelAt<F>(tex, tx, static_cast<int>(v >> 16));
    }
    if (F::IsKey(src)) continue;
    if constexpr (kBilinear) {
      // Sample between the four texels around the point; a keyed neighbour
      // takes the nearest texel's colour so that edges do not darken.
      const int64_t su = u - kFix / 2;
      const int64_t sv = v - kFix / 2;
      const int sx = static_cast<int>(su >> 16);
      const int sy = static_cast<int>(sv >> 16);
      const int x0 = std::clamp(sx, 0, tex.width - 1);
      const int y0 = std::clamp(sy, 0, tex.height - 1);
      const int x1 = std::clamp(sx + 1, 0, tex.width - 1);
      const int y1 = std::clamp(sy + 1, 0, tex.height - 1);
      const uint32_t fx = static_cast<uint32_t>((su >> 8) & 0xFF);
      const uint32_t fy = static_cast<uint32_t>((sv >> 8) & 0xFF);
      const uint32_t cn = F::ToRgb(src);
      auto fetch = [&](int x, int y) {
        const Pixel p = TexelAt<F>(tex, x, y);
        return F::IsKey(p) ? cn : F::ToRgb(p);
      };
      const uint32_t top = Lerp(fetch(x0, y0), fetch(x1, y0), fx);
      const uint32_t bottom = Lerp(fetch(x0, y1), fetch(x1, y1), fx);
      src = F::FromRgb(Lerp(top, bottom, fy));
    }
    if constexpr (kOp == Op::Opaque) {
      dst[i] = src;
    } else if constexpr (kOp == Op::AddFull) {
      dst[i] = F::AddSat(src, dst[i]);
    } else {
      const uint32_t alpha = static_cast<uint32_t>(a >> 16);
      if constexpr (kOp == Op::Blend) {
        dst[i] = F::Blend(src, dst[i], alpha);
      } else if constexpr (kOp == Op::Add) {
        dst[i] = F::Add(src, dst[i], alpha);
      } else {
        dst[i] = F::FromRgb(GenericBlend(F::ToRgb(src), F::ToRgb(dst[i]), alpha, s.fs, s.fd));
      }
    }
  }
}

using SpanFn = void (*)(void* dst, int count, const SpanTexture& tex, const SpanSetup& s);

template <class F, bool kBilinear, Op kOp>
void SpanThunk(void* dst, int count, const SpanTexture& tex, const SpanSetup& s) {
  auto* out = static_cast<typename F::Pixel*>(dst);
  if (s.dv == 0 && s.da == 0) {
    DrawSpan<F, kBilinear, kOp, true>(out, count, tex, s);
  } else {
    DrawSpan<F, kBilinear, kOp, false>(out, count, tex, s);
  }
}

template <class F, bool kBilinear>
SpanFn PickOp(Op op) {
  switch (op) {
    case Op::Opaque:
      return &SpanThunk<F, kBilinear, Op::Opaque>;
    case Op::Blend:
      return &SpanThunk<F, kBilinear, Op::Blend>;
    case Op::Add:
      return &SpanThunk<F, kBilinear, Op::Add>;
    case Op::AddFull:
      return &SpanThunk<F, kBilinear, Op::AddFull>;
    case Op::Generic:
      return &SpanThunk<F, kBilinear, Op::Generic>;
  }
  return nullptr;
}

SpanFn PickSpan(int bytesPerPixel, bool bilinear, Op op) {
  if (bytesPerPixel == 4)
    return bilinear ? PickOp<Format32, true>(op) : PickOp<Format32, false>(op);
  return bilinear ? PickOp<Format16, true>(op) : PickOp<Format16, false>(op);
}

// --- Geometry ---------------------------------------------------------------

int64_t FloorDiv(int64_t a, int64_t b) {  // b > 0
  int64_t q = a / b;
  if ((a % b != 0) && (a < 0)) --q;
  return q;
}

// Exact division in floating point. Dividing integers a and b (|a|, |b| <
// 2^53) in floating point gives the correctly rounded quotient. It can never
// reach an integer that the exact quotient does not: the exact one stays at
// least 1/|b| away from any other integer, and rounding moves it by less. So
// truncating or flooring the floating-point quotient gives the exact result.

// floor((m + step * n) / d) for n = 0, 1, 2, ..., d > 0, with one division
// up front instead of one per step.
struct FloorWalk {
  int64_t q, r, qStep, rStep, d;
  FloorWalk(int64_t m, int64_t step, int64_t divisor) : d(divisor) {
    q = FloorDiv(m, d);
    r = m - q * d;
    qStep = FloorDiv(step, d);
    rStep = step - qStep * d;
  }
  void Next() {
    // Without a branch: whether the remainder carries is anyone's guess.
    r += rStep;
    const bool carry = r >= d;
    q += qStep + carry;
    r -= carry ? d : 0;
  }
};

// Per-pixel step of a value going from q0 to q1 over count pixels, truncated
// towards zero. A floating-point division is exact here (see "Exact division
// in floating point") and much quicker than an integer one.
int64_t StepOf(int64_t q0, int64_t q1, int count) {
  const int64_t delta = q1 - q0;
  if (count <= 1 || delta == 0) return 0;
  return static_cast<int64_t>(static_cast<double>(delta) / static_cast<double>(count - 1));
}

// trunc(a / d) and trunc(b / d) for d > 0 and |a|, |b|, d < 2^53, with one
// division instruction for both where there is SSE2 (see "Exact division in
// floating point").
void TwoQuotients(int64_t a, int64_t b, int64_t d, int64_t* qa, int64_t* qb) {
#if defined(__SSE2__) && defined(__x86_64__)
  const __m128d q = _mm_div_pd(_mm_set_pd(static_cast<double>(b), static_cast<double>(a)),
                               _mm_set1_pd(static_cast<double>(d)));
  *qa = _mm_cvttsd_si64(q);
  *qb = _mm_cvttsd_si64(_mm_unpackhi_pd(q, q));
#else
  *qa = static_cast<int64_t>(static_cast<double>(a) / static_cast<double>(d));
  *qb = static_cast<int64_t>(static_cast<double>(b) / static_cast<double>(d));
#endif
}

// StepOf for two values over the same pixels at once.
void StepsOf(int64_t p0, int64_t p1, int64_t q0, int64_t q1, int count, int64_t* dp, int64_t* dq) {
  if (count <= 1) {
    *dp = *dq = 0;
    return;
  }
  TwoQuotients(p1 - p0, q1 - q0, count - 1, dp, dq);
}

struct SnappedVertex {
  int64_t x, y;    // 1/16 pixel
  double u, v, a;  // texel x, texel y, alpha 0..255
};

// Affine function q(x, y) = q0 + dx (x - x0) + dy (y - y0), in pixels.
struct Plane {
  double q0, dx, dy, x0, y0;
  double At(double x, double y) const { return q0 + dx * (x - x0) + dy * (y - y0); }
};

Plane MakePlane(const SnappedVertex* p[3], double SnappedVertex::*q, double det) {
  const double x0 = static_cast<double>(p[0]->x) / kSub, y0 = static_cast<double>(p[0]->y) / kSub;
  const double x1 = static_cast<double>(p[1]->x) / kSub - x0;
  const double y1 = static_cast<double>(p[1]->y) / kSub - y0;
  const double x2 = static_cast<double>(p[2]->x) / kSub - x0;
  const double y2 = static_cast<double>(p[2]->y) / kSub - y0;
  const double q1 = p[1]->*q - p[0]->*q;
  const double q2 = p[2]->*q - p[0]->*q;
  Plane plane;
  plane.q0 = p[0]->*q;
  plane.dx = (q1 * y2 - q2 * y1) / det;
  plane.dy = (q2 * x1 - q1 * x2) / det;
  plane.x0 = x0;
  plane.y0 = y0;
  return plane;
}

// floor(value x 65536 + 0.5) clamped to 0 .. hi, NaN to 0. Compared with
// whole numbers, floor(x) > 0 is x >= 1 and floor(x) < hi is x < hi, and
// between them floor is truncation: no floor call is needed.
int64_t ToFixed(double value, int64_t hi) {
  const double x = value * kFix + 0.5;
  if (!(x >= 1.0)) return 0;
  if (!(x < static_cast<double>(hi))) return hi;
  return static_cast<int64_t>(x);
}

bool IsKeyTexel(uint32_t texel, int bytesPerPixel) {
  return bytesPerPixel == 2 ? texel == 0 : (texel & 0x00FFFFFFu) == 0;
}

// Largest texture, in texels, that gets a transposed copy.
constexpr int64_t kMostTransposed = 1024 * 1024;

// Whether every texel is the same, where the texels that are not the key lie,
// and the texels transposed. One pass over the texture, kept in the surface
// until its pixels change.
const TexelSummary& SummaryOf(const Surface& tex) {
  TexelSummary& t = tex.summary;
  if (t.found && t.revision == tex.revision && t.pixels == tex.pixels.data() &&
      t.width == tex.width && t.height == tex.height && t.bytesPerPixel == tex.bytesPerPixel &&
      t.pitch == tex.pitch) {
    return t;
  }
  t.found = true;
  t.revision = tex.revision;
  t.pixels = tex.pixels.data();
  t.width = tex.width;
  t.height = tex.height;
  t.bytesPerPixel = tex.bytesPerPixel;
  t.pitch = tex.pitch;
  t.texel = tex.Pixel(0, 0);
  t.oneTexel = true;
  t.rowFirst.assign(static_cast<size_t>(tex.height), tex.width);
  t.rowLast.assign(static_cast<size_t>(tex.height), -1);
  t.columnFirst.assign(static_cast<size_t>(tex.width), tex.height);
  t.columnLast.assign(static_cast<size_t>(tex.width), -1);
  // The transposed copy for textures up to a few megabytes.
  const size_t bpp = static_cast<size_t>(tex.bytesPerPixel);
  const bool transpose = static_cast<int64_t>(tex.width) * tex.height <= kMostTransposed;
  t.columnPitch = transpose ? TexturePitch(tex.height, tex.bytesPerPixel) : 0;
  t.columns.assign(static_cast<size_t>(t.columnPitch) * static_cast<size_t>(tex.width), 0);
  for (int y = 0; y < tex.height; ++y) {
    for (int x = 0; x < tex.width; ++x) {
      const uint32_t texel = tex.Pixel(x, y);
      if (transpose) {
        std::memcpy(t.columns.data() + static_cast<size_t>(x) * static_cast<size_t>(t.columnPitch) +
                        static_cast<size_t>(y) * bpp,
                    &texel, bpp);
      }
      t.oneTexel = t.oneTexel && texel == t.texel;
      if (IsKeyTexel(texel, tex.bytesPerPixel)) continue;
      const size_t row = static_cast<size_t>(y), column = static_cast<size_t>(x);
      t.rowFirst[row] = std::min(t.rowFirst[row], x);
      t.rowLast[row] = x;
      t.columnFirst[column] = std::min(t.columnFirst[column], y);
      t.columnLast[column] = y;
    }
  }
  return t;
}

// The pixels i = 0 .. count-1 of a span whose value q0 + dq x i falls in
// lo .. hi: [*first, *last], empty when *first > *last.
void PixelsWithin(int64_t q0, int64_t dq, int count, int64_t lo, int64_t hi, int* first,
                  int* last) {
  *first = 0;
  *last = count - 1;
  if (dq == 0) {
    if (q0 < lo || q0 > hi) *first = count;
    return;
  }
  // Moving towards larger values, the span enters at `from` and leaves after
  // `to`; moving the other way, it is the same with the signs turned.
  const int64_t step = dq > 0 ? dq : -dq;
  const int64_t from = dq > 0 ? lo - q0 : q0 - hi;  // first i: ceil(from / step)
  const int64_t to = dq > 0 ? hi - q0 : q0 - lo;    // last i: floor(to / step)
  if (to < 0) {
    *first = count;
    return;
  }
  int64_t enter, leave;
  TwoQuotients(from > 0 ? from + step - 1 : 0, to, step, &enter, &leave);
  *first = static_cast<int>(std::min<int64_t>(enter, count));
  *last = static_cast<int>(std::min<int64_t>(leave, count - 1));
}

// Narrows a span to the pixels whose nearest texel may not be the key: the
// others are never drawn, whatever the blend. Along its longer direction in
// the texture the span passes few rows (or columns) of the other; the key-free
// extents of those bound it. False when no pixel is left.
constexpr int64_t kMostCrossed = 8;

bool SkipKeyedEnds(const TexelSummary& t, SpanSetup& s, int* offset, int* count) {
  const int64_t n = *count - 1;
  const int64_t u0 = s.u >> 16, u1 = (s.u + s.du * n) >> 16;
  const int64_t v0 = s.v >> 16, v1 = (s.v + s.dv * n) >> 16;
  const bool alongRows = std::abs(u1 - u0) >= std::abs(v1 - v0);
  const std::vector<int32_t>& firsts = alongRows ? t.rowFirst : t.columnFirst;
  const std::vector<int32_t>& lasts = alongRows ? t.rowLast : t.columnLast;
  const int64_t across0 = alongRows ? std::min(v0, v1) : std::min(u0, u1);
  const int64_t across1 = alongRows ? std::max(v0, v1) : std::max(u0, u1);
  // A steep span crosses so many that looking costs more than it saves.
  if (across1 - across0 >= kMostCrossed) return true;
  int64_t lo = INT32_MAX, hi = -1;
  for (int64_t k = across0; k <= across1; ++k) {
    lo = std::min<int64_t>(lo, firsts[static_cast<size_t>(k)]);
    hi = std::max<int64_t>(hi, lasts[static_cast<size_t>(k)]);
  }
  if (lo > hi) return false;
  int first, last;
  if (alongRows) {
    PixelsWithin(s.u, s.du, *count, lo * kFix, hi * kFix + (kFix - 1), &first, &last);
  } else {
    PixelsWithin(s.v, s.dv, *count, lo * kFix, hi * kFix + (kFix - 1), &first, &last);
  }
  if (first > last) return false;
  s = FromPixel(s, first);
  *offset = first;
  *count = last - first + 1;
  return true;
}

struct DrawContext {
  Surface* target;
  SpanTexture tex;
  SpanFn span;
  Factor fs, fd;
  bool oneTexel;  // every texel is the same: sample texel (0, 0) without stepping
  const TexelSummary* summary;
};

void DrawTriangle(const DrawContext& ctx, const SnappedVertex& a, const SnappedVertex& b,
                  const SnappedVertex& c) {
  const SnappedVertex* p[3] = {&a, &b, &c};
  // Twice the signed area in 1/256 pixel units; make it positive.
  int64_t area =
      (p[1]->x - p[0]->x) * (p[2]->y - p[0]->y) - (p[1]->y - p[0]->y) * (p[2]->x - p[0]->x);
  if (area == 0) return;
  if (area < 0) {
    std::swap(p[1], p[2]);
    area = -area;
  }

  // Edge i runs from p[i] to p[i+1]; inside is E(x, y) >= bias on every edge.
  // Written as E = k * column + m(row), with columns and rows counted in pixels
  // and evaluated at pixel centres.
  struct Edge {
    int64_t k;     // per column
    int64_t mRow;  // per row
    int64_t m0;    // at row 0
  } edges[3];
  for (int i = 0; i < 3; ++i) {
    const SnappedVertex& s = *p[i];
    const SnappedVertex& e = *p[(i + 1) % 3];
    const int64_t dx = e.x - s.x;
    const int64_t dy = e.y - s.y;
    // Top edges (horizontal, inside below) and left edges (inside to the
    // right) own the pixel centres lying exactly on them; others do not.
    const bool topLeft = dy < 0 || (dy == 0 && dx > 0);
    const int64_t bias = topLeft ? 0 : 1;
    // E(X, Y) = dx (Y - s.y) - dy (X - s.x), X = col * 16 + 8, Y = row * 16 + 8.
    edges[i].k = -dy * kSub;
    edges[i].mRow = dx * kSub;
    edges[i].m0 = dx * (kSub / 2 - s.y) - dy * (kSub / 2 - s.x) - bias;
  }

  const Surface& t = *ctx.target;
  const int64_t minY = std::min({p[0]->y, p[1]->y, p[2]->y});
  const int64_t maxY = std::max({p[0]->y, p[1]->y, p[2]->y});
  const int64_t rowFirst = std::max<int64_t>(0, FloorDiv(minY, kSub));
  const int64_t rowLast = std::min<int64_t>(t.height - 1, FloorDiv(maxY, kSub));
  if (rowFirst > rowLast) return;

  // Each edge bounds the row's columns by floor(m / |k|): from below where
  // k > 0 (as -floor(m / k) = ceil(-m / k)), from above where k < 0. A
  // horizontal edge (k = 0) walks m itself and empties rows where m < 0.
  FloorWalk walks[3] = {
      {edges[0].m0 + edges[0].mRow * rowFirst, edges[0].mRow,
       std::max<int64_t>(1, std::abs(edges[0].k))},
      {edges[1].m0 + edges[1].mRow * rowFirst, edges[1].mRow,
       std::max<int64_t>(1, std::abs(edges[1].k))},
      {edges[2].m0 + edges[2].mRow * rowFirst, edges[2].mRow,
       std::max<int64_t>(1, std::abs(edges[2].k))},
  };

  const double det = static_cast<double>(area) / (kSub * kSub);
  const Plane pu = MakePlane(p, &SnappedVertex::u, det);
  const Plane pv = MakePlane(p, &SnappedVertex::v, det);
  const Plane pa = MakePlane(p, &SnappedVertex::a, det);
  const int64_t uMax = static_cast<int64_t>(ctx.tex.width) * kFix - 1;
  const int64_t vMax = static_cast<int64_t>(ctx.tex.height) * kFix - 1;
  const int64_t aMax = 255 * kFix;
  // One alpha at all three corners is that alpha everywhere.
  const bool flatAlpha = a.a == b.a && b.a == c.a;
  const int64_t alpha = ToFixed(a.a, aMax);

  // Rows are set up a batch at a time and then drawn: setting up one row does
  // not wait for another, so the processor overlaps their divisions, where
  // setting up and drawing row after row would wait on each in turn.
  struct RowSpan {
    uint8_t* dst;
    int count;
    SpanSetup s;
  };
  constexpr int kBatch = 32;
  RowSpan batch[kBatch];
  const int bpp = t.bytesPerPixel;
  for (int64_t first = rowFirst; first <= rowLast; first += kBatch) {
    const int64_t last = std::min<int64_t>(rowLast, first + kBatch - 1);
    int spans = 0;
    for (int64_t row = first; row <= last; ++row) {
      int64_t lo = 0;
      int64_t hi = t.width - 1;
      bool empty = false;
      for (int i = 0; i < 3; ++i) {
        const int64_t q = walks[i].q;
        walks[i].Next();
        if (edges[i].k > 0) {
          lo = std::max(lo, -q);
        } else if (edges[i].k < 0) {
          hi = std::min(hi, q);
        } else if (q < 0) {
          empty = true;
        }
      }
      if (empty || lo > hi) continue;

      const int count = static_cast<int>(hi - lo + 1);
      const double yc = static_cast<double>(row) + 0.5;
      const double x0 = static_cast<double>(lo) + 0.5;
      const double x1 = static_cast<double>(hi) + 0.5;
      // Values at both ends, clamped into the texture, then stepped linearly:
      // every pixel in between stays inside the texture.
      SpanSetup s{};
      if (!ctx.oneTexel) {
        s.u = ToFixed(pu.At(x0, yc), uMax);
        s.v = ToFixed(pv.At(x0, yc), vMax);
        StepsOf(s.u, ToFixed(pu.At(x1, yc), uMax), s.v, ToFixed(pv.At(x1, yc), vMax), count, &s.du,
                &s.dv);
      }
      if (flatAlpha) {
        s.a = alpha;
      } else {
        s.a = ToFixed(pa.At(x0, yc), aMax);
        s.da = StepOf(s.a, ToFixed(pa.At(x1, yc), aMax), count);
      }
      s.fs = ctx.fs;
      s.fd = ctx.fd;
      int offset = 0;
      int drawn = count;
      if (!ctx.oneTexel && !SkipKeyedEnds(*ctx.summary, s, &offset, &drawn)) continue;
      batch[spans++] = {ctx.target->Row(static_cast<int>(row)) + (lo + offset) * bpp, drawn, s};
    }
    for (int k = 0; k < spans; ++k) ctx.span(batch[k].dst, batch[k].count, ctx.tex, batch[k].s);
  }
}

bool SurfaceUsable(const Surface& s) {
  if (s.width <= 0 || s.height <= 0) return false;
  if (s.bytesPerPixel != 2 && s.bytesPerPixel != 4) return false;
  if (s.pitch < s.width * s.bytesPerPixel || s.pitch % s.bytesPerPixel != 0) return false;
  return s.pixels.size() >= static_cast<size_t>(s.pitch) * static_cast<size_t>(s.height);
}

}  // namespace

bool RasterizeQuad(Surface& target, const Surface& texture, const QuadVertex v[4],
                   const QuadDrawState& state) {
  if (!SurfaceUsable(target) || !SurfaceUsable(texture)) return false;
  if (target.bytesPerPixel != texture.bytesPerPixel) return false;
  if (reinterpret_cast<uintptr_t>(target.pixels.data()) % target.bytesPerPixel != 0 ||
      reinterpret_cast<uintptr_t>(texture.pixels.data()) % texture.bytesPerPixel != 0) {
    return false;
  }
  Factor fs, fd;
  if (!FoldFactor(state.srcBlend, &fs) || !FoldFactor(state.dstBlend, &fd)) return false;

  SnappedVertex sv[4];
  bool allZeroAlpha = true;
  bool allFullAlpha = true;
  for (int i = 0; i < 4; ++i) {
    if (!(std::fabs(v[i].x) <= kMaxCoord) || !(std::fabs(v[i].y) <= kMaxCoord)) return false;
    if (!std::isfinite(v[i].u) || !std::isfinite(v[i].v)) return false;
    sv[i].x = std::llrint(static_cast<double>(v[i].x) * kSub);
    sv[i].y = std::llrint(static_cast<double>(v[i].y) * kSub);
    sv[i].u = static_cast<double>(v[i].u) * texture.width;
    sv[i].v = static_cast<double>(v[i].v) * texture.height;
    const uint32_t alpha = v[i].color >> 24;
    sv[i].a = alpha;
    allZeroAlpha = allZeroAlpha && alpha == 0;
    allFullAlpha = allFullAlpha && alpha == 255;
  }

  // Choose the cheapest exact way to combine colours; skip quads that cannot
  // change the target.
  Op op = Op::Generic;
  if (fs == Factor::SrcAlpha && fd == Factor::InvSrcAlpha) {
    if (allZeroAlpha) return false;
    op = allFullAlpha ? Op::Opaque : Op::Blend;
  } else if (fs == Factor::SrcAlpha && fd == Factor::One) {
    if (allZeroAlpha) return false;
    op = allFullAlpha ? Op::AddFull : Op::Add;
  } else if (fs == Factor::One && fd == Factor::Zero) {
    op = Op::Opaque;
  } else if (fs == Factor::One && fd == Factor::One) {
    op = Op::AddFull;
  } else if (fs == Factor::Zero && fd == Factor::One) {
    return false;
  }

  // A texture of one colour (the fade overlay) looks the same wherever it is
  // sampled, filtered or not: texel (0, 0) everywhere gives the same pixels
  // without stepping through the texture. Filtering rebuilds a 32-bit texel
  // without its top byte, so it stays where that byte is set.
  const TexelSummary& summary = SummaryOf(texture);
  const bool oneTexel = summary.oneTexel;
  const uint32_t texel = summary.texel;
  if (oneTexel && IsKeyTexel(texel, texture.bytesPerPixel)) return false;
  const bool bilinear = state.bilinear && !(oneTexel && (texel >> 24) == 0);

  DrawContext ctx;
  ctx.target = &target;
  ctx.tex = SpanTexture{texture.pixels.data(),
                        texture.pitch,
                        texture.width,
                        texture.height,
                        summary.columns.empty() ? nullptr : summary.columns.data(),
                        summary.columnPitch};
  ctx.span = PickSpan(target.bytesPerPixel, bilinear, op);
  ctx.fs = fs;
  ctx.fd = fd;
  ctx.oneTexel = oneTexel;
  ctx.summary = &summary;
  // Triangle strip: (0, 1, 2) then (1, 2, 3).
  DrawTriangle(ctx, sv[0], sv[1], sv[2]);
  DrawTriangle(ctx, sv[1], sv[2], sv[3]);
  return true;
}

bool QuadDrawnBounds(const Surface& texture, const QuadVertex v[4], int* left, int* top, int* right,
                     int* bottom) {
  if (!SurfaceUsable(texture)) return false;
  const TexelSummary& t = SummaryOf(texture);
  int u0 = texture.width, u1 = -1, v0 = texture.height, v1 = -1;
  for (int y = 0; y < texture.height; ++y) {
    const size_t row = static_cast<size_t>(y);
    if (t.rowFirst[row] > t.rowLast[row]) continue;
    v0 = std::min(v0, y);
    v1 = y;
    u0 = std::min(u0, t.rowFirst[row]);
    u1 = std::max(u1, t.rowLast[row]);
  }
  if (v1 < 0) {
    *left = *top = *right = *bottom = 0;
    return true;
  }
  // A pixel is drawn only where its nearest texel is not the key. The box of
  // those texels, two texels wider on every side (and past the texture's
  // edges, where coordinates are clamped), in the vertices' 0..1 units.
  constexpr int kMarginTexels = 2;
  if (u0 == 0 && v0 == 0 && u1 == texture.width - 1 && v1 == texture.height - 1) return false;
  const double w = texture.width, h = texture.height;
  const double boxU[2] = {(u0 - kMarginTexels) / w, (u1 + 1 + kMarginTexels) / w};
  const double boxV[2] = {(v0 - kMarginTexels) / h, (v1 + 1 + kMarginTexels) / h};
  double x0 = 0, x1 = 0, y0 = 0, y1 = 0;
  bool any = false;
  // Each of the two triangles maps the texture affinely; where the box
  // lands in it bounds the pixels it can draw.
  constexpr int kTriangles[2][3] = {{0, 1, 2}, {1, 2, 3}};
  for (const auto& tri : kTriangles) {
    const QuadVertex& a = v[tri[0]];
    const QuadVertex& b = v[tri[1]];
    const QuadVertex& c = v[tri[2]];
    const double du1 = b.u - a.u, dv1 = b.v - a.v, du2 = c.u - a.u, dv2 = c.v - a.v;
    const double det = du1 * dv2 - du2 * dv1;
    if (!(std::fabs(det) > 1e-9)) return false;
    for (double cu : boxU) {
      for (double cv : boxV) {
        const double du = cu - a.u, dv = cv - a.v;
        const double s = (du * dv2 - du2 * dv) / det;
        const double r = (du1 * dv - du * dv1) / det;
        const double x = a.x + s * (b.x - a.x) + r * (c.x - a.x);
        const double y = a.y + s * (b.y - a.y) + r * (c.y - a.y);
        if (!std::isfinite(x) || !std::isfinite(y)) return false;
        x0 = any ? std::min(x0, x) : x;
        x1 = any ? std::max(x1, x) : x;
        y0 = any ? std::min(y0, y) : y;
        y1 = any ? std::max(y1, y) : y;
        any = true;
      }
    }
  }
  constexpr double kMarginPixels = 2.0;
  constexpr double kFar = 1.0e6;
  if (x0 < -kFar || y0 < -kFar || x1 > kFar || y1 > kFar) return false;
  *left = static_cast<int>(std::floor(x0 - kMarginPixels));
  *top = static_cast<int>(std::floor(y0 - kMarginPixels));
  *right = static_cast<int>(std::ceil(x1 + kMarginPixels));
  *bottom = static_cast<int>(std::ceil(y1 + kMarginPixels));
  return true;
}

bool QuadAddsTexels(const QuadVertex v[4], const QuadDrawState& state) {
  Factor fs, fd;
  if (!FoldFactor(state.srcBlend, &fs) || !FoldFactor(state.dstBlend, &fd)) return false;
  if (fd != Factor::One) return false;
  if (fs == Factor::One) return true;
  if (fs != Factor::SrcAlpha) return false;
  for (int i = 0; i < 4; ++i) {
    if ((v[i].color >> 24) != 255) return false;
  }
  return true;
}

namespace {

// to[i] = from[i] + under[i], each channel saturated; under is to itself, or
// one colour everywhere when kOnColour.
template <bool kOnColour>
void AddSaturatedRow(uint8_t* to, const uint8_t* from, uint32_t colour, int count,
                     int bytesPerPixel) {
  int i = 0;
  if (bytesPerPixel == 4) {
    auto* d = reinterpret_cast<uint32_t*>(to);
    const auto* s = reinterpret_cast<const uint32_t*>(from);
#if defined(__SSE2__)
    const __m128i c = _mm_set1_epi32(static_cast<int>(colour));
    for (; i + 4 <= count; i += 4) {
      __m128i* where = reinterpret_cast<__m128i*>(d + i);
      const __m128i under = kOnColour ? c : _mm_loadu_si128(where);
      _mm_storeu_si128(
          where, _mm_adds_epu8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i)), under));
    }
#endif
    for (; i < count; ++i) d[i] = Format32::AddSat(s[i], kOnColour ? colour : d[i]);
  } else if (bytesPerPixel == 2) {
    auto* d = reinterpret_cast<uint16_t*>(to);
    const auto* s = reinterpret_cast<const uint16_t*>(from);
    const auto c16 = static_cast<uint16_t>(colour);
#if defined(__SSE2__)
    const __m128i m5 = _mm_set1_epi16(31), m6 = _mm_set1_epi16(63);
    const __m128i c = _mm_set1_epi16(static_cast<int16_t>(c16));
    for (; i + 8 <= count; i += 8) {
      __m128i* where = reinterpret_cast<__m128i*>(d + i);
      const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
      const __m128i b = kOnColour ? c : _mm_loadu_si128(where);
      const __m128i r =
          _mm_min_epi16(_mm_add_epi16(_mm_srli_epi16(a, 11), _mm_srli_epi16(b, 11)), m5);
      const __m128i g = _mm_min_epi16(_mm_add_epi16(_mm_and_si128(_mm_srli_epi16(a, 5), m6),
                                                    _mm_and_si128(_mm_srli_epi16(b, 5), m6)),
                                      m6);
      const __m128i bl =
          _mm_min_epi16(_mm_add_epi16(_mm_and_si128(a, m5), _mm_and_si128(b, m5)), m5);
      _mm_storeu_si128(where,
                       _mm_or_si128(_mm_or_si128(_mm_slli_epi16(r, 11), _mm_slli_epi16(g, 5)), bl));
    }
#endif
    for (; i < count; ++i) d[i] = Format16::AddSat(s[i], kOnColour ? c16 : d[i]);
  }
}

}  // namespace

void AddPixelsSaturated(uint8_t* to, const uint8_t* from, int count, int bytesPerPixel) {
  AddSaturatedRow<false>(to, from, 0, count, bytesPerPixel);
}

void AddPixelsToColour(uint8_t* to, const uint8_t* from, uint32_t colour, int count,
                       int bytesPerPixel) {
  AddSaturatedRow<true>(to, from, colour, count, bytesPerPixel);
}

void RasterizerUseWideKernels(bool use) {
#if defined(__SSE2__)
  WideAllowed() = use;
#else
  (void)use;
#endif
}

// --- Quad shapes --------------------------------------------------------------

QuadShape QuadShapeMake(int width, int height) {
  QuadShape shape;
  const float tu[4] = {0.0f, 1.0f, 0.0f, 1.0f};
  const float tv[4] = {0.0f, 0.0f, 1.0f, 1.0f};
  for (int i = 0; i < 4; ++i) {
    shape.v[i].u = tu[i];
    shape.v[i].v = tv[i];
  }
  QuadShapeZoom(shape, width, height);
  return shape;
}

void QuadShapeZoom(QuadShape& shape, int width, int height) {
  shape.width = static_cast<int16_t>(width);
  shape.height = static_cast<int16_t>(height);
  const float w = shape.width;
  const float h = shape.height;
  shape.v[0].x = 0.0f, shape.v[0].y = 0.0f;
  shape.v[1].x = w, shape.v[1].y = 0.0f;
  shape.v[2].x = 0.0f, shape.v[2].y = h;
  shape.v[3].x = w, shape.v[3].y = h;
}

void QuadShapeRotate(QuadShape& shape, int angle, int mode) {
  const int cx = shape.width / 2;
  const int cy = shape.height / 2;
  int32_t turn = angle;
  if (mode != 0) {
    // Wraps like the 32-bit sum it is rather than overflowing.
    turn = static_cast<int32_t>(
        static_cast<uint32_t>(static_cast<int64_t>(angle) + shape.angle % 360));
    shape.angle = static_cast<int16_t>(turn);
  } else {
    shape.angle = 0;
  }
  // The step constants are deliberately the rounded ones (0.0175 per degree,
  // 1.575 per corner): existing headings are tuned to the slightly skewed
  // result, so it must stay exactly as it is.
  float a = static_cast<float>(0.0175 * static_cast<double>(turn));
  static constexpr int kOrder[4] = {0, 1, 3, 2};
  for (int k = 0; k < 4; ++k) {
    if (k > 0) a = static_cast<float>(static_cast<double>(a) + 1.575);
    const double c = std::cos(static_cast<double>(a));
    const double s = std::sin(static_cast<double>(a));
    QuadVertex& vert = shape.v[kOrder[k]];
    vert.x = static_cast<float>(cx + cx * c + cy * s);
    vert.y = static_cast<float>(cy + cx * s - cy * c);
  }
}

void QuadShapeTransform(QuadShape& shape, float x1, float y1, float x2, float y2, float x3,
                        float y3, float x4, float y4) {
  shape.v[0].x = x1, shape.v[0].y = y1;
  shape.v[1].x = x2, shape.v[1].y = y2;
  shape.v[3].x = x3, shape.v[3].y = y3;
  shape.v[2].x = x4, shape.v[2].y = y4;
}

void QuadShapePlace(const QuadShape& shape, int x, int y, int alpha, QuadVertex out[4]) {
  const float fx = static_cast<float>(x);
  const float fy = static_cast<float>(y);
  const uint32_t mask = (static_cast<uint32_t>(alpha) << 24) | 0x00FFFFFFu;
  for (int i = 0; i < 4; ++i) {
    out[i] = shape.v[i];
    out[i].x += fx;
    out[i].y += fy;
    out[i].color &= mask;
  }
}

}  // namespace media
