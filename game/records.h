#pragma once
// The plain records of the local game and the constants its rules share with
// the network match. Positions and effect values are 32-bit floats; counters,
// energies and flags are 32-bit integers.

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

namespace game {

// Screen size the rules work in.
constexpr int32_t kScreenWidth = 800;
constexpr int32_t kScreenHeight = 600;

// Degrees to radians with the 32-bit value 3.1415 for pi, as the flight rules
// have always used it (not the full-precision pi).
constexpr float kPi = 3.1415f;
constexpr float kDegToRad = (2.0f * kPi) / 360.0f;

// Object numbers of the catalogue.
constexpr int32_t kImagePlane1A = 100;
constexpr int32_t kImagePlane1B = 101;
constexpr int32_t kImagePlane2A = 110;
constexpr int32_t kImagePlane2B = 111;
constexpr int32_t kImageShot = 150;
constexpr int32_t kImageBlastFirst = 161;
constexpr int32_t kImageBlastLast = 179;
constexpr int32_t kImageCloud = 200;
constexpr int32_t kImageSmoke = 201;
constexpr int32_t kImageSplash = 499;
constexpr int32_t kImageMenuBack = 500;
constexpr int32_t kImageMenuLogo = 501;
constexpr int32_t kImageItem1Player = 502;
constexpr int32_t kImageItem2Player = 503;
constexpr int32_t kImageItemHost = 504;
constexpr int32_t kImageItemJoin = 505;
constexpr int32_t kImageItemAbout = 506;
constexpr int32_t kImageItemExit = 507;
constexpr int32_t kImageFade = 600;

constexpr int32_t kSoundEngine1 = 1;
constexpr int32_t kSoundEngine2 = 2;
constexpr int32_t kSoundShot1 = 3;
constexpr int32_t kSoundShot2 = 4;
constexpr int32_t kSoundHit1 = 5;
constexpr int32_t kSoundHit2 = 6;

// Keyboard scan codes.
constexpr int32_t kKeyEsc = 1;
constexpr int32_t kKeyEnter = 28;
constexpr int32_t kKeyLeftCtrl = 29;
constexpr int32_t kKeyA = 30;
constexpr int32_t kKeyD = 32;
constexpr int32_t kKeySpace = 57;
constexpr int32_t kKeyRightCtrl = 157;
constexpr int32_t kKeyUp = 200;
constexpr int32_t kKeyLeft = 203;
constexpr int32_t kKeyRight = 205;
constexpr int32_t kKeyDown = 208;

// Settings read once at start-up from "Preferences.prefs".
struct GameSettings {
  std::string name1 = "Spieler 1";
  std::string name2 = "Spieler 2";
  std::string contact = "127.0.0.1";  // read, not used by the local game
  int32_t port = 6832;                // read, not used by the local game
  int32_t color = 32;                 // read, not used: the full screen is always 32 bits
  int32_t fullscreen = 1;             // 0 = window, anything else = full screen
  int32_t skill = 2;                  // the computer's: 1 easy, 2 normal, 3 hard
};

struct PlaneState {
  float x = 0.0f;  // top-left corner of the 64 x 64 image
  float y = 0.0f;
  float heading = 0.0f;  // degrees, whole numbers kept in 0..360
  float speed = 0.0f;    // pixels per frame
  int32_t energy = 0;
  int32_t frameImage = 0;
  int32_t diveMeasure = 0;          // 0 (straight down) .. 180 (straight up)
  int32_t lastEngineFrequency = 0;  // kept across matches
  int32_t fireLatch = 0;
  int32_t liveShotCount = 0;
};

struct ShotItem {
  float x = 0.0f;  // top-left corner of the 8 x 8 shot image
  float y = 0.0f;
  float owner = 0.0f;  // 0.0 player 1, 1.0 player 2
  float heading = 0.0f;
  float speed = 0.0f;
  float age = 0.0f;
};

struct BlastItem {
  float x = 0.0f;
  float y = 0.0f;
  float frame = 0.0f;  // 3D sprite shown next, 161 .. 179
};

struct SmokeItem {
  float x = 0.0f;
  float y = 0.0f;
  float image = 0.0f;
  float alpha = 0.0f;
  float size = 0.0f;
  float spin = 0.0f;
};

struct MatchState {
  int32_t downedPlayer = 0;  // 0 nobody, 1 or 2
  int32_t fallHeading = 0;
  int32_t quitRequest = 0;
  int32_t endFlag = 0;
  float cloudOffset = 0.0f;  // kept between matches
  std::string shownFpsText;  // kept between matches
};

struct FrameClock {
  float base = 0.0f;
  int32_t framesPerSecond = 0;
  int32_t frameCounter = 0;
  int32_t lastTick = 0;
  float movementFactor = 0.0f;
};

// 0 (overlay invisible) .. 255 (screen covered).
using FadeLevel = int32_t;

// Float to integer as drawing and collision take it: nearest, halves to even.
// Values beyond the 32-bit range (never reached by the rules) are clamped
// instead of being undefined.
inline int32_t RoundToInt(float value) {
  if (std::isnan(value)) return 0;
  if (value >= 2147483520.0f) return std::numeric_limits<int32_t>::max();
  if (value <= -2147483648.0f) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(std::nearbyint(value));
}

}  // namespace game
