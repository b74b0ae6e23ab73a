#pragma once
// The host's match: the host flies both planes, its own from the keyboard and
// the client's from the headings the client sends, moves every shot, counts
// the hits and sends both positions to its client every frame. It runs until
// the host's player lets go of Esc.

#include <vector>

#include "game/replay.h"
#include "game/rules.h"
#include "host/host_session.h"
#include "netplay/startup.h"

namespace host {

// Starting values of the match.
void HostMatchBegin(HostSession& session);

// One match frame after the network has been polled and the screen cleared:
// turning and firing, the client's headings and shots from every message its
// connection sent (in order), the shot pass (which draws the shots), moving
// and wrapping both planes, and the plane state to every client entry.
// Messages of other connections are dropped; a connect gets no entry and a
// lost connection takes only its own entry with it.
void HostMatchStep(HostSession& session, const netplay::NetKeys& keys,
                   const std::vector<HostNetEvent>& events, game::MatchEffects& effects,
                   std::vector<HostAction>& actions);

// The rules of one match frame from the host's keys and the client's messages
// (new headings and shots, in order): turning and firing, the client's
// headings and shots, the shot pass, moving and wrapping both planes. True
// when the host's plane fired.
bool HostMatchRules(netplay::NetMatch& match, const netplay::NetKeys& keys,
                    const std::vector<game::ReplayClientInput>& client,
                    game::MatchEffects& effects);

// Draws the rest of the frame: planes, clouds, explosions, head-up texts.
void HostMatchDraw(HostSession& session, game::MatchEffects& effects);

}  // namespace host
