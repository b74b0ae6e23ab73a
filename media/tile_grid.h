#pragma once
// A grid of square tiles over a picture, each tile marked or not: where a
// frame has drawn, what a present must look at, which tiles hold something
// other than a kept background. Internal to media/.

#include <cstdint>
#include <vector>

#include "platform/platform.h"

namespace media {

class TileGrid {
 public:
  static constexpr int kSide = 32;  // pixels per tile side

  // A grid over a width x height picture with no tile marked.
  void Reset(int width, int height);
  void Clear();
  void MarkAll();
  // Marks every tile that meets the rectangle (the part outside the picture
  // is ignored).
  void Mark(int x, int y, int width, int height) {
    ForEachTile(x, y, width, height, [this](int column, int row) { Mark(column, row); });
  }
  // Calls f(column, row) for every tile that meets the rectangle, row by row.
  template <class F>
  void ForEachTile(int x, int y, int width, int height, F f) const {
    if (width <= 0 || height <= 0) return;
    const int64_t left = x < 0 ? 0 : x;
    const int64_t top = y < 0 ? 0 : y;
    const int64_t right =
        static_cast<int64_t>(x) + width < width_ ? static_cast<int64_t>(x) + width : width_;
    const int64_t bottom =
        static_cast<int64_t>(y) + height < height_ ? static_cast<int64_t>(y) + height : height_;
    if (right <= left || bottom <= top) return;
    for (int r = static_cast<int>(top / kSide); r <= static_cast<int>((bottom - 1) / kSide); ++r) {
      for (int c = static_cast<int>(left / kSide); c <= static_cast<int>((right - 1) / kSide);
           ++c) {
        f(c, r);
      }
    }
  }
  void Mark(int column, int row) { marks_[Index(column, row)] = 1; }
  void Unmark(int column, int row) { marks_[Index(column, row)] = 0; }
  bool Marked(int column, int row) const { return marks_[Index(column, row)] != 0; }
  // Marks every tile that other has marked (grids of the same size).
  void Add(const TileGrid& other);
  bool Any() const;
  bool All() const;

  int Columns() const { return columns_; }
  int Rows() const { return rows_; }
  // The pixels of a tile, cut at the picture's right and bottom edges.
  platform::Rect TileRect(int column, int row) const;
  // The smallest rectangle holding every marked tile; empty when none is.
  platform::Rect Cover() const;
  // Calls f(rect) for each run of marked tiles in a row of tiles, rect being
  // the run's pixels.
  template <class F>
  void ForEachRun(int row, F f) const {
    for (int c = 0; c < columns_;) {
      if (!Marked(c, row)) {
        ++c;
        continue;
      }
      int end = c + 1;
      while (end < columns_ && Marked(end, row)) ++end;
      const platform::Rect first = TileRect(c, row);
      const platform::Rect last = TileRect(end - 1, row);
      f(platform::Rect{first.x, first.y, last.x + last.width - first.x, first.height});
      c = end;
    }
  }
  // Rectangles holding exactly the marked tiles: the runs of marked tiles in
  // each row of tiles, a run joined with the one below when they span the
  // same columns.
  void Parts(std::vector<platform::Rect>& out) const;

 private:
  size_t Index(int column, int row) const {
    return static_cast<size_t>(row) * static_cast<size_t>(columns_) + static_cast<size_t>(column);
  }
  int width_ = 0, height_ = 0;
  int columns_ = 0, rows_ = 0;
  std::vector<uint8_t> marks_;
};

}  // namespace media
