#include "game/opponent.h"

#include <algorithm>
#include <cmath>

namespace game {
namespace {

constexpr float kShotSpeed = 4.0f;
// A new shot's corner starts this far ahead of the plane's centre.
constexpr float kShotStart = 32.0f;
// Planes leave one edge 32 pixels beyond the screen and come back 32 pixels
// beyond the other, so their world repeats every 864 x 664 pixels.
constexpr float kPlaneWrapWidth = static_cast<float>(kScreenWidth) + 64.0f;
constexpr float kPlaneWrapHeight = static_cast<float>(kScreenHeight) + 64.0f;
// Where a shot's corner must be to hit the middle of the red plane's body
// (its picture's body and wings lie around (34, 31); the shot is 8 x 8).
constexpr float kAimX = 30.0f;
constexpr float kAimY = 27.0f;
// Frames an aim is kept when no shot is fired.
constexpr int32_t kAimFramesMin = 40;
constexpr int32_t kAimFramesMax = 90;
// The longest a shot of any skill is followed.
constexpr int32_t kLongestShotOfAny = 110;
// Choosing the way to the red plane, in frames: a way out of a shot's reach
// costs this much more, and the way chosen last frame (if its meeting point
// moved less than kSameChoiceDistance pixels) this much less, so that it does
// not waver between two ways of much the same worth.
constexpr float kOutOfReach = 200.0f;
constexpr float kKeepChoice = 40.0f;
constexpr float kSameChoiceDistance = 150.0f;
// Predicted red plane positions: the frames of the delay, then a shot's flight
// (a skill uses the first delay + longest shot + 1 of them).
constexpr int32_t kPathLength = kOpponentLongestDelay + kLongestShotOfAny + 1;

struct Path {
  std::array<float, kPathLength> x{};
  std::array<float, kPathLength> y{};
};

uint32_t NextRandom(OpponentState& op) {
  uint32_t r = op.random;
  r ^= r << 13;
  r ^= r >> 17;
  r ^= r << 5;
  op.random = r;
  return r;
}

// Uniform from lo to hi.
float RandomBetween(OpponentState& op, float lo, float hi) {
  float unit = static_cast<float>(NextRandom(op) >> 8) / 16777216.0f;
  return lo + (hi - lo) * unit;
}

// Uniform whole number from lo to hi inclusive.
int32_t RandomInt(OpponentState& op, int32_t lo, int32_t hi) {
  uint32_t span = static_cast<uint32_t>(hi - lo) + 1u;
  return lo + static_cast<int32_t>(NextRandom(op) % span);
}

// A new aiming error, kept until the next shot or for a second or so.
void NewAim(OpponentState& op) {
  op.aimErrorX = RandomBetween(op, -op.skill.aimErrorX, op.skill.aimErrorX);
  op.aimErrorY = RandomBetween(op, -op.skill.aimErrorY, op.skill.aimErrorY);
  op.aimFrames = RandomInt(op, kAimFramesMin, kAimFramesMax);
}

// How far `from` must turn to point at `to`, -180 (anticlockwise) .. 180.
float AngleDiff(float to, float from) {
  float d = std::fmod(to - from, 360.0f);
  if (d > 180.0f) d -= 360.0f;
  if (d <= -180.0f) d += 360.0f;
  return d;
}

// Heading of a direction in the game's degrees (see kDegToRad), 0 .. 360.
float HeadingOf(float dx, float dy) {
  float h = std::atan2(dy, dx) / kDegToRad;
  if (h < 0.0f) h += 360.0f;
  return h;
}

// A plane coordinate brought back onto the screen the way the wrap moves a
// plane: into -32 .. size + 32, which repeats every `period` pixels.
float WrapPlaneCoordinate(float v, float period) {
  v = std::fmod(v + 32.0f, period);
  if (v < 0.0f) v += period;
  return v - 32.0f;
}

const SeenPlane& SeenFramesAgo(const OpponentState& op, int32_t frames) {
  const int32_t size = static_cast<int32_t>(op.seen.size());
  int32_t at = (op.seenNext - 1 - frames) % size;
  if (at < 0) at += size;
  return op.seen[static_cast<size_t>(at)];
}

// Where the red plane will be, frame by frame from the picture it acts on,
// if it flies straight on.
void PredictFoe(const SeenPlane& foe, Path& path) {
  const float vx = std::cos(foe.heading * kDegToRad) * foe.speed;
  const float vy = std::sin(foe.heading * kDegToRad) * foe.speed;
  for (int32_t n = 0; n < kPathLength; ++n) {
    path.x[static_cast<size_t>(n)] = foe.x + vx * static_cast<float>(n);
    path.y[static_cast<size_t>(n)] = foe.y + vy * static_cast<float>(n);
  }
}

struct Lead {
  float heading = 0.0f;  // where to point for a shot fired now to meet the plane
  int32_t flight = 0;    // frames the shot flies
  float dx = 0.0f;       // meeting point relative to its plane's centre
  float dy = 0.0f;
};

// The heading that makes a shot fired now meet the red plane seen through
// the wrap at (ox, oy). `delay` is where "now" lies on the path, which the
// skill uses up to `pathLength`.
Lead LeadOn(const Path& path, int32_t pathLength, int32_t delay, float cx, float cy, float ox,
            float oy, float aimX, float aimY) {
  Lead lead;
  int32_t k = 1;
  const int32_t last = pathLength - delay;
  for (int32_t pass = 0; pass < 6; ++pass) {
    size_t at = static_cast<size_t>(delay + k - 1);
    lead.dx = path.x[at] + ox + aimX - cx;
    lead.dy = path.y[at] + oy + aimY - cy;
    float distance = std::sqrt(lead.dx * lead.dx + lead.dy * lead.dy);
    float frames = (distance - kShotStart) / kShotSpeed + 0.5f;
    k = static_cast<int32_t>(std::clamp(frames, 1.0f, static_cast<float>(last)));
  }
  lead.heading = HeadingOf(lead.dx, lead.dy);
  lead.flight = k;
  return lead;
}

// True when a shot fired now along `heading` passes close to where it aims.
// The shot and the red plane are moved and wrapped round the screen as the
// game does it, so shots across an edge count too.
bool ShotWouldHit(const Path& path, const OpponentSkill& skill, int32_t delay, float cx, float cy,
                  float heading, float aimX, float aimY, float margin) {
  const int32_t pathLength = skill.delay + skill.longestShot + 1;
  const float vx = std::cos(heading * kDegToRad) * kShotSpeed;
  const float vy = std::sin(heading * kDegToRad) * kShotSpeed;
  const float w = static_cast<float>(kScreenWidth);
  const float h = static_cast<float>(kScreenHeight);
  float sx = cx + std::cos(heading * kDegToRad) * kShotStart;
  float sy = cy + std::sin(heading * kDegToRad) * kShotStart;
  for (int32_t k = 1; k <= skill.longestShot && delay + k - 1 < pathLength; ++k) {
    sx += vx;
    sy += vy;
    if (sx < -margin) sx = w + margin;
    if (sx > w + margin) sx = -margin;
    if (sy < -margin) sy = h + margin;
    if (sy > h + margin) sy = -margin;
    size_t at = static_cast<size_t>(delay + k - 1);
    const float px = WrapPlaneCoordinate(path.x[at], kPlaneWrapWidth);
    const float py = WrapPlaneCoordinate(path.y[at], kPlaneWrapHeight);
    float ex = (sx - (px + aimX)) / skill.fireToleranceX;
    float ey = (sy - (py + aimY)) / skill.fireToleranceY;
    if (ex * ex + ey * ey < 1.0f) return true;
  }
  return false;
}

}  // namespace

int32_t SkillFromSetting(int32_t value) {
  return value == kSkillEasy || value == kSkillHard ? value : kSkillNormal;
}

OpponentSkill SkillValues(int32_t skill) {
  OpponentSkill values;  // normal
  if (skill == kSkillEasy) {
    values.delay = kOpponentLongestDelay;
    values.aimErrorX = 34.0f;
    values.aimErrorY = 26.0f;
    values.fireGapMin = 18;
    values.fireGapMax = 36;
  } else if (skill == kSkillHard) {
    values.delay = 4;
    values.aimErrorX = 3.0f;
    values.aimErrorY = 2.0f;
    values.fireToleranceX = 10.0f;
    values.fireToleranceY = 7.0f;
    values.longestShot = 100;
    values.fireGapMin = 6;
    values.fireGapMax = 7;
  }
  return values;
}

void OpponentStart(OpponentState& op, uint32_t seed, int32_t skill) {
  op = OpponentState{};
  op.skill = SkillValues(skill);
  // Spread the seed's bits so that neighbouring seeds play differently.
  uint32_t r = seed * 2654435761u + 0x9E3779B9u;
  r ^= r >> 16;
  r *= 2246822519u;
  r ^= r >> 13;
  op.random = r != 0 ? r : 1u;
  op.holdOff = RandomInt(op, op.skill.fireGapMin, op.skill.fireGapMax);
  NewAim(op);
}

OpponentView OpponentLook(const PlaneState planes[2], const MatchState& match,
                          const ListHandle<ShotItem>& shots) {
  OpponentView view;
  auto see = [&match](const PlaneState& p, int32_t player) {
    SeenPlane seen;
    seen.x = p.x;
    seen.y = p.y;
    seen.heading = p.heading;
    seen.speed = p.speed;
    seen.downed = match.downedPlayer == player;
    return seen;
  };
  view.own = see(planes[1], 2);
  view.foe = see(planes[0], 1);
  // Following the links leaves the list's cursor, and so where the next shot
  // is added, as it is.
  int32_t ownInList = 0;
  for (const ListElement<ShotItem>* e = shots.first; e != nullptr; e = e->next) {
    if (e->payload.owner == 1.0f) ownInList += 1;
  }
  // The firing rule goes by the last count of the shot pass; the list may
  // hold one more (a shot the pass skipped), so it takes the larger.
  view.ownShotsInAir = std::max(planes[1].liveShotCount, ownInList);
  return view;
}

PlayerKeys OpponentKeys(OpponentState& op, const OpponentView& view) {
  op.seen[static_cast<size_t>(op.seenNext)] = view.foe;
  op.seenNext = (op.seenNext + 1) % static_cast<int32_t>(op.seen.size());
  op.seenCount = std::min(op.seenCount + 1, static_cast<int32_t>(op.seen.size()));

  PlayerKeys keys;
  // Its own plane it knows as it is now, the red plane only as it was `delay`
  // frames ago (fewer in the first frames of a match).
  const SeenPlane& own = view.own;
  const OpponentSkill& skill = op.skill;
  const int32_t delay = std::min(op.seenCount - 1, skill.delay);
  const int32_t pathLength = skill.delay + skill.longestShot + 1;
  const SeenPlane& foe = SeenFramesAgo(op, delay);

  if (op.holdOff > 0) op.holdOff -= 1;
  // Like a person it takes aim afresh now and then, fired or not.
  op.aimFrames -= 1;
  if (op.aimFrames <= 0) NewAim(op);
  if (!own.downed) {
    Path path;
    PredictFoe(foe, path);
    const float cx = own.x + 32.0f;
    const float cy = own.y + 32.0f;

    // The red plane can be reached straight or across any edge; go for the
    // way a shot can meet it soonest, counting the time to turn, and keep to
    // the way chosen before unless another is clearly better. A shot that
    // leaves past the wrap margin comes back at the opposite margin, so seen
    // across an edge the red plane stands a screen size and two margins away.
    const float margin = 5.0f * own.speed;
    const float acrossX = static_cast<float>(kScreenWidth) + 2.0f * margin;
    const float acrossY = static_cast<float>(kScreenHeight) + 2.0f * margin;
    Lead best;
    float bestCost = 1e9f;
    for (int32_t i = -1; i <= 1; ++i) {
      for (int32_t j = -1; j <= 1; ++j) {
        Lead lead =
            LeadOn(path, pathLength, delay, cx, cy, static_cast<float>(i) * acrossX,
                   static_cast<float>(j) * acrossY, kAimX + op.aimErrorX, kAimY + op.aimErrorY);
        float cost =
            std::fabs(AngleDiff(lead.heading, own.heading)) + static_cast<float>(lead.flight);
        if (lead.flight > skill.longestShot) cost += kOutOfReach;
        if (op.chosen && std::fabs(lead.dx - op.chosenDx) + std::fabs(lead.dy - op.chosenDy) <
                             kSameChoiceDistance) {
          cost -= kKeepChoice;
        }
        if (cost < bestCost) {
          bestCost = cost;
          best = lead;
        }
      }
    }
    op.chosen = true;
    op.chosenDx = best.dx;
    op.chosenDy = best.dy;

    const float turn = AngleDiff(best.heading, own.heading);
    // Headings are whole degrees: within half a degree it flies straight.
    keys.turnLeft = turn < -0.5f;
    keys.turnRight = turn > 0.5f;

    const float heading = TurnHeading(own.heading, keys.turnLeft, keys.turnRight);
    // Below 40 frames a second a plane flies faster than its shots and would
    // run into its own fire; then it holds fire.
    const bool outrunsShots = own.speed > kShotSpeed;
    if (!op.fireHeld && op.holdOff == 0 && view.ownShotsInAir < 6 && !foe.downed && !outrunsShots &&
        ShotWouldHit(path, skill, delay, cx, cy, heading, kAimX + op.aimErrorX,
                     kAimY + op.aimErrorY, margin)) {
      keys.fireHeld = true;
      op.holdOff = RandomInt(op, skill.fireGapMin, skill.fireGapMax);
      NewAim(op);
    }
  }
  keys.fireReleased = op.fireHeld && !keys.fireHeld;
  op.fireHeld = keys.fireHeld;
  return keys;
}

}  // namespace game
