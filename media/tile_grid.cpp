#include "media/tile_grid.h"

#include <algorithm>

namespace media {

void TileGrid::Reset(int width, int height) {
  width_ = std::max(width, 0);
  height_ = std::max(height, 0);
  columns_ = (width_ + kSide - 1) / kSide;
  rows_ = (height_ + kSide - 1) / kSide;
  marks_.assign(static_cast<size_t>(columns_) * static_cast<size_t>(rows_), 0);
}

void TileGrid::Clear() {
  std::fill(marks_.begin(), marks_.end(), 0);
}

void TileGrid::MarkAll() {
  std::fill(marks_.begin(), marks_.end(), 1);
}

void TileGrid::Add(const TileGrid& other) {
  if (other.marks_.size() != marks_.size()) {
    MarkAll();
    return;
  }
  for (size_t i = 0; i < marks_.size(); ++i) marks_[i] |= other.marks_[i];
}

bool TileGrid::Any() const {
  return std::any_of(marks_.begin(), marks_.end(), [](uint8_t m) { return m != 0; });
}

bool TileGrid::All() const {
  return std::all_of(marks_.begin(), marks_.end(), [](uint8_t m) { return m != 0; });
}

platform::Rect TileGrid::TileRect(int column, int row) const {
  const int x = column * kSide, y = row * kSide;
  return platform::Rect{x, y, std::min(kSide, width_ - x), std::min(kSide, height_ - y)};
}

platform::Rect TileGrid::Cover() const {
  platform::Rect cover;
  for (int r = 0; r < rows_; ++r) {
    for (int c = 0; c < columns_; ++c) {
      if (Marked(c, r)) cover = platform::UnionRect(cover, TileRect(c, r));
    }
  }
  return cover;
}

void TileGrid::Parts(std::vector<platform::Rect>& out) const {
  out.clear();
  // Runs of the row above still open for joining, as indexes into out.
  std::vector<size_t> open, next;
  for (int r = 0; r < rows_; ++r) {
    next.clear();
    ForEachRun(r, [&](const platform::Rect& run) {
      for (size_t i : open) {
        platform::Rect& above = out[i];
        if (above.x == run.x && above.width == run.width) {
          above.height = run.y + run.height - above.y;
          next.push_back(i);
          return;
        }
      }
      out.push_back(run);
      next.push_back(out.size() - 1);
    });
    open.swap(next);
  }
}

}  // namespace media
