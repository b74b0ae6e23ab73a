// The programs' windows on real X servers of several sizes: a game window
// resized to 1600 x 1200 and maximised under a window manager, a 4K desktop
// on which the windows open at twice their size, full screen at 1920 x 1080
// and Alt+Enter both ways, the menu's About page and its network items
// handing the process over to the network programs. Every screen is kept as
// a screenshot in the build folder (screenshots/). Skips without Xvfb,
// xdotool, openbox or ImageMagick.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "tests/support/netns.h"
#include "tests/support/xsession.h"

namespace {

using xsession::Child;
using xsession::Geometry;
using xsession::Session;
using xsession::Shot;
using xsession::SleepMs;

const std::string kBin = SKIRMORA_BINARY_DIR;

class WindowXvfbTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* tool : {"Xvfb", "xdotool", "openbox", "import", "convert"}) {
      if (!xsession::HaveTool(tool)) GTEST_SKIP() << tool << " is missing";
    }
    // The host program it starts listens on the game port.
    netns::EnterOwnNetwork();
    shots_ = kBin + "/screenshots";
    std::filesystem::create_directories(shots_);
  }

  // Takes a screenshot named after the test's screen.
  Shot Take(Session& x, const std::string& name) {
    Shot shot;
    EXPECT_TRUE(x.Screenshot(shots_ + "/" + name + ".png", shot)) << name;
    return shot;
  }

  // True when every 2 x 2 block of the rectangle (from an even offset) is
  // of one colour: the picture was doubled with whole pixels.
  static bool DoubledEvenly(const Shot& s, const Geometry& r) {
    int blocks = 0;
    for (int y = r.y; y + 1 < r.y + r.height; y += 2) {
      for (int x = r.x; x + 1 < r.x + r.width; x += 2) {
        const unsigned c = s.Pixel(x, y);
        if (s.Pixel(x + 1, y) != c || s.Pixel(x, y + 1) != c || s.Pixel(x + 1, y + 1) != c) {
          return false;
        }
        ++blocks;
      }
    }
    return blocks > 0;
  }

  static bool Black(const Shot& s, int x, int y) { return s.Pixel(x, y) == 0; }

  // How many columns of the rectangle equal the column left of them, pixel
  // for pixel. Nearest-texel scaling by 1.8 repeats four of every nine
  // columns (640 of 1440); a sharp scaler, which smooths down from twice the
  // size, repeats only where the picture itself is flat (more of it while
  // the title picture still fades in from black).
  static int RepeatedColumns(const Shot& s, const Geometry& r) {
    int repeated = 0;
    for (int x = r.x + 1; x < r.x + r.width; ++x) {
      bool same = true;
      for (int y = r.y; y < r.y + r.height && same; ++y) same = s.Pixel(x, y) == s.Pixel(x - 1, y);
      if (same) ++repeated;
    }
    return repeated;
  }

  // Not black and not the bars: a part of the picture.
  static bool Picture(const Shot& s, int x, int y) { return s.Has(x, y) && s.Pixel(x, y) != 0; }

  // Waits until the menu shows in the 800 x 600 window: its dark panel on the
  // right, where the title picture has sky. The menu takes keys from then on.
  bool WaitForMenu(Session& x, const Geometry& g) {
    for (int i = 0; i < 60; ++i) {
      Shot shot;
      if (x.Screenshot(shots_ + "/menu-wait.png", shot)) {
        const unsigned c = shot.Pixel(g.x + 700, g.y + 150);
        if (c != 0xFFFFFFFFu && (c >> 16) < 40 && ((c >> 8) & 0xFF) < 40 && (c & 0xFF) < 60 &&
            (c & 0xFF) > 8) {
          return true;
        }
      }
      SleepMs(200);
    }
    return false;
  }

  std::string shots_;
};

// Windowed: the window opens at 800 x 600 where 1600 x 1200 has no room to
// spare, can be resized to 1600 x 1200 (the picture doubled with even
// pixels) and maximised (the picture fitted between bars, shape kept).
TEST_F(WindowXvfbTest, TheGameWindowResizesAndMaximisesWithThePictureFitted) {
  Session x;
  ASSERT_TRUE(x.Start(1920, 1280, true, shots_));
  Child game;
  ASSERT_TRUE(x.Run(game, {kBin + "/skirmora", "--window"}, "resize.log"));
  const std::string id = x.FindWindow("Skirmora by Vorn", 30000, 800, 600);
  ASSERT_FALSE(id.empty()) << "no 800 x 600 game window";
  ASSERT_TRUE(x.Xdo("windowmove " + id + " 100 40"));
  ASSERT_TRUE(x.Xdo("windowsize " + id + " 1600 1200"));
  ASSERT_TRUE(x.WaitSize(id, 1600, 1200, 10000));
  SleepMs(400);  // a few frames at the new size
  Geometry g = x.GeometryOf(id);
  Shot shot = Take(x, "window-1600x1200");
  EXPECT_TRUE(DoubledEvenly(shot, {g.x, g.y, 1600, 1200})) << "uneven pixels at twice the size";
  EXPECT_TRUE(Picture(shot, g.x + 4, g.y + 4)) << "the picture fills the window";
  EXPECT_TRUE(Picture(shot, g.x + 1595, g.y + 1195));

  // A double click on the title bar maximises under openbox.
  ASSERT_TRUE(x.Xdo("mousemove " + std::to_string(g.x + 200) + " " + std::to_string(g.y - 8)));
  SleepMs(200);
  ASSERT_TRUE(x.Xdo("click --repeat 2 --delay 100 1"));
  for (int i = 0; i < 50 && x.GeometryOf(id).width != 1920; ++i) SleepMs(100);
  g = x.GeometryOf(id);
  ASSERT_EQ(g.width, 1920) << "not maximised";
  ASSERT_GT(g.height, 1100);
  SleepMs(500);
  shot = Take(x, "window-maximised");
  const int pictureWidth = g.height * 4 / 3;
  const int bar = (g.width - pictureWidth) / 2;
  EXPECT_TRUE(Black(shot, g.x + bar / 2, g.y + g.height / 2)) << "bar left of the picture";
  EXPECT_TRUE(Black(shot, g.x + g.width - bar / 2, g.y + g.height / 2)) << "bar on the right";
  EXPECT_TRUE(Picture(shot, g.x + bar + 8, g.y + 8));
  EXPECT_TRUE(Picture(shot, g.x + g.width - bar - 8, g.y + g.height - 8));

  // F11 makes the window cover the desktop, and gives it back.
  x.Key("F11");
  ASSERT_TRUE(x.WaitSize(id, 1920, 1280, 10000)) << "F11 gave no full screen";
  x.Key("F11");
  EXPECT_FALSE(x.WaitSize(id, 1920, 1280, 300) && x.WaitSize(id, 1920, 1280, 2000))
      << "F11 again gave no window";
  EXPECT_TRUE(game.Running());
}

// On a 4K desktop the game window and the start window open at twice their
// size, their contents doubled with even pixels.
TEST_F(WindowXvfbTest, OnA4KDesktopTheWindowsOpenAtTwiceTheirSize) {
  Session x;
  ASSERT_TRUE(x.Start(3840, 2160, false, shots_));
  Child game;
  ASSERT_TRUE(x.Run(game, {kBin + "/skirmora", "--window"}, "4k-game.log"));
  const std::string id = x.FindWindow("Skirmora by Vorn", 30000, 1600, 1200);
  ASSERT_FALSE(id.empty()) << "no 1600 x 1200 game window";
  SleepMs(600);
  const Geometry g = x.GeometryOf(id);
  Shot shot = Take(x, "4k-game-window");
  EXPECT_TRUE(DoubledEvenly(shot, {g.x, g.y, 1600, 1200}));
  game.Stop();

  Child host;
  ASSERT_TRUE(x.Run(host, {kBin + "/skirmora-host"}, "4k-host.log"));
  const std::string start = x.FindWindow("Skirmora", 30000, 432, 246);
  ASSERT_FALSE(start.empty()) << "no 432 x 246 start window";
  SleepMs(500);
  const Geometry s = x.GeometryOf(start);
  shot = Take(x, "4k-start-window");
  EXPECT_TRUE(DoubledEvenly(shot, {s.x, s.y, 432, 246}));
  // A click on Host where it is seen (twice its place) presses it: the host
  // opens its lobby on the full screen.
  ASSERT_TRUE(x.Xdo("mousemove " + std::to_string(s.x + 2 * 40) + " " +
                    std::to_string(s.y + 2 * 100) + " click 1"));
  const std::string lobby = x.FindWindow("Skirmora", 30000, 3840, 2160);
  EXPECT_FALSE(lobby.empty()) << "Host was not pressed";
}

// Full screen at 1920 x 1080: the picture at 1440 x 1080 between black bars;
// Alt+Enter makes it an 800 x 600 window and a full screen again.
TEST_F(WindowXvfbTest, FullScreenAt1920x1080AndAltEnterBothWays) {
  Session x;
  ASSERT_TRUE(x.Start(1920, 1080, true, shots_));
  Child game;
  ASSERT_TRUE(x.Run(game, {kBin + "/skirmora", "--fullscreen"}, "fullscreen.log"));
  const std::string id = x.FindWindow("Skirmora by Vorn", 30000, 1920, 1080);
  ASSERT_FALSE(id.empty()) << "no full screen";
  SleepMs(1500);  // the title picture has faded in
  Shot shot = Take(x, "fullscreen-1920x1080");
  EXPECT_TRUE(Black(shot, 100, 540));
  EXPECT_TRUE(Black(shot, 1820, 540));
  EXPECT_TRUE(Picture(shot, 250, 10));
  EXPECT_TRUE(Picture(shot, 1670, 1070));
  EXPECT_LT(RepeatedColumns(shot, {240, 0, 1440, 1080}), 450) << "uneven pixels at 1.8 times";

  x.Key("alt+Return");
  ASSERT_TRUE(x.WaitSize(id, 800, 600, 10000)) << "Alt+Enter gave no window";
  SleepMs(500);
  Geometry g = x.GeometryOf(id);
  EXPECT_NEAR(g.x, (1920 - 800) / 2, 4) << "centred";
  shot = Take(x, "fullscreen-alt-enter-window");
  EXPECT_TRUE(Picture(shot, g.x + 4, g.y + 4));
  EXPECT_TRUE(Picture(shot, g.x + 795, g.y + 595));

  x.Key("alt+Return");
  ASSERT_TRUE(x.WaitSize(id, 1920, 1080, 10000)) << "Alt+Enter gave no full screen";
  SleepMs(500);
  shot = Take(x, "fullscreen-alt-enter-back");
  EXPECT_TRUE(Black(shot, 100, 540));
  EXPECT_TRUE(Picture(shot, 960, 540));
  EXPECT_TRUE(game.Running()) << "Alt+Enter must not start or end anything";
}

// The menu: About shows its page and Esc goes back; "Start Game as Host" and
// "Join Game as Client" replace the game with the network program, whose
// start window opens in the same process.
TEST_F(WindowXvfbTest, TheMenuShowsAboutAndHandsOverToHostAndJoin) {
  Session x;
  ASSERT_TRUE(x.Start(1280, 1024, true, shots_));
  for (const bool join : {false, true}) {
    SCOPED_TRACE(join ? "join" : "host");
    Child game;
    ASSERT_TRUE(
        x.Run(game, {kBin + "/skirmora", "--window"}, join ? "menu-join.log" : "menu-host.log"));
    const std::string id = x.FindWindow("Skirmora by Vorn", 30000, 800, 600);
    ASSERT_FALSE(id.empty());
    x.Xdo("windowfocus " + id);
    x.Key("Escape");
    ASSERT_TRUE(WaitForMenu(x, x.GeometryOf(id))) << "the menu never showed";
    if (!join) {
      x.Key("Down");
      x.Key("Down");
      x.Key("Return");
      SleepMs(800);
      Take(x, "menu-about");
      x.Key("Escape");
      x.Key("Up");
    } else {
      x.Key("Down");
      x.Key("Left");
    }
    x.Key("Return");
    const std::string start = x.FindWindow("Skirmora", 30000, 216, 123);
    ASSERT_FALSE(start.empty()) << "no start window";
    EXPECT_TRUE(game.Running()) << "the process goes on as the network program";
    EXPECT_EQ(x.Out("xdotool getwindowpid " + start), std::to_string(game.pid()));
    std::ifstream cmdline("/proc/" + std::to_string(game.pid()) + "/cmdline");
    std::string argv0;
    std::getline(cmdline, argv0, '\0');
    EXPECT_EQ(argv0, kBin + (join ? "/skirmora-join" : "/skirmora-host"));
    EXPECT_TRUE(x.FindWindow("Skirmora by Vorn", 500).empty()) << "the game window is gone";
    SleepMs(300);
    Take(x, join ? "menu-join-start-window" : "menu-host-start-window");
  }
}

}  // namespace
