#include "game/rules.h"

#include <cmath>

namespace game {

void PlaneReset(PlaneState& plane, int player) {
  if (player == 0) {
    plane.x = 600.0f;
    plane.y = 150.0f;
    plane.heading = 180.0f;
    plane.frameImage = kImagePlane1A;
  } else {
    plane.x = 150.0f;
    plane.y = 400.0f;
    plane.heading = 0.0f;
    plane.frameImage = kImagePlane2A;
  }
  plane.speed = 2.539f;
  plane.energy = 100;
  plane.fireLatch = 0;
  plane.liveShotCount = 0;
}

float TurnHeading(float heading, bool anticlockwise, bool clockwise) {
  if (anticlockwise) {
    heading = heading - 1.0f;
    if (heading <= 0.0f) heading = 360.0f;
  }
  if (clockwise) {
    heading = heading + 1.0f;
    if (heading >= 360.0f) heading = 0.0f;
  }
  return heading;
}

int32_t DiveMeasure(float h, int32_t previous) {
  int32_t d = previous;
  if (89.0f < h && h < 181.0f) d = RoundToInt(h - 90.0f);
  if (-1.0f < h && h < 91.0f) d = RoundToInt(180.0f - (h + 90.0f));
  if (179.0f < h && h < 271.0f) d = RoundToInt(h - 90.0f);
  if (269.0f < h && h < 361.0f) d = RoundToInt(360.0f - (h - 90.0f));
  return d;
}

void EnginePitch(PlaneState& plane, int32_t engineSound, MatchEffects& effects) {
  plane.diveMeasure = DiveMeasure(plane.heading, plane.diveMeasure);
  int32_t f = EngineFrequency(plane.diveMeasure);
  if (f != plane.lastEngineFrequency) {
    effects.SetSoundRate(engineSound, f);
    plane.lastEngineFrequency = f;
  }
}

void ShotStart(const PlaneState& plane, float* x, float* y) {
  float radians = plane.heading * kDegToRad;
  *x = std::cos(radians) * 32.0f + plane.x + 32.0f;
  *y = std::sin(radians) * 32.0f + plane.y + 32.0f;
}

ShotItem MakeShot(const PlaneState& plane, float owner) {
  ShotItem shot;
  ShotStart(plane, &shot.x, &shot.y);
  shot.owner = owner;
  shot.heading = plane.heading;
  shot.speed = 4.0f;
  shot.age = 0.0f;
  return shot;
}

void MovePlane(PlaneState& plane) {
  float radians = plane.heading * kDegToRad;
  plane.x = plane.x + std::cos(radians) * plane.speed;
  plane.y = plane.y + std::sin(radians) * plane.speed;
}

bool WrapPlane(PlaneState& plane, bool isDowned) {
  constexpr float w = static_cast<float>(kScreenWidth);
  constexpr float h = static_cast<float>(kScreenHeight);
  if (plane.x > w + 32.0f) plane.x = -32.0f;
  if (plane.y > h + 32.0f && !isDowned) plane.y = -32.0f;
  if (plane.x < -32.0f) plane.x = w + 32.0f;
  if (plane.y < -32.0f) plane.y = h + 32.0f;
  return plane.y > h + 100.0f;
}

void AnimatePlane(PlaneState& plane, int player) {
  int32_t a = player == 0 ? kImagePlane1A : kImagePlane2A;
  plane.frameImage = plane.frameImage == a ? a + 1 : a;
}

void DownPlanes(PlaneState planes[2], MatchState& match) {
  if (planes[1].energy <= 0) {
    match.fallHeading = RoundToInt(planes[1].heading);
    match.downedPlayer = 2;
    planes[1].speed = 3.0f;
  }
  if (planes[0].energy <= 0) {
    match.fallHeading = RoundToInt(planes[0].heading);
    match.downedPlayer = 1;
    planes[0].speed = 3.0f;
  }
}

SmokeItem MakeSmoke(MatchEffects& effects) {
  SmokeItem puff;
  puff.image = static_cast<float>(kImageSmoke);
  puff.alpha = 210.0f;
  puff.size = 12.0f + static_cast<float>(effects.RandomInt(8));
  int32_t r = effects.RandomInt(100000000);
  // 1 / 0 has no finite value; such a puff (one in 100,000,001) spins by 0.1.
  puff.spin = r == 0 ? 0.1f : 0.1f + 1.0f / static_cast<float>(r);
  return puff;
}

void FallAndSmoke(PlaneState planes[2], MatchState& match, SmokeItem& puff, MatchEffects& effects) {
  puff = MakeSmoke(effects);
  int32_t o = RoundToInt(32.0f - puff.size / 2.0f);
  if (91 < match.fallHeading && match.fallHeading < 271) match.fallHeading -= 1;
  if (match.fallHeading < 89 || match.fallHeading > 269) match.fallHeading += 1;
  if (match.fallHeading > 360) match.fallHeading = 0;
  for (int i = 0; i < 2; ++i) {
    if (planes[i].energy <= 0) {
      planes[i].heading = static_cast<float>(match.fallHeading);
      puff.x = planes[i].x + static_cast<float>(o);
      puff.y = planes[i].y + static_cast<float>(o);
    }
  }
}

FadeLevel FadeNext(FadeLevel level, int32_t direction, int32_t step) {
  if (direction == 0 && level > 0) level = level - step;
  if (direction == 1 && level < 255) level = level + step;
  if (level < 0) level = 0;
  if (level > 255) level = 255;
  return level;
}

void MenuReset(MenuState& menu) {
  menu.result = 0;
  menu.leaveRequest = 0;
  menu.item = 1;
  menu.cursorY = 100;
  menu.item1Picture = kImageItem2Player;
  menu.item2Picture = kImageItemHost;
}

bool MenuKeysApply(MenuState& menu, const MenuKeys& keys, MatchEffects& effects) {
  if (keys.esc) return true;
  if (keys.up) {
    menu.cursorY -= 40;
    if (menu.cursorY < 100) menu.cursorY = 100;
    menu.item -= 1;
    if (menu.item < 1) menu.item = 1;
    effects.PlaySound(kSoundHit1);
  }
  if (keys.down) {
    menu.cursorY += 40;
    if (menu.cursorY > 220) menu.cursorY = 220;
    menu.item += 1;
    if (menu.item > 4) menu.item = 4;
    effects.PlaySound(kSoundHit1);
  }
  // Left and Right both switch between the two pictures of items 1 and 2.
  for (bool pressed : {keys.right, keys.left}) {
    if (!pressed || (menu.item != 1 && menu.item != 2)) continue;
    if (menu.item == 1) {
      menu.item1Picture += 1;
      if (menu.item1Picture == kImageItemHost) menu.item1Picture = kImageItem1Player;
    } else {
      menu.item2Picture += 1;
      if (menu.item2Picture == kImageItemAbout) menu.item2Picture = kImageItemHost;
    }
    effects.PlaySound(kSoundShot1);
  }
  if (keys.enter && (menu.item == 1 || menu.item == 4)) {
    effects.PlaySound(kSoundHit2);
    menu.leaveRequest = 1;
  }
  return false;
}

}  // namespace game
