// The tile grid: marking rectangles, and the parts a present is told about.

#include "media/tile_grid.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

// Random marks on grids of awkward sizes: the parts cover exactly the marked
// tiles, none twice, and the cover holds them all.
TEST(TileGridTest, PartsHoldExactlyTheMarkedTiles) {
  std::mt19937 random(5);
  auto pick = [&random](int low, int high) {
    return std::uniform_int_distribution<int>(low, high)(random);
  };
  for (int round = 0; round < 200; ++round) {
    media::TileGrid grid;
    const int width = pick(1, 300), height = pick(1, 200);
    grid.Reset(width, height);
    for (int i = pick(0, 6); i > 0; --i)
      grid.Mark(pick(-50, 320), pick(-50, 220), pick(-5, 120), pick(-5, 90));
    std::vector<int> covered(static_cast<size_t>(width * height), 0);
    std::vector<platform::Rect> parts;
    grid.Parts(parts);
    const platform::Rect cover = grid.Cover();
    for (const platform::Rect& p : parts) {
      ASSERT_TRUE(p.width > 0 && p.height > 0 && p.x >= 0 && p.y >= 0 && p.x + p.width <= width &&
                  p.y + p.height <= height);
      ASSERT_TRUE(p.x >= cover.x && p.y >= cover.y && p.x + p.width <= cover.x + cover.width &&
                  p.y + p.height <= cover.y + cover.height);
      for (int y = p.y; y < p.y + p.height; ++y) {
        for (int x = p.x; x < p.x + p.width; ++x) ++covered[static_cast<size_t>(y * width + x)];
      }
    }
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        const bool marked = grid.Marked(x / media::TileGrid::kSide, y / media::TileGrid::kSide);
        ASSERT_EQ(covered[static_cast<size_t>(y * width + x)], marked ? 1 : 0)
            << "pixel " << x << "," << y << " of round " << round;
      }
    }
    EXPECT_EQ(grid.Any(), !parts.empty());
  }
}

}  // namespace
