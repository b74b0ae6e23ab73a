#pragma once
// The local two-player game: start-up, the screens (splash, menu, match) and
// the way out. The program's main() only chooses the platform and calls
// SkirmoraMain(); tests and benchmarks drive the same code frame by frame on
// the headless platform.

#include <cstdint>
#include <string>

#include "game/controls.h"
#include "game/opponent.h"
#include "game/records.h"
#include "game/replay.h"
#include "game/replay_file.h"
#include "game/rules.h"
#include "media/display.h"
#include "runtime/lists.h"
#include "runtime/program.h"

namespace game {

enum class Screen {
  Splash,
  Menu,
  Match,
  About,  // the page of "About this Game"
  Ended,  // the way out has been taken
};

// What the command line chose for one run.
struct SkirmoraOptions {
  int fullscreen = -1;  // 1 full screen, 0 a window, -1 as the Fullscreen setting says
  // Writes every match to a replay file (the program does; tests choose).
  bool recordReplays = false;
  // Shows this replay instead of the splash and the menu, then ends. It must
  // outlive the frames.
  const Replay* replay = nullptr;
};

// What the menu drew in its last frame. A frame in which nothing but the
// propellers turn redraws only the parts of the screen under them.
struct MenuShown {
  bool drawn = false;
  uint64_t frame = 0;  // ScreenFrameCount() when it was drawn
  int32_t item1Picture = 0;
  int32_t item2Picture = 0;
  int32_t cursorY = 0;
  ScreenArea propellers[2];  // where the two propellers could have drawn
};

// Everything the game keeps between frames and screens.
struct SkirmoraState {
  GameSettings settings;
  bool windowed = false;
  int32_t windowHandle = 0;  // the game window (windowed mode only)
  Screen screen = Screen::Splash;
  bool setUpPending = true;  // the current screen's set-up has not run yet
  FrameClock clock;
  FadeLevel fadeLevel = 0;
  FpsCounter fps;
  SplashState splash;
  MenuState menu;
  MenuShown menuShown;
  MatchState match;
  PlaneState planes[2];
  // The computer flies the blue plane in this match ("Start 1 Player Game").
  bool computerPlayer2 = false;
  OpponentState opponent;
  uint32_t opponentSeed = 0;
  bool musicLoaded = false;
  // Every match is recorded when `recordReplays` is set; a replay being
  // played takes the place of the menu and the players.
  bool recordReplays = false;
  ReplayRecorder recorder;
  ReplayFrame replayFrame;  // the match frame's inputs, as they are applied
  const Replay* replay = nullptr;
  size_t replayAt = 0;  // the replay's frame shown next
  KeyBindings keys;     // today's keys, or those of the [Keys] group
  DisplayKeysState displayKeys;
  bool paused = false;      // the match stands still (P or Pause)
  bool pausedTick = false;  // the frame clock ticked while paused
  SkirmoraOptions options;
  int64_t frames = 0;   // frames presented since start-up
  int32_t matches = 0;  // matches started
};

struct SkirmoraLists {
  ListHandle<ShotItem> shots;
  ListHandle<BlastItem> blasts;
  ListHandle<SmokeItem> smoke;
};

SkirmoraState& SkirmoraGameState();
SkirmoraLists& SkirmoraGameLists();

// The start-up and end hooks of the program's libraries, in their fixed order.
ProgramHooks SkirmoraHooks();

// Start-up after the program frame: the three checks, keyboard and sound,
// settings, lists, display, images, sounds, music. False when a check failed
// (its message box has been shown); the way out is then to be taken.
bool SkirmoraStart(const SkirmoraOptions& options = {});

// Runs one frame of the current screen, with the set-up of a screen that is
// entered. False once the way out has been taken (Esc on the menu, the exit
// item, the window closed); then nothing more is drawn.
bool SkirmoraFrame();

// The rules of one match frame, from both players' keys (player 1 first) to
// the fall of a downed plane: turning and firing, engine pitch, the shot pass
// (which draws the shots), movement, wrap, animation, downing and smoke. The
// match frame runs it between clearing the sky and drawing the planes.
void MatchRulesFrame(PlaneState planes[2], MatchState& match, SkirmoraLists& lists,
                     const PlayerKeys keys[2], float movementFactor, MatchEffects& effects);

// Start-up and frames until the way out. Does not run the end hooks.
void SkirmoraMain(const SkirmoraOptions& options = {});

}  // namespace game
