#include "host/host_link.h"

#include <set>

#include "runtime/net.h"

namespace host {
namespace {

// Enough for every slot of the server to connect and deliver in one frame,
// yet bounded, so that the frame always ends.
constexpr int kMostEventsPerFrame = 4 * kNetMaxClients;

}  // namespace

std::vector<HostNetEvent> HostPollNetwork(HostSession& s) {
  std::vector<HostNetEvent> events;
  s.bytesThisFrame = 0;
  // Connections read in this frame. The server reports the lowest connection
  // with waiting bytes first, so a connection that still has bytes after its
  // share would hide every later one: once it comes up again the server is
  // left alone, and the sweep below reads the others directly.
  std::set<int32_t> served;
  for (int i = 0; i < kMostEventsPerFrame; ++i) {
    const int32_t event = NetServerEvent();
    if (event == kNetEventNone) break;
    const int32_t connection = NetEventClient();
    if (event == kNetEventConnect) {
      s.readers[connection].Clear();
      events.push_back({event, connection});
    } else if (event == kNetEventLost) {
      s.readers.erase(connection);
      events.push_back({event, connection});
    } else {
      // Waiting bytes (a stray file-transfer marker is just bytes here).
      if (served.count(connection) != 0) break;
      served.insert(connection);
      s.bytesThisFrame += netplay::ReadWaiting(connection, s.readers[connection]);
    }
  }
  // Every other known connection gets its share too; one found closed here
  // is lost like one the server reports.
  for (auto it = s.readers.begin(); it != s.readers.end();) {
    const int32_t connection = it->first;
    bool closed = false;
    if (served.count(connection) == 0) {
      s.bytesThisFrame += netplay::ReadWaiting(connection, it->second, &closed);
    }
    if (!closed) {
      ++it;
      continue;
    }
    NetClose(connection);
    it = s.readers.erase(it);
    events.push_back({kNetEventLost, connection});
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
