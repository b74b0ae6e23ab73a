#include "media/keyboard.h"

#include <gtest/gtest.h>

#include "platform/headless.h"
#include "platform/keymap.h"

namespace {

using platform::ScanFromSdl;

class KeyboardTest : public ::testing::Test {
 protected:
  void SetUp() override {
    twin_ = &platform::UseHeadless();
    KeyboardStart();
    ASSERT_EQ(KeyboardInit(), 1);
  }
  void TearDown() override { KeyboardEnd(); }

  // One frame: set the keys, then poll.
  void Frame(std::initializer_list<int> down) {
    twin_->ReleaseAllKeys();
    for (int k : down) twin_->SetKey(k, true);
    ASSERT_EQ(KeyboardPoll(), 1);
  }

  platform::HeadlessPlatform* twin_ = nullptr;
};

TEST_F(KeyboardTest, HeldKeyReadsAs0x80AndAnyKeySkipsCode255) {
  Frame({platform::kScanA});
  EXPECT_EQ(KeyDown(platform::kScanA), 0x80);
  EXPECT_EQ(KeyDown(platform::kScanD), 0);
  EXPECT_EQ(KeyDown(-1), 1);

  Frame({255});
  EXPECT_EQ(KeyDown(255), 0x80);
  EXPECT_EQ(KeyDown(-1), 0);
  EXPECT_EQ(KeyReleased(255), 0);  // seen down
  Frame({});
  EXPECT_EQ(KeyReleased(-1), 0);  // code 255 is not part of "any key"
  EXPECT_EQ(KeyReleased(255), 1);

  // Codes outside 0..255 (other than -1) are no key at all.
  EXPECT_EQ(KeyDown(256), 0);
  EXPECT_EQ(KeyDown(-2), 0);
  EXPECT_EQ(KeyReleased(1000), 0);
}

TEST_F(KeyboardTest, ReleaseIsReportedExactlyOnceAfterBeingSeenDown) {
  const int esc = platform::kScanEscape;
  Frame({esc});
  EXPECT_EQ(KeyReleased(esc), 0);
  Frame({esc});
  EXPECT_EQ(KeyReleased(esc), 0);
  Frame({});
  EXPECT_EQ(KeyReleased(esc), 1);
  EXPECT_EQ(KeyReleased(esc), 0);  // second question in the same frame
  Frame({});
  EXPECT_EQ(KeyReleased(esc), 0);

  // Asked only after the release: the key was never seen down.
  Frame({esc});
  Frame({});
  EXPECT_EQ(KeyReleased(esc), 0);
}

TEST_F(KeyboardTest, AnyKeyReleaseConsumesEveryPendingRelease) {
  Frame({platform::kScanUp, platform::kScanReturn});
  EXPECT_EQ(KeyReleased(-1), 0);  // marks both as seen down
  Frame({});
  EXPECT_EQ(KeyReleased(-1), 1);
  EXPECT_EQ(KeyReleased(platform::kScanUp), 0);
  EXPECT_EQ(KeyReleased(platform::kScanReturn), 0);
  EXPECT_EQ(KeyReleased(-1), 0);

  // Only one of two keys let go: -1 reports it, the held one stays pending.
  Frame({platform::kScanLeft, platform::kScanRight});
  EXPECT_EQ(KeyReleased(-1), 0);
  Frame({platform::kScanRight});
  EXPECT_EQ(KeyReleased(-1), 1);
  Frame({});
  EXPECT_EQ(KeyReleased(platform::kScanRight), 1);
  EXPECT_EQ(KeyReleased(platform::kScanLeft), 0);
}

TEST_F(KeyboardTest, PressAndReleaseBetweenPollsIsNotSeen) {
  Frame({});
  EXPECT_EQ(KeyReleased(-1), 0);
  twin_->SetKey(platform::kScanSpace, true);
  twin_->SetKey(platform::kScanSpace, false);
  ASSERT_EQ(KeyboardPoll(), 1);
  EXPECT_EQ(KeyDown(platform::kScanSpace), 0);
  EXPECT_EQ(KeyReleased(platform::kScanSpace), 0);
  EXPECT_EQ(KeyReleased(-1), 0);
}

// Without the focus nothing is held: a key held when the focus went counts
// as let go at once (with its one release), even while it is still down.
TEST_F(KeyboardTest, FailedPollLetsGoOfEveryKey) {
  Frame({platform::kScanLeftCtrl, platform::kScanLeft});
  EXPECT_EQ(KeyReleased(platform::kScanLeftCtrl), 0);

  twin_->SetKeyboardFocus(false);
  twin_->SetKey(platform::kScanD, true);
  EXPECT_EQ(KeyboardPoll(), 0);
  EXPECT_EQ(KeyDown(platform::kScanLeftCtrl), 0);
  EXPECT_EQ(KeyDown(platform::kScanLeft), 0);
  EXPECT_EQ(KeyDown(-1), 0);
  EXPECT_EQ(KeyDown(platform::kScanD), 0);
  EXPECT_EQ(KeyReleased(platform::kScanLeftCtrl), 1);
  EXPECT_EQ(KeyReleased(platform::kScanLeftCtrl), 0);
  EXPECT_EQ(KeyboardPoll(), 0);
  EXPECT_EQ(KeyDown(-1), 0);

  // Keys still held when the focus comes back read as held again.
  twin_->SetKeyboardFocus(true);
  EXPECT_EQ(KeyboardPoll(), 1);
  EXPECT_EQ(KeyDown(platform::kScanLeftCtrl), 0x80);
  EXPECT_EQ(KeyDown(platform::kScanD), 0x80);
  EXPECT_EQ(KeyReleased(platform::kScanLeftCtrl), 0);
}

TEST_F(KeyboardTest, WithoutDeviceEveryPollFailsAndKeysReadUp) {
  KeyboardEnd();
  twin_->SetKey(platform::kScanA, true);
  EXPECT_EQ(KeyboardPoll(), 0);
  EXPECT_EQ(KeyDown(platform::kScanA), 0);
  EXPECT_EQ(KeyDown(-1), 0);
  EXPECT_EQ(MouseInit(), 1);
  MouseEnd();
}

// The platform turns the keyboard's USB usage codes into the set-1 codes the
// programs ask for; keypad Enter is an extended key of its own.
TEST(KeyMapTest, KeysUsedByTheProgramsMapToTheirCodes) {
  struct Case {
    int usb;
    int code;
  };
  const Case cases[] = {
      {41, 1},     // Escape
      {40, 28},    // Return
      {224, 29},   // left Ctrl
      {4, 30},     // A
      {7, 32},     // D
      {44, 57},    // Space
      {228, 157},  // right Ctrl
      {82, 200},   // cursor up
      {80, 203},   // cursor left
      {79, 205},   // cursor right
      {81, 208},   // cursor down
      {88, 156},   // keypad Enter
  };
  for (const Case& c : cases) EXPECT_EQ(ScanFromSdl(c.usb), c.code) << "usage " << c.usb;
  EXPECT_NE(ScanFromSdl(88), ScanFromSdl(40));
  EXPECT_EQ(ScanFromSdl(-1), 0);
  EXPECT_EQ(ScanFromSdl(100000), 0);
}

}  // namespace
