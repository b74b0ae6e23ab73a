#pragma once
// The wire protocol of the network pair: every message is single-byte text,
// a keyword and fields separated by ":" and ended by "#". This file builds
// each message and reads its fields; it knows nothing of sockets, so every
// text can be checked on its own.

#include <cstdint>
#include <string>

#include "game/records.h"

namespace netplay {

constexpr int32_t kGamePort = 6832;
constexpr int32_t kProtocolVersion = 11;
inline constexpr char kProtocolTag[] = "SK";
constexpr char kMessageEnd = '#';
inline constexpr char kFieldSeparator[] = ":";
// The fire part that a plane state or a heading carries in the frame its
// sender fired.
inline constexpr char kFirePart[] = "fire:";

// Host to client: "Welcome:SK:11:" + host name + "#".
std::string WelcomeMessage(const std::string& hostName);
// Client to host: "name:" + client name + "#".
std::string NameMessage(const std::string& clientName);
// Client to host: "ready:" + client name + "#".
std::string ClientReadyMessage(const std::string& clientName);
// Host to client, the match begins: "ready:" + host name + "#".
std::string StartMessage(const std::string& hostName);
// Host to client, the host leaves its lobby: "close:#".
std::string CloseMessage();
// Host to client every match frame: the host heading ("%f"), both planes'
// positions rounded to whole pixels, and the fire part when the host fired.
std::string PlaneStateMessage(const game::PlaneState& host, const game::PlaneState& client,
                              bool fired);
// Client to host every match frame: the client's heading ("%f") and the fire
// part when the client fired.
std::string HeadingMessage(float heading, bool fired);

// Field k of a received message (without its "#"), counted from 1; the empty
// text past the last field.
std::string MessageField(const std::string& message, int32_t k);
// A numeric field read as a whole number: leading spaces, a sign, digits up to
// the first other byte; 0 when there are none.
int32_t MessageNumber(const std::string& message, int32_t k);

// What the client makes of a message while it waits for the welcome.
enum class WelcomeVerdict {
  NotWelcome,  // not a welcome of this game: ignored
  Accepted,    // same protocol version
  HostNewer,   // the host speaks a newer version
  HostOlder,   // the host speaks an older version
};
WelcomeVerdict WelcomeCheck(const std::string& message);
// The host's name in a welcome.
std::string WelcomeHostName(const std::string& message);

// A plane state as the client reads it. Missing numbers read as 0. The fire
// field is looked at whatever the keyword is, so a message cut at its start
// can still announce a shot.
struct PlaneStateFields {
  bool isPlaneState = false;  // the keyword is "plane"
  float hostHeading = 0.0f;
  float hostX = 0.0f;
  float hostY = 0.0f;
  float clientX = 0.0f;
  float clientY = 0.0f;
  bool fire = false;
};
PlaneStateFields ReadPlaneState(const std::string& message);

// A heading as the host reads it, with the same rules.
struct HeadingFields {
  bool isHeading = false;  // the keyword is "winkel"
  float heading = 0.0f;
  bool fire = false;
};
HeadingFields ReadHeading(const std::string& message);

}  // namespace netplay
