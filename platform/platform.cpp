#include "platform/platform.h"

#include <SDL.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "platform/headless.h"
#include "platform/sdl_platform.h"

namespace platform {
namespace {

std::unique_ptr<Platform>& Slot() {
  static std::unique_ptr<Platform> current;
  return current;
}

}  // namespace

Platform& Current() {
  auto& slot = Slot();
  if (!slot) slot = std::make_unique<HeadlessPlatform>();
  return *slot;
}

HeadlessPlatform& UseHeadless() {
  auto fresh = std::make_unique<HeadlessPlatform>();
  HeadlessPlatform& ref = *fresh;
  Slot() = std::move(fresh);
  return ref;
}

bool UseSdl() {
  auto sdl = MakeSdlPlatform();
  if (!sdl) return false;
  Slot() = std::move(sdl);
  return true;
}

namespace {

// The part of a inside b; empty (all 0) when they do not meet.
Rect Intersection(const Rect& a, const Rect& b) {
  const int64_t left = std::max(a.x, b.x);
  const int64_t top = std::max(a.y, b.y);
  const int64_t right =
      std::min(static_cast<int64_t>(a.x) + a.width, static_cast<int64_t>(b.x) + b.width);
  const int64_t bottom =
      std::min(static_cast<int64_t>(a.y) + a.height, static_cast<int64_t>(b.y) + b.height);
  if (a.width <= 0 || a.height <= 0 || right <= left || bottom <= top) return Rect{};
  return Rect{static_cast<int>(left), static_cast<int>(top), static_cast<int>(right - left),
              static_cast<int>(bottom - top)};
}

}  // namespace

Rect ChangedPart(const PresentRequest& request) {
  return Intersection(request.changed, Rect{0, 0, request.width, request.height});
}

std::vector<Rect> ChangedParts(const PresentRequest& request) {
  const Rect all = ChangedPart(request);
  std::vector<Rect> out;
  if (all.width <= 0 || all.height <= 0) return out;
  if (request.parts == nullptr || request.partCount <= 0) {
    out.push_back(all);
    return out;
  }
  for (int i = 0; i < request.partCount; ++i) {
    const Rect part = Intersection(request.parts[i], all);
    if (part.width > 0) out.push_back(part);
  }
  return out;
}

Rect UnionRect(const Rect& a, const Rect& b) {
  if (a.width <= 0 || a.height <= 0) return b;
  if (b.width <= 0 || b.height <= 0) return a;
  const int64_t left = std::min(a.x, b.x);
  const int64_t top = std::min(a.y, b.y);
  const int64_t right =
      std::max<int64_t>(static_cast<int64_t>(a.x) + a.width, static_cast<int64_t>(b.x) + b.width);
  const int64_t bottom =
      std::max<int64_t>(static_cast<int64_t>(a.y) + a.height, static_cast<int64_t>(b.y) + b.height);
  const int64_t most = PresentRequest::kWholePicture;
  return Rect{static_cast<int>(left), static_cast<int>(top),
              static_cast<int>(std::min(right - left, most)),
              static_cast<int>(std::min(bottom - top, most))};
}

int WindowScaleFor(const Rect& desktop, float dpi, int width, int height) {
  if (width <= 0 || height <= 0) return 1;
  const int64_t w2 = 2 * static_cast<int64_t>(width);
  const int64_t h2 = 2 * static_cast<int64_t>(height);
  const bool fits = desktop.width >= w2 && desktop.height >= h2;
  const bool roomy = desktop.width >= w2 + w2 / 10 && desktop.height >= h2 + h2 / 10;
  return roomy || (fits && dpi >= 144.0f) ? 2 : 1;
}

bool VideoDriverIsInvisible(const char* driver, const char* asked) {
  if (driver == nullptr) return false;
  if (std::strcmp(driver, "offscreen") != 0 && std::strcmp(driver, "dummy") != 0) return false;
  // Asked for by name (alone or in a list of drivers to try): then it is wanted.
  return asked == nullptr || std::strstr(asked, driver) == nullptr;
}

bool UseSdlOrReport(const std::string& program) {
  if (!UseSdl()) {
    std::fprintf(stderr, "%s: SDL2 could not start (%s); nothing can be shown.\n", program.c_str(),
                 SDL_GetError());
    return false;
  }
  // Without a display SDL2 falls back to a video driver that shows nothing,
  // and the program would run unseen until killed. The video subsystem stays
  // started for the platform, which starts it again (counted) on first use.
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0 ||
      VideoDriverIsInvisible(SDL_GetCurrentVideoDriver(), std::getenv("SDL_VIDEODRIVER"))) {
    std::fprintf(
        stderr,
        "%s: found no display (is DISPLAY or WAYLAND_DISPLAY set?); nothing can be shown.\n",
        program.c_str());
    UseHeadless();
    return false;
  }
  return true;
}

}  // namespace platform
