#pragma once
// The client lobby: connecting to the host (again every 11 seconds while no
// host answers), the welcome with its version check, the name, the player's
// readiness and the host's start signal.

#include <cstdint>
#include <vector>

#include "join/join_session.h"
#include "netplay/startup.h"

namespace join {

// Before the first lobby frame: the first connection attempt and its console line.
void JoinLobbyBegin(JoinSession& session, uint32_t nowMs, std::vector<JoinAction>& actions);

// One lobby frame after the connection has been looked at: `progress` tells
// what became of a pending attempt, and the session's reader holds what the
// host sent. Messages are handled in arrival order until the host's start
// signal; those after it stay queued for the match. Sets lobbyResult: 0 to go
// on, kLobbyStartMatch to start the match (also when Esc was let go in the
// same frame), anything else to leave.
void JoinLobbyStep(JoinSession& session, const netplay::NetKeys& keys, uint32_t nowMs,
                   ConnectProgress progress, std::vector<JoinAction>& actions);

}  // namespace join
