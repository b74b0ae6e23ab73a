#pragma once
// Everything skirmora-host keeps from its start window to the end of its
// match, in one value that main owns and hands down. The lobby and the match
// are steps over this value: the frame around them polls the keyboard and
// the network, hands the step what arrived and carries out what it asks for.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "game/replay.h"
#include "game/replay_file.h"
#include "netplay/console.h"
#include "netplay/match.h"
#include "netplay/reader.h"

namespace host {

// One accepted connection of the lobby.
struct ClientEntry {
  int32_t connection = 0;
  int32_t connectedAt = 0;  // ElapsedMs when it was accepted
  int32_t state = 0;        // 0 new, 1 welcomed (waiting for the name), 2 named
  std::string name;         // the name it sent (state 2)
};

constexpr int32_t kEntryNew = 0;
constexpr int32_t kEntryWelcomed = 1;
constexpr int32_t kEntryNamed = 2;

// A welcomed connection that has not sent its name after this many whole
// seconds is dropped.
constexpr int32_t kNameWaitSeconds = 19;

// The lobby result that starts the match.
constexpr int32_t kLobbyStartMatch = 7777;

struct HostSession {
  std::string playerName;
  std::string addressText;  // read from the start window, not used
  netplay::Console console;
  int32_t consoleShown = 0;  // lines the frame draws (those there before the entries' turn)
  netplay::ConsolePicture consolePicture;  // what the last lobby frame drew
  std::vector<ClientEntry> clients;
  // One reader per open connection, also for connections that have no entry.
  std::map<int32_t, netplay::MessageReader> readers;
  int32_t opponentConnection = 0;  // the client the match was started with
  bool opponentLost = false;       // its connection closed or broke in the match
  std::string opponentName;
  int32_t startedFlag = 0;
  int32_t lastShownSeconds = 0;  // one value for the whole program, never reset
  int32_t lobbyResult = 0;
  int32_t bytesThisFrame = 0;  // bytes read in the current frame
  // The round trip to the opponent shown as "ping: ", in milliseconds, -1 when
  // not known. The host cannot see it in the game's messages (the client's
  // headings follow its player, never the host's states), so it is the
  // transport's own estimate.
  int32_t roundTripMs = -1;
  netplay::NetMatch match;
  // The match is written to a replay file when `recordReplay` is set; the
  // client's messages of each frame, as the match applied them, go into it.
  bool recordReplay = false;
  game::ReplayRecorder recorder;
  std::vector<game::ReplayClientInput> clientInputs;
};

// What happened on the network in one frame, in the order it happened.
struct HostNetEvent {
  int32_t kind = 0;  // kNetEventConnect or kNetEventLost
  int32_t connection = 0;
  // A loss takes the connection's reader away: the complete messages it
  // still held, in arrival order (those that came with the close), which the
  // steps handle before the loss itself.
  std::vector<std::string> lastMessages = {};
};

// What a step asks the frame to do, in order.
struct HostAction {
  enum class Kind { Send, Close, CloseServer };
  Kind kind = Kind::Send;
  int32_t connection = 0;
  std::string text;
};

// Appends an entry in state new for the connection.
void ClientAdd(HostSession& session, int32_t connection, uint32_t nowMs);
// Deletes the first entry of the connection; 1 when there was one, else 0.
int32_t ClientRemove(HostSession& session, int32_t connection);

}  // namespace host
