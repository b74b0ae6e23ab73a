#pragma once
// Everything skirmora-join keeps from its start window to the end of its
// match, in one value that main owns and hands down. The lobby and the match
// are steps over this value; the frame around them polls the keyboard and
// the connection and carries out what the step asks for.

#include <cstdint>
#include <string>

#include "join/join_view.h"
#include "netplay/console.h"
#include "netplay/match.h"
#include "netplay/reader.h"

namespace join {

// Where the connection to the host stands.
enum class Link {
  Failed,     // the last attempt failed (or none was made yet)
  Pending,    // an attempt is under way
  Connected,  // connected to the host
  Closed,     // closed by this side after a version mismatch; never tried again
  Gone,       // the host's end closed or broke; never tried again
};

// What became of a pending attempt in this frame.
enum class ConnectProgress {
  None,       // no attempt was pending
  Trying,     // still under way
  Connected,  // the host answered
  Failed,     // refused or unreachable
};

constexpr int32_t kLobbyWaiting = 0;  // waiting for the welcome
constexpr int32_t kLobbyJoined = 2;   // welcome accepted, name sent
constexpr int32_t kLobbyRefused = 99;

// The lobby result that starts the match.
constexpr int32_t kLobbyStartMatch = 7777;

// A failed attempt is followed by the next one when more than this many whole
// seconds have passed since it failed.
constexpr int32_t kRetrySeconds = 10;

struct JoinSession {
  std::string playerName;
  std::string addressText;
  std::string hostName;
  netplay::Console console;
  netplay::ConsolePicture consolePicture;  // what the last lobby frame drew
  Link link = Link::Failed;
  int32_t connection = 0;       // the pending or connected connection, 0 when none
  uint32_t attemptStartMs = 0;  // when the attempt under way began
  uint32_t attemptTime = 0;     // when the last attempt failed
  int32_t lobbyState = kLobbyWaiting;
  int32_t sentReady = 0;
  int32_t lobbyResult = 0;
  netplay::MessageReader reader;
  // Set by the frame once the host's end was found closed or broken; its
  // last messages are still in the reader, and the step handles them first.
  bool peerGone = false;
  bool hostSaidClose = false;  // the host's "close" came in the lobby
  int32_t bytesThisFrame = 0;
  netplay::NetMatch match;
  int32_t ownHeading = 0;          // whole degrees, kept from program start
  PlaneView view;                  // where the match draws both planes
  int32_t kernelRoundTripMs = -1;  // the transport's own estimate, -1 when there is none
  // Where the address of the host last reached is kept ("" keeps none), and
  // whether this run has written it already.
  std::string addressFile;
  bool addressKept = false;
};

// What a step asks the frame to do, in order.
struct JoinAction {
  enum class Kind { StartConnect, GiveUpConnect, Send, Close };
  Kind kind = Kind::Send;
  std::string text;
};

}  // namespace join
