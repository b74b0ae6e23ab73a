#pragma once
// skirmora-host from its start-up to its way out: checks, start window,
// screen and images, the server, the lobby and then the match.

#include "host/host_session.h"
#include "netplay/startup.h"

namespace host {

// Runs the program until its way out is to be taken. Does not run the end
// hooks.
void HostMain(HostSession& session, const netplay::NetplayOptions& options = {});

// One lobby frame: keys, network, step, console, presentation.
void HostLobbyFrame(HostSession& session);

// One match frame: keys, network, step, drawing, presentation. False when the
// player let go of Esc (the frame is still shown).
bool HostMatchFrame(HostSession& session);

}  // namespace host
