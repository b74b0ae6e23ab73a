#pragma once
// The host lobby: welcomes each connecting client, learns its name, drops a
// client that stays silent too long, and starts the match on Enter once a
// client is named.

#include <cstdint>
#include <string>
#include <vector>

#include "host/host_session.h"
#include "netplay/startup.h"

namespace host {

// The lobby's first lines: that the host waits on the game port, and the
// machine's own addresses (as NetLocalAddresses gives them), so that its
// player can tell the other one what to type.
void HostLobbyBegin(HostSession& session, const std::vector<std::string>& addresses);

// One lobby frame after the network has been polled: the events of the frame
// (connects and losses, in order) and the messages waiting in the session's
// readers are handled, the console is trimmed, and each entry is welcomed,
// timed, named or started. Sets lobbyResult: 0 to go on, kLobbyStartMatch
// to start the match (Enter wins over an Esc of the same frame), anything
// else to leave, in which case the actions close every entry and the server.
void HostLobbyStep(HostSession& session, const netplay::NetKeys& keys, uint32_t nowMs,
                   const std::vector<HostNetEvent>& events, std::vector<HostAction>& actions);

}  // namespace host
