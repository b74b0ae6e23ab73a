#include "netplay/match.h"

#include <algorithm>
#include <cmath>

#include "media/draw.h"
#include "media/quad3d.h"
#include "runtime/frame.h"

namespace netplay {
namespace {

// The round-trip line stands one text line below "pak: ".
constexpr int32_t kPingLineY = 16;
// Where "Verbindung verloren" stands: about the middle of the top, below the
// names and energies.
constexpr int32_t kLostTextX = 340;
constexpr int32_t kLostTextY = 40;

void BeginPlanes(NetMatch& m) {
  game::PlaneReset(m.planes[0], 0);
  game::PlaneReset(m.planes[1], 1);
  m.planes[0].speed = kNetPlaneSpeed;
  m.planes[1].speed = kNetPlaneSpeed;
  ListNew(m.shots);
  ListNew(m.blasts);
}

}  // namespace

void NetMatchBeginHost(NetMatch& m) {
  BeginPlanes(m);
}

void NetMatchBeginClient(NetMatch& m) {
  BeginPlanes(m);
  m.planes[0].y = 200.0f;
  m.planes[1].y = 200.0f;
}

void NetShotPass(NetMatch& m, game::MatchEffects& effects) {
  game::ShotPassOptions options;
  options.margin = kNetShotMargin;
  game::ShotPass(m.shots, m.blasts, m.planes, options, effects);
}

bool NetAnnouncedShot(NetMatch& m, int player) {
  game::PlaneState& plane = m.planes[player];
  if (plane.liveShotCount >= kNetMostShots) return false;
  *ListAdd(m.shots) = game::MakeShot(plane, player == 0 ? 0.0f : 1.0f);
  plane.liveShotCount += 1;
  return true;
}

int32_t FramesToMs(int32_t frames) {
  return static_cast<int32_t>(std::lround(frames * 1000.0 / kNetFramesPerSecond));
}

std::string PingText(int32_t roundTripMs) {
  return "ping: " + (roundTripMs < 0 ? std::string("-") : TextFromLong(roundTripMs));
}

void NetMatchDraw(NetMatch& m, float redHeading, float blueHeading, const MatchHud& hud,
                  game::MatchEffects& effects) {
  game::AnimatePlane(m.planes[0], 0);
  game::AnimatePlane(m.planes[1], 1);
  Quad3DBegin();
  game::ShowPlanes(m.planes[0], redHeading, m.planes[1], blueHeading, effects);
  Quad3DBlendingMode(5, 7);
  game::CloudBorder(m.cloudOffset, kNetCloudDrift, effects);
  Quad3DEnd();

  Quad3DBegin();
  game::BlastPass(m.blasts, effects);
  Quad3DEnd();

  DrawBegin(ScreenOutput());
  DrawLocate(hud.bytesX, 0);
  DrawText("pak: " + TextFromLong(hud.bytes));
  // Below "pak: ", moved left as far as a long figure needs to stay on screen.
  const std::string ping = PingText(hud.roundTripMs);
  DrawLocate(std::min(hud.bytesX, game::kScreenWidth - DrawTextWidth(ping)), kPingLineY);
  DrawText(ping);
  DrawLocate(70, 10);
  DrawText(hud.redName + ": " + TextFromLong(m.planes[0].energy));
  DrawLocate(650, 10);
  DrawText(hud.blueName + ": " + TextFromLong(m.planes[1].energy));
  if (hud.peerLost) {
    DrawLocate(kLostTextX, kLostTextY);
    DrawText(kTextConnectionLost);
  }
  DrawEnd();
}

}  // namespace netplay
