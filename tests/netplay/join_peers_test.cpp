// The client's real lobby and match frames against a host played by the
// test over a real loopback connection: a host that leaves with its last
// messages, a host that resets, and hosts that flood "close" or plane states
// carrying shots.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "join/join_lobby.h"
#include "join/join_match.h"
#include "join/join_program.h"
#include "join/join_session.h"
#include "match_fixture.h"
#include "netplay/console.h"
#include "netplay/match.h"
#include "netplay/reader.h"
#include "runtime/net.h"
#include "tests/support/loopback.h"

namespace {

const std::string kWelcome = "Welcome:SK:11:Anna#";
const std::string kClosed = "Verbindung geschlossen.";
const std::string kServerEnded = "Der Server wurde beendet, verbindung geschlossen.";

// Black pixels of the last presented 800 x 600 frame inside a rectangle.
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

class JoinPeers : public NetMatchMedia {
 protected:
  void SetUp() override {
    NetMatchMedia::SetUp();
    listener_ = socket(AF_INET, SOCK_STREAM, 0);
    const sockaddr_in a = loopback::Address(0);
    ASSERT_EQ(bind(listener_, reinterpret_cast<const sockaddr*>(&a), sizeof a), 0);
    ASSERT_EQ(listen(listener_, 4), 0);
    s.playerName = "Ben";
    s.addressText = "127.0.0.1";
    // Connected as the lobby's first attempt would be, but to this test's port.
    s.connection = NetConnect("127.0.0.1", loopback::LocalPort(listener_));
    ASSERT_GT(s.connection, 0);
    s.link = join::Link::Connected;
    host_ = accept(listener_, nullptr, nullptr);
    ASSERT_GE(host_, 0);
  }

  void TearDown() override {
    if (host_ >= 0) close(host_);
    close(listener_);
    NetMatchMedia::TearDown();
  }

  void Send(const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
      const ssize_t n = send(host_, text.data() + done, text.size() - done, MSG_NOSIGNAL);
      ASSERT_GT(n, 0);
      done += static_cast<size_t>(n);
    }
    sentSinceRead_ += text.size();
  }

  // Takes what the client sent, so that a close is an orderly one.
  std::string Drain() {
    std::string got;
    char buffer[4096];
    for (ssize_t n; (n = recv(host_, buffer, sizeof buffer, MSG_DONTWAIT)) > 0;) {
      got.append(buffer, static_cast<size_t>(n));
    }
    return got;
  }

  void LobbyFrame() {
    sentSinceRead_ = 0;
    platform_->AdvanceMs(16);
    join::JoinLobbyFrame(s);
    mostLines_ = std::max(mostLines_, s.console.lines.size());
  }

  bool MatchFrame() {
    sentSinceRead_ = 0;
    platform_->AdvanceMs(16);
    const bool goesOn = join::JoinMatchFrame(s);
    mostLines_ = std::max(mostLines_, s.console.lines.size());
    return goesOn;
  }

  void Joined() {
    Send(kWelcome);
    LobbyFrame();
    ASSERT_EQ(s.lobbyState, join::kLobbyJoined);
    EXPECT_EQ(Drain(), "name:Ben#");
  }

  void IntoMatch() {
    ASSERT_NO_FATAL_FAILURE(Joined());
    Send("ready:Anna#");
    LobbyFrame();
    ASSERT_EQ(s.lobbyResult, join::kLobbyStartMatch);
    join::JoinMatchBegin(s);
  }

  // A reset throws away what the sender has not put on the wire yet, so the
  // host goes only once its last bytes are waiting at the client, and the
  // frame comes once the end has arrived too.
  void HostCloses(bool reset) {
    Drain();
    ASSERT_TRUE(loopback::WaitUntilWaiting(s.connection, sentSinceRead_));
    if (reset) {
      loopback::Reset(host_);
    } else {
      close(host_);
    }
    host_ = -1;
    ASSERT_TRUE(loopback::WaitUntilEnded(s.connection));
  }

  void LastStateThenLoss(bool reset);

  int Count(const std::string& line) const {
    return static_cast<int>(std::count(s.console.lines.begin(), s.console.lines.end(), line));
  }

  int listener_ = -1;
  int host_ = -1;
  join::JoinSession s;
  size_t mostLines_ = 0;
  size_t sentSinceRead_ = 0;  // bytes sent since the client's last frame
};

TEST_F(JoinPeers, WelcomeThatComesWithTheCloseIsAnsweredThenTheCloseIsShown) {
  Send(kWelcome);
  HostCloses(false);
  LobbyFrame();
  EXPECT_EQ(s.lobbyState, join::kLobbyJoined);
  EXPECT_EQ(s.hostName, "Anna");
  ASSERT_GE(s.console.lines.size(), 2u);
  EXPECT_EQ(s.console.lines.front(), "Erfolgreich mit Anna verbunden.");
  EXPECT_EQ(s.console.lines.back(), kClosed);
  EXPECT_EQ(s.link, join::Link::Gone);
  EXPECT_EQ(s.connection, 0);
  // Nothing more happens until Esc: Enter sends nothing and prints nothing.
  const size_t lines = s.console.lines.size();
  platform_->SetKey(game::kKeyEnter, true);
  LobbyFrame();
  platform_->SetKey(game::kKeyEnter, false);
  for (int i = 0; i < 10; ++i) LobbyFrame();
  EXPECT_EQ(s.console.lines.size(), lines);
  EXPECT_EQ(Count(kClosed), 1);
  EXPECT_EQ(s.lobbyResult, 0);
}

TEST_F(JoinPeers, HostResetInTheLobbyIsShownOnce) {
  ASSERT_NO_FATAL_FAILURE(Joined());
  HostCloses(true);
  for (int i = 0; i < 5; ++i) LobbyFrame();
  EXPECT_EQ(Count(kClosed), 1);
  EXPECT_EQ(s.link, join::Link::Gone);
}

TEST_F(JoinPeers, HostThatSaidCloseIsNotReportedTwice) {
  ASSERT_NO_FATAL_FAILURE(Joined());
  Send("close:#");
  HostCloses(false);
  for (int i = 0; i < 5; ++i) LobbyFrame();
  EXPECT_EQ(Count(kServerEnded), 1);
  EXPECT_EQ(Count(kClosed), 0);
  EXPECT_EQ(s.link, join::Link::Gone);
}

TEST_F(JoinPeers, CloseFloodKeepsTheConsoleAndTheReaderBounded) {
  ASSERT_NO_FATAL_FAILURE(Joined());
  constexpr int kFlood = 50000;
  std::string flood;
  for (int i = 0; i < kFlood; ++i) flood += "close:#";
  size_t sent = 0;
  int frames = 0;
  while (sent < flood.size() && frames < 2000) {
    const ssize_t n =
        send(host_, flood.data() + sent, flood.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0) sent += static_cast<size_t>(n);
    LobbyFrame();
    EXPECT_EQ(s.reader.QueuedMessages(), 0u);
    ++frames;
  }
  for (int i = 0; i < 5; ++i, ++frames) LobbyFrame();
  ASSERT_EQ(sent, flood.size());
  EXPECT_LE(mostLines_, static_cast<size_t>(netplay::kConsoleMostLines));
  EXPECT_GE(s.reader.DroppedMessages(),
            kFlood - netplay::kMostMessagesPerFrame * static_cast<size_t>(frames));
  EXPECT_EQ(s.console.lines.back(), kServerEnded);
  // The host is still there: its start still starts the match.
  Send("ready:Anna#");
  LobbyFrame();
  EXPECT_EQ(s.lobbyResult, join::kLobbyStartMatch);
}

TEST_F(JoinPeers, FireFloodMakesAtMostSixHostShots) {
  ASSERT_NO_FATAL_FAILURE(IntoMatch());
  const std::string state = "plane:90.000000:400:300:100:100:fire:#";
  std::string burst;
  for (int i = 0; i < 200; ++i) burst += state;
  int mostShots = 0;
  for (int frame = 0; frame < 100; ++frame) {
    Send(burst);
    ASSERT_TRUE(MatchFrame());
    Drain();
    mostShots = std::max(mostShots, ListCount(s.match.shots));
  }
  EXPECT_EQ(mostShots, netplay::kNetMostShots);
  EXPECT_NEAR(s.match.planes[0].x, 400.0f, 4.0f);
  EXPECT_EQ(s.link, join::Link::Connected);
}

// The host's last plane state (with a shot) arrives with its close or reset:
// it moves the planes and fires, then the loss is shown on the match screen,
// which runs on until Esc.
void JoinPeers::LastStateThenLoss(bool reset) {
  ASSERT_NO_FATAL_FAILURE(IntoMatch());
  Send("plane:180.000000:598:150:152:400:#");
  ASSERT_TRUE(MatchFrame());
  EXPECT_EQ(BlackPixels(*platform_, 330, 36, 520, 60), 0);
  Send("plane:90.000000:300:200:100:120:fire:#");
  HostCloses(reset);
  ASSERT_TRUE(MatchFrame());
  EXPECT_EQ(s.link, join::Link::Gone);
  // The view plays the last state out over the next frames: the red plane
  // goes onto it and flies on down its heading, and its shot is made.
  for (int i = 0; i < 10; ++i) ASSERT_TRUE(MatchFrame());
  EXPECT_NEAR(s.match.planes[0].x, 300.0f, 2.0f);
  EXPECT_EQ(s.match.planes[0].heading, 90.0f);
  EXPECT_EQ(ListCount(s.match.shots), 1);
  EXPECT_GT(BlackPixels(*platform_, 330, 36, 520, 60), 20);
  platform_->SetKey(game::kKeyEsc, true);
  ASSERT_TRUE(MatchFrame());
  platform_->SetKey(game::kKeyEsc, false);
  EXPECT_FALSE(MatchFrame());
}

TEST_F(JoinPeers, LastPlaneStateWithTheCloseCountsThenTheLossIsShown) {
  LastStateThenLoss(false);
}

TEST_F(JoinPeers, LastPlaneStateWithTheResetCountsThenTheLossIsShown) {
  LastStateThenLoss(true);
}

}  // namespace
