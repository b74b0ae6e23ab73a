#include "game/skirmora.h"

#include <cstdlib>

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
// the program. Returns false when the way out is to be taken.
bool PollWindow() {
  if (!TheGame().state.windowed) return true;
  return WindowPollEvent() != kEventClose;
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
  KeyboardPoll();
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

bool MenuFrame() {
  SkirmoraState& s = TheGame().state;
  MenuState& menu = s.menu;
  FrameClockTick(s.clock, ElapsedMs, false, s.planes);
  if (!PollWindow()) return false;
  KeyboardPoll();
  MenuKeys keys;
  keys.esc = KeyReleased(kKeyEsc) != 0;
  if (keys.esc) return false;  // at once, without fading
  keys.up = KeyReleased(kKeyUp) != 0;
  keys.down = KeyReleased(kKeyDown) != 0;
  keys.right = KeyReleased(kKeyRight) != 0;
  keys.left = KeyReleased(kKeyLeft) != 0;
  keys.enter = KeyReleased(kKeyEnter) != 0;
  MenuKeysApply(menu, keys, MediaEffects());

  SpriteShow(kImageMenuBack, 0, 0);
  // The logo and the item pictures are white on black: only their lettering
  // is drawn over the background.
  SpriteShowKeyed(kImageMenuLogo, 440, 10);
  SpriteShowKeyed(menu.item1Picture, 445, 120);
  SpriteShowKeyed(menu.item2Picture, 445, 160);
  SpriteShowKeyed(kImageItemAbout, 445, 200);
  SpriteShowKeyed(kImageItemExit, 445, 240);
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
    FrameClockTick(s.clock, ElapsedMs, true, s.planes);
    rf = ReplayFrame{};
    rf.tick = s.clock.frameCounter == 0;
    rf.movementFactor = s.clock.movementFactor;
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

PlayerKeys ReadPlayerKeys(int32_t left, int32_t right, int32_t fire) {
  PlayerKeys keys;
  keys.turnLeft = KeyDown(left) != 0;
  keys.turnRight = KeyDown(right) != 0;
  keys.fireHeld = KeyDown(fire) != 0;
  keys.fireReleased = KeyReleased(fire) != 0;
  return keys;
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
  KeyboardPoll();
  if (s.replay != nullptr && KeyReleased(kKeyEsc)) return false;
  if (s.replay == nullptr) rf.quit = KeyReleased(kKeyEsc) != 0;
  if (rf.quit) m.quitRequest = 1;
  ScreenClear(170, 200, 255);

  PlayerKeys keys[2];
  keys[0] = ReadPlayerKeys(kKeyLeft, kKeyRight, kKeyRightCtrl);
  if (s.computerPlayer2) {
    keys[1] = OpponentKeys(s.opponent, OpponentLook(p, m, l.shots));
  } else {
    keys[1] = ReadPlayerKeys(kKeyA, kKeyD, kKeyLeftCtrl);
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

void ReadSettings(GameSettings& settings) {
  GameSettings defaults;
  // A settings file next to the program (a build folder, an unpacked copy)
  // wins; an installed program finds the user's own file instead.
  if (PrefsOpen("Preferences.prefs") == 0) PrefsOpen(UserSettingsPath());
  PrefsGroup("Data");
  settings.name1 = PrefsReadString("Name1", defaults.name1);
  settings.name2 = PrefsReadString("Name2", defaults.name2);
  settings.contact = PrefsReadString("contact", defaults.contact);
  settings.port = PrefsReadLong("Port", defaults.port);
  PrefsGroup("Start");
  settings.color = PrefsReadLong("Color", defaults.color);
  settings.fullscreen = PrefsReadLong("Fullscreen", defaults.fullscreen);
  settings.skill = SkillFromSetting(PrefsReadLong("Skill", defaults.skill));
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

std::string UserSettingsPath() {
  const char* configHome = std::getenv("XDG_CONFIG_HOME");
  std::string base;
  if (configHome != nullptr && configHome[0] == '/') {
    base = configHome;
  } else {
    const char* home = std::getenv("HOME");
    base = std::string(home != nullptr ? home : "") + "/.config";
  }
  return base + "/skirmora/Preferences.prefs";
}

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
  ReadSettings(s.settings);
  if (options.fullscreen >= 0) s.settings.fullscreen = options.fullscreen;
  s.recordReplays = options.recordReplays && options.replay == nullptr;
  s.replay = options.replay;

  ListNew(g.lists.shots);
  ListNew(g.lists.blasts);
  ListNew(g.lists.smoke);

  if (s.settings.fullscreen == 0) {
    s.windowed = true;
    WindowOpen(0, 0, 0, 800, 600, 0x00C80002, "Skirmora by Vorn");
    s.windowHandle = WindowHandle();
    ScreenOpenInWindow(s.windowHandle, 0, 0, 800, 600, 0, 0, 0);
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
