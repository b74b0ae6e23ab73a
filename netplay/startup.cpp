#include "netplay/startup.h"

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
#include "runtime/window.h"

namespace netplay {
namespace {

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

void NetplayOpenScreen() {
  ScreenOpen(800, 600, 16, "Skirmora");
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

bool NetplayStart(StartWindowValues* values, [[maybe_unused]] const NetplayOptions& options) {
  if (!NetplayChecks()) return false;
  if (StartWindowShow(values) == 0) return false;
  NetplayOpenScreen();
  return true;
}

NetKeys NetKeysPoll() {
  KeyboardPoll();
  NetKeys keys;
  keys.escReleased = KeyReleased(game::kKeyEsc) != 0;
  keys.enterReleased = KeyReleased(game::kKeyEnter) != 0;
  keys.leftHeld = KeyDown(game::kKeyLeft) != 0;
  keys.rightHeld = KeyDown(game::kKeyRight) != 0;
  keys.spaceHeld = KeyDown(game::kKeySpace) != 0;
  keys.spaceReleased = KeyReleased(game::kKeySpace) != 0;
  return keys;
}

game::PlayerKeys FireKeys(const NetKeys& keys) {
  game::PlayerKeys fire;
  fire.fireHeld = keys.spaceHeld;
  fire.fireReleased = keys.spaceReleased;
  return fire;
}

}  // namespace netplay
