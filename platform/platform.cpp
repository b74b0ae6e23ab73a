#include "platform/platform.h"

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

}  // namespace platform
