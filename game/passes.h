#pragma once
// The list passes of a match frame: firing, the shot pass (move, draw, count,
// wrap, hit tests, age), the blast and smoke passes, the plane display and the
// scrolling cloud border. The network match uses the same passes with its own
// wrap margin and without sounds.

#include <cstdint>

#include "game/records.h"
#include "game/rules.h"
#include "runtime/lists.h"

namespace game {

// The effects done with the media library: SoundPlay, SoundRate, SpriteShowKeyed
// of the shot image, SpriteHit of a plane image against the shot image, Random
// and the 3D sprite operations.
MatchEffects& MediaEffects();

// Firing of one player (index 0 or 1): a held fire key fires when the latch is
// 0, fewer than 6 of the player's shots were counted alive and the player is
// not downed; a release clears the latch. `shotSound` 0 plays nothing.
// Returns true when a shot was fired.
bool FirePlayer(PlaneState& plane, int player, const PlayerKeys& keys, bool isDowned,
                ListHandle<ShotItem>& shots, int32_t shotSound, MatchEffects& effects);

struct ShotPassOptions {
  // Wrap margin m: a shot beyond -m or the screen size + m re-enters at the
  // opposite side.
  float margin = 8.0f;
  // Sound played when player 1 (index 0) or player 2 is hit; 0 plays nothing.
  int32_t hitSound[2] = {0, 0};
};

// One shot pass. Both live shot counts restart at 0 and count the shots
// visited. A shot hits whichever plane it overlaps (its own shooter too).
void ShotPass(ListHandle<ShotItem>& shots, ListHandle<BlastItem>& blasts, PlaneState planes[2],
              const ShotPassOptions& options, MatchEffects& effects);

// Shows each explosion's next frame (alpha 200) and removes it after frame 179.
void BlastPass(ListHandle<BlastItem>& blasts, MatchEffects& effects);

// Shows each smoke puff with the shared 3D sprite 201, growing and fading it;
// a puff goes when its alpha reaches 0.
void SmokePass(ListHandle<SmokeItem>& smoke, MatchEffects& effects);

// Shows both planes and then sets each one's rotation from its heading, so a
// new angle shows when that frame image is next drawn.
void ShowPlanes(const PlaneState& plane1, float heading1, const PlaneState& plane2, float heading2,
                MatchEffects& effects);

// Advances the cloud offset by `increment` (back to 0 above 255) and draws the
// four edges of the cloud border, drifting clockwise round the screen.
void CloudBorder(float& offset, float increment, MatchEffects& effects);

}  // namespace game
