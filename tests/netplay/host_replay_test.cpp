// The host's replay: a scripted network match recorded by the host and shown
// again gives the host's frames, the same at the same frame numbers.
#include "host/host_replay.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "game/replay_file.h"
#include "match_fixture.h"
#include "media/display.h"
#include "pair.h"

namespace {

netplay::NetKeys HostKeys(int f) {
  netplay::NetKeys k;
  k.leftHeld = f % 150 < 60;
  k.rightHeld = f % 150 >= 100 && f % 150 < 120;
  k.spaceHeld = f % 20 < 3;
  k.spaceReleased = f % 20 == 3;
  return k;
}

netplay::NetKeys ClientKeys(int f) {
  netplay::NetKeys k;
  k.rightHeld = f % 130 < 70;
  k.spaceHeld = f % 13 < 2;
  k.spaceReleased = f % 13 == 2;
  return k;
}

class HostReplayTest : public NetMatchMedia {
 protected:
  void SetUp() override {
    std::string pattern = ::testing::TempDir() + "hostreplayXXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    ASSERT_NE(::mkdtemp(buffer.data()), nullptr);
    dir_ = buffer.data();
    ::setenv("XDG_DATA_HOME", dir_.c_str(), 1);
    NetMatchMedia::SetUp();
  }
  void TearDown() override {
    NetMatchMedia::TearDown();
    std::filesystem::remove_all(dir_);
  }

  // The planes, the lists, the head-up figure and the presented frame.
  std::string Line(int frame, const host::HostSession& s) const {
    const platform::CapturedFrame* f = nullptr;
    for (const auto& [id, w] : platform_->Windows()) {
      if (w.frame.sequence > 0 && (f == nullptr || w.frame.sequence > f->sequence)) f = &w.frame;
    }
    uint64_t hash = 1469598103934665603ull;
    for (size_t i = 0; f != nullptr && i + 8 <= f->pixels.size(); i += 8) {
      uint64_t word;
      std::memcpy(&word, f->pixels.data() + i, 8);
      hash = (hash ^ word) * 1099511628211ull;
    }
    const netplay::NetMatch& m = s.match;
    return std::to_string(frame) + " " + std::to_string(m.planes[0].x) + "," +
           std::to_string(m.planes[0].y) + " " + std::to_string(m.planes[1].x) + "," +
           std::to_string(m.planes[1].y) + " h" + std::to_string(m.planes[1].heading) + " e" +
           std::to_string(m.planes[0].energy) + "/" + std::to_string(m.planes[1].energy) +
           " shots " + std::to_string(ListCount(m.shots)) + " pak " +
           std::to_string(s.bytesThisFrame) + " ping " + std::to_string(s.roundTripMs) + " frame " +
           std::to_string(hash);
  }

  std::string dir_;
};

TEST_F(HostReplayTest, RecordedHostMatchShowsTheHostsFramesAgain) {
  constexpr int kFrames = 300;
  pairtest::Pair p;
  p.host.recordReplay = true;
  p.host.match.cloudOffset = 77.5f;  // kept from the lobby's frames
  p.PlayLobby();
  host::HostReplayBegin(p.host, p.nowMs);
  std::vector<std::string> played;
  int clientShots = 0;
  for (int f = 0; f < kFrames; ++f) {
    netplay::NetKeys keys = HostKeys(f);
    keys.escReleased = f == kFrames - 1;
    ScreenClear(170, 200, 255);
    p.host.roundTripMs = f < 30 ? -1 : 40 + f % 7;  // as the connection measures it
    p.HostMatchFrame(Effects(), keys);
    host::HostReplayFrame(p.host, keys, p.nowMs);
    for (const game::ReplayClientInput& c : p.host.clientInputs) clientShots += c.fire ? 1 : 0;
    ScreenFlip();
    played.push_back(Line(f, p.host));
    // The client's step without its drawing: in one process it would turn
    // the same plane pictures that the host's frames draw.
    p.client.bytesThisFrame = p.bytesToClient;
    p.bytesToClient = 0;
    std::vector<join::JoinAction> actions;
    join::JoinMatchStep(p.client, ClientKeys(f), Effects(), actions);
    p.ClientApply(actions);
    p.nowMs += 16;
  }
  ASSERT_GT(clientShots, 5) << "the client's shots are part of the match";
  ASSERT_LT(p.host.match.planes[1].energy, 100) << "and hit";

  std::vector<std::string> files;
  for (const auto& e : std::filesystem::directory_iterator(dir_ + "/skirmora/replays")) {
    files.push_back(e.path().string());
  }
  ASSERT_EQ(files.size(), 1u);
  EXPECT_NE(files[0].find("-host.replay"), std::string::npos);
  game::Replay replay;
  std::string error;
  EXPECT_FALSE(game::ReplayLoad(files[0], game::ReplayKind::Local, &replay, &error));
  EXPECT_EQ(error, "is a replay of a network match: play it with skirmora-host --replay");
  ASSERT_TRUE(game::ReplayLoad(files[0], game::ReplayKind::Host, &replay, &error)) << error;
  EXPECT_TRUE(replay.complete);
  ASSERT_EQ(replay.frames.size(), static_cast<size_t>(kFrames));

  // A fresh program shows it.
  NetMatchMedia::TearDown();
  NetMatchMedia::SetUp();
  host::HostSession s;
  host::HostReplayStart(s, replay);
  EXPECT_EQ(s.playerName, "Anna");
  EXPECT_EQ(s.opponentName, "Ben");
  for (int f = 0; f < kFrames; ++f) {
    host::HostReplayShowFrame(s, replay.frames[static_cast<size_t>(f)], Effects());
    ScreenFlip();
    ASSERT_EQ(Line(f, s), played[static_cast<size_t>(f)]) << "first difference at frame " << f;
  }
}

}  // namespace
