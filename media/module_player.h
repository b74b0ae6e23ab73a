#pragma once
// Internals of the module music player: the module as read from its "MXM"
// layout, the player state, and the renderer. The renderer is driven either
// by the music thread (media/music.cpp) or directly by tests and benchmarks.

#include <array>
#include <cstdint>
#include <span>
#include <vector>

constexpr int kModuleHeaderBytes = 10064;
constexpr int kModuleMaxChannels = 32;
constexpr int kModuleEnvelopePoints = 12;
constexpr int kModuleKeyOffNote = 97;
constexpr int kModuleFlagNoDefaultPanning = 0x02;
constexpr int kModuleFlagDeltaSamples = 0x04;
constexpr int kModuleMixFrames = 4096;  // frames mixed per internal piece

enum ModuleLoop : uint8_t { kLoopNone = 0, kLoopForward = 1, kLoopPingPong = 2 };

struct ModuleSample {
  uint32_t loopStart = 0;
  uint32_t end = 0;  // sample length, or the loop end for looped samples
  uint8_t flags = 0;
  ModuleLoop loop = kLoopNone;
  uint8_t volume = 0;   // 0..64
  uint8_t panning = 0;  // 0..255
  int16_t pitch = 0;    // 1/256 semitone
  uint32_t data = 0;    // index of the first value in ModuleData::pool
};

struct ModuleEnvelope {
  uint8_t last = 0;
  uint8_t sustain = 255;
  uint8_t loopStart = 255;
  uint8_t loopEnd = 255;
  std::array<uint16_t, kModuleEnvelopePoints> length{};
  std::array<uint8_t, kModuleEnvelopePoints> value{};
};

struct ModuleInstrument {
  std::array<uint8_t, 96> keymap{};
  uint16_t fadeout = 0;
  uint8_t vibratoType = 0;
  uint8_t vibratoSweep = 0;
  uint8_t vibratoDepth = 0;
  uint8_t vibratoRate = 0;
  ModuleEnvelope volume;
  ModuleEnvelope panning;
  std::vector<ModuleSample> samples;
};

// One channel entry of a row, as stored in a pattern.
struct ModuleCell {
  uint8_t channel = 0;
  uint8_t what = 0;  // 0x20 note+instrument, 0x40 volume column, 0x80 effect
  uint8_t note = 0;
  uint8_t instrument = 0;
  uint8_t volume = 0;
  uint8_t effect = 0;
  uint8_t param = 0;
};

struct ModulePattern {
  uint32_t rows = 0;
  std::vector<uint32_t> rowStart;  // rows + 1 indices into cells
  std::vector<ModuleCell> cells;
};

struct ModuleData {
  int orderCount = 0;
  int restart = 0;
  int channels = 0;
  int patternCount = 0;
  int instrumentCount = 0;
  int speed = 0;
  int tempo = 0;
  int flags = 0;
  int32_t lowPeriod = 0;
  int32_t highPeriod = 0;
  std::array<uint8_t, 32> panning{};
  std::array<uint8_t, 256> orders{};
  std::vector<ModuleInstrument> instruments;  // instrument n is instruments[n - 1]
  std::vector<ModulePattern> patterns;
  // Every sample value as 16 bits (8-bit data already multiplied by 256),
  // 8-bit data first, then 16-bit data, then two zero guard values.
  std::vector<int16_t> pool;
};

// Reads and checks a module. False (out untouched) when anything is out of
// place: magic, counts, offsets, lengths, numbers, loop bounds.
bool ModuleLoad(std::span<const uint8_t> data, ModuleData* out);

struct ModuleChannel {
  // Voice.
  const ModuleSample* sample = nullptr;
  bool active = false;
  int64_t position = 0;  // samples, 32-bit fraction
  int direction = 1;
  bool offsetPending = false;
  uint32_t offset = 0;
  int32_t step = 0;       // 1/1024 sample per output frame
  int32_t mixVolume = 0;  // 0..128
  int32_t mixPanning = 0;

  // Musical state.
  int instrument = 0;  // 0 = none
  int volume = 0, heardVolume = 0;
  int panning = 128, heardPanning = 128;
  int32_t period = 0, heardPeriod = 0, target = 0;
  int defaultVolume = 0, defaultPanning = 128, pitch = 0;
  int lastNote = 0;
  bool keyDown = false;
  int fadeout = 0;
  int volumePoint = 0, volumeTick = 0;
  int panningPoint = 0, panningTick = 0;
  int autoVibratoPosition = 0, autoVibratoSweep = 0;

  int portaUp = 0, portaDown = 0, portaSpeed = 0;
  int volumeSlide = 0, globalSlide = 0, panningSlide = 0;
  int fineVolumeUp = 0, fineVolumeDown = 0;
  int extraFineUp = 0, extraFineDown = 0, fineUp = 0, fineDown = 0;
  int offsetParam = 0;
  int vibratoSpeed = 0, vibratoDepth = 0, vibratoPosition = 0;
  int tremoloSpeed = 0, tremoloDepth = 0, tremoloPosition = 0;
  std::array<int, 3> arpeggio{};
  int arpeggioIndex = 0;
  bool glissando = false;
  int vibratoWave = 0, tremoloWave = 0;
  int retrigInterval = 0;
  int multiInterval = 0, multiVolume = 0, multiCounter = 0;
  int tremorOn = 0, tremorCycle = 0, tremorCounter = 0;
  int keyOffTick = 0, cutTick = 0, delayTick = 0;
  int loopRow = 0, loopCount = 0;

  int effect = 255;  // current effect of the row, 255 = none
  int param = 0;
  int volumeCommand = 0;
};

struct ModulePlayer {
  ModuleData module;
  bool loaded = false;
  bool playing = false;
  int master = 64;  // 0..64
  int global = 64;  // 0..64
  int speed = 6;
  int tempo = 125;
  int tick = 0;
  int row = 0;
  int order = 0;
  int jumpOrder = -1;
  int jumpRow = -1;
  int patternDelay = 0;
  int sync = 0;
  bool rowTick = false;
  int32_t accumulator = 0;  // 1/256 frames
  std::array<ModuleChannel, kModuleMaxChannels> channels{};
  std::array<std::array<int16_t, 256>, 4> waves{};
  std::vector<int32_t> mix;  // left/right pairs
};

// Step in 1/1024 sample per output frame for a period (limited to 16 bits).
int32_t ModuleStepFromPeriod(int32_t period);
// The conversion tables T0..T3 (index 0..3) of the step conversion.
const std::array<int32_t, 16>& ModuleStepTable(int index);
// The wave tables of the vibrato, tremolo and auto-vibrato.
void ModuleBuildWaves(std::array<std::array<int16_t, 256>, 4>& waves);

// Zeroes the player and installs a loaded module (not playing, master 64).
void ModulePlayerInit(ModulePlayer& p, ModuleData&& module);
// Starts playing from an order position; does nothing while playing.
void ModulePlayerPlay(ModulePlayer& p, int order);
void ModulePlayerStop(ModulePlayer& p);
// Level 0..100 (limited) to master volume 0..64.
void ModulePlayerVolume(ModulePlayer& p, int level);
// One tick: row reading on the tick that reaches the speed, effects,
// envelopes and the voices' volume, panning and step.
void ModulePlayerTick(ModulePlayer& p);
// Renders frames of interleaved 16-bit stereo (silence when not playing).
void ModulePlayerRender(ModulePlayer& p, int16_t* out, int frames);
// As ModulePlayerRender, but leaves the 32-bit mixed values (before the
// limit to -32500..32500) in mixed: frames pairs.
void ModulePlayerMix(ModulePlayer& p, int32_t* mixed, int frames);
// The limit applied to every mixed value.
int16_t ModuleClip(int32_t value);
