#include "platform/headless.h"

#include <gtest/gtest.h>

#include "platform/keymap.h"

namespace {

TEST(Headless, SleepAdvancesTheVirtualClock) {
  auto& p = platform::UseHeadless();
  uint32_t start = p.ElapsedMs();
  p.SleepMs(25);
  EXPECT_EQ(p.ElapsedMs() - start, 25u);
  p.WaitForCounter(p.Counter() + 5000);
  EXPECT_EQ(p.ElapsedMs() - start, 30u);
}

TEST(Headless, CloseRequestsOvertakeQueuedInput) {
  auto& p = platform::UseHeadless();
  int id = p.WindowCreate({"w", 0, 0, false, 100, 100});
  platform::WindowEvent move;
  move.kind = platform::EventKind::MouseMove;
  for (int i = 0; i < 50; ++i) p.InjectEvent(id, move);
  platform::WindowEvent close;
  close.kind = platform::EventKind::Close;
  p.InjectEvent(id, close);
  platform::WindowEvent got;
  ASSERT_TRUE(p.WindowPollEvent(id, &got));
  EXPECT_EQ(got.kind, platform::EventKind::Close);
  EXPECT_TRUE(p.WindowExists(id));
}

TEST(Headless, NoKeysWithoutFocus) {
  auto& p = platform::UseHeadless();
  p.SetKey(platform::kScanRightCtrl, true);
  uint8_t keys[256] = {};
  ASSERT_TRUE(p.KeySnapshot(keys));
  EXPECT_EQ(keys[0x9D], 0x80);
  p.SetKeyboardFocus(false);
  uint8_t other[256] = {};
  EXPECT_FALSE(p.KeySnapshot(other));
  EXPECT_EQ(other[0x9D], 0);
}

TEST(Codepage, RoundTripsUmlautsAndDropsForeignCharacters) {
  std::string cp = "Gr\xFC\xDF \x80";  // "Grüß €"
  std::string utf8 = platform::Cp1252ToUtf8(cp);
  EXPECT_EQ(utf8, "Gr\xC3\xBC\xC3\x9F \xE2\x82\xAC");
  EXPECT_EQ(platform::Utf8ToCp1252(utf8), cp);
  // A CJK character and a truncated sequence are dropped, not mangled.
  EXPECT_EQ(platform::Utf8ToCp1252("a\xE4\xB8\xAD"
                                   "b\xC3"),
            "ab");
}

TEST(Keymap, ExtendedKeysAreDistinct) {
  // Keypad Enter must not read as Return; right Ctrl is left Ctrl + 0x80.
  EXPECT_EQ(platform::ScanFromSdl(40 /* SDL Return */), platform::kScanReturn);
  EXPECT_EQ(platform::ScanFromSdl(88 /* SDL keypad Enter */), platform::kScanKeypadEnter);
  EXPECT_EQ(platform::ScanFromSdl(228 /* SDL right Ctrl */), 0x9D);
  EXPECT_EQ(platform::ScanFromSdl(-3), 0);
  EXPECT_EQ(platform::ScanFromSdl(100000), 0);
}

}  // namespace

TEST(WindowScale, TwiceTheSizeOnlyWhereItFitsWithRoomOrOnADenseDisplay) {
  using platform::WindowScaleFor;
  EXPECT_EQ(WindowScaleFor({0, 0, 3840, 2160}, 96.0f, 800, 600), 2);
  EXPECT_EQ(WindowScaleFor({0, 0, 2560, 1440}, 96.0f, 800, 600), 2);
  EXPECT_EQ(WindowScaleFor({0, 0, 1920, 1200}, 96.0f, 800, 600), 1);
  EXPECT_EQ(WindowScaleFor({0, 0, 1920, 1080}, 96.0f, 800, 600), 1);
  EXPECT_EQ(WindowScaleFor({0, 0, 1920, 1200}, 144.0f, 800, 600), 2) << "dense and it fits";
  EXPECT_EQ(WindowScaleFor({0, 0, 1920, 1080}, 200.0f, 800, 600), 1) << "dense, does not fit";
  EXPECT_EQ(WindowScaleFor({0, 0, 3840, 2160}, 96.0f, 0, 600), 1);
}

TEST(VideoDriver, OffscreenAndDummyCountAsNoDisplayUnlessAskedFor) {
  using platform::VideoDriverIsInvisible;
  EXPECT_TRUE(VideoDriverIsInvisible("offscreen", nullptr));
  EXPECT_TRUE(VideoDriverIsInvisible("dummy", nullptr));
  EXPECT_TRUE(VideoDriverIsInvisible("dummy", "x11"));
  EXPECT_FALSE(VideoDriverIsInvisible("dummy", "dummy"));
  EXPECT_FALSE(VideoDriverIsInvisible("offscreen", "x11,offscreen"));
  EXPECT_FALSE(VideoDriverIsInvisible("x11", nullptr));
  EXPECT_FALSE(VideoDriverIsInvisible("wayland", nullptr));
  EXPECT_FALSE(VideoDriverIsInvisible(nullptr, nullptr));
}

TEST(KeyNames, SdlNamesGiveTheScanCodesOfTheGame) {
  using platform::ScanFromKeyName;
  EXPECT_EQ(ScanFromKeyName("Left"), platform::kScanLeft);
  EXPECT_EQ(ScanFromKeyName("right ctrl"), platform::kScanRightCtrl);
  EXPECT_EQ(ScanFromKeyName("Left Ctrl"), platform::kScanLeftCtrl);
  EXPECT_EQ(ScanFromKeyName("A"), platform::kScanA);
  EXPECT_EQ(ScanFromKeyName("Space"), platform::kScanSpace);
  EXPECT_EQ(ScanFromKeyName("Pause"), platform::kScanPause);
  EXPECT_EQ(ScanFromKeyName("Keypad Enter"), platform::kScanKeypadEnter);
  EXPECT_EQ(ScanFromKeyName("Banana"), 0);
  EXPECT_EQ(ScanFromKeyName(""), 0);
  EXPECT_EQ(ScanFromKeyName("F13"), 0) << "a key the programs cannot see";
  EXPECT_EQ(platform::KeyNameOfScan(platform::kScanRightCtrl), "Right Ctrl");
  EXPECT_EQ(platform::KeyNameOfScan(0), "");
}
