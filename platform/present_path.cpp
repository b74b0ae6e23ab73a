// The choice of presentation path and the changed-rows memory.
#include "platform/present_path.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace platform {

namespace {

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

}  // namespace

bool IsSoftwareGl(const std::string& glRenderer) {
  const std::string r = Lower(glRenderer);
  for (const char* word : {"llvmpipe", "softpipe", "swrast", "software rasterizer", "lavapipe"}) {
    if (r.find(word) != std::string::npos) return true;
  }
  return false;
}

PresentChoice ChoosePresentPath(const std::string& forced, const RendererProbe& probe) {
  PresentChoice c;
  if (forced == "surface") {
    c.path = PresentPath::WindowSurface;
    c.reason = "SKIRMORA_PRESENT=surface asks for it";
    return c;
  }
  if (forced == "renderer") {
    c.path = PresentPath::Renderer;
    c.reason = "SKIRMORA_PRESENT=renderer asks for it";
    return c;
  }
  if (!probe.created) {
    c.path = PresentPath::WindowSurface;
    c.reason = "no accelerated renderer" + (probe.error.empty() ? "" : " (" + probe.error + ")");
    return c;
  }
  if (probe.name == "software" || !probe.accelerated) {
    c.path = PresentPath::WindowSurface;
    c.reason = "the renderer \"" + probe.name + "\" draws in software";
    return c;
  }
  if (IsSoftwareGl(probe.glRenderer)) {
    c.path = PresentPath::WindowSurface;
    c.reason = "the renderer \"" + probe.name + "\" runs on " + probe.glRenderer +
               ", a software rasteriser";
    return c;
  }
  c.path = PresentPath::Renderer;
  c.reason = "the renderer \"" + probe.name + "\" is accelerated" +
             (probe.glRenderer.empty() ? "" : " (" + probe.glRenderer + ")");
  return c;
}

RowSpan FrameMemory::Update(const void* pixels, int width, int height, int pitch, int bytesPerPixel,
                            RowSpan within) {
  RowSpan span;
  if (pixels == nullptr || width <= 0 || height <= 0 || bytesPerPixel <= 0) return span;
  const int rowBytes = width * bytesPerPixel;
  const auto* in = static_cast<const uint8_t*>(pixels);
  const size_t row = static_cast<size_t>(rowBytes);
  if (width != width_ || height != height_ || rowBytes != rowBytes_) {
    width_ = width;
    height_ = height;
    rowBytes_ = rowBytes;
    pixels_.resize(row * static_cast<size_t>(height));
    for (int y = 0; y < height; ++y) {
      std::memcpy(pixels_.data() + row * static_cast<size_t>(y),
                  in + static_cast<size_t>(pitch) * static_cast<size_t>(y), row);
    }
    return RowSpan{0, height};
  }
  span.first = height;
  const int last = std::min(height, within.end);
  for (int y = std::max(0, within.first); y < last; ++y) {
    const uint8_t* now = in + static_cast<size_t>(pitch) * static_cast<size_t>(y);
    uint8_t* was = pixels_.data() + row * static_cast<size_t>(y);
    if (std::memcmp(now, was, row) == 0) continue;
    std::memcpy(was, now, row);
    span.first = std::min(span.first, y);
    span.end = y + 1;
  }
  if (span.end == 0) span.first = 0;
  return span;
}

std::vector<Rect> FrameMemory::UpdateTiles(const void* pixels, int width, int height, int pitch,
                                           int bytesPerPixel, const Rect& within, int tileWidth,
                                           int tileHeight) {
  std::vector<Rect> tiles;
  if (pixels == nullptr || width <= 0 || height <= 0 || bytesPerPixel <= 0 || tileWidth <= 0 ||
      tileHeight <= 0) {
    return tiles;
  }
  const int rowBytes = width * bytesPerPixel;
  const size_t row = static_cast<size_t>(rowBytes);
  const bool fresh = width != width_ || height != height_ || rowBytes != rowBytes_;
  if (fresh) {
    width_ = width;
    height_ = height;
    rowBytes_ = rowBytes;
    pixels_.resize(row * static_cast<size_t>(height));
  }
  // The tiles to look at.
  const int64_t left = fresh ? 0 : std::max(within.x, 0);
  const int64_t top = fresh ? 0 : std::max(within.y, 0);
  const int64_t right =
      fresh ? width : std::min<int64_t>(static_cast<int64_t>(within.x) + within.width, width);
  const int64_t bottom =
      fresh ? height : std::min<int64_t>(static_cast<int64_t>(within.y) + within.height, height);
  if (right <= left || bottom <= top) return tiles;
  const int firstColumn = static_cast<int>(left / tileWidth);
  const int endColumn = static_cast<int>((right + tileWidth - 1) / tileWidth);
  const int firstBand = static_cast<int>(top / tileHeight);
  const int endBand = static_cast<int>((bottom + tileHeight - 1) / tileHeight);
  std::vector<uint8_t> dirty(static_cast<size_t>(endColumn));
  const auto* in = static_cast<const uint8_t*>(pixels);
  for (int band = firstBand; band < endBand; ++band) {
    const int y0 = band * tileHeight;
    const int y1 = std::min(height, y0 + tileHeight);
    std::fill(dirty.begin(), dirty.end(), fresh ? 1 : 0);
    for (int y = y0; y < y1; ++y) {
      const uint8_t* now = in + static_cast<size_t>(pitch) * static_cast<size_t>(y);
      uint8_t* was = pixels_.data() + row * static_cast<size_t>(y);
      for (int i = firstColumn; i < endColumn; ++i) {
        const size_t at = static_cast<size_t>(i) * static_cast<size_t>(tileWidth) *
                          static_cast<size_t>(bytesPerPixel);
        const size_t bytes = static_cast<size_t>(std::min(tileWidth, width - i * tileWidth)) *
                             static_cast<size_t>(bytesPerPixel);
        // Rows of a tile above its first difference are the same already.
        if (!dirty[static_cast<size_t>(i)]) {
          if (std::memcmp(was + at, now + at, bytes) == 0) continue;
          dirty[static_cast<size_t>(i)] = 1;
        }
        std::memcpy(was + at, now + at, bytes);
      }
    }
    for (int i = firstColumn; i < endColumn; ++i) {
      if (!dirty[static_cast<size_t>(i)]) continue;
      const int x = i * tileWidth;
      const int w = std::min(tileWidth, width - x);
      if (!tiles.empty() && tiles.back().y == y0 && tiles.back().x + tiles.back().width == x) {
        tiles.back().width += w;
      } else {
        tiles.push_back(Rect{x, y0, w, y1 - y0});
      }
    }
  }
  return tiles;
}

}  // namespace platform
