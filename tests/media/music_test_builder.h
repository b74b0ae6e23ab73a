#pragma once
// Assembles a module in the "MXM" layout from a compact description, for the
// music tests, the fuzz target and the benchmark.

#include <array>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

namespace musictest {

struct Sample {
  std::vector<int16_t> data;  // 8-bit samples use -128..127
  bool sixteen = false;
  int loop = 0;  // 0 none, 1 forward, 2 ping-pong
  uint32_t loopStart = 0;
  uint8_t volume = 64;
  uint8_t panning = 128;
  int16_t pitch = 0;
};

struct Envelope {
  uint8_t sustain = 255, loopStart = 255, loopEnd = 255;
  std::vector<std::pair<uint16_t, uint8_t>> points{{0, 64}};  // length to next, value
};

struct Instrument {
  std::vector<Sample> samples;
  std::array<uint8_t, 96> keymap{};  // all notes play sample 0
  uint16_t fadeout = 0;
  uint8_t vibratoType = 0, vibratoSweep = 0, vibratoDepth = 0, vibratoRate = 0;
  Envelope volume;
  Envelope panning{255, 255, 255, {{0, 32}}};
};

// One channel entry; -1 leaves a part out.
struct Cell {
  int row = 0;
  int channel = 0;
  int note = -1;
  int instrument = -1;
  int volume = -1;
  int effect = -1;
  int param = 0;
};

struct Pattern {
  int rows = 1;
  std::vector<Cell> cells;  // any order; sorted by row and channel when built
};

struct Module {
  std::vector<int> orders{0};
  int restart = 0;
  int channels = 4;
  int speed = 6;
  int tempo = 125;
  int flags = 0;
  int32_t lowPeriod = -18432;
  int32_t highPeriod = 24576;
  std::array<uint8_t, 32> panning = [] {
    std::array<uint8_t, 32> p{};
    p.fill(128);
    return p;
  }();
  std::vector<Pattern> patterns{Pattern{}};
  std::vector<Instrument> instruments;
};

inline void Put16(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  b[at] = static_cast<uint8_t>(v);
  b[at + 1] = static_cast<uint8_t>(v >> 8);
}
inline void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  Put16(b, at, v & 0xFFFF);
  Put16(b, at + 2, v >> 16);
}

inline std::vector<uint8_t> Build(const Module& m) {
  std::vector<uint8_t> b(10064, 0);
  std::memcpy(b.data(), "MXM", 4);
  Put32(b, 4, static_cast<uint32_t>(m.orders.size()));
  Put32(b, 8, static_cast<uint32_t>(m.restart));
  Put32(b, 12, static_cast<uint32_t>(m.channels));
  Put32(b, 16, static_cast<uint32_t>(m.patterns.size()));
  Put32(b, 20, static_cast<uint32_t>(m.instruments.size()));
  b[24] = static_cast<uint8_t>(m.speed);
  b[25] = static_cast<uint8_t>(m.tempo);
  Put16(b, 26, static_cast<uint32_t>(m.flags));
  Put32(b, 40, static_cast<uint32_t>(m.lowPeriod));
  Put32(b, 44, static_cast<uint32_t>(m.highPeriod));
  for (int i = 0; i < 32; ++i) b[48 + i] = m.panning[i];
  for (size_t i = 0; i < m.orders.size() && i < 256; ++i)
    b[80 + i] = static_cast<uint8_t>(m.orders[i]);

  // Sample data: all 8-bit samples, then all 16-bit ones.
  std::vector<uint8_t> data8;
  std::vector<int16_t> data16;
  std::vector<std::pair<bool, size_t>> place;  // per sample number: 16-bit?, index
  for (const Instrument& ins : m.instruments) {
    for (const Sample& s : ins.samples) {
      if (s.sixteen) {
        place.push_back({true, data16.size()});
        data16.insert(data16.end(), s.data.begin(), s.data.end());
      } else {
        place.push_back({false, data8.size()});
        for (int16_t v : s.data) data8.push_back(static_cast<uint8_t>(v));
      }
    }
  }

  int sampleNumber = 0;
  for (size_t i = 0; i < m.instruments.size(); ++i) {
    const Instrument& ins = m.instruments[i];
    const size_t at = b.size();
    Put32(b, 336 + i * 4, static_cast<uint32_t>(at));
    b.resize(at + 256 + ins.samples.size() * 16, 0);
    Put32(b, at, static_cast<uint32_t>(ins.samples.size()));
    for (int k = 0; k < 96; ++k) b[at + 4 + k] = ins.keymap[k];
    Put16(b, at + 100, ins.fadeout);
    b[at + 102] = ins.vibratoType;
    b[at + 103] = ins.vibratoSweep;
    b[at + 104] = ins.vibratoDepth;
    b[at + 105] = ins.vibratoRate;
    for (int e = 0; e < 2; ++e) {
      const Envelope& env = e == 0 ? ins.volume : ins.panning;
      const size_t ea = at + (e == 0 ? 106 : 158);
      b[ea] = static_cast<uint8_t>(env.points.size() - 1);
      b[ea + 1] = env.sustain;
      b[ea + 2] = env.loopStart;
      b[ea + 3] = env.loopEnd;
      for (size_t p = 0; p < env.points.size(); ++p) {
        Put16(b, ea + 4 + p * 4, env.points[p].first);
        b[ea + 6 + p * 4] = env.points[p].second;
      }
    }
    for (size_t k = 0; k < ins.samples.size(); ++k) {
      const Sample& s = ins.samples[k];
      const size_t sa = at + 256 + k * 16;
      Put32(b, sa, s.loopStart);
      Put32(b, sa + 4, static_cast<uint32_t>(s.data.size()));
      b[sa + 8] = static_cast<uint8_t>((s.sixteen ? 0x04 : 0) | (s.loop == 1 ? 0x08 : 0) |
                                       (s.loop == 2 ? 0x10 : 0));
      b[sa + 9] = s.volume;
      b[sa + 10] = s.panning;
      Put16(b, sa + 11, static_cast<uint16_t>(s.pitch));
      Put16(b, sa + 13, static_cast<uint32_t>(sampleNumber));
      ++sampleNumber;
    }
  }

  for (size_t i = 0; i < m.patterns.size(); ++i) {
    const Pattern& pat = m.patterns[i];
    Put32(b, 848 + i * 4, static_cast<uint32_t>(b.size()));
    const size_t at = b.size();
    b.resize(at + 4);
    Put32(b, at, static_cast<uint32_t>(pat.rows));
    for (int row = 0; row < pat.rows; ++row) {
      for (int ch = 0; ch < 32; ++ch) {
        for (const Cell& c : pat.cells) {
          if (c.row != row || c.channel != ch) continue;
          uint8_t head = static_cast<uint8_t>(ch);
          if (c.note >= 0 || c.instrument >= 0) head |= 0x20;
          if (c.volume >= 0) head |= 0x40;
          if (c.effect >= 0) head |= 0x80;
          b.push_back(head);
          if (head & 0x20) {
            b.push_back(static_cast<uint8_t>(c.note < 0 ? 0 : c.note));
            b.push_back(static_cast<uint8_t>(c.instrument < 0 ? 0 : c.instrument));
          }
          if (head & 0x40) b.push_back(static_cast<uint8_t>(c.volume));
          if (head & 0x80) {
            b.push_back(static_cast<uint8_t>(c.effect));
            b.push_back(static_cast<uint8_t>(c.param));
          }
        }
      }
      b.push_back(0);
    }
  }

  const size_t dataAt = b.size();
  Put32(b, 28, static_cast<uint32_t>(dataAt));
  Put32(b, 32, static_cast<uint32_t>(data8.size()));
  Put32(b, 36, static_cast<uint32_t>(data16.size()));
  uint8_t prev8 = 0;
  for (uint8_t v : data8) {
    b.push_back((m.flags & 4) ? static_cast<uint8_t>(v - prev8) : v);
    prev8 = v;
  }
  uint16_t prev16 = 0;
  for (int16_t s : data16) {
    const uint16_t v = static_cast<uint16_t>(s);
    const uint16_t w = (m.flags & 4) ? static_cast<uint16_t>(v - prev16) : v;
    prev16 = v;
    b.push_back(static_cast<uint8_t>(w));
    b.push_back(static_cast<uint8_t>(w >> 8));
  }
  for (size_t n = 0; n < place.size(); ++n) {
    const size_t off =
        place[n].first ? dataAt + data8.size() + place[n].second * 2 : dataAt + place[n].second;
    Put32(b, 1872 + n * 4, static_cast<uint32_t>(off));
  }
  return b;
}

// A plain instrument: one looped 8-bit square wave at full volume.
inline Instrument SquareInstrument(int period = 32, int amplitude = 100) {
  Instrument ins;
  Sample s;
  for (int i = 0; i < period; ++i)
    s.data.push_back(static_cast<int16_t>(i < period / 2 ? amplitude : -amplitude));
  s.loop = 1;
  ins.samples.push_back(s);
  return ins;
}

}  // namespace musictest
