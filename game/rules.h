#pragma once
// The rules of a match that need neither lists nor a screen: turning, the dive
// measure and engine pitch, movement, the screen wrap, animation, downing and
// the steering of a downed plane, firing, the frame clock and the fade
// arithmetic. Side effects (sound, drawing, collision, random numbers) go
// through MatchEffects so that the rules can run without a screen.

#include <cstdint>
#include <string>

#include "game/records.h"

namespace game {

// What the rules ask of the outside world. The game's own implementation calls
// the sound, sprite and random operations; tests record the calls.
class MatchEffects {
 public:
  virtual ~MatchEffects() = default;
  // Plays a sound once from its start (restarting it if it still plays).
  virtual void PlaySound(int32_t sound) = 0;
  virtual void SetSoundRate(int32_t sound, int32_t hz) = 0;
  // Draws the shot image keyed at a rounded position.
  virtual void DrawShot(int32_t x, int32_t y) = 0;
  // Pixel-exact overlap of a plane's unrotated image and the shot image.
  virtual bool ShotHitsPlane(int32_t planeImage, int32_t planeX, int32_t planeY, int32_t shotX,
                             int32_t shotY) = 0;
  // Uniform integer from 0 to max inclusive.
  virtual int32_t RandomInt(int32_t max) = 0;
  // 3D sprites: show at a rounded position with an alpha, set the size, turn
  // (mode 0 absolute, otherwise relative).
  virtual void QuadShow(int32_t number, int32_t x, int32_t y, int32_t alpha) = 0;
  virtual void QuadZoom(int32_t number, int32_t width, int32_t height) = 0;
  virtual void QuadRotate(int32_t number, int32_t angle, int32_t mode) = 0;
  // The 3D sprites shown between the two form a layer that may be kept from
  // frame to frame where that gives the same pixels (see Quad3DLayerBegin).
  virtual void LayerBegin() {}
  virtual void LayerEnd() {}
};

// Keys of one player for one frame, sampled after the frame's keyboard poll.
struct PlayerKeys {
  bool turnLeft = false;      // anticlockwise key held
  bool turnRight = false;     // clockwise key held
  bool fireHeld = false;      // fire key held
  bool fireReleased = false;  // fire key released since it was last seen down
};

// --- Planes ------------------------------------------------------------------

// Starting values of a match for player 1 (index 0) or player 2 (index 1).
// The dive measure and the last engine frequency are left as they are.
void PlaneReset(PlaneState& plane, int player);

// One degree per frame; anticlockwise first. Anticlockwise turns reaching 0 or
// less give 360, clockwise turns reaching 360 or more give 0.
float TurnHeading(float heading, bool anticlockwise, bool clockwise);

// Angular distance from straight down, 0..180; keeps `previous` for a heading
// outside every range (never the case for headings in 0..360).
int32_t DiveMeasure(float heading, int32_t previous);

// Engine playback frequency for a dive measure.
constexpr int32_t EngineFrequency(int32_t dive) {
  return 48000 - 200 * dive;
}

// Updates the dive measure and, when the engine frequency changes, sets the
// rate of the engine sound.
void EnginePitch(PlaneState& plane, int32_t engineSound, MatchEffects& effects);

// Point 32 pixels ahead of the plane's centre along its heading, where a new
// shot's top-left corner is placed.
void ShotStart(const PlaneState& plane, float* x, float* y);
ShotItem MakeShot(const PlaneState& plane, float owner);

// Moves a plane one frame along its heading.
void MovePlane(PlaneState& plane);

// The five wrap tests of one plane; a downed plane is not brought back at the
// bottom. Returns true when the plane has fallen more than 100 pixels below
// the screen (the match ends).
bool WrapPlane(PlaneState& plane, bool isDowned);

// Propeller animation: 100/101 for player 1, 110/111 for player 2.
void AnimatePlane(PlaneState& plane, int player);

// Downing: player 2 is tested first, then player 1, so when both are used up in
// the same frame player 1 is the downed player. A downed plane flies at 3.0.
void DownPlanes(PlaneState planes[2], MatchState& match);

// Steering of the downed plane(s) one degree per frame towards straight down,
// and a new smoke puff centred on the plane. Runs only while a player is downed.
void FallAndSmoke(PlaneState planes[2], MatchState& match, SmokeItem& newPuff,
                  MatchEffects& effects);

// A fresh smoke puff (position not yet set): image 201, alpha 210, size 12..20
// and a spin of 0.1 + 1/r.
SmokeItem MakeSmoke(MatchEffects& effects);

// --- Frame clock, fade, FPS text -------------------------------------------------

// One tick of the frame clock. `readMs` is called for each reading of the
// millisecond clock. In a match (`inMatch`) a tick replaces the movement
// factor and both plane speeds; on the menu only the speeds. A tick with no
// counted frames keeps the previous movement factor (and uses base / 63 when
// there has never been one), so that speeds stay finite.
template <class ReadMs>
void FrameClockTick(FrameClock& clock, ReadMs&& readMs, bool inMatch, PlaneState planes[2]);

// The arithmetic of FadeStep: direction 0 towards 0, 1 towards 255, clamped.
FadeLevel FadeNext(FadeLevel level, int32_t direction, int32_t step);

// Frames-per-second text from wall-clock seconds. `second` is read once before
// and once after the comparison, as the head-up display has always done.
struct FpsCounter {
  int32_t rememberedSecond = 0;
  int32_t count = 0;
};
template <class ReadSecond>
std::string FpsTextTick(FpsCounter& counter, ReadSecond&& readSecond);

// --- Splash and menu ---------------------------------------------------------

struct SplashState {
  int32_t leaveRequest = 0;
  int32_t result = 0;
  uint32_t startMs = 0;
};

struct MenuState {
  int32_t leaveRequest = 0;
  int32_t result = 0;
  int32_t item = 1;
  int32_t cursorY = 100;
  int32_t item1Picture = kImageItem2Player;
  int32_t item2Picture = kImageItemHost;
  int32_t propellerPhase = 0;  // kept across visits
};

// Keys released in one menu frame.
struct MenuKeys {
  bool esc = false;
  bool up = false;
  bool down = false;
  bool right = false;
  bool left = false;
  bool enter = false;
};

// Set-up on every entry to the menu (the propeller phase is kept).
void MenuReset(MenuState& menu);

// Applies one frame's keys to the menu. Returns true when Esc asks to leave the
// program at once. Sounds to play are reported through `effects`.
bool MenuKeysApply(MenuState& menu, const MenuKeys& keys, MatchEffects& effects);

// ----------------------------------------------------------------------------
// Template definitions.

template <class ReadMs>
void FrameClockTick(FrameClock& clock, ReadMs&& readMs, bool inMatch, PlaneState planes[2]) {
  uint32_t now = readMs();
  if (now - static_cast<uint32_t>(clock.lastTick) > 999u) {
    clock.lastTick = static_cast<int32_t>(readMs());
    clock.framesPerSecond = clock.frameCounter;
    clock.frameCounter = 0;
    float factor;
    if (clock.framesPerSecond > 0) {
      factor = clock.base / static_cast<float>(clock.framesPerSecond);
    } else if (clock.movementFactor != 0.0f) {
      factor = clock.movementFactor;
    } else {
      factor = clock.base / 63.0f;
    }
    if (inMatch) clock.movementFactor = factor;
    planes[0].speed = factor;
    planes[1].speed = factor;
  } else {
    clock.frameCounter = clock.frameCounter + 1;
  }
}

template <class ReadSecond>
std::string FpsTextTick(FpsCounter& counter, ReadSecond&& readSecond) {
  std::string result;
  int32_t s = readSecond();
  if (s == counter.rememberedSecond) {
    counter.count = counter.count + 1;
  } else {
    result = std::to_string(counter.count);
    counter.count = 0;
  }
  counter.rememberedSecond = readSecond();
  return result;
}

}  // namespace game
