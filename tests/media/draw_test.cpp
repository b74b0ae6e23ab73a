#include "media/draw.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "media/display.h"
#include "media/sprites.h"
#include "media/surface.h"
#include "platform/font.h"
#include "platform/headless.h"

namespace {

constexpr int32_t Rgb(int r, int g, int b) {
  return r | g << 8 | b << 16;
}

class DrawTest : public ::testing::Test {
 protected:
  void Open(int depth) {
    os_ = &platform::UseHeadless();
    ASSERT_NE(SpriteSystemInit(), 0);
    DrawSystemInit();
    ASSERT_NE(ScreenOpen(320, 200, depth, "t"), 0);
    ScreenClear(0, 0, 255);
    background_ = ScreenPixelValue(0, 0, 255);
  }
  void SetUp() override { Open(32); }
  void TearDown() override {
    DrawEndHook();
    DisplayEndHook();
  }

  static uint32_t At(const media::Surface& s, int x, int y) { return s.Pixel(x, y); }
  uint32_t Screen(int x, int y) { return At(*media::DisplayBackBuffer(), x, y); }
  // Pixels of the back buffer inside / outside a rectangle that differ from the background.
  int Changed(int x0, int y0, int x1, int y1, bool inside) {
    const media::Surface& s = *media::DisplayBackBuffer();
    int n = 0;
    for (int y = 0; y < s.height; ++y) {
      for (int x = 0; x < s.width; ++x) {
        const bool in = x >= x0 && x < x1 && y >= y0 && y < y1;
        if (in == inside && At(s, x, y) != background_) ++n;
      }
    }
    return n;
  }

  platform::HeadlessPlatform* os_ = nullptr;
  uint32_t background_ = 0;
};

TEST_F(DrawTest, BoxesCoverExactlyTheirPixelsAndClip) {
  ASSERT_NE(DrawBegin(ScreenOutput()), 0);
  DrawBox(5, 6, 1, 1, Rgb(255, 0, 0));
  EXPECT_EQ(Changed(0, 0, 0, 0, false), 1);
  EXPECT_EQ(Screen(5, 6), 0xFF0000u);
  DrawBox(10, 20, 64, 30);  // in the current colour
  EXPECT_EQ(Changed(10, 20, 74, 50, true), 64 * 30);
  EXPECT_EQ(Changed(10, 20, 74, 50, false), 1);
  // Boxes over every edge are clipped.
  DrawBox(-5, -5, 10, 10, Rgb(0, 255, 0));
  DrawBox(315, 195, 100, 100);
  DrawBox(INT32_MIN, INT32_MIN, 3, 3);
  DrawBox(INT32_MAX, 0, INT32_MAX, 3);
  EXPECT_EQ(Screen(0, 0), 0x00FF00u);
  EXPECT_EQ(Screen(4, 4), 0x00FF00u);
  EXPECT_EQ(Screen(5, 5), background_);
  EXPECT_EQ(Screen(319, 199), 0x00FF00u);
  EXPECT_EQ(Changed(315, 195, 320, 200, true), 25);
  DrawBox(100, 100, 0, 5);
  DrawBox(100, 100, -3, 5);
  EXPECT_EQ(Screen(100, 100), background_);
  DrawEnd();
  DrawBox(200, 100, 5, 5, Rgb(1, 1, 1));  // no bracket: nothing
  EXPECT_EQ(Screen(200, 100), background_);
}

TEST_F(DrawTest, OutlineOnlyAndInvertModes) {
  ASSERT_NE(DrawBegin(ScreenOutput()), 0);
  DrawMode(kDrawOutlineOnly);
  DrawBox(10, 10, 5, 4, Rgb(255, 255, 255));
  EXPECT_EQ(Screen(10, 10), 0xFFFFFFu);
  EXPECT_EQ(Screen(14, 13), 0xFFFFFFu);
  EXPECT_EQ(Screen(12, 11), background_);  // interior untouched
  EXPECT_EQ(Changed(10, 10, 15, 14, true), 14);
  DrawMode(kDrawInvert | kDrawOutlineOnly);
  DrawBox(10, 10, 5, 4);
  EXPECT_EQ(Screen(10, 10), 0u);  // white inverted
  EXPECT_EQ(Screen(12, 13), 0u);
  DrawBox(20, 10, 3, 3);
  EXPECT_EQ(Screen(20, 10), 0xFFFF00u);  // blue inverted
  EXPECT_EQ(Screen(21, 11), background_);
  DrawEnd();
}

TEST_F(DrawTest, PixelsTakeTheCurrentColourBoxesThePenAndBrush) {
  ASSERT_NE(DrawBegin(ScreenOutput()), 0);
  DrawColour(255, 0, 0);
  DrawEnd();
  // A new bracket selects the black pen and brush again, but the current
  // colour survives and is what a single pixel is set to.
  ASSERT_NE(DrawBegin(ScreenOutput()), 0);
  DrawBox(0, 0, 1, 1);
  DrawBox(10, 10, 4, 4);
  EXPECT_EQ(Screen(0, 0), 0xFF0000u);
  EXPECT_EQ(Screen(10, 10), 0u);
  EXPECT_EQ(Screen(11, 11), 0u);
  // A colour chosen while boxes are outline-only changes the pen, not the
  // brush that filling selects again.
  DrawMode(kDrawOutlineOnly);
  DrawColour(0, 255, 0);
  DrawMode(0);
  DrawBox(20, 10, 4, 4);
  EXPECT_EQ(Screen(20, 10), 0x00FF00u);
  EXPECT_EQ(Screen(21, 11), 0u);
  DrawColour(255, 255, 0);
  DrawBox(30, 10, 4, 4);
  EXPECT_EQ(Screen(31, 11), 0xFFFF00u);
  DrawEnd();
}

TEST_F(DrawTest, SpriteTargetFillsTheWholeImageOnA16BitScreen) {
  Open(16);
  ASSERT_NE(SpriteCreate(600, 64, 64, kSpriteModeTexture), 0);
  ASSERT_NE(SpriteCreate(601, 64, 64), 0);
  ASSERT_NE(DrawBegin(SpriteOutput(600)), 0);
  EXPECT_EQ(SpriteOutput(601).kind, 0);  // one image context at a time
  DrawBox(0, 0, 64, 64, Rgb(8, 8, 8));
  DrawEnd();
  const media::Surface& s = media::ImageFind(600)->surface;
  const uint32_t grey = (1u << 11) | (2u << 5) | 1u;
  int filled = 0;
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 64; ++x) filled += At(s, x, y) == grey;
  EXPECT_EQ(filled, 4096);
  EXPECT_EQ(At(media::ImageFind(601)->surface, 0, 0), 0u);
  EXPECT_NE(SpriteOutput(601).kind, 0);  // given back by DrawEnd
  EXPECT_EQ(Screen(0, 0), background_);
  EXPECT_EQ(SpriteOutput(42).kind, 0);
}

TEST_F(DrawTest, ScreenContextIsHeldOnceUntilDrawEndOrFlip) {
  DrawTarget first = ScreenOutput();
  EXPECT_EQ(first.kind, 7);
  EXPECT_EQ(ScreenOutput().kind, 0);
  ASSERT_NE(DrawBegin(first), 0);
  DrawEnd();
  ASSERT_NE(DrawBegin(ScreenOutput()), 0);
  ScreenFlip();  // gives the context back and ends the bracket
  DrawBox(0, 0, 4, 4, Rgb(255, 0, 0));
  EXPECT_EQ(Screen(0, 0), background_);
  EXPECT_EQ(ScreenOutput().kind, 7);
  EXPECT_EQ(DrawBegin(DrawTarget{}), 0);
}

TEST_F(DrawTest, TextStandsInWhiteCellsAndAdvancesThePosition) {
  int width = 0;
  int height = 0;
  ASSERT_TRUE(platform::FontMeasure("Energie: 100", 14, false, &width, &height));
  ASSERT_NE(DrawBegin(ScreenOutput()), 0);
  DrawLocate(70, 10);
  DrawText("Energie: ");
  DrawText("");  // draws nothing, moves nothing
  DrawText("100");
  DrawEnd();
  // One line of cells, white where no glyph is, in the 20 pixels a line has.
  int cellHeight = 0;
  for (int y = 10; y < 40; ++y) cellHeight += Screen(70, y) != background_;
  EXPECT_GE(cellHeight, 12);
  EXPECT_LE(cellHeight, 20);
  EXPECT_EQ(Screen(69, 12), background_);
  EXPECT_EQ(Screen(70, 10), 0xFFFFFFu);
  int right = 70;
  for (int x = 70; x < 320; ++x) {
    if (Screen(x, 10) != background_) right = x;
  }
  EXPECT_NEAR(right + 1 - 70, width, 3);  // both texts side by side on one line
  int dark = 0;
  for (int y = 10; y < 30; ++y)
    for (int x = 70; x <= right; ++x) dark += Screen(x, y) == 0;
  EXPECT_GT(dark, 20);  // black glyphs
  EXPECT_EQ(Changed(70, 10, right + 1, 10 + cellHeight, false), 0);
}

// Text over the left or right edge shows exactly its part on the screen, in
// both text modes; a text drawn again after many others (so no longer kept
// rendered) looks the same as the first time.
TEST_F(DrawTest, TextClipsAtTheEdgesAndLooksTheSameWhenDrawnAgain) {
  auto drawAt = [&](int x, int y, int32_t mode, const std::string& text) {
    ASSERT_NE(DrawBegin(ScreenOutput()), 0);
    DrawMode(mode);
    DrawBox(319, 199, 1, 1, Rgb(200, 30, 60));
    DrawLocate(x, y);
    DrawText(text);
    DrawEnd();
  };
  auto rows = [&](int y0) {
    std::vector<uint32_t> pixels;
    for (int y = y0; y < y0 + 20; ++y)
      for (int x = 0; x < 320; ++x) pixels.push_back(Screen(x, y));
    return pixels;
  };
  for (int32_t mode : {0, static_cast<int32_t>(kDrawTransparentText)}) {
    ScreenClear(0, 0, 255);
    drawAt(100, 20, mode, "Energie: 100");
    const std::vector<uint32_t> whole = rows(20);
    for (int shift : {-130, -40, 180, 300}) {
      ScreenClear(0, 0, 255);
      drawAt(100 + shift, 20, mode, "Energie: 100");
      const std::vector<uint32_t> moved = rows(20);
      for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 320; ++x) {
          const int from = x - shift;
          const uint32_t want = from >= 0 && from < 320 ? whole[y * 320 + from] : background_;
          ASSERT_EQ(moved[y * 320 + x], want) << "mode " << mode << " shift " << shift;
        }
    }
    for (int n = 0; n < 40; ++n) drawAt(0, 100, mode, "Text " + std::to_string(n));
    ScreenClear(0, 0, 255);
    drawAt(100, 20, mode, "Energie: 100");
    EXPECT_EQ(rows(20), whole) << "mode " << mode;
  }
}

TEST_F(DrawTest, TextColourFollowsBoxesAndResetsWithTheNextBracket) {
  ASSERT_NE(DrawBegin(ScreenOutput()), 0);
  DrawMode(kDrawTransparentText);
  DrawBox(300, 0, 1, 1, Rgb(255, 0, 0));
  DrawLocate(10, 50);
  DrawText("WWW");
  int red = 0;
  int white = 0;
  for (int y = 50; y < 70; ++y) {
    for (int x = 10; x < 60; ++x) {
      red += Screen(x, y) == 0xFF0000u;
      white += Screen(x, y) == 0xFFFFFFu;
    }
  }
  EXPECT_GT(red, 10);
  EXPECT_EQ(white, 0);  // no cells
  // The back buffer's context is still held: a second one is refused.
  EXPECT_EQ(ScreenOutput().kind, 0);
  DrawEnd();
  ASSERT_NE(DrawBegin(ScreenOutput()), 0);
  DrawLocate(10, 100);
  DrawText("WWW");
  int black = 0;
  int cells = 0;
  for (int y = 100; y < 120; ++y) {
    for (int x = 10; x < 60; ++x) {
      black += Screen(x, y) == 0;
      cells += Screen(x, y) == 0xFFFFFFu;
    }
  }
  EXPECT_GT(black, 10);
  EXPECT_GT(cells, 10);  // the mode went back to opaque cells too
  DrawEnd();
}

}  // namespace
