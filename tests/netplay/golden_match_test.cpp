// Golden replay of a scripted network match: the lobby handshake, then both
// sides' scripted keys frame by frame. Every wire message of both sides and a
// line of each side's state per frame make a text transcript, compared line
// by line with the one kept next to this test, so that a failure names the
// first frame that differs. SKIRMORA_UPDATE_GOLDEN=1 writes the transcript anew.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "match_fixture.h"
#include "pair.h"

namespace {

const char kGoldenPath[] = SKIRMORA_SOURCE_DIR "/tests/netplay/network_match.golden";
constexpr int kMatchFrames = 600;

bool Within(int frame, int from, int to) {
  return frame >= from && frame < to;
}

// The host player circles left for a while, later right, firing in bursts.
netplay::NetKeys HostKeys(int f) {
  netplay::NetKeys k;
  k.leftHeld = Within(f, 20, 140) || Within(f, 400, 430);
  k.rightHeld = Within(f, 260, 330);
  k.spaceHeld = f % 24 < 3;
  k.spaceReleased = f % 24 == 3;
  k.escReleased = false;
  return k;
}

// The client player turns right early, then left, and fires more often.
netplay::NetKeys ClientKeys(int f) {
  netplay::NetKeys k;
  k.rightHeld = Within(f, 5, 95) || Within(f, 500, 560);
  k.leftHeld = Within(f, 150, 260);
  k.spaceHeld = f % 17 < 2;
  k.spaceReleased = f % 17 == 2;
  return k;
}

std::string Number(float v) {
  char text[32];
  std::snprintf(text, sizeof text, "%.9g", static_cast<double>(v));
  return text;
}

std::string Plane(const game::PlaneState& p) {
  return Number(p.x) + "," + Number(p.y) + " h" + Number(p.heading) + " e" +
         std::to_string(p.energy) + " i" + std::to_string(p.frameImage);
}

std::string Side(const netplay::NetMatch& m, int32_t bytes, int32_t roundTripMs) {
  return "red " + Plane(m.planes[0]) + " blue " + Plane(m.planes[1]) + " shots " +
         std::to_string(ListCount(m.shots)) + " blasts " + std::to_string(ListCount(m.blasts)) +
         " pak " + std::to_string(bytes) + " " + netplay::PingText(roundTripMs);
}

std::string Joined(const std::vector<std::string>& messages) {
  std::string out;
  for (const std::string& m : messages) out += m;
  return out.empty() ? "-" : out;
}

std::vector<std::string> ReadLines(const std::string& path) {
  std::vector<std::string> lines;
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

class GoldenNetworkMatch : public NetMatchMedia {};

TEST_F(GoldenNetworkMatch, ScriptedMatchKeepsItsTranscript) {
  pairtest::Pair p;
  std::vector<std::string> transcript;
  p.ClientBegin();
  for (int f = 0; f < 4; ++f) {
    netplay::NetKeys hostKeys;
    hostKeys.enterReleased = f == 3;
    netplay::NetKeys clientKeys;
    clientKeys.enterReleased = f == 2;
    const size_t toClient = p.toClient.size();
    const size_t toHost = p.toHost.size();
    p.LobbyFrame(hostKeys, clientKeys);
    transcript.push_back(
        "lobby " + std::to_string(f) + " host>" +
        Joined({p.toClient.begin() + static_cast<std::ptrdiff_t>(toClient), p.toClient.end()}) +
        " client>" +
        Joined({p.toHost.begin() + static_cast<std::ptrdiff_t>(toHost), p.toHost.end()}));
  }
  ASSERT_EQ(p.host.lobbyResult, host::kLobbyStartMatch);
  ASSERT_EQ(p.client.lobbyResult, join::kLobbyStartMatch);
  p.MatchBegin();
  int hits = 0;
  for (int f = 0; f < kMatchFrames; ++f) {
    p.MatchFrame(Effects(), HostKeys(f), ClientKeys(f));
    char frame[16];
    std::snprintf(frame, sizeof frame, "%04d", f);
    transcript.push_back(std::string(frame) + " host>" + Joined(p.hostSentThisFrame) + " client>" +
                         Joined(p.clientSentThisFrame));
    transcript.push_back(std::string(frame) + " H " +
                         Side(p.host.match, p.host.bytesThisFrame, p.host.roundTripMs));
    transcript.push_back(
        std::string(frame) + " C " +
        Side(p.client.match, p.client.bytesThisFrame, join::JoinRoundTripMs(p.client)));
    hits = 200 - p.host.match.planes[0].energy - p.host.match.planes[1].energy;
  }
  // The script is worth keeping only if shots hit on the way.
  EXPECT_GT(hits, 0);

  if (std::getenv("SKIRMORA_UPDATE_GOLDEN") != nullptr) {
    std::ofstream out(kGoldenPath);
    for (const std::string& line : transcript) out << line << '\n';
    GTEST_SKIP() << "transcript written to " << kGoldenPath;
  }
  const std::vector<std::string> golden = ReadLines(kGoldenPath);
  ASSERT_FALSE(golden.empty()) << "no transcript at " << kGoldenPath;
  for (size_t i = 0; i < transcript.size() && i < golden.size(); ++i) {
    ASSERT_EQ(transcript[i], golden[i]) << "first difference at transcript line " << i + 1;
  }
  EXPECT_EQ(transcript.size(), golden.size());
}

}  // namespace
