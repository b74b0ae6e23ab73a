// Renders a module to a 44,100 Hz stereo WAV for listening and measuring,
// up to its first loop plus a few seconds. A plain approximation of the
// game's player (notes, volume column, the common effects, volume and
// panning envelopes with sustain and loops, fade-out, forward and ping-pong
// sample loops); it reports the length to the loop and the clipping.
// Usage: tool_preview <module> <output wav>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tools/common.h"

using namespace tools;

namespace {

using Data = std::vector<uint8_t>;
uint32_t Le16(const Data& d, size_t at) {
  return d[at] | d[at + 1] << 8;
}
uint32_t Le32(const Data& d, size_t at) {
  return d[at] | d[at + 1] << 8 | d[at + 2] << 16 | static_cast<uint32_t>(d[at + 3]) << 24;
}

struct Env {
  int last = 0, sustain = 255, loopStart = 255, loopEnd = 255;
  int len[12] = {}, val[12] = {};
};

struct Channel {
  int instrument = 0;  // 1-based
  const int8_t* data = nullptr;
  int length = 0, loopStart = 0, loopKind = 0;
  double pos = 0;
  int dir = 1;
  bool active = false, keyDown = false;
  int volume = 0, panning = 128, period = 0, target = 0, pitch = 0;
  int heardPeriod = 0, heardVolume = 0;
  int effect = -1, param = 0, volCol = 0;
  int portaUp = 0, portaDown = 0, portaSpeed = 0, slide = 0, vibSpeed = 0, vibDepth = 0, vibPos = 0;
  int arpIndex = 0;
  int fade = 32768;
  int envPoint[2] = {}, envTick[2] = {};
  int mixVol = 0, mixPan = 128;  // what the mixer uses until the next tick
  double step = 0;               // samples per output frame
};

class Player {
 public:
  explicit Player(Data m) : m_(std::move(m)) {
    orders_ = static_cast<int>(Le32(m_, 4));
    restart_ = static_cast<int>(Le32(m_, 8));
    channels_ = static_cast<int>(Le32(m_, 12));
    instruments_ = static_cast<int>(Le32(m_, 20));
    speed_ = m_[24];
    tempo_ = m_[25];
    uint32_t at = Le32(m_, 28), n = Le32(m_, 32);
    decoded_.resize(n);
    uint8_t run = 0;
    for (uint32_t i = 0; i < n; ++i) decoded_[i] = static_cast<int8_t>(run += m_[at + i]);
    ch_.resize(channels_);
    for (int c = 0; c < channels_; ++c) ch_[c].panning = m_[48 + c];
    StartOrder(0, 0);
    tick_ = speed_ - 1;
  }

  bool looped() const { return looped_; }
  double seconds() const { return frames_ / 44100.0; }
  double loopAt() const { return loopAt_; }

  void Render(std::vector<int16_t>& out, int frames) {
    while (frames > 0) {
      if (acc_ < 1) {
        Tick();
        acc_ += 44100.0 * 2.5 / tempo_;
      }
      int n = std::min(frames, static_cast<int>(acc_));
      if (n <= 0) n = 1;
      for (int i = 0; i < n; ++i) Mix(out);
      acc_ -= n;
      frames -= n;
      frames_ += n;
    }
  }
  long clipped = 0;

 private:
  void StartOrder(int order, int row) {
    if (order >= orders_) {
      if (!looped_) loopAt_ = frames_ / 44100.0;
      looped_ = true;
      order = restart_;
    }
    order_ = order;
    size_t at = Le32(m_, 848 + m_[80 + order] * 4);
    rows_ = static_cast<int>(Le32(m_, at));
    read_ = at + 4;
    row_ = 0;
    while (row_ < row) SkipRow();
  }
  void SkipRow() {
    for (uint8_t head; (head = m_[read_++]) != 0;)
      read_ += (head & 0x20 ? 2 : 0) + (head & 0x40 ? 1 : 0) + (head & 0x80 ? 2 : 0);
    ++row_;
  }

  Env ReadEnv(size_t at) const {
    Env e;
    e.last = m_[at], e.sustain = m_[at + 1], e.loopStart = m_[at + 2], e.loopEnd = m_[at + 3];
    for (int i = 0; i <= e.last && i < 12; ++i)
      e.len[i] = static_cast<int>(Le16(m_, at + 4 + i * 4)), e.val[i] = m_[at + 6 + i * 4];
    return e;
  }
  size_t InsAt(int ins) const { return Le32(m_, 336 + (ins - 1) * 4); }

  void Tick() {
    for (Channel& c : ch_) c.heardPeriod = c.period, c.heardVolume = c.volume;
    if (++tick_ >= speed_) {
      tick_ = 0;
      if (row_ >= rows_ || jumpOrder_ >= 0) {
        int o = jumpOrder_ >= 0 ? jumpOrder_ : order_ + 1, r = jumpOrder_ >= 0 ? jumpRow_ : 0;
        jumpOrder_ = -1;
        StartOrder(o, r);
      }
      ReadRow();
    } else {
      for (Channel& c : ch_) TickEffect(c);
    }
    for (Channel& c : ch_) Output(c);
  }

  void ReadRow() {
    std::vector<int> note(channels_, 0), ins(channels_, 0);
    for (Channel& c : ch_) c.effect = -1, c.volCol = 0;
    for (uint8_t head; (head = m_[read_++]) != 0;) {
      Channel& c = ch_[head & 0x1F];
      if (head & 0x20) note[head & 0x1F] = m_[read_++], ins[head & 0x1F] = m_[read_++];
      if (head & 0x40) c.volCol = m_[read_++];
      if (head & 0x80) c.effect = m_[read_++], c.param = m_[read_++];
    }
    ++row_;
    for (int i = 0; i < channels_; ++i) {
      Channel& c = ch_[i];
      bool porta = c.effect == 3;
      int n = note[i];
      if (n == 97) {
        c.keyDown = false;
        n = 0;
      }
      if (ins[i] >= 1 && ins[i] <= instruments_) c.instrument = ins[i];
      if (n && c.instrument) {
        size_t at = InsAt(c.instrument);
        size_t sh = at + 256 + m_[at + 4 + n - 1] * 16;
        int pitch = static_cast<int16_t>(Le16(m_, sh + 11));
        int period = 0x3000 - ((n - 1) * 256 + pitch);
        if (porta && c.active) {
          c.target = period;
        } else {
          c.data = &decoded_[Le32(m_, 1872 + Le16(m_, sh + 13) * 4) - Le32(m_, 28)];
          c.length = static_cast<int>(Le32(m_, sh + 4));
          c.loopStart = static_cast<int>(Le32(m_, sh));
          c.loopKind = m_[sh + 8];
          c.pos = 0, c.dir = 1, c.active = true;
          c.period = c.target = c.heardPeriod = period;
          c.vibPos = 0, c.arpIndex = 0;
          if (ins[i]) c.volume = m_[sh + 9], c.panning = m_[sh + 10];
        }
        if (ins[i]) {
          c.keyDown = true;
          c.fade = 32768;
          c.envPoint[0] = c.envPoint[1] = c.envTick[0] = c.envTick[1] = 0;
        }
      }
      if (c.volCol >= 0x10 && c.volCol <= 0x50) c.volume = c.volCol - 0x10;
      c.heardVolume = c.volume;
      RowEffect(c);
    }
  }

  void RowEffect(Channel& c) {
    int p = c.param;
    switch (c.effect) {
      case 1:
        if (p) c.portaUp = p * 16;
        break;
      case 2:
        if (p) c.portaDown = p * 16;
        break;
      case 3:
        if (p) c.portaSpeed = p * 16;
        break;
      case 4:
        if (p & 15) c.vibDepth = (p & 15) * 4;
        if (p >> 4) c.vibSpeed = (p >> 4) * 4;
        Vibrato(c);
        break;
      case 0:
        if (p) Arpeggio(c);
        break;
      case 10:
        if (p) c.slide = p;
        break;
      case 8:
        c.panning = p;
        break;
      case 12:
        c.volume = std::min(p, 64);
        c.heardVolume = c.volume;
        break;
      case 11:
        jumpOrder_ = p, jumpRow_ = 0;
        break;
      case 13:
        if (jumpOrder_ < 0) jumpOrder_ = order_ + 1, jumpRow_ = (p >> 4) * 10 + (p & 15);
        break;
      case 15:
        if (p >= 32)
          tempo_ = p;
        else if (p)
          speed_ = p;
        break;
      default:
        break;
    }
  }

  void Vibrato(Channel& c) {
    c.heardPeriod =
        c.period +
        static_cast<int>(std::lround(64 * std::sin(6.283185307 * c.vibPos / 256))) * c.vibDepth / 8;
  }
  void Arpeggio(Channel& c) {
    int offs[3] = {0, c.param >> 4, c.param & 15};
    c.heardPeriod = c.period - offs[c.arpIndex] * 256;
    c.arpIndex = (c.arpIndex + 1) % 3;
  }

  void TickEffect(Channel& c) {
    switch (c.effect) {
      case 0:
        if (c.param) Arpeggio(c);
        break;
      case 1:
        c.period -= c.portaUp;
        c.heardPeriod = c.period;
        break;
      case 2:
        c.period += c.portaDown;
        c.heardPeriod = c.period;
        break;
      case 3:
        if (c.period < c.target)
          c.period = std::min(c.period + c.portaSpeed, c.target);
        else
          c.period = std::max(c.period - c.portaSpeed, c.target);
        c.heardPeriod = c.period;
        break;
      case 4:
        Vibrato(c);
        c.vibPos = (c.vibPos + c.vibSpeed / 2) & 255;
        break;
      case 10:
        if (c.slide >> 4)
          c.volume = std::min(64, c.volume + (c.slide >> 4));
        else
          c.volume = std::max(0, c.volume - (c.slide & 15));
        c.heardVolume = c.volume;
        break;
      default:
        break;
    }
  }

  int WalkEnvelope(Channel& c, int which, const Env& e) {
    int& pt = c.envPoint[which];
    int& t = c.envTick[which];
    if (pt >= e.last) return e.val[e.last];
    int len = std::max(1, e.len[pt]);
    int v = e.val[pt] + (e.val[pt + 1] - e.val[pt]) * t / len;
    if (c.keyDown && pt == e.sustain) return v;
    if (t != 0 && pt == e.loopEnd) pt = e.loopStart, t = 0;
    if (++t >= len) t = 0, ++pt;
    return v;
  }

  void Output(Channel& c) {
    if (!c.active || !c.instrument) return;
    size_t at = InsAt(c.instrument);
    int v = c.heardVolume * 64 / 64;
    v = static_cast<int>(static_cast<long>(v) * 64 * c.fade / 1048576);
    if (!c.keyDown) c.fade = std::max(0, c.fade - static_cast<int>(Le16(m_, at + 100)));
    Env ve = ReadEnv(at + 106), pe = ReadEnv(at + 158);
    v = WalkEnvelope(c, 0, ve) * v / 64;
    int pv = WalkEnvelope(c, 1, pe);
    int d = c.panning < 128 ? c.panning : 255 - c.panning;
    c.mixPan = std::clamp(c.panning + (pv - 32) * d / 32, 0, 255);
    c.mixVol = v;
    c.step = 8355.0 * std::pow(2.0, -c.heardPeriod / 3072.0) / 44100.0;
  }

  void Mix(std::vector<int16_t>& out) {
    long left = 0, right = 0;
    for (Channel& c : ch_) {
      if (!c.active) continue;
      int i = static_cast<int>(c.pos);
      double frac = c.pos - i;
      int a = c.data[i], b = i + 1 < c.length ? c.data[i + 1] : a;
      long s = static_cast<long>((a + (b - a) * frac) * 256);
      left += s * c.mixVol * (255 - c.mixPan) / 65536;
      right += s * c.mixVol * c.mixPan / 65536;
      c.pos += c.step * c.dir;
      if (c.dir > 0 && c.pos >= c.length) {
        if (c.loopKind == 0x08)
          c.pos -= c.length - c.loopStart;
        else if (c.loopKind == 0x10)
          c.pos = 2.0 * c.length - c.pos - 1, c.dir = -1;
        else
          c.active = false;
      } else if (c.dir < 0 && c.pos < c.loopStart) {
        c.pos = 2.0 * c.loopStart - c.pos, c.dir = 1;
      }
    }
    for (long* x : {&left, &right}) {
      if (*x > 32500 || *x < -32500) ++clipped;
      out.push_back(static_cast<int16_t>(std::clamp(*x, -32500L, 32500L)));
    }
  }

  Data m_;
  std::vector<int8_t> decoded_;
  int orders_, restart_, channels_, instruments_, speed_, tempo_;
  int order_ = 0, row_ = 0, rows_ = 0, tick_ = 0, jumpOrder_ = -1, jumpRow_ = 0;
  size_t read_ = 0;
  double acc_ = 0, loopAt_ = 0;
  long frames_ = 0;
  bool looped_ = false;
  std::vector<Channel> ch_;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s <module> <output wav>\n", argv[0]);
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  Data m{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  if (m.size() < 10064 || m[0] != 'M' || m[1] != 'X' || m[2] != 'M') {
    std::fprintf(stderr, "not a module: %s\n", argv[1]);
    return 1;
  }
  Player player(std::move(m));
  std::vector<int16_t> pcm;
  while (!player.looped() && player.seconds() < 600) player.Render(pcm, 4410);
  player.Render(pcm, 44100 * 6);  // a little past the loop, to hear the seam
  double sq = 0;
  int peak = 0;
  for (int16_t s : pcm)
    sq += static_cast<double>(s) * s, peak = std::max(peak, std::abs(static_cast<int>(s)));
  std::printf("tune: %.1f s until it loops, peak %.1f dBFS, rms %.1f dBFS, %ld clipped values\n",
              player.loopAt(), 20 * std::log10(peak / 32768.0),
              10 * std::log10(sq / pcm.size() / (32768.0 * 32768.0)), player.clipped);
  std::vector<uint8_t> v;
  v.insert(v.end(), {'R', 'I', 'F', 'F'});
  Put32(v, 36 + pcm.size() * 2);
  v.insert(v.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
  Put32(v, 16);
  Put16(v, 1);
  Put16(v, 2);
  Put32(v, 44100);
  Put32(v, 44100 * 4);
  Put16(v, 4);
  Put16(v, 16);
  v.insert(v.end(), {'d', 'a', 't', 'a'});
  Put32(v, pcm.size() * 2);
  for (int16_t s : pcm) Put16(v, static_cast<uint16_t>(s));
  return WriteFile(argv[2], v) ? 0 : 1;
}
