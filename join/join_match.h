#pragma once
// The client's match: the client turns its own heading and fires from the
// keyboard, sends its heading every frame, places both planes where the
// host's latest plane state says, and moves its own copy of every shot,
// counting the hits itself. It runs until the client's player lets go of Esc.

#include <vector>

#include "game/rules.h"
#include "join/join_session.h"
#include "netplay/startup.h"

namespace join {

// Starting values of the match.
void JoinMatchBegin(JoinSession& session);

// One match frame after the connection has been read and the screen cleared:
// turning and firing, the heading message, every plane state the host sent
// (in order; each "fire" makes a host shot), and the shot pass (which draws
// the shots).
void JoinMatchStep(JoinSession& session, const netplay::NetKeys& keys, game::MatchEffects& effects,
                   std::vector<JoinAction>& actions);

// Draws the rest of the frame: planes, clouds, explosions, head-up texts.
void JoinMatchDraw(JoinSession& session, game::MatchEffects& effects);

// The round trip shown as "ping: ", in milliseconds: measured from the host's
// echo of the own turns once a turn has shown it, the transport's own
// estimate before that, -1 when there is neither.
int32_t JoinRoundTripMs(const JoinSession& session);

}  // namespace join
