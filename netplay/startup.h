#pragma once
// What the two network programs share from start-up to their lobby: the
// program hooks, the checks of the drawing, 3D and network systems with their
// message boxes, and the 16-bit screen with the built-in images. Also the
// keys a network frame reads.

#include <cstdint>
#include <string>

#include "game/controls.h"
#include "game/rules.h"
#include "netplay/start_window.h"
#include "runtime/program.h"

namespace netplay {

// Frames per second both network programs present at. Planes, shots and
// turns are counted per frame, so both sides must agree on it.
constexpr int32_t kNetFrameRate = 60;

// What the command line chose for one run.
struct NetplayOptions {
  int fullscreen = -1;  // 1 full screen, 0 a window, -1 as the Fullscreen setting says
  std::string program = "skirmora-host";  // names the program in reports
};

// What the network programs take from the settings file of skirmora (the
// same file, found the same way): full screen or window, and the keys.
struct NetplaySettings {
  int32_t fullscreen = 1;  // 0 = window, anything else = full screen
  game::ActionKeys keys;   // Net Left, Net Right, Net Fire
};

// Reads the settings; each problem with the keys is reported on standard
// error, once, naming the program.
NetplaySettings NetplayReadSettings(const std::string& program);

// The keys NetKeysPoll reads for turning and firing from now on (today's
// keys until then), also held by the controllers.
void NetKeysUse(const game::ActionKeys& keys);

// The start-up and end hooks of the network programs, in their fixed order.
ProgramHooks NetworkProgramHooks();

// The three checks, each failure shown in its message box, then the keyboard
// (and the mouse, which is never read). False when a check failed; the
// program is then to take its way out.
bool NetplayChecks();

// The full 16-bit screen titled "Skirmora", paced at kNetFrameRate, the JPEG
// and PNG decoders, the planes, the shot, the explosion frames and the cloud
// band in their fixed order, and nearest-texel drawing. With fullscreen
// false the screen is shown in a window of its own, which can be resized.
void NetplayOpenScreen(bool fullscreen = true);

// Everything from the checks to the screen: the checks, the start window and,
// once Host or Client was pressed, the screen with the images. False when the
// program is to take its way out instead (a check failed, or Ende).
bool NetplayStart(StartWindowValues* values, const NetplayOptions& options = {});

// The keys of one network frame, sampled once after the frame's keyboard poll.
struct NetKeys {
  bool escReleased = false;
  bool enterReleased = false;
  bool leftHeld = false;
  bool rightHeld = false;
  bool spaceHeld = false;
  bool spaceReleased = false;
};

// Polls the keyboard and samples the keys; Alt+Enter and F11 switch the
// screen between full screen and a window, and the window's close box counts
// as Esc.
NetKeys NetKeysPoll();

// The fire key (Space) of a frame, as the shared firing rule takes it.
game::PlayerKeys FireKeys(const NetKeys& keys);

}  // namespace netplay
