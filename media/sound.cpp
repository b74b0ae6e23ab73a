// Sound effects over the mixer's voices: the sound table, the volume table,
// WAV reading and the controls.
#include "media/sound.h"

#include <array>
#include <cmath>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

#include "media/mixer.h"

namespace {

constexpr size_t kInitialSounds = 50;
constexpr size_t kGrowthMargin = 10;
constexpr int32_t kMinRate = 100;
constexpr int32_t kMaxRate = 100000;
// Rates a recording itself may declare.
constexpr uint32_t kMinFileRate = 100;
constexpr uint32_t kMaxFileRate = 200000;
// Largest sample block accepted from one recording (keeps the mixer's
// fixed-point positions far from overflow).
constexpr uint64_t kMaxDataBytes = uint64_t{1} << 30;

struct SoundSlot {
  bool loaded = false;
  int32_t ownRate = 0;
  int32_t rate = 0;
  int32_t attenuation = 0;
};

struct SoundState {
  bool tableReady = false;
  bool outputReady = false;
  std::vector<SoundSlot> slots;
  std::array<int32_t, 101> volumeTable{};
};

SoundState& State() {
  static SoundState state;
  return state;
}

SoundSlot* Find(int32_t n) {
  SoundState& s = State();
  if (n < 0 || static_cast<size_t>(n) >= s.slots.size()) return nullptr;
  SoundSlot& slot = s.slots[static_cast<size_t>(n)];
  return slot.loaded ? &slot : nullptr;
}

void BuildVolumeTable(std::array<int32_t, 101>& table) {
  table[0] = 0;
  for (int i = 1; i < 100; ++i) {
    table[static_cast<size_t>(i)] =
        static_cast<int32_t>(std::trunc(2000.0 * std::log10(1000.0 * i)));
  }
  table[100] = 10000;
}

uint16_t Read16(std::span<const uint8_t> d, size_t at) {
  return static_cast<uint16_t>(d[at] | (d[at + 1] << 8));
}

uint32_t Read32(std::span<const uint8_t> d, size_t at) {
  return static_cast<uint32_t>(d[at]) | (static_cast<uint32_t>(d[at + 1]) << 8) |
         (static_cast<uint32_t>(d[at + 2]) << 16) | (static_cast<uint32_t>(d[at + 3]) << 24);
}

bool TagAt(std::span<const uint8_t> d, size_t at, const char* tag) {
  return d.size() >= 4 && at <= d.size() - 4 && std::memcmp(d.data() + at, tag, 4) == 0;
}

struct ParsedWav {
  int channels = 0;
  int bits = 0;
  uint32_t rate = 0;
  size_t dataAt = 0;
  size_t dataBytes = 0;  // whole frames only
};

// Format tag 0xFFFE carries the real format in a sub-format identifier; plain
// PCM is the only one accepted there.
bool ExtensibleIsPcm(std::span<const uint8_t> d, size_t fmtAt, uint32_t fmtSize) {
  static constexpr uint8_t kPcmGuid[16] = {0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00,
                                           0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
  if (fmtSize < 40) return false;
  return std::memcmp(d.data() + fmtAt + 24, kPcmGuid, sizeof kPcmGuid) == 0;
}

// Reads a WAV laid out as RIFF header, "fmt " chunk at offset 12 and the sample
// chunk after it. Anything that does not hold together gives nothing.
std::optional<ParsedWav> ParseWav(std::span<const uint8_t> d) {
  if (d.size() < 20 || !TagAt(d, 0, "RIFF") || !TagAt(d, 12, "fmt ")) return std::nullopt;
  const uint32_t fmtSize = Read32(d, 16);
  constexpr size_t fmtAt = 20;
  if (fmtSize < 16 || fmtSize > d.size() - fmtAt) return std::nullopt;

  const uint16_t tag = Read16(d, fmtAt);
  const uint16_t channels = Read16(d, fmtAt + 2);
  const uint32_t rate = Read32(d, fmtAt + 4);
  const uint16_t blockAlign = Read16(d, fmtAt + 12);
  const uint16_t bits = Read16(d, fmtAt + 14);
  if (tag != 1 && !(tag == 0xFFFE && ExtensibleIsPcm(d, fmtAt, fmtSize))) return std::nullopt;
  if (channels != 1 && channels != 2) return std::nullopt;
  if (bits != 8 && bits != 16) return std::nullopt;
  if (blockAlign != channels * bits / 8) return std::nullopt;
  if (rate < kMinFileRate || rate > kMaxFileRate) return std::nullopt;

  // The chunk right after the format chunk holds the samples, whatever its
  // tag says. Only when a chunk tagged "data" comes later (after lists of
  // names and the like) are the chunks before it skipped, so that such
  // metadata is never played as sound.
  const size_t afterFormat = fmtAt + fmtSize;
  if (d.size() - afterFormat < 8) return std::nullopt;
  size_t chunk = afterFormat;
  for (;;) {
    if (TagAt(d, chunk, "data")) break;
    const uint32_t size = Read32(d, chunk + 4);
    const uint64_t next = static_cast<uint64_t>(chunk) + 8 + size + (size & 1);
    if (next > d.size() || d.size() - next < 8) {
      chunk = afterFormat;
      break;
    }
    chunk = static_cast<size_t>(next);
  }
  const uint32_t dataSize = Read32(d, chunk + 4);
  const size_t dataAt = chunk + 8;
  if (dataSize > d.size() - dataAt || dataSize > kMaxDataBytes) return std::nullopt;
  const size_t frames = dataSize / blockAlign;
  if (frames == 0) return std::nullopt;

  ParsedWav w;
  w.channels = channels;
  w.bits = bits;
  w.rate = rate;
  w.dataAt = dataAt;
  w.dataBytes = frames * blockAlign;
  return w;
}

}  // namespace

int32_t SoundSystemInit() {
  SoundState& s = State();
  if (!s.tableReady) {
    s.slots.assign(kInitialSounds, SoundSlot{});
    s.tableReady = true;
  }
  BuildVolumeTable(s.volumeTable);
  s.outputReady = media::MixerSoundsOpen();
  return s.outputReady ? 1 : 0;
}

int32_t SoundCatch(int32_t n, std::span<const uint8_t> wav) {
  SoundState& s = State();
  if (!s.tableReady || !s.outputReady || n < 0 || n > media::kMixerMaxVoice) return 0;
  const std::optional<ParsedWav> parsed = ParseWav(wav);
  if (!parsed) return 0;

  auto clip = std::make_unique<media::MixerClip>();
  clip->channels = parsed->channels;
  clip->bitsPerSample = parsed->bits;
  clip->frames = static_cast<uint32_t>(parsed->dataBytes /
                                       static_cast<size_t>(parsed->channels * parsed->bits / 8));
  clip->bytes.assign(wav.begin() + static_cast<std::ptrdiff_t>(parsed->dataAt),
                     wav.begin() + static_cast<std::ptrdiff_t>(parsed->dataAt + parsed->dataBytes));

  const size_t index = static_cast<size_t>(n);
  if (index >= s.slots.size()) s.slots.resize(index + kGrowthMargin + 1);
  media::MixerVoiceLoad(n, std::move(clip));
  media::MixerVoiceRate(n, parsed->rate);

  SoundSlot& slot = s.slots[index];
  slot = SoundSlot{};
  slot.loaded = true;
  slot.ownRate = static_cast<int32_t>(parsed->rate);
  slot.rate = slot.ownRate;
  slot.attenuation = 0;
  return 1;
}

int32_t SoundPlay(int32_t n, int32_t loop) {
  if (Find(n) == nullptr) return 0;
  media::MixerVoicePlay(n, loop != 0);
  return 1;
}

int32_t SoundStop(int32_t n) {
  if (n == -1) {
    if (!State().tableReady) return 0;
    media::MixerVoiceStop(-1);
    return 1;
  }
  if (Find(n) == nullptr) return 0;
  media::MixerVoiceStop(n);
  return 1;
}

int32_t SoundVolume(int32_t n, int32_t volume) {
  SoundSlot* slot = Find(n);
  if (slot == nullptr) return 0;
  const int32_t v = volume < 0 ? 0 : (volume > 100 ? 100 : volume);
  slot->attenuation = State().volumeTable[static_cast<size_t>(v)] - 10000;
  media::MixerVoiceAttenuation(n, slot->attenuation);
  return 1;
}

int32_t SoundRate(int32_t n, int32_t hz) {
  SoundSlot* slot = Find(n);
  if (slot == nullptr || hz < kMinRate || hz > kMaxRate) return 0;
  slot->rate = hz;
  media::MixerVoiceRate(n, static_cast<uint32_t>(hz));
  return 1;
}

int32_t SoundAttenuation(int32_t n) {
  const SoundSlot* slot = Find(n);
  return slot == nullptr ? 1 : slot->attenuation;
}

void SoundStart() {
  SoundState& s = State();
  s.slots.clear();
  s.tableReady = false;
  s.outputReady = false;
}

void SoundEnd() {
  SoundState& s = State();
  if (s.outputReady) media::MixerVoiceStop(-1);
  media::MixerSoundsClose();
  s.slots.clear();
  s.tableReady = false;
  s.outputReady = false;
}
