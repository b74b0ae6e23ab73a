#pragma once
// A host step and a client step in one process, joined by queues instead of
// sockets, frame by frame on a virtual millisecond clock. Every message put
// on the wire is kept in a transcript.

#include <cstdint>
#include <string>
#include <vector>

#include "game/rules.h"
#include "host/host_lobby.h"
#include "host/host_match.h"
#include "host/host_session.h"
#include "join/join_lobby.h"
#include "join/join_match.h"
#include "join/join_session.h"
#include "runtime/net.h"

namespace pairtest {

// The connection number under which the host knows the client.
constexpr int32_t kClientConnection = 7;

inline void FeedText(netplay::MessageReader& reader, const std::string& text) {
  reader.Feed(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
}

struct Pair {
  host::HostSession host;
  join::JoinSession client;
  uint32_t nowMs = 1000;
  bool hostListening = true;
  // Filled by the client's connection attempt, taken by the next frames.
  std::vector<host::HostNetEvent> hostEvents;
  join::ConnectProgress clientProgress = join::ConnectProgress::None;
  bool clientConnected = false;       // the client's end of the connection is open
  bool hostEndOpen = false;           // the host's end is open
  std::vector<std::string> toClient;  // every message the host sent
  std::vector<std::string> toHost;    // every message the client sent
  // Bytes delivered since each side's last frame: its "pak: " figure.
  int32_t bytesToHost = 0;
  int32_t bytesToClient = 0;
  // Messages sent in the most recent frame of each side.
  std::vector<std::string> hostSentThisFrame;
  std::vector<std::string> clientSentThisFrame;

  Pair() {
    host.playerName = "Anna";
    client.playerName = "Ben";
    client.addressText = "127.0.0.1";
  }

  void ClientApply(const std::vector<join::JoinAction>& actions) {
    for (const join::JoinAction& a : actions) {
      switch (a.kind) {
        case join::JoinAction::Kind::StartConnect:
          client.reader.Clear();
          if (hostListening) {
            hostEvents.push_back({kNetEventConnect, kClientConnection});
            host.readers[kClientConnection].Clear();
            clientProgress = join::ConnectProgress::Connected;
            clientConnected = true;
            hostEndOpen = true;
          } else {
            clientProgress = join::ConnectProgress::Failed;
          }
          break;
        case join::JoinAction::Kind::GiveUpConnect:
        case join::JoinAction::Kind::Close:
          clientConnected = false;
          break;
        case join::JoinAction::Kind::Send:
          toHost.push_back(a.text);
          clientSentThisFrame.push_back(a.text);
          if (clientConnected && hostEndOpen) {
            FeedText(host.readers[kClientConnection], a.text);
            bytesToHost += static_cast<int32_t>(a.text.size());
          }
          break;
      }
    }
  }

  void HostApply(const std::vector<host::HostAction>& actions) {
    for (const host::HostAction& a : actions) {
      if (a.connection != kClientConnection && a.kind != host::HostAction::Kind::CloseServer) {
        continue;
      }
      switch (a.kind) {
        case host::HostAction::Kind::Send:
          toClient.push_back(a.text);
          hostSentThisFrame.push_back(a.text);
          if (clientConnected && hostEndOpen) {
            FeedText(client.reader, a.text);
            bytesToClient += static_cast<int32_t>(a.text.size());
          }
          break;
        case host::HostAction::Kind::Close:
        case host::HostAction::Kind::CloseServer:
          hostEndOpen = false;
          host.readers.erase(kClientConnection);
          break;
      }
    }
  }

  void ClientBegin() {
    std::vector<join::JoinAction> actions;
    join::JoinLobbyBegin(client, nowMs, actions);
    ClientApply(actions);
  }

  void HostLobbyFrame(const netplay::NetKeys& keys = {}) {
    std::vector<host::HostNetEvent> events;
    events.swap(hostEvents);
    host.bytesThisFrame = bytesToHost;
    bytesToHost = 0;
    std::vector<host::HostAction> actions;
    host::HostLobbyStep(host, keys, nowMs, events, actions);
    HostApply(actions);
  }

  void ClientLobbyFrame(const netplay::NetKeys& keys = {}) {
    join::ConnectProgress progress =
        client.link == join::Link::Pending ? clientProgress : join::ConnectProgress::None;
    if (progress == join::ConnectProgress::None && client.link == join::Link::Pending) {
      progress = join::ConnectProgress::Trying;
    }
    clientProgress = join::ConnectProgress::None;
    client.bytesThisFrame = bytesToClient;
    bytesToClient = 0;
    std::vector<join::JoinAction> actions;
    join::JoinLobbyStep(client, keys, nowMs, progress, actions);
    ClientApply(actions);
  }

  // --- Match ---------------------------------------------------------------------

  void MatchBegin() {
    host::HostMatchBegin(host);
    join::JoinMatchBegin(client);
  }

  void HostMatchFrame(game::MatchEffects& effects, const netplay::NetKeys& keys = {}) {
    std::vector<host::HostNetEvent> events;
    events.swap(hostEvents);
    host.bytesThisFrame = bytesToHost;
    bytesToHost = 0;
    hostSentThisFrame.clear();
    std::vector<host::HostAction> actions;
    host::HostMatchStep(host, keys, events, effects, actions);
    HostApply(actions);
    host::HostMatchDraw(host, effects);
  }

  void ClientMatchFrame(game::MatchEffects& effects, const netplay::NetKeys& keys = {}) {
    client.bytesThisFrame = bytesToClient;
    bytesToClient = 0;
    clientSentThisFrame.clear();
    std::vector<join::JoinAction> actions;
    join::JoinMatchStep(client, keys, effects, actions);
    ClientApply(actions);
    join::JoinMatchDraw(client, effects);
  }

  // One match frame of each side, the host first.
  void MatchFrame(game::MatchEffects& effects, const netplay::NetKeys& hostKeys = {},
                  const netplay::NetKeys& clientKeys = {}) {
    HostMatchFrame(effects, hostKeys);
    ClientMatchFrame(effects, clientKeys);
    nowMs += 16;
  }

  // The lobby handshake up to both sides' start of the match.
  void PlayLobby() {
    ClientBegin();
    LobbyFrame();
    LobbyFrame();
    LobbyFrame(Keys(true));
    MatchBegin();
  }

  static netplay::NetKeys Keys(bool enter) {
    netplay::NetKeys k;
    k.enterReleased = enter;
    return k;
  }

  // One lobby frame of each side, the host first, then the clock moves on.
  void LobbyFrame(const netplay::NetKeys& hostKeys = {}, const netplay::NetKeys& clientKeys = {},
                  uint32_t frameMs = 16) {
    HostLobbyFrame(hostKeys);
    ClientLobbyFrame(clientKeys);
    nowMs += frameMs;
  }
};

inline netplay::NetKeys Enter() {
  netplay::NetKeys k;
  k.enterReleased = true;
  return k;
}

inline netplay::NetKeys Esc() {
  netplay::NetKeys k;
  k.escReleased = true;
  return k;
}

}  // namespace pairtest
