#include "host/host_program.h"

#include "game/passes.h"
#include "host/host_link.h"
#include "host/host_lobby.h"
#include "host/host_match.h"
#include "host/host_replay.h"
#include "media/display.h"
#include "media/draw.h"
#include "netplay/protocol.h"
#include "netplay/startup.h"
#include "runtime/frame.h"
#include "runtime/net.h"

namespace host {

void HostLobbyFrame(HostSession& s) {
  const netplay::NetKeys keys = netplay::NetKeysPoll();
  const std::vector<HostNetEvent> events = HostPollNetwork(s);
  std::vector<HostAction> actions;
  HostLobbyStep(s, keys, ElapsedMs(), events, actions);
  HostApply(s, actions);
  netplay::ConsoleShow(s.console, s.consoleShown, s.consolePicture);
  SleepMs(1);
  ScreenFlip();
}

bool HostMatchFrame(HostSession& s) {
  const netplay::NetKeys keys = netplay::NetKeysPoll();
  ScreenClear(170, 200, 255);
  const std::vector<HostNetEvent> events = HostPollNetwork(s);
  std::vector<HostAction> actions;
  game::MatchEffects& effects = game::MediaEffects();
  HostMatchStep(s, keys, events, effects, actions);
  HostApply(s, actions);
  const int32_t roundTripUs = NetRoundTripUs(s.opponentConnection);
  s.roundTripMs = roundTripUs < 0 ? -1 : (roundTripUs + 500) / 1000;
  HostReplayFrame(s, keys, ElapsedMs());
  HostMatchDraw(s, effects);
  ScreenFlip();
  return !keys.escReleased;
}

void HostMain(HostSession& s, const netplay::NetplayOptions& options) {
  StartWindowValues values;
  if (!netplay::NetplayStart(&values, options)) return;
  s.playerName = values.playerName;
  s.addressText = values.addressText;
  if (NetServerCreate(netplay::kGamePort) == 0) {
    MessageBox("Error", "Can't create the server (port in use ?).", 0);
    return;
  }
  HostLobbyBegin(s, NetLocalAddresses());
  do {
    HostLobbyFrame(s);
  } while (s.lobbyResult == 0);
  if (s.lobbyResult != kLobbyStartMatch) return;
  HostMatchBegin(s);
  HostReplayBegin(s, ElapsedMs());
  while (HostMatchFrame(s)) {
  }
  s.recorder.End();
}

}  // namespace host
