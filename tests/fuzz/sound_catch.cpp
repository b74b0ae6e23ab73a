// Feeds arbitrary bytes to SoundCatch. Whatever loads is played briefly at an
// odd rate, looped and once, so the mixer walks every accepted format.
#include <cstddef>
#include <cstdint>
#include <span>

#include "media/sound.h"
#include "platform/headless.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static platform::HeadlessPlatform& twin = []() -> platform::HeadlessPlatform& {
    platform::HeadlessPlatform& t = platform::UseHeadless();
    SoundStart();
    SoundSystemInit();
    return t;
  }();
  std::span<const uint8_t> bytes(data, size);
  if (SoundCatch(7, bytes) != 0) {
    SoundRate(7, 100000);
    SoundPlay(7, 1);
    twin.PullAudio(300);
    SoundRate(7, 137);
    SoundPlay(7, 0);
    twin.PullAudio(300);
    SoundStop(-1);
  }
  return 0;
}
