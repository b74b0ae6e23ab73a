#include "join/join_link.h"

#include "netplay/protocol.h"
#include "runtime/net.h"

namespace join {

ConnectProgress JoinPollNetwork(JoinSession& s) {
  ConnectProgress progress = ConnectProgress::None;
  s.bytesThisFrame = 0;
  if (s.link == Link::Pending) {
    const int32_t check = s.connection != 0 ? NetConnectCheck(s.connection) : -1;
    if (check > 0) {
      progress = ConnectProgress::Connected;
    } else if (check == 0) {
      progress = ConnectProgress::Trying;
    } else {
      s.connection = 0;
      progress = ConnectProgress::Failed;
    }
  }
  if (s.link == Link::Connected || progress == ConnectProgress::Connected) {
    bool closed = false;
    s.bytesThisFrame = netplay::ReadWaiting(s.connection, s.reader, &closed);
    if (closed) s.peerGone = true;
  }
  return progress;
}

void JoinApply(JoinSession& s, const std::vector<JoinAction>& actions) {
  for (const JoinAction& action : actions) {
    switch (action.kind) {
      case JoinAction::Kind::StartConnect:
        s.reader.Clear();
        s.connection = NetConnectStart(s.addressText, netplay::kGamePort);
        break;
      case JoinAction::Kind::GiveUpConnect:
      case JoinAction::Kind::Close:
        NetClose(s.connection);
        s.connection = 0;
        break;
      case JoinAction::Kind::Send:
        NetSendString(s.connection, action.text);
        break;
    }
  }
}

}  // namespace join
