// The host's real lobby and match frames over real loopback sockets, with
// peers that do not keep to the protocol next to a real opponent. The test
// side uses plain sockets; every peer is on 127.0.0.1 at a port the system
// picks.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <deque>
#include <random>
#include <string>
#include <vector>

#include "game/records.h"
#include "host/host_match.h"
#include "host/host_program.h"
#include "host/host_session.h"
#include "match_fixture.h"
#include "netplay/console.h"
#include "netplay/reader.h"
#include "platform/headless.h"
#include "runtime/net.h"
#include "tests/support/loopback.h"

namespace {

using Clock = std::chrono::steady_clock;
using loopback::LocalPort;
using loopback::Reset;

const std::string kWelcome = "Welcome:SK:11:Anna#";
const std::string kStart = "ready:Anna#";
const std::string kLeft = "Ein Spieler hat uns verlassen!";
const std::string kReadyLine =
    "Ben ist jetzt Bereit, bitte dr\xFC"
    "cken Sie [ ENTER ] zum Starten.";

// Black pixels of the last presented frame inside a rectangle of the
// 800 x 600 picture: the head-up texts are black on white.
int BlackPixels(const platform::HeadlessPlatform& platform, int x0, int y0, int x1, int y1) {
  int black = 0;
  for (const auto& [id, window] : platform.Windows()) {
    const platform::CapturedFrame& f = window.frame;
    if (f.width != 800 || f.height != 600) continue;
    const size_t bytes = f.layout == platform::PixelLayout::Rgb565 ? 2 : 4;
    for (int y = y0; y < y1; ++y) {
      for (int x = x0; x < x1; ++x) {
        const uint8_t* at = f.pixels.data() + (static_cast<size_t>(y) * 800 + x) * bytes;
        black += at[0] == 0 && at[1] == 0 && (bytes == 2 || at[2] == 0) ? 1 : 0;
      }
    }
  }
  return black;
}

// Where the match screen says that the peer is gone.
int LostTextPixels(const platform::HeadlessPlatform& platform) {
  return BlackPixels(platform, 330, 36, 520, 60);
}

uint16_t RemotePort(int fd) {
  sockaddr_in a{};
  socklen_t length = sizeof a;
  if (getpeername(fd, reinterpret_cast<sockaddr*>(&a), &length) != 0) return 0;
  return ntohs(a.sin_port);
}

// Starts a connection to 127.0.0.1:port on a fresh socket (or on `fd` when
// given); with `wait` it returns once the connection is established.
int OpenTo(uint16_t port, bool wait, int fd = -1) {
  if (fd < 0) fd = socket(AF_INET, SOCK_STREAM | (wait ? 0 : SOCK_NONBLOCK), 0);
  const sockaddr_in a = loopback::Address(port);
  if (connect(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0 && errno != EINPROGRESS) {
    close(fd);
    return -1;
  }
  return fd;
}

// One test-side connection: what it still has to send and what it received.
struct Peer {
  int fd = -1;
  std::string outbox;
  size_t sent = 0;
  std::string received;
  bool ended = false;  // the host closed its end (or reset it)
};

// Takes what is waiting without blocking; stops at `most` bytes read in all.
void ReadWaiting(Peer& p, size_t most = 1 << 20) {
  char buffer[4096];
  while (p.fd >= 0 && !p.ended && p.received.size() < most) {
    const ssize_t n = recv(p.fd, buffer, sizeof buffer, MSG_DONTWAIT);
    if (n > 0) {
      p.received.append(buffer, static_cast<size_t>(n));
    } else {
      // Not connected yet is not an end.
      if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != ENOTCONN)) {
        p.ended = true;
      }
      return;
    }
  }
}

// Sends as much of the outbox as the transport takes now.
size_t SendWaiting(Peer& p) {
  size_t total = 0;
  while (p.fd >= 0 && !p.outbox.empty()) {
    const ssize_t n = send(p.fd, p.outbox.data(), p.outbox.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
    if (n <= 0) break;
    p.outbox.erase(0, static_cast<size_t>(n));
    total += static_cast<size_t>(n);
  }
  p.sent += total;
  return total;
}

// The messages of a received stream, each without its "#".
std::vector<std::string> Messages(const std::string& stream) {
  std::vector<std::string> out;
  size_t from = 0;
  for (size_t end; (end = stream.find('#', from)) != std::string::npos; from = end + 1) {
    out.push_back(stream.substr(from, end - from));
  }
  return out;
}

class HostBadPeers : public NetMatchMedia {
 protected:
  void SetUp() override {
    NetMatchMedia::SetUp();
    const int32_t listening = NetServerCreate(0);
    ASSERT_GT(listening, 0);
    port_ = LocalPort(listening);
    ASSERT_NE(port_, 0);
    s.playerName = "Anna";
  }

  void TearDown() override {
    for (const Peer& p : peers_) {
      if (p.fd >= 0) close(p.fd);
    }
    for (int fd : crowd_) close(fd);
    NetMatchMedia::TearDown();
  }

  // A peer the frames serve (sending its outbox, reading what arrives), not
  // connected yet; the reference stays valid for the whole test.
  Peer& NewPeer() { return peers_.emplace_back(); }

  Peer& Join() {
    Peer& p = NewPeer();
    p.fd = OpenTo(port_, true);
    EXPECT_GE(p.fd, 0);
    return p;
  }

  void Pump() {
    for (Peer& p : peers_) {
      sentTotal_ += SendWaiting(p);
      ReadWaiting(p);
    }
  }

  // Bookkeeping after each host frame: bytes read, and the largest
  // unfinished message any reader of the host holds.
  void AfterFrame() {
    readTotal_ += static_cast<size_t>(s.bytesThisFrame);
    mostBytesInAFrame_ = std::max(mostBytesInAFrame_, s.bytesThisFrame);
    for (const auto& [connection, reader] : s.readers) {
      mostUnfinished_ = std::max(mostUnfinished_, reader.UnfinishedBytes());
    }
    Pump();
  }

  void LobbyFrame() {
    Pump();
    platform_->AdvanceMs(16);
    host::HostLobbyFrame(s);
    AfterFrame();
  }

  bool MatchFrame() {
    Pump();
    platform_->AdvanceMs(16);
    const bool goesOn = host::HostMatchFrame(s);
    AfterFrame();
    ++matchFrames_;
    return goesOn;
  }

  // Runs lobby frames until `done` holds, within a bounded number of frames
  // and a few seconds.
  template <typename Done>
  bool LobbyUntil(Done done, int mostFrames = 300) {
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    for (int i = 0; i < mostFrames && Clock::now() < deadline; ++i) {
      if (done()) return true;
      LobbyFrame();
    }
    return done();
  }

  // The host's number for the connection of a test-side socket (0 when the
  // host has no reader for it).
  int32_t HostSide(int fd) const {
    const uint16_t port = LocalPort(fd);
    for (const auto& [connection, reader] : s.readers) {
      if (RemotePort(connection) == port) return connection;
    }
    return 0;
  }

  const host::ClientEntry* EntryOf(const Peer& p) const {
    const int32_t connection = HostSide(p.fd);
    for (const host::ClientEntry& e : s.clients) {
      if (connection != 0 && e.connection == connection) return &e;
    }
    return nullptr;
  }

  const netplay::MessageReader* ReaderOf(const Peer& p) const {
    auto found = s.readers.find(HostSide(p.fd));
    return found == s.readers.end() ? nullptr : &found->second;
  }

  bool Welcomed(const Peer& p) const { return p.received.rfind(kWelcome, 0) == 0; }

  void WelcomeOpponent() {
    opponent_ = &Join();
    ASSERT_TRUE(LobbyUntil([&] { return Welcomed(*opponent_); }));
  }

  void NameOpponent() {
    opponent_->outbox += "name:Ben#";
    ASSERT_TRUE(LobbyUntil([&] {
      const host::ClientEntry* e = EntryOf(*opponent_);
      return e != nullptr && e->state == host::kEntryNamed;
    }));
    EXPECT_EQ(EntryOf(*opponent_)->name, "Ben");
  }

  // Enter (pressed in one frame, let go in the next) starts the match with
  // the opponent.
  void StartWithOpponent() {
    platform_->SetKey(game::kKeyEnter, true);
    LobbyFrame();
    platform_->SetKey(game::kKeyEnter, false);
    LobbyFrame();
    ASSERT_EQ(s.lobbyResult, host::kLobbyStartMatch);
    EXPECT_EQ(s.opponentConnection, HostSide(opponent_->fd));
    EXPECT_EQ(s.opponentName, "Ben");
    EXPECT_EQ(opponent_->received, kWelcome + kStart);
    for (const std::string& line : s.console.lines) EXPECT_LT(line.size(), 100u);
  }

  void OpponentThroughLobby() {
    WelcomeOpponent();
    NameOpponent();
    StartWithOpponent();
  }

  // Every message the opponent got after the start is a plane state, one per
  // match frame.
  void ExpectPlaneStatePerFrame() {
    const std::vector<std::string> all = Messages(opponent_->received);
    ASSERT_GE(all.size(), 2u);
    EXPECT_EQ(all[1] + "#", kStart);
    EXPECT_EQ(all.size() - 2, static_cast<size_t>(matchFrames_));
    for (size_t i = 2; i < all.size(); ++i) EXPECT_EQ(all[i].rfind("plane:", 0), 0u) << all[i];
  }

  // The match with the opponent: a quiet frame reads 0 bytes, its headings
  // (and shots) arrive in the frame after they were sent, and every frame
  // sends it the plane state.
  void PlayMatch() {
    host::HostMatchBegin(s);
    EXPECT_TRUE(MatchFrame());
    EXPECT_EQ(s.bytesThisFrame, 0);
    const std::string turn = "winkel:90.000000:#";
    opponent_->outbox += turn;
    EXPECT_TRUE(MatchFrame());
    EXPECT_EQ(s.bytesThisFrame, static_cast<int32_t>(turn.size()));
    EXPECT_EQ(s.match.planes[1].heading, 90.0f);
    opponent_->outbox += "winkel:135.000000:fire:#";
    EXPECT_TRUE(MatchFrame());
    EXPECT_EQ(s.match.planes[1].heading, 135.0f);
    EXPECT_EQ(s.match.planes[1].liveShotCount, 1);
    EXPECT_TRUE(MatchFrame());
    EXPECT_EQ(s.bytesThisFrame, 0);
    ExpectPlaneStatePerFrame();
  }

  uint16_t port_ = 0;
  host::HostSession s;
  std::deque<Peer> peers_;
  Peer* opponent_ = nullptr;
  std::vector<int> crowd_;  // the 300 connections, served by their test alone
  size_t sentTotal_ = 0;
  size_t readTotal_ = 0;
  int32_t mostBytesInAFrame_ = 0;
  size_t mostUnfinished_ = 0;
  int matchFrames_ = 0;
};

// --- Bad peers in the lobby, each next to the real opponent ---------------------

TEST_F(HostBadPeers, RandomGarbageIsNeverANameOrAStart) {
  Peer& garbage = Join();
  std::mt19937 random(20240611);
  std::uniform_int_distribution<int> byte(0, 255);
  for (int i = 0; i < 64 * 1024; ++i) {
    garbage.outbox.push_back(i % 97 == 0   ? '\0'
                             : i % 89 == 0 ? '#'
                                           : static_cast<char>(byte(random)));
  }
  ASSERT_TRUE(LobbyUntil([&] { return garbage.outbox.empty() && readTotal_ == sentTotal_; }));
  ASSERT_NE(EntryOf(garbage), nullptr);
  EXPECT_EQ(EntryOf(garbage)->state, host::kEntryWelcomed);
  OpponentThroughLobby();
  EXPECT_EQ(EntryOf(garbage)->state, host::kEntryWelcomed);
  PlayMatch();
}

TEST_F(HostBadPeers, MegabyteWithoutEndIsReadInBoundedSlicesAndDropped) {
  Peer& flood = Join();
  WelcomeOpponent();
  flood.outbox.assign(1 << 20, 'z');
  // The opponent's name comes behind the flood; the flood connection is
  // older, so it is served first in every frame.
  opponent_->outbox += "name:Ben#";
  ASSERT_TRUE(LobbyUntil([&] { return flood.outbox.empty() && readTotal_ == sentTotal_; }));
  EXPECT_LE(mostBytesInAFrame_, netplay::kReadBudgetPerFrame + 4096 + 64);
  EXPECT_LE(mostUnfinished_, netplay::kLongestMessage);
  ASSERT_NE(EntryOf(*opponent_), nullptr);
  EXPECT_EQ(EntryOf(*opponent_)->state, host::kEntryNamed);
  EXPECT_EQ(EntryOf(flood)->state, host::kEntryWelcomed);
  StartWithOpponent();
  PlayMatch();
}

TEST_F(HostBadPeers, TenThousandByteNameIsDroppedWithoutGrowingTheReader) {
  Peer& longName = Join();
  ASSERT_TRUE(LobbyUntil([&] { return Welcomed(longName); }));
  longName.outbox = "name:" + std::string(10000, 'x');
  ASSERT_TRUE(LobbyUntil([&] { return longName.outbox.empty() && readTotal_ == sentTotal_; }));
  ASSERT_NE(ReaderOf(longName), nullptr);
  EXPECT_LE(ReaderOf(longName)->UnfinishedBytes(), netplay::kLongestMessage);
  EXPECT_EQ(ReaderOf(longName)->QueuedMessages(), 0u);
  longName.outbox = "#";
  LobbyFrame();
  EXPECT_EQ(EntryOf(longName)->state, host::kEntryWelcomed);
  EXPECT_EQ(s.opponentName, "");
  OpponentThroughLobby();
  EXPECT_LE(mostUnfinished_, netplay::kLongestMessage);
  PlayMatch();
}

TEST_F(HostBadPeers, ThreeHundredConnectionsAtOnceFillTheTableAndTheRestAreTurnedAway) {
  WelcomeOpponent();
  NameOpponent();
  std::vector<Peer> crowd(300);
  for (Peer& p : crowd) {
    p.fd = OpenTo(port_, false);
    ASSERT_GE(p.fd, 0);
    crowd_.push_back(p.fd);
    // One byte each once connected: a connection the listen queue had no
    // room for then keeps being retried by the system until the host either
    // takes it or turns it away, instead of hanging silently.
    p.outbox = "x";
  }
  // The retries take real time, so each frame idles a little while nothing
  // arrives. Every connection ends up either welcomed or closed at once.
  int welcomed = 0;
  int turnedAway = 0;
  const auto deadline = Clock::now() + std::chrono::seconds(8);
  for (int frame = 0; frame < 600 && welcomed + turnedAway < 300; ++frame) {
    if (Clock::now() > deadline) break;
    LobbyFrame();
    std::vector<pollfd> waiting;
    for (Peer& p : crowd) {
      SendWaiting(p);
      if (p.received.empty() && !p.ended) waiting.push_back({p.fd, POLLIN, 0});
    }
    poll(waiting.data(), waiting.size(), 4);
    welcomed = turnedAway = 0;
    for (Peer& p : crowd) {
      ReadWaiting(p, kWelcome.size());
      welcomed += Welcomed(p) ? 1 : 0;
      turnedAway += p.received.empty() && p.ended ? 1 : 0;
    }
  }
  EXPECT_EQ(welcomed, kNetMaxClients - 1);
  EXPECT_EQ(turnedAway, 300 - (kNetMaxClients - 1));
  EXPECT_EQ(s.clients.size(), static_cast<size_t>(kNetMaxClients));
  EXPECT_EQ(EntryOf(*opponent_)->state, host::kEntryNamed);
  StartWithOpponent();
  PlayMatch();
}

TEST_F(HostBadPeers, PeersResettingMidMessageLeaveWithoutAName) {
  // One resets after the host has read the start of its name, one before.
  Peer& early = Join();
  Peer& late = Join();
  ASSERT_TRUE(LobbyUntil([&] { return Welcomed(early) && Welcomed(late); }));
  early.outbox = "name:Bo";
  LobbyFrame();
  ASSERT_NE(ReaderOf(early), nullptr);
  EXPECT_EQ(ReaderOf(early)->UnfinishedBytes(), 7u);
  Reset(early.fd);
  early.fd = -1;
  late.outbox = "name:Bo";
  Pump();
  Reset(late.fd);
  late.fd = -1;
  ASSERT_TRUE(LobbyUntil([&] { return s.clients.empty(); }));
  EXPECT_TRUE(s.readers.empty());
  EXPECT_EQ(std::count(s.console.lines.begin(), s.console.lines.end(), kLeft), 2);
  EXPECT_EQ(s.opponentName, "");
  OpponentThroughLobby();
  PlayMatch();
}

TEST_F(HostBadPeers, StrangerSendingOneByteStaysUnnamed) {
  Peer& stranger = Join();
  stranger.outbox = "n";
  ASSERT_TRUE(LobbyUntil([&] { return Welcomed(stranger) && readTotal_ == 1; }));
  EXPECT_EQ(ReaderOf(stranger)->UnfinishedBytes(), 1u);
  OpponentThroughLobby();
  EXPECT_EQ(EntryOf(stranger)->state, host::kEntryWelcomed);
  PlayMatch();
}

// A stranger who sends half a message changes nothing on the lobby's screen,
// and an unchanged lobby is neither drawn nor handed on again; a line that
// comes shows at once, as a frame drawn in full would show it.
TEST_F(HostBadPeers, AnUnchangedLobbyIsNotDrawnAgain) {
  auto shown = [&]() -> const platform::CapturedFrame& {
    for (const auto& [id, window] : platform_->Windows()) {
      if (window.frame.width == 800 && window.frame.height == 600) return window.frame;
    }
    ADD_FAILURE() << "no lobby picture";
    return platform_->Windows().begin()->second.frame;
  };
  Peer& stranger = Join();
  stranger.outbox = "nam";
  ASSERT_TRUE(LobbyUntil([&] { return Welcomed(stranger) && readTotal_ == 3; }));
  LobbyFrame();
  EXPECT_EQ(shown().changed.width * shown().changed.height, 0);
  const std::vector<uint8_t> before = shown().pixels;
  stranger.outbox = "e:Ben#";
  const auto joined = [&] {
    return std::count(s.console.lines.begin(), s.console.lines.end(), "Ben hat sich verbunden");
  };
  ASSERT_TRUE(LobbyUntil([&] { return joined() > 0; }));
  LobbyFrame();
  EXPECT_NE(shown().pixels, before);
  const std::vector<uint8_t> drawn = shown().pixels;
  s.consolePicture = netplay::ConsolePicture{};
  LobbyFrame();
  EXPECT_EQ(shown().pixels, drawn);
}

// --- Strangers during the match --------------------------------------------------

class HostBadPeersInMatch : public HostBadPeers {
 protected:
  // A peer that comes and goes in the lobby frees the lowest slot of the
  // server, so the stranger who connects in the match takes it and is polled
  // before the opponent.
  void SetUp() override {
    HostBadPeers::SetUp();
    Peer& early = Join();
    ASSERT_TRUE(LobbyUntil([&] { return Welcomed(early); }));
    OpponentThroughLobby();
    close(early.fd);
    early.fd = -1;
    host::HostMatchBegin(s);
    ASSERT_TRUE(MatchFrame());
    ASSERT_EQ(s.clients.size(), 1u);
    stranger_ = &Join();
    ASSERT_TRUE(MatchFrame());
  }

  void ExpectOnlyTheOpponentServed() {
    ASSERT_EQ(s.clients.size(), 1u);
    EXPECT_EQ(s.clients[0].connection, HostSide(opponent_->fd));
    EXPECT_TRUE(stranger_->received.empty());
    ExpectPlaneStatePerFrame();
  }

  Peer* stranger_ = nullptr;
};

TEST_F(HostBadPeersInMatch, StrangerGetsNoEntryAndItsHeadingsAndShotsAreDropped) {
  stranger_->outbox = "winkel:10.000000:fire:#";
  opponent_->outbox = "winkel:90.000000:#";
  ASSERT_TRUE(MatchFrame());
  EXPECT_EQ(s.match.planes[1].heading, 90.0f);
  EXPECT_EQ(s.match.planes[1].liveShotCount, 0);
  stranger_->outbox = "winkel:20.000000:fire:#";
  ASSERT_TRUE(MatchFrame());
  EXPECT_EQ(s.match.planes[1].heading, 90.0f);
  EXPECT_EQ(s.match.planes[1].liveShotCount, 0);
  ExpectOnlyTheOpponentServed();
}

TEST_F(HostBadPeersInMatch, StrangerFloodingPastTheReadBudgetDoesNotStopTheHeadings) {
  for (int i = 1; i <= 10; ++i) {
    if (stranger_->outbox.size() < (1u << 20)) stranger_->outbox.append(1 << 20, 'w');
    opponent_->outbox = "winkel:" + std::to_string(100 + i) + ".000000:#";
    ASSERT_TRUE(MatchFrame());
    ASSERT_EQ(s.match.planes[1].heading, static_cast<float>(100 + i)) << "frame " << i;
  }
  EXPECT_LE(mostUnfinished_, netplay::kLongestMessage);
  ExpectOnlyTheOpponentServed();
}

TEST_F(HostBadPeers, NewcomerUnderTheLostOpponentsNumberDoesNotSteerTheBluePlane) {
  OpponentThroughLobby();
  host::HostMatchBegin(s);
  ASSERT_TRUE(MatchFrame());
  const int32_t lost = HostSide(opponent_->fd);
  // The opponent's end is shut, not closed, so the test side keeps its
  // descriptor and the host's next accepted connection gets the number the
  // host has just closed, as it would with separate processes.
  Peer& newcomer = NewPeer();
  newcomer.fd = socket(AF_INET, SOCK_STREAM, 0);
  shutdown(opponent_->fd, SHUT_RDWR);
  ASSERT_TRUE(MatchFrame());
  EXPECT_TRUE(s.clients.empty());
  ASSERT_EQ(OpenTo(port_, true, newcomer.fd), newcomer.fd);
  ASSERT_TRUE(MatchFrame());
  ASSERT_EQ(HostSide(newcomer.fd), lost);
  const float heading = s.match.planes[1].heading;
  newcomer.outbox = "winkel:45.000000:fire:#";
  ASSERT_TRUE(MatchFrame());
  EXPECT_EQ(s.match.planes[1].heading, heading);
  EXPECT_EQ(s.match.planes[1].liveShotCount, 0);
  EXPECT_TRUE(s.clients.empty());
}

// --- Peers that leave with their last words, and floods ---------------------------

TEST_F(HostBadPeers, NameAndReadyThatComeWithTheCloseOrResetAreShownBeforeTheLoss) {
  // One closes before the host has even taken the connection, one resets
  // after its welcome.
  for (const bool reset : {false, true}) {
    SCOPED_TRACE(reset ? "reset" : "close");
    Peer& p = Join();
    if (reset) {
      ASSERT_TRUE(LobbyUntil([&] { return Welcomed(p); }));
    }
    p.outbox = "name:Ben#ready:Ben#";
    Pump();
    ASSERT_TRUE(p.outbox.empty());
    if (reset) {
      // A reset throws away what is not on the wire yet.
      ASSERT_TRUE(loopback::WaitUntilWaiting(HostSide(p.fd), 19));
      Reset(p.fd);
    } else {
      close(p.fd);
    }
    p.fd = -1;
    const auto left = [&] {
      return std::count(s.console.lines.begin(), s.console.lines.end(), kLeft);
    };
    const auto before = left();
    ASSERT_TRUE(LobbyUntil([&] { return left() > before; }));
    EXPECT_TRUE(s.clients.empty());
    EXPECT_TRUE(s.readers.empty());
    const std::vector<std::string> tail(s.console.lines.end() - 4, s.console.lines.end());
    EXPECT_EQ(tail,
              (std::vector<std::string>{"Ben hat sich verbunden",
                                        "Auf Ben warten bis er Bereit ist.", kReadyLine, kLeft}));
  }
  OpponentThroughLobby();
  PlayMatch();
}

TEST_F(HostBadPeers, LastHeadingWithFireBeforeTheOpponentLeftTurnsAndShoots) {
  OpponentThroughLobby();
  host::HostMatchBegin(s);
  ASSERT_TRUE(MatchFrame());
  EXPECT_EQ(LostTextPixels(*platform_), 0);
  const std::string last = "winkel:45.000000:fire:#";
  opponent_->outbox = last;
  Pump();
  const int32_t hostSide = HostSide(opponent_->fd);
  ASSERT_TRUE(loopback::WaitUntilWaiting(hostSide, last.size()));
  close(opponent_->fd);
  opponent_->fd = -1;
  ASSERT_TRUE(loopback::WaitUntilEnded(hostSide));
  ASSERT_TRUE(MatchFrame());
  EXPECT_EQ(s.bytesThisFrame, static_cast<int32_t>(last.size()));
  EXPECT_EQ(s.match.planes[1].heading, 45.0f);
  EXPECT_EQ(s.match.planes[1].liveShotCount, 1);
  EXPECT_TRUE(s.opponentLost);
  EXPECT_TRUE(s.clients.empty());
  // The match goes on, saying that the opponent is gone, until Esc.
  for (int i = 0; i < 5; ++i) ASSERT_TRUE(MatchFrame());
  EXPECT_GT(LostTextPixels(*platform_), 20);
  EXPECT_EQ(s.match.planes[1].heading, 45.0f);
  platform_->SetKey(game::kKeyEsc, true);
  ASSERT_TRUE(MatchFrame());
  platform_->SetKey(game::kKeyEsc, false);
  EXPECT_FALSE(MatchFrame());
}

TEST_F(HostBadPeers, ReadyFloodKeepsTheConsoleAndTheReaderBounded) {
  WelcomeOpponent();
  NameOpponent();
  constexpr int kFlood = 30000;
  for (int i = 0; i < kFlood; ++i) opponent_->outbox += "ready:Ben#";
  size_t mostLines = 0;
  size_t mostQueued = 0;
  int frames = 0;
  ASSERT_TRUE(LobbyUntil(
      [&] {
        mostLines = std::max(mostLines, s.console.lines.size());
        if (const netplay::MessageReader* r = ReaderOf(*opponent_)) {
          mostQueued = std::max(mostQueued, r->QueuedMessages());
        }
        ++frames;
        return opponent_->outbox.empty() && readTotal_ == sentTotal_;
      },
      2000));
  EXPECT_LE(mostLines, static_cast<size_t>(netplay::kConsoleMostLines));
  EXPECT_EQ(mostQueued, 0u);  // every frame takes what it holds
  // At most a frame's budget of messages was handled in each frame.
  const netplay::MessageReader* reader = ReaderOf(*opponent_);
  ASSERT_NE(reader, nullptr);
  EXPECT_GE(
      reader->DroppedMessages(),
      static_cast<size_t>(kFlood) - netplay::kMostMessagesPerFrame * static_cast<size_t>(frames));
  EXPECT_EQ(s.console.lines.back(), kReadyLine);
  StartWithOpponent();
  PlayMatch();
}

}  // namespace
