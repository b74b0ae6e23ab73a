#include "platform/platform.h"

#include <SDL.h>

#include <cstdio>
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

bool UseSdlOrReport(const std::string& program) {
  if (UseSdl()) return true;
  std::fprintf(stderr, "%s: SDL2 could not start (%s); nothing can be shown.\n", program.c_str(),
               SDL_GetError());
  return false;
}

}  // namespace platform
