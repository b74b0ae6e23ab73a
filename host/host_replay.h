#pragma once
// The host's replays: the match written as it runs (the host's keys and the
// client's messages as the match applied them, and the bytes its head-up
// display showed), and a replay shown again: skirmora-host --replay FILE.

#include "game/replay.h"
#include "host/host_session.h"
#include "netplay/startup.h"

namespace host {

// At the start of the match: opens the replay file when the session records.
void HostReplayBegin(HostSession& session, uint32_t nowMs);

// After a match step, before the drawing: writes the frame (the step left the
// client's messages in session.clientInputs; the bytes and the round trip
// the display shows are in the session).
void HostReplayFrame(HostSession& session, const netplay::NetKeys& keys, uint32_t nowMs);

// Sets the session up to show a replay's match: names, generator, cloud.
void HostReplayStart(HostSession& session, const game::Replay& replay);

// One frame of a replay: clears the sky, runs the match's rules on the
// frame's inputs and draws the rest (the caller presents it).
void HostReplayShowFrame(HostSession& session, const game::ReplayFrame& frame,
                         game::MatchEffects& effects);

// The whole program for --replay: the checks, the screen, then every frame
// until the replay ends or Esc is let go.
void HostReplayMain(HostSession& session, const game::Replay& replay,
                    const netplay::NetplayOptions& options);

}  // namespace host
