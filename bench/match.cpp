// Times the local game on the headless platform: start-up until the first
// frame is presented, and whole match frames (rules, composition and
// presentation copy) with both players turning and firing.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "game/records.h"
#include "game/skirmora.h"
#include "platform/headless.h"
#include "runtime/program.h"

namespace {

double NowMs() {
  using Clock = std::chrono::steady_clock;
  return std::chrono::duration<double, std::milli>(Clock::now().time_since_epoch()).count();
}

double Median(std::vector<double> values) {
  if (values.empty()) return 0.0;
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main() {
  using namespace game;
  std::vector<double> startups;
  std::vector<double> frames;
  for (int run = 0; run < 3; ++run) {
    platform::HeadlessPlatform& hp = platform::UseHeadless();
    hp.SetExecutablePath("/nonexistent/skirmora");
    double t0 = NowMs();
    ProgramStart(SkirmoraHooks());
    if (!SkirmoraStart()) {
      std::printf("startup failed\n");
      return 1;
    }
    SkirmoraFrame();
    startups.push_back(NowMs() - t0);

    SkirmoraState& s = SkirmoraGameState();
    // Leave the splash, start a match from the menu.
    for (int i = 0; s.screen != Screen::Match && i < 2000; ++i) {
      hp.SetKey(kKeyEsc, s.screen == Screen::Splash && i == 0);
      hp.SetKey(kKeyEnter, s.screen == Screen::Menu && i % 2 == 0);
      SkirmoraFrame();
    }
    hp.ReleaseAllKeys();
    for (int i = 0; i < 600 && s.screen == Screen::Match; ++i) {
      hp.SetKey(kKeyLeft, i % 100 < 60);
      hp.SetKey(kKeyRightCtrl, i % 10 < 2);
      hp.SetKey(kKeyD, i % 80 < 30);
      hp.SetKey(kKeyLeftCtrl, i % 14 < 3);
      double f0 = NowMs();
      SkirmoraFrame();
      frames.push_back(NowMs() - f0);
    }
    ProgramRunEndHooks();
  }
  std::printf("startup_to_first_frame: %.2f ms\n", Median(startups));
  std::printf("match_frame_median: %.3f ms\n", Median(frames));
  // Most frames redraw only what moved; the mean counts the frames in which
  // the clouds moved as well, and is what the processor spends per frame.
  double sum = 0.0;
  for (double f : frames) sum += f;
  if (!frames.empty()) {
    std::printf("match_frame_mean: %.3f ms\n", sum / static_cast<double>(frames.size()));
  }
  std::sort(frames.begin(), frames.end());
  if (!frames.empty()) {
    std::printf("match_frame_p95: %.3f ms\n", frames[frames.size() * 95 / 100]);
  }
  return 0;
}
