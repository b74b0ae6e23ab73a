#include "media/display.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "media/draw.h"
#include "media/sprites.h"
#include "media/surface.h"
#include "platform/headless.h"

namespace {

class DisplayTest : public ::testing::Test {
 protected:
  void SetUp() override {
    os_ = &platform::UseHeadless();
    ASSERT_NE(SpriteSystemInit(), 0);
    DrawSystemInit();
  }
  void TearDown() override { DisplayEndHook(); }

  // The display's own window: the one that goes full screen.
  int FullScreenWindow() const {
    for (const auto& [id, w] : os_->Windows()) {
      if (w.fullscreen) return id;
    }
    return 0;
  }

  uint32_t Pixel32(int x, int y) {
    const media::Surface* back = media::DisplayBackBuffer();
    uint32_t v;
    std::memcpy(&v, back->Row(y) + 4 * x, 4);
    return v;
  }
  uint16_t Pixel16(int x, int y) {
    const media::Surface* back = media::DisplayBackBuffer();
    uint16_t v;
    std::memcpy(&v, back->Row(y) + 2 * x, 2);
    return v;
  }

  static platform::WindowEvent Event(platform::EventKind kind) {
    platform::WindowEvent e;
    e.kind = kind;
    return e;
  }
  int MakeWindow(int width, int height) {
    platform::WindowSpec spec;
    spec.title = "w";
    spec.width = width;
    spec.height = height;
    return os_->WindowCreate(spec);
  }

  // Virtual time that `flips` frames take, each with a millisecond of work.
  uint64_t FlipTime(int flips) {
    const uint64_t before = os_->Counter();
    for (int i = 0; i < flips; ++i) {
      os_->SleepMs(1);
      ScreenFlip();
    }
    return os_->Counter() - before;
  }

  platform::HeadlessPlatform* os_ = nullptr;
};

TEST_F(DisplayTest, WindowZeroOrMissingWindowGivesNoScreen) {
  EXPECT_EQ(ScreenOpenInWindow(0, 0, 0, 800, 600, 0, 0, 0), 0);
  EXPECT_EQ(media::DisplayBackBuffer(), nullptr);
  EXPECT_EQ(ScreenOpenInWindow(4711, 0, 0, 800, 600, 0, 0, 0), 0);
  EXPECT_EQ(media::DisplayBackBuffer(), nullptr);
  EXPECT_EQ(media::DisplayPixelFormatCode(), 0);
  // Without a screen nothing is cleared or presented.
  EXPECT_EQ(ScreenClear(1, 2, 3), 0);
  EXPECT_EQ(ScreenFlip(), 0);
  EXPECT_EQ(os_->PresentCount(), 0u);
}

TEST_F(DisplayTest, ClearOn32BitScreenPutsBlueInLowestByte) {
  ASSERT_NE(ScreenOpen(800, 600, 32, "Title"), 0);
  EXPECT_EQ(media::DisplayPixelFormatCode(), 7);
  const int window = FullScreenWindow();
  ASSERT_NE(window, 0);
  EXPECT_EQ(os_->Window(window)->spec.title, "Title");
  EXPECT_EQ(Pixel32(0, 0), 0u);  // opened black
  ASSERT_EQ(ScreenClear(170, 200, 255), 1);
  EXPECT_EQ(Pixel32(0, 0), 255u + 200u * 256 + 170u * 65536);
  EXPECT_EQ(Pixel32(799, 599), 255u + 200u * 256 + 170u * 65536);
  ASSERT_EQ(ScreenFlip(), 1);
  const platform::CapturedFrame& f = os_->Window(window)->frame;
  EXPECT_EQ(f.layout, platform::PixelLayout::Xrgb8888);
  EXPECT_TRUE(f.fitToWindow);
  ASSERT_EQ(f.width, 800);
  ASSERT_EQ(f.height, 600);
  EXPECT_EQ(f.pixels[0], 255);
  EXPECT_EQ(f.pixels[1], 200);
  EXPECT_EQ(f.pixels[2], 170);
  EXPECT_EQ(f.pixels[3], 0);
}

TEST_F(DisplayTest, ClearOn16BitScreenIs565) {
  ASSERT_NE(ScreenOpen(800, 600, 16, "Skirmora"), 0);
  EXPECT_EQ(media::DisplayPixelFormatCode(), 3);
  ASSERT_EQ(ScreenClear(170, 200, 255), 1);
  const uint16_t expected = 255 / 8 + (200 / 4) * 32 + (170 / 8) * 2048;
  EXPECT_EQ(Pixel16(0, 0), expected);
  EXPECT_EQ(Pixel16(799, 599), expected);
  ScreenClear(7, 3, 7);  // too dark for 5-6-5: black
  EXPECT_EQ(Pixel16(400, 300), 0);
  ScreenFlip();
  const platform::CapturedFrame& f = os_->Window(FullScreenWindow())->frame;
  EXPECT_EQ(f.layout, platform::PixelLayout::Rgb565);
  EXPECT_EQ(f.pixels.size(), 800u * 600u * 2u);
}

TEST_F(DisplayTest, ModeArgumentsWrapAsSigned16BitAndOddModesAreRefused) {
  ASSERT_NE(ScreenOpen(65536 + 320, 65536 + 200, 65536 + 32, "x"), 0);
  EXPECT_EQ(media::DisplayBackBuffer()->width, 320);
  EXPECT_EQ(media::DisplayBackBuffer()->height, 200);
  EXPECT_EQ(ScreenOpen(40000, 600, 32, "x"), 0);  // wraps negative
  EXPECT_EQ(media::DisplayBackBuffer(), nullptr);
  EXPECT_EQ(ScreenOpen(800, 600, 24, "x"), 0);
  EXPECT_EQ(ScreenOpen(800, 600, 8, "x"), 0);
  EXPECT_EQ(media::DisplayBackBuffer(), nullptr);
}

TEST_F(DisplayTest, ScreenStampChangesWithEveryOpening) {
  ASSERT_NE(ScreenOpen(800, 600, 32, "x"), 0);
  const uint32_t first = media::DisplayScreenStamp();
  ASSERT_NE(ScreenOpen(800, 600, 16, "x"), 0);  // same virtual millisecond
  EXPECT_NE(media::DisplayScreenStamp(), first);
}

TEST_F(DisplayTest, WindowedScreenPacesAtCounterFrequencyOver61) {
  const int window = MakeWindow(800, 600);
  ASSERT_NE(ScreenOpenInWindow(window, 0, 0, 800, 600, 0, 0, 0), 0);
  EXPECT_EQ(media::DisplayPixelFormatCode(), 7);
  const uint64_t perFrame = os_->CounterFrequency() / 61;  // 16393 ticks
  ScreenFlip();  // the first frame measures from its own start
  for (int i = 0; i < 5; ++i) {
    const uint64_t before = os_->Counter();
    os_->SleepMs(1);  // the game's own short sleep is part of the frame
    ASSERT_EQ(ScreenFlip(), 1);
    EXPECT_EQ(os_->Counter() - before, perFrame + 1) << "frame " << i;
  }
  const platform::CapturedFrame& f = os_->Window(window)->frame;
  EXPECT_FALSE(f.fitToWindow);
  EXPECT_EQ(f.sequence, 6u);
  // Closing gives the automatic rate back: a new windowed screen sets it again.
  ScreenClose();
  ASSERT_NE(ScreenOpenInWindow(window, 10, 20, 100, 50, 0, 0, 0), 0);
  ScreenFlip();
  EXPECT_EQ(os_->Window(window)->frame.destX, 10);
  EXPECT_EQ(os_->Window(window)->frame.destY, 20);
}

TEST_F(DisplayTest, PacingMeasuresAfreshWhenCounterLowBitsChangeSign) {
  const int window = MakeWindow(64, 64);
  ASSERT_NE(ScreenOpenInWindow(window, 0, 0, 64, 64, 0, 0, 0), 0);
  const uint64_t perFrame = os_->CounterFrequency() / 61;
  const uint64_t signChange = 0x80000000u;  // low 32 bits turn negative here
  os_->AdvanceMicroseconds(signChange - 40000 - os_->Counter());
  ScreenFlip();
  ScreenFlip();  // settled: ends at signChange - 40000 + 2 frames
  const uint64_t settled = os_->Counter();
  ASSERT_LT(settled, signChange);
  // The next frame's interval would end after the sign change: the change is
  // seen there, and the frame is measured from that moment.
  os_->AdvanceMicroseconds(signChange - 100 - settled);
  ScreenFlip();
  EXPECT_EQ(os_->Counter(), signChange + perFrame + 1);
  // A frame that starts after the change measures from its start.
  os_->AdvanceMicroseconds(0x100000000u + 500 - os_->Counter());  // positive again
  const uint64_t start = os_->Counter();
  ScreenFlip();
  EXPECT_EQ(os_->Counter(), start + perFrame + 1);
}

TEST_F(DisplayTest, FullScreenWithoutVsyncPacesToTheRefreshRate) {
  ASSERT_NE(ScreenOpen(800, 600, 32, "x"), 0);
  ScreenFlip();
  const uint64_t interval = os_->CounterFrequency() / 60;
  uint64_t before = os_->Counter();
  for (int i = 0; i < 10; ++i) {
    os_->SleepMs(1);
    ScreenFlip();
  }
  EXPECT_EQ(os_->Counter() - before, 10 * interval);
  // A long stall is not made up by rushing the following frames.
  os_->AdvanceMs(500);
  ScreenFlip();
  before = os_->Counter();
  ScreenFlip();
  EXPECT_EQ(os_->Counter() - before, interval);
}

// A frame that takes longer to compose than the one before is not shown
// later than it: a full screen that paces itself presents a fixed time after
// each wake, as long as the frame is composed by then.
TEST_F(DisplayTest, FullScreenPresentsEvenlyWhateverEachFrameTakes) {
  ASSERT_EQ(ScreenPresentRate(60), 1);
  ASSERT_NE(ScreenOpen(800, 600, 16, "x"), 0);
  const int window = FullScreenWindow();
  ScreenFlip();
  std::vector<uint64_t> shown;
  for (int i = 0; i < 12; ++i) {
    ScreenClear(i * 20, 0, 0);  // something new to show in every frame
    os_->AdvanceMicroseconds(i % 3 == 0 ? 1500 : 100);
    ScreenFlip();
    shown.push_back(os_->Window(window)->frame.presentedAt);
  }
  for (size_t i = 2; i < shown.size(); ++i) {
    const uint64_t interval = shown[i] - shown[i - 1];
    EXPECT_TRUE(interval == 16666 || interval == 16667) << "present " << i << ": " << interval;
  }
  ScreenPresentRate(0);
}

TEST_F(DisplayTest, InactiveFullScreenDrawsAndPresentsNothing) {
  ASSERT_NE(ScreenOpen(800, 600, 32, "x"), 0);
  const int window = FullScreenWindow();
  ASSERT_NE(SpriteCreate(1, 8, 8), 0);
  ScreenFlip();
  const uint64_t presented = os_->Window(window)->frame.sequence;
  os_->InjectEvent(window, Event(platform::EventKind::FocusLost));
  os_->InjectEvent(window, Event(platform::EventKind::Close));  // ignored in full screen
  EXPECT_EQ(ScreenFlip(), 0);
  EXPECT_FALSE(media::DisplayActive());
  EXPECT_EQ(os_->Window(window)->frame.sequence, presented);
  EXPECT_EQ(ScreenClear(255, 255, 255), 0);
  EXPECT_EQ(SpriteShow(1, 0, 0), 0);
  EXPECT_EQ(ScreenOutput().kind, 0);
  EXPECT_EQ(Pixel32(0, 0), 0u);
  // The loop keeps its speed while inactive.
  const uint64_t before = os_->Counter();
  ScreenFlip();
  EXPECT_GT(os_->Counter(), before);
  os_->InjectEvent(window, Event(platform::EventKind::FocusGained));
  EXPECT_EQ(ScreenFlip(), 1);
  EXPECT_TRUE(media::DisplayActive());
  EXPECT_EQ(ScreenClear(255, 255, 255), 1);
  EXPECT_EQ(os_->Window(window)->frame.sequence, presented + 1);
  EXPECT_NE(media::DisplayBackBuffer(), nullptr);  // the close request changed nothing
}

TEST_F(DisplayTest, StretchScalesToTheClientAreaLessTheOffsets) {
  const int window = MakeWindow(420, 310);
  ASSERT_NE(ScreenOpenInWindow(window, 10, 5, 200, 150, 1, 10, 5), 0);
  ScreenClear(0, 0, 255);
  ScreenFlip();
  const platform::CapturedFrame& f = os_->Window(window)->frame;
  EXPECT_EQ(f.width, 400);
  EXPECT_EQ(f.height, 300);
  EXPECT_EQ(f.destX, 10);
  EXPECT_EQ(f.destY, 5);
  EXPECT_EQ(f.pixels[4 * 399], 255);
}

TEST_F(DisplayTest, CloseFreesImagesAndRestoresTheDesktop) {
  ASSERT_NE(ScreenOpen(800, 600, 32, "x"), 0);
  const int window = FullScreenWindow();
  ASSERT_NE(SpriteCreate(3, 4, 4), 0);
  EXPECT_EQ(ScreenClose(), 1);
  EXPECT_EQ(media::ImageFind(3), nullptr);
  EXPECT_EQ(media::DisplayBackBuffer(), nullptr);
  EXPECT_FALSE(os_->Window(window)->fullscreen);
  EXPECT_FALSE(os_->Window(window)->visible);
  EXPECT_EQ(ScreenClose(), 0);
}

TEST_F(DisplayTest, FrameRateNeedsANonNegativeRate) {
  EXPECT_EQ(ScreenFrameRate(-1), 0);
  EXPECT_EQ(ScreenFrameRate(30), 1);
  const int window = MakeWindow(64, 64);
  ASSERT_NE(ScreenOpenInWindow(window, 0, 0, 64, 64, 0, 0, 0), 0);
  ScreenFlip();
  const uint64_t before = os_->Counter();
  ScreenFlip();
  EXPECT_EQ(os_->Counter() - before, os_->CounterFrequency() / 31 + 1);
}

TEST_F(DisplayTest, PresentRateHoldsSixtyFramesASecondOnAFasterDisplay) {
  os_->SetRefreshRate(144);
  EXPECT_EQ(ScreenPresentRate(-1), 0);
  ASSERT_EQ(ScreenPresentRate(60), 1);
  for (bool vsync : {false, true}) {
    os_->SetVsync(vsync);
    ASSERT_NE(ScreenOpen(800, 600, 16, "x"), 0);
    ScreenFlip();
    EXPECT_EQ(FlipTime(120), 2'000'000u) << "vsync " << vsync;
  }
  ASSERT_NE(ScreenOpenInWindow(MakeWindow(800, 600), 0, 0, 800, 600, 0, 0, 0), 0);
  ScreenFlip();
  EXPECT_EQ(FlipTime(120), 2'000'000u);  // not the windowed screen's usual 61
  // A frame late by less than a frame is caught up; a long stall starts afresh.
  os_->SetVsync(false);
  ScreenFlip();
  const uint64_t before = os_->Counter();
  os_->AdvanceMs(20);
  FlipTime(60);
  EXPECT_EQ(os_->Counter() - before, 1'000'000u);
  os_->AdvanceMs(500);
  EXPECT_EQ(FlipTime(1), 1000u);
  for (int i = 0; i < 5; ++i) EXPECT_GE(FlipTime(1), os_->CounterFrequency() / 60);
  // Back to the usual pacing.
  ASSERT_EQ(ScreenPresentRate(0), 1);
  ASSERT_NE(ScreenOpen(800, 600, 16, "x"), 0);
  ScreenFlip();
  EXPECT_EQ(FlipTime(144), 144 * (os_->CounterFrequency() / 144));
}

TEST_F(DisplayTest, PresentRateLeavesPacingToAVsyncedDisplayOfThatRate) {
  os_->SetVsync(true);
  ScreenFrameRate(30);  // the present rate wins over it
  ASSERT_EQ(ScreenPresentRate(60), 1);
  ASSERT_NE(ScreenOpen(800, 600, 16, "x"), 0);
  ScreenFlip();
  for (int i = 0; i < 60; ++i) {
    os_->AdvanceMs(5);
    const uint64_t blank = os_->Counter() * 60 / 1'000'000 + 1;
    ScreenFlip();  // ends on the next vertical blank, nothing added
    ASSERT_EQ(os_->Counter(), (blank * 1'000'000 + 59) / 60) << "frame " << i;
  }
  // While inactive nothing is presented, so the screen paces itself.
  os_->InjectEvent(FullScreenWindow(), Event(platform::EventKind::FocusLost));
  ScreenFlip();
  EXPECT_EQ(FlipTime(60), 1'000'000u);
}

}  // namespace
