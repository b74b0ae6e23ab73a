#include "host/host_lobby.h"

#include "netplay/protocol.h"
#include "runtime/frame.h"
#include "runtime/net.h"

namespace host {
namespace {

using netplay::ConsolePrint;

// Console texts (Windows-1252).
const char kTextJoining[] =
    "Ein Spieler m\xF6"
    "chte Eintreten.";
const char kTextLeft[] = "Ein Spieler hat uns verlassen!";
const char kTextTooSlow[] = "Wartezeit zu lang, entferne Spieler. ";
const char kTextConnected[] = " hat sich verbunden";
const char kTextWaitFor[] = " warten bis er Bereit ist.";
const char kTextReady[] =
    " ist jetzt Bereit, bitte dr\xFC"
    "cken Sie [ ENTER ] zum Starten.";

const char kTextNoAddress[] = "keine (nur 127.0.0.1)";
// More addresses than this would not fit on the line.
constexpr size_t kMostAddressesShown = 4;

void Send(std::vector<HostAction>& actions, int32_t connection, const std::string& text) {
  actions.push_back({HostAction::Kind::Send, connection, text});
}

// Whole seconds since the entry was accepted.
int32_t SecondsWaiting(const ClientEntry& entry, uint32_t nowMs) {
  const auto waited = static_cast<int32_t>(nowMs - static_cast<uint32_t>(entry.connectedAt));
  return FloatToLongTruncated(static_cast<float>(waited) / 1000.0f);
}

// Handles one message the entry's connection sent.
void HandleMessage(HostSession& s, ClientEntry& entry, const std::string& message) {
  const std::string keyword = netplay::MessageField(message, 1);
  if (entry.state == kEntryWelcomed && keyword == "name") {
    entry.name = netplay::MessageField(message, 2);
    s.opponentName = entry.name;
    ConsolePrint(s.console, entry.name + kTextConnected);
    ConsolePrint(s.console, "Auf " + entry.name + kTextWaitFor);
    entry.state = kEntryNamed;
  } else if (entry.state == kEntryNamed && keyword == "ready") {
    ConsolePrint(s.console, entry.name + kTextReady);
  }
}

// Handles the messages the entry's connection sent, in arrival order.
void HandleMessages(HostSession& s, ClientEntry& entry) {
  auto found = s.readers.find(entry.connection);
  if (found == s.readers.end()) return;
  netplay::MessageReader& reader = found->second;
  while (reader.HasMessage()) HandleMessage(s, entry, reader.TakeMessage());
}

// A connection is lost: what it sent before it went is handled first, as if
// it had stayed (a new entry counts as welcomed, though the welcome can no
// longer reach it), then the loss is told and its entry removed.
void HandleLoss(HostSession& s, const HostNetEvent& loss) {
  for (ClientEntry& entry : s.clients) {
    if (entry.connection != loss.connection) continue;
    if (entry.state == kEntryNew) entry.state = kEntryWelcomed;
    for (const std::string& message : loss.lastMessages) HandleMessage(s, entry, message);
    break;
  }
  ConsolePrint(s.console, kTextLeft);
  ClientRemove(s, loss.connection);
}

}  // namespace

void HostLobbyBegin(HostSession& s, const std::vector<std::string>& addresses) {
  ConsolePrint(s.console,
               "Ich warte auf Port " + TextFromLong(netplay::kGamePort) + " auf einen Spieler.");
  std::string shown;
  for (size_t i = 0; i < addresses.size() && i < kMostAddressesShown; ++i) {
    shown += (i == 0 ? "" : ", ") + addresses[i];
  }
  ConsolePrint(s.console, "Meine Adresse: " + (shown.empty() ? kTextNoAddress : shown));
}

void ClientAdd(HostSession& session, int32_t connection, uint32_t nowMs) {
  ClientEntry entry;
  entry.connection = connection;
  entry.connectedAt = static_cast<int32_t>(nowMs);
  entry.state = kEntryNew;
  session.clients.push_back(entry);
}

int32_t ClientRemove(HostSession& session, int32_t connection) {
  for (auto it = session.clients.begin(); it != session.clients.end(); ++it) {
    if (it->connection == connection) {
      session.clients.erase(it);
      return 1;
    }
  }
  return 0;
}

void HostLobbyStep(HostSession& s, const netplay::NetKeys& keys, uint32_t nowMs,
                   const std::vector<HostNetEvent>& events, std::vector<HostAction>& actions) {
  s.lobbyResult = keys.escReleased ? 1 : 0;

  for (const HostNetEvent& event : events) {
    if (event.kind == kNetEventConnect) {
      ConsolePrint(s.console, kTextJoining);
      ClientAdd(s, event.connection, nowMs);
    } else if (event.kind == kNetEventLost) {
      HandleLoss(s, event);
    }
  }

  // Lines printed so far show in this frame; those the entries print below
  // show from the next frame on.
  netplay::ConsoleTrim(s.console);
  s.consoleShown = netplay::ConsoleLineCount(s.console);

  for (size_t i = 0; i < s.clients.size();) {
    ClientEntry& entry = s.clients[i];
    if (entry.state == kEntryNew) {
      Send(actions, entry.connection, netplay::WelcomeMessage(s.playerName));
      entry.state = kEntryWelcomed;
    }
    if (entry.state == kEntryWelcomed) {
      const int32_t seconds = SecondsWaiting(entry, nowMs);
      if (seconds != s.lastShownSeconds) {
        ConsolePrint(s.console, TextFromLong(seconds));
        s.lastShownSeconds = seconds;
      }
      if (seconds > kNameWaitSeconds) {
        actions.push_back({HostAction::Kind::Close, entry.connection, {}});
        ConsolePrint(s.console, kTextTooSlow);
        s.clients.erase(s.clients.begin() + static_cast<std::ptrdiff_t>(i));
        continue;
      }
    }
    HandleMessages(s, entry);
    if (entry.state == kEntryNamed && keys.enterReleased && s.startedFlag == 0) {
      Send(actions, entry.connection, netplay::StartMessage(s.playerName));
      s.opponentConnection = entry.connection;
      s.opponentName = entry.name;
      s.startedFlag = 1;
      s.lobbyResult = kLobbyStartMatch;
    }
    ++i;
  }

  if (s.lobbyResult != 0 && s.lobbyResult != kLobbyStartMatch) {
    for (const ClientEntry& entry : s.clients) {
      Send(actions, entry.connection, netplay::CloseMessage());
    }
    actions.push_back({HostAction::Kind::CloseServer, 0, {}});
  }
}

}  // namespace host
