// Real keys through a real window: an SDL2 window on the X display gets the
// keyboard focus, xdotool presses and lets go of the keys the programs use,
// and KeyDown and KeyReleased see them under their scan codes. Skips without
// a display or without xdotool.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

#include "media/keyboard.h"
#include "platform/headless.h"
#include "platform/platform.h"
#include "tests/support/command.h"

namespace {

using command::Output;

bool HaveTool(const char* name) {
  const std::string probe = std::string("command -v ") + name + " >/dev/null 2>&1";
  return std::system(probe.c_str()) == 0;
}

std::string Trimmed(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  return text;
}

// Polls the keyboard once every 5 ms until the condition holds (up to 5 s).
bool PollUntil(const std::function<bool()>& condition) {
  for (int i = 0; i < 1000; ++i) {
    KeyboardPoll();
    if (condition()) return true;
    platform::Current().SleepMs(5);
  }
  return false;
}

class KeyboardXvfbTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "no X display";
    if (!HaveTool("xdotool")) GTEST_SKIP() << "xdotool is missing";
    ASSERT_TRUE(platform::UseSdl());
    platform::WindowSpec spec;
    static int windows = 0;
    spec.title = "keyboard probe " + std::to_string(getpid()) + "-" + std::to_string(++windows);
    spec.centered = true;
    spec.width = 320;
    spec.height = 200;
    window_ = platform::Current().WindowCreate(spec);
    ASSERT_NE(window_, 0);
    KeyboardStart();
    ASSERT_EQ(KeyboardInit(), 1);
    // Wait (bounded) for the window to show up on the display; polling
    // meanwhile lets SDL handle the window's events.
    for (int i = 0; i < 200 && xid_.empty(); ++i) {
      xid_ = Trimmed(Output("timeout 10 xdotool search --name '^" + spec.title +
                            "$' 2>/dev/null | head -n 1"));
      if (xid_.empty()) {
        KeyboardPoll();
        platform::Current().SleepMs(50);
      }
    }
    ASSERT_FALSE(xid_.empty()) << "the window never appeared";
    Focus();
    ASSERT_TRUE(PollUntil([] { return KeyboardPoll() == 1; })) << "the window never got the focus";
  }

  void TearDown() override {
    KeyboardEnd();
    platform::UseHeadless();  // closes the window and SDL
  }

  void Focus() { Xdo("windowfocus " + xid_); }

  void Xdo(const std::string& args) {
    const std::string command = "timeout 10 xdotool " + args + " >/dev/null 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
  }

  // Presses a key, sees it held, lets it go and sees the release once.
  void PressAndRelease(const std::string& keysym, int code) {
    SCOPED_TRACE(keysym);
    Focus();
    Xdo("keydown " + keysym);
    EXPECT_TRUE(PollUntil([&] { return KeyDown(code) == 0x80; }));
    EXPECT_EQ(KeyReleased(code), 0);
    Xdo("keyup " + keysym);
    EXPECT_TRUE(PollUntil([&] { return KeyReleased(code) == 1; }));
    EXPECT_EQ(KeyDown(code), 0);
    EXPECT_EQ(KeyReleased(code), 0);
  }

  int window_ = 0;
  std::string xid_;
};

TEST_F(KeyboardXvfbTest, KeysUsedByTheProgramsArriveUnderTheirScanCodes) {
  PressAndRelease("Escape", 1);
  PressAndRelease("Return", 28);
  PressAndRelease("Control_L", 29);
  PressAndRelease("a", 30);
  PressAndRelease("d", 32);
  PressAndRelease("space", 57);
  PressAndRelease("Control_R", 157);
  PressAndRelease("Up", 200);
  PressAndRelease("Left", 203);
  PressAndRelease("Right", 205);
  PressAndRelease("Down", 208);
}

TEST_F(KeyboardXvfbTest, TwoPlayersHoldKeysAtOnceAndKeypadEnterIsNotReturn) {
  Focus();
  Xdo("keydown a keydown Right");
  EXPECT_TRUE(PollUntil([] { return KeyDown(30) != 0 && KeyDown(205) != 0; }));
  Xdo("keyup a keyup Right");
  EXPECT_TRUE(PollUntil([] { return KeyDown(-1) == 0; }));

  Xdo("keydown KP_Enter");
  EXPECT_TRUE(PollUntil([] { return KeyDown(156) != 0; }));
  EXPECT_EQ(KeyDown(28), 0);
  Xdo("keyup KP_Enter");
  EXPECT_TRUE(PollUntil([] { return KeyDown(156) == 0; }));
}

// While another window has the focus the polls fail and every key counts as
// let go at once, with its one release, even while it is still held; the
// key let go meanwhile stays up when the focus comes back.
TEST_F(KeyboardXvfbTest, FocusLossLetsGoOfEveryKeyAtOnce) {
  const std::string root =
      Trimmed(Output("timeout 10 xdotool search --maxdepth 0 --name '' | head -n 1"));
  ASSERT_FALSE(root.empty());

  Focus();
  Xdo("keydown Left");
  ASSERT_TRUE(PollUntil([] { return KeyDown(203) != 0; }));
  EXPECT_EQ(KeyReleased(203), 0);

  Xdo("windowfocus " + root);
  bool failed = false;
  for (int i = 0; i < 1000 && !failed; ++i) {
    failed = KeyboardPoll() == 0;
    if (!failed) platform::Current().SleepMs(5);
  }
  ASSERT_TRUE(failed) << "polls kept working without the focus";
  EXPECT_EQ(KeyDown(203), 0) << "the held key counts as let go";
  EXPECT_EQ(KeyDown(-1), 0);
  EXPECT_EQ(KeyReleased(203), 1);
  EXPECT_EQ(KeyReleased(203), 0);
  Xdo("keyup Left");
  EXPECT_EQ(KeyboardPoll(), 0);
  EXPECT_EQ(KeyDown(203), 0);

  Focus();
  EXPECT_TRUE(PollUntil([] { return KeyboardPoll() == 1; }));
  EXPECT_EQ(KeyDown(203), 0);
  EXPECT_EQ(KeyReleased(203), 0);
  EXPECT_EQ(KeyDown(-1), 0);
}

}  // namespace
