#pragma once
// Sound effects: short recordings loaded from WAV data under sound numbers.
// One sound number is one voice: playing it again restarts it, different
// numbers play at the same time. Volume (0 to 100) and rate (Hz) can change
// at any time, also while a sound plays. Main thread only.

#include <cstdint>
#include <span>

// Creates the sound table (numbers 0 to 49) and the volume table, then opens
// the audio output. Non-zero when the output is there; without it every
// later SoundCatch fails and the program runs silently.
int32_t SoundSystemInit();

// Loads a WAV recording (uncompressed PCM, 8 or 16 bits, mono or stereo) as
// sound number n, replacing any sound under that number. Non-zero on
// success; on failure an existing sound under n stays as it was.
int32_t SoundCatch(int32_t n, std::span<const uint8_t> wav);

// Stops the sound, rewinds it and starts it, endlessly when loop is non-zero.
int32_t SoundPlay(int32_t n, int32_t loop = 0);

// Stops and rewinds the sound; n = -1 does so for every sound.
int32_t SoundStop(int32_t n);

// Volume 0 (silence) to 100 (full level); values outside are clamped.
int32_t SoundVolume(int32_t n, int32_t volume);

// Playback rate in Hz, 100 to 100,000; the recording's own rate plays it
// unchanged. A rate outside the range is refused (result 0) and the old rate
// stays.
int32_t SoundRate(int32_t n, int32_t hz);

// The attenuation in force for sound n in hundredths of a decibel (0 full
// level, -10000 silence), or 1 when there is no such sound.
int32_t SoundAttenuation(int32_t n);

// Start-up hook: forgets every sound (nothing is loaded before it).
void SoundStart();
// End hook: stops and releases every sound and closes the sound output.
void SoundEnd();
