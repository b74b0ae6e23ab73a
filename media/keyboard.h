#pragma once
// Frame-synchronous keyboard: KeyboardPoll samples every key once per frame,
// then KeyDown and KeyReleased answer questions about that sample. Keys are
// set-1 scan codes (0x80 added for extended keys, see platform/keymap.h);
// -1 stands for any key. Main thread only.
//
// Game controllers play through the same sample: each connected controller
// holds the keys of its player (see KeyboardControllerLayout), and a key reads
// as down when the keyboard or any controller holds it.

#include <cstdint>

// Creates the keyboard device. 1 on success, 0 otherwise; without a device
// every poll fails and every key reads as up.
int32_t KeyboardInit();

// Which keys the controllers hold.
// Local game: the controller in the first player slot plays red (cursor left
// and right to turn, right Ctrl to fire), the one in the second slot blue (A
// and D, left Ctrl); others hold no keys.
constexpr int32_t kControllerLayoutLocal = 0;
// Network programs: every controller turns with cursor left and right and
// fires with Space.
constexpr int32_t kControllerLayoutNetwork = 1;

// Chooses the layout (kControllerLayoutLocal until then); other values are
// ignored. Every controller also holds Return (Start or the south button),
// Esc (Back or the east button) and cursor up and down (d-pad or stick).
// The south button or the right trigger fires; the d-pad or the left stick
// turns.
void KeyboardControllerLayout(int32_t layout);

// The turn and fire keys a controller holds for a player of a layout
// (players 0 and 1 of the local layout, player 0 of the network layout), when
// the players chose keys of their own. Other values are ignored; the keys
// above stay until KeyboardStart.
void KeyboardControllerKeys(int32_t layout, int32_t player, int32_t left, int32_t right,
                            int32_t fire);

// Samples the keyboard and the controllers. 1 when a fresh sample was read;
// 0 when the read failed (no window of the program has the keyboard focus):
// then every key and button counts as let go at once (a key seen down gives
// its one release), so nothing stays held while the focus is elsewhere.
int32_t KeyboardPoll();

// 0x80 when the key was down at the last poll, else 0. With -1: 1 when any
// key 0 to 254 was down, else 0.
int32_t KeyDown(int32_t code);

// 1 exactly once after a key that this function saw down is found up, else 0.
// With -1: checks every key 0 to 254 (consuming every pending release) and
// gives 1 when at least one was released.
int32_t KeyReleased(int32_t code);

// The mouse device of the network programs. It is never read, so it takes
// nothing over and shows nothing; returns 1.
int32_t MouseInit();

// Start-up hook: no device, every key up, nothing seen down, local layout.
void KeyboardStart();
// End hook: releases the device and forgets the sample, the seen-down flags
// and the layout.
void KeyboardEnd();
// End hook of the mouse device.
void MouseEnd();
