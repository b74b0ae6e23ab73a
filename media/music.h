#pragma once
// Background music: one tracker module in the "MXM" layout, rendered by a
// thread of its own into the mixer's looping music stream (44,100 Hz, 16-bit
// stereo). The module is copied and decoded at load, so the caller's data
// need not outlive the call.

#include <cstdint>
#include <span>

// Loads the module (every offset, count and number checked) and starts the
// output thread, which renders silence until MusicPlay. 1 on success; 0 for a
// malformed module or when there is no audio output (the program then runs
// without music). A second call replaces the first module.
int32_t MusicCatch(std::span<const uint8_t> data);

// Starts playing from an order position, row 0, with the module's speed,
// tempo and channel panning and global volume 64. Does nothing while the
// music already plays (or nothing is loaded): returns 1 only when it started.
int32_t MusicPlay(int32_t order = 0);

// Stops playing; the stream goes on with silence. Position and channels stay
// until the next MusicPlay.
void MusicStop();

// Music level 0..100 (outside values are limited): master volume 0..64,
// level / 1.5625 truncated.
void MusicVolume(int32_t level);

// End hook: tells the output thread to stop, waits for it (at most a second),
// detaches the music stream from the mixer and drops the module.
void MusicEnd();
