// The computer opponent: its keys on made-up pictures, matches against
// scripted red planes played with the game's frame rules (without drawing, so
// that many stay fast), and a one-player match chosen on the game's menu.
#include "game/opponent.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "game/passes.h"
#include "game/skirmora.h"
#include "platform/font.h"
#include "platform/headless.h"
#include "runtime/frame.h"
#include "runtime/program.h"

namespace game {
namespace {

constexpr int kFps = 60;  // the headless platform presents 60 frames a second

OpponentView View(float x, float y, float heading, float fx, float fy, float fheading) {
  OpponentView view;
  view.own = {x, y, heading, 2.54f, false};
  view.foe = {fx, fy, fheading, 2.54f, false};
  return view;
}

// Shows the same picture every frame, but for its own heading, which its turn
// keys change as the game would. Returns the heading after `frames` frames.
float TurnFor(OpponentState& op, OpponentView view, int frames) {
  for (int i = 0; i < frames; ++i) {
    PlayerKeys keys = OpponentKeys(op, view);
    view.own.heading = TurnHeading(view.own.heading, keys.turnLeft, keys.turnRight);
  }
  return view.own.heading;
}

TEST(OpponentKeysTest, TapsFireAndStopsWithSixShotsInTheAir) {
  OpponentState op;
  OpponentStart(op, 5);
  OpponentView view = View(100, 268, 0, 330, 268, 180);
  view.foe.speed = 0.0f;  // hanging still in front of it; every shot stays in the air
  int presses = 0;
  bool heldBefore = false;
  for (int frame = 0; frame < 600; ++frame) {
    view.ownShotsInAir = presses;
    PlayerKeys keys = OpponentKeys(op, view);
    view.own.heading = TurnHeading(view.own.heading, keys.turnLeft, keys.turnRight);
    ASSERT_FALSE(keys.turnLeft && keys.turnRight) << frame;
    ASSERT_FALSE(keys.fireHeld && heldBefore) << "lets go between shots, frame " << frame;
    ASSERT_EQ(keys.fireReleased, heldBefore) << frame;
    presses += keys.fireHeld ? 1 : 0;
    heldBefore = keys.fireHeld;
  }
  EXPECT_EQ(presses, 6);
  // No fire at a downed plane, from a downed plane, or when its plane flies
  // faster than its shots (35 frames a second) and would run into them.
  for (int i = 0; i < 3; ++i) {
    OpponentStart(op, 5);
    view = View(100, 268, 0, 330, 268, 180);
    view.foe.downed = i == 0;
    view.own.downed = i == 1;
    view.own.speed = i == 2 ? 160.0f / 35.0f : 2.54f;
    for (int frame = 0; frame < 100; ++frame) ASSERT_FALSE(OpponentKeys(op, view).fireHeld) << i;
  }
}

TEST(OpponentKeysTest, LeadsTheTargetAcrossEdgesOnWhatItSawAMomentAgo) {
  OpponentState op;
  // Crossing ahead downwards, the red plane is met some 35 degrees ahead (80
  // frames of a shot's flight); coming straight at it, straight on (give or
  // take its aiming error).
  OpponentStart(op, 9);
  float down = TurnFor(op, View(100, 268, 0, 400, 268, 90), 60);
  EXPECT_TRUE(down >= 30.0f && down <= 46.0f) << down;
  OpponentStart(op, 9);
  float along = TurnFor(op, View(100, 268, 0, 400, 268, 180), 60);
  EXPECT_TRUE(along <= 8.0f || along >= 352.0f) << along;
  // 184 pixels ahead across the right edge and coming its way (680 behind
  // seen straight): it flies on rather than turning round.
  OpponentStart(op, 11);
  float across = TurnFor(op, View(700, 268, 0, 20, 268, 180), 40);
  EXPECT_TRUE(across <= 15.0f || across >= 345.0f) << across;
  // Above to the right it turns anticlockwise; when the red plane shows below
  // to the right it goes on so until the picture is kOpponentDelay frames old.
  OpponentStart(op, 3);
  OpponentView view = View(300, 268, 0, 600, 100, 0);
  view.foe.speed = 0.0f;
  view.own.heading = TurnFor(op, view, 10);
  view.foe.y = 440.0f;
  for (int frame = 0; frame <= kOpponentDelay; ++frame) {
    PlayerKeys keys = OpponentKeys(op, view);
    view.own.heading = TurnHeading(view.own.heading, keys.turnLeft, keys.turnRight);
    EXPECT_EQ(keys.turnLeft, frame < kOpponentDelay) << frame;
    EXPECT_EQ(keys.turnRight, frame == kOpponentDelay) << frame;
  }
}

// Its keys over 400 frames against a red plane crossing its way.
std::vector<int> KeySequence(uint32_t seed) {
  OpponentState op;
  OpponentStart(op, seed);
  OpponentView view = View(100, 300, 0, 500, 100, 90);
  std::vector<int> sequence;
  for (int frame = 0; frame < 400; ++frame) {
    PlayerKeys keys = OpponentKeys(op, view);
    sequence.push_back(keys.turnLeft + 2 * keys.turnRight + 4 * keys.fireHeld);
    view.own.heading = TurnHeading(view.own.heading, keys.turnLeft, keys.turnRight);
    view.foe.y = std::fmod(view.foe.y + 2.54f, 600.0f);
  }
  return sequence;
}

TEST(OpponentKeysTest, ItsChancesComeFromItsOwnSeededGenerator) {
  RandomSeed(77);
  const int32_t first = Random(1000000);
  RandomSeed(77);
  std::vector<int> a = KeySequence(1);
  EXPECT_EQ(Random(1000000), first) << "the game's generator is left alone";
  EXPECT_EQ(KeySequence(1), a);
  EXPECT_NE(KeySequence(2), a) << "another seed plays another match";
}

// --- Whole matches ---------------------------------------------------------------

// A red player: the keys for one frame, seeing both planes.
using RedPilot = PlayerKeys (*)(int frame, const PlaneState planes[2]);

struct MatchResult {
  int frames = 0;
  int32_t downed = 0;  // 0 when the limit came first
  int32_t redEnergy = 0;
  int32_t blueEnergy = 0;
  bool broke = false;  // it turned both ways at once or held fire with six shots in the air
};

// Red flown by `red`, blue by the computer, with the game's frame rules and a
// 60 Hz frame clock, until a plane is downed or `limit` frames have passed.
MatchResult PlayMatch(uint32_t seed, const RedPilot& red, int limit, int32_t skill = kSkillNormal) {
  PlaneState planes[2];
  MatchState match;
  SkirmoraLists lists;
  FrameClock clock{160.0f, 63, 63, 0, 0.0f};
  PlaneReset(planes[0], 0);
  PlaneReset(planes[1], 1);
  OpponentState op;
  OpponentStart(op, seed, skill);
  MatchResult r;
  for (; r.frames < limit && match.downedPlayer == 0; ++r.frames) {
    const uint32_t ms = static_cast<uint32_t>(r.frames * 1000 / kFps);
    FrameClockTick(
        clock, [ms] { return ms; }, true, planes);
    int32_t inAir = 0;
    for (const auto* e = lists.shots.first; e != nullptr; e = e->next) {
      inAir += e->payload.owner == 1.0f ? 1 : 0;
    }
    inAir = std::max(inAir, planes[1].liveShotCount);
    PlayerKeys keys[2] = {red(r.frames, planes),
                          OpponentKeys(op, OpponentLook(planes, match, lists.shots))};
    r.broke =
        r.broke || (keys[1].turnLeft && keys[1].turnRight) || (keys[1].fireHeld && inAir >= 6);
    MatchRulesFrame(planes, match, lists, keys, clock.movementFactor, MediaEffects());
  }
  r.downed = match.downedPlayer;
  r.redEnergy = planes[0].energy;
  r.blueEnergy = planes[1].energy;
  return r;
}

// Turns in circles of changing size and direction, with short straight legs.
PlayerKeys Weaving(int frame, const PlaneState*) {
  const int leg = (frame / 70) % 7;
  PlayerKeys keys;
  keys.turnLeft = leg == 0 || leg == 1 || leg == 4;
  keys.turnRight = leg == 2 || leg == 5;
  return keys;
}

class OpponentMatchTest : public ::testing::Test {
 protected:
  // The game's start-up (with its default settings), for its pictures: hits
  // are tested pixel by pixel.
  void SetUp() override {
    hp_ = &platform::UseHeadless();
    hp_->SetExecutablePath("/nonexistent/skirmora");
    ProgramStart(SkirmoraHooks());
    ASSERT_TRUE(SkirmoraStart());
  }
  void TearDown() override { ProgramRunEndHooks(); }
  platform::HeadlessPlatform* hp_ = nullptr;
};

TEST_F(OpponentMatchTest, DownsAPlaneThatDoesNothingWithinAMinuteAndHitsAWeavingOne) {
  std::vector<double> seconds;
  for (uint32_t seed = 1; seed <= 20; ++seed) {
    MatchResult r = PlayMatch(
        seed, [](int, const PlaneState*) { return PlayerKeys{}; }, 60 * kFps);
    EXPECT_EQ(r.downed, 1) << "seed " << seed << ", red energy " << r.redEnergy;
    EXPECT_EQ(r.blueEnergy, 100) << "seed " << seed;
    EXPECT_FALSE(r.broke) << "seed " << seed;
    seconds.push_back(static_cast<double>(r.frames) / kFps);
  }
  std::sort(seconds.begin(), seconds.end());
  std::printf("a red plane doing nothing is downed after %.1f / %.1f / %.1f s (min/median/max)\n",
              seconds.front(), (seconds[9] + seconds[10]) / 2.0, seconds.back());
  for (uint32_t seed = 1; seed <= 10; ++seed) {
    MatchResult r = PlayMatch(seed, Weaving, 60 * kFps);
    EXPECT_LE(r.redEnergy, 70) << "seed " << seed;
    EXPECT_FALSE(r.broke) << "seed " << seed;
  }
}

// The scripted good pilot of the game's scenario tests: turns towards the
// blue plane and fires in short bursts when its nose points at it.
PlayerKeys GoodPilot(int frame, const PlaneState planes[2]) {
  const PlaneState& me = planes[0];
  float target = std::atan2(planes[1].y - me.y, planes[1].x - me.x) * 180.0f / 3.14159265f;
  float diff = std::fmod(target - me.heading + 540.0f, 360.0f) - 180.0f;
  PlayerKeys keys;
  keys.turnLeft = diff < -3.0f;
  keys.turnRight = diff > 3.0f;
  keys.fireHeld = std::fabs(diff) < 12.0f && frame % 6 < 3;
  keys.fireReleased = std::fabs(diff) < 12.0f && frame % 6 == 3;
  return keys;
}

TEST_F(OpponentMatchTest, EasyIsWeakerThanNormalAndNormalWeakerThanHard) {
  EXPECT_EQ(SkillFromSetting(1), kSkillEasy);
  EXPECT_EQ(SkillFromSetting(3), kSkillHard);
  for (int32_t other : {0, 4, -2, 2}) EXPECT_EQ(SkillFromSetting(other), kSkillNormal) << other;
  // Over the same seeds: the frames it takes to down a plane that does
  // nothing, and the energy the good pilot has left when the match is over.
  int frames[4] = {};
  int redLeft[4] = {};
  for (int32_t skill = kSkillEasy; skill <= kSkillHard; ++skill) {
    for (uint32_t seed = 1; seed <= 12; ++seed) {
      MatchResult idle = PlayMatch(
          seed, [](int, const PlaneState*) { return PlayerKeys{}; }, 60 * kFps, skill);
      EXPECT_EQ(idle.downed, 1) << "skill " << skill << ", seed " << seed;
      EXPECT_FALSE(idle.broke) << "skill " << skill << ", seed " << seed;
      frames[skill] += idle.frames;
      MatchResult fight = PlayMatch(seed, GoodPilot, 60 * kFps, skill);
      EXPECT_FALSE(fight.broke) << "skill " << skill << ", seed " << seed;
      redLeft[skill] += std::max(fight.redEnergy, 0);
    }
  }
  EXPECT_GT(frames[kSkillEasy], frames[kSkillNormal]);
  EXPECT_GT(frames[kSkillNormal], frames[kSkillHard]);
  EXPECT_GT(redLeft[kSkillEasy], redLeft[kSkillNormal]);
  EXPECT_GT(redLeft[kSkillNormal], redLeft[kSkillHard]);
}

TEST_F(OpponentMatchTest, StartOnePlayerGameGivesTheBluePlaneToTheComputer) {
  SkirmoraState& s = SkirmoraGameState();
  auto tap = [this](int key) {
    hp_->SetKey(key, true);
    ASSERT_TRUE(SkirmoraFrame());
    hp_->SetKey(key, false);
    ASSERT_TRUE(SkirmoraFrame());
  };
  tap(kKeyEsc);
  for (int i = 0; i < 200 && s.screen == Screen::Splash; ++i) ASSERT_TRUE(SkirmoraFrame());
  tap(kKeyRight);
  ASSERT_EQ(s.menu.item1Picture, kImageItem1Player);
  tap(kKeyEnter);
  for (int i = 0; i < 300 && s.screen == Screen::Menu; ++i) ASSERT_TRUE(SkirmoraFrame());
  ASSERT_EQ(s.screen, Screen::Match);
  ASSERT_TRUE(SkirmoraFrame());
  EXPECT_TRUE(s.computerPlayer2);
  // Blue's keys held down do nothing now. The red plane climbs across in
  // front of the blue one, which turns anticlockwise to meet it and fires.
  hp_->SetKey(kKeyD, true);
  hp_->SetKey(kKeyLeftCtrl, true);
  s.planes[0].x = 350.0f;
  s.planes[0].y = 330.0f;
  s.planes[0].heading = 270.0f;
  bool fired = false;
  for (int frame = 0; frame < 150 && !fired; ++frame) {
    ASSERT_TRUE(SkirmoraFrame());
    for (auto* e = SkirmoraGameLists().shots.first; e != nullptr; e = e->next) {
      fired = fired || e->payload.owner == 1.0f;
    }
  }
  EXPECT_TRUE(fired);
  EXPECT_GT(s.planes[1].heading, 180.0f) << "it turned anticlockwise, not as D turns";
  // The head-up display names the computer in place of player 2.
  platform::TextBitmap text;
  ASSERT_TRUE(platform::FontRender("Computer", 14, false, &text));
  const platform::CapturedFrame& f = hp_->Windows().begin()->second.frame;
  for (int y = 0; y < text.height; ++y) {
    for (int x = 0; x < text.width; ++x) {
      uint32_t c = text.coverage[static_cast<size_t>(y) * text.width + x];
      ASSERT_EQ(f.pixels[(static_cast<size_t>(10 + y) * f.width + 650 + x) * 4],
                (255u * (255u - c) + 127u) / 255u)
          << x << ", " << y;
    }
  }
}

}  // namespace
}  // namespace game
