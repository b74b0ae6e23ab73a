// The local game played on the headless platform: scripted keys, the virtual
// clock and the presented frames.
#include "game/skirmora.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "assets/catalog.h"
#include "game/records.h"
#include "media/display.h"
#include "media/draw.h"
#include "media/keyboard.h"
#include "media/mixer.h"
#include "media/music.h"
#include "media/quad3d.h"
#include "media/sound.h"
#include "media/sprites.h"
#include "platform/font.h"
#include "platform/headless.h"
#include "platform/keymap.h"
#include "runtime/command_line.h"
#include "runtime/frame.h"
#include "runtime/lists.h"
#include "runtime/net.h"
#include "runtime/prefs.h"
#include "runtime/program.h"
#include "runtime/window.h"

namespace game {
namespace {

class SkirmoraTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = MakeDir();
    // The user's own settings never leak into a test.
    ::setenv("XDG_CONFIG_HOME", (dir_ + "/config").c_str(), 1);
  }

  void TearDown() override {
    ProgramRunEndHooks();
    std::filesystem::remove_all(dir_);
  }

  static std::string MakeDir() {
    std::string pattern = ::testing::TempDir() + "skirmoraXXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    const char* made = ::mkdtemp(buffer.data());
    return made != nullptr ? std::string(made) : ::testing::TempDir();
  }

  // Writes a settings file next to the program (when text is not empty) and
  // runs the program start-up.
  void Start(const std::string& prefs = "") {
    if (!prefs.empty()) std::ofstream(dir_ + "/Preferences.prefs") << prefs;
    hp_ = &platform::UseHeadless();
    hp_->SetExecutablePath(dir_ + "/skirmora");
    ProgramStart(SkirmoraHooks());
    ASSERT_TRUE(SkirmoraStart());
  }

  SkirmoraState& S() { return SkirmoraGameState(); }
  SkirmoraLists& L() { return SkirmoraGameLists(); }

  bool Frame() { return SkirmoraFrame(); }

  // Holds a key for one frame and lets it go in the next.
  bool Tap(int key) {
    hp_->SetKey(key, true);
    bool a = Frame();
    hp_->SetKey(key, false);
    return a && Frame();
  }

  // Runs frames until pred holds (checked after each frame); false when it
  // never did within limit frames or the program ended.
  bool RunUntil(const std::function<bool()>& pred, int limit) {
    for (int i = 0; i < limit; ++i) {
      if (!Frame()) return pred();
      if (pred()) return true;
    }
    return false;
  }

  // Esc on the splash, then the first frame of the menu.
  void ToMenu() {
    ASSERT_TRUE(Tap(kKeyEsc));
    for (int i = 0; i < 200 && S().screen == Screen::Splash; ++i) ASSERT_TRUE(Frame());
    ASSERT_EQ(S().screen, Screen::Menu);
    ASSERT_TRUE(Frame());
    ASSERT_EQ(S().fadeLevel, 253);
  }

  // From the menu: Enter on item 1 (the fade-out starts from where the fade-in
  // stands), then the first frame of the match.
  void ToMatch() {
    ASSERT_TRUE(Tap(kKeyEnter));
    for (int i = 0; i < 300 && S().screen == Screen::Menu; ++i) ASSERT_TRUE(Frame());
    ASSERT_EQ(S().screen, Screen::Match);
    ASSERT_TRUE(Frame());
  }

  // The most recently presented frame of any window.
  const platform::CapturedFrame* LastFrame() const {
    const platform::CapturedFrame* best = nullptr;
    for (const auto& [id, w] : hp_->Windows()) {
      if (w.frame.sequence > 0 && (best == nullptr || w.frame.sequence > best->sequence)) {
        best = &w.frame;
      }
    }
    return best;
  }

  uint32_t Pixel(int x, int y) const {
    const platform::CapturedFrame* f = LastFrame();
    if (f == nullptr || x < 0 || y < 0 || x >= f->width || y >= f->height) return 0xDEADBEEF;
    const uint8_t* p = f->pixels.data() + (static_cast<size_t>(y) * f->width + x) * 4;
    return (p[0] | p[1] << 8 | p[2] << 16) & 0xFFFFFFu;
  }

  uint64_t RegionHash(int x0, int y0, int w, int h) const {
    uint64_t hash = 1469598103934665603ull;
    for (int y = y0; y < y0 + h; ++y) {
      for (int x = x0; x < x0 + w; ++x) hash = (hash ^ Pixel(x, y)) * 1099511628211ull;
    }
    return hash;
  }

  // True when the last frame shows `text` with its top-left corner at (x, y)
  // in black on opaque white cells, pixel for pixel (screen text is rendered
  // 14 pixels high).
  bool ShowsText(const std::string& text, int x, int y) const {
    platform::TextBitmap bitmap;
    if (!platform::FontRender(text, 14, false, &bitmap) || bitmap.width == 0) return false;
    for (int by = 0; by < bitmap.height; ++by) {
      for (int bx = 0; bx < bitmap.width; ++bx) {
        uint32_t c = bitmap.coverage[static_cast<size_t>(by) * bitmap.width + bx];
        uint32_t v = (255u * (255u - c) + 127u) / 255u;
        if (Pixel(x + bx, y + by) != (v | v << 8 | v << 16)) return false;
      }
    }
    return true;
  }

  // Attenuation that a volume gives, measured on a spare sound number.
  static int32_t AttenuationOf(int32_t volume) {
    SoundCatch(40, assets::Recording('C'));
    SoundVolume(40, volume);
    return SoundAttenuation(40);
  }

  std::string dir_;
  platform::HeadlessPlatform* hp_ = nullptr;
};

uint64_t FrameHash(const platform::CapturedFrame& f) {
  uint64_t hash = 1469598103934665603ull;
  const size_t words = f.pixels.size() / 8;
  const uint8_t* p = f.pixels.data();
  for (size_t i = 0; i < words; ++i) {
    uint64_t w;
    std::memcpy(&w, p + i * 8, 8);
    hash = (hash ^ w) * 1099511628211ull;
  }
  return hash;
}

// --- Start-up --------------------------------------------------------------------

TEST_F(SkirmoraTest, WithoutADisplayTheStartUpReportsItAndEndsTheProgram) {
  hp_ = &platform::UseHeadless();
  hp_->SetExecutablePath(dir_ + "/skirmora");
  hp_->SetWindowCreationFails(true);
  ProgramStart(SkirmoraHooks());
  EXPECT_FALSE(SkirmoraStart());
  ASSERT_EQ(hp_->MessageBoxes().size(), 1u);
  EXPECT_EQ(hp_->MessageBoxes()[0].title, "Skirmora - DirectX Error");
  EXPECT_EQ(hp_->MessageBoxes()[0].text, "You need at least DirectX 7 to run this game");
  EXPECT_EQ(hp_->MessageBoxes()[0].flags, 16);
  EXPECT_FALSE(SkirmoraFrame()) << "the program takes its exit path";
}

TEST_F(SkirmoraTest, WithoutSettingsFileTheDefaultsAndFullScreenAreUsed) {
  Start();
  EXPECT_EQ(S().settings.name1, "Spieler 1");
  EXPECT_EQ(S().settings.name2, "Spieler 2");
  EXPECT_EQ(S().settings.port, 6832);
  EXPECT_EQ(S().settings.skill, 2);
  EXPECT_FALSE(S().windowed);
  EXPECT_EQ(WindowNumberHandle(0), 0);
  EXPECT_TRUE(hp_->MessageBoxes().empty());
  ASSERT_TRUE(Frame());
  const platform::CapturedFrame* f = LastFrame();
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(f->width, 800);
  EXPECT_EQ(f->height, 600);
  EXPECT_TRUE(f->fitToWindow);
}

TEST_F(SkirmoraTest, WithoutAFileNextToTheProgramTheUsersConfigFolderIsRead) {
  std::filesystem::create_directories(dir_ + "/config/skirmora");
  std::ofstream(dir_ + "/config/skirmora/Preferences.prefs") << "[Data]\nName1=Cleo\n";
  EXPECT_EQ(PrefsUserSettingsPath(), dir_ + "/config/skirmora/Preferences.prefs");
  Start();
  EXPECT_EQ(S().settings.name1, "Cleo");
  EXPECT_EQ(S().settings.name2, "Spieler 2");
  ProgramRunEndHooks();
  // A file next to the program wins.
  Start("[Data]\nName2=Dora\n[Start]\nSkill=3\n");
  EXPECT_EQ(S().settings.name1, "Spieler 1");
  EXPECT_EQ(S().settings.name2, "Dora");
  EXPECT_EQ(S().settings.skill, 3);
  ProgramRunEndHooks();
  // A skill other than 1, 2 or 3 is normal.
  Start("[Start]\nSkill=7\n");
  EXPECT_EQ(S().settings.skill, 2);
  // An unset or relative config home means ~/.config.
  ::setenv("XDG_CONFIG_HOME", "relative", 1);
  const std::string home = std::getenv("HOME") != nullptr ? std::getenv("HOME") : "";
  EXPECT_EQ(PrefsUserSettingsPath(), home + "/.config/skirmora/Preferences.prefs");
  ::unsetenv("XDG_CONFIG_HOME");
  EXPECT_EQ(PrefsUserSettingsPath(), home + "/.config/skirmora/Preferences.prefs");
}

TEST_F(SkirmoraTest, WindowedModeOpensTheGameWindowAndClosingItEndsTheProgram) {
  Start("[Data]\nName1=Anna\nName2=Bert\n[Start]\nColor=16\nFullscreen=0\n");
  EXPECT_EQ(S().settings.name1, "Anna");
  EXPECT_EQ(S().settings.color, 16);
  ASSERT_TRUE(S().windowed);
  const platform::HeadlessWindow* w = hp_->Window(S().windowHandle);
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(w->spec.title, "Skirmora by Vorn");
  EXPECT_EQ(w->spec.width, 800);
  EXPECT_EQ(w->spec.height, 600);
  ToMenu();
  ToMatch();
  for (int i = 0; i < 5; ++i) ASSERT_TRUE(Frame());
  platform::WindowEvent close;
  close.kind = platform::EventKind::Close;
  hp_->InjectEvent(S().windowHandle, close);
  uint64_t presented = hp_->PresentCount();
  EXPECT_FALSE(Frame());
  EXPECT_EQ(S().screen, Screen::Ended);
  EXPECT_EQ(hp_->PresentCount(), presented) << "nothing is drawn after the close request";
}

TEST(SkirmoraHooksTest, LibrariesStartAndEndInTheirFixedOrder) {
  ProgramHooks hooks = SkirmoraHooks();
  ASSERT_GE(hooks.start.size(), 5u);
  const std::vector<ProgramHook> first = {DrawStartHook, ImageReaderStartHook, FrameRandomStartHook,
                                          PrefsInit, WindowInit};
  EXPECT_TRUE(std::equal(first.begin(), first.end(), hooks.start.begin()));
  const std::vector<ProgramHook> end = {MusicEnd,    WindowEnd,   Quad3DEndHook,
                                        SoundEnd,    PrefsClose,  NetworkEnd,
                                        KeyboardEnd, DrawEndHook, DisplayEndHook};
  EXPECT_TRUE(hooks.end == end);
}

// --- Splash ----------------------------------------------------------------------

TEST_F(SkirmoraTest, SplashLeavesAfterTenSecondsAndFadesOut) {
  Start();
  ASSERT_TRUE(Frame());
  uint32_t start = S().splash.startMs;
  EXPECT_EQ(S().fadeLevel, 252);
  ASSERT_TRUE(RunUntil([&] { return S().fadeLevel == 0; }, 200));
  uint32_t fadedIn = hp_->ElapsedMs();
  EXPECT_GE(fadedIn - start, 85u * 15u);
  // The splash picture stands uncovered: the frame is not the overlay grey.
  EXPECT_NE(RegionHash(0, 0, 800, 600), 0u);
  ASSERT_TRUE(RunUntil([&] { return S().splash.leaveRequest == 1; }, 2000));
  EXPECT_GE(hp_->ElapsedMs() - start, 10001u);
  EXPECT_LE(hp_->ElapsedMs() - start, 10040u);
  int frames = 0;
  ASSERT_TRUE(RunUntil(
      [&] {
        ++frames;
        return S().screen == Screen::Menu;
      },
      200));
  EXPECT_EQ(frames, 84) << "85 steps of 3, the first in the frame that asked to leave";
  // The last splash frame is covered by the overlay (RGB 8, 8, 8).
  EXPECT_EQ(Pixel(400, 300), 0x080808u);
}

TEST_F(SkirmoraTest, EscOnTheSplashSkipsToItsFadeOut) {
  Start();
  for (int i = 0; i < 10; ++i) ASSERT_TRUE(Frame());
  hp_->SetKey(kKeyEsc, true);
  ASSERT_TRUE(Frame());
  EXPECT_EQ(S().splash.leaveRequest, 0) << "a key acts when it is let go";
  hp_->SetKey(kKeyEsc, false);
  ASSERT_TRUE(Frame());
  EXPECT_EQ(S().splash.leaveRequest, 1);
  EXPECT_TRUE(RunUntil([&] { return S().screen == Screen::Menu; }, 100));
  EXPECT_LT(hp_->ElapsedMs() - S().splash.startMs, 5000u);
}

// --- Menu ------------------------------------------------------------------------

TEST_F(SkirmoraTest, MenuCursorMovesOnReleaseAndStopsAtTheEnds) {
  Start();
  ToMenu();
  hp_->SetKey(kKeyDown, true);
  for (int i = 0; i < 20; ++i) ASSERT_TRUE(Frame());
  EXPECT_EQ(S().menu.item, 1) << "holding Down does nothing until it is let go";
  hp_->SetKey(kKeyDown, false);
  ASSERT_TRUE(Frame());
  EXPECT_EQ(S().menu.item, 2);
  EXPECT_EQ(S().menu.cursorY, 140);
  for (int i = 0; i < 4; ++i) ASSERT_TRUE(Tap(kKeyDown));
  EXPECT_EQ(S().menu.item, 4);
  EXPECT_EQ(S().menu.cursorY, 220);
  for (int i = 0; i < 5; ++i) ASSERT_TRUE(Tap(kKeyUp));
  EXPECT_EQ(S().menu.item, 1);
  EXPECT_EQ(S().menu.cursorY, 100);
  // The plane cursors stand level with the selected item once the menu is clear.
  ASSERT_TRUE(RunUntil([&] { return S().fadeLevel == 0; }, 200));
  uint64_t at100 = RegionHash(720, 100, 64, 64);
  ASSERT_TRUE(Tap(kKeyDown));
  ASSERT_TRUE(Frame());
  EXPECT_NE(RegionHash(720, 100, 64, 64), at100);
}

TEST_F(SkirmoraTest, MenuPicturesToggleAndTheNetworkItemSaysWhenItsProgramIsMissing) {
  ::setenv("PATH", dir_.c_str(), 1);  // neither next to the program nor on the PATH
  Start();
  ToMenu();
  ASSERT_TRUE(RunUntil([&] { return S().fadeLevel == 0; }, 200));
  uint64_t twoPlayer = RegionHash(445, 120, 300, 29);
  ASSERT_TRUE(Tap(kKeyRight));
  EXPECT_EQ(S().menu.item1Picture, kImageItem1Player);
  EXPECT_NE(RegionHash(445, 120, 300, 29), twoPlayer);
  ASSERT_TRUE(Tap(kKeyLeft));
  EXPECT_EQ(S().menu.item1Picture, kImageItem2Player);
  EXPECT_EQ(RegionHash(445, 120, 300, 29), twoPlayer);

  ASSERT_TRUE(Tap(kKeyDown));
  ASSERT_TRUE(Tap(kKeyLeft));
  EXPECT_EQ(S().menu.item2Picture, kImageItemJoin);
  ASSERT_TRUE(Tap(kKeyEnter));
  ASSERT_EQ(hp_->MessageBoxes().size(), 1u);
  EXPECT_EQ(hp_->MessageBoxes()[0].text,
            "skirmora-join was not found, neither next to skirmora nor on the PATH.");
  ASSERT_TRUE(Tap(kKeyRight));
  for (int i = 0; i < 200; ++i) ASSERT_TRUE(Frame());
  EXPECT_EQ(S().screen, Screen::Menu);
  EXPECT_EQ(S().menu.leaveRequest, 0);
  EXPECT_EQ(S().fadeLevel, 0);
  EXPECT_EQ(S().menu.item2Picture, kImageItemHost);
  ::unsetenv("PATH");
}

// The network item hands the process over to the network program next to
// this one, which is started with the display choice of the command line.
TEST_F(SkirmoraTest, TheNetworkItemReplacesTheGameWithTheNetworkProgram) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const std::string fake = dir_ + "/skirmora-host";
  std::ofstream(fake) << "#!/bin/sh\necho \"started $0 $*\" >&2\nexit 7\n";
  std::filesystem::permissions(fake, std::filesystem::perms::owner_all);
  EXPECT_EXIT(
      {
        hp_ = &platform::UseHeadless();
        hp_->SetExecutablePath(dir_ + "/skirmora");
        ProgramStart(SkirmoraHooks());
        SkirmoraOptions options;
        options.fullscreen = 0;
        SkirmoraStart(options);
        ToMenu();
        Tap(kKeyDown);
        Tap(kKeyEnter);
        std::exit(0);  // not reached when the hand-over works
      },
      ::testing::ExitedWithCode(7), "started .*/skirmora-host --window");
}

TEST_F(SkirmoraTest, AboutShowsVersionControlsAndLicenceAndEscOrReturnGoesBack) {
  Start("[Keys]\nRed Fire = Space\nBlue Left = Q\n");
  ToMenu();
  ASSERT_TRUE(RunUntil([&] { return S().fadeLevel == 0; }, 200));
  ASSERT_TRUE(Tap(kKeyDown));
  ASSERT_TRUE(Tap(kKeyDown));
  ASSERT_EQ(S().menu.item, 3);
  for (int back : {kKeyEsc, kKeyEnter}) {
    ASSERT_TRUE(Tap(kKeyEnter));
    ASSERT_EQ(S().screen, Screen::About);
    for (int i = 0; i < 40; ++i) ASSERT_TRUE(Frame());
    EXPECT_TRUE(ShowsText(std::string("Skirmora ") + ProgramVersion(), 80, 80));
    EXPECT_TRUE(ShowsText("Red (Spieler 1):  Left / Right turn, Space fires", 80, 164));
    EXPECT_TRUE(ShowsText("Blue (Spieler 2):  Q / D turn, Left Ctrl fires", 80, 192));
    EXPECT_TRUE(ShowsText(
        "any later version (GPL-3.0-or-later). It comes with ABSOLUTELY NO WARRANTY.", 80, 416));
    ASSERT_TRUE(Tap(back));
    EXPECT_EQ(S().screen, Screen::Menu);
    EXPECT_EQ(S().menu.item, 3) << "back where the menu was left";
    ASSERT_TRUE(RunUntil([&] { return S().fadeLevel == 0; }, 200));
  }
  // Esc on the menu still ends the game at once.
  hp_->SetKey(kKeyEsc, true);
  ASSERT_TRUE(Frame());
  hp_->SetKey(kKeyEsc, false);
  EXPECT_FALSE(Frame());
}

TEST_F(SkirmoraTest, MenuPicturesAreKeyedAndTheMenuSetsItsSoundVolumes) {
  Start();
  ToMenu();
  EXPECT_EQ(SoundAttenuation(5), AttenuationOf(30));
  EXPECT_EQ(SoundAttenuation(6), AttenuationOf(100));
  EXPECT_EQ(SoundAttenuation(3), AttenuationOf(100));
  ASSERT_TRUE(RunUntil([&] { return S().fadeLevel == 0; }, 200));
  // The black around the lettering is not drawn: the background shows there.
  for (int y : {120, 160, 200, 240}) {
    EXPECT_NE(Pixel(445, y), 0u) << "item picture at y " << y;
    EXPECT_NE(Pixel(744, y + 28), 0u) << "item picture at y " << y;
  }
  EXPECT_NE(Pixel(440, 10), 0u) << "logo";
}

// The menu as it is seen, frame for frame, through a fade-in, cursor moves,
// picture toggles, switches to a window and back, a visit to the About page
// and the fade-out: the hash of every presented frame stays what it was when
// the menu was composed anew in full every frame. The headless platform copies
// only the part of a picture that the display says may have changed, so a
// frame that leaves out a change is caught here too.
TEST_F(SkirmoraTest, MenuShowsTheSamePixelsInEveryFrame) {
  Start();
  ToMenu();
  uint64_t hash = 1469598103934665603ull;
  int frames = 0;
  auto run = [&](int count) {
    for (int i = 0; i < count; ++i) {
      ASSERT_TRUE(Frame());
      const platform::CapturedFrame* f = LastFrame();
      ASSERT_NE(f, nullptr);
      hash = (hash ^ FrameHash(*f)) * 1099511628211ull;
      ++frames;
    }
  };
  auto tap = [&](int key) {
    hp_->SetKey(key, true);
    run(1);
    hp_->SetKey(key, false);
    run(1);
  };
  run(140);  // the fade-in ends
  // Once the menu stands still only the propellers turn, and only the part
  // of the screen around them is handed on as changed.
  const platform::Rect changed = LastFrame()->changed;
  EXPECT_GT(changed.width * changed.height, 0);
  EXPECT_LT(changed.width * changed.height, 800 * 600 / 10);
  tap(kKeyDown);
  run(9);
  tap(kKeyRight);
  run(9);
  tap(kKeyUp);
  tap(kKeyLeft);
  run(9);
  tap(platform::kScanF11);
  run(9);
  tap(platform::kScanF11);
  run(9);
  for (int i = 0; i < 2; ++i) tap(kKeyDown);
  tap(kKeyEnter);  // the About page
  ASSERT_EQ(S().screen, Screen::About);
  run(20);
  tap(kKeyEsc);
  ASSERT_EQ(S().screen, Screen::Menu);
  run(140);  // faded in again
  for (int i = 0; i < 2; ++i) tap(kKeyUp);
  tap(kKeyEnter);
  while (S().screen == Screen::Menu && frames < 600) run(1);
  EXPECT_EQ(S().screen, Screen::Match);
  EXPECT_EQ(frames, 498);
  EXPECT_EQ(hash, 13907699488157081954ull);
}

TEST_F(SkirmoraTest, SelectionMadeDuringTheFadeOutDecides) {
  Start();
  ToMenu();
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(Tap(kKeyDown));
  ASSERT_TRUE(Tap(kKeyEnter));
  EXPECT_EQ(S().menu.leaveRequest, 1);
  ASSERT_TRUE(Tap(kKeyUp));  // item 3 when the screen turns black
  ASSERT_TRUE(RunUntil([&] { return S().screen != Screen::Menu; }, 300));
  EXPECT_EQ(S().screen, Screen::Match);
  EXPECT_EQ(S().menu.result, 3);
}

TEST_F(SkirmoraTest, ExitItemAndEscLeaveTheProgram) {
  Start();
  ToMenu();
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(Tap(kKeyDown));
  ASSERT_TRUE(Tap(kKeyEnter));
  int frames = 2;
  while (Frame()) ++frames;
  EXPECT_EQ(S().screen, Screen::Ended);
  EXPECT_EQ(S().menu.result, 4);
  EXPECT_LE(frames, 130);

  ProgramRunEndHooks();
  Start();
  ToMenu();
  hp_->SetKey(kKeyEsc, true);
  ASSERT_TRUE(Frame());
  hp_->SetKey(kKeyEsc, false);
  uint64_t presented = hp_->PresentCount();
  EXPECT_FALSE(Frame());
  EXPECT_EQ(hp_->PresentCount(), presented) << "Esc ends the menu at once";
}

// --- Match -----------------------------------------------------------------------

TEST_F(SkirmoraTest, FirstMatchFrameShowsFpsZeroAndSetsEngineRates) {
  Start();
  ToMenu();
  ToMatch();
  EXPECT_EQ(S().match.shownFpsText, "0");
  EXPECT_EQ(S().planes[0].lastEngineFrequency, 30000);
  EXPECT_EQ(S().planes[1].lastEngineFrequency, 30000);
  // The first tick spans the set-up pause: it keeps the assumed 63 frames per second.
  EXPECT_EQ(S().clock.movementFactor, 160.0f / 63.0f);
  EXPECT_EQ(S().planes[0].speed, 160.0f / 63.0f);
  // Player 1 turns to fly straight down (90): the engine climbs to 48,000 Hz.
  hp_->SetKey(kKeyLeft, true);
  for (int i = 0; i < 90; ++i) ASSERT_TRUE(Frame());
  hp_->SetKey(kKeyLeft, false);
  EXPECT_EQ(S().planes[0].heading, 90.0f);
  EXPECT_EQ(S().planes[0].diveMeasure, 0);
  EXPECT_EQ(S().planes[0].lastEngineFrequency, 48000);
  // After two changes of the wall-clock second the figure is a whole second's count.
  for (int i = 0; i < 130; ++i) ASSERT_TRUE(Frame());
  int fps = std::stoi(S().match.shownFpsText);
  EXPECT_GE(fps, 55);
  EXPECT_LE(fps, 62);
}

TEST_F(SkirmoraTest, MatchSetsItsSoundVolumesAndShowsNamesAndEnergies) {
  Start("[Data]\nName1=J\xFCrgen\nName2=Bert\n");
  ToMenu();
  ToMatch();
  EXPECT_EQ(SoundAttenuation(5), AttenuationOf(50));
  EXPECT_EQ(SoundAttenuation(6), AttenuationOf(50));
  EXPECT_EQ(SoundAttenuation(3), AttenuationOf(100));
  EXPECT_EQ(SoundAttenuation(4), AttenuationOf(100));
  EXPECT_EQ(SoundAttenuation(1), AttenuationOf(30));
  EXPECT_EQ(SoundAttenuation(2), AttenuationOf(30));
  ASSERT_TRUE(RunUntil([&] { return S().fadeLevel == 0; }, 40));
  S().planes[0].energy = -10;
  ASSERT_TRUE(Frame());
  EXPECT_TRUE(ShowsText("FPS: " + S().match.shownFpsText, 0, 0));
  EXPECT_TRUE(ShowsText("J\xFCrgen", 70, 10));
  EXPECT_TRUE(ShowsText("Energie: -10", 70, 30));
  EXPECT_TRUE(ShowsText("Bert", 650, 10));
  EXPECT_TRUE(ShowsText("Energie: 100", 650, 30));
  EXPECT_FALSE(ShowsText("Energie: 100", 70, 30));
}

TEST_F(SkirmoraTest, TurningWrapsAndPlanesWrapRoundTheScreen) {
  Start();
  ToMenu();
  ToMatch();
  // Player 2 (heading 0) turns anticlockwise once: 360, not 0.
  hp_->SetKey(kKeyA, true);
  ASSERT_TRUE(Frame());
  hp_->SetKey(kKeyA, false);
  EXPECT_EQ(S().planes[1].heading, 360.0f);
  hp_->SetKey(kKeyD, true);
  ASSERT_TRUE(Frame());
  hp_->SetKey(kKeyD, false);
  EXPECT_EQ(S().planes[1].heading, 0.0f);
  // Flying right it leaves past x 832 and comes back at -32 with the same y.
  bool wrapped = false;
  float lastX = S().planes[1].x;
  float lastY = S().planes[1].y;
  for (int i = 0; i < 400 && !wrapped; ++i) {
    ASSERT_TRUE(Frame());
    if (S().planes[1].x < lastX) {
      wrapped = true;
      EXPECT_EQ(S().planes[1].x, -32.0f);
      EXPECT_GT(lastX, 832.0f - 3.0f);
      EXPECT_EQ(S().planes[1].y, lastY);
    }
    lastX = S().planes[1].x;
    lastY = S().planes[1].y;
  }
  EXPECT_TRUE(wrapped);
}

TEST_F(SkirmoraTest, FireLatchAndTheLimitOfSixShots) {
  Start();
  ToMenu();
  ToMatch();
  // Player 2 flies right along y 400: its shots fly away from both planes.
  hp_->SetKey(kKeyLeftCtrl, true);
  for (int i = 0; i < 10; ++i) ASSERT_TRUE(Frame());
  EXPECT_EQ(ListCount(L().shots), 1) << "holding the key fires once";
  hp_->SetKey(kKeyLeftCtrl, false);
  ASSERT_TRUE(Frame());
  for (int i = 0; i < 8; ++i) ASSERT_TRUE(Tap(kKeyLeftCtrl));
  EXPECT_EQ(ListCount(L().shots), 6);
  EXPECT_EQ(S().planes[1].liveShotCount, 6);
  EXPECT_EQ(S().planes[1].energy, 100);
  // Held through the limit, the next shot comes when the first one expires.
  hp_->SetKey(kKeyLeftCtrl, true);
  ASSERT_TRUE(RunUntil([&] { return ListCount(L().shots) < 6; }, 300));
  ASSERT_TRUE(Frame());
  EXPECT_EQ(ListCount(L().shots), 6);
}

// A controller's south button is Return on the menu and fire in a match: let
// go on the menu, it starts a match without a shot.
TEST_F(SkirmoraTest, ControllerSouthButtonStartsAMatchWithoutAShotThenFiresItsOwnPlane) {
  Start();
  const int red = hp_->ControllerPlugIn();
  const int blue = hp_->ControllerPlugIn();
  ToMenu();
  hp_->ControllerSetButton(red, platform::kPadSouth, true);
  for (int i = 0; i < 20; ++i) ASSERT_TRUE(Frame());
  hp_->ControllerSetButton(red, platform::kPadSouth, false);
  ASSERT_TRUE(RunUntil([&] { return S().screen == Screen::Match; }, 300));
  for (int i = 0; i < 60; ++i) ASSERT_TRUE(Frame());
  EXPECT_EQ(ListCount(L().shots), 0);

  hp_->ControllerSetButton(red, platform::kPadSouth, true);
  for (int i = 0; i < 10; ++i) ASSERT_TRUE(Frame());
  EXPECT_EQ(S().planes[0].liveShotCount, 1) << "held, it fires once";
  EXPECT_EQ(S().planes[1].liveShotCount, 0);
  hp_->ControllerSetAxis(blue, platform::kAxisRightTrigger, 32767);
  ASSERT_TRUE(Frame());
  EXPECT_EQ(S().planes[1].liveShotCount, 1);
}

TEST_F(SkirmoraTest, HitsCostTenEnergyAndShowAnExplosionInTheSameFrame) {
  Start();
  ToMenu();
  ToMatch();
  // Player 2 sits in front of player 1's guns.
  S().planes[1].x = 480.0f;
  S().planes[1].y = 150.0f;
  S().planes[1].heading = 180.0f;
  S().planes[0].heading = 180.0f;
  ASSERT_TRUE(Tap(kKeyRightCtrl));
  ASSERT_TRUE(RunUntil([&] { return S().planes[1].energy < 100; }, 60));
  EXPECT_EQ(S().planes[1].energy, 90);
  EXPECT_EQ(S().planes[0].energy, 100) << "player 1 does not hit itself firing ahead";
  EXPECT_EQ(ListCount(L().shots), 0);
  EXPECT_EQ(ListCount(L().blasts), 1);
  // The blast pass of the same frame already showed image 161.
  BlastItem* blast = ListCurrent(L().blasts);
  ASSERT_NE(blast, nullptr);
  EXPECT_EQ(blast->frame, 162.0f);
}

TEST_F(SkirmoraTest, OwnShotsHitTheShooter) {
  Start();
  ToMenu();
  ToMatch();
  // A shot of player 1 coming head-on at player 1.
  ListReset(L().shots);
  while (ListNext(L().shots)) {
  }
  ShotItem* shot = ListAdd(L().shots);
  shot->x = S().planes[0].x - 40.0f;
  shot->y = S().planes[0].y + 28.0f;
  shot->owner = 0.0f;
  shot->heading = 0.0f;
  shot->speed = 4.0f;
  ASSERT_TRUE(RunUntil([&] { return S().planes[0].energy < 100; }, 30));
  EXPECT_EQ(S().planes[0].energy, 90);
  EXPECT_EQ(ListCount(L().shots), 0);
}

TEST_F(SkirmoraTest, BothPlanesDownedInOneFrameAndTheMatchEndsPastY700) {
  Start();
  ToMenu();
  ToMatch();
  ASSERT_TRUE(RunUntil([&] { return S().fadeLevel == 0; }, 40));
  // Both planes on one spot, one shot over both: both fall to 0 in one frame.
  S().planes[0].energy = 10;
  S().planes[1].energy = 10;
  S().planes[1].x = S().planes[0].x;
  S().planes[1].y = S().planes[0].y;
  S().planes[1].heading = 180.0f;
  ShotItem* shot = ListAdd(L().shots);
  shot->x = S().planes[0].x + 28.0f - 4.0f;
  shot->y = S().planes[0].y + 28.0f;
  shot->heading = 0.0f;
  shot->speed = 4.0f;
  ASSERT_TRUE(Frame());
  EXPECT_EQ(S().planes[0].energy, 0);
  EXPECT_EQ(S().planes[1].energy, 0);
  EXPECT_EQ(S().match.downedPlayer, 1);
  EXPECT_EQ(S().planes[0].heading, S().planes[1].heading);
  EXPECT_EQ(ListCount(L().smoke), 1);
  EXPECT_EQ(S().fadeLevel, 0);
  // Both dive towards 90 degrees and fall out at the bottom; no fade-out.
  ASSERT_TRUE(RunUntil([&] { return S().screen == Screen::Menu; }, 2000));
  EXPECT_GT(S().planes[0].y, 700.0f);
  EXPECT_LE(S().planes[0].y, 704.0f);
  EXPECT_GE(S().planes[0].heading, 89.0f);
  EXPECT_LE(S().planes[0].heading, 91.0f);
  EXPECT_EQ(S().fadeLevel, 0) << "the match ended without fading out";
  ASSERT_TRUE(Frame());
  EXPECT_EQ(S().fadeLevel, 253) << "the menu fades in from black";
}

TEST_F(SkirmoraTest, DownedPlaneCannotFireAndAnEleventhHitGivesMinusTen) {
  Start();
  ToMenu();
  ToMatch();
  S().planes[1].energy = 10;
  S().planes[1].x = 480.0f;
  S().planes[1].y = 150.0f;
  S().planes[1].heading = 180.0f;
  S().planes[0].heading = 180.0f;
  ASSERT_TRUE(Tap(kKeyRightCtrl));
  ASSERT_TRUE(RunUntil([&] { return S().match.downedPlayer == 2; }, 60));
  EXPECT_EQ(S().planes[1].energy, 0);
  size_t before = static_cast<size_t>(ListCount(L().shots));
  ASSERT_TRUE(Tap(kKeyLeftCtrl));
  EXPECT_EQ(static_cast<size_t>(ListCount(L().shots)), before);
  // Another hit while it falls.
  ShotItem* shot = ListAdd(L().shots);
  shot->x = S().planes[1].x + 28.0f;
  shot->y = S().planes[1].y + 28.0f;
  shot->heading = 0.0f;
  shot->speed = 0.0f;
  ASSERT_TRUE(Frame());
  EXPECT_EQ(S().planes[1].energy, -10);
}

TEST_F(SkirmoraTest, EscFadesTheMatchOutOverThirtyTwoFrames) {
  Start();
  ToMenu();
  ToMatch();
  ASSERT_TRUE(RunUntil([&] { return S().fadeLevel == 0; }, 40));
  hp_->SetKey(kKeyEsc, true);
  ASSERT_TRUE(Frame());
  hp_->SetKey(kKeyEsc, false);
  int frames = 0;
  while (S().screen == Screen::Match) {
    ASSERT_TRUE(Frame());
    ++frames;
    ASSERT_LT(frames, 100);
  }
  EXPECT_EQ(frames, 32);
  EXPECT_EQ(Pixel(400, 300), 0x080808u);
  EXPECT_EQ(S().matches, 1);
  // Back on the menu with the first picture and item.
  ASSERT_TRUE(Frame());
  EXPECT_EQ(S().menu.item, 1);
  EXPECT_EQ(S().menu.item1Picture, kImageItem2Player);
}

// A scripted player: turns towards the other plane and fires in short bursts
// when the nose points at it, as a person at the keyboard would.
void AimAndFire(platform::HeadlessPlatform& hp, const PlaneState& me, const PlaneState& other,
                int frame, int left, int right, int fire) {
  float dx = other.x - me.x;
  float dy = other.y - me.y;
  float target = std::atan2(dy, dx) * 180.0f / 3.14159265f;
  float diff = std::fmod(target - me.heading + 540.0f, 360.0f) - 180.0f;
  hp.SetKey(left, diff < -3.0f);
  hp.SetKey(right, diff > 3.0f);
  hp.SetKey(fire, std::fabs(diff) < 12.0f && frame % 6 < 3);
}

// Plays the splash, the menu and one whole match; returns the hash of every
// presented frame.
std::vector<uint64_t> ScriptedMatch(platform::HeadlessPlatform& hp,
                                    const std::function<const platform::CapturedFrame*()>& last) {
  std::vector<uint64_t> hashes;
  SkirmoraState& s = SkirmoraGameState();
  for (int frame = 0; frame < 6000; ++frame) {
    hp.ReleaseAllKeys();
    if (s.screen == Screen::Splash) hp.SetKey(kKeyEsc, frame == 5);
    if (s.screen == Screen::Menu) hp.SetKey(kKeyEnter, frame % 60 == 40);
    if (s.screen == Screen::Match) {
      AimAndFire(hp, s.planes[0], s.planes[1], frame, kKeyLeft, kKeyRight, kKeyRightCtrl);
      AimAndFire(hp, s.planes[1], s.planes[0], frame + 3, kKeyA, kKeyD, kKeyLeftCtrl);
    }
    if (!SkirmoraFrame()) break;
    if (const platform::CapturedFrame* f = last()) hashes.push_back(FrameHash(*f));
    if (s.screen == Screen::Menu && s.matches > 0) break;
  }
  return hashes;
}

TEST_F(SkirmoraTest, ScriptedMatchGivesTheSameFramesOnEveryRun) {
  auto last = [&] { return LastFrame(); };
  Start();
  std::vector<uint64_t> first = ScriptedMatch(*hp_, last);
  const int32_t energy1 = S().planes[0].energy;
  const int32_t energy2 = S().planes[1].energy;
  const int32_t downed = S().match.downedPlayer;
  ASSERT_EQ(S().screen, Screen::Menu) << "the match ended";
  ASSERT_NE(downed, 0) << "by a plane falling off the screen";
  EXPECT_LE(std::min(energy1, energy2), 0);
  ProgramRunEndHooks();
  Start();
  std::vector<uint64_t> second = ScriptedMatch(*hp_, last);
  EXPECT_EQ(first.size(), second.size());
  EXPECT_TRUE(first == second) << "the frames differ between two runs";
  EXPECT_EQ(S().planes[0].energy, energy1);
  EXPECT_EQ(S().planes[1].energy, energy2);
  EXPECT_EQ(S().match.downedPlayer, downed);
}

// The scripted match as it is seen: the hash of all its presented frames
// stays what it was when every frame was composed from scratch.
TEST_F(SkirmoraTest, ScriptedMatchShowsTheSamePixelsAsEver) {
  auto last = [&] { return LastFrame(); };
  Start();
  const std::vector<uint64_t> frames = ScriptedMatch(*hp_, last);
  uint64_t hash = 1469598103934665603ull;
  for (uint64_t h : frames) hash = (hash ^ h) * 1099511628211ull;
  EXPECT_EQ(frames.size(), 719u);
  EXPECT_EQ(hash, 14636408691698626966ull);
}

// One line of a frame's rule state: both planes, the downed player, the fade
// and the lengths of the three lists (counting does not move a list's cursor,
// which the game relies on).
std::string StateLine(int frame, const SkirmoraState& s, const SkirmoraLists& l) {
  auto number = [](float v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.9g", static_cast<double>(v));
    return std::string(text);
  };
  auto plane = [&number](const PlaneState& p) {
    return number(p.x) + "," + number(p.y) + " h" + number(p.heading) + " v" + number(p.speed) +
           " e" + std::to_string(p.energy) + " i" + std::to_string(p.frameImage) + " d" +
           std::to_string(p.diveMeasure) + " l" + std::to_string(p.fireLatch) + " n" +
           std::to_string(p.liveShotCount);
  };
  char head[16];
  std::snprintf(head, sizeof head, "%04d", frame);
  return std::string(head) + " red " + plane(s.planes[0]) + " blue " + plane(s.planes[1]) +
         " downed " + std::to_string(s.match.downedPlayer) + " fade " +
         std::to_string(s.fadeLevel) + " shots " + std::to_string(ListCount(l.shots)) + " blasts " +
         std::to_string(ListCount(l.blasts)) + " smoke " + std::to_string(ListCount(l.smoke));
}

// A golden replay: the scripted match's rule state, one line per match frame,
// must stay exactly what is kept in local_match.golden, so that a change to any
// rule of turning, movement, shots, hits, downing or fading names the first
// frame it changes. If such a change is intended, check the new behaviour and
// write the transcript anew with SKIRMORA_UPDATE_GOLDEN=1.
TEST_F(SkirmoraTest, ScriptedMatchKeepsItsGoldenStateSequence) {
  const std::string path = SKIRMORA_SOURCE_DIR "/tests/game/local_match.golden";
  Start();
  std::vector<std::string> transcript;
  SkirmoraState& s = S();
  for (int frame = 0; frame < 6000; ++frame) {
    hp_->ReleaseAllKeys();
    if (s.screen == Screen::Splash) hp_->SetKey(kKeyEsc, frame == 5);
    if (s.screen == Screen::Menu) hp_->SetKey(kKeyEnter, frame % 60 == 40);
    if (s.screen == Screen::Match) {
      AimAndFire(*hp_, s.planes[0], s.planes[1], frame, kKeyLeft, kKeyRight, kKeyRightCtrl);
      AimAndFire(*hp_, s.planes[1], s.planes[0], frame + 3, kKeyA, kKeyD, kKeyLeftCtrl);
    }
    if (!SkirmoraFrame()) break;
    if (s.screen == Screen::Match) transcript.push_back(StateLine(frame, s, L()));
    if (s.screen == Screen::Menu && s.matches > 0) break;
  }
  ASSERT_EQ(s.screen, Screen::Menu) << "the match ended";
  if (std::getenv("SKIRMORA_UPDATE_GOLDEN") != nullptr) {
    std::ofstream out(path);
    for (const std::string& line : transcript) out << line << '\n';
    GTEST_SKIP() << "transcript written to " << path;
  }
  std::vector<std::string> golden;
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);) golden.push_back(line);
  ASSERT_FALSE(golden.empty()) << "no transcript at " << path;
  for (size_t i = 0; i < transcript.size() && i < golden.size(); ++i) {
    ASSERT_EQ(transcript[i], golden[i]) << "first difference at transcript line " << i + 1;
  }
  EXPECT_EQ(transcript.size(), golden.size());
}

// Keys of one's own: the golden match played with every key moved elsewhere
// in the [Keys] group (today's keys pressed as well, to no effect) gives the
// very same match, frame for frame.
TEST_F(SkirmoraTest, KeysFromTheSettingsFilePlayTheGoldenMatch) {
  const std::string path = SKIRMORA_SOURCE_DIR "/tests/game/local_match.golden";
  ::testing::internal::CaptureStderr();
  Start(
      "[Keys]\n; red\nRed Left = J\nRed Right = l\nRed Fire = Space\n"
      "Blue Left = Q\nBlue Right = E\nBlue Fire = Tab\n");
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
  std::vector<std::string> transcript;
  SkirmoraState& s = S();
  namespace pf = platform;
  for (int frame = 0; frame < 6000; ++frame) {
    hp_->ReleaseAllKeys();
    if (s.screen == Screen::Splash) hp_->SetKey(kKeyEsc, frame == 5);
    if (s.screen == Screen::Menu) hp_->SetKey(kKeyEnter, frame % 60 == 40);
    if (s.screen == Screen::Match) {
      AimAndFire(*hp_, s.planes[0], s.planes[1], frame, pf::kScanJ, pf::kScanL, pf::kScanSpace);
      AimAndFire(*hp_, s.planes[1], s.planes[0], frame + 3, pf::kScanQ, pf::kScanE, pf::kScanTab);
      // Today's keys, held in the opposite sense, no longer steer.
      hp_->SetKey(kKeyLeft, frame % 2 == 0);
      hp_->SetKey(kKeyA, frame % 2 == 1);
      hp_->SetKey(kKeyRightCtrl, true);
    }
    if (!SkirmoraFrame()) break;
    if (s.screen == Screen::Match) transcript.push_back(StateLine(frame, s, L()));
    if (s.screen == Screen::Menu && s.matches > 0) break;
  }
  ASSERT_EQ(s.screen, Screen::Menu) << "the match ended";
  std::vector<std::string> golden;
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);) golden.push_back(line);
  ASSERT_FALSE(golden.empty()) << "no transcript at " << path;
  for (size_t i = 0; i < transcript.size() && i < golden.size(); ++i) {
    ASSERT_EQ(transcript[i], golden[i]) << "first difference at transcript line " << i + 1;
  }
  EXPECT_EQ(transcript.size(), golden.size());
}

// An unknown key name and a key given twice are each reported once; those
// actions keep today's keys, the others take the chosen ones.
TEST_F(SkirmoraTest, UnknownAndDoubleKeysAreReportedOnceAndKeepTheirDefaults) {
  ::testing::internal::CaptureStderr();
  Start(
      "[Keys]\nRed Left = Banana\nRed Fire = Space\nBlue Fire = space\nBlue Left = Escape\n"
      "Blue Right = P\nRed Right = Keypad 6\n");
  const std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(err,
            "skirmora: Preferences.prefs: [Keys] Red Left = Banana: no key has that name; Red Left "
            "stays on Left\n"
            "skirmora: Preferences.prefs: [Keys] Red Fire = Space: that key is already Blue Fire; "
            "Red Fire stays on Right Ctrl\n"
            "skirmora: Preferences.prefs: [Keys] Blue Left = Escape: that key is already Esc "
            "(leave); Blue Left stays on A\n"
            "skirmora: Preferences.prefs: [Keys] Blue Right = P: that key is already pause; Blue "
            "Right stays on D\n");
  EXPECT_EQ(S().keys.red.left, kKeyLeft);
  EXPECT_EQ(S().keys.red.right, 0x4D);  // keypad 6
  EXPECT_EQ(S().keys.red.fire, kKeyRightCtrl);
  EXPECT_EQ(S().keys.blue.left, kKeyA);
  EXPECT_EQ(S().keys.blue.right, kKeyD);
  EXPECT_EQ(S().keys.blue.fire, kKeySpace);
  // Nothing more is said later on.
  ::testing::internal::CaptureStderr();
  ToMenu();
  ToMatch();
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
}

// Keys swapped between the players are no double keys; a chosen key that
// takes another's default, which then stays, is one.
TEST(KeyBindings, SwappedKeysAreFineAndTakingAnotherDefaultIsReported) {
  platform::UseHeadless();
  ProgramStart(ProgramHooks{{PrefsInit}, {PrefsClose}});
  const std::string dir = ::testing::TempDir();
  std::ofstream(dir + "/keys.prefs") << "[Keys]\nRed Fire = Left Ctrl\nBlue Fire = Right Ctrl\n"
                                        "Red Left = d\nNet Fire = Return\nNet Left = A\n";
  ASSERT_NE(PrefsOpen(dir + "/keys.prefs"), 0);
  std::vector<std::string> reports;
  KeyBindings local = ReadKeyBindings(KeySet::Local, reports);
  EXPECT_EQ(local.red.fire, kKeyLeftCtrl);
  EXPECT_EQ(local.blue.fire, kKeyRightCtrl);
  EXPECT_EQ(local.red.left, kKeyLeft);
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0],
            "[Keys] Red Left = D: that key is already Blue Right; Red Left stays on Left");
  reports.clear();
  KeyBindings net = ReadKeyBindings(KeySet::Network, reports);
  EXPECT_EQ(net.net.left, kKeyA);
  EXPECT_EQ(net.net.right, kKeyRight);
  EXPECT_EQ(net.net.fire, kKeySpace);
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0],
            "[Keys] Net Fire = Return: that key is already Return (start, ready); Net Fire stays "
            "on Space");
  PrefsClose();
  std::remove((dir + "/keys.prefs").c_str());
}

// P pauses: the rules stand still, the picture stays with "Pause" over it,
// the engines fall silent while the music plays on; P again (or Pause)
// resumes where it stood, and Esc still leaves.
TEST_F(SkirmoraTest, PStopsTheMatchFrameAndResumesIt) {
  Start();
  ToMenu();
  ToMatch();
  hp_->SetKey(kKeyLeft, true);
  for (int i = 0; i < 10; ++i) ASSERT_TRUE(Frame());
  ASSERT_TRUE(Tap(platform::kScanP));
  ASSERT_TRUE(S().paused);
  const PlaneState before = S().planes[0];
  const uint32_t music = MixerMusicPlayPosition();
  for (int i = 0; i < 30; ++i) ASSERT_TRUE(Frame());
  EXPECT_EQ(S().planes[0].x, before.x);
  EXPECT_EQ(S().planes[0].heading, before.heading);
  EXPECT_TRUE(ShowsText("Pause", 376, 290));
  EXPECT_FALSE(media::MixerVoicePlaying(kSoundEngine1));
  EXPECT_FALSE(media::MixerVoicePlaying(kSoundEngine2));
  hp_->PullAudio(4410);
  EXPECT_NE(MixerMusicPlayPosition(), music) << "the music goes on";
  hp_->SetKey(kKeyLeft, false);
  ASSERT_TRUE(Tap(platform::kScanPause));
  EXPECT_FALSE(S().paused);
  EXPECT_TRUE(media::MixerVoicePlaying(kSoundEngine1));
  ASSERT_TRUE(Frame());
  EXPECT_NE(S().planes[0].x, before.x);
  // Esc during a pause ends the pause and fades the match out.
  ASSERT_TRUE(Tap(platform::kScanP));
  ASSERT_TRUE(Tap(kKeyEsc));
  EXPECT_FALSE(S().paused);
  ASSERT_TRUE(RunUntil([&] { return S().screen == Screen::Menu; }, 100));
}

// In the menu Alt+Enter switches to a window and back and is no Return: the
// menu does not start a match.
TEST_F(SkirmoraTest, AltEnterAndF11SwitchTheScreenAndAltEnterIsNoReturn) {
  Start();
  ToMenu();
  int internal = 0;
  for (const auto& [id, win] : hp_->Windows()) {
    if (win.frame.sequence > 0) internal = id;
  }
  ASSERT_TRUE(hp_->Window(internal)->fullscreen);
  hp_->SetKey(platform::kScanLeftAlt, true);
  ASSERT_TRUE(Tap(kKeyEnter));
  hp_->SetKey(platform::kScanLeftAlt, false);
  for (int i = 0; i < 100; ++i) ASSERT_TRUE(Frame());
  EXPECT_EQ(S().screen, Screen::Menu);
  EXPECT_EQ(S().menu.leaveRequest, 0);
  const platform::HeadlessWindow* w = hp_->Window(internal);
  EXPECT_FALSE(w->fullscreen);
  EXPECT_FALSE(w->spec.borderless);
  EXPECT_TRUE(w->spec.resizable);
  EXPECT_EQ(w->bounds.width, 800);
  EXPECT_EQ(w->bounds.height, 600);
  EXPECT_EQ(w->bounds.x, (1920 - 800) / 2);
  EXPECT_TRUE(w->frame.fitToWindow);
  ASSERT_TRUE(Tap(platform::kScanF11));
  EXPECT_TRUE(hp_->Window(internal)->fullscreen);
  EXPECT_TRUE(hp_->Window(internal)->spec.borderless);
  // Plain Return still starts the match.
  ToMatch();
  EXPECT_EQ(S().screen, Screen::Match);
}

// With Fullscreen = 0 the window can be resized and maximised and the
// picture is fitted into it; on a 4K desktop it opens at twice its size, and
// Alt+Enter makes it cover the desktop and gives it back.
TEST_F(SkirmoraTest, TheWindowIsResizableTwiceAsLargeOn4KAndSwitchesToFullScreen) {
  hp_ = &platform::UseHeadless();
  hp_->SetDesktop({0, 0, 3840, 2160});
  hp_->SetExecutablePath(dir_ + "/skirmora");
  std::ofstream(dir_ + "/Preferences.prefs") << "[Start]\nFullscreen=1\n";
  ProgramStart(SkirmoraHooks());
  SkirmoraOptions options;
  options.fullscreen = 0;  // --window wins over the setting
  ASSERT_TRUE(SkirmoraStart(options));
  ASSERT_TRUE(S().windowed);
  const platform::HeadlessWindow* w = hp_->Window(S().windowHandle);
  ASSERT_NE(w, nullptr);
  EXPECT_TRUE(w->spec.resizable);
  EXPECT_EQ(w->spec.width, 1600);
  EXPECT_EQ(w->spec.height, 1200);
  ASSERT_TRUE(Frame());
  EXPECT_TRUE(w->frame.fitToWindow);
  EXPECT_EQ(w->frame.width, 800);
  hp_->SetKey(platform::kScanRightAlt, true);
  ASSERT_TRUE(Tap(kKeyEnter));
  EXPECT_TRUE(hp_->Window(S().windowHandle)->fullscreen);
  ASSERT_TRUE(Tap(kKeyEnter));
  hp_->SetKey(platform::kScanRightAlt, false);
  EXPECT_FALSE(hp_->Window(S().windowHandle)->fullscreen);
  EXPECT_EQ(S().screen, Screen::Splash) << "Alt+Enter does not leave the splash either";
}

}  // namespace
}  // namespace game
