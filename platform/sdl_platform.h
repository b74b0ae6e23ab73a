#pragma once
#include <memory>

#include "platform/platform.h"

namespace platform {

// The platform over SDL2; null when SDL2 cannot start at all.
std::unique_ptr<Platform> MakeSdlPlatform();

}  // namespace platform
