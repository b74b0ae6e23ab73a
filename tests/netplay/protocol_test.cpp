// The wire texts, byte for byte, and how received messages are read back.
#include "netplay/protocol.h"

#include <gtest/gtest.h>

#include "game/rules.h"

namespace netplay {
namespace {

TEST(Protocol, LobbyMessagesAreByteExact) {
  EXPECT_EQ(WelcomeMessage("Anna"), "Welcome:SK:11:Anna#");
  EXPECT_EQ(NameMessage("Ben"), "name:Ben#");
  EXPECT_EQ(ClientReadyMessage("Ben"), "ready:Ben#");
  EXPECT_EQ(StartMessage("Anna"), "ready:Anna#");
  EXPECT_EQ(CloseMessage(), "close:#");
  // An empty name leaves its field empty; nothing else changes.
  EXPECT_EQ(WelcomeMessage(""), "Welcome:SK:11:#");
  EXPECT_EQ(NameMessage(""), "name:#");
  EXPECT_EQ(ClientReadyMessage(""), "ready:#");
  // Names are single-byte text and go out as they are.
  EXPECT_EQ(NameMessage("J\xFCrgen"), "name:J\xFCrgen#");
}

TEST(Protocol, PlaneStateOfTheFirstMatchFrame) {
  game::PlaneState red;
  game::PlaneState blue;
  game::PlaneReset(red, 0);
  game::PlaneReset(blue, 1);
  red.speed = 2.0f;
  blue.speed = 2.0f;
  game::MovePlane(red);
  game::MovePlane(blue);
  EXPECT_EQ(PlaneStateMessage(red, blue, false), "plane:180.000000:598:150:152:400:#");
  EXPECT_EQ(PlaneStateMessage(red, blue, true), "plane:180.000000:598:150:152:400:fire:#");
}

TEST(Protocol, PlaneStateRoundsPositionsHalvesToEven) {
  game::PlaneState red;
  game::PlaneState blue;
  red.heading = 359.0f;
  red.x = 2.5f;
  red.y = -31.5f;
  blue.x = 831.5f;
  blue.y = 3.49f;
  EXPECT_EQ(PlaneStateMessage(red, blue, false), "plane:359.000000:2:-32:832:3:#");
}

TEST(Protocol, HeadingMessages) {
  EXPECT_EQ(HeadingMessage(0.0f, false), "winkel:0.000000:#");
  EXPECT_EQ(HeadingMessage(360.0f, false), "winkel:360.000000:#");
  EXPECT_EQ(HeadingMessage(90.0f, true), "winkel:90.000000:fire:#");
}

TEST(Protocol, WelcomeVersionsAndTag) {
  EXPECT_EQ(WelcomeCheck("Welcome:SK:11:Anna"), WelcomeVerdict::Accepted);
  EXPECT_EQ(WelcomeHostName("Welcome:SK:11:Anna"), "Anna");
  EXPECT_EQ(WelcomeCheck("Welcome:SK:12:Anna"), WelcomeVerdict::HostNewer);
  EXPECT_EQ(WelcomeCheck("Welcome:SK:10:Anna"), WelcomeVerdict::HostOlder);
  // The version is read as a number: leading blanks and a sign are allowed,
  // anything after the digits is not looked at.
  EXPECT_EQ(WelcomeCheck("Welcome:SK: +11.5:Anna"), WelcomeVerdict::Accepted);
  EXPECT_EQ(WelcomeCheck("Welcome:SK::Anna"), WelcomeVerdict::HostOlder);
  EXPECT_EQ(WelcomeCheck("Welcome:XK:11:Anna"), WelcomeVerdict::NotWelcome);
  EXPECT_EQ(WelcomeCheck("welcome:SK:11:Anna"), WelcomeVerdict::NotWelcome);
  EXPECT_EQ(WelcomeCheck("Welcome:sk:11:Anna"), WelcomeVerdict::NotWelcome);
  EXPECT_EQ(WelcomeCheck("Welcome"), WelcomeVerdict::NotWelcome);
  EXPECT_EQ(WelcomeCheck(""), WelcomeVerdict::NotWelcome);
}

TEST(Protocol, FieldsAndNumbers) {
  // A name with ":" ends at it on the receiving side.
  EXPECT_EQ(MessageField("name:Be:n", 2), "Be");
  EXPECT_EQ(MessageField("close:", 2), "");
  EXPECT_EQ(MessageField("close:", 3), "");
  EXPECT_EQ(MessageNumber("winkel:359.000000:", 2), 359);
  EXPECT_EQ(MessageNumber("plane:1:-32", 3), -32);
  EXPECT_EQ(MessageNumber("plane:1:", 3), 0);
}

TEST(Protocol, PlaneStateReadBack) {
  PlaneStateFields f = ReadPlaneState("plane:179.000000:598:-32:152:632:fire:");
  EXPECT_TRUE(f.isPlaneState);
  EXPECT_EQ(f.hostHeading, 179.0f);
  EXPECT_EQ(f.hostX, 598.0f);
  EXPECT_EQ(f.hostY, -32.0f);
  EXPECT_EQ(f.clientX, 152.0f);
  EXPECT_EQ(f.clientY, 632.0f);
  EXPECT_TRUE(f.fire);

  // Missing fields read as 0.
  f = ReadPlaneState("plane:90.000000:17");
  EXPECT_TRUE(f.isPlaneState);
  EXPECT_EQ(f.hostHeading, 90.0f);
  EXPECT_EQ(f.hostX, 17.0f);
  EXPECT_EQ(f.hostY, 0.0f);
  EXPECT_EQ(f.clientX, 0.0f);
  EXPECT_EQ(f.clientY, 0.0f);
  EXPECT_FALSE(f.fire);

  // A message cut at its start is no plane state, but its seventh field
  // still announces a shot.
  f = ReadPlaneState("ane:180.000000:598:150:152:400:fire:");
  EXPECT_FALSE(f.isPlaneState);
  EXPECT_TRUE(f.fire);
  EXPECT_EQ(f.hostX, 0.0f);
}

TEST(Protocol, HeadingReadBack) {
  HeadingFields f = ReadHeading("winkel:271.000000:fire:");
  EXPECT_TRUE(f.isHeading);
  EXPECT_EQ(f.heading, 271.0f);
  EXPECT_TRUE(f.fire);
  f = ReadHeading("winkel:-5.000000:");
  EXPECT_EQ(f.heading, -5.0f);
  EXPECT_FALSE(f.fire);
  f = ReadHeading("kel:90.000000:fire:");
  EXPECT_FALSE(f.isHeading);
  EXPECT_TRUE(f.fire);
  EXPECT_FALSE(ReadHeading("Winkel:90.000000:").isHeading);
}

}  // namespace
}  // namespace netplay
