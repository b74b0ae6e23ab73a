#pragma once
// Frame-synchronous keyboard: KeyboardPoll samples every key once per frame,
// then KeyDown and KeyReleased answer questions about that sample. Keys are
// set-1 scan codes (0x80 added for extended keys, see platform/keymap.h);
// -1 stands for any key. Main thread only.

#include <cstdint>

// Creates the keyboard device. 1 on success, 0 otherwise; without a device
// every poll fails and every key reads as up.
int32_t KeyboardInit();

// Samples the keyboard. 1 when a fresh sample was read; 0 when the read
// failed (no keyboard focus), in which case the previous sample stays.
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

// Start-up hook: no device, every key up, nothing seen down.
void KeyboardStart();
// End hook: releases the device and forgets the sample and the seen-down flags.
void KeyboardEnd();
// End hook of the mouse device.
void MouseEnd();
