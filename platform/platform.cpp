#include "platform/platform.h"

#include <SDL.h>

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
