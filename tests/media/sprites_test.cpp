#include "media/sprites.h"

#include <gtest/gtest.h>
#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <functional>
#include <random>
#include <vector>

// jpeglib.h needs size_t and FILE declared first.
#include <jpeglib.h>

#include "media/display.h"
#include "media/surface.h"
#include "platform/headless.h"

namespace {

struct Colour {
  uint8_t r, g, b;
};

void Put16(std::vector<uint8_t>& v, size_t at, uint32_t x) {
  v[at] = static_cast<uint8_t>(x);
  v[at + 1] = static_cast<uint8_t>(x >> 8);
}
void Put32(std::vector<uint8_t>& v, size_t at, uint32_t x) {
  for (int i = 0; i < 4; ++i) v[at + i] = static_cast<uint8_t>(x >> (8 * i));
}

// BMP file bytes. value(x, y) gives the stored value of the pixel with y
// counted from the top: a palette index (bits <= 8), a 5-5-5 value (16) or
// 0xRRGGBB (24, 32).
std::vector<uint8_t> MakeBmp(int width, int height, int bits,
                             const std::function<uint32_t(int, int)>& value, bool topDown = false,
                             std::vector<Colour> palette = {}) {
  const size_t stride = (static_cast<size_t>(width) * bits + 31) / 32 * 4;
  const size_t tableSize = palette.size() * 4;
  const size_t offset = 54 + tableSize;
  std::vector<uint8_t> v(offset + stride * static_cast<size_t>(height), 0);
  v[0] = 'B';
  v[1] = 'M';
  Put32(v, 2, static_cast<uint32_t>(v.size()));
  Put32(v, 10, static_cast<uint32_t>(offset));
  Put32(v, 14, 40);
  Put32(v, 18, static_cast<uint32_t>(width));
  Put32(v, 22, static_cast<uint32_t>(topDown ? -height : height));
  Put16(v, 26, 1);
  Put16(v, 28, static_cast<uint32_t>(bits));
  Put32(v, 46, static_cast<uint32_t>(palette.size()));
  for (size_t i = 0; i < palette.size(); ++i) {
    v[54 + 4 * i] = palette[i].b;
    v[54 + 4 * i + 1] = palette[i].g;
    v[54 + 4 * i + 2] = palette[i].r;
  }
  for (int y = 0; y < height; ++y) {
    uint8_t* row = v.data() + offset + stride * static_cast<size_t>(topDown ? y : height - 1 - y);
    for (int x = 0; x < width; ++x) {
      const uint32_t p = value(x, y);
      switch (bits) {
        case 1:
          row[x / 8] |= static_cast<uint8_t>((p & 1) << (7 - x % 8));
          break;
        case 4:
          row[x / 2] |= static_cast<uint8_t>(x % 2 == 0 ? (p & 15) << 4 : p & 15);
          break;
        case 8:
          row[x] = static_cast<uint8_t>(p);
          break;
        case 16:
          row[2 * x] = static_cast<uint8_t>(p);
          row[2 * x + 1] = static_cast<uint8_t>(p >> 8);
          break;
        default: {
          const int bpp = bits / 8;
          row[bpp * x] = static_cast<uint8_t>(p);
          row[bpp * x + 1] = static_cast<uint8_t>(p >> 8);
          row[bpp * x + 2] = static_cast<uint8_t>(p >> 16);
        }
      }
    }
  }
  return v;
}

// A square of one colour.
std::vector<uint8_t> SolidBmp(int side, uint32_t rgb) {
  return MakeBmp(side, side, 24, [rgb](int, int) { return rgb; });
}

void PngToVector(png_structp png, png_bytep data, size_t length) {
  auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + length);
}
void PngFlush(png_structp) {}

// PNG bytes; rows hold the samples as libpng expects them for the colour type.
std::vector<uint8_t> MakePng(int width, int height, int colourType, int bitDepth,
                             const std::vector<std::vector<uint8_t>>& rows, bool interlaced = false,
                             const std::vector<png_color>& palette = {},
                             const std::vector<png_byte>& paletteAlpha = {}) {
  std::vector<uint8_t> out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return {};
  }
  png_set_write_fn(png, &out, PngToVector, PngFlush);
  png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height),
               bitDepth, colourType, interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (!palette.empty()) png_set_PLTE(png, info, palette.data(), static_cast<int>(palette.size()));
  if (!paletteAlpha.empty()) {
    png_set_tRNS(png, info, paletteAlpha.data(), static_cast<int>(paletteAlpha.size()), nullptr);
  }
  png_write_info(png, info);
  std::vector<png_bytep> pointers;
  for (const auto& r : rows) pointers.push_back(const_cast<png_bytep>(r.data()));
  png_write_image(png, pointers.data());
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return out;
}

std::vector<uint8_t> MakeJpeg(int width, int height, Colour c) {
  jpeg_compress_struct info;
  jpeg_error_mgr err;
  info.err = jpeg_std_error(&err);
  jpeg_create_compress(&info);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&info, &buffer, &size);
  info.image_width = static_cast<JDIMENSION>(width);
  info.image_height = static_cast<JDIMENSION>(height);
  info.input_components = 3;
  info.in_color_space = JCS_RGB;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, 95, TRUE);
  jpeg_start_compress(&info, TRUE);
  std::vector<uint8_t> row(static_cast<size_t>(width) * 3);
  for (int x = 0; x < width; ++x) {
    row[3 * x] = c.r;
    row[3 * x + 1] = c.g;
    row[3 * x + 2] = c.b;
  }
  while (info.next_scanline < info.image_height) {
    JSAMPROW r = row.data();
    jpeg_write_scanlines(&info, &r, 1);
  }
  jpeg_finish_compress(&info);
  std::vector<uint8_t> out(buffer, buffer + size);
  jpeg_destroy_compress(&info);
  std::free(buffer);
  return out;
}

class SpriteTest : public ::testing::Test {
 protected:
  void Open(int depth) {
    os_ = &platform::UseHeadless();
    ASSERT_NE(SpriteSystemInit(), 0);
    ImageReaderStartHook();
    ASSERT_NE(ScreenOpen(W, H, depth, "t"), 0);
  }
  void SetUp() override { Open(32); }
  void TearDown() override { DisplayEndHook(); }

  static uint32_t At(const media::Surface& s, int x, int y) { return s.Pixel(x, y); }
  uint32_t Screen(int x, int y) { return At(*media::DisplayBackBuffer(), x, y); }
  uint32_t Image(int n, int x, int y) { return At(media::ImageFind(n)->surface, x, y); }
  // Counts back buffer pixels that are not the background.
  int Drawn(uint32_t background) {
    const media::Surface& s = *media::DisplayBackBuffer();
    int n = 0;
    for (int y = 0; y < s.height; ++y)
      for (int x = 0; x < s.width; ++x) n += At(s, x, y) != background;
    return n;
  }

  static constexpr int W = 200;
  static constexpr int H = 150;
  platform::HeadlessPlatform* os_ = nullptr;
};

TEST_F(SpriteTest, BmpOfEveryDepthAndRowOrderConverts) {
  const std::vector<Colour> palette = {{0, 0, 0}, {255, 0, 0}, {0, 255, 0}, {0, 0, 255}};
  auto index = [](int x, int y) { return static_cast<uint32_t>((x + y) % 4); };
  const uint32_t expected[4] = {0, 0xFF0000, 0x00FF00, 0x0000FF};
  for (int bits : {4, 8}) {
    for (bool topDown : {false, true}) {
      ASSERT_NE(SpriteCatch(1, MakeBmp(7, 5, bits, index, topDown, palette)), 0) << bits;
      EXPECT_EQ(media::ImageFind(1)->depth, 24);
      for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 7; ++x) EXPECT_EQ(Image(1, x, y), expected[(x + y) % 4]) << bits;
    }
  }
  ASSERT_NE(SpriteCatch(2, MakeBmp(9, 3, 1, [](int x, int y) { return uint32_t((x ^ y) & 1); },
                                   false, {{0, 0, 0}, {10, 20, 30}})),
            0);
  EXPECT_EQ(Image(2, 0, 0), 0u);
  EXPECT_EQ(Image(2, 8, 1), 0x0A141Eu);
  ASSERT_NE(SpriteCatch(3, MakeBmp(3, 2, 24, [](int x, int y) { return uint32_t(x * 16 + y); })),
            0);
  EXPECT_EQ(Image(3, 2, 1), 33u);
  EXPECT_EQ(media::ImageFind(3)->width, 3);
  EXPECT_EQ(media::ImageFind(3)->height, 2);
  ASSERT_NE(SpriteCatch(4, MakeBmp(
                               2, 2, 32, [](int, int) { return 0x123456u; }, true)),
            0);
  EXPECT_EQ(Image(4, 1, 1), 0x123456u);
  // 16-bit BMP pixels are 5-5-5: each component moved up by 3 bits.
  ASSERT_NE(
      SpriteCatch(5, MakeBmp(2, 1, 16, [](int, int) { return (31u << 10) | (1u << 5) | 2u; })), 0);
  EXPECT_EQ(Image(5, 0, 0), (248u << 16) | (8u << 8) | 16u);
}

TEST_F(SpriteTest, SixteenBitScreenConvertsAndDarkColoursBecomeTheKey) {
  Open(16);
  // Red and blue below 8 and green below 4 are lost in 5-6-5: transparent.
  ASSERT_NE(SpriteCatch(1, MakeBmp(4, 1, 24,
                                   [](int x, int) {
                                     const uint32_t c[4] = {0x070307, 0x080000, 0x000400, 0xFFFFFF};
                                     return c[x];
                                   })),
            0);
  EXPECT_EQ(Image(1, 0, 0), 0u);
  EXPECT_EQ(Image(1, 1, 0), 1u << 11);
  EXPECT_EQ(Image(1, 2, 0), 1u << 5);
  EXPECT_EQ(Image(1, 3, 0), 0xFFFFu);
  ASSERT_NE(
      SpriteCatch(2, MakeBmp(1, 1, 16, [](int, int) { return (31u << 10) | (31u << 5) | 1u; })), 0);
  EXPECT_EQ(Image(2, 0, 0), (31u << 11) | (62u << 5) | 1u);
  ScreenClear(0, 0, 255);
  EXPECT_EQ(SpriteShowKeyed(1, 0, 0), 1);
  EXPECT_EQ(Screen(0, 0), 31u);  // the dark pixel let the background through
}

TEST_F(SpriteTest, ClippingAtEveryEdge) {
  // Column x of the image holds x + 1 in red, row y holds y + 1 in green.
  ASSERT_NE(
      SpriteCatch(1, MakeBmp(64, 64, 24,
                             [](int x, int y) { return uint32_t((x + 1) << 16 | (y + 1) << 8); })),
      0);
  auto column = [](uint32_t v) { return static_cast<int>(v >> 16) - 1; };
  auto row = [](uint32_t v) { return static_cast<int>((v >> 8) & 0xFF) - 1; };
  ScreenClear(0, 0, 0);
  EXPECT_EQ(SpriteShow(1, -10, -20), 1);
  EXPECT_EQ(column(Screen(0, 0)), 10);
  EXPECT_EQ(row(Screen(0, 0)), 20);
  EXPECT_EQ(column(Screen(53, 43)), 63);
  EXPECT_EQ(Drawn(0), 54 * 44);
  ScreenClear(0, 0, 0);
  EXPECT_EQ(SpriteShow(1, W - 1, H - 1), 1);  // one pixel
  EXPECT_EQ(Drawn(0), 1);
  EXPECT_EQ(column(Screen(W - 1, H - 1)), 0);
  ScreenClear(0, 0, 0);
  EXPECT_EQ(SpriteShow(1, W - 30, 100), 1);
  EXPECT_EQ(Drawn(0), 30 * 50);
  EXPECT_EQ(row(Screen(W - 1, H - 1)), 49);
  ScreenClear(0, 0, 0);
  for (auto [x, y] :
       {std::pair{W, 0}, {-64, 0}, {0, H}, {0, -64}, {INT32_MIN, 0}, {0, INT32_MAX}}) {
    EXPECT_EQ(SpriteShow(1, x, y), 0) << x << "," << y;
  }
  EXPECT_EQ(SpriteShow(1, -63, -63), 1);
  EXPECT_EQ(Drawn(0), 1);
  EXPECT_EQ(SpriteShow(99, 0, 0), 0);
}

TEST_F(SpriteTest, KeyedCopySkipsBlackOnly) {
  ASSERT_NE(SpriteCatch(1, MakeBmp(4, 4, 24, [](int x, int) { return x < 2 ? 0u : 0x010000u; })),
            0);
  ScreenClear(0, 0, 255);
  SpriteShowKeyed(1, 10, 10);
  EXPECT_EQ(Screen(10, 10), 255u);
  EXPECT_EQ(Screen(11, 13), 255u);
  EXPECT_EQ(Screen(12, 10), 0x010000u);  // nearly black is not the key
  SpriteShow(1, 10, 10);
  EXPECT_EQ(Screen(10, 10), 0u);
}

TEST_F(SpriteTest, HitIsPixelExact) {
  ASSERT_NE(SpriteCatch(1, SolidBmp(64, 0xFFFFFF)), 0);
  ASSERT_NE(SpriteCatch(2, SolidBmp(64, 0x808080)), 0);
  // A ring: only the outermost pixels are solid.
  ASSERT_NE(SpriteCatch(3, MakeBmp(64, 64, 24,
                                   [](int x, int y) {
                                     return (x == 0 || y == 0 || x == 63 || y == 63) ? 0xFF0000u
                                                                                     : 0u;
                                   })),
            0);
  EXPECT_EQ(SpriteHit(1, 0, 0, 2, 64, 0), 0);  // touching rectangles
  EXPECT_EQ(SpriteHit(1, 0, 0, 2, 0, 64), 0);
  EXPECT_EQ(SpriteHit(1, 64, 64, 2, 0, 0), 0);
  EXPECT_EQ(SpriteHit(1, 0, 0, 2, 63, 63), 1);
  EXPECT_EQ(SpriteHit(2, 63, -63, 1, 0, 0), 1);
  EXPECT_EQ(SpriteHit(1, 0, 0, 1, 10, 10), 1);  // an image against itself
  // The overlap lies in the ring's black middle.
  ASSERT_NE(SpriteCatch(4, SolidBmp(16, 0xFFFFFF)), 0);
  EXPECT_EQ(SpriteHit(3, 0, 0, 4, 10, 10), 0);
  EXPECT_EQ(SpriteHit(4, 47, 47, 3, 0, 0), 0);
  EXPECT_EQ(SpriteHit(4, 48, 48, 3, 0, 0), 1);  // reaches the ring's last row and column
  EXPECT_EQ(SpriteHit(3, 0, 0, 4, -15, 30), 1);
  EXPECT_EQ(SpriteHit(3, 0, 0, 99, 0, 0), 0);
  EXPECT_EQ(SpriteHit(1, INT32_MAX, 0, 2, INT32_MIN, 0), 0);
  // Dark colours that become the key on a 16-bit screen do not hit there.
  Open(16);
  ASSERT_NE(SpriteCatch(1, SolidBmp(8, 0x070307)), 0);
  ASSERT_NE(SpriteCatch(2, SolidBmp(8, 0xFFFFFF)), 0);
  EXPECT_EQ(SpriteHit(1, 0, 0, 2, 0, 0), 0);
}

TEST_F(SpriteTest, CatchReplacesAndFailureLeavesTheNumberEmpty) {
  ASSERT_NE(SpriteCatch(7, SolidBmp(4, 0xFF0000)), 0);
  ASSERT_NE(SpriteCatch(7, SolidBmp(8, 0x00FF00)), 0);
  EXPECT_EQ(media::ImageFind(7)->width, 8);
  EXPECT_EQ(Image(7, 0, 0), 0x00FF00u);
  std::vector<uint8_t> compressed = SolidBmp(4, 0xFF);
  Put32(compressed, 30, 1);
  EXPECT_EQ(SpriteCatch(7, compressed), 0);
  EXPECT_EQ(media::ImageFind(7), nullptr);
  // Numbers beyond the table grow it; negative numbers are refused.
  ASSERT_NE(SpriteCreate(600, 64, 64, 4), 0);
  EXPECT_EQ(media::ImageFind(600)->mode, 4);
  EXPECT_EQ(Image(600, 63, 63), 0u);
  EXPECT_EQ(SpriteCreate(-1, 4, 4), 0);
  EXPECT_EQ(SpriteCatch(-1, SolidBmp(4, 1)), 0);
  EXPECT_EQ(SpriteCreate(1, 0, 4), 0);
  EXPECT_EQ(SpriteCreate(1, 4, 4, 3), 0);  // no such mode
}

TEST_F(SpriteTest, RawImagesComeOnlyFromEightBitBmpAndAreNeverDrawn) {
  ASSERT_NE(SpriteCatch(1,
                        MakeBmp(3, 2, 8, [](int x, int y) { return uint32_t(x + 10 * y); }, false,
                                {{1, 2, 3}}),
                        kSpriteModeRaw),
            0);
  const media::ImageSlot* raw = media::ImageFind(1);
  EXPECT_EQ(raw->depth, -2);
  EXPECT_EQ(raw->surface.pixels, (std::vector<uint8_t>{0, 1, 2, 10, 11, 12}));
  ScreenClear(0, 0, 255);
  EXPECT_EQ(SpriteShow(1, 0, 0), 0);
  EXPECT_EQ(SpriteHit(1, 0, 0, 1, 0, 0), 0);
  EXPECT_EQ(SpriteCatch(2, SolidBmp(4, 0xFFFFFF), kSpriteModeRaw), 0);
  EXPECT_EQ(media::ImageFind(2), nullptr);
}

TEST_F(SpriteTest, PngIsDecodedOpaqueWithOnlyBlackTransparent) {
  std::vector<std::vector<uint8_t>> rgba = {{255, 0, 0, 0, 0, 0, 0, 255, 10, 20, 30, 128}};
  const std::vector<uint8_t> png = MakePng(3, 1, PNG_COLOR_TYPE_RGB_ALPHA, 8, rgba);
  EXPECT_EQ(SpriteCatch(1, png), 0);  // no decoder registered yet
  ImageDecoderJPEG();
  ImageDecoderPNG();
  ImageDecoderPNG();
  ASSERT_NE(SpriteCatch(1, png), 0);
  EXPECT_EQ(media::ImageFind(1)->depth, 24);
  EXPECT_EQ(Image(1, 0, 0), 0xFF0000u);  // alpha 0, still drawn
  EXPECT_EQ(Image(1, 1, 0), 0u);
  EXPECT_EQ(Image(1, 2, 0), 0x0A141Eu);
  // Palette, 16-bit grey and interlaced pictures all become 8-bit colour.
  ASSERT_NE(SpriteCatch(2, MakePng(4, 1, PNG_COLOR_TYPE_PALETTE, 2, {{0x1B}}, false,
                                   {{0, 0, 0}, {1, 2, 3}, {4, 5, 6}, {7, 8, 9}})),
            0);
  EXPECT_EQ(Image(2, 0, 0), 0u);
  EXPECT_EQ(Image(2, 1, 0), 0x010203u);
  EXPECT_EQ(Image(2, 3, 0), 0x070809u);
  // A palette with a transparency chunk is drawn opaque as well.
  ASSERT_NE(SpriteCatch(5, MakePng(2, 1, PNG_COLOR_TYPE_PALETTE, 8, {{0, 1}}, false,
                                   {{200, 100, 50}, {1, 2, 3}}, {0, 128})),
            0);
  EXPECT_EQ(Image(5, 0, 0), 0xC86432u);
  EXPECT_EQ(Image(5, 1, 0), 0x010203u);
  ASSERT_NE(SpriteCatch(3, MakePng(1, 1, PNG_COLOR_TYPE_GRAY, 16, {{0xAB, 0xCD}})), 0);
  EXPECT_EQ(Image(3, 0, 0), 0xABABABu);
  std::vector<std::vector<uint8_t>> rows;
  for (int y = 0; y < 9; ++y) {
    rows.emplace_back();
    for (int x = 0; x < 9; ++x)
      rows.back().insert(rows.back().end(), {uint8_t(x * 20), uint8_t(y * 20), 7});
  }
  ASSERT_NE(SpriteCatch(4, MakePng(9, 9, PNG_COLOR_TYPE_RGB, 8, rows, true)), 0);
  EXPECT_EQ(Image(4, 8, 5), (160u << 16) | (100u << 8) | 7u);
}

TEST_F(SpriteTest, JpegDecodesWhenRegistered) {
  const std::vector<uint8_t> jpeg = MakeJpeg(16, 8, {200, 100, 50});
  ASSERT_FALSE(jpeg.empty());
  EXPECT_EQ(SpriteCatch(1, jpeg), 0);
  ImageDecoderJPEG();
  ASSERT_NE(SpriteCatch(1, jpeg), 0);
  const uint32_t p = Image(1, 5, 5);
  EXPECT_NEAR(static_cast<int>(p >> 16), 200, 4);
  EXPECT_NEAR(static_cast<int>((p >> 8) & 0xFF), 100, 4);
  EXPECT_NEAR(static_cast<int>(p & 0xFF), 50, 4);
}

TEST_F(SpriteTest, MalformedDataReturnsZeroAndLeavesNoImage) {
  ImageDecoderJPEG();
  ImageDecoderPNG();
  const std::vector<uint8_t> bmp =
      MakeBmp(5, 3, 8, [](int x, int) { return uint32_t(x); }, false, {{1, 1, 1}, {2, 2, 2}});
  std::vector<std::vector<uint8_t>> rows(4, std::vector<uint8_t>(12, 90));
  const std::vector<uint8_t> png = MakePng(4, 4, PNG_COLOR_TYPE_RGB, 8, rows);
  const std::vector<uint8_t> jpeg = MakeJpeg(8, 8, {1, 2, 3});
  // Every truncation of every format.
  for (const auto* whole : {&bmp, &png, &jpeg}) {
    for (size_t n = 0; n + 1 < whole->size(); ++n) {
      std::vector<uint8_t> cut(whole->begin(), whole->begin() + static_cast<long>(n));
      const int32_t result = SpriteCatch(1, cut);
      // A JPEG cut inside its entropy-coded data is still a (grey-filled) picture.
      if (whole != &jpeg || n < 200) {
        EXPECT_EQ(result, 0) << n;
        EXPECT_EQ(media::ImageFind(1), nullptr);
      }
    }
  }
  // Headers that lie.
  auto patched = [&](size_t at, uint32_t value) {
    std::vector<uint8_t> v = bmp;
    Put32(v, at, value);
    return v;
  };
  EXPECT_EQ(SpriteCatch(1, patched(18, 0x7FFFFFFF)), 0);  // width
  EXPECT_EQ(SpriteCatch(1, patched(22, 0x80000000)), 0);  // height
  EXPECT_EQ(SpriteCatch(1, patched(18, 0)), 0);
  EXPECT_EQ(SpriteCatch(1, patched(22, 0)), 0);
  EXPECT_EQ(SpriteCatch(1, patched(10, 0xFFFFFFF0)), 0);  // pixel offset
  EXPECT_EQ(SpriteCatch(1, patched(14, 0xFFFFFFF0)), 0);  // header size
  EXPECT_EQ(SpriteCatch(1, patched(28, 7)), 0);           // bits per pixel
  EXPECT_EQ(SpriteCatch(1, patched(30, 3)), 0);           // bit fields
  EXPECT_EQ(SpriteCatch(1, patched(46, 100000)), 0);      // colour table beyond the data
  std::vector<uint8_t> hugePng = png;
  hugePng[16] = 0x7F;  // width far beyond the limit (the header checksum is wrong too)
  EXPECT_EQ(SpriteCatch(1, hugePng), 0);
  std::vector<uint8_t> badCrc = png;
  badCrc[png.size() - 20] ^= 0xFF;
  EXPECT_EQ(SpriteCatch(1, badCrc), 0);
  std::mt19937 random(42);
  for (int i = 0; i < 2000; ++i) {
    std::vector<uint8_t> noise(random() % 200);
    for (auto& b : noise) b = static_cast<uint8_t>(random());
    if (i % 3 == 0 && noise.size() >= 2) noise[0] = 'B', noise[1] = 'M';
    EXPECT_EQ(SpriteCatch(1, noise), 0);
  }
  EXPECT_EQ(media::ImageFind(1), nullptr);
  // Without a screen there is no format to convert to.
  ScreenClose();
  EXPECT_EQ(SpriteCatch(1, SolidBmp(4, 0xFFFFFF)), 0);
}

}  // namespace
