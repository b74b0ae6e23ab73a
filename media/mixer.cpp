// The audio callback and its control surface: sound voices with their own
// gain, rate and loop flag, plus the looping music ring.
//
// The main thread changes voices under a small mutex and only for plain field
// copies. The callback takes the same mutex twice per call, once to copy the
// playing voices out and once to write their positions back, and mixes in
// between without holding it. A voice that was restarted, stopped or replaced
// while the callback mixed keeps the main thread's state: each such change
// bumps the voice's serial number, and the write-back skips voices whose
// serial moved on.
//
// Recordings are owned by the main thread. A replaced one is kept until every
// callback that may have copied its pointer has finished, so the audio thread
// never frees memory and never reads freed memory.
//
// The music ring is an array of atomics (one packed stereo frame each), so the
// music thread writes and the callback reads without any lock.
#include "media/mixer.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <mutex>

#include "platform/headless.h"
#include "platform/platform.h"

namespace {

using media::MixerClip;

constexpr int kChunkFrames = 256;
constexpr uint64_t kUnitStep = uint64_t{1} << 32;  // one source frame per output frame
constexpr int32_t kFullGain = 65536;               // gain in 1/65536

struct VoiceCtl {
  const MixerClip* clip = nullptr;
  bool playing = false;
  bool loop = false;
  uint64_t pos = 0;  // source frames, 32.32 fixed point
  uint64_t step = kUnitStep;
  int32_t gain = kFullGain;
  uint32_t serial = 0;
};

struct ActiveVoice {
  size_t index = 0;
  const MixerClip* clip = nullptr;
  uint64_t pos = 0;
  uint64_t step = kUnitStep;
  int32_t gain = kFullGain;
  bool loop = false;
  bool playing = true;
  uint32_t serial = 0;
};

struct Retired {
  std::unique_ptr<MixerClip> clip;
  uint64_t ticket = 0;  // callbacks that had copied voices when it was retired
};

struct MixerState {
  // Shared with the audio thread; guarded by lock.
  std::mutex lock;
  std::vector<VoiceCtl> voices;
  uint64_t snapshots = 0;  // callbacks that copied the voices so far

  // Audio thread only (and the main thread while no device is open).
  std::vector<ActiveVoice> active;

  std::atomic<uint64_t> finished{0};  // callbacks completed so far

  // Music ring, lock-free.
  std::array<std::atomic<uint32_t>, kMusicStreamFrames> ring{};
  std::atomic<uint32_t> musicFrame{0};  // frame that plays next
  std::atomic<bool> musicOn{false};

  // Main thread only.
  std::vector<std::unique_ptr<MixerClip>> clips;  // owner of every installed recording
  std::vector<Retired> retired;
  platform::Platform* device = nullptr;  // platform whose audio device we opened
  bool soundsUse = false;
  bool musicUse = false;
};

MixerState& State() {
  static MixerState state;
  return state;
}

// ---------------------------------------------------------------------------
// Mixing (audio thread)

template <int Bits>
inline int32_t SampleAt(const uint8_t* data, uint32_t index) {
  if constexpr (Bits == 8) {
    return (static_cast<int32_t>(data[index]) - 128) * 256;
  } else {
    const uint8_t* p = data + static_cast<size_t>(index) * 2;
    return static_cast<int16_t>(static_cast<uint16_t>(p[0] | (p[1] << 8)));
  }
}

// Adds n output frames of one voice to acc, resampling by linear interpolation.
// At the last frame a looping voice interpolates towards its first frame, so
// the seam is as smooth as any other point of the recording.
template <int Bits, int Channels>
void MixVoice(ActiveVoice& v, int32_t* acc, int n) {
  const MixerClip& clip = *v.clip;
  const uint8_t* data = clip.bytes.data();
  const uint32_t frames = clip.frames;
  const uint64_t end = static_cast<uint64_t>(frames) << 32;
  const uint64_t step = v.step;
  const int32_t gain = v.gain;
  uint64_t pos = v.pos;
  for (int i = 0; i < n; ++i) {
    const uint32_t k = static_cast<uint32_t>(pos >> 32);
    uint32_t k1 = k + 1;
    if (k1 >= frames) k1 = v.loop ? 0 : k;
    const int32_t frac = static_cast<int32_t>((pos >> 17) & 0x7FFF);
    const int32_t a = SampleAt<Bits>(data, k * Channels);
    const int32_t b = SampleAt<Bits>(data, k1 * Channels);
    const int32_t left = a + (((b - a) * frac) >> 15);
    int32_t right = left;
    if constexpr (Channels == 2) {
      const int32_t c = SampleAt<Bits>(data, k * 2 + 1);
      const int32_t d = SampleAt<Bits>(data, k1 * 2 + 1);
      right = c + (((d - c) * frac) >> 15);
    }
    acc[2 * i] += (left * gain) >> 16;
    acc[2 * i + 1] += (right * gain) >> 16;
    pos += step;
    if (pos >= end) {
      if (!v.loop) {
        v.playing = false;
        break;
      }
      pos %= end;
    }
  }
  v.pos = pos;
}

void MixAny(ActiveVoice& v, int32_t* acc, int n) {
  const bool wide = v.clip->bitsPerSample == 16;
  const bool stereo = v.clip->channels == 2;
  if (wide) {
    stereo ? MixVoice<16, 2>(v, acc, n) : MixVoice<16, 1>(v, acc, n);
  } else {
    stereo ? MixVoice<8, 2>(v, acc, n) : MixVoice<8, 1>(v, acc, n);
  }
}

void MixMusic(MixerState& s, int32_t* acc, int n) {
  uint32_t p = s.musicFrame.load(std::memory_order_relaxed);
  for (int i = 0; i < n; ++i) {
    const uint32_t packed = s.ring[p].load(std::memory_order_relaxed);
    acc[2 * i] += static_cast<int16_t>(static_cast<uint16_t>(packed & 0xFFFF));
    acc[2 * i + 1] += static_cast<int16_t>(static_cast<uint16_t>(packed >> 16));
    p = (p + 1) % kMusicStreamFrames;
  }
  s.musicFrame.store(p, std::memory_order_release);
}

inline int16_t Saturate(int32_t v) {
  return static_cast<int16_t>(std::clamp<int32_t>(v, -32768, 32767));
}

void AudioCallback(int16_t* out, int frames) {
  MixerState& s = State();
  {
    std::lock_guard<std::mutex> guard(s.lock);
    s.active.clear();
    for (size_t i = 0; i < s.voices.size(); ++i) {
      const VoiceCtl& c = s.voices[i];
      if (!c.playing || c.clip == nullptr || c.clip->frames == 0) continue;
      s.active.push_back({i, c.clip, c.pos, c.step, c.gain, c.loop, true, c.serial});
    }
    ++s.snapshots;
  }

  std::array<int32_t, kChunkFrames * 2> acc;
  const bool music = s.musicOn.load(std::memory_order_acquire);
  for (int done = 0; done < frames;) {
    const int n = std::min(kChunkFrames, frames - done);
    std::fill(acc.begin(), acc.begin() + 2 * n, 0);
    for (ActiveVoice& v : s.active) {
      if (v.playing) MixAny(v, acc.data(), n);
    }
    if (music) MixMusic(s, acc.data(), n);
    int16_t* dst = out + static_cast<size_t>(done) * 2;
    for (int i = 0; i < 2 * n; ++i) dst[i] = Saturate(acc[static_cast<size_t>(i)]);
    done += n;
  }

  {
    std::lock_guard<std::mutex> guard(s.lock);
    for (const ActiveVoice& v : s.active) {
      if (v.index >= s.voices.size()) continue;
      VoiceCtl& c = s.voices[v.index];
      if (c.serial != v.serial) continue;  // restarted, stopped or replaced meanwhile
      c.pos = v.pos;
      c.playing = v.playing;
    }
  }
  s.finished.fetch_add(1, std::memory_order_release);
}

// ---------------------------------------------------------------------------
// Device and recordings (main thread)

// True when the device we opened belongs to the platform in use and is open.
bool DeviceLive(MixerState& s) {
  if (s.device == nullptr || s.device != &platform::Current()) return false;
  if (auto* headless = dynamic_cast<platform::HeadlessPlatform*>(s.device)) {
    return headless->AudioIsOpen();
  }
  return true;
}

void PruneRetired(MixerState& s, bool all) {
  const uint64_t finished = s.finished.load(std::memory_order_acquire);
  std::erase_if(s.retired, [&](const Retired& r) { return all || finished >= r.ticket; });
}

bool EnsureDevice(MixerState& s) {
  if (DeviceLive(s)) return true;
  // Whatever device we had is gone with its platform; no callback of ours runs.
  s.device = nullptr;
  s.musicOn.store(false);
  PruneRetired(s, true);
  s.active.reserve(64);
  if (!platform::Current().AudioOpen(&AudioCallback)) return false;
  s.device = &platform::Current();
  return true;
}

void CloseDeviceIfUnused(MixerState& s) {
  if (s.soundsUse || s.musicUse) return;
  if (DeviceLive(s)) platform::Current().AudioClose();
  s.device = nullptr;
  PruneRetired(s, true);
}

// Keeps a replaced recording until no callback can still be reading it.
void Retire(MixerState& s, std::unique_ptr<MixerClip> clip, uint64_t ticket) {
  if (!clip) return;
  s.retired.push_back({std::move(clip), ticket});
}

uint64_t StepForRate(uint32_t hz) {
  return (static_cast<uint64_t>(hz) << 32) / static_cast<uint64_t>(platform::kAudioRate);
}

int32_t GainForAttenuation(int32_t hundredthsDb) {
  if (hundredthsDb <= -10000) return 0;
  if (hundredthsDb >= 0) return kFullGain;
  return static_cast<int32_t>(
      std::lrint(kFullGain * std::pow(10.0, static_cast<double>(hundredthsDb) / 2000.0)));
}

// Runs f on voice n under the lock when it exists.
template <typename F>
void WithVoice(int n, F&& f) {
  MixerState& s = State();
  std::lock_guard<std::mutex> guard(s.lock);
  if (n < 0 || static_cast<size_t>(n) >= s.voices.size()) return;
  f(s.voices[static_cast<size_t>(n)]);
}

}  // namespace

// ---------------------------------------------------------------------------
// Music stream

bool MixerMusicAttach() {
  MixerState& s = State();
  if (!EnsureDevice(s)) return false;
  if (!s.musicOn.load()) {
    for (auto& frame : s.ring) frame.store(0, std::memory_order_relaxed);
    s.musicFrame.store(0, std::memory_order_relaxed);
    s.musicOn.store(true, std::memory_order_release);
  }
  s.musicUse = true;
  return true;
}

void MixerMusicDetach() {
  MixerState& s = State();
  s.musicOn.store(false, std::memory_order_release);
  s.musicUse = false;
  CloseDeviceIfUnused(s);
}

uint32_t MixerMusicPlayPosition() {
  return State().musicFrame.load(std::memory_order_acquire) * 4;
}

void MixerMusicWrite(uint32_t byteOffset, const int16_t* stereo, int frames) {
  if (stereo == nullptr || frames <= 0) return;
  MixerState& s = State();
  uint32_t at = (byteOffset % kMusicStreamBytes) / 4;
  if (frames > kMusicStreamFrames) {
    // Only the last ring's worth survives anyway.
    const int skip = frames - kMusicStreamFrames;
    stereo += static_cast<size_t>(skip) * 2;
    at = (at + static_cast<uint32_t>(skip)) % kMusicStreamFrames;
    frames = kMusicStreamFrames;
  }
  for (int i = 0; i < frames; ++i) {
    const uint32_t left = static_cast<uint16_t>(stereo[2 * i]);
    const uint32_t right = static_cast<uint16_t>(stereo[2 * i + 1]);
    s.ring[at].store(left | (right << 16), std::memory_order_relaxed);
    at = (at + 1) % kMusicStreamFrames;
  }
}

// ---------------------------------------------------------------------------
// Sound voices

namespace media {

bool MixerSoundsOpen() {
  MixerState& s = State();
  if (!EnsureDevice(s)) return false;
  s.soundsUse = true;
  return true;
}

void MixerSoundsClose() {
  MixerState& s = State();
  uint64_t ticket = 0;
  {
    std::lock_guard<std::mutex> guard(s.lock);
    s.voices.clear();
    ticket = s.snapshots;
  }
  for (auto& clip : s.clips) Retire(s, std::move(clip), ticket);
  s.clips.clear();
  s.soundsUse = false;
  CloseDeviceIfUnused(s);
  PruneRetired(s, !DeviceLive(s));
}

void MixerVoiceLoad(int n, std::unique_ptr<MixerClip> clip) {
  if (n < 0 || n > kMixerMaxVoice || !clip) return;
  MixerState& s = State();
  const size_t index = static_cast<size_t>(n);
  if (s.clips.size() <= index) s.clips.resize(index + 1);
  // Only this thread resizes the voice table, so its size can be read here
  // without the lock. Grow outside the lock so the callback never waits on an
  // allocation; the old table is freed after the lock is released.
  std::vector<VoiceCtl> grown;
  if (s.voices.size() <= index) grown.resize(index + 1);
  uint64_t ticket = 0;
  {
    std::lock_guard<std::mutex> guard(s.lock);
    if (!grown.empty()) {
      std::copy(s.voices.begin(), s.voices.end(), grown.begin());
      s.voices.swap(grown);
    }
    VoiceCtl& c = s.voices[index];
    const uint32_t serial = c.serial + 1;
    c = VoiceCtl{};
    c.clip = clip.get();
    c.serial = serial;
    ticket = s.snapshots;
  }
  Retire(s, std::move(s.clips[index]), ticket);
  s.clips[index] = std::move(clip);
  PruneRetired(s, !DeviceLive(s));
}

void MixerVoicePlay(int n, bool loop) {
  WithVoice(n, [&](VoiceCtl& c) {
    if (c.clip == nullptr) return;
    c.pos = 0;
    c.loop = loop;
    c.playing = true;
    ++c.serial;
  });
}

void MixerVoiceStop(int n) {
  auto stop = [](VoiceCtl& c) {
    c.pos = 0;
    c.playing = false;
    ++c.serial;
  };
  if (n == -1) {
    MixerState& s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    for (VoiceCtl& c : s.voices) stop(c);
    return;
  }
  WithVoice(n, stop);
}

void MixerVoiceAttenuation(int n, int32_t hundredthsDb) {
  const int32_t gain = GainForAttenuation(hundredthsDb);
  WithVoice(n, [&](VoiceCtl& c) { c.gain = gain; });
}

void MixerVoiceRate(int n, uint32_t hz) {
  const uint64_t step = StepForRate(hz);
  WithVoice(n, [&](VoiceCtl& c) { c.step = step; });
}

bool MixerVoicePlaying(int n) {
  bool playing = false;
  WithVoice(n, [&](VoiceCtl& c) { playing = c.playing; });
  return playing;
}

}  // namespace media
