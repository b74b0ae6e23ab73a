#pragma once
// The players' keys: today's keys, or those named in the [Keys] group of the
// settings file, and the keys that switch between a window and full screen.

#include <cstdint>
#include <string>
#include <vector>

#include "game/records.h"

namespace game {

// The three keys of one player.
struct ActionKeys {
  int32_t left = 0;
  int32_t right = 0;
  int32_t fire = 0;
};

struct KeyBindings {
  ActionKeys red{kKeyLeft, kKeyRight, kKeyRightCtrl};  // player 1 of the local game
  ActionKeys blue{kKeyA, kKeyD, kKeyLeftCtrl};         // player 2 of the local game
  ActionKeys net{kKeyLeft, kKeyRight, kKeySpace};      // the player of a network program
};

// Whose keys a program reads.
enum class KeySet {
  Local,    // Red Left, Red Right, Red Fire, Blue Left, Blue Right, Blue Fire
  Network,  // Net Left, Net Right, Net Fire
};

// Reads the keys of the set from the [Keys] group of the open settings file
// ("Red Fire = Space"; the names SDL2 gives keys, letter case ignored). A
// missing or empty entry keeps today's key. A name no key has, or a key that
// another action (or Esc, P, Pause, F11; in the network programs Esc, Return,
// F11) already has, adds one line to reports and keeps today's key for it.
// Leaves the current group at [Keys].
KeyBindings ReadKeyBindings(KeySet set, std::vector<std::string>& reports);

// The name of a key for people to read ("Right Ctrl"); "?" for none.
std::string KeyName(int32_t code);

// Alt+Enter and F11, read after each frame's keyboard poll.
struct DisplayKeysState {
  bool enterDown = false;
  bool f11Down = false;
  bool swallowEnter = false;  // the Return of an Alt+Enter is not to count as Return
};

// Switches the screen between full screen and a window when Alt+Enter or F11
// went down since the last frame; the release of an Alt+Enter's Return is
// taken away so that it does not count as Return. True when it switched.
bool DisplayKeysFrame(DisplayKeysState& keys);

}  // namespace game
