// Tick processing of the module player: row reading, note starts, the row and
// tick parts of the effects and volume-column commands, and each channel's
// heard volume, panning and period from its envelopes, fade-out and
// auto-vibrato.

#include "media/module_player.h"

#include <algorithm>
#include <cmath>

namespace {

// Periods wander through slides; keep them far inside 32 bits. What is heard
// is limited to the module's own range anyway.
constexpr int32_t kPeriodGuard = 1 << 24;

int32_t GuardPeriod(int64_t p) {
  return static_cast<int32_t>(std::clamp<int64_t>(p, -kPeriodGuard, kPeriodGuard));
}

int Clamp64(int v) {
  return std::clamp(v, 0, 64);
}

std::array<int32_t, 16> MakeTable(double base, double perStep, int bias) {
  std::array<int32_t, 16> t{};
  for (int k = 0; k < 16; ++k) {
    t[k] = static_cast<int32_t>(std::nearbyint(base * std::exp2(-perStep * (k - bias) / 3072.0)));
  }
  return t;
}

struct StepTables {
  std::array<int32_t, 16> t0 = MakeTable(32768, 1, 0);
  std::array<int32_t, 16> t1 = MakeTable(32768, 16, 0);
  std::array<int32_t, 16> t2 = MakeTable(32768, 256, 0);
  std::array<int32_t, 16> t3 = MakeTable(6848, 4096, 8);
};

const StepTables& Tables() {
  static const StepTables tables;  // constant after construction
  return tables;
}

// Walks an envelope by one tick; returns its value at the current point.
int EnvelopeValue(const ModuleEnvelope& env, bool keyDown, int& point, int& tick) {
  if (point >= env.last) return env.value[env.last];
  const int len = env.length[point];
  const int a = env.value[point];
  const int b = env.value[point + 1];
  const int value = len > 0 ? a + (b - a) * tick / len : a;
  if (keyDown && point == env.sustain) {
    tick = 0;  // held at the sustain point while the key is down
  } else {
    ++tick;
    if (tick >= len) {
      tick = 0;
      ++point;
      // Arriving at the loop end continues at the loop start at once, so a
      // loop may end at the last point (the common case) and still loop.
      if (point == env.loopEnd) point = env.loopStart;
    }
  }
  return value;
}

void EnvelopeSeek(const ModuleEnvelope& env, int ticks, int& point, int& tick) {
  point = 0;
  while (point < env.last && ticks >= env.length[point]) {
    ticks -= env.length[point];
    ++point;
  }
  tick = point < env.last ? ticks : 0;
}

void RestartVoice(ModuleChannel& c) {
  if (c.sample == nullptr) return;
  c.active = true;
  c.position = 0;
  c.direction = 1;
  c.offsetPending = false;
}

void ReleaseKey(const ModulePlayer& p, ModuleChannel& c) {
  c.keyDown = false;
  if (c.instrument > 0 && p.module.instruments[c.instrument - 1].volume.last == 0) {
    c.fadeout = 0;  // nothing to fade: the note is cut
  }
}

void SetVolume(ModuleChannel& c, int v) {
  c.volume = c.heardVolume = Clamp64(v);
}
void SetPanning(ModuleChannel& c, int v) {
  c.panning = c.heardPanning = std::clamp(v, 0, 255);
}
void SetPeriod(ModuleChannel& c, int64_t v) {
  c.period = c.heardPeriod = GuardPeriod(v);
}
// Moves the base period and the heard one by the same amount, so that what
// this tick already added to the heard period (a volume-column vibrato) stays.
void SlidePeriod(ModuleChannel& c, int64_t v) {
  const int32_t to = GuardPeriod(v);
  c.heardPeriod = GuardPeriod(static_cast<int64_t>(c.heardPeriod) + to - c.period);
  c.period = to;
}

// Starts a channel's entry: note, instrument, key.
void StartEntry(ModulePlayer& p, ModuleChannel& c, int note, int instrumentByte, int effect,
                int param, int volumeByte, bool fromDelay) {
  const bool porta = effect == 3 || effect == 5 || volumeByte >= 0xF0;
  bool keyOff = false;
  if ((effect == 20 && param == 0) || note == kModuleKeyOffNote) {
    note = 0;
    keyOff = true;
    c.keyDown = false;
  }
  if (instrumentByte >= 1 && instrumentByte <= p.module.instrumentCount) {
    c.instrument = instrumentByte;
  }
  if (c.instrument == 0) return;
  const ModuleInstrument& ins = p.module.instruments[c.instrument - 1];
  if (note != 0) {
    if (instrumentByte != 0) c.keyDown = true;
    c.lastNote = note;
    if (effect == 49 && param != 0) return;  // the note delay starts it later
    const int index = ins.keymap[note - 1];
    if (index >= static_cast<int>(ins.samples.size())) return;
    const ModuleSample& s = ins.samples[index];
    if (porta) {
      c.target = GuardPeriod(0x3000 - ((note - 1) * 256 + c.pitch));
    } else {
      c.sample = &s;
      if (instrumentByte != 0) {
        c.defaultVolume = s.volume;
        c.defaultPanning = s.panning;
        c.pitch = s.pitch;
      }
      SetPeriod(c, 0x3000 - ((note - 1) * 256 + c.pitch));
      c.target = c.period;
      RestartVoice(c);
      if (effect == 9) {
        if (param != 0) c.offsetParam = param;
        c.offset = static_cast<uint32_t>(c.offsetParam) * 256;
        c.offsetPending = true;
      }
      c.vibratoPosition = c.tremoloPosition = c.arpeggioIndex = 0;
      c.multiCounter = c.tremorCounter = 0;
    }
  }
  if (c.keyDown && instrumentByte != 0) {
    if (!fromDelay) {
      SetVolume(c, c.defaultVolume);
      if (!(p.module.flags & kModuleFlagNoDefaultPanning)) SetPanning(c, c.defaultPanning);
    }
    c.fadeout = 32768;
    c.autoVibratoPosition = c.autoVibratoSweep = 0;
    c.volumePoint = c.volumeTick = c.panningPoint = c.panningTick = 0;
  }
  if (keyOff && instrumentByte == 0 && ins.volume.last == 0) c.fadeout = 0;
}

void VolumeColumnRow(ModuleChannel& c, int byte) {
  const int value = byte & 15;
  switch (byte >> 4) {
    case 1:
    case 2:
    case 3:
    case 4:
    case 5:
      SetVolume(c, byte - 16);
      break;
    case 8:
      SetVolume(c, c.volume - value);
      break;
    case 9:
      SetVolume(c, c.volume + value);
      break;
    case 10:
      c.vibratoSpeed = value * 4;
      break;
    case 11:
      c.vibratoDepth = value * 4;
      break;
    case 12:
      SetPanning(c, value * 17);
      break;
    case 15:
      c.portaSpeed = value * 256;  // no memory here, unlike effect 3
      break;
    default:
      break;
  }
}

int Remember(int& slot, int param) {
  if (param != 0) slot = param;
  return slot;
}

void EffectRow(ModulePlayer& p, ModuleChannel& c, int effect, int param) {
  const int hi = param >> 4;
  const int lo = param & 15;
  switch (effect) {
    case 0:
      c.arpeggio = {0, hi, lo};
      break;
    case 1:
      if (param) c.portaUp = param * 16;
      break;
    case 2:
      if (param) c.portaDown = param * 16;
      break;
    case 3:
      if (param) c.portaSpeed = param * 16;
      break;
    case 4:
      if (lo) c.vibratoDepth = lo * 4;
      if (hi) c.vibratoSpeed = hi * 4;
      break;
    case 5:
    case 6:
      c.volumeSlide = param;  // taken as given, 0 included
      break;
    case 10:
      Remember(c.volumeSlide, param);
      break;
    case 7:
      // Unlike vibrato, both are taken as given, 0 included.
      c.tremoloDepth = lo * 4;
      c.tremoloSpeed = hi * 4;
      break;
    case 8:
      SetPanning(c, param);
      break;
    case 11:
      p.jumpOrder = param;
      p.jumpRow = 0;
      break;
    case 12:
      SetVolume(c, param);
      break;
    case 13:
      if (p.jumpOrder < 0) p.jumpOrder = p.order + 1;
      p.jumpRow = hi * 10 + lo;
      break;
    case 15:
      if (param >= 32) {
        p.tempo = param;
      } else if (param != 0) {
        p.speed = param;
      }
      break;
    case 16:
      p.global = std::min(param, 64);
      break;
    case 17:
      Remember(c.globalSlide, param);
      break;
    case 20:
      c.keyOffTick = param;
      break;
    case 21:
      if (c.instrument > 0) {
        const ModuleInstrument& ins = p.module.instruments[c.instrument - 1];
        EnvelopeSeek(ins.volume, param, c.volumePoint, c.volumeTick);
        EnvelopeSeek(ins.panning, param, c.panningPoint, c.panningTick);
      }
      break;
    case 25:
      Remember(c.panningSlide, param);
      break;
    case 27:
      if (param) {
        c.multiInterval = lo;
        c.multiVolume = hi;
        c.multiCounter = 0;
      }
      break;
    case 28:
    case 32:
    case 51:
      p.sync = param;
      break;
    case 29:
      if (param) {
        c.tremorOn = hi + 1;
        c.tremorCycle = c.tremorOn + lo + 1;
        c.tremorCounter = 0;
      }
      break;
    case 33:
      if (hi == 1) SetPeriod(c, c.period - Remember(c.extraFineUp, lo) * 4);
      if (hi == 2) SetPeriod(c, c.period + Remember(c.extraFineDown, lo) * 4);
      break;
    case 37:
      SetPeriod(c, c.period - Remember(c.fineUp, param) * 16);
      break;
    case 38:
      SetPeriod(c, c.period + Remember(c.fineDown, param) * 16);
      break;
    case 39:
      c.glissando = param != 0;
      break;
    case 40:
      c.vibratoWave = param;
      break;
    case 43:
      c.tremoloWave = param;
      break;
    case 42:
      if (param == 0) {
        c.loopRow = p.row;
      } else if (++c.loopCount <= param) {
        p.jumpOrder = p.order;
        p.jumpRow = c.loopRow;
      } else {
        c.loopCount = 0;
        c.loopRow = p.row + 1;
      }
      break;
    case 44:
      SetPanning(c, param * 17);
      break;
    case 45:
      c.retrigInterval = param;
      break;
    case 46:
      SetVolume(c, c.volume + Remember(c.fineVolumeUp, param));
      break;
    case 47:
      SetVolume(c, c.volume - Remember(c.fineVolumeDown, param));
      break;
    case 48:
      c.cutTick = param;
      break;
    case 49:
      c.delayTick = param;
      break;
    case 50:
      p.patternDelay = param;
      break;
    default:
      break;
  }
}

void ReadRow(ModulePlayer& p) {
  const ModuleData& m = p.module;
  const int oldOrder = p.order;
  ++p.row;
  // An order position at or beyond the order count (asked for by a play)
  // names no pattern; the pending jump takes it to the restart position.
  if (p.order >= m.orderCount || p.row >= static_cast<int>(m.patterns[m.orders[p.order]].rows)) {
    ++p.order;
    p.row = 0;
  }
  if (p.jumpOrder >= 0) {
    p.order = p.jumpOrder;
    p.row = p.jumpRow;
    p.jumpOrder = p.jumpRow = -1;
  }
  if (p.order >= m.orderCount) p.order = m.restart;
  if (p.order != oldOrder) {
    for (ModuleChannel& c : p.channels) c.loopRow = c.loopCount = 0;
  }
  const ModulePattern& pat = m.patterns[m.orders[p.order]];
  // A jump beyond the pattern's last row starts it from its top.
  if (p.row < 0 || p.row >= static_cast<int>(pat.rows)) p.row = 0;

  uint32_t cell = pat.rowStart[p.row];
  const uint32_t end = pat.rowStart[p.row + 1];
  for (int ch = 0; ch < m.channels; ++ch) {
    ModuleChannel& c = p.channels[ch];
    c.effect = 255;
    c.param = 0;
    c.volumeCommand = 0;
    if (cell >= end || pat.cells[cell].channel != ch) continue;
    const ModuleCell& e = pat.cells[cell++];
    if (e.what & 0x80) {
      c.effect = e.effect;
      c.param = e.param;
    }
    if (e.what & 0x40) c.volumeCommand = e.volume;
    StartEntry(p, c, e.note, e.instrument, c.effect, c.param, c.volumeCommand, false);
    VolumeColumnRow(c, c.volumeCommand);
    if (c.effect <= 51) EffectRow(p, c, c.effect, c.param);
  }
}

void TonePorta(ModuleChannel& c) {
  if (c.period < c.target) {
    SlidePeriod(c, std::min(c.period + c.portaSpeed, c.target));
  } else if (c.period > c.target) {
    SlidePeriod(c, std::max(c.period - c.portaSpeed, c.target));
  }
  if (c.glissando) {
    // Whole semitones lie where period + pitch adjustment is a multiple of 256.
    const int32_t offset = c.heardPeriod + c.pitch;
    c.heardPeriod = ((offset + 128) & ~255) - c.pitch;
  }
}

void Vibrato(const ModulePlayer& p, ModuleChannel& c) {
  c.heardPeriod += p.waves[0][c.vibratoPosition] * c.vibratoDepth / 8;
  if (!p.rowTick) c.vibratoPosition = (c.vibratoPosition + c.vibratoSpeed / 2) & 255;
}

void VolumeSlide(ModuleChannel& c, int param) {
  if ((param >> 4) == 0) {
    SetVolume(c, c.volume - (param & 15));
  } else {
    SetVolume(c, c.volume + (param >> 4));
  }
}

void VolumeColumnTick(const ModulePlayer& p, ModuleChannel& c) {
  const int value = c.volumeCommand & 15;
  const int cmd = c.volumeCommand >> 4;
  if (cmd == 11) Vibrato(p, c);
  if (p.rowTick) return;
  switch (cmd) {
    case 6:
      SetVolume(c, c.volume - value);
      break;
    case 7:
      SetVolume(c, c.volume + value);
      break;
    case 13:
      SetPanning(c, c.panning - value);
      break;
    case 14:
      SetPanning(c, c.panning + value);
      break;
    case 15:
      TonePorta(c);
      break;
    default:
      break;
  }
}

void MultiRetrigVolume(ModuleChannel& c) {
  int v = c.volume;
  switch (c.multiVolume) {
    case 1:
    case 2:
    case 3:
    case 4:
    case 5:
      v -= 1 << (c.multiVolume - 1);
      break;
    case 6:
      v = (v + v / 4) / 2;
      break;
    case 7:
      v = v / 2;
      break;
    case 9:
    case 10:
    case 11:
    case 12:
    case 13:
      v += 1 << (c.multiVolume - 9);
      break;
    case 14:
      v = v + v / 2;
      break;
    case 15:
      v = v * 2;
      break;
    default:
      break;
  }
  SetVolume(c, v);
}

void EffectTick(ModulePlayer& p, ModuleChannel& c) {
  const bool later = !p.rowTick;
  const int param = c.param;
  switch (c.effect) {
    case 0:
      if (param != 0) {
        c.heardPeriod -= c.arpeggio[c.arpeggioIndex] * 256;
        c.arpeggioIndex = (c.arpeggioIndex + 1) % 3;
      }
      break;
    case 1:
      if (later) SlidePeriod(c, static_cast<int64_t>(c.period) - c.portaUp);
      break;
    case 2:
      if (later) SlidePeriod(c, static_cast<int64_t>(c.period) + c.portaDown);
      break;
    case 3:
      if (later) TonePorta(c);
      break;
    case 4:
      Vibrato(p, c);
      break;
    case 5:
      if (later) {
        TonePorta(c);
        VolumeSlide(c, c.volumeSlide);
      }
      break;
    case 6:
      Vibrato(p, c);
      if (later) VolumeSlide(c, c.volumeSlide);
      break;
    case 7:
      c.heardVolume = Clamp64(c.heardVolume + p.waves[0][c.tremoloPosition] * c.tremoloDepth / 64);
      if (later) c.tremoloPosition = (c.tremoloPosition + c.tremoloSpeed) & 255;
      break;
    case 10:
      if (later) VolumeSlide(c, c.volumeSlide);
      break;
    case 17:
      if (later) {
        const int s = c.globalSlide;
        p.global = Clamp64((s >> 4) == 0 ? p.global - (s & 15) : p.global + (s >> 4));
      }
      break;
    case 20:
      if (later && p.tick == c.keyOffTick) ReleaseKey(p, c);
      break;
    case 25:
      if (later) {
        const int s = c.panningSlide;
        SetPanning(c, (s >> 4) == 0 ? c.panning + (s & 15) : c.panning - (s >> 4));
      }
      break;
    case 27: {
      const bool due = c.multiCounter == c.multiInterval;
      ++c.multiCounter;
      if (due) {
        c.multiCounter = 0;
        RestartVoice(c);
        MultiRetrigVolume(c);
      }
      break;
    }
    case 29:
      if (c.tremorCounter >= c.tremorOn) c.heardVolume = 0;
      if (later && c.tremorCycle > 0) c.tremorCounter = (c.tremorCounter + 1) % c.tremorCycle;
      break;
    case 45:
      if (c.retrigInterval != 0 && p.tick % c.retrigInterval == 0) RestartVoice(c);
      break;
    case 48:
      if (later && p.tick == c.cutTick) SetVolume(c, 0);
      break;
    case 49:
      if (later && p.tick == c.delayTick && c.lastNote != 0) {
        StartEntry(p, c, c.lastNote, c.instrument, 255, 0, c.volumeCommand, true);
      }
      break;
    default:
      break;
  }
}

// Heard volume, panning and step of a channel with an instrument.
void ChannelOutput(ModulePlayer& p, ModuleChannel& c) {
  const ModuleInstrument& ins = p.module.instruments[c.instrument - 1];
  int64_t v = static_cast<int64_t>(c.heardVolume) * p.master / 64;
  v = v * p.global * c.fadeout / 1048576;
  if (!c.keyDown) c.fadeout = std::max(0, c.fadeout - ins.fadeout);
  const int ve = EnvelopeValue(ins.volume, c.keyDown, c.volumePoint, c.volumeTick);
  v = ve * v / 64;
  const int pe = EnvelopeValue(ins.panning, c.keyDown, c.panningPoint, c.panningTick);
  const int pan = c.heardPanning;
  const int d = pan < 128 ? pan : 255 - pan;
  const int heardPan = std::clamp(pan + (pe - 32) * d / 32, 0, 255);

  int64_t period = c.heardPeriod;
  if (ins.vibratoDepth != 0 || ins.vibratoRate != 0) {
    int offset = p.waves[ins.vibratoType][c.autoVibratoPosition] * ins.vibratoDepth / 16;
    if (c.autoVibratoSweep < ins.vibratoSweep) {
      offset = offset * c.autoVibratoSweep / ins.vibratoSweep;
      ++c.autoVibratoSweep;
    }
    offset = std::clamp(offset, -128, 127);
    period -= offset;
    c.autoVibratoPosition = (c.autoVibratoPosition + ins.vibratoRate) & 255;
  }
  period = std::clamp<int64_t>(period, p.module.lowPeriod, p.module.highPeriod);
  c.mixVolume = static_cast<int32_t>(std::clamp<int64_t>(v, 0, 128));
  c.mixPanning = heardPan;
  c.step = ModuleStepFromPeriod(static_cast<int32_t>(period));
}

}  // namespace

int32_t ModuleStepFromPeriod(int32_t period) {
  const StepTables& t = Tables();
  const uint32_t a = static_cast<uint32_t>(std::clamp(period, -32768, 32767) + 0x8000);
  int64_t f = t.t3[(a >> 12) & 15];
  f = f * t.t2[(a >> 8) & 15] / 32768;
  f = f * t.t1[(a >> 4) & 15] / 32768;
  f = f * t.t0[a & 15] / 32768;
  return static_cast<int32_t>(f * 14 / 494) & ~1;
}

const std::array<int32_t, 16>& ModuleStepTable(int index) {
  const StepTables& t = Tables();
  switch (index) {
    case 0:
      return t.t0;
    case 1:
      return t.t1;
    case 2:
      return t.t2;
    default:
      return t.t3;
  }
}

void ModuleBuildWaves(std::array<std::array<int16_t, 256>, 4>& waves) {
  for (int k = 0; k < 256; ++k) {
    const int c = static_cast<int8_t>(static_cast<uint8_t>((256 - k) & 255));
    waves[0][k] = static_cast<int16_t>(std::nearbyint(64 * std::sin(2 * M_PI * k / 256)));
    // Halves rounded toward minus infinity: an arithmetic shift.
    waves[1][k] = static_cast<int16_t>(-(c >> 1));
    waves[2][k] = static_cast<int16_t>(k == 0 || k > 128 ? -64 : 64);
    waves[3][k] = static_cast<int16_t>(c >> 1);
  }
}

void ModulePlayerInit(ModulePlayer& p, ModuleData&& module) {
  p = ModulePlayer{};
  p.module = std::move(module);
  p.loaded = true;
  ModuleBuildWaves(p.waves);
  p.mix.assign(kModuleMixFrames * 2, 0);
}

void ModulePlayerPlay(ModulePlayer& p, int order) {
  if (!p.loaded || p.playing) return;
  const ModuleData& m = p.module;
  for (int i = 0; i < kModuleMaxChannels; ++i) {
    p.channels[i] = ModuleChannel{};
    SetPanning(p.channels[i], m.panning[i]);
  }
  p.order = std::clamp(order, 0, 255);
  p.row = 0;
  // The first tick reads a row at once: the jump to (order, row 0) is
  // taken there.
  p.jumpOrder = p.order;
  p.jumpRow = 0;
  p.patternDelay = 0;
  p.global = 64;
  p.speed = m.speed;
  p.tempo = m.tempo;
  p.tick = p.speed - 1;
  p.accumulator = 0;
  p.playing = true;
}

void ModulePlayerStop(ModulePlayer& p) {
  p.playing = false;
}

void ModulePlayerVolume(ModulePlayer& p, int level) {
  p.master = std::clamp(level, 0, 100) * 16 / 25;  // level / 1.5625, truncated
}

void ModulePlayerTick(ModulePlayer& p) {
  const int channels = p.module.channels;
  for (int i = 0; i < channels; ++i) {
    ModuleChannel& c = p.channels[i];
    c.heardVolume = c.volume;
    c.heardPanning = c.panning;
    c.heardPeriod = c.period;
  }
  p.rowTick = false;
  if (++p.tick >= p.speed) {
    p.tick = 0;
    if (p.patternDelay > 0) {
      --p.patternDelay;
    } else {
      p.rowTick = true;
      ReadRow(p);
    }
  }
  for (int i = 0; i < channels; ++i) {
    ModuleChannel& c = p.channels[i];
    VolumeColumnTick(p, c);
    EffectTick(p, c);
    if (c.instrument > 0) ChannelOutput(p, c);
  }
}
