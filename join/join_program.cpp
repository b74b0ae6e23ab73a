#include "join/join_program.h"

#include "game/passes.h"
#include "join/join_link.h"
#include "join/join_lobby.h"
#include "join/join_match.h"
#include "join/last_address.h"
#include "media/display.h"
#include "media/draw.h"
#include "netplay/startup.h"
#include "runtime/frame.h"
#include "runtime/net.h"

namespace join {

void JoinLobbyFrame(JoinSession& s) {
  const netplay::NetKeys keys = netplay::NetKeysPoll();
  const ConnectProgress progress = JoinPollNetwork(s);
  std::vector<JoinAction> actions;
  JoinLobbyStep(s, keys, ElapsedMs(), progress, actions);
  JoinApply(s, actions);
  // A welcome (whatever its version) shows that a host answers at the address.
  if (s.lobbyState != kLobbyWaiting && !s.addressKept && !s.addressFile.empty()) {
    LastAddressSave(s.addressFile, s.addressText);
    s.addressKept = true;
  }
  netplay::ConsoleShow(s.console, -1, s.consolePicture);
  SleepMs(1);
  ScreenFlip();
}

bool JoinMatchFrame(JoinSession& s) {
  const netplay::NetKeys keys = netplay::NetKeysPoll();
  ScreenClear(170, 200, 255);
  JoinPollNetwork(s);
  std::vector<JoinAction> actions;
  game::MatchEffects& effects = game::MediaEffects();
  JoinMatchStep(s, keys, effects, actions);
  JoinApply(s, actions);
  const int32_t roundTripUs = NetRoundTripUs(s.connection);
  s.kernelRoundTripMs = roundTripUs < 0 ? -1 : (roundTripUs + 500) / 1000;
  JoinMatchDraw(s, effects);
  ScreenFlip();
  return !keys.escReleased;
}

void JoinMain(JoinSession& s, const netplay::NetplayOptions& options) {
  StartWindowValues values;
  s.addressFile = LastAddressPath();
  values.addressText = LastAddressLoad(s.addressFile);
  if (!netplay::NetplayStart(&values, options)) return;
  s.playerName = values.playerName;
  s.addressText = values.addressText;
  std::vector<JoinAction> actions;
  JoinLobbyBegin(s, ElapsedMs(), actions);
  JoinApply(s, actions);
  do {
    JoinLobbyFrame(s);
  } while (s.lobbyResult == 0);
  if (s.lobbyResult != kLobbyStartMatch) return;
  JoinMatchBegin(s);
  while (JoinMatchFrame(s)) {
  }
}

}  // namespace join
