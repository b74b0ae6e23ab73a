#pragma once
// The host's side of the network in each frame: polling the server and
// carrying out what a step asked for.

#include <vector>

#include "host/host_session.h"

namespace host {

// Takes the server's connects and losses of this frame (a new connection gets
// a fresh reader, a lost one loses its reader), then reads the waiting bytes
// of every connection into its reader, at most a frame's budget each.
// Returns the connects and losses in order and sets bytesThisFrame.
std::vector<HostNetEvent> HostPollNetwork(HostSession& session);

// Sends, closes connections and closes the server, in order.
void HostApply(HostSession& session, const std::vector<HostAction>& actions);

}  // namespace host
