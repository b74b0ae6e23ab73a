// The music library as the program uses it: load, play, volume, stop and the
// end hook, with the output thread feeding the mixer's ring on the headless
// platform. And the built-in tune, rendered and measured.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <fstream>
#include <iterator>
#include <thread>

#include "media/module_player.h"
#include "media/music.h"
#include "platform/headless.h"
#include "tests/media/music_test_builder.h"

namespace {

std::vector<uint8_t> Tune() {
  std::ifstream in(SKIRMORA_SOURCE_DIR "/assets/tune.mxm", std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

int16_t Peak(const std::vector<int16_t>& v) {
  int16_t m = 0;
  for (int16_t s : v) m = std::max<int16_t>(m, static_cast<int16_t>(std::abs(s)));
  return m;
}

// Plays more than one ring in pieces, giving the thread time to refill behind
// the play position, then returns the peak of what plays next: all of it
// rendered after the call.
int16_t PeakAfterRefill(platform::HeadlessPlatform& hp) {
  for (int i = 0; i < 4; ++i) {
    hp.PullAudio(6000);
    std::this_thread::sleep_for(std::chrono::milliseconds(70));
  }
  return Peak(hp.PullAudio(6000));
}

TEST(MusicLibrary, CatchPlayStopAndEnd) {
  platform::HeadlessPlatform& hp = platform::UseHeadless();
  musictest::Module m;
  m.instruments.push_back(musictest::SquareInstrument());
  m.patterns[0].cells.push_back({0, 0, 49, 1});
  const std::vector<uint8_t> good = musictest::Build(m);
  std::vector<uint8_t> bad = good;
  bad[0] = 'N';

  EXPECT_EQ(MusicCatch(bad), 0);
  EXPECT_EQ(MusicPlay(), 0);  // nothing loaded
  ASSERT_EQ(MusicCatch(good), 1);
  // Silence until played; the thread fills behind the play position.
  EXPECT_EQ(PeakAfterRefill(hp), 0);

  EXPECT_EQ(MusicPlay(), 1);
  EXPECT_EQ(MusicPlay(), 0);  // already playing
  MusicVolume(100);
  const int16_t loud = PeakAfterRefill(hp);
  EXPECT_GT(loud, 1000);

  MusicVolume(50);
  const int16_t half = PeakAfterRefill(hp);
  EXPECT_NEAR(half * 2, loud, 200);

  MusicStop();
  EXPECT_EQ(PeakAfterRefill(hp), 0);

  const auto t0 = std::chrono::steady_clock::now();
  MusicEnd();
  EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(500));
  EXPECT_EQ(MusicPlay(), 0);
  MusicEnd();  // twice is harmless
}

TEST(MusicLibrary, NoAudioMeansNoMusic) {
  platform::HeadlessPlatform& hp = platform::UseHeadless();
  hp.SetAudioAvailable(false);
  EXPECT_EQ(MusicCatch(Tune()), 0);
  EXPECT_EQ(MusicPlay(), 0);
  MusicEnd();
}

// 60 seconds of the built-in tune: it plays, loops, stays within the limit
// without long clipping bursts, and has no silent gaps.
TEST(MusicLibrary, BuiltInTuneSoundsLikeMusic) {
  const std::vector<uint8_t> tune = Tune();
  ASSERT_FALSE(tune.empty());
  auto player = std::make_unique<ModulePlayer>();
  ModuleData d;
  ASSERT_TRUE(ModuleLoad(tune, &d));
  ModulePlayerInit(*player, std::move(d));
  ModulePlayerPlay(*player, 0);
  constexpr int kFrames = 44100 * 60;
  std::vector<int16_t> out(2 * static_cast<size_t>(kFrames));
  ModulePlayerRender(*player, out.data(), kFrames);
  // Levels per 100 ms window.
  int quiet = 0;
  int longestClipRun = 0, run = 0;
  double sum = 0;
  for (int w = 0; w < kFrames / 4410; ++w) {
    double e = 0;
    for (int i = w * 4410 * 2; i < (w + 1) * 4410 * 2; ++i) {
      e += static_cast<double>(out[i]) * out[i];
      run = std::abs(out[i]) >= 32500 ? run + 1 : 0;
      longestClipRun = std::max(longestClipRun, run);
    }
    const double rms = std::sqrt(e / (4410 * 2));
    sum += rms;
    if (rms < 100) ++quiet;
  }
  const double meanRms = sum / (kFrames / 4410);
  EXPECT_GT(meanRms, 1500);
  EXPECT_LT(meanRms, 20000);
  EXPECT_LE(quiet, 2);  // at most the very start
  EXPECT_LT(longestClipRun, 64);
}

}  // namespace
