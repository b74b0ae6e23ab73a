#include "host/host_match.h"

#include "netplay/protocol.h"
#include "runtime/net.h"

namespace host {

void HostMatchBegin(HostSession& s) {
  netplay::NetMatchBeginHost(s.match);
}

void HostMatchStep(HostSession& s, const netplay::NetKeys& keys,
                   const std::vector<HostNetEvent>& events, game::MatchEffects& effects,
                   std::vector<HostAction>& actions) {
  netplay::NetMatch& m = s.match;
  game::PlaneState& red = m.planes[0];
  game::PlaneState& blue = m.planes[1];

  red.heading = game::TurnHeading(red.heading, keys.leftHeld, keys.rightHeld);
  const bool fired = game::FirePlayer(red, 0, netplay::FireKeys(keys), false, m.shots, 0, effects);

  for (const HostNetEvent& event : events) {
    if (event.kind != kNetEventLost) continue;
    ClientRemove(s, event.connection);
    // The number may come back with the next connection; a newcomer must
    // not take over the blue plane.
    if (event.connection == s.opponentConnection) s.opponentConnection = 0;
  }
  for (auto& [connection, reader] : s.readers) {
    if (connection != s.opponentConnection) {
      reader.Clear();
      continue;
    }
    while (reader.HasMessage()) {
      const netplay::HeadingFields heading = netplay::ReadHeading(reader.TakeMessage());
      if (heading.isHeading) blue.heading = heading.heading;
      if (heading.fire) netplay::NetAnnouncedShot(m, 1);
    }
  }

  netplay::NetShotPass(m, effects);
  for (game::PlaneState& plane : m.planes) {
    game::MovePlane(plane);
    game::WrapPlane(plane, false);
  }
  const std::string state = netplay::PlaneStateMessage(red, blue, fired);
  for (const ClientEntry& entry : s.clients) {
    actions.push_back({HostAction::Kind::Send, entry.connection, state});
  }
}

void HostMatchDraw(HostSession& s, game::MatchEffects& effects) {
  netplay::MatchHud hud;
  hud.bytesX = 0;
  hud.bytes = s.bytesThisFrame;
  hud.redName = s.playerName;
  hud.blueName = s.opponentName;
  netplay::NetMatchDraw(s.match, s.match.planes[0].heading, s.match.planes[1].heading, hud,
                        effects);
}

}  // namespace host
