// The host and client lobbies as steps: on their own with scripted events and
// messages, and joined frame by frame.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "pair.h"

namespace {

using host::HostAction;
using host::HostNetEvent;
using pairtest::FeedText;
using Lines = std::vector<std::string>;

const std::string kJoining =
    "Ein Spieler m\xF6"
    "chte Eintreten.";
const std::string kLeft = "Ein Spieler hat uns verlassen!";
const std::string kTooSlow = "Wartezeit zu lang, entferne Spieler. ";
const std::string kPressEnter =
    "Bitte [ ENTER ] dr\xFC"
    "cken wenn Sie Bereit sind.";
const std::string kNoServer =
    "Kein Server gefunden, ich versuche es noch einmal. Oder Escape zum verlassen.";
const std::string kConnecting =
    "Ich versuche mich mit der Adresse, '' 127.0.0.1 '' zu verbinden, Bitte warten";

// --- Host lobby on its own -------------------------------------------------------

class HostLobby : public ::testing::Test {
 protected:
  void SetUp() override { s.playerName = "Anna"; }

  std::vector<HostAction> Frame(uint32_t nowMs, std::vector<HostNetEvent> events = {},
                                netplay::NetKeys keys = {}) {
    std::vector<HostAction> actions;
    host::HostLobbyStep(s, keys, nowMs, events, actions);
    for (const HostAction& a : actions) {
      if (a.kind == HostAction::Kind::Close) s.readers.erase(a.connection);
    }
    return actions;
  }
  void Connect(int32_t connection, uint32_t nowMs) {
    s.readers[connection].Clear();
    Frame(nowMs, {{kNetEventConnect, connection}});
  }
  void Receive(int32_t connection, const std::string& bytes) {
    FeedText(s.readers[connection], bytes);
  }
  Lines Console() const { return Lines(s.console.lines.begin(), s.console.lines.end()); }

  host::HostSession s;
};

TEST_F(HostLobby, OpensWithItsPortAndItsOwnAddresses) {
  host::HostLobbyBegin(s, {"192.168.1.20", "10.0.0.3"});
  EXPECT_EQ(Console(), (Lines{"Ich warte auf Port 6832 auf einen Spieler.",
                              "Meine Adresse: 192.168.1.20, 10.0.0.3"}));
  host::HostSession alone;
  host::HostLobbyBegin(alone, {});
  EXPECT_EQ(alone.console.lines.back(), "Meine Adresse: keine (nur 127.0.0.1)");
  // Both lines show in the first frame; a joining client's line follows.
  s.readers[5].Clear();
  Frame(0, {{kNetEventConnect, 5}});
  EXPECT_EQ(s.consoleShown, 3);
}

TEST_F(HostLobby, ClientAnsweringAtOnceGetsNoSecondsLine) {
  s.readers[5].Clear();
  Receive(5, "name:Ben#");
  const std::vector<HostAction> actions = Frame(1000, {{kNetEventConnect, 5}});
  ASSERT_EQ(actions.size(), 1u);
  EXPECT_EQ(actions[0].kind, HostAction::Kind::Send);
  EXPECT_EQ(actions[0].connection, 5);
  EXPECT_EQ(actions[0].text, "Welcome:SK:11:Anna#");
  EXPECT_EQ(Console(),
            (Lines{kJoining, "Ben hat sich verbunden", "Auf Ben warten bis er Bereit ist."}));
  EXPECT_EQ(s.clients.at(0).state, host::kEntryNamed);
  EXPECT_EQ(s.opponentName, "Ben");
}

TEST_F(HostLobby, SecondsLinesThenDropAtTwentyAndLineZeroForTheNext) {
  Connect(5, 50'000);
  for (uint32_t t = 50'000; t <= 70'000; t += 100) Frame(t);
  Lines expected{kJoining};
  for (int i = 1; i <= 20; ++i) expected.push_back(std::to_string(i));
  expected.push_back(kTooSlow);
  // The oldest lines scrolled away one a frame; the two of the last frame
  // come on top of the 20 kept.
  ASSERT_EQ(s.console.lines.size(), 22u);
  EXPECT_EQ(Console(), Lines(expected.end() - 22, expected.end()));
  EXPECT_TRUE(s.clients.empty());
  EXPECT_EQ(s.lastShownSeconds, 20);

  Connect(6, 90'000);
  Frame(90'016);
  EXPECT_EQ(s.console.lines.back(), "0");
}

TEST_F(HostLobby, DropClosesTheConnectionInTheFrameOfTheTwentiethSecond) {
  Connect(5, 0);
  EXPECT_TRUE(Frame(19'999).empty());
  const std::vector<HostAction> actions = Frame(20'000);
  ASSERT_EQ(actions.size(), 1u);
  EXPECT_EQ(actions[0].kind, HostAction::Kind::Close);
  EXPECT_EQ(actions[0].connection, 5);
  // A name that arrives too late is not looked at.
  Receive(5, "name:Ben#");
  Frame(20'016);
  EXPECT_EQ(s.opponentName, "");
}

TEST_F(HostLobby, TwoMessagesInOneReadAreBothHandled) {
  Connect(5, 0);
  Receive(5, "name:Ben#ready:Ben#");
  Frame(16);
  EXPECT_EQ(Console(),
            (Lines{kJoining, "Ben hat sich verbunden", "Auf Ben warten bis er Bereit ist.",
                   "Ben ist jetzt Bereit, bitte dr\xFC"
                   "cken Sie [ ENTER ] zum Starten."}));
}

TEST_F(HostLobby, MessageCutAcrossReadsIsJoined) {
  Connect(5, 0);
  Receive(5, "na");
  Frame(16);
  EXPECT_EQ(s.clients.at(0).state, host::kEntryWelcomed);
  Receive(5, "me:Ben#");
  Frame(32);
  EXPECT_EQ(s.clients.at(0).state, host::kEntryNamed);
  EXPECT_EQ(s.opponentName, "Ben");
}

TEST_F(HostLobby, EnterStartsOnlyOnceANameHasArrived) {
  Connect(5, 0);
  EXPECT_TRUE(Frame(16, {}, pairtest::Enter()).empty());
  EXPECT_EQ(s.lobbyResult, 0);
  Receive(5, "name:Ben#");
  Frame(32);
  // The client never said it is ready; Enter starts all the same.
  const std::vector<HostAction> actions = Frame(48, {}, pairtest::Enter());
  ASSERT_EQ(actions.size(), 1u);
  EXPECT_EQ(actions[0].text, "ready:Anna#");
  EXPECT_EQ(actions[0].connection, 5);
  EXPECT_EQ(s.lobbyResult, host::kLobbyStartMatch);
  EXPECT_EQ(s.opponentConnection, 5);
}

TEST_F(HostLobby, EnterWinsOverEscInTheSameFrame) {
  Connect(5, 0);
  Receive(5, "name:Ben#");
  Frame(16);
  netplay::NetKeys both = pairtest::Enter();
  both.escReleased = true;
  const std::vector<HostAction> actions = Frame(32, {}, both);
  EXPECT_EQ(s.lobbyResult, host::kLobbyStartMatch);
  ASSERT_EQ(actions.size(), 1u);
  EXPECT_EQ(actions[0].text, "ready:Anna#");
}

TEST_F(HostLobby, EscSendsCloseToEveryEntryThenClosesTheServer) {
  Connect(5, 0);
  Connect(6, 10);
  Receive(6, "name:Cleo#");
  Frame(20);
  const std::vector<HostAction> actions = Frame(40, {}, pairtest::Esc());
  EXPECT_EQ(s.lobbyResult, 1);
  ASSERT_EQ(actions.size(), 3u);
  EXPECT_EQ(actions[0].text, "close:#");
  EXPECT_EQ(actions[0].connection, 5);
  EXPECT_EQ(actions[1].text, "close:#");
  EXPECT_EQ(actions[1].connection, 6);
  EXPECT_EQ(actions[2].kind, HostAction::Kind::CloseServer);
}

TEST_F(HostLobby, NewLinesShowFromTheNextFrameAndTheConsoleShrinksOneLineAFrame) {
  for (int i = 0; i < 20; ++i) netplay::ConsolePrint(s.console, "old " + std::to_string(i));
  s.readers[5].Clear();
  Receive(5, "name:Ben#ready:Ben#");
  // The connect line (printed with the network event) shows at once, and the
  // oldest line goes; the three lines of the entry show from the next frame.
  Frame(0, {{kNetEventConnect, 5}});
  EXPECT_EQ(s.consoleShown, 20);
  EXPECT_EQ(s.console.lines.at(19), kJoining);
  std::vector<int32_t> shown;
  for (uint32_t t = 16; t <= 64; t += 16) {
    Frame(t);
    shown.push_back(s.consoleShown);
  }
  EXPECT_EQ(shown, (std::vector<int32_t>{22, 21, 20, 20}));
}

TEST_F(HostLobby, EachMessageBelongsToItsOwnConnection) {
  // The real opponent, then a stranger that sends one byte and nothing more.
  Connect(5, 0);
  Connect(9, 10);
  Receive(9, "x");
  Receive(5, "name:Ben#");
  Frame(20);
  EXPECT_EQ(s.clients.at(0).state, host::kEntryNamed);
  EXPECT_EQ(s.clients.at(1).state, host::kEntryWelcomed);
  // The stranger leaves: only its own entry goes.
  Frame(30, {{kNetEventLost, 9}});
  ASSERT_EQ(s.clients.size(), 1u);
  EXPECT_EQ(s.clients[0].connection, 5);
  EXPECT_EQ(s.console.lines.back(), kLeft);
  // Enter starts the match with the named client, not the newest connection.
  const std::vector<HostAction> actions = Frame(40, {}, pairtest::Enter());
  ASSERT_EQ(actions.size(), 1u);
  EXPECT_EQ(actions[0].connection, 5);
  EXPECT_EQ(s.opponentConnection, 5);
}

TEST_F(HostLobby, ClientAddAndRemove) {
  host::ClientAdd(s, 5, 100);
  host::ClientAdd(s, 6, 200);
  host::ClientAdd(s, 5, 300);
  EXPECT_EQ(host::ClientRemove(s, 5), 1);
  ASSERT_EQ(s.clients.size(), 2u);
  EXPECT_EQ(s.clients[0].connection, 6);
  EXPECT_EQ(s.clients[1].connectedAt, 300);
  EXPECT_EQ(host::ClientRemove(s, 8), 0);
}

// --- Client lobby on its own -----------------------------------------------------

class JoinLobby : public ::testing::Test {
 protected:
  void SetUp() override {
    s.playerName = "Ben";
    s.addressText = "127.0.0.1";
  }
  std::vector<join::JoinAction> Begin(uint32_t nowMs) {
    std::vector<join::JoinAction> actions;
    join::JoinLobbyBegin(s, nowMs, actions);
    return actions;
  }
  std::vector<join::JoinAction> Frame(uint32_t nowMs, join::ConnectProgress progress,
                                      netplay::NetKeys keys = {}) {
    std::vector<join::JoinAction> actions;
    join::JoinLobbyStep(s, keys, nowMs, progress, actions);
    return actions;
  }
  // Connected at once, then the given bytes arrive.
  void Joined(const std::string& welcome = "Welcome:SK:11:Anna#") {
    Begin(0);
    FeedText(s.reader, welcome);
    Frame(16, join::ConnectProgress::Connected);
  }
  Lines Console() const { return Lines(s.console.lines.begin(), s.console.lines.end()); }

  join::JoinSession s;
};

TEST_F(JoinLobby, NoHostRetriesEveryElevenSeconds) {
  const std::vector<join::JoinAction> first = Begin(0);
  ASSERT_EQ(first.size(), 1u);
  EXPECT_EQ(first[0].kind, join::JoinAction::Kind::StartConnect);
  EXPECT_EQ(Console(), (Lines{kConnecting}));

  std::vector<uint32_t> attempts;
  bool pending = true;
  for (uint32_t t = 100; t <= 40'000; t += 100) {
    // An attempt fails in the frame after it was started.
    const join::ConnectProgress progress =
        pending ? join::ConnectProgress::Failed : join::ConnectProgress::None;
    pending = false;
    for (const join::JoinAction& a : Frame(t, progress)) {
      if (a.kind == join::JoinAction::Kind::StartConnect) {
        attempts.push_back(t);
        pending = true;
      }
    }
  }
  // Failed at 0.1 s: the next attempt when 11 whole seconds have passed, and so on.
  EXPECT_EQ(attempts, (std::vector<uint32_t>{11'100, 22'200, 33'300}));
  EXPECT_EQ(Console(), (Lines{kConnecting, kNoServer, kNoServer, kNoServer}));
}

TEST_F(JoinLobby, AttemptWithoutAnswerIsGivenUpThenRetried) {
  Begin(0);
  EXPECT_TRUE(Frame(9'999, join::ConnectProgress::Trying).empty());
  const std::vector<join::JoinAction> giveUp = Frame(10'000, join::ConnectProgress::Trying);
  ASSERT_EQ(giveUp.size(), 1u);
  EXPECT_EQ(giveUp[0].kind, join::JoinAction::Kind::GiveUpConnect);
  EXPECT_EQ(s.link, join::Link::Failed);
  EXPECT_TRUE(Frame(20'999, join::ConnectProgress::None).empty());
  const std::vector<join::JoinAction> retry = Frame(21'000, join::ConnectProgress::None);
  ASSERT_EQ(retry.size(), 1u);
  EXPECT_EQ(retry[0].kind, join::JoinAction::Kind::StartConnect);
}

TEST_F(JoinLobby, WelcomeOfTheSameVersionIsAnsweredWithTheName) {
  Begin(0);
  FeedText(s.reader, "Welcome:SK:11:Anna#");
  const std::vector<join::JoinAction> actions = Frame(16, join::ConnectProgress::Connected);
  ASSERT_EQ(actions.size(), 1u);
  EXPECT_EQ(actions[0].text, "name:Ben#");
  EXPECT_EQ(Console(), (Lines{kConnecting, "Erfolgreich mit Anna verbunden.", "", kPressEnter}));
  EXPECT_EQ(s.lobbyState, join::kLobbyJoined);
  EXPECT_EQ(s.hostName, "Anna");
}

void ExpectRefused(const std::string& version, const std::string& text) {
  join::JoinSession s;
  s.addressText = "127.0.0.1";
  std::vector<join::JoinAction> actions;
  join::JoinLobbyBegin(s, 0, actions);
  FeedText(s.reader, "Welcome:SK:" + version + ":Anna#ready:Anna#");
  actions.clear();
  join::JoinLobbyStep(s, {}, 16, join::ConnectProgress::Connected, actions);
  ASSERT_EQ(actions.size(), 1u);
  EXPECT_EQ(actions[0].kind, join::JoinAction::Kind::Close);
  EXPECT_EQ(Lines(s.console.lines.begin(), s.console.lines.end()),
            (Lines{kConnecting, text, "Verbindung geschlossen."}));
  EXPECT_EQ(s.lobbyState, join::kLobbyRefused);
  EXPECT_EQ(s.link, join::Link::Closed);
  // The start signal that came with it is not read, and no retry follows.
  EXPECT_EQ(s.lobbyResult, 0);
  actions.clear();
  join::JoinLobbyStep(s, pairtest::Enter(), 60'000, join::ConnectProgress::None, actions);
  EXPECT_TRUE(actions.empty());
}

TEST(JoinLobbyVersions, OtherVersionsAreRefusedAndTheConnectionClosed) {
  ExpectRefused("12", "Sorry, der Host benutzt eine aktuellere version.");
  ExpectRefused("10", "Der Host benutzt eine veraltete version.");
}

TEST_F(JoinLobby, WelcomeOfAnotherGameIsIgnored) {
  Joined("Welcome:XK:11:Anna#name:Anna#");
  EXPECT_EQ(Console(), (Lines{kConnecting}));
  EXPECT_EQ(s.lobbyState, join::kLobbyWaiting);
  // Enter before the welcome does nothing.
  EXPECT_TRUE(Frame(32, join::ConnectProgress::None, pairtest::Enter()).empty());
  EXPECT_EQ(s.sentReady, 0);
  FeedText(s.reader, "Welcome:SK:11:Anna#");
  Frame(48, join::ConnectProgress::None);
  EXPECT_EQ(s.lobbyState, join::kLobbyJoined);
}

TEST_F(JoinLobby, EnterTwiceSendsReadyOnce) {
  Joined();
  std::vector<join::JoinAction> first = Frame(32, join::ConnectProgress::None, pairtest::Enter());
  std::vector<join::JoinAction> second = Frame(48, join::ConnectProgress::None, pairtest::Enter());
  ASSERT_EQ(first.size(), 1u);
  EXPECT_EQ(first[0].text, "ready:Ben#");
  EXPECT_TRUE(second.empty());
  EXPECT_EQ(Console().back(), "Bitte warten bis Anna Bereit ist.");
  EXPECT_EQ(std::count(s.console.lines.begin(), s.console.lines.end(),
                       "Bitte warten bis Anna Bereit ist."),
            1);
}

TEST_F(JoinLobby, HostCloseIsShownAndTheLobbyGoesOn) {
  Joined();
  FeedText(s.reader, "close:#");
  Frame(32, join::ConnectProgress::None);
  EXPECT_EQ(Console().back(), "Der Server wurde beendet, verbindung geschlossen.");
  EXPECT_EQ(s.lobbyResult, 0);
}

TEST_F(JoinLobby, StartSignalWinsOverEscAndLeavesLaterMessagesQueued) {
  Joined();
  FeedText(s.reader, "ready:Anna#plane:180.000000:598:150:152:400:#");
  Frame(32, join::ConnectProgress::None, pairtest::Esc());
  EXPECT_EQ(s.lobbyResult, join::kLobbyStartMatch);
  ASSERT_TRUE(s.reader.HasMessage());
  EXPECT_EQ(s.reader.TakeMessage(), "plane:180.000000:598:150:152:400:");
}

TEST_F(JoinLobby, EscAloneLeaves) {
  Joined();
  Frame(32, join::ConnectProgress::None, pairtest::Esc());
  EXPECT_EQ(s.lobbyResult, 1);
}

// --- Both lobbies joined -----------------------------------------------------------

TEST(LobbyPair, HandshakeReadyAndStart) {
  pairtest::Pair p;
  p.ClientBegin();
  p.LobbyFrame();  // host: connect, welcome; client: connected, reads the welcome, sends its name
  p.LobbyFrame();  // host: named
  p.LobbyFrame({}, pairtest::Enter());  // client ready
  p.LobbyFrame();
  p.LobbyFrame(pairtest::Enter());  // host starts; the client reads the start in the same frame
  EXPECT_EQ(p.host.lobbyResult, host::kLobbyStartMatch);
  EXPECT_EQ(p.client.lobbyResult, join::kLobbyStartMatch);
  EXPECT_EQ(p.toClient, (Lines{"Welcome:SK:11:Anna#", "ready:Anna#"}));
  EXPECT_EQ(p.toHost, (Lines{"name:Ben#", "ready:Ben#"}));
  EXPECT_EQ(Lines(p.host.console.lines.begin(), p.host.console.lines.end()),
            (Lines{kJoining, "Ben hat sich verbunden", "Auf Ben warten bis er Bereit ist.",
                   "Ben ist jetzt Bereit, bitte dr\xFC"
                   "cken Sie [ ENTER ] zum Starten."}));
  EXPECT_EQ(Lines(p.client.console.lines.begin(), p.client.console.lines.end()),
            (Lines{kConnecting, "Erfolgreich mit Anna verbunden.", "", kPressEnter,
                   "Bitte warten bis Anna Bereit ist."}));
}

TEST(LobbyPair, HostStartingFirstTakesTheClientIntoTheMatch) {
  pairtest::Pair p;
  p.ClientBegin();
  p.LobbyFrame();
  p.LobbyFrame();
  p.LobbyFrame(pairtest::Enter());
  EXPECT_EQ(p.client.lobbyResult, join::kLobbyStartMatch);
  EXPECT_EQ(p.client.sentReady, 0);
}

TEST(LobbyPair, HostLeavingTellsTheClient) {
  pairtest::Pair p;
  p.ClientBegin();
  p.LobbyFrame();
  p.LobbyFrame();
  p.LobbyFrame(pairtest::Esc());
  EXPECT_EQ(p.host.lobbyResult, 1);
  EXPECT_EQ(p.toClient.back(), "close:#");
  EXPECT_EQ(p.client.console.lines.back(), "Der Server wurde beendet, verbindung geschlossen.");
  EXPECT_EQ(p.client.lobbyResult, 0);
}

TEST(LobbyPair, ClientFindsTheHostOnceItListens) {
  pairtest::Pair p;
  p.hostListening = false;
  p.ClientBegin();
  for (int i = 0; i < 100; ++i) p.LobbyFrame({}, {}, 100);  // 10 s without a host
  p.hostListening = true;
  for (int i = 0; i < 20; ++i) p.LobbyFrame({}, {}, 100);
  EXPECT_EQ(p.client.lobbyState, join::kLobbyJoined);
  EXPECT_EQ(p.host.clients.at(0).state, host::kEntryNamed);
  EXPECT_EQ(p.client.console.lines.at(1), kNoServer);
}

}  // namespace
