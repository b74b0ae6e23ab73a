#include "join/join_match.h"

#include "netplay/protocol.h"

namespace join {
namespace {

// A shot the host announced, fired from `from`. The host never has more than
// six shots in the air; announcements past that (from a host that does not
// keep to it) make none here either.
void HostShot(netplay::NetMatch& m, const game::PlaneState& from) {
  game::PlaneState& red = m.planes[0];
  if (red.liveShotCount >= netplay::kNetMostShots) return;
  *ListAdd(m.shots) = game::MakeShot(from, 0.0f);
  red.liveShotCount += 1;
}

}  // namespace

void JoinMatchBegin(JoinSession& s) {
  netplay::NetMatchBeginClient(s.match);
  s.view.Begin(static_cast<float>(s.ownHeading));
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
  s.view.NoteOwnHeading(blue.heading);

  while (s.reader.HasMessage()) {
    const netplay::PlaneStateFields state = netplay::ReadPlaneState(s.reader.TakeMessage());
    if (state.isPlaneState) {
      s.view.Receive(state);
    } else if (state.fire) {
      // A cut message still announces a shot; it has no place in the host's
      // order of frames, so the shot leaves the red plane where it is now.
      HostShot(m, red);
    }
  }

  // Both planes where the view puts them, and the shots of the host's frames
  // that became due, each from where the host fired it.
  std::vector<ViewState> due;
  const ViewFrame shown = s.view.Show(due);
  for (const ViewState& d : due) {
    if (!d.fire) continue;
    game::PlaneState from = red;
    from.x = d.hostX;
    from.y = d.hostY;
    from.heading = d.hostHeading;
    HostShot(m, from);
  }
  if (shown.any) {
    red.heading = shown.hostHeading;
    red.x = shown.host.x;
    red.y = shown.host.y;
    blue.x = shown.client.x;
    blue.y = shown.client.y;
  }
  if (s.peerGone && s.link == Link::Connected) {
    // The host's last plane states are in; from now on nothing comes.
    actions.push_back({JoinAction::Kind::Close, {}});
    s.link = Link::Gone;
  }

  netplay::NetShotPass(m, effects);
}

void JoinMatchDraw(JoinSession& s, game::MatchEffects& effects) {
  netplay::MatchHud hud;
  hud.bytesX = 740;
  hud.bytes = s.bytesThisFrame;
  hud.roundTripMs = JoinRoundTripMs(s);
  hud.redName = s.hostName;
  hud.blueName = s.playerName;
  hud.peerLost = s.link == Link::Gone;
  netplay::NetMatchDraw(s.match, s.match.planes[0].heading, static_cast<float>(s.ownHeading), hud,
                        effects);
}

int32_t JoinRoundTripMs(const JoinSession& s) {
  if (s.view.RoundTripKnown()) return netplay::FramesToMs(s.view.RoundTripFrames());
  return s.kernelRoundTripMs;
}

}  // namespace join
