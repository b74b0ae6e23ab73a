// Composes the built-in tune: reads a readable description (tools/tune.txt)
// of patterns, notes and effects, synthesises the instruments, and writes
// the module in the layout the music player reads ("MXM"): header, order
// table, instruments with keymaps, envelopes and sample headers, packed
// patterns, and delta-coded 8-bit sample data.
// Usage: tool_compose <tune description> <output module file>
//
// The description, one statement per line ('#' after a blank starts a comment):
//   speed N | tempo N | restart N | channels N | pan CH VALUE
//   pattern NAME ROWS  ... end      (a pattern: one track line per channel)
//   order NAME NAME ...             (the order list, may repeat)
// A track line is "CH: tokens" (CH a channel number, or "ctl" for effects
// that go to the first channel with a free effect column on that row).
// Tokens, each filling rows:
//   iN        instrument N for the following notes (no rows)
//   /N        default length N rows (no rows)
//   C4 F#3 Bb5[:LEN][{fx,...}][~{fx,...}]   a note (C4 = note 49)
//   r[:LEN]   rest;  ^[:LEN] key off;  -[:LEN] nothing new (for effects)
//   [ ... ]*N repeat a group N times
// fx: v<decimal> volume column; a/u/d/g/b/p/s/j/V/B/F/k followed by a hex
// parameter: arpeggio, portamento up/down, tone portamento, vibrato,
// panning, volume slide, position jump, set volume, pattern break,
// speed/tempo, key off. "{...}" applies on the first row of the token,
// "~{...}" on every following row.

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "tools/common.h"

using namespace tools;

namespace {

constexpr double kTwoPi = 6.28318530717958647692;
// The rate at which a sample plays for note C4 (49) with a pitch adjustment
// of +12 semitones: the player's step for that period is 388/1024 sample
// per output frame at 44,100 frames per second.
constexpr double kSampleRate = 388.0 * 44100.0 / 1024.0;

[[noreturn]] void Fail(int line, const std::string& what) {
  std::fprintf(stderr, "tune.txt:%d: %s\n", line, what.c_str());
  std::exit(1);
}

// ---------------------------------------------------------- instruments --

struct Envelope {
  std::vector<std::pair<int, int>> points;  // (ticks to next point, value 0..64)
  int sustain = 255, loopStart = 255, loopEnd = 255;
};

struct Instrument {
  std::vector<int8_t> data;
  int loopStart = 0;
  int loopKind = 0;  // 0 none, 0x08 forward, 0x10 ping-pong
  int volume = 64, panning = 128;
  int pitch = 3072;  // 1/256 semitone, added to note x 256
  int fadeout = 0;
  int vibType = 0, vibSweep = 0, vibDepth = 0, vibRate = 0;
  Envelope vol, pan;
};

std::vector<int8_t> Quantise(const std::vector<double>& x, double peak = 120) {
  double m = 1e-9;
  for (double v : x) m = std::max(m, std::fabs(v));
  std::vector<int8_t> out;
  for (double v : x) out.push_back(static_cast<int8_t>(std::lround(v / m * peak)));
  return out;
}

// One cycle of 64 samples from a harmonic series (band-limited, so that
// high notes stay clean), tuned to play C4 at note 49.
Instrument Wave(const std::vector<double>& harmonics) {
  std::vector<double> x(64);
  for (int i = 0; i < 64; ++i)
    for (size_t h = 0; h < harmonics.size(); ++h)
      x[i] += harmonics[h] * std::sin(kTwoPi * (h + 1) * i / 64.0);
  Instrument ins;
  ins.data = Quantise(x, 100);
  ins.loopKind = 0x08;
  ins.pitch = 3072 + static_cast<int>(std::lround(3072 * std::log2(261.6256 * 64 / kSampleRate)));
  return ins;
}

std::vector<double> Series(int count, bool oddOnly, double tilt) {
  std::vector<double> h(count, 0.0);
  for (int k = 1; k <= count; ++k)
    if (!oddOnly || k % 2 == 1) h[k - 1] = std::pow(1.0 / k, tilt);
  return h;
}

std::map<std::string, Instrument> MakeInstruments() {
  std::map<std::string, Instrument> m;
  // Square lead: bright attack settling to a sustain, gentle delayed vibrato.
  Instrument sq = Wave(Series(15, true, 1.0));
  sq.vol = {{{2, 0}, {10, 64}, {1, 46}}, 2};
  sq.fadeout = 900;
  sq.vibType = 0, sq.vibSweep = 60, sq.vibDepth = 6, sq.vibRate = 10;
  sq.volume = 48;
  m["square"] = sq;
  // Saw lead, a little softer, for the solo and the arpeggios.
  Instrument saw = Wave(Series(14, false, 1.15));
  saw.vol = {{{1, 0}, {6, 64}, {24, 40}, {1, 30}}, 3};
  saw.fadeout = 1400;
  saw.vibType = 0, saw.vibSweep = 40, saw.vibDepth = 5, saw.vibRate = 12;
  saw.volume = 40;
  m["saw"] = saw;
  // Bass: round and punchy.
  Instrument bass = Wave({1.0, 0.55, 0.3, 0.18, 0.1, 0.05});
  bass.vol = {{{1, 0}, {8, 64}, {40, 42}, {1, 36}}, 3};
  bass.fadeout = 2400;
  bass.volume = 56;
  m["bass"] = bass;
  // Bell: sine with a bright partial, decaying, for sparkle.
  Instrument bell = Wave({1.0, 0.0, 0.0, 0.35, 0.0, 0.0, 0.12});
  bell.vol = {{{1, 0}, {4, 64}, {30, 24}, {60, 6}, {1, 0}}};
  bell.fadeout = 600;
  bell.volume = 36;
  bell.pan = {{{40, 20}, {40, 44}, {1, 20}}, 255, 0, 2};
  m["bell"] = bell;
  // Pad: three detuned saws, softened; ping-pong looped, so the chorus
  // never clicks; a slow swell looped in its envelope and a slow sweep
  // across the stereo field.
  {
    const int n = 6000;
    std::vector<double> x(n);
    const double detune[3] = {1.0, 1.0041, 0.9963};
    for (int i = 0; i < n; ++i)
      for (double dt : detune)
        for (int k = 1; k <= 8; ++k)
          x[i] +=
              std::sin(kTwoPi * k * 261.6256 * dt * i / kSampleRate + k * dt) / (k * k * 0.6 + 0.4);
    Instrument pad;
    pad.data = Quantise(x, 96);
    pad.loopStart = 1500;
    pad.loopKind = 0x10;
    pad.vol = {{{30, 0}, {40, 56}, {40, 40}, {1, 56}}, 255, 1, 3};
    pad.fadeout = 300;
    pad.volume = 30;
    pad.pan = {{{96, 32}, {96, 12}, {96, 52}, {1, 32}}, 255, 0, 3};
    m["pad"] = pad;
  }
  Rng rng(99);
  // Kick: a sine falling from 150 to 48 Hz.
  {
    const int n = 4200;
    std::vector<double> x(n);
    double phase = 0;
    for (int i = 0; i < n; ++i) {
      double s = i / kSampleRate;
      phase += kTwoPi * (48 + 102 * std::exp(-s / 0.03)) / kSampleRate;
      x[i] = std::sin(phase) * std::exp(-s / 0.09) * std::min(1.0, i / 8.0);
    }
    Instrument kick;
    kick.data = Quantise(x, 124);
    kick.volume = 64;
    kick.vol = {{{1, 64}}};
    m["kick"] = kick;
  }
  // Snare: noise over a short tone.
  {
    const int n = 3600;
    std::vector<double> x(n);
    double lp = 0;
    for (int i = 0; i < n; ++i) {
      double s = i / kSampleRate;
      lp += 0.6 * (rng.Signed() - lp);
      x[i] = lp * std::exp(-s / 0.07) + 0.6 * std::sin(kTwoPi * 190 * s) * std::exp(-s / 0.04);
      x[i] *= std::min(1.0, i / 4.0);
    }
    Instrument snare;
    snare.data = Quantise(x, 110);
    snare.volume = 44;
    snare.vol = {{{1, 64}}};
    m["snare"] = snare;
  }
  // Hi-hat: high-passed noise, very short.
  {
    const int n = 1100;
    std::vector<double> x(n);
    double prev = 0;
    for (int i = 0; i < n; ++i) {
      double s = i / kSampleRate;
      double w = rng.Signed();
      x[i] = (w - prev) * std::exp(-s / 0.018);
      prev = w;
    }
    Instrument hat;
    hat.data = Quantise(x, 90);
    hat.volume = 26;
    hat.vol = {{{1, 64}}};
    m["hat"] = hat;
  }
  return m;
}

// ---------------------------------------------------------------- tune --

struct Cell {
  int note = 0, instrument = 0, volume = 0, effect = -1, param = 0;
  bool Empty() const { return note == 0 && instrument == 0 && volume == 0 && effect < 0; }
};

struct Pattern {
  int rows = 0;
  std::vector<std::vector<Cell>> cells;  // [row][channel]
};

struct Tune {
  int speed = 6, tempo = 125, restart = 0, channels = 8;
  int pan[32] = {};
  std::vector<std::string> instrumentNames;  // instrument 1.. by name
  std::map<std::string, int> patternIndex;
  std::vector<Pattern> patterns;
  std::vector<int> order;
};

int ParseNote(const std::string& s, size_t* pos, int line) {
  static const int base[7] = {9, 11, 0, 2, 4, 5, 7};  // A B C D E F G
  int semitone = base[s[0] - 'A'];
  size_t i = 1;
  if (i < s.size() && s[i] == '#')
    ++semitone, ++i;
  else if (i < s.size() && s[i] == 'b')
    --semitone, ++i;
  if (i >= s.size() || s[i] < '0' || s[i] > '7') Fail(line, "bad note " + s);
  int note = (s[i] - '0') * 12 + semitone + 1;
  *pos = i + 1;
  if (note < 1 || note > 96) Fail(line, "note out of range " + s);
  return note;
}

// Applies "{a37,v40}" items to a cell.
void ParseEffects(const std::string& list, Cell* cell, int line) {
  static const std::map<char, int> letters = {{'a', 0},  {'u', 1},  {'d', 2},  {'g', 3},
                                              {'b', 4},  {'p', 8},  {'s', 10}, {'j', 11},
                                              {'V', 12}, {'B', 13}, {'F', 15}, {'k', 20}};
  std::stringstream ss(list);
  std::string item;
  while (std::getline(ss, item, ',')) {
    if (item.empty()) continue;
    if (item[0] == 'v') {
      int v = std::atoi(item.c_str() + 1);
      if (v < 0 || v > 64) Fail(line, "volume out of range " + item);
      cell->volume = 0x10 + v;
      continue;
    }
    auto it = letters.find(item[0]);
    if (it == letters.end() || item.size() != 3) Fail(line, "bad effect " + item);
    if (cell->effect >= 0) Fail(line, "two effects on one row: " + item);
    cell->effect = it->second;
    cell->param = static_cast<int>(std::strtol(item.substr(1).c_str(), nullptr, 16));
  }
}

// Expands "[ ... ]*N" groups.
std::vector<std::string> Expand(const std::vector<std::string>& in, size_t* i, int line) {
  std::vector<std::string> out;
  while (*i < in.size()) {
    const std::string& t = in[(*i)++];
    if (t == "[") {
      std::vector<std::string> group = Expand(in, i, line);
      if (*i == 0 || in[*i - 1].rfind("]*", 0) != 0) Fail(line, "unclosed group");
      int times = std::atoi(in[*i - 1].c_str() + 2);
      for (int k = 0; k < times; ++k) out.insert(out.end(), group.begin(), group.end());
    } else if (t.rfind("]*", 0) == 0) {
      return out;
    } else {
      out.push_back(t);
    }
  }
  return out;
}

// Fills one channel of a pattern from its track tokens. Channel -1 is the
// control track: its effects go to the first channel with a free column.
void FillTrack(Pattern& p, int channel, const std::string& text, int channels, int line) {
  std::vector<std::string> raw;
  std::stringstream ss(text);
  for (std::string t; ss >> t;) raw.push_back(t);
  size_t start = 0;
  std::vector<std::string> tokens = Expand(raw, &start, line);
  int row = 0, length = 4, instrument = 0;
  auto place = [&](int r, const Cell& c) {
    if (r >= p.rows) Fail(line, "track longer than the pattern");
    if (channel >= 0) {
      p.cells[r][channel] = c;
      return;
    }
    for (int ch = channels - 1; ch >= 0; --ch) {  // control effects use the highest free channel
      Cell& dst = p.cells[r][ch];
      if (dst.effect < 0) {
        dst.effect = c.effect;
        dst.param = c.param;
        return;
      }
    }
    Fail(line, "no free effect column for a control effect");
  };
  for (const std::string& t : tokens) {
    if (t[0] == 'i') {
      instrument = std::atoi(t.c_str() + 1);
      continue;
    }
    if (t[0] == '/') {
      length = std::atoi(t.c_str() + 1);
      continue;
    }
    Cell first;
    size_t pos = 1;
    if (t[0] >= 'A' && t[0] <= 'G') {
      first.note = ParseNote(t, &pos, line);
      first.instrument = instrument;
    } else if (t[0] == '^') {
      first.note = 97;
    } else if (t[0] != 'r' && t[0] != '-') {
      Fail(line, "bad token " + t);
    }
    int len = length;
    if (pos < t.size() && t[pos] == ':') {
      size_t end = t.find_first_of("{~", pos);
      len = std::atoi(t.substr(pos + 1, end - pos - 1).c_str());
      pos = end == std::string::npos ? t.size() : end;
    }
    std::string sustain;
    if (pos < t.size() && t[pos] == '{') {
      size_t close = t.find('}', pos);
      if (close == std::string::npos) Fail(line, "unclosed { in " + t);
      ParseEffects(t.substr(pos + 1, close - pos - 1), &first, line);
      pos = close + 1;
    }
    if (pos < t.size() && t[pos] == '~') {
      if (pos + 1 >= t.size() || t[pos + 1] != '{' || t.back() != '}')
        Fail(line, "bad ~{} in " + t);
      sustain = t.substr(pos + 2, t.size() - pos - 3);
      pos = t.size();
    }
    if (pos != t.size() || len < 1) Fail(line, "bad token " + t);
    if (!first.Empty() || channel >= 0) {
      if (channel >= 0 || first.effect >= 0) place(row, first);
    }
    for (int k = 1; k < len && !sustain.empty(); ++k) {
      Cell c;
      ParseEffects(sustain, &c, line);
      place(row + k, c);
    }
    row += len;
  }
  if (row != p.rows)
    Fail(line, "track fills " + std::to_string(row) + " rows of " + std::to_string(p.rows));
}

Tune ReadTune(const std::string& path) {
  std::ifstream in(path);
  if (!in) Fail(0, "cannot read " + path);
  Tune tune;
  for (int i = 0; i < 32; ++i) tune.pan[i] = 128;
  std::string lineText;
  int line = 0;
  Pattern* open = nullptr;
  while (std::getline(in, lineText)) {
    ++line;
    // A comment starts with '#' at the start of a line or after a blank
    // (a '#' inside a token is a sharp).
    for (size_t i = 0; i < lineText.size(); ++i)
      if (lineText[i] == '#' && (i == 0 || lineText[i - 1] == ' ' || lineText[i - 1] == '\t')) {
        lineText.erase(i);
        break;
      }
    std::stringstream ss(lineText);
    std::string word;
    if (!(ss >> word)) continue;
    if (open != nullptr) {
      if (word == "end") {
        open = nullptr;
        continue;
      }
      if (word.back() != ':') Fail(line, "expected a track line or end");
      std::string name = word.substr(0, word.size() - 1);
      int channel = name == "ctl" ? -1 : std::atoi(name.c_str());
      if (channel >= tune.channels) Fail(line, "channel out of range");
      std::string rest;
      std::getline(ss, rest);
      FillTrack(*open, channel, rest, tune.channels, line);
      continue;
    }
    if (word == "speed")
      ss >> tune.speed;
    else if (word == "tempo")
      ss >> tune.tempo;
    else if (word == "restart")
      ss >> tune.restart;
    else if (word == "channels")
      ss >> tune.channels;
    else if (word == "pan") {
      int ch, v;
      ss >> ch >> v;
      if (ch < 0 || ch >= 32) Fail(line, "bad channel");
      tune.pan[ch] = v;
    } else if (word == "instrument") {
      int n;
      std::string name;
      ss >> n >> name;
      if (n != static_cast<int>(tune.instrumentNames.size()) + 1)
        Fail(line, "instruments must be numbered 1, 2, ...");
      tune.instrumentNames.push_back(name);
    } else if (word == "pattern") {
      std::string name;
      int rows = 0;
      ss >> name >> rows;
      if (rows < 1 || rows > 256 || tune.patternIndex.count(name))
        Fail(line, "bad pattern " + name);
      tune.patternIndex[name] = static_cast<int>(tune.patterns.size());
      tune.patterns.push_back(
          Pattern{rows, std::vector<std::vector<Cell>>(rows, std::vector<Cell>(tune.channels))});
      open = &tune.patterns.back();
    } else if (word == "order") {
      for (std::string name; ss >> name;) {
        auto it = tune.patternIndex.find(name);
        if (it == tune.patternIndex.end()) Fail(line, "unknown pattern " + name);
        tune.order.push_back(it->second);
      }
    } else {
      Fail(line, "unknown statement " + word);
    }
  }
  if (open != nullptr) Fail(line, "pattern without end");
  if (tune.order.empty() || tune.order.size() > 256) Fail(line, "bad order list");
  if (tune.restart < 0 || tune.restart >= static_cast<int>(tune.order.size()))
    Fail(line, "bad restart");
  if (tune.channels < 1 || tune.channels > 32) Fail(line, "bad channel count");
  return tune;
}

// --------------------------------------------------------------- writer --

void Set32(std::vector<uint8_t>& v, size_t at, uint32_t x) {
  for (int i = 0; i < 4; ++i) v[at + i] = static_cast<uint8_t>(x >> (8 * i));
}
void Set16(std::vector<uint8_t>& v, size_t at, uint32_t x) {
  v[at] = x & 0xFF;
  v[at + 1] = (x >> 8) & 0xFF;
}

void PutEnvelope(std::vector<uint8_t>& v, size_t at, const Envelope& e) {
  if (e.points.empty() || e.points.size() > 12) {
    std::fprintf(stderr, "envelope needs 1 to 12 points\n");
    std::exit(1);
  }
  v[at] = static_cast<uint8_t>(e.points.size() - 1);
  v[at + 1] = static_cast<uint8_t>(e.sustain);
  v[at + 2] = static_cast<uint8_t>(e.loopStart);
  v[at + 3] = static_cast<uint8_t>(e.loopEnd);
  for (size_t i = 0; i < e.points.size(); ++i) {
    Set16(v, at + 4 + i * 4, e.points[i].first);
    v[at + 4 + i * 4 + 2] = static_cast<uint8_t>(e.points[i].second);
  }
}

std::vector<uint8_t> WriteModule(const Tune& tune, const std::map<std::string, Instrument>& bank) {
  std::vector<uint8_t> m(10064, 0);
  m[0] = 'M', m[1] = 'X', m[2] = 'M', m[3] = 0;
  Set32(m, 4, static_cast<uint32_t>(tune.order.size()));
  Set32(m, 8, tune.restart);
  Set32(m, 12, tune.channels);
  Set32(m, 16, static_cast<uint32_t>(tune.patterns.size()));
  Set32(m, 20, static_cast<uint32_t>(tune.instrumentNames.size()));
  m[24] = static_cast<uint8_t>(tune.speed);
  m[25] = static_cast<uint8_t>(tune.tempo);
  Set16(m, 26, 5);  // bit 2: delta-coded sample data (bit 0 as customary)
  Set32(m, 40, static_cast<uint32_t>(-18432));
  Set32(m, 44, 24576);
  for (int ch = 0; ch < 32; ++ch) m[48 + ch] = static_cast<uint8_t>(tune.pan[ch]);
  for (size_t i = 0; i < tune.order.size(); ++i) m[80 + i] = static_cast<uint8_t>(tune.order[i]);

  // Instruments, one sample each.
  std::vector<const Instrument*> used;
  for (size_t i = 0; i < tune.instrumentNames.size(); ++i) {
    auto it = bank.find(tune.instrumentNames[i]);
    if (it == bank.end()) {
      std::fprintf(stderr, "unknown instrument %s\n", tune.instrumentNames[i].c_str());
      std::exit(1);
    }
    const Instrument& ins = it->second;
    used.push_back(&ins);
    size_t at = m.size();
    Set32(m, 336 + i * 4, static_cast<uint32_t>(at));
    m.resize(at + 256 + 16, 0);
    Set32(m, at, 1);
    for (int note = 0; note < 96; ++note) m[at + 4 + note] = 0;
    Set16(m, at + 100, ins.fadeout);
    m[at + 102] = static_cast<uint8_t>(ins.vibType);
    m[at + 103] = static_cast<uint8_t>(ins.vibSweep);
    m[at + 104] = static_cast<uint8_t>(ins.vibDepth);
    m[at + 105] = static_cast<uint8_t>(ins.vibRate);
    PutEnvelope(m, at + 106, ins.vol);
    PutEnvelope(m, at + 158, ins.pan.points.empty() ? Envelope{{{1, 32}}} : ins.pan);
    size_t sh = at + 256;
    int length = static_cast<int>(ins.data.size());
    Set32(m, sh, ins.loopKind ? ins.loopStart : 0);
    Set32(m, sh + 4, length);
    m[sh + 8] = static_cast<uint8_t>(ins.loopKind);
    m[sh + 9] = static_cast<uint8_t>(ins.volume);
    m[sh + 10] = static_cast<uint8_t>(ins.panning);
    Set16(m, sh + 11, static_cast<uint16_t>(static_cast<int16_t>(ins.pitch)));
    Set16(m, sh + 13, static_cast<uint32_t>(i));  // sample number
  }

  // Patterns in the packed row format.
  for (size_t p = 0; p < tune.patterns.size(); ++p) {
    const Pattern& pat = tune.patterns[p];
    size_t at = m.size();
    Set32(m, 848 + p * 4, static_cast<uint32_t>(at));
    m.resize(at + 4);
    Set32(m, at, pat.rows);
    for (const auto& row : pat.cells) {
      for (int ch = 0; ch < tune.channels; ++ch) {
        const Cell& c = row[ch];
        if (c.Empty()) continue;
        uint8_t head = static_cast<uint8_t>(ch);
        if (c.note || c.instrument) head |= 0x20;
        if (c.volume) head |= 0x40;
        if (c.effect >= 0) head |= 0x80;
        m.push_back(head);
        if (head & 0x20) {
          m.push_back(static_cast<uint8_t>(c.note));
          m.push_back(static_cast<uint8_t>(c.instrument));
        }
        if (head & 0x40) m.push_back(static_cast<uint8_t>(c.volume));
        if (head & 0x80) {
          m.push_back(static_cast<uint8_t>(c.effect));
          m.push_back(static_cast<uint8_t>(c.param));
        }
      }
      m.push_back(0);
    }
  }

  // Sample data, delta-coded as one running difference over all bytes.
  size_t dataAt = m.size();
  Set32(m, 28, static_cast<uint32_t>(dataAt));
  uint8_t prev = 0;
  uint32_t total = 0;
  for (size_t i = 0; i < used.size(); ++i) {
    Set32(m, 1872 + i * 4, static_cast<uint32_t>(m.size()));
    for (int8_t s : used[i]->data) {
      uint8_t b = static_cast<uint8_t>(s);
      m.push_back(static_cast<uint8_t>(b - prev));
      prev = b;
      ++total;
    }
  }
  Set32(m, 32, total);
  Set32(m, 36, 0);
  return m;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s <tune description> <output module>\n", argv[0]);
    return 2;
  }
  Tune tune = ReadTune(argv[1]);
  std::vector<uint8_t> module = WriteModule(tune, MakeInstruments());
  return WriteFile(argv[2], module) ? 0 : 1;
}
