#include "game/skirmora.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "assets/catalog.h"
#include "game/opponent.h"
#include "game/passes.h"
#include "media/display.h"
#include "media/draw.h"
#include "media/keyboard.h"
#include "media/music.h"
#include "media/quad3d.h"
#include "media/sound.h"
#include "media/sprites.h"
#include "platform/keymap.h"
#include "runtime/command_line.h"
#include "runtime/frame.h"
#include "runtime/net.h"
#include "runtime/prefs.h"
#include "runtime/window.h"

namespace game {
namespace {

struct Game {
  SkirmoraState state;
  SkirmoraLists lists;
};

Game& TheGame() {
  static Game game;
  return game;
}

// --- Shared frame pieces -------------------------------------------------------

// Darkens or clears the screen by one step and draws the overlay; inside a 3D batch.
FadeLevel FadeStep(int32_t direction, int32_t step) {
  SkirmoraState& s = TheGame().state;
  s.fadeLevel = FadeNext(s.fadeLevel, direction, step);
  Quad3DShow(kImageFade, -30, -30, s.fadeLevel);
  return s.fadeLevel;
}

// In windowed mode one window event is taken per frame; a close request ends
// the program, also of the full screen switched to a window. Returns false
// when the way out is to be taken.
bool PollWindow() {
  if (ScreenCloseRequested() != 0) return false;
  if (!TheGame().state.windowed) return true;
  return WindowPollEvent() != kEventClose;
}

// The frame's keyboard poll, with Alt+Enter and F11 switching the screen.
void PollKeys() {
  KeyboardPoll();
  DisplayKeysFrame(TheGame().state.displayKeys);
}

void EndFrame() {
  SleepMs(1);
  ScreenFlip();
  TheGame().state.frames += 1;
}

int32_t LocalSecond() {
  return TextToLong(FormatDate("%ss", DateNow()));
}

void TakeWayOut() {
  SkirmoraState& s = TheGame().state;
  s.recorder.End();
  s.screen = Screen::Ended;
}

// --- Splash ----------------------------------------------------------------------

void SplashSetUp() {
  SkirmoraState& s = TheGame().state;
  s.splash.result = 0;
  s.splash.leaveRequest = 0;
  s.fadeLevel = 255;
  s.splash.startMs = ElapsedMs();
}

bool SplashFrame() {
  SkirmoraState& s = TheGame().state;
  if (!PollWindow()) return false;
  if (ElapsedMs() - s.splash.startMs > 10000u) s.splash.leaveRequest = 1;
  PollKeys();
  if (KeyReleased(kKeyEsc)) s.splash.leaveRequest = 1;
  SpriteShow(kImageSplash, 0, 0);
  Quad3DBegin();
  FadeLevel level = FadeStep(s.splash.leaveRequest, 3);
  Quad3DEnd();
  if (s.splash.leaveRequest != 0 && level == 255) {
    s.splash.result = 1;
    s.screen = Screen::Menu;
    s.setUpPending = true;
  }
  EndFrame();
  return true;
}

// --- Hand-over to the network programs ------------------------------------------------

// "Start Game as Host" and "Join Game as Client": the network program of that
// name, next to this one or on the PATH, takes this process's place and opens
// its start window. When it cannot be found a message box says so and the
// menu stays.
void HandOver(const std::string& program) {
  const std::string path = ProgramFind(program);
  if (path.empty()) {
    MessageBox("Skirmora", program + " was not found, neither next to skirmora nor on the PATH.",
               16);
    return;
  }
  std::vector<std::string> args;
  const int fullscreen = TheGame().state.options.fullscreen;
  if (fullscreen >= 0) args.emplace_back(fullscreen != 0 ? "--fullscreen" : "--window");
  ProgramReplace(path, args);
}

// --- About -------------------------------------------------------------------------

std::string ControlsLine(const std::string& who, const ActionKeys& keys) {
  return who + KeyName(keys.left) + " / " + KeyName(keys.right) + " turn, " + KeyName(keys.fire) +
         " fires";
}

void AboutSetUp() {
  TheGame().state.fadeLevel = 255;
}

bool AboutFrame() {
  SkirmoraState& s = TheGame().state;
  if (!PollWindow()) return false;
  PollKeys();
  const bool back = KeyReleased(kKeyEsc) != 0;
  const bool enter = KeyReleased(kKeyEnter) != 0;
  SpriteShow(kImageMenuBack, 0, 0);
  DrawBegin(ScreenOutput());
  DrawBox(60, 60, 680, 480, RGB(255, 255, 255));
  DrawColour(0, 0, 0);
  const std::vector<std::string> lines = {
      std::string("Skirmora ") + ProgramVersion(),
      "A biplane dogfight for two players on one keyboard, or one against the computer.",
      "",
      ControlsLine("Red (" + s.settings.name1 + "):  ", s.keys.red),
      ControlsLine("Blue (" + s.settings.name2 + "):  ", s.keys.blue),
      "P or Pause pauses a match, Esc leaves it.",
      "Alt+Enter or F11 switches between a window and full screen.",
      "The keys can be chosen in the [Keys] group of Preferences.prefs.",
      "",
      "This program is free software: you can redistribute it and/or modify it",
      "under the terms of the GNU General Public License as published by the Free",
      "Software Foundation, either version 3 of the License, or (at your option)",
      "any later version (GPL-3.0-or-later). It comes with ABSOLUTELY NO WARRANTY.",
      "",
      "Esc or Return goes back to the menu.",
  };
  int32_t y = 80;
  for (const std::string& line : lines) {
    DrawLocate(80, y);
    DrawText(line);
    y += 28;
  }
  DrawEnd();
  Quad3DBegin();
  FadeStep(0, 8);
  Quad3DEnd();
  EndFrame();
  if (back || enter) {
    // Back to the menu as it was left, the cursor on "About this Game".
    s.screen = Screen::Menu;
    s.fadeLevel = 255;
  }
  return true;
}

// --- Menu ------------------------------------------------------------------------

void MenuSetUp() {
  SkirmoraState& s = TheGame().state;
  MenuReset(s.menu);
  s.fadeLevel = 255;
  SoundVolume(kSoundHit1, 30);
  SoundRate(kSoundHit1, 60000);
  SoundVolume(kSoundHit2, 100);
  SoundRate(kSoundHit2, 30000);
  SoundVolume(kSoundShot1, 100);
  SoundRate(kSoundShot1, 80000);
  s.clock.base = 160.0f;
  s.clock.framesPerSecond = 63;
}

// The background, the logo and the items, only inside within.
bool DrawMenuBackground(const MenuState& menu, const ScreenArea& within) {
  if (SpriteShowWithin(kImageMenuBack, 0, 0, within) == 0) return false;
  // The logo and the item pictures are white on black: only their lettering
  // is drawn over the background.
  SpriteShowKeyedWithin(kImageMenuLogo, 440, 10, within);
  SpriteShowKeyedWithin(menu.item1Picture, 445, 120, within);
  SpriteShowKeyedWithin(menu.item2Picture, 445, 160, within);
  SpriteShowKeyedWithin(kImageItemAbout, 445, 200, within);
  SpriteShowKeyedWithin(kImageItemExit, 445, 240, within);
  return true;
}

// Draws what lies under the propellers. The back buffer still holds the last
// frame; when that was the menu with the same items, cursor and no fade, and
// this frame has no fade either, only the propellers differ, and only the
// parts of the screen under them, then and now, are drawn again. Otherwise
// the whole menu is. The pixels come out the same either way.
void DrawMenuPictures(SkirmoraState& s, const MenuState& menu) {
  MenuShown& shown = s.menuShown;
  ScreenArea now[2];
  const bool bounded =
      Quad3DBounds(kImagePlane1A + menu.propellerPhase, 720, menu.cursorY, &now[0]) != 0 &&
      Quad3DBounds(kImagePlane2A + menu.propellerPhase, 400, menu.cursorY, &now[1]) != 0;
  const bool onlyPropellers = bounded && shown.drawn && shown.frame + 1 == ScreenFrameCount() &&
                              shown.item1Picture == menu.item1Picture &&
                              shown.item2Picture == menu.item2Picture &&
                              shown.cursorY == menu.cursorY && s.fadeLevel == 0 &&
                              FadeNext(s.fadeLevel, menu.leaveRequest, 2) == 0;
  bool drawn = true;
  if (onlyPropellers) {
    for (int i = 0; i < 2; ++i) {
      drawn = DrawMenuBackground(menu, ScreenAreaCover(shown.propellers[i], now[i])) && drawn;
    }
  } else {
    drawn = DrawMenuBackground(menu, ScreenArea{0, 0, 1 << 30, 1 << 30});
  }
  // A frame that could not be drawn (a full screen without the focus) leaves
  // the back buffer as it was, so the next one draws everything.
  shown = MenuShown{};
  if (!drawn || !bounded) return;
  shown.drawn = true;
  shown.frame = ScreenFrameCount();
  shown.item1Picture = menu.item1Picture;
  shown.item2Picture = menu.item2Picture;
  shown.cursorY = menu.cursorY;
  shown.propellers[0] = now[0];
  shown.propellers[1] = now[1];
}

bool MenuFrame() {
  SkirmoraState& s = TheGame().state;
  MenuState& menu = s.menu;
  FrameClockTick(s.clock, ElapsedMs, false, s.planes);
  if (!PollWindow()) return false;
  PollKeys();
  MenuKeys keys;
  keys.esc = KeyReleased(kKeyEsc) != 0;
  if (keys.esc) return false;  // at once, without fading
  keys.up = KeyReleased(kKeyUp) != 0;
  keys.down = KeyReleased(kKeyDown) != 0;
  keys.right = KeyReleased(kKeyRight) != 0;
  keys.left = KeyReleased(kKeyLeft) != 0;
  keys.enter = KeyReleased(kKeyEnter) != 0;
  MenuKeysApply(menu, keys, MediaEffects());
  if (keys.enter && menu.leaveRequest == 0 && (menu.item == 2 || menu.item == 3)) {
    MediaEffects().PlaySound(kSoundHit2);
    if (menu.item == 3) {
      s.screen = Screen::About;
      s.setUpPending = true;
      EndFrame();
      return true;
    }
    HandOver(menu.item2Picture == kImageItemHost ? "skirmora-host" : "skirmora-join");
  }

  DrawMenuPictures(s, menu);
  Quad3DBegin();
  Quad3DShow(kImagePlane1A + menu.propellerPhase, 720, menu.cursorY, 255);
  Quad3DShow(kImagePlane2A + menu.propellerPhase, 400, menu.cursorY, 255);
  Quad3DEnd();
  menu.propellerPhase += 1;
  if (menu.propellerPhase == 2) menu.propellerPhase = 0;
  Quad3DBegin();
  FadeLevel level = FadeStep(menu.leaveRequest, 2);
  Quad3DEnd();
  if (menu.leaveRequest != 0 && level == 255) menu.result = menu.item;
  EndFrame();

  if (menu.result == 4) {
    SleepMs(100);
    return false;
  }
  if (menu.result != 0) {
    s.screen = Screen::Match;
    s.setUpPending = true;
  }
  return true;
}

// --- Match -----------------------------------------------------------------------

// The plane pictures turned back as the end of a match leaves them.
void TurnPlanesBack() {
  Quad3DBegin();
  Quad3DRotate(kImagePlane1A, 270, 0);
  Quad3DRotate(kImagePlane1B, 270, 0);
  Quad3DRotate(kImagePlane2A, 270, 0);
  Quad3DRotate(kImagePlane2B, 270, 0);
  Quad3DEnd();
}

// What a recorded match starts from: the settings it shows, the random
// generator and the values kept from the program's earlier frames.
Replay ReplayMatchHeader(const SkirmoraState& s) {
  Replay r;
  r.kind = ReplayKind::Local;
  r.version = ProgramVersion();
  r.name1 = s.settings.name1;
  r.name2 = s.settings.name2;
  r.computer = s.computerPlayer2;
  r.skill = s.settings.skill;
  r.opponentSeed = s.opponentSeed;
  const RandomState random = RandomSave();
  r.random.words = random.words;
  r.random.p1 = random.p1;
  r.random.p2 = random.p2;
  r.cloudOffset = s.match.cloudOffset;
  r.fadeLevel = s.fadeLevel;
  r.fpsText = s.match.shownFpsText;
  for (int i = 0; i < 2; ++i) {
    r.engineFrequency[i] = s.planes[i].lastEngineFrequency;
    r.diveMeasure[i] = s.planes[i].diveMeasure;
  }
  r.smokeAngle = Quad3DAngle(kImageSmoke);
  r.planesTurned = s.matches > 0;
  return r;
}

void ReplayMatchRestore(SkirmoraState& s) {
  const Replay& r = *s.replay;
  s.settings.name1 = r.name1;
  s.settings.name2 = r.name2;
  s.settings.skill = r.skill;
  s.computerPlayer2 = r.computer;
  RandomState random;
  random.words = r.random.words;
  random.p1 = r.random.p1;
  random.p2 = r.random.p2;
  RandomRestore(random);
  s.match.cloudOffset = r.cloudOffset;
  s.fadeLevel = r.fadeLevel;
  s.match.shownFpsText = r.fpsText;
  for (int i = 0; i < 2; ++i) {
    s.planes[i].lastEngineFrequency = r.engineFrequency[i];
    s.planes[i].diveMeasure = r.diveMeasure[i];
  }
  Quad3DRotate(kImageSmoke, 0, 0);
  Quad3DRotate(kImageSmoke, r.smokeAngle, 1);
  if (r.planesTurned) TurnPlanesBack();
  s.replayAt = 0;
}

// The frame clock of a match frame: measured, or as the replay recorded it.
// False when the replay has no more frames.
bool MatchClock(SkirmoraState& s) {
  ReplayFrame& rf = s.replayFrame;
  if (s.replay == nullptr) {
    // A tick in a frame that ran no rules counts for the next recorded one.
    FrameClockTick(s.clock, ElapsedMs, true, s.planes);
    if (s.clock.frameCounter == 0) {
      rf.tick = true;
      rf.movementFactor = s.clock.movementFactor;
    }
    return true;
  }
  if (s.replayAt >= s.replay->frames.size()) return false;
  rf = s.replay->frames[s.replayAt];
  if (rf.tick) {
    s.clock.movementFactor = rf.movementFactor;
    s.planes[0].speed = rf.movementFactor;
    s.planes[1].speed = rf.movementFactor;
  }
  return true;
}

void MatchSetUp() {
  SkirmoraState& s = TheGame().state;
  SkirmoraLists& l = TheGame().lists;
  SoundVolume(kSoundHit1, 50);
  SoundRate(kSoundHit1, 11000);
  SoundVolume(kSoundHit2, 50);
  SoundRate(kSoundHit2, 11000);
  SoundVolume(kSoundShot1, 100);
  SoundRate(kSoundShot1, 11000);
  SoundVolume(kSoundShot2, 100);
  SoundRate(kSoundShot2, 11000);
  PlaneReset(s.planes[0], 0);
  PlaneReset(s.planes[1], 1);
  s.match.downedPlayer = 0;
  ListClear(l.shots);
  ListClear(l.blasts);
  ListClear(l.smoke);
  s.match.endFlag = 0;
  s.match.quitRequest = 0;
  s.paused = false;
  s.clock.base = 160.0f;
  s.clock.framesPerSecond = 63;
  // The first match frame always ticks, because of the pause below. The frames
  // the menu counted since its last tick cover only part of a second, and
  // dividing by them would send the planes across the screen several times
  // too fast for a whole second; that tick uses the assumed 63 instead.
  s.clock.frameCounter = s.clock.framesPerSecond;
  // "Start 1 Player Game" on the menu gives the blue plane to the computer.
  // Its chances follow from the frames played so far, so the same keys give
  // the same match.
  s.computerPlayer2 = s.menu.item1Picture == kImageItem1Player;
  if (s.computerPlayer2) {
    s.opponentSeed = static_cast<uint32_t>(s.frames) * 31u + static_cast<uint32_t>(s.matches);
    OpponentStart(s.opponent, s.opponentSeed, s.settings.skill);
  }
  s.replayFrame = ReplayFrame{};
  if (s.replay != nullptr) {
    ReplayMatchRestore(s);
  } else if (s.recordReplays) {
    s.recorder.Begin(ReplayMatchHeader(s), "skirmora", ElapsedMs());
  }
  SleepMs(1000);
  SoundPlay(kSoundEngine1, 1);
  SoundVolume(kSoundEngine1, 30);
  SoundPlay(kSoundEngine2, 1);
  SoundVolume(kSoundEngine2, 30);
  s.matches += 1;
}

PlayerKeys ReadPlayerKeys(const ActionKeys& own) {
  PlayerKeys keys;
  keys.turnLeft = KeyDown(own.left) != 0;
  keys.turnRight = KeyDown(own.right) != 0;
  keys.fireHeld = KeyDown(own.fire) != 0;
  keys.fireReleased = KeyReleased(own.fire) != 0;
  return keys;
}

// The pause stops the match where it stands: no rules run and the engines
// fall silent; the music plays on.
void SetPaused(bool paused) {
  SkirmoraState& s = TheGame().state;
  s.paused = paused;
  if (paused) {
    SoundStop(kSoundEngine1);
    SoundStop(kSoundEngine2);
  } else {
    SoundPlay(kSoundEngine1, 1);
    SoundPlay(kSoundEngine2, 1);
  }
}

// A paused frame: the last frame of the match stays, "Pause" written over it.
bool PausedFrame() {
  DrawBegin(ScreenOutput());
  DrawLocate(376, 290);
  DrawText("Pause");
  DrawEnd();
  EndFrame();
  return true;
}

void HeadUpDisplay() {
  SkirmoraState& s = TheGame().state;
  ReplayFrame& rf = s.replayFrame;
  if (s.replay == nullptr) {
    std::string t = FpsTextTick(s.fps, LocalSecond);
    rf.fpsTextChanged = !t.empty() && t != s.match.shownFpsText;
    if (rf.fpsTextChanged) s.match.shownFpsText = rf.fpsText = t;
  } else if (rf.fpsTextChanged) {
    s.match.shownFpsText = rf.fpsText;
  }
  DrawBegin(ScreenOutput());
  DrawLocate(0, 0);
  DrawText("FPS: " + s.match.shownFpsText);
  DrawLocate(70, 10);
  DrawText(s.settings.name1);
  DrawLocate(70, 30);
  DrawText("Energie: " + TextFromLong(s.planes[0].energy));
  DrawLocate(650, 10);
  DrawText(s.computerPlayer2 ? std::string("Computer") : s.settings.name2);
  DrawLocate(650, 30);
  DrawText("Energie: " + TextFromLong(s.planes[1].energy));
  DrawEnd();
}

void MatchCleanUp() {
  TurnPlanesBack();
  for (int32_t sound = 1; sound <= 6; ++sound) SoundStop(sound);
}

}  // namespace

void MatchRulesFrame(PlaneState planes[2], MatchState& match, SkirmoraLists& lists,
                     const PlayerKeys keys[2], float movementFactor, MatchEffects& effects) {
  for (int i = 0; i < 2; ++i) {
    planes[i].heading = TurnHeading(planes[i].heading, keys[i].turnLeft, keys[i].turnRight);
    FirePlayer(planes[i], i, keys[i], match.downedPlayer == i + 1, lists.shots,
               i == 0 ? kSoundShot1 : kSoundShot2, effects);
  }
  EnginePitch(planes[0], kSoundEngine1, effects);
  EnginePitch(planes[1], kSoundEngine2, effects);

  ShotPassOptions options;
  options.margin = 5.0f * movementFactor;
  options.hitSound[0] = kSoundHit1;
  options.hitSound[1] = kSoundHit2;
  ShotPass(lists.shots, lists.blasts, planes, options, effects);

  for (int i = 0; i < 2; ++i) {
    MovePlane(planes[i]);
    if (WrapPlane(planes[i], match.downedPlayer == i + 1)) match.endFlag = 1;
  }
  AnimatePlane(planes[0], 0);
  AnimatePlane(planes[1], 1);

  DownPlanes(planes, match);
  if (match.downedPlayer != 0) {
    SmokeItem* puff = ListAdd(lists.smoke);
    FallAndSmoke(planes, match, *puff, effects);
  }
}

namespace {

bool MatchFrame() {
  SkirmoraState& s = TheGame().state;
  SkirmoraLists& l = TheGame().lists;
  MatchState& m = s.match;
  PlaneState* p = s.planes;
  MatchEffects& fx = MediaEffects();

  if (!MatchClock(s)) return false;
  ReplayFrame& rf = s.replayFrame;
  if (!PollWindow()) return false;
  PollKeys();
  if (s.replay != nullptr && KeyReleased(kKeyEsc)) return false;
  if (s.replay == nullptr) rf.quit = KeyReleased(kKeyEsc) != 0;
  if (rf.quit) m.quitRequest = 1;
  const bool pauseKey = (KeyReleased(platform::kScanP) | KeyReleased(platform::kScanPause)) != 0;
  if (pauseKey || (s.paused && m.quitRequest != 0)) SetPaused(!s.paused);
  if (s.paused) {
    // A clock tick while paused goes into the first frame after the pause,
    // so that a replay of the match keeps its speed.
    if (rf.tick) s.pausedTick = true;
    return PausedFrame();
  }
  if (s.pausedTick && s.replay == nullptr) {
    rf.tick = true;
    rf.movementFactor = s.clock.movementFactor;
  }
  s.pausedTick = false;
  ScreenClear(170, 200, 255);

  PlayerKeys keys[2];
  keys[0] = ReadPlayerKeys(s.keys.red);
  if (s.computerPlayer2) {
    keys[1] = OpponentKeys(s.opponent, OpponentLook(p, m, l.shots));
  } else {
    keys[1] = ReadPlayerKeys(s.keys.blue);
  }
  // The keys as applied: recorded, or replayed in their place.
  for (int i = 0; i < 2; ++i) {
    if (s.replay != nullptr) keys[i] = rf.keys[i];
    rf.keys[i] = keys[i];
  }
  MatchRulesFrame(p, m, l, keys, s.clock.movementFactor, fx);

  Quad3DBegin();
  ShowPlanes(p[0], p[0].heading, p[1], p[1].heading, fx);
  Quad3DBlendingMode(5, 7);
  CloudBorder(m.cloudOffset, s.clock.movementFactor / 10.0f, fx);
  Quad3DEnd();

  Quad3DBegin();
  BlastPass(l.blasts, fx);
  SmokePass(l.smoke, fx);
  Quad3DEnd();

  HeadUpDisplay();

  Quad3DBegin();
  FadeLevel level = FadeStep(m.quitRequest, 8);
  Quad3DEnd();
  if (m.quitRequest == 1 && level == 255) m.endFlag = 1;
  EndFrame();
  s.recorder.Frame(rf, ElapsedMs());
  rf = ReplayFrame{};
  s.replayAt += 1;

  if (m.endFlag != 0) {
    s.recorder.End();
    if (s.replay != nullptr) return false;
    MatchCleanUp();
    s.screen = Screen::Menu;
    s.setUpPending = true;
  }
  return true;
}

// --- Start-up ----------------------------------------------------------------------

void ReadSettings(GameSettings& settings, KeyBindings& keys) {
  GameSettings defaults;
  PrefsOpenSettings();
  PrefsGroup("Data");
  settings.name1 = PrefsReadString("Name1", defaults.name1);
  settings.name2 = PrefsReadString("Name2", defaults.name2);
  settings.contact = PrefsReadString("contact", defaults.contact);
  settings.port = PrefsReadLong("Port", defaults.port);
  PrefsGroup("Start");
  settings.color = PrefsReadLong("Color", defaults.color);
  settings.fullscreen = PrefsReadLong("Fullscreen", defaults.fullscreen);
  settings.skill = SkillFromSetting(PrefsReadLong("Skill", defaults.skill));
  std::vector<std::string> reports;
  keys = ReadKeyBindings(KeySet::Local, reports);
  for (const std::string& line : reports) {
    std::fprintf(stderr, "skirmora: Preferences.prefs: %s\n", line.c_str());
  }
  PrefsClose();
}

void CatchTexture(int32_t number) {
  SpriteCatch(number, assets::LocalImage(number), kSpriteModeTexture);
  Quad3DCreate(number, number);
}

void LoadCatalogue(SkirmoraState& s) {
  for (int32_t n : {kImagePlane1A, kImagePlane1B, kImagePlane2A, kImagePlane2B}) CatchTexture(n);
  SpriteCatch(kImageShot, assets::LocalImage(kImageShot));
  for (int32_t n = kImageBlastFirst; n <= kImageBlastLast; ++n) CatchTexture(n);
  CatchTexture(kImageCloud);
  CatchTexture(kImageSmoke);
  for (int32_t n :
       {kImageSplash, kImageMenuBack, kImageMenuLogo, kImageItem1Player, kImageItem2Player,
        kImageItemHost, kImageItemJoin, kImageItemAbout, kImageItemExit}) {
    SpriteCatch(n, assets::LocalImage(n));
  }
  s.musicLoaded = MusicCatch(assets::Module()) != 0;
  SoundCatch(kSoundEngine1, assets::Recording('A'));
  SoundCatch(kSoundEngine2, assets::Recording('A'));
  SoundCatch(kSoundShot1, assets::Recording('B'));
  SoundCatch(kSoundShot2, assets::Recording('B'));
  SoundCatch(kSoundHit1, assets::Recording('C'));
  SoundCatch(kSoundHit2, assets::Recording('C'));
}

void BuildFadeOverlay() {
  SpriteCreate(kImageFade, 64, 64, kSpriteModeTexture);
  DrawBegin(SpriteOutput(kImageFade));
  DrawBox(0, 0, 64, 64, RGB(8, 8, 8));
  DrawEnd();
  Quad3DCreate(kImageFade, kImageFade);
  Quad3DTransform(kImageFade, 0.0f, 0.0f, 860.0f, 0.0f, 860.0f, 660.0f, 0.0f, 660.0f);
}

}  // namespace

SkirmoraState& SkirmoraGameState() {
  return TheGame().state;
}
SkirmoraLists& SkirmoraGameLists() {
  return TheGame().lists;
}

ProgramHooks SkirmoraHooks() {
  ProgramHooks hooks;
  // Screen-text drawing, the image-file reader, the random generator, the
  // preferences reader and the windows, in this order; then the libraries
  // whose state must start empty as well.
  hooks.start = {DrawStartHook, ImageReaderStartHook, FrameRandomStartHook, PrefsInit,
                 WindowInit,    DisplayStartHook,     KeyboardStart,        SoundStart};
  // Music, windows, 3D sprites, sounds, preferences, network, keyboard, then
  // the screen with its text drawing and images.
  hooks.end = {MusicEnd,   WindowEnd,   Quad3DEndHook, SoundEnd,      PrefsClose,
               NetworkEnd, KeyboardEnd, DrawEndHook,   DisplayEndHook};
  return hooks;
}

bool SkirmoraStart(const SkirmoraOptions& options) {
  Game& g = TheGame();
  g.state = SkirmoraState{};
  SkirmoraState& s = g.state;

  if (SpriteSystemInit() == 0) {
    MessageBox("Skirmora - DirectX Error", "You need at least DirectX 7 to run this game", 16);
    s.screen = Screen::Ended;
    return false;
  }
  if (Quad3DSystemInit() == 0) {
    MessageBox("Skirmora - DirectX Error", "You need 3D Hardware to run this game", 16);
    s.screen = Screen::Ended;
    return false;
  }
  if (NetworkInit() == 0) {
    MessageBox("Error", "Can't initialize the network !", 0);
    s.screen = Screen::Ended;
    return false;
  }
  KeyboardInit();
  SoundSystemInit();
  ReadSettings(s.settings, s.keys);
  s.options = options;
  if (options.fullscreen >= 0) s.settings.fullscreen = options.fullscreen;
  s.recordReplays = options.recordReplays && options.replay == nullptr;
  s.replay = options.replay;
  // Controllers hold the keys the players chose.
  KeyboardControllerKeys(kControllerLayoutLocal, 0, s.keys.red.left, s.keys.red.right,
                         s.keys.red.fire);
  KeyboardControllerKeys(kControllerLayoutLocal, 1, s.keys.blue.left, s.keys.blue.right,
                         s.keys.blue.fire);

  ListNew(g.lists.shots);
  ListNew(g.lists.blasts);
  ListNew(g.lists.smoke);

  if (s.settings.fullscreen == 0) {
    // A window that can be resized and maximised, twice the size on a large
    // desktop; the picture is scaled into it with its shape kept.
    s.windowed = true;
    const int32_t scale = ScreenWindowScale(800, 600);
    WindowOpen(0, 0, 0, 800 * scale, 600 * scale, 0x00C80002 | kStyleSizeBorder,
               "Skirmora by Vorn");
    s.windowHandle = WindowHandle();
    ScreenOpenInWindow(s.windowHandle, 0, 0, 800, 600, 0, 0, 0);
    ScreenFitToWindow();
  } else {
    ScreenOpen(800, 600, 32, "Skirmora by Vorn");
  }

  ImageDecoderPNG();
  LoadCatalogue(s);
  Quad3DQuality(0);
  BuildFadeOverlay();

  MusicPlay();
  MusicVolume(100);

  s.screen = s.replay != nullptr ? Screen::Match : Screen::Splash;
  s.setUpPending = true;
  return true;
}

bool SkirmoraFrame() {
  SkirmoraState& s = TheGame().state;
  if (s.setUpPending) {
    s.setUpPending = false;
    switch (s.screen) {
      case Screen::Splash:
        SplashSetUp();
        break;
      case Screen::Menu:
        MenuSetUp();
        break;
      case Screen::Match:
        MatchSetUp();
        break;
      case Screen::About:
        AboutSetUp();
        break;
      case Screen::Ended:
        break;
    }
  }
  bool goOn = false;
  switch (s.screen) {
    case Screen::Splash:
      goOn = SplashFrame();
      break;
    case Screen::Menu:
      goOn = MenuFrame();
      break;
    case Screen::Match:
      goOn = MatchFrame();
      break;
    case Screen::About:
      goOn = AboutFrame();
      break;
    case Screen::Ended:
      break;
  }
  if (!goOn) TakeWayOut();
  return goOn;
}

void SkirmoraMain(const SkirmoraOptions& options) {
  if (!SkirmoraStart(options)) return;
  while (SkirmoraFrame()) {
  }
}

}  // namespace game
