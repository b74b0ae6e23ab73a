// Game controllers seen through the key sample: the keys each one holds in
// each layout, the dead zone, hot-plugging and the keyboard beside them.
#include <gtest/gtest.h>

#include <set>

#include "media/keyboard.h"
#include "platform/headless.h"
#include "platform/keymap.h"

namespace {

namespace pf = platform;
using Keys = std::set<int>;

class ControllerKeysTest : public ::testing::Test {
 protected:
  void SetUp() override {
    twin_ = &pf::UseHeadless();
    KeyboardStart();
    ASSERT_EQ(KeyboardInit(), 1);
  }
  void TearDown() override { KeyboardEnd(); }

  // Polls and returns every key that reads as down.
  Keys Held() {
    EXPECT_EQ(KeyboardPoll(), 1);
    Keys held;
    for (int code = 0; code < 256; ++code) {
      if (KeyDown(code) != 0) held.insert(code);
    }
    return held;
  }

  // The keys held while one button is held or one axis stands at a value.
  Keys WithButton(int pad, uint32_t button) {
    twin_->ControllerSetButton(pad, button, true);
    Keys held = Held();
    twin_->ControllerSetButton(pad, button, false);
    return held;
  }
  Keys WithAxis(int pad, int axis, int16_t value) {
    twin_->ControllerSetAxis(pad, axis, value);
    Keys held = Held();
    twin_->ControllerSetAxis(pad, axis, 0);
    return held;
  }

  pf::HeadlessPlatform* twin_ = nullptr;
};

TEST_F(ControllerKeysTest, LocalLayoutFirstControllerPlaysRedSecondBlueOthersNothing) {
  const int pads[] = {twin_->ControllerPlugIn(), twin_->ControllerPlugIn(),
                      twin_->ControllerPlugIn()};
  const Keys left[] = {{pf::kScanLeft}, {pf::kScanA}, {}};
  const Keys right[] = {{pf::kScanRight}, {pf::kScanD}, {}};
  const Keys fire[] = {{pf::kScanRightCtrl}, {pf::kScanLeftCtrl}, {}};
  const Keys south[] = {
      {pf::kScanRightCtrl, pf::kScanReturn}, {pf::kScanLeftCtrl, pf::kScanReturn}, {}};
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    const int pad = pads[i];
    EXPECT_EQ(WithButton(pad, pf::kPadLeft), left[i]);
    EXPECT_EQ(WithButton(pad, pf::kPadRight), right[i]);
    // The stick and the trigger count beyond 8000 only.
    EXPECT_EQ(WithAxis(pad, pf::kAxisLeftX, -8001), left[i]);
    EXPECT_EQ(WithAxis(pad, pf::kAxisLeftX, 32767), right[i]);
    EXPECT_EQ(WithAxis(pad, pf::kAxisLeftX, -8000), Keys{});
    EXPECT_EQ(WithAxis(pad, pf::kAxisLeftY, 8000), Keys{});
    EXPECT_EQ(WithAxis(pad, pf::kAxisRightTrigger, 8000), Keys{});
    EXPECT_EQ(WithAxis(pad, pf::kAxisRightTrigger, 8001), fire[i]);
    EXPECT_EQ(WithAxis(pad, pf::kAxisLeftTrigger, 32767), Keys{});
    EXPECT_EQ(WithButton(pad, pf::kPadSouth), south[i]);
    // Return, Esc and cursor up and down are the same for both players.
    auto ifPlaying = [i](Keys keys) { return i < 2 ? keys : Keys{}; };
    EXPECT_EQ(WithButton(pad, pf::kPadStart), ifPlaying({pf::kScanReturn}));
    EXPECT_EQ(WithButton(pad, pf::kPadBack), ifPlaying({pf::kScanEscape}));
    EXPECT_EQ(WithButton(pad, pf::kPadEast), ifPlaying({pf::kScanEscape}));
    EXPECT_EQ(WithAxis(pad, pf::kAxisLeftY, -8001), ifPlaying({pf::kScanUp}));
    EXPECT_EQ(WithButton(pad, pf::kPadDown), ifPlaying({pf::kScanDown}));
    EXPECT_EQ(WithAxis(pad, pf::kAxisLeftY, 8001), ifPlaying({pf::kScanDown}));
    EXPECT_EQ(WithButton(pad, pf::kPadNorth), Keys{});
  }
}

TEST_F(ControllerKeysTest, PullingOutReleasesItsKeysAndTheNextOneTakesTheFreeSlot) {
  const int red = twin_->ControllerPlugIn();
  const int blue = twin_->ControllerPlugIn();
  twin_->ControllerSetButton(red, pf::kPadSouth, true);
  twin_->ControllerSetButton(blue, pf::kPadRight, true);
  EXPECT_EQ(Held(), (Keys{pf::kScanRightCtrl, pf::kScanReturn, pf::kScanD}));
  EXPECT_EQ(KeyReleased(-1), 0);  // every held key seen down
  twin_->ControllerPullOut(red);
  EXPECT_EQ(Held(), Keys{pf::kScanD});
  EXPECT_EQ(KeyReleased(pf::kScanRightCtrl), 1);
  EXPECT_EQ(KeyReleased(pf::kScanReturn), 1);

  // The next one flies red; blue keeps its place.
  const int next = twin_->ControllerPlugIn();
  EXPECT_EQ(Held(), Keys{pf::kScanD}) << "a new controller holds nothing";
  EXPECT_EQ(WithButton(next, pf::kPadLeft), (Keys{pf::kScanLeft, pf::kScanD}));
}

TEST_F(ControllerKeysTest, NetworkLayoutEveryControllerTurnsWithCursorKeysAndFiresWithSpace) {
  KeyboardControllerLayout(kControllerLayoutNetwork);
  KeyboardControllerLayout(7);  // no such layout: ignored
  const int pads[] = {twin_->ControllerPlugIn(), twin_->ControllerPlugIn(),
                      twin_->ControllerPlugIn()};
  for (int pad : pads) {
    EXPECT_EQ(WithButton(pad, pf::kPadLeft), Keys{pf::kScanLeft}) << pad;
    EXPECT_EQ(WithAxis(pad, pf::kAxisLeftX, 20000), Keys{pf::kScanRight}) << pad;
    EXPECT_EQ(WithButton(pad, pf::kPadSouth), (Keys{pf::kScanSpace, pf::kScanReturn})) << pad;
    EXPECT_EQ(WithAxis(pad, pf::kAxisRightTrigger, 32767), Keys{pf::kScanSpace}) << pad;
  }
  // A program start goes back to the local layout.
  KeyboardStart();
  ASSERT_EQ(KeyboardInit(), 1);
  EXPECT_EQ(WithButton(pads[1], pf::kPadLeft), Keys{pf::kScanA});
}

// A key reads as down while the keyboard or a controller holds it; without
// the focus the polls fail for both alike.
TEST_F(ControllerKeysTest, KeyboardAndControllerTogether) {
  const int red = twin_->ControllerPlugIn();
  twin_->SetKey(pf::kScanLeft, true);
  twin_->SetKey(pf::kScanA, true);
  twin_->ControllerSetButton(red, pf::kPadLeft, true);
  EXPECT_EQ(Held(), (Keys{pf::kScanA, pf::kScanLeft}));
  EXPECT_EQ(KeyReleased(pf::kScanLeft), 0);
  twin_->SetKey(pf::kScanLeft, false);
  EXPECT_EQ(Held(), (Keys{pf::kScanA, pf::kScanLeft}));
  EXPECT_EQ(KeyReleased(pf::kScanLeft), 0);

  // A button held when the focus goes counts as let go at once.
  twin_->SetKeyboardFocus(false);
  EXPECT_EQ(KeyboardPoll(), 0);
  EXPECT_EQ(KeyDown(pf::kScanLeft), 0) << "nothing stays held without the focus";
  EXPECT_EQ(KeyDown(pf::kScanA), 0);
  EXPECT_EQ(KeyReleased(pf::kScanLeft), 1);
  twin_->ControllerSetButton(red, pf::kPadLeft, false);
  twin_->ControllerSetButton(red, pf::kPadRight, true);
  EXPECT_EQ(KeyboardPoll(), 0);
  EXPECT_EQ(KeyDown(pf::kScanRight), 0);
  twin_->SetKeyboardFocus(true);
  EXPECT_EQ(Held(), (Keys{pf::kScanA, pf::kScanRight}));
  EXPECT_EQ(KeyReleased(pf::kScanLeft), 0);
}

// Players who chose keys of their own find them on their controllers too.
TEST_F(ControllerKeysTest, ControllersHoldTheKeysThePlayersChose) {
  KeyboardControllerKeys(kControllerLayoutLocal, 1, pf::kScanJ, pf::kScanL, pf::kScanSpace);
  KeyboardControllerKeys(kControllerLayoutLocal, 2, pf::kScanQ, pf::kScanW, pf::kScanE);  // none
  const int red = twin_->ControllerPlugIn();
  const int blue = twin_->ControllerPlugIn();
  twin_->ControllerSetButton(red, pf::kPadLeft, true);
  twin_->ControllerSetButton(blue, pf::kPadRight, true);
  twin_->ControllerSetButton(blue, pf::kPadSouth, true);
  EXPECT_EQ(Held(), (Keys{pf::kScanReturn, pf::kScanL, pf::kScanSpace, pf::kScanLeft}));
  KeyboardControllerLayout(kControllerLayoutNetwork);
  KeyboardControllerKeys(kControllerLayoutNetwork, 0, pf::kScanZ, pf::kScanX, pf::kScanC);
  EXPECT_EQ(Held(), (Keys{pf::kScanReturn, pf::kScanZ, pf::kScanX, pf::kScanC}));
  KeyboardStart();  // back to today's keys
  KeyboardInit();
  EXPECT_EQ(Held(), (Keys{pf::kScanReturn, pf::kScanLeftCtrl, pf::kScanLeft, pf::kScanD}));
}

}  // namespace
