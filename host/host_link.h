#pragma once
// The host's side of the network in each frame: polling the server and
// carrying out what a step asked for.

#include <vector>

#include "host/host_session.h"

namespace host {

// Polls the server until it has nothing more to report in this frame: new
// connections get a fresh reader, waiting bytes of every connection are read
// into that connection's reader (at most a frame's budget each), lost
// connections lose their reader. Returns the connects and losses in order and
// sets bytesThisFrame.
std::vector<HostNetEvent> HostPollNetwork(HostSession& session);

// Sends, closes connections and closes the server, in order.
void HostApply(HostSession& session, const std::vector<HostAction>& actions);

}  // namespace host
