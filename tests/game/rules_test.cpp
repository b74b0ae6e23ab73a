// Rules of a match checked without a screen: the effects are recorded and the
// collision test is a plain rectangle overlap of a 64 x 64 plane and an 8 x 8 shot.
#include "game/rules.h"

#include <gtest/gtest.h>

#include <array>
#include <deque>
#include <vector>

#include "game/passes.h"
#include "game/records.h"

namespace game {
namespace {

struct FakeEffects : MatchEffects {
  std::vector<int32_t> played;
  std::vector<std::pair<int32_t, int32_t>> rates;
  std::vector<std::array<int32_t, 4>> shown;  // number, x, y, alpha
  std::vector<std::array<int32_t, 3>> rotations;
  std::deque<int32_t> randoms;
  int shotsDrawn = 0;

  void PlaySound(int32_t sound) override { played.push_back(sound); }
  void SetSoundRate(int32_t sound, int32_t hz) override { rates.emplace_back(sound, hz); }
  void DrawShot(int32_t, int32_t) override { ++shotsDrawn; }
  bool ShotHitsPlane(int32_t, int32_t px, int32_t py, int32_t sx, int32_t sy) override {
    return sx < px + 64 && px < sx + 8 && sy < py + 64 && py < sy + 8;
  }
  int32_t RandomInt(int32_t max) override {
    if (randoms.empty()) return max / 2;
    int32_t v = randoms.front();
    randoms.pop_front();
    return v;
  }
  void QuadShow(int32_t n, int32_t x, int32_t y, int32_t alpha) override {
    shown.push_back({n, x, y, alpha});
  }
  void QuadZoom(int32_t, int32_t, int32_t) override {}
  void QuadRotate(int32_t n, int32_t angle, int32_t mode) override {
    rotations.push_back({n, angle, mode});
  }
};

TEST(TurningTest, WrapsAtBothEndsAndAppliesBothKeysInOrder) {
  EXPECT_EQ(TurnHeading(1.0f, true, false), 360.0f);
  EXPECT_EQ(TurnHeading(359.0f, false, true), 0.0f);
  EXPECT_EQ(TurnHeading(1.0f, true, true), 0.0f);
  EXPECT_EQ(TurnHeading(360.0f, false, true), 0.0f);
  EXPECT_EQ(TurnHeading(0.0f, true, false), 360.0f);
  EXPECT_EQ(TurnHeading(180.0f, true, true), 180.0f);
}

TEST(EnginePitchTest, FollowsTheDiveAngleAndSetsTheRateOnlyOnChange) {
  EXPECT_EQ(DiveMeasure(90.0f, -1), 0);
  EXPECT_EQ(DiveMeasure(0.0f, -1), 90);
  EXPECT_EQ(DiveMeasure(360.0f, -1), 90);
  EXPECT_EQ(DiveMeasure(180.0f, -1), 90);
  EXPECT_EQ(DiveMeasure(270.0f, -1), 180);
  EXPECT_EQ(DiveMeasure(300.0f, -1), 150);
  EXPECT_EQ(DiveMeasure(45.0f, -1), 45);
  FakeEffects fx;
  PlaneState plane;
  plane.heading = 90.0f;
  EnginePitch(plane, kSoundEngine1, fx);
  EnginePitch(plane, kSoundEngine1, fx);
  plane.heading = 270.0f;
  EnginePitch(plane, kSoundEngine1, fx);
  ASSERT_EQ(fx.rates.size(), 2u);
  EXPECT_EQ(fx.rates[0], std::make_pair(kSoundEngine1, 48000));
  EXPECT_EQ(fx.rates[1], std::make_pair(kSoundEngine1, 12000));
}

TEST(FlightTest, PlaneWrapsAtTheEdgesAndADownedPlaneFallsOut) {
  PlaneState plane;
  PlaneReset(plane, 1);
  plane.x = 830.0f;
  plane.speed = 2.539f;  // heading 0: to the right
  MovePlane(plane);
  EXPECT_FALSE(WrapPlane(plane, false));
  EXPECT_EQ(plane.x, -32.0f);
  EXPECT_EQ(plane.y, 400.0f);
  EXPECT_EQ(plane.heading, 0.0f);

  plane.y = 633.0f;
  EXPECT_FALSE(WrapPlane(plane, false));
  EXPECT_EQ(plane.y, -32.0f);
  plane.y = 633.0f;
  EXPECT_FALSE(WrapPlane(plane, true));
  EXPECT_EQ(plane.y, 633.0f);
  plane.y = 700.0f;
  EXPECT_FALSE(WrapPlane(plane, true));
  plane.y = 700.5f;
  EXPECT_TRUE(WrapPlane(plane, true));
}

TEST(FlightTest, BothPlanesDownedInOneFrameTakePlayerOnesFallHeading) {
  FakeEffects fx;
  PlaneState planes[2];
  PlaneReset(planes[0], 0);
  PlaneReset(planes[1], 1);
  planes[0].energy = 0;
  planes[1].energy = -10;
  planes[0].heading = 200.0f;
  planes[1].heading = 10.0f;
  MatchState match;
  DownPlanes(planes, match);
  EXPECT_EQ(match.downedPlayer, 1);
  EXPECT_EQ(match.fallHeading, 200);
  EXPECT_EQ(planes[0].speed, 3.0f);
  EXPECT_EQ(planes[1].speed, 3.0f);
  fx.randoms = {4, 7};  // size 16, so the puff sits 24 pixels into the plane
  SmokeItem puff;
  FallAndSmoke(planes, match, puff, fx);
  EXPECT_EQ(match.fallHeading, 199);
  EXPECT_EQ(planes[0].heading, 199.0f);
  EXPECT_EQ(planes[1].heading, 199.0f);
  EXPECT_EQ(puff.size, 16.0f);
  EXPECT_EQ(puff.x, planes[1].x + 24.0f);
  EXPECT_EQ(puff.y, planes[1].y + 24.0f);
  EXPECT_FLOAT_EQ(puff.spin, 0.1f + 1.0f / 7.0f);
  EXPECT_EQ(puff.alpha, 210.0f);
}

TEST(FlightTest, DownedPlaneTurnsTheShortWayToStraightDown) {
  FakeEffects fx;
  PlaneState planes[2];
  PlaneReset(planes[0], 0);
  PlaneReset(planes[1], 1);
  MatchState match;
  SmokeItem puff;
  // From 300 degrees (climbing to the right) the short way is clockwise, via 360.
  planes[1].energy = 0;
  planes[1].heading = 300.0f;
  DownPlanes(planes, match);
  std::vector<int32_t> seen;
  for (int i = 0; i < 200; ++i) {
    FallAndSmoke(planes, match, puff, fx);
    seen.push_back(match.fallHeading);
  }
  EXPECT_EQ(seen[0], 301);
  EXPECT_EQ(seen[58], 359);
  EXPECT_EQ(seen[59], 360);
  EXPECT_EQ(seen[60], 0);
  EXPECT_EQ(seen[61], 1);
  EXPECT_GE(seen.back(), 89);
  EXPECT_LE(seen.back(), 91);
  EXPECT_EQ(planes[1].heading, static_cast<float>(seen.back()));
}

TEST(SmokeTest, ZeroDivisorSpinsByOneTenthAndPuffsLiveSeventyFrames) {
  FakeEffects fx;
  fx.randoms = {0, 0};
  SmokeItem puff = MakeSmoke(fx);
  EXPECT_EQ(puff.size, 12.0f);
  EXPECT_EQ(puff.spin, 0.1f);

  ListHandle<SmokeItem> smoke;
  ListNew(smoke);
  *ListAdd(smoke) = puff;
  int frames = 0;
  while (ListCount(smoke) > 0 && frames < 100) {
    SmokePass(smoke, fx);
    ++frames;
  }
  EXPECT_EQ(frames, 70);
  EXPECT_EQ(fx.shown.front()[3], 210);
  EXPECT_EQ(fx.shown.back()[3], 3);
}

struct ShotFixture : ::testing::Test {
  FakeEffects fx;
  PlaneState planes[2];
  ListHandle<ShotItem> shots;
  ListHandle<BlastItem> blasts;
  ShotPassOptions options;
  void SetUp() override {
    PlaneReset(planes[0], 0);
    PlaneReset(planes[1], 1);
    ListNew(shots);
    ListNew(blasts);
    options.margin = 5.0f * 2.539f;
    options.hitSound[0] = kSoundHit1;
    options.hitSound[1] = kSoundHit2;
  }
  // Player 1's fire key for one frame: held, and/or released since the last frame.
  bool Fire(bool held, bool released) {
    PlayerKeys keys;
    keys.fireHeld = held;
    keys.fireReleased = released;
    return FirePlayer(planes[0], 0, keys, false, shots, kSoundShot1, fx);
  }
};

TEST_F(ShotFixture, ShotStartsAheadOfTheNoseAndWrapsAtTheMargin) {
  Fire(true, false);
  ShotItem* shot = ListCurrent(shots);  // the new shot is the current element
  ASSERT_NE(shot, nullptr);
  EXPECT_NEAR(shot->x, 600.0f, 0.01f);  // 32 left of the centre at (632, 182)
  EXPECT_NEAR(shot->y, 182.0f, 0.01f);
  EXPECT_EQ(shot->owner, 0.0f);
  EXPECT_EQ(shot->speed, 4.0f);
  shot->heading = 0.0f;
  shot->x = 800.0f + options.margin - 3.0f;
  shot->y = 300.0f;
  ShotPass(shots, blasts, planes, options, fx);
  EXPECT_EQ(shot->x, -options.margin);
  EXPECT_EQ(shot->y, 300.0f);
  EXPECT_EQ(shot->heading, 0.0f);
}

TEST_F(ShotFixture, HitsTakeTenEnergyEvenFromTheShooterAndShowABlast) {
  // A shot placed inside player 1's own plane hits player 1.
  ShotItem* shot = ListAdd(shots);
  *shot = MakeShot(planes[0], 0.0f);
  shot->x = planes[0].x + 20.0f;
  ShotPass(shots, blasts, planes, options, fx);
  EXPECT_EQ(planes[0].energy, 90);
  EXPECT_EQ(planes[1].energy, 100);
  EXPECT_EQ(ListCount(shots), 0);
  EXPECT_EQ(fx.played, std::vector<int32_t>{kSoundHit1});
  ASSERT_EQ(ListCount(blasts), 1);
  BlastPass(blasts, fx);
  EXPECT_EQ(fx.shown.back()[0], kImageBlastFirst);
  EXPECT_EQ(fx.shown.back()[3], 200);
  for (int i = 0; i < 18; ++i) BlastPass(blasts, fx);
  EXPECT_EQ(fx.shown.back()[0], kImageBlastLast);
  EXPECT_EQ(ListCount(blasts), 0);
}

TEST_F(ShotFixture, ShotsAgeOutAfter250Frames) {
  ShotItem* shot = ListAdd(shots);
  shot->x = 100.0f;
  shot->y = 20.0f;
  shot->heading = 0.0f;
  shot->speed = 4.0f;
  planes[0].y = 500.0f;
  planes[1].y = 500.0f;
  for (int i = 0; i < 249; ++i) ShotPass(shots, blasts, planes, options, fx);
  EXPECT_EQ(ListCount(shots), 1);
  ShotPass(shots, blasts, planes, options, fx);
  EXPECT_EQ(ListCount(shots), 0);
}

TEST_F(ShotFixture, AShotSkippedAfterADeletedFirstShotIsNotCounted) {
  planes[1].y = 500.0f;
  planes[0].y = 500.0f;
  // Six shots of player 1; the first is about to age out.
  for (int i = 0; i < 6; ++i) {
    ShotItem* shot = ListAdd(shots);
    shot->x = 100.0f + static_cast<float>(i) * 10.0f;
    shot->y = 20.0f;
    shot->heading = 0.0f;
    shot->speed = 4.0f;
    shot->age = i == 0 ? 249.0f : 10.0f;
  }
  ShotPass(shots, blasts, planes, options, fx);
  // The first shot went and the one after it was skipped: only 4 counted.
  EXPECT_EQ(ListCount(shots), 5);
  EXPECT_EQ(planes[0].liveShotCount, 5);
  EXPECT_TRUE(Fire(true, false));
  EXPECT_EQ(ListCount(shots), 6);
}

TEST(DisplayTest, PlanesTurnAfterTheyAreShownAndTheCloudsDriftClockwise) {
  FakeEffects fx;
  PlaneState p1;
  PlaneState p2;
  PlaneReset(p1, 0);
  PlaneReset(p2, 1);
  p1.frameImage = kImagePlane1B;
  p1.x = 10.4f;
  p1.y = 20.5f;
  p2.x = 21.5f;
  ShowPlanes(p1, 37.0f, p2, 100.0f, fx);
  ASSERT_EQ(fx.shown.size(), 2u);
  EXPECT_EQ(fx.shown[0], (std::array<int32_t, 4>{kImagePlane1B, 10, 20, 255}));
  EXPECT_EQ(fx.shown[1], (std::array<int32_t, 4>{kImagePlane2A, 22, 400, 255}));
  EXPECT_EQ(fx.rotations[0], (std::array<int32_t, 3>{kImagePlane1B, 127, 0}));
  EXPECT_EQ(fx.rotations[1], (std::array<int32_t, 3>{kImagePlane2A, 370, 0}));

  fx.shown.clear();
  fx.rotations.clear();
  float offset = 250.0f;
  CloudBorder(offset, 2.5f, fx);
  EXPECT_EQ(offset, 252.5f);
  ASSERT_EQ(fx.shown.size(), 18u);
  ASSERT_EQ(fx.rotations.size(), 18u);
  for (int i = 0; i < 18; ++i) {
    EXPECT_EQ(fx.shown[i][0], kImageCloud);
    EXPECT_EQ(fx.shown[i][3], 255);
    int32_t angle = i < 5 ? 269 : i < 10 ? 90 : i < 14 ? 359 : 179;
    EXPECT_EQ(fx.rotations[i], (std::array<int32_t, 3>{kImageCloud, angle, 0})) << i;
  }
  // 252.5 rounds to 252 (halves to even).
  EXPECT_EQ(fx.shown[0][1], -252);
  EXPECT_EQ(fx.shown[0][2], 400);
  EXPECT_EQ(fx.shown[4][1], 1024 - 252);
  EXPECT_EQ(fx.shown[5][1], -256 + 252);
  EXPECT_EQ(fx.shown[5][2], -50);
  EXPECT_EQ(fx.shown[10][1], -50);
  EXPECT_EQ(fx.shown[13][2], 768 - 252);
  EXPECT_EQ(fx.shown[14][1], 600);
  EXPECT_EQ(fx.shown[17][2], 512 + 252);
  // Past 255 the offset starts again at 0.
  CloudBorder(offset, 2.6f, fx);
  EXPECT_EQ(offset, 0.0f);
  offset = 254.0f;
  CloudBorder(offset, 1.0f, fx);
  EXPECT_EQ(offset, 255.0f);
}

TEST(MenuTest, KeysMoveTheCursorToggleThePicturesAndPlayTheirSounds) {
  FakeEffects fx;
  MenuState menu;
  MenuKeys up;
  up.up = true;
  MenuKeysApply(menu, up, fx);
  EXPECT_EQ(menu.item, 1);
  EXPECT_EQ(menu.cursorY, 100);
  EXPECT_EQ(fx.played, std::vector<int32_t>{kSoundHit1}) << "the move sound plays at the top too";
  MenuKeys both;
  both.left = true;
  both.right = true;
  fx.played.clear();
  MenuKeysApply(menu, both, fx);
  EXPECT_EQ(menu.item1Picture, kImageItem2Player) << "two toggles in one frame";
  EXPECT_EQ(fx.played, (std::vector<int32_t>{kSoundShot1, kSoundShot1}));
  MenuKeys down;
  down.down = true;
  MenuKeys right;
  right.right = true;
  MenuKeysApply(menu, down, fx);
  MenuKeysApply(menu, right, fx);
  EXPECT_EQ(menu.item2Picture, kImageItemJoin);
  MenuKeysApply(menu, right, fx);
  EXPECT_EQ(menu.item2Picture, kImageItemHost);
  MenuKeys enter;
  enter.enter = true;
  fx.played.clear();
  MenuKeysApply(menu, enter, fx);
  EXPECT_EQ(menu.leaveRequest, 0);
  MenuKeysApply(menu, down, fx);
  MenuKeysApply(menu, right, fx);  // item 3: nothing, no sound
  MenuKeysApply(menu, down, fx);
  EXPECT_EQ(menu.cursorY, 220);
  MenuKeysApply(menu, enter, fx);
  EXPECT_EQ(menu.leaveRequest, 1);
  EXPECT_EQ(fx.played, (std::vector<int32_t>{kSoundHit1, kSoundHit1, kSoundHit2}));
  MenuKeys esc;
  esc.esc = true;
  EXPECT_TRUE(MenuKeysApply(menu, esc, fx));
}

TEST(FrameClockTest, TicksAfterASecondAndKeepsTheFactorWithoutFrames) {
  FrameClock clock;
  clock.base = 160.0f;
  clock.framesPerSecond = 63;
  PlaneState planes[2];
  uint32_t now = 5000;
  auto read = [&] { return now; };
  FrameClockTick(clock, read, true, planes);  // first tick: no frames counted yet
  EXPECT_EQ(clock.lastTick, 5000);
  EXPECT_FLOAT_EQ(clock.movementFactor, 160.0f / 63.0f);
  for (int i = 0; i < 60; ++i) {
    now += 16;
    FrameClockTick(clock, read, true, planes);
  }
  EXPECT_EQ(clock.frameCounter, 60);
  now = 5999;
  FrameClockTick(clock, read, true, planes);
  EXPECT_EQ(clock.frameCounter, 61) << "999 ms is not yet a second";
  now = 6000;
  FrameClockTick(clock, read, true, planes);
  EXPECT_EQ(clock.framesPerSecond, 61);
  EXPECT_EQ(clock.frameCounter, 0);
  EXPECT_EQ(clock.movementFactor, 160.0f / 61.0f);
  EXPECT_EQ(planes[1].speed, clock.movementFactor);
  now = 7000;
  FrameClockTick(clock, read, true, planes);
  EXPECT_EQ(clock.framesPerSecond, 0);
  EXPECT_EQ(clock.movementFactor, 160.0f / 61.0f);
  // On the menu the speeds change but the factor does not.
  now = 8100;
  clock.frameCounter = 40;
  FrameClockTick(clock, read, false, planes);
  EXPECT_EQ(clock.movementFactor, 160.0f / 61.0f);
  EXPECT_EQ(planes[0].speed, 4.0f);
}

TEST(FadeTest, StepsClampAtBothEnds) {
  std::vector<FadeLevel> levels;
  FadeLevel level = 255;
  while (level > 0) levels.push_back(level = FadeNext(level, 0, 8));
  EXPECT_EQ(levels.size(), 32u);
  EXPECT_EQ(levels[0], 247);
  EXPECT_EQ(levels[30], 7);
  EXPECT_EQ(levels[31], 0);
  EXPECT_EQ(FadeNext(254, 1, 2), 255);
  EXPECT_EQ(FadeNext(255, 1, 2), 255);
  EXPECT_EQ(FadeNext(0, 0, 3), 0);
}

TEST(FpsTextTest, ReportsTheCountOfTheLastSecondOnce) {
  FpsCounter counter;
  int32_t second = 0;
  auto read = [&] { return second; };
  EXPECT_EQ(FpsTextTick(counter, read), "");
  second = 7;
  EXPECT_EQ(FpsTextTick(counter, read), "1");
  for (int i = 0; i < 30; ++i) EXPECT_EQ(FpsTextTick(counter, read), "");
  second = 8;
  EXPECT_EQ(FpsTextTick(counter, read), "30");
  EXPECT_EQ(FpsTextTick(counter, read), "");
}

}  // namespace
}  // namespace game
