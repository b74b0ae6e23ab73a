#pragma once
// The one audio output of a program. Its callback mixes every playing sound
// voice (each with its own gain, rate and loop flag) and the music stream, a
// looping ring of 16-bit stereo frames at 44,100 Hz that the music thread
// writes behind its play position.
//
// Threads: the music functions may be called from the music thread while the
// main thread uses the voice functions; the audio callback never waits on
// either for longer than a short copy.

#include <cstdint>
#include <memory>
#include <vector>

// --- Music stream -------------------------------------------------------------

constexpr int kMusicStreamBytes = 65536;  // looping ring of 16-bit stereo frames
constexpr int kMusicStreamFrames = kMusicStreamBytes / 4;

// Starts mixing the ring (opens the device if needed). A fresh attach clears
// the ring and starts playing at offset 0. False without audio.
bool MixerMusicAttach();
// Stops mixing the ring; closes the device when no sound needs it either.
void MixerMusicDetach();
// Byte offset in the ring that plays next (a multiple of 4).
uint32_t MixerMusicPlayPosition();
// Copies frames (interleaved left/right) into the ring starting at the byte
// offset (taken modulo the ring size, rounded down to whole frames), wrapping
// round at the end.
void MixerMusicWrite(uint32_t byteOffset, const int16_t* stereo, int frames);

// --- Sound voices (for the sound effects) ---------------------------------------

namespace media {

// A recording as stored: interleaved PCM, 8-bit unsigned or 16-bit signed
// little-endian, one or two channels. Never changed once handed to the mixer.
struct MixerClip {
  int channels = 1;
  int bitsPerSample = 8;
  uint32_t frames = 0;
  std::vector<uint8_t> bytes;  // frames * channels * bitsPerSample / 8
};

// Highest voice number the mixer accepts.
constexpr int kMixerMaxVoice = 65535;

// Opens the audio device for the sound voices if it is not open yet. False
// when there is no audio device.
bool MixerSoundsOpen();
// The sound voices no longer need the device: every voice is unloaded, and
// the device closes unless the music stream still plays.
void MixerSoundsClose();

// Installs a recording as voice n (stopped, at its start, full gain, one
// source frame per output frame), releasing any earlier one.
void MixerVoiceLoad(int n, std::unique_ptr<MixerClip> clip);
// Stops the voice, rewinds it to its first frame and starts it.
void MixerVoicePlay(int n, bool loop);
// Stops and rewinds voice n; n = -1 does so for every voice.
void MixerVoiceStop(int n);
// Gain in hundredths of a decibel (0 full level, -10000 or below silence).
void MixerVoiceAttenuation(int n, int32_t hundredthsDb);
// Playback rate of the recording in frames per second.
void MixerVoiceRate(int n, uint32_t hz);
// True while voice n plays (a one-shot voice stops by itself at its end).
bool MixerVoicePlaying(int n);

}  // namespace media
