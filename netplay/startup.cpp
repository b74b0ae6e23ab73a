#include "netplay/startup.h"

#include <cstdio>
#include <vector>

#include "assets/catalog.h"
#include "game/records.h"
#include "media/display.h"
#include "media/draw.h"
#include "media/keyboard.h"
#include "media/quad3d.h"
#include "media/sprites.h"
#include "runtime/frame.h"
#include "runtime/gadget.h"
#include "runtime/net.h"
#include "runtime/prefs.h"
#include "runtime/window.h"

namespace netplay {
namespace {

// The keys of the network programs and the state of Alt+Enter and F11; one
// set for the process, as there is one keyboard.
struct NetKeyState {
  game::ActionKeys keys;
  game::DisplayKeysState displayKeys;
};

NetKeyState& Keys() {
  static NetKeyState state;
  return state;
}

void CatchTexture(int32_t number) {
  SpriteCatch(number, assets::NetworkImage(number), kSpriteModeTexture);
  Quad3DCreate(number, number);
}

}  // namespace

ProgramHooks NetworkProgramHooks() {
  ProgramHooks hooks;
  // Screen-text drawing, windows, gadgets, the image-file reader, the memory
  // heap and the random generator, in this order; then the libraries whose
  // state must start empty as well.
  hooks.start = {DrawStartHook,        WindowInit,           GadgetInit,       ImageReaderStartHook,
                 FrameMemoryStartHook, FrameRandomStartHook, DisplayStartHook, KeyboardStart};
  // 3D sprites, network, mouse, memory, keyboard, the screen with its text
  // drawing and images, and last the windows.
  hooks.end = {Quad3DEndHook, NetworkEnd,  MouseEnd,       FrameMemoryEndHook,
               KeyboardEnd,   DrawEndHook, DisplayEndHook, WindowEnd};
  return hooks;
}

bool NetplayChecks() {
  Keys() = NetKeyState{};
  if (SpriteSystemInit() == 0) {
    MessageBox("Skirmora - DirectX Error", "You need at least DirectX 7 to run this game", 16);
    return false;
  }
  if (Quad3DSystemInit() == 0) {
    MessageBox("Skirmora - DirectX Error", "You need 3D Hardware to run this game", 16);
    return false;
  }
  if (NetworkInit() == 0) {
    MessageBox("Error", "Can't initialize the network !", 0);
    return false;
  }
  KeyboardInit();
  KeyboardControllerLayout(kControllerLayoutNetwork);
  MouseInit();
  return true;
}

NetplaySettings NetplayReadSettings(const std::string& program) {
  NetplaySettings settings;
  PrefsInit();
  PrefsOpenSettings();
  PrefsGroup("Start");
  settings.fullscreen = PrefsReadLong("Fullscreen", settings.fullscreen);
  std::vector<std::string> reports;
  settings.keys = game::ReadKeyBindings(game::KeySet::Network, reports).net;
  for (const std::string& line : reports) {
    std::fprintf(stderr, "%s: Preferences.prefs: %s\n", program.c_str(), line.c_str());
  }
  PrefsClose();
  return settings;
}

void NetKeysUse(const game::ActionKeys& keys) {
  Keys().keys = keys;
  KeyboardControllerKeys(kControllerLayoutNetwork, 0, keys.left, keys.right, keys.fire);
}

void NetplayOpenScreen(bool fullscreen) {
  ScreenOpen(800, 600, 16, "Skirmora");
  if (!fullscreen) ScreenSetFullscreen(0);
  ScreenPresentRate(kNetFrameRate);
  ImageDecoderJPEG();
  ImageDecoderPNG();
  for (int32_t n :
       {game::kImagePlane1A, game::kImagePlane1B, game::kImagePlane2A, game::kImagePlane2B}) {
    CatchTexture(n);
  }
  SpriteCatch(game::kImageShot, assets::NetworkImage(game::kImageShot), kSpriteModePlain);
  for (int32_t n = game::kImageBlastFirst; n <= game::kImageBlastLast; ++n) CatchTexture(n);
  CatchTexture(game::kImageCloud);
  Quad3DQuality(0);
}

bool NetplayStart(StartWindowValues* values, const NetplayOptions& options) {
  if (!NetplayChecks()) return false;
  NetplaySettings settings = NetplayReadSettings(options.program);
  if (options.fullscreen >= 0) settings.fullscreen = options.fullscreen;
  NetKeysUse(settings.keys);
  if (StartWindowShow(values) == 0) return false;
  NetplayOpenScreen(settings.fullscreen != 0);
  return true;
}

NetKeys NetKeysPoll() {
  NetKeyState& state = Keys();
  KeyboardPoll();
  game::DisplayKeysFrame(state.displayKeys);
  NetKeys keys;
  keys.escReleased = KeyReleased(game::kKeyEsc) != 0;
  if (ScreenCloseRequested() != 0) keys.escReleased = true;
  keys.enterReleased = KeyReleased(game::kKeyEnter) != 0;
  keys.leftHeld = KeyDown(state.keys.left) != 0;
  keys.rightHeld = KeyDown(state.keys.right) != 0;
  keys.spaceHeld = KeyDown(state.keys.fire) != 0;
  keys.spaceReleased = KeyReleased(state.keys.fire) != 0;
  return keys;
}

game::PlayerKeys FireKeys(const NetKeys& keys) {
  game::PlayerKeys fire;
  fire.fireHeld = keys.spaceHeld;
  fire.fireReleased = keys.spaceReleased;
  return fire;
}

}  // namespace netplay
