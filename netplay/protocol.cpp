#include "netplay/protocol.h"

#include "runtime/frame.h"

namespace netplay {
namespace {

std::string Message(const std::string& keyword, const std::string& field) {
  return keyword + kFieldSeparator + field + kMessageEnd;
}

float NumberAsFloat(const std::string& message, int32_t k) {
  return static_cast<float>(MessageNumber(message, k));
}

}  // namespace

std::string WelcomeMessage(const std::string& hostName) {
  return std::string("Welcome:") + kProtocolTag + kFieldSeparator + TextFromLong(kProtocolVersion) +
         kFieldSeparator + hostName + kMessageEnd;
}

std::string NameMessage(const std::string& clientName) {
  return Message("name", clientName);
}

std::string ClientReadyMessage(const std::string& clientName) {
  return Message("ready", clientName);
}

std::string StartMessage(const std::string& hostName) {
  return Message("ready", hostName);
}

std::string CloseMessage() {
  return Message("close", "");
}

std::string PlaneStateMessage(const game::PlaneState& host, const game::PlaneState& client,
                              bool fired) {
  const std::string sep = kFieldSeparator;
  return "plane" + sep + TextFromFloat(host.heading) + sep +
         TextFromLong(game::RoundToInt(host.x)) + sep + TextFromLong(game::RoundToInt(host.y)) +
         sep + TextFromLong(game::RoundToInt(client.x)) + sep +
         TextFromLong(game::RoundToInt(client.y)) + sep + (fired ? kFirePart : "") + kMessageEnd;
}

std::string HeadingMessage(float heading, bool fired) {
  return std::string("winkel") + kFieldSeparator + TextFromFloat(heading) + kFieldSeparator +
         (fired ? kFirePart : "") + kMessageEnd;
}

std::string MessageField(const std::string& message, int32_t k) {
  return TextField(message, k, kFieldSeparator);
}

int32_t MessageNumber(const std::string& message, int32_t k) {
  return TextToLong(MessageField(message, k));
}

WelcomeVerdict WelcomeCheck(const std::string& message) {
  if (MessageField(message, 2) != kProtocolTag || MessageField(message, 1) != "Welcome") {
    return WelcomeVerdict::NotWelcome;
  }
  const int32_t version = MessageNumber(message, 3);
  if (version == kProtocolVersion) return WelcomeVerdict::Accepted;
  return version > kProtocolVersion ? WelcomeVerdict::HostNewer : WelcomeVerdict::HostOlder;
}

std::string WelcomeHostName(const std::string& message) {
  return MessageField(message, 4);
}

PlaneStateFields ReadPlaneState(const std::string& message) {
  PlaneStateFields f;
  f.isPlaneState = MessageField(message, 1) == "plane";
  if (f.isPlaneState) {
    f.hostHeading = NumberAsFloat(message, 2);
    f.hostX = NumberAsFloat(message, 3);
    f.hostY = NumberAsFloat(message, 4);
    f.clientX = NumberAsFloat(message, 5);
    f.clientY = NumberAsFloat(message, 6);
  }
  f.fire = MessageField(message, 7) == "fire";
  return f;
}

HeadingFields ReadHeading(const std::string& message) {
  HeadingFields f;
  f.isHeading = MessageField(message, 1) == "winkel";
  if (f.isHeading) f.heading = NumberAsFloat(message, 2);
  f.fire = MessageField(message, 3) == "fire";
  return f;
}

}  // namespace netplay
