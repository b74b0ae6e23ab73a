// Textured quads: shape geometry, the rasteriser's coverage, sampling and
// blending, and the 3D sprite operations on a headless screen.

#include "media/quad3d.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <functional>
#include <random>
#include <vector>

#include "media/display.h"
#include "media/draw.h"
#include "media/rasterizer.h"
#include "media/sprites.h"
#include "media/surface.h"
#include "platform/headless.h"

namespace {

using media::QuadDrawState;
using media::QuadShape;
using media::QuadVertex;
using media::Surface;

struct Rgb {
  int r, g, b;
  bool operator==(const Rgb& o) const { return r == o.r && g == o.g && b == o.b; }
};

std::ostream& operator<<(std::ostream& os, const Rgb& c) {
  return os << "(" << c.r << "," << c.g << "," << c.b << ")";
}

uint32_t Encode(int bpp, Rgb c) {
  if (bpp == 2) return static_cast<uint32_t>(((c.r / 8) << 11) | ((c.g / 4) << 5) | (c.b / 8));
  return static_cast<uint32_t>(c.b | (c.g << 8) | (c.r << 16));
}

Surface MakeSurface(int w, int h, int bpp, const std::function<Rgb(int, int)>& fill) {
  Surface s;
  s.width = w;
  s.height = h;
  s.bytesPerPixel = bpp;
  s.pitch = w * bpp;
  s.pixels.assign(static_cast<size_t>(s.pitch) * h, 0);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const uint32_t p = Encode(bpp, fill(x, y));
      std::memcpy(s.Row(y) + x * bpp, &p, static_cast<size_t>(bpp));
    }
  }
  return s;
}

Surface Solid(int w, int h, int bpp, Rgb c) {
  return MakeSurface(w, h, bpp, [c](int, int) { return c; });
}

uint32_t Raw(const Surface& s, int x, int y) {
  return s.Pixel(x, y);
}

Rgb At(const Surface& s, int x, int y) {
  const uint32_t p = Raw(s, x, y);
  if (s.bytesPerPixel == 2) {
    const int r = (p >> 11) & 31, g = (p >> 5) & 63, b = p & 31;
    return {(r << 3) | (r >> 2), (g << 2) | (g >> 4), (b << 3) | (b >> 2)};
  }
  return {static_cast<int>((p >> 16) & 255), static_cast<int>((p >> 8) & 255),
          static_cast<int>(p & 255)};
}

void Draw(Surface& target, const Surface& tex, const QuadShape& shape, int x, int y, int alpha,
          int src = 5, int dst = 6, bool bilinear = false) {
  QuadVertex v[4];
  media::QuadShapePlace(shape, x, y, alpha, v);
  QuadDrawState st;
  st.srcBlend = src;
  st.dstBlend = dst;
  st.bilinear = bilinear;
  media::RasterizeQuad(target, tex, v, st);
}

QuadShape Transformed(float x1, float y1, float x2, float y2, float x3, float y3, float x4,
                      float y4) {
  QuadShape s = media::QuadShapeMake(64, 64);
  media::QuadShapeTransform(s, x1, y1, x2, y2, x3, y3, x4, y4);
  return s;
}

int Round255(int t) {
  return (2 * t + 255) / 510;
}

// --- Shapes -------------------------------------------------------------------

TEST(QuadShapeTest, RotationCornersAtZeroAnd270) {
  // The rounded constants put successive corners 90.24 degrees apart, so the
  // corners drift by up to most of a pixel, never a whole one.
  QuadShape s = media::QuadShapeMake(64, 64);
  media::QuadShapeRotate(s, 270, 0);
  const float expect[4][2] = {{0, 0}, {64, 0}, {0, 64}, {64, 64}};
  for (int i = 0; i < 4; ++i) {
    EXPECT_NEAR(s.v[i].x, expect[i][0], 1.0) << "vertex " << i;
    EXPECT_NEAR(s.v[i].y, expect[i][1], 1.0) << "vertex " << i;
  }
  // Not exactly upright: the rounded constants skew it slightly.
  EXPECT_GT(std::fabs(s.v[0].x - 0.0f), 0.1f);

  media::QuadShapeRotate(s, 0, 0);
  // The texture's top-left lands at the top-right: a quarter turn clockwise.
  EXPECT_FLOAT_EQ(s.v[0].x, 64.0f);
  EXPECT_FLOAT_EQ(s.v[0].y, 0.0f);
  EXPECT_NEAR(s.v[1].x, 64.0f, 1.0);
  EXPECT_NEAR(s.v[1].y, 64.0f, 1.0);
  EXPECT_NEAR(s.v[3].x, 0.0f, 1.0);
  EXPECT_NEAR(s.v[3].y, 64.0f, 1.0);
  EXPECT_NEAR(s.v[2].x, 0.0f, 1.0);
  EXPECT_NEAR(s.v[2].y, 0.0f, 1.0);
}

TEST(QuadShapeTest, RotationUsesTheRoundedConstantsInFloat) {
  // The centre is half the size in whole pixels, rounded toward zero.
  for (auto [w, h, cx, cy] : {std::array{64, 32, 32, 16}, std::array{63, 31, 31, 15}}) {
    QuadShape s = media::QuadShapeMake(w, h);
    media::QuadShapeRotate(s, 37, 0);
    float a = static_cast<float>(0.0175 * 37);
    const int order[4] = {0, 1, 3, 2};
    for (int k = 0; k < 4; ++k) {
      if (k > 0) a = static_cast<float>(static_cast<double>(a) + 1.575);
      const double c = std::cos(static_cast<double>(a)), sn = std::sin(static_cast<double>(a));
      EXPECT_EQ(s.v[order[k]].x, static_cast<float>(cx + cx * c + cy * sn)) << w;
      EXPECT_EQ(s.v[order[k]].y, static_cast<float>(cy + cx * sn - cy * c)) << w;
    }
  }
}

TEST(QuadShapeTest, RelativeRotationAccumulatesAndAbsoluteResets) {
  QuadShape s = media::QuadShapeMake(64, 64);
  QuadShape ref = media::QuadShapeMake(64, 64);
  for (int expected : {10, 20, 30}) {
    media::QuadShapeRotate(s, 10, 1);
    EXPECT_EQ(s.angle, expected);
  }
  media::QuadShapeRotate(ref, 30, 0);
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(s.v[i].x, ref.v[i].x);
    EXPECT_EQ(s.v[i].y, ref.v[i].y);
  }
  media::QuadShapeRotate(s, 45, 0);
  EXPECT_EQ(s.angle, 0);
  media::QuadShapeRotate(s, 10, 1);
  EXPECT_EQ(s.angle, 10);
  // The stored angle is folded below one turn (keeping its sign) before adding.
  s.angle = -370;
  media::QuadShapeRotate(s, 5, 1);
  EXPECT_EQ(s.angle, -5);
}

TEST(QuadShapeTest, ZoomUndoesRotationTransformIsReplacedByRotation) {
  QuadShape s = media::QuadShapeMake(64, 64);
  media::QuadShapeRotate(s, 40, 1);
  media::QuadShapeZoom(s, 20, 30);
  EXPECT_EQ(s.angle, 40);
  const float expect[4][2] = {{0, 0}, {20, 0}, {0, 30}, {20, 30}};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(s.v[i].x, expect[i][0]);
    EXPECT_EQ(s.v[i].y, expect[i][1]);
  }
  media::QuadShapeTransform(s, 1, 2, 3, 4, 5, 6, 7, 8);
  // Clockwise corners map to strip order 0, 1, 3, 2.
  EXPECT_EQ(s.v[1].x, 3);
  EXPECT_EQ(s.v[3].x, 5);
  EXPECT_EQ(s.v[2].x, 7);
  media::QuadShapeRotate(s, 0, 0);
  EXPECT_FLOAT_EQ(s.v[0].x, 20.0f);  // cx + cx with width 20
}

TEST(QuadShapeTest, PlaceMovesCornersAndKeepsLowAlphaByte) {
  QuadShape s = media::QuadShapeMake(8, 8);
  QuadVertex v[4];
  media::QuadShapePlace(s, -3, 5, 0x1C8, v);
  EXPECT_EQ(v[3].x, 5.0f);
  EXPECT_EQ(v[3].y, 13.0f);
  EXPECT_EQ(v[0].color, 0xC8FFFFFFu);
}

// --- Rasteriser -----------------------------------------------------------------

class QuadRasterTest : public ::testing::TestWithParam<int> {};

TEST_P(QuadRasterTest, FullScreenFadeCoversEveryPixel) {
  const int bpp = GetParam();
  Surface screen = Solid(800, 600, bpp, {170, 200, 255});
  const Surface tex = Solid(64, 64, bpp, {8, 8, 8});
  const QuadShape fade = Transformed(0, 0, 860, 0, 860, 660, 0, 660);
  Draw(screen, tex, fade, -30, -30, 255);
  const uint32_t want = Encode(bpp, {8, 8, 8});
  int wrong = 0;
  for (int y = 0; y < 600; ++y)
    for (int x = 0; x < 800; ++x) wrong += Raw(screen, x, y) != want;
  EXPECT_EQ(wrong, 0);

  // Half way: every pixel gets the same blend of sky and overlay.
  Surface sky = Solid(800, 600, bpp, {170, 200, 255});
  Draw(sky, tex, fade, -30, -30, 128);
  const uint32_t first = Raw(sky, 0, 0);
  wrong = 0;
  for (int y = 0; y < 600; ++y)
    for (int x = 0; x < 800; ++x) wrong += Raw(sky, x, y) != first;
  EXPECT_EQ(wrong, 0);
  if (bpp == 4) {
    EXPECT_EQ(At(sky, 0, 0), (Rgb{Round255(170 * 127 + 8 * 128), Round255(200 * 127 + 8 * 128),
                                  Round255(255 * 127 + 8 * 128)}));
  }
}

TEST_P(QuadRasterTest, OneToOneMappingCopiesTexelsAndSkipsKey) {
  const int bpp = GetParam();
  // Distinct texels, black on a checker of 4 x 4 cells.
  auto texel = [](int x, int y) -> Rgb {
    if (((x / 4) + (y / 4)) % 2 == 0) return {0, 0, 0};
    return {8 + x * 3, 4 * y, 255 - x * 2};
  };
  const Surface tex = MakeSurface(64, 64, bpp, texel);
  const Rgb under{50, 60, 70};
  for (bool bilinear : {false, true}) {
    Surface screen = Solid(100, 90, bpp, under);
    Draw(screen, tex, media::QuadShapeMake(64, 64), 20, 10, 255, 5, 6, bilinear);
    for (int y = 0; y < 90; ++y) {
      for (int x = 0; x < 100; ++x) {
        const bool inside = x >= 20 && x < 84 && y >= 10 && y < 74;
        const Rgb want = inside && !(texel(x - 20, y - 10) == Rgb{0, 0, 0})
                             ? At(tex, x - 20, y - 10)
                             : At(Solid(1, 1, bpp, under), 0, 0);
        ASSERT_EQ(At(screen, x, y), want) << x << "," << y << " bilinear " << bilinear;
      }
    }
  }
}

TEST_P(QuadRasterTest, AlphaZeroDrawsNothing) {
  const int bpp = GetParam();
  const Surface tex = Solid(16, 16, bpp, {255, 255, 255});
  for (auto [src, dst] : {std::pair{5, 6}, std::pair{5, 7}}) {
    Surface screen = Solid(40, 40, bpp, {30, 90, 150});
    const Surface before = screen;
    Draw(screen, tex, media::QuadShapeMake(16, 16), 4, 4, 0, src, dst);
    Draw(screen, tex, media::QuadShapeMake(16, 16), 4, 4, 256, src, dst);  // low byte 0
    EXPECT_EQ(screen.pixels, before.pixels) << src << "," << dst;
  }
}

// Each edge: the quad hangs over it; compare the visible part with the same
// quad drawn on a canvas large enough to hold it whole.
TEST_P(QuadRasterTest, ClipsAtEveryEdgeLikeAnUnclippedDraw) {
  const int bpp = GetParam();
  const Surface tex = MakeSurface(32, 32, bpp, [](int x, int y) { return Rgb{x * 8, y * 8, 200}; });
  QuadShape shape = media::QuadShapeMake(48, 40);
  media::QuadShapeRotate(shape, 33, 0);
  const int pad = 100;
  const int positions[][2] = {{-20, 10}, {40, 5}, {10, -25}, {12, 30}, {-30, -30}, {50, 40}};
  for (const auto& pos : positions) {
    Surface screen = Solid(70, 60, bpp, {1, 2, 3});
    Surface canvas = Solid(70 + 2 * pad, 60 + 2 * pad, bpp, {1, 2, 3});
    Draw(screen, tex, shape, pos[0], pos[1], 200);
    Draw(canvas, tex, shape, pos[0] + pad, pos[1] + pad, 200);
    for (int y = 0; y < 60; ++y)
      for (int x = 0; x < 70; ++x)
        ASSERT_EQ(Raw(screen, x, y), Raw(canvas, x + pad, y + pad)) << pos[0] << "," << pos[1];
  }
  // Entirely outside, and absurd coordinates: nothing drawn, nothing touched.
  Surface screen = Solid(70, 60, bpp, {1, 2, 3});
  const Surface before = screen;
  Draw(screen, tex, shape, 500, 500, 255);
  Draw(screen, tex, Transformed(-1e30f, 0, 1e30f, 0, 1e30f, 1e30f, NAN, 1e30f), 0, 0, 255);
  EXPECT_EQ(screen.pixels, before.pixels);
}

// Random quads for comparing two ways of drawing: placed anywhere (clipped or
// not, some covering the whole target as the fade overlay does), turned or
// not, at one alpha or per-vertex alphas.
QuadShape RandomShape(std::mt19937& rng, int w, int h) {
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  QuadShape shape = media::QuadShapeMake(pick(1, 2 * w), pick(1, 2 * h));
  if (pick(0, 3) == 0) {
    media::QuadShapeTransform(shape, -30, -30, w + 30.0f, -30, w + 30.0f, h + 30.0f, -30,
                              h + 30.0f);
  } else if (pick(0, 1) == 0) {
    media::QuadShapeRotate(shape, pick(0, 359), 0);
  }
  return shape;
}

void RandomPlace(std::mt19937& rng, const QuadShape& shape, int w, int h, QuadVertex v[4]) {
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  const bool whole = shape.v[0].x < 0;
  media::QuadShapePlace(shape, whole ? 0 : pick(-w, w), whole ? 0 : pick(-h, h), pick(1, 255), v);
  if (pick(0, 3) == 0) {
    for (int i = 0; i < 4; ++i) v[i].color = (v[i].color & 0x00FFFFFFu) | (rng() << 24);
  }
}

// Whether the quad drawn over copies of `screen` from texture a and from
// texture b gives the same pixels.
bool SameDrawing(const Surface& screen, const Surface& a, const Surface& b, const QuadVertex v[4],
                 const QuadDrawState& st) {
  Surface first = screen, second = screen;
  media::RasterizeQuad(first, a, v, st);
  media::RasterizeQuad(second, b, v, st);
  return first.pixels == second.pixels;
}

// A one-coloured texture is drawn without stepping through it; it must give
// what a texture showing the same colour everywhere it is sampled gives: the
// second texture differs only in texels the quad's coordinates never reach.
TEST_P(QuadRasterTest, OneColourTexturesDrawLikeAnyOtherTexture) {
  const int bpp = GetParam();
  std::mt19937 rng(7);
  const Rgb colour{90, 140, 200};
  const Surface one = Solid(16, 16, bpp, colour);
  const Surface other = MakeSurface(16, 16, bpp, [&](int x, int) {
    return x < 8 ? colour : Rgb{static_cast<int>(rng() % 256), 77, 1};
  });
  const int modes[][2] = {{5, 6}, {5, 7}, {2, 1}, {2, 2}, {3, 4}};
  for (int round = 0; round < 300; ++round) {
    Surface screen = MakeSurface(67, 45, bpp, [&](int, int) {
      return Rgb{static_cast<int>(rng() % 256), static_cast<int>(rng() % 256), 50};
    });
    QuadVertex v[4];
    RandomPlace(rng, RandomShape(rng, 67, 45), 67, 45, v);
    for (QuadVertex& corner : v) corner.u *= 0.25f;  // left quarter only
    QuadDrawState st;
    st.srcBlend = modes[round % 5][0];
    st.dstBlend = modes[round % 5][1];
    st.bilinear = round % 2 == 1;
    ASSERT_TRUE(SameDrawing(screen, one, other, v, st)) << "round " << round;
  }
}

// On processors with AVX2 the fade is blended thirty-two bytes at a time; it
// must give what the narrower blend gives, at every alpha and row length.
TEST_P(QuadRasterTest, WideOneColourBlendMatchesTheNarrowOne) {
  const int bpp = GetParam();
  std::mt19937 rng(17);
  const Surface fade = Solid(16, 16, bpp, {8, 8, 8});
  for (int round = 0; round < 120; ++round) {
    const int w = 1 + static_cast<int>(rng() % 90), h = 1 + static_cast<int>(rng() % 8);
    Surface wide = MakeSurface(w, h, bpp, [&](int, int) {
      return Rgb{static_cast<int>(rng() % 256), static_cast<int>(rng() % 256),
                 static_cast<int>(rng() % 256)};
    });
    Surface narrow = wide;
    QuadShape shape = media::QuadShapeMake(16, 16);
    media::QuadShapeTransform(shape, -5, -5, w + 5.0f, -5, w + 5.0f, h + 5.0f, -5, h + 5.0f);
    const int alpha = static_cast<int>(rng() % 256);
    Draw(wide, fade, shape, 0, 0, alpha);
    media::RasterizerUseWideKernels(false);
    Draw(narrow, fade, shape, 0, 0, alpha);
    media::RasterizerUseWideKernels(true);
    ASSERT_EQ(wide.pixels, narrow.pixels) << "round " << round << " alpha " << alpha;
  }
}

// Texels fetched four or eight at a time (opaque drawing) against texels
// fetched one by one (the general blend, here source colour times itself).
TEST_P(QuadRasterTest, TexelsFetchedSideBySideMatchOneByOne) {
  const int bpp = GetParam();
  std::mt19937 rng(11);
  const Surface tex = MakeSurface(37, 29, bpp, [&](int, int) {
    return rng() % 4 == 0 ? Rgb{0, 0, 0} : Rgb{static_cast<int>(rng() % 256), 128, 40};
  });
  for (int round = 0; round < 300; ++round) {
    Surface opaque = Solid(90, 70, bpp, {0, 0, 0});
    Surface squared = opaque;
    QuadVertex v[4];
    QuadShape shape = RandomShape(rng, 90, 70);
    if (round % 3 == 0) {
      // Near a quarter turn at about the texture's own size: runs of
      // neighbouring texels along its rows or columns, either way round.
      auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
      shape = media::QuadShapeMake(pick(25, 60), pick(20, 50));
      media::QuadShapeRotate(shape, (90 * pick(0, 3) + pick(-3, 3) + 360) % 360, 0);
    }
    RandomPlace(rng, shape, 90, 70, v);
    for (QuadVertex& corner : v) corner.color |= 0xFF000000u;
    QuadDrawState st;
    media::RasterizeQuad(opaque, tex, v, st);
    st.srcBlend = 3;
    st.dstBlend = 1;
    media::RasterizeQuad(squared, tex, v, st);
    for (int y = 0; y < 70; ++y)
      for (int x = 0; x < 90; ++x) {
        const Rgb c = At(opaque, x, y);
        const Rgb want{Round255(c.r * c.r), Round255(c.g * c.g), Round255(c.b * c.b)};
        ASSERT_EQ(Raw(squared, x, y), Encode(bpp, want)) << x << "," << y << " round " << round;
      }
  }
}

// Texture rows a multiple of 256 bytes long are stored a little further apart
// so that reading down a column stays cached. Quads turned by about a quarter
// turn read that way; they must draw exactly as from rows stored back to back,
// and the bytes past the end of each row must never show.
TEST_P(QuadRasterTest, PaddedTextureRowsDrawLikeRowsBackToBack) {
  const int bpp = GetParam();
  std::mt19937 rng(23);
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  const Surface tight = MakeSurface(128, 96, bpp, [&](int, int) {
    return rng() % 8 == 0 ? Rgb{0, 0, 0}
                          : Rgb{static_cast<int>(rng() % 256), static_cast<int>(rng() % 256), 90};
  });
  Surface padded = tight;
  padded.pitch = media::TexturePitch(tight.width, bpp);
  ASSERT_GT(padded.pitch, tight.pitch);
  padded.pixels.assign(static_cast<size_t>(padded.pitch) * tight.height, 0xA5);  // never read
  for (int y = 0; y < tight.height; ++y) {
    std::memcpy(padded.Row(y), tight.Row(y), static_cast<size_t>(tight.pitch));
  }
  const int modes[][2] = {{5, 6}, {5, 7}, {2, 1}, {2, 2}, {3, 4}};
  for (int round = 0; round < 160; ++round) {
    Surface screen = MakeSurface(150, 110, bpp, [&](int, int) {
      return Rgb{static_cast<int>(rng() % 256), 60, static_cast<int>(rng() % 256)};
    });
    QuadShape shape = media::QuadShapeMake(pick(20, 300), pick(20, 240));
    // Rotation 0 and 180 show the texture on its side (columns along screen
    // rows); 90 and 270 show it upright.
    const int turn = 90 * (round % 4) + pick(-4, 4);
    media::QuadShapeRotate(shape, (turn + 360) % 360, 0);
    QuadVertex v[4];
    media::QuadShapePlace(shape, pick(-150, 150), pick(-110, 110), pick(1, 255), v);
    if (pick(0, 2) == 0) {
      for (QuadVertex& corner : v) corner.color = (corner.color & 0x00FFFFFFu) | (rng() << 24);
    }
    QuadDrawState st;
    st.srcBlend = modes[round % 5][0];
    st.dstBlend = modes[round % 5][1];
    st.bilinear = (round / 4) % 2 == 1;
    ASSERT_TRUE(SameDrawing(screen, padded, tight, v, st)) << "round " << round;
  }
}

// Stretches of key at the ends of a span are passed over without looking at
// their texels. Drawn with the key (a) and with the key painted in a colour
// of its own (b), every pixel must either match b or, where b shows the key's
// colour, still hold what was there before.
TEST_P(QuadRasterTest, KeyedStretchesAreSkippedExactly) {
  const int bpp = GetParam();
  std::mt19937 rng(31);
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  const Rgb marker{255, 255, 255};
  const int modes[][2] = {{5, 6}, {5, 7}, {2, 1}, {3, 4}};
  for (int round = 0; round < 240; ++round) {
    if (round % 40 == 0) rng.seed(static_cast<unsigned>(round));
    // Keyed borders of different depths per row and column, and keyed holes.
    const int w = pick(8, 70), h = pick(8, 70);
    const int holeX = pick(0, w), holeY = pick(0, h), holeSize = pick(0, 12);
    std::vector<int> rowEdge(static_cast<size_t>(h)), columnEdge(static_cast<size_t>(w));
    for (int& e : rowEdge) e = pick(0, w / 2);
    for (int& e : columnEdge) e = pick(0, h);
    auto keyed = [&](int x, int y) {
      return x < rowEdge[static_cast<size_t>(y)] || y >= columnEdge[static_cast<size_t>(x)] ||
             (std::abs(x - holeX) < holeSize && std::abs(y - holeY) < holeSize);
    };
    auto texel = [&](int x, int y) { return Rgb{(x * 37 + y) % 200 + 8, 90, (y * 11) % 240}; };
    const Surface withKey = MakeSurface(w, h, bpp, [&](int x, int y) {
      return keyed(x, y) ? Rgb{0, 0, 0} : texel(x, y);
    });
    const Surface marked =
        MakeSurface(w, h, bpp, [&](int x, int y) { return keyed(x, y) ? marker : texel(x, y); });
    QuadShape shape = media::QuadShapeMake(pick(4, 160), pick(4, 120));
    // Mostly near a quarter turn, where spans run along texel rows or columns.
    media::QuadShapeRotate(
        shape, round % 5 == 4 ? pick(0, 359) : (90 * pick(0, 3) + pick(-3, 3) + 360) % 360, 0);
    QuadVertex v[4];
    media::QuadShapePlace(shape, pick(-60, 100), pick(-60, 80), pick(1, 255), v);
    if (round % 3 == 0) {
      for (QuadVertex& corner : v) corner.color = (corner.color & 0x00FFFFFFu) | (rng() << 24);
    }
    QuadDrawState st;
    st.srcBlend = modes[round % 4][0];
    st.dstBlend = modes[round % 4][1];
    const Surface before = MakeSurface(120, 90, bpp, [&](int, int) {
      return Rgb{static_cast<int>(rng() % 256), 60, static_cast<int>(rng() % 256)};
    });
    Surface a = before, b = before, where = Solid(120, 90, bpp, {0, 0, 0});
    media::RasterizeQuad(a, withKey, v, st);
    media::RasterizeQuad(b, marked, v, st);
    QuadDrawState opaque;
    opaque.srcBlend = 2;
    opaque.dstBlend = 1;
    media::RasterizeQuad(where, marked, v, opaque);
    for (int y = 0; y < 90; ++y)
      for (int x = 0; x < 120; ++x) {
        const uint32_t want = At(where, x, y) == marker ? Raw(before, x, y) : Raw(b, x, y);
        ASSERT_EQ(Raw(a, x, y), want) << x << "," << y << " round " << round;
      }
  }
}

std::string DepthName(const ::testing::TestParamInfo<int>& p) {
  return p.param == 2 ? "16bit" : "32bit";
}
INSTANTIATE_TEST_SUITE_P(Depths, QuadRasterTest, ::testing::Values(2, 4), DepthName);

TEST(QuadBlendTest, KnownColoursForSourceAlphaModes) {
  const Surface tex = Solid(8, 8, 4, {200, 100, 40});
  const Rgb under{10, 180, 250};
  const int a = 96;
  Surface screen = Solid(8, 8, 4, under);
  Draw(screen, tex, media::QuadShapeMake(8, 8), 0, 0, a, 5, 6);
  EXPECT_EQ(At(screen, 3, 3),
            (Rgb{Round255(200 * a + 10 * (255 - a)), Round255(100 * a + 180 * (255 - a)),
                 Round255(40 * a + 250 * (255 - a))}));
  // Destination alpha acts as 1: the scaled source is added and saturates.
  screen = Solid(8, 8, 4, under);
  Draw(screen, tex, media::QuadShapeMake(8, 8), 0, 0, a, 5, 7);
  EXPECT_EQ(At(screen, 3, 3), (Rgb{10 + Round255(200 * a), std::min(255, 180 + Round255(100 * a)),
                                   std::min(255, 250 + Round255(40 * a))}));
  screen = Solid(8, 8, 4, under);
  Draw(screen, tex, media::QuadShapeMake(8, 8), 0, 0, 255, 5, 7);
  EXPECT_EQ(At(screen, 0, 0), (Rgb{210, 255, 255}));
}

// 16-bit screens blend in their own 5-6-5 channels with alpha in 32nds. The
// quad is 21 pixels wide so that wide and single-pixel paths both run.
TEST(QuadBlendTest, KnownColoursOn16BitScreens) {
  const Surface tex = Solid(21, 3, 2, {200, 100, 40});  // 5-6-5: 25, 25, 5
  const Rgb under{248, 180, 248};                       // 5-6-5: 31, 45, 31
  auto expand = [](int v, int bits) {
    return bits == 5 ? (v << 3) | (v >> 2) : (v << 2) | (v >> 4);
  };
  for (auto [src, dst] : {std::pair{5, 6}, std::pair{5, 7}}) {
    Surface screen = Solid(21, 3, 2, under);
    Draw(screen, tex, media::QuadShapeMake(21, 3), 0, 0, 130, src, dst);  // 130 -> 16/32
    const int a5 = 16;
    Rgb want;
    if (dst == 6) {
      want = {expand((25 * a5 + 31 * (32 - a5)) >> 5, 5),
              expand((25 * a5 + 45 * (32 - a5)) >> 5, 6),
              expand((5 * a5 + 31 * (32 - a5)) >> 5, 5)};
    } else {
      want = {expand(std::min(31, 31 + ((25 * a5) >> 5)), 5),
              expand(std::min(63, 45 + ((25 * a5) >> 5)), 6),
              expand(std::min(31, 31 + ((5 * a5) >> 5)), 5)};
    }
    for (int y = 0; y < 3; ++y)
      for (int x = 0; x < 21; ++x) ASSERT_EQ(At(screen, x, y), want) << x << "," << y << " " << dst;
  }
}

TEST(QuadBlendTest, ColourFactorsAndFoldedDestinationAlpha) {
  const Surface tex = Solid(4, 4, 4, {200, 100, 40});
  const Rgb under{10, 180, 250};
  auto blend = [&](int src, int dst) {
    Surface screen = Solid(4, 4, 4, under);
    Draw(screen, tex, media::QuadShapeMake(4, 4), 0, 0, 128, src, dst);
    return At(screen, 1, 1);
  };
  // Source times destination colour (modulate).
  EXPECT_EQ(blend(9, 1), (Rgb{Round255(200 * 10), Round255(100 * 180), Round255(40 * 250)}));
  // Inverse destination alpha is 0, saturated source alpha is 0: nothing left.
  EXPECT_EQ(blend(11, 8), (Rgb{0, 0, 0}));
  // Source colour as its own factor plus the destination scaled by the inverse source colour.
  EXPECT_EQ(blend(3, 4), (Rgb{Round255(200 * 200 + 10 * 55), Round255(100 * 100 + 180 * 155),
                              Round255(40 * 40 + 250 * 215)}));
  // Zero / one leaves everything; an unknown factor draws nothing.
  EXPECT_EQ(blend(1, 2), under);
  EXPECT_EQ(blend(0, 6), under);
  EXPECT_EQ(blend(5, 12), under);
}

// Two quads that share a slanted edge, drawn additively: any pixel drawn twice
// shows double brightness, any gap shows black.
TEST(QuadCoverageTest, AdjacentQuadsLeaveNoGapAndNoOverlap) {
  for (int bpp : {2, 4}) {
    const Surface tex = Solid(16, 16, bpp, {64, 64, 64});
    Surface screen = Solid(80, 80, bpp, {0, 0, 0});
    const float ax = 7.3f, ay = 5.6f, bx = 52.45f, by = 9.1f;     // shared top point, right top
    const float cx = 31.77f, cy = 70.21f, dx = 3.5f, dy = 66.0f;  // shared bottom point, left
    const float ex = 74.2f, ey = 61.9f;
    // Left quad: (a, m, n, d) with m, n the shared edge; right quad: (m, b, e, n).
    const float mx = 33.125f, my = 2.0625f, nx = cx, ny = cy;
    Draw(screen, tex, Transformed(ax, ay, mx, my, nx, ny, dx, dy), 0, 0, 255, 2, 2);
    Draw(screen, tex, Transformed(mx, my, bx, by, ex, ey, nx, ny), 0, 0, 255, 2, 2);
    int twice = 0, once = 0;
    for (int y = 0; y < 80; ++y) {
      for (int x = 0; x < 80; ++x) {
        const int r = At(screen, x, y).r;
        twice += r > 100;
        once += r > 0 && r <= 100;
      }
    }
    EXPECT_EQ(twice, 0) << "bpp " << bpp;
    // Points well inside the union near the shared edge must be covered.
    for (int i = 1; i < 60; ++i) {
      const double t = i / 60.0;
      const double px = mx + (nx - mx) * t, py = my + (ny - my) * t;
      for (int off = -1; off <= 1; ++off) {
        const int x = static_cast<int>(std::floor(px)) + off, y = static_cast<int>(std::floor(py));
        EXPECT_GT(At(screen, x, y).r, 0) << x << "," << y;
      }
    }
    EXPECT_GT(once, 2500);
  }
}

// Four unit-aligned quads tiling a square: exactly the square is covered once,
// whatever the quad boundaries (pixel centres on edges go to one side only).
TEST(QuadCoverageTest, TilesOnPixelCentresCoverExactlyOnce) {
  const Surface tex = Solid(4, 4, 4, {50, 50, 50});
  Surface screen = Solid(40, 40, 4, {0, 0, 0});
  const float cx = 20.5f, cy = 17.5f;  // a corner on a pixel centre
  Draw(screen, tex, Transformed(5, 5, cx, 5, cx, cy, 5, cy), 0, 0, 255, 2, 2);
  Draw(screen, tex, Transformed(cx, 5, 33, 5, 33, cy, cx, cy), 0, 0, 255, 2, 2);
  Draw(screen, tex, Transformed(5, cy, cx, cy, cx, 30, 5, 30), 0, 0, 255, 2, 2);
  Draw(screen, tex, Transformed(cx, cy, 33, cy, 33, 30, cx, 30), 0, 0, 255, 2, 2);
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 40; ++x) {
      const bool inside = x >= 5 && x < 33 && y >= 5 && y < 30;
      ASSERT_EQ(At(screen, x, y).r, inside ? 50 : 0) << x << "," << y;
    }
}

// Magnified two-texel textures: bilinear filtering mixes neighbours smoothly,
// and a black (keyed) neighbour neither shows nor darkens the edge.
TEST(QuadFilterTest, BilinearMixesAndKeyedNeighboursDoNotDarken) {
  const Surface ramp = MakeSurface(2, 1, 4, [](int x, int) {
    return Rgb{x ? 0 : 240, 0, x ? 240 : 0};
  });
  Surface screen = Solid(40, 1, 4, {0, 0, 0});
  Draw(screen, ramp, media::QuadShapeMake(40, 1), 0, 0, 255, 5, 6, true);
  EXPECT_EQ(At(screen, 0, 0), (Rgb{240, 0, 0}));
  EXPECT_EQ(At(screen, 39, 0), (Rgb{0, 0, 240}));
  for (int x = 1; x < 40; ++x) {
    EXPECT_LE(At(screen, x, 0).r, At(screen, x - 1, 0).r);
    EXPECT_GE(At(screen, x, 0).b, At(screen, x - 1, 0).b);
  }
  EXPECT_GT(At(screen, 20, 0).r, 60);
  EXPECT_GT(At(screen, 20, 0).b, 60);

  const Surface half = MakeSurface(2, 1, 4, [](int x, int) {
    return x ? Rgb{0, 0, 0} : Rgb{200, 200, 200};
  });
  screen = Solid(40, 1, 4, {10, 20, 30});
  Draw(screen, half, media::QuadShapeMake(40, 1), 0, 0, 255, 5, 6, true);
  for (int x = 0; x < 40; ++x) {
    EXPECT_EQ(At(screen, x, 0), (x < 20 ? Rgb{200, 200, 200} : Rgb{10, 20, 30})) << x;
  }
}

TEST(QuadRasterGuardTest, MismatchedOrBrokenSurfacesDrawNothing) {
  Surface screen = Solid(20, 20, 4, {9, 9, 9});
  const Surface before = screen;
  const Surface tex16 = Solid(8, 8, 2, {255, 255, 255});
  Draw(screen, tex16, media::QuadShapeMake(8, 8), 0, 0, 255);
  Surface broken = Solid(8, 8, 4, {255, 255, 255});
  broken.pixels.resize(10);
  Draw(screen, broken, media::QuadShapeMake(8, 8), 0, 0, 255);
  EXPECT_EQ(screen.pixels, before.pixels);
}

// --- 3D sprites on a headless screen -------------------------------------------

class Quad3DTest : public ::testing::Test {
 protected:
  void SetUp() override {
    os_ = &platform::UseHeadless();
    ASSERT_NE(SpriteSystemInit(), 0);
    DrawSystemInit();
    ASSERT_EQ(Quad3DSystemInit(), 1);
  }
  void TearDown() override {
    Quad3DEndHook();
    DrawEndHook();
    DisplayEndHook();
  }

  // A texture image filled with one colour at the screen's depth.
  void MakeTexture(int number, int w, int h, Rgb c) {
    ASSERT_NE(SpriteCreate(number, w, h, kSpriteModeTexture), 0);
    media::ImageSlot* img = media::ImageFind(number);
    ASSERT_NE(img, nullptr);
    img->surface = Solid(w, h, img->surface.bytesPerPixel, c);
  }
  const Surface& Back() { return *media::DisplayBackBuffer(); }
  // The frame presented last, in whichever window; null before any.
  const platform::CapturedFrame* LastShown() const {
    const platform::CapturedFrame* last = nullptr;
    for (const auto& [id, w] : os_->Windows()) {
      if (w.frame.sequence > 0 && (last == nullptr || w.frame.sequence > last->sequence)) {
        last = &w.frame;
      }
    }
    return last;
  }

  platform::HeadlessPlatform* os_ = nullptr;
};

TEST_F(Quad3DTest, CreateNeedsATextureImageAndGrowsTheTable) {
  ASSERT_NE(ScreenOpen(800, 600, 32, "x"), 0);
  MakeTexture(7, 16, 16, {255, 0, 0});
  ASSERT_NE(SpriteCreate(8, 16, 16), 0);  // plain image
  EXPECT_EQ(Quad3DCreate(1, 99), 0);
  EXPECT_EQ(Quad3DCreate(1, 8), 0);
  EXPECT_EQ(Quad3DCreate(-1, 7), 0);
  EXPECT_EQ(Quad3DCreate(600, 7), 1);
  EXPECT_EQ(Quad3DCreate(610, 7), 1);

  ScreenClear(0, 0, 0);
  ASSERT_EQ(Quad3DBegin(), 1);
  Quad3DShow(600, 10, 10);
  Quad3DShow(1, 40, 40);     // failed create: nothing
  Quad3DShow(5000, 40, 40);  // outside the table: nothing
  Quad3DEnd();
  EXPECT_EQ(At(Back(), 10, 10), (Rgb{255, 0, 0}));
  EXPECT_EQ(At(Back(), 25, 25), (Rgb{255, 0, 0}));
  EXPECT_EQ(At(Back(), 26, 26), (Rgb{0, 0, 0}));
  EXPECT_EQ(At(Back(), 45, 45), (Rgb{0, 0, 0}));

  // A failed create under a used number leaves the number empty.
  EXPECT_EQ(Quad3DCreate(600, 8), 0);
  ScreenClear(0, 0, 0);
  ASSERT_EQ(Quad3DBegin(), 1);
  Quad3DShow(600, 10, 10);
  Quad3DEnd();
  EXPECT_EQ(At(Back(), 10, 10), (Rgb{0, 0, 0}));
}

TEST_F(Quad3DTest, DrawsOnlyInsideABatchOnAnActiveScreen) {
  EXPECT_EQ(Quad3DBegin(), 0);  // no screen yet
  ASSERT_NE(ScreenOpen(800, 600, 32, "x"), 0);
  MakeTexture(3, 8, 8, {0, 255, 0});
  ASSERT_EQ(Quad3DCreate(3, 3), 1);
  ScreenClear(0, 0, 0);
  Quad3DShow(3, 0, 0);
  EXPECT_EQ(At(Back(), 1, 1), (Rgb{0, 0, 0}));
  ASSERT_EQ(Quad3DBegin(), 1);
  EXPECT_EQ(Quad3DBegin(), 0);  // already open; the batch goes on
  Quad3DShow(3, 0, 0);
  Quad3DEnd();
  Quad3DShow(3, 20, 0);
  EXPECT_EQ(At(Back(), 1, 1), (Rgb{0, 255, 0}));
  EXPECT_EQ(At(Back(), 21, 1), (Rgb{0, 0, 0}));

  int window = 0;
  for (const auto& [id, w] : os_->Windows())
    if (w.fullscreen) window = id;
  platform::WindowEvent lost;
  lost.kind = platform::EventKind::FocusLost;
  os_->InjectEvent(window, lost);
  ScreenFlip();
  ASSERT_FALSE(media::DisplayActive());
  Quad3DBegin();
  Quad3DShow(3, 40, 0);
  Quad3DEnd();
  EXPECT_EQ(At(Back(), 41, 1), (Rgb{0, 0, 0}));
}

TEST_F(Quad3DTest, BlendingModeLastsUntilTheNextBatch) {
  ASSERT_NE(ScreenOpen(800, 600, 32, "x"), 0);
  MakeTexture(3, 8, 8, {100, 100, 100});
  ASSERT_EQ(Quad3DCreate(3, 3), 1);
  ScreenClear(50, 50, 50);
  ASSERT_EQ(Quad3DBegin(), 1);
  Quad3DBlendingMode(5, 7);
  Quad3DShow(3, 0, 0);
  Quad3DEnd();
  EXPECT_EQ(At(Back(), 2, 2), (Rgb{150, 150, 150}));
  ASSERT_EQ(Quad3DBegin(), 1);
  Quad3DShow(3, 0, 0, 128);
  Quad3DEnd();
  EXPECT_EQ(At(Back(), 2, 2).r, Round255(100 * 128 + 150 * 127));
}

// The game's fade overlay, made as at start-up, on the network programs' 16-bit screen.
TEST_F(Quad3DTest, FadeOverlayCoversA16BitScreen) {
  ASSERT_NE(ScreenOpen(800, 600, 16, "Skirmora"), 0);
  ASSERT_NE(SpriteCreate(600, 64, 64, kSpriteModeTexture), 0);
  ASSERT_NE(DrawBegin(SpriteOutput(600)), 0);
  DrawBox(0, 0, 64, 64, 8 | (8 << 8) | (8 << 16));
  DrawEnd();
  ASSERT_EQ(Quad3DCreate(600, 600), 1);
  Quad3DTransform(600, 0, 0, 860, 0, 860, 660, 0, 660);
  ScreenClear(170, 200, 255);
  ASSERT_EQ(Quad3DBegin(), 1);
  Quad3DShow(600, -30, -30, 255);
  Quad3DEnd();
  const uint32_t want = Encode(2, {8, 8, 8});
  int wrong = 0;
  for (int y = 0; y < 600; ++y)
    for (int x = 0; x < 800; ++x) wrong += Raw(Back(), x, y) != want;
  EXPECT_EQ(wrong, 0);
}

TEST_F(Quad3DTest, SharesTheImagePixelsAndFollowsAReopenedScreen) {
  ASSERT_NE(ScreenOpen(800, 600, 32, "x"), 0);
  MakeTexture(5, 4, 4, {10, 20, 30});
  ASSERT_EQ(Quad3DCreate(9, 5), 1);
  MakeTexture(5, 4, 4, {40, 50, 60});  // same number, new pixels
  ASSERT_EQ(Quad3DBegin(), 1);
  Quad3DShow(9, 0, 0);
  Quad3DEnd();
  EXPECT_EQ(At(Back(), 0, 0), (Rgb{40, 50, 60}));

  // The image replaced by a plain one: the sprite has no texture any more.
  ASSERT_NE(SpriteCreate(5, 4, 4), 0);
  ScreenClear(1, 1, 1);
  ASSERT_EQ(Quad3DBegin(), 1);
  Quad3DShow(9, 0, 0);
  Quad3DEnd();
  EXPECT_EQ(At(Back(), 0, 0), (Rgb{1, 1, 1}));

  // A new screen: the next batch draws into its back buffer.
  ScreenClose();
  os_->AdvanceMs(5);
  ASSERT_NE(ScreenOpen(320, 200, 16, "x"), 0);
  MakeTexture(5, 4, 4, {255, 255, 255});
  ASSERT_EQ(Quad3DBegin(), 1);
  Quad3DShow(9, 316, 196);
  Quad3DEnd();
  EXPECT_EQ(At(Back(), 319, 199), (Rgb{255, 255, 255}));
}

// Painting into a texture image between batches shows at the next draw, even
// where the texture was the key before.
TEST_F(Quad3DTest, TexelsPaintedIntoAShownTextureAreDrawn) {
  ASSERT_NE(ScreenOpen(800, 600, 32, "x"), 0);
  MakeTexture(5, 8, 8, {0, 0, 0});
  media::ImageFind(5)->surface.SetPixel(7, 7, 0x00FFFFFFu);
  ASSERT_EQ(Quad3DCreate(9, 5), 1);
  for (int turn : {0, 90}) {
    Quad3DRotate(9, turn, 0);
    ScreenClear(1, 1, 1);
    ASSERT_EQ(Quad3DBegin(), 1);
    Quad3DShow(9, 100, 100);
    Quad3DEnd();
    EXPECT_EQ(At(Back(), 101, 101), (Rgb{1, 1, 1}));
  }
  ASSERT_EQ(DrawBegin(SpriteOutput(5)), 1);
  DrawBox(0, 0, 8, 8, 40 | (50 << 8) | (60 << 16));
  DrawEnd();
  ScreenClear(1, 1, 1);
  ASSERT_EQ(Quad3DBegin(), 1);
  Quad3DShow(9, 100, 100);
  Quad3DEnd();
  EXPECT_EQ(At(Back(), 101, 101), (Rgb{40, 50, 60}));
  EXPECT_EQ(At(Back(), 106, 102), (Rgb{40, 50, 60}));
}

// Presenting hands on only the part of the back buffer drawn into since the
// last present, and the headless window copies only that part, as a window
// that keeps its pixels does. Random sprites (whole, keyed, clipped to an
// area, partly off the screen), turned and zoomed 3D sprites of any alpha and
// blending, boxes, clears and switches between full screen and a window: after
// every present the window shows exactly the back buffer. And a 3D sprite
// never changes a pixel outside its Quad3DBounds.
TEST_F(Quad3DTest, EveryPresentShowsTheWholeBackBuffer) {
  for (int depth : {32, 16}) {
    ASSERT_NE(ScreenOpen(320, 200, depth, "x"), 0);
    MakeTexture(1, 24, 16, {200, 40, 90});
    ASSERT_NE(SpriteCreate(2, 40, 30), 0);
    media::ImageSlot* plain = media::ImageFind(2);
    ASSERT_NE(plain, nullptr);
    const int bpp = plain->surface.bytesPerPixel;
    // A picture with black holes, for the keyed forms.
    plain->surface = MakeSurface(40, 30, bpp, [](int x, int y) {
      return (x + y) % 5 == 0 ? Rgb{0, 0, 0} : Rgb{x * 6, y * 8, 128};
    });
    ASSERT_EQ(Quad3DCreate(1, 1), 1);
    std::mt19937 random(depth);
    auto pick = [&random](int low, int high) {
      return std::uniform_int_distribution<int>(low, high)(random);
    };
    for (int frame = 0; frame < 400; ++frame) {
      const int ops = pick(0, 4);
      for (int op = 0; op < ops; ++op) {
        const int x = pick(-50, 330), y = pick(-40, 210);
        switch (pick(0, 9)) {
          case 0:
            SpriteShow(2, x, y);
            break;
          case 1:
            SpriteShowKeyed(2, x, y);
            break;
          case 2:
            SpriteShowWithin(2, x, y,
                             ScreenArea{pick(-20, 300), pick(-20, 190), pick(0, 60), pick(0, 60)});
            break;
          case 3:
            SpriteShowKeyedWithin(2, x, y, ScreenArea{x + 5, y + 3, 17, 9});
            break;
          case 4:
            if (pick(0, 20) == 0) ScreenClear(pick(0, 255), 30, 60);
            break;
          case 5:
            if (DrawBegin(ScreenOutput()) != 0) {
              DrawBox(x, y, pick(1, 30), pick(1, 30), 0x305070);
              DrawEnd();
            }
            break;
          case 6:
            if (pick(0, 60) == 0) ScreenSetFullscreen(ScreenIsFullscreen() == 0 ? 1 : 0);
            break;
          default: {
            Quad3DRotate(1, pick(0, 359), 0);
            if (pick(0, 3) == 0) Quad3DZoom(1, pick(1, 80), pick(1, 80));
            Quad3DQuality(pick(0, 1));
            ASSERT_EQ(Quad3DBegin(), 1);
            if (pick(0, 2) == 0) Quad3DBlendingMode(pick(1, 11), pick(1, 11));
            ScreenArea bounds;
            ASSERT_EQ(Quad3DBounds(1, x, y, &bounds), 1);
            const Surface before = Back();
            Quad3DShow(1, x, y, pick(0, 3) == 0 ? 0 : pick(0, 255));
            Quad3DEnd();
            const Surface& after = Back();
            for (int py = 0; py < after.height; ++py) {
              for (int px = 0; px < after.width; ++px) {
                if (Raw(after, px, py) == Raw(before, px, py)) continue;
                ASSERT_TRUE(px >= bounds.x && px < bounds.x + bounds.width && py >= bounds.y &&
                            py < bounds.y + bounds.height)
                    << "pixel " << px << "," << py << " outside the bounds of depth " << depth;
              }
            }
          }
        }
      }
      ScreenFlip();
      const platform::CapturedFrame* shown = LastShown();
      ASSERT_NE(shown, nullptr);
      const Surface& back = Back();
      const size_t row = static_cast<size_t>(back.width) * static_cast<size_t>(bpp);
      for (int y = 0; y < back.height; ++y) {
        ASSERT_EQ(
            std::memcmp(shown->pixels.data() + row * static_cast<size_t>(y), back.Row(y), row), 0)
            << "row " << y << " of frame " << frame << " at depth " << depth;
      }
    }
    Quad3DEndHook();
    ASSERT_EQ(Quad3DSystemInit(), 1);
  }
}

// Frames of a match-like scene: a cleared sky, sprites under a layer of
// adding sprites that stands still for a few frames at a time, sprites and
// boxes over it, now and then a frame without a clear, a repainted texture,
// a layer that does not add, and a switch of the screen. Run with the layer
// kept and with every sprite drawn in turn, every presented frame must be the
// same, pixel for pixel.
TEST_F(Quad3DTest, AKeptLayerShowsWhatDrawingEachSpriteShows) {
  for (int depth : {32, 16}) {
    std::vector<std::vector<uint8_t>> shown[2];
    for (int kept = 0; kept < 2; ++kept) {
      ASSERT_NE(ScreenOpen(320, 200, depth, "x"), 0);
      for (int n = 1; n <= 3; ++n) {
        ASSERT_NE(SpriteCreate(n, 64, 48, kSpriteModeTexture), 0);
        media::ImageSlot* img = media::ImageFind(n);
        ASSERT_NE(img, nullptr);
        // Sprite 2, as a cloud, is the key all round but for a band of texels.
        img->surface = MakeSurface(64, 48, img->surface.bytesPerPixel, [n](int x, int y) {
          if ((x / 8 + y / 6 + n) % 4 == 0 || (n == 2 && (y < 20 || x > 50))) return Rgb{0, 0, 0};
          return Rgb{(x * 4 * n) % 256, (y * 5) % 256, 90 * n % 256};
        });
        ASSERT_EQ(Quad3DCreate(n, n), 1);
      }
      ASSERT_NE(SpriteCreate(9, 12, 8), 0);
      media::ImageSlot* shot = media::ImageFind(9);
      shot->surface = MakeSurface(12, 8, shot->surface.bytesPerPixel, [](int x, int y) {
        return (x + y) % 3 == 0 ? Rgb{0, 0, 0} : Rgb{250, 240, 10};
      });
      std::mt19937 random(static_cast<unsigned>(depth));
      auto pick = [&random](int low, int high) {
        return std::uniform_int_distribution<int>(low, high)(random);
      };
      int cloudX = 0, cloudY = 0, sky = 200;
      for (int frame = 0; frame < 240; ++frame) {
        if (pick(0, 3) == 0) cloudX += pick(-2, 2);
        if (pick(0, 5) == 0) cloudY += pick(-1, 1);
        if (pick(0, 40) == 0) sky = pick(0, 255);
        if (pick(0, 50) == 0) {
          media::ImageSlot* img = media::ImageFind(3);
          img->surface.SetPixel(pick(0, 63), pick(0, 47),
                                Encode(img->surface.bytesPerPixel, Rgb{pick(0, 255), 255, 0}));
        }
        if (pick(0, 70) == 0) ScreenSetFullscreen(ScreenIsFullscreen() == 0 ? 1 : 0);
        Quad3DQuality(frame / 30 % 2);
        const bool cleared = pick(0, 12) != 0;
        if (cleared) {
          if (pick(0, 15) == 0) {
            // A clear undone by another one before the frame ends.
            ScreenClear(0, 0, 0);
            SpriteShowKeyed(9, pick(-10, 320), pick(-5, 200));
          }
          ScreenClear(170, sky, 255);
          for (int i = pick(0, 4); i > 0; --i) SpriteShowKeyed(9, pick(-10, 320), pick(-5, 200));
          ASSERT_EQ(Quad3DBegin(), 1);
          for (int i = pick(0, 2); i > 0; --i) {
            Quad3DRotate(1, pick(0, 359), 0);
            Quad3DShow(1, pick(-40, 300), pick(-30, 180));
          }
          Quad3DBlendingMode(5, pick(0, 15) == 0 ? 6 : 7);
          if (kept == 1) Quad3DLayerBegin();
          for (int i = 0; i < 4; ++i) {
            Quad3DRotate(2, (frame % 7 == 0 ? pick(0, 359) : 89) + 90 * i, 0);
            Quad3DShow(2, cloudX + i * 70 - 20, cloudY + (i % 2) * 120 - 10);
          }
          Quad3DShow(3, 120 + cloudX / 2, 70);
          if (kept == 1) Quad3DLayerEnd();
          Quad3DEnd();
        }
        ASSERT_EQ(Quad3DBegin(), 1);
        for (int i = pick(0, 2); i > 0; --i) Quad3DShow(1, pick(-40, 300), pick(-30, 180), 150);
        Quad3DEnd();
        if (pick(0, 2) == 0 && DrawBegin(ScreenOutput()) != 0) {
          DrawBox(pick(0, 300), pick(0, 180), pick(1, 40), pick(1, 20), 0x102030);
          DrawEnd();
        }
        ScreenFlip();
        const platform::CapturedFrame* last = LastShown();
        ASSERT_NE(last, nullptr);
        shown[kept].push_back(last->pixels);
      }
      ScreenClose();
    }
    ASSERT_EQ(shown[0].size(), shown[1].size());
    for (size_t i = 0; i < shown[0].size(); ++i) {
      ASSERT_TRUE(shown[0][i] == shown[1][i]) << "frame " << i << " at depth " << depth;
    }
  }
}

}  // namespace
