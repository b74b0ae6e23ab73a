#pragma once
// The client's side of the network in each frame: looking at the connection
// attempt, reading what the host sent and carrying out what a step asked for.

#include <string>
#include <vector>

#include "join/join_session.h"

namespace join {

// Looks at a pending attempt (without waiting) and, once connected, reads the
// waiting bytes into the session's reader; sets bytesThisFrame.
ConnectProgress JoinPollNetwork(JoinSession& session);

// Starts and gives up attempts, sends, closes, in order.
void JoinApply(JoinSession& session, const std::vector<JoinAction>& actions);

}  // namespace join
