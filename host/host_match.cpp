#include "host/host_match.h"

#include "netplay/protocol.h"
#include "runtime/net.h"

namespace host {
namespace {

// The opponent's heading and shot of one message, as inputs of the frame.
void TakeHeading(std::vector<game::ReplayClientInput>& inputs, const std::string& message) {
  const netplay::HeadingFields heading = netplay::ReadHeading(message);
  if (heading.isHeading) inputs.push_back({false, heading.heading});
  if (heading.fire) inputs.push_back({true, 0.0f});
}

}  // namespace

void HostMatchBegin(HostSession& s) {
  netplay::NetMatchBeginHost(s.match);
}

bool HostMatchRules(netplay::NetMatch& m, const netplay::NetKeys& keys,
                    const std::vector<game::ReplayClientInput>& client,
                    game::MatchEffects& effects) {
  game::PlaneState& red = m.planes[0];
  game::PlaneState& blue = m.planes[1];
  red.heading = game::TurnHeading(red.heading, keys.leftHeld, keys.rightHeld);
  const bool fired = game::FirePlayer(red, 0, netplay::FireKeys(keys), false, m.shots, 0, effects);
  for (const game::ReplayClientInput& input : client) {
    if (input.fire) {
      netplay::NetAnnouncedShot(m, 1);
    } else {
      blue.heading = input.heading;
    }
  }
  netplay::NetShotPass(m, effects);
  for (game::PlaneState& plane : m.planes) {
    game::MovePlane(plane);
    game::WrapPlane(plane, false);
  }
  return fired;
}

void HostMatchStep(HostSession& s, const netplay::NetKeys& keys,
                   const std::vector<HostNetEvent>& events, game::MatchEffects& effects,
                   std::vector<HostAction>& actions) {
  netplay::NetMatch& m = s.match;
  // The client's headings and shots, in the order they came.
  s.clientInputs.clear();
  for (const HostNetEvent& event : events) {
    if (event.kind != kNetEventLost) continue;
    ClientRemove(s, event.connection);
    if (event.connection != s.opponentConnection) continue;
    // What the opponent sent just before it went still counts.
    for (const std::string& message : event.lastMessages) TakeHeading(s.clientInputs, message);
    // The number may come back with the next connection; a newcomer must
    // not take over the blue plane.
    s.opponentConnection = 0;
    s.opponentLost = true;
  }
  for (auto& [connection, reader] : s.readers) {
    if (connection != s.opponentConnection) {
      reader.Clear();
      continue;
    }
    while (reader.HasMessage()) TakeHeading(s.clientInputs, reader.TakeMessage());
  }
  const bool fired = HostMatchRules(m, keys, s.clientInputs, effects);
  const std::string state = netplay::PlaneStateMessage(m.planes[0], m.planes[1], fired);
  for (const ClientEntry& entry : s.clients) {
    actions.push_back({HostAction::Kind::Send, entry.connection, state});
  }
}

void HostMatchDraw(HostSession& s, game::MatchEffects& effects) {
  netplay::MatchHud hud;
  hud.bytesX = 0;
  hud.bytes = s.bytesThisFrame;
  hud.roundTripMs = s.roundTripMs;
  hud.redName = s.playerName;
  hud.blueName = s.opponentName;
  hud.peerLost = s.opponentLost;
  netplay::NetMatchDraw(s.match, s.match.planes[0].heading, s.match.planes[1].heading, hud,
                        effects);
}

}  // namespace host
