#pragma once
// What the host's and the client's match share: the record of a network
// match, its shot pass (the local game's, with the fixed wrap margin and no
// sounds) and the drawing of a frame after the shots: planes, cloud border,
// explosions and the head-up texts.

#include <cstdint>
#include <string>

#include "game/passes.h"
#include "game/records.h"
#include "game/rules.h"
#include "runtime/lists.h"

namespace netplay {

// Planes move this many pixels per frame in the network match, whatever the
// frame rate.
constexpr float kNetPlaneSpeed = 2.0f;
// Shots wrap this far outside the screen.
constexpr float kNetShotMargin = 8.0f;
// The cloud border drifts this many pixels per frame.
constexpr float kNetCloudDrift = 0.5f;
// Most shots a player has in the air.
constexpr int32_t kNetMostShots = 6;

struct NetMatch {
  // planes[0] is the host's (red), planes[1] the client's (blue).
  game::PlaneState planes[2];
  ListHandle<game::ShotItem> shots;
  ListHandle<game::BlastItem> blasts;
  float cloudOffset = 0.0f;  // kept from program start
};

// Starting values of a match. The planes start where the host puts them; the
// client starts both at y 200 until the first plane state arrives.
void NetMatchBeginHost(NetMatch& match);
void NetMatchBeginClient(NetMatch& match);

// Moves, draws, wraps and hit-tests every shot; hits cost 10 energy and leave
// an explosion. No sound is played.
void NetShotPass(NetMatch& match, game::MatchEffects& effects);

// Appends a shot of the player (0 host, 1 client) when that player has fewer
// than kNetMostShots in the air, counting it at once so that several
// announcements in one frame keep to the limit. True when a shot was made.
bool NetAnnouncedShot(NetMatch& match, int player);

// The network programs run at 60 frames a second.
constexpr int32_t kNetFramesPerSecond = 60;
// Frames as whole milliseconds, rounded.
int32_t FramesToMs(int32_t frames);

// The head-up texts of a frame.
struct MatchHud {
  int32_t bytesX = 0;        // where "pak: " stands (top row); "ping: " stands below it
  int32_t bytes = 0;         // bytes received in this frame
  int32_t roundTripMs = -1;  // -1 while the round trip is not known: "ping: -"
  std::string redName;
  std::string blueName;
  bool peerLost = false;  // the other side's connection closed or broke
};

// The round-trip line of the head-up display: "ping: " and the milliseconds.
std::string PingText(int32_t roundTripMs);
// Shown on the match screen once the other side's connection is gone.
inline constexpr char kTextConnectionLost[] = "Verbindung verloren";

// Draws the rest of a match frame after the shot pass: both planes' next
// propeller frame at their positions, the red one turned to redHeading + 90
// and the blue one to blueHeading + 270, the cloud border, the explosions
// and the head-up texts (black on white, as drawing starts), with
// kTextConnectionLost in the middle of the top when the peer is lost.
void NetMatchDraw(NetMatch& match, float redHeading, float blueHeading, const MatchHud& hud,
                  game::MatchEffects& effects);

}  // namespace netplay
