// How strong the computer opponent is at each of its three skills: how many of
// 100 matches it wins against a scripted good pilot (the one the game's
// scenario tests fly: it turns towards the other plane and fires short bursts
// when its nose points at it), and how long it takes to down a red plane that
// does nothing. Matches run on the game's frame rules at 60 frames a second
// without drawing; hits are tested on the game's own pictures.
#include "game/opponent.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "game/passes.h"
#include "game/skirmora.h"
#include "platform/headless.h"
#include "runtime/program.h"

namespace {

using namespace game;

constexpr int kFps = 60;
constexpr int kMatches = 100;
// A match that nobody has won after three minutes counts as a draw.
constexpr int kLimit = 180 * kFps;

// The scripted good pilot: turns towards the other plane when it points more
// than 3 degrees away and fires in bursts when within 12 degrees.
PlayerKeys GoodPilot(const PlaneState& me, const PlaneState& other, int frame, bool wasFiring) {
  float dx = other.x - me.x;
  float dy = other.y - me.y;
  float target = std::atan2(dy, dx) * 180.0f / 3.14159265f;
  float diff = std::fmod(target - me.heading + 540.0f, 360.0f) - 180.0f;
  PlayerKeys keys;
  keys.turnLeft = diff < -3.0f;
  keys.turnRight = diff > 3.0f;
  keys.fireHeld = std::fabs(diff) < 12.0f && frame % 6 < 3;
  keys.fireReleased = wasFiring && !keys.fireHeld;
  return keys;
}

struct Outcome {
  int32_t downed = 0;  // 0 when the limit came first
  int frames = 0;
};

Outcome Play(uint32_t seed, int32_t skill, bool goodPilot) {
  PlaneState planes[2];
  MatchState match;
  SkirmoraLists lists;
  ListNew(lists.shots);
  ListNew(lists.blasts);
  ListNew(lists.smoke);
  FrameClock clock{160.0f, 63, 63, 0, 0.0f};
  PlaneReset(planes[0], 0);
  PlaneReset(planes[1], 1);
  OpponentState op;
  OpponentStart(op, seed, skill);
  Outcome out;
  bool redFiring = false;
  for (; out.frames < kLimit && match.downedPlayer == 0; ++out.frames) {
    const uint32_t ms = static_cast<uint32_t>(out.frames * 1000 / kFps);
    FrameClockTick(
        clock, [ms] { return ms; }, true, planes);
    PlayerKeys keys[2];
    if (goodPilot) keys[0] = GoodPilot(planes[0], planes[1], out.frames, redFiring);
    redFiring = keys[0].fireHeld;
    keys[1] = OpponentKeys(op, OpponentLook(planes, match, lists.shots));
    MatchRulesFrame(planes, match, lists, keys, clock.movementFactor, MediaEffects());
  }
  ListClear(lists.shots);
  ListClear(lists.blasts);
  ListClear(lists.smoke);
  out.downed = match.downedPlayer;
  return out;
}

}  // namespace

int main() {
  platform::HeadlessPlatform& hp = platform::UseHeadless();
  hp.SetExecutablePath("/nonexistent/skirmora");
  ProgramStart(SkirmoraHooks());
  if (!SkirmoraStart()) {
    std::printf("startup failed\n");
    return 1;
  }
  const char* names[] = {"", "easy", "normal", "hard"};
  for (int32_t skill = 1; skill <= 3; ++skill) {
    int wins = 0;
    int losses = 0;
    std::vector<double> idle;
    for (uint32_t seed = 1; seed <= kMatches; ++seed) {
      const Outcome o = Play(seed, skill, true);
      wins += o.downed == 1 ? 1 : 0;
      losses += o.downed == 2 ? 1 : 0;
      const Outcome passive = Play(seed, skill, false);
      idle.push_back(passive.downed == 1 ? static_cast<double>(passive.frames) / kFps : 999.0);
    }
    std::sort(idle.begin(), idle.end());
    std::printf("opponent_%s_wins_vs_good_pilot: %d of %d (lost %d, drawn %d)\n", names[skill],
                wins, kMatches, losses, kMatches - wins - losses);
    std::printf("opponent_%s_downs_idle_plane: %.1f s median (%.1f .. %.1f)\n", names[skill],
                (idle[kMatches / 2 - 1] + idle[kMatches / 2]) / 2.0, idle.front(), idle.back());
  }
  ProgramRunEndHooks();
  return 0;
}
