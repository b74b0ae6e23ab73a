// Long runs, kept out of the everyday test run (make soak): a half-hour local
// match session on the virtual clock with flat memory, a thousand lobby
// connections without a leaked socket, and both network programs going on
// when their peer vanishes in the lobby or in the match.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "game/skirmora.h"
#include "host/host_match.h"
#include "host/host_program.h"
#include "host/host_session.h"
#include "join/join_match.h"
#include "join/join_program.h"
#include "join/join_session.h"
#include "media/keyboard.h"
#include "runtime/lists.h"
#include "runtime/net.h"
#include "tests/netplay/match_fixture.h"
#include "tests/support/loopback.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

long ResidentKb() {
  long pages = 0;
  long resident = 0;
  std::ifstream("/proc/self/statm") >> pages >> resident;
  return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

std::string ReadWaiting(int fd) {
  std::string out;
  char buffer[4096];
  for (ssize_t n; (n = recv(fd, buffer, sizeof buffer, MSG_DONTWAIT)) > 0;) out.append(buffer, n);
  return out;
}

// --- (a) The local game for half an hour of game time ----------------------------

// Turns towards the other plane and fires in bursts when roughly on target;
// every `drift` frames it breaks off for a while, so that matches differ.
void Steer(platform::HeadlessPlatform& hp, const game::PlaneState& me,
           const game::PlaneState& other, int frame, int drift, int left, int right, int fire) {
  const float target = std::atan2(other.y - me.y, other.x - me.x) * 180.0f / 3.14159265f +
                       (frame % drift < 40 ? 90.0f : 0.0f);
  const float diff = std::fmod(target - me.heading + 540.0f, 360.0f) - 180.0f;
  hp.SetKey(left, diff < -3.0f);
  hp.SetKey(right, diff > 3.0f);
  hp.SetKey(fire, std::fabs(diff) < 15.0f && frame % 7 < 3);
}

TEST(Soak, HalfAnHourOfLocalMatchesKeepsMemoryFlat) {
  const std::string dir = ::testing::TempDir() + "skirmora-soak";
  std::filesystem::create_directories(dir);
  platform::HeadlessPlatform& hp = platform::UseHeadless();
  hp.SetExecutablePath(dir + "/skirmora");
  ProgramStart(game::SkirmoraHooks());
  ASSERT_TRUE(game::SkirmoraStart());
  game::SkirmoraState& s = game::SkirmoraGameState();
  const auto started = Clock::now();
  const uint32_t startMs = hp.ElapsedMs();
  constexpr uint32_t kMinuteMs = 60 * 1000;
  std::vector<long> samples;  // resident size at each minute of game time
  int64_t frames = 0;
  for (; frames < 30LL * 60 * 250 && hp.ElapsedMs() - startMs < 30 * kMinuteMs; ++frames) {
    const int f = static_cast<int>(frames);
    hp.ReleaseAllKeys();
    if (s.screen == game::Screen::Splash) hp.SetKey(game::kKeyEsc, f % 30 == 5);
    if (s.screen == game::Screen::Menu) hp.SetKey(game::kKeyEnter, f % 60 == 40);
    if (s.screen == game::Screen::Match) {
      Steer(hp, s.planes[0], s.planes[1], f, 600, game::kKeyLeft, game::kKeyRight,
            game::kKeyRightCtrl);
      Steer(hp, s.planes[1], s.planes[0], f + 3, 410, game::kKeyA, game::kKeyD, game::kKeyLeftCtrl);
    }
    ASSERT_TRUE(game::SkirmoraFrame()) << "the program ended at frame " << frames;
    if (hp.ElapsedMs() - startMs >= (samples.size() + 1) * kMinuteMs)
      samples.push_back(ResidentKb());
  }
  const double took = Seconds(started);
  ProgramRunEndHooks();
  std::printf("local: %lld frames, %.1f game minutes, %d matches, %.1f s real\n",
              static_cast<long long>(frames), (hp.ElapsedMs() - startMs) / 60000.0, s.matches,
              took);
  std::printf("local: resident kB per game minute:");
  for (long kb : samples) std::printf(" %ld", kb);
  std::printf("\n");
  ASSERT_GE(samples.size(), 29u) << "30 minutes of game time";
  EXPECT_GE(s.matches, 10) << "matches ended and new ones started all along";
  // After two minutes everything is loaded; from then on only noise.
  EXPECT_LE(samples.back(), samples[1] + 2048) << "resident size grew";
  EXPECT_LT(took, 900.0);
}

// --- (b) A thousand lobby connections, accepted and dropped --------------------

class HostSoak : public NetMatchMedia {
 protected:
  void SetUp() override {
    NetMatchMedia::SetUp();
    const int32_t listening = NetServerCreate(0);
    ASSERT_GT(listening, 0);
    port_ = loopback::LocalPort(listening);
    s.playerName = "Anna";
  }

  void LobbyFrame() {
    platform_->AdvanceMs(16);
    host::HostLobbyFrame(s);
  }

  // Lobby frames until `done` holds; at most `frames` frames and 5 seconds.
  template <typename Done>
  bool LobbyUntil(Done done, int frames = 500) {
    const auto started = Clock::now();
    for (int i = 0; i < frames && Seconds(started) < 5.0; ++i) {
      if (done()) return true;
      LobbyFrame();
      usleep(100);
    }
    return done();
  }

  uint16_t port_ = 0;
  host::HostSession s;
};

TEST_F(HostSoak, AThousandConnectionsInARowLeakNoSocket) {
  for (int i = 0; i < 3; ++i) LobbyFrame();
  const size_t clientsBefore = s.clients.size();
  const int fdsBefore = loopback::OpenDescriptorCount();
  const auto started = Clock::now();
  for (int i = 0; i < 1000; ++i) {
    const int fd = loopback::Connect(port_);
    ASSERT_GE(fd, 0) << "connection " << i;
    std::string got;
    ASSERT_TRUE(LobbyUntil([&] { return (got += ReadWaiting(fd)).rfind("Welcome:", 0) == 0; }))
        << "connection " << i << " was not welcomed";
    if (i % 3 == 1) send(fd, "name:Ben#", 9, MSG_NOSIGNAL);
    if (i % 2 == 0) {
      close(fd);
    } else {
      loopback::Reset(fd);
    }
    ASSERT_TRUE(LobbyUntil([&] { return s.clients.size() == clientsBefore; }))
        << "connection " << i << " was not dropped";
  }
  const double took = Seconds(started);
  const int fdsAfter = loopback::OpenDescriptorCount();
  std::printf("lobby: 1000 connections in %.1f s, open descriptors %d before, %d after\n", took,
              fdsBefore, fdsAfter);
  EXPECT_EQ(fdsAfter, fdsBefore);
  EXPECT_LT(took, 120.0);
}

// --- (c) Peers that vanish ---------------------------------------------------------

TEST_F(HostSoak, HostGoesOnWhenAClientVanishesInTheLobbyOrTheMatch) {
  // In the lobby, after its name.
  const size_t before = s.clients.size();
  int fd = loopback::Connect(port_);
  ASSERT_TRUE(LobbyUntil([&] { return s.clients.size() == before + 1; }));
  send(fd, "name:Bo#", 8, MSG_NOSIGNAL);
  ASSERT_TRUE(LobbyUntil([&] { return s.clients.back().name == "Bo"; }));
  loopback::Reset(fd);
  ASSERT_TRUE(LobbyUntil([&] { return s.clients.size() == before; }));
  // The lobby goes on: the next one is welcomed and starts a match.
  fd = loopback::Connect(port_);
  std::string got;
  ASSERT_TRUE(LobbyUntil([&] { return (got += ReadWaiting(fd)).rfind("Welcome:", 0) == 0; }));
  send(fd, "name:Ben#", 9, MSG_NOSIGNAL);
  ASSERT_TRUE(LobbyUntil([&] { return s.clients.back().state == host::kEntryNamed; }));
  platform_->SetKey(game::kKeyEnter, true);
  LobbyFrame();
  platform_->SetKey(game::kKeyEnter, false);
  LobbyFrame();
  ASSERT_EQ(s.lobbyResult, host::kLobbyStartMatch);
  host::HostMatchBegin(s);
  for (int i = 0; i < 120; ++i) {
    if (i % 5 == 0) send(fd, "winkel:90.000000:fire:#", 23, MSG_NOSIGNAL);
    platform_->AdvanceMs(16);
    ASSERT_TRUE(host::HostMatchFrame(s));
    ReadWaiting(fd);
  }
  // Mid-match the client vanishes: the host keeps running its frames.
  loopback::Reset(fd);
  const uint64_t presented = platform_->PresentCount();
  for (int i = 0; i < 600; ++i) {
    platform_->AdvanceMs(16);
    ASSERT_TRUE(host::HostMatchFrame(s)) << "frame " << i << " after the client vanished";
  }
  EXPECT_EQ(platform_->PresentCount(), presented + 600);
  std::printf("host: went on for 600 frames after its client vanished mid-match\n");
}

class JoinSoak : public NetMatchMedia {
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
    close(listener_);
    NetMatchMedia::TearDown();
  }

  void LobbyFrames(int n) {
    for (int i = 0; i < n; ++i) {
      platform_->AdvanceMs(16);
      join::JoinLobbyFrame(s);
      usleep(100);
    }
  }

  int listener_ = -1;
  int host_ = -1;
  join::JoinSession s;
};

TEST_F(JoinSoak, ClientGoesOnWhenTheHostVanishesInTheLobby) {
  send(host_, "Welcome:SK:11:Anna#", 19, MSG_NOSIGNAL);
  LobbyFrames(20);
  ASSERT_EQ(s.lobbyState, join::kLobbyJoined);
  EXPECT_EQ(ReadWaiting(host_), "name:Ben#");
  loopback::Reset(host_);
  const uint64_t presented = platform_->PresentCount();
  LobbyFrames(600);
  EXPECT_EQ(platform_->PresentCount(), presented + 600);
  EXPECT_NE(s.lobbyResult, join::kLobbyStartMatch);
  std::printf("join: went on for 600 lobby frames after its host vanished\n");
}

TEST_F(JoinSoak, ClientGoesOnWhenTheHostVanishesMidMatch) {
  send(host_, "Welcome:SK:11:Anna#", 19, MSG_NOSIGNAL);
  LobbyFrames(10);
  platform_->SetKey(game::kKeyEnter, true);
  LobbyFrames(1);
  platform_->SetKey(game::kKeyEnter, false);
  LobbyFrames(1);
  send(host_, "ready:Anna#", 11, MSG_NOSIGNAL);
  for (int i = 0; i < 50 && s.lobbyResult != join::kLobbyStartMatch; ++i) LobbyFrames(1);
  ASSERT_EQ(s.lobbyResult, join::kLobbyStartMatch);
  join::JoinMatchBegin(s);
  for (int i = 0; i < 120; ++i) {
    const std::string plane = "plane:180.000000:598:150:152:400:fire:#";
    send(host_, plane.data(), plane.size(), MSG_NOSIGNAL);
    platform_->AdvanceMs(16);
    ASSERT_TRUE(join::JoinMatchFrame(s));
    ReadWaiting(host_);
  }
  loopback::Reset(host_);
  const uint64_t presented = platform_->PresentCount();
  for (int i = 0; i < 600; ++i) {
    platform_->AdvanceMs(16);
    ASSERT_TRUE(join::JoinMatchFrame(s)) << "frame " << i << " after the host vanished";
  }
  EXPECT_EQ(platform_->PresentCount(), presented + 600);
  std::printf("join: went on for 600 match frames after its host vanished\n");
}

}  // namespace
