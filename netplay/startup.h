#pragma once
// What the two network programs share from start-up to their lobby: the
// program hooks, the checks of the drawing, 3D and network systems with their
// message boxes, and the 16-bit screen with the built-in images. Also the
// keys a network frame reads.

#include <cstdint>

#include "runtime/program.h"

namespace netplay {

// Frames per second both network programs present at. Planes, shots and
// turns are counted per frame, so both sides must agree on it.
constexpr int32_t kNetFrameRate = 60;

// The start-up and end hooks of the network programs, in their fixed order.
ProgramHooks NetworkProgramHooks();

// The three checks, each failure shown in its message box, then the keyboard
// (and the mouse, which is never read). False when a check failed; the
// program is then to take its way out.
bool NetplayChecks();

// The full 16-bit screen titled "Skirmora", paced at kNetFrameRate, the JPEG
// and PNG decoders, the planes, the shot, the explosion frames and the cloud
// band in their fixed order, and nearest-texel drawing.
void NetplayOpenScreen();

// The keys of one network frame, sampled once after the frame's keyboard poll.
struct NetKeys {
  bool escReleased = false;
  bool enterReleased = false;
  bool leftHeld = false;
  bool rightHeld = false;
  bool spaceHeld = false;
  bool spaceReleased = false;
};

// Polls the keyboard and samples the keys.
NetKeys NetKeysPoll();

}  // namespace netplay
