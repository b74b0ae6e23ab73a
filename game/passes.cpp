#include "game/passes.h"

#include <cmath>

#include "media/quad3d.h"
#include "media/sound.h"
#include "media/sprites.h"
#include "runtime/frame.h"

namespace game {
namespace {

// The rules' side effects, done with the media library.
class MediaMatchEffects : public MatchEffects {
 public:
  void PlaySound(int32_t sound) override { SoundPlay(sound, 0); }
  void SetSoundRate(int32_t sound, int32_t hz) override { SoundRate(sound, hz); }
  void DrawShot(int32_t x, int32_t y) override { SpriteShowKeyed(kImageShot, x, y); }
  bool ShotHitsPlane(int32_t planeImage, int32_t planeX, int32_t planeY, int32_t shotX,
                     int32_t shotY) override {
    return SpriteHit(planeImage, planeX, planeY, kImageShot, shotX, shotY) != 0;
  }
  int32_t RandomInt(int32_t max) override { return Random(max); }
  void QuadShow(int32_t number, int32_t x, int32_t y, int32_t alpha) override {
    Quad3DShow(number, x, y, alpha);
  }
  void QuadZoom(int32_t number, int32_t width, int32_t height) override {
    Quad3DZoom(number, width, height);
  }
  void QuadRotate(int32_t number, int32_t angle, int32_t mode) override {
    Quad3DRotate(number, angle, mode);
  }
  void LayerBegin() override { Quad3DLayerBegin(); }
  void LayerEnd() override { Quad3DLayerEnd(); }
};

}  // namespace

MatchEffects& MediaEffects() {
  static MediaMatchEffects effects;
  return effects;
}

bool FirePlayer(PlaneState& plane, int player, const PlayerKeys& keys, bool isDowned,
                ListHandle<ShotItem>& shots, int32_t shotSound, MatchEffects& effects) {
  bool fired = false;
  if (keys.fireHeld && plane.fireLatch == 0 && plane.liveShotCount < 6 && !isDowned) {
    *ListAdd(shots) = MakeShot(plane, player == 0 ? 0.0f : 1.0f);
    if (shotSound != 0) effects.PlaySound(shotSound);
    plane.fireLatch = 1;
    fired = true;
  }
  if (keys.fireReleased) plane.fireLatch = 0;
  return fired;
}

void ShotPass(ListHandle<ShotItem>& shots, ListHandle<BlastItem>& blasts, PlaneState planes[2],
              const ShotPassOptions& options, MatchEffects& effects) {
  planes[0].liveShotCount = 0;
  planes[1].liveShotCount = 0;
  const float m = options.margin;
  const float w = static_cast<float>(kScreenWidth);
  const float h = static_cast<float>(kScreenHeight);
  ListReset(shots);
  while (ShotItem* shot = ListNext(shots)) {
    bool hit = false;
    float radians = shot->heading * kDegToRad;
    shot->x = shot->x + std::cos(radians) * shot->speed;
    shot->y = shot->y + std::sin(radians) * shot->speed;
    effects.DrawShot(RoundToInt(shot->x), RoundToInt(shot->y));
    if (shot->owner == 0.0f) planes[0].liveShotCount += 1;
    if (shot->owner == 1.0f) planes[1].liveShotCount += 1;
    if (shot->x < -m) shot->x = w + m;
    if (shot->x > w + m) shot->x = -m;
    if (shot->y < -m) shot->y = h + m;
    if (shot->y > h + m) shot->y = -m;
    for (int i = 0; i < 2; ++i) {
      PlaneState& plane = planes[i];
      if (!effects.ShotHitsPlane(plane.frameImage, RoundToInt(plane.x), RoundToInt(plane.y),
                                 RoundToInt(shot->x), RoundToInt(shot->y))) {
        continue;
      }
      hit = true;
      plane.energy = plane.energy - 10;
      if (options.hitSound[i] != 0) effects.PlaySound(options.hitSound[i]);
      BlastItem* blast = ListAdd(blasts);
      blast->x = shot->x - 32.0f;
      blast->y = shot->y - 32.0f;
      blast->frame = static_cast<float>(kImageBlastFirst);
    }
    shot->age = shot->age + 1.0f;
    if (shot->age == 250.0f) hit = true;
    if (hit) ListDelete(shots);
  }
}

void BlastPass(ListHandle<BlastItem>& blasts, MatchEffects& effects) {
  ListReset(blasts);
  while (BlastItem* blast = ListNext(blasts)) {
    effects.QuadShow(RoundToInt(blast->frame), RoundToInt(blast->x), RoundToInt(blast->y), 200);
    blast->frame = blast->frame + 1.0f;
    if (blast->frame == static_cast<float>(kImageBlastLast + 1)) ListDelete(blasts);
  }
}

void SmokePass(ListHandle<SmokeItem>& smoke, MatchEffects& effects) {
  ListReset(smoke);
  while (SmokeItem* puff = ListNext(smoke)) {
    int32_t size = RoundToInt(puff->size);
    effects.QuadZoom(kImageSmoke, size, size);
    effects.QuadRotate(kImageSmoke, RoundToInt(puff->spin), 1);
    effects.QuadShow(kImageSmoke, RoundToInt(puff->x), RoundToInt(puff->y),
                     RoundToInt(puff->alpha));
    puff->size = puff->size + 0.8f;
    puff->alpha = puff->alpha - 3.0f;
    if (puff->alpha == 0.0f) ListDelete(smoke);
  }
}

void ShowPlanes(const PlaneState& plane1, float heading1, const PlaneState& plane2, float heading2,
                MatchEffects& effects) {
  effects.QuadShow(plane1.frameImage, RoundToInt(plane1.x), RoundToInt(plane1.y), 255);
  effects.QuadRotate(plane1.frameImage, RoundToInt(heading1 + 90.0f), 0);
  effects.QuadShow(plane2.frameImage, RoundToInt(plane2.x), RoundToInt(plane2.y), 255);
  effects.QuadRotate(plane2.frameImage, RoundToInt(heading2 + 270.0f), 0);
}

void CloudBorder(float& offset, float increment, MatchEffects& effects) {
  offset = offset + increment;
  if (offset > 255.0f) offset = 0.0f;
  // The clouds drift by a pixel every few frames: as one layer over the
  // cleared sky they are drawn again only when they have moved, and the sky
  // only where something else was drawn.
  effects.LayerBegin();
  for (int i = 0; i <= 4; ++i) {
    effects.QuadRotate(kImageCloud, 269, 0);
    effects.QuadShow(kImageCloud, RoundToInt(static_cast<float>(i * 256) - offset), 400, 255);
  }
  for (int i = 0; i <= 4; ++i) {
    effects.QuadRotate(kImageCloud, 90, 0);
    effects.QuadShow(kImageCloud, RoundToInt(static_cast<float>((i - 1) * 256) + offset), -50, 255);
  }
  for (int i = 0; i <= 3; ++i) {
    effects.QuadRotate(kImageCloud, 359, 0);
    effects.QuadShow(kImageCloud, -50, RoundToInt(static_cast<float>(i * 256) - offset), 255);
  }
  for (int i = 0; i <= 3; ++i) {
    effects.QuadRotate(kImageCloud, 179, 0);
    effects.QuadShow(kImageCloud, 600, RoundToInt(static_cast<float>((i - 1) * 256) + offset), 255);
  }
  effects.LayerEnd();
}

}  // namespace game
