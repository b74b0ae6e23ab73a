// Cost of the audio callback: six looped sound voices at different rates
// (the game's engines, shots and hits), with and without the music stream,
// mixed in device-sized pieces on the headless platform.
#include "media/mixer.h"

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "media/sound.h"
#include "platform/headless.h"

namespace {

std::vector<uint8_t> MakeWav(uint32_t rate, size_t frames) {
  std::vector<uint8_t> w;
  auto put = [&](uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) w.push_back(static_cast<uint8_t>(v >> (8 * i)));
  };
  auto tag = [&](const char* t) {
    for (int i = 0; i < 4; ++i) w.push_back(static_cast<uint8_t>(t[i]));
  };
  tag("RIFF");
  put(static_cast<uint32_t>(36 + frames), 4);
  tag("WAVE");
  tag("fmt ");
  put(16, 4);
  put(1, 2);
  put(1, 2);
  put(rate, 4);
  put(rate, 4);
  put(1, 2);
  put(8, 2);
  tag("data");
  put(static_cast<uint32_t>(frames), 4);
  for (size_t i = 0; i < frames; ++i) {
    w.push_back(
        static_cast<uint8_t>(128 + std::lrint(100 * std::sin(0.05 * static_cast<double>(i)))));
  }
  return w;
}

// Seconds of processor time to mix `seconds` of output.
double TimeMixing(platform::HeadlessPlatform& twin, int seconds) {
  constexpr int kPiece = 1024;  // frames per device callback
  const int pieces = seconds * platform::kAudioRate / kPiece;
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < pieces; ++i) twin.PullAudio(kPiece);
  const auto end = std::chrono::steady_clock::now();
  return std::chrono::duration<double>(end - start).count();
}

}  // namespace

int main() {
  platform::HeadlessPlatform& twin = platform::UseHeadless();
  SoundStart();
  SoundSystemInit();
  const uint32_t rates[] = {22050, 22050, 8000, 8000, 8000, 8000};
  const int32_t playRates[] = {30000, 48000, 80000, 11000, 60000, 30000};
  const size_t lengths[] = {29944, 29944, 15597, 15597, 4355, 4355};
  for (int n = 0; n < 6; ++n) {
    SoundCatch(n + 1, MakeWav(rates[n], lengths[n]));
    SoundRate(n + 1, playRates[n]);
    SoundVolume(n + 1, 30 + 10 * n);
    SoundPlay(n + 1, 1);
  }
  constexpr int kSeconds = 20;
  TimeMixing(twin, 1);  // warm up
  const double voices = TimeMixing(twin, kSeconds) / kSeconds;
  std::printf("mixer_six_voices: %.3f %% of one core\n", voices * 100);

  MixerMusicAttach();
  const double withMusic = TimeMixing(twin, kSeconds) / kSeconds;
  std::printf("mixer_six_voices_and_music: %.3f %% of one core\n", withMusic * 100);
  MixerMusicDetach();
  SoundEnd();
  return 0;
}
