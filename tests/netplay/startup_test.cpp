// The network programs' settings (the game's file), their screen in a window
// and the keys a network frame reads.
#include "netplay/startup.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "media/display.h"
#include "platform/headless.h"
#include "platform/keymap.h"
#include "runtime/program.h"

namespace {

class NetplayStartup : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = ::testing::TempDir() + "netplay-startup/";
    std::filesystem::create_directories(dir_);
    ::setenv("XDG_CONFIG_HOME", (dir_ + "config").c_str(), 1);
    p_ = &platform::UseHeadless();
    p_->SetExecutablePath(dir_ + "skirmora-join");
    ProgramStart(netplay::NetworkProgramHooks());
    ASSERT_TRUE(netplay::NetplayChecks());
  }
  void TearDown() override {
    ProgramRunEndHooks();
    std::filesystem::remove_all(dir_);
    ::unsetenv("XDG_CONFIG_HOME");
  }

  // The display's own window: the one the screen is presented in.
  int ScreenWindow() const {
    for (const auto& [id, w] : p_->Windows()) {
      if (w.frame.sequence > 0) return id;
    }
    return 0;
  }

  std::string dir_;
  platform::HeadlessPlatform* p_ = nullptr;
};

TEST_F(NetplayStartup, TheGamesSettingsFileGivesFullscreenAndTheKeysBadKeysReportedOnce) {
  std::ofstream(dir_ + "Preferences.prefs")
      << "[Start]\nFullscreen = 0\n[Keys]\nNet Left = Banana\nNet Right = Right Ctrl\n"
         "Net Fire = F11\nRed Fire = Nonsense\n";
  ::testing::internal::CaptureStderr();
  const netplay::NetplaySettings s = netplay::NetplayReadSettings("skirmora-join");
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            "skirmora-join: Preferences.prefs: [Keys] Net Left = Banana: no key has that name; "
            "Net Left stays on Left\n"
            "skirmora-join: Preferences.prefs: [Keys] Net Fire = F11: that key is already full "
            "screen; Net Fire stays on Space\n");
  EXPECT_EQ(s.fullscreen, 0);
  EXPECT_EQ(s.keys.left, platform::kScanLeft);
  EXPECT_EQ(s.keys.right, platform::kScanRightCtrl);
  EXPECT_EQ(s.keys.fire, platform::kScanSpace);

  // Without a file next to the program, the user's own one; without either, full screen.
  std::remove((dir_ + "Preferences.prefs").c_str());
  EXPECT_EQ(netplay::NetplayReadSettings("skirmora-join").fullscreen, 1);
  std::filesystem::create_directories(dir_ + "config/skirmora");
  std::ofstream(dir_ + "config/skirmora/Preferences.prefs") << "[Start]\nFullscreen=0\n";
  EXPECT_EQ(netplay::NetplayReadSettings("skirmora-join").fullscreen, 0);
}

// With Fullscreen = 0 the 16-bit screen is a framed, resizable window of its
// own, fitted; F11 makes it cover the desktop and back; its close box is Esc.
TEST_F(NetplayStartup, TheScreenInAWindowSwitchesAndItsCloseBoxIsEsc) {
  netplay::NetplayOpenScreen(false);
  ASSERT_TRUE(netplay::NetKeysPoll().escReleased == false);
  ScreenFlip();
  const int id = ScreenWindow();
  ASSERT_NE(id, 0);
  const platform::HeadlessWindow* w = p_->Window(id);
  EXPECT_FALSE(w->fullscreen);
  EXPECT_TRUE(w->spec.resizable);
  EXPECT_FALSE(w->spec.borderless);
  EXPECT_EQ(w->bounds.width, 800);
  EXPECT_EQ(w->bounds.height, 600);
  EXPECT_EQ(w->frame.layout, platform::PixelLayout::Rgb565);
  EXPECT_TRUE(w->frame.fitToWindow);
  EXPECT_EQ(ScreenIsFullscreen(), 0);

  p_->SetKey(platform::kScanF11, true);
  netplay::NetKeysPoll();
  p_->SetKey(platform::kScanF11, false);
  netplay::NetKeysPoll();
  EXPECT_TRUE(p_->Window(id)->fullscreen);
  EXPECT_EQ(ScreenIsFullscreen(), 1);
  p_->SetKey(platform::kScanF11, true);
  netplay::NetKeysPoll();
  EXPECT_FALSE(p_->Window(id)->fullscreen);

  platform::WindowEvent close;
  close.kind = platform::EventKind::Close;
  p_->InjectEvent(id, close);
  ScreenFlip();
  EXPECT_TRUE(netplay::NetKeysPoll().escReleased);
  EXPECT_FALSE(netplay::NetKeysPoll().escReleased) << "once";
}

TEST_F(NetplayStartup, ANetworkFrameReadsTheChosenKeys) {
  netplay::NetplayOpenScreen();
  netplay::NetKeysUse({platform::kScanJ, platform::kScanL, platform::kScanRightCtrl});
  p_->SetKey(platform::kScanLeft, true);
  p_->SetKey(platform::kScanSpace, true);
  p_->SetKey(platform::kScanL, true);
  p_->SetKey(platform::kScanRightCtrl, true);
  netplay::NetKeys keys = netplay::NetKeysPoll();
  EXPECT_FALSE(keys.leftHeld);
  EXPECT_TRUE(keys.rightHeld);
  EXPECT_TRUE(keys.spaceHeld) << "the fire key, whichever it is";
  p_->ReleaseAllKeys();
  keys = netplay::NetKeysPoll();
  EXPECT_TRUE(keys.spaceReleased);
}

}  // namespace
