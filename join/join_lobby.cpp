#include "join/join_lobby.h"

#include "netplay/protocol.h"
#include "runtime/frame.h"
#include "runtime/net.h"

namespace join {
namespace {

using netplay::ConsolePrint;

// Console texts (Windows-1252).
const char kTextNoServer[] =
    "Kein Server gefunden, ich versuche es noch einmal. Oder Escape zum verlassen.";
const char kTextHostNewer[] = "Sorry, der Host benutzt eine aktuellere version.";
const char kTextHostOlder[] = "Der Host benutzt eine veraltete version.";
const char kTextClosed[] = "Verbindung geschlossen.";
const char kTextServerEnded[] = "Der Server wurde beendet, verbindung geschlossen.";
const char kTextPressEnter[] =
    "Bitte [ ENTER ] dr\xFC"
    "cken wenn Sie Bereit sind.";

void StartAttempt(JoinSession& s, uint32_t nowMs, std::vector<JoinAction>& actions) {
  actions.push_back({JoinAction::Kind::StartConnect, {}});
  s.link = Link::Pending;
  s.attemptStartMs = nowMs;
}

void AttemptFailed(JoinSession& s, uint32_t nowMs) {
  s.link = Link::Failed;
  s.attemptTime = nowMs;
}

// A message while the welcome is awaited.
void HandleWelcome(JoinSession& s, const std::string& message, std::vector<JoinAction>& actions) {
  const netplay::WelcomeVerdict verdict = netplay::WelcomeCheck(message);
  if (verdict == netplay::WelcomeVerdict::NotWelcome) return;
  if (verdict == netplay::WelcomeVerdict::Accepted) {
    s.hostName = netplay::WelcomeHostName(message);
    ConsolePrint(s.console, "Erfolgreich mit " + s.hostName + " verbunden.");
    actions.push_back({JoinAction::Kind::Send, netplay::NameMessage(s.playerName)});
    ConsolePrint(s.console, "");
    ConsolePrint(s.console, kTextPressEnter);
    s.lobbyState = kLobbyJoined;
    return;
  }
  ConsolePrint(s.console,
               verdict == netplay::WelcomeVerdict::HostNewer ? kTextHostNewer : kTextHostOlder);
  actions.push_back({JoinAction::Kind::Close, {}});
  s.link = Link::Closed;
  s.reader.Clear();
  ConsolePrint(s.console, kTextClosed);
  s.lobbyState = kLobbyRefused;
}

}  // namespace

void JoinLobbyBegin(JoinSession& s, uint32_t nowMs, std::vector<JoinAction>& actions) {
  s.lobbyState = kLobbyWaiting;
  StartAttempt(s, nowMs, actions);
  // Said at once, so the player knows what the program is doing while the
  // attempt is under way.
  ConsolePrint(s.console, "Ich versuche mich mit der Adresse, '' " + s.addressText +
                              " '' zu verbinden, Bitte warten");
}

void JoinLobbyStep(JoinSession& s, const netplay::NetKeys& keys, uint32_t nowMs,
                   ConnectProgress progress, std::vector<JoinAction>& actions) {
  s.lobbyResult = keys.escReleased ? 1 : 0;

  if (s.link == Link::Pending) {
    if (progress == ConnectProgress::Connected) {
      s.link = Link::Connected;
    } else if (progress == ConnectProgress::Failed) {
      AttemptFailed(s, nowMs);
    } else if (nowMs - s.attemptStartMs >= static_cast<uint32_t>(kNetConnectWaitMs)) {
      // The host does not answer at all: give this attempt up.
      actions.push_back({JoinAction::Kind::GiveUpConnect, {}});
      AttemptFailed(s, nowMs);
    }
  }

  if (s.link == Link::Connected) {
    while (s.reader.HasMessage() && s.lobbyResult != kLobbyStartMatch &&
           s.link == Link::Connected) {
      const std::string message = s.reader.TakeMessage();
      if (s.lobbyState == kLobbyWaiting) {
        HandleWelcome(s, message, actions);
      } else if (s.lobbyState == kLobbyJoined) {
        const std::string keyword = netplay::MessageField(message, 1);
        if (keyword == "close") {
          ConsolePrint(s.console, kTextServerEnded);
          s.hostSaidClose = true;
        }
        if (keyword == "ready") s.lobbyResult = kLobbyStartMatch;
      }
    }
    if (s.peerGone && s.link == Link::Connected && s.lobbyResult != kLobbyStartMatch) {
      // Everything the host sent before it went has been handled. A host
      // that said "close" was reported already.
      if (!s.hostSaidClose) ConsolePrint(s.console, kTextClosed);
      actions.push_back({JoinAction::Kind::Close, {}});
      s.link = Link::Gone;
    } else if (s.lobbyState == kLobbyJoined && keys.enterReleased && s.sentReady == 0) {
      actions.push_back({JoinAction::Kind::Send, netplay::ClientReadyMessage(s.playerName)});
      s.sentReady = 1;
      ConsolePrint(s.console, "Bitte warten bis " + s.hostName + " Bereit ist.");
    }
  } else if (s.link == Link::Failed) {
    const auto waited = static_cast<int32_t>(nowMs - s.attemptTime);
    if (FloatToLongTruncated(static_cast<float>(waited) / 1000.0f) > kRetrySeconds) {
      ConsolePrint(s.console, kTextNoServer);
      StartAttempt(s, nowMs, actions);
    }
  }

  netplay::ConsoleTrim(s.console);
}

}  // namespace join
