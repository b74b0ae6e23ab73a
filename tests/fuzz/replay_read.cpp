// Feeds arbitrary text to the replay reader. Besides finding crashes and
// undefined behaviour, it checks that a refusal always gives a one-line
// reason, and that a replay it accepts, written out again, reads back as
// the same text.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "game/replay.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  game::Replay replay;
  std::string error;
  if (!game::ReplayRead(text, &replay, &error)) {
    if (error.empty() || error.find('\n') != std::string::npos) abort();
    return 0;
  }
  if (replay.frames.size() > game::kReplayMostFrames) abort();
  const std::string written = game::ReplayText(replay);
  game::Replay again;
  if (!game::ReplayRead(written, &again, &error)) abort();
  if (game::ReplayText(again) != written) abort();
  return 0;
}
