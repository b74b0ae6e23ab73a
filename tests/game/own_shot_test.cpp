// A plane flying straight on must not hit itself with the shot it has just
// fired, at any heading. The shot starts 32 pixels ahead of the plane's centre
// and is tested against the unrotated plane pictures, so this depends on the
// pictures leaving free the pixels a fresh shot can cover. The test uses the
// game's own start-up (so the built-in pictures are loaded as in a match) and
// the game's firing, shot pass and movement with the real collision test.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "game/passes.h"
#include "game/records.h"
#include "game/rules.h"
#include "game/skirmora.h"
#include "platform/headless.h"
#include "runtime/lists.h"
#include "runtime/program.h"

namespace game {
namespace {

class OwnShotTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = ::testing::TempDir() + "ownshotXXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    const char* made = ::mkdtemp(buffer.data());
    dir_ = made != nullptr ? std::string(made) : ::testing::TempDir();
    platform::HeadlessPlatform& hp = platform::UseHeadless();
    hp.SetExecutablePath(dir_ + "/skirmora");
    ProgramStart(SkirmoraHooks());
    ASSERT_TRUE(SkirmoraStart());
  }

  void TearDown() override {
    ProgramRunEndHooks();
    std::filesystem::remove_all(dir_);
  }

  std::string dir_;
};

struct Flight {
  float x, y;       // the shooter's top-left corner at the shot
  float speed;      // pixels per frame (160 / frames per second)
  bool otherImage;  // the shooter starts on its second propeller picture
};

// Fires one shot from `shooter` at `heading` and flies both planes straight on
// for `frames` frames in the match's order (fire, shot pass, movement, wrap,
// animation). Returns the first frame (1-based) in which a plane was hit, or
// 0 when neither was.
int FramesUntilHit(int shooter, float heading, const Flight& f, int frames) {
  PlaneState planes[2];
  PlaneReset(planes[0], 0);
  PlaneReset(planes[1], 1);
  PlaneState& own = planes[shooter];
  PlaneState& other = planes[1 - shooter];
  own.x = f.x;
  own.y = f.y;
  own.heading = heading;
  if (f.otherImage) own.frameImage += 1;
  // The other plane stays in the top-left corner, far from the shot's path.
  other.x = 10.0f;
  other.y = 10.0f;
  other.heading = 0.0f;
  for (PlaneState& p : planes) p.speed = f.speed;

  ListHandle<ShotItem> shots;
  ListHandle<BlastItem> blasts;
  ListNew(shots);
  ListNew(blasts);
  ShotPassOptions options;
  options.margin = 5.0f * f.speed;
  MatchEffects& effects = MediaEffects();
  PlayerKeys fire;
  fire.fireHeld = true;
  if (!FirePlayer(own, shooter, fire, false, shots, 0, effects)) return -1;
  for (int frame = 1; frame <= frames; ++frame) {
    ShotPass(shots, blasts, planes, options, effects);
    if (planes[0].energy != 100 || planes[1].energy != 100) return frame;
    for (int i = 0; i < 2; ++i) {
      MovePlane(planes[i]);
      WrapPlane(planes[i], false);
      AnimatePlane(planes[i], i);
    }
  }
  return 0;
}

TEST_F(OwnShotTest, AFreshShotHitsNeitherPlaneAtAnyHeading) {
  // The plane in the middle of the screen, on whole and half pixels and in
  // between (halves round to even, so the shot's offset from the plane can
  // move by a pixel), at the starting speed and at 75, 60 and 50 frames per
  // second, starting on either propeller picture.
  const float offsets[][2] = {{0.0f, 0.0f}, {0.5f, 0.5f}, {0.5f, 0.0f},
                              {0.0f, 0.5f}, {0.3f, 0.8f}, {0.8f, 0.3f}};
  const float speeds[] = {2.539f, 160.0f / 75.0f, 160.0f / 60.0f, 160.0f / 50.0f};
  std::vector<Flight> flights;
  for (const auto& o : offsets) {
    for (float speed : speeds) {
      flights.push_back({367.0f + o[0], 268.0f + o[1], speed, flights.size() % 2 == 1});
    }
  }
  std::vector<std::string> failures;
  for (int shooter = 0; shooter < 2; ++shooter) {
    for (int heading = 0; heading < 360; ++heading) {
      for (const Flight& f : flights) {
        int hit = FramesUntilHit(shooter, static_cast<float>(heading), f, 20);
        ASSERT_GE(hit, 0) << "the shot was not fired";
        if (hit > 0) {
          failures.push_back("player " + std::to_string(shooter + 1) + " heading " +
                             std::to_string(heading) + " hit in frame " + std::to_string(hit));
          break;
        }
      }
    }
  }
  std::string listed;
  for (size_t i = 0; i < failures.size() && i < 12; ++i) listed += "\n  " + failures[i];
  EXPECT_TRUE(failures.empty()) << failures.size() << " headings hit a plane:" << listed;
}

TEST_F(OwnShotTest, AShooterStillFliesIntoItsOwnShotLater) {
  // Own-shot hits stay part of the game: after half a circle the plane meets
  // the shot it fired, here by firing left and then heading back right along
  // the same line.
  PlaneState planes[2];
  PlaneReset(planes[0], 0);
  PlaneReset(planes[1], 1);
  planes[0].x = 500.0f;
  planes[0].y = 268.0f;
  planes[0].heading = 180.0f;
  planes[1].x = 10.0f;
  planes[1].y = 10.0f;
  ListHandle<ShotItem> shots;
  ListHandle<BlastItem> blasts;
  ListNew(shots);
  ListNew(blasts);
  ShotPassOptions options;
  MatchEffects& effects = MediaEffects();
  PlayerKeys fire;
  fire.fireHeld = true;
  ASSERT_TRUE(FirePlayer(planes[0], 0, fire, false, shots, 0, effects));
  // Fly the shot well ahead, then put the plane in its way, facing it.
  for (int i = 0; i < 30; ++i) ShotPass(shots, blasts, planes, options, effects);
  EXPECT_EQ(planes[0].energy, 100);
  ListReset(shots);
  ShotItem* shot = ListNext(shots);
  ASSERT_NE(shot, nullptr);
  planes[0].x = shot->x - 80.0f;
  planes[0].heading = 0.0f;
  int frames = 0;
  while (planes[0].energy == 100 && frames < 40) {
    ShotPass(shots, blasts, planes, options, effects);
    MovePlane(planes[0]);
    ++frames;
  }
  EXPECT_EQ(planes[0].energy, 90);
  EXPECT_EQ(planes[1].energy, 100);
}

}  // namespace
}  // namespace game
