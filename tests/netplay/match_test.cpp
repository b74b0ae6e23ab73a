// The host's and the client's match steps, joined frame by frame.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "game/records.h"
#include "match_fixture.h"
#include "media/display.h"
#include "pair.h"
#include "platform/font.h"

namespace {

using Lines = std::vector<std::string>;

netplay::NetKeys Held(bool left, bool right, bool space) {
  netplay::NetKeys k;
  k.leftHeld = left;
  k.rightHeld = right;
  k.spaceHeld = space;
  return k;
}

netplay::NetKeys SpaceReleased() {
  netplay::NetKeys k;
  k.spaceReleased = true;
  return k;
}

int32_t CountShots(ListHandle<game::ShotItem>& shots, float owner) {
  int32_t n = 0;
  for (auto* e = shots.first; e != nullptr; e = e->next) n += e->payload.owner == owner ? 1 : 0;
  return n;
}

class NetMatch : public NetMatchMedia {
 protected:
  void SetUp() override {
    NetMatchMedia::SetUp();
    p.PlayLobby();
    ASSERT_EQ(p.host.lobbyResult, host::kLobbyStartMatch);
    ASSERT_EQ(p.client.lobbyResult, join::kLobbyStartMatch);
  }
  pairtest::Pair p;
};

TEST_F(NetMatch, FirstFramesWithoutInput) {
  p.MatchFrame(Effects());
  EXPECT_EQ(p.hostSentThisFrame, (Lines{"plane:180.000000:598:150:152:400:#"}));
  EXPECT_EQ(p.clientSentThisFrame, (Lines{"winkel:0.000000:#"}));
  // The client placed both planes where the host said.
  EXPECT_EQ(p.client.match.planes[0].x, 598.0f);
  EXPECT_EQ(p.client.match.planes[1].y, 400.0f);
  p.MatchFrame(Effects());
  EXPECT_EQ(p.hostSentThisFrame, (Lines{"plane:180.000000:596:150:154:400:#"}));
  EXPECT_EQ(p.clientSentThisFrame, (Lines{"winkel:0.000000:#"}));
}

TEST_F(NetMatch, ClientTurningLeftFromZeroSends360AndTheHostFollows) {
  p.MatchFrame(Effects(), {}, Held(true, false, false));
  EXPECT_EQ(p.clientSentThisFrame, (Lines{"winkel:360.000000:#"}));
  p.MatchFrame(Effects(), {}, Held(true, false, false));
  EXPECT_EQ(p.clientSentThisFrame, (Lines{"winkel:359.000000:#"}));
  // The host applies the heading the frame after it was sent.
  EXPECT_EQ(p.host.match.planes[1].heading, 360.0f);
  p.MatchFrame(Effects());
  EXPECT_EQ(p.host.match.planes[1].heading, 359.0f);
  // The blue plane turns on the client's own screen at once.
  EXPECT_EQ(p.client.match.planes[1].heading, 359.0f);
}

TEST_F(NetMatch, HoldingSpaceFiresOnceUntilLetGo) {
  for (int i = 0; i < 3; ++i) {
    p.MatchFrame(Effects(), Held(false, false, true));
    const std::string expected = i == 0 ? "fire:#" : ":#";
    ASSERT_EQ(p.hostSentThisFrame.size(), 1u);
    EXPECT_TRUE(p.hostSentThisFrame[0].ends_with(expected)) << p.hostSentThisFrame[0];
  }
  EXPECT_EQ(CountShots(p.host.match.shots, 0.0f), 1);
  // The client made its copy of the announced shot.
  EXPECT_EQ(CountShots(p.client.match.shots, 0.0f), 1);
  p.MatchFrame(Effects(), SpaceReleased());
  p.MatchFrame(Effects(), Held(false, false, true));
  EXPECT_TRUE(p.hostSentThisFrame[0].ends_with("fire:#"));
  EXPECT_EQ(CountShots(p.host.match.shots, 0.0f), 2);
}

TEST_F(NetMatch, AnnouncedShotStartsAheadOfTheRedPlaneAndIsDrawnAfterItsFirstStep) {
  pairtest::FeedText(p.client.reader, "plane:90.000000:300:200:100:100:fire:#");
  p.ClientMatchFrame(Effects());
  ASSERT_EQ(CountShots(p.client.match.shots, 0.0f), 1);
  const game::ShotItem& shot = p.client.match.shots.first->payload;
  const float r = 90.0f * game::kDegToRad;
  EXPECT_EQ(shot.heading, 90.0f);
  EXPECT_EQ(shot.x, std::cos(r) * 32.0f + 300.0f + 32.0f + std::cos(r) * 4.0f);
  EXPECT_EQ(shot.y, std::sin(r) * 32.0f + 200.0f + 32.0f + std::sin(r) * 4.0f);
  EXPECT_EQ(shot.age, 1.0f);
}

TEST_F(NetMatch, PlaneStateMissingFieldsMovesThePlanesToZero) {
  pairtest::FeedText(p.client.reader, "plane:45.000000:300#");
  p.ClientMatchFrame(Effects());
  EXPECT_EQ(p.client.match.planes[0].heading, 45.0f);
  EXPECT_EQ(p.client.match.planes[0].x, 300.0f);
  EXPECT_EQ(p.client.match.planes[0].y, 0.0f);
  EXPECT_EQ(p.client.match.planes[1].x, 0.0f);
  EXPECT_EQ(p.client.match.planes[1].y, 0.0f);
  // A message cut at its start places nothing: the red plane flies on from
  // where the last state put it.
  pairtest::FeedText(p.client.reader, "e:10.000000:1:2:3:4:x:fire:#");
  p.ClientMatchFrame(Effects());
  EXPECT_FLOAT_EQ(p.client.match.planes[0].x, 300.0f + 2.0f * std::cos(45.0f * game::kDegToRad));
}

TEST_F(NetMatch, EveryPlaneStateOfTheFrameIsAppliedInOrder) {
  pairtest::FeedText(p.client.reader,
                     "plane:90.000000:10:20:30:40:fire:#plane:91.000000:11:21:31:41:#");
  // Both arrived in one frame: they are shown one a frame, in order, and
  // each one's shot is made when it is shown.
  p.ClientMatchFrame(Effects());
  EXPECT_EQ(p.client.match.planes[0].heading, 90.0f);
  EXPECT_EQ(p.client.match.planes[1].x, 30.0f);
  EXPECT_EQ(CountShots(p.client.match.shots, 0.0f), 1);
  p.ClientMatchFrame(Effects());
  EXPECT_EQ(p.client.match.planes[0].heading, 91.0f);
  EXPECT_EQ(p.client.match.planes[1].x, 31.0f);
  EXPECT_EQ(CountShots(p.client.match.shots, 0.0f), 1);
  EXPECT_EQ(p.client.match.shots.first->payload.heading, 90.0f);
}

TEST_F(NetMatch, TwoHeadingsInOneReadAreBothApplied) {
  pairtest::FeedText(p.host.readers[pairtest::kClientConnection],
                     "winkel:90.000000:fire:#winkel:45.000000:#");
  p.HostMatchFrame(Effects());
  EXPECT_EQ(p.host.match.planes[1].heading, 45.0f);
  ASSERT_EQ(CountShots(p.host.match.shots, 1.0f), 1);
  EXPECT_EQ(p.host.match.shots.first->payload.heading, 90.0f);
}

TEST_F(NetMatch, ClientShotsKeepToSixEvenWhenAnnouncedTogether) {
  std::string burst;
  for (int i = 0; i < 8; ++i) burst += "winkel:0.000000:fire:#";
  pairtest::FeedText(p.host.readers[pairtest::kClientConnection], burst);
  p.HostMatchFrame(Effects());
  EXPECT_EQ(CountShots(p.host.match.shots, 1.0f), 6);
  // With six in the air, another announcement makes none.
  pairtest::FeedText(p.host.readers[pairtest::kClientConnection], "winkel:0.000000:fire:#");
  p.HostMatchFrame(Effects());
  EXPECT_EQ(CountShots(p.host.match.shots, 1.0f), 6);
}

TEST_F(NetMatch, PlaneHitElevenTimesShowsMinusTenAndFliesOn) {
  game::PlaneState& blue = p.host.match.planes[1];
  for (int i = 0; i < 11; ++i) {
    // A standing shot in the middle of the blue plane, one a frame.
    game::ShotItem* shot = ListAdd(p.host.match.shots);
    shot->x = blue.x + 28.0f;
    shot->y = blue.y + 28.0f;
    shot->owner = 0.0f;
    p.HostMatchFrame(Effects());
    EXPECT_EQ(blue.energy, 90 - 10 * i);
  }
  EXPECT_EQ(blue.energy, -10);
  EXPECT_EQ(ListCount(p.host.match.shots), 0);
  EXPECT_GE(ListCount(p.host.match.blasts), 1);
  const float x = blue.x;
  p.HostMatchFrame(Effects());
  EXPECT_EQ(blue.x, x + 2.0f);
  EXPECT_EQ(blue.energy, -10);
}

TEST_F(NetMatch, StrangersChangeNothingAndALostOpponentFliesStraightOn) {
  // A stranger connects and sends one byte; it gets no entry and no plane state.
  p.hostEvents.push_back({kNetEventConnect, 9});
  pairtest::FeedText(p.host.readers[9], "w");
  pairtest::FeedText(p.host.readers[pairtest::kClientConnection], "winkel:90.000000:#");
  p.MatchFrame(Effects());
  EXPECT_EQ(p.host.clients.size(), 1u);
  EXPECT_EQ(p.host.match.planes[1].heading, 90.0f);
  EXPECT_EQ(p.hostSentThisFrame.size(), 1u);
  // The client goes: its entry goes, the blue plane keeps its heading.
  p.hostEvents.push_back({kNetEventLost, pairtest::kClientConnection});
  p.host.readers.erase(pairtest::kClientConnection);
  const float y = p.host.match.planes[1].y;
  p.HostMatchFrame(Effects());
  EXPECT_TRUE(p.host.clients.empty());
  EXPECT_TRUE(p.hostSentThisFrame.empty());
  EXPECT_EQ(p.host.match.planes[1].y, y + 2.0f);
}

TEST_F(NetMatch, PlanesWrapRoundTheScreen) {
  game::PlaneState& red = p.host.match.planes[0];
  red.x = -31.0f;
  p.HostMatchFrame(Effects());
  EXPECT_EQ(red.x, 832.0f);
  EXPECT_EQ(p.hostSentThisFrame[0], "plane:180.000000:832:150:152:400:#");
}

// Both screens show the round trip below "pak: ": the host's at the left
// edge, the client's under its "pak: " at the right, moved left as far as a
// long figure needs to stay whole on the screen. Full-coverage pixels of the
// text are black, empty ones white (the text stands on white cells).
TEST_F(NetMatch, BothScreensShowTheRoundTripBelowPak) {
  auto expectText = [this](const std::string& text, int x0, int y0) {
    platform::TextBitmap bitmap;
    ASSERT_TRUE(platform::FontRender(text, 14, false, &bitmap));
    const platform::CapturedFrame* f = nullptr;
    for (const auto& [id, w] : platform_->Windows()) {
      if (w.frame.sequence > 0) f = &w.frame;
    }
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(f->layout, platform::PixelLayout::Rgb565);
    ASSERT_LE(x0 + bitmap.width, f->width) << text;
    int inked = 0;
    for (int y = 0; y < bitmap.height; ++y) {
      for (int x = 0; x < bitmap.width; ++x) {
        const uint8_t c = bitmap.coverage[static_cast<size_t>(y) * bitmap.width + x];
        if (c != 0 && c != 255) continue;
        const size_t at = (static_cast<size_t>(y0 + y) * f->width + x0 + x) * 2;
        const int pixel = f->pixels[at] | f->pixels[at + 1] << 8;
        EXPECT_EQ(pixel, c == 255 ? 0x0000 : 0xFFFF) << text << " at " << x << ", " << y;
        inked += c == 255 ? 1 : 0;
      }
    }
    EXPECT_GT(inked, 3) << text;
  };
  p.host.roundTripMs = 56;
  ScreenClear(170, 200, 255);
  host::HostMatchDraw(p.host, Effects());
  ScreenFlip();
  expectText("ping: 56", 0, 16);
  // Before a turn has shown the round trip, the client shows the transport's.
  p.client.kernelRoundTripMs = 1234;
  ScreenClear(170, 200, 255);
  join::JoinMatchDraw(p.client, Effects());
  ScreenFlip();
  platform::TextBitmap wide;
  ASSERT_TRUE(platform::FontRender("ping: 1234", 14, false, &wide));
  ASSERT_GT(740 + wide.width, 800);
  expectText("ping: 1234", 800 - wide.width, 16);
  p.client.kernelRoundTripMs = -1;
  ScreenClear(170, 200, 255);
  join::JoinMatchDraw(p.client, Effects());
  ScreenFlip();
  expectText("ping: -", 740, 16);
}

}  // namespace
