#pragma once
// The computer opponent of a one-player match. It flies the blue plane
// (player 2) with the three inputs a person has: turn left, turn right and
// fire. Each frame it is shown what a player sees on the screen (where the
// planes are, where they point, how many of its shots fly) and answers with the
// keys for that frame; the match feeds them through the same turning and
// firing rules as the keyboard. It reacts to what it saw a moment ago, aims
// where the red plane will be when a shot arrives, and misses now and then.
// It draws its chances from its own small generator, seeded per match, so a
// match replays exactly and the game's shared generator is left alone.

#include <array>
#include <cstdint>

#include "game/records.h"
#include "game/rules.h"
#include "runtime/lists.h"

namespace game {

// Its three strengths, as `[Start] Skill` names them. Normal is the pilot the
// game has always had; easy sees later, aims worse and taps fire more slowly;
// hard sees sooner, aims better and fires only at a likely hit.
constexpr int32_t kSkillEasy = 1;
constexpr int32_t kSkillNormal = 2;
constexpr int32_t kSkillHard = 3;

// The skill a setting names: 1, 2 or 3; anything else is normal.
int32_t SkillFromSetting(int32_t value);

// Frames between seeing a picture and acting on it at normal skill (about a
// fifth of a second), and the longest delay of any skill.
constexpr int32_t kOpponentDelay = 12;
constexpr int32_t kOpponentLongestDelay = 24;

// What a skill changes: how late it sees, how far its aim is off, how close a
// shot must pass before it fires, how far it shoots and how fast it taps.
struct OpponentSkill {
  int32_t delay = kOpponentDelay;
  float aimErrorX = 16.0f;
  float aimErrorY = 12.0f;
  float fireToleranceX = 16.0f;
  float fireToleranceY = 10.0f;
  int32_t longestShot = 110;
  int32_t fireGapMin = 9;
  int32_t fireGapMax = 20;
};

// The values of a skill (1, 2 or 3; anything else gives normal's).
OpponentSkill SkillValues(int32_t skill);

struct SeenPlane {
  float x = 0.0f;  // top-left corner of the plane's picture
  float y = 0.0f;
  float heading = 0.0f;
  float speed = 0.0f;
  bool downed = false;
};

// One frame's picture as the computer sees it.
struct OpponentView {
  SeenPlane own;  // the blue plane, which it flies
  SeenPlane foe;  // the red plane, the player's
  // The computer's shots in the air (it sees them fly).
  int32_t ownShotsInAir = 0;
};

struct OpponentState {
  OpponentSkill skill;
  uint32_t random = 1;  // its own generator (never 0)
  // The red plane in the last pictures, oldest overwritten first; `seenNext`
  // is where the next one goes and `seenCount` how many were stored this match.
  std::array<SeenPlane, kOpponentLongestDelay + 1> seen{};
  int32_t seenNext = 0;
  int32_t seenCount = 0;
  bool fireHeld = false;  // its fire key was down last frame
  int32_t holdOff = 0;    // frames before it presses fire again
  // Its aiming error for the next shot, in pixels; drawn anew after each shot.
  float aimErrorX = 0.0f;
  float aimErrorY = 0.0f;
  int32_t aimFrames = 0;  // frames before it takes aim afresh
  // Where, relative to its plane, the red plane it went for last frame stood
  // (the screen wraps, so the red plane can be reached in several directions).
  float chosenDx = 0.0f;
  float chosenDy = 0.0f;
  bool chosen = false;
};

// Sets up the opponent for a new match at a skill (1, 2 or 3); the seed
// chooses its chances.
void OpponentStart(OpponentState& op, uint32_t seed, int32_t skill = kSkillNormal);

// The picture the computer flying player 2 sees: both planes, which of them
// is downed and how many of its own shots fly. Reads the shot list without
// moving its cursor.
OpponentView OpponentLook(const PlaneState planes[2], const MatchState& match,
                          const ListHandle<ShotItem>& shots);

// The computer's keys for this frame, given this frame's picture. Never turns
// both ways at once, never holds fire with six of its shots in the air, and
// lets go of fire for at least a frame between shots.
PlayerKeys OpponentKeys(OpponentState& op, const OpponentView& view);

}  // namespace game
