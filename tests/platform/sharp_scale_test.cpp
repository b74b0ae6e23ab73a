// Fitting and sharp scaling of presented pictures: the fitted rectangle and
// its bars, whole multiples as pure nearest texels, uneven scales with every
// picture pixel as wide as its neighbours, and nothing written outside.
#include "platform/sharp_scale.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "platform/present_path.h"

namespace platform {
namespace {

// A picture whose every pixel differs from its neighbours.
std::vector<uint32_t> Noise(int width, int height) {
  std::vector<uint32_t> p(static_cast<size_t>(width) * static_cast<size_t>(height));
  uint32_t v = 12345;
  for (uint32_t& x : p) {
    v = v * 1103515245u + 12345u;
    x = (v >> 8) & 0xFFFFFFu;
  }
  return p;
}

TEST(SharpScale, FitKeepsTheShapeCentredWithBarsOnTheLongSide) {
  auto fit = [](int w, int h) { return FitPicture(800, 600, w, h); };
  const Rect wide = fit(1920, 1080);
  EXPECT_EQ(wide.x, 240);
  EXPECT_EQ(wide.y, 0);
  EXPECT_EQ(wide.width, 1440);
  EXPECT_EQ(wide.height, 1080);
  const Rect tall = fit(1280, 1024);
  EXPECT_EQ(tall.x, 0);
  EXPECT_EQ(tall.y, 32);
  EXPECT_EQ(tall.width, 1280);
  EXPECT_EQ(tall.height, 960);
  const Rect exact = fit(1600, 1200);
  EXPECT_EQ(exact.x, 0);
  EXPECT_EQ(exact.width, 1600);
  EXPECT_EQ(exact.height, 1200);
  const Rect tiny = FitPicture(800, 600, 1, 1000);
  EXPECT_EQ(tiny.width, 1);
  EXPECT_EQ(tiny.height, 1);  // never an empty picture in a real window
  EXPECT_EQ(FitPicture(800, 600, 0, 600).width, 0);
  EXPECT_EQ(FitPicture(0, 600, 800, 600).height, 0);

  EXPECT_EQ(SharpMultiple(800, 1440), 2);
  EXPECT_EQ(SharpMultiple(800, 1600), 2);
  EXPECT_EQ(SharpMultiple(800, 2401), 4);
  EXPECT_EQ(SharpMultiple(800, 500), 1);
}

TEST(SharpScale, ClearOutsideBlackensOnlyTheBars) {
  const int w = 10, h = 6, pitch = 12 * 4;
  std::vector<uint32_t> p(12 * h, 0xABCDEFu);
  ClearOutside(p.data(), w, h, pitch, Rect{2, 1, 5, 3});
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < 12; ++x) {
      const bool inside = x >= 2 && x < 7 && y >= 1 && y < 4;
      const bool beyondPitch = x >= w;
      EXPECT_EQ(p[static_cast<size_t>(y * 12 + x)], inside || beyondPitch ? 0xABCDEFu : 0u)
          << x << "," << y;
    }
  }
}

TEST(SharpScale, WholeMultiplesArePureNearestTexels) {
  const int w = 40, h = 30;
  const std::vector<uint32_t> picture = Noise(w, h);
  for (int k : {1, 2, 3}) {
    const int ow = w * k, oh = h * k;
    std::vector<uint32_t> out(static_cast<size_t>(ow) * static_cast<size_t>(oh));
    SharpScaler scaler;
    scaler.Scale(picture.data(), w, h, w * 4, PixelLayout::Xrgb8888, out.data(), ow, oh, ow * 4);
    for (int y = 0; y < oh; ++y) {
      for (int x = 0; x < ow; ++x) {
        ASSERT_EQ(out[static_cast<size_t>(y * ow + x)],
                  picture[static_cast<size_t>((y / k) * w + x / k)])
            << "scale " << k << " at " << x << "," << y;
      }
    }
  }
}

// How much of the output each picture pixel covers along one axis, in 1/256
// output pixels.
std::vector<int> Coverage(const ScaleAxis& axis, int pictureSize) {
  std::vector<int> cover(static_cast<size_t>(pictureSize), 0);
  for (size_t x = 0; x < axis.source.size(); ++x) {
    const int s = axis.source[x], w = axis.next[x];
    cover[static_cast<size_t>(s)] += kScaleWeightOne - w;
    if (w != 0) cover[static_cast<size_t>(s) + 1] += w;
  }
  return cover;
}

TEST(SharpScale, UnevenScalesGiveEveryPixelTheSameWidth) {
  struct Case {
    int picture, output;
  };
  for (const Case c : {Case{800, 1440}, Case{600, 1080}, Case{600, 960}, Case{800, 1000},
                       Case{800, 2399}, Case{7, 10}, Case{3, 8}}) {
    const ScaleAxis axis = PlanScaleAxis(c.picture, c.output);
    ASSERT_EQ(axis.source.size(), static_cast<size_t>(c.output));
    const std::vector<int> cover = Coverage(axis, c.picture);
    const auto [lo, hi] = std::minmax_element(cover.begin(), cover.end());
    const double expected = kScaleWeightOne * static_cast<double>(c.output) / c.picture;
    // Each output pixel's weights are rounded to 1/256; a picture pixel
    // shares at most two output pixels with its neighbours.
    EXPECT_LE(*hi - *lo, 2) << c.picture << " -> " << c.output;
    EXPECT_NEAR(*lo, expected, 2.0) << c.picture << " -> " << c.output;
    // Sharp: an output pixel mixes at most two neighbouring picture pixels,
    // and most output pixels are pure.
    long blended = 0;
    for (size_t x = 0; x < axis.source.size(); ++x) {
      blended += axis.next[x] != 0;
      if (x > 0) {
        EXPECT_LE(axis.source[x] - axis.source[x - 1], 1);
      }
    }
    EXPECT_LE(blended, c.picture) << c.picture << " -> " << c.output;
  }
}

TEST(SharpScale, UnevenScaleOfAnEdgeBlendsOneColumnOnly) {
  // A black-white edge scaled by 1.8: black columns, at most one grey
  // column, then white columns, never an overshoot.
  const int w = 10, h = 2, ow = 18, oh = 4;
  std::vector<uint32_t> picture(static_cast<size_t>(w * h), 0);
  for (int y = 0; y < h; ++y) {
    for (int x = 5; x < w; ++x) picture[static_cast<size_t>(y * w + x)] = 0xFFFFFFu;
  }
  std::vector<uint32_t> out(static_cast<size_t>(ow * oh));
  SharpScaler scaler;
  scaler.Scale(picture.data(), w, h, w * 4, PixelLayout::Xrgb8888, out.data(), ow, oh, ow * 4);
  for (int y = 0; y < oh; ++y) {
    int greys = 0;
    for (int x = 0; x < ow; ++x) {
      const uint32_t p = out[static_cast<size_t>(y * ow + x)];
      const uint32_t r = p >> 16 & 0xFF, g = p >> 8 & 0xFF, b = p & 0xFF;
      EXPECT_TRUE(r == g && g == b) << "channels drifted apart at " << x;
      if (x > 0) {
        EXPECT_GE(p, out[static_cast<size_t>(y * ow + x - 1)]) << "not monotonic";
      }
      greys += p != 0 && p != 0xFFFFFFu;
    }
    EXPECT_LE(greys, 1) << "row " << y;
  }
  EXPECT_EQ(out[0], 0u);
  EXPECT_EQ(out[ow - 1], 0xFFFFFFu);
}

TEST(SharpScale, WritesOnlyItsRectangleAndWidens565) {
  const int w = 8, h = 6;
  std::vector<uint16_t> picture(static_cast<size_t>(w * h));
  for (size_t i = 0; i < picture.size(); ++i) picture[i] = static_cast<uint16_t>(i * 2731u);
  // The output rectangle sits inside a larger guarded buffer.
  for (const Rect r : {Rect{3, 2, 8, 6}, Rect{1, 1, 13, 10}, Rect{2, 3, 5, 4}}) {
    const int bw = 20, bh = 16;
    std::vector<uint32_t> buffer(static_cast<size_t>(bw * bh), 0xDEADBEEFu);
    SharpScaler scaler;
    scaler.Scale(picture.data(), w, h, w * 2, PixelLayout::Rgb565, buffer.data() + r.y * bw + r.x,
                 r.width, r.height, bw * 4);
    for (int y = 0; y < bh; ++y) {
      for (int x = 0; x < bw; ++x) {
        const bool inside = x >= r.x && x < r.x + r.width && y >= r.y && y < r.y + r.height;
        if (!inside) {
          ASSERT_EQ(buffer[static_cast<size_t>(y * bw + x)], 0xDEADBEEFu) << x << "," << y;
        } else {
          ASSERT_EQ(buffer[static_cast<size_t>(y * bw + x)] >> 24, 0u) << "padding byte set";
        }
      }
    }
    if (r.width == w) {
      for (int x = 0; x < w; ++x) {
        EXPECT_EQ(buffer[static_cast<size_t>(r.y * bw + r.x + x)],
                  WidenRgb565(picture[static_cast<size_t>(x)]));
      }
    }
  }
  EXPECT_EQ(WidenRgb565(0xFFFF), 0xFFFFFFu);
  EXPECT_EQ(WidenRgb565(0xF800), 0xFF0000u);
  EXPECT_EQ(WidenRgb565(0x0000), 0u);
  EXPECT_EQ(BlendPixels(0x00FF0080u, 0x0000FF00u, 0), 0x00FF0080u);
  EXPECT_EQ(BlendPixels(0x00FF0080u, 0x0000FF00u, 256), 0x0000FF00u);
  EXPECT_EQ(BlendPixels(0xFF000000u, 0x00FFFFFFu, 128), 0x80808080u);
}

}  // namespace
}  // namespace platform

namespace platform {
namespace {

TEST(SharpScale, ChangedRowsRewriteOnlyTheOutputRowsMadeFromThem) {
  const int w = 10, h = 10, ow = 18, oh = 18;
  std::vector<uint32_t> picture = Noise(w, h);
  std::vector<uint32_t> full(static_cast<size_t>(ow * oh)), part(full.size(), 0xDEADBEEFu);
  SharpScaler scaler;
  scaler.Scale(picture.data(), w, h, w * 4, PixelLayout::Xrgb8888, full.data(), ow, oh, ow * 4);
  const RowSpan written = scaler.Scale(picture.data(), w, h, w * 4, PixelLayout::Xrgb8888,
                                       part.data(), ow, oh, ow * 4, RowSpan{4, 6});
  // Picture rows 4 and 5 cover output rows 7.2 to 10.8: 7 to 10 touch them.
  EXPECT_EQ(written.first, 7);
  EXPECT_EQ(written.end, 11);
  for (int y = 0; y < oh; ++y) {
    const bool inside = y >= written.first && y < written.end;
    for (int x = 0; x < ow; ++x) {
      const size_t i = static_cast<size_t>(y * ow + x);
      ASSERT_EQ(part[i], inside ? full[i] : 0xDEADBEEFu) << x << "," << y;
    }
  }
  EXPECT_TRUE(scaler
                  .Scale(picture.data(), w, h, w * 4, PixelLayout::Xrgb8888, part.data(), ow, oh,
                         ow * 4, RowSpan{3, 3})
                  .Empty());
}

TEST(FrameMemory, ReportsTheSpanOfChangedRowsAndEverythingAfterAResize) {
  FrameMemory memory;
  std::vector<uint32_t> picture = Noise(16, 12);
  EXPECT_EQ(memory.Update(picture.data(), 16, 12, 64, 4).end, 12);
  EXPECT_TRUE(memory.Update(picture.data(), 16, 12, 64, 4).Empty());
  picture[3 * 16 + 5] ^= 1;
  picture[7 * 16 + 15] ^= 0x100;
  const RowSpan changed = memory.Update(picture.data(), 16, 12, 64, 4);
  EXPECT_EQ(changed.first, 3);
  EXPECT_EQ(changed.end, 8);
  EXPECT_TRUE(memory.Update(picture.data(), 16, 12, 64, 4).Empty());
  // Same bytes, other shape: all rows.
  const RowSpan reshaped = memory.Update(picture.data(), 8, 24, 32, 4);
  EXPECT_EQ(reshaped.first, 0);
  EXPECT_EQ(reshaped.end, 24);
  memory.Forget();
  EXPECT_EQ(memory.Update(picture.data(), 8, 24, 32, 4).end, 24);
}

// In tiles: after random changes, the tiles reported are exactly those that
// hold a changed pixel (of the ones that meet the part said to have changed),
// and the memory then holds the new picture.
TEST(FrameMemory, ReportsExactlyTheTilesThatChanged) {
  const int w = 100, h = 70, tw = 16, th = 8;
  std::vector<uint16_t> picture(static_cast<size_t>(w * h));
  for (size_t i = 0; i < picture.size(); ++i) picture[i] = static_cast<uint16_t>(i * 40503u);
  FrameMemory memory;
  const Rect all{0, 0, w, h};
  const std::vector<Rect> first =
      memory.UpdateTiles(picture.data(), w, h, w * 2, 2, Rect{}, tw, th);
  ASSERT_EQ(first.size(), 9u) << "a fresh memory reports every tile, a band of tiles each";
  EXPECT_EQ(first[8].y, 64);
  EXPECT_EQ(first[8].width, w);
  EXPECT_EQ(first[8].height, 6);
  std::mt19937 random(5);
  for (int round = 0; round < 200; ++round) {
    std::vector<uint16_t> before = picture;
    const int changes = std::uniform_int_distribution<int>(0, 6)(random);
    for (int c = 0; c < changes; ++c) {
      picture[std::uniform_int_distribution<size_t>(0, picture.size() - 1)(random)] ^= 0x0421;
    }
    const std::vector<Rect> tiles = memory.UpdateTiles(picture.data(), w, h, w * 2, 2, all, tw, th);
    auto reported = [&](int x, int y) {
      for (const Rect& t : tiles) {
        if (x >= t.x && x < t.x + t.width && y >= t.y && y < t.y + t.height) return true;
      }
      return false;
    };
    for (int ty = 0; ty < h; ty += th) {
      for (int tx = 0; tx < w; tx += tw) {
        bool differs = false;
        for (int y = ty; y < std::min(h, ty + th); ++y) {
          for (int x = tx; x < std::min(w, tx + tw); ++x) {
            differs = differs || picture[static_cast<size_t>(y * w + x)] !=
                                     before[static_cast<size_t>(y * w + x)];
          }
        }
        ASSERT_EQ(reported(tx, ty), differs) << "tile " << tx << "," << ty << " round " << round;
      }
    }
    ASSERT_TRUE(memory.UpdateTiles(picture.data(), w, h, w * 2, 2, all, tw, th).empty());
  }
  // Only the tiles that meet the given part are looked at.
  picture[0] ^= 1;
  picture[static_cast<size_t>(69 * w + 99)] ^= 1;
  const std::vector<Rect> corner =
      memory.UpdateTiles(picture.data(), w, h, w * 2, 2, Rect{90, 60, 8, 5}, tw, th);
  ASSERT_EQ(corner.size(), 1u);
  EXPECT_EQ(corner[0].x, 96);
  EXPECT_EQ(corner[0].y, 64);
  EXPECT_EQ(memory.UpdateTiles(picture.data(), w, h, w * 2, 2, all, tw, th).size(), 1u)
      << "the change outside it is still there to be found";
}

TEST(PresentPath, SoftwareRenderersGiveWayToTheWindowSurface) {
  RendererProbe gpu;
  gpu.created = true;
  gpu.name = "opengl";
  gpu.accelerated = true;
  gpu.glRenderer = "AMD Radeon RX 6600 (radeonsi, navi23, LLVM 15.0.6, DRM 3.49)";
  EXPECT_EQ(ChoosePresentPath("", gpu).path, PresentPath::Renderer);
  EXPECT_EQ(ChoosePresentPath("surface", gpu).path, PresentPath::WindowSurface);

  RendererProbe mesa = gpu;
  mesa.glRenderer = "llvmpipe (LLVM 15.0.6, 256 bits)";
  const PresentChoice soft = ChoosePresentPath("", mesa);
  EXPECT_EQ(soft.path, PresentPath::WindowSurface);
  EXPECT_NE(soft.reason.find("llvmpipe"), std::string::npos) << soft.reason;
  EXPECT_EQ(ChoosePresentPath("renderer", mesa).path, PresentPath::Renderer);
  EXPECT_EQ(ChoosePresentPath("nonsense", mesa).path, PresentPath::WindowSurface);
  EXPECT_TRUE(IsSoftwareGl("Gallium 0.4 on softpipe"));
  EXPECT_TRUE(IsSoftwareGl("Software Rasterizer"));

  RendererProbe sdlSoftware;
  sdlSoftware.created = true;
  sdlSoftware.name = "software";
  EXPECT_EQ(ChoosePresentPath("", sdlSoftware).path, PresentPath::WindowSurface);
  RendererProbe none;
  none.error = "No matching GL pixel format available";
  const PresentChoice missing = ChoosePresentPath("", none);
  EXPECT_EQ(missing.path, PresentPath::WindowSurface);
  EXPECT_NE(missing.reason.find("pixel format"), std::string::npos);
}

}  // namespace
}  // namespace platform

namespace platform {
namespace {

TEST(SharpScale, CopyChangedTilesWritesAndReportsOnlyWhatDiffers) {
  // Tiles of 4 x 2 over 10 x 5: columns 0-3, 4-7, 8-9; bands 0-1, 2-3, 4.
  const int w = 10, h = 5, outPitch = 12 * 4;
  std::vector<uint16_t> picture(static_cast<size_t>(w * h), 0x07E0);
  std::vector<uint32_t> out(static_cast<size_t>(12 * h), 0xDEADBEEFu);
  auto copy = [&](bool all) {
    return CopyChangedTiles(picture.data(), w, h, w * 2, PixelLayout::Rgb565, out.data(), outPitch,
                            all, 4, 2);
  };
  std::vector<Rect> tiles = copy(false);
  ASSERT_EQ(tiles.size(), 3u);  // each band whole, its tiles joined
  EXPECT_EQ(tiles[0].width, 10);
  EXPECT_EQ(tiles[2].y, 4);
  EXPECT_EQ(tiles[2].height, 1);
  EXPECT_EQ(out[0], 0x00FF00u);
  EXPECT_EQ(out[9], 0x00FF00u);
  EXPECT_EQ(out[10], 0xDEADBEEFu) << "wrote beyond the picture's width";
  EXPECT_TRUE(copy(false).empty());
  picture[static_cast<size_t>(2 * w + 1)] = 0xF800;  // tile 0 of band 1
  picture[static_cast<size_t>(3 * w + 9)] = 0x001F;  // tile 2 of band 1
  picture[static_cast<size_t>(1 * w + 8)] = 0x001F;  // tile 2 of band 0
  picture[static_cast<size_t>(1 * w + 9)] = 0x001F;
  tiles = copy(false);
  ASSERT_EQ(tiles.size(), 3u);
  EXPECT_EQ(tiles[0].x, 8);  // band 0
  EXPECT_EQ(tiles[0].y, 0);
  EXPECT_EQ(tiles[0].width, 2);
  EXPECT_EQ(tiles[0].height, 2);
  EXPECT_EQ(tiles[1].x, 0);  // band 1, not joined across the unchanged middle
  EXPECT_EQ(tiles[1].y, 2);
  EXPECT_EQ(tiles[1].width, 4);
  EXPECT_EQ(tiles[2].x, 8);
  EXPECT_EQ(tiles[2].y, 2);
  EXPECT_EQ(out[2 * 12 + 1], 0xFF0000u);
  EXPECT_EQ(out[3 * 12 + 9], 0x0000FFu);
  EXPECT_EQ(out[1 * 12 + 9], 0x0000FFu);
  // A window whose pixels were lost is written whole.
  EXPECT_EQ(copy(true).size(), 3u);
}

}  // namespace
}  // namespace platform

namespace platform {
namespace {

TEST(SharpScale, RowWideningMatchesThePixelRuleForEveryValue) {
  // Every 16-bit value, in rows whose lengths leave a tail of every size.
  std::vector<uint16_t> all(65536);
  for (size_t i = 0; i < all.size(); ++i) all[i] = static_cast<uint16_t>(i);
  std::vector<uint32_t> wide(all.size());
  WidenRow565(all.data(), wide.data(), 65536);
  for (size_t i = 0; i < all.size(); ++i) ASSERT_EQ(wide[i], WidenRgb565(all[i])) << i;
  for (int n = 1; n <= 17; ++n) {
    std::vector<uint32_t> part(static_cast<size_t>(n) + 1, 0xDEADBEEFu);
    WidenRow565(all.data() + 40000, part.data(), n);
    EXPECT_EQ(part[static_cast<size_t>(n) - 1], WidenRgb565(static_cast<uint16_t>(40000 + n - 1)));
    EXPECT_EQ(part[static_cast<size_t>(n)], 0xDEADBEEFu) << "wrote past " << n;
  }
}

}  // namespace
}  // namespace platform

namespace platform {
namespace {

TEST(SharpScale, RowBlendingMatchesThePixelRule) {
  const std::vector<uint32_t> a = Noise(37, 1), b = Noise(1, 37);
  for (uint32_t w : {0u, 1u, 77u, 128u, 255u, 256u}) {
    std::vector<uint32_t> out(38, 0xDEADBEEFu);
    BlendRows(a.data(), b.data(), w, out.data(), 37);
    for (size_t x = 0; x < 37; ++x) ASSERT_EQ(out[x], BlendPixels(a[x], b[x], w)) << w << " " << x;
    EXPECT_EQ(out[37], 0xDEADBEEFu);
  }
}

}  // namespace
}  // namespace platform

namespace platform {
namespace {

// The scaler against the plain rule: every output pixel the blend, across
// and then down, of the picture pixels its two plans name.
TEST(SharpScale, ScaledPicturesFollowTheirPlansExactly) {
  struct Case {
    int w, h, ow, oh;
  };
  for (const Case c : {Case{37, 11, 59, 17}, Case{80, 60, 128, 96}, Case{40, 30, 23, 17}}) {
    const std::vector<uint32_t> picture = Noise(c.w, c.h);
    std::vector<uint32_t> out(static_cast<size_t>(c.ow * c.oh));
    SharpScaler scaler;
    scaler.Scale(picture.data(), c.w, c.h, c.w * 4, PixelLayout::Xrgb8888, out.data(), c.ow, c.oh,
                 c.ow * 4);
    const ScaleAxis across = PlanScaleAxis(c.w, c.ow), down = PlanScaleAxis(c.h, c.oh);
    auto rowAt = [&](int sy, int x) {
      const uint32_t* row = picture.data() + sy * c.w;
      const size_t i = static_cast<size_t>(x);
      const uint32_t a = row[across.source[i]];
      return across.next[i] == 0 ? a : BlendPixels(a, row[across.source[i] + 1], across.next[i]);
    };
    for (int y = 0; y < c.oh; ++y) {
      const int sy = down.source[static_cast<size_t>(y)];
      const uint32_t wy = down.next[static_cast<size_t>(y)];
      for (int x = 0; x < c.ow; ++x) {
        const uint32_t expected =
            wy == 0 ? rowAt(sy, x) : BlendPixels(rowAt(sy, x), rowAt(sy + 1, x), wy);
        ASSERT_EQ(out[static_cast<size_t>(y * c.ow + x)], expected)
            << c.w << "->" << c.ow << " at " << x << "," << y;
      }
    }
  }
}

}  // namespace
}  // namespace platform
