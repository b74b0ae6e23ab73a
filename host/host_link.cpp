#include "host/host_link.h"

#include "runtime/net.h"

namespace host {
namespace {

// Enough for every slot of the server to connect or go in one frame, yet
// bounded, so that the frame always ends.
constexpr int kMostEventsPerFrame = 4 * kNetMaxClients;

// The loss of a connection, with the messages its reader still held; the
// reader goes.
HostNetEvent LossOf(HostSession& s, int32_t connection) {
  HostNetEvent loss{kNetEventLost, connection, {}};
  auto found = s.readers.find(connection);
  if (found == s.readers.end()) return loss;
  while (found->second.HasMessage()) loss.lastMessages.push_back(found->second.TakeMessage());
  s.readers.erase(found);
  return loss;
}

}  // namespace

std::vector<HostNetEvent> HostPollNetwork(HostSession& s) {
  std::vector<HostNetEvent> events;
  s.bytesThisFrame = 0;
  // The server accepts newcomers first and then reports the lowest connection
  // with waiting bytes, which would hide every later one; so it is asked only
  // for connects and losses, and every known connection is read below.
  for (int i = 0; i < kMostEventsPerFrame; ++i) {
    const int32_t event = NetServerEvent();
    if (event != kNetEventConnect && event != kNetEventLost) break;
    const int32_t connection = NetEventClient();
    if (event == kNetEventConnect) {
      s.readers[connection].Clear();
      events.push_back({event, connection, {}});
    } else {
      events.push_back(LossOf(s, connection));
    }
  }
  // Each connection gets its share of the frame; one found closed here is
  // lost like one the server reports.
  for (auto it = s.readers.begin(); it != s.readers.end();) {
    const int32_t connection = it->first;
    bool closed = false;
    s.bytesThisFrame += netplay::ReadWaiting(connection, it->second, &closed);
    if (!closed) {
      ++it;
      continue;
    }
    NetClose(connection);
    ++it;
    // The bytes that came with the close are in the reader: they go with the loss.
    events.push_back(LossOf(s, connection));
  }
  return events;
}

void HostApply(HostSession& s, const std::vector<HostAction>& actions) {
  for (const HostAction& action : actions) {
    switch (action.kind) {
      case HostAction::Kind::Send:
        NetSendString(action.connection, action.text);
        break;
      case HostAction::Kind::Close:
        NetClose(action.connection);
        s.readers.erase(action.connection);
        break;
      case HostAction::Kind::CloseServer:
        NetServerClose();
        s.readers.clear();
        break;
    }
  }
}

}  // namespace host
