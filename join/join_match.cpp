#include "join/join_match.h"

#include "netplay/protocol.h"

namespace join {

void JoinMatchBegin(JoinSession& s) {
  netplay::NetMatchBeginClient(s.match);
}

void JoinMatchStep(JoinSession& s, const netplay::NetKeys& keys, game::MatchEffects& effects,
                   std::vector<JoinAction>& actions) {
  netplay::NetMatch& m = s.match;
  game::PlaneState& red = m.planes[0];
  game::PlaneState& blue = m.planes[1];

  // The own heading is kept in whole degrees; turning works as on the host.
  s.ownHeading = static_cast<int32_t>(
      game::TurnHeading(static_cast<float>(s.ownHeading), keys.leftHeld, keys.rightHeld));
  blue.heading = static_cast<float>(s.ownHeading);
  const bool fired = game::FirePlayer(blue, 1, netplay::FireKeys(keys), false, m.shots, 0, effects);
  actions.push_back({JoinAction::Kind::Send, netplay::HeadingMessage(blue.heading, fired)});

  while (s.reader.HasMessage()) {
    const netplay::PlaneStateFields state = netplay::ReadPlaneState(s.reader.TakeMessage());
    if (state.isPlaneState) {
      red.heading = state.hostHeading;
      red.x = state.hostX;
      red.y = state.hostY;
      blue.x = state.clientX;
      blue.y = state.clientY;
    }
    // The host keeps to the limit of shots when it fires; every announced
    // shot is made here.
    if (state.fire) *ListAdd(m.shots) = game::MakeShot(red, 0.0f);
  }

  netplay::NetShotPass(m, effects);
}

void JoinMatchDraw(JoinSession& s, game::MatchEffects& effects) {
  netplay::MatchHud hud;
  hud.bytesX = 740;
  hud.bytes = s.bytesThisFrame;
  hud.redName = s.hostName;
  hud.blueName = s.playerName;
  netplay::NetMatchDraw(s.match, s.match.planes[0].heading, static_cast<float>(s.ownHeading), hud,
                        effects);
}

}  // namespace join
