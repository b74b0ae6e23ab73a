#pragma once
// skirmora-join from its start-up to its way out: checks, start window,
// screen and images, the lobby and then the match.

#include "join/join_session.h"
#include "netplay/startup.h"

namespace join {

// Runs the program until its way out is to be taken. Does not run the end
// hooks.
void JoinMain(JoinSession& session, const netplay::NetplayOptions& options = {});

// One lobby frame: keys, network, step, console, presentation.
void JoinLobbyFrame(JoinSession& session);

// One match frame: keys, network, step, drawing, presentation. False when the
// player let go of Esc (the frame is still shown).
bool JoinMatchFrame(JoinSession& session);

}  // namespace join
